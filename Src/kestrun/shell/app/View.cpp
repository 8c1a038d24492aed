#include "kestrun/shell/app/View.h"

#include "kestrun/comm/handler/EngineMessages.h"
#include "kestrun/model/Hint.h"
#include "kestrun/shell/app/Document.h"

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
    if (IsWindow())
        return;
    RegisterWindow(dispatcher, [this](win::Message& msg) { return OnMessage(msg); });
    OnCreate();
}

void View::DestroyWindow()
{
    if (!IsWindow())
        return;
    OnDestroy();
    UnregisterWindow();
}

LRESULT View::OnMessage(win::Message& msg)
{
    switch (msg.id) {
    case win::WM_TIMER:
        OnTimer(msg.wParam);
        return 0;
    case WM_UPDATEHINT:
        if (CdsHint* pHint = msg.valueAs<CdsHint>(); !pHint || !pHint->IsStale())
            OnUpdate(nullptr, static_cast<int>(msg.wParam), pHint);
        return 0;
    default:
        return -1;
    }
}

} // namespace shell
