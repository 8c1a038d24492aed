// Groups: the update rate, pending transactions and item tear-down.
#include "QuilletFixture.h"

#include "quillet/ErrorText.h"

namespace {

using quillettest::DocFixture;

CGroupSettings Measured()
{
    CGroupSettings s;
    s.name = "G";
    s.measureRate = TRUE;
    return s;
}

TEST_F(DocFixture, FirstArrivalStartsTheRateClockAndTheFirstRateFollowsASecondLater)
{
    CGroup group(doc, Measured());
    const CValueSet& rate = group.GetUpdatesItem()->Values(ValueRoad::Subscription);
    ASSERT_EQ(group.Items().front().get(), group.GetUpdatesItem());
    group.CountUpdate();
    clock.advance(999);
    group.CountUpdate();
    EXPECT_EQ(*rate.value, VARIANT::R4(0));
    clock.advance(1);
    group.CountUpdate();
    EXPECT_EQ(*rate.value, VARIANT::R8(2.0));  // two arrivals in the first second
    EXPECT_EQ(rate.quality, OPC_QUALITY_GOOD);
}

TEST_F(DocFixture, RateUses64BitsPastFourMillionUpdates)
{
    CGroup group(doc, Measured());
    group.CountUpdate();
    for (int i = 0; i < 4'400'000; ++i) group.CountUpdate();
    clock.advance(2000);
    group.CountUpdate();
    EXPECT_EQ(*group.GetUpdatesItem()->Values(ValueRoad::Subscription).value, VARIANT::R8(2'200'000.5));
}

TEST_F(DocFixture, GroupWithoutRateItemCountsNothing)
{
    CGroup group(doc);
    group.CountUpdate();
    clock.advance(5000);
    group.CountUpdate();
    EXPECT_TRUE(group.Items().empty());
}

TEST_F(DocFixture, CompletionsRemoveTheirPendingRecordsAndLogTheId)
{
    doc.SetLogMask(~0u);
    CGroup group(doc);
    group.SetName("G");
    for (DWORD id : {5u, 5u, 6u}) {
        group.Pending().push_back(group.NewTransaction());
        group.Pending().back()->m_dwID = id;
    }
    const OPCHANDLE own = group.Pending().back()->m_hClient;
    EXPECT_EQ(group.CompleteTransaction(0), ValueRoad::Subscription);
    EXPECT_TRUE(Logged().empty());
    EXPECT_EQ(group.CompleteTransaction(5), ValueRoad::AsyncRead);
    EXPECT_EQ(group.Pending().size(), 1u);
    EXPECT_EQ(group.CompleteCallbackTransaction(own), ValueRoad::AsyncRead);
    EXPECT_TRUE(group.Pending().empty());
    EXPECT_EQ(doc.Handles().Find<CTransaction>(own), nullptr);
    EXPECT_EQ(Logged(), (std::vector<std::string>{"Recieved transaction - ID 0x00000005 - (Group) G #(Item) 0",
                                                  "Recieved transaction - ID " + quillet::HexCode(own) +
                                                      " - (Group) G #(Item) 0"}));
}

TEST_F(DocFixture, TearingDownLogsEveryItemsRunAverage)
{
    CGroup group(doc, Measured());
    group.m_dwRevisedRate = 500;
    for (const char* id : {"A", "B", "C"}) AddItem(group, id);
    const OPCHANDLE a = (*std::next(group.Items().begin()))->GetClientHandle();
    group.TearDownItems();
    EXPECT_TRUE(group.Items().empty());
    EXPECT_EQ(doc.Handles().Find<CItem>(a), nullptr);
    const std::vector<std::string> want = {
        "Run Average For Item (GroupName:UpdateRate) - G:500\t     0.000000 - (Item) A",
        "Run Average For Item (GroupName:UpdateRate) - G:500\t     0.000000 - (Item) B",
        "Run Average For Item (GroupName:UpdateRate) - G:500\t     0.000000 - (Item) C",
    };
    EXPECT_EQ(Logged(), want);  // the rate item has no document and logs nothing
}

TEST(HandleTable, IdsAreNeverGivenTwiceAndRunOutRatherThanWrap)
{
    CHandleTable table(0xFFFFFFFEu);
    CTransaction* t = nullptr;
    const OPCHANDLE first = table.Add(t);
    table.Remove(first);
    EXPECT_EQ(table.Add(t), 0xFFFFFFFFu);
    EXPECT_EQ(table.Add(t), 0u);
    EXPECT_EQ(table.Find<CGroup>(0xFFFFFFFFu), nullptr);  // another kind
}

} // namespace
