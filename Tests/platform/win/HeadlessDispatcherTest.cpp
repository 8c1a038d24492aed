#include "platform/win/HeadlessDispatcher.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

using win::Message;

TEST(HeadlessDispatcher, RunsPostedWorkInOrderOnTheRunningThreadUntilQuit)
{
    win::HeadlessDispatcher dispatcher;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    const auto view = dispatcher.registerWindow([&](Message& msg) {
        order.push_back(static_cast<int>(msg.wParam));
        threads.push_back(std::this_thread::get_id());
        return LRESULT{0};
    });
    std::thread poster([&] {
        for (int i = 0; i < 50; ++i)
            dispatcher.post(view, Message(win::WM_USER, static_cast<WPARAM>(i)));
        dispatcher.post([&] { dispatcher.quit(5); });
    });
    EXPECT_EQ(dispatcher.run(), 5);
    poster.join();
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
    for (auto id : threads)
        EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_TRUE(dispatcher.isApplicationThread());
}

TEST(HeadlessDispatcher, SendFromWorkerIsAnsweredByTheLoop)
{
    win::HeadlessDispatcher dispatcher;
    const auto log = dispatcher.registerWindow([](Message& msg) { return static_cast<LRESULT>(msg.text().size()); });
    LRESULT result = 0;
    bool ok = false;
    std::thread line([&] {
        ok = dispatcher.send(log, Message(1, 0, 0, win::makePayload<std::string>("12345")), 10000, &result);
        dispatcher.quit(0);
    });
    dispatcher.run();
    line.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(result, 5);
}

TEST(HeadlessDispatcher, TimerTicksReachTheWindow)
{
    win::HeadlessDispatcher dispatcher;
    int ticks = 0;
    win::WindowKey frame = win::kNoWindow;
    frame = dispatcher.registerWindow([&](Message& msg) {
        if (msg.id == win::WM_TIMER && msg.wParam == 2 && ++ticks == 3) {
            dispatcher.stopTimer(frame, 2);
            dispatcher.quit(0);
        }
        return LRESULT{0};
    });
    ASSERT_TRUE(dispatcher.startTimer(frame, 2, win::kMinTimerIntervalMs));
    dispatcher.run();
    EXPECT_EQ(ticks, 3);
}

} // namespace
