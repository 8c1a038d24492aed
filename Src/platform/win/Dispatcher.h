#pragma once
// The application thread's stand-in for window messages and timers. A window
// is a small integer key registered with the dispatcher; a message for a key
// that is no longer registered is dropped.
#include "platform/win/Event.h"
#include "platform/win/MessageQueue.h"
#include "platform/win/WinTypes.h"

#include <cstdint>
#include <functional>

namespace win {

using WindowKey = std::uint32_t;
inline constexpr WindowKey kNoWindow = 0;

// Called on the application thread for each message to its window.
using WindowProc = std::function<LRESULT(Message& msg)>;
// Work to run on the application thread.
using Task = std::function<void()>;

// Shortest timer period; shorter requests are raised to it.
inline constexpr DWORD kMinTimerIntervalMs = 10;

// It must outlive every thread that posts or sends to it; a thread that may
// be abandoned should keep it through a std::shared_ptr.
class Dispatcher {
public:
    virtual ~Dispatcher() = default;

    // Keys are never reused, so a stale key cannot reach a newer window.
    virtual WindowKey registerWindow(WindowProc proc) = 0;
    // Also stops the window's timers; its waiting messages are dropped.
    // Call on the application thread.
    virtual void unregisterWindow(WindowKey key) = 0;
    virtual bool isWindow(WindowKey key) const = 0;

    // Queue for the application thread; false when the key is stale (the
    // message is dropped).
    virtual bool post(WindowKey key, Message msg) = 0;
    virtual bool post(Task task) = 0;

    // Delivers and waits until the window has handled it or timeoutMs has
    // passed. On the application thread the window is called directly.
    // True only when the window handled it in time; then *result holds its
    // answer. The message is owned by the dispatcher: after a time-out it may
    // still be delivered later, and the caller has nothing left to keep alive.
    // A time-out of 0 sends nothing.
    virtual bool send(WindowKey key, Message msg, DWORD timeoutMs, LRESULT* result = nullptr) = 0;
    // The same, but the wait ends with false as soon as giveUp (a manual-reset
    // event) is set. With withdrawn given, a message that still waits for its
    // window is then taken back (never delivered, *withdrawn set) and one being
    // delivered is waited for; without, it stays queued as after a time-out. For a
    // thread that the application thread may be stopping.
    virtual bool sendUnlessSet(WindowKey key, Message msg, DWORD timeoutMs, Event& giveUp, bool* withdrawn,
                               LRESULT* result = nullptr) = 0;
    // A task runs on the application thread only while its sender still waits:
    // after a time-out it never runs, so it may refer to the sender's stack.
    // When the time-out passes while the task runs, the send waits for its end
    // and reports it done.
    virtual bool send(Task task, DWORD timeoutMs) = 0;

    // Posts WM_TIMER (wParam = id) to the window every intervalMs. Restarting
    // an id sets the new period. A tick is dropped while the previous one of
    // the same timer still waits. False for a stale key.
    virtual bool startTimer(WindowKey key, UINT_PTR id, DWORD intervalMs) = 0;
    virtual bool stopTimer(WindowKey key, UINT_PTR id) = 0;

    virtual bool isApplicationThread() const = 0;
    // While held (holds nest), queued work and timer ticks wait for the release; a
    // quit still ends the loop. For the application thread while it waits in place of
    // its loop (a call to a server), so nothing runs inside that wait.
    virtual void hold() = 0;
    virtual void release() = 0;
    // Any thread: the program is asked to end (a signal). A wait in place of the loop
    // gives up (its questions take their default answers) and, while the dispatcher is
    // held, the loop and any box open in it end at once.
    virtual void requestEnd() = 0;
    virtual bool endRequested() const = 0;
    // Ends the loop that runs the dispatcher.
    virtual void quit(int exitCode) = 0;
};

} // namespace win
