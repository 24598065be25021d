// The main dialog's ways into the tool's other dialogs: the record detail
// view (CLogDetailDlg), the configuration dialog (CConfigDlg) and the help
// and about dialog (CAboutDlg), each run modally over the main dialog.
#include "aboutdlg.h"
#include "configdlg.h"
#include "kvocheckdlg.h"
#include "logdetaildlg.h"

void CKvoCheckDlg::OpenRecordDetail(const std::string& content, const std::string& subject, const std::string& time)
{
    CLogDetailDlg dlg;
    dlg.SetRecord(content, subject, time);
    dlg.DoModal(m_hWnd);
}

int CKvoCheckDlg::RunConfigDialog()
{
    CConfigDlg dlg;
    dlg.DoModal(m_hWnd);
    // After 取消 the value read from config.ini (or 0).
    return dlg.m_nCtrlType;
}

void CKvoCheckDlg::ShowHelp()
{
    CAboutDlg dlg;
    dlg.DoModal(m_hWnd);
}
