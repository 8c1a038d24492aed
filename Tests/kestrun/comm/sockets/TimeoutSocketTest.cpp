#include "kestrun/comm/sockets/TimeoutSocket.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include "kestrun/comm/LoopbackSockets.h"

using namespace sockettest;

namespace {

// Counts what a socket reports.
class CountingSocket : public FakeWaitSocket {
public:
    using FakeWaitSocket::FakeWaitSocket;
    int reads = 0, closes = 0, accepts = 0;
    void OnReceive(int) override { ++reads; }
    void OnClose(int) override { ++closes; }
    void OnAccept(int) override { ++accepts; }
};

struct Connection : Connected<CountingSocket> {
    Connection() : Connected(1000) {}
};

struct SilentCase {
    UINT timeoutMs;
};

class SilentPeerTest : public ::testing::TestWithParam<SilentCase> {};

TEST_P(SilentPeerTest, ReceiveEndsBetweenOneAndTwoPeriodsAndDisarms)
{
    Connection c;
    const UINT t = GetParam().timeoutMs;
    const std::uint64_t start = c.clock.monotonicMs();
    c.socket.StartTimeOut(t);
    EXPECT_EQ(c.socket.GetPumpPeriod(), t);
    BYTE buffer[16];
    bool bThrown = false;
    try {
        c.socket.Receive(buffer, sizeof buffer);
    } catch (tagReturnError e) {
        bThrown = true;
        EXPECT_EQ(e, RE_SOCKET_TIMEOUT);
    }
    EXPECT_TRUE(bThrown);
    const std::uint64_t elapsed = c.clock.monotonicMs() - start;
    EXPECT_GT(elapsed, t);
    EXPECT_LE(elapsed, 2u * t);
    EXPECT_FALSE(c.socket.IsTimeOutArmed());
    EXPECT_EQ(c.socket.GetPumpPeriod(), CdsTimeoutSocket::kDefaultPumpPeriodMs);
}

INSTANTIATE_TEST_SUITE_P(Periods, SilentPeerTest,
                         ::testing::Values(SilentCase{100}, SilentCase{2000}, SilentCase{5000}));

TEST(TimeoutSocketTest, DataWaitingIsReadWithoutWaiting)
{
    Connection c;
    const std::array<BYTE, 4> sent{0x50, 0x00, 0xFF, 0x03};
    ASSERT_EQ(::send(c.peer.fd, sent.data(), sent.size(), 0), 4);
    ASSERT_TRUE(Readable(c.socket.GetHandle()));
    c.socket.StartTimeOut(2000);
    std::array<BYTE, 8> got{};
    EXPECT_EQ(c.socket.Receive(got.data(), 8), 4);
    c.socket.StopTimeOut();
    EXPECT_EQ(0, std::memcmp(got.data(), sent.data(), 4));
    EXPECT_EQ(c.socket.waits, 0);
}

// A socket whose stop event is set at its nth wait step.
class StoppedAtWaitSocket : public FakeWaitSocket {
public:
    StoppedAtWaitSocket(win::FakeClock& clock, int nStopAt) : FakeWaitSocket(clock), m_nStopAt(nStopAt)
    {
        SetStopEvent(stop);
    }
    std::shared_ptr<win::Event> stop = std::make_shared<win::Event>(win::Event::Reset::Manual);

protected:
    int WaitForSocket(short nPollEvents, int nMs) override
    {
        if (waits + 1 >= m_nStopAt)
            stop->set();
        return FakeWaitSocket::WaitForSocket(nPollEvents, nMs);
    }
    int ReceiveWaiting(void* pBuffer, int nLength, int nMs) override
    {
        if (waits + 1 >= m_nStopAt)
            stop->set();
        return FakeWaitSocket::ReceiveWaiting(pBuffer, nLength, nMs);
    }

private:
    int m_nStopAt;
};

// A request left unanswered: the stop ends the wait for the answer within a wait
// step, as a cancelled call, long before the deadline; no later call waits.
TEST(TimeoutSocketTest, AStopEndsTheWaitForAnAnswerAsCancelled)
{
    for (int nStopAt : {1, 2, 5}) {
        win::FakeClock clock(1000);
        StoppedAtWaitSocket socket(clock, nStopAt);
        uint16_t port = 0;
        Fd listener = ListenOnLoopback(port);
        ASSERT_TRUE(socket.Create());
        ASSERT_TRUE(socket.ConnectWithTimeout("127.0.0.1", port, 5000));
        Fd peer(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
        ASSERT_EQ(socket.Send("\x50\x00", 2), 2);
        socket.StartTimeOut(2000);
        BYTE buffer[8];
        int n = 0;
        EXPECT_NO_THROW(n = socket.Receive(buffer, sizeof buffer)) << nStopAt;
        EXPECT_EQ(n, -1);
        EXPECT_EQ(socket.GetLastError(), 10004); // WSAEINTR
        EXPECT_LE(clock.monotonicMs() - 1000, nStopAt * CdsTimeoutSocket::kStopCheckMs) << nStopAt;
        const int waits = socket.waits;
        EXPECT_EQ(socket.Receive(buffer, sizeof buffer), -1);
        EXPECT_EQ(socket.waits, waits) << "a stopped socket does not wait again";
    }
}

// A receive blocked on a silent peer, on a clock whose deadline never comes,
// returns once another thread sets the stop event.
TEST(TimeoutSocketTest, ABlockedReceiveReturnsWhenAnotherThreadStopsIt)
{
    win::FakeClock frozen(1000);
    CdsTimeoutSocket socket(&frozen);
    auto stop = std::make_shared<win::Event>(win::Event::Reset::Manual);
    socket.SetStopEvent(stop);
    uint16_t port = 0;
    Fd listener = ListenOnLoopback(port);
    ASSERT_TRUE(socket.Create());
    ASSERT_TRUE(socket.ConnectWithTimeout("127.0.0.1", port, 5000));
    Fd peer(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
    ASSERT_EQ(socket.Send("\x50\x00", 2), 2);
    auto done = std::make_shared<win::Event>(win::Event::Reset::Manual);
    int n = 0;
    std::thread line([&] {
        socket.StartTimeOut(2000);
        BYTE buffer[8];
        n = socket.Receive(buffer, sizeof buffer);
        socket.StopTimeOut();
        done->set();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // mostly lets it block first
    stop->set();
    const bool bEnded = done->wait(10000); // bound only: the receive never ends by itself
    if (!bEnded)
        peer.reset(); // a closed peer lets the receive end, so the test does not hang
    line.join();
    EXPECT_TRUE(bEnded);
    EXPECT_EQ(n, -1);
}

// A socket on the real clock that counts the waits of its pump.
class PumpCountingSocket : public CdsTimeoutSocket {
public:
    int pumpWaits = 0;

protected:
    int WaitForSocket(short nPollEvents, int nMs) override
    {
        ++pumpWaits;
        return CdsTimeoutSocket::WaitForSocket(nPollEvents, nMs);
    }
};

struct RealConnection {
    RealConnection()
    {
        uint16_t port = 0;
        listener = ListenOnLoopback(port);
        EXPECT_TRUE(socket.Create());
        EXPECT_TRUE(socket.ConnectWithTimeout("127.0.0.1", port, 5000));
        peer = Fd(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
        EXPECT_GE(peer.fd, 0);
    }
    PumpCountingSocket socket;
    Fd listener;
    Fd peer;
};

// After a request the answer is awaited in the receive itself, not in a poll first.
TEST(TimeoutSocketTest, TheAnswerToARequestIsAwaitedInTheReceive)
{
    RealConnection c;
    const std::array<BYTE, 3> request{0x50, 0x00, 0x01};
    ASSERT_EQ(c.socket.Send(request.data(), 3), 3);
    std::thread plc([&] {
        std::array<BYTE, 3> got{};
        if (Readable(c.peer.fd) && ::recv(c.peer.fd, got.data(), got.size(), 0) == 3) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ::send(c.peer.fd, "\xD0\x00\x02\x03", 4, MSG_NOSIGNAL);
        }
    });
    c.socket.StartTimeOut(2000);
    std::array<BYTE, 8> answer{};
    int n = -1;
    EXPECT_NO_THROW(n = c.socket.Receive(answer.data(), 8));
    c.socket.StopTimeOut();
    plc.join();
    EXPECT_EQ(n, 4);
    EXPECT_EQ(answer[0], 0xD0);
    EXPECT_EQ(c.socket.pumpWaits, 0);
}

// A request goes out as soon as it is sent: a connected stream does not hold small
// segments back for the acknowledgement of the last.
TEST(TimeoutSocketTest, AConnectedStreamSendsSmallRequestsAtOnce)
{
    RealConnection c;
    int noDelay = 0;
    socklen_t len = sizeof noDelay;
    ASSERT_EQ(::getsockopt(c.socket.GetHandle(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &len), 0);
    EXPECT_NE(noDelay, 0);
}

// The wait in the receive keeps the deadline: a request left unanswered times out.
TEST(TimeoutSocketTest, AnUnansweredRequestTimesOutAndDisarms)
{
    RealConnection c;
    const std::array<BYTE, 3> request{0x50, 0x00, 0x01};
    ASSERT_EQ(c.socket.Send(request.data(), 3), 3);
    c.socket.StartTimeOut(100);
    std::array<BYTE, 8> answer{};
    bool bThrown = false;
    try {
        c.socket.Receive(answer.data(), 8);
    } catch (tagReturnError e) {
        bThrown = true;
        EXPECT_EQ(e, RE_SOCKET_TIMEOUT);
    }
    EXPECT_TRUE(bThrown);
    EXPECT_FALSE(c.socket.IsTimeOutArmed());
}

TEST(TimeoutSocketTest, ConnectToAClosedPortFailsAndDisarms)
{
    win::FakeClock clock;
    FakeWaitSocket socket(clock);
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.ConnectWithTimeout("127.0.0.1", ClosedLoopbackPort(), 5000));
    EXPECT_EQ(socket.GetLastError(), 10061); // refused
    EXPECT_FALSE(socket.IsTimeOutArmed());
}

TEST(TimeoutSocketTest, ConnectRejectsAddressesThatAreNotDotted)
{
    win::FakeClock clock;
    FakeWaitSocket socket(clock);
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.ConnectWithTimeout("plc.local", 5000, 5000));
    EXPECT_FALSE(socket.ConnectWithTimeout("127.0.0.1", 0, 5000));
    EXPECT_FALSE(socket.IsTimeOutArmed());
}

TEST(TimeoutSocketTest, PeerCloseIsAReadOfZeroAndOneCloseNotification)
{
    Connection c;
    c.peer.reset();
    ASSERT_TRUE(Readable(c.socket.GetHandle()));
    EXPECT_EQ(c.socket.DispatchNotifications(), 1);
    EXPECT_EQ(c.socket.closes, 1);
    EXPECT_EQ(c.socket.reads, 0);
    BYTE b[4];
    c.socket.StartTimeOut(2000);
    EXPECT_EQ(c.socket.Receive(b, 4), 0);
    c.socket.StopTimeOut();
    EXPECT_TRUE(c.socket.IsPeerClosed());
    EXPECT_EQ(c.socket.DispatchNotifications(), 0);
    EXPECT_EQ(c.socket.closes, 1);
}

TEST(TimeoutSocketTest, DataBeforeCloseIsReportedFirst)
{
    Connection c;
    ASSERT_EQ(::send(c.peer.fd, "AB", 2, 0), 2);
    c.peer.reset();
    ASSERT_TRUE(Readable(c.socket.GetHandle()));
    EXPECT_EQ(c.socket.DispatchNotifications(), 2);
    EXPECT_EQ(c.socket.reads, 1);
    EXPECT_EQ(c.socket.closes, 1);
}

TEST(TimeoutSocketTest, ReadNotificationWaitsForTheNextReceive)
{
    Connection c;
    ASSERT_EQ(::send(c.peer.fd, "A", 1, 0), 1);
    ASSERT_TRUE(Readable(c.socket.GetHandle()));
    EXPECT_EQ(c.socket.DispatchNotifications(), 1);
    EXPECT_EQ(c.socket.DispatchNotifications(), 0);
    ASSERT_EQ(::send(c.peer.fd, "B", 1, 0), 1);
    BYTE b[1];
    EXPECT_EQ(c.socket.Receive(b, 1), 1);
    EXPECT_EQ(c.socket.DispatchNotifications(), 1);
    EXPECT_EQ(c.socket.reads, 2);
}

TEST(TimeoutSocketTest, SendToAClosedPeerFailsWithoutSignal)
{
    Connection c;
    c.peer.reset();
    ASSERT_TRUE(Readable(c.socket.GetHandle()));
    const std::vector<BYTE> data(1024, 0x55);
    int result = 0;
    for (int i = 0; i < 64 && result != -1; ++i)
        result = c.socket.Send(data.data(), static_cast<int>(data.size()));
    EXPECT_EQ(result, -1);
    EXPECT_EQ(c.socket.GetLastError(), 10054);
    EXPECT_TRUE(c.socket.IsPeerClosed());
}

TEST(TimeoutSocketTest, ListenerReportsAWaitingClientOnceUntilAccepted)
{
    win::FakeClock clock;
    CountingSocket listener(clock);
    ASSERT_TRUE(listener.Create(0, CdsTimeoutSocket::TYPE_STREAM, CdsTimeoutSocket::FD_ALL_EVENTS, "127.0.0.1"));
    ASSERT_TRUE(listener.Listen(5));
    std::string address;
    UINT port = 0;
    ASSERT_TRUE(listener.GetSockName(address, port));
    Fd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in sa = Loopback(static_cast<uint16_t>(port));
    ASSERT_EQ(::connect(client.fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_TRUE(Readable(listener.GetHandle()));
    EXPECT_EQ(listener.DispatchNotifications(), 1);
    EXPECT_EQ(listener.DispatchNotifications(), 0);
    CdsTimeoutSocket accepted;
    ASSERT_TRUE(listener.Accept(accepted));
    std::string peer;
    UINT peerPort = 0;
    ASSERT_TRUE(accepted.GetPeerName(peer, peerPort));
    EXPECT_EQ(peer, "127.0.0.1");
    EXPECT_EQ(peerPort, PortOf(client.fd));
    EXPECT_EQ(listener.accepts, 1);
}

TEST(TimeoutSocketTest, DatagramsCarryTheirSender)
{
    win::FakeClock clock;
    FakeWaitSocket socket(clock);
    ASSERT_TRUE(socket.Create(0, CdsTimeoutSocket::TYPE_DATAGRAM, CdsTimeoutSocket::FD_ALL_EVENTS, "127.0.0.1"));
    std::string address;
    UINT port = 0;
    ASSERT_TRUE(socket.GetSockName(address, port));
    uint16_t peerPort = 0;
    Fd peer = UdpOn("127.0.0.1", peerPort);
    sockaddr_in to = Loopback(static_cast<uint16_t>(port));
    ASSERT_EQ(::sendto(peer.fd, "\x01\x02\x03", 3, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 3);
    ASSERT_TRUE(Readable(socket.GetHandle()));
    DWORD waiting = 0;
    ASSERT_TRUE(socket.IOCtlBytesWaiting(waiting));
    EXPECT_EQ(waiting, 3u);
    BYTE b[8];
    std::string from;
    UINT fromPort = 0;
    EXPECT_EQ(socket.ReceiveFrom(b, 8, from, fromPort), 3);
    EXPECT_EQ(from, "127.0.0.1");
    EXPECT_EQ(fromPort, peerPort);
    EXPECT_EQ(socket.SendTo("\x09\x08", 2, "127.0.0.1", peerPort), 2);
    ASSERT_TRUE(Readable(peer.fd));
    EXPECT_EQ(::recv(peer.fd, b, 8, 0), 2);
    EXPECT_EQ(b[0], 0x09);
    EXPECT_EQ(b[1], 0x08);
}

TEST(TimeoutSocketTest, CreateRefusesUnknownSocketTypes)
{
    CdsTimeoutSocket socket;
    EXPECT_FALSE(socket.Create(0, 5));
    EXPECT_EQ(socket.GetHandle(), CdsTimeoutSocket::kInvalidSocket);
}

TEST(TimeoutSocketTest, AHandleBelongsToTheThreadThatHoldsIt)
{
    CdsTimeoutSocket socket;
    ASSERT_TRUE(socket.Create());
    const auto h = socket.GetHandle();
    EXPECT_TRUE(CdsTimeoutSocket::IsHandleOfThisThread(h));
    bool bOtherSees = true;
    std::thread([&] { bOtherSees = CdsTimeoutSocket::IsHandleOfThisThread(h); }).join();
    EXPECT_FALSE(bOtherSees);

    EXPECT_EQ(socket.Detach(), h);
    EXPECT_FALSE(CdsTimeoutSocket::IsHandleOfThisThread(h));
    bool bAttached = false;
    std::thread([&] {
        bAttached = socket.Attach(h) && CdsTimeoutSocket::IsHandleOfThisThread(h);
        socket.Detach();
    }).join();
    EXPECT_TRUE(bAttached);
    ASSERT_TRUE(socket.Attach(h));
    EXPECT_TRUE(CdsTimeoutSocket::IsHandleOfThisThread(h));
}

} // namespace
