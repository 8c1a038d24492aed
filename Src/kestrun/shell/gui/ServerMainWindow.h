#pragma once
// The main window on the desktop: the status bar with the frame's seven panes
// and a splitter with the data view above the log view. Closing the window
// asks the core frame, which decides and destroys the window when it closes.
#include <QMainWindow>

#include <array>

#include "kestrun/shell/ServerFrame.h"
#include "kestrun/shell/Windows.h"

class QLabel;
class QSplitter;

namespace shell::gui {

class ServerMainWindow final : public QMainWindow, public FrameWindow {
public:
    explicit ServerMainWindow(CdsServerFrame& frame);

    // Adds a pane to the splitter, top to bottom; the splitter owns it.
    void AddPane(QWidget* pPane);
    QSplitter* Splitter() const { return m_pSplitter; }
    QLabel* Pane(int nPane) const { return m_panes[static_cast<std::size_t>(nPane)]; }

    // Shown again, a minimized window comes back to its size.
    void Show(bool bVisible) override;
    bool IsVisible() const override { return isVisible(); }
    void Activate() override;
    void OnPaneChanged(int nPane) override;

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    // Minimizing hides to the tray, where the desktop has one.
    void changeEvent(QEvent* pEvent) override;

private:
    CdsServerFrame& m_frame;
    QSplitter* m_pSplitter;
    std::array<QLabel*, CdsServerFrame::kPaneCount> m_panes{};
};

} // namespace shell::gui
