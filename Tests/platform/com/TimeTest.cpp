#include "platform/com/Time.h"

#include <gtest/gtest.h>

#include <ostream>

#include <chrono>
#include <cmath>

namespace {

using namespace std::chrono;

struct TimeCase {
    const char* name;
    DATE date;
    std::uint64_t ticks;  // FILETIME, 100 ns since 1601-01-01 UTC
    SYSTEMTIME st;        // year, month, day of week, day, hour, minute, second, ms
};

void PrintTo(const TimeCase& c, std::ostream* os) { *os << c.name; }

// Ticks computed independently from the calendar; day of week 0 = Sunday.
const TimeCase kGolden[] = {
    {"DateOrigin_1899_12_30", 0.0, 94353120000000000ull, {1899, 12, 6, 30, 0, 0, 0, 0}},
    {"UnixEpoch_1970_01_01", 25569.0, 116444736000000000ull, {1970, 1, 4, 1, 0, 0, 0, 0}},
    {"Fraction_1900_01_01_0600", 2.25, 94355064000000000ull, {1900, 1, 1, 1, 6, 0, 0, 0}},
    {"NegativeDate_1899_12_29_0600", -1.25, 94352472000000000ull, {1899, 12, 5, 29, 6, 0, 0, 0}},
    {"Evening_2023_03_15_1800", 45000.75, 133233768000000000ull, {2023, 3, 3, 15, 18, 0, 0, 0}},
    {"FileTimeOrigin_1601_01_01", -109205.0, 0ull, {1601, 1, 1, 1, 0, 0, 0, 0}},
};

class TimeGolden : public testing::TestWithParam<TimeCase> {};

TEST_P(TimeGolden, DateToFileTime)
{
    FILETIME ft;
    ASSERT_TRUE(com::dateToFileTime(GetParam().date, ft));
    EXPECT_EQ(com::toTicks(ft), GetParam().ticks);
}

TEST_P(TimeGolden, FileTimeToDate)
{
    DATE d = 99;
    ASSERT_TRUE(com::fileTimeToDate(com::fileTimeFromTicks(GetParam().ticks), d));
    EXPECT_DOUBLE_EQ(d, GetParam().date);
}

TEST_P(TimeGolden, BrokenDown)
{
    SYSTEMTIME st;
    ASSERT_TRUE(com::fileTimeToSystemTime(com::fileTimeFromTicks(GetParam().ticks), st));
    EXPECT_EQ(st, GetParam().st);
    ASSERT_TRUE(com::dateToSystemTime(GetParam().date, st));
    EXPECT_EQ(st, GetParam().st);

    FILETIME ft;
    ASSERT_TRUE(com::systemTimeToFileTime(GetParam().st, ft));
    EXPECT_EQ(com::toTicks(ft), GetParam().ticks);
    DATE d = 99;
    ASSERT_TRUE(com::systemTimeToDate(GetParam().st, d));
    EXPECT_DOUBLE_EQ(d, GetParam().date);
}

INSTANTIATE_TEST_SUITE_P(Golden, TimeGolden, testing::ValuesIn(kGolden),
                         [](const testing::TestParamInfo<TimeCase>& info) { return std::string(info.param.name); });

TEST(Time, FileTimeWordsSplitHighAndLow)
{
    const FILETIME ft = com::fileTimeFromTicks(116444736000000000ull);
    EXPECT_EQ(ft.dwHighDateTime, 0x019DB1DEu);
    EXPECT_EQ(ft.dwLowDateTime, 0xD53E8000u);
}

TEST(Time, SystemClockEpochIsUnixEpochTicks)
{
    const FILETIME ft = com::toFileTime(system_clock::time_point{});
    EXPECT_EQ(com::toTicks(ft), 116444736000000000ull);
    EXPECT_EQ(com::fromFileTime(ft), system_clock::time_point{});
}

TEST(Time, SystemClockKeepsHundredNanosecondTicks)
{
    const auto tp = system_clock::time_point{} + seconds(1'678'903'200) + nanoseconds(123'456'700);
    const FILETIME ft = com::toFileTime(tp);
    EXPECT_EQ(com::toTicks(ft), 133233768001234567ull);
    EXPECT_EQ(com::fromFileTime(ft), tp);
}

TEST(Time, DateWithMillisecondsRoundsToTheMillisecond)
{
    // 2023-03-15 18:00:00.123
    const DATE d = 45000.0 + (18 * 3600 + 0.123) / 86400.0;
    FILETIME ft;
    ASSERT_TRUE(com::dateToFileTime(d, ft));
    EXPECT_EQ(com::toTicks(ft), 133233768001230000ull);
    SYSTEMTIME st;
    ASSERT_TRUE(com::dateToSystemTime(d, st));
    EXPECT_EQ(st.wMilliseconds, 123);
    EXPECT_EQ(st.wSecond, 0);
}

TEST(Time, NegativeFractionCountsForwardWithinTheDay)
{
    // -0.5 and 0.5 are the same moment: noon of the origin day.
    FILETIME a, b;
    ASSERT_TRUE(com::dateToFileTime(-0.5, a));
    ASSERT_TRUE(com::dateToFileTime(0.5, b));
    EXPECT_EQ(a, b);
    // 23:59:59.9999 of 1899-12-29 rounds to the next midnight, not back a day.
    FILETIME c;
    ASSERT_TRUE(com::dateToFileTime(-1.9999999999, c));
    EXPECT_EQ(com::toTicks(c), 94353120000000000ull);
}

TEST(Time, MillisecondsAreLinear)
{
    std::int64_t ms = 0;
    ASSERT_TRUE(com::dateToMilliseconds(-1.25, ms));
    EXPECT_EQ(ms, -18 * 3600 * 1000);
    EXPECT_DOUBLE_EQ(com::dateFromMilliseconds(ms), -1.25);
    ASSERT_TRUE(com::dateToMilliseconds(2.25, ms));
    EXPECT_EQ(ms, (2 * 24 + 6) * 3600 * 1000);
}

struct OutOfRange {
    const char* name;
    DATE date;
};

void PrintTo(const OutOfRange& c, std::ostream* os) { *os << c.name; }

class DateOutOfRange : public testing::TestWithParam<OutOfRange> {};

TEST_P(DateOutOfRange, IsRefused)
{
    FILETIME ft{7, 7};
    SYSTEMTIME st{};
    system_clock::time_point tp{};
    EXPECT_FALSE(com::dateToFileTime(GetParam().date, ft));
    EXPECT_EQ(ft, (FILETIME{7, 7}));
    EXPECT_FALSE(com::dateToSystemClock(GetParam().date, tp));
    if (!(GetParam().date >= com::kDateMin && GetParam().date <= com::kDateMax)) {
        EXPECT_FALSE(com::dateToSystemTime(GetParam().date, st));
    }
}

INSTANTIATE_TEST_SUITE_P(Dates, DateOutOfRange,
                         testing::Values(OutOfRange{"NaN", std::nan("")}, OutOfRange{"Infinity", HUGE_VAL},
                                         OutOfRange{"AfterYear9999", 2958466.0},
                                         OutOfRange{"BeforeYear100", -657435.0},
                                         OutOfRange{"Before1601", -109206.0}),
                         [](const testing::TestParamInfo<OutOfRange>& info) { return std::string(info.param.name); });

TEST(Time, Year100IsStillADate)
{
    SYSTEMTIME st;
    ASSERT_TRUE(com::dateToSystemTime(com::kDateMin, st));
    EXPECT_EQ(st, (SYSTEMTIME{100, 1, 5, 1, 0, 0, 0, 0}));
    ASSERT_TRUE(com::dateToSystemTime(com::kDateMax, st));
    EXPECT_EQ(st, (SYSTEMTIME{9999, 12, 5, 31, 23, 59, 59, 0}));
}

TEST(Time, FileTimeBeyondDateRangeHasNoDate)
{
    DATE d = 7;
    EXPECT_FALSE(com::fileTimeToDate(com::fileTimeFromTicks(2650467744000000000ull), d));  // 10000-01-01
    EXPECT_FALSE(com::fileTimeToDate(com::fileTimeFromTicks(0x8000000000000000ull), d));
    EXPECT_EQ(d, 7);
}

struct BadSystemTime {
    const char* name;
    SYSTEMTIME st;
};

void PrintTo(const BadSystemTime& c, std::ostream* os) { *os << c.name; }

class SystemTimeRefused : public testing::TestWithParam<BadSystemTime> {};

TEST_P(SystemTimeRefused, ByBothConversions)
{
    FILETIME ft{};
    DATE d = 0;
    EXPECT_FALSE(com::systemTimeToFileTime(GetParam().st, ft));
    EXPECT_FALSE(com::systemTimeToDate(GetParam().st, d));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SystemTimeRefused,
    testing::Values(BadSystemTime{"Month13", {2023, 13, 0, 1, 0, 0, 0, 0}},
                    BadSystemTime{"Month0", {2023, 0, 0, 1, 0, 0, 0, 0}},
                    BadSystemTime{"February30", {2023, 2, 0, 30, 0, 0, 0, 0}},
                    BadSystemTime{"February29InCommonYear", {1900, 2, 0, 29, 0, 0, 0, 0}},
                    BadSystemTime{"Day0", {2023, 1, 0, 0, 0, 0, 0, 0}},
                    BadSystemTime{"Hour24", {2023, 1, 0, 1, 24, 0, 0, 0}},
                    BadSystemTime{"Minute60", {2023, 1, 0, 1, 0, 60, 0, 0}},
                    BadSystemTime{"Second60", {2023, 1, 0, 1, 0, 0, 60, 0}},
                    BadSystemTime{"Millisecond1000", {2023, 1, 0, 1, 0, 0, 0, 1000}}),
    [](const testing::TestParamInfo<BadSystemTime>& info) { return std::string(info.param.name); });

TEST(Time, YearRangesDifferBetweenFileTimeAndDate)
{
    FILETIME ft{};
    DATE d = 0;
    const SYSTEMTIME y1600{1600, 12, 0, 31, 0, 0, 0, 0};
    EXPECT_FALSE(com::systemTimeToFileTime(y1600, ft));
    EXPECT_TRUE(com::systemTimeToDate(y1600, d));
    const SYSTEMTIME y10000{10000, 1, 0, 1, 0, 0, 0, 0};
    EXPECT_TRUE(com::systemTimeToFileTime(y10000, ft));
    EXPECT_FALSE(com::systemTimeToDate(y10000, d));
}

TEST(Time, LeapDayIsAccepted)
{
    DATE d = 0;
    ASSERT_TRUE(com::systemTimeToDate(SYSTEMTIME{2000, 2, 0, 29, 0, 0, 0, 0}, d));
    EXPECT_DOUBLE_EQ(d, 36585.0);
}

TEST(Time, LocalFileTimeShiftsByTheZoneOffset)
{
    const FILETIME utc = com::fileTimeFromTicks(133233768000000000ull);
    const std::time_t seconds = 1678903200;
    std::tm tm{};
    ASSERT_NE(localtime_r(&seconds, &tm), nullptr);
    FILETIME local;
    ASSERT_TRUE(com::fileTimeToLocalFileTime(utc, local));
    EXPECT_EQ(static_cast<std::int64_t>(com::toTicks(local) - com::toTicks(utc)),
              static_cast<std::int64_t>(tm.tm_gmtoff) * com::kTicksPerSecond);
}

TEST(Time, CoFileTimeNowRefusesNull)
{
    EXPECT_EQ(CoFileTimeNow(nullptr), E_POINTER);
    FILETIME ft;
    EXPECT_EQ(CoFileTimeNow(&ft), S_OK);
    EXPECT_GT(com::toTicks(ft), 133233768000000000ull);  // after 2023
}

} // namespace
