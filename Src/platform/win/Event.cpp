#include "platform/win/Event.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace win {

// One waitAny call; registered with every event it waits on.
struct Event::Waiter {
    std::mutex mutex; // leaf: taken under an event's lock, takes no other lock
    std::condition_variable cv;
    bool signalled = false;

    void notify()
    {
        std::lock_guard guard(mutex);
        signalled = true;
        cv.notify_one();
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
        {
            std::lock_guard guard(waiter.mutex);
            waiter.signalled = false;
        }
        for (int i = 0; i < count && found < 0; ++i) {
            std::lock_guard guard(events[i]->m_mutex);
            if (events[i]->m_pulses != pulses[i] || events[i]->tryConsumeLocked())
                found = i;
        }
        if (found >= 0 || timeoutMs == 0)
            break;
        std::unique_lock lock(waiter.mutex);
        if (timeoutMs == INFINITE) {
            waiter.cv.wait(lock, [&] { return waiter.signalled; });
        } else if (!waiter.cv.wait_until(lock, deadline, [&] { return waiter.signalled; })) {
            lock.unlock();
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
