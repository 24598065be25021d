// fw::COleControl's in-place activation (framework/olecontrol_inplace.cpp),
// hosted by Wine's atl.dll, windowed and windowless.
#include "olecontrol_fixture.h"

namespace {

using namespace oletest;

// Wine's atl.dll as the container: AtlAxAttachControl sets the site and
// activates the control in place in the host window.
void HostInAtl(DWORD flags, bool windowless)
{
    using InitFn = BOOL(WINAPI*)();
    using AttachFn = HRESULT(WINAPI*)(IUnknown*, HWND, IUnknown**);
    static HMODULE atl = LoadLibraryA("atl.dll");
    ASSERT_NE(nullptr, atl) << "atl.dll did not load";
    auto proc = [](const char* name) { return reinterpret_cast<void (*)()>(GetProcAddress(atl, name)); };
    static auto init = reinterpret_cast<InitFn>(proc("AtlAxWinInit"));
    static BOOL initialized = init && init();  // registers its window classes: once a process
    auto attach = reinterpret_cast<AttachFn>(proc("AtlAxAttachControl"));
    ASSERT_TRUE(initialized && attach) << "AtlAxWinInit or AtlAxAttachControl missing or failing";
    // One top-level window for the process: without a window manager, Wine
    // waits two seconds for a mapped top-level window to go away.
    static HWND top = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"FwTestHost";
        RegisterClassW(&wc);
        return CreateWindowExW(0, wc.lpszClassName, L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300,
                               nullptr, nullptr, wc.hInstance, nullptr);
    }();
    HWND host = CreateWindowExW(0, L"FwTestHost", L"", WS_CHILD | WS_VISIBLE, 10, 10, 200, 100, top, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(top && host) << "no host windows (error " << GetLastError() << "): is a display there?";

    auto ctl = MakeControl(flags);
    ASSERT_EQ(S_OK, Query<IPersistStreamInit>(Unk(ctl))->InitNew());
    CComPtr<IUnknown> container;
    ASSERT_EQ(S_OK, attach(Unk(ctl), host, &container));
    EXPECT_TRUE(container);
    EXPECT_NE(nullptr, ctl->ClientSite()) << "the host set its site";
    EXPECT_TRUE(ctl->IsInPlaceActive());
    EXPECT_EQ(windowless, ctl->IsWindowless()) << (windowless ? "windowless" : "windowed") << " activation expected";
    EXPECT_EQ(200, ctl->PositionRect().right);
    EXPECT_EQ(100, ctl->PositionRect().bottom);

    HWND own = reinterpret_cast<HWND>(1);
    int before = ctl->draws;
    if (windowless) {
        EXPECT_EQ(E_FAIL, ctl->GetWindow(&own));
        RedrawWindow(host, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        EXPECT_GT(ctl->draws, before) << "the host paints the control through IViewObject::Draw";
    } else {
        ASSERT_EQ(S_OK, ctl->GetWindow(&own));
        EXPECT_EQ(host, GetParent(own));
        RedrawWindow(own, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        EXPECT_GT(ctl->draws, before) << "WM_PAINT of the control's window draws";
        SetWindowPos(host, nullptr, 0, 0, 150, 60, SWP_NOMOVE | SWP_NOZORDER);
        RECT rc = {};
        GetClientRect(own, &rc);
        EXPECT_EQ(150, rc.right) << "SetObjectRects moves the control's window";
        EXPECT_EQ(60, rc.bottom);
    }
    EXPECT_EQ(0, ctl->lastBounds.left);

    DestroyWindow(host);
    EXPECT_FALSE(ctl->IsInPlaceActive()) << "closed with its host window";
    EXPECT_EQ(nullptr, ctl->ClientSite());
    if (!windowless) {
        EXPECT_FALSE(IsWindow(own)) << "the control's window goes with the activation";
    }
    container.Release();
    EXPECT_EQ(0u, ctl.Detach()->Release()) << "the host gave back every reference";
}

TEST_F(OleControlTest, AtlHostActivatesInAWindow) { HostInAtl(fw::clipPaintDC, false); }

TEST_F(OleControlTest, AtlHostActivatesWindowless) { HostInAtl(fw::clipPaintDC | fw::windowlessActivate, true); }

}  // namespace
