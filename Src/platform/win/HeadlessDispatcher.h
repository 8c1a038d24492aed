#pragma once
// Dispatcher loop for running without a display: run() serves posted work
// and timers on the calling thread until quit().
#include "platform/win/DispatchCore.h"

#include <condition_variable>
#include <mutex>

namespace win {

class HeadlessDispatcher final : public DispatchCore {
public:
    explicit HeadlessDispatcher(const Clock& clock = SystemClock::instance());

    // Makes the calling thread the application thread; returns quit's code.
    int run();
    void quit(int exitCode) override;

protected:
    void wake() override;

private:
    std::mutex m_loopMutex; // leaf: guards the flags below; work runs without it
    std::condition_variable m_loopCv;
    bool m_woken = false;
    bool m_quit = false;
    int m_exitCode = 0;
};

} // namespace win
