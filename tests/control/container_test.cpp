// fw::CControlHost with the registered control: a child window of a
// top-level window that hosts the control by CLSID and calls its methods,
// and creation failures that leave no window behind.
#include "container.h"
#include "ocx.h"
#include "qelcryptctrl.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using fw::CComPtr;
using fw::CControlHost;
using fw::CVariant;

const long kSentinel = 0x5A5A5A5A;
const DISPID kGetVersion = 1, kEncrypt = 27;

void PumpMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

class ControlHost : public testing::Test {
protected:
    // One top-level window for the program: without a window manager, Wine
    // waits two seconds for a mapped top-level window to go away.
    static void SetUpTestSuite()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ControlHostTest";
        RegisterClassW(&wc);
        top = CreateWindowExW(0, wc.lpszClassName, L"host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0,
                              400, 300, nullptr, nullptr, wc.hInstance, nullptr);
    }
    static void TearDownTestSuite() { DestroyWindow(top); }

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ASSERT_NE(nullptr, top) << "no top-level window: is a display there?";
        ASSERT_EQ(nullptr, GetWindow(top, GW_CHILD)) << "an earlier test left a child window";
    }
    void TearDown() override
    {
        PumpMessages();
        OleUninitialize();
    }

    static HWND top;
};

HWND ControlHost::top = nullptr;

TEST_F(ControlHost, HostsTheControlByClsidAndCallsItsMethods)
{
    const RECT rc = {10, 20, 130, 100};
    HWND window = nullptr;
    {
        CControlHost host;
        ASSERT_EQ(S_OK, host.Create(top, rc, kClsidQelCrypt, 1001));
        window = host.Window();
        ASSERT_NE(nullptr, window);
        EXPECT_EQ(window, GetWindow(top, GW_CHILD));
        EXPECT_EQ(1001, GetDlgCtrlID(window));
        RECT placed = {};
        GetWindowRect(window, &placed);
        MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&placed), 2);
        EXPECT_TRUE(EqualRect(&rc, &placed)) << "placed at " << placed.left << "," << placed.top << "-"
                                             << placed.right << "," << placed.bottom;
        PumpMessages();

        CVariant version;
        ASSERT_EQ(S_OK, host.CallMethod(kGetVersion, &version));
        EXPECT_EQ(VT_I4, V_VT(&version));
        EXPECT_EQ(1010, V_I4(&version));

        // Arguments go first to last: the same as DISPPARAMS built by hand,
        // and not the same as the two swapped (the cipher follows the text).
        VARIANT args[2] = {ocx::Text(L"a text longer than the eight bytes of a key"), ocx::Text(L"key")};
        CVariant viaHost, swapped, direct;
        ASSERT_EQ(S_OK, host.CallMethod(kEncrypt, &viaHost, args, 2));
        VARIANT reversed[2] = {args[1], args[0]};
        ASSERT_EQ(S_OK, host.CallMethod(kEncrypt, &swapped, reversed, 2));
        CComPtr<IDispatch> disp;
        ASSERT_EQ(S_OK, host.GetDispatch(&disp));
        ASSERT_EQ(S_OK, ocx::Call(disp.Get(), kEncrypt, &direct, {args[0], args[1]}));  // Call frees the arguments
        ASSERT_EQ(VT_BSTR, V_VT(&viaHost));
        ASSERT_EQ(VT_BSTR, V_VT(&direct));
        EXPECT_STREQ(V_BSTR(&direct), V_BSTR(&viaHost));
        EXPECT_STRNE(V_BSTR(&swapped), V_BSTR(&viaHost));

        CVariant untouched;
        *static_cast<VARIANT*>(&untouched) = ocx::Long(kSentinel);
        EXPECT_EQ(E_INVALIDARG, host.CallMethod(kEncrypt, &untouched, nullptr, 2));
        EXPECT_EQ(kSentinel, V_I4(&untouched)) << "result written by a refused call";
        CVariant missing;
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND, host.CallMethod(999, &missing));

        host.Destroy();
        EXPECT_EQ(nullptr, host.Window());
        EXPECT_FALSE(IsWindow(window)) << "Destroy left the host window";
        EXPECT_EQ(E_UNEXPECTED, host.CallMethod(kGetVersion, &untouched));
        EXPECT_EQ(kSentinel, V_I4(&untouched));
        IDispatch* none = disp.Get();
        EXPECT_EQ(E_UNEXPECTED, host.GetDispatch(&none));
        EXPECT_EQ(nullptr, none);
        host.Destroy();  // twice: nothing left to do

        // Hosting again, then once more in the same object: one window at a time.
        ASSERT_EQ(S_OK, host.Create(top, rc, kClsidQelCrypt));
        window = host.Window();
        ASSERT_EQ(S_OK, host.Create(top, rc, kClsidQelCrypt));
        EXPECT_FALSE(IsWindow(window)) << "the first host window outlived its replacement";
        window = host.Window();
        EXPECT_EQ(window, GetWindow(top, GW_CHILD));
        EXPECT_EQ(nullptr, GetWindow(window, GW_HWNDNEXT));
    }
    EXPECT_FALSE(IsWindow(window)) << "the destructor left the host window";
}

TEST_F(ControlHost, FailedCreationLeavesNoWindow)
{
    const CLSID unregistered = {0x5D0C2F7E, 0x1B3A, 0x4E69, {0x9C, 0x84, 0x27, 0x6F, 0xA1, 0x0B, 0xD3, 0x58}};
    struct Case {
        const char* what;
        HWND parent;
        const CLSID* clsid;
        HRESULT expected;
    };
    const Case cases[] = {
        {"class not registered", top, &unregistered, REGDB_E_CLASSNOTREG},
        {"no parent", nullptr, &kClsidQelCrypt, E_INVALIDARG},
        {"parent gone", reinterpret_cast<HWND>(static_cast<UINT_PTR>(0xDEAD0)), &kClsidQelCrypt, E_INVALIDARG},
    };
    const RECT rc = {0, 0, 100, 50};
    for (const Case& c : cases) {
        CControlHost host;
        EXPECT_EQ(c.expected, host.Create(c.parent, rc, *c.clsid, 7)) << c.what;
        EXPECT_EQ(nullptr, host.Window()) << c.what;
        EXPECT_EQ(nullptr, GetWindow(top, GW_CHILD)) << c.what << ": a child window is left";
        while (HWND left = GetWindow(top, GW_CHILD))  // so the next case starts clean
            DestroyWindow(left);
        IDispatch* disp = reinterpret_cast<IDispatch*>(&host);
        EXPECT_EQ(E_UNEXPECTED, host.GetDispatch(&disp)) << c.what;
        EXPECT_EQ(nullptr, disp) << c.what;
    }

    // A failure after a success empties the object too.
    CControlHost host;
    ASSERT_EQ(S_OK, host.Create(top, rc, kClsidQelCrypt));
    HWND first = host.Window();
    EXPECT_EQ(REGDB_E_CLASSNOTREG, host.Create(top, rc, unregistered));
    EXPECT_EQ(nullptr, host.Window());
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(nullptr, GetWindow(top, GW_CHILD));
}

}  // namespace
