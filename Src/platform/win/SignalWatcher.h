#pragma once
// SIGINT and SIGTERM taken by one thread. A signal goes to any thread that does
// not block it, and one that takes it with the default action ends the process
// then and there, so both are blocked before any thread starts: a thread a
// library makes (Qt's event-queue reader, say) inherits the block.
#include <functional>
#include <memory>

namespace win {

// Blocks SIGINT and SIGTERM in the calling thread and so in every thread it
// starts after; call first thing in main. A SignalWatcher then takes them.
void BlockQuitSignals();

// SIGINT and SIGTERM delivered as calls on a thread of the watcher's own. The
// signals are blocked in the constructing thread and every thread started
// after it; the destructor restores the mask. The call must only post work
// elsewhere.
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
