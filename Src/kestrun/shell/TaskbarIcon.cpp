#include "kestrun/shell/TaskbarIcon.h"

#include "kestrun/shell/ServerFrame.h"
#include "kestrun/shell/ShellIds.h"

namespace shell {

COXTaskbarIcon::COXTaskbarIcon() = default;

COXTaskbarIcon::~COXTaskbarIcon()
{
    Hide();
    UnregisterWindow();
}

bool COXTaskbarIcon::Create(UINT nId, win::Dispatcher& dispatcher, std::unique_ptr<TrayWindow> pTray)
{
    m_nId = nId;
    m_pTray = std::move(pTray);
    RegisterWindow(dispatcher, [this](win::Message& msg) { return OnMessage(msg); });
    if (m_pTray)
        m_pTray->SetMouseSink([this](UINT nMessage) { PostMessage(WM_TASKBARNOTIFY, m_nId, nMessage); });
    return IsWindow();
}

LRESULT COXTaskbarIcon::OnMessage(win::Message& msg)
{
    if (msg.id == win::WM_TIMER) {
        OnTimer(static_cast<UINT_PTR>(msg.wParam));
        return 0;
    }
    if (msg.id != WM_TASKBARNOTIFY || static_cast<UINT>(msg.wParam) != m_nId)
        return 0;
    switch (static_cast<UINT>(msg.lParam)) {
    case WM_LBUTTONDOWN: OnLButtonDown(); break;
    case WM_LBUTTONDBLCLK: OnLButtonDblClk(); break;
    case WM_RBUTTONDOWN: OnRButtonDown(); break;
    default: break;
    }
    return -1;
}

bool COXTaskbarIcon::SetTooltipText(const std::string& strText, bool bRefresh)
{
    m_strTooltip = strText;
    return !(bRefresh && m_bShowing) || Refresh();
}

int COXTaskbarIcon::SetIcon(int nIcon, bool bRefresh)
{
    const int previous = m_nIcon;
    m_nIcon = nIcon;
    if (bRefresh && m_bShowing)
        Refresh();
    return previous;
}

bool COXTaskbarIcon::Show()
{
    if (m_bShowing || !m_pTray || !m_pTray->Add(m_nIcon, m_strTooltip))
        return false;
    m_bShowing = true;
    return true;
}

bool COXTaskbarIcon::Hide()
{
    if (!m_bShowing || !m_pTray || !m_pTray->Delete())
        return false;
    m_bShowing = false;
    return true;
}

bool COXTaskbarIcon::Refresh() { return m_bShowing && m_pTray && m_pTray->Modify(m_nIcon, m_strTooltip); }

ShellMenu CdsTaskBar::GetMenu()
{
    return {{ID_MAIN_SHOW, "&Main Window", true}, {ID_TRAY_HIDE, "&Tray Icon", false}, {}, {ID_QUIT_CONFIRM, "E&xit", false}};
}

void CdsTaskBar::ShowMenu()
{
    TrayWindow* pTray = GetTray();
    if (!pTray || !m_pOwner)
        return;
    if (const UINT command = pTray->TrackPopupMenu(GetMenu()))
        m_pOwner->PostCommand(command);
}

void CdsTaskBar::OnLButtonDown() { SetTimer(ID_TIMER_CLICK, kClickDelayMs); }

void CdsTaskBar::OnLButtonDblClk()
{
    m_bDoubleClicked = true;
    if (m_pOwner)
        m_pOwner->PostCommand(ID_MAIN_SHOW);
}

void CdsTaskBar::OnRButtonDown() { ShowMenu(); }

void CdsTaskBar::OnTimer(UINT_PTR nId)
{
    if (nId != ID_TIMER_CLICK)
        return;
    KillTimer(ID_TIMER_CLICK);
    // A double click came in the meantime: it showed the main window instead.
    if (m_bDoubleClicked)
        m_bDoubleClicked = false;
    else
        ShowMenu();
}

} // namespace shell
