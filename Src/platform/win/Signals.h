#pragma once
// SIGINT and SIGTERM as work for the program instead of the kernel's default
// action. A thread the kernel may pick for a process-directed signal is any
// thread that does not block it, so the signals are blocked before the first
// thread starts (toolkits such as Qt start their own) and read by one thread.
#include <functional>
#include <memory>

#include <signal.h>

namespace win {

// Blocks SIGINT and SIGTERM in the calling thread, and so in every thread it
// starts afterwards, until destroyed (the previous mask comes back).
class SignalBlock {
public:
    SignalBlock();
    ~SignalBlock();
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

private:
    sigset_t m_previous{};
};

// SIGINT and SIGTERM delivered as calls on a thread of the watcher's own. The
// signals are blocked in the constructing thread and every thread started
// after it, so make the watcher (or a SignalBlock) before any other thread; the
// destructor restores the mask. The call must only post work elsewhere.
class SignalWatcher {
public:
    explicit SignalWatcher(std::function<void(int nSignal)> onSignal);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    bool IsWatching() const;

private:
    struct State;
    std::unique_ptr<State> m_pState;
};

} // namespace win
