#include "kestrun/shell/gui/ServerMainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include "kestrun/shell/app/ShellIds.h"

namespace shell::gui {

namespace {
// The value panes are as wide as this text.
constexpr const char* kValueTemplate = "00000000";
// The toolbar follows the frame's command states this often.
constexpr int kToolBarUpdateMs = 500;

QString FromText(const std::string& text) { return QString::fromStdString(text); }

// Standard commands that have a picture of the style's; others show their tool tip.
QIcon IconFor(QStyle* pStyle, UINT nId)
{
    switch (nId) {
    case ID_FILE_NEW: return pStyle->standardIcon(QStyle::SP_FileIcon);
    case ID_FILE_OPEN: return pStyle->standardIcon(QStyle::SP_DialogOpenButton);
    case ID_FILE_SAVE: return pStyle->standardIcon(QStyle::SP_DialogSaveButton);
    case ID_MODE_ONLINE: return pStyle->standardIcon(QStyle::SP_MediaPlay);
    case ID_MODE_OFFLINE: return pStyle->standardIcon(QStyle::SP_MediaStop);
    case ID_APP_ABOUT: return pStyle->standardIcon(QStyle::SP_MessageBoxInformation);
    default: return {};
    }
}
} // namespace

ServerMainWindow::ServerMainWindow(CdsServerFrame& frame) : m_frame(frame), m_pSplitter(new QSplitter(Qt::Vertical))
{
    setCentralWidget(m_pSplitter);
    for (int i = 0; i < CdsServerFrame::kPaneCount; ++i) {
        auto* pLabel = new QLabel(QString::fromStdString(m_frame.GetPaneText(i)));
        if (i % 2 == 0 && i > 0)
            pLabel->setMinimumWidth(pLabel->fontMetrics().horizontalAdvance(QLatin1String(kValueTemplate)));
        if (i == 0)
            statusBar()->addWidget(pLabel, 1);
        else
            statusBar()->addPermanentWidget(pLabel);
        m_panes[static_cast<std::size_t>(i)] = pLabel;
    }
    BuildMenus();
    resize(800, 600);
}

void ServerMainWindow::BuildMenus()
{
    const shell::MenuBarModel* pModel = m_frame.GetMenuBar();
    if (!pModel)
        return;
    for (const shell::MenuEntry& menu : pModel->menus)
        menuBar()->addMenu(MakeMenu(menu));
    if (pModel->toolBar.empty())
        return;
    m_pToolBar = addToolBar(QString());
    m_pToolBar->setObjectName("ToolBar");
    m_pToolBar->setMovable(true);
    m_pToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    for (UINT nId : pModel->toolBar) {
        if (nId == 0) {
            m_pToolBar->addSeparator();
            continue;
        }
        QAction* pAction = Action(nId) ? Action(nId) : ActionFor(nId, {}, false);
        pAction->setIcon(IconFor(style(), nId));
        m_pToolBar->addAction(pAction);
    }
    auto* pTimer = new QTimer(this);
    connect(pTimer, &QTimer::timeout, this, [this] { UpdateActions(); });
    pTimer->start(kToolBarUpdateMs);
    UpdateActions();
}

QMenu* ServerMainWindow::MakeMenu(const shell::MenuEntry& entry)
{
    auto* pMenu = new QMenu(FromText(entry.strText), this);
    for (const shell::MenuEntry& item : entry.items) {
        if (!item.items.empty())
            pMenu->addMenu(MakeMenu(item));
        else if (item.nId == 0)
            pMenu->addSeparator();
        else
            pMenu->addAction(ActionFor(item.nId, item.strText, item.bCheck));
    }
    connect(pMenu, &QMenu::aboutToShow, this, [this] { UpdateActions(); });
    return pMenu;
}

QAction* ServerMainWindow::ActionFor(UINT nId, const std::string& strText, bool bCheck)
{
    if (QAction* pAction = Action(nId))
        return pAction;
    const std::size_t tab = strText.find('\t');
    const std::string prompt = m_frame.GetCommandPrompt(nId);
    QString text = FromText(strText.substr(0, tab));
    if (text.isEmpty())
        text = FromText(shell::PromptToolTip(prompt));
    auto* pAction = new QAction(text, this);
    if (tab != std::string::npos)
        pAction->setShortcut(QKeySequence(FromText(strText.substr(tab + 1))));
    pAction->setStatusTip(FromText(shell::PromptStatusText(prompt)));
    const std::string tip = shell::PromptToolTip(prompt);
    if (!tip.empty())
        pAction->setToolTip(FromText(tip));
    pAction->setCheckable(bCheck);
    // The frame decides; the check mark follows its state at the next update.
    connect(pAction, &QAction::triggered, this, [this, nId] {
        m_frame.PostCommand(nId);
        QTimer::singleShot(0, this, [this] { UpdateActions(); });
    });
    m_actions[nId] = pAction;
    m_texts[nId] = text;
    return pAction;
}

QAction* ServerMainWindow::Action(UINT nId) const
{
    const auto it = m_actions.find(nId);
    return it == m_actions.end() ? nullptr : it->second;
}

void ServerMainWindow::UpdateActions()
{
    if (const std::string title = m_frame.GetWindowTitle(); !title.empty())
        setWindowTitle(FromText(title));
    for (auto& [nId, pAction] : m_actions) {
        shell::CommandState state;
        m_frame.OnUpdateCommand(nId, state);
        pAction->setEnabled(state.bEnabled);
        pAction->setVisible(state.bVisible);
        if (pAction->isCheckable())
            pAction->setChecked(state.bChecked);
        pAction->setText(state.strText.empty() ? m_texts[nId] : FromText(state.strText));
    }
}

void ServerMainWindow::ShowControlBar(UINT nBarId, bool bShow)
{
    if (nBarId == ID_VIEW_TOOLBAR && m_pToolBar)
        m_pToolBar->setVisible(bShow);
    else if (nBarId == ID_VIEW_STATUS_BAR)
        statusBar()->setVisible(bShow);
}

void ServerMainWindow::AddPane(QWidget* pPane)
{
    // The panes share the height evenly at first.
    m_pSplitter->addWidget(pPane);
    m_pSplitter->setStretchFactor(m_pSplitter->indexOf(pPane), 1);
}

void ServerMainWindow::Show(bool bVisible)
{
    if (bVisible && isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    setVisible(bVisible);
}

void ServerMainWindow::changeEvent(QEvent* pEvent)
{
    if (pEvent->type() == QEvent::WindowStateChange && isMinimized())
        m_frame.PostCommand(ID_TRAY_HIDE);
    QMainWindow::changeEvent(pEvent);
}

void ServerMainWindow::Activate()
{
    raise();
    activateWindow();
}

void ServerMainWindow::OnPaneChanged(int nPane)
{
    if (nPane >= 0 && nPane < CdsServerFrame::kPaneCount)
        Pane(nPane)->setText(QString::fromStdString(m_frame.GetPaneText(nPane)));
}

void ServerMainWindow::closeEvent(QCloseEvent* pEvent)
{
    // The frame's close rules decide; when it closes it destroys this window.
    pEvent->ignore();
    m_frame.PostMessage(WM_CLOSE);
}

} // namespace shell::gui
