#pragma once
// The shared body of the dispatchers: window table, work queue and timers.
// A loop (headless, manual, or a GUI toolkit's) calls fireDueTimers and
// runPending on the application thread and is woken through wake().
#include "platform/win/Clock.h"
#include "platform/win/Dispatcher.h"

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>

namespace win {

class DispatchCore : public Dispatcher {
public:
    explicit DispatchCore(const Clock& clock);
    ~DispatchCore() override;

    WindowKey registerWindow(WindowProc proc) override;
    void unregisterWindow(WindowKey key) override;
    bool isWindow(WindowKey key) const override;
    bool post(WindowKey key, Message msg) override;
    bool post(Task task) override;
    bool send(WindowKey key, Message msg, DWORD timeoutMs, LRESULT* result = nullptr) override;
    bool send(Task task, DWORD timeoutMs) override;
    bool sendUnlessSet(WindowKey key, Message msg, DWORD timeoutMs, Event& giveUp, bool* withdrawn,
                       LRESULT* result = nullptr) override;
    bool startTimer(WindowKey key, UINT_PTR id, DWORD intervalMs) override;
    bool stopTimer(WindowKey key, UINT_PTR id) override;
    bool isApplicationThread() const override;
    void hold() override;
    void release() override;
    bool isHeld() const { return m_holds.load() > 0; }
    void requestEnd() override;
    bool endRequested() const override { return m_endRequested.load(); }

    // Runs the work queued before the call (none while held); returns how many items ran.
    std::size_t runPending();
    // Queues a tick for every timer due at the clock's current time.
    std::size_t fireDueTimers();
    // Monotonic time of the next timer due, if any timer runs.
    std::optional<std::uint64_t> nextTimerDueMs() const;
    std::size_t pendingCount() const;

    const Clock& clock() const { return m_clock; }
    void setApplicationThread(std::thread::id id) { m_appThread.store(id); }

protected:
    // Called, without locks held, after work was queued from any thread.
    virtual void wake() {}

private:
    struct SendState;
    struct Item;
    struct Timer {
        DWORD intervalMs = 0;
        std::uint64_t dueMs = 0;
        bool tickWaiting = false;
    };
    using TimerKey = std::pair<WindowKey, UINT_PTR>;

    bool enqueue(Item item);
    bool sendMessage(WindowKey key, Message msg, DWORD timeoutMs, Event* giveUp, bool* withdrawn, LRESULT* result);
    std::shared_ptr<WindowProc> findWindow(WindowKey key) const;
    void runItem(Item& item);
    bool deliver(WindowKey key, Message& msg, LRESULT* result);

    const Clock& m_clock;
    std::atomic<std::thread::id> m_appThread;
    std::atomic<int> m_holds{0};
    std::atomic<bool> m_endRequested{false};

    // Guards the windows, the work queue and the timers. Leaf: window procedures,
    // tasks, wake() and the release of a sender run after it is let go, so any
    // thread may post or send while holding its own locks (a send then waits).
    mutable std::mutex m_mutex;
    std::unordered_map<WindowKey, std::shared_ptr<WindowProc>> m_windows;
    WindowKey m_nextKey = 1;
    std::deque<Item> m_items;
    std::map<TimerKey, Timer> m_timers;
};

} // namespace win
