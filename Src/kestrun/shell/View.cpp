#include "kestrun/shell/View.h"

#include "kestrun/comm/EngineMessages.h"
#include "kestrun/model/Hint.h"
#include "kestrun/shell/Document.h"

namespace shell {

View::View() = default;

View::~View()
{
    DestroyWindow();
    if (m_pDocument)
        m_pDocument->RemoveView(this);
}

void View::CreateWindow(win::Dispatcher& dispatcher)
{
    if (m_key != win::kNoWindow)
        return;
    m_pDispatcher = &dispatcher;
    m_key = dispatcher.registerWindow([this](win::Message& msg) { return OnMessage(msg); });
    OnCreate();
}

void View::DestroyWindow()
{
    if (m_key == win::kNoWindow)
        return;
    OnDestroy();
    m_pDispatcher->unregisterWindow(m_key);
    m_key = win::kNoWindow;
}

LRESULT View::OnMessage(win::Message& msg)
{
    switch (msg.id) {
    case win::WM_TIMER:
        OnTimer(msg.wParam);
        return 0;
    case WM_UPDATEHINT:
        OnUpdate(nullptr, static_cast<int>(msg.wParam), msg.valueAs<CdsHint>());
        return 0;
    default:
        return -1;
    }
}

} // namespace shell
