// KvoCheck.exe as the user runs it: started as a child process in a private
// temporary directory (its log) and working directory, its main dialog found
// by caption and read and driven with window messages and real keyboard
// input, its log read back with the log store. The prefix holds the
// certificate fixtures and the registered control. Wine reports the Windows
// version a program asks for under HKCU\Software\Wine\AppDefaults.
#include "nocopy.h"
#include "fixtures.h"
#include "kvocheckrules.h"
#include "kvodriver.h"
#include "logfile.h"
#include "logtest.h"
#include "resource.h"
#include "textconv.h"
#include "toolmutex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using diaglog::CLogFile;
using diaglog::LogRecordHeader;
using diaglog::MutexExists;
using diaglog::kToolMutexName;

namespace {

using kvotest::ItemText;
using kvotest::TestDir;

const char kCaption[] = "Vantor\xBF\xD8\xBC\xFE\xBF\xCD\xBB\xA7\xB6\xCB\xBC\xEC\xB2\xE2\xB9\xA4\xBE\xDF 1.0.1.0";
const char kPasswordCaption[] = "\xC7\xEB\xCA\xE4\xC8\xEB\xC3\xDC\xC2\xEB";  // 请输入密码
const char kSystemInfo[] = "\xCF\xB5\xCD\xB3\xD0\xC5\xCF\xA2";               // 系统信息
const char kSigned[] = "*\xC7\xA9\xC3\xFB\xCA\xFD\xBE\xDD";                  // *签名数据
const std::string kIePrefix = "Internet Explorer \xB0\xE6\xB1\xBE\xCE\xAA: ";  // Internet Explorer 版本为:
const std::string kBrowserPrefix = "\xC4\xAC\xC8\xCF\xE4\xAF\xC0\xC0\xC6\xF7\xCE\xAA:";  // 默认浏览器为:
// Vantor控件已安装，版本号为: 1.0.1.0
const std::string kControlInstalled =
    "Vantor\xBF\xD8\xBC\xFE\xD2\xD1\xB0\xB2\xD7\xB0\xA3\xAC\xB0\xE6\xB1\xBE\xBA\xC5\xCE\xAA: 1.0.1.0";
// 由于您操作系统版本过低,因此无法显示此部分内容.
const std::string kTooOld =
    "\xD3\xC9\xD3\xDA\xC4\xFA\xB2\xD9\xD7\xF7\xCF\xB5\xCD\xB3\xB0\xE6\xB1\xBE\xB9\xFD\xB5\xCD,"
    "\xD2\xF2\xB4\xCB\xCE\xDE\xB7\xA8\xCF\xD4\xCA\xBE\xB4\xCB\xB2\xBF\xB7\xD6\xC4\xDA\xC8\xDD.";
const char kImported[] = "\xB3\xC9\xB9\xA6\xB5\xBC\xC8\xEB\xC8\xD5\xD6\xBE\xA3\xA1";      // 成功导入日志！
const char kImportFailed[] = "\xB5\xBC\xC8\xEB\xC8\xD5\xD6\xBE\xCA\xA7\xB0\xDC\xA3\xA1";  // 导入日志失败！
const char kExportFailed[] = "\xB5\xBC\xB3\xF6\xC8\xD5\xD6\xBE\xCA\xA7\xB0\xDC\xA3\xA1";  // 导出日志失败！
const std::string kLogFailed = "\xC8\xD5\xD6\xBE\xB2\xD9\xD7\xF7\xCA\xA7\xB0\xDC\xA3\xBA";  // 日志操作失败：

const int kMessageText = 0xFFFF;  // the text of a message box
const int kFileNameCombo = 0x47C, kFileNameEdit = 0x480;

// The Windows version Wine reports to KvoCheck.exe while the object lives.
class AppVersion : private CNoCopy {
public:
    explicit AppVersion(const char* version)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
            ERROR_SUCCESS) {
            RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                           static_cast<DWORD>(strlen(version) + 1));
            RegCloseKey(key);
        }
    }
    ~AppVersion() { RegDeleteKeyA(HKEY_CURRENT_USER, kKey); }

private:
    static constexpr const char* kKey = "Software\\Wine\\AppDefaults\\KvoCheck.exe";
};

// One run of KvoCheck.exe with `dir` as its current directory.
class KvoCheck : private CNoCopy {
public:
    explicit KvoCheck(const std::string& dir)
    {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::string line = "\"" + TestDir() + "KvoCheck.exe\"";
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &m_pi))
            m_pi = PROCESS_INFORMATION();
    }
    ~KvoCheck()
    {
        if (!m_pi.hProcess)
            return;
        if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
            if (m_main)
                PostMessageW(m_main, WM_COMMAND, IDOK, 0);
            if (WaitForSingleObject(m_pi.hProcess, 10000) == WAIT_TIMEOUT)
                TerminateProcess(m_pi.hProcess, 255);
        }
        CloseHandle(m_pi.hThread);
        CloseHandle(m_pi.hProcess);
    }

    // The main dialog once it is up and idle, with every line filled.
    HWND WaitMain()
    {
        if (!m_pi.hProcess)
            return nullptr;
        m_main = kvotest::WaitForDialog(kCaption, m_pi.dwThreadId, 60000);
        if (m_main)
            WaitForInputIdle(m_pi.hProcess, 10000);
        return m_main;
    }
    HWND Main() const { return m_main; }
    DWORD Thread() const { return m_pi.dwThreadId; }
    // The exit code, or STILL_ACTIVE after `ms`.
    DWORD WaitExit(DWORD ms)
    {
        DWORD code = STILL_ACTIVE;
        if (m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, ms) == WAIT_OBJECT_0)
            GetExitCodeProcess(m_pi.hProcess, &code);
        return code;
    }
    // Clicks button `id` and returns once the dialog has handled it.
    void Command(int id) const
    {
        SendMessageW(m_main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(m_main, id)));
    }
    // Clicks button `id`, which opens a dialog (a file dialog, a message
    // box), and returns that dialog.
    HWND CommandOpens(int id, DWORD ms = 10000) const
    {
        PostMessageW(m_main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(m_main, id)));
        return kvotest::WaitForOtherDialog(m_pi.dwThreadId, m_main, ms);
    }
    // Returns once the dialog's thread is back in its own message loop.
    void Sync() const { SendMessageW(m_main, WM_NULL, 0, 0); }
    std::vector<std::string> LogLines() const
    {
        kvotest::CListView list(GetDlgItem(m_main, IDC_KVO_LOG_LIST));
        std::vector<std::string> lines;
        for (int i = 0; i < list.Count(); ++i)
            lines.push_back(list.ItemText(i, 1));
        return lines;
    }

private:
    PROCESS_INFORMATION m_pi = {};
    HWND m_main = nullptr;
};

std::string Subject(const LogRecordHeader& h) { return std::string(h.subject, strnlen(h.subject, sizeof h.subject)); }

// The log in the private temporary directory, as the store reads it.
std::vector<std::pair<std::string, std::string>> LogRecords()
{
    CLogFile log;
    std::vector<std::pair<std::string, std::string>> records;
    if (!log.Load(log.GetPath().c_str()))
        records.push_back({"<unreadable>", ""});
    for (size_t i = 0; i < log.GetHeaders().size(); ++i)
        records.push_back({Subject(log.GetHeaders()[i]), log.GetContents()[i]});
    return records;
}

// Answers a file dialog with `path`, or cancels it for an empty path.
void AnswerFileDialog(HWND dialog, const std::string& path)
{
    ASSERT_NE(nullptr, dialog) << "no file dialog";
    if (path.empty()) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    } else {
        HWND name = GetDlgItem(dialog, kFileNameCombo);
        if (!name)
            name = GetDlgItem(dialog, kFileNameEdit);
        ASSERT_NE(nullptr, name) << "no file name field";
        SetWindowTextW(name, qel::AnsiToWide(path).c_str());
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
    EXPECT_TRUE(kvotest::WaitGone(dialog, 10000)) << "the file dialog stays";
}

// The text of the message box `run` shows next; closes it.
std::string TakeMessage(const KvoCheck& run)
{
    HWND box = kvotest::WaitForOtherDialog(run.Thread(), run.Main(), 10000);
    if (!box)
        return "<no message box>";
    const std::string text = kvotest::Text(box) + ": " + ItemText(box, kMessageText);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    kvotest::WaitGone(box, 10000);
    return text;
}

// The CN each certificate line shows, by fixture, in store order: every
// fixture with a key-provider property and a DER that fits the buffers.
std::vector<std::pair<std::string, std::string>> CertLinesInStoreOrder()
{
    const std::vector<std::pair<const char*, const char*>> shown = {
        {"zhangsan-a", "Zhang San"}, {"zhangsan-b", "Zhang San"}, {"zhangsan-lower", "zhang san"},
        {"li-two-ou", "Li"}, {"no-cn", ""}, {"wangwu-no-ou", "Wang Wu"}, {"comma-cn", "\"Li"},
        {"chinese", "\xC0\xEE\xCB\xC4"}, {"sign-only", "Sign Only"}, {"rsa2048", "Big Key"},
        {"software", "Soft Key"}, {"provider-case", "Case Provider"}, {"unplugged", "Unplugged"},
    };  // not: no-property, large-der
    std::vector<std::pair<std::string, std::string>> order;  // fixture id, line
    for (const std::string& id : fixtures::IdsInStoreOrder())
        for (const auto& entry : shown)
            if (id == entry.first)
                order.push_back(entry);
    return order;
}

std::string FixtureDer(const std::string& id)
{
    std::string der;
    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    PCCERT_CONTEXT cert = nullptr;
    while ((cert = CertEnumCertificatesInStore(store, cert)) != nullptr) {
        const fixtures::CFixture* f = fixtures::Find(cert);
        if (f && id == f->m_pszId)
            der.assign(reinterpret_cast<const char*>(cert->pbCertEncoded), cert->cbCertEncoded);
    }
    CertCloseStore(store, 0);
    return der;
}

class KvoCheckProgram : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, MutexExists(kToolMutexName)) << "another KvoCheck runs";
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((TestDir() + "KvoCheck.exe").c_str()));
    }

    logtest::PrivateTemp temp;  // TMP and TEMP of the program: its log
    AppVersion version{"winxp"};
};

TEST_F(KvoCheckProgram, ShowsTheClientAndStartsTheLogWithIt)
{
    KvoCheck run(temp.Dir());
    HWND main = run.WaitMain();
    ASSERT_NE(nullptr, main) << "no main dialog";
    EXPECT_EQ(1, MutexExists(kToolMutexName)) << "the controls log while the tool runs";

    const std::string windows = ItemText(main, IDC_KVO_WINDOWS), ie = ItemText(main, IDC_KVO_IE);
    const std::string control = ItemText(main, IDC_KVO_CONTROL), browser = ItemText(main, IDC_KVO_BROWSER);
    EXPECT_EQ(0u, windows.find("Microsoft Windows XP \xB0\xE6\xB1\xBE: 5.1 (")) << windows;
    EXPECT_EQ(0u, ie.find(kIePrefix)) << ie;
    EXPECT_EQ(kControlInstalled, control);
    EXPECT_EQ(0u, browser.find(kBrowserPrefix)) << browser;

    const std::vector<std::string> csps = kvotest::ListBoxLines(GetDlgItem(main, IDC_KVO_CSP_LIST));
    for (size_t i = 0; i < fixtures::kUsbCspCount; ++i)
        EXPECT_NE(csps.end(), std::find(csps.begin(), csps.end(), fixtures::kUsbCsps[i])) << fixtures::kUsbCsps[i];
    EXPECT_NE(csps.end(), std::find(csps.begin(), csps.end(), fixtures::kSoftwareCsp));
    std::vector<std::string> certs;
    for (const auto& line : CertLinesInStoreOrder())
        certs.push_back(line.second);
    EXPECT_EQ(certs, kvotest::ListBoxLines(GetDlgItem(main, IDC_KVO_CERT_LIST)));

    kvotest::CListView log(GetDlgItem(main, IDC_KVO_LOG_LIST));
    EXPECT_EQ("\xCA\xB1\xBC\xE4", log.ColumnTitle(0));  // 时间
    EXPECT_EQ("\xD6\xF7\xCC\xE2", log.ColumnTitle(1));  // 主题
    EXPECT_EQ(150, log.ColumnWidth(0));
    EXPECT_EQ(300, log.ColumnWidth(1));
    EXPECT_EQ(0x121u, log.ExtendedStyle() & 0x121u) << "gridlines, full-row selection, flat scroll bars";
    ASSERT_EQ(1, log.Count());
    EXPECT_EQ(kSystemInfo, log.ItemText(0, 1));
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    EXPECT_EQ(6, std::sscanf(log.ItemText(0, 0).c_str(), "%d/%d/%d/%d:%d:%d", &y, &mo, &d, &h, &mi, &s))
        << log.ItemText(0, 0);

    // The first record is what the dialog shows.
    const auto records = LogRecords();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(kSystemInfo, records[0].first);
    EXPECT_EQ(kvo::BuildSystemInfoText(windows, ie, control, csps, certs), records[0].second);

    CreateDirectoryA((TestDir() + "screenshots").c_str(), nullptr);
    EXPECT_TRUE(kvotest::Foreground(main));
    EXPECT_TRUE(kvotest::SavePng(main, TestDir() + "screenshots\\kvocheck-main.png"));

    run.Command(IDOK);
    EXPECT_EQ(0u, run.WaitExit(20000)) << "the tool ends with its dialog";
    EXPECT_FALSE(logtest::FileExists(temp.LogPath())) << "the log goes with the tool";
    EXPECT_EQ(0, MutexExists(kToolMutexName)) << "the controls stop logging";
}

TEST_F(KvoCheckProgram, ASecondCopyShowsNothingAndTouchesNothing)
{
    KvoCheck first(temp.Dir());
    ASSERT_NE(nullptr, first.WaitMain());
    const logtest::Bytes before = logtest::ReadBytes(temp.LogPath());
    ASSERT_FALSE(before.empty());

    KvoCheck second(temp.Dir());
    EXPECT_EQ(0u, second.WaitExit(20000)) << "the second copy ends at once";
    EXPECT_EQ(nullptr, kvotest::WaitForOtherDialog(second.Thread(), nullptr, 0)) << "and shows nothing";
    EXPECT_TRUE(before == logtest::ReadBytes(temp.LogPath())) << "the first copy's log is untouched";
    EXPECT_EQ(1, MutexExists(kToolMutexName)) << "the first copy's mutex stays";
    EXPECT_TRUE(IsWindowVisible(first.Main()));
}

TEST_F(KvoCheckProgram, EveryWayOfClosingDeletesTheLog)
{
    // A log an earlier run left behind, which the next start clears.
    {
        CLogFile stale;
        stale.AddRecord("stale", "left over");
        stale.AddRecord("stale", "left over");
    }
    const struct {
        const char* how;
        std::function<void(KvoCheck&)> close;
    } ways[] = {
        {"\xB9\xD8\xB1\xD5 button", [](KvoCheck& run) { run.Command(IDOK); }},  // 关闭
        {"Esc", [](KvoCheck& run) { EXPECT_TRUE(kvotest::PressUntilGone(run.Main(), {VK_ESCAPE})); }},
        {"Enter", [](KvoCheck& run) { EXPECT_TRUE(kvotest::PressUntilGone(run.Main(), {VK_RETURN})); }},
        {"title bar", [](KvoCheck& run) { PostMessageW(run.Main(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const auto& way : ways) {
        KvoCheck run(temp.Dir());
        ASSERT_NE(nullptr, run.WaitMain()) << way.how;
        const auto records = LogRecords();
        ASSERT_EQ(1u, records.size()) << way.how << ": the log starts anew";
        EXPECT_EQ(kSystemInfo, records[0].first) << way.how;
        way.close(run);
        EXPECT_EQ(0u, run.WaitExit(20000)) << way.how;
        EXPECT_FALSE(logtest::FileExists(temp.LogPath())) << way.how << ": the log is deleted";
        EXPECT_EQ(0, MutexExists(kToolMutexName)) << way.how;
    }
}

TEST_F(KvoCheckProgram, ClearExportAndImport)
{
    KvoCheck run(temp.Dir());
    ASSERT_NE(nullptr, run.WaitMain());
    {
        CLogFile control;  // as a control appends while the tool runs
        control.AddRecord(kSigned, "Plain:3:abc\r\n");
        control.AddRecord(" blank first", "x");
    }
    run.Command(IDC_KVO_REFRESH);
    const std::vector<std::string> three = {kSystemInfo, "\xC7\xA9\xC3\xFB\xCA\xFD\xBE\xDD", " blank first"};
    EXPECT_EQ(three, run.LogLines()) << "\"*\" is not shown, a leading blank is";

    const std::string saved = temp.Dir() + "saved.LOG";
    AnswerFileDialog(run.CommandOpens(IDC_KVO_EXPORT), saved);
    run.Sync();
    EXPECT_FALSE(logtest::FileExists(saved)) << "\".LOG\" is not \".log\"";
    EXPECT_TRUE(logtest::ReadBytes(saved + ".log") == logtest::ReadBytes(temp.LogPath()))
        << "the export is the log file as stored";

    run.Command(IDC_KVO_CLEAR);
    EXPECT_EQ(std::vector<std::string>{kSystemInfo}, run.LogLines()) << "cleared down to the system information";
    ASSERT_EQ(1u, LogRecords().size());

    AnswerFileDialog(run.CommandOpens(IDC_KVO_IMPORT), saved + ".log");
    EXPECT_EQ(std::string("KvoCheck: ") + kImported, TakeMessage(run));
    run.Sync();
    std::vector<std::string> four = three;
    four.push_back(kSystemInfo);
    EXPECT_EQ(four, run.LogLines()) << "the imported records, then the system information";
    EXPECT_EQ(4u, LogRecords().size());

    logtest::WriteBytes(temp.Dir() + "other.log", logtest::Bytes(100, 'x'));
    AnswerFileDialog(run.CommandOpens(IDC_KVO_IMPORT), temp.Dir() + "other.log");
    EXPECT_EQ(std::string("KvoCheck: ") + kImportFailed, TakeMessage(run)) << "a file that is no log";
    run.Sync();
    EXPECT_EQ(four, run.LogLines()) << "the log stays as it was";
    EXPECT_EQ(4u, LogRecords().size());

    AnswerFileDialog(run.CommandOpens(IDC_KVO_IMPORT), "");
    run.Sync();
    EXPECT_EQ(four, run.LogLines()) << "a cancelled import";
    AnswerFileDialog(run.CommandOpens(IDC_KVO_EXPORT), temp.Dir() + "no\\such\\dir\\x.log");
    EXPECT_EQ(std::string("KvoCheck: ") + kExportFailed, TakeMessage(run)) << "an export that cannot be written";
    EXPECT_EQ(four, run.LogLines());
}

// A log the store refuses (a folder in its place): each button that meets
// it shows one message box naming it, and the tool goes on.
TEST_F(KvoCheckProgram, AStoreFailureShowsOneMessageNamingTheOperation)
{
    KvoCheck run(temp.Dir());
    ASSERT_NE(nullptr, run.WaitMain());
    const std::string saved = temp.Dir() + "saved.log";
    AnswerFileDialog(run.CommandOpens(IDC_KVO_EXPORT), saved);
    run.Sync();
    ASSERT_TRUE(DeleteFileA(temp.LogPath().c_str()) && CreateDirectoryA(temp.LogPath().c_str(), nullptr));

    const struct {
        int button;
        std::string file;  // for the file dialog it opens first
        std::string word;
    } cases[] = {
        {IDC_KVO_CLEAR, "", "\xC7\xE5\xB3\xFD"},       // 清除
        {IDC_KVO_REFRESH, "", "\xCB\xA2\xD0\xC2"},     // 刷新
        {IDC_KVO_IMPORT, saved, "\xB5\xBC\xC8\xEB"},   // 导入
    };
    for (const auto& c : cases) {
        if (c.file.empty())
            PostMessageW(run.Main(), WM_COMMAND, MAKEWPARAM(c.button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(run.Main(), c.button)));
        else
            AnswerFileDialog(run.CommandOpens(c.button), c.file);
        EXPECT_EQ("KvoCheck: " + kLogFailed + c.word, TakeMessage(run)) << "button " << c.button;
        EXPECT_EQ(nullptr, kvotest::WaitForOtherDialog(run.Thread(), run.Main(), 1000))
            << "button " << c.button << ": one message box";
        run.Sync();
        EXPECT_TRUE(IsWindowVisible(run.Main())) << "button " << c.button;
    }

    ASSERT_TRUE(RemoveDirectoryA(temp.LogPath().c_str()));
    run.Command(IDC_KVO_CLEAR);
    EXPECT_EQ(nullptr, kvotest::WaitForOtherDialog(run.Thread(), run.Main(), 0)) << "a clear that works says nothing";
    EXPECT_EQ(std::vector<std::string>{kSystemInfo}, run.LogLines());
    run.Command(IDOK);
    EXPECT_EQ(0u, run.WaitExit(20000));
    EXPECT_FALSE(logtest::FileExists(temp.LogPath()));
}

TEST_F(KvoCheckProgram, CtrlPAsksForThePassword)
{
    KvoCheck run(temp.Dir());
    ASSERT_NE(nullptr, run.WaitMain());
    ASSERT_TRUE(kvotest::Foreground(run.Main()));
    SendMessageW(run.Main(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(run.Main(), IDC_KVO_CERT_LIST)), TRUE);

    kvotest::Press({'P'});
    EXPECT_EQ(nullptr, kvotest::WaitForDialog(kPasswordCaption, run.Thread(), 1000)) << "P alone";

    HWND ask = kvotest::PressForDialog(run.Main(), {VK_CONTROL, 'P'}, kPasswordCaption, run.Thread());
    ASSERT_NE(nullptr, ask) << "Ctrl+P";
    ASSERT_TRUE(kvotest::Foreground(ask));
    kvotest::Type("482915");
    EXPECT_TRUE(kvotest::PressUntilGone(ask, {VK_RETURN})) << "Enter ends the password dialog";
    EXPECT_TRUE(IsWindow(run.Main())) << "and not the tool";

    ask = kvotest::PressForDialog(run.Main(), {VK_CONTROL, 'P'}, kPasswordCaption, run.Thread());
    ASSERT_NE(nullptr, ask) << "Ctrl+P again";
    EXPECT_TRUE(kvotest::PressUntilGone(ask, {VK_ESCAPE}));
    EXPECT_EQ(STILL_ACTIVE, run.WaitExit(500)) << "Esc in the password dialog leaves the tool running";
}

TEST_F(KvoCheckProgram, DoubleClickedCertificateOpensInTheViewer)
{
    const std::string record = temp.Dir() + "viewer";
    SetEnvironmentVariableA("QEL_VIEWER_RECORD", record.c_str());
    const std::string release = logtest::UniqueName("viewer");
    HANDLE releaseEvent = CreateEventA(nullptr, TRUE, FALSE, release.c_str());
    SetEnvironmentVariableA("QEL_VIEWER_RELEASE", release.c_str());
    KvoCheck run(temp.Dir());
    SetEnvironmentVariableA("QEL_VIEWER_RECORD", nullptr);
    SetEnvironmentVariableA("QEL_VIEWER_RELEASE", nullptr);
    ASSERT_NE(nullptr, run.WaitMain());

    HWND list = GetDlgItem(run.Main(), IDC_KVO_CERT_LIST);
    const auto lines = CertLinesInStoreOrder();
    const auto doubleClick = [&] {
        PostMessageW(run.Main(), WM_COMMAND, MAKEWPARAM(IDC_KVO_CERT_LIST, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
    };
    doubleClick();
    Sleep(1000);
    EXPECT_FALSE(logtest::FileExists(record + ".cmd")) << "nothing selected, nothing opened";

    // The line of a certificate without CN, and the last line, which stands
    // after certificates left out of the list.
    std::vector<size_t> picks = {lines.size() - 1};
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].first == "no-cn")
            picks.push_back(i);
    for (size_t pick : picks) {
        DeleteFileA((record + ".der").c_str());
        DeleteFileA((record + ".cmd").c_str());
        SendMessageW(list, LB_SETCURSEL, pick, 0);
        doubleClick();
        for (int i = 0; i < 200 && !logtest::FileExists(record + ".cmd"); ++i)
            Sleep(50);
        const logtest::Bytes der = logtest::ReadBytes(record + ".der");
        EXPECT_EQ(FixtureDer(lines[pick].first), std::string(der.begin(), der.end()))
            << "line " << pick << " (" << lines[pick].first << ") opens its own certificate";
    }
    SetEvent(releaseEvent);
    CloseHandle(releaseEvent);
}

// Windows 98, as Wine reports it to the program: nothing but the version.
TEST_F(KvoCheckProgram, Windows98ShowsOnlyTheVersion)
{
    AppVersion win98("win98");
    KvoCheck run(temp.Dir());
    ASSERT_NE(nullptr, run.WaitMain());
    HWND main = run.Main();
    EXPECT_EQ("Microsoft Windows 98", ItemText(main, IDC_KVO_WINDOWS));
    for (int id : {IDC_KVO_BROWSER, IDC_KVO_IE, IDC_KVO_CONTROL})
        EXPECT_EQ(kTooOld, ItemText(main, id)) << "line " << id;
    EXPECT_TRUE(kvotest::ListBoxLines(GetDlgItem(main, IDC_KVO_CSP_LIST)).empty());
    EXPECT_TRUE(kvotest::ListBoxLines(GetDlgItem(main, IDC_KVO_CERT_LIST)).empty());
    EXPECT_TRUE(run.LogLines().empty());
    EXPECT_FALSE(logtest::FileExists(temp.LogPath())) << "no record on Windows 98";
    for (int id : {IDC_KVO_CLEAR, IDC_KVO_REFRESH, IDC_KVO_IMPORT, IDC_KVO_EXPORT}) {
        EXPECT_EQ(nullptr, run.CommandOpens(id, 1000)) << "button " << id << " opens nothing";
        run.Sync();
        EXPECT_FALSE(logtest::FileExists(temp.LogPath())) << "button " << id << " writes no log";
        EXPECT_TRUE(run.LogLines().empty()) << "button " << id;
    }
}

// Refresh probes anew: a provider registered since the start is listed, and
// a control unregistered since shows the red "not installed" line.
TEST_F(KvoCheckProgram, RefreshSeesProvidersAndTheControlAnew)
{
    const char kProviders[] = "SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\";
    const std::string added = std::string(kProviders) + "QelTest Refresh CSP";
    KvoCheck run(temp.Dir());
    ASSERT_NE(nullptr, run.WaitMain());
    HMODULE ocx = LoadLibraryA(QEL_OCX_PATH);
    ASSERT_NE(nullptr, ocx);
    using Entry = HRESULT(STDAPICALLTYPE*)();
    const auto unregister = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(ocx, "DllUnregisterServer")));
    const auto reregister = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(ocx, "DllRegisterServer")));
    ASSERT_TRUE(unregister && reregister);

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, added.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                             nullptr, &key, nullptr));
    const DWORD type = PROV_RSA_FULL;
    RegSetValueExA(key, "Type", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&type), sizeof type);
    RegSetValueExA(key, "Image Path", 0, REG_SZ, reinterpret_cast<const BYTE*>("rsaenh.dll"), 11);
    RegCloseKey(key);
    EXPECT_EQ(S_OK, unregister());

    run.Command(IDC_KVO_REFRESH);
    const std::vector<std::string> csps = kvotest::ListBoxLines(GetDlgItem(run.Main(), IDC_KVO_CSP_LIST));
    const std::string control = ItemText(run.Main(), IDC_KVO_CONTROL);

    EXPECT_EQ(S_OK, reregister());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, added.c_str());
    FreeLibrary(ocx);
    EXPECT_NE(csps.end(), std::find(csps.begin(), csps.end(), "QelTest Refresh CSP")) << "a new provider";
    EXPECT_EQ("Vantor\xBF\xD8\xBC\xFE\xC9\xD0\xCE\xB4\xB0\xB2\xD7\xB0.", control)  // Vantor控件尚未安装.
        << "an unregistered control";
    run.Command(IDC_KVO_REFRESH);
    EXPECT_EQ(kControlInstalled, ItemText(run.Main(), IDC_KVO_CONTROL)) << "registered again";
}

}  // namespace
