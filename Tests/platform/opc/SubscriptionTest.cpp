// Subscription updates on both OPC roads, and their delivery to clients that do not
// keep up.
#include "platform/opc/wire/DataStream.h"

#include "platform/opc/GroupFixture.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace {

using opc::ComPtr;
using opctest::DataEvent;

using SubscriptionTest = opctest::GroupFixture;

// Item handles of the data stream of one advise event.
std::vector<OPCHANDLE> streamHandles(const opctest::StreamEvent& e)
{
    opc::DataStreamContent c;
    EXPECT_EQ(opc::parseDataStream(e.bytes, e.format == CF_OPCSTMFORMATDATATIME, c), S_OK);
    std::vector<OPCHANDLE> out;
    for (auto& i : c.items) out.push_back(i.hClient);
    return out;
}

TEST_F(SubscriptionTest, OneAndTwoSubscriptionsEachSendTheFirstValuesOnceThenChangesOnly)
{
    auto g = addGroup(u"G", 100, 1);
    addItems(g.get(), {u"PLC1.D100", u"PLC1.D101"});
    auto v2 = subscribe(g.get());
    toolkit.poll(0);
    ASSERT_EQ(v2->take().at(0).items, (std::vector<OPCHANDLE>{100, 101}));

    // A 1.0 subscriber joins: it gets every value, the 2.0 one nothing again.
    auto v1 = adviseStream(g.get(), CF_OPCSTMFORMATDATA);
    toolkit.poll(100);
    EXPECT_TRUE(v2->take().empty());
    ASSERT_EQ(v1->list.size(), 1u);
    EXPECT_EQ(streamHandles(v1->list[0]), (std::vector<OPCHANDLE>{100, 101}));

    // One change reaches both, once.
    cb.set("PLC1.D101", VARIANT::I2(21));
    toolkit.poll(200);
    ASSERT_EQ(v1->list.size(), 2u);
    EXPECT_EQ(streamHandles(v1->list[1]), (std::vector<OPCHANDLE>{101}));
    auto change = v2->take();
    ASSERT_EQ(change.size(), 1u);
    EXPECT_EQ(change[0].items, (std::vector<OPCHANDLE>{101}));
    toolkit.poll(300);
    EXPECT_TRUE(v2->take().empty());
    EXPECT_EQ(v1->list.size(), 2u);

    // A disabled 2.0 road keeps what it sent: enabled again, it gets what changed meanwhile.
    auto io2 = g.as<IOPCAsyncIO2>(IID_IOPCAsyncIO2);
    ASSERT_EQ(io2->SetEnable(FALSE), S_OK);
    cb.set("PLC1.D100", VARIANT::I2(11));
    toolkit.poll(400);
    EXPECT_EQ(v1->list.size(), 3u);
    EXPECT_TRUE(v2->take().empty());
    ASSERT_EQ(io2->SetEnable(TRUE), S_OK);
    toolkit.poll(500);
    change = v2->take();
    ASSERT_EQ(change.size(), 1u);
    EXPECT_EQ(change[0].items, (std::vector<OPCHANDLE>{100}));
    EXPECT_EQ(v1->list.size(), 3u);
}

TEST_F(SubscriptionTest, RewritingTheSameValueSendsNothing)
{
    auto g = addGroup(u"G", 100, 1);
    addItems(g.get(), {u"PLC1.D100"});
    auto sink = subscribe(g.get());
    toolkit.poll(0);
    sink->take();
    cb.set("PLC1.D100", VARIANT::I2(10));  // written, but the same value and quality
    toolkit.poll(100);
    EXPECT_TRUE(sink->take().empty());
}

TEST_F(SubscriptionTest, ALatePeriodSendsTheLatestValuesOnceAndKeepsTheGroupsCadence)
{
    auto g = addGroup(u"G", 100, 1);
    addItems(g.get(), {u"PLC1.D100", u"PLC1.D101"});
    auto sink = subscribe(g.get());
    toolkit.poll(0);
    sink->take();

    // Two periods and a half without an update: what changed meanwhile goes out once,
    // as it is now.
    cb.set("PLC1.D100", VARIANT::I2(1));
    cb.set("PLC1.D101", VARIANT::I2(21));
    cb.set("PLC1.D100", VARIANT::I2(2));
    toolkit.poll(250);
    auto late = sink->take();
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].items, (std::vector<OPCHANDLE>{100, 101}));
    EXPECT_EQ(late[0].values, (std::vector<VARIANT>{VARIANT::I2(2), VARIANT::I2(21)}));

    // The next period is due where it always was, not a whole period after the late one.
    cb.set("PLC1.D100", VARIANT::I2(3));
    toolkit.poll(299);
    EXPECT_TRUE(sink->take().empty());
    toolkit.poll(300);
    auto next = sink->take();
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].values, (std::vector<VARIANT>{VARIANT::I2(3)}));
}

TEST_F(SubscriptionTest, ASubscriptionsPeriodsCountFromWhenItWasMadeNotFromItsFirstPoll)
{
    auto g = addGroup(u"G", 100, 1);
    addItems(g.get(), {u"PLC1.D100"});
    clock.advance(30);
    auto sink = subscribe(g.get());
    toolkit.poll(80);  // the worker got to it late
    ASSERT_EQ(sink->take().size(), 1u);
    cb.set("PLC1.D100", VARIANT::I2(1));
    toolkit.poll(129);
    EXPECT_TRUE(sink->take().empty());
    toolkit.poll(130);
    EXPECT_EQ(sink->take().size(), 1u);
}

TEST_F(SubscriptionTest, APollThatRunsLateSendsTheValuesItsPeriodBeganWithThenTheNewerOnes)
{
    auto g = addGroup(u"G", 100, 1);
    addItems(g.get(), {u"PLC1.D100", u"PLC1.D101"});
    auto sink = subscribe(g.get());
    toolkit.poll(0);
    sink->take();
    const std::uint64_t start = com::toTicks(com::toFileTime(clock.wallTime()));
    auto at = [&](std::uint64_t ms) { return com::fileTimeFromTicks(start + ms * 10000); };

    // Changed before the period began, then again before its poll came (late).
    cb.tag("PLC1.D100")->UpdateValue(VARIANT::I2(1), 0xC0, at(50));
    cb.tag("PLC1.D101")->UpdateValue(VARIANT::I2(21), 0xC0, at(60));
    cb.tag("PLC1.D100")->UpdateValue(VARIANT::I2(2), 0xC0, at(130));
    clock.advance(140);
    toolkit.poll(140);
    auto late = sink->take();
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].items, (std::vector<OPCHANDLE>{100, 101}));
    EXPECT_EQ(late[0].values, (std::vector<VARIANT>{VARIANT::I2(1), VARIANT::I2(21)}));

    // The next period sends the newer value, though nothing was written since.
    clock.advance(60);
    toolkit.poll(200);
    auto next = sink->take();
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].items, (std::vector<OPCHANDLE>{100}));
    EXPECT_EQ(next[0].values, (std::vector<VARIANT>{VARIANT::I2(2)}));

    // A change whose time lies ahead of the clock (the clock was set back) is no change
    // after the period began: it goes out as it is.
    cb.tag("PLC1.D101")->UpdateValue(VARIANT::I2(22), 0xC0, at(10000));
    clock.advance(110);
    toolkit.poll(310);
    next = sink->take();
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].values, (std::vector<VARIANT>{VARIANT::I2(22)}));
}

TEST_F(SubscriptionTest, APollPeriodsLateMakesUpThePeriodsItMissed)
{
    auto g = addGroup(u"G", 100, 1);
    addItems(g.get(), {u"PLC1.D100"});
    auto sink = subscribe(g.get());
    toolkit.poll(0);
    sink->take();
    const std::uint64_t start = com::toTicks(com::toFileTime(clock.wallTime()));
    auto at = [&](std::uint64_t ms) { return com::fileTimeFromTicks(start + ms * 10000); };

    // 1, 2 and 3 were the values when the periods at 100, 200 and 300 began; the poll
    // came at 340.
    cb.tag("PLC1.D100")->UpdateValue(VARIANT::I2(1), 0xC0, at(50));
    cb.tag("PLC1.D100")->UpdateValue(VARIANT::I2(2), 0xC0, at(180));
    cb.tag("PLC1.D100")->UpdateValue(VARIANT::I2(3), 0xC0, at(260));
    clock.advance(340);
    toolkit.poll(340);
    auto late = sink->take();
    ASSERT_EQ(late.size(), 3u);
    EXPECT_EQ(late[0].values, (std::vector<VARIANT>{VARIANT::I2(1)}));
    EXPECT_EQ(late[1].values, (std::vector<VARIANT>{VARIANT::I2(2)}));
    EXPECT_EQ(late[2].values, (std::vector<VARIANT>{VARIANT::I2(3)}));
    toolkit.poll(399);
    EXPECT_TRUE(sink->take().empty());
}

TEST_F(SubscriptionTest, ResultsOfItemsRemovedBeforeTheTransactionRanCarryTheirClientHandles)
{
    auto g = addGroup(u"G", 1000, 7);
    auto h = addItems(g.get(), {u"PLC1.D100", u"PLC1.D101"});
    auto sink = subscribe(g.get());
    toolkit.poll(0);
    sink->take();
    auto io2 = g.as<IOPCAsyncIO2>(IID_IOPCAsyncIO2);
    DWORD cancelId = 0;
    std::vector<HRESULT> errors;
    ASSERT_EQ(io2->Read(h, 0x51, &cancelId, errors), S_OK);
    VARIANT v[] = {VARIANT::I2(1), VARIANT::I2(2)};
    ASSERT_EQ(io2->Write(h, v, 0x52, &cancelId, errors), S_OK);
    OPCHANDLE first[] = {h[0]};
    ASSERT_EQ(g->RemoveItems(first, errors), S_OK);
    toolkit.poll(1);
    auto done = sink->take();
    ASSERT_EQ(done.size(), 2u);
    for (const DataEvent& e : done) {
        EXPECT_EQ(e.items, (std::vector<OPCHANDLE>{100, 101})) << e.kind;
        EXPECT_EQ(e.errors, (std::vector<HRESULT>{OPC_E_INVALIDHANDLE, S_OK})) << e.kind;
    }
}

// Records the values of its data changes; the first waits until let go.
class HeldDataCallback final : public opctest::DataChangeSink {
public:
    HRESULT OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, std::span<const OPCHANDLE>,
                         std::span<const VARIANT> values, std::span<const WORD>, std::span<const FILETIME>,
                         std::span<const HRESULT>) override
    {
        std::unique_lock lock(mutex);
        seen.push_back(values[0]);
        cv.notify_all();
        cv.wait(lock, [&] { return open; });
        return S_OK;
    }
    std::size_t events() const override { return seen.size(); }
    void letGo()
    {
        std::lock_guard lock(mutex);
        open = true;
        cv.notify_all();
    }

    std::vector<VARIANT> seen;
    bool open = false;
};

class ThreadedSubscriptionTest : public opctest::GroupFixture {
protected:
    ThreadedSubscriptionTest() : GroupFixture(true) {}
};

TEST_F(ThreadedSubscriptionTest, ClientWhoseSinkDoesNotReturnHoldsUpNoOtherClient)
{
    auto other = newClient();
    auto stuckGroup = addGroup(u"Stuck", 100, 1);
    auto liveGroup = addGroup(u"Live", 100, 2, TRUE, other.get());
    addItems(stuckGroup.get(), {u"PLC1.D100"});
    addItems(liveGroup.get(), {u"PLC1.D100"});
    auto stuck = subscribe(stuckGroup.get(), ComPtr<HeldDataCallback>(new HeldDataCallback));
    auto live = subscribe(liveGroup.get());
    ASSERT_TRUE(stuck->waitFor(1));  // the stuck client is inside its sink from here on
    ASSERT_TRUE(live->waitFor(1));
    live->take();

    // Every tick of the live client's group delivers while the other one hangs.
    for (SHORT i = 1; i <= 5; ++i) {
        cb.set("PLC1.D100", VARIANT::I2(i));
        clock.advance(100);
        ASSERT_TRUE(live->waitFor(1)) << "update " << i;
        auto e = live->take();
        ASSERT_EQ(e.size(), 1u);
        EXPECT_EQ(e[0].values[0], VARIANT::I2(i));
    }

    // The stuck client missed four values of the item: it gets the latest, once.
    stuck->letGo();
    ASSERT_TRUE(stuck->waitFor(2));
    std::lock_guard lock(stuck->mutex);
    ASSERT_EQ(stuck->seen.size(), 2u);
    EXPECT_EQ(stuck->seen[0], VARIANT::I2(10));
    EXPECT_EQ(stuck->seen[1], VARIANT::I2(5));
}

} // namespace
