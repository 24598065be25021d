#include "certselectdlg.h"

#include "certselect.h"
#include "controls.h"
#include "resource.h"

using cert::CCertInfo;
using cert::ShowCertificate;

CCertSelectDlg::CCertSelectDlg() : fw::CDialog(IDD_CERTSELECT) {}

const fw::MsgTable& CCertSelectDlg::GetMessageTable() const
{
    static const fw::MsgEntry rows[] = {
        fw::OnCommand<&CCertSelectDlg::OnView>(IDC_VIEW_CERT, BN_CLICKED),
        fw::OnCommand<&CCertSelectDlg::OnSelChange>(IDC_CERT_LIST, LBN_SELCHANGE),
        fw::OnCommand<&CCertSelectDlg::OnView>(IDC_CERT_LIST, LBN_DBLCLK),
    };
    static const fw::MsgTable table = fw::MakeMsgTable(rows);
    return table;
}

bool CCertSelectDlg::OnInitDialog()
{
    fw::CDialog::OnInitDialog();
    m_store.LoadStore("MY");
    fw::CListBox list(Item(IDC_CERT_LIST));
    for (const CertChoice& choice : EligibleCertificates(m_store)) {
        const int item = list.AddString(choice.cn);
        if (item >= 0)
            list.SetItemData(item, choice.index);
    }
    list.SetCurSel(0);
    UpdateButtons();
    return true;
}

int CCertSelectDlg::SelectedIndex() const
{
    fw::CListBox list(Item(IDC_CERT_LIST));
    const int item = list.GetCurSel();
    if (item < 0)
        return -1;
    const LPARAM index = list.GetItemData(item);
    return index >= 0 && index < m_store.GetCount() ? static_cast<int>(index) : -1;
}

void CCertSelectDlg::UpdateButtons()
{
    const bool selected = fw::CListBox(Item(IDC_CERT_LIST)).GetCurSel() >= 0;
    fw::CWindow(Item(IDC_VIEW_CERT)).Enable(selected);
    fw::CWindow(Item(IDOK)).Enable(selected);
}

void CCertSelectDlg::OnSelChange() { UpdateButtons(); }

void CCertSelectDlg::OnView()
{
    const int index = SelectedIndex();
    CCertInfo info;
    if (index >= 0 && m_store.GetCertInfo(index, info))
        ShowCertificate(info);
}

void CCertSelectDlg::OnOK()
{
    const int index = SelectedIndex();
    if (index >= 0)
        m_store.GetCertInfo(index, m_selected);
    EndDialog(IDOK);
}
