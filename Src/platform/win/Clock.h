#pragma once
// One injectable clock: monotonic milliseconds for time-outs and intervals,
// wall time for timestamps.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace win {

// FILETIME-compatible wall time: 100 ns units since 1601-01-01 UTC.
using FileTime100ns = std::uint64_t;

// 100 ns units between 1601-01-01 and 1970-01-01.
inline constexpr FileTime100ns kFileTimeUnixEpoch = 116444736000000000ULL;

FileTime100ns toFileTime(std::chrono::system_clock::time_point t);
std::chrono::system_clock::time_point fromFileTime(FileTime100ns ft);

// True once more than timeoutMs have passed since startMs (both monotonic).
// Unsigned arithmetic keeps it right across a wrap of the counter.
constexpr bool isTimeOver(std::uint64_t startMs, std::uint64_t nowMs, std::uint64_t timeoutMs)
{
    return nowMs - startMs > timeoutMs;
}

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds from an arbitrary start; never goes back.
    virtual std::uint64_t monotonicMs() const = 0;
    virtual std::chrono::system_clock::time_point wallTime() const = 0;

    FileTime100ns wallFileTime() const { return toFileTime(wallTime()); }
    bool isTimeOver(std::uint64_t startMs, std::uint64_t timeoutMs) const
    {
        return win::isTimeOver(startMs, monotonicMs(), timeoutMs);
    }

    // False: the monotonic time moves only when told to, so a thread that sleeps until
    // one of its times must not sleep on real time but wait for watch() to call it.
    virtual bool movesByItself() const { return true; }
    // Calls f, from the thread that moved it, after each move of a clock that does not
    // move by itself (never while a caller of unwatch waits); gives the id unwatch takes.
    // A clock that moves by itself never calls f.
    virtual std::uint64_t watch(std::function<void()> f) const
    {
        (void)f;
        return 0;
    }
    // After it returns, the watch's function is not called again.
    virtual void unwatch(std::uint64_t id) const { (void)id; }
};

class SystemClock final : public Clock {
public:
    std::uint64_t monotonicMs() const override;
    std::chrono::system_clock::time_point wallTime() const override;
    // The process's clock; stateless, so sharing it is safe.
    static SystemClock& instance();
};

// Moves only when told to. Safe to read and advance from several threads.
class FakeClock final : public Clock {
public:
    explicit FakeClock(std::uint64_t startMs = 0,
                       std::chrono::system_clock::time_point wall = std::chrono::system_clock::time_point{});

    std::uint64_t monotonicMs() const override;
    std::chrono::system_clock::time_point wallTime() const override;

    // Moves both the monotonic and the wall time forward.
    void advance(std::uint64_t ms);
    // Steps the wall time alone, as a clock adjustment would.
    void setWallTime(std::chrono::system_clock::time_point wall);

    bool movesByItself() const override { return false; }
    std::uint64_t watch(std::function<void()> f) const override;
    void unwatch(std::uint64_t id) const override;

private:
    std::atomic<std::uint64_t> m_ms;
    std::atomic<std::int64_t> m_wallNs; // since the Unix epoch
    // Held while the watchers are called: before any lock they take.
    mutable std::mutex m_watchMutex;
    mutable std::vector<std::pair<std::uint64_t, std::function<void()>>> m_watchers;
    mutable std::uint64_t m_nextWatch = 1;
};

} // namespace win
