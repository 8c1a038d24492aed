#pragma once
// The application dispatcher on Qt's event loop, for the desktop programs.
// Work posted from any thread runs on the thread that made the dispatcher (the
// GUI thread), timers follow the dispatcher's clock, and quit ends the Qt loop.
#include <QObject>
#include <QTimer>

#include <atomic>

#include "platform/win/DispatchCore.h"

namespace qtdispatch {

class QtDispatcher final : public win::DispatchCore {
public:
    // Make it on the GUI thread, after the Qt application object.
    explicit QtDispatcher(const win::Clock& clock = win::SystemClock::instance());
    ~QtDispatcher() override;

    bool startTimer(win::WindowKey key, UINT_PTR id, DWORD intervalMs) override;
    // Ends the Qt loop with the code (also when asked before the loop runs).
    void quit(int exitCode) override;

protected:
    void wake() override;

private:
    // Due timers, then queued work, then the Qt timer set for the next due timer.
    void serve();
    void rearm();

    QObject m_context;  // lives on the GUI thread: queued calls land here
    QTimer m_timer;     // single shot, set for the next due timer
    std::atomic<bool> m_wakePending{false};
};

} // namespace qtdispatch
