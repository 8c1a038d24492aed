// The emulation handler: lines without a port.
#include "kestrun/comm/handler/EmulHdlr.h"

#include "kestrun/options/ServerOptions.h"
#include "support/comm/EngineFixtures.h"
#include "support/comm/HdlrBench.h"
#include "support/comm/ScriptedTransport.h"

#include <gtest/gtest.h>

using kestrun::test::RecordingLog;
using kestrun::test::TestDevice;

namespace {

class TimerMode {
public:
    TimerMode() : m_saved(CdsServerOptions::g_bBackgroundThread.load()) { CdsServerOptions::g_bBackgroundThread = 0; }
    ~TimerMode() { CdsServerOptions::g_bBackgroundThread = m_saved; }

private:
    int m_saved;
};

class EmulHdlrTest : public ::testing::Test {
protected:
    EmulHdlrTest() : dispatcher(clock), log(dispatcher), hdlr(std::make_shared<CdsEmulHdlr>()), device("PLC1", 2)
    {
        hdlr->SetHost(kestrun::test::TestHost(clock, dispatcher, &log));
        device.m_bAutoSwitching = TRUE;
        device.MakeModePoints();
    }
    ~EmulHdlrTest() override
    {
        hdlr->DoOffline(&device);
        hdlr->DeleteContents();
    }

    TimerMode mode;
    win::FakeClock clock;
    win::ManualDispatcher dispatcher;
    RecordingLog log;
    std::shared_ptr<CdsEmulHdlr> hdlr;
    TestDevice device;
};

TEST_F(EmulHdlrTest, PortIsOpenBeforeGoingOnlineAndClosesSilently)
{
    EXPECT_TRUE(hdlr->IsPortOpen(nullptr));
    tagTHREADINFO* line = hdlr->NewThreadInfo(&device, FALSE, FALSE);
    EXPECT_TRUE(hdlr->IsPortOpen(line));
    EXPECT_TRUE(hdlr->OpenCommPort(&device, line));
    EXPECT_TRUE(hdlr->CloseCommPort(&device, line));
    EXPECT_TRUE(hdlr->IsPortOpen(line));
    EXPECT_TRUE(log.AllLines().empty());
}

TEST_F(EmulHdlrTest, GoesOnlineAndEveryMonitorProbeSucceeds)
{
    ASSERT_TRUE(hdlr->DoOnline(&device));
    EXPECT_EQ(hdlr->GetSysMode(), SYSMODE_RUNNING);
    tagTHREADINFO* primary = hdlr->GetPrimaryMasterInfo();
    tagTHREADINFO* secondary = hdlr->GetSecondaryMasterInfo();
    ASSERT_NE(primary, nullptr);
    ASSERT_NE(secondary, nullptr);
    for (tagTHREADINFO* line : {primary, secondary}) {
        for (int probe = 0; probe < 3; ++probe)
            EXPECT_EQ(hdlr->DoDeviceMonitor(&device, line, 1), 1);
        EXPECT_TRUE(hdlr->IsPortOpen(line));
    }
    EXPECT_TRUE(log.Lines(LOG_ERROR).empty());
}

TEST_F(EmulHdlrTest, ReadWithoutAnExpectedResponseSucceedsWithoutBytes)
{
    auto* block = device.AddBlock("D0", 1);
    block->m_responseLen = 0;
    tagTHREADINFO* line = hdlr->NewThreadInfo(&device, FALSE, FALSE);
    hdlr->SetInService(TRUE);
    EXPECT_EQ(hdlr->DoDataRead(block, line), 1);
    EXPECT_TRUE(log.Lines(LOG_ERROR).empty());
}

} // namespace
