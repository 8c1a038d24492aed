// The MELSEC handler, device, blocks and points end to end on loopback against the
// simulated PLC (or the PLC that TESSARO_TEST_PLC names), in all six frame kinds.
#include "fenwold/CommHdlr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "fenwold/DeviceObject.h"
#include "fenwold/MelsecFakes.h"
#include "fenwold/MemoryArray.h"
#include "fenwold/MemoryObject.h"
#include "kestrun/comm/TcpipConfig.h"
#include "kestrun/shell/ServerFrame.h"
#include "platform/win/ManualDispatcher.h"
#include "support/comm/ScriptedTransport.h"
#include "support/plcsim/TestPlc.h"

using kestrun::test::RecordingLog;
using namespace fenwoldtest;
using plcsim::Fault;

namespace {

struct KindCase {
    const char* name;
    LONG deviceType;
    const char* protocol;
    const char* address;
    bool e1;
    bool ascii;
    bool e4;
};

const KindCase kKinds[] = {
    {"E1Binary", 1, "MC", "255", true, false, false}, {"E1Ascii", 2, "ASCII", "255", true, true, false},
    {"E3Binary", 4, "MC3", "", false, false, false},  {"E3Ascii", 4, "ASCII 3", "", false, true, false},
    {"E4Binary", 3, "MC4", "", false, false, true},   {"E4Ascii", 3, "ASCII", "", false, true, true},
};

// Long waits (the reset delay) are recorded instead of slept; the short ones of
// the read loops still pass, so the simulator's thread gets its time.
class TestHdlr : public CCommHdlr {
public:
    void Sleep(DWORD dwMs) override
    {
        if (dwMs > 20) {
            waited += dwMs;
            return;
        }
        CCommHdlr::Sleep(dwMs);
    }
    std::atomic<DWORD> waited{0};
};

// Keeps a process-wide option for the test and puts it back.
class OptionScope {
public:
    OptionScope(std::atomic<int>& option, int value) : m_option(option), m_saved(option.load()) { option = value; }
    ~OptionScope() { m_option = m_saved; }
    OptionScope(const OptionScope&) = delete;
    OptionScope& operator=(const OptionScope&) = delete;

private:
    std::atomic<int>& m_option;
    int m_saved;
};

struct DeviceDeleter {
    void operator()(CdsDeviceObject* p) const { p->Destroy(); }
};

class LoopbackBase : public testing::Test {
protected:
    virtual const KindCase& Kind() const = 0;

    void SetUp() override
    {
        if (!plc.ok())
            GTEST_SKIP() << "no PLC: " << plc.error();
        const KindCase& k = Kind();
        device.reset(new CDeviceObject);
        device->m_strName = "PLC";
        device->m_nDeviceType = k.deviceType;
        device->m_strProtocol = k.protocol;
        device->m_strAddress = k.address;
        device->m_nReadTimeout = 300;
        device->m_nRetries = 0;
        device->m_nRetryDelay = 1;
        device->m_nResetDelay = 50;
        auto config = std::make_unique<CdsTcpipConfig>();
        config->SetPortId(1);
        config->m_strRemoteAddress = plc.host();
        config->m_nRemotePort = plc.port();
        device->SetCommConfig(0, std::move(config));
        ASSERT_TRUE(device->OnInitDeviceObject());

        CommHost host;
        host.pDispatcher = &dispatcher;
        host.logWindow = log.Key();
        hdlr->SetHost(host);
        hdlr->SetInService(TRUE);
        hdlr->SetRxTimeout(device.get(), 300);
        hdlr->AddActiveDevice(device.get());
        line = hdlr->NewThreadInfo(device.get(), FALSE, FALSE);
        ASSERT_NE(line, nullptr);
        ASSERT_TRUE(hdlr->OpenCommPort(device.get(), line));
    }

    void TearDown() override
    {
        if (line)
            hdlr->CloseCommPort(device.get(), line);
        if (device)
            hdlr->RemoveActiveDevice(device.get());
    }

    plcsim::Server* Sim() { return plc.simulator(); }

    CMemoryArray* AddBlock(const std::string& address, WORD code, int type, int points)
    {
        auto* block = new CMemoryArray;
        block->SetName(address + "_" + std::to_string(type));
        block->SetAddr(address);
        block->SetTypeDataWord(static_cast<SHORT>(code));
        block->SetDefaultDataType(type);
        block->SetMaxMemories(points);
        auto* added = dynamic_cast<CMemoryArray*>(device->AddMemoryArray(block, true));
        EXPECT_NE(added, nullptr) << address;
        return added;
    }

    // A read that delivered values: the engine logs a failed one.
    bool Read(CMemoryArray* block)
    {
        log.Clear();
        const int result = hdlr->DoDataRead(block, line);
        const bool ok = result == 1 && log.Lines(LOG_ERROR).empty();
        if (!ok && std::getenv("MELSEC_TEST_LOG"))
            for (const std::string& l : log.AllLines())
                std::fprintf(stderr, "%s", l.c_str());
        return ok;
    }

    bool Write(CMemoryArray* block, int index, const _BRISANTDATAVALUE& value)
    {
        return hdlr->DoDataWrite(block->GetMemoryObject(index), value, line) == 1;
    }

    static WORD WordAt(CMemoryArray* block, int i) { return block->GetMemoryObject(i)->GetValue().wVal; }

    bool Has(const std::string& text) const
    {
        for (const std::string& l : log.AllLines())
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    }

    plcsim::TestPlc plc;
    win::FakeClock dispatchClock{10000};
    win::ManualDispatcher dispatcher{dispatchClock};
    RecordingLog log{dispatcher};
    std::shared_ptr<TestHdlr> hdlr = std::make_shared<TestHdlr>();
    std::unique_ptr<CDeviceObject, DeviceDeleter> device;
    tagTHREADINFO* line = nullptr;
};

class Loopback : public testing::WithParamInterface<KindCase>, public LoopbackBase {
protected:
    const KindCase& Kind() const override { return GetParam(); }
};

TEST_P(Loopback, BlocksReadThePlcsValues)
{
    if (!Sim())
        GTEST_SKIP() << "needs the simulator's memory";
    auto& mem = Sim()->memory();
    mem.setWord(kD, 100, 0x1234);
    mem.setWord(kD, 101, 0xFFFE);
    mem.setWord(kR, 7, 77);
    mem.setWord(kW, 0x1F, 0xBEEF);
    mem.setWord(kTN, 3, 300);
    mem.setWord(kZR, 0x10, 4242);
    for (int m : {5, 6, 24})
        mem.setBit(kM, static_cast<std::uint32_t>(m), true);
    mem.setBit(kX, 0x1A, true);

    CMemoryArray* d = AddBlock("D100", kD, BRISANT_SHORT, 2);
    CMemoryArray* m = AddBlock("M5", kM, BRISANT_BOOL, 20);
    CMemoryArray* x = AddBlock("X18", kX, BRISANT_BOOL, 4);
    CMemoryArray* w = AddBlock("W1F", kW, BRISANT_WORD, 1);
    CMemoryArray* r = AddBlock("R7", kR, BRISANT_WORD, 1);
    CMemoryArray* tn = AddBlock("TN3", kTN, BRISANT_WORD, 1);
    ASSERT_TRUE(d && m && x && w && r && tn);

    ASSERT_TRUE(Read(d));
    EXPECT_EQ(d->GetMemoryObject(0)->GetValue().iVal, 0x1234);
    EXPECT_EQ(d->GetMemoryObject(1)->GetValue().iVal, -2);
    ASSERT_TRUE(Read(m));
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(m->GetMemoryObject(i)->GetValue().boolVal, i == 0 || i == 1 || i == 19 ? 1 : 0) << "M" << 5 + i;
    ASSERT_TRUE(Read(x));
    EXPECT_EQ(x->GetMemoryObject(2)->GetValue().boolVal, 1);
    EXPECT_EQ(x->GetMemoryObject(1)->GetValue().boolVal, 0);
    ASSERT_TRUE(Read(w));
    EXPECT_EQ(WordAt(w, 0), 0xBEEF);
    ASSERT_TRUE(Read(r));
    EXPECT_EQ(WordAt(r, 0), 77);
    ASSERT_TRUE(Read(tn));
    EXPECT_EQ(WordAt(tn, 0), 300);

    CMemoryArray* zr = AddBlock("ZR10", kZR, BRISANT_WORD, 1);
    ASSERT_NE(zr, nullptr);
    if (GetParam().e1) {
        // The 1E frame cannot address ZR: nothing is sent.
        EXPECT_EQ(hdlr->DoDataRead(zr, line), 0);
    } else {
        ASSERT_TRUE(Read(zr));
        EXPECT_EQ(WordAt(zr, 0), 4242);
    }
}

TEST_P(Loopback, WritesLandExactly)
{
    if (!Sim())
        GTEST_SKIP() << "needs the simulator's memory";
    auto& mem = Sim()->memory();
    const KindCase& k = GetParam();
    for (std::uint32_t n = 198; n < 240; ++n)
        mem.setWord(kD, n, 0x5A5A);
    CMemoryArray* bools = AddBlock("M20", kM, BRISANT_BOOL, 4);
    CMemoryArray* i2 = AddBlock("D200", kD, BRISANT_SHORT, 1);
    CMemoryArray* i4 = AddBlock("D210", kD, BRISANT_LONG, 1);
    CMemoryArray* r4 = AddBlock("D220", kD, BRISANT_FLOAT, 1);
    CMemoryArray* text = AddBlock("D230", kD, BRISANT_STRING, 6);
    CMemoryArray* bwords = AddBlock("B0", kB, BRISANT_WORD, 2);
    ASSERT_TRUE(bools && i2 && i4 && r4 && text && bwords);

    _BRISANTDATAVALUE v{};
    v.boolVal = 1;
    ASSERT_TRUE(Write(bools, 2, v));
    EXPECT_TRUE(mem.bit(kM, 22));
    EXPECT_FALSE(mem.bit(kM, 21));
    EXPECT_FALSE(mem.bit(kM, 23));

    v = {};
    v.iVal = -2;
    ASSERT_TRUE(Write(i2, 0, v));
    EXPECT_EQ(mem.word(kD, 200), 0xFFFE);
    EXPECT_EQ(mem.word(kD, 199), 0x5A5A);
    EXPECT_EQ(mem.word(kD, 201), 0x5A5A);

    v = {};
    v.lVal = 0x12345678;
    _BRISANTDATAVALUE f{};
    f.fltVal = 1.5f;
    char hello[] = "HELLO";
    _BRISANTDATAVALUE s{};
    s.pszVal = hello;
    if (k.e1) {
        // 1E frames write bits and words only.
        EXPECT_FALSE(Write(i4, 0, v));
        EXPECT_FALSE(Write(r4, 0, f));
        EXPECT_FALSE(Write(text, 0, s));
        EXPECT_EQ(mem.word(kD, 210), 0x5A5A);
        EXPECT_EQ(mem.word(kD, 220), 0x5A5A);
        EXPECT_EQ(mem.word(kD, 230), 0x5A5A);
        return;
    }
    ASSERT_TRUE(Write(i4, 0, v));
    EXPECT_EQ(mem.word(kD, 210), 0x5678);
    EXPECT_EQ(mem.word(kD, 211), 0x1234);
    EXPECT_EQ(mem.word(kD, 212), 0x5A5A);
    ASSERT_TRUE(Write(r4, 0, f));
    EXPECT_EQ(mem.word(kD, 220), 0x0000);
    EXPECT_EQ(mem.word(kD, 221), 0x3FC0);
    EXPECT_EQ(mem.word(kD, 222), 0x5A5A);
    ASSERT_TRUE(Write(text, 0, s));
    EXPECT_EQ(mem.word(kD, 230), 0x4548);  // "HE", first character in the low byte
    EXPECT_EQ(mem.word(kD, 231), 0x4C4C);
    EXPECT_EQ(mem.word(kD, 232), 0x004F);
    EXPECT_EQ(mem.word(kD, 233), 0x5A5A);
    EXPECT_EQ(mem.word(kD, 229), 0x5A5A);

    // Bit 3 of the second word of B0 is B13, alone.
    CdsMemoryObject* bit = bwords->GetMemoryObject(1)->GetBitObject(3);
    ASSERT_NE(bit, nullptr);
    v = {};
    v.boolVal = 1;
    ASSERT_EQ(hdlr->DoDataWrite(bit, v, line), 1);
    EXPECT_TRUE(mem.bit(kB, 0x13));
    EXPECT_EQ(mem.word(kB, 0x10), 0x0008);
    EXPECT_EQ(mem.word(kB, 0x00), 0x0000);
}

TEST_P(Loopback, ReadBackAfterAWrite)
{
    CMemoryArray* d = AddBlock("D300", kD, BRISANT_WORD, 2);
    ASSERT_NE(d, nullptr);
    _BRISANTDATAVALUE v{};
    v.wVal = 4711;
    ASSERT_TRUE(Write(d, 1, v));
    ASSERT_TRUE(Read(d));
    EXPECT_EQ(WordAt(d, 1), 4711);
}

TEST_P(Loopback, EndCodeFailsTheRead)
{
    if (!Sim())
        GTEST_SKIP() << "needs fault injection";
    Sim()->memory().setWord(kD, 10, 9);
    CMemoryArray* d = AddBlock("D10", kD, BRISANT_WORD, 1);
    ASSERT_NE(d, nullptr);
    const bool e1 = GetParam().e1;
    Sim()->injectFault(e1 ? Fault::withEndCode(0x5B, 0x10) : Fault::withEndCode(0xC051));
    EXPECT_FALSE(Read(d));
    EXPECT_TRUE(Has(e1 ? "Unknown Error (0x10)" : "Invalid length for reading/writing"));
    EXPECT_FALSE(d->GetMemoryObject(0)->IsTouched());
    // The stream stays in step: the next read works.
    ASSERT_TRUE(Read(d));
    EXPECT_EQ(WordAt(d, 0), 9);
}

// A refused write was answered: it is logged with its end-code text and counted on
// the block, not on the line, and the block is read back to show the PLC's value.
TEST_P(Loopback, RefusedWriteIsLoggedCountedOnTheBlockAndReadBack)
{
    if (!Sim())
        GTEST_SKIP() << "needs fault injection";
    CMemoryArray* d = AddBlock("D20", kD, BRISANT_WORD, 1);
    ASSERT_NE(d, nullptr);
    Sim()->memory().setWord(kD, 20, 1);
    const bool e1 = GetParam().e1;
    Sim()->injectFault(e1 ? Fault::withEndCode(0x5B, 0x10) : Fault::withEndCode(0xC056));
    _BRISANTDATAVALUE v{};
    v.wVal = 2;
    log.Clear();
    EXPECT_TRUE(Write(d, 0, v));
    EXPECT_EQ(Sim()->memory().word(kD, 20), 1);
    EXPECT_EQ(log.Lines(LOG_ERROR).size(), 1u);
    EXPECT_TRUE(Has(e1 ? "Unknown Error (0x10)" : "Over max address for reading/writing"));
    EXPECT_EQ(d->GetErrorCount(), 1);
    EXPECT_EQ(device->GetErrorCount(line), 0);
    EXPECT_TRUE(d->IsModified());
    ASSERT_TRUE(Read(d));
    EXPECT_EQ(WordAt(d, 0), 1);
    EXPECT_TRUE(Write(d, 0, v));
    EXPECT_EQ(Sim()->memory().word(kD, 20), 2);
}

TEST_P(Loopback, SplitResponseIsJoined)
{
    if (!Sim())
        GTEST_SKIP() << "needs fault injection";
    Sim()->memory().setWord(kD, 30, 30);
    CMemoryArray* d = AddBlock("D30", kD, BRISANT_WORD, 1);
    ASSERT_NE(d, nullptr);
    for (std::size_t at : {1u, 3u, 9u, 14u}) {
        Sim()->injectFault(Fault::split(at, std::chrono::milliseconds(20)));
        ASSERT_TRUE(Read(d)) << "split at " << at;
        EXPECT_EQ(WordAt(d, 0), 30);
    }
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
    {"Late", Fault::late(std::chrono::milliseconds(400))},
    {"Dropped", Fault::of(Fault::Kind::Drop)},
    {"ShortThenStall", Fault::shortThen(Fault::Kind::ShortThenStall, 5)},
    {"ShortThenClose", Fault::shortThen(Fault::Kind::ShortThenClose, 5)},
    {"Closed", Fault::of(Fault::Kind::Close)},
};

class LoopbackRecovery : public testing::WithParamInterface<std::tuple<KindCase, FaultCase>>, public LoopbackBase {
protected:
    const KindCase& Kind() const override { return std::get<0>(GetParam()); }
};

TEST_P(LoopbackRecovery, ReadsComeRightAgain)
{
    if (!Sim())
        GTEST_SKIP() << "needs fault injection";
    // Reads poll the socket, so a missing answer costs the device's read time-out.
    OptionScope ioctl(CdsServerFrame::g_bUseIoctl, 1);
    CMemoryArray* d = AddBlock("D40", kD, BRISANT_WORD, 2);
    ASSERT_NE(d, nullptr);
    Sim()->memory().setWord(kD, 41, 1000);
    ASSERT_TRUE(Read(d));
    Sim()->memory().setWord(kD, 41, 1001);
    Sim()->injectFault(std::get<1>(GetParam()).fault);
    Read(d);  // may or may not deliver, but never a wrong value
    const WORD seen = WordAt(d, 1);
    EXPECT_TRUE(seen == 1000 || seen == 1001) << seen;
    bool ok = false;
    for (int attempt = 0; attempt < 4 && !ok; ++attempt) {
        // A station that stopped answering gets a new connection, as the engine
        // gives one after too many errors.
        if (attempt >= 2)
            hdlr->ResetCommPort(device.get(), line);
        if (!hdlr->IsPortOpen(line))
            hdlr->OpenCommPort(device.get(), line);
        ok = Read(d) && WordAt(d, 1) == 1001;
    }
    EXPECT_TRUE(ok);
}

TEST_P(Loopback, ClosedConnectionIsOpenedAgain)
{
    if (!Sim())
        GTEST_SKIP() << "needs the simulator";
    Sim()->memory().setWord(kD, 50, 5);
    CMemoryArray* d = AddBlock("D50", kD, BRISANT_WORD, 1);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(Read(d));
    Sim()->closeConnections();
    EXPECT_FALSE(Read(d));
    log.Clear();
    device->m_nResetDelay = 50;
    hdlr->ResetCommPort(device.get(), line);
    EXPECT_TRUE(Has("Wait 50 msecs to initialize port(127.0.0.1:"));
    if (!hdlr->IsPortOpen(line)) {
        ASSERT_TRUE(hdlr->OpenCommPort(device.get(), line));
    }
    Sim()->memory().setWord(kD, 50, 6);
    ASSERT_TRUE(Read(d));
    EXPECT_EQ(WordAt(d, 0), 6);
}

// How the PLC drops the connection: while a request waits for its answer, or
// between two steps of the line.
struct DropCase {
    const char* name;
    bool onRequest;
};

const DropCase kDrops[] = {{"OnRequest", true}, {"BetweenSteps", false}};

class LoopbackDrop : public testing::WithParamInterface<std::tuple<KindCase, DropCase>>, public LoopbackBase {
protected:
    const KindCase& Kind() const override { return std::get<0>(GetParam()); }
};

// The line's own steps find the closed connection, mark the device's points, wait
// the reset delay, connect again and read good values.
TEST_P(LoopbackDrop, LineStepsConnectAgainAfterThePlcDropsTheConnection)
{
    if (!Sim())
        GTEST_SKIP() << "needs the simulator";
    OptionScope ioctl(CdsServerFrame::g_bUseIoctl, 1);
    CMemoryArray* d = AddBlock("D60", kD, BRISANT_WORD, 1);
    ASSERT_NE(d, nullptr);
    Sim()->memory().setWord(kD, 60, 7);
    hdlr->UpdateNextDevice(line);
    ASSERT_EQ(WordAt(d, 0), 7);
    ASSERT_EQ(d->GetMemoryObject(0)->GetStatus(), CdsMemoryObject::QUALITY_GOOD);

    const std::size_t accepted = Sim()->acceptedCount();
    log.Clear();
    if (std::get<1>(GetParam()).onRequest) {
        Sim()->injectFault(Fault::of(Fault::Kind::Close));
        hdlr->UpdateNextDevice(line);
    } else {
        Sim()->closeConnections();
        hdlr->UpdateNextDevice(line);
    }
    EXPECT_TRUE(Has("-  Device [PLC] error over max allowed number(")) << "the failure is booked";
    EXPECT_TRUE(Has("Wait 50 msecs to initialize port(127.0.0.1:"));
    EXPECT_TRUE(Sim()->waitForAccepted(accepted + 1, std::chrono::seconds(2)));
    EXPECT_TRUE(hdlr->IsPortOpen(line));

    Sim()->memory().setWord(kD, 60, 8);
    hdlr->UpdateNextDevice(line);
    EXPECT_EQ(WordAt(d, 0), 8);
    EXPECT_EQ(d->GetMemoryObject(0)->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
    EXPECT_EQ(device->GetErrorCount(line), 0);
}

TEST_P(Loopback, SerialNumbersCountPerLine)
{
    if (!Sim() || !GetParam().e4)
        GTEST_SKIP() << "4E serial numbers, seen by the simulator";
    CMemoryArray* d = AddBlock("D60", kD, BRISANT_WORD, 1);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(Read(d));
    std::vector<std::uint16_t> serials;
    for (const plcsim::RequestInfo& r : Sim()->requests())
        serials.push_back(r.serial);
    EXPECT_EQ(serials, (std::vector<std::uint16_t>{1, 2, 3}));
}

TEST_P(Loopback, BytesBehindAResponseAreReadAway)
{
    if (!Sim())
        GTEST_SKIP() << "needs fault injection";
    Sim()->memory().setWord(kD, 70, 70);
    CMemoryArray* d = AddBlock("D70", kD, BRISANT_WORD, 1);
    ASSERT_NE(d, nullptr);
    Sim()->injectFault(Fault::junkAround(Fault::Kind::JunkAfter, {0x00, 0xFF, 0x55}));
    const bool read = Read(d);
    if (GetParam().e4) {
        // The serial number ties a 4E response to its request: no junk check.
        EXPECT_TRUE(read);
        EXPECT_FALSE(Has("Remove Junk messages"));
    } else {
        EXPECT_FALSE(read);
        EXPECT_EQ(log.Count(LOG_ERROR, "-  Remove Junk messages when ReceiveResponseMessage!\r\n"), 1);
    }
    bool ok = false;
    for (int attempt = 0; attempt < 3 && !ok; ++attempt)
        ok = Read(d) && WordAt(d, 0) == 70;
    EXPECT_TRUE(ok);
}

TEST_P(Loopback, BytesWaitingBeforeARequestAreReadAwayOnce)
{
    if (!Sim() || GetParam().e4)
        GTEST_SKIP() << "1E and 3E requests, with fault injection";
    Sim()->memory().setWord(kD, 80, 80);
    CMemoryArray* d = AddBlock("D80", kD, BRISANT_WORD, 1);
    ASSERT_NE(d, nullptr);
    // An answer that comes after the read gave up on it (polled reads keep the
    // device's read time-out).
    OptionScope ioctl(CdsServerFrame::g_bUseIoctl, 1);
    Sim()->injectFault(Fault::late(std::chrono::milliseconds(400)));
    EXPECT_FALSE(Read(d));
    CdsListenSocket* socket = hdlr->GetThreadSocket(line);
    ASSERT_NE(socket, nullptr);
    DWORD waiting = 0;
    for (int i = 0; i < 200 && waiting == 0; ++i) {
        socket->IOCtlBytesWaiting(waiting);
        if (waiting == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GT(waiting, 0u);
    log.Clear();
    EXPECT_EQ(hdlr->DoDataRead(d, line), 1);
    EXPECT_FALSE(Has("failed"));
    EXPECT_EQ(WordAt(d, 0), 80);
    EXPECT_EQ(log.Count(LOG_ERROR, "-  Remove Junk messages when SendQueryMessage!\r\n"), 1);
}

TEST_P(Loopback, RefusedWritesSendNothing)
{
    if (!Sim())
        GTEST_SKIP() << "counts the simulator's requests";
    CMemoryArray* inputs = AddBlock("X0", kX, BRISANT_BOOL, 4);
    CMemoryArray* words = AddBlock("D90", kD, BRISANT_WORD, 2);
    ASSERT_TRUE(inputs && words);
    const std::size_t before = Sim()->requestCount();
    _BRISANTDATAVALUE v{};
    v.boolVal = 1;
    EXPECT_EQ(hdlr->DoDataWrite(inputs->GetMemoryObject(0), v, line), 0);
    // A view over two words, and a bit of a word device.
    CdsMemoryObject* view = words->CreateMemoryVariant("D90", "F");
    ASSERT_NE(view, nullptr);
    v = {};
    v.fltVal = 2.5f;
    EXPECT_EQ(hdlr->DoDataWrite(view, v, line), 0);
    CdsMemoryObject* bit = words->GetMemoryObject(0)->GetBitObject(5);
    ASSERT_NE(bit, nullptr);
    v = {};
    v.boolVal = 1;
    EXPECT_EQ(hdlr->DoDataWrite(bit, v, line), 0);
    EXPECT_EQ(Sim()->requestCount(), before);
    EXPECT_EQ(Sim()->memory().word(kD, 90), 0);
    EXPECT_EQ(Sim()->memory().word(kD, 95), 0);
}

TEST_P(Loopback, MonitorQueryIsAnswered)
{
    EXPECT_EQ(hdlr->DoDeviceMonitor(device.get(), line, 0), 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Loopback, testing::ValuesIn(kKinds),
                         [](const testing::TestParamInfo<KindCase>& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Drops, LoopbackDrop, testing::Combine(testing::ValuesIn(kKinds), testing::ValuesIn(kDrops)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
                         });
INSTANTIATE_TEST_SUITE_P(Faults, LoopbackRecovery, testing::Combine(testing::ValuesIn(kKinds), testing::ValuesIn(kFaults)),
                         [](const testing::TestParamInfo<std::tuple<KindCase, FaultCase>>& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

}  // namespace
