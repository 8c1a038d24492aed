#pragma once
// Dispatcher for tests: nothing runs until the test says so, and timers
// follow a fake clock, so no test sleeps.
#include "platform/win/DispatchCore.h"

#include <condition_variable>
#include <mutex>

namespace win {

class ManualDispatcher final : public DispatchCore {
public:
    // The constructing thread is the application thread.
    explicit ManualDispatcher(FakeClock& clock);

    // Runs queued work, including work it queues, until none is left.
    std::size_t runPending();
    // Moves the clock forward by ms, stopping at each timer's due time to
    // fire it and run the work, as a responsive application thread would.
    void advance(std::uint64_t ms);
    // Waits (really) until work is queued from another thread; true when
    // there is some.
    bool waitForWork(DWORD timeoutMs);

    void quit(int exitCode) override;
    bool quitRequested() const;
    int exitCode() const;

    FakeClock& fakeClock() { return m_fake; }

protected:
    void wake() override;

private:
    FakeClock& m_fake;
    // Guards the quit flags; waitForWork counts pending work under it, so it
    // is taken before DispatchCore's lock, never after.
    mutable std::mutex m_waitMutex;
    std::condition_variable m_waitCv;
    bool m_quit = false;
    int m_exitCode = 0;
};

} // namespace win
