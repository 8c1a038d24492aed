// A client's worker sleeps until the time its last run named, woken by the clock itself.
#include "platform/opc/server/ClientWorker.h"
#include "platform/win/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

// Records the time of every run; each run names the next due time (a period later).
struct Runs {
    std::uint64_t periodMs = 100;
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::uint64_t> at;

    std::uint64_t run(std::uint64_t nowMs)
    {
        std::lock_guard lock(mutex);
        at.push_back(nowMs);
        cv.notify_all();
        return nowMs + periodMs;
    }
    // The runs once there are n of them (the limit only keeps a broken worker from
    // hanging the test).
    std::vector<std::uint64_t> waitFor(std::size_t n)
    {
        std::unique_lock lock(mutex);
        cv.wait_for(lock, std::chrono::seconds(10), [&] { return at.size() >= n; });
        return at;
    }
};

TEST(ClientWorkerTest, RunsWhenTheClockReachesTheTimeItsLastRunNamedWithNobodyTickingIt)
{
    win::FakeClock clock(1000);
    Runs runs;
    opc::ClientWorker worker([&](std::uint64_t now) { return runs.run(now); }, clock);
    worker.wake();
    ASSERT_EQ(runs.waitFor(1), (std::vector<std::uint64_t>{1000}));

    // Not due yet, then due: the clock's own move wakes it, at the due time.
    clock.advance(99);
    clock.advance(1);
    EXPECT_EQ(runs.waitFor(2), (std::vector<std::uint64_t>{1000, 1100}));

    // Late by more than a period: one run, at the latest time.
    clock.advance(250);
    EXPECT_EQ(runs.waitFor(3), (std::vector<std::uint64_t>{1000, 1100, 1350}));

    // New work runs before the due time.
    worker.wake();
    EXPECT_EQ(runs.waitFor(4), (std::vector<std::uint64_t>{1000, 1100, 1350, 1350}));
    worker.stop();
    clock.advance(1000);  // a stopped worker no longer watches the clock
    EXPECT_EQ(runs.waitFor(4).size(), 4u);
}

} // namespace
