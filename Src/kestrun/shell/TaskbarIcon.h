#pragma once
// The server's icon in the notification area. COXTaskbarIcon is the general
// icon with its id, icon, tooltip and showing flag, bound to a hidden window
// of the dispatcher that receives the icon's mouse messages; CdsTaskBar gives
// the server's behaviour: a click opens the menu after 500 ms, a double click
// shows the main window instead, the right button opens the menu at once.
// The desktop's notification area is reached through a TrayWindow (Windows.h);
// without one (or when the desktop has no notification area) the icon never
// shows.
//
// Application thread only.
#include <memory>
#include <string>

#include "kestrun/shell/DispatcherWindow.h"
#include "kestrun/shell/PopupMenu.h"
#include "kestrun/shell/Windows.h"

class CdsServerFrame;

namespace shell {

// Messages of the icon's hidden window.
enum : UINT {
    WM_TASKBARNOTIFY = 0x80E6, // wParam icon id, lParam the mouse message
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONDBLCLK = 0x0203,
    WM_RBUTTONDOWN = 0x0204,
};

class COXTaskbarIcon : public DispatcherWindow {
public:
    COXTaskbarIcon();
    virtual ~COXTaskbarIcon();
    COXTaskbarIcon(const COXTaskbarIcon&) = delete;
    COXTaskbarIcon& operator=(const COXTaskbarIcon&) = delete;

    // Makes the hidden window; the tray window reaches the notification area
    // (null: there is none). Its mouse messages arrive as WM_TASKBARNOTIFY.
    virtual bool Create(UINT nId, win::Dispatcher& dispatcher, std::unique_ptr<TrayWindow> pTray);
    UINT GetID() const { return m_nId; }
    bool IsShowing() const { return m_bShowing; }
    bool IsAvailable() const { return m_pTray && m_pTray->IsAvailable(); }

    virtual bool SetTooltipText(const std::string& strText, bool bRefresh = true);
    virtual std::string GetTooltipText() const { return m_strTooltip; }
    // The previous icon.
    virtual int SetIcon(int nIcon, bool bRefresh = true);
    virtual int GetIcon() const { return m_nIcon; }
    // False when nothing was to be done or the desktop refused.
    virtual bool Show();
    virtual bool Hide();
    virtual bool Refresh();

protected:
    virtual void OnLButtonDown() {}
    virtual void OnLButtonDblClk() {}
    virtual void OnRButtonDown() {}
    virtual void OnTimer(UINT_PTR /*nId*/) {}
    TrayWindow* GetTray() const { return m_pTray.get(); }

private:
    LRESULT OnMessage(win::Message& msg);

    UINT m_nId = 0;
    bool m_bShowing = false;
    int m_nIcon = 0;
    std::string m_strTooltip;
    std::unique_ptr<TrayWindow> m_pTray;
};

class CdsTaskBar : public COXTaskbarIcon {
public:
    enum : UINT { IDR_TRAY_MENU = 23295, IDI_TRAY = 23297, ID_TIMER_CLICK = 5 };
    static constexpr DWORD kClickDelayMs = 500;

    void SetOwner(CdsServerFrame* pOwner) { m_pOwner = pOwner; }
    CdsServerFrame* GetOwner() const { return m_pOwner; }
    // Menu 23295: "&Main Window", "&Tray Icon", a separator, "E&xit".
    static ShellMenu GetMenu();
    // Shows the menu; its command goes to the owner frame.
    void ShowMenu();

protected:
    void OnLButtonDown() override;
    void OnLButtonDblClk() override;
    void OnRButtonDown() override;
    void OnTimer(UINT_PTR nId) override;

private:
    CdsServerFrame* m_pOwner = nullptr; // the frame owns this icon
    bool m_bDoubleClicked = false;
};

} // namespace shell
