// CAboutDlg: the tool's about box and help (template IDD_KVO_ABOUT): title
// and version in the caption, the application icon, a notice line and the
// operating instructions in a read-only text. Closed with Esc or the title
// bar.
#ifndef QEL_TOOL_ABOUTDLG_H
#define QEL_TOOL_ABOUTDLG_H

#include <string>

#include "dialog.h"

class CAboutDlg : public fw::CDialog {
public:
    CAboutDlg();

    std::string m_strHelp;  // the instructions, one "\r\n"-ended line each

protected:
    bool OnInitDialog() override;
    void DoDataExchange(fw::CDataExchange& dx) override;
};

#endif
