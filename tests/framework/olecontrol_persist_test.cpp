// fw::COleControl's persistence (framework/olecontrol_persist.cpp): saving
// to and loading from a stream and a property bag.
#include "olecontrol_fixture.h"

namespace {

using namespace oletest;

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

}  // namespace
