// Error counting, port resets and switching to the partner line.
#include <gtest/gtest.h>

#include "support/comm/EngineFixtures.h"
#include "support/comm/HdlrBench.h"
#include "support/comm/ScriptedTransport.h"

using namespace kestrun::test;

namespace {

SHORT ValueOf(const CdsMemoryObject* point) { return point->GetValue().iVal; }

class ErrorsTest : public HdlrBench<ScriptedHdlr> {
protected:
    ErrorsTest() { hdlr.SetInService(TRUE); }

    // A device with the given lines, its status points, and the handler's lines for it.
    void Setup(int lines, BOOL autoSwitching = TRUE)
    {
        device = std::make_unique<TestDevice>("PLC1", lines);
        device->m_bAutoSwitching = autoSwitching;
        block = device->AddBlock("B1", 2);
        device->MakeModePoints();
        hdlr.AddActiveDevice(device.get());
        primary = hdlr.NewThreadInfo(device.get(), FALSE, FALSE);
        secondary = hdlr.NewThreadInfo(device.get(), FALSE, TRUE);
        hdlr.OpenCommPort(device.get(), primary);
        if (secondary)
            hdlr.OpenCommPort(device.get(), secondary);
    }

    void Fail(int n, tagTHREADINFO* line)
    {
        for (int i = 0; i < n; ++i)
            hdlr.UpdateCommPortStatus(device.get(), FALSE, line);
    }

    std::unique_ptr<TestDevice> device;
    TestBlock* block = nullptr;
    tagTHREADINFO* primary = nullptr;
    tagTHREADINFO* secondary = nullptr;
};

TEST_F(ErrorsTest, OnlyPrimaryMasterLineExists)
{
    Setup(1);
    EXPECT_EQ(secondary, nullptr);
    EXPECT_FALSE(hdlr.IsBackupAvailable());
    EXPECT_TRUE(hdlr.IsOtherInCommError(primary));
    EXPECT_TRUE(hdlr.IsOtherInCPUError(primary));
    EXPECT_FALSE(hdlr.IsOtherInMaster(primary));
    EXPECT_FALSE(hdlr.IsOtherInRunning(primary));
}

TEST_F(ErrorsTest, OverMaximumLogsExactlyAtTheLimitAndResets)
{
    Setup(1);
    Fail(9, primary);
    EXPECT_TRUE(log.Lines(LOG_ERROR).empty());
    EXPECT_EQ(device->GetErrorCount(primary), 9);
    Fail(1, primary);
    EXPECT_EQ(log.Lines(LOG_ERROR), (std::vector<std::string>{"-  Device [PLC1] error over max allowed number(10)!\r\n"}));
    EXPECT_TRUE(primary->m_bCommError.load());
    EXPECT_EQ(device->GetErrorCount(primary), 0); // the reset clears the counter
    EXPECT_EQ(device->GetUpdateMode(primary), UPDATEMODE_NOT_RUNNING);
}

TEST_F(ErrorsTest, ClosedPortReachesTheMaximumAtOnce)
{
    Setup(1);
    hdlr.GetCommFile(primary)->Close();
    Fail(1, primary);
    EXPECT_EQ(log.Lines(LOG_ERROR).size(), 1u);
}

TEST_F(ErrorsTest, SuccessRestoresTheLineAndReportsAChangeOnce)
{
    Setup(1);
    Fail(3, primary);
    EXPECT_EQ(hdlr.UpdateCommPortStatus(device.get(), TRUE, primary), 1);
    EXPECT_EQ(device->GetErrorCount(primary), 0);
    EXPECT_EQ(device->GetUpdateMode(primary), UPDATEMODE_UPDATING);
    EXPECT_EQ(hdlr.UpdateCommPortStatus(device.get(), TRUE, primary), 0);
}

TEST_F(ErrorsTest, SingleLineDeviceMarksItsPointsCommLost)
{
    Setup(1);
    hdlr.UpdateCommPortStatus(device.get(), TRUE, primary); // updating
    block->GetMemoryObject(0)->SetStatus(192);
    Fail(10, primary);
    EXPECT_EQ(block->GetMemoryObject(0)->GetStatus(), 64);
    EXPECT_EQ(block->GetMemoryObject(1)->GetStatus(), 64);
}

TEST_F(ErrorsTest, ADeviceThatNeverDeliveredTellsItsClientsNothingWillCome)
{
    Setup(1);
    block->GetMemoryObject(1)->SetStatus(8);   // one that had a quality keeps it
    hdlr.GetCommFile(primary)->Close();
    Fail(1, primary);
    EXPECT_EQ(block->GetMemoryObject(0)->GetStatus(), 24);
    EXPECT_EQ(block->GetMemoryObject(1)->GetStatus(), 8);
}

TEST_F(ErrorsTest, PointsAreMarkedBeforeThePortResetWaits)
{
    Setup(1);
    hdlr.UpdateCommPortStatus(device.get(), TRUE, primary);
    block->GetMemoryObject(0)->SetStatus(192);
    WORD seenDuringReset = 0;
    hdlr.m_onReset = [&] { seenDuringReset = block->GetMemoryObject(0)->GetStatus(); };
    hdlr.GetCommFile(primary)->Close();
    EXPECT_EQ(hdlr.UpdateCommPortStatus(device.get(), FALSE, primary), 1);
    EXPECT_EQ(seenDuringReset, 64) << "clients see the loss while the port waits to reopen";
}

TEST_F(ErrorsTest, HealthyPartnerTakesOver)
{
    Setup(2);
    ASSERT_NE(secondary, nullptr);
    hdlr.UpdateCommPortStatus(device.get(), TRUE, primary);
    Fail(10, primary);
    EXPECT_EQ(secondary->m_nKind.load(), LINE_KIND_UPDATE);
    EXPECT_EQ(primary->m_nKind.load(), LINE_KIND_MONITOR);
    EXPECT_EQ(log.Count(LOG_INFO, "Switched to primary master (Comm error)\r\n"), 1);
    EXPECT_EQ(ValueOf(device->GetMasterActiveLineObject()), ACTIVELINE_SECONDARY_MASTER);
    // Another line stands by: the points keep their quality.
    EXPECT_NE(block->GetMemoryObject(0)->GetStatus(), 64);
}

TEST_F(ErrorsTest, PartnerInCommErrorIsNotSwitchedTo)
{
    Setup(2);
    secondary->m_bCommError = TRUE;
    Fail(10, primary);
    EXPECT_EQ(secondary->m_nKind.load(), LINE_KIND_MONITOR);
    EXPECT_EQ(log.Count(LOG_INFO, "Switched to primary master (Comm error)\r\n"), 0);
    EXPECT_EQ(log.Count(LOG_ERROR, "Cannot switch to backup CPU\r\n"), 0);
}

// A redundant device with nothing left to take over is as lost as a device with
// one line: its clients see it. Either the partner is down too, or no switch follows.
class ErrorsNoTakeOverTest : public ErrorsTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ErrorsNoTakeOverTest, ARedundantDeviceWithNoLineToTakeOverMarksItsPointsCommLost)
{
    const bool partnerDown = GetParam();
    Setup(2);
    device->m_bSwitchOnCommError = partnerDown ? TRUE : FALSE;
    secondary->m_bCommError = partnerDown ? TRUE : FALSE;
    hdlr.UpdateCommPortStatus(device.get(), TRUE, primary); // updating
    block->GetMemoryObject(0)->SetStatus(192);
    Fail(10, primary);
    EXPECT_EQ(block->GetMemoryObject(0)->GetStatus(), 64);
}

INSTANTIATE_TEST_SUITE_P(Lines, ErrorsNoTakeOverTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "PartnerDown" : "NoSwitchOnCommErrors");
                         });

TEST_F(ErrorsTest, NoSwitchWithoutTheSwitchOption)
{
    Setup(2);
    device->m_bSwitchOnCommError = FALSE;
    Fail(10, primary);
    EXPECT_EQ(primary->m_nKind.load(), LINE_KIND_UPDATE);
}

TEST_F(ErrorsTest, WithoutAutoSwitchingOnlyThePrimaryMasterExists)
{
    Setup(2, FALSE);
    EXPECT_EQ(secondary, nullptr);
}

TEST_F(ErrorsTest, SwitchBackNamesTheLineSwitchedAwayFrom)
{
    Setup(2);
    EXPECT_TRUE(hdlr.SwitchMaster(device.get(), primary, "By operator", TRUE));
    EXPECT_TRUE(hdlr.SwitchMaster(device.get(), secondary, "By operator", TRUE));
    EXPECT_EQ(log.Lines(LOG_INFO), (std::vector<std::string>{"Switched to primary master (By operator)\r\n",
                                                             "Switched to secondary master (By operator)\r\n"}));
    EXPECT_EQ(ValueOf(device->GetMasterActiveLineObject()), ACTIVELINE_PRIMARY_MASTER);
    EXPECT_FALSE(hdlr.SwitchMaster(device.get(), nullptr, "x", TRUE));
}

TEST_F(ErrorsTest, MonitorLineReportsAnsweredProbesOnce)
{
    Setup(2);
    EXPECT_EQ(hdlr.UpdateMonitorPortStatus(device.get(), TRUE, secondary), 1);
    EXPECT_EQ(device->GetUpdateMode(secondary), UPDATEMODE_MONITOR);
    EXPECT_EQ(hdlr.UpdateMonitorPortStatus(device.get(), TRUE, secondary), 0);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(hdlr.UpdateMonitorPortStatus(device.get(), FALSE, secondary), 0);
    EXPECT_TRUE(secondary->m_bCommError.load());
    EXPECT_EQ(log.Lines(LOG_ERROR), (std::vector<std::string>{"+  Device [PLC1] error over max allowed number(10)!\r\n"}));
}

TEST_F(ErrorsTest, ResetClearsWrittenMarksOfEveryDevice)
{
    Setup(1);
    block->SetModified(TRUE);
    hdlr.ResetCommPort(device.get(), primary);
    EXPECT_FALSE(block->IsModified());
}

} // namespace
