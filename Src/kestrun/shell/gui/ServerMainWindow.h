#pragma once
// The main window on the desktop: the frame's menu bar and toolbar, the status
// bar with the frame's seven panes and a splitter with the data view above the
// log view. A chosen command is posted to the core frame, which also says
// which commands are enabled or checked. Closing the window asks the core
// frame, which decides and destroys the window when it closes.
#include <QMainWindow>

#include <array>
#include <map>

#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/app/Windows.h"

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;

namespace shell::gui {

class ServerMainWindow final : public QMainWindow, public FrameWindow {
public:
    explicit ServerMainWindow(CdsServerFrame& frame);

    // Adds a pane to the splitter, top to bottom; the splitter owns it.
    void AddPane(QWidget* pPane);
    QSplitter* Splitter() const { return m_pSplitter; }
    QLabel* Pane(int nPane) const { return m_panes[static_cast<std::size_t>(nPane)]; }
    // The action of a command of the menus or the toolbar; null when there is none.
    QAction* Action(UINT nId) const;
    QToolBar* ToolBar() const { return m_pToolBar; }
    // Enablement, checks and texts of every action as the frame has them now.
    void UpdateActions();

    // Shown again, a minimized window comes back to its size.
    void Show(bool bVisible) override;
    bool IsVisible() const override { return isVisible(); }
    void Activate() override;
    void OnPaneChanged(int nPane) override;
    void ShowControlBar(UINT nBarId, bool bShow) override;

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    // Minimizing hides to the tray, where the desktop has one.
    void changeEvent(QEvent* pEvent) override;

private:
    void BuildMenus();
    QMenu* MakeMenu(const shell::MenuEntry& entry);
    QAction* ActionFor(UINT nId, const std::string& strText, bool bCheck);

    CdsServerFrame& m_frame;
    QToolBar* m_pToolBar = nullptr;
    std::map<UINT, QAction*> m_actions;
    std::map<UINT, QString> m_texts; // each command's own text, before the frame replaces it
    QSplitter* m_pSplitter;
    std::array<QLabel*, CdsServerFrame::kPaneCount> m_panes{};
};

} // namespace shell::gui
