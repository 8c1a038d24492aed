// Groups: the update rate, pending transactions, item tear-down and the handle table.
#include "quillet/QuilletFixture.h"

#include "quillet/text/ErrorText.h"

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
    CGroup group(doc, Measured()), plain(doc);
    const CValueSet& rate = group.GetUpdatesItem()->Values(ValueRoad::Subscription);
    ASSERT_EQ(group.Items().front().get(), group.GetUpdatesItem());
    group.CountUpdate();
    clock.advance(999);
    group.CountUpdate();
    EXPECT_EQ(*rate.value, VARIANT::R4(0));
    clock.advance(1);
    group.CountUpdate();
    plain.CountUpdate();
    EXPECT_EQ(*rate.value, VARIANT::R8(2.0));  // two arrivals in the first second
    EXPECT_TRUE(plain.Items().empty());
}

TEST_F(DocFixture, RateUses64BitsPastFourMillionUpdates)
{
    CGroup group(doc, Measured());
    for (int i = 0; i <= 4'400'000; ++i) group.CountUpdate();
    clock.advance(2000);
    group.CountUpdate();
    EXPECT_EQ(*group.GetUpdatesItem()->Values(ValueRoad::Subscription).value, VARIANT::R8(2'200'000.5));
}

TEST_F(DocFixture, CompletionsRemoveTheirPendingRecordsAndLogTheId)
{
    doc.SetLogMask(~0u);
    CGroup group(doc);
    for (DWORD id : {5u, 5u, 6u}) group.Pending().emplace_back(group.NewTransaction())->m_dwID = id;
    const OPCHANDLE own = group.Pending().back()->m_hClient;
    EXPECT_EQ(group.CompleteTransaction(0), ValueRoad::Subscription);
    EXPECT_EQ(group.CompleteTransaction(5), ValueRoad::AsyncRead);
    EXPECT_EQ(group.Pending().size(), 1u);
    EXPECT_EQ(group.CompleteCallbackTransaction(own), ValueRoad::AsyncRead);
    EXPECT_TRUE(group.Pending().empty());
    EXPECT_EQ(doc.Handles().Find<CTransaction>(own), nullptr);
    EXPECT_EQ(Logged(), (std::vector<std::string>{"Recieved transaction - ID 0x00000005 - (Group)  #(Item) 0",
                                                  "Recieved transaction - ID " + quillet::HexCode(own) +
                                                      " - (Group)  #(Item) 0"}));
}

TEST_F(DocFixture, TearingDownLogsEveryItemsRunAverage)
{
    CGroup group(doc, Measured());
    group.m_dwRevisedRate = 500;
    for (const char* id : {"A", "B", "C"}) AddItem(group, id);
    group.TearDownItems();
    EXPECT_TRUE(group.Items().empty());
    EXPECT_EQ(doc.Handles().Count(), 1u);  // the group's own handle
    const std::string line = "Run Average For Item (GroupName:UpdateRate) - G:500\t     0.000000 - (Item) ";
    EXPECT_EQ(Logged(), (std::vector<std::string>{line + "A", line + "B", line + "C"}));  // the rate item logs nothing
}

TEST(HandleTable, IdsAreNeverGivenTwiceAndRunOutRatherThanWrap)
{
    CHandleTable table(0xFFFFFFFEu);
    CTransaction* t = nullptr;
    table.Remove(table.Add(t));
    EXPECT_EQ(table.Add(t), 0xFFFFFFFFu);
    EXPECT_EQ(table.Add(t), 0u);
    EXPECT_EQ(table.Find<CGroup>(0xFFFFFFFFu), nullptr);  // another kind
}

} // namespace
