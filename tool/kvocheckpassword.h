// CPasswordDlg: asks for the password of the record detail view (template
// IDD_KVO_PASSWORD). m_strPassword holds what was typed when the dialog
// ended with OK, and stays empty otherwise.
#ifndef QEL_TOOL_KVOCHECKPASSWORD_H
#define QEL_TOOL_KVOCHECKPASSWORD_H

#include <string>

#include "dialog.h"

class CPasswordDlg : public fw::CDialog {
public:
    CPasswordDlg();

    std::string m_strPassword;

protected:
    void DoDataExchange(fw::CDataExchange& dx) override;
};

#endif
