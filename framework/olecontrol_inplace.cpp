#include "olecontrol.h"

#include "olecontrol_internal.h"

#include <cstring>
#include <utility>

namespace fw {

namespace {
const wchar_t kWindowClass[] = L"QelFrameworkControl";
}  // namespace

using olectl::Guarded;
using olectl::ResourceInstance;

// ---------------------------------------------------------------------------
// In-place activation

HRESULT COleControl::ActivateInPlace()
{
    if (!m_site)
        return E_UNEXPECTED;
    CComPtr<IOleInPlaceSite> site;
    if (FAILED(m_site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site))) || !site)
        return E_NOINTERFACE;  // the container cannot show the control in place
    HRESULT hr = site->CanInPlaceActivate();
    if (FAILED(hr))
        return hr;
    if (hr != S_OK)
        return OLEOBJ_S_CANNOT_DOVERB_NOW;

    DWORD flags = GetControlFlags();
    CComPtr<IOleInPlaceSiteWindowless> windowlessSite;
    if (flags & windowlessActivate) {
        if (FAILED(m_site->QueryInterface(IID_IOleInPlaceSiteWindowless,
                                          reinterpret_cast<void**>(&windowlessSite))) ||
            !windowlessSite || windowlessSite->CanWindowlessActivate() != S_OK)
            windowlessSite.Release();
    }
    const bool windowless = static_cast<bool>(windowlessSite);
    CComPtr<IOleInPlaceSiteEx> siteEx;
    if (windowless || (flags & noFlickerActivate)) {
        if (FAILED(m_site->QueryInterface(IID_IOleInPlaceSiteEx, reinterpret_cast<void**>(&siteEx))))
            siteEx.Release();
    }

    BOOL noRedraw = FALSE;
    hr = siteEx ? siteEx->OnInPlaceActivateEx(&noRedraw, windowless ? ACTIVATE_WINDOWLESS : 0)
                : site->OnInPlaceActivate();
    if (FAILED(hr))
        return hr;
    m_inPlaceActive = true;
    m_windowless = windowless;
    m_inPlaceSite = site;
    m_inPlaceSiteEx = siteEx;
    m_windowlessSite = windowlessSite;

    OLEINPLACEFRAMEINFO frameInfo;
    std::memset(&frameInfo, 0, sizeof frameInfo);
    frameInfo.cb = sizeof frameInfo;
    RECT pos = {0, 0, 0, 0};
    RECT clip = {0, 0, 0, 0};
    CComPtr<IOleInPlaceFrame> frame;
    CComPtr<IOleInPlaceUIWindow> uiWindow;
    hr = site->GetWindowContext(&frame, &uiWindow, &pos, &clip, &frameInfo);
    if (FAILED(hr)) {
        InPlaceDeactivate();
        return hr;
    }
    m_frame = frame;
    m_uiWindow = uiWindow;
    m_posRect = pos;
    m_clipRect = clip;

    if (windowless) {
        if (!noRedraw)
            m_windowlessSite->InvalidateRect(&m_posRect, FALSE);
        return S_OK;
    }
    HWND parent = nullptr;
    hr = site->GetWindow(&parent);
    if (SUCCEEDED(hr) && !parent)
        hr = E_FAIL;
    if (SUCCEEDED(hr) && !CreateControlWindow(parent)) {
        DWORD error = GetLastError();
        hr = error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    if (FAILED(hr)) {
        InPlaceDeactivate();
        return hr;
    }
    return S_OK;
}

HRESULT COleControl::ActivateUI()
{
    if (!m_inPlaceActive)
        return E_UNEXPECTED;
    if (m_uiActive)
        return S_OK;
    if (m_windowlessSite && m_windowlessSite->RequestUIActivate() == S_FALSE)
        return OLEOBJ_S_CANNOT_DOVERB_NOW;  // the container keeps the focus
    m_uiActive = true;
    HRESULT hr = m_inPlaceSite->OnUIActivate();
    if (FAILED(hr)) {
        m_uiActive = false;
        return hr;
    }
    if (m_hwnd)
        SetFocus(m_hwnd);
    else if (m_windowlessSite)
        m_windowlessSite->SetFocus(TRUE);
    IOleInPlaceActiveObject* active = this;
    if (m_frame)
        m_frame->SetActiveObject(active, nullptr);
    if (m_uiWindow)
        m_uiWindow->SetActiveObject(active, nullptr);
    return S_OK;
}

STDMETHODIMP COleControl::UIDeactivate()
{
    if (!m_uiActive)
        return S_OK;
    CHold hold(this);
    m_uiActive = false;
    if (m_frame)
        m_frame->SetActiveObject(nullptr, nullptr);
    if (m_uiWindow)
        m_uiWindow->SetActiveObject(nullptr, nullptr);
    if (m_windowlessSite)
        m_windowlessSite->SetFocus(FALSE);
    if (m_inPlaceSite)
        m_inPlaceSite->OnUIDeactivate(FALSE);
    return S_OK;
}

STDMETHODIMP COleControl::InPlaceDeactivate()
{
    if (!m_inPlaceActive)
        return S_OK;
    CHold hold(this);
    UIDeactivate();
    m_inPlaceActive = false;
    m_windowless = false;
    DestroyControlWindow();
    CComPtr<IOleInPlaceSite> site(std::move(m_inPlaceSite));
    CComPtr<IOleInPlaceSiteEx> siteEx(std::move(m_inPlaceSiteEx));
    m_windowlessSite.Release();
    m_frame.Release();
    m_uiWindow.Release();
    if (siteEx)
        siteEx->OnInPlaceDeactivateEx(TRUE);
    else if (site)
        site->OnInPlaceDeactivate();
    return S_OK;
}

STDMETHODIMP COleControl::SetObjectRects(LPCRECT posRect, LPCRECT clipRect)
{
    if (!posRect)
        return E_INVALIDARG;
    m_posRect = *posRect;
    m_clipRect = clipRect ? *clipRect : *posRect;
    if (m_hwnd) {
        SetWindowPos(m_hwnd, nullptr, m_posRect.left, m_posRect.top, m_posRect.right - m_posRect.left,
                     m_posRect.bottom - m_posRect.top, SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyClipRegion();
    }
    return S_OK;
}

STDMETHODIMP COleControl::GetWindow(HWND* hwnd)
{
    if (!hwnd)
        return E_POINTER;
    if (!m_hwnd)
        return E_FAIL;  // inactive, or active without a window
    *hwnd = m_hwnd;
    return S_OK;
}

STDMETHODIMP COleControl::ContextSensitiveHelp(BOOL)
{
    // The control has no context help mode.
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::ReactivateAndUndo() { return INPLACE_E_NOTUNDOABLE; }

STDMETHODIMP COleControl::OnWindowMessage(UINT msg, WPARAM, LPARAM, LRESULT* result)
{
    if (!result)
        return E_POINTER;
    *result = 0;
    if (!IsWindowless())
        return E_UNEXPECTED;
    // A click on a windowless control makes it the UI-active object; the
    // message itself goes on to the container's default handling.
    if ((msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN) && !m_uiActive) {
        CHold hold(this);
        ActivateUI();
    }
    return S_FALSE;
}

STDMETHODIMP COleControl::GetDropTarget(IDropTarget** target)
{
    if (!target)
        return E_POINTER;
    *target = nullptr;
    // The control takes no drops.
    return E_NOTIMPL;
}

// ---------------------------------------------------------------------------
// IOleInPlaceActiveObject: no accelerators, menus or border tools.

STDMETHODIMP COleControl::TranslateAccelerator(LPMSG) { return S_FALSE; }

STDMETHODIMP COleControl::OnFrameWindowActivate(BOOL) { return S_OK; }

STDMETHODIMP COleControl::OnDocWindowActivate(BOOL) { return S_OK; }

STDMETHODIMP COleControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }

STDMETHODIMP COleControl::EnableModeless(BOOL) { return S_OK; }

// ---------------------------------------------------------------------------
// IOleControl: no mnemonics.

STDMETHODIMP COleControl::GetControlInfo(CONTROLINFO* info)
{
    if (!info)
        return E_POINTER;
    info->cb = sizeof *info;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP COleControl::OnMnemonic(MSG*) { return S_OK; }

STDMETHODIMP COleControl::OnAmbientPropertyChange(DISPID) { return S_OK; }

STDMETHODIMP COleControl::FreezeEvents(BOOL freeze)
{
    if (freeze)
        ++m_freezeCount;
    else if (m_freezeCount > 0)
        --m_freezeCount;
    return S_OK;
}

// ---------------------------------------------------------------------------
// The control window of windowed activation

bool COleControl::CreateControlWindow(HWND parent)
{
    HINSTANCE instance = ResourceInstance();
    WNDCLASSEXW wc;
    std::memset(&wc, 0, sizeof wc);
    wc.cbSize = sizeof wc;
    // A class left behind by an earlier load of the module at another
    // address points at a dead window procedure: register it afresh.
    if (GetClassInfoExW(instance, kWindowClass, &wc) && wc.lpfnWndProc != &COleControl::ControlWindowProc)
        UnregisterClassW(kWindowClass, instance);
    if (!GetClassInfoExW(instance, kWindowClass, &wc)) {
        std::memset(&wc, 0, sizeof wc);
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &COleControl::ControlWindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kWindowClass;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return false;
    }
    SetLastError(0);
    HWND hwnd = CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                m_posRect.left, m_posRect.top, m_posRect.right - m_posRect.left,
                                m_posRect.bottom - m_posRect.top, parent, nullptr, instance, this);
    if (!hwnd)
        return false;
    m_hwnd = hwnd;
    ApplyClipRegion();
    return true;
}

void COleControl::DestroyControlWindow()
{
    if (!m_hwnd)
        return;
    HWND hwnd = m_hwnd;
    m_hwnd = nullptr;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
    // Fails, harmlessly, while other controls of the module have windows.
    UnregisterClassW(kWindowClass, ResourceInstance());
}

void COleControl::ApplyClipRegion()
{
    RECT visible;
    if (!IntersectRect(&visible, &m_posRect, &m_clipRect))
        SetRectEmpty(&visible);
    if (EqualRect(&visible, &m_posRect)) {
        SetWindowRgn(m_hwnd, nullptr, TRUE);
        return;
    }
    OffsetRect(&visible, -m_posRect.left, -m_posRect.top);
    HRGN region = CreateRectRgnIndirect(&visible);
    if (region && !SetWindowRgn(m_hwnd, region, TRUE))
        DeleteObject(region);  // the window owns the region only on success
}

LRESULT COleControl::HandleWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hwnd, &ps);
        if (dc) {
            RECT client;
            GetClientRect(m_hwnd, &client);
            try {
                DrawContent(dc, client, ps.rcPaint, true);
            } catch (...) {
                // A failed paint leaves the area as it was; the window stays usable.
            }
            EndPaint(m_hwnd, &ps);
        }
        return 0;
    }
    case WM_ERASEBKGND:
        if (GetControlFlags() & fastBeginPaint)
            return 1;  // OnDraw paints every pixel
        return DefWindowProcW(m_hwnd, msg, wParam, lParam);
    case WM_MOUSEACTIVATE:
        if (!m_uiActive) {
            CHold hold(this);
            ActivateUI();
        }
        return MA_ACTIVATE;
    default:
        return DefWindowProcW(m_hwnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK COleControl::ControlWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* control = static_cast<COleControl*>(create->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
        if (control)
            control->m_hwnd = hwnd;
    }
    auto* control = reinterpret_cast<COleControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!control || control->m_hwnd != hwnd)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        // Destroyed from outside, e.g. with the container's window.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        control->m_hwnd = nullptr;
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    try {
        return control->HandleWindowMessage(msg, wParam, lParam);
    } catch (...) {
        // The control's hooks run here too; nothing may unwind into the system.
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace fw
