#include "platform/win/Event.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <ctime>

namespace win {

// One waitAny call; registered with every event it waits on. It sleeps on a
// futex of its own: a condition variable would add a wake-up system call to
// every time-out (its mutex is taken back as contended).
struct Event::Waiter {
    enum : std::uint32_t { kIdle = 0, kSignalled = 1, kSleeping = 2 };
    std::atomic<std::uint32_t> state{kIdle};

    // Under an event's lock: the waiter is still registered, so it is alive.
    void notify()
    {
        if (state.exchange(kSignalled) == kSleeping)
            ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&state), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
    }
    // Clears a signal taken before the events are looked at again.
    void rearm() { state.store(kIdle); }
    // Until notified or, with a deadline, until it passes; false on time-out.
    bool sleep(const std::chrono::steady_clock::time_point* deadline)
    {
        std::uint32_t expected = kIdle;
        if (!state.compare_exchange_strong(expected, kSleeping))
            return true; // notified meanwhile
        timespec at{};
        if (deadline) {
            const auto ns =
                std::chrono::duration_cast<std::chrono::nanoseconds>(deadline->time_since_epoch()).count();
            at.tv_sec = static_cast<time_t>(ns / 1000000000);
            at.tv_nsec = static_cast<long>(ns % 1000000000);
        }
        for (;;) {
            // Absolute on CLOCK_MONOTONIC, the clock of std::chrono::steady_clock.
            const long rc = ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&state),
                                      FUTEX_WAIT_BITSET_PRIVATE, kSleeping, deadline ? &at : nullptr, nullptr,
                                      FUTEX_BITSET_MATCH_ANY);
            if (state.load() != kSleeping)
                return true;
            if (rc != 0 && errno == ETIMEDOUT)
                break;
        }
        expected = kSleeping;
        // A notify that raced the time-out wins.
        return !state.compare_exchange_strong(expected, kIdle);
    }
};

Event::Event(Reset kind, bool initiallySet) : m_kind(kind), m_set(initiallySet) {}

Event::~Event() = default;

bool Event::tryConsumeLocked()
{
    if (!m_set)
        return false;
    if (m_kind == Reset::Auto)
        m_set = false;
    return true;
}

void Event::notifyLocked()
{
    m_cv.notify_all();
    for (Waiter* waiter : m_multi)
        waiter->notify();
}

void Event::set()
{
    std::lock_guard guard(m_mutex);
    m_set = true;
    notifyLocked();
}

void Event::reset()
{
    std::lock_guard guard(m_mutex);
    m_set = false;
}

void Event::pulse()
{
    std::lock_guard guard(m_mutex);
    if (m_kind == Reset::Manual) {
        ++m_pulses;
        m_set = false;
        notifyLocked();
    } else if (m_waiting > 0) {
        // The first waiter to wake takes it, which leaves the event clear.
        m_set = true;
        notifyLocked();
    } else {
        m_set = false;
    }
}

bool Event::isSet() const
{
    std::lock_guard guard(m_mutex);
    return m_set;
}

bool Event::wait(DWORD timeoutMs)
{
    std::unique_lock lock(m_mutex);
    if (tryConsumeLocked())
        return true;
    if (timeoutMs == 0)
        return false;
    ++m_waiting;
    const std::uint64_t pulses = m_pulses;
    auto ready = [&] { return m_set || m_pulses != pulses; };
    if (timeoutMs == INFINITE)
        m_cv.wait(lock, ready);
    else
        m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    --m_waiting;
    if (m_pulses != pulses)
        return true;
    return tryConsumeLocked();
}

int Event::waitAny(std::span<Event* const> events, DWORD timeoutMs)
{
    const int count = static_cast<int>(events.size());
    if (count == 0 || events.size() > MAXIMUM_WAIT_OBJECTS)
        return -1;
    Waiter waiter;
    std::array<std::uint64_t, MAXIMUM_WAIT_OBJECTS> pulses{}; // no allocation on the poll path
    for (int i = 0; i < count; ++i) {
        std::lock_guard guard(events[i]->m_mutex);
        events[i]->m_multi.push_back(&waiter);
        ++events[i]->m_waiting;
        pulses[i] = events[i]->m_pulses;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int found = -1;
    for (;;) {
        waiter.rearm();
        for (int i = 0; i < count && found < 0; ++i) {
            std::lock_guard guard(events[i]->m_mutex);
            if (events[i]->m_pulses != pulses[i] || events[i]->tryConsumeLocked())
                found = i;
        }
        if (found >= 0 || timeoutMs == 0)
            break;
        if (!waiter.sleep(timeoutMs == INFINITE ? nullptr : &deadline)) {
            // One last look, so a set that raced the time-out is not lost.
            for (int i = 0; i < count && found < 0; ++i) {
                std::lock_guard guard(events[i]->m_mutex);
                if (events[i]->m_pulses != pulses[i] || events[i]->tryConsumeLocked())
                    found = i;
            }
            break;
        }
    }

    for (Event* event : events) {
        std::lock_guard guard(event->m_mutex);
        auto& multi = event->m_multi;
        multi.erase(std::find(multi.begin(), multi.end(), &waiter));
        --event->m_waiting;
    }
    return found;
}

} // namespace win
