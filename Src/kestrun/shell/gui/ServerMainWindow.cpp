#include "kestrun/shell/gui/ServerMainWindow.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QSplitter>
#include <QStatusBar>

#include "kestrun/shell/ShellIds.h"

namespace shell::gui {

namespace {
// The value panes are as wide as this text.
constexpr const char* kValueTemplate = "00000000";
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
    resize(800, 600);
}

void ServerMainWindow::AddPane(QWidget* pPane) { m_pSplitter->addWidget(pPane); }

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
