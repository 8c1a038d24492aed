#pragma once
// FILETIME (100 ns ticks since 1601-01-01 UTC), OLE automation DATE and broken-down time.
#include "platform/com/HResult.h"
#include "platform/win/WinTypes.h"

#include <chrono>
#include <cstdint>

struct FILETIME {
    DWORD dwLowDateTime = 0;
    DWORD dwHighDateTime = 0;
    friend constexpr bool operator==(const FILETIME&, const FILETIME&) = default;
};

// Days since 1899-12-30 00:00; the fraction is the time of day. For dates before that
// day the integer part counts back and the fraction still counts forward: -1.25 is
// 1899-12-29 06:00.
using DATE = double;

struct SYSTEMTIME {
    WORD wYear = 0;
    WORD wMonth = 0;      // 1..12
    WORD wDayOfWeek = 0;  // 0 = Sunday
    WORD wDay = 0;        // 1..31
    WORD wHour = 0;
    WORD wMinute = 0;
    WORD wSecond = 0;
    WORD wMilliseconds = 0;
    friend constexpr bool operator==(const SYSTEMTIME&, const SYSTEMTIME&) = default;
};

// Current wall time as FILETIME (UTC). Code that needs an injected clock converts its
// clock's wall time with com::toFileTime instead.
HRESULT CoFileTimeNow(FILETIME* now);

namespace com {

inline constexpr std::int64_t kTicksPerMillisecond = 10'000;
inline constexpr std::int64_t kTicksPerSecond = 10'000'000;
inline constexpr std::int64_t kTicksPerDay = 864'000'000'000;
// Ticks from 1601-01-01 to 1970-01-01.
inline constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000;
// Ticks from 1601-01-01 to 1899-12-30 (the DATE origin).
inline constexpr std::int64_t kDateEpochTicks = 94'353'120'000'000'000;

// Range of DATE: 0100-01-01 00:00:00 to 9999-12-31 23:59:59.
inline constexpr DATE kDateMin = -657434.0;
inline constexpr DATE kDateMax = 2958465.99998842592592592593;

constexpr std::uint64_t toTicks(FILETIME ft) noexcept
{
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
constexpr FILETIME fileTimeFromTicks(std::uint64_t ticks) noexcept
{
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// FILETIME <-> system_clock (nanosecond resolution kept down to the 100 ns tick). Times
// before 1601 become FILETIME 0.
FILETIME toFileTime(std::chrono::system_clock::time_point tp) noexcept;
std::chrono::system_clock::time_point fromFileTime(FILETIME ft) noexcept;

// DATE <-> FILETIME / system_clock. A DATE is rounded to the nearest millisecond (its
// double carries about a microsecond of noise near today). False when the value is out
// of the other side's range (DATE outside kDateMin..kDateMax or before 1601, FILETIME
// after 9999, NaN).
bool dateToFileTime(DATE date, FILETIME& out) noexcept;
bool fileTimeToDate(FILETIME ft, DATE& out) noexcept;
bool dateToSystemClock(DATE date, std::chrono::system_clock::time_point& out) noexcept;
bool systemClockToDate(std::chrono::system_clock::time_point tp, DATE& out) noexcept;

// DATE <-> milliseconds since 1899-12-30 00:00 on a linear time line (negative before
// it). dateToMilliseconds rounds to the nearest millisecond and refuses NaN and values
// outside kDateMin..kDateMax; dateFromMilliseconds does not check the range.
bool dateToMilliseconds(DATE date, std::int64_t& ms) noexcept;
DATE dateFromMilliseconds(std::int64_t ms) noexcept;

// Broken-down time. Converting to SYSTEMTIME fills the day of week; converting from it
// ignores the day of week and refuses out-of-range fields (month 13, 30 February ...).
bool fileTimeToSystemTime(FILETIME ft, SYSTEMTIME& out) noexcept;
bool systemTimeToFileTime(const SYSTEMTIME& st, FILETIME& out) noexcept;
bool dateToSystemTime(DATE date, SYSTEMTIME& out) noexcept;
bool systemTimeToDate(const SYSTEMTIME& st, DATE& out) noexcept;

// UTC FILETIME to the local time zone's FILETIME (the offset in force at that moment).
bool fileTimeToLocalFileTime(FILETIME utc, FILETIME& local) noexcept;

} // namespace com
