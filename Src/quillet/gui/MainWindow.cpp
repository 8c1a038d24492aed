#include "quillet/gui/MainWindow.h"

#include "quillet/views/MainMenu.h"
#include "quillet/text/ResourceIds.h"
#include "quillet/text/StringTable.h"
#include "quillet/gui/ConnectionWindow.h"
#include "quillet/gui/QtText.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

namespace quillet::gui {

using namespace quillet::cmd;

namespace {

// The tool bar's picture of a command.
QIcon ToolIcon(UINT id, const QStyle& style)
{
    QStyle::StandardPixmap p = QStyle::SP_CustomBase;
    switch (id) {
    case ID_FILE_NEW: p = QStyle::SP_FileIcon; break;
    case ID_FILE_OPEN: p = QStyle::SP_DialogOpenButton; break;
    case ID_FILE_SAVE: p = QStyle::SP_DialogSaveButton; break;
    case ID_SERVER_CONNECT: p = QStyle::SP_ComputerIcon; break;
    case ID_ADD_GROUP: p = QStyle::SP_FileDialogNewFolder; break;
    case ID_ADD_ITEM: p = QStyle::SP_FileDialogDetailedView; break;
    case ID_REMOVE_ITEMS: p = QStyle::SP_TrashIcon; break;
    case ID_SYNC_READ: p = QStyle::SP_ArrowDown; break;
    case ID_SYNC_WRITE: p = QStyle::SP_ArrowUp; break;
    case ID_APP_ABOUT: p = QStyle::SP_MessageBoxInformation; break;
    default: return {};
    }
    return style.standardIcon(p);
}
constexpr int kRefreshMs = 250;
} // namespace

MainWindow::MainWindow(CQuilletApp& app, CMainFrame& frame, const StringTable& texts, QWidget* parent)
    : QMainWindow(parent), m_app(app), m_frame(frame), m_texts(texts)
{
    setWindowTitle(Q(m_frame.Title()));
    m_area = new QMdiArea(this);
    setCentralWidget(m_area);
    m_actions = std::make_unique<CommandActions>(texts, m_frame.CommandIds(), this, Qt::WindowShortcut,
                                                 [this](UINT id) { Run(id); });
    for (MenuPopup popup : MainMenu::Popups()) {
        auto* menu = new QMenu(Q(texts.Text(IDS_MENU_FIRST + popup)), this);
        menu->setObjectName(QString("menu%1").arg(popup));
        m_menus[popup] = menu;
    }
    for (MenuPopup popup : MainMenu::Bar()) menuBar()->addMenu(m_menus[popup]);
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
    ConnectionWindow* active = ActiveWindow();
    switch (CMainFrame::Route(id, active ? &active->Frame().Commands() : nullptr)) {
    case CommandRoute::Exit: close(); return;
    case CommandRoute::Window: active->Run(id); break;
    case CommandRoute::Frame: m_frame.Commands().Run(id); break;
    }
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
    const CommandTable* windowTable = active ? &active->Frame().Commands() : nullptr;
    // An entry shows the action of whoever runs its command.
    auto action = [&](UINT id) {
        return CMainFrame::Route(id, windowTable) == CommandRoute::Window ? active->Actions().Action(id)
                                                                          : m_actions->Action(id);
    };
    for (MenuPopup popup : MainMenu::Popups()) {
        QMenu* menu = m_menus[popup];
        menu->clear();
        for (const MenuItem& item : MainMenu::Items(popup)) {
            switch (item.kind) {
            case MenuItem::Kind::Separator: menu->addSeparator(); break;
            case MenuItem::Kind::Popup: menu->addMenu(m_menus[item.popup]); break;
            case MenuItem::Kind::Command:
                if (QAction* a = action(item.id)) menu->addAction(a);
                break;
            }
        }
        menu->menuAction()->setVisible(MainMenu::Shows(popup, active != nullptr));
    }
    m_tools->clear();
    for (UINT id : MainMenu::ToolBar()) {
        if (id == 0) m_tools->addSeparator();
        else if (QAction* a = action(id)) {
            if (a->icon().isNull()) {
                a->setIcon(ToolIcon(id, *style()));
                a->setIconVisibleInMenu(false);  // the menus stay text only
            }
            m_tools->addAction(a);
        }
    }
}

void MainWindow::UpdateStates()
{
    ConnectionWindow* active = ActiveWindow();
    m_actions->Update({active ? &active->Frame().Commands() : nullptr, &m_frame.Commands()});
    if (active) active->UpdateActions(&m_frame.Commands());
    for (std::size_t i = 0; i < CRecentFileList::kSize; ++i) {
        QAction* entry = m_actions->Action(ID_FILE_MRU_FIRST + UINT(i));
        const std::string text = m_app.RecentFiles().MenuText(i);
        entry->setVisible(!text.empty());
        entry->setText(Q(text));
    }
}

void MainWindow::CloseWindow(ConnectionWindow& window)
{
    m_area->setActiveSubWindow(&window);
    m_frame.CloseDocument(window.Document());
    SyncWindows();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_frame.CloseAll()) {
        event->accept();
        return;
    }
    // The document that stayed comes to the front.
    SyncWindows();
    event->ignore();
}

} // namespace quillet::gui
