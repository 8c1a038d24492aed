#pragma once
// What the core objects need of their windows. A desktop makes real windows
// through a WindowFactory; without a display the factory makes none, or only
// what stands in for them (the log view's echo to standard output). Every
// rule and every piece of state stays in the core object; a window only shows
// it and forwards the user's actions as messages to the core's window key.
#include <functional>
#include <memory>
#include <string>

#include "kestrun/shell/app/PopupMenu.h"
#include "platform/win/WinTypes.h"

class CdsDataView;
class CdsLogView;
class CdsServerFrame;

namespace shell {

class FrameWindow {
public:
    virtual ~FrameWindow() = default;
    virtual void Show(bool bVisible) = 0;
    virtual bool IsVisible() const = 0;
    // Brings the window to the top.
    virtual void Activate() = 0;
    // A status-bar pane changed; its text is the frame's.
    virtual void OnPaneChanged(int nPane) = 0;
    // The toolbar (ID_VIEW_TOOLBAR) or the status bar (ID_VIEW_STATUS_BAR)
    // is to be shown or hidden.
    virtual void ShowControlBar(UINT /*nBarId*/, bool /*bShow*/) {}
};

class LogWindow {
public:
    virtual ~LogWindow() = default;
    // The text inserted at the end, exactly as the view holds it.
    virtual void AppendText(const std::string& text) = 0;
    // The view cut its first n lines.
    virtual void RemoveFirstLines(int nLines) = 0;
};

class DataWindow {
public:
    virtual ~DataWindow() = default;
    virtual void Refresh() = 0;
    // Gives the keyboard focus to the device list, or with bBlocks to the block list.
    virtual void FocusList(bool /*bBlocks*/) {}
};

class TrayWindow {
public:
    virtual ~TrayWindow() = default;
    // Whether the desktop has a notification area at all.
    virtual bool IsAvailable() const = 0;
    // Adds, changes or removes the icon; false when the desktop refuses.
    virtual bool Add(int nIcon, const std::string& strTooltip) = 0;
    virtual bool Modify(int nIcon, const std::string& strTooltip) = 0;
    virtual bool Delete() = 0;
    // Shows the menu at the cursor; the chosen command, 0 for none.
    virtual UINT TrackPopupMenu(const ShellMenu& menu) = 0;

    // Where the icon's mouse messages (WM_LBUTTONDOWN ...) go.
    void SetMouseSink(std::function<void(UINT)> sink) { m_mouseSink = std::move(sink); }

protected:
    void NotifyMouse(UINT nMessage) const
    {
        if (m_mouseSink)
            m_mouseSink(nMessage);
    }

private:
    std::function<void(UINT)> m_mouseSink;
};

class WindowFactory {
public:
    virtual ~WindowFactory() = default;
    // Null: the object runs without a window.
    virtual std::unique_ptr<FrameWindow> CreateFrameWindow(CdsServerFrame& frame) = 0;
    virtual std::unique_ptr<LogWindow> CreateLogWindow(CdsLogView& view) = 0;
    virtual std::unique_ptr<DataWindow> CreateDataWindow(CdsDataView& view) = 0;
    // The notification area's icon; null: the desktop has none.
    virtual std::unique_ptr<TrayWindow> CreateTrayWindow() { return nullptr; }
};

} // namespace shell
