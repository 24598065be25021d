// The control in a real container: Wine's ATL host window creates it by
// ProgID in a window on the test display, the page-side call goes through the
// host, the control draws itself, and the module can unload once all is
// released. Then what a container stores of the control, created by CLSID
// from the registered module: its stream and its property bag.
#include "comutil.h"
#include "ocx.h"

#include <gtest/gtest.h>

#include <ocidl.h>

#include <map>
#include <string>

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

const DWORD kCurrentVersion = 0x00010000;
const DWORD kOlderVersion = 0x00000100;

// A property bag as a page or a form keeps one: values by name. Lives on the
// stack; its reference count is not kept.
class CPropBag : public IPropertyBag {
public:
    CPropBag() = default;
    CPropBag(const CPropBag&) = delete;
    CPropBag& operator=(const CPropBag&) = delete;
    ~CPropBag()
    {
        for (auto& kv : values)
            VariantClear(&kv.second);
    }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyBag) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Read(LPCOLESTR name, VARIANT* v, IErrorLog*) override
    {
        auto it = values.find(name);
        return it == values.end() ? E_INVALIDARG : VariantCopy(v, &it->second);
    }
    STDMETHODIMP Write(LPCOLESTR name, VARIANT* v) override
    {
        VariantClear(&values[name]);
        return VariantCopy(&values[name], v);
    }
    void SetLong(const wchar_t* name, LONG value)
    {
        VariantClear(&values[name]);
        V_VT(&values[name]) = VT_I4;
        V_I4(&values[name]) = value;
    }

    std::map<std::wstring, VARIANT> values;
};

class Persistence : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }

    // A new control from the registered module, its interface I.
    template <class I>
    static CComPtr<I> NewControl()
    {
        CComPtr<I> p;
        EXPECT_EQ(S_OK, CoCreateInstance(ocx::kClsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(I),
                                         reinterpret_cast<void**>(&p)));
        return p;
    }
    template <class I>
    static SIZEL ExtentOf(const CComPtr<I>& control)
    {
        SIZEL size = {-1, -1};
        CComPtr<IOleObject> ole;
        if (SUCCEEDED(control.As(ole)))
            ole->GetExtent(DVASPECT_CONTENT, &size);
        return size;
    }
    template <class I>
    static HRESULT SetExtent(const CComPtr<I>& control, LONG cx, LONG cy)
    {
        CComPtr<IOleObject> ole;
        SIZEL size = {cx, cy};
        HRESULT hr = control.As(ole);
        return SUCCEEDED(hr) ? ole->SetExtent(DVASPECT_CONTENT, &size) : hr;
    }
};

TEST_F(Persistence, StreamHoldsTheCurrentVersionAndLoadsOlderOnes)
{
    auto saved = NewControl<IPersistStreamInit>();
    ASSERT_TRUE(saved);
    ASSERT_EQ(S_OK, saved->InitNew());
    ASSERT_EQ(S_OK, SetExtent(saved, 5000, 3000));
    CComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    ASSERT_EQ(S_OK, saved->Save(stream.Get(), TRUE));
    ULARGE_INTEGER written = {}, max = {};
    LARGE_INTEGER zero = {};
    ASSERT_EQ(S_OK, stream->Seek(zero, STREAM_SEEK_CUR, &written));
    ASSERT_EQ(S_OK, saved->GetSizeMax(&max));
    EXPECT_EQ(written.QuadPart, max.QuadPart) << "GetSizeMax against the bytes Save wrote";
    HGLOBAL memory = nullptr;
    ASSERT_EQ(S_OK, GetHGlobalFromStream(stream.Get(), &memory));
    ASSERT_GE(written.QuadPart, sizeof(DWORD));
    DWORD version = 0;
    CopyMemory(&version, GlobalLock(memory), sizeof version);
    GlobalUnlock(memory);
    EXPECT_EQ(kCurrentVersion, version) << "version written first";

    ASSERT_EQ(S_OK, stream->Seek(zero, STREAM_SEEK_SET, nullptr));
    auto loaded = NewControl<IPersistStreamInit>();
    ASSERT_TRUE(loaded);
    ASSERT_EQ(S_OK, loaded->Load(stream.Get()));
    EXPECT_EQ(5000, ExtentOf(loaded).cx);
    EXPECT_EQ(3000, ExtentOf(loaded).cy);

    // Version, then the two extent values, as earlier versions wrote them too.
    for (DWORD stored : {kCurrentVersion, kOlderVersion}) {
        CComPtr<IStream> s;
        ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &s));
        const DWORD data[] = {stored, 1234, 5678};
        ASSERT_EQ(S_OK, s->Write(data, sizeof data, nullptr));
        ASSERT_EQ(S_OK, s->Seek(zero, STREAM_SEEK_SET, nullptr));
        auto control = NewControl<IPersistStreamInit>();
        ASSERT_TRUE(control);
        EXPECT_EQ(S_OK, control->Load(s.Get())) << "stored version " << std::hex << stored;
        EXPECT_EQ(1234, ExtentOf(control).cx) << "stored version " << std::hex << stored;
        EXPECT_EQ(5678, ExtentOf(control).cy) << "stored version " << std::hex << stored;
    }
}

TEST_F(Persistence, PropertyBagHoldsTheCurrentVersionAndLoadsOlderOnes)
{
    auto saved = NewControl<IPersistPropertyBag>();
    ASSERT_TRUE(saved);
    ASSERT_EQ(S_OK, saved->InitNew());
    ASSERT_EQ(S_OK, SetExtent(saved, 4000, 2000));
    CPropBag bag;
    ASSERT_EQ(S_OK, saved->Save(&bag, TRUE, TRUE));
    ASSERT_EQ(1u, bag.values.count(L"_Version")) << "no _Version written";
    EXPECT_EQ(VT_I4, V_VT(&bag.values[L"_Version"]));
    EXPECT_EQ(static_cast<LONG>(kCurrentVersion), V_I4(&bag.values[L"_Version"]));

    auto loaded = NewControl<IPersistPropertyBag>();
    ASSERT_TRUE(loaded);
    ASSERT_EQ(S_OK, loaded->Load(&bag, nullptr));
    EXPECT_EQ(4000, ExtentOf(loaded).cx);
    EXPECT_EQ(2000, ExtentOf(loaded).cy);

    for (DWORD stored : {kCurrentVersion, kOlderVersion}) {
        CPropBag old;
        old.SetLong(L"_Version", static_cast<LONG>(stored));
        old.SetLong(L"_ExtentX", 1234);
        old.SetLong(L"_ExtentY", 5678);
        auto control = NewControl<IPersistPropertyBag>();
        ASSERT_TRUE(control);
        EXPECT_EQ(S_OK, control->Load(&old, nullptr)) << "stored version " << std::hex << stored;
        EXPECT_EQ(1234, ExtentOf(control).cx) << "stored version " << std::hex << stored;
        EXPECT_EQ(5678, ExtentOf(control).cy) << "stored version " << std::hex << stored;
    }
}

}  // namespace
