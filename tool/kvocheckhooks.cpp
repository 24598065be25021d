// The main dialog's ways into the other dialogs: the record detail view
// (CLogDetailDlg), the configuration dialog (CConfigDlg), the help and about
// dialog (CAboutDlg), the password dialog (CPasswordDlg) and the system's
// file dialogs, each run modally over the main dialog.
#include "kvocheckdlg.h"

#include <commdlg.h>

#include "aboutdlg.h"
#include "configdlg.h"
#include "kvocheckpassword.h"
#include "logdetaildlg.h"

namespace {

std::wstring CurrentDirectory()
{
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring directory(size, L'\0');
    const DWORD length = size ? GetCurrentDirectoryW(size, &directory[0]) : 0;
    directory.resize(length < size ? length : 0);
    return directory;
}

}  // namespace

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

std::string CKvoCheckDlg::AskPassword()
{
    CPasswordDlg dlg;
    dlg.DoModal(m_hWnd);
    return dlg.m_strPassword;
}

std::string CKvoCheckDlg::AskLogFile(bool save)
{
    wchar_t file[MAX_PATH * 2] = L"";
    OPENFILENAMEW ofn;
    ZeroMemory(&ofn, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = L"LOG(*.log)\0*.log\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file / sizeof file[0];
    ofn.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING;
    // The file dialog may change the current directory, where config.ini is.
    const std::wstring directory = CurrentDirectory();
    const bool chosen = (save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn)) != FALSE;
    if (!directory.empty())
        SetCurrentDirectoryW(directory.c_str());
    return chosen ? fw::WideToAnsi(file) : std::string();
}
