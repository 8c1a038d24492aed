// The handler table and the two ways of driving its lines.
#include <gtest/gtest.h>

#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/server/ServerFrameCore.h"
#include "support/comm/EngineFixtures.h"
#include "support/comm/ScriptedTransport.h"

using namespace kestrun::test;

namespace {

class CountingHdlr : public ScriptedHdlr {
public:
    using ScriptedHdlr::ScriptedHdlr;
    int steps = 0;
    void OnPreSingleStep() override { ++steps; }
};

class Frame : public CdsServerFrameCore {
public:
    explicit Frame(win::FakeClock& clock) : m_clock(clock) {}
    std::shared_ptr<CdsCommHdlr> NewCommHdlr(DWORD) override
    {
        return m_refuse ? nullptr : std::make_shared<CountingHdlr>(m_clock);
    }
    bool m_refuse = false;

private:
    win::FakeClock& m_clock;
};

class FrameCoreTest : public ::testing::Test {
protected:
    FrameCoreTest() : frame(clock), saved(CdsServerFrame::g_bBackgroundThread.load())
    {
        CdsServerFrame::g_bBackgroundThread = 0;
    }
    ~FrameCoreTest() override
    {
        frame.ExitPorts();
        CdsServerFrame::g_bBackgroundThread = saved;
    }

    win::FakeClock clock;
    Frame frame;
    int saved;
};

TEST_F(FrameCoreTest, OneHandlerPerPort)
{
    CdsCommHdlr* first = frame.CreateCommHdlr(0x10001);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetPortHandle(), 0x10001u);
    EXPECT_NE(first->GetEventQueue(), nullptr);
    EXPECT_EQ(frame.CreateCommHdlr(0x10001), nullptr);
    EXPECT_EQ(frame.GetCommHdlrByHandle(0x10001), first);
    EXPECT_EQ(frame.GetCommHdlrByIndex(0), first);
}

TEST_F(FrameCoreTest, TableHoldsNinetyNine)
{
    for (DWORD port = 1; port <= 99; ++port)
        ASSERT_NE(frame.CreateCommHdlr(port), nullptr);
    EXPECT_EQ(frame.CreateCommHdlr(100), nullptr);
    EXPECT_EQ(frame.GetCommHdlrByIndex(-1), nullptr);
    EXPECT_EQ(frame.GetCommHdlrByIndex(99), nullptr);
    EXPECT_NE(frame.GetCommHdlrByIndex(98), nullptr);
    frame.DestroyCommHdlr(50);
    EXPECT_EQ(frame.GetCommHdlrByIndex(49), nullptr);
    EXPECT_NE(frame.CreateCommHdlr(100), nullptr); // the freed slot is taken again
    EXPECT_EQ(frame.GetCommHdlrByIndex(49)->GetPortHandle(), 100u);
}

TEST_F(FrameCoreTest, RefusedHandlerLeavesTheSlotFree)
{
    frame.m_refuse = true;
    EXPECT_EQ(frame.CreateCommHdlr(1), nullptr);
    frame.m_refuse = false;
    EXPECT_NE(frame.CreateCommHdlr(1), nullptr);
}

TEST_F(FrameCoreTest, EachStepTakesTheNextHandlerAndWraps)
{
    TestDevice a("A"), b("B");
    auto* first = static_cast<CountingHdlr*>(frame.CreateCommHdlr(1));
    auto* second = static_cast<CountingHdlr*>(frame.CreateCommHdlr(2));
    ASSERT_TRUE(first->DoOnline(&a));
    ASSERT_TRUE(second->DoOnline(&b));
    for (int i = 0; i < 5; ++i)
        frame.UpdateNextDevice();
    // A, B, A, B, A: the search wraps within the tick.
    EXPECT_EQ(first->steps, 3);
    EXPECT_EQ(second->steps, 2);
    frame.ExitPorts(); // before the devices go
}

TEST_F(FrameCoreTest, ExitPortsSilencesAndStopsEveryHandler)
{
    TestDevice a("A");
    CdsCommHdlr* hdlr = frame.CreateCommHdlr(1);
    ASSERT_TRUE(hdlr->DoOnline(&a));
    std::weak_ptr<CdsCommHdlr> weak = hdlr->weak_from_this();
    frame.ExitPorts();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(frame.GetCommHdlrByIndex(0), nullptr);
}

} // namespace
