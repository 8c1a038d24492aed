// A device's status points and the operator commands written to them.
#include <gtest/gtest.h>

#include "kestrun/model/SystemArray.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/server/ServerFrameCore.h"
#include "support/OptionScope.h"
#include "support/comm/EngineFixtures.h"
#include "support/comm/HdlrBench.h"
#include "support/comm/ScriptedTransport.h"

using namespace kestrun::test;

namespace {

// The status points' options; timer mode, so no line starts a thread.
struct StatusOptions {
    StatusOptions(int systemMode, int systemTime)
        : mode(CdsServerOptions::g_bUseSystemMode, systemMode), time(CdsServerOptions::g_bUseSystemTime, systemTime),
          thread(CdsServerOptions::g_bBackgroundThread, 0)
    {
    }
    testsupport::OptionScope<int> mode, time, thread;
};

std::vector<std::string> StatusPointNames(const CdsDeviceObject& device)
{
    std::vector<std::string> names;
    for (CdsMemoryArray* block : device.GetMemoryArrayList().GetBlocks()) {
        if (!dynamic_cast<CdsSystemArray*>(block))
            continue;
        for (int i = 0; i < block->GetSize(); ++i)
            names.push_back(block->GetMemoryObject(i)->GetName());
    }
    return names;
}

struct LayoutCase {
    int lines;
    int systemMode;
    int systemTime;
    std::vector<std::string> names;
};

class StatusLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(StatusLayoutTest, PointsPerOptionsAndLines)
{
    StatusOptions options(GetParam().systemMode, GetParam().systemTime);
    TestDevice device("PLC1", GetParam().lines);
    ASSERT_TRUE(device.CreateSystemArrays());
    EXPECT_EQ(StatusPointNames(device), GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, StatusLayoutTest,
    ::testing::Values(
        LayoutCase{1, 1, 1, {"$MODESYS", "$COMMGOOD", "$COMMFAIL", "$MODEMSTR", "$ACTVLINE", "$TIMEMSTR"}},
        LayoutCase{2, 1, 1,
                   {"$MODESYS", "$COMMGOOD", "$COMMFAIL", "$MODEMSTR", "$ACTVLINE", "$TIMEMSTR", "$MODEMSTR2",
                    "$ACTVLINE2", "$TIMEMSTR2"}},
        LayoutCase{4, 1, 1,
                   {"$MODESYS", "$COMMGOOD", "$COMMFAIL", "$MODEMSTR", "$MODEBKUP", "$ACTVLINE", "$TIMEMSTR",
                    "$TIMEBKUP", "$MODEMSTR2", "$MODEBKUP2", "$ACTVLINE2", "$TIMEMSTR2", "$TIMEBKUP2"}},
        LayoutCase{1, 0, 1, {"$TIMEMSTR"}}, LayoutCase{1, 1, 0, {"$MODESYS", "$COMMGOOD", "$COMMFAIL", "$MODEMSTR", "$ACTVLINE"}}));

TEST(StatusPoints, StartValuesAndQuality)
{
    StatusOptions options(1, 1);
    TestDevice device("PLC1");
    ASSERT_TRUE(device.CreateSystemArrays());
    EXPECT_EQ(device.GetSysMode(), SYSMODE_STOPPED);
    EXPECT_EQ(device.GetMasterActiveLine(), -1);
    EXPECT_EQ(device.GetCommGoodObject()->GetValue().boolVal, 1);
    EXPECT_EQ(device.GetSysModeObject()->GetStatus(), 192);
    EXPECT_TRUE(device.GetSysModeObject()->IsTouched());
    CdsMemoryArray* block = device.GetMemoryArrayByName("$Array");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->GetAddr(), "$SYSTEM");
    EXPECT_FALSE(block->IsReadAllowed());
    EXPECT_FALSE(block->IsWriteAllowed());
    EXPECT_TRUE(block->IsSystemArray());
}

TEST(StatusPoints, MadeTwiceLeaveOneBlock)
{
    StatusOptions options(1, 1);
    TestDevice device("PLC1");
    ASSERT_TRUE(device.CreateSystemArrays());
    ASSERT_TRUE(device.CreateSystemArrays());
    EXPECT_EQ(StatusPointNames(device).size(), 6u);
    EXPECT_EQ(device.GetMemoryArrayList().GetTotalCount(), 1);
}

// A frame that makes scripted handlers and is installed for the devices.
class CommandTest : public ::testing::Test {
protected:
    struct Frame : CdsServerFrameCore {
        win::FakeClock* clock = nullptr;
        std::shared_ptr<CdsCommHdlr> NewCommHdlr(DWORD) override { return std::make_shared<ScriptedHdlr>(*clock); }
    };

    CommandTest() : options(1, 1), previous(kestrun::HandlerTable::Install(&frame)) { frame.clock = &clock; }
    ~CommandTest() override
    {
        frame.ExitPorts();
        kestrun::HandlerTable::Install(previous);
    }

    CdsCommHdlr* Online(TestDevice& device)
    {
        device.CreateSystemArrays();
        CdsCommHdlr* hdlr = frame.CreateCommHdlr(device.GetPortHandle());
        if (!hdlr)
            hdlr = frame.GetCommHdlrByHandle(device.GetPortHandle());
        hdlr->SetHost(TestHost(clock, dispatcher, &log));
        hdlr->DoOnline(&device);
        return hdlr;
    }

    static int Write(CdsDeviceObject& device, CdsMemoryObject* point, SHORT value)
    {
        _BRISANTDATAVALUE cell{};
        cell.iVal = value;
        int result = 7;
        const int handled = device.HandleCommand(point, cell, result);
        EXPECT_EQ(result, 0);
        return handled;
    }

    StatusOptions options;
    win::FakeClock clock;
    win::ManualDispatcher dispatcher{clock};
    RecordingLog log{dispatcher};
    Frame frame;
    kestrun::HandlerTable* previous;
};

TEST_F(CommandTest, WithoutAHandlerNothingIsTaken)
{
    TestDevice device("PLC1");
    device.CreateSystemArrays();
    EXPECT_EQ(Write(device, device.GetSysModeObject(), 12), 0);
}

TEST_F(CommandTest, SystemModeReachesTheHandler)
{
    TestDevice device("PLC1");
    CdsCommHdlr* hdlr = Online(device);
    EXPECT_EQ(Write(device, device.GetSysModeObject(), SYSMODE_SUSPENDED), 1);
    EXPECT_EQ(hdlr->GetSysMode(), SYSMODE_SUSPENDED);
    EXPECT_EQ(device.GetSysMode(), SYSMODE_SUSPENDED);
}

TEST_F(CommandTest, ZeroStopsTheMasterLines)
{
    TestDevice device("PLC1");
    CdsCommHdlr* hdlr = Online(device);
    hdlr->UpdateUpdateMode(&device, UPDATEMODE_UPDATING, hdlr->GetPrimaryMasterInfo(), TRUE);
    EXPECT_EQ(Write(device, device.GetMasterActiveLineObject(), 0), 1);
    EXPECT_EQ(device.GetUpdateMode(hdlr->GetPrimaryMasterInfo()), UPDATEMODE_STOPPED);
}

// Every status point's command is taken, also when it changes nothing; the log says which.
TEST_F(CommandTest, CommandsThatDoNothingSucceedAndSayWhy)
{
    TestDevice device("PLC1");
    Online(device);
    log.Clear();
    const int before = device.GetMasterActiveLine();
    EXPECT_EQ(Write(device, device.GetMasterActiveLineObject(), 2), 1); // no redundancy
    EXPECT_EQ(Write(device, device.GetMasterActiveLineObject(), 9), 1); // no such line
    EXPECT_EQ(log.Lines(LOG_COMMAND),
              (std::vector<std::string>{"PLC1 $ACTVLINE 2: nothing done, the device has no redundant lines\r\n",
                                        "PLC1 $ACTVLINE 9: nothing done, not a master line (0, 1 or 2)\r\n"}));
    EXPECT_EQ(device.GetMasterActiveLine(), before);
    EXPECT_EQ(Write(device, device.GetBackupActiveLineObject(), 3), 0); // no point
    EXPECT_EQ(Write(device, device.GetMemoryArrayByName("$Array")->GetMemoryObject(1), 1), 0); // "$CommGood"
}

TEST_F(CommandTest, PointsWithoutTheirLineAreTakenAndSayWhy)
{
    TestDevice device("PLC1");
    device.CreateSystemArrays();
    CdsCommHdlr* hdlr = frame.CreateCommHdlr(device.GetPortHandle());
    ASSERT_NE(hdlr, nullptr);
    hdlr->SetHost(TestHost(clock, dispatcher, &log));
    EXPECT_EQ(Write(device, device.GetMasterActiveLineObject(), 1), 1);
    EXPECT_EQ(Write(device, device.GetMemoryArrayByName("$Array")->GetMemoryObject(3), UPDATEMODE_UPDATING), 1);
    _BRISANTDATAVALUE cell{};
    cell.lVal = 1234;
    int result = 0;
    EXPECT_EQ(device.HandleCommand(device.GetMemoryArrayByName("$Array")->GetMemoryObject(5), cell, result), 1);
    EXPECT_EQ(log.Lines(LOG_COMMAND),
              (std::vector<std::string>{"PLC1 $ACTVLINE 1: nothing done, the line is not open\r\n",
                                        "PLC1 $MODEMSTR 1: nothing done, the line is not open\r\n",
                                        "PLC1 $TIMEMSTR 1234: nothing done, the line is not open\r\n"}));
}

TEST_F(CommandTest, OperatorSwitchesTheActiveLine)
{
    TestDevice device("PLC1", 2);
    CdsCommHdlr* hdlr = Online(device);
    EXPECT_EQ(Write(device, device.GetMasterActiveLineObject(), 2), 1);
    EXPECT_EQ(device.GetMasterActiveLine(), ACTIVELINE_SECONDARY_MASTER);
    EXPECT_EQ(hdlr->GetSecondaryMasterInfo()->m_nKind.load(), LINE_KIND_UPDATE);
    EXPECT_EQ(Write(device, device.GetMasterActiveLineObject(), 1), 1);
    EXPECT_EQ(device.GetMasterActiveLine(), ACTIVELINE_PRIMARY_MASTER);
    EXPECT_EQ(hdlr->GetPrimaryMasterInfo()->m_nKind.load(), LINE_KIND_UPDATE);
    EXPECT_EQ(hdlr->GetSecondaryMasterInfo()->m_nKind.load(), LINE_KIND_MONITOR);
}

TEST_F(CommandTest, TimePointHoldsUnsignedSeconds)
{
    TestDevice device("PLC1");
    CdsCommHdlr* hdlr = Online(device);
    _BRISANTDATAVALUE cell{};
    cell.dwVal = 0xF0000000u;
    int result = 0;
    CdsMemoryObject* time = device.GetTimeObject(hdlr->GetPrimaryMasterInfo());
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(device.HandleCommand(time, cell, result), 1);
    EXPECT_EQ(device.GetLastUpdateTime(hdlr->GetPrimaryMasterInfo()), 0xF0000000LL);
    EXPECT_EQ(time->GetValue().dwVal, 0xF0000000u);
    EXPECT_EQ(time->GetDataType(), BRISANT_LONG);
}

TEST_F(CommandTest, GoingOnlineMirrorsTheModes)
{
    TestDevice device("PLC1");
    CdsCommHdlr* hdlr = Online(device);
    EXPECT_EQ(device.GetSysMode(), SYSMODE_RUNNING);
    EXPECT_EQ(device.GetUpdateMode(hdlr->GetPrimaryMasterInfo()), UPDATEMODE_STOPPED);
    hdlr->DoOffline(&device);
    EXPECT_EQ(device.GetSysMode(), SYSMODE_OFFLINE);
}

} // namespace
