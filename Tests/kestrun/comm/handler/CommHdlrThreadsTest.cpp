// Line threads, the single step and its mode gates, going online and offline.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "kestrun/comm/handler/MessageThread.h"
#include "kestrun/model/EventQueue.h"
#include "kestrun/model/Hint.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/server/ServerFrameCore.h"
#include "support/comm/EngineFixtures.h"
#include "support/comm/HdlrBench.h"
#include "support/comm/ScriptedTransport.h"
#include "support/OptionScope.h"

using namespace kestrun::test;

namespace {

// A handler whose steps can be held at their start.
class StepHdlr : public ScriptedHdlr {
public:
    using ScriptedHdlr::ScriptedHdlr;

    std::atomic<int> m_steps{0};
    win::Event m_entered{win::Event::Reset::Auto};
    win::Event m_release{win::Event::Reset::Manual, true};
    // Non-zero: a step pauses that long, as between retries, instead of waiting for m_release.
    DWORD m_pauseMs = 0;

    void OnPreSingleStep() override
    {
        ++m_steps;
        m_entered.set();
        if (m_pauseMs != 0)
            CdsCommHdlr::Sleep(m_pauseMs);
        else
            m_release.wait(win::INFINITE);
    }

    // Queued writes are taken here instead of going to the port.
    std::atomic<int> m_writes{0};
    win::Event m_wrote{win::Event::Reset::Auto};
    int HandleEvent(CdsEventData*, tagTHREADINFO*) override
    {
        ++m_writes;
        m_wrote.set();
        return 1;
    }
};

class ThreadMode {
public:
    explicit ThreadMode(int background) : m_saved(CdsServerOptions::g_bBackgroundThread.load())
    {
        CdsServerOptions::g_bBackgroundThread = background;
    }
    ~ThreadMode() { CdsServerOptions::g_bBackgroundThread = m_saved; }

private:
    int m_saved;
};

struct GateCase {
    SHORT mode;
    BOOL pauseSkip;
    int steps;
};

class ModeGateTest : public ::testing::TestWithParam<GateCase> {};

TEST_P(ModeGateTest, StepsOnlyWhenRunning)
{
    win::FakeClock clock;
    StepHdlr hdlr(clock);
    TestDevice device("PLC1");
    tagTHREADINFO* line = hdlr.NewThreadInfo(&device, FALSE, FALSE);
    hdlr.SetInService(TRUE);
    hdlr.SetPauseSkip(GetParam().pauseSkip);
    hdlr.UpdateSysMode(nullptr, GetParam().mode, FALSE);
    EXPECT_EQ(hdlr.SingleStep(line), 1);
    EXPECT_EQ(hdlr.m_steps.load(), GetParam().steps);
}

INSTANTIATE_TEST_SUITE_P(Modes, ModeGateTest,
                         ::testing::Values(GateCase{SYSMODE_STOPPED, TRUE, 0}, GateCase{SYSMODE_STARTING, TRUE, 0},
                                           GateCase{SYSMODE_SUSPENDED, TRUE, 0}, GateCase{SYSMODE_PAUSED, TRUE, 0},
                                           GateCase{SYSMODE_PAUSED2, TRUE, 0}, GateCase{SYSMODE_PAUSED, FALSE, 1},
                                           GateCase{SYSMODE_PAUSED2, FALSE, 1}, GateCase{SYSMODE_RUNNING, TRUE, 1},
                                           GateCase{SYSMODE_OFFLINE, TRUE, 1}));

TEST(SingleStep, OutOfServiceDoesNothing)
{
    win::FakeClock clock;
    StepHdlr hdlr(clock);
    TestDevice device("PLC1");
    tagTHREADINFO* line = hdlr.NewThreadInfo(&device, FALSE, FALSE);
    hdlr.UpdateSysMode(nullptr, SYSMODE_RUNNING, FALSE);
    EXPECT_EQ(hdlr.SingleStep(line), 0);
    EXPECT_EQ(hdlr.m_steps.load(), 0);
}

TEST(ActiveDevices, ADeviceJoinsOnceAndLeavesFromAnyPlaceInTheList)
{
    win::FakeClock clock;
    ScriptedHdlr hdlr(clock);
    TestDevice first("PLC1");
    TestDevice second("PLC2");
    TestDevice third("PLC3");
    EXPECT_TRUE(hdlr.AddActiveDevice(&first));
    EXPECT_TRUE(hdlr.AddActiveDevice(&second));
    EXPECT_TRUE(hdlr.AddActiveDevice(&third));
    EXPECT_FALSE(hdlr.AddActiveDevice(&second)) << "listed once";
    hdlr.RemoveActiveDevice(&second);
    EXPECT_FALSE(hdlr.HasActiveDevice(&second));
    hdlr.RemoveActiveDevice(&second); // not there: nothing changes
    EXPECT_EQ(hdlr.GetActiveDevices(), (std::list<CdsDeviceObject*>{&first, &third}));
    EXPECT_TRUE(hdlr.AddActiveDevice(&second));
    EXPECT_EQ(hdlr.GetActiveDevices(), (std::list<CdsDeviceObject*>{&first, &third, &second}));
    hdlr.RemoveActiveDevice(&first);
    hdlr.RemoveActiveDevice(&second);
    EXPECT_TRUE(hdlr.HasActiveDevice(&third));
    EXPECT_EQ(hdlr.GetActiveDevices(), (std::list<CdsDeviceObject*>{&third}));
    hdlr.RemoveActiveDevice(&third);
}

class LineThreadTest : public ::testing::Test {
protected:
    LineThreadTest() : mode(1), hdlr(std::make_shared<StepHdlr>(clock)), device("PLC1") {}
    ~LineThreadTest() override
    {
        hdlr->m_release.set();
        hdlr->DoOffline(&device);
    }

    // The line's thread takes a step and stays in it until m_release is set.
    void HoldInAStep(tagTHREADINFO* line)
    {
        hdlr->m_release.reset();
        ASSERT_TRUE(hdlr->PostMessageToThread(line, WM_SINGLESTEP, 1, 0));
        ASSERT_TRUE(hdlr->m_entered.wait(5000));
    }

    win::FakeClock clock;
    ThreadMode mode;
    std::shared_ptr<StepHdlr> hdlr;
    TestDevice device;
};

TEST_F(LineThreadTest, OneLineMakesOneThread)
{
    ASSERT_TRUE(hdlr->DoOnline(&device));
    EXPECT_NE(hdlr->GetLineThread(LINE_PRIMARY_MASTER), nullptr);
    for (int i = 1; i < LINE_COUNT; ++i)
        EXPECT_EQ(hdlr->GetLineThread(i), nullptr);
    EXPECT_EQ(hdlr->GetSysMode(), SYSMODE_RUNNING);
}

TEST_F(LineThreadTest, EveryLineSeesTheStop)
{
    TestDevice pair("PAIR", 4);
    ASSERT_TRUE(hdlr->DoOnline(&pair));
    std::vector<std::shared_ptr<CdsMessageThread>> threads;
    for (int i = 0; i < LINE_COUNT; ++i)
        threads.push_back(hdlr->GetLineThread(i));
    for (const auto& thread : threads)
        ASSERT_NE(thread, nullptr);
    hdlr->DoOffline(&pair);
    for (const auto& thread : threads) {
        EXPECT_TRUE(thread->finishedEvent().isSet());
        EXPECT_FALSE(thread->isAbandoned());
    }
}

// The lines follow the device's configurations as they are when it goes online:
// with its redundancy switched off a device is one line again, which marks its
// points when it fails and does not hold writes back.
TEST_F(LineThreadTest, LinesFollowTheDevicesRedundancySettings)
{
    TestDevice pair("PAIR", 2);
    ASSERT_TRUE(hdlr->DoOnline(&pair));
    ASSERT_NE(hdlr->GetSecondaryMasterInfo(), nullptr);
    hdlr->DoOffline(&pair);

    pair.m_bAutoSwitching = FALSE;
    ASSERT_TRUE(hdlr->DoOnline(&pair));
    EXPECT_EQ(hdlr->GetSecondaryMasterInfo(), nullptr);
    EXPECT_EQ(hdlr->GetLineThread(LINE_SECONDARY_MASTER), nullptr);
    EXPECT_FALSE(hdlr->IsBackupAvailable());
    hdlr->DoOffline(&pair);

    pair.m_bAutoSwitching = TRUE;
    ASSERT_TRUE(hdlr->DoOnline(&pair));
    EXPECT_NE(hdlr->GetSecondaryMasterInfo(), nullptr);
    EXPECT_NE(hdlr->GetLineThread(LINE_SECONDARY_MASTER), nullptr);
    hdlr->DoOffline(&pair);
}

TEST_F(LineThreadTest, DevicesGoingOfflineStopTheLinesOnce)
{
    struct CountingHdlr : StepHdlr {
        using StepHdlr::StepHdlr;
        int m_stops = 0;
        void DestroyThreads(CdsDeviceObject* pDevice) override
        {
            ++m_stops;
            StepHdlr::DestroyThreads(pDevice);
        }
    };
    auto counting = std::make_shared<CountingHdlr>(clock);
    TestDevice second("PLC2");
    TestDevice third("PLC3");
    ASSERT_TRUE(counting->DoOnline(&device));
    ASSERT_TRUE(counting->DoOnline(&second));
    ASSERT_TRUE(counting->DoOnline(&third));
    auto thread = counting->GetLineThread(LINE_PRIMARY_MASTER);
    ASSERT_NE(thread, nullptr);
    counting->DoOffline(&second);
    EXPECT_TRUE(thread->finishedEvent().isSet());
    counting->DoOffline(&device);
    counting->DoOffline(&third);
    EXPECT_EQ(counting->m_stops, 1);
    EXPECT_TRUE(counting->GetActiveDevices().empty());
}

TEST_F(LineThreadTest, TicksDuringAHeldStepGiveOneMoreStep)
{
    ASSERT_TRUE(hdlr->DoOnline(&device));
    tagTHREADINFO* line = hdlr->GetPrimaryMasterInfo();
    ASSERT_NO_FATAL_FAILURE(HoldInAStep(line));
    for (int i = 0; i < 10; ++i)
        hdlr->PostMessageToThread(line, WM_SINGLESTEP, 2 + i, 0);
    hdlr->m_release.set();
    ASSERT_TRUE(hdlr->m_entered.wait(5000)); // the one further step
    hdlr->DoOffline(&device);                // joins the thread
    EXPECT_EQ(hdlr->m_steps.load(), 2);
}

// Waits until the line's thread has started (it is idle from then on).
bool Started(const tagTHREADINFO* line)
{
    for (int i = 0; i < 5000 && line->m_bBusy.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return !line->m_bBusy.load();
}

TEST_F(LineThreadTest, LineStepsWhenDueWithoutATick)
{
    ASSERT_TRUE(hdlr->DoOnline(&device));
    tagTHREADINFO* line = hdlr->GetPrimaryMasterInfo();
    ASSERT_TRUE(Started(line));
    EXPECT_EQ(hdlr->m_steps.load(), 0);
    clock.advance(CdsServerOptions::g_dwDataUpdateTime.load());
    ASSERT_TRUE(hdlr->m_entered.wait(5000));
    clock.advance(CdsServerOptions::g_dwDataUpdateTime.load());
    ASSERT_TRUE(hdlr->m_entered.wait(5000));
    hdlr->DoOffline(&device);
    EXPECT_EQ(hdlr->m_steps.load(), 2);
}

TEST_F(LineThreadTest, LineStepsAtOnceWhileItsDeviceHasUnreadBlocks)
{
    hdlr->SetNeedStatusResponse(FALSE); // a read is done once it is sent
    for (const char* name : {"B1", "B2", "B3"})
        device.AddBlock(name, 1, 3)->SetOnline(TRUE, &device);
    ASSERT_TRUE(hdlr->DoOnline(&device));
    ASSERT_TRUE(Started(hdlr->GetPrimaryMasterInfo()));
    // One step falls due; then the clock stands, and only the first reads make steps.
    clock.advance(CdsServerOptions::g_dwDataUpdateTime.load());
    for (int i = 0; i < 100 && hdlr->m_steps.load() < 3; ++i)
        hdlr->m_entered.wait(50);
    hdlr->DoOffline(&device);
    EXPECT_EQ(hdlr->m_steps.load(), 3);
    for (CdsMemoryArray* block : device.GetMemoryArrayList().GetBlocks())
        EXPECT_FALSE(block->IsUnread());
}

TEST_F(LineThreadTest, AWriteWakesASleepingLineAtOnce)
{
    TestBlock* block = device.AddBlock("B1");
    ASSERT_TRUE(hdlr->DoOnline(&device));
    ASSERT_TRUE(Started(hdlr->GetPrimaryMasterInfo()));
    _BRISANTDATAVALUE value{};
    ASSERT_TRUE(hdlr->GetEventQueue()->AddNewEvent(block->GetMemoryObject(0), value, BRISANT_SHORT, 0));
    ASSERT_TRUE(hdlr->m_wrote.wait(5000)); // the clock stands: no step is due
    hdlr->DoOffline(&device);
    EXPECT_EQ(hdlr->m_writes.load(), 1);
    EXPECT_EQ(hdlr->m_steps.load(), 0);
}

TEST_F(LineThreadTest, StopWakesASleepingLine)
{
    testsupport::OptionScope hour(CdsServerOptions::g_dwDataUpdateTime, 3600000);
    ASSERT_TRUE(hdlr->DoOnline(&device));
    ASSERT_TRUE(Started(hdlr->GetPrimaryMasterInfo()));
    std::shared_ptr<CdsMessageThread> thread = hdlr->GetLineThread(LINE_PRIMARY_MASTER);
    hdlr->DoOffline(&device);
    EXPECT_TRUE(thread->finishedEvent().isSet());
    EXPECT_FALSE(thread->isAbandoned());
}

TEST_F(LineThreadTest, FrameSkipsBusyLines)
{
    struct OneHdlrFrame : CdsServerFrameCore {
        std::shared_ptr<CdsCommHdlr> next;
        std::shared_ptr<CdsCommHdlr> NewCommHdlr(DWORD) override { return std::move(next); }
    } frame;
    frame.next = hdlr;
    ASSERT_EQ(frame.CreateCommHdlr(7), hdlr.get());
    ASSERT_TRUE(hdlr->DoOnline(&device));
    tagTHREADINFO* line = hdlr->GetPrimaryMasterInfo();
    ASSERT_NO_FATAL_FAILURE(HoldInAStep(line));
    // Ten data-timer ticks of thread mode find the line busy and post nothing.
    for (int i = 0; i < 10; ++i)
        frame.SendTimerMsgToThreads(static_cast<ULONG>(2 + i));
    EXPECT_TRUE(line->m_bBusy.load());
    hdlr->m_release.set();
    frame.ExitPorts(); // stops and joins the line
    EXPECT_EQ(hdlr->m_steps.load(), 1);
}

TEST_F(LineThreadTest, HungLineIsAbandonedAfterTheStopWait)
{
    ASSERT_TRUE(hdlr->DoOnline(&device));
    hdlr->SetThreadStopWait(50);
    tagTHREADINFO* line = hdlr->GetPrimaryMasterInfo();
    std::shared_ptr<CdsMessageThread> thread = hdlr->GetLineThread(LINE_PRIMARY_MASTER);
    ASSERT_NO_FATAL_FAILURE(HoldInAStep(line));
    hdlr->DoOffline(&device);
    EXPECT_EQ(hdlr->GetLineThread(LINE_PRIMARY_MASTER), nullptr);
    EXPECT_TRUE(thread->isAbandoned());
    // The handler may go; the thread keeps what it uses until it ends.
    std::weak_ptr<StepHdlr> weak = hdlr;
    StepHdlr* raw = hdlr.get();
    hdlr.reset();
    EXPECT_FALSE(weak.expired());
    raw->m_release.set();
    ASSERT_TRUE(thread->finishedEvent().wait(5000));
    hdlr = weak.lock();
    if (!hdlr) // the thread let go of the last reference: make a fresh one for the fixture
        hdlr = std::make_shared<StepHdlr>(clock);
}

// A line pausing between retries is joined when its lines stop, not abandoned.
TEST_F(LineThreadTest, ALinesPauseEndsWhenItsLinesStop)
{
    win::ManualDispatcher dispatcher(clock);
    hdlr->SetHost(TestHost(clock, dispatcher));
    hdlr->m_pauseMs = 60000;
    ASSERT_TRUE(hdlr->DoOnline(&device));
    hdlr->SetThreadStopWait(10000); // a bound only: the pause alone would outlast it
    std::shared_ptr<CdsMessageThread> thread = hdlr->GetLineThread(LINE_PRIMARY_MASTER);
    ASSERT_NO_FATAL_FAILURE(HoldInAStep(hdlr->GetPrimaryMasterInfo()));
    hdlr->DoOffline(&device);
    EXPECT_FALSE(thread->isAbandoned());
    hdlr->SetHost(CommHost{});
}

TEST_F(LineThreadTest, FailedLineStartLeavesTheLineIdle)
{
    struct FailingHdlr : StepHdlr {
        using StepHdlr::StepHdlr;
        int InitThread(tagTHREADINFO*) override { return static_cast<int>(0x80000103u); }
    };
    auto failing = std::make_shared<FailingHdlr>(clock);
    ASSERT_TRUE(failing->DoOnline(&device));
    std::shared_ptr<CdsMessageThread> thread = failing->GetLineThread(LINE_PRIMARY_MASTER);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(thread->finishedEvent().wait(5000));
    // Still busy, so the timer never posts to it.
    EXPECT_TRUE(failing->GetPrimaryMasterInfo()->m_bBusy.load());
    failing->DoOffline(&device);
    EXPECT_EQ(failing->m_steps.load(), 0);
}

TEST_F(LineThreadTest, PortsOpenedByTheApplicationCloseAfterTheLinesStop)
{
    struct PortCheckHdlr : StepHdlr {
        using StepHdlr::StepHdlr;
        std::atomic<int> openAtExit{-1};
        int ExitThread(tagTHREADINFO* pLine) override
        {
            if (pLine)
                openAtExit = IsPortOpen(pLine);
            return 0;
        }
    };
    auto checking = std::make_shared<PortCheckHdlr>(clock);
    checking->SetPortsInThread(FALSE);
    ASSERT_TRUE(checking->DoOnline(&device));
    EXPECT_EQ(checking->m_opens, 1);
    ASSERT_TRUE(checking->PostMessageToThread(checking->GetPrimaryMasterInfo(), WM_SINGLESTEP, 1, 0));
    ASSERT_TRUE(checking->m_entered.wait(5000));
    checking->DoOffline(&device);
    EXPECT_EQ(checking->openAtExit.load(), 1);
    EXPECT_EQ(checking->GetCommFile(nullptr), nullptr);
}

TEST_F(LineThreadTest, ReportsFromALineAreOwnedCopies)
{
    win::ManualDispatcher dispatcher(clock);
    RecordingLog log(dispatcher);
    hdlr->SetHost(TestHost(clock, dispatcher, &log));
    hdlr->SetSendTimeout(20); // nobody answers: both sends time out
    std::thread line([&] {
        char text[32] = "-  from a line\r\n";
        hdlr->ShowLogMessageFromThread(LOG_INFO, text);
        std::memset(text, 'X', sizeof text - 1);
        CdsHint hint = CdsHint::ForText("TOPIC", "ITEM");
        hdlr->SendUpdateMessageFromThread(505, &hint);
    });
    line.join(); // the sender's text and hint are gone
    dispatcher.runPending();
    EXPECT_EQ(log.Lines(LOG_INFO), (std::vector<std::string>{"-  from a line\r\n"}));
    EXPECT_EQ(log.Hints(), (std::vector<int>{505}));
    hdlr->SetHost(CommHost{});
}

// A line that waits for the application thread with a log line when its lines
// stop gives the send up, so the join does not wait for it; the line is logged
// once, after the join.
TEST_F(LineThreadTest, ALogLineWaitingAsTheLinesStopIsLoggedOnceAfterTheJoin)
{
    struct SayingHdlr : StepHdlr {
        using StepHdlr::StepHdlr;
        void OnPreSingleStep() override
        {
            m_entered.set();
            ShowLogMessageFromThread(LOG_INFO, "-  said as the stop came\r\n");
        }
    };
    win::ManualDispatcher dispatcher(clock);
    RecordingLog log(dispatcher);
    auto saying = std::make_shared<SayingHdlr>(clock);
    saying->SetHost(TestHost(clock, dispatcher, &log));
    saying->SetSendTimeout(10000); // a bound only
    ASSERT_TRUE(saying->DoOnline(&device));
    const std::size_t before = dispatcher.pendingCount();
    ASSERT_TRUE(saying->PostMessageToThread(saying->GetPrimaryMasterInfo(), WM_SINGLESTEP, 1, 0));
    ASSERT_TRUE(saying->m_entered.wait(5000));
    for (int i = 0; i < 5000 && dispatcher.pendingCount() == before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GT(dispatcher.pendingCount(), before) << "the line waits in its send";
    saying->DoOffline(&device);
    EXPECT_EQ(log.Count(LOG_INFO, "-  said as the stop came\r\n"), 1);
    dispatcher.runPending();
    EXPECT_EQ(log.Count(LOG_INFO, "-  said as the stop came\r\n"), 1);
    saying->SetHost(CommHost{});
}

class TimerModeTest : public ::testing::Test {
protected:
    TimerModeTest() : mode(0), dispatcher(clock), log(dispatcher), hdlr(clock), device("PLC1")
    {
        hdlr.SetHost(TestHost(clock, dispatcher, &log));
        device.MakeModePoints();
    }

    win::FakeClock clock;
    ThreadMode mode;
    win::ManualDispatcher dispatcher;
    RecordingLog log;
    StepHdlr hdlr;
    TestDevice device;
};

TEST_F(TimerModeTest, OnlineSetsUpTheLinesWithoutThreads)
{
    ASSERT_TRUE(hdlr.DoOnline(&device));
    EXPECT_EQ(hdlr.GetLineThread(LINE_PRIMARY_MASTER), nullptr);
    EXPECT_EQ(hdlr.m_opens, 1);
    EXPECT_EQ(hdlr.GetSysMode(), SYSMODE_RUNNING);
    EXPECT_EQ(device.GetSysMode(), SYSMODE_RUNNING);
    EXPECT_EQ(log.Lines(LOG_INFO), (std::vector<std::string>{"Background timer starting...\r\n"}));
    EXPECT_EQ(log.Lines(LOG_DEBUG), (std::vector<std::string>{"Background timer created.\r\n"}));
    EXPECT_EQ(hdlr.SingleStep(hdlr.GetPrimaryMasterInfo()), 1);
    EXPECT_EQ(hdlr.m_steps.load(), 1);

    log.Clear();
    ASSERT_TRUE(hdlr.DoOffline(&device));
    EXPECT_EQ(device.GetSysMode(), SYSMODE_OFFLINE);
    EXPECT_EQ(hdlr.GetPrimaryMasterInfo(), nullptr);
    EXPECT_FALSE(hdlr.HasActiveDevice(&device));
    EXPECT_EQ(log.Lines(LOG_INFO), (std::vector<std::string>{"-  The communication port has been closed.\r\n",
                                                             "Background timer stopped.\r\n"}));
}

TEST_F(TimerModeTest, SecondDeviceJoinsARunningHandler)
{
    ASSERT_TRUE(hdlr.DoOnline(&device));
    TestDevice second("PLC2");
    second.MakeModePoints();
    ASSERT_TRUE(hdlr.DoOnline(&second));
    EXPECT_EQ(hdlr.m_opens, 1);
    EXPECT_EQ(second.GetSysMode(), SYSMODE_RUNNING);
    EXPECT_FALSE(hdlr.DoOnline(&second)); // already served
    hdlr.DoOffline(&second);
    hdlr.DoOffline(&device);
}

TEST_F(TimerModeTest, OfflineDropsTheDevicesQueuedWrites)
{
    TestBlock* block = device.AddBlock("B1");
    ASSERT_TRUE(hdlr.DoOnline(&device));
    auto queue = hdlr.GetEventQueue();
    ASSERT_NE(queue, nullptr);
    _BRISANTDATAVALUE value{};
    queue->AddNewEvent(block->GetMemoryObject(0), value, BRISANT_SHORT, 0);
    hdlr.DoOffline(&device);
    EXPECT_TRUE(queue->IsEmpty());
}

TEST_F(TimerModeTest, OnlineFromAnotherThreadOnlyAsksTheApplication)
{
    BOOL result = FALSE;
    std::thread other([&] { result = hdlr.DoOnline(&device); });
    ASSERT_TRUE(dispatcher.waitForWork(5000));
    dispatcher.runPending();
    other.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(log.Hints(), (std::vector<int>{303}));
    EXPECT_FALSE(hdlr.HasActiveDevice(&device));
}

TEST_F(TimerModeTest, ClearingTheHandlerTakesEveryDeviceOffline)
{
    TestDevice second("PLC2");
    second.MakeModePoints();
    ASSERT_TRUE(hdlr.DoOnline(&device));
    ASSERT_TRUE(hdlr.DoOnline(&second));
    hdlr.DeleteContents();
    EXPECT_FALSE(hdlr.HasActiveDevice(&device));
    EXPECT_FALSE(hdlr.HasActiveDevice(&second));
    // Each ends with its own offline mode, not one another's.
    EXPECT_EQ(device.GetSysMode(), SYSMODE_OFFLINE);
    EXPECT_EQ(second.GetSysMode(), SYSMODE_OFFLINE);
    // A device served afterwards shows its mode to the others again.
    ASSERT_TRUE(hdlr.DoOnline(&device));
    ASSERT_TRUE(hdlr.DoOnline(&second));
    hdlr.DoOffline(&second);
    EXPECT_EQ(device.GetSysMode(), SYSMODE_OFFLINE);
    hdlr.DoOffline(&device);
}

TEST_F(TimerModeTest, AJoiningDeviceWritesOnlyItsOwnMode)
{
    TestDevice second("PLC2");
    TestDevice third("PLC3");
    second.MakeModePoints();
    third.MakeModePoints();
    ASSERT_TRUE(hdlr.DoOnline(&device));
    ASSERT_TRUE(hdlr.DoOnline(&second));
    // Marks the first device's point: a joining device that wrote every other
    // device's mode again would overwrite it.
    _BRISANTDATAVALUE marker{};
    marker.iVal = 99;
    device.GetSysModeObject()->SetNewValue(marker, &hdlr, FALSE);
    ASSERT_TRUE(hdlr.DoOnline(&third));
    EXPECT_EQ(third.GetSysMode(), SYSMODE_RUNNING);
    EXPECT_EQ(device.GetSysMode(), 99);
    hdlr.DeleteContents();
}

TEST_F(TimerModeTest, ClearingAHandlerOfManyDevicesStopsItsLinesOnce)
{
    std::vector<std::unique_ptr<TestDevice>> others;
    ASSERT_TRUE(hdlr.DoOnline(&device));
    for (int i = 0; i < 3; ++i) {
        others.push_back(std::make_unique<TestDevice>("PLC" + std::to_string(i + 2)));
        others.back()->MakeModePoints();
        ASSERT_TRUE(hdlr.DoOnline(others.back().get()));
    }
    log.Clear();
    hdlr.DeleteContents();
    EXPECT_EQ(log.Lines(LOG_INFO), (std::vector<std::string>{"-  The communication port has been closed.\r\n",
                                                             "Background timer stopped.\r\n"}));
    EXPECT_EQ(log.Lines(LOG_DEBUG), (std::vector<std::string>{"Background timer destroyed.\r\n"}));
    // Every device still ends offline.
    EXPECT_EQ(device.GetSysMode(), SYSMODE_OFFLINE);
    for (const auto& other : others) {
        EXPECT_EQ(other->GetSysMode(), SYSMODE_OFFLINE);
        EXPECT_FALSE(hdlr.HasActiveDevice(other.get()));
    }
}

TEST_F(TimerModeTest, MonitorLineProbesItsDevice)
{
    TestDevice pair("PAIR", 2);
    pair.AddBlock("B1");
    ASSERT_TRUE(hdlr.DoOnline(&pair));
    tagTHREADINFO* monitor = hdlr.GetSecondaryMasterInfo();
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(monitor->m_nKind.load(), LINE_KIND_MONITOR);
    pair.m_monitorAccept = TRUE;
    hdlr.m_nextPort->Chunk({1, 2, 3, 4});
    EXPECT_EQ(hdlr.SingleStep(monitor), 1);
    const auto written = hdlr.m_nextPort->Written();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(std::string(written[0].begin(), written[0].end()), "MQ");
    hdlr.DoOffline(&pair);
}

TEST_F(TimerModeTest, MessagesToTheMainWindowAreDroppedOnceItIsGone)
{
    std::vector<UINT> received;
    const win::WindowKey main = dispatcher.registerWindow([&](win::Message& msg) -> LRESULT {
        received.push_back(msg.id);
        return 7;
    });
    CommHost host = hdlr.GetHost();
    host.mainWindow = main;
    hdlr.SetHost(host);
    EXPECT_TRUE(hdlr.PostMessageToMainWnd(0x470, 1, 2));
    LRESULT result = 0;
    EXPECT_TRUE(hdlr.SendMessageToMainWnd(0x472, 0, 0, &result));
    EXPECT_EQ(result, 7);
    dispatcher.runPending();
    EXPECT_EQ(received, (std::vector<UINT>{0x472, 0x470}));
    dispatcher.unregisterWindow(main);
    EXPECT_FALSE(hdlr.PostMessageToMainWnd(0x470, 1, 2));
}

TEST_F(TimerModeTest, NoReportsWithoutALogWindow)
{
    hdlr.SetHost(TestHost(clock, dispatcher));
    ASSERT_TRUE(hdlr.DoOnline(&device));
    hdlr.DoOffline(&device);
    EXPECT_TRUE(log.AllLines().empty());
}

} // namespace
