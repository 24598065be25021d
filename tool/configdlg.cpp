#include "configdlg.h"

#include "inifile.h"
#include "kvocheckrules.h"
#include "resource.h"
#include "texts936.h"

namespace {

// The combo box entries, at the index of their value.
const char* const kCtrlTypeNames[] = {
    texts::kCtrlTypeBoth,
    texts::kCtrlTypeVantorOnly,
    texts::kCtrlTypePasswordOnly,
};

// Writes config.ini anew: the section line and the key line. A file that
// cannot be opened for writing stays as it was.
void WriteControlSetting(int value)
{
    CIniFile file;
    if (!file.OpenFileWrite(kvo::kConfigFile))
        return;
    file.WriteSection(kvo::kConfigSection);
    file.WriteInt(kvo::kConfigKey, value);
    file.CloseFile();
}

}  // namespace

CConfigDlg::CConfigDlg() : fw::CDialog(IDD_KVO_CONFIG), m_nCtrlType(0) {}

const fw::MsgTable& CConfigDlg::GetMessageTable() const
{
    static const fw::MsgEntry rows[] = {
        fw::OnCommand<&CConfigDlg::OnOK>(IDC_KVO_CONFIG_OK, BN_CLICKED),
        fw::OnCommand<&CConfigDlg::OnCancelButton>(IDC_KVO_CONFIG_CANCEL, BN_CLICKED),
    };
    static const fw::MsgTable table = fw::MakeMsgTable(rows);
    return table;
}

void CConfigDlg::DoDataExchange(fw::CDataExchange& dx)
{
    m_comboCtrlType = fw::CComboBox(Item(IDC_KVO_CTRL_TYPE));
    dx.ComboIndex(IDC_KVO_CTRL_TYPE, m_nCtrlType);
}

bool CConfigDlg::OnInitDialog()
{
    fw::CDialog::OnInitDialog();
    UpdateData(true);
    for (const char* name : kCtrlTypeNames)
        m_comboCtrlType.AddString(name);
    m_nCtrlType = 0;
    ReadControlSetting(kvo::kConfigFile, m_nCtrlType);
    m_comboCtrlType.SetCurSel(m_nCtrlType);  // a value outside the entries selects none
    UpdateData(false);
    return true;
}

void CConfigDlg::OnOK()
{
    UpdateData(true);
    WriteControlSetting(m_nCtrlType);
    UpdateData(false);
    fw::CDialog::OnOK();
}

void CConfigDlg::OnCancelButton() { OnCancel(); }
