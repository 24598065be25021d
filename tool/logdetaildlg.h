// CLogDetailDlg: the full text of one diagnostic log record (template
// IDD_KVO_LOGDETAIL), opened from the main dialog's log list once the
// password gate is open. A record whose subject starts with "*" carries a
// signature: for it the dialog shows "校验", which checks the signature
// again on this machine with the shared verification engine (not through
// the control) and reports the outcome in a message box, and "关闭". Other
// records show no button and close with Esc or the title bar.
#ifndef QEL_TOOL_LOGDETAILDLG_H
#define QEL_TOOL_LOGDETAILDLG_H

#include <string>

#include "controls.h"
#include "dialog.h"

class CLogDetailDlg : public fw::CDialog {
public:
    CLogDetailDlg();

    // The record to show, set before DoModal.
    void SetRecord(std::string content, std::string subject, std::string time);

    fw::CButton m_btnVerify;      // "校验"
    std::string m_strDetail;      // the edit's text
    std::string m_strLogTime;
    std::string m_strLogSubject;  // without its "*" once the dialog is up
    std::string m_strLogContent;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(fw::CDataExchange& dx) override;
    const fw::MsgTable& GetMessageTable() const override;

    // Checks the record's signature and shows the outcome.
    void OnVerify();

private:
    void OnCloseButton();
};

#endif
