#include "kestrun/shell/app/DispatcherWindow.h"

namespace shell {

bool DispatcherWindow::SetTimer(UINT_PTR nId, DWORD dwPeriodMs)
{
    return IsWindow() && m_pDispatcher->startTimer(m_key, nId, dwPeriodMs);
}

void DispatcherWindow::KillTimer(UINT_PTR nId)
{
    if (IsWindow())
        m_pDispatcher->stopTimer(m_key, nId);
}

bool DispatcherWindow::PostMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, std::unique_ptr<win::Payload> payload)
{
    return IsWindow() && m_pDispatcher->post(m_key, win::Message(nMsg, wParam, lParam, std::move(payload)));
}

void DispatcherWindow::RegisterWindow(win::Dispatcher& dispatcher, win::WindowProc proc)
{
    m_pDispatcher = &dispatcher;
    m_key = dispatcher.registerWindow(std::move(proc));
}

void DispatcherWindow::UnregisterWindow()
{
    if (!IsWindow())
        return;
    m_pDispatcher->unregisterWindow(m_key);
    m_key = win::kNoWindow;
}

} // namespace shell
