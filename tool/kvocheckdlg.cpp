#include "kvocheckdlg.h"

#include <vector>

#include "certtext.h"
#include "inifile.h"
#include "resource.h"
#include "systemprobe.h"

using cert::CCertInfo;
using cert::GetDnAttribute;
using cert::ShowCertificate;

namespace {

// Gridlines, full-row selection, flat scroll bars.
const DWORD kLogListStyle = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB;
static_assert(kLogListStyle == 0x121, "log list extended style");
const int kTimeWidth = 150;
const int kSubjectWidth = 300;
using texts::kConfigMenuText;  // 配置选项...

// Icons of the program's resources, owned (not LR_SHARED): at the size of
// the system's icons (0) or of its small ones.
HICON LoadOwnIcon(int id, bool small)
{
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                         small ? GetSystemMetrics(SM_CXSMICON) : 0,
                                         small ? GetSystemMetrics(SM_CYSMICON) : 0,
                                         small ? LR_DEFAULTCOLOR : LR_DEFAULTSIZE));
}

std::vector<std::string> ListLines(const fw::CListBox& list)
{
    std::vector<std::string> lines;
    const int count = list.GetCount();
    for (int i = 0; i < count; ++i)
        lines.push_back(list.GetText(i));
    return lines;
}

void Message(HWND owner, const std::string& text, UINT type)
{
    MessageBoxW(owner, fw::AnsiToWide(text).c_str(), fw::AnsiToWide(kvo::kAppName).c_str(), type);
}

}  // namespace

CKvoCheckDlg::CKvoCheckDlg()
    : fw::CDialog(IDD_KVOCHECK),
      m_hIconApp(LoadOwnIcon(IDI_KVOCHECK, false)),
      m_hIconRed(LoadOwnIcon(IDI_KVO_RED, true)),
      m_hIconYellow(LoadOwnIcon(IDI_KVO_YELLOW, true)),
      m_hIconGreen(LoadOwnIcon(IDI_KVO_GREEN, true)),
      m_session(*this),
      m_unlocked(false),
      m_nCtrlType(0)
{
}

CKvoCheckDlg::~CKvoCheckDlg() = default;

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
    Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIconApp.Get()));
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconApp.Get()));
    // The configuration dialog is reached through the system menu.
    if (HMENU menu = GetSystemMenu(m_hWnd, FALSE)) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, IDM_KVO_CONFIG, fw::AnsiToWide(kConfigMenuText).c_str());
    }

    m_unlocked = false;
    m_nCtrlType = 0;
    for (const fw::CStatic* icon :
         {&m_iconWindows, &m_iconBrowser, &m_iconIe, &m_iconControl, &m_iconCsp, &m_iconCert, &m_iconLog})
        icon->SetIcon(m_hIconRed.Get());

    if (m_listLog.IsWindow()) {
        m_listLog.SetExtendedListViewStyle(kLogListStyle);
        m_listLog.InsertColumn(0, kvo::kTimeColumn, kTimeWidth);
        m_listLog.InsertColumn(1, kvo::kSubjectColumn, kSubjectWidth);
    }

    ReadControlSetting(kvo::kConfigFile, m_nCtrlType);
    // No button started this: a store failure shows in the list (what the
    // store holds) and is reported by the next operation that meets it.
    if (m_session.Start() != CKvoSession::Outcome::Off)
        ShowLog();
    return true;
}

bool CKvoCheckDlg::PreTranslateMessage(MSG& msg)
{
    if (msg.message == WM_KEYDOWN && msg.wParam == 'P' && GetKeyState(VK_CONTROL) < 0) {
        // Every Ctrl+P decides afresh: a wrong or cancelled entry locks.
        m_unlocked = kvo::IsUnlockPassword(AskPassword());
        return true;
    }
    return fw::CDialog::PreTranslateMessage(msg);
}

HICON CKvoCheckDlg::IconOf(kvo::Icon icon) const
{
    switch (icon) {
    case kvo::Icon::Green:
        return m_hIconGreen.Get();
    case kvo::Icon::Yellow:
        return m_hIconYellow.Get();
    case kvo::Icon::Red:
        break;
    }
    return m_hIconRed.Get();
}

void CKvoCheckDlg::ShowLine(const fw::CWindow& text, const fw::CStatic& icon, const kvo::Line& line) const
{
    icon.SetIcon(IconOf(line.icon));
    text.SetText(line.text);
}

bool CKvoCheckDlg::RunProbe()
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
        return true;
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
    m_iconCsp.SetIcon(m_hIconGreen.Get());
    FillCertList();
    m_iconCert.SetIcon(m_hIconGreen.Get());
    m_iconLog.SetIcon(m_hIconGreen.Get());
    return false;
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

void CKvoCheckDlg::ShowLog()
{
    if (!m_listLog.IsWindow())
        return;
    m_listLog.DeleteAllItems();
    const std::vector<CKvoSession::Row> rows = m_session.Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        const int item = m_listLog.InsertItem(static_cast<int>(i), "");
        if (item < 0)
            break;
        m_listLog.SetItemText(item, 0, rows[i].time);
        m_listLog.SetItemText(item, 1, rows[i].subject);
    }
}

void CKvoCheckDlg::ShowResult(const CKvoSession::Result& result)
{
    const CKvoSession::Outcome outcome = result.outcome;
    if (outcome == CKvoSession::Outcome::Off || outcome == CKvoSession::Outcome::NoFile)
        return;
    if (result.operation != kvo::LogOperation::Export)
        ShowLog();
    CKvoSession::Notice notice;
    if (CKvoSession::NoticeOf(result, notice))
        Message(m_hWnd, notice.text, MB_OK | (notice.error ? MB_ICONERROR : MB_ICONINFORMATION));
}

void CKvoCheckDlg::OnRefresh() { ShowResult(m_session.Refresh()); }

void CKvoCheckDlg::OnHelpButton() { ShowHelp(); }

void CKvoCheckDlg::OnConfig()
{
    m_nCtrlType = RunConfigDialog();
    OnRefresh();
}

void CKvoCheckDlg::OnImport() { ShowResult(m_session.Import()); }

void CKvoCheckDlg::OnExport() { ShowResult(m_session.Export()); }

void CKvoCheckDlg::OnClear() { ShowResult(m_session.Clear()); }

LRESULT CKvoCheckDlg::OnDblclkLogList(NMHDR&)
{
    CKvoSession::Record record;
    if (m_session.RecordToOpen(m_listLog.IsWindow() ? m_listLog.GetSelectedIndex() : -1, m_unlocked, record))
        OpenRecordDetail(record.content, record.subject, record.time);
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
    DrawIcon(dc, x, y, m_hIconApp.Get());
    EndPaint(m_hWnd, &paint);
    return 0;
}

LRESULT CKvoCheckDlg::OnQueryDragIcon(UINT, WPARAM, LPARAM, bool&)
{
    return reinterpret_cast<LRESULT>(m_hIconApp.Get());
}

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
    // However the dialog ended, the log goes with it; a failure has no
    // window left to be shown in.
    m_session.End();
    return 0;
}
