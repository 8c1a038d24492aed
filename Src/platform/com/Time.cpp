#include "platform/com/Time.h"

#include <cmath>
#include <ctime>
#include <limits>

HRESULT CoFileTimeNow(FILETIME* now)
{
    if (!now)
        return E_POINTER;
    *now = com::toFileTime(std::chrono::system_clock::now());
    return S_OK;
}

namespace com {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
// Day 0 of the FILETIME count (1601-01-01) as days since 1970-01-01.
constexpr std::int64_t kFileTimeEpochDay = -134'774;
// The DATE origin (1899-12-30) as days since 1970-01-01.
constexpr std::int64_t kDateEpochDay = -25'569;
// Last valid FILETIME day: 30827-12-31 (Windows' limit for broken-down times).
constexpr int kMaxFileTimeYear = 30827;

constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b) noexcept
{
    std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) noexcept
{
    y -= m <= 2;
    const std::int64_t era = floorDiv(y, 400);
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t y;
    unsigned m;
    unsigned d;
};

constexpr Civil civilFromDays(std::int64_t z) noexcept
{
    z += 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return Civil{y + (m <= 2), m, d};
}

constexpr unsigned daysInMonth(std::int64_t y, unsigned m) noexcept
{
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

static_assert(daysFromCivil(1601, 1, 1) == kFileTimeEpochDay);
static_assert(daysFromCivil(1899, 12, 30) == kDateEpochDay);
static_assert((kDateEpochDay - kFileTimeEpochDay) * kTicksPerDay == kDateEpochTicks);
static_assert(-kFileTimeEpochDay * kTicksPerDay == kUnixEpochTicks);

// DATE -> milliseconds since 1899-12-30 00:00, rounded to the nearest millisecond.
bool dateToMs(DATE date, std::int64_t& ms) noexcept
{
    if (!std::isfinite(date) || date < kDateMin || date > kDateMax)
        return false;
    const double days = std::trunc(date);
    const double frac = std::fabs(date - days);
    ms = static_cast<std::int64_t>(days) * kMsPerDay + static_cast<std::int64_t>(std::llround(frac * kMsPerDay));
    return true;
}

// A count of some unit since 1899-12-30 00:00 (perDay units a day) -> DATE.
DATE unitsToDate(std::int64_t units, std::int64_t perDay) noexcept
{
    const std::int64_t days = floorDiv(units, perDay);
    const double frac = static_cast<double>(units - days * perDay) / static_cast<double>(perDay);
    return days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
}

bool dateInRange(DATE d) noexcept { return d >= kDateMin && d <= kDateMax; }

// Broken-down time of a millisecond count since 1970-01-01.
SYSTEMTIME systemTimeFromUnixMs(std::int64_t ms) noexcept
{
    const std::int64_t day = floorDiv(ms, kMsPerDay);
    std::int64_t rem = ms - day * kMsPerDay;
    const Civil c = civilFromDays(day);
    SYSTEMTIME st;
    st.wYear = static_cast<WORD>(c.y);
    st.wMonth = static_cast<WORD>(c.m);
    st.wDay = static_cast<WORD>(c.d);
    st.wDayOfWeek = static_cast<WORD>(day + 4 - floorDiv(day + 4, 7) * 7);  // 1970-01-01 was a Thursday
    st.wHour = static_cast<WORD>(rem / 3'600'000);
    rem %= 3'600'000;
    st.wMinute = static_cast<WORD>(rem / 60'000);
    rem %= 60'000;
    st.wSecond = static_cast<WORD>(rem / 1000);
    st.wMilliseconds = static_cast<WORD>(rem % 1000);
    return st;
}

bool unixMsFromSystemTime(const SYSTEMTIME& st, int minYear, int maxYear, std::int64_t& ms) noexcept
{
    if (st.wYear < minYear || st.wYear > maxYear || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > daysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 ||
        st.wMilliseconds > 999)
        return false;
    ms = daysFromCivil(st.wYear, st.wMonth, st.wDay) * kMsPerDay + st.wHour * 3'600'000LL + st.wMinute * 60'000LL +
         st.wSecond * 1000LL + st.wMilliseconds;
    return true;
}

using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;

} // namespace

FILETIME toFileTime(std::chrono::system_clock::time_point tp) noexcept
{
    const std::int64_t ticks = std::chrono::floor<Ticks>(tp.time_since_epoch()).count() + kUnixEpochTicks;
    return fileTimeFromTicks(ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks));
}

std::chrono::system_clock::time_point fromFileTime(FILETIME ft) noexcept
{
    using Clock = std::chrono::system_clock;
    const std::uint64_t raw = toTicks(ft);
    const auto maxTicks = std::chrono::floor<Ticks>(Clock::duration::max()).count();
    if (raw > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) ||
        static_cast<std::int64_t>(raw) - kUnixEpochTicks > maxTicks)
        return Clock::time_point::max();
    const std::int64_t sinceUnix = static_cast<std::int64_t>(raw) - kUnixEpochTicks;
    const auto minTicks = std::chrono::ceil<Ticks>(Clock::duration::min()).count();
    if (sinceUnix < minTicks)
        return Clock::time_point::min();
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(Ticks(sinceUnix)));
}

bool dateToMilliseconds(DATE date, std::int64_t& ms) noexcept { return dateToMs(date, ms); }

DATE dateFromMilliseconds(std::int64_t ms) noexcept { return unitsToDate(ms, kMsPerDay); }

bool dateToFileTime(DATE date, FILETIME& out) noexcept
{
    std::int64_t ms = 0;
    if (!dateToMs(date, ms))
        return false;
    const std::int64_t ticks = kDateEpochTicks + ms * kTicksPerMillisecond;
    if (ticks < 0)
        return false;
    out = fileTimeFromTicks(static_cast<std::uint64_t>(ticks));
    return true;
}

bool fileTimeToDate(FILETIME ft, DATE& out) noexcept
{
    const std::uint64_t raw = toTicks(ft);
    if (raw > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return false;
    const DATE d = unitsToDate(static_cast<std::int64_t>(raw) - kDateEpochTicks, kTicksPerDay);
    if (!dateInRange(d))
        return false;
    out = d;
    return true;
}

bool dateToSystemClock(DATE date, std::chrono::system_clock::time_point& out) noexcept
{
    using Clock = std::chrono::system_clock;
    std::int64_t ms = 0;
    if (!dateToMs(date, ms))
        return false;
    const std::int64_t unixMs = ms + kDateEpochDay * kMsPerDay;
    const auto limit = std::chrono::floor<std::chrono::milliseconds>(Clock::duration::max()).count();
    if (unixMs > limit || unixMs < -limit)
        return false;
    out = Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(unixMs)));
    return true;
}

bool systemClockToDate(std::chrono::system_clock::time_point tp, DATE& out) noexcept
{
    // Microseconds keep the sub-millisecond part without overflowing for any time_point.
    const std::int64_t us = std::chrono::floor<std::chrono::microseconds>(tp.time_since_epoch()).count();
    const DATE d = unitsToDate(us - kDateEpochDay * kMsPerDay * 1000, kMsPerDay * 1000);
    if (!dateInRange(d))
        return false;
    out = d;
    return true;
}

bool fileTimeToSystemTime(FILETIME ft, SYSTEMTIME& out) noexcept
{
    const std::uint64_t raw = toTicks(ft);
    const std::int64_t maxTicks = (daysFromCivil(kMaxFileTimeYear + 1, 1, 1) - kFileTimeEpochDay) * kTicksPerDay;
    if (raw >= static_cast<std::uint64_t>(maxTicks))
        return false;
    const std::int64_t unixMs =
        floorDiv(static_cast<std::int64_t>(raw) - kUnixEpochTicks, kTicksPerMillisecond);
    out = systemTimeFromUnixMs(unixMs);
    return true;
}

bool systemTimeToFileTime(const SYSTEMTIME& st, FILETIME& out) noexcept
{
    std::int64_t unixMs = 0;
    if (!unixMsFromSystemTime(st, 1601, kMaxFileTimeYear, unixMs))
        return false;
    out = fileTimeFromTicks(static_cast<std::uint64_t>(unixMs * kTicksPerMillisecond + kUnixEpochTicks));
    return true;
}

bool dateToSystemTime(DATE date, SYSTEMTIME& out) noexcept
{
    std::int64_t ms = 0;
    if (!dateToMs(date, ms))
        return false;
    out = systemTimeFromUnixMs(ms + kDateEpochDay * kMsPerDay);
    return true;
}

bool systemTimeToDate(const SYSTEMTIME& st, DATE& out) noexcept
{
    std::int64_t unixMs = 0;
    if (!unixMsFromSystemTime(st, 100, 9999, unixMs))
        return false;
    out = unitsToDate(unixMs - kDateEpochDay * kMsPerDay, kMsPerDay);
    return true;
}

bool fileTimeToLocalFileTime(FILETIME utc, FILETIME& local) noexcept
{
    const std::uint64_t raw = toTicks(utc);
    if (raw > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return false;
    const std::time_t seconds = static_cast<std::time_t>(
        floorDiv(static_cast<std::int64_t>(raw) - kUnixEpochTicks, kTicksPerSecond));
    std::tm tm{};
    if (!localtime_r(&seconds, &tm))
        return false;
    const std::int64_t ticks = static_cast<std::int64_t>(raw) + static_cast<std::int64_t>(tm.tm_gmtoff) * kTicksPerSecond;
    if (ticks < 0)
        return false;
    local = fileTimeFromTicks(static_cast<std::uint64_t>(ticks));
    return true;
}

} // namespace com
