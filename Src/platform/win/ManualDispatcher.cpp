#include "platform/win/ManualDispatcher.h"

#include <chrono>

namespace win {

ManualDispatcher::ManualDispatcher(FakeClock& clock) : DispatchCore(clock), m_fake(clock) {}

std::size_t ManualDispatcher::runPending()
{
    std::size_t total = 0;
    while (std::size_t ran = DispatchCore::runPending())
        total += ran;
    return total;
}

void ManualDispatcher::advance(std::uint64_t ms)
{
    const std::uint64_t target = m_fake.monotonicMs() + ms;
    runPending();
    for (;;) {
        const auto next = nextTimerDueMs();
        if (!next || *next > target)
            break;
        const std::uint64_t now = m_fake.monotonicMs();
        if (*next > now)
            m_fake.advance(*next - now);
        fireDueTimers();
        runPending();
    }
    const std::uint64_t now = m_fake.monotonicMs();
    if (target > now)
        m_fake.advance(target - now);
    runPending();
}

bool ManualDispatcher::waitForWork(DWORD timeoutMs)
{
    std::unique_lock lock(m_waitMutex);
    return m_waitCv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return pendingCount() > 0; });
}

void ManualDispatcher::wake()
{
    std::lock_guard guard(m_waitMutex);
    m_waitCv.notify_all();
}

void ManualDispatcher::quit(int exitCode)
{
    std::lock_guard guard(m_waitMutex);
    m_quit = true;
    m_exitCode = exitCode;
}

bool ManualDispatcher::quitRequested() const
{
    std::lock_guard guard(m_waitMutex);
    return m_quit;
}

int ManualDispatcher::exitCode() const
{
    std::lock_guard guard(m_waitMutex);
    return m_exitCode;
}

} // namespace win
