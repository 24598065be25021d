#include "aboutdlg.h"

#include "resource.h"
#include "texts936.h"

namespace {

// The operating instructions, a title line and then one "* " line per point.
const char* const kHelpLines[] = {
    texts::kHelpTitle,
    texts::kHelpShowsInfo,
    texts::kHelpLogCreated,
    texts::kHelpLogWhileRunning,
    texts::kHelpLogStops,
    texts::kHelpRefresh,
    texts::kHelpImport,
    texts::kHelpExport,
    texts::kHelpClear,
    texts::kHelpClose,
    texts::kHelpHelp,
    texts::kHelpNotice,
};

}  // namespace

CAboutDlg::CAboutDlg() : fw::CDialog(IDD_KVO_ABOUT) {}

void CAboutDlg::DoDataExchange(fw::CDataExchange& dx) { dx.Text(IDC_KVO_HELP_TEXT, m_strHelp); }

bool CAboutDlg::OnInitDialog()
{
    fw::CDialog::OnInitDialog();
    UpdateData(true);
    std::string help;
    for (const char* line : kHelpLines)
        help += line;
    m_strHelp = help;
    UpdateData(false);
    return true;
}
