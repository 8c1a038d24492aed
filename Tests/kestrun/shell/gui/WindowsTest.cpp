// The main window and the log view's window, real widgets driven offscreen.
#include <gtest/gtest.h>

#include <QLabel>
#include <QScrollBar>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>

#include "kestrun/options/EngineCounters.h"
#include "kestrun/shell/gui/DataViewWidget.h"
#include "kestrun/shell/gui/LogViewWidget.h"
#include "kestrun/shell/gui/QtWindows.h"
#include "support/shell/ShellHarness.h"

namespace {

using shell::gui::DataViewWidget;
using shell::gui::LogViewWidget;
using shell::gui::QtWindows;

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell.app.SetWindowFactory(&windows);
        ASSERT_TRUE(shell.OpenDocument());
        window = windows.MainWindow();
        ASSERT_NE(window, nullptr);
        shell.Frame()->ShowWindow(true);
        ASSERT_EQ(window->Splitter()->count(), 2);
        log = dynamic_cast<LogViewWidget*>(window->Splitter()->widget(1));
        ASSERT_NE(log, nullptr);
    }

    QtWindows windows;
    testsupport::ShellHarness shell;
    shell::gui::ServerMainWindow* window = nullptr;
    LogViewWidget* log = nullptr;
};

TEST_F(WindowsTest, MainWindowShowsTheFramesPanesAndViews)
{
    EXPECT_TRUE(window->isVisible());
    EXPECT_NE(dynamic_cast<DataViewWidget*>(window->Splitter()->widget(0)), nullptr);
    EXPECT_EQ(window->Pane(1)->text(), "Scan Time (msecs) ->");
    EXPECT_EQ(window->Pane(3)->text(), "Data Updating ->");
    EXPECT_EQ(window->Pane(5)->text(), "Client Updating ->");
    CdsEngineCounters::m_nWdogScantime = 4;
    CdsEngineCounters::m_nWdogPolling = 12;
    CdsEngineCounters::m_nWdogUpdating = 5;
    shell.clock.advance(1000);
    shell.Frame()->OnDataTimer();
    EXPECT_EQ(window->Pane(2)->text(), "250");
    EXPECT_EQ(window->Pane(4)->text(), "12");
    EXPECT_EQ(window->Pane(6)->text(), "5");
}

TEST_F(WindowsTest, ClosingTheWindowAsksTheFrameWhichClosesIt)
{
    QPointer<QWidget> alive(window);
    CdsServerFrame::g_bConfirmOnQuit = 0;
    window->close(); // the frame decides on its own loop
    EXPECT_TRUE(alive);
    EXPECT_TRUE(shell.Frame()->IsWindow());
    shell.dispatcher.runPending();
    EXPECT_FALSE(shell.Frame()->IsWindow());
    EXPECT_FALSE(alive);
    EXPECT_TRUE(shell.dispatcher.quitRequested());
}

TEST_F(WindowsTest, LogViewIsReadOnlyWhiteOnNavyAndKeepsTheViewsLines)
{
    EXPECT_EQ(log->palette().color(QPalette::Text), QColor(255, 255, 255));
    EXPECT_EQ(log->palette().color(QPalette::Base), QColor(0, 0, 128));
    EXPECT_EQ(log->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    log->setFocus();
    QTest::keyClicks(log, "typed");
    EXPECT_FALSE(log->toPlainText().contains("typed"));

    CdsLogView* view = shell.LogView();
    for (int i = 1; i <= 45; ++i)
        view->ShowMessage(LOG_RAW, "line " + std::to_string(i) + "\r\n");
    // The widget holds what the view holds: the welcome line and raw lines 1-9 were cut.
    EXPECT_EQ(log->document()->blockCount(), view->GetLineCount());
    EXPECT_EQ(log->document()->firstBlock().text(), "line 10");
    EXPECT_EQ(log->document()->lastBlock().previous().text(), "line 45");
    EXPECT_FALSE(log->toPlainText().contains('\r'));
}

TEST_F(WindowsTest, LogViewFollowsNewLinesOnlyWhileItShowsTheLast)
{
    CdsLogView* view = shell.LogView();
    for (int i = 1; i <= 30; ++i)
        view->ShowMessage(LOG_RAW, "line " + std::to_string(i) + "\r\n");
    QScrollBar* bar = log->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 10);
    EXPECT_EQ(bar->value(), bar->maximum());
    auto top = [&] { return log->cursorForPosition(QPoint(2, 2)).block().text(); };

    bar->setValue(10); // the user scrolls back
    const QString read = top();
    for (int i = 31; i <= 40; ++i) // also cuts the first lines
        view->ShowMessage(LOG_RAW, "line " + std::to_string(i) + "\r\n");
    EXPECT_EQ(top(), read);
    EXPECT_LT(bar->value(), bar->maximum());

    bar->setValue(bar->maximum()); // back at the end: it follows again
    view->ShowMessage(LOG_RAW, "line 41\r\n");
    EXPECT_EQ(bar->value(), bar->maximum());
}

} // namespace
