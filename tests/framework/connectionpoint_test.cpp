// fw::COleControl's connection point for its events
// (framework/connectionpoint.cpp): finding, enumerating, advising.
#include "olecontrol_fixture.h"

namespace {

using namespace oletest;

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

}  // namespace
