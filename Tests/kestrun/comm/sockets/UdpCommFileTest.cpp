#include "kestrun/comm/sockets/UdpCommFile.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "kestrun/comm/LoopbackSockets.h"
#include "kestrun/comm/sockets/TcpipConfig.h"
#include "platform/afx/Exceptions.h"

using namespace sockettest;

namespace {

using FakeWaitListenSocket = FakeWait<CdsListenSocket>;

// A UDP line socket on 127.0.0.1 with its configuration pointing at a peer.
struct UdpLine {
    win::FakeClock clock{100};
    FakeWaitListenSocket socket{clock, nullptr, nullptr, 0};
    CdsUdpipConfig config;
    uint16_t localPort = 0;
    uint16_t peerPort = 0;
    Fd peer;
    CdsUdpCommFile file{&socket, &config};

    UdpLine()
    {
        EXPECT_TRUE(socket.Create(0, CdsTimeoutSocket::TYPE_DATAGRAM, "127.0.0.1"));
        localPort = PortOf(socket.GetHandle());
        peer = UdpOn("127.0.0.1", peerPort);
        config.m_strRemoteAddress = "127.0.0.1";
        config.m_nRemotePort = peerPort;
    }

    void SendFrom(const Fd& from, const std::vector<BYTE>& bytes)
    {
        sockaddr_in to = Loopback(localPort);
        ASSERT_EQ(::sendto(from.fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(bytes.size()));
        ASSERT_TRUE(Readable(socket.GetHandle()));
    }
};

std::vector<BYTE> Sequence(int n)
{
    std::vector<BYTE> v(static_cast<size_t>(n));
    std::iota(v.begin(), v.end(), BYTE{0});
    return v;
}

TEST(UdpCommFileTest, ACutDatagramIsReadAsThirtyThenSeventy)
{
    UdpLine line;
    const auto datagram = Sequence(100);
    line.SendFrom(line.peer, datagram);
    std::vector<BYTE> out(100, 0xEE);
    ASSERT_EQ(line.file.Read(out.data(), 30), 30);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 30, datagram.begin()));
    EXPECT_EQ(line.socket.GetReadBytesSize(), 70);
    std::fill(out.begin(), out.end(), 0xEE);
    ASSERT_EQ(line.file.Read(out.data(), 100), 70);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 70, datagram.begin() + 30));
    EXPECT_EQ(line.file.Read(out.data(), 100), 0);
}

TEST(UdpCommFileTest, HeldBytesComeBeforeTheNextDatagram)
{
    UdpLine line;
    line.SendFrom(line.peer, {1, 2, 3, 4});
    BYTE out[8] = {};
    ASSERT_EQ(line.file.Read(out, 2), 2);
    line.SendFrom(line.peer, {9, 8, 7});
    ASSERT_EQ(line.file.Read(out, 4), 4);
    const BYTE expect[] = {3, 4, 9, 8};
    EXPECT_EQ(0, std::memcmp(out, expect, 4));
    EXPECT_EQ(line.socket.GetReadBytesSize(), 1);
}

TEST(UdpCommFileTest, AnEmptyDatagramDoesNotHoldBackTheNextOne)
{
    UdpLine line;
    // An empty datagram at the head of the queue makes the waiting count 0.
    sockaddr_in to = Loopback(line.localPort);
    ASSERT_EQ(::sendto(line.peer.fd, "", 0, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    line.SendFrom(line.peer, {5, 6, 7});
    BYTE out[8] = {};
    ASSERT_EQ(line.file.Read(out, 8), 3);
    const BYTE expect[] = {5, 6, 7};
    EXPECT_EQ(0, std::memcmp(out, expect, 3));
    EXPECT_EQ(line.socket.waits, 0);
}

TEST(UdpCommFileTest, NothingWaitingReadsZeroAtOnce)
{
    UdpLine line;
    BYTE out[8];
    EXPECT_EQ(line.file.Read(out, 8), 0);
    EXPECT_EQ(line.clock.monotonicMs(), 100u);
    EXPECT_EQ(line.socket.waits, 0);
}

TEST(UdpCommFileTest, WriteSendsOneDatagramToTheConfiguredPeer)
{
    UdpLine line;
    const BYTE frame[] = {0x50, 0x00, 0x00, 0xFF, 0xFF, 0x03, 0x00, 0x0C, 0x00};
    line.file.Write(frame, sizeof frame);
    ASSERT_TRUE(Readable(line.peer.fd));
    BYTE got[32];
    ASSERT_EQ(::recv(line.peer.fd, got, sizeof got, 0), static_cast<ssize_t>(sizeof frame));
    EXPECT_EQ(0, std::memcmp(got, frame, sizeof frame));
}

TEST(UdpCommFileTest, ADatagramFromAnotherAddressRedirectsTheNextWrite)
{
    UdpLine line;
    // A second peer on another loopback address, on the same port number.
    Fd other(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in sa = Loopback(line.peerPort, "127.0.0.2");
    if (::bind(other.fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
        GTEST_SKIP() << "127.0.0.2 is not usable here";
    line.SendFrom(other, {0xAB});
    BYTE out[4];
    ASSERT_EQ(line.file.Read(out, 4), 1);
    EXPECT_EQ(line.config.m_strRemoteAddress, "127.0.0.2");
    EXPECT_EQ(CdsUdpCommFile::GetRemoteAddress(line.config), "127.0.0.2");
    EXPECT_EQ(line.config.m_nRemotePort, line.peerPort);

    const BYTE reply[] = {0xCD, 0xEF};
    line.file.Write(reply, 2);
    ASSERT_TRUE(Readable(other.fd));
    BYTE got[4];
    EXPECT_EQ(::recv(other.fd, got, 4, 0), 2);
    EXPECT_EQ(got[0], 0xCD);
    pollfd pfd{line.peer.fd, POLLIN, 0};
    EXPECT_EQ(::poll(&pfd, 1, 0), 0) << "the first peer got the reply";
}

struct BadPortCase {
    std::int32_t port;
};

class UdpBadPortTest : public ::testing::TestWithParam<BadPortCase> {};

TEST_P(UdpBadPortTest, WriteToAnImpossiblePortThrows)
{
    UdpLine line;
    line.config.m_nRemotePort = GetParam().port;
    const BYTE b[] = {1};
    EXPECT_THROW(line.file.Write(b, 1), CFileException);
    EXPECT_EQ(line.config.m_nRemotePort, GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(Ports, UdpBadPortTest,
                         ::testing::Values(BadPortCase{-1}, BadPortCase{0}, BadPortCase{65536}));

TEST(UdpCommFileTest, TheBaseFileNeverActsAndTimersDoNothing)
{
    UdpLine line;
    EXPECT_EQ(line.file.GetSocket(), nullptr);
    EXPECT_FALSE(line.file.GetTimerFlag());
    line.file.SetDefaultTimeOut(1000, 1000);
    line.file.CreateTimer();
    EXPECT_FALSE(line.socket.IsTimeOutArmed());
    EXPECT_TRUE(line.file.IsOpen());
    line.file.Close();
    EXPECT_FALSE(line.file.IsOpen());
}

TEST(UdpCommFileTest, WithoutSocketReadsNothing)
{
    CdsUdpCommFile file;
    BYTE b[2];
    EXPECT_EQ(file.Read(b, 2), 0);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_NO_THROW(file.Write(b, 2));
}

} // namespace
