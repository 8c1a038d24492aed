#pragma once
// 4E serial numbers: one 16-bit counter per device line, each incremented before a
// request of that line is sent. Lines run on their own threads.
#include <array>
#include <atomic>

#include "platform/win/WinTypes.h"

class McSerialCounters {
public:
    static constexpr int kLines = 4;

    // Next serial number of a line (0..3); any other line, such as a request sent
    // without a line record, counts on the first line.
    WORD Next(int line)
    {
        return static_cast<WORD>(counter(line).fetch_add(1, std::memory_order_relaxed) + 1);
    }

    WORD Current(int line) const { return counter(line).load(std::memory_order_relaxed); }

private:
    std::atomic<WORD>& counter(int line)
    {
        return counters_[static_cast<std::size_t>(line >= 0 && line < kLines ? line : 0)];
    }
    const std::atomic<WORD>& counter(int line) const
    {
        return counters_[static_cast<std::size_t>(line >= 0 && line < kLines ? line : 0)];
    }

    std::array<std::atomic<WORD>, kLines> counters_{};
};
