#include "olecontrol.h"

#include "enumerators.h"
#include "module.h"

#include <cstring>
#include <exception>
#include <utility>

namespace fw {

namespace {

const wchar_t kWindowClass[] = L"QelFrameworkControl";
const DWORD kNoVersion = 0;

// Runs f, turning any C++ exception into an HRESULT: nothing may leave a
// COM method by throwing.
template <class F>
HRESULT Guarded(F&& f) noexcept
{
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HINSTANCE ResourceInstance()
{
    HINSTANCE instance = CModule::Instance();
    return instance ? instance : GetModuleHandleW(nullptr);
}

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

LPOLESTR CoTaskCopy(const wchar_t* text, size_t length)
{
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
    if (out) {
        std::memcpy(out, text, length * sizeof(wchar_t));
        out[length] = L'\0';
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// CPropExchange

CPropExchange::CPropExchange(IStream* stream, bool loading) : m_stream(stream), m_loading(loading)
{
    if (loading && !stream)
        m_result = E_POINTER;
}

CPropExchange::CPropExchange(IPropertyBag* bag, IErrorLog* errorLog, bool loading)
    : m_bag(bag), m_errorLog(errorLog), m_loading(loading)
{
    if (!bag)
        m_result = E_POINTER;
}

bool CPropExchange::Fail(HRESULT hr)
{
    if (SUCCEEDED(m_result))
        m_result = hr;
    return false;
}

bool CPropExchange::Read(void* data, ULONG size, bool& absent)
{
    absent = false;
    ULONG got = 0;
    HRESULT hr = m_stream->Read(data, size, &got);
    if (FAILED(hr))
        return Fail(hr);
    if (got == 0) {
        absent = true;
        return true;
    }
    if (got != size)
        return Fail(STG_E_READFAULT);
    return true;
}

bool CPropExchange::Write(const void* data, ULONG size)
{
    if (m_stream) {
        ULONG written = 0;
        HRESULT hr = m_stream->Write(data, size, &written);
        if (FAILED(hr))
            return Fail(hr);
        if (written != size)
            return Fail(STG_E_WRITEFAULT);
    }
    m_bytes += size;
    return true;
}

bool CPropExchange::ReadBag(const wchar_t* name, LONG& value, bool& absent)
{
    absent = true;
    CVariant v;
    // VT_EMPTY asks for the value in whatever type the bag holds it.
    if (FAILED(m_bag->Read(name, &v, m_errorLog)))
        return true;
    if (FAILED(VariantChangeTypeEx(&v, &v, LOCALE_INVARIANT, 0, VT_I4)))
        return true;
    value = V_I4(&v);
    absent = false;
    return true;
}

bool CPropExchange::WriteBag(const wchar_t* name, LONG value)
{
    CVariant v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    HRESULT hr = m_bag->Write(name, &v);
    return SUCCEEDED(hr) ? true : Fail(hr);
}

bool CPropExchange::ExchangeVersion(DWORD& version, DWORD current, bool convert)
{
    if (FAILED(m_result))
        return false;
    m_versionExchanged = true;
    if (!m_loading) {
        LONG stored = static_cast<LONG>(current);
        bool ok = m_bag ? WriteBag(L"_Version", stored) : Write(&current, sizeof current);
        if (ok)
            version = m_version = current;
        return ok;
    }
    DWORD stored = current;
    bool absent = false;
    if (m_bag) {
        LONG v = 0;
        ReadBag(L"_Version", v, absent);
        if (!absent)
            stored = static_cast<DWORD>(v);
    } else {
        DWORD v = 0;
        if (!Read(&v, sizeof v, absent))
            return false;
        if (!absent)
            stored = v;
    }
    version = m_version = stored;
    if (!convert && stored != current)
        return Fail(stored < current ? STG_E_OLDFORMAT : STG_E_OLDDLL);
    return true;
}

bool CPropExchange::ExchangeLong(const wchar_t* name, LONG& value, LONG defaultValue)
{
    if (FAILED(m_result))
        return false;
    if (m_bag && !name)
        return Fail(E_INVALIDARG);
    if (!m_loading)
        return m_bag ? WriteBag(name, value) : Write(&value, sizeof value);
    LONG stored = 0;
    bool absent = false;
    bool ok = m_bag ? ReadBag(name, stored, absent) : Read(&stored, sizeof stored, absent);
    if (!ok)
        return false;
    value = absent ? defaultValue : stored;
    return true;
}

// ---------------------------------------------------------------------------
// COleControl: construction, IUnknown

COleControl::COleControl() : m_connectionPoint(*this)
{
    CModule::ObjectCreated();
    m_extent = InitialExtent();
}

COleControl::~COleControl()
{
    // The derived part is gone and no reference is left: no calls out to
    // the site from here, only our own window and references go.
    if (m_hwnd) {
        HWND hwnd = m_hwnd;
        m_hwnd = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        DestroyWindow(hwnd);
        UnregisterClassW(kWindowClass, ResourceInstance());
    }
    CModule::ObjectDestroyed();
}

STDMETHODIMP COleControl::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    void* p = nullptr;
    if (IsEqualIID(riid, IID_IUnknown))
        p = static_cast<IUnknown*>(static_cast<IDispatch*>(this));
    else if (IsEqualIID(riid, IID_IDispatch) || (m_dispatchIid && IsEqualIID(riid, *m_dispatchIid)))
        p = static_cast<IDispatch*>(this);
    else if (IsEqualIID(riid, IID_IOleObject))
        p = static_cast<IOleObject*>(this);
    else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceObject) ||
             IsEqualIID(riid, IID_IOleInPlaceObjectWindowless))
        p = static_cast<IOleInPlaceObjectWindowless*>(this);
    else if (IsEqualIID(riid, IID_IOleInPlaceActiveObject))
        p = static_cast<IOleInPlaceActiveObject*>(this);
    else if (IsEqualIID(riid, IID_IOleControl))
        p = static_cast<IOleControl*>(this);
    else if (IsEqualIID(riid, IID_IViewObject) || IsEqualIID(riid, IID_IViewObject2))
        p = static_cast<IViewObject2*>(this);
    else if (IsEqualIID(riid, IID_IPersist) || IsEqualIID(riid, IID_IPersistStreamInit))
        p = static_cast<IPersistStreamInit*>(this);
    else if (IsEqualIID(riid, IID_IPersistPropertyBag))
        p = static_cast<IPersistPropertyBag*>(this);
    else if (IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2))
        p = static_cast<IProvideClassInfo2*>(this);
    else if (IsEqualIID(riid, IID_IConnectionPointContainer))
        p = static_cast<IConnectionPointContainer*>(this);
    *ppv = p;
    if (!p)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) COleControl::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

STDMETHODIMP_(ULONG) COleControl::Release()
{
    LONG n = InterlockedDecrement(&m_refs);
    if (n == 0)
        delete this;
    return static_cast<ULONG>(n);
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
            // No property pages to show.
            return OLEOBJ_S_CANNOT_DOVERB_NOW;
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
    return Guarded([&] {
        CLSID clsid;
        HRESULT hr = GetClassID(&clsid);
        return FAILED(hr) ? hr : OleRegEnumVerbs(clsid, verbs);
    });
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
        CLSID clsid;
        HRESULT hr = GetClassID(&clsid);
        return FAILED(hr) ? hr : OleRegGetUserType(clsid, formOfType, userType);
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
    if (!m_adviseHolder) {
        HRESULT hr = CreateOleAdviseHolder(&m_adviseHolder);
        if (FAILED(hr))
            return hr;
    }
    return m_adviseHolder->Advise(sink, connection);
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
    if (!m_adviseHolder) {
        HRESULT hr = CreateOleAdviseHolder(&m_adviseHolder);
        if (FAILED(hr))
            return hr;
    }
    return m_adviseHolder->EnumAdvise(advise);
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
        CLSID clsid;
        HRESULT hr = GetClassID(&clsid);
        return FAILED(hr) ? hr : OleRegGetMiscStatus(clsid, aspect, status);
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

STDMETHODIMP COleControl::GetExtent(DWORD drawAspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    if (!size)
        return E_POINTER;
    if (drawAspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    *size = m_extent;
    return S_OK;
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
    if (m_hwnd) {
        InvalidateRect(m_hwnd, rect, FALSE);
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

// ---------------------------------------------------------------------------
// IProvideClassInfo2

STDMETHODIMP COleControl::GetClassInfo(ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    return Guarded([&] {
        CLSID clsid;
        HRESULT hr = GetClassID(&clsid);
        if (FAILED(hr))
            return hr;
        CComPtr<ITypeLib> lib;
        hr = LoadTypeLibrary(LOCALE_USER_DEFAULT, &lib);
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

// ---------------------------------------------------------------------------
// IConnectionPointContainer

STDMETHODIMP COleControl::EnumConnectionPoints(IEnumConnectionPoints** points)
{
    IConnectionPoint* point = &m_connectionPoint;
    return CEnumSnapshot<IEnumConnectionPoints, IConnectionPoint*>::Create(&point, m_eventIid ? 1 : 0, points);
}

STDMETHODIMP COleControl::FindConnectionPoint(REFIID riid, IConnectionPoint** point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    if (!m_eventIid || !IsEqualIID(riid, *m_eventIid))
        return CONNECT_E_NOCONNECTION;
    *point = &m_connectionPoint;
    (*point)->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::CConnectionPoint::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COleControl::CConnectionPoint::AddRef() { return m_owner.AddRef(); }

STDMETHODIMP_(ULONG) COleControl::CConnectionPoint::Release() { return m_owner.Release(); }

STDMETHODIMP COleControl::CConnectionPoint::GetConnectionInterface(IID* iid)
{
    if (!iid)
        return E_POINTER;
    if (!m_owner.m_eventIid)
        return E_UNEXPECTED;
    *iid = *m_owner.m_eventIid;
    return S_OK;
}

STDMETHODIMP COleControl::CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    if (!container)
        return E_POINTER;
    *container = static_cast<IConnectionPointContainer*>(&m_owner);
    (*container)->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::CConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!cookie)
        return E_POINTER;
    *cookie = 0;
    if (!sink)
        return E_POINTER;
    if (!m_owner.m_eventIid)
        return CONNECT_E_CANNOTCONNECT;
    // The sink takes the event dispinterface, or plain IDispatch for it.
    CComPtr<IUnknown> target;
    if (FAILED(sink->QueryInterface(*m_owner.m_eventIid, reinterpret_cast<void**>(&target))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&target))))
        return CONNECT_E_CANNOTCONNECT;
    if (!target)
        return CONNECT_E_CANNOTCONNECT;
    return Guarded([&] {
        DWORD next = m_nextCookie;
        m_sinks.push_back(Sink{next, target});
        m_nextCookie = next + 1 ? next + 1 : 1;
        *cookie = next;
        return S_OK;
    });
}

STDMETHODIMP COleControl::CConnectionPoint::Unadvise(DWORD cookie)
{
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
        if (it->cookie != cookie)
            continue;
        // Released after the list is consistent again: the sink's Release
        // may call back into the control.
        CComPtr<IUnknown> sink(std::move(it->sink));
        m_sinks.erase(it);
        return S_OK;
    }
    return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP COleControl::CConnectionPoint::EnumConnections(IEnumConnections** connections)
{
    return Guarded([&] {
        std::vector<CONNECTDATA> items;
        items.reserve(m_sinks.size());
        for (const Sink& s : m_sinks) {
            CONNECTDATA data;
            data.pUnk = s.sink.Get();
            data.dwCookie = s.cookie;
            items.push_back(data);
        }
        return CEnumSnapshot<IEnumConnections, CONNECTDATA>::Create(items.data(), items.size(), connections);
    });
}

}  // namespace fw
