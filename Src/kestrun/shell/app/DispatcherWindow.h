#pragma once
// A window of the application's dispatcher: the key that messages and timers
// reach. The main window and each view are one. Application thread only,
// except that other threads may post to the key they were given.
#include <memory>

#include "platform/win/Dispatcher.h"

namespace shell {

class DispatcherWindow {
public:
    DispatcherWindow() = default;
    DispatcherWindow(const DispatcherWindow&) = delete;
    DispatcherWindow& operator=(const DispatcherWindow&) = delete;

    win::WindowKey GetWindowKey() const { return m_key; }
    win::Dispatcher* GetDispatcher() const { return m_pDispatcher; }
    bool IsWindow() const { return m_key != win::kNoWindow; }

    // Starts (or restarts with the new period) the window's timer; false without a window.
    bool SetTimer(UINT_PTR nId, DWORD dwPeriodMs);
    void KillTimer(UINT_PTR nId);
    // To the window's own key; false when it is gone.
    bool PostMessage(UINT nMsg, WPARAM wParam = 0, LPARAM lParam = 0, std::unique_ptr<win::Payload> payload = nullptr);

protected:
    ~DispatcherWindow() { UnregisterWindow(); }
    void RegisterWindow(win::Dispatcher& dispatcher, win::WindowProc proc);
    // Its timers stop and waiting messages are dropped.
    void UnregisterWindow();

private:
    win::Dispatcher* m_pDispatcher = nullptr;
    win::WindowKey m_key = win::kNoWindow;
};

} // namespace shell
