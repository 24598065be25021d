#include "olecontrol_fixture.h"

namespace oletest {

std::string Str(REFGUID g)
{
    wchar_t w[40] = L"";
    StringFromGUID2(g, w, 40);
    return std::string(w, w + lstrlenW(w));
}

namespace {

CTestCtrl* Self(void* self) { return static_cast<CTestCtrl*>(static_cast<fw::COleControl*>(self)); }

const fw::DispMethod kMethods[] = {
    {L"Add", 1, fw::DispType::Long, 2, {fw::DispType::Long, fw::DispType::Long}, {L"a", L"b"},
     [](void*, const fw::DispArgs& a, fw::DispResult& r) { r.SetLong(a.Long(0) + a.Long(1)); }},
    {L"DrawCount", 2, fw::DispType::Long, 0, {}, {},
     [](void* self, const fw::DispArgs&, fw::DispResult& r) { r.SetLong(Self(self)->draws); }},
};
const fw::DispTable kTable = {kMethods, 2, "Test"};

}  // namespace

const fw::DispTable& CTestCtrl::GetDispatchTable() const { return kTable; }

CComPtr<CTestCtrl> MakeControl(DWORD flags, bool strict)
{
    CComPtr<CTestCtrl> c;
    c.Attach(new fw::CComObject<CTestCtrl>(flags, strict));
    return c;
}

SIZEL InitialExtent()
{
    HDC dc = GetDC(nullptr);
    SIZEL s = {MulDiv(100, 2540, GetDeviceCaps(dc, LOGPIXELSX)), MulDiv(50, 2540, GetDeviceCaps(dc, LOGPIXELSY))};
    ReleaseDC(nullptr, dc);
    return s;
}

CComPtr<IStream> StreamOf(std::initializer_list<DWORD> values, ULONG extraBytes)
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

}  // namespace oletest
