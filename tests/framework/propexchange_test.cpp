// fw::CPropExchange (framework/propexchange.cpp) as a control loads a
// stream: older, newer and missing versions, values cut short.
#include "olecontrol_fixture.h"

namespace {

using namespace oletest;

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

}  // namespace
