#include "olecontrol.h"

#include "olecontrol_internal.h"

namespace fw {

using olectl::Guarded;

// ---------------------------------------------------------------------------
// Drawing: IViewObject2 and the control window

void COleControl::DrawContent(HDC dc, const RECT& bounds, const RECT& invalid, bool keepState)
{
    int saved = keepState ? SaveDC(dc) : 0;
    if (GetControlFlags() & clipPaintDC)
        IntersectClipRect(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
    try {
        OnDraw(dc, bounds, invalid);
    } catch (...) {
        if (saved)
            RestoreDC(dc, saved);
        throw;
    }
    if (saved)
        RestoreDC(dc, saved);
}

STDMETHODIMP COleControl::Draw(DWORD drawAspect, LONG, void* aspect, DVTARGETDEVICE*, HDC, HDC drawDC,
                               LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    if (drawAspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!drawDC)
        return E_INVALIDARG;
    RECT rc;
    if (bounds) {
        SetRect(&rc, bounds->left, bounds->top, bounds->right, bounds->bottom);
    } else if (IsWindowless()) {
        rc = m_posRect;  // a windowless object draws at its place in the container
    } else {
        return E_INVALIDARG;
    }
    RECT invalid;
    int clip = GetClipBox(drawDC, &invalid);
    if (clip == ERROR)
        invalid = rc;
    else if (clip == NULLREGION || !IntersectRect(&invalid, &invalid, &rc))
        SetRectEmpty(&invalid);
    return Guarded([&] {
        const auto* info = static_cast<const DVASPECTINFO*>(aspect);
        bool optimize = info && info->cb >= sizeof(DVASPECTINFO) &&
                        (info->dwFlags & DVASPECTINFOFLAG_CANOPTIMIZE) && (GetControlFlags() & canOptimizeDraw);
        DrawContent(drawDC, rc, invalid, !optimize);
        return S_OK;
    });
}

STDMETHODIMP COleControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colorSet)
{
    if (!colorSet)
        return E_POINTER;
    *colorSet = nullptr;
    return S_FALSE;  // no particular colours
}

STDMETHODIMP COleControl::Freeze(DWORD, LONG, void*, DWORD* freeze)
{
    if (freeze)
        *freeze = 0;
    // Freezing would need a cached presentation; the control always draws
    // its current state.
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::Unfreeze(DWORD) { return OLE_E_NOCONNECTION; }

STDMETHODIMP COleControl::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink)
{
    CHold hold(this);
    m_viewSink = CComPtr<IAdviseSink>(sink);
    m_viewAspects = aspects;
    m_viewAdvf = advf;
    if (sink && (advf & ADVF_PRIMEFIRST))
        SendViewChange();
    return S_OK;
}

STDMETHODIMP COleControl::GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink)
{
    if (aspects)
        *aspects = m_viewAspects;
    if (advf)
        *advf = m_viewAdvf;
    if (sink) {
        *sink = m_viewSink.Get();
        if (*sink)
            (*sink)->AddRef();
    }
    return S_OK;
}

// The same extent as IOleObject::GetExtent.
STDMETHODIMP COleControl::GetExtent(DWORD drawAspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    return GetExtent(drawAspect, size);
}

void COleControl::SendViewChange()
{
    if (!m_viewSink || !(m_viewAspects & DVASPECT_CONTENT))
        return;
    CComPtr<IAdviseSink> sink = m_viewSink;
    if (m_viewAdvf & ADVF_ONLYONCE)
        m_viewSink.Release();
    sink->OnViewChange(DVASPECT_CONTENT, -1);
}

void COleControl::InvalidateControl(const RECT* rect)
{
    if (m_window.m_hWnd) {
        InvalidateRect(m_window.m_hWnd, rect, FALSE);
    } else if (m_windowlessSite) {
        RECT r = m_posRect;
        if (rect) {
            r = *rect;
            OffsetRect(&r, m_posRect.left, m_posRect.top);
        }
        m_windowlessSite->InvalidateRect(&r, FALSE);
    }
    SendViewChange();
}

}  // namespace fw
