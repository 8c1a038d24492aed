#pragma once
// The application dispatcher on Qt's event loop, for the desktop programs.
// Work posted from any thread runs on the thread that made the dispatcher (the
// GUI thread), timers follow the dispatcher's clock, and quit ends the Qt loop.
// Other threads only touch the dispatcher's own locked queue and an eventfd, so
// no data crosses threads through Qt's internals.
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <memory>

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

    int m_wakeFd = -1;                           // written by any thread, read on the GUI thread
    QObject m_context;                           // lives on the GUI thread
    std::unique_ptr<QSocketNotifier> m_pNotifier; // the eventfd's readiness, on the GUI thread
    QTimer m_timer;                              // single shot, set for the next due timer
    std::atomic<bool> m_quit{false};
    std::atomic<int> m_exitCode{0};
};

} // namespace qtdispatch
