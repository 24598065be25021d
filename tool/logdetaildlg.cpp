#include "logdetaildlg.h"

#include <utility>

#include "recordfields.h"
#include "resource.h"
#include "textconv.h"

CLogDetailDlg::CLogDetailDlg() : fw::CDialog(IDD_KVO_LOGDETAIL) {}

void CLogDetailDlg::SetRecord(std::string content, std::string subject, std::string time)
{
    m_strLogContent = std::move(content);
    m_strLogSubject = std::move(subject);
    m_strLogTime = std::move(time);
}

const fw::MsgTable& CLogDetailDlg::GetMessageTable() const
{
    static const fw::MsgEntry rows[] = {
        fw::OnCommand<&CLogDetailDlg::OnVerify>(IDC_KVO_VERIFY, BN_CLICKED),
        fw::OnCommand<&CLogDetailDlg::OnCloseButton>(IDC_KVO_DETAIL_CLOSE, BN_CLICKED),
    };
    static const fw::MsgTable table = fw::MakeMsgTable(rows);
    return table;
}

void CLogDetailDlg::DoDataExchange(fw::CDataExchange& dx)
{
    m_btnVerify = fw::CButton(Item(IDC_KVO_VERIFY));
    dx.Text(IDC_KVO_DETAIL_TEXT, m_strDetail);
}

bool CLogDetailDlg::OnInitDialog()
{
    fw::CDialog::OnInitDialog();
    UpdateData(true);

    fw::CWindow closeButton(Item(IDC_KVO_DETAIL_CLOSE));
    m_btnVerify.Show(false);
    closeButton.Show(false);
    if (!m_strLogSubject.empty() && m_strLogSubject[0] == '*') {
        m_strLogSubject.erase(0, 1);
        m_btnVerify.Show(true);
        closeButton.Show(true);
    }

    m_strDetail = kvo::LogDetailText(m_strLogTime, m_strLogSubject, m_strLogContent);
    UpdateData(false);
    return true;
}

void CLogDetailDlg::OnVerify()
{
    const long code = kvo::VerifyLogRecord(m_strLogContent);
    MessageBoxW(m_hWnd, qel::AnsiToWide(kvo::VerifyMessage(code)).c_str(),
                qel::AnsiToWide(kvo::kVerifyCaption).c_str(), MB_OK);
}

void CLogDetailDlg::OnCloseButton() { OnCancel(); }
