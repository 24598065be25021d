// The control in a real container: Wine's ATL host window creates it by
// ProgID in a window on the test display, the page-side call goes through the
// host, the control draws itself, and the module can unload once all is
// released.
#include "comutil.h"
#include "ocx.h"

#include <gtest/gtest.h>

#include <ocidl.h>

namespace {

using fw::CComPtr;

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxCreateControlFn = HRESULT(WINAPI*)(LPCOLESTR, HWND, IStream*, IUnknown**);
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

template <class Fn>
Fn Proc(HMODULE m, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

long GetVersionThrough(IUnknown* control)
{
    CComPtr<IDispatch> disp;
    if (FAILED(control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp))))
        return -1;
    LPOLESTR name[] = {const_cast<LPOLESTR>(L"GetVersion")};
    DISPID id = 0;
    if (FAILED(disp->GetIDsOfNames(IID_NULL, name, 1, 0, &id)))
        return -2;
    fw::CVariant result;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (FAILED(disp->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr)))
        return -3;
    return V_VT(&result) == VT_I4 ? V_I4(&result) : -4;
}

TEST(Hosting, AtlHostCreatesTheControlByProgIdAndCallsIt)
{
    ASSERT_EQ(S_OK, OleInitialize(nullptr));
    HMODULE atl = LoadLibraryA("atl.dll");
    ASSERT_NE(nullptr, atl);
    auto axInit = Proc<AtlAxWinInitFn>(atl, "AtlAxWinInit");
    auto axCreate = Proc<AtlAxCreateControlFn>(atl, "AtlAxCreateControl");
    auto axGet = Proc<AtlAxGetControlFn>(atl, "AtlAxGetControl");
    ASSERT_TRUE(axInit && axCreate && axGet);
    ASSERT_TRUE(axInit());

    HWND top = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, top);
    HWND host = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 120, 80, top, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, host);

    {
        CComPtr<IUnknown> container;
        ASSERT_EQ(S_OK, axCreate(L"QELCRYPT.QelCryptCtrl.1", host, nullptr, &container));
        PumpMessages();
        CComPtr<IUnknown> control;
        ASSERT_EQ(S_OK, axGet(host, &control));
        ASSERT_TRUE(control);
        EXPECT_EQ(1010, GetVersionThrough(control.Get()));

        CComPtr<IOleObject> ole;
        ASSERT_EQ(S_OK, control.As(ole));
        CComPtr<IOleClientSite> site;
        EXPECT_EQ(S_OK, ole->GetClientSite(&site));
        EXPECT_TRUE(site) << "the host did not give the control its site";
        DWORD misc = 0;
        EXPECT_EQ(S_OK, ole->GetMiscStatus(DVASPECT_CONTENT, &misc));
        EXPECT_EQ(0x20591u, misc);
    }

    DestroyWindow(top);
    PumpMessages();
    CoFreeUnusedLibraries();
    EXPECT_EQ(S_OK, ocx::CallExport("DllCanUnloadNow")) << "objects of the module outlive their host";
    OleUninitialize();
}

TEST(Hosting, DrawsWhiteWithAnEllipse)
{
    CoInitialize(nullptr);
    {
        CComPtr<IViewObject2> view;
        ASSERT_EQ(S_OK, ocx::Create(IID_IViewObject2, reinterpret_cast<void**>(&view)));

        const int w = 64, h = 40;
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(nullptr, bmp);
        HGDIOBJ old = SelectObject(dc, bmp);
        auto pixel = [&](int x, int y) { return static_cast<const DWORD*>(bits)[y * w + x] & 0xFFFFFF; };
        for (int i = 0; i < w * h; ++i) static_cast<DWORD*>(bits)[i] = 0x123456;  // not white

        RECTL bounds = {0, 0, w, h};
        ASSERT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0));
        GdiFlush();

        EXPECT_EQ(0xFFFFFFu, pixel(0, 0)) << "corners are filled white";
        EXPECT_EQ(0xFFFFFFu, pixel(w - 1, h - 1));
        EXPECT_EQ(0xFFFFFFu, pixel(w / 2, h / 2)) << "the ellipse is filled white";
        EXPECT_NE(0xFFFFFFu, pixel(w / 2, 0)) << "the outline touches the top edge";
        EXPECT_NE(0xFFFFFFu, pixel(0, h / 2)) << "the outline touches the left edge";
        int outline = 0;
        for (int x = 0; x < w; ++x) outline += pixel(x, 0) != 0xFFFFFF;
        EXPECT_LT(outline, w / 2) << "the top row is mostly white: an ellipse, not a rectangle";

        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
    CoUninitialize();
}

}  // namespace
