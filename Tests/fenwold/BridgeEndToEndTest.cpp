// OPC clients and the MELSEC server in two processes: the server process polls the
// simulated PLC (or the PLC that TESSARO_TEST_PLC names) through two devices, a 3E
// binary and a 1E ASCII one where the PLC speaks those kinds, and serves them through
// the OPC toolkit; this process is the client, finds it by ProgID and watches values,
// writes and qualities travel between the PLC and its callbacks. The values the test
// looks for are those it wrote into the PLC itself, through the driver.
// Built once the program's communication handler is part of the build.
#include "fenwold/BridgeServer.h"
#ifdef TESSARO_BRIDGE_SERVER
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/Bstr.h"
#include "platform/com/Guid.h"
#include "platform/opc/client/Activation.h"
#include "platform/opc/RecordingSinks.h"
#include "platform/registry/Registry.h"
#include "fenwold/PlcLink.h"
#include "support/ScratchFolder.h"
#include "support/plcsim/TestPlc.h"

namespace {

using Clock = std::chrono::steady_clock;
using opc::ComPtr;

using namespace bridgeserver;
constexpr DWORD kGroupRateMs = 100;

// Keeps the latest value and quality of every client handle, and wakes waiters.
class LatestValues final : public opctest::DataChangeSink {
public:
    HRESULT OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, std::span<const OPCHANDLE> items,
                         std::span<const VARIANT> values, std::span<const WORD> qualities, std::span<const FILETIME>,
                         std::span<const HRESULT>) override
    {
        std::lock_guard lock(mutex);
        for (std::size_t i = 0; i < items.size(); ++i)
            latest[items[i]] = {values[i], qualities[i], Clock::now()};
        ++count;
        cv.notify_all();
        return S_OK;
    }
    std::size_t events() const override { return count; }

    struct Seen {
        VARIANT value;
        WORD quality = 0;
        Clock::time_point when;
    };
    // Waits (bounded) until the item's latest state passes the test.
    bool WaitUntil(OPCHANDLE item, const std::function<bool(const Seen&)>& test, std::chrono::milliseconds limit,
                   Seen* seen = nullptr)
    {
        std::unique_lock lock(mutex);
        const bool ok = cv.wait_for(lock, limit, [&] {
            auto it = latest.find(item);
            return it != latest.end() && test(it->second);
        });
        if (ok && seen)
            *seen = latest[item];
        return ok;
    }

    std::map<OPCHANDLE, Seen> latest;
    std::size_t count = 0;
};

class BridgeEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        reg.SetString(HKEY_CLASSES_ROOT, std::string(kProgId) + "\\CLSID", "", com::formatGuid(kClsid));
        server = std::make_unique<ServerProcess>(scratch.path());
        plc.emplace();
        if (!plc->ok())
            GTEST_SKIP() << "no PLC: " << plc->error();
        setup.host = plc->host();
        setup.port = plc->port();
        setup.kindA = Spoken({2, 4, 3, 5, 0, 1}, -1);
        setup.kindB = Spoken({1, 0, 3, 5, 2, 4}, setup.kindA);
        setup.nameA = "PLCA";
        setup.nameB = "PLCB";
        setup.base = fenwoldtest::PlcLink::Region(fenwoldtest::kBridgeRegion);
        ASSERT_TRUE(link.Open(setup.host, setup.port, fenwoldtest::kPlcKinds[setup.kindA]));
        ASSERT_TRUE(server->Start(setup));
    }

    void TearDown() override
    {
        if (server) {
            EXPECT_EQ(server->Stop(), 0);  // the server ended cleanly
        }
        link.Close();
        plc.reset();
    }

    // The first kind of the list the PLC speaks, other than `other` when it has a choice.
    int Spoken(std::initializer_list<int> kinds, int other) const
    {
        int first = -1;
        for (int k : kinds) {
            const fenwoldtest::PlcKind& kind = fenwoldtest::kPlcKinds[k];
            if (!plc->speaks(kind.frame, kind.ascii))
                continue;
            if (k != other)
                return k;
            first = k;
        }
        return first;
    }

    plcsim::Server* Sim() { return plc->simulator(); }
    DWORD At(DWORD number) const { return setup.base + number; }
    std::u16string Item(const std::string& device, const char* block, DWORD number, int index) const
    {
        const std::string text = "[" + device + "]" + BlockAddress(block, number, setup) + ":" + std::to_string(index);
        return std::u16string(text.begin(), text.end());
    }

    support::ScratchFolder scratch;
    registry::Registry reg{scratch.path() / "reg"};
    std::unique_ptr<ServerProcess> server;  // forked before the PLC's threads start
    std::optional<plcsim::TestPlc> plc;
    BridgePlc setup;
    fenwoldtest::PlcLink link;  // the test's own way to the PLC's memory
};

// Connects by ProgID, adds a group at 100 ms with items of several types and subscribes.
class BridgeEndToEndClient : public BridgeEndToEnd {
protected:
    void SetUp() override
    {
        BridgeEndToEnd::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(link.WriteWords(kCodeD, At(100), {1234, static_cast<WORD>(-5)}));
        ASSERT_TRUE(link.WriteWords(kCodeM, At(0), {0x0008}));  // M3
        ASSERT_TRUE(link.WriteWords(kCodeD, At(200), {777}));
        ASSERT_TRUE(link.WriteWords(kCodeD, At(300), {0x0000, 0x3FC0}));  // 1.5f, low word first

        opc::ActivationOptions options;
        options.socketDir = scratch.path() / "run";
        options.registry = &reg;
        CLSID clsid{};
        ASSERT_EQ(opc::CLSIDFromProgID(com::toBstr(kProgId), &clsid, &reg), S_OK);
        ComPtr<IUnknown> unk;
        ASSERT_EQ(opc::CoCreateInstanceEx(clsid, u"", IID_IOPCServer, unk.put(), options), S_OK);
        client = ComPtr<IOPCServer>::attach(static_cast<IOPCServer*>(static_cast<void*>(unk.detach())));

        OPCHANDLE hGroup = 0;
        DWORD revised = 0;
        ASSERT_EQ(client->AddGroup(u"E2E", TRUE, kGroupRateMs, 1, nullptr, nullptr, 0, &hGroup, &revised,
                                   IID_IOPCItemMgt, unk.put()),
                  S_OK);
        group = ComPtr<IOPCItemMgt>::attach(static_cast<IOPCItemMgt*>(static_cast<void*>(unk.detach())));
        const std::u16string ids[] = {Item(setup.nameA, "D", 100, 0), Item(setup.nameA, "D", 100, 1),
                                      Item(setup.nameA, "M", 0, 3), Item(setup.nameB, "D", 200, 0),
                                      Item(setup.nameB, "D", 300, 0)};
        std::vector<OPCITEMDEF> defs(std::size(ids));
        for (std::size_t i = 0; i < defs.size(); ++i) {
            defs[i].szItemID = ids[i];
            defs[i].hClient = static_cast<OPCHANDLE>(i);
        }
        std::vector<HRESULT> errors;
        ASSERT_EQ(group->AddItems(defs, results, errors), S_OK);
        ASSERT_EQ(group.as<IConnectionPointContainer>(IID_IConnectionPointContainer)
                      ->FindConnectionPoint(IID_IOPCDataCallback, point.put()),
                  S_OK);
        ASSERT_EQ(point->Advise(sink.get(), &cookie), S_OK);
    }

    void TearDown() override
    {
        if (point && cookie)
            point->Unadvise(cookie);
        point = {};
        group = {};
        client = {};
        BridgeEndToEnd::TearDown();
    }

    static std::function<bool(const LatestValues::Seen&)> Good(const VARIANT& v)
    {
        return [v](const LatestValues::Seen& s) { return s.quality == OPC_QUALITY_GOOD && s.value == v; };
    }

    static constexpr std::chrono::seconds kSettle{5};
    ComPtr<IOPCServer> client;
    ComPtr<IOPCItemMgt> group;
    ComPtr<IConnectionPoint> point;
    ComPtr<LatestValues> sink{new LatestValues};
    DWORD cookie = 0;
    std::vector<OPCITEMRESULT> results;
};

TEST_F(BridgeEndToEndClient, ValuesChangesAndWritesTravelBetweenThePlcAndTheClient)
{
    EXPECT_EQ(results[0].vtCanonicalDataType, VT_I2);
    EXPECT_EQ(results[2].vtCanonicalDataType, VT_BOOL);
    EXPECT_EQ(results[3].vtCanonicalDataType, VT_UI2);
    EXPECT_EQ(results[4].vtCanonicalDataType, VT_R4);

    // The simulator's values, with good quality.
    EXPECT_TRUE(sink->WaitUntil(0, Good(VARIANT::I2(1234)), kSettle));
    EXPECT_TRUE(sink->WaitUntil(1, Good(VARIANT::I2(-5)), kSettle));
    EXPECT_TRUE(sink->WaitUntil(2, Good(VARIANT::Bool(true)), kSettle));
    EXPECT_TRUE(sink->WaitUntil(3, Good(VARIANT::UI2(777)), kSettle));
    EXPECT_TRUE(sink->WaitUntil(4, Good(VARIANT::R4(1.5f)), kSettle));

    // A change in the PLC arrives within a scan and a group period; the bound leaves
    // room for a loaded machine.
    const auto changed = Clock::now();
    ASSERT_TRUE(link.WriteWords(kCodeD, At(100), {4321}));
    LatestValues::Seen seen;
    ASSERT_TRUE(sink->WaitUntil(0, Good(VARIANT::I2(4321)), kSettle, &seen));
    const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(seen.when - changed);
    EXPECT_LE(delay.count(), static_cast<long long>(5 * (kDataUpdateMs + kGroupRateMs)));

    // A write, converted to the item's type by the toolkit, lands in the PLC.
    auto sync = group.as<IOPCSyncIO>(IID_IOPCSyncIO);
    OPCHANDLE target[] = {results[3].hServer};
    VARIANT value[] = {VARIANT::R8(4242.0)};
    std::vector<HRESULT> errors;
    ASSERT_EQ(sync->Write(target, value, errors), S_OK);
    const auto deadline = Clock::now() + kSettle;
    std::optional<std::vector<WORD>> landed;
    while ((landed = link.ReadWords(kCodeD, At(200), 1)) != std::vector<WORD>{4242} && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(landed, std::vector<WORD>{4242});
    EXPECT_TRUE(sink->WaitUntil(3, Good(VARIANT::UI2(4242)), kSettle));
}

// A connection the PLC closes is booked as a failure on a closed port: the points
// of the device lose their good quality, and after the reset delay the line
// connects again and its values come back good.
TEST_F(BridgeEndToEndClient, ValuesResumeAfterThePlcClosesTheConnection)
{
    if (!Sim())
        GTEST_SKIP() << "closes the simulator's connections";
    auto& plc = *Sim();
    ASSERT_TRUE(sink->WaitUntil(0, Good(VARIANT::I2(1234)), kSettle));
    ASSERT_TRUE(sink->WaitUntil(1, Good(VARIANT::I2(-5)), kSettle));
    const std::size_t accepted = plc.acceptedCount();
    plc.closeConnections();  // the test's own connection as well
    plc.memory().setWord(kCodeD, At(100), 999);
    EXPECT_TRUE(sink->WaitUntil(0, Good(VARIANT::I2(999)), kSettle));
    EXPECT_GT(plc.acceptedCount(), accepted);
    // An unchanged value is good again too.
    EXPECT_TRUE(sink->WaitUntil(1, Good(VARIANT::I2(-5)), kSettle));
}

TEST_F(BridgeEndToEndClient, QualityChangesWhenTheSimulatorDropsTheConnection)
{
    if (!Sim())
        GTEST_SKIP() << "refuses the simulator's connections";
    auto& plc = *Sim();
    ASSERT_TRUE(sink->WaitUntil(0, Good(VARIANT::I2(1234)), kSettle));
    plc.setRefuseConnections(true);
    plc.closeConnections();
    EXPECT_TRUE(sink->WaitUntil(
        0, [](const LatestValues::Seen& s) { return (s.quality & 0xC0) != OPC_QUALITY_GOOD; }, kSettle));
    plc.setRefuseConnections(false);
    EXPECT_TRUE(sink->WaitUntil(0, Good(VARIANT::I2(1234)), kSettle));
}

} // namespace

#endif
