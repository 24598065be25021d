#include "olecontrol.h"

#include "olecontrol_internal.h"

namespace fw {

using olectl::Guarded;

// ---------------------------------------------------------------------------
// Persistence

HRESULT COleControl::LoadFrom(CPropExchange& px)
{
    CHold hold(this);
    HRESULT hr = Guarded([&] {
        DoPropExchange(&px);
        return px.Result();
    });
    if (FAILED(hr)) {
        // A half-read state is no state: back to a new control's.
        Guarded([&] {
            OnResetState();
            return S_OK;
        });
        return hr;
    }
    m_dirty = false;
    InvalidateControl();
    return S_OK;
}

HRESULT COleControl::SaveTo(CPropExchange& px, BOOL clearDirty)
{
    HRESULT hr = Guarded([&] {
        DoPropExchange(&px);
        return px.Result();
    });
    if (SUCCEEDED(hr) && clearDirty)
        m_dirty = false;
    return hr;
}

STDMETHODIMP COleControl::IsDirty() { return m_dirty ? S_OK : S_FALSE; }

STDMETHODIMP COleControl::Load(LPSTREAM stream)
{
    if (!stream)
        return E_POINTER;
    CPropExchange px(stream, true);
    return LoadFrom(px);
}

STDMETHODIMP COleControl::Save(LPSTREAM stream, BOOL clearDirty)
{
    if (!stream)
        return E_POINTER;
    CPropExchange px(stream, false);
    return SaveTo(px, clearDirty);
}

STDMETHODIMP COleControl::GetSizeMax(ULARGE_INTEGER* size)
{
    if (!size)
        return E_POINTER;
    CPropExchange px(static_cast<IStream*>(nullptr), false);
    HRESULT hr = SaveTo(px, FALSE);
    if (SUCCEEDED(hr))
        size->QuadPart = px.ByteCount();
    return hr;
}

STDMETHODIMP COleControl::InitNew()
{
    HRESULT hr = Guarded([&] {
        OnResetState();
        return S_OK;
    });
    if (SUCCEEDED(hr))
        m_dirty = false;
    return hr;
}

STDMETHODIMP COleControl::Load(IPropertyBag* bag, IErrorLog* errorLog)
{
    if (!bag)
        return E_POINTER;
    CPropExchange px(bag, errorLog, true);
    return LoadFrom(px);
}

STDMETHODIMP COleControl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL)
{
    if (!bag)
        return E_POINTER;
    // Every property is always written, so saveAllProperties changes nothing.
    CPropExchange px(bag, nullptr, false);
    return SaveTo(px, clearDirty);
}

}  // namespace fw
