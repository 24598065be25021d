// CKvoCheckDlg: KvoCheck's main dialog (template IDD_KVOCHECK). Its upper
// part shows the Windows, default browser, Internet Explorer and control
// lines with their state icons (RunProbe), the middle the CSPs and the
// personal certificates (FillCspList, FillCertList), the lower part the
// records of the diagnostic log (ShowLog) with import, export and
// clear. Ctrl+P asks for the password that unlocks a record's detail view.
//
// The diagnostic log's rules (cleared at the start, the "系统信息" record,
// deleted when the window is destroyed, nothing on Windows 95, 98 and ME)
// are CKvoSession's (kvosession.h); the dialog shows its rows and results.
// A failure of the log store shows one message box naming the operation.
//
// The detail, configuration and help dialogs are reached through the hooks
// OpenRecordDetail, RunConfigDialog and ShowHelp, the password and file
// dialogs through AskPassword and AskLogFile (all in kvocheckhooks.cpp).
#ifndef QEL_TOOL_KVOCHECKDLG_H
#define QEL_TOOL_KVOCHECKDLG_H

#include <windows.h>

#include <string>
#include <vector>

#include "certinfo.h"
#include "controls.h"
#include "dialog.h"
#include "kvocheckrules.h"
#include "kvosession.h"
#include "winhandle.h"

class CKvoCheckDlg : public fw::CDialog, private CKvoSession::CHost {
public:
    CKvoCheckDlg();
    ~CKvoCheckDlg() override;

    // Fills the four lines and seven icons, then the two lists; true when
    // it stopped after the Windows line of Windows 95, 98 or ME.
    bool RunProbe() override;
    // The text of the "系统信息" record, read from the dialog's controls.
    std::string BuildSystemInfoText() const override;
    void FillCspList();
    void FillCertList();

protected:
    bool OnInitDialog() override;
    bool PreTranslateMessage(MSG& msg) override;
    const fw::MsgTable& GetMessageTable() const override;

    // Hooks into the tool's other dialogs (kvocheckhooks.cpp).
    // The detail view of one record of the log.
    virtual void OpenRecordDetail(const std::string& content, const std::string& subject, const std::string& time);
    // The configuration dialog; returns the setting it ended with.
    virtual int RunConfigDialog();
    // The help and about dialog.
    virtual void ShowHelp();

    // The message handlers.
    LRESULT OnPaint(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnQueryDragIcon(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    void OnRefresh();
    void OnHelpButton();
    void OnConfig();
    void OnDblclkCertList();
    LRESULT OnDblclkLogList(NMHDR& header);
    void OnImport();
    void OnExport();
    void OnClear();

    cert::CCertStoreList m_certList;
    fw::CListViewCtrl m_listLog;
    fw::CStatic m_iconLog;
    fw::CWindow m_textWindows;
    fw::CWindow m_textControl;
    fw::CWindow m_textIe;
    fw::CWindow m_textBrowser;
    fw::CStatic m_iconWindows;
    fw::CStatic m_iconBrowser;
    fw::CStatic m_iconIe;
    fw::CStatic m_iconControl;
    fw::CStatic m_iconCsp;
    fw::CStatic m_iconCert;
    fw::CListBox m_listCsp;
    fw::CListBox m_listCert;
    qel::CIcon m_hIconApp;
    qel::CIcon m_hIconRed;
    qel::CIcon m_hIconYellow;
    qel::CIcon m_hIconGreen;
    std::vector<std::string> m_cspNames;
    CKvoSession m_session;
    bool m_unlocked;
    int m_nCtrlType;
    std::vector<int> m_certIndex;

private:
    void BindControls();
    // The password dialog; what was typed, empty when cancelled.
    std::string AskPassword();
    HICON IconOf(kvo::Icon icon) const;
    void ShowLine(const fw::CWindow& text, const fw::CStatic& icon, const kvo::Line& line) const;
    // The records of the last load in the log list.
    void ShowLog();
    // The log list after an operation (not after an export, which reads no
    // log), then its message box, if any.
    void ShowResult(const CKvoSession::Result& result);
    // A file name from the open or save dialog, with the current directory
    // kept; empty when cancelled.
    std::string AskLogFile(bool save) override;
};

#endif
