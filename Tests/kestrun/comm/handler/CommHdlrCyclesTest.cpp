// Read, write and monitor cycles over a scripted port.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "kestrun/comm/config/ReturnError.h"
#include "kestrun/model/BitArray.h"
#include "kestrun/model/MemoryTag.h"
#include "kestrun/model/DeviceUpdate.h"
#include "kestrun/model/EventQueue.h"
#include "kestrun/options/ServerOptions.h"
#include "support/comm/EngineFixtures.h"
#include "support/comm/HdlrBench.h"
#include "support/comm/ScriptedTransport.h"

using namespace kestrun::test;

namespace {

// Points whose bits write "WBIT".
class TestBit : public CdsBitObject {
public:
    char* FillCommandQueryString(int nLine) override
    {
        char* buffer = GetCommandQueryString(nLine);
        if (buffer)
            std::strcpy(buffer, "WBIT");
        return buffer;
    }
};
class TestBits : public CdsBitArray {
public:
    CdsMemoryObject* NewBitObject() override { return new TestBit; }
};
class PointWithBits : public TestPoint {
public:
    CdsMemoryArray* NewBitArray() override { return new TestBits; }
};

// A block that finds the response it is handed stale and reads the next one into
// a buffer of its own, as a protocol does after an answer to an earlier request.
class RereadingBlock : public TestBlock {
public:
    std::vector<BYTE> m_handed;
    std::vector<BYTE> m_reread;
    int UpdateStatus(int, const BYTE* pBuffer, int nReceived, kestrun::HandlerLink* pHdlr,
                     const tagTHREADINFO* pLine) override
    {
        m_handed.assign(pBuffer, pBuffer + nReceived);
        std::array<BYTE, 4> again{};
        int received = 0;
        auto* hdlr = dynamic_cast<CdsCommHdlr*>(pHdlr);
        if (!hdlr || !hdlr->ReceiveResponseMessage(this, again.data(), 4, received, nullptr, TRUE,
                                                   const_cast<tagTHREADINFO*>(pLine)))
            return FALSE;
        m_reread.assign(again.begin(), again.begin() + received);
        return TRUE;
    }
};

class CyclesTest : public HdlrBench<ScriptedHdlr> {
protected:
    CyclesTest() : device("PLC1")
    {
        savedTrace = CdsServerOptions::g_nTraceLevel.load();
        CdsServerOptions::g_nTraceLevel = 0;
        block = device.AddBlock("B1", 2);
        hdlr.AddActiveDevice(&device);
        hdlr.SetInService(TRUE);
        line = hdlr.NewThreadInfo(&device, FALSE, FALSE);
        hdlr.OpenCommPort(&device, line);
        port = hdlr.m_nextPort;
    }
    ~CyclesTest() override { CdsServerOptions::g_nTraceLevel = savedTrace; }

    std::vector<std::string> Errors() const { return log.Lines(LOG_ERROR); }

    TestDevice device;
    TestBlock* block = nullptr;
    tagTHREADINFO* line = nullptr;
    std::shared_ptr<ScriptedPort> port;
    int savedTrace = 0;
};

TEST_F(CyclesTest, AnsweredReadParsesAndStamps)
{
    port->Chunk({1, 2, 3, 4});
    block->SetModified(TRUE);
    EXPECT_EQ(hdlr.DoDataRead(block, line), 1);
    EXPECT_EQ(block->m_updates, 1);
    EXPECT_FALSE(block->IsModified());
    EXPECT_EQ(port->Written(), (std::vector<std::vector<BYTE>>{{'R', 'D'}}));
    EXPECT_TRUE(Errors().empty());
}

TEST_F(CyclesTest, UnansweredReadReceivesRetriesPlusOneTimes)
{
    device.m_nRetries = 1;
    EXPECT_EQ(hdlr.DoDataRead(block, line), 0);
    EXPECT_EQ(hdlr.m_sends, 1);
    EXPECT_EQ(hdlr.m_receives, 2);
    EXPECT_EQ(Errors(), (std::vector<std::string>{"-  DataRead ([PLC1]B1) failed!\r\n"}));
}

TEST_F(CyclesTest, FailingSendIsTriedRetriesPlusTwoTimes)
{
    device.m_nRetries = 1;
    port->FailWrites(100, CommErrorResult(RE_FILE_EXCEPTION));
    EXPECT_EQ(hdlr.DoDataRead(block, line), 0);
    EXPECT_EQ(hdlr.m_sends, 3);
    EXPECT_EQ(hdlr.m_receives, 0);
    EXPECT_EQ(Errors(), (std::vector<std::string>{"-  Sending QueryMessage ([PLC1]B1) failed!\r\n"}));
}

TEST_F(CyclesTest, ReadOnAClosedPortRaisesTheCountToTheMaximum)
{
    port->Close();
    EXPECT_EQ(hdlr.DoDataRead(block, line), 0);
    EXPECT_EQ(device.GetErrorCount(line), device.GetMaxErrorsAllowed(line));
}

// A PLC that refuses a read has answered: the line keeps its error count (one bad
// block must not reset the connection of the others), while the block counts the
// refusal and its points lose their good quality until a read succeeds.
TEST_F(CyclesTest, RefusedReadIsKeptOutOfTheLineCountAndShowsAsBadQuality)
{
    port->Chunk({1, 2, 3, 4});
    CdsMemoryObject* point = block->GetMemoryObject(0);
    point->SetNewValue(_BRISANTDATAVALUE{}, nullptr, FALSE);
    ASSERT_EQ(point->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
    block->m_accept = FALSE;
    EXPECT_TRUE(CdsDeviceUpdate::UpdateMemoryArray(&hdlr, block, line));
    EXPECT_EQ(block->m_updates, 1);
    EXPECT_EQ(Errors(), (std::vector<std::string>{"-  DataRead ([PLC1]B1) failed!\r\n"}));
    EXPECT_EQ(device.GetErrorCount(line), 0);
    EXPECT_EQ(block->GetErrorCount(), 1);
    EXPECT_EQ(point->GetStatus(), CdsMemoryObject::QUALITY_NONE);
    EXPECT_FALSE(point->IsTouched());

    // Refused again: counted again on the block only.
    port->Chunk({1, 2, 3, 4});
    EXPECT_TRUE(CdsDeviceUpdate::UpdateMemoryArray(&hdlr, block, line));
    EXPECT_EQ(block->GetErrorCount(), 2);
    EXPECT_EQ(device.GetErrorCount(line), 0);

    // The next value read makes the point good again, though it did not change.
    block->m_accept = TRUE;
    port->Chunk({1, 2, 3, 4});
    EXPECT_TRUE(CdsDeviceUpdate::UpdateMemoryArray(&hdlr, block, line));
    point->UpdateState(_BRISANTDATAVALUE{}, FALSE, &hdlr, line, FALSE);
    EXPECT_EQ(point->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
    EXPECT_EQ(block->GetErrorCount(), 2);
}

// A block the PLC keeps refusing logs when it starts failing and when it comes
// back, not on every scan: its count and its points' quality tell the rest. A
// second outage is logged again.
TEST_F(CyclesTest, ABlockThatKeepsFailingLogsItsStartAndItsRecoveryOnly)
{
    block->m_accept = FALSE;
    for (int scan = 0; scan < 5; ++scan) {
        port->Chunk({1, 2, 3, 4});
        EXPECT_TRUE(CdsDeviceUpdate::UpdateMemoryArray(&hdlr, block, line));
    }
    EXPECT_EQ(Errors(), (std::vector<std::string>{"-  DataRead ([PLC1]B1) failed!\r\n"}));
    EXPECT_EQ(block->GetErrorCount(), 5);
    EXPECT_EQ(block->GetMemoryObject(0)->GetStatus(), CdsMemoryObject::QUALITY_NONE);
    EXPECT_TRUE(log.Lines(LOG_INFO).empty());

    block->m_accept = TRUE;
    for (int scan = 0; scan < 2; ++scan) {
        port->Chunk({1, 2, 3, 4});
        EXPECT_TRUE(CdsDeviceUpdate::UpdateMemoryArray(&hdlr, block, line));
    }
    EXPECT_EQ(log.Lines(LOG_INFO),
              (std::vector<std::string>{"-  DataRead ([PLC1]B1) recovered after 5 failures.\r\n"}));

    block->m_accept = FALSE;
    port->Chunk({1, 2, 3, 4});
    EXPECT_TRUE(CdsDeviceUpdate::UpdateMemoryArray(&hdlr, block, line));
    EXPECT_EQ(Errors().size(), 2u);
    EXPECT_EQ(Errors().back(), "-  DataRead ([PLC1]B1) failed!\r\n");
    block->m_accept = TRUE;
    port->Chunk({1, 2, 3, 4});
    EXPECT_TRUE(CdsDeviceUpdate::UpdateMemoryArray(&hdlr, block, line));
    EXPECT_EQ(log.Lines(LOG_INFO).back(), "-  DataRead ([PLC1]B1) recovered after 1 failure.\r\n");
    EXPECT_EQ(block->GetErrorCount(), 6);
}

// A block that comes back online starts afresh: if it still fails, that is logged.
TEST_F(CyclesTest, ABlockBackOnlineLogsItsFirstFailureAgain)
{
    block->m_accept = FALSE;
    port->Chunk({1, 2, 3, 4});
    EXPECT_EQ(hdlr.DoDataRead(block, line), 1);
    block->SetOnline(FALSE, &device);
    block->SetOnline(TRUE, &device);
    port->Chunk({1, 2, 3, 4});
    EXPECT_EQ(hdlr.DoDataRead(block, line), 1);
    EXPECT_EQ(log.Count(LOG_ERROR, "-  DataRead ([PLC1]B1) failed!\r\n"), 2);
}

// Unanswered and unsent reads are one run: the first failure is logged with its
// own text. Each block and each line keeps a run of its own.
TEST_F(CyclesTest, UnansweredAndUnsentReadsLogTheFirstFailureOfARunOnly)
{
    TestBlock* other = device.AddBlock("B2", 1);
    ASSERT_NE(other, nullptr);
    device.m_nRetries = 0;
    port->FailWrites(4, CommErrorResult(RE_FILE_EXCEPTION)); // two reads, each sent twice
    EXPECT_EQ(hdlr.DoDataRead(block, line), 0);
    EXPECT_EQ(hdlr.DoDataRead(block, line), 0);
    EXPECT_EQ(hdlr.DoDataRead(block, line), 0); // sent, not answered
    EXPECT_EQ(hdlr.DoDataRead(other, line), 0);
    EXPECT_EQ(Errors(), (std::vector<std::string>{"-  Sending QueryMessage ([PLC1]B1) failed!\r\n",
                                                  "-  DataRead ([PLC1]B2) failed!\r\n"}));
    port->Chunk({1, 2, 3, 4});
    EXPECT_EQ(hdlr.DoDataRead(block, line), 1);
    EXPECT_EQ(log.Lines(LOG_INFO),
              (std::vector<std::string>{"-  DataRead ([PLC1]B1) recovered after 3 failures.\r\n"}));
    EXPECT_TRUE(other->IsReadFailing(0));
    EXPECT_FALSE(other->IsReadFailing(1)) << "a run belongs to its line";
}

// A block that stores a value into each of its points and a bit of the first.
class StoringBlock : public TestBlock {
public:
    int UpdateStatus(int, const BYTE*, int, kestrun::HandlerLink* pHdlr, const tagTHREADINFO* pLine) override
    {
        for (int i = 0; i < GetSize(); ++i) {
            _BRISANTDATAVALUE v{};
            v.iVal = static_cast<SHORT>(++m_next);
            UpdateState(i, v, FALSE, pHdlr, pLine, FALSE);
        }
        return TRUE;
    }
    int m_next = 0;
};

// The points of a read block carry one timestamp: the line's wall time when the
// response arrived, not one clock reading per point.
TEST_F(CyclesTest, PointsOfAReadBlockShareTheTimeOfTheRead)
{
    auto* stored = new StoringBlock;
    stored->SetName("B2");
    stored->SetAddr("B2");
    ASSERT_TRUE(device.AddMemoryArray(stored, false));
    for (int i = 0; i < 3; ++i) {
        auto* point = new PointWithBits;
        point->SetName("B2_" + std::to_string(i));
        point->SetDataType(BRISANT_SHORT);
        ASSERT_NE(stored->AddMemoryObject(i, point, TRUE), nullptr);
    }
    CdsMemoryObject* bit = stored->GetMemoryObject(0)->GetBitObject(1);
    ASSERT_NE(bit, nullptr);
    const auto wall = std::chrono::system_clock::time_point{} + std::chrono::hours(24 * 365 * 50) +
                      std::chrono::microseconds(123456);
    clock.setWallTime(wall);
    port->Chunk({1, 2, 3, 4});
    EXPECT_EQ(hdlr.DoDataRead(stored, line), 1);
    const FILETIME expected = com::toFileTime(wall);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(stored->GetMemoryObject(i)->GetMemoryTag()->Read().ftTimestamp, expected) << i;
    EXPECT_EQ(bit->GetMemoryTag()->Read().ftTimestamp, expected);
    EXPECT_EQ(stored->GetDeliveryTime(), 0u) << "only for the span of the delivery";
}

TEST_F(CyclesTest, UnansweredReadIsCountedOnTheLineAndTheBlock)
{
    EXPECT_FALSE(CdsDeviceUpdate::UpdateMemoryArray(&hdlr, block, line));
    EXPECT_EQ(device.GetErrorCount(line), 1);
    EXPECT_EQ(block->GetErrorCount(), 1);
}

// A PLC that keeps its connection but stops answering: its values are stale, so
// they leave good quality at the first failed read (not when the line's error
// count runs out), and come back good with the next answer, changed or not.
TEST_F(CyclesTest, UnansweredReadTakesThePointsOutOfGoodQualityUntilTheNextAnswer)
{
    CdsMemoryObject* point = block->GetMemoryObject(0);
    port->Chunk({1, 2, 3, 4});
    ASSERT_EQ(hdlr.DoDataRead(block, line), 1);
    point->SetNewValue(_BRISANTDATAVALUE{}, nullptr, FALSE);
    ASSERT_EQ(point->GetStatus(), CdsMemoryObject::QUALITY_GOOD);

    EXPECT_FALSE(CdsDeviceUpdate::UpdateMemoryArray(&hdlr, block, line));
    EXPECT_EQ(point->GetStatus(), 64);
    EXPECT_TRUE(point->IsTouched()); // its value is still there to be read
    EXPECT_EQ(device.GetErrorCount(line), 1); // the line's count goes on as before

    port->Chunk({1, 2, 3, 4});
    EXPECT_TRUE(CdsDeviceUpdate::UpdateMemoryArray(&hdlr, block, line));
    // The same value as before the outage, read again, brings the good quality back.
    point->UpdateState(_BRISANTDATAVALUE{}, FALSE, nullptr, line, FALSE);
    EXPECT_EQ(point->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
}

// An unanswered read on the primary master of a redundant device leaves the points
// as they are while another line can still take over: the partner it switches to,
// or a line that reads the device itself.
struct TakeOverCase {
    const char* name;
    int lines;
    bool switchOnCommError;
    // Per line from the secondary master on: 'h' healthy, 'e' in comm error, 'f'
    // failed once since its last answer.
    const char* others;
    WORD quality;
};

class CyclesTakeOverTest : public CyclesTest, public ::testing::WithParamInterface<TakeOverCase> {};

TEST_P(CyclesTakeOverTest, AnUnansweredReadLeavesThePointsToALineThatCanTakeOver)
{
    const TakeOverCase& c = GetParam();
    TestDevice redundant("PLC2", c.lines);
    redundant.m_bSwitchOnCommError = c.switchOnCommError ? TRUE : FALSE;
    TestBlock* words = redundant.AddBlock("W", 1);
    hdlr.RemoveActiveDevice(&device);
    hdlr.AddActiveDevice(&redundant);
    for (int i = 1; i < c.lines; ++i) {
        tagTHREADINFO* other = hdlr.NewThreadInfo(&redundant, i >= 2, i % 2 == 1);
        ASSERT_NE(other, nullptr);
        other->m_bCommError = c.others[i - 1] == 'e' ? TRUE : FALSE;
        if (c.others[i - 1] == 'f')
            redundant.AddErrorCount(other, 1);
    }
    CdsMemoryObject* point = words->GetMemoryObject(0);
    point->SetStatus(CdsMemoryObject::QUALITY_GOOD);
    EXPECT_EQ(hdlr.DoDataRead(words, line), 0);
    EXPECT_EQ(point->GetStatus(), c.quality);
    hdlr.RemoveActiveDevice(&redundant);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CyclesTakeOverTest,
    ::testing::Values(TakeOverCase{"OneLine", 1, true, "", 64},
                      TakeOverCase{"HealthyStandby", 2, true, "h", CdsMemoryObject::QUALITY_GOOD},
                      TakeOverCase{"StandbyInCommError", 2, true, "e", 64},
                      TakeOverCase{"StandbyFailedSinceItsLastAnswer", 2, true, "f", 64},
                      TakeOverCase{"NoSwitchOnCommErrors", 2, false, "h", 64},
                      TakeOverCase{"BackupLineReadsTheDevice", 4, true, "eh", CdsMemoryObject::QUALITY_GOOD},
                      TakeOverCase{"EveryOtherLineDown", 4, true, "eee", 64}),
    [](const ::testing::TestParamInfo<TakeOverCase>& info) { return std::string(info.param.name); });

TEST_F(CyclesTest, WithoutResponseTheReadSucceedsAfterTheSend)
{
    hdlr.SetNeedStatusResponse(FALSE);
    EXPECT_EQ(hdlr.DoDataRead(block, line), 1);
    EXPECT_EQ(hdlr.m_receives, 0);
    EXPECT_EQ(block->m_updates, 0);
}

// The device hears the response the block was handed, not the one the block read
// after it into a buffer of its own.
TEST_F(CyclesTest, TheDeviceGetsTheResponseTheBlockWasHandedEvenAfterAReread)
{
    auto* reread = new RereadingBlock;
    reread->SetName("B2");
    reread->SetAddr("B2");
    ASSERT_NE(device.AddMemoryArray(reread, false), nullptr);
    auto* point = new TestPoint;
    point->SetName("B2_0");
    point->SetDataType(BRISANT_SHORT);
    reread->AddMemoryObject(0, point, TRUE);
    port->Chunk({1, 2, 3, 4});
    port->Chunk({5, 6, 7, 8});
    EXPECT_EQ(hdlr.DoDataRead(reread, line), 1);
    EXPECT_EQ(reread->m_handed, (std::vector<BYTE>{1, 2, 3, 4}));
    EXPECT_EQ(reread->m_reread, (std::vector<BYTE>{5, 6, 7, 8}));
    EXPECT_EQ(device.m_statusResponse, (std::vector<BYTE>{1, 2, 3, 4}));
}

TEST_F(CyclesTest, ResponseLongerThanTheBufferFails)
{
    block->m_responseLen = CdsCommHdlr::kReceiveBufferSize + 1;
    port->Chunk(std::vector<BYTE>(5000, 0x11));
    EXPECT_EQ(hdlr.DoDataRead(block, line), 0);
    EXPECT_EQ(hdlr.m_receives, 0);
    EXPECT_EQ(block->m_updates, 0);
}

TEST_F(CyclesTest, BlockWithoutPointsIsNotRead)
{
    TestBlock* empty = device.AddBlock("B2", 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(hdlr.DoDataRead(empty, line), 0);
    EXPECT_TRUE(port->Written().empty());
}

TEST_F(CyclesTest, WriteIsSentOnceAndAwaitedRetriesPlusOneTimes)
{
    device.m_nRetries = 1;
    CdsMemoryObject* point = block->GetMemoryObject(0);
    _BRISANTDATAVALUE value{};
    value.iVal = 5;
    EXPECT_EQ(hdlr.DoDataWrite(point, value, line), 0);
    EXPECT_EQ(hdlr.m_sends, 1);
    EXPECT_EQ(hdlr.m_receives, 2);
    EXPECT_EQ(Errors(), (std::vector<std::string>{"-  DataWrite ([PLC1]B1_0) failed!\r\n"}));
    EXPECT_FALSE(block->IsModified());
}

TEST_F(CyclesTest, AnsweredWriteMarksTheBlockForReadBack)
{
    port->Chunk({0, 0, 0, 0});
    _BRISANTDATAVALUE value{};
    value.iVal = 5;
    EXPECT_EQ(hdlr.DoDataWrite(block->GetMemoryObject(1), value, line), 1);
    EXPECT_TRUE(block->IsModified());
    EXPECT_EQ(port->Written(), (std::vector<std::vector<BYTE>>{{'W', 'B', '1', '_', '1'}}));
}

TEST_F(CyclesTest, TheAnsweredWriteHandsTheResponseToThePoint)
{
    port->Chunk({9, 8, 7, 6});
    auto* point = static_cast<TestPoint*>(block->GetMemoryObject(1));
    _BRISANTDATAVALUE value{};
    value.iVal = 5;
    EXPECT_EQ(hdlr.DoDataWrite(point, value, line), 1);
    EXPECT_EQ(point->m_commands, 1);
    EXPECT_EQ(point->m_commandFrame, 0);
    EXPECT_EQ(point->m_commandResponse, (std::vector<BYTE>{9, 8, 7, 6}));
    EXPECT_EQ(point->m_commandHdlr, static_cast<kestrun::HandlerLink*>(&hdlr));
}

// A refused write was answered: it is counted on the block, not on the line, and
// the block is read back so that clients see what the PLC holds.
TEST_F(CyclesTest, AWriteThePointRefusesIsCountedOnTheBlockAndReadBack)
{
    hdlr.InstallQueue();
    port->Chunk({0xFF, 0xFF, 0xFF, 0xFF});
    auto* point = static_cast<TestPoint*>(block->GetMemoryObject(0));
    point->m_acceptCommand = FALSE;
    _BRISANTDATAVALUE value{};
    hdlr.GetEventQueue()->AddNewEvent(point, value, BRISANT_SHORT, 0);
    hdlr.DoServiceCommands(line);
    EXPECT_EQ(point->m_commands, 1);
    EXPECT_TRUE(block->IsModified()) << "read back";
    EXPECT_EQ(block->GetErrorCount(), 1);
    EXPECT_EQ(device.GetErrorCount(line), 0);
    EXPECT_EQ(Errors().back(), "-  Write [PLC1]B1_0 = 0 was not confirmed: its answer does not confirm it\r\n");
}

TEST_F(CyclesTest, AnUnansweredQueuedWriteIsCountedOnTheLineAndTheBlock)
{
    hdlr.InstallQueue();
    _BRISANTDATAVALUE value{};
    value.iVal = 1234;
    hdlr.GetEventQueue()->AddNewEvent(block->GetMemoryObject(0), value, BRISANT_SHORT, 0);
    hdlr.DoServiceCommands(line);
    EXPECT_TRUE(block->IsModified()); // read back, so clients see what the PLC holds
    EXPECT_EQ(block->GetErrorCount(), 1);
    EXPECT_EQ(device.GetErrorCount(line), 1);
    const std::string item = block->GetMemoryObject(0)->GetName();
    EXPECT_EQ(Errors().back(), "-  Write [PLC1]" + item + " = 1234 was not confirmed: no answer within 5000 ms\r\n");
}

// A write whose request cannot even be sent is logged with its item and value too.
TEST_F(CyclesTest, AQueuedWriteThatCannotBeSentIsLoggedWithItsValueAndReadBack)
{
    hdlr.InstallQueue();
    port->FailWrites(100, CommErrorResult(RE_FILE_EXCEPTION));
    _BRISANTDATAVALUE value{};
    value.iVal = -7;
    hdlr.GetEventQueue()->AddNewEvent(block->GetMemoryObject(0), value, BRISANT_SHORT, 0);
    hdlr.DoServiceCommands(line);
    const std::string item = block->GetMemoryObject(0)->GetName();
    EXPECT_EQ(Errors().back(), "-  Write [PLC1]" + item + " = -7 did not reach the PLC: the port did not take it\r\n");
    EXPECT_TRUE(block->IsModified());
    EXPECT_EQ(block->GetErrorCount(), 1);
}

// A write that is never built sent nothing: it is logged with its reason and
// counted on its block, never on the line, however many there are.
TEST_F(CyclesTest, WritesThatAreNeverBuiltAreCountedOnTheBlockNotTheLine)
{
    hdlr.InstallQueue();
    block->SetWriteAllowed(FALSE);
    _BRISANTDATAVALUE value{};
    value.iVal = 5;
    for (int i = 0; i < 25; ++i)
        hdlr.GetEventQueue()->AddNewEvent(block->GetMemoryObject(0), value, BRISANT_SHORT, 0);
    hdlr.DoServiceCommands(line);
    EXPECT_EQ(hdlr.m_sends, 0);
    EXPECT_EQ(block->GetErrorCount(), 25);
    EXPECT_EQ(device.GetErrorCount(line), 0);
    EXPECT_FALSE(CdsCommHdlr::IsThisInCommError(line));
    const std::string item = block->GetMemoryObject(0)->GetName();
    EXPECT_EQ(Errors().size(), 25u);
    EXPECT_EQ(Errors().back(),
              "-  Write [PLC1]" + item + " = 5 was not sent: block B1 takes no writes (Write Allowed is off)\r\n");
}

// A write the PLC does not answer makes the station's points uncertain, as a failed
// read does, and the writes behind it wait for the PLC's next answer.
TEST_F(CyclesTest, AnUnansweredWriteMarksThePointsAndHoldsTheWritesBehindIt)
{
    hdlr.InstallQueue();
    port->Chunk({1, 2, 3, 4});
    ASSERT_EQ(hdlr.DoDataRead(block, line), 1);
    block->GetMemoryObject(1)->SetStatus(CdsMemoryObject::QUALITY_GOOD);
    auto queue = hdlr.GetEventQueue();
    _BRISANTDATAVALUE value{};
    for (int i = 0; i < 3; ++i)
        queue->AddNewEvent(block->GetMemoryObject(0), value, BRISANT_SHORT, 0);
    hdlr.DoServiceCommands(line);
    EXPECT_EQ(hdlr.m_sends, 2);   // the read, then one write
    EXPECT_EQ(block->GetMemoryObject(1)->GetStatus(), 64);
    EXPECT_EQ(queue->GetCount(), 2u);
    hdlr.DoServiceCommands(line);
    EXPECT_EQ(hdlr.m_sends, 2) << "not sent into a PLC that does not answer";
    EXPECT_TRUE(block->IsModified()) << "read back at the next visit: the PLC's answer lets them go";

    port->Chunk({1, 2, 3, 4});
    ASSERT_EQ(hdlr.DoDataRead(block, line), 1);
    port->Chunk({0, 0, 0, 0});
    port->Chunk({0, 0, 0, 0});
    hdlr.DoServiceCommands(line);
    EXPECT_EQ(hdlr.m_sends, 5);
    EXPECT_TRUE(queue->IsEmpty());
}

// A block that is never read gives no answer to wait for: one of its held writes
// a pass asks the PLC, and the answer lets the others go.
TEST_F(CyclesTest, HeldWritesOfABlockThatIsNeverReadAskOneAtATime)
{
    hdlr.InstallQueue();
    block->SetReadAllowed(FALSE);
    auto queue = hdlr.GetEventQueue();
    _BRISANTDATAVALUE value{};
    for (int i = 0; i < 4; ++i)
        queue->AddNewEvent(block->GetMemoryObject(0), value, BRISANT_SHORT, 0);
    hdlr.DoServiceCommands(line);
    EXPECT_EQ(hdlr.m_sends, 2);   // the first, unanswered, and one probe
    EXPECT_EQ(queue->GetCount(), 2u);
    port->Chunk({0, 0, 0, 0});
    port->Chunk({0, 0, 0, 0});
    hdlr.DoServiceCommands(line);
    EXPECT_EQ(hdlr.m_sends, 4);
    EXPECT_TRUE(queue->IsEmpty());
}

// A bit lives in its point's word: writing it reads back the point's block.
TEST_F(CyclesTest, AWrittenBitReadsBackItsPointsBlock)
{
    auto* point = new PointWithBits;
    point->SetName("B1_2");
    point->SetDataType(BRISANT_SHORT);
    ASSERT_NE(block->AddMemoryObject(2, point, TRUE), nullptr);
    CdsMemoryObject* bit = point->GetBitObject(3);
    ASSERT_NE(bit, nullptr);
    port->Chunk({0, 0, 0, 0});
    _BRISANTDATAVALUE value{};
    value.boolVal = 1;
    EXPECT_EQ(hdlr.DoDataWrite(bit, value, line), 1);
    EXPECT_EQ(port->Written(), (std::vector<std::vector<BYTE>>{{'W', 'B', 'I', 'T'}}));
    EXPECT_TRUE(block->IsModified());
}

TEST_F(CyclesTest, WriteOnAClosedPortRaisesTheCountToTheMaximum)
{
    port->Close();
    _BRISANTDATAVALUE value{};
    EXPECT_EQ(hdlr.DoDataWrite(block->GetMemoryObject(0), value, line), 0);
    EXPECT_GE(device.GetErrorCount(line), device.GetMaxErrorsAllowed(line));
}

TEST_F(CyclesTest, QueuedWritesGoOutOldestFirst)
{
    hdlr.SetNeedCommandResponse(FALSE);
    hdlr.InstallQueue();
    auto queue = hdlr.GetEventQueue();
    _BRISANTDATAVALUE value{};
    queue->AddNewEvent(block->GetMemoryObject(1), value, BRISANT_SHORT, 0);
    queue->AddNewEvent(block->GetMemoryObject(0), value, BRISANT_SHORT, 0);
    hdlr.DoServiceCommands(line);
    EXPECT_EQ(port->Written(), (std::vector<std::vector<BYTE>>{{'W', 'B', '1', '_', '1'}, {'W', 'B', '1', '_', '0'}}));
    EXPECT_TRUE(queue->IsEmpty());
}

TEST_F(CyclesTest, NextDeviceSkipsDevicesWithoutBlocks)
{
    TestDevice bare("BARE");
    CdsCommHdlr& base = hdlr;
    base.RemoveActiveDevice(&device);
    base.AddActiveDevice(&bare);
    base.AddActiveDevice(&device);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(base.GetNextDeviceToUpdate(line), &device);
    base.RemoveActiveDevice(&bare);
}

TEST_F(CyclesTest, RemovedDeviceLeavesNoCursorBehind)
{
    TestDevice other("PLC2");
    other.AddBlock("C1");
    hdlr.AddActiveDevice(&other);
    EXPECT_EQ(hdlr.GetNextDeviceToUpdate(line), &device); // cursor now names PLC2
    hdlr.RemoveActiveDevice(&other);
    EXPECT_EQ(hdlr.GetNextDeviceToUpdate(line), &device);
    EXPECT_EQ(hdlr.GetNextDeviceToUpdate(line), &device);
}

TEST_F(CyclesTest, MonitorProbeAnsweredAndFailed)
{
    port->Chunk({1, 2, 3, 4});
    hdlr.m_validResponse = TRUE;
    // The base device accepts no monitor response: an answer is still a live line.
    EXPECT_EQ(hdlr.DoDeviceMonitor(&device, line, 0), 1);
    EXPECT_EQ(hdlr.DoDeviceMonitor(&device, line, 0), 0);
    EXPECT_EQ(Errors().back(), "-  DeviceMonitor ([PLC1]) failed!\r\n");
}

// A probe that keeps failing is logged when it starts and when it comes back.
TEST_F(CyclesTest, AProbeThatKeepsFailingLogsItsStartAndItsRecoveryOnly)
{
    for (int probe = 0; probe < 4; ++probe)
        EXPECT_EQ(hdlr.DoDeviceMonitor(&device, line, 0), 0);
    EXPECT_EQ(Errors(), (std::vector<std::string>{"-  DeviceMonitor ([PLC1]) failed!\r\n"}));
    device.m_monitorAccept = TRUE;
    port->Chunk({1, 2, 3, 4});
    EXPECT_EQ(hdlr.DoDeviceMonitor(&device, line, 0), 1);
    port->Chunk({1, 2, 3, 4});
    EXPECT_EQ(hdlr.DoDeviceMonitor(&device, line, 0), 1);
    EXPECT_EQ(log.Lines(LOG_INFO),
              (std::vector<std::string>{"-  DeviceMonitor ([PLC1]) recovered after 4 failures.\r\n"}));
    EXPECT_EQ(hdlr.DoDeviceMonitor(&device, line, 0), 0);
    EXPECT_EQ(Errors().size(), 2u);
}

// Every failed write is logged, however many come in a row.
TEST_F(CyclesTest, EveryFailedWriteIsLogged)
{
    _BRISANTDATAVALUE value{};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(hdlr.DoDataWrite(block->GetMemoryObject(0), value, line), 0);
    EXPECT_EQ(log.Count(LOG_ERROR, "-  DataWrite ([PLC1]B1_0) failed!\r\n"), 3);
}

// A read whose line stops neither retries nor waits the retry delay.
TEST_F(CyclesTest, AReadCutShortByAStopIsNotRetried)
{
    device.m_nRetries = 2;
    hdlr.GetStopEvent()->set();
    EXPECT_EQ(hdlr.DoDataRead(block, line), 0);
    EXPECT_EQ(hdlr.m_receives, 1);
}

// Writes a client was told are queued are each logged when their device goes
// offline before a line took them.
TEST_F(CyclesTest, WritesStillQueuedWhenTheDeviceGoesOfflineAreEachLogged)
{
    hdlr.InstallQueue();
    _BRISANTDATAVALUE value{};
    value.iVal = 7;
    hdlr.GetEventQueue()->AddNewEvent(block->GetMemoryObject(0), value, BRISANT_SHORT, 0);
    value.iVal = -8;
    hdlr.GetEventQueue()->AddNewEvent(block->GetMemoryObject(1), value, BRISANT_SHORT, 0);
    hdlr.PurgeDeviceEvents(&device);
    EXPECT_EQ(Errors(), (std::vector<std::string>{"Write [PLC1]B1_0 = 7 was not sent: the device went offline\r\n",
                                                  "Write [PLC1]B1_1 = -8 was not sent: the device went offline\r\n"}));
    EXPECT_TRUE(hdlr.GetEventQueue()->IsEmpty());
}

// A write whose line stops while it waits for the answer waits no longer, and
// is logged by the application thread once the lines are gone (it cannot take
// a line's log line while it waits for the line).
TEST_F(CyclesTest, AWriteCutShortByAStopIsLoggedOnceTheLinesAreGone)
{
    hdlr.InstallQueue();
    device.m_nRetries = 2;
    _BRISANTDATAVALUE value{};
    value.iVal = 1234;
    hdlr.GetEventQueue()->AddNewEvent(block->GetMemoryObject(0), value, BRISANT_SHORT, 0);
    value.iVal = 5;
    hdlr.GetEventQueue()->AddNewEvent(block->GetMemoryObject(1), value, BRISANT_SHORT, 0);
    hdlr.GetStopEvent()->set();
    std::thread([&] { hdlr.DoServiceCommands(line); }).join();
    EXPECT_EQ(hdlr.m_receives, 1) << "no retry once the line stops";
    EXPECT_TRUE(Errors().empty()) << "held while the lines stop";
    hdlr.PurgeDeviceEvents(&device);
    EXPECT_EQ(Errors(),
              (std::vector<std::string>{"-  DataWrite ([PLC1]B1_0) failed!\r\n",
                                        "-  Write [PLC1]B1_0 = 1234 was not confirmed: the line stopped before an "
                                        "answer came\r\n",
                                        "Write [PLC1]B1_1 = 5 was not sent: the device went offline\r\n"}));
}

} // namespace
