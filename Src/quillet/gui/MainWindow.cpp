#include "quillet/gui/MainWindow.h"

#include "quillet/text/ResourceIds.h"
#include "quillet/text/StringTable.h"
#include "quillet/gui/ConnectionWindow.h"
#include "quillet/gui/QtText.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace quillet::gui {

using namespace quillet::cmd;

namespace {

// Ids of a popup; 0 is a separator, and another popup stands in its place by id
// MENU_... + 1 (never a command id).
constexpr UINT kPopupMark = 0x10000;
struct PopupRow {
    MenuPopup popup;
    std::vector<UINT> ids;
};
const std::vector<PopupRow>& Popups()
{
    static const std::vector<PopupRow> kPopups = {
        {MENU_FILE, {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_CLOSE, ID_FILE_SAVE, ID_FILE_SAVE_AS, 0, 32830, 32831, 32832,
                     32833, 32834, 0, ID_APP_EXIT}},
        {MENU_EDIT, {ID_EDIT_COPY}},
        {MENU_SERVER, {ID_SERVER_CONNECT, ID_SERVER_STATUS, 0, ID_ADD_GROUP, ID_REMOVE_GROUP, ID_GET_GROUP_BY_NAME,
                       ID_GET_ERROR_STRING, ID_GROUP_ENUM, 0, ID_EXPERT_MODE}},
        {MENU_GROUP, {ID_GET_STATE, ID_ENUMERATE_ITEMS, ID_COUNTER_RESET, ID_MMI_EMULATION, ID_CONFIGURE_EVENTS, 0,
                      kPopupMark + MENU_ADVISE}},
        {MENU_ADVISE, {ID_ADVISE_NONE, ID_ADVISE_DATAOBJECT_TIME, ID_ADVISE_DATAOBJECT, ID_ADVISE_CONNECTIONPOINT,
                       ID_ADVISE_GROUPS}},
        {MENU_ITEM, {ID_ADD_ITEM, ID_REMOVE_ITEMS, ID_ACTIVE_STATE, ID_SET_DATATYPE, ID_CHANGE_HANDLES, 0,
                     ID_READ_FROM_CACHE, ID_SYNC_READ, ID_SYNC_WRITE, kPopupMark + MENU_ASYNCIO,
                     kPopupMark + MENU_ASYNCIO2, 0, ID_IMPORT_ITEMS}},
        {MENU_ASYNCIO, {ID_ASYNCIO_READ, ID_ASYNCIO_WRITE, ID_ASYNCIO_REFRESH}},
        {MENU_ASYNCIO2, {ID_ASYNCIO2_READ, ID_ASYNCIO2_WRITE, ID_ASYNCIO2_REFRESH, ID_ASYNCIO2_ENABLE}},
        {MENU_VIEW, {ID_ITEM_COLUMNS, ID_VIEW_UPDATE_TIMER, ID_MESSAGE_LOG}},
        {MENU_LOG, {ID_ENABLE_LOG_VIEW, ID_CONFIGURE_LOGGER, ID_DISPLAY_MESSAGES, ID_CLEAR_LOG}},
        {MENU_HELP, {ID_APP_ABOUT}},
    };
    return kPopups;
}
constexpr MenuPopup kBar[] = {MENU_FILE, MENU_EDIT, MENU_SERVER, MENU_GROUP, MENU_ITEM, MENU_VIEW, MENU_LOG, MENU_HELP};
constexpr UINT kTools[] = {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_SERVER_CONNECT, ID_ADD_GROUP, ID_ADD_ITEM,
                           ID_REMOVE_ITEMS, 0, ID_SYNC_READ, ID_SYNC_WRITE, 0, ID_APP_ABOUT};
constexpr int kRefreshMs = 250;

} // namespace

MainWindow::MainWindow(CQuilletApp& app, CMainFrame& frame, const StringTable& texts, QWidget* parent)
    : QMainWindow(parent), m_app(app), m_frame(frame), m_texts(texts)
{
    setWindowTitle(Q(m_frame.Title()));
    m_area = new QMdiArea(this);
    setCentralWidget(m_area);
    std::vector<UINT> ids = m_frame.Commands().Ids();
    ids.push_back(ID_APP_EXIT);
    m_actions = std::make_unique<CommandActions>(texts, ids, this, Qt::WindowShortcut, [this](UINT id) { Run(id); });
    for (const PopupRow& row : Popups()) {
        auto* menu = new QMenu(Q(texts.Text(IDS_MENU_FIRST + row.popup)), this);
        menu->setObjectName(QString("menu%1").arg(row.popup));
        m_menus[row.popup] = menu;
    }
    for (MenuPopup popup : kBar) menuBar()->addMenu(m_menus[popup]);
    m_tools = addToolBar(QString());
    m_tools->setObjectName("tools");

    auto* message = new QLabel(this);
    statusBar()->addWidget(message, 1);
    // Qt does not tell the lock keys' states: the panes keep their room and stay empty.
    for (std::size_t pane = 1; pane < CMainFrame::kIndicators.size(); ++pane) {
        auto* indicator = new QLabel(Q(CMainFrame::IndicatorText(pane, std::nullopt)), this);
        indicator->setObjectName(Q(CMainFrame::kIndicators[pane]));
        indicator->setMinimumWidth(indicator->fontMetrics().horizontalAdvance(Q(CMainFrame::kIndicators[pane])) + 8);
        statusBar()->addPermanentWidget(indicator);
    }

    connect(m_area, &QMdiArea::subWindowActivated, this, [this] { Activated(); });
    m_app.SetClosingListener([this](CQuilletDoc& doc) {
        if (ConnectionWindow* window = WindowOf(&doc)) {
            m_windows.erase(&doc);
            m_area->removeSubWindow(window);
            window->Detach();
        }
    });
    auto* refresh = new QTimer(this);
    connect(refresh, &QTimer::timeout, this, [this] { UpdateStates(); });
    refresh->start(kRefreshMs);
    resize(900, 640);
    SyncWindows();
}

MainWindow::~MainWindow()
{
    // The area tells of its windows as it deletes them; nobody listens any more.
    disconnect(m_area, nullptr, this, nullptr);
    m_app.SetClosingListener({});
}

ConnectionWindow* MainWindow::WindowOf(const CQuilletDoc* doc) const
{
    auto it = m_windows.find(doc);
    return it == m_windows.end() ? nullptr : it->second;
}

ConnectionWindow* MainWindow::ActiveWindow() const
{
    // The current window, whether or not the program has the focus.
    return dynamic_cast<ConnectionWindow*>(m_area->currentSubWindow());
}

void MainWindow::Run(UINT id)
{
    if (id == ID_APP_EXIT) {
        close();
        return;
    }
    ConnectionWindow* active = ActiveWindow();
    if (active && active->Frame().Commands().Has(id)) active->Run(id);
    else m_frame.Commands().Run(id);
    SyncWindows();
}

void MainWindow::SyncWindows()
{
    // The document the main frame made active (a new connection, an opened file) gets
    // the window in front; a new window would take the front itself.
    CQuilletDoc* wanted = m_frame.ActiveDocument();
    ConnectionWindow* newest = nullptr;
    for (CQuilletDoc* doc : m_app.Connections()) {
        if (WindowOf(doc)) continue;
        auto* window = new ConnectionWindow(*m_app.FrameOf(doc), m_texts, [this](UINT id) { m_frame.Commands().Run(id); },
                                            [this](ConnectionWindow& w) { CloseWindow(w); });
        m_windows[doc] = window;
        m_area->addSubWindow(window);
        window->showMaximized();
        newest = window;
    }
    if (ConnectionWindow* active = WindowOf(wanted)) m_area->setActiveSubWindow(active);
    else if (newest) m_area->setActiveSubWindow(newest);
    Activated();
}

void MainWindow::Activated()
{
    ConnectionWindow* active = ActiveWindow();
    m_frame.SetActiveDocument(active ? &active->Document() : nullptr);
    RebuildMenus();
    UpdateStates();
}

void MainWindow::RebuildMenus()
{
    ConnectionWindow* active = ActiveWindow();
    auto action = [&](UINT id) -> QAction* {
        if (active)
            if (QAction* a = active->Actions().Action(id)) return a;
        return m_actions->Action(id);
    };
    for (const PopupRow& row : Popups()) {
        QMenu* menu = m_menus[row.popup];
        menu->clear();
        for (UINT id : row.ids) {
            if (id == 0) menu->addSeparator();
            else if (id >= kPopupMark) menu->addMenu(m_menus[MenuPopup(id - kPopupMark)]);
            else if (QAction* a = action(id)) menu->addAction(a);
        }
    }
    // Without a connection window only the main window's menus show.
    for (MenuPopup popup : {MENU_EDIT, MENU_GROUP, MENU_ITEM, MENU_VIEW, MENU_LOG})
        m_menus[popup]->menuAction()->setVisible(active != nullptr);
    m_tools->clear();
    for (UINT id : kTools) {
        if (id == 0) m_tools->addSeparator();
        else if (QAction* a = action(id)) m_tools->addAction(a);
    }
}

void MainWindow::UpdateStates()
{
    ConnectionWindow* active = ActiveWindow();
    m_actions->Update({active ? &active->Frame().Commands() : nullptr, &m_frame.Commands()});
    if (active) active->UpdateActions(&m_frame.Commands());
    for (std::size_t i = 0; i < CRecentFileList::kSize; ++i) {
        QAction* entry = m_actions->Action(ID_FILE_MRU_FIRST + UINT(i));
        const std::string path = m_frame.RecentFileText(i);
        const bool placeholder = m_app.RecentFiles().HoldsPlaceholder();
        entry->setVisible(!path.empty());
        // An ampersand of the path is shown, not taken as the entry's key.
        entry->setText(placeholder ? Q(path) : QString("&%1 %2").arg(i + 1).arg(Q(path).replace('&', "&&")));
    }
}

void MainWindow::CloseWindow(ConnectionWindow& window)
{
    m_area->setActiveSubWindow(&window);
    m_frame.SetActiveDocument(&window.Document());
    m_frame.Commands().Run(ID_FILE_CLOSE);
    SyncWindows();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Each document closes as File Close does; one that stays keeps the program open.
    while (!m_app.Connections().empty()) {
        CQuilletDoc* doc = m_app.Connections().back();
        m_frame.SetActiveDocument(doc);
        m_frame.Commands().Run(ID_FILE_CLOSE);
        if (!m_app.Connections().empty() && m_app.Connections().back() == doc) {
            SyncWindows();
            event->ignore();
            return;
        }
    }
    event->accept();
}

} // namespace quillet::gui
