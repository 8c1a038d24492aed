#pragma once
// A run of failures in a row of one reader (a block on a line, a device's probe on
// a line). The log names a run when it starts and when it ends; the counters and
// the points' quality tell the rest, so an outage cannot flood the log.
#include <atomic>
#include <cstdint>

class CdsFailureRun {
public:
    // Counts a failure; true for the first one of a run, the one to log.
    bool Fail() { return m_nFailures.fetch_add(1) == 0; }
    // Ends the run; the number of failures it had, 0 when there was none.
    std::int64_t Recover() { return m_nFailures.exchange(0); }
    bool IsFailing() const { return m_nFailures.load() > 0; }
    std::int64_t GetFailures() const { return m_nFailures.load(); }

private:
    // 64 bits: a run of a scan every millisecond cannot wrap round.
    std::atomic<std::int64_t> m_nFailures{0};
};
