// Which blocks one visit of an update line reads, and when an idle device is probed.
#include <gtest/gtest.h>

#include <limits>

#include "kestrun/model/DeviceUpdate.h"
#include "kestrun/options/EngineCounters.h"
#include "kestrun/options/ServerOptions.h"
#include "support/OptionScope.h"
#include "support/comm/EngineFixtures.h"
#include "support/comm/ScriptedTransport.h"

using namespace kestrun::test;

namespace {

class DeviceUpdateTest : public ::testing::Test {
protected:
    DeviceUpdateTest()
        : clock(0, std::chrono::system_clock::time_point{} + std::chrono::seconds(1'000'000'000)), hdlr(clock),
          device("PLC1")
    {
        hdlr.SetNeedStatusResponse(FALSE); // a read is done once it is sent
        hdlr.SetNeedMonitorResponse(FALSE);
        hdlr.SetInService(TRUE);
        hdlr.AddActiveDevice(&device);
        line = hdlr.NewThreadInfo(&device, FALSE, FALSE);
        hdlr.OpenCommPort(&device, line);
        port = hdlr.m_nextPort;
    }

    TestBlock* Block(const std::string& name, int priority, int scan = 1000)
    {
        TestBlock* block = device.AddBlock(name, 1, priority, scan);
        block->m_query = name;
        return block;
    }

    // Visits the device n times; the frames sent, one text per read.
    std::vector<std::string> Visit(int n)
    {
        const std::size_t before = port->Written().size();
        for (int i = 0; i < n; ++i)
            hdlr.UpdateDevice(&device, line);
        std::vector<std::string> frames;
        const auto written = port->Written();
        for (std::size_t i = before; i < written.size(); ++i)
            frames.emplace_back(written[i].begin(), written[i].end());
        return frames;
    }

    // A 10 ms data timer, fixed scan, a monitor probe every 10 s.
    testsupport::OptionScope<unsigned long> updateTime{CdsServerOptions::g_dwDataUpdateTime, 10};
    testsupport::OptionScope<int> dynamicScan{CdsServerOptions::g_bUseDynamicScan, 0};
    testsupport::OptionScope<unsigned long> checkMonitor{CdsServerOptions::g_dwCheckMonitorInterval, 10000};
    win::FakeClock clock;
    ScriptedHdlr hdlr;
    TestDevice device;
    tagTHREADINFO* line = nullptr;
    std::shared_ptr<ScriptedPort> port;
};

TEST_F(DeviceUpdateTest, ScanTimeCountsVisitsOfTheDataTimer)
{
    Block("S", 0, 1000);
    const ULONG scans = CdsEngineCounters::m_nWdogScantime.load();
    std::vector<int> readAt;
    for (int visit = 1; visit <= 350; ++visit) {
        if (!Visit(1).empty())
            readAt.push_back(visit);
    }
    EXPECT_EQ(readAt, (std::vector<int>{101, 202, 303}));
    EXPECT_EQ(CdsEngineCounters::m_nWdogScantime.load() - scans, 350u);
}

TEST_F(DeviceUpdateTest, OutOfRangeScanTimeCountsAsOneSecond)
{
    TestBlock* block = Block("S", 0, 1000);
    block->SetScanTime(50); // refused: the block keeps a valid scan time
    EXPECT_EQ(block->GetScanTime(), 1000);
}

TEST_F(DeviceUpdateTest, EqualDueTimesGoToTheLaterBlock)
{
    Block("A", 0, 500);
    Block("B", 0, 500);
    EXPECT_EQ(Visit(51), (std::vector<std::string>{"B"}));
    EXPECT_EQ(Visit(1), (std::vector<std::string>{"A"}));
}

TEST_F(DeviceUpdateTest, PrioritiesShareTheVisits)
{
    Block("LOW", 1);
    Block("HIGH", 3);
    const auto frames = Visit(400);
    ASSERT_EQ(frames.size(), 400u); // one urgent read on every visit
    const auto high = std::count(frames.begin(), frames.end(), "HIGH");
    EXPECT_GE(high, 280);
    EXPECT_LE(high, 320);
}

TEST_F(DeviceUpdateTest, DynamicScanSkipsUnusedBlocksButReadsBackWrites)
{
    CdsServerOptions::g_bUseDynamicScan = 1;
    TestBlock* idle = Block("IDLE", 2);
    TestBlock* used = Block("USED", 1);
    used->Initialize(used->GetMemoryObject(0));
    EXPECT_EQ(Visit(3), (std::vector<std::string>{"USED", "USED", "USED"}));
    idle->SetModified(TRUE);
    EXPECT_EQ(Visit(1), (std::vector<std::string>{"IDLE", "USED"}));
    EXPECT_FALSE(idle->IsModified());
}

TEST_F(DeviceUpdateTest, ReadBackIsPickedOnceEvenWhenItFails)
{
    TestBlock* block = Block("W", 0, 10000);
    block->SetModified(TRUE);
    hdlr.GetCommFile(line)->Close();
    Visit(1);
    EXPECT_FALSE(block->IsModified());
}

TEST_F(DeviceUpdateTest, EveryNewMarkIsReadBackOnce)
{
    TestBlock* block = Block("W", 0, 10000);
    for (int round = 0; round < 2; ++round) {
        block->SetModified(TRUE);
        EXPECT_EQ(Visit(1), (std::vector<std::string>{"W"}));
        EXPECT_TRUE(Visit(1).empty());
    }
}

TEST_F(DeviceUpdateTest, UnscheduledDeviceReadsEveryBlockEachVisit)
{
    device.m_bScheduledScan = FALSE;
    Block("A", 0);
    Block("B", 5);
    EXPECT_EQ(Visit(2), (std::vector<std::string>{"A", "B", "A", "B"}));
}

TEST_F(DeviceUpdateTest, IdleProbeAtMostOncePerInterval)
{
    device.m_bIdleMonitor = TRUE;
    std::vector<std::uint64_t> probes;
    for (int i = 0; i < 60; ++i) {
        clock.advance(1000);
        if (!Visit(1).empty())
            probes.push_back(clock.monotonicMs());
    }
    ASSERT_GE(probes.size(), 4u);
    EXPECT_LE(probes.size(), 6u);
    for (std::size_t i = 1; i < probes.size(); ++i)
        EXPECT_GT(probes[i] - probes[i - 1], 10000u);
}

TEST_F(DeviceUpdateTest, NoProbeWhileBlocksAreDue)
{
    device.m_bIdleMonitor = TRUE;
    Block("U", 1);
    clock.advance(60000);
    for (const auto& frame : Visit(5))
        EXPECT_EQ(frame, "U");
}

TEST_F(DeviceUpdateTest, CountersSaturateInsteadOfWrapping)
{
    // Blocks no client uses are counted but never read: their counters only grow.
    CdsServerOptions::g_bUseDynamicScan = 1;
    TestBlock* due = Block("D", 0);
    constexpr int kMax = std::numeric_limits<int>::max();
    due->IncreaseDueTime(-due->GetDueTime());
    due->IncreaseDueTime(kMax - 15);
    EXPECT_TRUE(Visit(5).empty());
    EXPECT_GT(due->GetDueTime(), kMax - 15);
    EXPECT_LE(due->GetDueTime(), kMax);
}

TEST_F(DeviceUpdateTest, ABlockNotReadSinceGoingOnlineComesFirstAndMovesNoCounter)
{
    TestBlock* due = Block("D", 0, 100);
    TestBlock* urgent = Block("U", 5);
    TestBlock* fresh = Block("N", 1);
    for (TestBlock* block : {due, urgent, fresh})
        block->SetOnline(TRUE, &device);
    due->NoteReadTried();
    urgent->NoteReadTried();
    due->IncreaseDueTime(1000);
    const int idle = urgent->GetIdleTime();
    EXPECT_EQ(Visit(1), (std::vector<std::string>{"N"}));
    EXPECT_EQ(urgent->GetIdleTime(), idle);
    EXPECT_EQ(Visit(1), (std::vector<std::string>{"D", "U"}));
}

TEST_F(DeviceUpdateTest, UnreadBlocksGoInListOrderOneAVisitAndAFailedReadCounts)
{
    std::vector<TestBlock*> blocks{Block("A", 3), Block("B", 0), Block("C", 9)};
    for (TestBlock* block : blocks)
        block->SetOnline(TRUE, &device);
    EXPECT_EQ(Visit(2), (std::vector<std::string>{"A", "B"}));
    hdlr.GetCommFile(line)->Close();
    Visit(1);
    EXPECT_FALSE(blocks[2]->IsUnread());
    EXPECT_EQ(CdsDeviceUpdate::GetTheFirstUnreadMemoryArray(device), nullptr);
    EXPECT_FALSE(device.HasUnreadHint());
}

} // namespace
