// fw::COleControl through its COM interfaces: identity and lifetime,
// persistence, drawing, class and type information, dispatch, connection
// points, and hosting in Wine's ATL container.
#include <gtest/gtest.h>

#include "comutil.h"
#include "module.h"
#include "olecontrol.h"
#include "olecontrol_test_res.h"

#include <map>
#include <string>

using fw::CComPtr;

namespace {

const CLSID kClsid = {0x6c1b2e5a, 0x9f0d, 0x4b7e, {0x8a, 0x31, 0x2d, 0x5c, 0x7e, 0x9f, 0x1a, 0x01}};
const IID kDispIid = {0x6c1b2e5a, 0x9f0d, 0x4b7e, {0x8a, 0x31, 0x2d, 0x5c, 0x7e, 0x9f, 0x1a, 0x02}};
const IID kEventIid = {0x6c1b2e5a, 0x9f0d, 0x4b7e, {0x8a, 0x31, 0x2d, 0x5c, 0x7e, 0x9f, 0x1a, 0x03}};
const GUID kLibId = {0x6c1b2e5a, 0x9f0d, 0x4b7e, {0x8a, 0x31, 0x2d, 0x5c, 0x7e, 0x9f, 0x1a, 0x04}};
const DWORD kVersion = 0x00010000;
const DWORD kMiscStatus = OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_RECOMPOSEONRESIZE;

std::string Str(REFGUID g)
{
    wchar_t w[40] = L"";
    StringFromGUID2(g, w, 40);
    return std::string(w, w + lstrlenW(w));
}

class CTestCtrl : public fw::COleControl {
public:
    explicit CTestCtrl(DWORD flags = fw::clipPaintDC, bool strictVersion = false)
        : m_flags(flags), m_strict(strictVersion)
    {
        InitializeIIDs(&kDispIid, &kEventIid);
        SetTypeLib(kLibId, 1, 0);
    }
    using fw::COleControl::AreEventsFrozen;
    using fw::COleControl::ClientSite;
    using fw::COleControl::Extent;
    using fw::COleControl::GetMiscStatus;
    using fw::COleControl::IsInPlaceActive;
    using fw::COleControl::IsWindowless;
    using fw::COleControl::PositionRect;

    STDMETHODIMP GetClassID(CLSID* clsid) override
    {
        if (!clsid)
            return E_POINTER;
        *clsid = kClsid;
        return S_OK;
    }

    DWORD version = 0;
    int draws = 0;
    RECT lastBounds = {0, 0, 0, 0};

protected:
    const fw::DispTable& GetDispatchTable() const override;
    void DoPropExchange(fw::CPropExchange* px) override
    {
        px->ExchangeVersion(version, kVersion, !m_strict);
        fw::COleControl::DoPropExchange(px);
    }
    void OnDraw(HDC dc, const RECT& bounds, const RECT&) override
    {
        ++draws;
        lastBounds = bounds;
        FillRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SelectObject(dc, GetStockObject(BLACK_PEN));
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
    }
    DWORD GetControlFlags() override { return m_flags; }
    UINT GetUserTypeNameID() override { return IDS_FW_TEST_TYPE; }
    DWORD GetMiscStatus() override { return kMiscStatus; }

private:
    DWORD m_flags;
    bool m_strict;
};

CTestCtrl* Self(void* self) { return static_cast<CTestCtrl*>(static_cast<fw::COleControl*>(self)); }

const fw::DispMethod kMethods[] = {
    {L"Add", 1, fw::DispType::Long, 2, {fw::DispType::Long, fw::DispType::Long}, {L"a", L"b"},
     [](void*, const fw::DispArgs& a, fw::DispResult& r) { r.SetLong(a.Long(0) + a.Long(1)); }},
    {L"DrawCount", 2, fw::DispType::Long, 0, {}, {},
     [](void* self, const fw::DispArgs&, fw::DispResult& r) { r.SetLong(Self(self)->draws); }},
};
const fw::DispTable kTable = {kMethods, 2, "Test"};
const fw::DispTable& CTestCtrl::GetDispatchTable() const { return kTable; }

CComPtr<CTestCtrl> MakeControl(DWORD flags = fw::clipPaintDC, bool strict = false)
{
    CComPtr<CTestCtrl> c;
    c.Attach(new fw::CComObject<CTestCtrl>(flags, strict));
    return c;
}

IUnknown* Unk(const CComPtr<CTestCtrl>& c) { return static_cast<IOleObject*>(c.Get()); }

template <class I>
CComPtr<I> Query(IUnknown* p)
{
    CComPtr<I> out;
    EXPECT_EQ(S_OK, p->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&out))) << "QueryInterface for " << Str(__uuidof(I));
    return out;
}

SIZEL InitialExtent()
{
    HDC dc = GetDC(nullptr);
    SIZEL s = {MulDiv(100, 2540, GetDeviceCaps(dc, LOGPIXELSX)), MulDiv(50, 2540, GetDeviceCaps(dc, LOGPIXELSY))};
    ReleaseDC(nullptr, dc);
    return s;
}

CComPtr<IStream> StreamOf(std::initializer_list<DWORD> values, ULONG extraBytes = 0)
{
    CComPtr<IStream> s;
    EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &s));
    for (DWORD v : values)
        s->Write(&v, sizeof v, nullptr);
    DWORD pad = 0;
    s->Write(&pad, extraBytes, nullptr);
    LARGE_INTEGER zero = {};
    s->Seek(zero, STREAM_SEEK_SET, nullptr);
    return s;
}

// Reference-counted but not heap-owned test objects: each test checks the
// control gave back every reference it took.
template <class I>
class CStackObject : public I {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(I)) ? static_cast<I*>(this) : nullptr;
        if (!*ppv)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }
    LONG refs = 1;
};

class CPropBag : public CStackObject<IPropertyBag> {
public:
    ~CPropBag()
    {
        for (auto& kv : values)
            VariantClear(&kv.second);
    }
    STDMETHODIMP Read(LPCOLESTR name, VARIANT* v, IErrorLog*) override
    {
        auto it = values.find(name);
        return it == values.end() ? E_INVALIDARG : VariantCopy(v, &it->second);
    }
    STDMETHODIMP Write(LPCOLESTR name, VARIANT* v) override
    {
        if (FAILED(writeResult))
            return writeResult;
        VariantClear(&values[name]);
        return VariantCopy(&values[name], v);
    }
    std::map<std::wstring, VARIANT> values;
    HRESULT writeResult = S_OK;
};

class CEventSink : public CStackObject<IDispatch> {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return S_OK; }
};

class CAdviseSink : public CStackObject<IAdviseSink> {
public:
    STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override { ++viewChanges; }
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override { ++closes; }
    int viewChanges = 0;
    int closes = 0;
};

class OleControlTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, fw::CModule::CanUnloadNow()) << "an earlier test left objects alive";
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    }
    void TearDown() override
    {
        OleUninitialize();
        EXPECT_EQ(S_OK, fw::CModule::CanUnloadNow()) << "objects still alive after the test";
    }
};

TEST_F(OleControlTest, QueryInterfaceGivesEveryInterfaceOneIdentity)
{
    auto ctl = MakeControl();
    CComPtr<IUnknown> identity = Query<IUnknown>(Unk(ctl));
    const IID* iids[] = {&IID_IDispatch, &kDispIid, &IID_IOleObject, &IID_IOleWindow, &IID_IOleInPlaceObject,
                         &IID_IOleInPlaceObjectWindowless, &IID_IOleInPlaceActiveObject, &IID_IOleControl,
                         &IID_IViewObject, &IID_IViewObject2, &IID_IPersist, &IID_IPersistStreamInit,
                         &IID_IPersistPropertyBag, &IID_IProvideClassInfo, &IID_IProvideClassInfo2,
                         &IID_IConnectionPointContainer};
    for (const IID* iid : iids) {
        CComPtr<IUnknown> itf, again, unk;
        ASSERT_EQ(S_OK, identity->QueryInterface(*iid, reinterpret_cast<void**>(&itf))) << Str(*iid);
        ASSERT_EQ(S_OK, itf->QueryInterface(*iid, reinterpret_cast<void**>(&again))) << Str(*iid);
        ASSERT_EQ(S_OK, itf->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk))) << Str(*iid);
        EXPECT_EQ(itf.Get(), again.Get()) << "same interface twice for " << Str(*iid);
        EXPECT_EQ(identity.Get(), unk.Get()) << "IUnknown from " << Str(*iid);
    }
    void* p = &p;
    EXPECT_EQ(E_NOINTERFACE, identity->QueryInterface(IID_IOleCache, &p));
    EXPECT_EQ(nullptr, p) << "a refused QueryInterface clears the pointer";
    EXPECT_EQ(E_POINTER, identity->QueryInterface(IID_IUnknown, nullptr));
}

TEST_F(OleControlTest, OneReferenceCountKeepsTheModuleLoaded)
{
    CTestCtrl* ctl = new fw::CComObject<CTestCtrl>();
    EXPECT_EQ(S_FALSE, fw::CModule::CanUnloadNow()) << "a live control must keep the module";
    EXPECT_EQ(2u, static_cast<IOleObject*>(ctl)->AddRef());
    IViewObject2* view = nullptr;
    ASSERT_EQ(S_OK, ctl->QueryInterface(IID_IViewObject2, reinterpret_cast<void**>(&view)));
    EXPECT_EQ(4u, view->AddRef()) << "all interfaces share one count";
    EXPECT_EQ(3u, view->Release());
    EXPECT_EQ(2u, view->Release());
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(S_OK, ctl->FindConnectionPoint(kEventIid, &point));
    EXPECT_EQ(2u, ctl->Release());
    EXPECT_EQ(1u, ctl->Release()) << "the connection point holds the control";
    EXPECT_EQ(S_FALSE, fw::CModule::CanUnloadNow());
    EXPECT_EQ(0u, point->Release());
    EXPECT_EQ(S_OK, fw::CModule::CanUnloadNow()) << "the last Release destroys the control";

    void* p = &p;
    EXPECT_EQ(E_NOINTERFACE, fw::CreateControlInstance<CTestCtrl>(IID_IOleCache, &p));
    EXPECT_EQ(nullptr, p);
    ASSERT_EQ(S_OK, fw::CreateControlInstance<CTestCtrl>(IID_IOleObject, &p));
    EXPECT_EQ(0u, static_cast<IOleObject*>(p)->Release()) << "created with exactly one reference";
}

TEST_F(OleControlTest, StreamSaveAndLoadRoundTrip)
{
    auto a = MakeControl(), b = MakeControl();
    auto ps = Query<IPersistStreamInit>(Unk(a));
    ASSERT_EQ(S_OK, ps->InitNew());
    EXPECT_EQ(S_FALSE, ps->IsDirty());
    SIZEL size = {5000, 3000};
    ASSERT_EQ(S_OK, a->SetExtent(DVASPECT_CONTENT, &size));
    EXPECT_EQ(S_OK, ps->IsDirty()) << "a new extent makes the control dirty";
    ULARGE_INTEGER max = {};
    ASSERT_EQ(S_OK, ps->GetSizeMax(&max));
    EXPECT_EQ(12u, max.QuadPart) << "version and two extent values";

    CComPtr<IStream> s = StreamOf({});
    ASSERT_EQ(S_OK, ps->Save(s.Get(), FALSE));
    EXPECT_EQ(S_OK, ps->IsDirty()) << "Save without clearDirty keeps the flag";
    ASSERT_EQ(S_OK, ps->Save(s.Get(), TRUE));
    EXPECT_EQ(S_FALSE, ps->IsDirty());
    HGLOBAL mem = nullptr;
    ASSERT_EQ(S_OK, GetHGlobalFromStream(s.Get(), &mem));
    const auto* stored = static_cast<const DWORD*>(GlobalLock(mem));
    EXPECT_EQ(kVersion, stored[0]);
    EXPECT_EQ(5000u, stored[1]);
    EXPECT_EQ(3000u, stored[2]);
    EXPECT_EQ(kVersion, stored[3]) << "the second save follows the first";
    GlobalUnlock(mem);

    LARGE_INTEGER zero = {};
    s->Seek(zero, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(S_OK, Query<IPersistStreamInit>(Unk(b))->Load(s.Get()));
    EXPECT_EQ(kVersion, b->version);
    EXPECT_EQ(5000, b->Extent().cx);
    EXPECT_EQ(3000, b->Extent().cy);
    EXPECT_EQ(E_POINTER, ps->Load(nullptr));
}

TEST_F(OleControlTest, StreamVersionsOnLoad)
{
    SIZEL initial = InitialExtent();
    auto loose = MakeControl();
    auto ps = Query<IPersistStreamInit>(Unk(loose));
    ASSERT_EQ(S_OK, ps->Load(StreamOf({0x00000100, 1234, 5678}).Get())) << "an older version converts";
    EXPECT_EQ(0x00000100u, loose->version);
    EXPECT_EQ(1234, loose->Extent().cx);
    ASSERT_EQ(S_OK, ps->Load(StreamOf({}).Get())) << "an empty stream holds defaults";
    EXPECT_EQ(kVersion, loose->version);
    EXPECT_EQ(initial.cx, loose->Extent().cx);
    EXPECT_EQ(initial.cy, loose->Extent().cy);
    EXPECT_EQ(STG_E_READFAULT, ps->Load(StreamOf({kVersion}, 2).Get())) << "a value cut short";

    auto strict = MakeControl(fw::clipPaintDC, true);
    auto pss = Query<IPersistStreamInit>(Unk(strict));
    ASSERT_EQ(S_OK, pss->Load(StreamOf({kVersion, 777, 888}).Get()));
    EXPECT_EQ(777, strict->Extent().cx);
    EXPECT_EQ(STG_E_OLDFORMAT, pss->Load(StreamOf({0x00000100, 1, 2}).Get()));
    EXPECT_EQ(initial.cx, strict->Extent().cx) << "a failed load resets the control";
    EXPECT_EQ(STG_E_OLDDLL, pss->Load(StreamOf({0x00020000, 1, 2}).Get()));
}

TEST_F(OleControlTest, PropertyBagSaveAndLoad)
{
    auto a = MakeControl(), b = MakeControl();
    SIZEL size = {4000, 2000};
    ASSERT_EQ(S_OK, a->SetExtent(DVASPECT_CONTENT, &size));
    CPropBag bag;
    auto pb = Query<IPersistPropertyBag>(Unk(a));
    ASSERT_EQ(S_OK, pb->Save(&bag, TRUE, TRUE));
    EXPECT_EQ(S_FALSE, Query<IPersistStreamInit>(Unk(a))->IsDirty());
    ASSERT_EQ(3u, bag.values.size());
    EXPECT_EQ(VT_I4, V_VT(&bag.values[L"_Version"]));
    EXPECT_EQ(static_cast<LONG>(kVersion), V_I4(&bag.values[L"_Version"]));
    EXPECT_EQ(4000, V_I4(&bag.values[L"_ExtentX"]));
    EXPECT_EQ(2000, V_I4(&bag.values[L"_ExtentY"]));

    CPropBag page;  // as a web page gives it: text, some values missing
    V_VT(&page.values[L"_ExtentX"]) = VT_BSTR;
    V_BSTR(&page.values[L"_ExtentX"]) = SysAllocString(L"1500");
    ASSERT_EQ(S_OK, Query<IPersistPropertyBag>(Unk(b))->Load(&page, nullptr));
    EXPECT_EQ(kVersion, b->version) << "no _Version means the current one";
    EXPECT_EQ(1500, b->Extent().cx);
    EXPECT_EQ(InitialExtent().cy, b->Extent().cy);

    bag.writeResult = E_ACCESSDENIED;
    EXPECT_EQ(E_ACCESSDENIED, pb->Save(&bag, TRUE, TRUE));
    EXPECT_EQ(E_POINTER, pb->Load(nullptr, nullptr));
    EXPECT_EQ(1, bag.refs) << "the control keeps no reference to a bag";
    EXPECT_EQ(1, page.refs);
}

TEST_F(OleControlTest, DrawPaintsIntoTheBounds)
{
    auto ctl = MakeControl();
    auto view = Query<IViewObject2>(Unk(ctl));
    const int w = 120, h = 80;
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_TRUE(dc && bmp && bits);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT all = {0, 0, w, h};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &all, red);
    DeleteObject(red);

    RECTL bounds = {10, 10, 110, 70};
    ASSERT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0));
    GdiFlush();
    auto pixel = [&](int x, int y) { return static_cast<const DWORD*>(bits)[y * w + x] & 0xFFFFFF; };
    for (POINT p : {POINT{11, 11}, POINT{108, 11}, POINT{11, 68}, POINT{108, 68}, POINT{60, 40}})
        EXPECT_EQ(0xFFFFFFu, pixel(p.x, p.y)) << "white expected at " << p.x << "," << p.y;
    EXPECT_EQ(0xFF0000u, pixel(5, 5)) << "outside the bounds stays as it was";
    bool outline = false;
    for (int x = 10; x < 16; ++x)
        outline = outline || pixel(x, 40) != 0xFFFFFF;
    EXPECT_TRUE(outline) << "the ellipse's left edge on row 40";
    EXPECT_EQ(1, ctl->draws);
    EXPECT_EQ(10, ctl->lastBounds.left);
    EXPECT_EQ(70, ctl->lastBounds.bottom);

    EXPECT_EQ(DV_E_DVASPECT, view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0));
    EXPECT_EQ(E_INVALIDARG, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr, &bounds, nullptr, nullptr, 0));
    EXPECT_EQ(E_INVALIDARG, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, nullptr, nullptr, nullptr, 0))
        << "no bounds while not windowless";
    EXPECT_EQ(1, ctl->draws) << "failed calls draw nothing";
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);

    SIZEL viewSize = {-1, -1}, oleSize = {};
    ASSERT_EQ(S_OK, view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &viewSize));
    ASSERT_EQ(S_OK, ctl->GetExtent(DVASPECT_CONTENT, &oleSize));
    EXPECT_EQ(oleSize.cx, viewSize.cx);
    SIZEL untouched = {-7, -7};
    EXPECT_EQ(DV_E_DVASPECT, view->GetExtent(DVASPECT_ICON, -1, nullptr, &untouched));
    EXPECT_EQ(-7, untouched.cx);
}

// A type library made for the test, registered while it lives.
class CTestTypeLib {
public:
    HRESULT Register()
    {
        wchar_t dir[MAX_PATH] = L"";
        m_path = std::wstring(dir, GetTempPathW(MAX_PATH, dir)) + L"fwtest" + std::to_wstring(GetCurrentProcessId()) + L".tlb";
        CComPtr<ICreateTypeLib2> lib;
        CComPtr<ITypeLib> stdole;
        CComPtr<ITypeInfo> dispatch, disp, events;
        HRESULT hr = CreateTypeLib2(kSys, m_path.c_str(), &lib);
        if (SUCCEEDED(hr)) hr = lib->SetGuid(kLibId);
        if (SUCCEEDED(hr)) hr = lib->SetVersion(1, 0);
        if (SUCCEEDED(hr)) hr = lib->SetName(const_cast<LPOLESTR>(L"FwTestLib"));
        if (SUCCEEDED(hr)) hr = LoadTypeLib(L"stdole2.tlb", &stdole);
        if (SUCCEEDED(hr)) hr = stdole->GetTypeInfoOfGuid(IID_IDispatch, &dispatch);
        if (SUCCEEDED(hr)) hr = AddType(lib, L"_DFwTest", TKIND_DISPATCH, kDispIid, {{dispatch.Get(), 0}}, disp);
        if (SUCCEEDED(hr)) hr = AddType(lib, L"_DFwTestEvents", TKIND_DISPATCH, kEventIid, {{dispatch.Get(), 0}}, events);
        CComPtr<ITypeInfo> coclass;
        if (SUCCEEDED(hr))
            hr = AddType(lib, L"FwTest", TKIND_COCLASS, kClsid,
                         {{disp.Get(), IMPLTYPEFLAG_FDEFAULT}, {events.Get(), IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}},
                         coclass);
        if (SUCCEEDED(hr)) hr = lib->SaveAllChanges();
        CComPtr<ITypeLib> saved;
        if (SUCCEEDED(hr)) hr = LoadTypeLibEx(m_path.c_str(), REGKIND_NONE, &saved);
        if (SUCCEEDED(hr)) hr = RegisterTypeLib(saved.Get(), &m_path[0], nullptr);
        m_registered = SUCCEEDED(hr);
        return hr;
    }
    ~CTestTypeLib()
    {
        if (m_registered)
            UnRegisterTypeLib(kLibId, 1, 0, 0, kSys);
        DeleteFileW(m_path.c_str());
    }

private:
    struct Impl {
        ITypeInfo* info;
        int flags;
    };
    static HRESULT AddType(CComPtr<ICreateTypeLib2>& lib, const wchar_t* name, TYPEKIND kind, REFGUID guid,
                           std::initializer_list<Impl> impls, CComPtr<ITypeInfo>& out)
    {
        CComPtr<ICreateTypeInfo> type;
        HRESULT hr = lib->CreateTypeInfo(const_cast<LPOLESTR>(name), kind, &type);
        if (SUCCEEDED(hr)) hr = type->SetGuid(guid);
        UINT i = 0;
        for (const Impl& impl : impls) {
            HREFTYPE ref = 0;
            if (SUCCEEDED(hr)) hr = type->AddRefTypeInfo(impl.info, &ref);
            if (SUCCEEDED(hr)) hr = type->AddImplType(i, ref);
            if (SUCCEEDED(hr) && kind == TKIND_COCLASS) hr = type->SetImplTypeFlags(i, impl.flags);
            ++i;
        }
        if (SUCCEEDED(hr)) hr = type->LayOut();
        return SUCCEEDED(hr) ? type.As(out) : hr;
    }
    static constexpr SYSKIND kSys = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    std::wstring m_path;
    bool m_registered = false;
};

GUID TypeGuid(ITypeInfo* info, TYPEKIND* kind)
{
    TYPEATTR* attr = nullptr;
    GUID g = GUID_NULL;
    if (SUCCEEDED(info->GetTypeAttr(&attr))) {
        g = attr->guid;
        *kind = attr->typekind;
        info->ReleaseTypeAttr(attr);
    }
    return g;
}

TEST_F(OleControlTest, ClassAndTypeInformation)
{
    auto ctl = MakeControl();
    auto pci = Query<IProvideClassInfo2>(Unk(ctl));
    GUID g = GUID_NULL;
    ASSERT_EQ(S_OK, pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &g));
    EXPECT_EQ(Str(kEventIid), Str(g));
    g = kClsid;
    EXPECT_EQ(E_INVALIDARG, pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID + 1, &g));
    EXPECT_EQ(Str(kClsid), Str(g)) << "a failed GetGUID leaves the output alone";
    EXPECT_EQ(E_POINTER, pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr));
    UINT count = 0;
    ASSERT_EQ(S_OK, ctl->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);

    ITypeInfo* bogus = reinterpret_cast<ITypeInfo*>(&g);
    EXPECT_TRUE(FAILED(ctl->GetTypeInfo(0, 0, &bogus))) << "neither registered nor bound into the executable";
    EXPECT_EQ(nullptr, bogus);
    CTestTypeLib typeLib;
    ASSERT_EQ(S_OK, typeLib.Register());
    EXPECT_EQ(DISP_E_BADINDEX, ctl->GetTypeInfo(1, 0, &bogus));
    CComPtr<ITypeInfo> disp, coclass;
    ASSERT_EQ(S_OK, ctl->GetTypeInfo(0, 0, &disp));
    TYPEKIND kind = TKIND_MAX;
    EXPECT_EQ(Str(kDispIid), Str(TypeGuid(disp.Get(), &kind)));
    EXPECT_EQ(TKIND_DISPATCH, kind);
    ASSERT_EQ(S_OK, pci->GetClassInfo(&coclass));
    EXPECT_EQ(Str(kClsid), Str(TypeGuid(coclass.Get(), &kind)));
    EXPECT_EQ(TKIND_COCLASS, kind);
}

TEST_F(OleControlTest, DispatchGoesThroughTheTable)
{
    auto ctl = MakeControl();
    ctl->draws = 9;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"ADD"), const_cast<LPOLESTR>(L"b")};
    DISPID ids[2] = {};
    ASSERT_EQ(S_OK, ctl->GetIDsOfNames(IID_NULL, names, 2, 0, ids));
    EXPECT_EQ(1, ids[0]);
    EXPECT_EQ(1, ids[1]) << "parameter b is the second";
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, ctl->GetIDsOfNames(kDispIid, names, 1, 0, ids));

    VARIANT args[2];
    V_VT(&args[0]) = VT_I4;  // arguments come last first: b
    V_I4(&args[0]) = 40;
    V_VT(&args[1]) = VT_I4;  // a
    V_I4(&args[1]) = 2;
    DISPPARAMS params = {args, nullptr, 2, 0};
    fw::CVariant result;
    ASSERT_EQ(S_OK, ctl->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr));
    EXPECT_EQ(VT_I4, V_VT(&result));
    EXPECT_EQ(42, V_I4(&result));
    DISPPARAMS none = {};
    result.Clear();
    ASSERT_EQ(S_OK, ctl->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
    EXPECT_EQ(9, V_I4(&result)) << "the handler's self is the control";
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, ctl->Invoke(2, kDispIid, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
}

TEST_F(OleControlTest, ConnectionPointForTheEvents)
{
    auto ctl = MakeControl();
    auto cpc = Query<IConnectionPointContainer>(Unk(ctl));
    CComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, cpc->FindConnectionPoint(kEventIid, &point));
    IConnectionPoint* other = point.Get();
    EXPECT_EQ(CONNECT_E_NOCONNECTION, cpc->FindConnectionPoint(IID_IPropertyNotifySink, &other));
    EXPECT_EQ(nullptr, other);
    IID iid = IID_NULL;
    ASSERT_EQ(S_OK, point->GetConnectionInterface(&iid));
    EXPECT_EQ(Str(kEventIid), Str(iid));
    CComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(S_OK, point->GetConnectionPointContainer(&back));
    EXPECT_EQ(cpc.Get(), back.Get());

    CComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(S_OK, cpc->EnumConnectionPoints(&points));
    IConnectionPoint* found[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, points->Next(2, found, &fetched));
    ASSERT_EQ(1u, fetched);
    EXPECT_EQ(point.Get(), found[0]);
    found[0]->Release();

    CEventSink first, second;
    CPropBag notASink;
    DWORD c1 = 0, c2 = 0, c3 = 77;
    ASSERT_EQ(S_OK, point->Advise(&first, &c1));
    ASSERT_EQ(S_OK, point->Advise(&second, &c2));
    EXPECT_NE(0u, c1);
    EXPECT_NE(c1, c2);
    EXPECT_EQ(CONNECT_E_CANNOTCONNECT, point->Advise(&notASink, &c3));
    EXPECT_EQ(0u, c3);
    EXPECT_EQ(2, first.refs) << "the connection holds the sink";

    CComPtr<IEnumConnections> conns, clone;
    ASSERT_EQ(S_OK, point->EnumConnections(&conns));
    CONNECTDATA data[3] = {};
    ASSERT_EQ(S_FALSE, conns->Next(3, data, &fetched));
    ASSERT_EQ(2u, fetched);
    EXPECT_EQ(c1, data[0].dwCookie);
    EXPECT_EQ(c2, data[1].dwCookie);
    for (ULONG i = 0; i < fetched; ++i)
        data[i].pUnk->Release();
    EXPECT_EQ(S_OK, conns->Reset());
    EXPECT_EQ(S_OK, conns->Skip(1));
    ASSERT_EQ(S_OK, conns->Clone(&clone));
    ASSERT_EQ(S_OK, clone->Next(1, data, nullptr));
    EXPECT_EQ(c2, data[0].dwCookie);
    data[0].pUnk->Release();

    EXPECT_EQ(S_OK, point->Unadvise(c1));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(c1));
    EXPECT_EQ(2, first.refs) << "the enumerator's snapshot still holds the sink";
    conns.Release();
    clone.Release();
    EXPECT_EQ(1, first.refs);
    EXPECT_EQ(2, second.refs) << "held by its connection only";
    EXPECT_EQ(S_OK, point->Unadvise(c2));
    EXPECT_EQ(1, second.refs);
}

TEST_F(OleControlTest, OleObjectBasics)
{
    auto ctl = MakeControl();
    DWORD status = 0;
    ASSERT_EQ(S_OK, ctl->GetMiscStatus(DVASPECT_CONTENT, &status));
    EXPECT_EQ(kMiscStatus, status);
    LPOLESTR type = nullptr;
    ASSERT_EQ(S_OK, ctl->GetUserType(USERCLASSTYPE_FULL, &type));
    EXPECT_STREQ(L"QEL Framework Test Control", type);
    CoTaskMemFree(type);
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(S_OK, ctl->GetUserClassID(&clsid));
    EXPECT_EQ(Str(kClsid), Str(clsid));
    // The Properties verb is offered, registered or not; the caller owns the name.
    IEnumOLEVERB* verbs = nullptr;
    ASSERT_EQ(S_OK, ctl->EnumVerbs(&verbs));
    OLEVERB verb[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, verbs->Next(2, verb, &fetched));
    ASSERT_EQ(1u, fetched) << "one verb";
    EXPECT_EQ(OLEIVERB_PROPERTIES, verb[0].lVerb);
    EXPECT_STREQ(L"&Properties...", verb[0].lpszVerbName);
    EXPECT_EQ(static_cast<DWORD>(OLEVERBATTRIB_ONCONTAINERMENU), verb[0].grfAttribs);
    CoTaskMemFree(verb[0].lpszVerbName);
    verbs->Release();

    RECT pos = {0, 0, 10, 10};
    EXPECT_EQ(E_UNEXPECTED, ctl->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, nullptr, &pos)) << "no site";
    EXPECT_EQ(S_OK, ctl->DoVerb(OLEIVERB_PROPERTIES, nullptr, nullptr, 0, nullptr, &pos)) << "no pages: S_OK, no frame";
    EXPECT_EQ(S_OK, ctl->DoVerb(OLEIVERB_HIDE, nullptr, nullptr, 0, nullptr, &pos));
    HWND hwnd = reinterpret_cast<HWND>(1);
    EXPECT_EQ(E_FAIL, ctl->GetWindow(&hwnd));
    EXPECT_EQ(reinterpret_cast<HWND>(1), hwnd) << "a failed GetWindow leaves the output alone";

    ctl->FreezeEvents(TRUE);
    ctl->FreezeEvents(TRUE);
    ctl->FreezeEvents(FALSE);
    EXPECT_TRUE(ctl->AreEventsFrozen()) << "two freezes need two thaws";
    ctl->FreezeEvents(FALSE);
    EXPECT_FALSE(ctl->AreEventsFrozen());

    CAdviseSink sink, view;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, ctl->Advise(&sink, &cookie));
    ASSERT_EQ(S_OK, ctl->SetAdvise(DVASPECT_CONTENT, ADVF_PRIMEFIRST, &view));
    EXPECT_EQ(1, view.viewChanges) << "ADVF_PRIMEFIRST reports at once";
    SIZEL size = {3000, 3000};
    ASSERT_EQ(S_OK, ctl->SetExtent(DVASPECT_CONTENT, &size));
    EXPECT_EQ(2, view.viewChanges) << "a new extent changes the view";
    IAdviseSink* got = nullptr;
    DWORD aspects = 0;
    ASSERT_EQ(S_OK, ctl->GetAdvise(&aspects, nullptr, &got));
    EXPECT_EQ(&view, got);
    got->Release();
    ASSERT_EQ(S_OK, ctl->Close(OLECLOSE_NOSAVE));
    EXPECT_EQ(1, sink.closes);
    EXPECT_EQ(S_OK, ctl->Unadvise(cookie));
    EXPECT_EQ(OLE_E_NOCONNECTION, ctl->Unadvise(cookie));
    ASSERT_EQ(S_OK, ctl->SetAdvise(0, 0, nullptr));
    EXPECT_EQ(1, sink.refs);
    EXPECT_EQ(1, view.refs);
}

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
