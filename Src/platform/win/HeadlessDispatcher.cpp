#include "platform/win/HeadlessDispatcher.h"

#include <chrono>

namespace win {

HeadlessDispatcher::HeadlessDispatcher(const Clock& clock) : DispatchCore(clock) {}

int HeadlessDispatcher::run()
{
    setApplicationThread(std::this_thread::get_id());
    for (;;) {
        {
            std::lock_guard guard(m_loopMutex);
            if (m_quit)
                break;
            m_woken = false;
        }
        fireDueTimers();
        runPending();

        std::unique_lock lock(m_loopMutex);
        if (m_quit)
            break;
        if (m_woken)
            continue;
        const auto next = nextTimerDueMs();
        auto ready = [this] { return m_woken || m_quit; };
        if (!next) {
            m_loopCv.wait(lock, ready);
        } else {
            const std::uint64_t now = clock().monotonicMs();
            if (*next > now)
                m_loopCv.wait_for(lock, std::chrono::milliseconds(*next - now), ready);
        }
    }
    std::lock_guard guard(m_loopMutex);
    m_quit = false; // run() may be called again
    return m_exitCode;
}

void HeadlessDispatcher::quit(int exitCode)
{
    std::lock_guard guard(m_loopMutex);
    m_quit = true;
    m_exitCode = exitCode;
    m_loopCv.notify_all();
}

void HeadlessDispatcher::wake()
{
    std::lock_guard guard(m_loopMutex);
    m_woken = true;
    m_loopCv.notify_all();
}

} // namespace win
