#pragma once
// Manual- and auto-reset events with waits that time out.
#include "platform/win/WinTypes.h"

#include <condition_variable>
#include <initializer_list>
#include <mutex>
#include <span>
#include <vector>

namespace win {

inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
// Most events one waitAny call takes.
inline constexpr std::size_t MAXIMUM_WAIT_OBJECTS = 64;

class Event {
public:
    enum class Reset { Manual, Auto };

    explicit Event(Reset kind = Reset::Auto, bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    Reset kind() const { return m_kind; }

    // Manual reset: stays set and releases every waiter until reset.
    // Auto reset: releases one waiter (now or later) and clears itself.
    void set();
    void reset();
    // Releases the threads waiting right now (all of them for manual reset,
    // one for auto reset) and leaves the event not set.
    void pulse();

    // True when the event was set within timeoutMs (INFINITE waits for good).
    // An auto-reset event is cleared by a successful wait.
    bool wait(DWORD timeoutMs);
    // Looks without consuming, even for an auto-reset event.
    bool isSet() const;

    // Waits until one of the events is set; returns its index (the first in
    // the list when several are), or -1 on time-out or for an empty list or
    // one longer than MAXIMUM_WAIT_OBJECTS. Consumes only that one.
    static int waitAny(std::span<Event* const> events, DWORD timeoutMs);
    static int waitAny(std::initializer_list<Event*> events, DWORD timeoutMs)
    {
        return waitAny(std::span<Event* const>(events.begin(), events.size()), timeoutMs);
    }

private:
    struct Waiter;
    bool tryConsumeLocked();
    void notifyLocked();

    const Reset m_kind;
    // Guards the state below. Callers may hold their own locks while setting an
    // event (a message queue does); while held, only a waitAny waiter's lock is
    // taken, and never a second event's: waitAny looks at its events one by one.
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set;
    unsigned m_waiting = 0;      // threads inside wait() or waitAny() on this event
    std::uint64_t m_pulses = 0;  // bumped by a manual-reset pulse
    std::vector<Waiter*> m_multi; // waitAny() callers registered here
};

} // namespace win
