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
    if (m_window.m_hWnd)
        SetFocus(m_window.m_hWnd);
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
    if (m_window.m_hWnd) {
        SetWindowPos(m_window.m_hWnd, nullptr, m_posRect.left, m_posRect.top, m_posRect.right - m_posRect.left,
                     m_posRect.bottom - m_posRect.top, SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyClipRegion();
    }
    return S_OK;
}

STDMETHODIMP COleControl::GetWindow(HWND* hwnd)
{
    if (!hwnd)
        return E_POINTER;
    if (!m_window.m_hWnd)
        return E_FAIL;  // inactive, or active without a window
    *hwnd = m_window.m_hWnd;
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
    const WindowClass wc = {kWindowClass, CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)};
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    if (!m_window.Create(ResourceInstance(), wc, parent, m_posRect, style))
        return false;
    ApplyClipRegion();
    return true;
}

void COleControl::DestroyControlWindow()
{
    if (!m_window.m_hWnd)
        return;
    // Detached first: none of the destruction messages reaches the control.
    DestroyWindow(m_window.Detach());
    // Fails, harmlessly, while other controls of the module have windows.
    UnregisterClassW(kWindowClass, ResourceInstance());
}

void COleControl::ApplyClipRegion()
{
    HWND hwnd = m_window.m_hWnd;
    RECT visible;
    if (!IntersectRect(&visible, &m_posRect, &m_clipRect))
        SetRectEmpty(&visible);
    if (EqualRect(&visible, &m_posRect)) {
        SetWindowRgn(hwnd, nullptr, TRUE);
        return;
    }
    OffsetRect(&visible, -m_posRect.left, -m_posRect.top);
    HRGN region = CreateRectRgnIndirect(&visible);
    if (region && !SetWindowRgn(hwnd, region, TRUE))
        DeleteObject(region);  // the window owns the region only on success
}

const MsgTable& COleControl::CControlWindow::GetMessageTable() const
{
    static const MsgEntry rows[] = {
        OnMessage<&CControlWindow::OnPaint>(WM_PAINT),
        OnMessage<&CControlWindow::OnEraseBackground>(WM_ERASEBKGND),
        OnMessage<&CControlWindow::OnMouseActivate>(WM_MOUSEACTIVATE),
    };
    static const MsgTable table = MakeMsgTable(rows);
    return table;
}

LRESULT COleControl::CControlWindow::OnPaint(UINT, WPARAM, LPARAM, bool&)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    if (dc) {
        RECT client;
        GetClientRect(m_hWnd, &client);
        try {
            m_owner.DrawContent(dc, client, ps.rcPaint, true);
        } catch (...) {
            // A failed paint leaves the area as it was; the window stays usable.
        }
        EndPaint(m_hWnd, &ps);
    }
    return 0;
}

LRESULT COleControl::CControlWindow::OnEraseBackground(UINT, WPARAM, LPARAM, bool& handled)
{
    if (m_owner.GetControlFlags() & fastBeginPaint)
        return 1;  // OnDraw paints every pixel
    handled = false;
    return 0;
}

LRESULT COleControl::CControlWindow::OnMouseActivate(UINT, WPARAM, LPARAM, bool&)
{
    if (!m_owner.m_uiActive) {
        CHold hold(&m_owner);
        m_owner.ActivateUI();
    }
    return MA_ACTIVATE;
}

}  // namespace fw
