#include "kestrun/comm/sockets/SocketCommFile.h"

#include <gtest/gtest.h>

#include <vector>

#include "kestrun/comm/LoopbackSockets.h"
#include "platform/afx/Exceptions.h"

using namespace sockettest;

namespace {

struct Connection : Connected<FakeWaitSocket> {
    Connection() : Connected(500) {}
};

TEST(SocketCommFileTest, SilentReadGivesTheTimeoutStatusWithinTwoDeadlines)
{
    Connection c;
    COXSocketCommFile file(&c.socket, TRUE);
    file.SetDefaultTimeOut(2000, 5000);
    const std::uint64_t start = c.clock.monotonicMs();
    BYTE b[8];
    EXPECT_EQ(file.Read(b, 8), CommErrorResult(RE_SOCKET_TIMEOUT));
    const std::uint64_t elapsed = c.clock.monotonicMs() - start;
    EXPECT_GE(elapsed, 2000u);
    EXPECT_LE(elapsed, 4000u);
    EXPECT_FALSE(c.socket.IsTimeOutArmed());
}

TEST(SocketCommFileTest, ReadAndWriteCarryTheBytes)
{
    Connection c;
    COXSocketCommFile file(&c.socket, TRUE);
    file.SetDefaultTimeOut(2000, 2000);
    const BYTE query[] = {0x50, 0x00, 0x00, 0xFF, 0xFF, 0x03, 0x00};
    file.Write(query, sizeof query);
    BYTE got[16] = {};
    ASSERT_TRUE(Readable(c.peer.fd));
    ASSERT_EQ(::recv(c.peer.fd, got, sizeof got, 0), 7);
    EXPECT_EQ(0, std::memcmp(got, query, 7));
    const BYTE answer[] = {0xD0, 0x00, 0x00, 0xFF};
    ASSERT_EQ(::send(c.peer.fd, answer, 4, 0), 4);
    EXPECT_EQ(file.Read(got, 16), 4);
    EXPECT_EQ(0, std::memcmp(got, answer, 4));
    EXPECT_FALSE(c.socket.IsTimeOutArmed());
}

TEST(SocketCommFileTest, PeerCloseReadsZeroAtOnce)
{
    Connection c;
    COXSocketCommFile file(&c.socket, TRUE);
    file.SetDefaultTimeOut(2000, 2000);
    c.peer.reset();
    const std::uint64_t start = c.clock.monotonicMs();
    BYTE b[8];
    EXPECT_EQ(file.Read(b, 8), 0);
    EXPECT_LT(c.clock.monotonicMs() - start, 2000u);
    EXPECT_TRUE(c.socket.IsPeerClosed());
}

TEST(SocketCommFileTest, WriteDeadlineIsTheReadValueAndThrows)
{
    Connection c;
    COXSocketCommFile file(&c.socket, TRUE);
    file.SetDefaultTimeOut(2000, 5000);
    // The peer reads nothing, so the buffers fill and the send has to wait.
    const std::vector<BYTE> big(32 * 1024 * 1024, 0xAA);
    const std::uint64_t start = c.clock.monotonicMs();
    try {
        file.Write(big.data(), static_cast<UINT>(big.size()));
        FAIL() << "no time-out";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::genericException);
        EXPECT_EQ(static_cast<DWORD>(e.m_lOsError), RE_SOCKET_TIMEOUT);
    }
    EXPECT_LE(c.clock.monotonicMs() - start, 4000u);
    EXPECT_FALSE(c.socket.IsTimeOutArmed());
}

TEST(SocketCommFileTest, WriteToAClosedPeerThrowsWithOsErrorZero)
{
    Connection c;
    COXSocketCommFile file(&c.socket, TRUE);
    c.peer.reset();
    ASSERT_TRUE(Readable(c.socket.GetHandle()));
    const std::vector<BYTE> data(1024, 1);
    bool bThrown = false;
    for (int i = 0; i < 64 && !bThrown; ++i) {
        try {
            file.Write(data.data(), static_cast<UINT>(data.size()));
        } catch (const CFileException& e) {
            bThrown = true;
            EXPECT_EQ(e.m_lOsError, 0);
        }
    }
    EXPECT_TRUE(bThrown);
}

TEST(SocketCommFileTest, WithoutSocketReadsNothingAndIgnoresWrites)
{
    COXSocketCommFile file;
    BYTE b[4];
    EXPECT_EQ(file.Read(b, 4), 0);
    EXPECT_NO_THROW(file.Write(b, 4));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_NO_THROW(file.Close());
}

TEST(SocketCommFileTest, CloseClosesTheSocketButLeavesTheObject)
{
    Connection c;
    COXSocketCommFile file(&c.socket, TRUE);
    EXPECT_TRUE(file.IsOpen());
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(c.socket.GetHandle(), CdsTimeoutSocket::kInvalidSocket);
}

struct TimerCase {
    BOOL bTimerFlag;
    UINT nDefault;
    bool bArmed;
};

class SocketFileTimerTest : public ::testing::TestWithParam<TimerCase> {};

TEST_P(SocketFileTimerTest, CreateTimerArmsOnlyWithFlagAndDeadline)
{
    win::FakeClock clock;
    FakeWaitSocket socket(clock);
    COXSocketCommFile file(&socket, TRUE);
    file.SetTimerFlag(GetParam().bTimerFlag);
    file.SetDefaultTimeOut(GetParam().nDefault, 0);
    file.CreateTimer();
    EXPECT_EQ(socket.IsTimeOutArmed(), GetParam().bArmed);
    EXPECT_EQ(file.GetTimerId(), 0u);
    file.DestroyTimer();
    EXPECT_EQ(socket.IsTimeOutArmed(), GetParam().bArmed && !GetParam().bTimerFlag);
}

INSTANTIATE_TEST_SUITE_P(Flags, SocketFileTimerTest,
                         ::testing::Values(TimerCase{TRUE, 1000, true}, TimerCase{TRUE, 0, false},
                                           TimerCase{FALSE, 1000, false}));

// A peer that resets (linger 0) is named as such, and the send after it as the
// broken pipe it meets; the status is the socket's error code both times.
TEST(SocketCommFileTest, SendToAResetPeerNamesTheCause)
{
    Connection c;
    COXSocketCommFile file(&c.socket, TRUE);
    const linger abortive{1, 0};
    ASSERT_EQ(::setsockopt(c.peer.fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive), 0);
    c.peer.reset();
    ASSERT_TRUE(Readable(c.socket.GetHandle()));
    const BYTE data[4] = {1, 2, 3, 4};

    const int reset = file.Send(data, sizeof data);
    EXPECT_EQ(static_cast<DWORD>(reset), SocketErrorCode(10054));
    EXPECT_EQ(file.DescribeFailure(reset), "Connection reset by peer");

    const int after = file.Send(data, sizeof data);
    EXPECT_EQ(static_cast<DWORD>(after), SocketErrorCode(10054));
    EXPECT_EQ(file.DescribeFailure(after), "Broken pipe");
    // The throwing write keeps its old contract.
    try {
        file.Write(data, sizeof data);
        FAIL() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_lOsError, 0);
    }
}

TEST(SocketCommFileTest, SendPastTheDeadlineSaysItTimedOut)
{
    Connection c;
    COXSocketCommFile file(&c.socket, TRUE);
    file.SetDefaultTimeOut(2000, 5000);
    const std::vector<BYTE> big(32 * 1024 * 1024, 0xAA);
    const int n = file.Send(big.data(), static_cast<UINT>(big.size()));
    EXPECT_EQ(n, CommErrorResult(RE_SOCKET_TIMEOUT));
    EXPECT_EQ(file.DescribeFailure(n), "timed out");
    EXPECT_FALSE(c.socket.IsTimeOutArmed());
}

TEST(SocketCommFileTest, AStatusNotFromTheSocketIsDescribedByItsText)
{
    Connection c;
    COXSocketCommFile file(&c.socket, TRUE);
    EXPECT_EQ(file.DescribeFailure(CommErrorResult(RE_SOCKET_ERROR)), "socket error");
    EXPECT_EQ(file.DescribeFailure(4), "");
}

} // namespace
