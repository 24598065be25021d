// CConfigDlg: the tool's one setting, which controls the business system
// requires (template IDD_KVO_CONFIG). The combo box lists the three choices
// in the order of their values 0 to 2; the dialog selects the value read
// from "config.ini" in the current directory (0 when the file or key is
// missing, nothing for a value outside 0 to 2). "确定" and Enter take the
// selection into m_nCtrlType (-1 when none, for instance after typing a
// text that is no entry) and write the file anew; "取消", Esc and the title
// bar leave the file alone, and m_nCtrlType keeps the value read.
#ifndef QEL_TOOL_CONFIGDLG_H
#define QEL_TOOL_CONFIGDLG_H

#include "controls.h"
#include "dialog.h"

class CConfigDlg : public fw::CDialog {
public:
    CConfigDlg();

    fw::CComboBox m_comboCtrlType;
    int m_nCtrlType;  // combo box index; -1: none

protected:
    bool OnInitDialog() override;
    void DoDataExchange(fw::CDataExchange& dx) override;
    // "确定" and Enter alike.
    void OnOK() override;
    const fw::MsgTable& GetMessageTable() const override;

private:
    void OnCancelButton();
};

#endif
