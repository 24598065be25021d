// KvoCheck's main dialog in the test's own process, driven from a second
// thread with real keyboard input: the icons the probe set, and the password
// gate in front of the record detail view, whose opening the test sees
// through the dialog's hook. Then the probe's registry and file lookups
// against values the test puts into the prefix for a while.
#include "nocopy.h"
#include "kvocheckdlg.h"
#include "kvodriver.h"
#include "logtest.h"
#include "resource.h"
#include "systemprobe.h"
#include "textconv.h"

#include <gtest/gtest.h>

#include <ole2.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const char kCaption[] = "Vantor\xBF\xD8\xBC\xFE\xBF\xCD\xBB\xA7\xB6\xCB\xBC\xEC\xB2\xE2\xB9\xA4\xBE\xDF 1.0.1.0";
const char kPasswordCaption[] = "\xC7\xEB\xCA\xE4\xC8\xEB\xC3\xDC\xC2\xEB";  // 请输入密码
const char kSystemInfo[] = "\xCF\xB5\xCD\xB3\xD0\xC5\xCF\xA2";               // 系统信息

class CGateDlg : public CKvoCheckDlg {
public:
    std::vector<std::string> opened;  // subject and content of each record opened

    HICON Yellow() const { return m_hIconYellow.Get(); }
    HICON Green() const { return m_hIconGreen.Get(); }

protected:
    void OpenRecordDetail(const std::string& content, const std::string& subject, const std::string& time) override
    {
        opened.push_back(subject + "|" + (content.empty() ? "" : "content") + "|" + (time.empty() ? "" : "time"));
    }
};

class KvoCheckDialog : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(fw::CListViewCtrl::InitListViewClass()); }
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override { OleUninitialize(); }

    // Runs the dialog while `user` acts on it from a second thread; fails
    // the test when the dialog does not show or does not end.
    void Run(CGateDlg& dlg, const std::function<void(HWND)>& user)
    {
        const DWORD thread = GetCurrentThreadId();
        bool shown = false;
        logtest::Thread robot([&] {
            HWND main = kvotest::WaitForDialog(kCaption, thread, 60000);
            shown = main != nullptr;
            if (!shown)
                return;
            user(main);
            // Ends whatever the script left open, then the dialog.
            for (int i = 0; i < 100 && IsWindow(main); ++i) {
                if (HWND other = kvotest::WaitForOtherDialog(thread, main, 0))
                    PostMessageW(other, WM_COMMAND, IDCANCEL, 0);
                PostMessageW(main, WM_COMMAND, IDOK, 0);
                Sleep(100);
            }
        });
        dlg.DoModal();
        robot.join();
        EXPECT_TRUE(shown) << "no main dialog";
    }

    logtest::PrivateTemp temp;
};

TEST_F(KvoCheckDialog, ProbeSetsTheIcons)
{
    CGateDlg dlg;
    Run(dlg, [&](HWND main) {
        const auto icon = [&](int id) {
            return reinterpret_cast<HICON>(SendMessageW(GetDlgItem(main, id), STM_GETICON, 0, 0));
        };
        EXPECT_EQ(dlg.Green(), icon(IDC_KVO_ICON_CONTROL)) << "the registered control answers 1010";
        for (int id : {IDC_KVO_ICON_CSP, IDC_KVO_ICON_CERT, IDC_KVO_ICON_LOG})
            EXPECT_EQ(dlg.Green(), icon(id)) << "section icon " << id;
        const std::string windows = kvotest::ItemText(main, IDC_KVO_WINDOWS);
        EXPECT_EQ(windows.find("Microsoft Windows XP") == 0 || windows.find("Microsoft Windows 2003") == 0
                      ? dlg.Green()
                      : dlg.Yellow(),
                  icon(IDC_KVO_ICON_WINDOWS))
            << windows;
    });
}

TEST_F(KvoCheckDialog, PasswordGateGuardsTheRecordDetail)
{
    CGateDlg dlg;
    std::vector<size_t> openedAfter;  // records opened after each step
    Run(dlg, [&](HWND main) {
        ASSERT_TRUE(kvotest::Foreground(main));
        kvotest::CListView log(GetDlgItem(main, IDC_KVO_LOG_LIST));
        ASSERT_EQ(1, log.Count());
        ASSERT_TRUE(log.Select(0));
        // Ctrl+P from the keyboard; the answer through the dialog's
        // messages, which no other program's window can intercept.
        const DWORD dialogThread = GetWindowThreadProcessId(main, nullptr);
        const auto enter = [&](const char* password) {
            HWND ask = kvotest::PressForDialog(main, {VK_CONTROL, 'P'}, kPasswordCaption, dialogThread);
            if (!ask) {
                ADD_FAILURE() << "no password dialog";
                return;
            }
            if (password)
                SetWindowTextW(GetDlgItem(ask, IDC_KVO_PASSWORD), qel::AnsiToWide(password).c_str());
            PostMessageW(ask, WM_COMMAND, password ? IDOK : IDCANCEL, 0);
            EXPECT_TRUE(kvotest::WaitGone(ask, 10000));
        };
        const auto doubleClick = [&] {
            log.DoubleClick(0);
            SendMessageW(main, WM_NULL, 0, 0);
            openedAfter.push_back(dlg.opened.size());
        };
        doubleClick();            // locked at start
        enter("482915");
        doubleClick();            // unlocked
        doubleClick();            // stays unlocked
        enter("482916");
        doubleClick();            // a wrong password locks again
        enter("482915");
        enter(nullptr);
        doubleClick();            // so does a cancelled entry
        enter("482915");
        SendMessageW(GetDlgItem(main, IDC_KVO_LOG_LIST), LVM_DELETEALLITEMS, 0, 0);
        doubleClick();            // no line selected
    });
    EXPECT_EQ((std::vector<size_t>{0, 1, 2, 2, 2, 2}), openedAfter) << "records opened after each double click";
    ASSERT_FALSE(dlg.opened.empty());
    EXPECT_EQ(std::string(kSystemInfo) + "|content|time", dlg.opened[0]);
}

// Sets a string value under HKEY_LOCAL_MACHINE (null: deletes it) and
// restores the old one at the end.
class MachineValue : private CNoCopy {
public:
    MachineValue(const char* key, const char* name) : m_key(key), m_name(name)
    {
        HKEY h = nullptr;
        m_existed = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) == ERROR_SUCCESS;
        if (m_existed) {
            char value[1024] = "";
            DWORD size = sizeof value - 1;
            m_hadValue = RegQueryValueExA(h, name, nullptr, &m_type, reinterpret_cast<BYTE*>(value), &size) ==
                         ERROR_SUCCESS;
            m_old.assign(value, size);
            RegCloseKey(h);
        }
    }
    ~MachineValue()
    {
        if (m_hadValue)
            Set(m_type, m_old.data(), m_old.size());
        else if (m_existed)
            Delete();
        else
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, m_key);
    }

    void Set(DWORD type, const void* data, size_t size)
    {
        HKEY h = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, m_key, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                                 &h, nullptr));
        RegSetValueExA(h, m_name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
        RegCloseKey(h);
    }
    void SetText(const std::string& text) { Set(REG_SZ, text.c_str(), text.size() + 1); }
    void Delete()
    {
        HKEY h = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_key, 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
            RegDeleteValueA(h, m_name);
            RegCloseKey(h);
        }
    }

private:
    const char* m_key;
    const char* m_name;
    bool m_existed = false;
    bool m_hadValue = false;
    DWORD m_type = REG_SZ;
    std::string m_old;
};

TEST(KvoSystemProbe, InternetExplorerVersionValue)
{
    MachineValue version("SOFTWARE\\Microsoft\\Internet Explorer", "Version");
    const std::string longest(31, '7');
    const struct {
        const char* what;
        std::function<void()> set;
        int major;
        std::string text;
    } cases[] = {
        {"XP's own", [&] { version.SetText("6.0.2900.5512"); }, 6, "6.0.2900.5512"},
        {"version 5", [&] { version.SetText("5.00.3700.1000"); }, 5, "5.00.3700.1000"},
        {"31 characters", [&] { version.SetText(longest); }, 0, longest},
        {"32 characters do not fit", [&] { version.SetText(longest + "7"); }, 0, ""},
        {"not text", [&] { const DWORD v = 8; version.Set(REG_DWORD, &v, sizeof v); }, 0, ""},
        // Read whole, or refused (Wine wants room for a terminator), but
        // never read beyond.
        {"no terminator", [&] { version.Set(REG_SZ, "8.0.6001.18702..................", 32); }, 0, "?"},
        {"missing", [&] { version.Delete(); }, 0, ""},
    };
    CSystemProbe probe;
    for (const auto& c : cases) {
        c.set();
        int major = -1;
        std::string text = "untouched";
        EXPECT_EQ(0, probe.GetIeVersion(major, text)) << c.what;
        if (c.text == "?") {
            EXPECT_TRUE(text.empty() || text == "8.0.6001.18702..................") << c.what << ": " << text;
        } else {
            EXPECT_EQ(c.text, text) << c.what;
        }
        if (c.major) {  // where the value names one
            EXPECT_EQ(c.major, major) << c.what;
        }
    }
}

TEST(KvoSystemProbe, DefaultBrowserOfTheTipPage)
{
    char windows[MAX_PATH] = "";
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    const std::string web = std::string(windows) + "\\Web";
    const std::string tip = web + "\\tip.htm";
    const bool hadWeb = CreateDirectoryA(web.c_str(), nullptr) == FALSE;
    const bool hadTip = logtest::FileExists(tip);
    if (!hadTip)
        logtest::WriteBytes(tip, logtest::Bytes{'<', 'p', '>'});
    MachineValue type("SOFTWARE\\Classes\\.htm", nullptr);
    type.SetText("htmlfile");
    MachineValue open("SOFTWARE\\Classes\\htmlfile\\shell\\open\\command", nullptr);

    const struct {
        std::string command;
        int result;
        std::string description;
    } cases[] = {
        {"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1", 1, "Wine Internet Explorer"},
        // KvoCheck's own: "KvoCheck Microsoft 基础类应用程序"
        {"\"" + kvotest::TestDir() + "KvoCheck.exe\" %1", 0,
         "KvoCheck Microsoft \xBB\xF9\xB4\xA1\xC0\xE0\xD3\xA6\xD3\xC3\xB3\xCC\xD0\xF2"},
        {std::string(windows) + "\\notepad.exe %1", 0, ""},  // a program without version resource
    };
    CSystemProbe probe;
    for (const auto& c : cases) {
        open.SetText(c.command);
        std::string description = "untouched";
        EXPECT_EQ(c.result, probe.GetDefaultBrowser(description)) << c.command;
        EXPECT_EQ(c.description, description) << c.command;
    }
    std::string description;

    if (!hadTip)
        DeleteFileA(tip.c_str());
    if (!hadWeb)
        RemoveDirectoryA(web.c_str());
    if (!logtest::FileExists(tip)) {
        EXPECT_EQ(0, probe.GetDefaultBrowser(description));
        EXPECT_EQ("", description) << "no tip page, no program";
    }
}

}  // namespace
