// KvoCheck's record detail, configuration and help dialogs under Wine, worked
// from a second thread as a user would: windows found by caption, controls
// read, buttons clicked, keys typed. The main dialog runs in this process and
// opens them; the signing records are real ones, written by the control's
// Sign while this program holds the tool's mutex. Expected texts are UTF-8
// here, converted to code page 936. Screenshots go to QEL_SCREENSHOT_DIR.
#include "comutil.h"
#include "configdlg.h"
#include "controls.h"
#include "kvocheckdlg.h"
#include "kvodriver.h"
#include "logfile.h"
#include "logtest.h"
#include "ocx.h"
#include "recordfields.h"
#include "resource.h"
#include "textconv.h"
#include "toolmutex.h"

#include <gtest/gtest.h>

#include <ole2.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using diaglog::CLogFile;
using diaglog::CloseToolMutex;
using diaglog::CreateToolMutex;
using diaglog::kToolMutexName;

namespace {

using Bytes = logtest::Bytes;

std::string Gbk(const char* utf8)
{
    wchar_t wide[1024];
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 1024);
    char out[2048];
    const int m = n > 0 ? WideCharToMultiByte(936, 0, wide, n, out, sizeof out, nullptr, nullptr) : 0;
    return m > 0 ? std::string(out, static_cast<size_t>(m - 1)) : std::string("?");
}

Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
bool Visible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }
void Click(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// True once a popup menu of `thread` shows (window class "#32768").
bool WaitForPopupMenu(DWORD thread, DWORD ms)
{
    for (DWORD waited = 0; waited <= ms; waited += 50, Sleep(50)) {
        for (HWND menu = FindWindowExW(nullptr, nullptr, L"#32768", nullptr); menu;
             menu = FindWindowExW(nullptr, menu, L"#32768", nullptr))
            if (IsWindowVisible(menu) && GetWindowThreadProcessId(menu, nullptr) == thread)
                return true;
    }
    return false;
}

void Screenshot(HWND window, const char* name)
{
    if (const char* dir = std::getenv("QEL_SCREENSHOT_DIR")) {
        CreateDirectoryA(dir, nullptr);
        Sleep(300);  // painted
        EXPECT_TRUE(kvotest::SavePng(window, std::string(dir) + "\\" + name + ".png")) << name;
    }
}

// The text of a message box and the buttons it offers.
struct MessageBoxSeen {
    std::string text;
    std::vector<int> buttons;
};

BOOL CALLBACK ReadBoxChild(HWND child, LPARAM data)
{
    auto* seen = reinterpret_cast<MessageBoxSeen*>(data);
    wchar_t name[32] = L"";
    GetClassNameW(child, name, 32);
    if (IsWindowVisible(child) && lstrcmpiW(name, L"Button") == 0)
        seen->buttons.push_back(GetDlgCtrlID(child));
    else if (IsWindowVisible(child) && lstrcmpiW(name, L"Static") == 0 && !kvotest::Text(child).empty())
        seen->text = kvotest::Text(child);
    return TRUE;
}

// Runs `dialog` modally here while `user` works its window, found by
// `caption`, from a second thread; fails when it never shows or stays open.
INT_PTR RunDriven(fw::CDialog& dialog, const std::string& caption, const std::function<void(HWND)>& user)
{
    const DWORD thread = GetCurrentThreadId();
    bool shown = false, closed = false;
    logtest::Thread robot([&] {
        HWND d = kvotest::WaitForDialog(caption, thread, 10000);
        if (!(shown = d != nullptr))
            return;
        user(d);
        closed = kvotest::WaitGone(d, 5000);
        for (int i = 0; i < 20 && IsWindow(d); ++i, Sleep(250)) {  // whatever is left open
            if (HWND other = kvotest::WaitForOtherDialog(thread, d, 0))
                PostMessageW(other, WM_CLOSE, 0, 0);
            PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
    });
    const INT_PTR result = dialog.DoModal();
    robot.join();
    EXPECT_TRUE(shown && closed) << "\"" << caption << "\" did not show or stayed open";
    return result;
}

// Two records of the control's Sign of "abc" by "Zhang San", "Dept A": with
// MD5, then after SetSignType(1) with SHA-1.
struct SignedRecords {
    std::string subject, md5, sha1, pem, signature;
};

std::string CallText(IDispatch* disp, DISPID id, std::initializer_list<VARIANT> args)
{
    fw::CVariant r;
    EXPECT_EQ(S_OK, ocx::Call(disp, id, &r, args)) << "DISPID " << id;
    return V_VT(&r) == VT_BSTR ? qel::WideToAnsi(V_BSTR(&r), SysStringLen(V_BSTR(&r))) : std::string();
}

const SignedRecords& Records()
{
    static SignedRecords records;
    static bool made = false;
    if (made)
        return records;
    made = true;
    const DISPID kSign = 17, kGetCert = 26, kSetSignType = 31;
    logtest::PrivateTemp temp;
    fw::CComPtr<IDispatch> disp;
    if (FAILED(ocx::Create(IID_IDispatch, reinterpret_cast<void**>(&disp)))) {
        ADD_FAILURE() << "the control cannot be created from " << QEL_OCX_PATH;
        return records;
    }
    records.pem = CallText(disp.Get(), kGetCert, {ocx::Text(L"Zhang San"), ocx::Text(L"Dept A")});
    HANDLE tool = CreateToolMutex(kToolMutexName);
    records.signature = CallText(disp.Get(), kSign, {ocx::Text(L"abc"), ocx::Text(L"Zhang San"), ocx::Text(L"Dept A")});
    fw::CVariant r;
    EXPECT_EQ(S_OK, ocx::Call(disp.Get(), kSetSignType, &r, {ocx::Long(1)}));
    CallText(disp.Get(), kSign, {ocx::Text(L"abc"), ocx::Text(L"Zhang San"), ocx::Text(L"Dept A")});
    CloseToolMutex(tool);
    CLogFile log;
    EXPECT_TRUE(log.Load(log.GetPath().c_str()));
    if (log.GetCount() == 2) {
        records.subject = log.GetHeaders()[0].subject;
        records.md5 = log.GetContents()[0];
        records.sha1 = log.GetContents()[1];
    } else {
        ADD_FAILURE() << "the control wrote " << log.GetCount() << " records, not 2";
    }
    return records;
}

std::string Field(const char* label, const std::string& data)
{
    return std::string(label) + ":" + std::to_string(data.size()) + ":" + data + "\r\n";
}

TEST(RecordVerification, ChecksTheLoggedSignatureWithMd5)
{
    const SignedRecords& r = Records();
    ASSERT_EQ(Gbk("*签名数据"), r.subject);
    ASSERT_EQ(Field("Plain", "abc") + Field("Cert", r.pem) + Field("signdata", r.signature), r.md5);
    const struct {
        const char* what;
        std::string content;
        long code;
    } cases[] = {
        {"signed with MD5", r.md5, 0},
        {"a SignMessage record's CSP line is ignored", r.md5 + "CSP:Some CSP\r\n", 0},
        {"signed with SHA-1: checked with MD5", r.sha1, 6},
        {"plain text changed", Field("Plain", "abd") + Field("Cert", r.pem) + Field("signdata", r.signature), 6},
        {"no colon at all", Gbk("签名错误"), 2},
        {"a zero plain length: every field reads empty", "Plain:0:\r\n" + r.md5.substr(13), 2},
        {"not a certificate", Field("Plain", "abc") + Field("Cert", "QUJD") + Field("signdata", r.signature), 5},
        {"no signature field", Field("Plain", "abc") + Field("Cert", r.pem), 6},
        {"a plain length beyond the record leaves no certificate", "Plain:9999:abc\r\n" + Field("Cert", r.pem), 5},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.code, kvo::VerifyLogRecord(c.content)) << c.what;
}

// ---------------------------------------------------------------------------
// The configuration dialog, with config.ini in a current directory of its own

class ConfigDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        char old[MAX_PATH] = "";
        GetCurrentDirectoryA(MAX_PATH, old);
        m_old = old;
        ASSERT_TRUE(SetCurrentDirectoryA(m_temp.Dir().c_str()));
    }
    void TearDown() override { SetCurrentDirectoryA(m_old.c_str()); }
    std::string Ini() const { return m_temp.Dir() + "config.ini"; }

    logtest::PrivateTemp m_temp;
    std::string m_old;
};

std::string Setting(const char* value) { return Gbk("[控件类型]\r\n控件需求类型=") + value + "\r\n"; }

// Entry `index` chosen in the drop-down list.
void Choose(HWND dialog, int index)
{
    HWND combo = GetDlgItem(dialog, 1020);
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1020, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

// The keyboard focus in the combo box's edit field.
void FocusCombo(HWND dialog)
{
    kvotest::Foreground(dialog);
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, 1020)), TRUE);
}

TEST_F(ConfigDialogTest, ReadsSelectsAndWritesTheSetting)
{
    const struct {
        const char* what;
        std::string before;  // empty: no file
        int selected;        // when the dialog shows
        std::function<void(HWND)> act;
        INT_PTR result;
        int value;          // m_nCtrlType afterwards
        std::string after;  // the file afterwards; empty: as before
    } cases[] = {
        {"2 selects the third entry; 确定 writes it", Setting("2"), 2, [](HWND d) { Click(d, 1015); }, IDOK, 2,
         Setting("2")},
        {"no file: the first entry; another chosen", "", 0, [](HWND d) { Choose(d, 1); Click(d, 1015); }, IDOK, 1,
         Setting("1")},
        {"7 selects nothing; 确定 writes -1", Setting("7"), -1, [](HWND d) { Click(d, 1015); }, IDOK, -1, Setting("-1")},
        {"a typed text that is no entry writes -1", Setting("1"), 1,
         [](HWND d) { FocusCombo(d); kvotest::Type("xyz"); Click(d, 1015); }, IDOK, -1, Setting("-1")},
        {"取消 leaves the file", Gbk("[控件类型]\r\nKEEP=1\r\n控件需求类型=1\r\n"), 1,
         [](HWND d) { Choose(d, 2); Click(d, 1016); }, IDCANCEL, 1, ""},
        {"Esc leaves the file", Setting("0"), 0,
         [](HWND d) { Choose(d, 2); kvotest::Foreground(d); kvotest::Press({VK_ESCAPE}); }, IDCANCEL, 0, ""},
        {"Enter in the combo box writes like 确定", Setting("2"), 2,
         [](HWND d) { Choose(d, 0); FocusCombo(d); kvotest::Press({VK_RETURN}); }, IDOK, 0, Setting("0")},
    };
    const std::vector<std::string> entries = {Gbk("需要Vantor和密码控件"), Gbk("只需要Vantor控件"), Gbk("只需要密码控件")};
    for (const auto& c : cases) {
        DeleteFileA(Ini().c_str());
        if (!c.before.empty())
            logtest::WriteBytes(Ini(), AsBytes(c.before));
        CConfigDlg dlg;
        int selected = -2;
        std::vector<std::string> shown;
        DWORD style = 0;
        const INT_PTR result = RunDriven(dlg, Gbk("配置选项"), [&](HWND d) {
            HWND combo = GetDlgItem(d, 1020);
            selected = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
            for (int i = 0; i < static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0)); ++i) {
                wchar_t text[64] = L"";
                SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
                shown.push_back(qel::WideToAnsi(text));
            }
            style = static_cast<DWORD>(GetWindowLongW(combo, GWL_STYLE));
            c.act(d);
        });
        EXPECT_EQ(c.selected, selected) << c.what;
        EXPECT_EQ(entries, shown) << c.what;
        EXPECT_EQ(DWORD(CBS_DROPDOWN), style & (CBS_DROPDOWNLIST | CBS_SORT)) << c.what;
        EXPECT_EQ(c.result, result) << c.what;
        EXPECT_EQ(c.value, dlg.m_nCtrlType) << c.what;
        EXPECT_EQ(AsBytes(c.after.empty() ? c.before : c.after), logtest::ReadBytes(Ini())) << c.what;
    }
}

// ---------------------------------------------------------------------------
// The three dialogs as the user reaches them from the main dialog

class CMainDlg : public CKvoCheckDlg {
public:
    using CKvoCheckDlg::m_nCtrlType;
};

class MainDialogTest : public ConfigDialogTest {
protected:
    static void SetUpTestSuite() { fw::CListViewCtrl::InitListViewClass(); }
    void SetUp() override
    {
        ConfigDialogTest::SetUp();
        m_ole = SUCCEEDED(OleInitialize(nullptr));  // the control probe hosts the control
    }
    void TearDown() override
    {
        if (m_ole)
            OleUninitialize();
        ConfigDialogTest::TearDown();
    }
    bool m_ole = false;
};

int WaitForLines(const kvotest::CListView& list, int count)
{
    for (int i = 0; i < 200 && list.Count() != count; ++i)
        Sleep(50);
    return list.Count();
}

// A double click on `item`, posted as the mouse makes it: the dialog it
// opens runs while this thread goes on.
void PostDoubleClick(HWND list, int item)
{
    RECT rect = {LVIR_LABEL, 0, 0, 0};
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&rect));
    const LPARAM at = MAKELPARAM(rect.left + 4, (rect.top + rect.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
}

TEST_F(MainDialogTest, DetailConfigurationAndHelpOpenFromTheMainDialog)
{
    const SignedRecords& r = Records();
    ASSERT_FALSE(r.md5.empty());
    logtest::WriteBytes(Ini(), AsBytes(Setting("2")));
    const DWORD thread = GetCurrentThreadId();
    const std::string detailCaption = Gbk("日志详细信息");

    CMainDlg dlg;
    int linesAfterRefresh = 0, linesAfterCancel = 0;
    bool openedWhileLocked = true, detailButtons = false, detailOpenAfterCheck = false, infoButtons = true;
    std::string lineTime, detailText, menuText, configShown, help;
    MessageBoxSeen box;
    Bytes fileAfterCancel, fileAfterOk;
    RunDriven(dlg, Gbk("Vantor控件客户端检测工具 1.0.1.0"), [&](HWND main) {
        HWND list = GetDlgItem(main, 1207);
        kvotest::CListView log(list);
        // The control's signing record joins the log.
        CLogFile().AddRecord(r.subject.c_str(), r.md5.c_str());
        Click(main, 1000);  // 刷新
        linesAfterRefresh = WaitForLines(log, 2);
        lineTime = log.ItemText(1, 0);

        log.Select(1);
        PostDoubleClick(list, 1);
        openedWhileLocked = kvotest::WaitForOtherDialog(thread, main, 1000) != nullptr;

        HWND password = kvotest::PressForDialog(main, {VK_CONTROL, 'P'}, Gbk("请输入密码"), thread);
        if (!password)
            return;
        kvotest::Type("482915");
        kvotest::Press({VK_RETURN});
        kvotest::WaitGone(password, 5000);

        log.Select(1);
        PostDoubleClick(list, 1);
        HWND detail = kvotest::WaitForDialog(detailCaption, thread, 5000);
        if (!detail)
            return;
        detailText = kvotest::ItemText(detail, 1009);
        detailButtons = Visible(detail, 1021) && Visible(detail, 1016);
        Screenshot(detail, "logdetail");
        Click(detail, 1021);  // 校验
        if (HWND shown = kvotest::WaitForDialog(Gbk("验证"), thread, 10000)) {
            EnumChildWindows(shown, &ReadBoxChild, reinterpret_cast<LPARAM>(&box));
            Click(shown, IDOK);
            kvotest::WaitGone(shown, 5000);
        }
        Sleep(200);
        detailOpenAfterCheck = IsWindowVisible(detail) && IsWindowEnabled(detail);
        Click(detail, 1016);  // 关闭
        kvotest::WaitGone(detail, 5000);

        log.Select(0);  // 系统信息
        PostDoubleClick(list, 0);
        if ((detail = kvotest::WaitForDialog(detailCaption, thread, 5000)) != nullptr) {
            infoButtons = Visible(detail, 1021) || Visible(detail, 1016);
            kvotest::Foreground(detail);
            kvotest::Press({VK_ESCAPE});
            kvotest::WaitGone(detail, 5000);
        }

        // The system menu's last entry, chosen with the keyboard.
        wchar_t item[64] = L"";
        GetMenuStringW(GetSystemMenu(main, FALSE), IDM_KVO_CONFIG, item, 64, MF_BYCOMMAND);
        menuText = qel::WideToAnsi(item);
        // Alt+Space opens the menu in its own time: End and Return wait for it.
        bool menuOpen = false;
        for (int attempt = 0; attempt < 3 && !menuOpen; ++attempt) {
            kvotest::Foreground(main);
            kvotest::Press({VK_MENU, VK_SPACE});
            menuOpen = WaitForPopupMenu(thread, 5000);
        }
        if (!menuOpen)
            return;
        kvotest::Press({VK_END});
        kvotest::Press({VK_RETURN});
        HWND config = kvotest::WaitForDialog(Gbk("配置选项"), thread, 5000);
        if (!config)
            return;
        configShown = kvotest::Text(GetDlgItem(config, 1020));
        Screenshot(config, "config");
        CLogFile().AddRecord("later", "x");  // shows that the list is read again
        Click(config, 1016);  // 取消
        kvotest::WaitGone(config, 5000);
        linesAfterCancel = WaitForLines(log, 3);
        fileAfterCancel = logtest::ReadBytes(Ini());

        PostMessageW(main, WM_SYSCOMMAND, IDM_KVO_CONFIG, 0);
        if ((config = kvotest::WaitForDialog(Gbk("配置选项"), thread, 5000)) != nullptr) {
            Choose(config, 1);
            Click(config, 1015);  // 确定
            kvotest::WaitGone(config, 5000);
        }
        fileAfterOk = logtest::ReadBytes(Ini());

        Click(main, 1004);  // 帮助...
        if (HWND about = kvotest::WaitForDialog(Gbk("Vantor控件客户端监测工具 1.0.1.0 版"), thread, 5000)) {
            help = kvotest::ItemText(about, 1010);
            Screenshot(about, "about");
            kvotest::Foreground(about);
            kvotest::Press({VK_ESCAPE});
            kvotest::WaitGone(about, 5000);
        }
        Click(main, IDOK);
    });

    EXPECT_EQ(2, linesAfterRefresh) << "系统信息 and the signing record";
    EXPECT_FALSE(openedWhileLocked) << "no detail before the password";
    EXPECT_EQ(Gbk("时间：") + lineTime + Gbk("\r\n主题：签名数据\r\n日志：") + r.md5 + "\r\n", detailText);
    EXPECT_TRUE(detailButtons) << "校验 and 关闭 show for a signing record";
    EXPECT_EQ(Gbk("校验成功！"), box.text) << "in a message box with caption 验证";
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
    EXPECT_TRUE(detailOpenAfterCheck) << "the detail stays open after the check";
    EXPECT_FALSE(infoButtons) << "no button for the system information record";
    EXPECT_EQ(Gbk("配置选项..."), menuText);
    EXPECT_EQ(Gbk("只需要密码控件"), configShown);
    EXPECT_EQ(AsBytes(Setting("2")), fileAfterCancel) << "取消 leaves the file";
    EXPECT_EQ(3, linesAfterCancel) << "取消 still runs the probe and reads the log again";
    EXPECT_EQ(AsBytes(Setting("1")), fileAfterOk);
    EXPECT_EQ(1, dlg.m_nCtrlType) << "the main dialog took the setting";

    // The help text: a title line, then "* " lines, each ended by CR LF.
    ASSERT_GE(help.size(), 2u);
    ASSERT_EQ("\r\n", help.substr(help.size() - 2));
    std::vector<std::string> lines;
    for (size_t at = 0, end; at < help.size(); at = end + 2)
        lines.push_back(help.substr(at, (end = help.find("\r\n", at)) - at));
    ASSERT_EQ(12u, lines.size()) << help;
    EXPECT_EQ(Gbk("工具操作说明"), lines[0]);
    for (size_t i = 1; i < lines.size(); ++i)
        EXPECT_EQ("* ", lines[i].substr(0, 2)) << "line " << i + 1;
}

}  // namespace
