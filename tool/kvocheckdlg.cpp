#include "kvocheckdlg.h"

#include <commdlg.h>

#include <vector>

#include "certtext.h"
#include "inifile.h"
#include "kvocheckpassword.h"
#include "resource.h"
#include "systemprobe.h"

namespace {

// Gridlines, full-row selection, flat scroll bars.
const DWORD kLogListStyle = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB;
static_assert(kLogListStyle == 0x121, "log list extended style");
const int kTimeWidth = 150;
const int kSubjectWidth = 300;
using texts::kConfigMenuText;  // 配置选项...

HICON LoadSmallIcon(int id)
{
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                         LR_DEFAULTCOLOR));
}

std::string FieldText(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

std::vector<std::string> ListLines(const fw::CListBox& list)
{
    std::vector<std::string> lines;
    const int count = list.GetCount();
    for (int i = 0; i < count; ++i)
        lines.push_back(list.GetText(i));
    return lines;
}

void Message(HWND owner, const char* text, UINT type)
{
    MessageBoxW(owner, fw::AnsiToWide(text).c_str(), fw::AnsiToWide(kvo::kAppName).c_str(), type);
}

std::wstring CurrentDirectory()
{
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring directory(size, L'\0');
    const DWORD length = size ? GetCurrentDirectoryW(size, &directory[0]) : 0;
    directory.resize(length < size ? length : 0);
    return directory;
}

}  // namespace

CKvoCheckDlg::CKvoCheckDlg()
    : fw::CDialog(IDD_KVOCHECK),
      m_hIconApp(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_KVOCHECK))),
      m_hIconRed(LoadSmallIcon(IDI_KVO_RED)),
      m_hIconYellow(LoadSmallIcon(IDI_KVO_YELLOW)),
      m_hIconGreen(LoadSmallIcon(IDI_KVO_GREEN)),
      m_bUnlocked(FALSE),
      m_bOsTooOld(FALSE),
      m_nCtrlType(0)
{
}

CKvoCheckDlg::~CKvoCheckDlg()
{
    for (HICON icon : {m_hIconRed, m_hIconYellow, m_hIconGreen})
        if (icon)
            DestroyIcon(icon);
}

const fw::MsgTable& CKvoCheckDlg::GetMessageTable() const
{
    static const fw::MsgEntry rows[] = {
        fw::OnMessage<&CKvoCheckDlg::OnPaint>(WM_PAINT),
        fw::OnMessage<&CKvoCheckDlg::OnQueryDragIcon>(WM_QUERYDRAGICON),
        fw::OnCommand<&CKvoCheckDlg::OnRefresh>(IDC_KVO_REFRESH, BN_CLICKED),
        fw::OnCommand<&CKvoCheckDlg::OnHelpButton>(IDC_KVO_HELP, BN_CLICKED),
        fw::OnMessage<&CKvoCheckDlg::OnClose>(WM_CLOSE),
        fw::OnCommand<&CKvoCheckDlg::OnDblclkCertList>(IDC_KVO_CERT_LIST, LBN_DBLCLK),
        fw::OnMessage<&CKvoCheckDlg::OnDestroy>(WM_DESTROY),
        fw::OnNotify<&CKvoCheckDlg::OnDblclkLogList>(IDC_KVO_LOG_LIST, NM_DBLCLK),
        fw::OnCommand<&CKvoCheckDlg::OnImport>(IDC_KVO_IMPORT, BN_CLICKED),
        fw::OnCommand<&CKvoCheckDlg::OnExport>(IDC_KVO_EXPORT, BN_CLICKED),
        fw::OnCommand<&CKvoCheckDlg::OnClear>(IDC_KVO_CLEAR, BN_CLICKED),
        fw::OnCommand<&CKvoCheckDlg::OnConfig>(ID_KVO_CONFIG, 0),  // menu or BN_CLICKED
        fw::OnMessage<&CKvoCheckDlg::OnSysCommand>(WM_SYSCOMMAND),
    };
    static const fw::MsgTable table = fw::MakeMsgTable(rows);
    return table;
}

void CKvoCheckDlg::BindControls()
{
    m_listLog = fw::CListViewCtrl(Item(IDC_KVO_LOG_LIST));
    m_iconLog = fw::CStatic(Item(IDC_KVO_ICON_LOG));
    m_textWindows = fw::CWindow(Item(IDC_KVO_WINDOWS));
    m_textControl = fw::CWindow(Item(IDC_KVO_CONTROL));
    m_textIe = fw::CWindow(Item(IDC_KVO_IE));
    m_textBrowser = fw::CWindow(Item(IDC_KVO_BROWSER));
    m_iconWindows = fw::CStatic(Item(IDC_KVO_ICON_WINDOWS));
    m_iconBrowser = fw::CStatic(Item(IDC_KVO_ICON_BROWSER));
    m_iconIe = fw::CStatic(Item(IDC_KVO_ICON_IE));
    m_iconControl = fw::CStatic(Item(IDC_KVO_ICON_CONTROL));
    m_iconCsp = fw::CStatic(Item(IDC_KVO_ICON_CSP));
    m_iconCert = fw::CStatic(Item(IDC_KVO_ICON_CERT));
    m_listCsp = fw::CListBox(Item(IDC_KVO_CSP_LIST));
    m_listCert = fw::CListBox(Item(IDC_KVO_CERT_LIST));
}

bool CKvoCheckDlg::OnInitDialog()
{
    fw::CDialog::OnInitDialog();
    BindControls();
    Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIconApp));
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconApp));
    // The configuration dialog is reached through the system menu.
    if (HMENU menu = GetSystemMenu(m_hWnd, FALSE)) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, IDM_KVO_CONFIG, fw::AnsiToWide(kConfigMenuText).c_str());
    }

    m_bUnlocked = FALSE;
    m_bOsTooOld = FALSE;
    m_nCtrlType = 0;
    for (const fw::CStatic* icon :
         {&m_iconWindows, &m_iconBrowser, &m_iconIe, &m_iconControl, &m_iconCsp, &m_iconCert, &m_iconLog})
        icon->SetIcon(m_hIconRed);

    if (m_listLog.IsWindow()) {
        m_listLog.SetExtendedListViewStyle(kLogListStyle);
        m_listLog.InsertColumn(0, kvo::kTimeColumn, kTimeWidth);
        m_listLog.InsertColumn(1, kvo::kSubjectColumn, kSubjectWidth);
    }

    // A log left over from an earlier run goes.
    try {
        m_log.Clear();
    } catch (const CLogFileException&) {
    }
    ReadControlSetting(kvo::kConfigFile, m_nCtrlType);
    RunProbe();
    if (!m_bOsTooOld) {
        AddSystemInfoRecord();
        RefreshLogList();
    }
    return true;
}

bool CKvoCheckDlg::PreTranslateMessage(MSG& msg)
{
    if (msg.message == WM_KEYDOWN && msg.wParam == 'P' && GetKeyState(VK_CONTROL) < 0) {
        // Every Ctrl+P decides afresh: a wrong or cancelled entry locks.
        m_bUnlocked = kvo::IsUnlockPassword(AskPassword()) ? TRUE : FALSE;
        return true;
    }
    return fw::CDialog::PreTranslateMessage(msg);
}

std::string CKvoCheckDlg::AskPassword()
{
    CPasswordDlg dlg;
    dlg.DoModal(m_hWnd);
    return dlg.m_strPassword;
}

HICON CKvoCheckDlg::IconOf(kvo::Icon icon) const
{
    switch (icon) {
    case kvo::Icon::Green:
        return m_hIconGreen;
    case kvo::Icon::Yellow:
        return m_hIconYellow;
    case kvo::Icon::Red:
        break;
    }
    return m_hIconRed;
}

void CKvoCheckDlg::ShowLine(const fw::CWindow& text, const fw::CStatic& icon, const kvo::Line& line) const
{
    icon.SetIcon(IconOf(line.icon));
    text.SetText(line.text);
}

void CKvoCheckDlg::RunProbe()
{
    CSystemProbe probe;

    kvo::WindowsVersionInfo windows;
    const bool known = probe.GetWindowsVersionInfo(windows) == 0;
    ShowLine(m_textWindows, m_iconWindows, kvo::WindowsLine(known ? &windows : nullptr));
    if (known && kvo::IsOsTooOld(windows.code)) {
        const kvo::Line tooOld = {kvo::kOsTooOldText, kvo::Icon::Red};
        ShowLine(m_textBrowser, m_iconBrowser, tooOld);
        ShowLine(m_textIe, m_iconIe, tooOld);
        ShowLine(m_textControl, m_iconControl, tooOld);
        m_listCsp.ResetContent();
        m_listCert.ResetContent();
        m_certIndex.clear();
        m_bOsTooOld = TRUE;
        return;
    }

    int ieMajor = 0;
    std::string ieVersion;
    const bool ieKey = probe.GetIeVersion(ieMajor, ieVersion) == 0;
    ShowLine(m_textIe, m_iconIe, kvo::IeLine(ieKey, ieVersion));

    kvo::ControlProbe control = kvo::ControlProbe::NotInstalled;
    long version = 0;
    {
        CQelCrypt qelcrypt;
        if (SUCCEEDED(qelcrypt.Create(m_hWnd)))
            control = SUCCEEDED(qelcrypt.GetVersion(version)) ? kvo::ControlProbe::Answered
                                                               : kvo::ControlProbe::NoAnswer;
    }
    ShowLine(m_textControl, m_iconControl, kvo::ControlLine(control, version));

    std::string browser;
    probe.GetDefaultBrowser(browser);
    ShowLine(m_textBrowser, m_iconBrowser, kvo::BrowserLine(browser));

    FillCspList();
    m_iconCsp.SetIcon(m_hIconGreen);
    FillCertList();
    m_iconCert.SetIcon(m_hIconGreen);
    m_iconLog.SetIcon(m_hIconGreen);
}

void CKvoCheckDlg::FillCspList()
{
    m_listCsp.ResetContent();
    EnumCspNames(m_cspNames);
    for (const std::string& name : m_cspNames)
        m_listCsp.AddString(name);
}

void CKvoCheckDlg::FillCertList()
{
    m_certList.LoadStore("MY");
    m_listCert.ResetContent();
    m_certIndex.clear();
    const int count = m_certList.GetCount();
    for (int i = 0; i < count; ++i) {
        CCertInfo info;
        if (!m_certList.GetCertInfo(i, info))
            continue;  // no key on this machine, or too large
        std::string cn;
        GetDnAttribute(info.m_strSubject.c_str(), "CN", cn);
        // One index per line that made it into the list.
        if (m_listCert.AddString(cn) >= 0)
            m_certIndex.push_back(i);
    }
}

void CKvoCheckDlg::OnDblclkCertList()
{
    const int line = m_listCert.GetCurSel();
    if (line < 0 || m_certIndex.empty() || static_cast<size_t>(line) >= m_certIndex.size())
        return;
    CCertInfo info;
    if (m_certList.GetCertInfo(m_certIndex[static_cast<size_t>(line)], info))
        ShowCertificate(info);
}

std::string CKvoCheckDlg::BuildSystemInfoText() const
{
    return kvo::BuildSystemInfoText(m_textWindows.Text(), m_textIe.Text(), m_textControl.Text(), ListLines(m_listCsp),
                                    ListLines(m_listCert));
}

void CKvoCheckDlg::AddSystemInfoRecord()
{
    try {
        m_log.AddRecord(kvo::kSystemInfoSubject, BuildSystemInfoText().c_str());
    } catch (const CLogFileException&) {
    }
}

void CKvoCheckDlg::RefreshLogList()
{
    m_listLog.DeleteAllItems();
    // A log that cannot be read shows as what the store holds: nothing
    // after a bad file, the last load while the file stays in use.
    try {
        m_log.Load(m_log.GetPath().c_str());
    } catch (const CLogFileException&) {
    }
    if (!m_listLog.IsWindow())
        return;
    const std::deque<LogRecordHeader>& headers = m_log.GetHeaders();
    for (size_t i = 0; i < headers.size(); ++i) {
        const int item = m_listLog.InsertItem(static_cast<int>(i), "");
        if (item < 0)
            break;
        m_listLog.SetItemText(item, 0, FieldText(headers[i].time, sizeof headers[i].time));
        m_listLog.SetItemText(item, 1, kvo::DisplaySubject(headers[i].subject, sizeof headers[i].subject));
    }
}

void CKvoCheckDlg::OnRefresh()
{
    if (m_bOsTooOld)
        return;
    RunProbe();
    RefreshLogList();
}

void CKvoCheckDlg::OnHelpButton() { ShowHelp(); }

void CKvoCheckDlg::OnConfig()
{
    m_nCtrlType = RunConfigDialog();
    OnRefresh();
}

std::string CKvoCheckDlg::AskLogFile(bool save) const
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
    const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!directory.empty())
        SetCurrentDirectoryW(directory.c_str());
    return chosen ? fw::WideToAnsi(file) : std::string();
}

void CKvoCheckDlg::OnImport()
{
    if (m_bOsTooOld)
        return;
    const std::string path = AskLogFile(false);
    if (path.empty())
        return;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    // A file that is not a log (or cannot be read) is reported, and the log
    // stays as it was.
    bool imported = false;
    try {
        imported = m_log.Load(path.c_str());
    } catch (const CLogFileException&) {
        imported = false;
    }
    if (imported) {
        AddSystemInfoRecord();
        Message(m_hWnd, kvo::kImportDone, MB_OK | MB_ICONINFORMATION);
    } else {
        Message(m_hWnd, kvo::kImportFailed, MB_OK | MB_ICONERROR);
    }
    RefreshLogList();
}

void CKvoCheckDlg::OnExport()
{
    if (m_bOsTooOld)
        return;
    const std::string chosen = AskLogFile(true);
    if (chosen.empty())
        return;
    const std::string target = kvo::ExportPath(chosen);
    // The copy waits for a control that is appending; a copy that fails
    // anyway is reported, since the log goes when the tool ends.
    bool copied = false;
    try {
        copied = m_log.WaitForAccess(FILE_SHARE_READ) &&
                 CopyFileA(m_log.GetPath().c_str(), target.c_str(), FALSE) != FALSE;
    } catch (const CLogFileException&) {
        copied = false;
    }
    if (!copied)
        Message(m_hWnd, kvo::kExportFailed, MB_OK | MB_ICONERROR);
}

void CKvoCheckDlg::OnClear()
{
    if (m_bOsTooOld)
        return;
    try {
        m_log.Clear();
    } catch (const CLogFileException&) {
    }
    AddSystemInfoRecord();
    RefreshLogList();
}

LRESULT CKvoCheckDlg::OnDblclkLogList(NMHDR&)
{
    const std::deque<LogRecordHeader>& headers = m_log.GetHeaders();
    const std::deque<std::string>& contents = m_log.GetContents();
    const int index = kvo::RecordToOpen(m_bOsTooOld != FALSE, m_bUnlocked != FALSE,
                                        m_listLog.IsWindow() ? m_listLog.GetSelectedIndex() : -1, headers.size(),
                                        contents.size());
    if (index >= 0) {
        const LogRecordHeader& header = headers[static_cast<size_t>(index)];
        OpenRecordDetail(contents[static_cast<size_t>(index)], FieldText(header.subject, sizeof header.subject),
                         FieldText(header.time, sizeof header.time));
    }
    return 0;
}

LRESULT CKvoCheckDlg::OnPaint(UINT, WPARAM, LPARAM, bool& handled)
{
    if (!IsIconic(m_hWnd)) {
        handled = false;
        return 0;
    }
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    Send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIconApp);
    EndPaint(m_hWnd, &paint);
    return 0;
}

LRESULT CKvoCheckDlg::OnQueryDragIcon(UINT, WPARAM, LPARAM, bool&) { return reinterpret_cast<LRESULT>(m_hIconApp); }

LRESULT CKvoCheckDlg::OnSysCommand(UINT, WPARAM wParam, LPARAM, bool& handled)
{
    if ((wParam & 0xFFF0) != IDM_KVO_CONFIG) {
        handled = false;
        return 0;
    }
    Send(WM_COMMAND, MAKEWPARAM(ID_KVO_CONFIG, 0));
    return 0;
}

LRESULT CKvoCheckDlg::OnClose(UINT, WPARAM, LPARAM, bool& handled)
{
    m_certList.Clear();
    handled = false;  // the dialog's own handling ends it
    return 0;
}

LRESULT CKvoCheckDlg::OnDestroy(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    // However the dialog ended, the log goes with it.
    try {
        m_log.Clear();
    } catch (const CLogFileException&) {
    }
    return 0;
}
