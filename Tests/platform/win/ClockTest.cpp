#include "platform/win/Clock.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace std::chrono;

namespace {

sys_days ymd(int y, unsigned m, unsigned d)
{
    return sys_days(year(y) / month(m) / day(d));
}

struct FileTimeCase {
    const char* what;
    system_clock::time_point wall;
    win::FileTime100ns fileTime;
};

void PrintTo(const FileTimeCase& c, std::ostream* os) { *os << c.what; }

class FileTimeConversion : public testing::TestWithParam<FileTimeCase> {};

TEST_P(FileTimeConversion, MatchesKnownValues)
{
    const auto& c = GetParam();
    EXPECT_EQ(win::toFileTime(c.wall), c.fileTime) << c.what;
    EXPECT_EQ(win::fromFileTime(c.fileTime), c.wall) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Clock, FileTimeConversion,
    testing::Values(FileTimeCase{"unix epoch", system_clock::time_point{}, 116444736000000000ULL},
                    FileTimeCase{"2000-01-01", ymd(2000, 1, 1), 125911584000000000ULL},
                    FileTimeCase{"2023-10-22 12:34:56.789", ymd(2023, 10, 22) + hours(12) + minutes(34) + seconds(56) + milliseconds(789), 133424516967890000ULL}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Clock, FileTimesBeyondTheWallClockClampToItsEnds)
{
    // 1601 and 30828 lie outside what the wall clock can hold.
    EXPECT_LE(win::fromFileTime(0), ymd(1678, 1, 1));
    EXPECT_GE(win::fromFileTime(UINT64_MAX), ymd(2262, 1, 1));
    EXPECT_EQ(win::toFileTime(system_clock::time_point::min()) < 116444736000000000ULL, true);
}

struct ElapsedCase {
    std::uint64_t start, now, timeout;
    bool over;
};

void PrintTo(const ElapsedCase& c, std::ostream* os) { *os << c.start << "->" << c.now << " vs " << c.timeout; }

class TimeOver : public testing::TestWithParam<ElapsedCase> {};

TEST_P(TimeOver, OnlyWhenElapsedExceedsTimeout)
{
    const auto& c = GetParam();
    EXPECT_EQ(win::isTimeOver(c.start, c.now, c.timeout), c.over)
        << c.start << " -> " << c.now << " against " << c.timeout;
}

INSTANTIATE_TEST_SUITE_P(Clock, TimeOver,
                         testing::Values(ElapsedCase{1000, 1000, 0, false},
                                         ElapsedCase{1000, 1001, 0, true},
                                         ElapsedCase{1000, 2000, 1000, false}, // exactly T is not over
                                         ElapsedCase{1000, 2001, 1000, true},
                                         // crossing a whole second early must not count
                                         ElapsedCase{1999, 2000, 1000, false},
                                         // a counter that wrapped still measures forward
                                         ElapsedCase{UINT64_MAX - 10, 5, 15, true},
                                         ElapsedCase{UINT64_MAX - 10, 4, 15, false}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(FakeClock, MovesOnlyWhenAdvanced)
{
    win::FakeClock clock(500, system_clock::time_point{} + seconds(100));
    EXPECT_EQ(clock.monotonicMs(), 500u);
    clock.advance(250);
    EXPECT_EQ(clock.monotonicMs(), 750u);
    EXPECT_EQ(clock.wallTime(), system_clock::time_point{} + milliseconds(100250));
    EXPECT_TRUE(clock.isTimeOver(500, 249));
    EXPECT_FALSE(clock.isTimeOver(500, 250));
}

TEST(FakeClock, WallStepLeavesMonotonicTimeAlone)
{
    win::FakeClock clock(10);
    clock.setWallTime(ymd(2000, 1, 1));
    EXPECT_EQ(clock.monotonicMs(), 10u);
    EXPECT_EQ(clock.wallFileTime(), 125911584000000000ULL);
}

TEST(FakeClock, AdvancesFromSeveralThreadsLoseNothing)
{
    win::FakeClock clock;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i)
                clock.advance(1);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(clock.monotonicMs(), 4000u);
    EXPECT_EQ(clock.wallTime(), system_clock::time_point{} + milliseconds(4000));
}

TEST(SystemClock, MonotonicNeverGoesBack)
{
    auto& clock = win::SystemClock::instance();
    std::uint64_t last = clock.monotonicMs();
    for (int i = 0; i < 1000; ++i) {
        const std::uint64_t now = clock.monotonicMs();
        ASSERT_GE(now, last);
        last = now;
    }
}

} // namespace
