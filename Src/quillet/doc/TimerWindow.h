#pragma once
// A window key of the dispatcher whose timer ticks go to one handler; the key is
// given back when the object goes, which stops its timers. Application thread only.
#include "platform/win/Dispatcher.h"

#include <functional>

namespace quillet {

class TimerWindow {
public:
    using OnTimer = std::function<void(UINT_PTR id)>;

    TimerWindow(win::Dispatcher& dispatcher, OnTimer onTimer)
        : m_dispatcher(dispatcher), m_key(dispatcher.registerWindow([onTimer = std::move(onTimer)](win::Message& msg) {
            if (msg.id == win::WM_TIMER) onTimer(UINT_PTR(msg.wParam));
            return LRESULT(0);
        }))
    {
    }
    ~TimerWindow() { m_dispatcher.unregisterWindow(m_key); }
    TimerWindow(const TimerWindow&) = delete;
    TimerWindow& operator=(const TimerWindow&) = delete;

    void Start(UINT_PTR id, DWORD intervalMs) { m_dispatcher.startTimer(m_key, id, intervalMs); }
    void Stop(UINT_PTR id) { m_dispatcher.stopTimer(m_key, id); }
    win::WindowKey Key() const { return m_key; }
    win::Dispatcher& Dispatcher() const { return m_dispatcher; }

private:
    win::Dispatcher& m_dispatcher;
    win::WindowKey m_key;
};

} // namespace quillet
