// The framework's OLE control base class under test: a control made for the
// tests (CTestCtrl: a method table, a version in its properties, an
// ellipse), COM test objects that count their references, and the fixture
// that checks every test gives back every object. Shared by one test file
// per source file of fw::COleControl.
#ifndef QEL_TESTS_FRAMEWORK_OLECONTROL_FIXTURE_H
#define QEL_TESTS_FRAMEWORK_OLECONTROL_FIXTURE_H

#include <gtest/gtest.h>

#include "comutil.h"
#include "module.h"
#include "olecontrol.h"
#include "olecontrol_test_res.h"

#include <map>
#include <string>

namespace oletest {

using fw::CComPtr;

const CLSID kClsid = {0x6c1b2e5a, 0x9f0d, 0x4b7e, {0x8a, 0x31, 0x2d, 0x5c, 0x7e, 0x9f, 0x1a, 0x01}};
const IID kDispIid = {0x6c1b2e5a, 0x9f0d, 0x4b7e, {0x8a, 0x31, 0x2d, 0x5c, 0x7e, 0x9f, 0x1a, 0x02}};
const IID kEventIid = {0x6c1b2e5a, 0x9f0d, 0x4b7e, {0x8a, 0x31, 0x2d, 0x5c, 0x7e, 0x9f, 0x1a, 0x03}};
const GUID kLibId = {0x6c1b2e5a, 0x9f0d, 0x4b7e, {0x8a, 0x31, 0x2d, 0x5c, 0x7e, 0x9f, 0x1a, 0x04}};
const DWORD kVersion = 0x00010000;
const DWORD kMiscStatus = OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_RECOMPOSEONRESIZE;

// A GUID as text, for messages.
std::string Str(REFGUID g);

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

CComPtr<CTestCtrl> MakeControl(DWORD flags = fw::clipPaintDC, bool strict = false);

inline IUnknown* Unk(const CComPtr<CTestCtrl>& c) { return static_cast<IOleObject*>(c.Get()); }

template <class I>
CComPtr<I> Query(IUnknown* p)
{
    CComPtr<I> out;
    EXPECT_EQ(S_OK, p->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&out))) << "QueryInterface for " << Str(__uuidof(I));
    return out;
}

// The extent a new control has (100 x 50 pixels), in HIMETRIC.
SIZEL InitialExtent();

// A stream holding `values`, then `extraBytes` zero bytes, at its start.
CComPtr<IStream> StreamOf(std::initializer_list<DWORD> values, ULONG extraBytes = 0);

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

}  // namespace oletest

#endif
