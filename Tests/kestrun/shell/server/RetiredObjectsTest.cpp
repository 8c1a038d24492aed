// What the application's keeper does with what it still holds when it goes.
#include <gtest/gtest.h>

#include "kestrun/shell/app/Application.h"
#include "kestrun/shell/server/RetiredObjects.h"
#include "platform/win/Clock.h"
#include "platform/win/ManualDispatcher.h"

namespace {

class RetiredObjectsTest : public ::testing::Test {
protected:
    RetiredObjectsTest() : dispatcher(clock) { app.SetDispatcher(&dispatcher); }
    ~RetiredObjectsTest() override { app.SetDispatcher(nullptr); }

    win::FakeClock clock;
    win::ManualDispatcher dispatcher;
    shell::Application app;
    int frees = 0;
};

TEST_F(RetiredObjectsTest, WhatWaitsForItsTaskIsFreedWhenTheKeeperGoes)
{
    {
        CdsRetiredObjects keeper(app);
        keeper.Retire([this] { ++frees; }); // queued behind what was posted before
        EXPECT_EQ(frees, 0);
    }
    EXPECT_EQ(frees, 1);
    dispatcher.runPending(); // the task finds its keeper gone
    EXPECT_EQ(frees, 1);
}

TEST_F(RetiredObjectsTest, AKeeperLeftToTheProcessEndFreesNothingMore)
{
    {
        CdsRetiredObjects keeper(app);
        keeper.Retire([this] { ++frees; });
        keeper.LeaveToProcessEnd();
    }
    dispatcher.runPending();
    EXPECT_EQ(frees, 0);
}

TEST_F(RetiredObjectsTest, AfterASignalNothingRetiredIsFreedAnyMore)
{
    {
        CdsRetiredObjects keeper(app);
        keeper.Retire([this] { ++frees; });
        app.RequestStop(); // the program ends: its configuration goes with it
        dispatcher.runPending();
        EXPECT_EQ(frees, 0);
    }
    EXPECT_EQ(frees, 0);
}

} // namespace
