#include "olecontrol.h"

#include "enumerators.h"
#include "olecontrol_internal.h"

#include <cstring>

namespace fw {

using olectl::Guarded;
using olectl::ResourceInstance;
using olectl::CoTaskCopy;

namespace {

const DWORD kNoVersion = 0;

int ScreenDpi(int index)
{
    HDC dc = GetDC(nullptr);
    int dpi = dc ? GetDeviceCaps(dc, index) : 0;
    if (dc)
        ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

// 2540 HIMETRIC units make an inch.
LONG PixelsToHimetric(int pixels, int dpi) { return MulDiv(pixels, 2540, dpi); }

}  // namespace

LPOLESTR olectl::CoTaskCopy(const wchar_t* text, size_t length)
{
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
    if (out) {
        std::memcpy(out, text, length * sizeof(wchar_t));
        out[length] = L'\0';
    }
    return out;
}

// ---------------------------------------------------------------------------
// COleControl: construction, IUnknown

COleControl::COleControl() : m_connectionPoint(*this) { m_extent = InitialExtent(); }

// The derived part is gone and no reference is left: no calls out to the
// site from here, only our own window and references go.
COleControl::~COleControl() { DestroyControlWindow(); }

void* COleControl::FindInterface(REFIID riid)
{
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        (m_dispatchIid && IsEqualIID(riid, *m_dispatchIid)))
        return static_cast<IDispatch*>(this);
    if (IsEqualIID(riid, IID_IOleObject))
        return static_cast<IOleObject*>(this);
    if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceObject) ||
        IsEqualIID(riid, IID_IOleInPlaceObjectWindowless))
        return static_cast<IOleInPlaceObjectWindowless*>(this);
    if (IsEqualIID(riid, IID_IOleInPlaceActiveObject))
        return static_cast<IOleInPlaceActiveObject*>(this);
    if (IsEqualIID(riid, IID_IOleControl))
        return static_cast<IOleControl*>(this);
    if (IsEqualIID(riid, IID_IViewObject) || IsEqualIID(riid, IID_IViewObject2))
        return static_cast<IViewObject2*>(this);
    if (IsEqualIID(riid, IID_IPersist) || IsEqualIID(riid, IID_IPersistStreamInit))
        return static_cast<IPersistStreamInit*>(this);
    if (IsEqualIID(riid, IID_IPersistPropertyBag))
        return static_cast<IPersistPropertyBag*>(this);
    if (IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2))
        return static_cast<IProvideClassInfo2*>(this);
    if (IsEqualIID(riid, IID_IConnectionPointContainer))
        return static_cast<IConnectionPointContainer*>(this);
    return nullptr;
}

template <class F>
HRESULT COleControl::WithClassID(F&& f)
{
    return Guarded([&]() -> HRESULT {
        CLSID clsid;
        HRESULT hr = GetClassID(&clsid);
        return FAILED(hr) ? hr : f(clsid);
    });
}

HRESULT COleControl::AdviseHolder(IOleAdviseHolder** holder)
{
    *holder = nullptr;
    if (!m_adviseHolder) {
        HRESULT hr = CreateOleAdviseHolder(&m_adviseHolder);
        if (FAILED(hr))
            return hr;
    }
    *holder = m_adviseHolder.Get();
    return S_OK;
}

// ---------------------------------------------------------------------------
// Setup and hooks

void COleControl::InitializeIIDs(const IID* dispatchIid, const IID* eventIid)
{
    m_dispatchIid = dispatchIid;
    m_eventIid = eventIid;
}

void COleControl::SetTypeLib(const GUID& libid, WORD major, WORD minor)
{
    m_libid = libid;
    m_libMajor = major;
    m_libMinor = minor;
    m_typeLib.Release();
}

void COleControl::SetInitialSize(int cx, int cy)
{
    m_initialSize.cx = cx;
    m_initialSize.cy = cy;
    m_extent = InitialExtent();
}

SIZEL COleControl::InitialExtent() const
{
    SIZEL size;
    size.cx = PixelsToHimetric(m_initialSize.cx, ScreenDpi(LOGPIXELSX));
    size.cy = PixelsToHimetric(m_initialSize.cy, ScreenDpi(LOGPIXELSY));
    return size;
}

void COleControl::DoPropExchange(CPropExchange* px)
{
    if (!px)
        return;
    if (!px->IsVersionExchanged()) {
        DWORD version = kNoVersion;
        px->ExchangeVersion(version, kNoVersion, true);
    }
    SIZEL initial = InitialExtent();
    LONG cx = m_extent.cx;
    LONG cy = m_extent.cy;
    if (px->ExchangeLong(L"_ExtentX", cx, initial.cx) && px->ExchangeLong(L"_ExtentY", cy, initial.cy) &&
        px->IsLoading()) {
        if (cx >= 0 && cy >= 0) {
            m_extent.cx = cx;
            m_extent.cy = cy;
        } else {
            m_extent = initial;
        }
    }
}

void COleControl::OnResetState() { m_extent = InitialExtent(); }

void COleControl::OnDraw(HDC, const RECT&, const RECT&) {}

DWORD COleControl::GetControlFlags() { return clipPaintDC; }

// ---------------------------------------------------------------------------
// IDispatch

STDMETHODIMP COleControl::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT COleControl::LoadTypeLibrary(LCID lcid, ITypeLib** lib)
{
    *lib = nullptr;
    if (!m_typeLib) {
        CComPtr<ITypeLib> loaded;
        HRESULT hr = TYPE_E_CANTLOADLIBRARY;
        if (!IsEqualGUID(m_libid, GUID_NULL))
            hr = LoadRegTypeLib(m_libid, m_libMajor, m_libMinor, lcid, &loaded);
        if (FAILED(hr)) {
            // Not registered: the type library bound into the module itself.
            std::wstring path = CModule::Path();
            if (!path.empty())
                hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &loaded);
        }
        if (FAILED(hr))
            return hr;
        m_typeLib = loaded;
    }
    *lib = m_typeLib.Get();
    (*lib)->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return Guarded([&] {
        if (!m_dispatchIid)
            return TYPE_E_ELEMENTNOTFOUND;
        CComPtr<ITypeLib> lib;
        HRESULT hr = LoadTypeLibrary(lcid, &lib);
        if (FAILED(hr))
            return hr;
        return lib->GetTypeInfoOfGuid(*m_dispatchIid, info);
    });
}

STDMETHODIMP COleControl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    return Guarded([&] { return DispGetIDsOfNames(GetDispatchTable(), names, count, ids); });
}

STDMETHODIMP COleControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* excepInfo, UINT* argErr)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    void* self = static_cast<COleControl*>(this);
    return Guarded([&] {
        return DispInvoke(GetDispatchTable(), self, id, flags, params, result, excepInfo, argErr);
    });
}

// ---------------------------------------------------------------------------
// IOleObject

STDMETHODIMP COleControl::SetClientSite(IOleClientSite* site)
{
    CHold hold(this);
    // Losing the site ends in-place activity, which needs the site's help.
    if (!site && m_inPlaceActive)
        InPlaceDeactivate();
    m_site = CComPtr<IOleClientSite>(site);
    return S_OK;
}

STDMETHODIMP COleControl::GetClientSite(IOleClientSite** site)
{
    if (!site)
        return E_POINTER;
    *site = m_site.Get();
    if (*site)
        (*site)->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::SetHostNames(LPCOLESTR containerApp, LPCOLESTR containerObj)
{
    return Guarded([&] {
        m_containerApp = containerApp ? containerApp : L"";
        m_containerObj = containerObj ? containerObj : L"";
        return S_OK;
    });
}

STDMETHODIMP COleControl::Close(DWORD saveOption)
{
    CHold hold(this);
    // A control has no user interface to ask with: PROMPTSAVE saves as
    // SAVEIFDIRTY does.
    if ((saveOption == OLECLOSE_SAVEIFDIRTY || saveOption == OLECLOSE_PROMPTSAVE) && m_dirty && m_site)
        m_site->SaveObject();
    InPlaceDeactivate();
    if (m_adviseHolder)
        m_adviseHolder->SendOnClose();
    return S_OK;
}

STDMETHODIMP COleControl::SetMoniker(DWORD whichMoniker, IMoniker* moniker)
{
    if (!moniker)
        return E_INVALIDARG;
    CHold hold(this);
    // The advise sinks learn the object's new full name.
    CComPtr<IMoniker> full;
    if (whichMoniker == OLEWHICHMK_OBJFULL)
        full = CComPtr<IMoniker>(moniker);
    else if (m_site)
        m_site->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_OBJFULL, &full);
    if (full && m_adviseHolder)
        m_adviseHolder->SendOnRename(full.Get());
    return S_OK;
}

STDMETHODIMP COleControl::GetMoniker(DWORD assign, DWORD whichMoniker, IMoniker** moniker)
{
    if (!moniker)
        return E_POINTER;
    *moniker = nullptr;
    // The object's name is the one its container gives it.
    if (!m_site)
        return MK_E_UNAVAILABLE;
    CHold hold(this);
    return m_site->GetMoniker(assign, whichMoniker, moniker);
}

STDMETHODIMP COleControl::InitFromData(IDataObject*, BOOL, DWORD)
{
    // The control takes no initial data from a data object.
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::GetClipboardData(DWORD, IDataObject** data)
{
    if (!data)
        return E_POINTER;
    *data = nullptr;
    // No clipboard representation.
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND, LPCRECT)
{
    CHold hold(this);
    return Guarded([&]() -> HRESULT {
        if (!m_site && activeSite)
            m_site = CComPtr<IOleClientSite>(activeSite);
        switch (verb) {
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_INPLACEACTIVATE: {
            HRESULT hr = m_inPlaceActive ? S_OK : ActivateInPlace();
            if (hr == S_OK && verb == OLEIVERB_SHOW && m_site)
                m_site->ShowObject();
            return hr;
        }
        case OLEIVERB_UIACTIVATE: {
            HRESULT hr = m_inPlaceActive ? S_OK : ActivateInPlace();
            return hr == S_OK ? ActivateUI() : hr;
        }
        case OLEIVERB_HIDE:
            return InPlaceDeactivate();
        case OLEIVERB_DISCARDUNDOSTATE:
            // There is never an undo state to discard.
            return S_OK;
        case OLEIVERB_PROPERTIES:
            // The control has no property pages: there is nothing to show,
            // and no empty frame is put up in its place.
            return S_OK;
        default:
            break;
        }
        if (verb > 0) {
            // An unknown positive verb runs as the primary verb.
            HRESULT hr = m_inPlaceActive ? S_OK : ActivateInPlace();
            return hr == S_OK ? OLEOBJ_S_INVALIDVERB : hr;
        }
        // OLEIVERB_OPEN (no open editing window) and unknown negative verbs.
        return E_NOTIMPL;
    });
}

STDMETHODIMP COleControl::EnumVerbs(IEnumOLEVERB** verbs)
{
    if (!verbs)
        return E_POINTER;
    *verbs = nullptr;
    // The one verb a control offers beyond activation: its properties.
    OLEVERB properties = {OLEIVERB_PROPERTIES, const_cast<LPOLESTR>(L"&Properties..."), 0,
                          OLEVERBATTRIB_ONCONTAINERMENU};
    return Guarded([&] { return CEnumSnapshot<IEnumOLEVERB, OLEVERB>::Create(&properties, 1, verbs); });
}

STDMETHODIMP COleControl::Update() { return S_OK; }

STDMETHODIMP COleControl::IsUpToDate() { return S_OK; }

STDMETHODIMP COleControl::GetUserClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    return Guarded([&] { return GetClassID(clsid); });
}

STDMETHODIMP COleControl::GetUserType(DWORD formOfType, LPOLESTR* userType)
{
    if (!userType)
        return E_POINTER;
    *userType = nullptr;
    return Guarded([&] {
        // With no buffer, LoadStringW hands out the read-only resource text.
        const wchar_t* text = nullptr;
        int length = LoadStringW(ResourceInstance(), GetUserTypeNameID(), reinterpret_cast<LPWSTR>(&text), 0);
        if (length > 0 && text) {
            *userType = CoTaskCopy(text, static_cast<size_t>(length));
            return *userType ? S_OK : E_OUTOFMEMORY;
        }
        return WithClassID([&](REFCLSID clsid) { return OleRegGetUserType(clsid, formOfType, userType); });
    });
}

STDMETHODIMP COleControl::SetExtent(DWORD drawAspect, SIZEL* size)
{
    if (!size)
        return E_INVALIDARG;
    if (drawAspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (size->cx < 0 || size->cy < 0)
        return E_INVALIDARG;
    if (size->cx != m_extent.cx || size->cy != m_extent.cy) {
        CHold hold(this);
        m_extent = *size;
        m_dirty = true;
        InvalidateControl();
    }
    return S_OK;
}

STDMETHODIMP COleControl::GetExtent(DWORD drawAspect, SIZEL* size)
{
    if (!size)
        return E_POINTER;
    if (drawAspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    *size = m_extent;
    return S_OK;
}

STDMETHODIMP COleControl::Advise(IAdviseSink* sink, DWORD* connection)
{
    if (!connection)
        return E_POINTER;
    *connection = 0;
    if (!sink)
        return E_INVALIDARG;
    IOleAdviseHolder* holder = nullptr;
    HRESULT hr = AdviseHolder(&holder);
    return FAILED(hr) ? hr : holder->Advise(sink, connection);
}

STDMETHODIMP COleControl::Unadvise(DWORD connection)
{
    if (!m_adviseHolder)
        return OLE_E_NOCONNECTION;
    return m_adviseHolder->Unadvise(connection);
}

STDMETHODIMP COleControl::EnumAdvise(IEnumSTATDATA** advise)
{
    if (!advise)
        return E_POINTER;
    *advise = nullptr;
    IOleAdviseHolder* holder = nullptr;
    HRESULT hr = AdviseHolder(&holder);
    return FAILED(hr) ? hr : holder->EnumAdvise(advise);
}

STDMETHODIMP COleControl::GetMiscStatus(DWORD aspect, DWORD* status)
{
    if (!status)
        return E_POINTER;
    return Guarded([&] {
        if (aspect == DVASPECT_CONTENT) {
            *status = GetMiscStatus();
            return S_OK;
        }
        // Other aspects: whatever the registration says (zero without).
        return WithClassID([&](REFCLSID clsid) { return OleRegGetMiscStatus(clsid, aspect, status); });
    });
}

STDMETHODIMP COleControl::SetColorScheme(LOGPALETTE* palette)
{
    if (!palette)
        return E_INVALIDARG;
    if (palette->palVersion != 0x300 || palette->palNumEntries == 0)
        return E_INVALIDARG;
    return Guarded([&] {
        m_colorScheme.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
        return S_OK;
    });
}

// ---------------------------------------------------------------------------
// IProvideClassInfo2

STDMETHODIMP COleControl::GetClassInfo(ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    return WithClassID([&](REFCLSID clsid) {
        CComPtr<ITypeLib> lib;
        HRESULT hr = LoadTypeLibrary(LOCALE_USER_DEFAULT, &lib);
        return FAILED(hr) ? hr : lib->GetTypeInfoOfGuid(clsid, info);
    });
}

STDMETHODIMP COleControl::GetGUID(DWORD guidKind, GUID* guid)
{
    if (!guid)
        return E_POINTER;
    if (guidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID || !m_eventIid)
        return E_INVALIDARG;
    *guid = *m_eventIid;
    return S_OK;
}

}  // namespace fw
