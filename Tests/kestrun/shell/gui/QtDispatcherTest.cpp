// The dispatcher on Qt's loop: posts from other threads, timers, quit.
#include "qtdispatch/QtDispatcher.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

TEST(QtDispatcher, WorkPostedFromAnotherThreadRunsOnTheGuiThread)
{
    qtdispatch::QtDispatcher dispatcher;
    std::atomic<int> ran{0};
    std::atomic<bool> onGui{false};
    std::thread poster([&] {
        dispatcher.post([&] {
            onGui = dispatcher.isApplicationThread();
            ++ran;
        });
    });
    poster.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ran.load() == 1; }, 5000));
    EXPECT_TRUE(onGui.load());
}

TEST(QtDispatcher, TimersFollowTheDispatchersClock)
{
    win::FakeClock clock;
    qtdispatch::QtDispatcher dispatcher(clock);
    int ticks = 0;
    const win::WindowKey key = dispatcher.registerWindow([&](win::Message& msg) -> LRESULT {
        if (msg.id == win::WM_TIMER)
            ++ticks;
        return 0;
    });
    ASSERT_TRUE(dispatcher.startTimer(key, 2, 50));
    QTest::qWait(100); // real time passes, the clock does not
    EXPECT_EQ(ticks, 0);
    clock.advance(50);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks == 1; }, 5000));
    dispatcher.unregisterWindow(key);
}

TEST(QtDispatcher, QuitEndsTheQtLoopWithItsCode)
{
    qtdispatch::QtDispatcher dispatcher;
    QTimer::singleShot(0, [&] { dispatcher.quit(7); });
    EXPECT_EQ(QApplication::exec(), 7);
}

} // namespace
