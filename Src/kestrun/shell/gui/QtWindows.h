#pragma once
// The desktop's windows for the core objects: the main window, and the data
// and log view widgets placed in its splitter (data above, log below). Each
// view's window is an adapter that owns its widget until the main window does.
#include <QPointer>

#include "kestrun/shell/app/Windows.h"
#include "kestrun/shell/gui/ServerMainWindow.h"

namespace shell::gui {

class QtWindows final : public WindowFactory {
public:
    std::unique_ptr<FrameWindow> CreateFrameWindow(CdsServerFrame& frame) override;
    std::unique_ptr<LogWindow> CreateLogWindow(CdsLogView& view) override;
    std::unique_ptr<DataWindow> CreateDataWindow(CdsDataView& view) override;
    // A QSystemTrayIcon; whether the desktop has a tray is asked when it shows.
    std::unique_ptr<TrayWindow> CreateTrayWindow() override;

    ServerMainWindow* MainWindow() const { return m_pMain; }

private:
    QPointer<ServerMainWindow> m_pMain;
};

} // namespace shell::gui
