#pragma once
// A connection window: the group tree and the item list side by side above the message
// log, showing one CSplitterFrame, with one action per command of the window. Commands
// the window's table lacks go to the main window.
#include "quillet/views/SplitterFrame.h"
#include "quillet/gui/CommandActions.h"

#include <QMdiSubWindow>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QMenu;
class QSplitter;
class QTableView;
class QTreeView;

namespace quillet {
class StringTable;
struct ContextEntry;

namespace gui {

class GroupTreeModel;
class ItemTableModel;
class LogListModel;

class ConnectionWindow final : public QMdiSubWindow {
public:
    // routeOther runs a command the window's table does not hold; close asks the main
    // window to close the document (it may refuse).
    ConnectionWindow(CSplitterFrame& frame, const StringTable& texts, std::function<void(UINT)> routeOther,
                     std::function<void(ConnectionWindow&)> close, QWidget* parent = nullptr);
    ~ConnectionWindow() override;

    CSplitterFrame& Frame() const { return m_frame; }
    CQuilletDoc& Document() const { return m_frame.Document(); }
    const CommandActions& Actions() const { return *m_actions; }
    // Runs a command of the window (or the main window's), then shows its results.
    void Run(UINT id);
    // The actions' states from the window's table, then the main window's.
    void UpdateActions(const CommandTable* mainTable);
    // The document is about to go: the window lets go of its views at once and is
    // deleted later.
    void Detach();

    QTreeView* GroupTree() const { return m_groups; }
    QTableView* ItemList() const { return m_items; }
    QTableView* LogList() const { return m_log; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QMenu* ContextMenu(const StringTable& texts, const std::vector<ContextEntry>& entries, QWidget* parent);
    void UpdateContextActions();
    void ApplyLayout();
    void ShowGroupSelection();
    void AfterItemRows();
    void AfterItemColumns();
    void TellViewport();

    CSplitterFrame& m_frame;
    std::function<void(UINT)> m_routeOther;
    std::function<void(ConnectionWindow&)> m_close;
    std::unique_ptr<CommandActions> m_actions;
    // The right-click menus' entries, each with the command it runs.
    std::vector<std::pair<UINT, QAction*>> m_contextActions;
    QSplitter *m_outer, *m_inner;
    QTreeView* m_groups;
    QTableView *m_items, *m_log;
    GroupTreeModel* m_groupModel;
    ItemTableModel* m_itemModel;
    LogListModel* m_logModel;
    bool m_detached = false;
    bool m_created = false;
    bool m_applied = false;
    bool m_syncing = false;
    bool m_logShown = false;
};

} // namespace gui
} // namespace quillet
