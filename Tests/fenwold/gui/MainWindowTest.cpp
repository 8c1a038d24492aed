// Fenwold's main window offscreen: its menus and toolbar over the frame's
// commands, the data view above the log view.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>
#include <QSplitter>
#include <QTest>
#include <QToolBar>

#include "FenwoldHarness.h"
#include "fenwold/Resource.h"
#include "kestrun/shell/gui/DataViewWidget.h"
#include "kestrun/shell/gui/LogViewWidget.h"
#include "kestrun/shell/gui/QtWindows.h"

namespace {

class FenwoldWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell.app.SetWindowFactory(&windows);
        shell.SetOption("Confirm On Quit", 0);
        shell.SetOption("Enable Background Thread", 0); // online without line threads
        config = fenwoldtest::WriteSampleConfig(shell.scratch.path() / "plant.csv", 5010);
        ASSERT_TRUE(shell.Start({config}));
        window = windows.MainWindow();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(window->isVisible());
    }
    // Chooses the command as the user does, then lets the frame run it.
    void Trigger(UINT nId)
    {
        window->Action(nId)->trigger();
        shell.dispatcher.runPending();
        window->UpdateActions();
    }

    shell::gui::QtWindows windows;
    fenwoldtest::FenwoldHarness shell;
    shell::gui::ServerMainWindow* window = nullptr;
    std::string config;
};

TEST_F(FenwoldWindow, MenusToolbarAndTheDataViewAboveTheLogView)
{
    QStringList menus;
    for (QAction* menu : window->menuBar()->actions())
        menus << menu->text();
    EXPECT_EQ(menus, (QStringList{"&File", "&Edit", "&Config", "&Mode", "&View", "&Help"}));
    window->UpdateActions(); // what its timer does
    EXPECT_EQ(window->windowTitle(), "plant.csv - Fenwold");
    ASSERT_NE(window->ToolBar(), nullptr);
    EXPECT_EQ(window->ToolBar()->actions().size(), 11);
    EXPECT_EQ(window->Action(fenwold::ID_FILE_IMPORT)->toolTip(), "Import");
    EXPECT_EQ(window->Action(ID_MODE_ONLINE)->statusTip(), "Put the server into online mode.");
    EXPECT_EQ(window->Action(ID_FILE_OPEN)->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_FALSE(window->Action(ID_EDIT_PASTE)->isEnabled());

    QSplitter* splitter = window->Splitter();
    ASSERT_EQ(splitter->count(), 2);
    EXPECT_EQ(splitter->orientation(), Qt::Vertical);
    EXPECT_NE(dynamic_cast<shell::gui::DataViewWidget*>(splitter->widget(0)), nullptr);
    EXPECT_NE(dynamic_cast<shell::gui::LogViewWidget*>(splitter->widget(1)), nullptr);
    const QList<int> sizes = splitter->sizes();
    EXPECT_LE(std::abs(sizes[0] - sizes[1]), 2); // half the height each
}

TEST_F(FenwoldWindow, ChosenCommandsReachTheFrameAndTheirChecksFollowIt)
{
    QAction* events = window->Action(fenwold::ID_VIEW_EVENTS);
    const bool shown = events->isChecked();
    Trigger(fenwold::ID_VIEW_EVENTS);
    EXPECT_EQ(events->isChecked(), !shown);
    EXPECT_EQ(shell.State(fenwold::ID_VIEW_EVENTS).bChecked, !shown);

    Trigger(ID_VIEW_TOOLBAR);
    EXPECT_FALSE(window->ToolBar()->isVisible());
    EXPECT_FALSE(window->Action(ID_VIEW_TOOLBAR)->isChecked());

    EXPECT_TRUE(window->Action(fenwold::ID_CONFIG_NEW_DEVICE)->isEnabled());
    Trigger(ID_MODE_ONLINE);
    EXPECT_TRUE(window->Action(ID_MODE_ONLINE)->isChecked());
    EXPECT_FALSE(window->Action(fenwold::ID_CONFIG_NEW_DEVICE)->isEnabled());
    Trigger(ID_MODE_OFFLINE);
    EXPECT_TRUE(window->Action(ID_MODE_OFFLINE)->isChecked());
}

} // namespace
