#pragma once
// The test client's main window: the connection windows in an MDI area, the menus and
// the tool bar of the active connection window, the recent files and the status bar,
// over CMainFrame and CQuilletApp. Every connection window the application opens gets
// its window here; one whose document closes goes.
#include "quillet/views/MainFrame.h"
#include "quillet/views/QuilletApp.h"
#include "quillet/text/StringTable.h"
#include "quillet/gui/CommandActions.h"

#include <QMainWindow>

#include <map>
#include <memory>

class QMdiArea;
class QMenu;
class QToolBar;

namespace quillet {
class StringTable;

namespace gui {

class ConnectionWindow;

class MainWindow final : public QMainWindow {
public:
    MainWindow(CQuilletApp& app, CMainFrame& frame, const StringTable& texts, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Runs a command: the active connection window's, else the main window's.
    void Run(UINT id);
    // Windows for new documents, none for closed ones; menus and states follow.
    void SyncWindows();
    ConnectionWindow* ActiveWindow() const;
    ConnectionWindow* WindowOf(const CQuilletDoc* doc) const;
    QAction* Action(UINT id) const { return m_actions->Action(id); }
    QMdiArea* Area() const { return m_area; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Activated();
    void RebuildMenus();
    void UpdateStates();
    void CloseWindow(ConnectionWindow& window);

    CQuilletApp& m_app;
    CMainFrame& m_frame;
    const StringTable& m_texts;
    QMdiArea* m_area;
    std::unique_ptr<CommandActions> m_actions;
    std::map<const CQuilletDoc*, ConnectionWindow*> m_windows;
    std::map<MenuPopup, QMenu*> m_menus;
    QToolBar* m_tools;
};

} // namespace gui
} // namespace quillet
