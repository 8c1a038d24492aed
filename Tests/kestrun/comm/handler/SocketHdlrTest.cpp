// The socket handler on loopback: connects, resets after a peer close, UDP
// lines, and listen mode. Waits move a fake clock.
#include "kestrun/comm/handler/SocketHdlr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "kestrun/comm/LoopbackSockets.h"
#include "kestrun/comm/sockets/TcpipConfig.h"
#include "kestrun/comm/sockets/UdpCommFile.h"
#include "kestrun/options/ServerOptions.h"
#include "support/OptionScope.h"
#include "support/comm/EngineFixtures.h"
#include "support/comm/HdlrBench.h"
#include "support/comm/ScriptedTransport.h"

using namespace sockettest;
using kestrun::test::RecordingLog;
using kestrun::test::TestDevice;
using testsupport::OptionScope;

namespace {

class TestSocketHdlr : public CdsSocketHdlr {
public:
    explicit TestSocketHdlr(win::FakeClock& clock) : m_clock(clock) {}
    using CdsSocketHdlr::SetListenMode;
    void Sleep(DWORD dwMs) override
    {
        ++sleeps;
        m_clock.advance(dwMs);
        if (onSleep)
            onSleep();
    }
    int sleeps = 0;
    std::function<void()> onSleep;
    bool acceptQueries = false;
    BOOL IsValidQueryMessage(CdsMemoryArray* pArray, const char* pszData, int nLength, BOOL bRead) override
    {
        return acceptQueries ? TRUE : CdsSocketHdlr::IsValidQueryMessage(pArray, pszData, nLength, bRead);
    }

protected:
    // Sockets whose waits move the fake clock.
    std::unique_ptr<CdsListenSocket> NewLineSocket(CdsDeviceObject* pDevice, int nLine) override
    {
        return std::make_unique<FakeWait<CdsListenSocket>>(m_clock, pDevice, this, nLine);
    }

private:
    win::FakeClock& m_clock;
};

class SocketHdlrTest : public kestrun::test::HdlrBench<TestSocketHdlr> {
protected:
    SocketHdlrTest() : HdlrBench(10000)
    {
        hdlr.SetInService(TRUE);
        device = std::make_unique<TestDevice>("PLC1", 0);
        device->m_nResetDelay = 5000;
    }

    ~SocketHdlrTest() override
    {
        for (int i = 0; i < LINE_COUNT; ++i) {
            if (tagTHREADINFO* pLine = hdlr.GetLine(i))
                hdlr.CloseCommPort(nullptr, pLine);
        }
    }

    CdsTcpipConfig& UseTcp(const std::string& address, std::int32_t port, int nLine = LINE_PRIMARY_MASTER)
    {
        auto config = std::make_unique<CdsTcpipConfig>();
        config->SetPortId(1); // reserved: any local port
        config->m_strRemoteAddress = address;
        config->m_nRemotePort = port;
        CdsTcpipConfig& ref = *config;
        device->SetCommConfig(nLine, std::move(config));
        return ref;
    }

    tagTHREADINFO* PrimaryLine()
    {
        hdlr.AddActiveDevice(device.get());
        return hdlr.NewThreadInfo(device.get(), FALSE, FALSE);
    }

    std::vector<std::string> Lines(int kind) const { return log.Lines(kind); }

    std::unique_ptr<TestDevice> device;
};

std::string Text(const char* format, int port)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, port);
    return buffer;
}

TEST_F(SocketHdlrTest, ConnectsAndLogsTheAddressAsConfigured)
{
    uint16_t port = 0;
    Fd listener = ListenOnLoopback(port);
    UseTcp("127.0.0.1", port);
    tagTHREADINFO* line = PrimaryLine();
    ASSERT_TRUE(hdlr.OpenCommPort(device.get(), line));
    EXPECT_TRUE(hdlr.IsPortOpen(line));
    EXPECT_EQ(Lines(LOG_INFO), (std::vector<std::string>{
                                   Text("-  Trying to connect to server(127.0.0.1:%d)...\r\n", port),
                                   Text("-  Connected to server(127.0.0.1:%d).\r\n", port)}));
    EXPECT_EQ(hdlr.GetSocketCommFile(line)->GetDefaultTimeOut(), 2000u);
}

TEST_F(SocketHdlrTest, AHostNameIsLoggedAsTyped)
{
    uint16_t port = 0;
    Fd listener = ListenOnLoopback(port);
    UseTcp("localhost", port);
    tagTHREADINFO* line = PrimaryLine();
    if (!hdlr.OpenCommPort(device.get(), line))
        GTEST_SKIP() << "localhost does not resolve to 127.0.0.1 here";
    EXPECT_EQ(Lines(LOG_INFO).back(), Text("-  Connected to server(localhost:%d).\r\n", port));
}

TEST_F(SocketHdlrTest, ConnectToAClosedPortFailsWithTheTimeOutTextAndANewSocketNextTime)
{
    const uint16_t port = ClosedLoopbackPort();
    UseTcp("127.0.0.1", port);
    tagTHREADINFO* line = PrimaryLine();
    EXPECT_FALSE(hdlr.OpenCommPort(device.get(), line));
    EXPECT_EQ(Lines(LOG_ERROR),
              (std::vector<std::string>{Text("-  Cannot connect to server(127.0.0.1:%d) within 5000(msecs)!\r\n", port)}));
    EXPECT_EQ(hdlr.GetThreadSocket(line), nullptr);
    EXPECT_FALSE(hdlr.IsPortOpen(line));

    Fd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in sa = Loopback(port);
    ASSERT_EQ(::bind(listener.fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(::listen(listener.fd, 1), 0);
    EXPECT_TRUE(hdlr.OpenCommPort(device.get(), line));
}

struct BadPortCase {
    std::int32_t port;
    const char* line;
};

class SocketHdlrBadPortTest : public SocketHdlrTest, public ::testing::WithParamInterface<BadPortCase> {};

TEST_P(SocketHdlrBadPortTest, AnImpossibleRemotePortFailsTheOpenAndStaysStored)
{
    CdsTcpipConfig& config = UseTcp("127.0.0.1", GetParam().port);
    tagTHREADINFO* line = PrimaryLine();
    EXPECT_FALSE(hdlr.OpenCommPort(device.get(), line));
    EXPECT_EQ(Lines(LOG_ERROR), (std::vector<std::string>{GetParam().line}));
    EXPECT_EQ(config.m_nRemotePort, GetParam().port);
    EXPECT_TRUE(Lines(LOG_INFO).empty()) << "no connect was tried";
}

INSTANTIATE_TEST_SUITE_P(Ports, SocketHdlrBadPortTest,
                         ::testing::Values(BadPortCase{-1, "-  Invalid remote port -1 (1 to 65535)!\r\n"},
                                           BadPortCase{0, "-  Invalid remote port 0 (1 to 65535)!\r\n"},
                                           BadPortCase{65536, "-  Invalid remote port 65536 (1 to 65535)!\r\n"}));

TEST_F(SocketHdlrTest, AnUnknownHostIsAnInvalidAddress)
{
    UseTcp("no-such-host.invalid", 5000);
    tagTHREADINFO* line = PrimaryLine();
    EXPECT_FALSE(hdlr.OpenCommPort(device.get(), line));
    EXPECT_EQ(Lines(LOG_ERROR), (std::vector<std::string>{"-  Invalid URL address(no-such-host.invalid)!\r\n"}));
}

TEST_F(SocketHdlrTest, APeerThatClosesIsNoticedAndTheLineReconnectsAfterTheResetDelay)
{
    uint16_t port = 0;
    Fd listener = ListenOnLoopback(port);
    UseTcp("127.0.0.1", port);
    tagTHREADINFO* line = PrimaryLine();
    ASSERT_TRUE(hdlr.OpenCommPort(device.get(), line));
    Fd peer(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
    peer.reset();
    ASSERT_TRUE(Readable(hdlr.GetThreadSocket(line)->GetHandle()));

    // Reads report the closed connection, with or without asking first.
    BYTE buffer[8];
    EXPECT_EQ(hdlr.CommReadWith(device.get(), buffer, 8, line, TRUE), CommErrorResult(RE_SOCKET_ERROR));
    EXPECT_EQ(hdlr.CommReadWith(device.get(), buffer, 8, line, FALSE), CommErrorResult(RE_SOCKET_ERROR));
    EXPECT_FALSE(hdlr.IsPortOpen(line));

    log.Clear();
    const std::uint64_t start = clock.monotonicMs();
    EXPECT_EQ(hdlr.DispatchNotifications(line), 1);
    EXPECT_GT(clock.monotonicMs() - start, 5000u);
    EXPECT_EQ(Lines(LOG_INFO),
              (std::vector<std::string>{"Socket closed.\r\n", "-  The communication port has been closed.\r\n",
                                        Text("Wait 5000 msecs to initialize port(127.0.0.1:%d) for [PLC1].\r\n", port),
                                        Text("-  Trying to connect to server(127.0.0.1:%d)...\r\n", port),
                                        Text("-  Connected to server(127.0.0.1:%d).\r\n", port)}));
    // Booked as a failure on a closed port: the count went straight over the maximum.
    EXPECT_EQ(Lines(LOG_ERROR),
              (std::vector<std::string>{"-  Device [PLC1] error over max allowed number(11)!\r\n"}));
    EXPECT_EQ(device->GetErrorCount(line), 0);
    EXPECT_FALSE(line->m_bCommError.load()) << "the new connection cleared it";
    EXPECT_TRUE(hdlr.IsPortOpen(line));
    EXPECT_TRUE(Readable(listener.fd, 0)) << "a new connection waits";
}

// The socket's own words reach the log line, not just "failed": a peer that
// resets the connection is named, though the retries after it meet a broken pipe.
TEST_F(SocketHdlrTest, ASendToAResetPeerLogsTheCause)
{
    uint16_t port = 0;
    Fd listener = ListenOnLoopback(port);
    UseTcp("127.0.0.1", port);
    kestrun::test::TestBlock* block = device->AddBlock("Words", 2);
    device->m_nRetries = 1;
    hdlr.acceptQueries = true;
    tagTHREADINFO* line = PrimaryLine();
    ASSERT_TRUE(hdlr.OpenCommPort(device.get(), line));
    Fd peer(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
    const linger abortive{1, 0};
    ASSERT_EQ(::setsockopt(peer.fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive), 0);
    peer.reset();
    ASSERT_TRUE(Readable(hdlr.GetThreadSocket(line)->GetHandle()));

    log.Clear();
    EXPECT_EQ(hdlr.DoDataRead(block, line), 0);
    const std::vector<std::string> errors = Lines(LOG_ERROR);
    EXPECT_NE(std::find(errors.begin(), errors.end(),
                        "-  Sending QueryMessage ([PLC1]Words) failed: Connection reset by peer\r\n"),
              errors.end())
        << ::testing::PrintToString(errors);
}

TEST_F(SocketHdlrTest, APeerThatClosesWhileNoOneListensLeavesTheLineInCommError)
{
    uint16_t port = 0;
    Fd listener = ListenOnLoopback(port);
    UseTcp("127.0.0.1", port);
    tagTHREADINFO* line = PrimaryLine();
    ASSERT_TRUE(hdlr.OpenCommPort(device.get(), line));
    Fd peer(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
    peer.reset();
    listener.reset();
    ASSERT_TRUE(Readable(hdlr.GetThreadSocket(line)->GetHandle()));

    log.Clear();
    EXPECT_EQ(hdlr.DispatchNotifications(line), 1);
    EXPECT_EQ(Lines(LOG_ERROR).front(), "-  Device [PLC1] error over max allowed number(11)!\r\n");
    EXPECT_TRUE(line->m_bCommError.load());
    EXPECT_FALSE(hdlr.IsPortOpen(line));
    // The next step of the line finds the port closed and tries again.
    log.Clear();
    EXPECT_EQ(hdlr.UpdateCommPortStatus(device.get(), FALSE, line), 0);
    EXPECT_EQ(Lines(LOG_ERROR).front(), "-  Device [PLC1] error over max allowed number(11)!\r\n");
}

TEST_F(SocketHdlrTest, AResetWhileTheHandlerLeavesServiceStopsAtOnceInCommError)
{
    uint16_t port = 0;
    Fd listener = ListenOnLoopback(port);
    UseTcp("127.0.0.1", port);
    tagTHREADINFO* line = PrimaryLine();
    ASSERT_TRUE(hdlr.OpenCommPort(device.get(), line));
    hdlr.onSleep = [&] { hdlr.SetInService(FALSE); };
    hdlr.ResetCommPort(device.get(), line);
    EXPECT_EQ(hdlr.sleeps, 1);
    EXPECT_TRUE(line->m_bCommError.load());
    EXPECT_FALSE(hdlr.IsPortOpen(line));
}

// The reset skips its wait only so that the partner takes over at once; where
// nothing takes over, a line that reconnected at once would do so on every step.
struct RedundantResetCase {
    const char* name;
    bool secondaryFails; // the secondary master is reset, as the monitor line
    bool partnerDown;
    bool switchOnCommError;
    bool waits;
};

class SocketHdlrRedundantResetTest : public SocketHdlrTest,
                                     public ::testing::WithParamInterface<RedundantResetCase> {};

TEST_P(SocketHdlrRedundantResetTest, WaitsTheResetDelayUnlessThePartnerTakesOver)
{
    const RedundantResetCase& c = GetParam();
    uint16_t port = 0;
    Fd listener = ListenOnLoopback(port);
    UseTcp("127.0.0.1", port);
    UseTcp("127.0.0.1", port, LINE_SECONDARY_MASTER);
    device->m_bSwitchOnCommError = c.switchOnCommError ? TRUE : FALSE;
    tagTHREADINFO* primary = PrimaryLine();
    tagTHREADINFO* secondary = hdlr.NewThreadInfo(device.get(), FALSE, TRUE);
    ASSERT_NE(secondary, nullptr);
    tagTHREADINFO* failing = c.secondaryFails ? secondary : primary;
    hdlr.GetOtherInfo(failing)->m_bCommError = c.partnerDown ? TRUE : FALSE;
    ASSERT_TRUE(hdlr.OpenCommPort(device.get(), failing));
    log.Clear();
    const std::uint64_t start = clock.monotonicMs();
    hdlr.ResetCommPort(device.get(), failing);
    const auto infos = Lines(LOG_INFO);
    const auto waited = std::count_if(infos.begin(), infos.end(),
                                      [](const std::string& text) { return text.rfind("Wait 5000 msecs", 0) == 0; });
    EXPECT_EQ(waited, c.waits ? 1 : 0);
    EXPECT_EQ(clock.monotonicMs() - start > 5000, c.waits);
    EXPECT_TRUE(hdlr.IsPortOpen(failing));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SocketHdlrRedundantResetTest,
    ::testing::Values(RedundantResetCase{"PartnerTakesOver", false, false, true, false},
                      RedundantResetCase{"PartnerDownToo", false, true, true, true},
                      RedundantResetCase{"NoSwitchOnCommErrors", false, false, false, true},
                      RedundantResetCase{"StandbyLineWithNothingToHandOver", true, false, true, true}),
    [](const ::testing::TestParamInfo<RedundantResetCase>& info) { return std::string(info.param.name); });

// Nothing listens on either line: each line connects once per reset delay, not on
// every step.
TEST_F(SocketHdlrTest, ARedundantDeviceWithEveryLineDownReconnectsOncePerResetDelay)
{
    UseTcp("127.0.0.1", ClosedLoopbackPort());
    UseTcp("127.0.0.1", ClosedLoopbackPort(), LINE_SECONDARY_MASTER);
    device->AddBlock("Words", 2, 3); // urgent: read on every visit
    tagTHREADINFO* primary = PrimaryLine();
    tagTHREADINFO* secondary = hdlr.NewThreadInfo(device.get(), FALSE, TRUE);
    ASSERT_NE(secondary, nullptr);
    hdlr.UpdateSysMode(device.get(), SYSMODE_RUNNING, TRUE);
    const std::uint64_t start = clock.monotonicMs();
    constexpr int kSteps = 10;
    for (int step = 0; step < kSteps; ++step) {
        hdlr.SingleStep(primary);
        hdlr.SingleStep(secondary);
    }
    const auto infos = Lines(LOG_INFO);
    auto count = [&](const char* text) {
        return std::count_if(infos.begin(), infos.end(),
                             [&](const std::string& line) { return line.find(text) != std::string::npos; });
    };
    const auto connects = count("Trying to connect");
    EXPECT_EQ(connects, 2 * kSteps);
    // Only the first reset skips the wait: the partner could still take over then.
    EXPECT_EQ(count("Wait 5000 msecs"), connects - 1);
    EXPECT_EQ(count("Switched to primary master (Comm error)"), 1);
    EXPECT_GT(clock.monotonicMs() - start, static_cast<std::uint64_t>(connects - 1) * 5000);
}

TEST_F(SocketHdlrTest, TheOptionDecidesWhetherAReadAsksFirst)
{
    uint16_t port = 0;
    Fd listener = ListenOnLoopback(port);
    UseTcp("127.0.0.1", port);
    tagTHREADINFO* line = PrimaryLine();
    ASSERT_TRUE(hdlr.OpenCommPort(device.get(), line));
    Fd peer(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
    {
        OptionScope off(CdsServerOptions::g_bUseIoctl, 0);
        EXPECT_EQ(hdlr.GetNoOfBytesToRead(line), CommErrorResult(RE_IOCTL_ERROR));
    }
    OptionScope on(CdsServerOptions::g_bUseIoctl, 1);
    EXPECT_EQ(hdlr.GetNoOfBytesToRead(line), 0);
    ASSERT_EQ(::send(peer.fd, "\xD0\x00\x00\xFF", 4, 0), 4);
    ASSERT_TRUE(Readable(hdlr.GetThreadSocket(line)->GetHandle()));
    EXPECT_EQ(hdlr.GetNoOfBytesToRead(line), 4);
    BYTE buffer[8];
    EXPECT_EQ(hdlr.CommRead(device.get(), buffer, 8, line), 4);
    EXPECT_EQ(buffer[0], 0xD0);
    EXPECT_EQ(buffer[3], 0xFF);
}

class SocketHdlrUdpTest : public SocketHdlrTest {
protected:
    void SetUp() override
    {
        auto config = std::make_unique<CdsUdpipConfig>();
        config->SetPortId(1);
        peer = UdpOn("127.0.0.1", peerPort);
        config->m_strRemoteAddress = "127.0.0.1";
        config->m_nRemotePort = peerPort;
        udp = config.get();
        device->SetCommConfig(0, std::move(config));
        line = PrimaryLine();
        ASSERT_TRUE(hdlr.OpenCommPort(device.get(), line));
        localPort = PortOf(hdlr.GetThreadSocket(line)->GetHandle());
    }

    void Send(const std::vector<BYTE>& bytes)
    {
        sockaddr_in to = Loopback(localPort);
        ASSERT_EQ(::sendto(peer.fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(bytes.size()));
        ASSERT_TRUE(Readable(hdlr.GetThreadSocket(line)->GetHandle()));
    }

    CdsUdpipConfig* udp = nullptr;
    tagTHREADINFO* line = nullptr;
    uint16_t peerPort = 0;
    uint16_t localPort = 0;
    Fd peer;
};

TEST_F(SocketHdlrUdpTest, OpensAUdpPortAndCountsHeldOverBytes)
{
    EXPECT_EQ(Lines(LOG_INFO), (std::vector<std::string>{"-  UDP port created(0).\r\n"}));
    EXPECT_TRUE(hdlr.IsPortUDP());
    EXPECT_EQ(hdlr.GetSocketCommFile(line)->GetDefaultTimeOut(), 1000u);

    std::vector<BYTE> datagram(100);
    std::iota(datagram.begin(), datagram.end(), BYTE{0});
    Send(datagram);
    EXPECT_EQ(hdlr.GetNoOfBytesToRead(line), 100);
    BYTE buffer[100];
    ASSERT_EQ(hdlr.CommRead(device.get(), buffer, 30, line), 30);
    EXPECT_EQ(buffer[29], 29);
    // The rest of the cut datagram waits, though the socket holds nothing.
    EXPECT_EQ(hdlr.GetNoOfBytesToRead(line), 70);
    ASSERT_EQ(hdlr.CommRead(device.get(), buffer, 100, line), 70);
    EXPECT_EQ(buffer[0], 30);
    EXPECT_EQ(buffer[69], 99);
    EXPECT_EQ(hdlr.GetNoOfBytesToRead(line), 0);
}

TEST_F(SocketHdlrUdpTest, WritesGoAsOneDatagramToThePeer)
{
    const BYTE frame[] = {0x01, 0xFF, 0x0A, 0x00};
    EXPECT_EQ(hdlr.WriteBytes(device.get(), frame, 4, FALSE, line), 4);
    ASSERT_TRUE(Readable(peer.fd));
    BYTE got[8];
    ASSERT_EQ(::recv(peer.fd, got, sizeof got, 0), 4);
    EXPECT_EQ(0, std::memcmp(got, frame, 4));
}

class ListenHdlrTest : public SocketHdlrTest {
protected:
    void SetUp() override
    {
        port = ClosedLoopbackPort(); // ephemeral, so above the reserved range
        auto config = std::make_unique<CdsTcpipConfig>();
        config->SetPortId(1);
        config->m_nRemotePort = port;
        device->SetCommConfig(0, std::move(config));
        device->MakeModePoints();
        hdlr.SetListenMode(TRUE);
        hdlr.SetPortsInThread(FALSE);
        ASSERT_TRUE(hdlr.DoOnline(device.get()));
    }

    void TearDown() override { hdlr.DoOffline(device.get()); }

    Fd Client()
    {
        Fd c(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in sa = Loopback(port);
        EXPECT_EQ(::connect(c.fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
        return c;
    }

    int Dispatch()
    {
        tagTHREADINFO* line = hdlr.GetLine(LINE_PRIMARY_MASTER);
        CdsListenSocket* pListen = hdlr.GetListenSocket(line);
        if (pListen)
            Readable(pListen->GetHandle(), 0);
        return hdlr.DispatchNotifications(line);
    }

    OptionScope<int> timerMode{CdsServerOptions::g_bBackgroundThread, 0};
    OptionScope<int> ioctlOff{CdsServerOptions::g_bUseIoctl, 0};
    uint16_t port = 0;
};

TEST_F(ListenHdlrTest, LogsLoginRefusesASecondClientAndLogsLogout)
{
    EXPECT_EQ(log.Count(LOG_INFO, "-  Socket opened as Listen mode.\r\n"), 1);
    EXPECT_TRUE(hdlr.GetNoThreads());
    // Listening makes this handler's reads ask first; the process-wide option stays.
    EXPECT_TRUE(hdlr.IsUseIoctl());
    EXPECT_EQ(CdsServerOptions::g_bUseIoctl.load(), 0);

    // The application thread's timer takes the first client.
    Fd first = Client();
    ASSERT_TRUE(Readable(hdlr.GetListenSocket(hdlr.GetLine(0))->GetHandle()));
    dispatcher.advance(CdsSocketHdlr::kListenTimerMs);
    const std::string login = "127.0.0.1(" + std::to_string(PortOf(first.fd)) + ") Login.\r\n";
    EXPECT_EQ(log.Count(LOG_INFO, login), 1);
    EXPECT_TRUE(hdlr.IsPortOpen(hdlr.GetLine(0)));
    EXPECT_TRUE(hdlr.GetThreadSocket(hdlr.GetLine(0))->IsAccepted());

    Fd second = Client();
    ASSERT_TRUE(Readable(hdlr.GetListenSocket(hdlr.GetLine(0))->GetHandle()));
    Dispatch();
    EXPECT_EQ(log.Count(LOG_ERROR, "Port is already used!\r\n"), 1);
    ASSERT_TRUE(Readable(second.fd)) << "the second client is closed, not left waiting";
    BYTE b[4];
    EXPECT_EQ(::recv(second.fd, b, 4, 0), 0);
    EXPECT_TRUE(hdlr.IsPortOpen(hdlr.GetLine(0))) << "the first client keeps the line";

    first.reset();
    ASSERT_TRUE(Readable(hdlr.GetThreadSocket(hdlr.GetLine(0))->GetHandle()));
    Dispatch();
    EXPECT_EQ(log.Count(LOG_INFO, "127.0.0.1 Logout.\r\n"), 1);
    // The line was taken offline and online again: it listens for the next client.
    EXPECT_EQ(log.Count(LOG_INFO, "-  Socket opened as Listen mode.\r\n"), 2);
    Fd third = Client();
    ASSERT_TRUE(Readable(hdlr.GetListenSocket(hdlr.GetLine(0))->GetHandle()));
    Dispatch();
    EXPECT_EQ(log.Count(LOG_INFO, "127.0.0.1(" + std::to_string(PortOf(third.fd)) + ") Login.\r\n"), 1);
}

TEST_F(ListenHdlrTest, UnsolicitedDataIsOfferedToTheHandler)
{
    Fd client = Client();
    ASSERT_TRUE(Readable(hdlr.GetListenSocket(hdlr.GetLine(0))->GetHandle()));
    Dispatch();
    ASSERT_EQ(::send(client.fd, "PING", 4, 0), 4);
    ASSERT_TRUE(Readable(hdlr.GetThreadSocket(hdlr.GetLine(0))->GetHandle()));
    EXPECT_EQ(Dispatch(), 1);
    DWORD waiting = 1;
    ASSERT_TRUE(hdlr.GetThreadSocket(hdlr.GetLine(0))->IOCtlBytesWaiting(waiting));
    EXPECT_EQ(waiting, 0u) << "the notification took the bytes";
}

TEST(SocketHdlrChecksTest, ASocketOfAnotherThreadIsValidOnlyWithBackgroundThreads)
{
    CdsTimeoutSocket socket;
    std::thread([&] {
        socket.Create();
        socket.Detach();
    }).join();
    CdsTimeoutSocket::SOCKET h = CdsTimeoutSocket::kInvalidSocket;
    std::thread([&] {
        CdsTimeoutSocket other;
        other.Create();
        h = other.Detach();
    }).join();
    ASSERT_NE(h, CdsTimeoutSocket::kInvalidSocket);
    CdsTimeoutSocket mine;
    ASSERT_TRUE(mine.Create());
    {
        OptionScope timer(CdsServerOptions::g_bBackgroundThread, 0);
        EXPECT_TRUE(CdsSocketHdlr::IsValidSocket(&mine));
        EXPECT_FALSE(CdsSocketHdlr::IsSocketAttached(h));
        EXPECT_FALSE(CdsSocketHdlr::IsValidSocket(nullptr));
    }
    OptionScope threads(CdsServerOptions::g_bBackgroundThread, 1);
    EXPECT_TRUE(CdsSocketHdlr::IsValidSocket(&mine));
    ::close(h);
}

} // namespace

namespace {

// A derived handler whose close hook closes the line itself.
class ClosingHdlr : public TestSocketHdlr {
public:
    using TestSocketHdlr::TestSocketHdlr;
    int OnPreClose(CdsListenSocket*) override
    {
        CloseCommPort(nullptr, GetLine(LINE_PRIMARY_MASTER));
        return 1;
    }
};

TEST_F(SocketHdlrTest, ALineClosedInsideItsCloseNotificationOutlivesTheDelivery)
{
    ClosingHdlr closing(clock);
    closing.SetHost(kestrun::test::TestHost(clock, dispatcher, &log));
    closing.SetInService(TRUE);
    uint16_t port = 0;
    Fd listener = ListenOnLoopback(port);
    UseTcp("127.0.0.1", port);
    closing.AddActiveDevice(device.get());
    tagTHREADINFO* line = closing.NewThreadInfo(device.get(), FALSE, FALSE);
    ASSERT_TRUE(closing.OpenCommPort(device.get(), line));
    Fd peer(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
    peer.reset();
    ASSERT_TRUE(Readable(closing.GetThreadSocket(line)->GetHandle()));
    EXPECT_EQ(closing.DispatchNotifications(line), 1);
    // The reset still ran after the delivery and connected again.
    EXPECT_TRUE(closing.IsPortOpen(line));
    closing.CloseCommPort(nullptr, line);
}

struct InitCase {
    const char* name;
    BOOL bPortsInThread;
    bool bOpen;
    int expect;
};

class SocketHdlrInitTest : public SocketHdlrTest, public ::testing::WithParamInterface<InitCase> {};

TEST_P(SocketHdlrInitTest, MasterLineStartNeedsItsSocketWhenTheLineDoesNotOpenIt)
{
    OptionScope timer(CdsServerOptions::g_bBackgroundThread, 0);
    uint16_t port = 0;
    Fd listener = ListenOnLoopback(port);
    UseTcp("127.0.0.1", port);
    tagTHREADINFO* line = PrimaryLine();
    hdlr.SetPortsInThread(GetParam().bPortsInThread);
    if (GetParam().bOpen) {
        ASSERT_TRUE(hdlr.OpenCommPort(device.get(), line));
    }
    EXPECT_EQ(hdlr.InitThread(line), GetParam().expect);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SocketHdlrInitTest,
    ::testing::Values(InitCase{"LineOpensItsPort", TRUE, false, 0},
                      InitCase{"OpenedBeforeTheLine", FALSE, true, 0},
                      InitCase{"NotOpened", FALSE, false, CommErrorResult(RE_INVALID_SOCKET)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SocketHdlrTest, AConnectionMovesToTheLineThreadAndBack)
{
    OptionScope threads(CdsServerOptions::g_bBackgroundThread, 1);
    uint16_t port = 0;
    Fd listener = ListenOnLoopback(port);
    UseTcp("127.0.0.1", port);
    tagTHREADINFO* line = PrimaryLine();
    hdlr.SetPortsInThread(FALSE);
    ASSERT_TRUE(hdlr.OpenCommPort(device.get(), line));
    const auto handle = hdlr.GetThreadSocket(line)->GetHandle();
    // What going online does before the line thread runs: the handle waits in the slot.
    ASSERT_TRUE(hdlr.CreateThreads(device.get()));
    EXPECT_EQ(hdlr.GetThreadSocket(line)->GetHandle(), CdsTimeoutSocket::kInvalidSocket);
    EXPECT_EQ(hdlr.GetLocalPort(line), PortOf(handle));
    int init = -1, exit = -1;
    bool bOwned = false;
    std::thread([&] {
        init = hdlr.InitThread(line);
        bOwned = CdsTimeoutSocket::IsHandleOfThisThread(hdlr.GetThreadSocket(line)->GetHandle());
        exit = hdlr.ExitThread(line);
    }).join();
    EXPECT_EQ(init, 0);
    EXPECT_TRUE(bOwned);
    EXPECT_EQ(exit, 0);
    hdlr.DestroyThreads(device.get());
    EXPECT_EQ(hdlr.GetThreadSocket(line)->GetHandle(), handle);
    EXPECT_TRUE(CdsTimeoutSocket::IsHandleOfThisThread(handle));
}

} // namespace

namespace {

TEST_F(SocketHdlrTest, AListenPortThatCannotListenFailsTheOpen)
{
    auto config = std::make_unique<CdsTcpipConfig>();
    config->SetPortId(1);
    config->m_nRemotePort = 1; // reserved: any port
    config->m_nSocketType = 2; // a datagram socket cannot listen
    device->SetCommConfig(0, std::move(config));
    hdlr.SetListenMode(TRUE);
    tagTHREADINFO* line = PrimaryLine();
    EXPECT_FALSE(hdlr.OpenCommPort(device.get(), line));
    EXPECT_EQ(Lines(LOG_ERROR), (std::vector<std::string>{"-  Cannot create socket port 0 (type = 2)!\r\n"}));
    EXPECT_EQ(hdlr.GetListenSocket(line), nullptr);
    EXPECT_TRUE(Lines(LOG_INFO).empty());
}

} // namespace

namespace {

// Without asking first, a read of a silent peer waits the device's read time-out
// (100..10000 ms, else the handler's default) and then yields no bytes.
struct SilentReadCase {
    const char* name;
    LONG deviceTimeout;
    std::uint64_t waited;
};

class SocketHdlrSilentReadTest : public SocketHdlrTest, public ::testing::WithParamInterface<SilentReadCase> {};

TEST_P(SocketHdlrSilentReadTest, WithoutIoctlASilentPeerEndsAReadWithNoBytesAfterTheDevicesTimeOut)
{
    OptionScope off(CdsServerOptions::g_bUseIoctl, 0);
    uint16_t port = 0;
    Fd listener = ListenOnLoopback(port);
    UseTcp("127.0.0.1", port);
    device->m_nReadTimeout = GetParam().deviceTimeout;
    tagTHREADINFO* line = PrimaryLine();
    ASSERT_TRUE(hdlr.OpenCommPort(device.get(), line));
    Fd peer(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
    EXPECT_TRUE(hdlr.GetSocketCommFile(line)->GetTimerFlag());
    const std::uint64_t start = clock.monotonicMs();
    BYTE buffer[8];
    EXPECT_EQ(hdlr.CommRead(device.get(), buffer, 8, line), 0);
    const std::uint64_t elapsed = clock.monotonicMs() - start;
    EXPECT_GT(elapsed, GetParam().waited);
    EXPECT_LE(elapsed, 2 * GetParam().waited);
    EXPECT_EQ(hdlr.GetSocketCommFile(line)->GetDefaultTimeOut(), 2000u) << "the file keeps its own deadline";
    EXPECT_TRUE(hdlr.IsPortOpen(line)) << "silence is no close";
}

const SilentReadCase kSilentReads[] = {
    {"Short", 300, 300},
    {"Long", 5000, 5000},
    {"Lowest", 100, 100},
    {"Highest", 10000, 10000},
    {"TooShortTakesTheDefault", 50, 1000},
    {"TooLongTakesTheDefault", 20000, 1000},
};

INSTANTIATE_TEST_SUITE_P(DeviceTimeOuts, SocketHdlrSilentReadTest, ::testing::ValuesIn(kSilentReads),
                         [](const auto& info) { return std::string(info.param.name); });

// Stopping the lines ends a read of a silent peer within a wait step, not at the
// device's time-out: a line waiting for an answer is joined, not abandoned.
TEST_F(SocketHdlrTest, AStopEndsALinesReadOfASilentPeerWithinAWaitStep)
{
    OptionScope off(CdsServerOptions::g_bUseIoctl, 0);
    uint16_t port = 0;
    Fd listener = ListenOnLoopback(port);
    UseTcp("127.0.0.1", port);
    device->m_nReadTimeout = 5000;
    tagTHREADINFO* line = PrimaryLine();
    ASSERT_TRUE(hdlr.OpenCommPort(device.get(), line));
    Fd peer(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
    hdlr.GetStopEvent()->set();
    const std::uint64_t start = clock.monotonicMs();
    BYTE buffer[8];
    EXPECT_LT(hdlr.ReadBytes(device.get(), buffer, 8, FALSE, line), 0);
    EXPECT_LE(clock.monotonicMs() - start, CdsTimeoutSocket::kStopCheckMs);
    hdlr.GetStopEvent()->reset();
}

} // namespace
