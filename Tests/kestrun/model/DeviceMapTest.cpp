#include "kestrun/model/DeviceMap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "kestrun/comm/sockets/TcpipConfig.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/SystemDevice.h"
#include "kestrun/options/ServerOptions.h"
#include "platform/afx/Archive.h"
#include "support/OptionScope.h"
#include "support/model/ArchiveBytes.h"
#include "support/model/DeviceFakes.h"

namespace {

using testsupport::ArchiveBytes;
using testsupport::FakeDeviceHandler;
using testsupport::FakeHandlerTable;
using testsupport::HandlerTableScope;
using testsupport::OptionScope;
using testsupport::PointBlock;
using testsupport::TcpLine;
using testsupport::TestDevice;
using testsupport::TestDeviceMap;

// Counts the devices freed while a test runs.
class CountedDevice : public TestDevice {
public:
    explicit CountedDevice(int& freed) : m_freed(freed) {}
    ~CountedDevice() override { ++m_freed; }

private:
    int& m_freed;
};

class DeviceMapTest : public ::testing::Test {
protected:
    void SetUp() override { CdsDeviceMap::m_TopicListByName.RemoveAll(); }
    void TearDown() override { EXPECT_EQ(CdsDeviceMap::m_TopicListByName.GetCount(), 0); }

    CountedDevice* Device(const std::string& name, const std::string& port, const std::string& address, int type)
    {
        auto* device = new CountedDevice(freed);
        device->m_strName = name;
        device->m_strPort = port;
        device->m_strAddress = address;
        device->m_nDeviceType = type;
        return device;
    }

    int freed = 0;
};

std::vector<std::string> Keys(const CdsDeviceMap& map)
{
    std::vector<std::string> keys;
    for (const auto& [key, device] : map.GetDevices())
        keys.push_back(key);
    return keys;
}

int CountNamed(const CdsDeviceMap& map, const std::string& name)
{
    int n = 0;
    for (const auto& [key, device] : map.GetDevices())
        n += device->m_strName == name ? 1 : 0;
    return n;
}

// --- keys and topics ---

TEST_F(DeviceMapTest, DeviceNameIsPortAddressAndTypeUpperCased)
{
    struct Case {
        const char* port;
        const char* address;
        int type;
        int caseSensitive;
        const char* key;
    } cases[] = {
        {"tcp1", "10.0.0.5", 3, 0, "[TCP1]:10.0.0.5/3"},
        {"tcp1", "plc-a", -1, 0, "[TCP1]:PLC-A/-1"},
        {"tcp1", "plc-a", -1, 1, "[tcp1]:plc-a/-1"},
        {"", "A", 0, 0, "[]:A/0"},
        {"P", "", 0, 0, "[P]:/0"},
        {"", "", 7, 0, ""},
    };
    for (const Case& c : cases) {
        OptionScope sensitive(CdsServerOptions::g_bCaseSensitive, c.caseSensitive);
        EXPECT_EQ(CdsDeviceMap::GetDeviceName(c.port, c.address, c.type), c.key) << c.port << "/" << c.address;
    }
}

TEST_F(DeviceMapTest, LowerCaseNameIsFoundInAnyCaseAndReadsBackUpperCased)
{
    TestDeviceMap map;
    CdsDeviceObject* device = map.AddDeviceObject(Device("plc1", "tcp1", "a", 1));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->m_strName, "PLC1");
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("plc1"), device);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("Plc1"), device);
    EXPECT_EQ(map.GetDeviceObjectByAddr("TCP1", "A", 1), device);
    EXPECT_EQ(map.GetDeviceObjectByAddr("tcp1", "a", 1), device);
}

TEST_F(DeviceMapTest, CaseSensitiveNamesStayAsTheyAre)
{
    OptionScope sensitive(CdsServerOptions::g_bCaseSensitive, 1);
    TestDeviceMap map;
    CdsDeviceObject* device = map.AddDeviceObject(Device("plc1", "tcp1", "a", 1));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->m_strName, "plc1");
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("plc1"), device);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"), nullptr);
}

// --- refusals ---

TEST_F(DeviceMapTest, RefusedDevicesAreDestroyedAndTheFirstKeepsItsEntries)
{
    struct Case {
        const char* what;
        const char* name;
        const char* port;
        const char* address;
        int type;
    } cases[] = {
        {"same port, address and type", "OTHER", "TCP1", "A", 1},
        {"same port, address and type in another case", "OTHER", "tcp1", "a", 1},
        {"same topic", "plc1", "TCP2", "B", 1},
        {"empty port and address", "OTHER", "", "", 1},
        {"empty name", "", "TCP2", "B", 1},
        {"name reserved for system devices", "$Other", "TCP2", "B", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestDeviceMap map;
        CdsDeviceObject* first = map.AddDeviceObject(Device("PLC1", "TCP1", "A", 1));
        ASSERT_NE(first, nullptr);
        freed = 0;
        EXPECT_EQ(map.AddDeviceObject(Device(c.name, c.port, c.address, c.type)), nullptr);
        EXPECT_EQ(freed, 1);
        EXPECT_EQ(map.GetDeviceCount(), 1);
        EXPECT_EQ(map.GetDeviceObjectByAddr("TCP1", "A", 1), first);
        EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"), first);
    }
}

TEST_F(DeviceMapTest, AddingTheSameDeviceAgainKeepsIt)
{
    TestDeviceMap map;
    CdsDeviceObject* device = map.AddDeviceObject(Device("PLC1", "TCP1", "A", 1));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(map.AddDeviceObject(device), device);
    EXPECT_EQ(freed, 0);
    EXPECT_EQ(map.GetDeviceCount(), 1);
}

TEST_F(DeviceMapTest, FailedInitialisationDestroysTheDevice)
{
    TestDeviceMap map;
    TestDevice::s_refuseInits = 1;
    EXPECT_EQ(map.AddDeviceObject(Device("PLC1", "TCP1", "A", 1)), nullptr);
    EXPECT_EQ(freed, 1);
    EXPECT_EQ(map.GetDeviceCount(), 0);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"), nullptr);

    TestDevice::s_refuseInits = 1;
    EXPECT_EQ(map.CreateDeviceObject("TCP1", "A", 1), nullptr);
    EXPECT_EQ(map.GetDeviceCount(), 0);
    TestDevice::s_refuseInits = 0;
}

TEST_F(DeviceMapTest, CreateDeviceObjectRegistersTheProgramsDevice)
{
    TestDeviceMap map;
    // A device made from an address alone has no name yet: it cannot be a topic.
    EXPECT_EQ(map.CreateDeviceObject("TCP1", "A", 1), nullptr);
    CdsDeviceMap base;
    EXPECT_EQ(base.CreateDeviceObject("TCP1", "A", 1), nullptr);
}

TEST_F(DeviceMapTest, AddingWithoutInitialisationRegistersOnly)
{
    TestDeviceMap map;
    auto* device = static_cast<TestDevice*>(map.AddDeviceObject(Device("plc1", "tcp1", "a", 1), FALSE));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->initCount, 0);
    EXPECT_EQ(map.GetDeviceObjectByAddr("TCP1", "A", 1), device);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"), device);
    // A duplicate topic is refused on this road too.
    EXPECT_EQ(map.AddDeviceObject(Device("PLC1", "TCP2", "B", 1), FALSE), nullptr);
    EXPECT_EQ(freed, 1);
}

TEST_F(DeviceMapTest, TopicListIsRebuiltFromTheDevicesNames)
{
    TestDeviceMap map;
    CdsDeviceObject* device = map.AddDeviceObject(Device("PLC1", "TCP1", "A", 1));
    ASSERT_NE(device, nullptr);
    device->m_strName = "renamed";
    map.BuildTopicListMap();
    EXPECT_EQ(device->m_strName, "RENAMED");
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("renamed"), device);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"), nullptr);
}

// --- removal ---

TEST_F(DeviceMapTest, RemovingAStrangerChangesNothing)
{
    TestDeviceMap map;
    CdsDeviceObject* member = map.AddDeviceObject(Device("PLC1", "TCP1", "A", 1));
    ASSERT_NE(member, nullptr);
    // Same name, port, address and type as the member, but not in the map.
    CountedDevice* stranger = Device("PLC1", "TCP1", "A", 1);
    EXPECT_EQ(map.RemoveDeviceObject(stranger), nullptr);
    EXPECT_EQ(map.RemoveDeviceObject(nullptr), nullptr);
    EXPECT_EQ(map.GetDeviceCount(), 1);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"), member);
    EXPECT_EQ(freed, 0);

    // Destroying the stranger leaves the member's key and topic alone.
    map.DestroyDeviceObject(stranger);
    EXPECT_EQ(freed, 1);
    EXPECT_EQ(map.GetDeviceObjectByAddr("TCP1", "A", 1), member);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"), member);
}

TEST_F(DeviceMapTest, RemovingAMemberGivesItUpUnfreed)
{
    TestDeviceMap map;
    CdsDeviceObject* member = map.AddDeviceObject(Device("PLC1", "TCP1", "A", 1));
    ASSERT_NE(member, nullptr);
    EXPECT_EQ(member->GetParent(), &map);
    EXPECT_EQ(map.RemoveDeviceObject(member), member);
    EXPECT_EQ(freed, 0);
    EXPECT_EQ(member->GetParent(), nullptr);
    EXPECT_EQ(map.GetDeviceCount(), 0);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"), nullptr);
    member->Destroy();
    EXPECT_EQ(freed, 1);
}

TEST_F(DeviceMapTest, ReinitialisingUnderANewAddressMovesTheDevice)
{
    TestDeviceMap map;
    CdsDeviceObject* device = map.AddDeviceObject(Device("PLC1", "TCP1", "A", 1));
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(map.InitDeviceObject("TCP2", "B", 2, device));
    EXPECT_EQ(Keys(map), std::vector<std::string>{"[TCP2]:B/2"});
    EXPECT_EQ(device->m_strPort, "TCP2");
    EXPECT_EQ(device->m_nDeviceType, 2);
    // Freed exactly once by the map.
}

// --- copies ---

TEST_F(DeviceMapTest, AddingACopyTakesTheDeviceOfThatTopicWhenThereIsOne)
{
    TestDeviceMap map;
    TestDevice source;
    source.m_strName = "Plc1";
    source.m_strPort = "TCP1";
    source.m_strAddress = "A";
    source.m_nDeviceType = 1;
    source.m_nRetries = 4;
    source.SetCommConfig(1, TcpLine(7, "10.0.0.7", 5000));

    CdsDeviceObject* copy = map.AddDeviceObject(static_cast<const CdsDeviceObject&>(source));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, &source);
    EXPECT_EQ(copy->m_nRetries, 4);
    ASSERT_NE(copy->GetSecondaryMasterConfig(), nullptr);
    EXPECT_EQ(copy->GetSecondaryMasterConfig()->GetPortId(), 7);

    source.m_nRetries = 9;
    EXPECT_EQ(map.AddDeviceObject(static_cast<const CdsDeviceObject&>(source)), copy);
    EXPECT_EQ(copy->m_nRetries, 4);
    EXPECT_EQ(map.GetDeviceCount(), 1);
}

// --- system devices ---

TEST_F(DeviceMapTest, SystemDevicesAreCreatedOnce)
{
    struct Case {
        bool withRoot;
        int count;
    } cases[] = {{false, 1}, {true, 2}};
    for (const Case& c : cases) {
        TestDeviceMap map;
        map.withRoot = c.withRoot;
        ASSERT_TRUE(map.CreateSystemDevices());
        ASSERT_TRUE(map.CreateSystemDevices());
        EXPECT_EQ(map.GetDeviceCount(), c.count);
        EXPECT_EQ(CountNamed(map, "$SYSTEM"), 1);
        EXPECT_EQ(CountNamed(map, "$ROOT"), c.withRoot ? 1 : 0);
        CdsDeviceObject* system = CdsDeviceMap::GetDeviceObjectByTopic("$System");
        ASSERT_NE(system, nullptr);
        EXPECT_TRUE(system->IsKindOf(RUNTIME_CLASS(CdsSystemDevice)));
        EXPECT_EQ(system->m_strDescription, "System Device");
        EXPECT_EQ(system->GetPortHandle(), 0u);
        EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("$Root") != nullptr, c.withRoot);
        map.DestroySystemDevices();
        EXPECT_EQ(map.GetDeviceCount(), 0);
    }
}

// --- online ---

TEST_F(DeviceMapTest, DeviceThatFailsInitialisationDoesNotGoOnline)
{
    FakeHandlerTable table;
    HandlerTableScope scope(&table);
    TestDeviceMap map;
    auto* good = static_cast<TestDevice*>(map.AddDeviceObject(Device("PLC1", "TCP1", "A", 1)));
    auto* bad = static_cast<TestDevice*>(map.AddDeviceObject(Device("PLC2", "TCP1", "B", 1)));
    ASSERT_TRUE(good && bad);
    good->SetCommConfig(0, TcpLine(3, "10.0.0.1", 5000));
    bad->SetCommConfig(0, TcpLine(3, "10.0.0.2", 5000));
    bad->refuseInit = true;

    map.SetAllDevicesOnline(TRUE);
    auto* handler = table.Handler(0x00030002);
    ASSERT_NE(handler, nullptr);
    EXPECT_EQ(table.created.size(), 1u);
    EXPECT_EQ(handler->CallsFor(good), std::vector<std::string>{"online"});
    EXPECT_TRUE(handler->CallsFor(bad).empty());
    EXPECT_EQ(good->events, std::vector<std::string>{"OnOnline"});
    EXPECT_TRUE(bad->events.empty());
    // Still listed: a later configuration may be accepted.
    EXPECT_EQ(map.GetDeviceCount(), 2);

    map.SetAllDevicesOnline(FALSE);
    EXPECT_EQ(handler->CallsFor(good), (std::vector<std::string>{"online", "offline"}));
    EXPECT_EQ(handler->CallsFor(bad), std::vector<std::string>{"offline"});
}

// A program that is closing stops going online between two devices.
TEST_F(DeviceMapTest, GoingOnlineStopsBetweenDevicesOnceAStopIsAsked)
{
    FakeHandlerTable table;
    HandlerTableScope scope(&table);
    TestDeviceMap map;
    auto* first = static_cast<TestDevice*>(map.AddDeviceObject(Device("PLC1", "TCP1", "A", 1)));
    auto* second = static_cast<TestDevice*>(map.AddDeviceObject(Device("PLC2", "TCP1", "B", 1)));
    ASSERT_TRUE(first && second);
    first->SetCommConfig(0, TcpLine(3, "10.0.0.1", 5000));
    second->SetCommConfig(0, TcpLine(3, "10.0.0.2", 5000));
    int asked = 0;
    map.SetAllDevicesOnline(TRUE, [&asked] { return ++asked > 1; });
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(first->events, std::vector<std::string>{"OnOnline"});
    EXPECT_TRUE(second->events.empty());
    map.SetAllDevicesOnline(FALSE);
}

TEST_F(DeviceMapTest, LoadingStopsBetweenDevicesOnceAStopIsAskedAndTheMapCanForgetItsTopics)
{
    TestDeviceMap map;
    CdsDeviceObject* first = map.AddDeviceObject(Device("PLC1", "TCP1", "A", 1));
    CdsDeviceObject* second = map.AddDeviceObject(Device("PLC2", "TCP1", "B", 1));
    ASSERT_TRUE(first && second);
    map.OnLoading([] { return true; });
    EXPECT_EQ(first->GetSysModeObject(), nullptr) << "not loaded";
    EXPECT_EQ(second->GetSysModeObject(), nullptr) << "not loaded";
    int asked = 0;
    map.OnLoading([&asked] { return ++asked > 3; });
    EXPECT_EQ(asked, 3) << "once before each device";
    EXPECT_NE(first->GetSysModeObject(), nullptr);
    EXPECT_NE(second->GetSysModeObject(), nullptr);
    map.ForgetTopics();
    EXPECT_EQ(CdsDeviceMap::m_TopicListByName.GetCount(), 0);
    EXPECT_EQ(map.GetDeviceCount(), 3); // with the system device
}

TEST_F(DeviceMapTest, GoingOfflineToCloseStopsEachDeviceWithoutRegisteringItAgain)
{
    FakeHandlerTable table;
    HandlerTableScope scope(&table);
    TestDeviceMap map;
    auto* first = static_cast<TestDevice*>(map.AddDeviceObject(Device("PLC1", "TCP1", "A", 1)));
    auto* second = static_cast<TestDevice*>(map.AddDeviceObject(Device("PLC2", "TCP1", "B", 1)));
    ASSERT_TRUE(first && second);
    map.SetAllDevicesOnline(TRUE);
    const int inits = first->initCount + second->initCount;
    map.SetAllDevicesOfflineToClose();
    EXPECT_EQ(first->events.back(), "OnOffline");
    EXPECT_EQ(second->events.back(), "OnOffline");
    EXPECT_EQ(first->initCount + second->initCount, inits);
}

TEST_F(DeviceMapTest, ClearingTheMapFreesEveryDeviceAndLetsGoOfOnlyItsOwnTopics)
{
    TestDeviceMap map;
    TestDeviceMap other;
    ASSERT_NE(map.AddDeviceObject(Device("PLC1", "TCP1", "A", 1)), nullptr);
    ASSERT_NE(map.AddDeviceObject(Device("PLC2", "TCP1", "B", 1)), nullptr);
    ASSERT_NE(other.AddDeviceObject(Device("PLC3", "TCP1", "C", 1)), nullptr);
    map.DeleteContents();
    EXPECT_EQ(freed, 2);
    EXPECT_TRUE(map.GetDevices().empty());
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"), nullptr);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("PLC2"), nullptr);
    EXPECT_NE(CdsDeviceMap::GetDeviceObjectByTopic("PLC3"), nullptr);
    EXPECT_EQ(CdsDeviceMap::m_TopicListByName.GetCount(), 1);
    other.DeleteContents();
    EXPECT_EQ(freed, 3);
}

// A handler whose line polls its device from going online until the handler
// stops it, reading the device's configuration and block as a port's line does.
class PollingHandler : public FakeDeviceHandler {
public:
    BOOL DoOnline(CdsDeviceObject* pDevice) override
    {
        FakeDeviceHandler::DoOnline(pDevice);
        CdsMemoryArray* block = pDevice->GetMemoryArrayList().GetBlocks().front();
        m_line = std::jthread([this, pDevice, block](std::stop_token stop) {
            while (!stop.stop_requested())
                m_polls.store(pDevice->m_nDeviceType + (block->GetParent() ? 1 : 0), std::memory_order_relaxed);
        });
        // Relaxed on purpose: waits for a first poll without ordering it before
        // what the application thread does next, so the sanitizer sees any overlap.
        while (m_polls.load(std::memory_order_relaxed) == 0)
            std::this_thread::yield();
        return TRUE;
    }

    BOOL DoOffline(CdsDeviceObject* pDevice) override
    {
        m_line = {}; // stops and joins the line
        initsAtStop = static_cast<TestDevice*>(pDevice)->initCount;
        blockOnlineAtStop = pDevice->GetMemoryArrayList().GetBlocks().front()->IsOnline();
        return FakeDeviceHandler::DoOffline(pDevice);
    }

    int initsAtStop = -1;
    bool blockOnlineAtStop = false;

private:
    std::atomic<long> m_polls{0};
    std::jthread m_line;
};

TEST_F(DeviceMapTest, GoingOfflineStopsTheLinesBeforeTheDeviceOrItsBlocksChange)
{
    FakeHandlerTable table;
    auto* handler = new PollingHandler;
    table.handlers[0x00030002].reset(handler);
    HandlerTableScope scope(&table);
    TestDeviceMap map;
    auto* device = static_cast<TestDevice*>(map.AddDeviceObject(Device("PLC1", "TCP1", "A", 1)));
    ASSERT_NE(device, nullptr);
    device->SetCommConfig(0, TcpLine(3, "10.0.0.1", 5000));
    auto* block = new testsupport::PointBlock(-1);
    block->SetAddr("D100");
    block->SetMaxMemories(2);
    ASSERT_EQ(device->AddMemoryArray(block, true), block);

    map.SetAllDevicesOnline(TRUE);
    const int inits = device->initCount;
    map.SetAllDevicesOnline(FALSE);
    EXPECT_EQ(handler->CallsFor(device), (std::vector<std::string>{"online", "offline"}));
    EXPECT_TRUE(handler->blockOnlineAtStop);
    EXPECT_EQ(handler->initsAtStop, inits);
    // Read again once its lines are stopped, so it keeps its current key.
    EXPECT_EQ(device->initCount, inits + 1);
    EXPECT_FALSE(block->IsOnline());
}

// --- archive ---

// The document's configuration file: the map's record, then the online-on-load value.
std::vector<BYTE> GoldenMap()
{
    ArchiveBytes b;
    b.U16(1).Str("[TCP1]:10.0.0.5/3");
    b.NewClass("TestDevice"); // class 1, device 2
    // blocks
    b.U16(2);
    b.NewClass("CdsMemoryArray"); // class 3, block 4
    b.U16(2);
    b.NewClass("CdsMemoryObject"); // class 5, point 6
    b.Str("D100:0").Str("D100:0").I32(-1).I32(-1);
    b.OldClass(5); // point 7
    b.Str("D100:1").Str("D100:1").I32(-1).I32(5);
    b.Str("Words").Str("D100").Str("").U16(0xFFFF);
    b.I32(2).I32(100).I32(3).I32(1).I32(1).I32(3).I32(2);
    b.OldClass(3); // block 8
    b.U16(1);
    b.OldClass(5); // point 9
    b.Str("D200:0").Str("D200:0").I32(-1).I32(-1);
    b.Str("Text").Str("D200").Str("").U16(0xFFFF);
    b.I32(8).I32(500).I32(0).I32(1).I32(1).I32(10).I32(1);
    // primary master's port type, then the lines: primary master, primary
    // backup, secondary master, secondary backup
    b.I32(2);
    auto line = [&b](WORD id, const std::string& remote, LONG port) {
        b.I32(2).U16(id).I32(-1);
        for (int i = 0; i < 6; ++i)
            b.Str("");
        b.Str("").Str(remote).I32(port).I32(1).I32(10000);
    };
    line(5001, "192.168.0.10", 5000);
    line(0xFFFF, "", -1);
    line(5002, "192.168.0.11", 5000);
    line(0xFFFF, "", -1);
    b.Str("PLC1").Str("Line A").I32(3).I32(1500).I32(2500);
    b.Str("10.0.0.5").Str("MC3E").Str("tcp1").Str("").Str("");
    b.I32(0).I32(1500).I32(2500).I32(7).I32(9).I32(3).I32(250).I32(4000).I32(12).I32(1).I32(3000);
    b.I32(0).I32(1).I32(1).I32(1).I32(0).I32(1).I32(1).I32(150).I32(1);
    b.I32(1); // online on load
    return b.Bytes();
}

void BuildSmallMap(TestDeviceMap& map)
{
    auto* device = new TestDevice;
    device->m_strName = "Plc1";
    device->m_strDescription = "Line A";
    device->m_strProtocol = "MC3E";
    device->m_strPort = "tcp1";
    device->m_strAddress = "10.0.0.5";
    device->m_nDeviceType = 3;
    device->SetCommConfig(0, TcpLine(5001, "192.168.0.10", 5000));
    device->SetCommConfig(1, TcpLine(5002, "192.168.0.11", 5000));
    device->m_nWriteTimeout = 1500;
    device->m_nReadTimeout = 2500;
    device->m_nNakDelay = 7;
    device->m_nAckDelay = 9;
    device->m_nRetries = 3;
    device->m_nRetryDelay = 250;
    device->m_nResetDelay = 4000;
    device->m_nMaxErrors = 12;
    device->m_bCommandDiag = 1;
    device->m_nCommandDiagValidateTime = 3000;
    device->m_bBackupCommLog = 1;
    device->m_bSwitchOnCpuError = 0;
    device->m_nCheckInterval = 150;
    device->m_bFastSwitch = 1;
    device->m_bIdleMonitor = 1;
    device->m_bScheduledScan = 0;
    ASSERT_EQ(map.AddDeviceObject(device), device);

    auto* words = new PointBlock(-1);
    words->SetName("Words");
    words->SetAddr("d100");
    words->SetDefaultDataType(3);
    words->SetLength(2);
    words->SetMaxMemories(2);
    ASSERT_EQ(device->AddMemoryArray(words, true), words);
    words->GetMemoryObject(1)->SetDataType(5);

    auto* text = new PointBlock(-1);
    text->SetName("Text");
    text->SetAddr("D200");
    text->SetDefaultDataType(10);
    text->SetLength(8);
    text->SetScanTime(500);
    text->SetPriority(0);
    text->SetMaxMemories(1);
    ASSERT_EQ(device->AddMemoryArray(text, true), text);

    ASSERT_TRUE(map.CreateSystemDevices());
}

void StoreDocument(CdsDeviceMap& map, CArchive& ar)
{
    map.Serialize(ar);
    ar << static_cast<LONG>(1);
}

TEST_F(DeviceMapTest, SmallMapStoresGoldenBytesWithoutSystemDevices)
{
    TestDeviceMap map;
    BuildSmallMap(map);
    ASSERT_EQ(map.GetDeviceCount(), 2);
    std::vector<BYTE> bytes = testsupport::StoreBytes([&](CArchive& ar) { StoreDocument(map, ar); });
    EXPECT_EQ(bytes, GoldenMap());
}

TEST_F(DeviceMapTest, LoadingRebuildsTheSameMap)
{
    TestDeviceMap map;
    LONG onlineOnLoad = 0;
    testsupport::LoadBytes(GoldenMap(), [&](CArchive& ar) {
        map.Serialize(ar);
        ar >> onlineOnLoad;
    });
    EXPECT_EQ(onlineOnLoad, 1);
    map.OnLoading();
    map.BuildTopicListMap();

    EXPECT_EQ(Keys(map), (std::vector<std::string>{"[$VIRTUAL]:$DEVICE/-1", "[TCP1]:10.0.0.5/3"}));
    CdsDeviceObject* device = CdsDeviceMap::GetDeviceObjectByTopic("plc1");
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->IsKindOf(RUNTIME_CLASS(TestDevice)));
    EXPECT_EQ(device->GetParent(), &map);
    EXPECT_EQ(map.GetDeviceObjectByAddr("TCP1", "10.0.0.5", 3), device);
    EXPECT_NE(CdsDeviceMap::GetDeviceObjectByTopic("$SYSTEM"), nullptr);

    EXPECT_EQ(device->m_strDescription, "Line A");
    EXPECT_EQ(device->m_strPort, "tcp1");
    EXPECT_EQ(device->m_nRetries, 3);
    EXPECT_EQ(device->m_nCheckInterval, 150);
    EXPECT_EQ(device->m_bSwitchOnCpuError, 0);
    EXPECT_EQ(device->m_bFastSwitch, 1);
    // Not stored: back to their defaults.
    EXPECT_EQ(device->m_bIdleMonitor, 0);
    EXPECT_EQ(device->m_bScheduledScan, 1);

    EXPECT_TRUE(device->IsValidPrimaryMasterConfig());
    EXPECT_TRUE(device->IsValidSecondaryMasterConfig());
    EXPECT_FALSE(device->IsValidPrimaryBackupConfig());
    EXPECT_FALSE(device->IsValidSecondaryBackupConfig());
    auto* secondary = dynamic_cast<CdsTcpipConfig*>(device->GetSecondaryMasterConfig());
    ASSERT_NE(secondary, nullptr);
    EXPECT_EQ(secondary->m_strRemoteAddress, "192.168.0.11");
    EXPECT_EQ(device->GetPortHandle(), (5001u << 16) | 2u);

    CdsMemoryArray* words = device->GetMemoryArrayByName("words");
    ASSERT_NE(words, nullptr);
    EXPECT_EQ(words->GetParent(), device);
    EXPECT_EQ(words->GetSize(), 2);
    EXPECT_EQ(device->GetMemoryArrayByAddr("D100:1"), words);
    CdsMemoryArray* text = device->GetMemoryArrayByAddr("D200");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetDefaultDataType(), 10);
    EXPECT_EQ(device->GetMemoryObject("D100:1"), words->GetMemoryObject(1));

    // Stored again, the same bytes.
    std::vector<BYTE> again = testsupport::StoreBytes([&](CArchive& ar) { StoreDocument(map, ar); });
    EXPECT_EQ(again, GoldenMap());
}

TEST_F(DeviceMapTest, LoadingDropsSystemRecordsStaleKeysAndDuplicates)
{
    std::vector<BYTE> bytes;
    {
        TestDevice first;
        first.m_strName = "PLC1";
        first.m_strPort = "TCP1";
        first.m_strAddress = "A";
        first.m_nDeviceType = 1;
        TestDevice sameAddress;
        sameAddress.m_strName = "PLC2";
        sameAddress.m_strPort = "tcp1";
        sameAddress.m_strAddress = "a";
        sameAddress.m_nDeviceType = 1;
        TestDevice sameName;
        sameName.m_strName = "plc1";
        sameName.m_strPort = "TCP3";
        sameName.m_strAddress = "C";
        sameName.m_nDeviceType = 1;
        TestDevice reserved;
        reserved.m_strName = "$Mine";
        reserved.m_strPort = "TCP4";
        reserved.m_strAddress = "D";
        TestDevice noAddress;
        noAddress.m_strName = "PLC5";
        CdsSystemDevice system;
        CdsRootDevice root;
        bytes = testsupport::StoreBytes([&](CArchive& ar) {
            ar.WriteCount(7);
            ar << "STALE KEY";
            ar.WriteObject(&first);
            ar << "[$VIRTUAL]:$DEVICE/-1";
            ar.WriteObject(&system);
            ar << "[$VIRTUAL]:$DEVICE/0";
            ar.WriteObject(&root);
            ar << "[TCP9]:Z/1";
            ar.WriteObject(&sameAddress);
            ar << "[TCP3]:C/1";
            ar.WriteObject(&sameName);
            ar << "[TCP4]:D/-1";
            ar.WriteObject(&reserved);
            ar << "";
            ar.WriteObject(&noAddress);
        });
    }
    TestDeviceMap map;
    testsupport::LoadBytes(bytes, [&](CArchive& ar) { map.Serialize(ar); });
    EXPECT_EQ(Keys(map), std::vector<std::string>{"[TCP1]:A/1"});
    map.OnLoading();
    map.BuildTopicListMap();
    EXPECT_EQ(map.GetDeviceCount(), 2);
    EXPECT_EQ(CountNamed(map, "$SYSTEM"), 1);
    EXPECT_EQ(CountNamed(map, "$ROOT"), 0);
}

TEST_F(DeviceMapTest, TruncatedFileFailsWithAnArchiveException)
{
    std::vector<BYTE> bytes = GoldenMap();
    bytes.resize(bytes.size() / 2);
    TestDeviceMap map;
    EXPECT_THROW(testsupport::LoadBytes(bytes, [&](CArchive& ar) { map.Serialize(ar); }), CException);
    map.DeleteContents();
}

} // namespace
