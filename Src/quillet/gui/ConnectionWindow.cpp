#include "quillet/gui/ConnectionWindow.h"

#include "quillet/views/ContextMenus.h"
#include "quillet/doc/QuilletDoc.h"
#include "quillet/text/ResourceIds.h"
#include "quillet/text/StringTable.h"
#include "quillet/gui/QtText.h"
#include "quillet/gui/ViewModels.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTreeView>

#include "qtdispatch/ModalLoops.h"

namespace quillet::gui {

using namespace quillet::cmd;

ConnectionWindow::ConnectionWindow(CSplitterFrame& frame, const StringTable& texts,
                                   std::function<void(UINT)> routeOther, std::function<void(ConnectionWindow&)> close,
                                   QWidget* parent)
    : QMdiSubWindow(parent), m_frame(frame), m_routeOther(std::move(routeOther)), m_close(std::move(close))
{
    setWindowTitle(Q(Document().GetTitle()));
    m_actions = std::make_unique<CommandActions>(texts, m_frame.Commands().Ids(), this, Qt::WidgetWithChildrenShortcut,
                                                 [this](UINT id) { Run(id); });

    m_outer = new QSplitter(Qt::Vertical, this);
    m_inner = new QSplitter(Qt::Horizontal, m_outer);
    m_groups = new QTreeView(m_inner);
    m_groups->setObjectName("groups");
    m_groups->setHeaderHidden(true);
    m_groups->setRootIsDecorated(false);
    m_groupModel = new GroupTreeModel(m_frame.Groups(), this);
    m_groups->setModel(m_groupModel);
    m_items = new QTableView(m_inner);
    m_items->setObjectName("items");
    m_items->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_items->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_items->verticalHeader()->hide();
    m_items->setShowGrid(false);
    m_itemModel = new ItemTableModel(m_frame.Items(), this);
    m_items->setModel(m_itemModel);
    m_log = new QTableView(m_outer);
    m_log->setObjectName("log");
    m_log->verticalHeader()->hide();
    m_log->setShowGrid(false);
    m_log->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_logModel = new LogListModel(m_frame.Log(), texts, this);
    m_log->setModel(m_logModel);
    m_log->setColumnWidth(0, 500);
    m_log->setColumnWidth(1, 140);
    m_outer->setChildrenCollapsible(false);
    setWidget(m_outer);
    setAttribute(Qt::WA_DeleteOnClose, false);

    // The group tree: selection, double click, context menu 141.
    connect(m_groups->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& i) {
        if (m_syncing || !i.isValid() || i.row() == m_frame.Groups().Selection()) return;
        m_frame.Groups().Select(i.row());
        m_actions->Update({&m_frame.Commands()});
    });
    connect(m_groups, &QTreeView::doubleClicked, this, [this] { Run(ID_GET_STATE); });
    m_groups->setContextMenuPolicy(Qt::CustomContextMenu);
    QMenu* groupMenu = ContextMenu(texts, GroupContextMenu(), this);
    groupMenu->setObjectName("groupMenu");
    // A menu that opens shows the commands' states of that moment.
    auto fresh = [this] {
        if (m_detached) return;
        m_actions->Update({&m_frame.Commands()});
        UpdateContextActions();
    };
    connect(groupMenu, &QMenu::aboutToShow, this, fresh);
    connect(m_groups, &QWidget::customContextMenuRequested, this,
            [this, groupMenu](const QPoint& at) { qtdispatch::ExecMenu(*groupMenu, m_groups->viewport()->mapToGlobal(at)); });
    m_groupModel->afterRows = [this] { ShowGroupSelection(); };

    // The item list: selection, viewport, widths, context menu 140.
    connect(m_items->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        std::vector<int> rows;
        for (const QModelIndex& i : m_items->selectionModel()->selectedRows()) rows.push_back(i.row());
        m_frame.Items().SetSelection(std::move(rows));
        UpdateActions(nullptr);
    });
    connect(m_items->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { TellViewport(); });
    connect(m_items->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        const auto& shown = m_frame.Items().ShownColumns();
        if (!m_syncing && column >= 0 && std::size_t(column) < shown.size())
            m_frame.Items().CurrentColumns()[shown[column]].width = width;
    });
    m_items->setContextMenuPolicy(Qt::CustomContextMenu);
    QMenu* itemMenu = ContextMenu(texts, ItemContextMenu(), this);
    itemMenu->setObjectName("itemMenu");
    connect(itemMenu, &QMenu::aboutToShow, this, fresh);
    connect(m_items, &QWidget::customContextMenuRequested, this,
            [this, itemMenu](const QPoint& at) { qtdispatch::ExecMenu(*itemMenu, m_items->viewport()->mapToGlobal(at)); });
    m_itemModel->afterRows = [this] { AfterItemRows(); };
    m_itemModel->afterColumns = [this] { AfterItemColumns(); };
    AfterItemColumns();
    // A set-up file fills the views before their window exists: its rows size the column too.
    AfterItemRows();

    // The log follows its last row.
    m_logModel->afterRows = [this] {
        if (int last = m_frame.Log().LastInserted(); last >= 0) m_log->scrollTo(m_logModel->index(last, 0));
    };
    UpdateActions(nullptr);
}

ConnectionWindow::~ConnectionWindow()
{
    // The models let go of their core views before the window's widgets go.
    delete m_groupModel;
    delete m_itemModel;
    delete m_logModel;
}

QMenu* ConnectionWindow::ContextMenu(const StringTable& texts, const std::vector<ContextEntry>& entries,
                                     QWidget* parent)
{
    auto* menu = new QMenu(parent);
    for (const ContextEntry& entry : entries) {
        if (!entry.id) {
            QMenu* popup = ContextMenu(texts, entry.popup, menu);
            popup->setTitle(Q(texts.Text(entry.text)));
            menu->addMenu(popup);
            continue;
        }
        // Its own text; the state and the command are those of the window's action.
        QAction* action = menu->addAction(Q(texts.Text(entry.text)));
        action->setObjectName(IdName(entry.id));
        connect(action, &QAction::triggered, this, [this, id = entry.id] { Run(id); });
        m_contextActions.emplace_back(entry.id, action);
    }
    return menu;
}

void ConnectionWindow::UpdateContextActions()
{
    for (auto& [id, action] : m_contextActions) {
        const QAction* shared = m_actions->Action(id);
        action->setEnabled(shared && shared->isEnabled());
        action->setCheckable(shared && shared->isCheckable());
        action->setChecked(shared && shared->isChecked());
    }
}

void ConnectionWindow::Detach()
{
    if (m_detached) return;
    m_detached = true;
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_groups), static_cast<QAbstractItemView*>(m_items),
                                    static_cast<QAbstractItemView*>(m_log)}) {
        if (view->selectionModel()) view->selectionModel()->blockSignals(true);
        view->setModel(nullptr);
    }
    delete std::exchange(m_groupModel, nullptr);
    delete std::exchange(m_itemModel, nullptr);
    delete std::exchange(m_logModel, nullptr);
    hide();
    deleteLater();
}

void ConnectionWindow::Run(UINT id)
{
    if (m_detached) return;
    if (m_frame.Commands().Has(id)) m_frame.Commands().Run(id);
    else if (m_routeOther) m_routeOther(id);
    ApplyLayout();
    UpdateActions(nullptr);
}

void ConnectionWindow::UpdateActions(const CommandTable* mainTable)
{
    if (m_detached) return;
    m_actions->Update({&m_frame.Commands(), mainTable});
    UpdateContextActions();
    // The core selects groups itself too (a new group, the MMI cycle).
    ShowGroupSelection();
}

void ConnectionWindow::showEvent(QShowEvent* event)
{
    QMdiSubWindow::showEvent(event);
    if (m_created || m_detached) return;
    m_created = true;
    m_frame.OnCreateClient(m_outer->width(), m_outer->height());
    ApplyLayout();
    // The group tree is the view a new window starts in: its keys go there.
    m_groups->setFocus();
}

void ConnectionWindow::resizeEvent(QResizeEvent* event)
{
    QMdiSubWindow::resizeEvent(event);
    if (m_detached) return;
    m_frame.SetFrameHeight(m_outer->height());
    TellViewport();
}

void ConnectionWindow::ApplyLayout()
{
    // The splitters take the frame's layout when the window is made and when the log
    // pane is shown or hidden; in between the user may move them.
    if (!m_created || (m_applied && m_logShown == m_frame.IsLogShown())) return;
    const bool first = !m_applied;
    m_applied = true;
    m_logShown = m_frame.IsLogShown();
    const CSplitterFrame::Layout& l = m_frame.CurrentLayout();
    m_log->setVisible(m_logShown);
    m_outer->setSizes({l.row0, l.row1});
    if (first) m_inner->setSizes({l.col0, l.col1});
    m_groups->setMinimumWidth(l.col0Min);
}

void ConnectionWindow::ShowGroupSelection()
{
    const int selected = m_frame.Groups().Selection();
    const QModelIndex want = selected >= 0 ? m_groupModel->index(selected, 0) : QModelIndex();
    if (m_groups->currentIndex() == want) return;
    m_syncing = true;
    m_groups->setCurrentIndex(want);
    m_syncing = false;
}

void ConnectionWindow::AfterItemRows()
{
    // New rows make the ItemID column as wide as its texts; the descriptor keeps it.
    const int column = m_itemModel->ItemIdColumn();
    if (column >= 0 && m_itemModel->rowCount() > 0) {
        m_items->resizeColumnToContents(column);
        m_frame.Items().CurrentColumns()[COL_ITEMID].width = m_items->columnWidth(column);
    }
    TellViewport();
}

void ConnectionWindow::AfterItemColumns()
{
    m_syncing = true;
    const auto& shown = m_frame.Items().ShownColumns();
    for (std::size_t c = 0; c < shown.size(); ++c)
        m_items->setColumnWidth(int(c), m_frame.Items().CurrentColumns()[shown[c]].width);
    m_syncing = false;
}

void ConnectionWindow::TellViewport()
{
    const int top = std::max(0, m_items->rowAt(0));
    const int rowHeight = std::max(1, m_items->verticalHeader()->defaultSectionSize());
    m_frame.Items().SetViewport(top, m_items->viewport()->height() / rowHeight + 1);
}

void ConnectionWindow::closeEvent(QCloseEvent* event)
{
    // The main window closes the document (asking to save it); it deletes this window
    // when the document went.
    event->ignore();
    if (m_close && !m_detached) m_close(*this);
}

} // namespace quillet::gui
