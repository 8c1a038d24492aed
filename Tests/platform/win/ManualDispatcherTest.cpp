#include "platform/win/ManualDispatcher.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

using win::Message;

constexpr UINT kShowLog = win::WM_USER + 0x64;

struct Fixture : testing::Test {
    win::FakeClock clock{1000};
    win::ManualDispatcher dispatcher{clock};
    std::vector<std::string> seen; // "<window>:<id>:<wParam>:<text>"

    win::WindowKey addWindow(const std::string& name, LRESULT answer = 0)
    {
        return dispatcher.registerWindow([this, name, answer](Message& msg) {
            seen.push_back(name + ":" + std::to_string(msg.id) + ":" + std::to_string(msg.wParam) + ":" + msg.text());
            return answer;
        });
    }
};

using ManualDispatcherTest = Fixture;

TEST_F(ManualDispatcherTest, PostedWorkRunsInOrderOnlyWhenRun)
{
    const auto log = addWindow("log");
    EXPECT_TRUE(dispatcher.post(log, Message(kShowLog, 3, 0, win::makePayload<std::string>("first"))));
    EXPECT_TRUE(dispatcher.post([this] { seen.push_back("task"); }));
    EXPECT_TRUE(dispatcher.post(log, Message(kShowLog, 4, 0, win::makePayload<std::string>("second"))));
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(dispatcher.runPending(), 3u);
    EXPECT_EQ(seen, (std::vector<std::string>{"log:1124:3:first", "task", "log:1124:4:second"}));
}

TEST_F(ManualDispatcherTest, WorkQueuedByWorkRunsInTheSameCall)
{
    EXPECT_TRUE(dispatcher.post([this] {
        seen.push_back("outer");
        dispatcher.post([this] { seen.push_back("inner"); });
    }));
    EXPECT_EQ(dispatcher.runPending(), 2u);
    EXPECT_EQ(seen, (std::vector<std::string>{"outer", "inner"}));
}

TEST_F(ManualDispatcherTest, StaleKeysDropMessages)
{
    const auto view = addWindow("view");
    EXPECT_TRUE(dispatcher.isWindow(view));
    EXPECT_TRUE(dispatcher.post(view, Message(1)));
    dispatcher.unregisterWindow(view);
    EXPECT_FALSE(dispatcher.isWindow(view));
    EXPECT_FALSE(dispatcher.post(view, Message(2)));
    EXPECT_FALSE(dispatcher.post(win::kNoWindow, Message(3)));
    EXPECT_FALSE(dispatcher.post(12345, Message(4)));
    dispatcher.runPending();
    EXPECT_TRUE(seen.empty()) << "a message queued before the window went is dropped too";
}

TEST_F(ManualDispatcherTest, KeysAreNeverReused)
{
    const auto first = addWindow("first");
    dispatcher.unregisterWindow(first);
    const auto second = addWindow("second");
    EXPECT_NE(first, second);
    EXPECT_FALSE(dispatcher.post(first, Message(1)));
}

TEST_F(ManualDispatcherTest, TimersFireFromFakeClock)
{
    const auto frame = addWindow("frame");
    ASSERT_TRUE(dispatcher.startTimer(frame, 2, 100));
    dispatcher.advance(99);
    EXPECT_TRUE(seen.empty());
    dispatcher.advance(1);
    EXPECT_EQ(seen, (std::vector<std::string>{"frame:275:2:"}));
    dispatcher.advance(250);
    EXPECT_EQ(seen.size(), 3u); // at 200 and 300
    EXPECT_EQ(clock.monotonicMs(), 1350u);
    EXPECT_TRUE(dispatcher.stopTimer(frame, 2));
    dispatcher.advance(1000);
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_FALSE(dispatcher.stopTimer(frame, 2));
}

TEST_F(ManualDispatcherTest, TimersOfDifferentPeriodsInterleaveByDueTime)
{
    const auto frame = addWindow("frame");
    const auto view = addWindow("view");
    dispatcher.startTimer(frame, 2, 300);
    dispatcher.startTimer(view, 1, 250);
    dispatcher.advance(600);
    EXPECT_EQ(seen, (std::vector<std::string>{"view:275:1:", "frame:275:2:", "view:275:1:", "frame:275:2:"}));
}

TEST_F(ManualDispatcherTest, RestartingTimerTakesNewPeriod)
{
    const auto frame = addWindow("frame");
    dispatcher.startTimer(frame, 2, 100);
    dispatcher.advance(50);
    dispatcher.startTimer(frame, 2, 500);
    dispatcher.advance(499);
    EXPECT_TRUE(seen.empty());
    dispatcher.advance(1);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(ManualDispatcherTest, TickIsDroppedWhileThePreviousOneWaits)
{
    const auto frame = addWindow("frame");
    dispatcher.startTimer(frame, 2, 100);
    for (int i = 0; i < 5; ++i) {
        clock.advance(100);
        dispatcher.fireDueTimers(); // the application thread is busy: nothing runs
    }
    EXPECT_EQ(dispatcher.runPending(), 1u);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(ManualDispatcherTest, ShortIntervalsAreRaisedToTheMinimum)
{
    const auto frame = addWindow("frame");
    dispatcher.startTimer(frame, 9, 0);
    dispatcher.advance(win::kMinTimerIntervalMs - 1);
    EXPECT_TRUE(seen.empty());
    dispatcher.advance(1);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(ManualDispatcherTest, TimerOfStaleWindowNeitherStartsNorFires)
{
    const auto frame = addWindow("frame");
    dispatcher.startTimer(frame, 2, 100);
    clock.advance(100);
    dispatcher.fireDueTimers();
    dispatcher.unregisterWindow(frame);
    dispatcher.advance(1000);
    EXPECT_TRUE(seen.empty());
    EXPECT_FALSE(dispatcher.startTimer(frame, 2, 100));
}

TEST_F(ManualDispatcherTest, SendOnApplicationThreadCallsWindowDirectly)
{
    const auto log = addWindow("log", 42);
    LRESULT result = 0;
    EXPECT_TRUE(dispatcher.isApplicationThread());
    EXPECT_TRUE(dispatcher.send(log, Message(kShowLog, 1), 1000, &result));
    EXPECT_EQ(result, 42);
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(dispatcher.pendingCount(), 0u);
}

TEST_F(ManualDispatcherTest, SendWithZeroTimeoutOrToStaleKeySendsNothing)
{
    const auto log = addWindow("log");
    EXPECT_FALSE(dispatcher.send(log, Message(kShowLog), 0));
    EXPECT_FALSE(dispatcher.send(log + 100, Message(kShowLog), 1000));
    EXPECT_TRUE(seen.empty());
}

TEST_F(ManualDispatcherTest, SendFromOtherThreadWaitsUntilHandled)
{
    const auto log = addWindow("log", 7);
    bool ok = false;
    LRESULT result = 0;
    std::thread line([&] {
        EXPECT_FALSE(dispatcher.isApplicationThread());
        ok = dispatcher.send(log, Message(kShowLog, 4, 0, win::makePayload<std::string>("+  hello")), 10000, &result);
    });
    ASSERT_TRUE(dispatcher.waitForWork(10000));
    dispatcher.runPending();
    line.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(seen, (std::vector<std::string>{"log:1124:4:+  hello"}));
}

TEST_F(ManualDispatcherTest, SendThatTimesOutFailsAndItsMessageStaysSafe)
{
    const auto log = addWindow("log");
    bool ok = true;
    LRESULT result = -5;
    std::thread line([&] {
        // The sender's own buffer is gone as soon as send returns.
        auto text = std::make_unique<std::string>("-  stale by the time it is shown");
        ok = dispatcher.send(log, Message(kShowLog, 1, 0, win::makePayload<std::string>(*text)), 20, &result);
        text.reset();
    });
    line.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(result, -5) << "the caller's result is not written after a time-out";
    // The hung application thread comes back and handles it late.
    dispatcher.runPending();
    EXPECT_EQ(seen, (std::vector<std::string>{"log:1124:1:-  stale by the time it is shown"}));
}

TEST_F(ManualDispatcherTest, SendGivenUpByItsEventIsTakenBackAndNeverDelivered)
{
    const auto log = addWindow("log");
    win::Event stop(win::Event::Reset::Manual);
    bool ok = true;
    bool withdrawn = false;
    std::thread line([&] { ok = dispatcher.sendUnlessSet(log, Message(kShowLog, 3), 60000, stop, &withdrawn); });
    ASSERT_TRUE(dispatcher.waitForWork(10000));
    stop.set();
    line.join();
    EXPECT_FALSE(ok);
    EXPECT_TRUE(withdrawn);
    dispatcher.runPending();
    EXPECT_TRUE(seen.empty());
}

TEST_F(ManualDispatcherTest, SendGivenUpWithoutTakingBackIsDeliveredLate)
{
    const auto log = addWindow("log");
    win::Event stop(win::Event::Reset::Manual, true);
    bool ok = true;
    std::thread line([&] { ok = dispatcher.sendUnlessSet(log, Message(kShowLog, 4), 60000, stop, nullptr); });
    line.join();
    EXPECT_FALSE(ok);
    dispatcher.runPending();
    EXPECT_EQ(seen, (std::vector<std::string>{"log:1124:4:"}));
}

TEST_F(ManualDispatcherTest, SendNotGivenUpIsDeliveredAsAnyOther)
{
    const auto log = addWindow("log", 9);
    win::Event stop(win::Event::Reset::Manual);
    bool ok = false;
    bool withdrawn = true;
    LRESULT result = 0;
    std::thread line(
        [&] { ok = dispatcher.sendUnlessSet(log, Message(kShowLog, 5), 10000, stop, &withdrawn, &result); });
    ASSERT_TRUE(dispatcher.waitForWork(10000));
    dispatcher.runPending();
    line.join();
    EXPECT_TRUE(ok);
    EXPECT_FALSE(withdrawn);
    EXPECT_EQ(result, 9);
}

TEST_F(ManualDispatcherTest, SendIsReleasedWhenItsWindowGoesBeforeDelivery)
{
    const auto log = addWindow("log");
    bool ok = true;
    std::thread line([&] { ok = dispatcher.send(log, Message(kShowLog), 10000); });
    ASSERT_TRUE(dispatcher.waitForWork(10000));
    dispatcher.unregisterWindow(log);
    dispatcher.runPending();
    line.join();
    EXPECT_FALSE(ok);
}

TEST_F(ManualDispatcherTest, SendTaskFromOtherThread)
{
    bool ok = false;
    std::thread line([&] { ok = dispatcher.send([this] { seen.push_back("ran"); }, 10000); });
    ASSERT_TRUE(dispatcher.waitForWork(10000));
    dispatcher.runPending();
    line.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(seen, (std::vector<std::string>{"ran"}));
}

TEST_F(ManualDispatcherTest, TaskWhoseSendTimedOutNeverRuns)
{
    bool ok = true;
    std::thread line([&] {
        auto local = std::make_unique<int>(7);
        int* target = local.get();
        ok = dispatcher.send([this, target] { seen.push_back("task saw " + std::to_string(*target)); }, 20);
        local.reset();  // the caller's data goes with the failed send
    });
    line.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(dispatcher.runPending(), 1u);
    EXPECT_TRUE(seen.empty());
}

TEST_F(ManualDispatcherTest, QuitIsRecorded)
{
    EXPECT_FALSE(dispatcher.quitRequested());
    dispatcher.quit(3);
    EXPECT_TRUE(dispatcher.quitRequested());
    EXPECT_EQ(dispatcher.exitCode(), 3);
}

} // namespace
