// Reads and writes of a line through a scripted port on a fake clock.
#include <gtest/gtest.h>

#include <limits>

#include <cstring>

#include "kestrun/comm/config/ReturnError.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/options/ServerOptions.h"
#include "support/comm/EngineFixtures.h"
#include "support/comm/HdlrBench.h"
#include "support/comm/ScriptedTransport.h"

using kestrun::test::RecordingLog;
using kestrun::test::ScriptedHdlr;
using kestrun::test::ScriptedPort;

namespace {

class TransportTest : public kestrun::test::HdlrBench<ScriptedHdlr> {
protected:
    TransportTest()
    {
        hdlr.SetCommFile(nullptr, port);
        savedTrace = CdsServerOptions::g_nTraceLevel.load();
        CdsServerOptions::g_nTraceLevel = 0;
    }
    ~TransportTest() override { CdsServerOptions::g_nTraceLevel = savedTrace; }

    int Read(BYTE* buffer, int length, CdsDeviceObject* device = nullptr)
    {
        return hdlr.ReadBytes(device, buffer, length, TRUE, nullptr);
    }

    std::shared_ptr<ScriptedPort> port = std::make_shared<ScriptedPort>();
    int savedTrace = 0;
};

// A protocol with a 3-byte header whose last byte counts the body.
int HeaderFraming(const BYTE* data, int count, BYTE)
{
    if (count < 3)
        return -1;
    return data[2] - (count - 3);
}

TEST_F(TransportTest, ReadOfNothingIsRefused)
{
    BYTE buffer[4];
    EXPECT_EQ(Read(buffer, 0), CommErrorResult(RE_INVALID_READ_SIZE));
}

TEST_F(TransportTest, WithoutFramingReadEndsAtLength)
{
    port->Chunk({1, 2}).Chunk({3, 4, 5, 6});
    BYTE buffer[4] = {};
    ASSERT_EQ(Read(buffer, 4), 4);
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + 4), (std::vector<BYTE>{1, 2, 3, 4}));
    // The bytes past the request stay in the port for the next read.
    EXPECT_EQ(port->BytesWaiting(), 2);
}

TEST_F(TransportTest, HeaderSplitOverTwoSegmentsKeepsTheBody)
{
    hdlr.m_framing = HeaderFraming;
    port->Chunk({0xAA, 0xBB}).Chunk({0x02, 0x10, 0x11, 0xCC, 0xDD});
    BYTE buffer[64] = {};
    ASSERT_EQ(Read(buffer, 64), 5);
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + 5), (std::vector<BYTE>{0xAA, 0xBB, 0x02, 0x10, 0x11}));
    // The next frame's bytes that came in the same segment are not lost.
    hdlr.m_framing = nullptr;
    ASSERT_EQ(Read(buffer, 2), 2);
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + 2), (std::vector<BYTE>{0xCC, 0xDD}));
}

TEST_F(TransportTest, AsciiFramesKeepTheNextFramesBytes)
{
    hdlr.SetAsciiMode(TRUE);
    // Frames end at ETX; high bytes in between are line noise.
    hdlr.m_framing = [](const BYTE*, int, BYTE last) { return last == 0x03 ? 0 : -1; };
    port->Chunk({0x02, 'A', 0x85, 'B', 0x03});
    port->Chunk({0x02, 'C', 0x03});
    BYTE buffer[16] = {};
    ASSERT_EQ(Read(buffer, 16), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "\x02" "AB\x03");
    ASSERT_EQ(Read(buffer, 16), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "\x02" "C\x03");
}

// Reads of a protocol whose frames carry their lengths skip the per-byte call, and
// deliver the same: ASCII mode drops bytes with bit 7 set, a short result ends with
// a zero byte after the time-out counted from the last step that brought bytes.
TEST_F(TransportTest, ReadsWithoutThePerByteCallDeliverTheSameBytes)
{
    hdlr.SetAsciiMode(TRUE);
    for (const bool lengths : {false, true}) {
        hdlr.m_framesCarryLengths = lengths;
        auto fresh = std::make_shared<ScriptedPort>();
        hdlr.SetCommFile(nullptr, fresh);
        fresh->Chunk({'A', 0x85, 'B'}).Chunk({'C', 'D'});
        BYTE buffer[8];
        std::memset(buffer, 0xEE, sizeof buffer);
        ASSERT_EQ(Read(buffer, 3), 3) << lengths;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "ABC") << lengths;
        const std::uint64_t before = clock.monotonicMs();
        std::memset(buffer, 0xEE, sizeof buffer);
        ASSERT_EQ(Read(buffer, 8), 1) << lengths;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 2), std::string("D\0", 2)) << lengths;
        EXPECT_GT(clock.monotonicMs() - before, static_cast<std::uint64_t>(hdlr.GetDefaultRxTimeout())) << lengths;
    }
}

TEST_F(TransportTest, AsciiModeDropsBitSevenBytesAnywhereInALongChunk)
{
    hdlr.SetAsciiMode(TRUE);
    hdlr.m_framesCarryLengths = true;
    port->Chunk({'0', '1', '2', '3', '4', '5', '6', '7', '8', 0x85, '9', 'A', 'B', 'C', 'D', 'E', 'F', 0xFF, 'G', 0x80});
    BYTE buffer[18] = {};
    ASSERT_EQ(Read(buffer, 17), 17);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 17), "0123456789ABCDEFG");
}

TEST_F(TransportTest, KnownFrameLengthAsksOnlyForTheRest)
{
    hdlr.m_framing = HeaderFraming;
    port->Chunk({0xAA, 0xBB, 0x02}).Chunk({0x10, 0x11, 0xCC, 0xDD});
    BYTE buffer[64] = {};
    ASSERT_EQ(Read(buffer, 64), 5);
    EXPECT_EQ(port->ReadRequests(), (std::vector<int>{3, 2}));
    EXPECT_EQ(port->BytesWaiting(), 2);
}

TEST_F(TransportTest, DueCountFromThePeerNeverRunsPastTheBuffer)
{
    for (const int due : {9, 100000, std::numeric_limits<int>::max()}) {
        hdlr.m_framing = [due](const BYTE*, int, BYTE) { return due; };
        auto fresh = std::make_shared<ScriptedPort>();
        hdlr.SetCommFile(nullptr, fresh);
        fresh->Chunk(std::vector<BYTE>(32, 0x55));
        BYTE buffer[8] = {};
        EXPECT_EQ(Read(buffer, 8), 8) << due;
        EXPECT_EQ(fresh->BytesWaiting(), 24) << due;
    }
}

TEST_F(TransportTest, CompleteFrameReturnsAtOnceWithBytesOfItsChunk)
{
    hdlr.m_framing = [](const BYTE*, int count, BYTE) { return count == 2 ? 0 : -1; };
    port->Chunk({1, 2, 3, 4});
    BYTE buffer[16] = {};
    EXPECT_EQ(Read(buffer, 16), 4);
    EXPECT_EQ(clock.monotonicMs(), 0u);
}

TEST_F(TransportTest, SilenceEndsTheReadJustAfterTheTimeout)
{
    port->Chunk({7});
    BYTE buffer[4] = {};
    EXPECT_EQ(Read(buffer, 4), 1);
    // Default 1000 ms, counted on the monotonic clock from the last byte.
    EXPECT_EQ(clock.monotonicMs(), 1001u);
}

TEST_F(TransportTest, WallClockStepsDoNotEndARead)
{
    clock.setWallTime(std::chrono::system_clock::time_point{} + std::chrono::hours(10));
    BYTE buffer[4] = {};
    EXPECT_EQ(Read(buffer, 4), 0);
    EXPECT_EQ(clock.monotonicMs(), 1001u);
}

struct TimeoutCase {
    LONG deviceMs;
    std::uint64_t elapsed;
};

class RxTimeoutTest : public TransportTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(RxTimeoutTest, DeviceValueOrHandlerDefault)
{
    CdsDeviceObject device;
    device.m_nReadTimeout = GetParam().deviceMs;
    BYTE buffer[4] = {};
    EXPECT_EQ(Read(buffer, 4, &device), 0);
    EXPECT_EQ(clock.monotonicMs(), GetParam().elapsed);
}

INSTANTIATE_TEST_SUITE_P(Timeouts, RxTimeoutTest,
                         ::testing::Values(TimeoutCase{50, 1001}, TimeoutCase{20000, 1001}, TimeoutCase{100, 101},
                                           TimeoutCase{2000, 2001}, TimeoutCase{10000, 10001}));

TEST_F(TransportTest, ClosedPortEndsTheReadAtOnce)
{
    port->Chunk({9}).CloseHere();
    BYTE buffer[4] = {};
    EXPECT_EQ(Read(buffer, 4), 1);
    EXPECT_LT(clock.monotonicMs(), 5u);
}

TEST_F(TransportTest, PortErrorIsReturned)
{
    port->Fail(CommErrorResult(RE_FILE_EXCEPTION));
    BYTE buffer[4] = {};
    EXPECT_EQ(Read(buffer, 4), CommErrorResult(RE_FILE_EXCEPTION));
}

TEST_F(TransportTest, NoPortIsReported)
{
    hdlr.SetCommFile(nullptr, nullptr);
    BYTE buffer[4] = {};
    EXPECT_EQ(Read(buffer, 4), CommErrorResult(RE_COMMFILE_UNINITIALIZED));
    EXPECT_EQ(hdlr.WriteBytes(nullptr, buffer, 4, TRUE, nullptr), CommErrorResult(RE_COMMFILE_UNINITIALIZED));
}

TEST_F(TransportTest, AsciiDropsHighBytesAndTerminates)
{
    hdlr.SetAsciiMode(TRUE);
    port->Chunk({'A', 0x85, 'B'});
    BYTE buffer[6];
    std::memset(buffer, 0xEE, sizeof buffer);
    ASSERT_EQ(Read(buffer, 6), 2);
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + 3), (std::vector<BYTE>{'A', 'B', 0}));
}

TEST_F(TransportTest, AsciiPausesAfterAckAndNak)
{
    CdsDeviceObject device;
    device.m_bAsciiMode = TRUE;
    device.m_nAckDelay = 30;
    device.m_nNakDelay = 70;
    device.m_nReadTimeout = 100;
    port->Chunk({0x06, 0x15});
    BYTE buffer[2] = {};
    EXPECT_EQ(Read(buffer, 2, &device), 2);
    EXPECT_EQ(hdlr.m_slept, 30u); // the read ends at its length before the NAK's pause
}

TEST_F(TransportTest, ByteTracesAtLevelTwo)
{
    CdsServerOptions::g_nTraceLevel = 2;
    port->Chunk({0x01, 0xAB});
    BYTE buffer[2] = {};
    ASSERT_EQ(Read(buffer, 2), 2);
    const BYTE out[] = {0x50, 0x0F};
    ASSERT_EQ(hdlr.WriteBytes(nullptr, out, 2, TRUE, nullptr), 2);
    EXPECT_EQ(log.Lines(LOG_TRACE), (std::vector<std::string>{"<- [01][AB]\r\n", "-> [50][0F]\r\n"}));
}

TEST_F(TransportTest, AsciiTraceShowsCharacters)
{
    CdsServerOptions::g_nTraceLevel = 2;
    hdlr.SetAsciiMode(TRUE);
    const BYTE out[] = {0x02, 'R', '1', 0x03};
    ASSERT_EQ(hdlr.WriteBytes(nullptr, out, 4, TRUE, nullptr), 4);
    EXPECT_EQ(log.Lines(LOG_TRACE), (std::vector<std::string>{"-> [2]R1[3]\r\n"}));
}

TEST_F(TransportTest, NoTraceBelowLevelTwo)
{
    CdsServerOptions::g_nTraceLevel = 1;
    port->Chunk({1});
    BYTE buffer[1];
    Read(buffer, 1);
    EXPECT_TRUE(log.Lines(LOG_TRACE).empty());
}

TEST_F(TransportTest, FailedWriteIsAStatus)
{
    port->FailWrites(1, CommErrorResult(RE_FILE_EXCEPTION));
    const BYTE out[] = {1};
    EXPECT_EQ(hdlr.WriteBytes(nullptr, out, 1, FALSE, nullptr), CommErrorResult(RE_FILE_EXCEPTION));
    EXPECT_EQ(hdlr.WriteByte(nullptr, 2, FALSE, nullptr), 1);
    EXPECT_EQ(port->Written(), (std::vector<std::vector<BYTE>>{{2}}));
}

TEST_F(TransportTest, UnsolicitedInputIsSplitIntoFrames)
{
    kestrun::test::TestDevice device("PLC1");
    hdlr.AddActiveDevice(&device);
    hdlr.SetInService(TRUE);
    hdlr.m_framing = [](const BYTE*, int count, BYTE) { return count == 3 ? 0 : -1; };
    const BYTE two[] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(hdlr.ParseUnboundMessage(two, 6, nullptr), 1);
    EXPECT_EQ(device.m_unbound, (std::vector<std::vector<BYTE>>{{1, 2, 3}, {4, 5, 6}}));
    device.m_unbound.clear();
    const BYTE tail[] = {1, 2, 3, 4};
    hdlr.ParseUnboundMessage(tail, 4, nullptr);
    EXPECT_EQ(device.m_unbound, (std::vector<std::vector<BYTE>>{{1, 2, 3}, {4}}));
    hdlr.SetInService(FALSE);
    EXPECT_EQ(hdlr.ParseUnboundMessage(two, 6, nullptr), 0);
    hdlr.RemoveActiveDevice(&device);
}

TEST(CommHdlrText, RemoveStxEtx)
{
    EXPECT_EQ(CdsCommHdlr::RemoveStxEtx("\x02" "AB\x03" "CD"), "AB");
    EXPECT_EQ(CdsCommHdlr::RemoveStxEtx("\x03" "AB\x02" "C"), "\x03" "ABC");
    EXPECT_EQ(CdsCommHdlr::RemoveStxEtx(""), "");
}

TEST(CommHdlrText, TimeFormIsReentrantAndHasNoLineEnd)
{
    const std::string text = CdsCommHdlr::FormatTime(0);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(text.size(), 24u);
}

} // namespace
