#include "platform/win/Clock.h"

namespace win {

using std::chrono::system_clock;

FileTime100ns toFileTime(system_clock::time_point t)
{
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
    const auto sinceUnix = std::chrono::duration_cast<Ticks>(t.time_since_epoch()).count();
    const auto ft = static_cast<std::int64_t>(kFileTimeUnixEpoch) + sinceUnix;
    return ft < 0 ? 0 : static_cast<FileTime100ns>(ft);
}

system_clock::time_point fromFileTime(FileTime100ns ft)
{
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
    // The wall clock spans fewer years than FILETIME does: clamp to its ends.
    constexpr auto kMin = std::chrono::duration_cast<Ticks>(system_clock::duration::min()).count() + 1;
    constexpr auto kMax = std::chrono::duration_cast<Ticks>(system_clock::duration::max()).count() - 1;
    std::int64_t sinceUnix = 0;
    if (ft < kFileTimeUnixEpoch) {
        const auto before = kFileTimeUnixEpoch - ft;
        sinceUnix = before > static_cast<std::uint64_t>(-kMin) ? kMin : -static_cast<std::int64_t>(before);
    } else {
        const auto after = ft - kFileTimeUnixEpoch;
        sinceUnix = after > static_cast<std::uint64_t>(kMax) ? kMax : static_cast<std::int64_t>(after);
    }
    return system_clock::time_point(std::chrono::duration_cast<system_clock::duration>(Ticks(sinceUnix)));
}

std::uint64_t SystemClock::monotonicMs() const
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

system_clock::time_point SystemClock::wallTime() const
{
    return system_clock::now();
}

SystemClock& SystemClock::instance()
{
    static SystemClock clock;
    return clock;
}

FakeClock::FakeClock(std::uint64_t startMs, system_clock::time_point wall)
    : m_ms(startMs)
    , m_wallNs(std::chrono::duration_cast<std::chrono::nanoseconds>(wall.time_since_epoch()).count())
{
}

std::uint64_t FakeClock::monotonicMs() const
{
    return m_ms.load();
}

system_clock::time_point FakeClock::wallTime() const
{
    return system_clock::time_point(
        std::chrono::duration_cast<system_clock::duration>(std::chrono::nanoseconds(m_wallNs.load())));
}

void FakeClock::advance(std::uint64_t ms)
{
    m_ms.fetch_add(ms);
    m_wallNs.fetch_add(static_cast<std::int64_t>(ms) * 1'000'000);
    std::lock_guard lock(m_watchMutex);
    for (auto& [id, f] : m_watchers) f();
}

std::uint64_t FakeClock::watch(std::function<void()> f) const
{
    std::lock_guard lock(m_watchMutex);
    const std::uint64_t id = m_nextWatch++;
    m_watchers.emplace_back(id, std::move(f));
    return id;
}

void FakeClock::unwatch(std::uint64_t id) const
{
    std::lock_guard lock(m_watchMutex);
    std::erase_if(m_watchers, [id](const auto& w) { return w.first == id; });
}

void FakeClock::setWallTime(system_clock::time_point wall)
{
    m_wallNs.store(std::chrono::duration_cast<std::chrono::nanoseconds>(wall.time_since_epoch()).count());
}

} // namespace win
