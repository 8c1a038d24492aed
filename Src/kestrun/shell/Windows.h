#pragma once
// What the core objects need of their windows. A desktop makes real windows
// through a WindowFactory; without a display the factory makes none, or only
// what stands in for them (the log view's echo to standard output). Every
// rule and every piece of state stays in the core object; a window only shows
// it and forwards the user's actions as messages to the core's window key.
#include <memory>
#include <string>

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

class WindowFactory {
public:
    virtual ~WindowFactory() = default;
    // Null: the object runs without a window.
    virtual std::unique_ptr<FrameWindow> CreateFrameWindow(CdsServerFrame& frame) = 0;
    virtual std::unique_ptr<LogWindow> CreateLogWindow(CdsLogView& view) = 0;
    virtual std::unique_ptr<DataWindow> CreateDataWindow(CdsDataView& view) = 0;
};

} // namespace shell
