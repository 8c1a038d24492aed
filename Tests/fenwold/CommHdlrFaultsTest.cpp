// The MELSEC handler against the simulated PLC's faults, in all six frame kinds:
// what needs fault injection or a look at what the simulator received. Against an
// outside PLC these tests skip.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "fenwold/LoopbackFixture.h"
#include "fenwold/MelsecFakes.h"
#include "kestrun/model/DeviceUpdate.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "support/OptionScope.h"

using namespace fenwoldtest;
using plcsim::Fault;

namespace {

class SimLoopback : public SimKindTest<PlcKind> {
protected:
    CMemoryArray* Words(DWORD number, int points) { return link.AddBlock(kD, number, BRISANT_WORD, points); }
    WORD WordAt(CMemoryArray* block, int i) { return block->GetMemoryObject(i)->GetValue().wVal; }
};

// A refused read leaves the line's count alone and shows on the block: bad quality
// and a count. The stream stays in step, and the 1E abnormal code with its zero
// byte is taken whole: the next read works.
TEST_P(SimLoopback, RefusedReadIsVisibleButNotCountedOnTheLine)
{
    Sim()->memory().setWord(kD, 10, 9);
    CMemoryArray* d = Words(10, 1);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(link.Read(d));
    Sim()->injectFault(Is1E() ? Fault::withEndCode(0x5B, 0x10) : Fault::withEndCode(0xC051));
    EXPECT_EQ(link.hdlr->DoDataRead(d, link.line), 1);
    EXPECT_TRUE(link.Logged(Is1E() ? "Unknown Error (0x10)" : "Invalid length for reading/writing"));
    EXPECT_TRUE(link.Logged("DataRead ([PLC]"));
    EXPECT_FALSE(link.Logged("Remove Junk"));
    EXPECT_EQ(d->GetErrorCount(), 1);
    EXPECT_EQ(link.device->GetErrorCount(link.line), 0);
    EXPECT_EQ(d->GetMemoryObject(0)->GetStatus(), CdsMemoryObject::QUALITY_NONE);
    ASSERT_TRUE(link.Read(d));
    EXPECT_EQ(WordAt(d, 0), 9);
    EXPECT_EQ(d->GetMemoryObject(0)->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
}

// A refusal that lasts logs its end code and the failed read once, when it starts,
// and one line when the block reads again; the count tells the scans between.
TEST_P(SimLoopback, ARefusalThatLastsIsLoggedWhenItStartsAndWhenItEnds)
{
    Sim()->memory().setWord(kD, 40, 4);
    CMemoryArray* d = Words(40, 1);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(link.Read(d));
    const Fault refusal = Is1E() ? Fault::withEndCode(0x5B, 0x10) : Fault::withEndCode(0xC051);
    for (int outage = 1; outage <= 2; ++outage) {
        link.log.Clear();
        for (int scan = 0; scan < 4; ++scan) {
            Sim()->injectFault(refusal);
            EXPECT_TRUE(CdsDeviceUpdate::UpdateMemoryArray(link.hdlr.get(), d, link.line));
        }
        const std::vector<std::string> errors = link.log.Lines(LOG_ERROR);
        ASSERT_EQ(errors.size(), 2u) << outage;
        EXPECT_NE(errors[0].find(Is1E() ? "Unknown Error (0x10)" : "Invalid length for reading/writing"),
                  std::string::npos);
        EXPECT_NE(errors[1].find("DataRead ([PLC]"), std::string::npos);
        EXPECT_EQ(d->GetErrorCount(), 4 * outage);
        EXPECT_EQ(link.device->GetErrorCount(link.line), 0);
        EXPECT_TRUE(link.log.Lines(LOG_INFO).empty());

        EXPECT_EQ(link.hdlr->DoDataRead(d, link.line), 1);
        EXPECT_EQ(link.hdlr->DoDataRead(d, link.line), 1);
        const std::vector<std::string> infos = link.log.Lines(LOG_INFO);
        ASSERT_EQ(infos.size(), 1u);
        EXPECT_NE(infos[0].find("recovered after 4 failures."), std::string::npos) << infos[0];
        EXPECT_EQ(link.log.Lines(LOG_ERROR).size(), 2u);
    }
}

// A refused write was answered: it is logged with its end-code text and counted on
// the block, not on the line, and the block is read back to show the PLC's value.
TEST_P(SimLoopback, RefusedWriteIsLoggedCountedOnTheBlockAndReadBack)
{
    CMemoryArray* d = Words(20, 1);
    ASSERT_NE(d, nullptr);
    Sim()->memory().setWord(kD, 20, 1);
    Sim()->injectFault(Is1E() ? Fault::withEndCode(0x5B, 0x10) : Fault::withEndCode(0xC056));
    _BRISANTDATAVALUE v{};
    v.wVal = 2;
    link.log.Clear();
    EXPECT_EQ(link.hdlr->DoDataWrite(d->GetMemoryObject(0), v, link.line), 1);
    EXPECT_EQ(Sim()->memory().word(kD, 20), 1);
    ASSERT_EQ(link.log.Lines(LOG_ERROR).size(), 1u);
    // One line names the item, the value, the end code and its text.
    const std::string line = link.log.Lines(LOG_ERROR)[0];
    EXPECT_NE(line.find("Write [PLC]" + d->GetMemoryObject(0)->GetName() + " = 2 was refused by the PLC: end code " +
                        (Is1E() ? std::string("5B10 (Unknown Error (0x10))")
                                : std::string("C056 (Over max address for reading/writing)"))),
              std::string::npos)
        << line;
    EXPECT_EQ(d->GetErrorCount(), 1);
    EXPECT_EQ(link.device->GetErrorCount(link.line), 0);
    // The device's next visit reads the block back.
    EXPECT_TRUE(d->IsModified());
    link.hdlr->UpdateNextDevice(link.line);
    EXPECT_EQ(WordAt(d, 0), 1);
    EXPECT_EQ(d->GetMemoryObject(0)->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
    EXPECT_TRUE(link.Write(d, 0, v));
    EXPECT_EQ(Sim()->memory().word(kD, 20), 2);
}

// A response with a word too few is a failed read: no point takes a value, and
// the next read is good again.
TEST_P(SimLoopback, ResponseShortOfTheWordsAskedForIsAFailedRead)
{
    Sim()->memory().setWord(kD, 30, 30);
    Sim()->memory().setWord(kD, 31, 31);
    CMemoryArray* d = Words(30, 2);
    ASSERT_NE(d, nullptr);
    OptionScope ioctl(CdsServerFrame::g_bUseIoctl, 1);
    Sim()->injectFault(Fault::of(Fault::Kind::ShortData));
    EXPECT_FALSE(link.Read(d));
    EXPECT_TRUE(link.Logged("DataRead ([PLC]"));
    if (!Is1E()) {
        EXPECT_TRUE(link.Logged("Response data does not match the words requested!"));
    }
    EXPECT_FALSE(d->GetMemoryObject(0)->IsTouched());
    EXPECT_FALSE(d->GetMemoryObject(1)->IsTouched());
    bool ok = false;
    for (int attempt = 0; attempt < 3 && !ok; ++attempt)
        ok = link.Read(d) && WordAt(d, 0) == 30 && WordAt(d, 1) == 31;
    EXPECT_TRUE(ok);
}

TEST_P(SimLoopback, SplitResponseIsJoined)
{
    Sim()->memory().setWord(kD, 40, 40);
    CMemoryArray* d = Words(40, 1);
    ASSERT_NE(d, nullptr);
    for (std::size_t at : {1u, 3u, 9u, 14u}) {
        Sim()->injectFault(Fault::split(at, std::chrono::milliseconds(20)));
        ASSERT_TRUE(link.Read(d)) << "split at " << at;
        EXPECT_EQ(WordAt(d, 0), 40);
    }
}

TEST_P(SimLoopback, ClosedConnectionIsOpenedAgain)
{
    Sim()->memory().setWord(kD, 50, 5);
    CMemoryArray* d = Words(50, 1);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(link.Read(d));
    Sim()->closeConnections();
    EXPECT_FALSE(link.Read(d));
    link.log.Clear();
    link.hdlr->ResetCommPort(link.device.get(), link.line);
    EXPECT_TRUE(link.Logged("Wait 50 msecs to initialize port(127.0.0.1:"));
    if (!link.hdlr->IsPortOpen(link.line)) {
        ASSERT_TRUE(link.hdlr->OpenCommPort(link.device.get(), link.line));
    }
    Sim()->memory().setWord(kD, 50, 6);
    ASSERT_TRUE(link.Read(d));
    EXPECT_EQ(WordAt(d, 0), 6);
}

// A good read sends, waits for the answer in the receive and asks the socket
// nothing else; after a time-out the next exchange looks for a late answer.
TEST_P(SimLoopback, AGoodReadWaitsInTheReceiveAndLooksForStrayBytesOnlyAfterATimeOut)
{
    Sim()->memory().setWord(kD, 44, 44);
    CMemoryArray* d = Words(44, 1);
    ASSERT_NE(d, nullptr);
    OptionScope ioctl(CdsServerFrame::g_bUseIoctl, 0);
    ASSERT_TRUE(link.Read(d));
    SocketCalls& calls = link.hdlr->calls;
    calls.Clear();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(link.Read(d));
    EXPECT_EQ(calls.receiveWaits, 3);
    EXPECT_EQ(calls.pumpWaits, 0);
    EXPECT_EQ(calls.bytesWaiting, 0);

    Sim()->injectFault(Fault::of(Fault::Kind::Drop));
    EXPECT_FALSE(link.Read(d));
    calls.Clear();
    ASSERT_TRUE(link.Read(d));
    // 1E and 3E answers carry no serial number: before the request and after the
    // answer; 4E answers are told apart by theirs.
    EXPECT_EQ(calls.bytesWaiting, Is4E() ? 0 : 2);
    calls.Clear();
    ASSERT_TRUE(link.Read(d));
    EXPECT_EQ(calls.bytesWaiting, 0);
}

class SimFourE : public SimLoopback {};

// Reads and monitor queries of a 4E line number their requests one after another.
TEST_P(SimFourE, SerialNumbersCountPerLineOverReadsAndMonitorQueries)
{
    CMemoryArray* d = Words(60, 1);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(link.Read(d));
    ASSERT_EQ(link.hdlr->DoDeviceMonitor(link.device.get(), link.line, 0), 1);
    ASSERT_TRUE(link.Read(d));
    ASSERT_EQ(link.hdlr->DoDeviceMonitor(link.device.get(), link.line, 0), 1);
    std::vector<std::uint16_t> serials;
    for (const plcsim::RequestInfo& r : Sim()->requests())
        serials.push_back(r.serial);
    EXPECT_EQ(serials, (std::vector<std::uint16_t>{1, 2, 3, 4}));
}

TEST_P(SimLoopback, BytesBehindAResponseAreReadAway)
{
    Sim()->memory().setWord(kD, 70, 70);
    CMemoryArray* d = Words(70, 1);
    ASSERT_NE(d, nullptr);
    Sim()->injectFault(Fault::junkAround(Fault::Kind::JunkAfter, {0x00, 0xFF, 0x55}));
    const bool read = link.Read(d);
    if (Is4E()) {
        // The serial number ties a 4E response to its request: no junk check.
        EXPECT_TRUE(read);
        EXPECT_FALSE(link.Logged("Remove Junk messages"));
    } else {
        EXPECT_FALSE(read);
        EXPECT_EQ(link.log.Count(LOG_ERROR, "-  Remove Junk messages when ReceiveResponseMessage!\r\n"), 1);
    }
    bool ok = false;
    for (int attempt = 0; attempt < 3 && !ok; ++attempt)
        ok = link.Read(d) && WordAt(d, 0) == 70;
    EXPECT_TRUE(ok);
}

// A read the PLC leaves unanswered on the primary master of a redundant device: the
// points keep their quality while the standby answers its probes, and go uncertain
// once the standby has failed as well.
TEST_P(SimLoopback, AnUnansweredReadLeavesThePointsToAStandbyThatAnswers)
{
    OptionScope ioctl(CdsServerFrame::g_bUseIoctl, 1);
    Sim()->memory().setWord(kD, 120, 12);
    CMemoryArray* d = Words(120, 1);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(link.Read(d));
    tagTHREADINFO* standby = link.OpenSecondLine();
    ASSERT_NE(standby, nullptr);
    CDeviceObject* device = link.device.get();
    ASSERT_EQ(link.hdlr->DoDeviceMonitor(device, standby, 0), 1);
    link.hdlr->UpdateMonitorPortStatus(device, TRUE, standby);
    CdsMemoryObject* point = d->GetMemoryObject(0);
    ASSERT_EQ(point->GetStatus(), CdsMemoryObject::QUALITY_GOOD);

    Sim()->injectFault(Fault::of(Fault::Kind::Drop), 2);  // the read and its retry
    EXPECT_EQ(link.hdlr->DoDataRead(d, link.line), 0);
    EXPECT_EQ(point->GetStatus(), CdsMemoryObject::QUALITY_GOOD);

    Sim()->injectFault(Fault::of(Fault::Kind::Drop));
    EXPECT_EQ(link.hdlr->DoDeviceMonitor(device, standby, 0), 0);
    link.hdlr->UpdateMonitorPortStatus(device, FALSE, standby);
    Sim()->injectFault(Fault::of(Fault::Kind::Drop), 2);
    EXPECT_EQ(link.hdlr->DoDataRead(d, link.line), 0);
    EXPECT_EQ(point->GetStatus(), 64);
    EXPECT_EQ(point->GetValue().wVal, 12);
}

class SimOneThreeE : public SimLoopback {};

TEST_P(SimOneThreeE, BytesWaitingBeforeARequestAreReadAwayOnce)
{
    Sim()->memory().setWord(kD, 80, 80);
    CMemoryArray* d = Words(80, 1);
    ASSERT_NE(d, nullptr);
    // An answer that comes after the read gave up on it (polled reads keep the
    // device's read time-out).
    OptionScope ioctl(CdsServerFrame::g_bUseIoctl, 1);
    Sim()->injectFault(Fault::late(std::chrono::milliseconds(400)));
    EXPECT_FALSE(link.Read(d));
    CdsListenSocket* socket = link.hdlr->GetThreadSocket(link.line);
    ASSERT_NE(socket, nullptr);
    DWORD waiting = 0;
    for (int i = 0; i < 200 && waiting == 0; ++i) {
        socket->IOCtlBytesWaiting(waiting);
        if (waiting == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GT(waiting, 0u);
    link.log.Clear();
    EXPECT_EQ(link.hdlr->DoDataRead(d, link.line), 1);
    EXPECT_FALSE(link.Logged("failed"));
    EXPECT_EQ(WordAt(d, 0), 80);
    EXPECT_EQ(link.log.Count(LOG_ERROR, "-  Remove Junk messages when SendQueryMessage!\r\n"), 1);
}

// The same without "Use IOCTL": the read waits in the receive itself, and only the
// time-out makes the line look for a late answer before its next request.
TEST_P(SimOneThreeE, ALateAnswerIsReadAwayAfterATimeOutWithoutUseIoctl)
{
    Sim()->memory().setWord(kD, 82, 82);
    CMemoryArray* d = Words(82, 1);
    ASSERT_NE(d, nullptr);
    OptionScope ioctl(CdsServerFrame::g_bUseIoctl, 0);
    ASSERT_TRUE(link.Read(d));
    Sim()->injectFault(Fault::late(std::chrono::milliseconds(400)));
    EXPECT_FALSE(link.Read(d));
    CdsListenSocket* socket = link.hdlr->GetThreadSocket(link.line);
    ASSERT_NE(socket, nullptr);
    DWORD waiting = 0;
    for (int i = 0; i < 200 && waiting == 0; ++i) {
        socket->IOCtlBytesWaiting(waiting);
        if (waiting == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GT(waiting, 0u);
    link.log.Clear();
    Sim()->memory().setWord(kD, 82, 83);
    EXPECT_EQ(link.hdlr->DoDataRead(d, link.line), 1);
    EXPECT_FALSE(link.Logged("failed"));
    EXPECT_EQ(WordAt(d, 0), 83);
    EXPECT_EQ(link.log.Count(LOG_ERROR, "-  Remove Junk messages when SendQueryMessage!\r\n"), 1);
    // The line is in step again: the next reads find nothing to remove.
    link.log.Clear();
    ASSERT_TRUE(link.Read(d));
    ASSERT_TRUE(link.Read(d));
    EXPECT_FALSE(link.Logged("Remove Junk"));
}

// Faults after which the line is in step again within a few reads.
struct FaultCase {
    const char* name;
    Fault fault;
};

const FaultCase kFaults[] = {
    {"Coalesced", Fault::of(Fault::Kind::Coalesce)},
    {"Duplicated", Fault::of(Fault::Kind::Duplicate)},
    {"JunkBefore", Fault::junkAround(Fault::Kind::JunkBefore, {0x00, 0xFF, 0x55})},
    {"JunkAfter", Fault::junkAround(Fault::Kind::JunkAfter, {0x00, 0xFF, 0x55})},
    {"WrongRoute", Fault::of(Fault::Kind::WrongRoute)},
    {"WrongSerial", Fault::of(Fault::Kind::WrongSerial)},
    {"WrongSubheader", Fault::of(Fault::Kind::WrongSubheader)},
    {"LengthFFFF", Fault::of(Fault::Kind::LengthFFFF)},
    {"ShortData", Fault::of(Fault::Kind::ShortData)},
    {"Late", Fault::late(std::chrono::milliseconds(400))},
    {"Dropped", Fault::of(Fault::Kind::Drop)},
    {"ShortThenStall", Fault::shortThen(Fault::Kind::ShortThenStall, 5)},
    {"ShortThenClose", Fault::shortThen(Fault::Kind::ShortThenClose, 5)},
    {"Closed", Fault::of(Fault::Kind::Close)},
};

class SimRecovery : public SimKindTest<std::tuple<PlcKind, FaultCase>> {};

TEST_P(SimRecovery, ReadsComeRightAgain)
{
    // Reads poll the socket, so a missing answer costs the device's read time-out.
    OptionScope ioctl(CdsServerFrame::g_bUseIoctl, 1);
    CMemoryArray* d = link.AddBlock(kD, 90, BRISANT_WORD, 2);
    ASSERT_NE(d, nullptr);
    Sim()->memory().setWord(kD, 91, 1000);
    ASSERT_TRUE(link.Read(d));
    Sim()->memory().setWord(kD, 91, 1001);
    Sim()->injectFault(std::get<1>(GetParam()).fault);
    link.Read(d);  // may or may not deliver, but never a wrong value
    const WORD seen = d->GetMemoryObject(1)->GetValue().wVal;
    EXPECT_TRUE(seen == 1000 || seen == 1001) << seen;
    bool ok = false;
    for (int attempt = 0; attempt < 4 && !ok; ++attempt) {
        // A station that stopped answering gets a new connection, as the engine
        // gives one after too many errors.
        if (attempt >= 2)
            link.hdlr->ResetCommPort(link.device.get(), link.line);
        if (!link.hdlr->IsPortOpen(link.line))
            link.hdlr->OpenCommPort(link.device.get(), link.line);
        ok = link.Read(d) && d->GetMemoryObject(1)->GetValue().wVal == 1001;
    }
    EXPECT_TRUE(ok);
}

// How the PLC drops the connection: while a request waits for its answer, or
// between two steps of the line.
struct DropCase {
    const char* name;
    bool onRequest;
};

const DropCase kDrops[] = {{"OnRequest", true}, {"BetweenSteps", false}};

class SimDrop : public SimKindTest<std::tuple<PlcKind, DropCase>> {};

// The line's own steps find the closed connection, mark the device's points, wait
// the reset delay, connect again and read good values.
TEST_P(SimDrop, LineStepsConnectAgainAfterThePlcDropsTheConnection)
{
    OptionScope ioctl(CdsServerFrame::g_bUseIoctl, 1);
    CMemoryArray* d = link.AddBlock(kD, 100, BRISANT_WORD, 1);
    ASSERT_NE(d, nullptr);
    Sim()->memory().setWord(kD, 100, 7);
    link.hdlr->UpdateNextDevice(link.line);
    ASSERT_EQ(d->GetMemoryObject(0)->GetValue().wVal, 7);
    ASSERT_EQ(d->GetMemoryObject(0)->GetStatus(), CdsMemoryObject::QUALITY_GOOD);

    const std::size_t accepted = Sim()->acceptedCount();
    link.log.Clear();
    if (std::get<1>(GetParam()).onRequest) {
        Sim()->injectFault(Fault::of(Fault::Kind::Close));
        link.hdlr->UpdateNextDevice(link.line);
    } else {
        Sim()->closeConnections();
        link.hdlr->UpdateNextDevice(link.line);
    }
    EXPECT_TRUE(link.Logged("-  Device [PLC] error over max allowed number(")) << "the failure is booked";
    EXPECT_TRUE(link.Logged("Wait 50 msecs to initialize port(127.0.0.1:"));
    EXPECT_TRUE(Sim()->waitForAccepted(accepted + 1, std::chrono::seconds(2)));
    EXPECT_TRUE(link.hdlr->IsPortOpen(link.line));

    Sim()->memory().setWord(kD, 100, 8);
    link.hdlr->UpdateNextDevice(link.line);
    EXPECT_EQ(d->GetMemoryObject(0)->GetValue().wVal, 8);
    EXPECT_EQ(d->GetMemoryObject(0)->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
    EXPECT_EQ(link.device->GetErrorCount(link.line), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SimLoopback, testing::ValuesIn(kPlcKinds), KindName);
INSTANTIATE_TEST_SUITE_P(Kinds, SimFourE, testing::Values(kPlcKinds[4], kPlcKinds[5]), KindName);
INSTANTIATE_TEST_SUITE_P(Kinds, SimOneThreeE,
                         testing::Values(kPlcKinds[0], kPlcKinds[1], kPlcKinds[2], kPlcKinds[3]), KindName);
INSTANTIATE_TEST_SUITE_P(Drops, SimDrop, testing::Combine(testing::ValuesIn(kPlcKinds), testing::ValuesIn(kDrops)),
                         KindAnd<DropCase>);
INSTANTIATE_TEST_SUITE_P(Faults, SimRecovery,
                         testing::Combine(testing::ValuesIn(kPlcKinds), testing::ValuesIn(kFaults)),
                         KindAnd<FaultCase>);

}  // namespace
