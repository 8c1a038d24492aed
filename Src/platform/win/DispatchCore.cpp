#include "platform/win/DispatchCore.h"

#include <algorithm>
#include <vector>

namespace win {

// A send waits on this; both the caller and the queue own it, so a caller
// that gave up leaves nothing behind that the later delivery could reach.
struct DispatchCore::SendState {
    WindowKey key = kNoWindow;
    Message msg;
    Task task;
    Event done{Event::Reset::Manual};
    // A sent task may use the sender's data: it runs only while the sender
    // still waits, and a sender that times out while it runs waits for its end.
    // A message is Abandoned only when its sender takes it back.
    enum Phase : int { Pending, Running, Abandoned };
    std::atomic<int> phase{Pending};
    std::atomic<bool> delivered{false};
    std::atomic<LRESULT> result{0};
};

struct DispatchCore::Item {
    enum class Kind { Post, Task, Send, Timer } kind = Kind::Post;
    WindowKey key = kNoWindow;
    Message msg;
    Task task;
    std::shared_ptr<SendState> send;
    UINT_PTR timerId = 0;

    Item() = default;
    Item(Item&&) = default;
    Item& operator=(Item&&) = default;
    ~Item()
    {
        if (send)
            send->done.set(); // never delivered: let the caller go
    }
};

DispatchCore::DispatchCore(const Clock& clock) : m_clock(clock), m_appThread(std::this_thread::get_id()) {}

DispatchCore::~DispatchCore() = default;

WindowKey DispatchCore::registerWindow(WindowProc proc)
{
    auto shared = std::make_shared<WindowProc>(std::move(proc));
    std::lock_guard guard(m_mutex);
    const WindowKey key = m_nextKey++;
    m_windows.emplace(key, std::move(shared));
    return key;
}

void DispatchCore::unregisterWindow(WindowKey key)
{
    std::shared_ptr<WindowProc> proc; // freed after the lock is let go
    std::lock_guard guard(m_mutex);
    auto it = m_windows.find(key);
    if (it == m_windows.end())
        return;
    proc = std::move(it->second);
    m_windows.erase(it);
    std::erase_if(m_timers, [key](const auto& entry) { return entry.first.first == key; });
}

bool DispatchCore::isWindow(WindowKey key) const
{
    std::lock_guard guard(m_mutex);
    return m_windows.count(key) != 0;
}

std::shared_ptr<WindowProc> DispatchCore::findWindow(WindowKey key) const
{
    std::lock_guard guard(m_mutex);
    auto it = m_windows.find(key);
    return it == m_windows.end() ? nullptr : it->second;
}

bool DispatchCore::enqueue(Item item)
{
    {
        std::lock_guard guard(m_mutex);
        if (item.kind != Item::Kind::Task && m_windows.count(item.key) == 0)
            return false; // the item is dropped after the lock is let go
        m_items.push_back(std::move(item));
    }
    wake();
    return true;
}

bool DispatchCore::post(WindowKey key, Message msg)
{
    Item item;
    item.kind = Item::Kind::Post;
    item.key = key;
    item.msg = std::move(msg);
    return enqueue(std::move(item));
}

bool DispatchCore::post(Task task)
{
    if (!task)
        return false;
    Item item;
    item.kind = Item::Kind::Task;
    item.task = std::move(task);
    return enqueue(std::move(item));
}

bool DispatchCore::deliver(WindowKey key, Message& msg, LRESULT* result)
{
    std::shared_ptr<WindowProc> proc = findWindow(key);
    if (!proc)
        return false;
    const LRESULT answer = (*proc)(msg);
    if (result)
        *result = answer;
    return true;
}

bool DispatchCore::send(WindowKey key, Message msg, DWORD timeoutMs, LRESULT* result)
{
    return sendMessage(key, std::move(msg), timeoutMs, nullptr, nullptr, result);
}

bool DispatchCore::sendUnlessSet(WindowKey key, Message msg, DWORD timeoutMs, Event& giveUp, bool* withdrawn,
                                 LRESULT* result)
{
    return sendMessage(key, std::move(msg), timeoutMs, &giveUp, withdrawn, result);
}

bool DispatchCore::sendMessage(WindowKey key, Message msg, DWORD timeoutMs, Event* giveUp, bool* withdrawn,
                               LRESULT* result)
{
    if (withdrawn)
        *withdrawn = false;
    if (timeoutMs == 0)
        return false;
    if (isApplicationThread())
        return deliver(key, msg, result);

    auto state = std::make_shared<SendState>();
    state->key = key;
    state->msg = std::move(msg);
    Item item;
    item.kind = Item::Kind::Send;
    item.key = key;
    item.send = state;
    if (!enqueue(std::move(item)))
        return false;
    if (giveUp) {
        if (Event::waitAny({&state->done, giveUp}, timeoutMs) == 1) {
            if (!withdrawn)
                return false;
            int expected = SendState::Pending;
            if (state->phase.compare_exchange_strong(expected, SendState::Abandoned)) {
                if (withdrawn)
                    *withdrawn = true;
                return false;
            }
            state->done.wait(INFINITE); // its window has it already
        }
    } else if (!state->done.wait(timeoutMs)) {
        return false;
    }
    if (!state->done.isSet() || !state->delivered.load())
        return false;
    if (result)
        *result = state->result.load();
    return true;
}

bool DispatchCore::send(Task task, DWORD timeoutMs)
{
    if (timeoutMs == 0 || !task)
        return false;
    if (isApplicationThread()) {
        task();
        return true;
    }
    auto state = std::make_shared<SendState>();
    state->task = std::move(task);
    Item item;
    item.kind = Item::Kind::Task;
    item.send = state;
    if (!enqueue(std::move(item)))
        return false;
    if (!state->done.wait(timeoutMs)) {
        int expected = SendState::Pending;
        if (state->phase.compare_exchange_strong(expected, SendState::Abandoned))
            return false;
        state->done.wait(INFINITE);
    }
    return state->delivered.load();
}

bool DispatchCore::startTimer(WindowKey key, UINT_PTR id, DWORD intervalMs)
{
    const DWORD interval = std::max(intervalMs, kMinTimerIntervalMs);
    const std::uint64_t now = m_clock.monotonicMs();
    std::lock_guard guard(m_mutex);
    if (m_windows.count(key) == 0)
        return false;
    Timer& timer = m_timers[{key, id}];
    timer.intervalMs = interval;
    timer.dueMs = now + interval;
    return true;
}

bool DispatchCore::stopTimer(WindowKey key, UINT_PTR id)
{
    std::lock_guard guard(m_mutex);
    return m_timers.erase({key, id}) != 0;
}

bool DispatchCore::isApplicationThread() const
{
    return m_appThread.load() == std::this_thread::get_id();
}

std::size_t DispatchCore::fireDueTimers()
{
    const std::uint64_t now = m_clock.monotonicMs();
    std::size_t fired = 0;
    {
        std::lock_guard guard(m_mutex);
        for (auto& [key, timer] : m_timers) {
            if (now < timer.dueMs)
                continue;
            // Keep the cadence; when far behind, start again from now.
            timer.dueMs += timer.intervalMs;
            if (timer.dueMs <= now)
                timer.dueMs = now + timer.intervalMs;
            if (timer.tickWaiting)
                continue;
            timer.tickWaiting = true;
            Item item;
            item.kind = Item::Kind::Timer;
            item.key = key.first;
            item.timerId = key.second;
            m_items.push_back(std::move(item));
            ++fired;
        }
    }
    if (fired)
        wake();
    return fired;
}

std::optional<std::uint64_t> DispatchCore::nextTimerDueMs() const
{
    std::lock_guard guard(m_mutex);
    std::optional<std::uint64_t> next;
    for (const auto& entry : m_timers)
        if (!next || entry.second.dueMs < *next)
            next = entry.second.dueMs;
    return next;
}

std::size_t DispatchCore::pendingCount() const
{
    std::lock_guard guard(m_mutex);
    return m_items.size();
}

void DispatchCore::runItem(Item& item)
{
    switch (item.kind) {
    case Item::Kind::Post:
        deliver(item.key, item.msg, nullptr);
        break;
    case Item::Kind::Task:
        if (item.send) {
            int expected = SendState::Pending;
            if (!item.send->phase.compare_exchange_strong(expected, SendState::Running))
                break; // the sender gave up: what the task points at may be gone
            item.send->task();
            item.send->delivered.store(true);
        } else {
            item.task();
        }
        break;
    case Item::Kind::Send: {
        int expected = SendState::Pending;
        if (!item.send->phase.compare_exchange_strong(expected, SendState::Running))
            break; // taken back by its sender
        LRESULT answer = 0;
        if (deliver(item.key, item.send->msg, &answer)) {
            item.send->result.store(answer);
            item.send->delivered.store(true);
        }
        break;
    }
    case Item::Kind::Timer: {
        {
            std::lock_guard guard(m_mutex);
            auto it = m_timers.find({item.key, item.timerId});
            if (it == m_timers.end())
                return; // stopped since the tick was queued
            it->second.tickWaiting = false;
        }
        Message msg(WM_TIMER, item.timerId);
        deliver(item.key, msg, nullptr);
        break;
    }
    }
}

void DispatchCore::hold() { ++m_holds; }

void DispatchCore::requestEnd()
{
    m_endRequested = true;
    wake();
}

void DispatchCore::release()
{
    if (m_holds.load() > 0 && --m_holds == 0)
        wake();
}

std::size_t DispatchCore::runPending()
{
    if (isHeld())
        return 0;
    std::deque<Item> batch;
    {
        std::lock_guard guard(m_mutex);
        batch.swap(m_items);
    }
    const std::size_t count = batch.size();
    while (!batch.empty()) {
        Item item = std::move(batch.front());
        batch.pop_front();
        runItem(item);
        // item's end releases a sender still waiting for it
    }
    return count;
}

} // namespace win
