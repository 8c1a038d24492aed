#include "kestrun/shell/server/TaskbarIcon.h"

#include <algorithm>

#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/app/ShellIds.h"

namespace shell {

namespace {

// The notification area takes at most kMaxTip characters; a cut never splits
// a UTF-8 sequence.
std::string TipOf(const std::string& strText)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < strText.size(); ++i) {
        if ((static_cast<unsigned char>(strText[i]) & 0xC0) != 0x80 && characters++ == COXTaskbarIcon::kMaxTip)
            return strText.substr(0, i);
    }
    return strText;
}

} // namespace

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
    if (m_bShowing || !m_pTray || !m_pTray->Add(m_nIcon, TipOf(m_strTooltip)))
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

bool COXTaskbarIcon::Refresh() { return m_bShowing && m_pTray && m_pTray->Modify(m_nIcon, TipOf(m_strTooltip)); }

ShellMenu CdsTaskBar::GetMenu()
{
    return {{ID_MAIN_SHOW, "&Main Window", true}, {ID_TRAY_HIDE, "&Tray Icon", false}, {}, {ID_QUIT_CONFIRM, "E&xit", false}};
}

void CdsTaskBar::ShowMenu()
{
    TrayWindow* pTray = GetTray();
    if (!pTray || !m_pOwner)
        return;
    // The owner active first, so that a click elsewhere closes the menu.
    if (FrameWindow* pWindow = m_pOwner->GetFrameWindow())
        pWindow->Activate();
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

CdsTrayIcon::CdsTrayIcon(Frame* pOwner, std::unique_ptr<TrayWindow> pTray, const std::string& strTooltip, int nIcon,
                         UINT nId, ShellMenu menu)
    : m_pOwner(pOwner), m_pTray(std::move(pTray)), m_strTooltip(strTooltip.substr(0, kMaxTooltip)), m_nIcon(nIcon),
      m_nId(nId), m_menu(std::move(menu))
{
    if (!m_pOwner || !m_pTray)
        return;
    m_pTray->SetMouseSink([this](UINT nMessage) { OnTrayNotification(m_nId, nMessage); });
    m_bEnabled = m_pTray->Add(m_nIcon, m_strTooltip);
}

CdsTrayIcon::~CdsTrayIcon()
{
    if (m_bEnabled && !m_bHidden)
        m_pTray->Delete();
}

void CdsTrayIcon::Hide()
{
    if (!m_bEnabled || m_bHidden)
        return;
    m_pTray->Delete();
    m_bHidden = true;
}

void CdsTrayIcon::Show()
{
    Hide();
    if (m_bEnabled && m_pTray->Add(m_nIcon, m_strTooltip))
        m_bHidden = false;
}

bool CdsTrayIcon::SetIcon(int nIcon)
{
    if (!m_bEnabled)
        return false;
    m_nIcon = nIcon;
    return m_pTray->Modify(m_nIcon, m_strTooltip);
}

bool CdsTrayIcon::SetTooltipText(const std::string& strTooltip)
{
    if (!m_bEnabled)
        return false;
    m_strTooltip = strTooltip.substr(0, kMaxTooltip);
    return m_pTray->Modify(m_nIcon, m_strTooltip);
}

bool CdsTrayIcon::SetOwner(Frame* pOwner)
{
    if (!m_bEnabled)
        return false;
    m_pOwner = pOwner;
    return m_pTray->Modify(m_nIcon, m_strTooltip);
}

LRESULT CdsTrayIcon::OnTrayNotification(WPARAM wParam, LPARAM lParam)
{
    if (static_cast<UINT>(wParam) != m_nId)
        return 0;
    const auto first = std::find_if(m_menu.begin(), m_menu.end(), [](const ShellMenuItem& item) { return item.nCommand; });
    if (first == m_menu.end() || !m_pOwner)
        return 1;
    if (static_cast<UINT>(lParam) == WM_RBUTTONUP) {
        ShellMenu menu = m_menu;
        for (ShellMenuItem& item : menu)
            item.bDefault = item.nCommand == first->nCommand;
        if (const UINT command = m_pTray->TrackPopupMenu(menu))
            m_pOwner->PostCommand(command);
    } else if (static_cast<UINT>(lParam) == WM_LBUTTONDBLCLK) {
        win::Message command(WM_COMMAND, first->nCommand, 0);
        m_pOwner->OnMessage(command);
    }
    return 1;
}

} // namespace shell
