#include "kestrun/shell/app/Frame.h"

#include "kestrun/shell/app/Application.h"
#include "kestrun/shell/app/Document.h"
#include "kestrun/shell/app/ShellIds.h"

namespace shell {

Frame::Frame() = default;

Frame::~Frame() { DestroyWindow(); }

bool Frame::Create(Application& app, Document* pDocument)
{
    if (IsWindow() || !app.GetDispatcher())
        return false;
    m_pApp = &app;
    m_pDocument = pDocument;
    RegisterWindow(*app.GetDispatcher(), [this](win::Message& msg) { return OnMessage(msg); });
    if (OnCreate() == -1 || !OnCreateClient()) {
        DestroyWindow();
        return false;
    }
    return true;
}

void Frame::DestroyWindow()
{
    if (!IsWindow())
        return;
    for (auto& pView : m_views) {
        if (Document* pDocument = pView->GetDocument())
            pDocument->RemoveView(pView.get());
        pView->DestroyWindow();
    }
    OnDestroy();
    m_views.clear();
    m_pWindow.reset();
    UnregisterWindow();
}

void Frame::InitialUpdateFrame()
{
    for (auto& pView : m_views)
        pView->OnInitialUpdate();
}

void Frame::ShowWindow(bool bVisible)
{
    m_bVisible = bVisible;
    if (m_pWindow)
        m_pWindow->Show(bVisible);
}

bool Frame::IsWindowVisible() const { return m_pWindow ? m_pWindow->IsVisible() : m_bVisible; }

bool Frame::PostCommand(UINT nId) { return PostMessage(WM_COMMAND, nId); }

LRESULT Frame::OnMessage(win::Message& msg)
{
    switch (msg.id) {
    case win::WM_TIMER:
        OnTimer(msg.wParam);
        return 0;
    case WM_COMMAND: {
        const UINT nId = static_cast<UINT>(msg.wParam);
        if (nId == ID_VIEW_TOOLBAR || nId == ID_VIEW_STATUS_BAR) {
            bool& bShown = nId == ID_VIEW_TOOLBAR ? m_bToolBar : m_bStatusBar;
            bShown = !bShown;
            if (m_pWindow)
                m_pWindow->ShowControlBar(nId, bShown);
        } else if (!OnCommand(nId) && m_pApp) {
            m_pApp->OnCommand(nId);
        }
        return 0;
    }
    case WM_CLOSE:
        OnClose();
        return 0;
    default:
        return -1;
    }
}

void Frame::OnUpdateCommand(UINT nId, CommandState& state) const
{
    if (nId == ID_VIEW_TOOLBAR || nId == ID_VIEW_STATUS_BAR)
        state.bChecked = IsControlBarVisible(nId);
}

bool Frame::IsControlBarVisible(UINT nBarId) const
{
    if (nBarId == ID_VIEW_TOOLBAR)
        return m_bToolBar;
    return nBarId == ID_VIEW_STATUS_BAR && m_bStatusBar;
}

void Frame::OnClose()
{
    if (m_pApp)
        m_pApp->CloseMainFrame(0);
}

View* Frame::AddView(std::unique_ptr<View> pView)
{
    View* pRaw = pView.get();
    pRaw->CreateWindow(*GetDispatcher());
    if (m_pDocument)
        m_pDocument->AddView(pRaw);
    m_views.push_back(std::move(pView));
    return pRaw;
}

} // namespace shell
