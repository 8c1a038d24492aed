// How the test client waits for a server: nothing of its own runs meanwhile, the wait
// shows after a moment, and each time-out asks whether to wait again.
#include "quillet/QuilletFixture.h"

#include "quillet/doc/CallWaiter.h"

#include <future>

namespace {

TEST(CallWaiter, HoldsTheApplicationThreadsWorkShowsTheWaitAndAsksAtEachTimeOut)
{
    win::FakeClock clock;
    win::ManualDispatcher dispatcher{clock};
    quillettest::FakeUi ui;
    quillet::StringTable texts;
    CCallWaiter waiter(dispatcher, ui, texts, "Tessaro.Fenwold.1", std::chrono::milliseconds(60000));
    EXPECT_TRUE(waiter.Serves());
    EXPECT_FALSE(std::async(std::launch::async, [&] { return waiter.Serves(); }).get());

    int ran = 0;
    dispatcher.post([&] { ++ran; });
    EXPECT_TRUE(waiter.Waiting(15));
    EXPECT_EQ(dispatcher.runPending(), 0u);  // a callback or tick waits for the call's end
    EXPECT_TRUE(ui.waitTexts.empty());       // too soon to show
    EXPECT_TRUE(waiter.Waiting(CCallWaiter::kShowAfterMs));
    EXPECT_EQ(ui.waitTexts, std::vector<std::string>{"Waiting for the server Tessaro.Fenwold.1 to answer..."});

    // The question's default (no person answers) cancels; Retry waits again.
    EXPECT_FALSE(waiter.WaitAgain());
    EXPECT_EQ(ui.shown, std::vector<std::string>{"The server has not answered for 60 seconds.\n\n"
                                                 "Retry waits for it again; Cancel cancels the call."});
    ui.answers = {quillet::PromptAnswer::Retry};
    EXPECT_TRUE(waiter.WaitAgain());
    ui.cancelCall = true;
    EXPECT_FALSE(waiter.Waiting(400));
    EXPECT_EQ(ran, 0);
    waiter.Done();
    EXPECT_EQ(ui.callWaitsEnded, 1);
    EXPECT_EQ(dispatcher.runPending(), 1u);
    EXPECT_EQ(ran, 1);
    waiter.Done();  // once only
    EXPECT_EQ(ui.callWaitsEnded, 1);

    // Asked to end (a signal), a waiting call gives up without asking anyone.
    ui.cancelCall = false;
    ui.answers = {quillet::PromptAnswer::Retry};
    dispatcher.requestEnd();
    EXPECT_FALSE(waiter.Waiting(15));
    EXPECT_FALSE(waiter.WaitAgain());
    EXPECT_EQ(ui.shown.size(), 2u);
    waiter.Done();
    EXPECT_EQ(ui.callWaitsEnded, 2);
}

} // namespace
