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

#include "kestrun/shell/app/DispatcherWindow.h"
#include "kestrun/shell/app/PopupMenu.h"
#include "kestrun/shell/app/Windows.h"

class CdsServerFrame;

namespace shell {
class Frame;
}

namespace shell {

// Messages of the icon's hidden window.
enum : UINT {
    WM_TASKBARNOTIFY = 0x80E6, // wParam icon id, lParam the mouse message
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONDBLCLK = 0x0203,
    WM_RBUTTONDOWN = 0x0204,
    WM_RBUTTONUP = 0x0205,
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

    // The notification area shows at most kMaxTip characters of the tooltip.
    static constexpr std::size_t kMaxTip = 128;
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

// A second icon, without a window of its own: its menu's commands go to the
// owner window. Nothing in the server makes one; a program may.
class CdsTrayIcon {
public:
    static constexpr std::size_t kMaxTooltip = 127;

    // Adds the icon at once when there is an owner and a tray; the result
    // decides whether the icon is enabled. The menu stands for the menu
    // resource of the icon's id.
    CdsTrayIcon(Frame* pOwner, std::unique_ptr<TrayWindow> pTray, const std::string& strTooltip, int nIcon, UINT nId,
                ShellMenu menu);
    virtual ~CdsTrayIcon();
    CdsTrayIcon(const CdsTrayIcon&) = delete;
    CdsTrayIcon& operator=(const CdsTrayIcon&) = delete;

    bool IsEnabled() const { return m_bEnabled; }
    bool IsHidden() const { return m_bHidden; }
    void Hide();
    // Hides, then adds the icon again.
    void Show();
    // Each changes its one value and the icon; false when not enabled.
    bool SetIcon(int nIcon);
    bool SetTooltipText(const std::string& strTooltip);
    bool SetOwner(Frame* pOwner);
    // Empty when not enabled.
    std::string GetTooltipText() const { return m_bEnabled ? m_strTooltip : std::string(); }
    Frame* GetOwner() const { return m_pOwner; }

    // The icon's mouse message: the right button released shows the menu
    // (its first entry the default), a double click sends the first entry's
    // command to the owner. 0 for another icon's id, else 1.
    virtual LRESULT OnTrayNotification(WPARAM wParam, LPARAM lParam);

private:
    Frame* m_pOwner;
    std::unique_ptr<TrayWindow> m_pTray;
    std::string m_strTooltip;
    int m_nIcon;
    UINT m_nId;
    ShellMenu m_menu;
    bool m_bEnabled = false;
    bool m_bHidden = false;
};

} // namespace shell
