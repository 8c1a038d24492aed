// The serial handler on pseudo-terminals and on a port file whose queues a test
// controls; every wait of the handler moves a fake clock.
#include "kestrun/comm/handler/SerialHdlr.h"

#include "kestrun/comm/config/ReturnError.h"
#include "kestrun/comm/serial/SerialCommConfig.h"
#include "kestrun/comm/serial/SerialCommFile.h"
#include "support/comm/EngineFixtures.h"
#include "support/comm/HdlrBench.h"
#include "support/comm/PseudoTerminal.h"
#include "support/comm/ScriptedTransport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kestrun::test::RecordingLog;
using kestrun::test::TestDevice;

namespace {

using Bytes = std::vector<BYTE>;

constexpr WORD kPortId = 230; // COM231
constexpr const char* kPortName = "COM231";

// A port file whose queues never drain unless told, recording what the handler
// does to it.
class QueueFile : public COXSerialCommFile {
public:
    bool open = true;
    bool rxEmpty = true;
    bool txEmpty = true;
    std::vector<std::string> calls;

    bool IsOpen() const override { return open; }
    BOOL IsRxQueueEmpty() override
    {
        calls.push_back("rx?");
        return open && rxEmpty;
    }
    BOOL IsTxQueueEmpty() override
    {
        calls.push_back("tx?");
        return open && txEmpty;
    }
    void PurgeRx() override
    {
        if (!open)
            AfxThrowSerialCommException(COXSerialCommException::ioError, "COM1");
        calls.push_back("purge rx");
    }
    void PurgeTx() override
    {
        if (!open)
            AfxThrowSerialCommException(COXSerialCommException::ioError, "COM1");
        calls.push_back("purge tx");
    }
    void SetRTS(int nState) override { calls.push_back(nState == 1 ? "rts on" : "rts off"); }
};

// A real port file that refuses one set-up step after opening.
class RefusingFile : public COXSerialCommFile {
public:
    bool refuseMask = false;
    bool refuseTimeOuts = false;
    BOOL SetCommMask(DWORD dwMask) override { return refuseMask ? FALSE : COXSerialCommFile::SetCommMask(dwMask); }
    BOOL SetDefaultTimeOut(DWORD r, DWORD w) override
    {
        return refuseTimeOuts ? FALSE : COXSerialCommFile::SetDefaultTimeOut(r, w);
    }
};

class TestSerialHdlr : public CdsSerialHdlr {
public:
    explicit TestSerialHdlr(win::FakeClock& clock) : m_clock(clock) {}

    int m_sleeps = 0;
    void Sleep(DWORD dwMs) override
    {
        ++m_sleeps;
        m_clock.advance(dwMs);
    }
    BOOL IsValidQueryMessage(CdsMemoryArray*, const char*, int, BOOL) override { return TRUE; }
    BOOL IsValidResponseMessage(CdsMemoryArray*, const BYTE*, int, const char*, BOOL) override { return TRUE; }

    using CdsSerialHdlr::SetSerialFile;
    void SetRtsControl(BOOL on, int preTx = 5, int postTx = 5, int preRx = 0, int postRx = 0)
    {
        m_bRtsControl = on;
        m_nPreTxPolls = preTx;
        m_nPostTxPolls = postTx;
        m_nPreRxPolls = preRx;
        m_nPostRxPolls = postRx;
    }

private:
    win::FakeClock& m_clock;
};

// Eight data bits without parity: what a pseudo-terminal carries.
std::unique_ptr<COXSerialCommConfig> PortConfig(WORD portId)
{
    auto config = std::make_unique<COXSerialCommConfig>();
    config->SetPortId(portId);
    config->m_nBaudRate = 9600;
    config->m_nDataBits = 8;
    config->m_nParity = 0;
    return config;
}

class SerialHdlrTest : public kestrun::test::HdlrBench<TestSerialHdlr> {
protected:
    SerialHdlrTest() : device("PLC1")
    {
        hdlr.SetInService(TRUE);
        device.SetCommConfig(0, PortConfig(kPortId));
        block = device.AddBlock("D100", 1);
        device.MakeModePoints();
        hdlr.AddActiveDevice(&device);
        line = hdlr.NewThreadInfo(&device, FALSE, FALSE);
    }
    ~SerialHdlrTest() override { hdlr.DeleteContents(); }

    // Until the bytes the device side sent have come through the line discipline.
    void AwaitInput(support::PseudoTerminal& pty, int count)
    {
        for (int i = 0; i < 400 && hdlr.GetNoOfBytesToRead(line) < count; ++i)
            pty.Receive(0, 5);
    }

    TestDevice device;
    kestrun::test::TestBlock* block = nullptr;
    tagTHREADINFO* line = nullptr;
};

TEST_F(SerialHdlrTest, RequestAndResponseCrossAPseudoTerminal)
{
    support::PseudoTerminal pty(kPortId + 1);
    ASSERT_TRUE(hdlr.OpenCommPort(&device, line));
    EXPECT_TRUE(hdlr.IsPortOpen(line));
    EXPECT_EQ(log.Lines(LOG_INFO),
              (std::vector<std::string>{"-  A serial connection has been established on port COM231.\r\n"}));

    const char query[] = "\x05" "00FFBR0D0100002";
    ASSERT_EQ(hdlr.SendQueryMessage(block, query, 16, TRUE, line), 1);
    EXPECT_EQ(pty.Receive(16), (Bytes{0x05, '0', '0', 'F', 'F', 'B', 'R', '0', 'D', '0', '1', '0', '0', '0', '0',
                                      '2'}));

    const Bytes answer = {0x02, '0', '0', 'F', 'F', '0', '1', 0x03};
    pty.Send(answer);
    AwaitInput(pty, 8);
    BYTE buffer[8] = {};
    int received = 0;
    ASSERT_EQ(hdlr.ReceiveResponseMessage(block, buffer, 8, received, query, TRUE, line), 1);
    EXPECT_EQ(Bytes(buffer, buffer + received), answer);

    EXPECT_TRUE(hdlr.CloseCommPort(&device, line));
    EXPECT_FALSE(hdlr.IsPortOpen(line));
    EXPECT_EQ(log.Count(LOG_INFO, "-  The communication port has been closed.\r\n"), 1);
    // Closing again is still a success.
    EXPECT_TRUE(hdlr.CloseCommPort(&device, line));
}

TEST_F(SerialHdlrTest, RtsWrappedRequestOnAnOpenPort)
{
    support::PseudoTerminal pty(kPortId + 1);
    hdlr.SetRtsControl(TRUE);
    ASSERT_TRUE(hdlr.OpenCommPort(&device, line));
    ASSERT_EQ(hdlr.SendQueryMessage(block, "ABC", 3, TRUE, line), 1);
    EXPECT_EQ(pty.Receive(3), (Bytes{'A', 'B', 'C'}));
}

TEST_F(SerialHdlrTest, SecondOpenOfAPortInUseFailsWithItsText)
{
    support::PseudoTerminal pty(kPortId + 1);
    COXSerialCommFile other;
    ASSERT_TRUE(other.Open(*PortConfig(kPortId)));

    EXPECT_FALSE(hdlr.OpenCommPort(&device, line));
    EXPECT_FALSE(hdlr.IsPortOpen(line));
    EXPECT_EQ(log.Lines(LOG_ERROR),
              (std::vector<std::string>{"-  COM231:\nThe selected COM port is either not supported\nor is being used "
                                        "by another application.\nPlease select another port.",
                                        "\r\n"}));
    EXPECT_TRUE(log.Lines(LOG_INFO).empty());
}

TEST_F(SerialHdlrTest, ClosedPortReportsAnIoErrorStatus)
{
    EXPECT_FALSE(hdlr.IsPortOpen(line));
    EXPECT_EQ(static_cast<DWORD>(hdlr.GetNoOfBytesToRead(line)), 0x8000020Eu);
}

TEST_F(SerialHdlrTest, OpenWithoutDeviceOrSerialSettingsFails)
{
    EXPECT_FALSE(hdlr.OpenCommPort(nullptr, line));
    TestDevice tcp("PLC2"); // its line has a plain configuration
    EXPECT_FALSE(hdlr.OpenCommPort(&tcp, line));
}

TEST_F(SerialHdlrTest, SetUpFailureAfterTheOpenClosesThePort)
{
    support::PseudoTerminal pty(kPortId + 1);
    struct Case {
        const char* what;
        bool mask;
        bool timeOuts;
        std::vector<std::string> errors;
    };
    for (const Case& c : {Case{"event mask", true, false, {}},
                          Case{"time-outs", false, true, {"-  Cannot set read timeout!\r\n"}}}) {
        log.Clear();
        auto file = std::make_shared<RefusingFile>();
        file->refuseMask = c.mask;
        file->refuseTimeOuts = c.timeOuts;
        hdlr.SetSerialFile(LINE_PRIMARY_MASTER, file);
        EXPECT_FALSE(hdlr.OpenCommPort(&device, line)) << c.what;
        EXPECT_FALSE(hdlr.IsPortOpen(line)) << c.what;
        EXPECT_EQ(log.Lines(LOG_ERROR), c.errors) << c.what;
        // Nothing holds the device: the next open sets the port up from the start.
        EXPECT_TRUE(PortConfig(kPortId)->IsPortAvailable()) << c.what;
        file->refuseMask = file->refuseTimeOuts = false;
        EXPECT_TRUE(hdlr.OpenCommPort(&device, line)) << c.what;
        DWORD mask = 0;
        EXPECT_TRUE(file->GetCommMask(mask));
        EXPECT_EQ(mask, COXSerialCommFile::EV_RXCHAR) << c.what;
        hdlr.CloseCommPort(&device, line);
    }
}

struct RtsCase {
    const char* what;
    int step; // 0 pre-Tx, 1 post-Tx, 2 pre-Rx, 3 post-Rx
    bool draining;
    int sleeps;
    std::vector<std::string> tail; // the calls after the queue tests
};

class RtsStepTest : public SerialHdlrTest, public ::testing::WithParamInterface<RtsCase> {};

TEST_P(RtsStepTest, WaitsPurgesAndSwitchesRts)
{
    const RtsCase& c = GetParam();
    auto file = std::make_shared<QueueFile>();
    file->rxEmpty = file->txEmpty = c.draining;
    hdlr.SetSerialFile(LINE_PRIMARY_MASTER, file);
    hdlr.SetRtsControl(TRUE, 5, 5, 2, 0);
    BOOL ok = FALSE;
    switch (c.step) {
    case 0: ok = hdlr.DoPreTxDelay(line); break;
    case 1: ok = hdlr.DoPostTxDelay(line); break;
    case 2: ok = hdlr.DoPreRxDelay(line); break;
    default: ok = hdlr.DoPostRxDelay(line); break;
    }
    EXPECT_TRUE(ok);
    EXPECT_EQ(hdlr.m_sleeps, c.sleeps);
    std::vector<std::string> tail;
    for (const auto& call : file->calls) {
        if (call != "rx?" && call != "tx?")
            tail.push_back(call);
    }
    EXPECT_EQ(tail, c.tail);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RtsStepTest,
    ::testing::Values(RtsCase{"pre-Tx, empty", 0, true, 0, {"rts on"}},
                      RtsCase{"pre-Tx, full", 0, false, 6, {"purge rx", "rts on"}},
                      RtsCase{"post-Tx, empty", 1, true, 0, {"rts off"}},
                      RtsCase{"post-Tx, never drains", 1, false, 6, {"purge tx", "rts off"}},
                      RtsCase{"pre-Rx, full", 2, false, 3, {"purge tx"}},
                      RtsCase{"post-Rx, full", 3, false, 1, {"purge rx"}}),
    [](const auto& info) { return std::to_string(info.index); });

TEST_F(SerialHdlrTest, WithoutRtsControlNoQueueIsPolled)
{
    auto file = std::make_shared<QueueFile>();
    file->txEmpty = false;
    hdlr.SetSerialFile(LINE_PRIMARY_MASTER, file);
    hdlr.SendQueryMessage(block, "ABC", 3, TRUE, line);
    int received = 0;
    BYTE buffer[4];
    hdlr.ReceiveResponseMessage(block, buffer, 4, received, "ABC", TRUE, line);
    EXPECT_TRUE(file->calls.empty());
}

TEST_F(SerialHdlrTest, FailedSendDropsRtsWithoutWaiting)
{
    auto file = std::make_shared<QueueFile>();
    file->txEmpty = false;
    hdlr.SetSerialFile(LINE_PRIMARY_MASTER, file);
    hdlr.SetRtsControl(TRUE);
    // The line has no channel installed, so the send itself fails.
    EXPECT_EQ(hdlr.SendQueryMessage(block, "ABC", 3, TRUE, line), 0);
    EXPECT_EQ(file->calls, (std::vector<std::string>{"rx?", "rts on", "rts off"}));
    EXPECT_EQ(hdlr.m_sleeps, 0);
}

TEST_F(SerialHdlrTest, RtsStepsOnAClosedPortFailTheRequest)
{
    auto file = std::make_shared<QueueFile>();
    file->open = false;
    hdlr.SetSerialFile(LINE_PRIMARY_MASTER, file);
    hdlr.SetRtsControl(TRUE);
    EXPECT_FALSE(hdlr.DoPreTxDelay(line));
    EXPECT_FALSE(hdlr.DoPostRxDelay(line));
    EXPECT_EQ(hdlr.SendQueryMessage(block, "ABC", 3, TRUE, line), 0);
    int received = 7;
    BYTE buffer[4];
    EXPECT_EQ(hdlr.ReceiveResponseMessage(block, buffer, 4, received, "ABC", TRUE, line), 0);
    EXPECT_EQ(received, 0);
    EXPECT_TRUE(file->calls.empty());
    EXPECT_EQ(hdlr.m_sleeps, 0);
}

TEST_F(SerialHdlrTest, ResetWaitsTheResetDelayAndReopens)
{
    support::PseudoTerminal pty(kPortId + 1);
    device.m_nResetDelay = 300;
    ASSERT_TRUE(hdlr.OpenCommPort(&device, line));
    log.Clear();
    hdlr.ResetCommPort(&device, line);
    EXPECT_EQ(log.Count(LOG_INFO, "-  Wait 300 msecs to initialize port for [PLC1].\r\n"), 1);
    EXPECT_EQ(hdlr.m_sleeps, 301);
    EXPECT_TRUE(hdlr.IsPortOpen(line));
    EXPECT_FALSE(CdsCommHdlr::IsThisInCommError(line));
    EXPECT_EQ(device.GetUpdateMode(line), UPDATEMODE_UPDATING);
}

TEST_F(SerialHdlrTest, ResetOfAFastSwitchingRedundantDeviceReopensAtOnce)
{
    support::PseudoTerminal pty(kPortId + 1);
    device.SetCommConfig(1, PortConfig(kPortId + 1));
    device.m_bAutoSwitching = TRUE;
    device.m_bFastSwitch = TRUE;
    ASSERT_NE(hdlr.NewThreadInfo(&device, FALSE, TRUE), nullptr);
    ASSERT_TRUE(hdlr.OpenCommPort(&device, line));
    log.Clear();
    hdlr.ResetCommPort(&device, line);
    EXPECT_EQ(hdlr.m_sleeps, 0);
    for (const auto& text : log.Lines(LOG_INFO))
        EXPECT_EQ(text.find("Wait"), std::string::npos) << text;
    EXPECT_TRUE(hdlr.IsPortOpen(line));
}

TEST_F(SerialHdlrTest, ResetOfAFastSwitchingDeviceWhosePartnerIsDownWaits)
{
    support::PseudoTerminal pty(kPortId + 1);
    device.SetCommConfig(1, PortConfig(kPortId + 1));
    device.m_bAutoSwitching = TRUE;
    device.m_bFastSwitch = TRUE;
    tagTHREADINFO* partner = hdlr.NewThreadInfo(&device, FALSE, TRUE);
    ASSERT_NE(partner, nullptr);
    partner->m_bCommError = TRUE;
    ASSERT_TRUE(hdlr.OpenCommPort(&device, line));
    log.Clear();
    hdlr.ResetCommPort(&device, line);
    EXPECT_GT(hdlr.m_sleeps, 0);
    EXPECT_EQ(log.Count(LOG_INFO, "-  Wait 5000 msecs to initialize port for [PLC1].\r\n"), 1);
    EXPECT_TRUE(hdlr.IsPortOpen(line));
}

TEST_F(SerialHdlrTest, ResetOutOfServiceGivesUpTheWait)
{
    support::PseudoTerminal pty(kPortId + 1);
    ASSERT_TRUE(hdlr.OpenCommPort(&device, line));
    hdlr.SetInService(FALSE);
    hdlr.ResetCommPort(&device, line);
    EXPECT_FALSE(hdlr.IsPortOpen(line));
    EXPECT_TRUE(CdsCommHdlr::IsThisInCommError(line));
    EXPECT_EQ(device.GetUpdateMode(line), UPDATEMODE_STOPPED);
    EXPECT_EQ(hdlr.m_sleeps, 0);
}

TEST_F(SerialHdlrTest, PortThatFailsToReopenLeavesTheLineNotRunning)
{
    device.m_nResetDelay = 100;
    {
        support::PseudoTerminal pty(kPortId + 1);
        ASSERT_TRUE(hdlr.OpenCommPort(&device, line));
    } // the device is gone
    ::setenv("TESSARO_COM231", "/nonexistent/tty", 1);
    hdlr.ResetCommPort(&device, line);
    ::unsetenv("TESSARO_COM231");
    EXPECT_FALSE(hdlr.IsPortOpen(line));
    EXPECT_TRUE(CdsCommHdlr::IsThisInCommError(line));
    EXPECT_EQ(device.GetUpdateMode(line), UPDATEMODE_NOT_RUNNING);
}

} // namespace
