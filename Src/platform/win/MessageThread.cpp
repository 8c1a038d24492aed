#include "platform/win/MessageThread.h"

#include <algorithm>
#include <array>
#include <system_error>

namespace win {

MessageThread::MessageThread(std::shared_ptr<Event> stopEvent)
    : m_stopEvent(std::move(stopEvent))
    , m_finished(std::make_shared<Event>(Event::Reset::Manual))
{
}

MessageThread::~MessageThread()
{
    std::lock_guard guard(m_threadMutex);
    if (!m_thread.joinable())
        return;
    // The thread holds a reference while it runs, so the last one went with
    // its end: either here on the thread itself, or just after it let go.
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();
    else
        m_thread.join();
}

bool MessageThread::create(bool suspended)
{
    std::shared_ptr<MessageThread> self = weak_from_this().lock();
    State expected = State::Created;
    if (!self || !m_state.compare_exchange_strong(expected, State::Starting))
        return false;
    {
        std::lock_guard guard(m_suspendMutex);
        m_suspendCount = suspended ? 1 : 0;
    }
    std::lock_guard guard(m_threadMutex);
    try {
        m_thread = std::thread([self]() mutable {
            self->run();
            self.reset(); // may free the object; nothing of it is touched after
        });
    } catch (const std::system_error&) {
        self.reset();
        m_state.store(State::StartFailed);
        m_queue.close();
        m_finished->set();
        return false;
    }
    return true;
}

DWORD MessageThread::suspend()
{
    std::lock_guard guard(m_suspendMutex);
    return m_suspendCount++;
}

DWORD MessageThread::resume()
{
    std::lock_guard guard(m_suspendMutex);
    const DWORD before = m_suspendCount;
    if (m_suspendCount > 0 && --m_suspendCount == 0)
        m_suspendCv.notify_all();
    return before;
}

DWORD MessageThread::suspendCount() const
{
    std::lock_guard guard(m_suspendMutex);
    return m_suspendCount;
}

bool MessageThread::post(Message msg)
{
    return m_queue.post(std::move(msg));
}

bool MessageThread::isCurrentThread() const
{
    return m_threadId.load() == std::this_thread::get_id();
}

std::thread::id MessageThread::threadId() const
{
    return m_threadId.load();
}

bool MessageThread::stop(DWORD timeoutMs, UINT stopMessage)
{
    if (resume() > 1)
        return false;
    post(stopMessage);
    return join(timeoutMs);
}

bool MessageThread::join(DWORD timeoutMs)
{
    if (isCurrentThread())
        return false;
    if (state() == State::Created)
        return true; // never started: nothing to wait for
    const bool ended = m_finished->wait(timeoutMs);
    std::lock_guard guard(m_threadMutex);
    if (!m_thread.joinable())
        return ended && !m_abandoned.load();
    if (ended) {
        m_thread.join();
        return true;
    }
    m_abandoned.store(true);
    m_thread.detach();
    return false;
}

bool MessageThread::waitWhileSuspended()
{
    std::unique_lock lock(m_suspendMutex);
    m_suspendCv.wait(lock, [this] { return m_suspendCount == 0; });
    return true;
}

void MessageThread::run()
{
    m_threadId.store(std::this_thread::get_id());
    waitWhileSuspended();

    if (!initInstance()) {
        m_state.store(State::StartFailed);
        m_exitCode.store(exitInstance());
        m_queue.close();
        m_finished->set();
        return;
    }
    m_state.store(State::Running);

    Event* stop = m_stopEvent.get();
    for (;;) {
        if (stop && stop->isSet())
            break;
        waitWhileSuspended();
        Message msg;
        if (!m_queue.peek(msg, true)) {
            const DWORD idleMs = idleWaitMs();
            if (idleMs == 0) {
                onIdle();
                continue;
            }
            // An auto-reset stop event is used up by the wait itself.
            std::array<Event*, 3> events{&m_queue.readyEvent(), stop, idleWakeEvent()};
            const auto end = std::remove(events.begin(), events.end(), nullptr);
            const int woken = Event::waitAny(std::span<Event* const>(events.begin(), end), idleMs);
            if (woken < 0 || events[static_cast<std::size_t>(woken)] == idleWakeEvent())
                onIdle();
            else if (events[static_cast<std::size_t>(woken)] == stop)
                break;
            continue;
        }
        if (msg.id == WM_QUIT) {
            m_exitCode.store(static_cast<int>(msg.wParam));
            break;
        }
        onMessage(msg);
    }

    m_exitCode.store(exitInstance());
    m_queue.close();
    m_state.store(State::Finished);
    m_finished->set();
}

} // namespace win
