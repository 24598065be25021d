// fw::CDialog, the message tables and the control wrappers under Wine, driven
// by real window messages and keyboard input: each dialog posts itself a
// message once it is up, and the test's script runs from there. A timer ends
// a dialog that the script failed to end, so a fault fails instead of hanging.
#include <gtest/gtest.h>

#include "controls.h"
#include "dialog.h"
#include "dialog_test_res.h"
#include "window.h"

#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>

namespace {

const UINT kRunScript = WM_APP + 1;
const INT_PTR kTimedOut = 99;

// Presses `keys` in order and releases them in reverse, as real input.
void Press(std::initializer_list<BYTE> keys)
{
    for (BYTE k : keys)
        keybd_event(k, 0, 0, 0);
    for (auto k = keys.end(); k != keys.begin();)
        keybd_event(*--k, 0, KEYEVENTF_KEYUP, 0);
}

// The edit's keystrokes, seen behind the dialog's back.
int g_editKeyP = 0;
WNDPROC g_editProc = nullptr;
LRESULT CALLBACK CountingEditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_KEYDOWN && wParam == 'P')
        ++g_editKeyP;
    return CallWindowProcW(g_editProc, hwnd, msg, wParam, lParam);
}

class CTestDialog : public fw::CDialog {
public:
    explicit CTestDialog(UINT id) : CDialog(id), m_full(id == IDD_FULL) {}
    using fw::CDialog::UpdateData;

    std::function<void(CTestDialog&)> script;  // runs once the dialog is up
    std::string name;
    bool enabled = false;
    int kind = -1;
    bool requireName = false;

    int ctrlP = 0;
    int refreshes = 0;
    int selChanges = 0;
    int listDblClks = 0;
    int viewDblClkItem = -1;

protected:
    bool OnInitDialog() override
    {
        if (m_full) {
            fw::CComboBox kinds(Item(IDC_KIND));
            for (const char* k : {"USB key", "Software", "Other"})
                kinds.AddString(k);
            fw::CListBox items(Item(IDC_ITEMS));
            for (int i = 0; i < 3; ++i)
                items.SetItemData(items.AddString("item " + std::to_string(i)), 100 + i);
            fw::CListViewCtrl certs(Item(IDC_CERTS));
            certs.SetExtendedListViewStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
            certs.InsertColumn(0, "Subject", 80);
            certs.InsertColumn(1, "Issuer", 80);
            for (int i = 0; i < 2; ++i)
                certs.SetItemText(certs.InsertItem(i, "CN=" + std::to_string(i)), 1, "CA " + std::to_string(i));
        }
        g_editProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(Item(IDC_NAME), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingEditProc)));
        SetTimer(m_hWnd, 1, 10000, nullptr);  // the watchdog
        Post(kRunScript);
        return CDialog::OnInitDialog();
    }

    void DoDataExchange(fw::CDataExchange& dx) override
    {
        dx.Text(IDC_NAME, name);
        if (dx.IsSaving() && requireName && name.empty())
            dx.Fail(IDC_NAME);
        if (m_full) {
            dx.Check(IDC_ENABLED, enabled);
            dx.ComboIndex(IDC_KIND, kind);
        }
    }

    bool PreTranslateMessage(MSG& msg) override
    {
        if (msg.message == WM_KEYDOWN && msg.wParam == 'P' && GetKeyState(VK_CONTROL) < 0) {
            ++ctrlP;
            return true;
        }
        return false;
    }

    const fw::MsgTable& GetMessageTable() const override
    {
        static const fw::MsgEntry rows[] = {
            fw::OnMessage<&CTestDialog::OnRunScript>(kRunScript),
            fw::OnMessage<&CTestDialog::OnWatchdog>(WM_TIMER),
            fw::OnCommand<&CTestDialog::OnRefresh>(IDC_REFRESH, BN_CLICKED),
            fw::OnCommand<&CTestDialog::OnItemsSelChange>(IDC_ITEMS, LBN_SELCHANGE),
            fw::OnCommand<&CTestDialog::OnItemsDblClk>(IDC_ITEMS, LBN_DBLCLK),
            fw::OnNotify<&CTestDialog::OnCertsDblClk>(IDC_CERTS, NM_DBLCLK),
        };
        static const fw::MsgTable table = fw::MakeMsgTable(rows);
        return table;
    }

private:
    LRESULT OnRunScript(UINT, WPARAM, LPARAM, bool&)
    {
        if (script)
            script(*this);
        return 0;
    }
    LRESULT OnWatchdog(UINT, WPARAM, LPARAM, bool&)
    {
        EndDialog(kTimedOut);
        return 0;
    }
    void OnRefresh()
    {
        if (++refreshes == 2)
            throw std::runtime_error("must not reach the system");
    }
    void OnItemsSelChange() { ++selChanges; }
    void OnItemsDblClk() { ++listDblClks; }
    LRESULT OnCertsDblClk(NMITEMACTIVATE& nm)
    {
        viewDblClkItem = nm.iItem;
        return 0;
    }

    bool m_full;
};

class DialogTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(fw::CListViewCtrl::InitListViewClass()); }
    void SetUp() override { g_editKeyP = 0; }
};

// Brings the dialog to the foreground with the focus in `id`, for real input.
void FocusForInput(CTestDialog& d, int id)
{
    SetForegroundWindow(d);
    d.Send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(d.Item(id)), TRUE);
    EXPECT_EQ(d.Handle(), GetForegroundWindow()) << "the dialog is not in the foreground";
    EXPECT_EQ(d.Item(id), GetFocus());
}

TEST_F(DialogTest, EnterOkEscapeAndCloseBoxCancelWithoutAParent)
{
    struct Case {
        const char* what;
        std::function<void(CTestDialog&)> act;
        INT_PTR expected;
    } cases[] = {
        {"Enter", [](CTestDialog& d) { FocusForInput(d, IDC_NAME); Press({VK_RETURN}); }, IDOK},
        {"Esc", [](CTestDialog& d) { FocusForInput(d, IDC_NAME); Press({VK_ESCAPE}); }, IDCANCEL},
        {"close box", [](CTestDialog& d) { d.Post(WM_SYSCOMMAND, SC_CLOSE); }, IDCANCEL},
    };
    for (const Case& c : cases) {
        CTestDialog dlg(IDD_FULL);
        dlg.name = "kept";
        dlg.script = c.act;
        EXPECT_EQ(c.expected, dlg.DoModal()) << c.what;
        EXPECT_EQ(nullptr, dlg.Handle()) << c.what << ": the window is gone";
        EXPECT_EQ("kept", dlg.name) << c.what;
    }
}

TEST_F(DialogTest, PreTranslateMessageTakesCtrlPBeforeTheEdit)
{
    CTestDialog dlg(IDD_FULL);
    dlg.script = [](CTestDialog& d) {
        FocusForInput(d, IDC_NAME);
        Press({VK_CONTROL, 'P'});
        Press({'P'});
        Press({VK_RETURN});
    };
    ASSERT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(1, dlg.ctrlP) << "Ctrl+P reaches PreTranslateMessage once";
    EXPECT_EQ(1, g_editKeyP) << "only the plain P reaches the edit";
    EXPECT_EQ("p", dlg.name);
}

TEST_F(DialogTest, DataExchangeRoundTripsAndTheWrappersReadBack)
{
    CTestDialog dlg(IDD_FULL);
    const std::string chinese = "\xd6\xd0\xce\xc4 name";  // code page 936
    dlg.name = chinese;
    dlg.enabled = true;
    dlg.kind = 2;
    dlg.requireName = true;
    HICON icon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    dlg.script = [&](CTestDialog& d) {
        fw::CWindow edit(d.Item(IDC_NAME));
        fw::CButton check(d.Item(IDC_ENABLED));
        fw::CComboBox combo(d.Item(IDC_KIND));
        EXPECT_EQ(chinese, edit.Text()) << "loaded into the edit";
        EXPECT_EQ(BST_CHECKED, check.GetCheck());
        EXPECT_EQ(3, combo.GetCount());
        EXPECT_EQ(2, combo.GetCurSel());
        EXPECT_EQ("Other", combo.GetText(2));

        fw::CListBox items(d.Item(IDC_ITEMS));
        EXPECT_EQ(3, items.GetCount());
        EXPECT_EQ("item 1", items.GetText(1));
        EXPECT_EQ(102, items.GetItemData(2));
        EXPECT_TRUE(items.SetCurSel(1));
        EXPECT_EQ(1, items.GetCurSel());

        fw::CListViewCtrl certs(d.Item(IDC_CERTS));
        EXPECT_EQ(DWORD(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES), certs.GetExtendedListViewStyle());
        EXPECT_EQ(2, certs.GetItemCount());
        EXPECT_EQ("CN=1", certs.GetItemText(1, 0));
        EXPECT_EQ("CA 1", certs.GetItemText(1, 1));
        EXPECT_TRUE(certs.SelectItem(1));
        EXPECT_EQ(1, certs.GetSelectedIndex());

        fw::CStatic logo(d.Item(IDC_LOGO));
        logo.SetIcon(icon);
        EXPECT_EQ(icon, logo.GetIcon());

        edit.SetText("");
        SetFocus(d.Item(IDC_KIND));
        EXPECT_FALSE(d.UpdateData(true)) << "an empty name fails validation";
        EXPECT_EQ(edit.Handle(), GetFocus()) << "the focus goes to the failing control";

        edit.SetText("new");
        check.SetCheck(BST_UNCHECKED);
        combo.SetCurSel(0);
        fw::CButton(d.Item(IDOK)).Send(BM_CLICK);
    };
    ASSERT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ("new", dlg.name);
    EXPECT_FALSE(dlg.enabled);
    EXPECT_EQ(0, dlg.kind);
}

TEST_F(DialogTest, MessageTableRoutesCommandsAndNotifications)
{
    CTestDialog dlg(IDD_FULL);
    dlg.script = [](CTestDialog& d) {
        fw::CButton refresh(d.Item(IDC_REFRESH));
        refresh.Send(BM_CLICK);
        refresh.Send(BM_CLICK);  // this one throws inside the dialog procedure

        RECT rc = {};
        fw::CListBox items(d.Item(IDC_ITEMS));
        items.Send(LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&rc));
        LPARAM at = MAKELPARAM(rc.left + 2, rc.top + 2);
        items.Send(WM_LBUTTONDOWN, MK_LBUTTON, at);
        items.Send(WM_LBUTTONUP, 0, at);
        items.Send(WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        items.Send(WM_LBUTTONUP, 0, at);

        fw::CListViewCtrl certs(d.Item(IDC_CERTS));
        rc.left = LVIR_BOUNDS;
        certs.Send(LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&rc));
        at = MAKELPARAM(rc.left + 2, rc.top + 2);
        certs.Send(WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        certs.Send(WM_LBUTTONUP, 0, at);
        d.Post(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
    };
    EXPECT_EQ(IDCANCEL, dlg.DoModal()) << "the dialog outlives a throwing handler";
    EXPECT_EQ(2, dlg.refreshes) << "BN_CLICKED by control id";
    EXPECT_EQ(1, dlg.selChanges) << "LBN_SELCHANGE by control id";
    EXPECT_EQ(1, dlg.listDblClks) << "LBN_DBLCLK by control id";
    EXPECT_EQ(1, dlg.viewDblClkItem) << "NM_DBLCLK of the list view, with its item";
}

TEST_F(DialogTest, PlainTemplateWithAParentDisablesItsTopLevelWindow)
{
    HWND top = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, top, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(top && child) << "no windows (error " << GetLastError() << "): is a display there?";

    CTestDialog dlg(IDD_PLAIN);
    dlg.script = [top](CTestDialog& d) {
        EXPECT_EQ(top, GetWindow(d, GW_OWNER)) << "owned by the parent's top-level window";
        EXPECT_FALSE(IsWindowEnabled(top)) << "the owner is disabled while the dialog runs";
        FocusForInput(d, IDC_NAME);
        Press({'P'});
        Press({VK_RETURN});
    };
    EXPECT_EQ(IDOK, dlg.DoModal(child));
    EXPECT_EQ("p", dlg.name);
    EXPECT_TRUE(IsWindowEnabled(top)) << "the owner is enabled again";

    CTestDialog missing(12345);
    EXPECT_EQ(-1, missing.DoModal(child)) << "no such template";
    EXPECT_TRUE(IsWindowEnabled(top));
    DestroyWindow(top);
}

// A window of our own class: the table, the hook's end, and a class name
// left registered with another procedure.
class CProbeWindow : public fw::CWindowImpl {
public:
    int pings = 0;
    bool finalMessage = false;

protected:
    const fw::MsgTable& GetMessageTable() const override
    {
        static const fw::MsgEntry rows[] = {
            fw::OnMessage<&CProbeWindow::OnPing>(WM_APP),
            fw::OnMessage<&CProbeWindow::OnThrow>(WM_APP + 1),
        };
        static const fw::MsgTable table = fw::MakeMsgTable(rows);
        return table;
    }
    void OnFinalMessage(HWND) override { finalMessage = true; }

private:
    LRESULT OnPing(UINT, WPARAM, LPARAM, bool&) { return ++pings + 40; }
    LRESULT OnThrow(UINT, WPARAM, LPARAM, bool&) { throw std::runtime_error("must not reach the system"); }
};

TEST(Window, OwnClassRoutesThroughItsTableAndLetsGoAtDestruction)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW stale = {};
    stale.lpfnWndProc = DefWindowProcW;
    stale.hInstance = instance;
    stale.lpszClassName = L"FwTestProbe";
    ASSERT_NE(0, RegisterClassW(&stale));

    const fw::WindowClass wc = {L"FwTestProbe", 0, nullptr};
    const RECT rc = {0, 0, 10, 10};
    CProbeWindow probe;
    ASSERT_NE(nullptr, probe.Create(instance, wc, HWND_MESSAGE, rc, 0)) << "error " << GetLastError();
    EXPECT_EQ(41, probe.Send(WM_APP)) << "the class was registered afresh with our procedure";
    EXPECT_EQ(0, probe.Send(WM_APP + 1)) << "a throwing handler gets the default answer";
    HWND hwnd = probe;
    DestroyWindow(hwnd);
    EXPECT_EQ(nullptr, probe.Handle()) << "WM_NCDESTROY cuts the link";
    EXPECT_TRUE(probe.finalMessage);

    {
        CProbeWindow scoped;
        hwnd = scoped.Create(instance, wc, HWND_MESSAGE, rc, 0);
        ASSERT_NE(nullptr, hwnd);
    }
    EXPECT_FALSE(IsWindow(hwnd)) << "the window goes with its object";
}

}  // namespace
