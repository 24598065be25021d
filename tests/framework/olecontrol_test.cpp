// fw::COleControl's core (framework/olecontrol.cpp) through its COM
// interfaces: identity and lifetime, class and type information, dispatch
// through the method table, and IOleObject.
#include "olecontrol_fixture.h"

namespace {

using namespace oletest;

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

}  // namespace
