#include "kestrun/model/DeviceObject.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kestrun/comm/handler/ThreadInfo.h"
#include "kestrun/comm/sockets/TcpipConfig.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/SystemDevice.h"
#include "kestrun/options/ServerOptions.h"
#include "platform/afx/Archive.h"
#include "support/OptionScope.h"
#include "support/model/ArchiveBytes.h"
#include "support/model/DeviceFakes.h"

namespace {

using testsupport::FakeHandlerTable;
using testsupport::HandlerTableScope;
using testsupport::OptionScope;
using testsupport::PointBlock;
using testsupport::TcpLine;
using testsupport::TestDevice;

// A block that counts its own destruction.
class CountedBlock : public PointBlock {
public:
    CountedBlock(int& freed, const std::string& name, const std::string& address, int maxItems = 0)
        : PointBlock(-1), m_freed(freed)
    {
        SetName(name);
        SetAddr(address);
        SetDefaultDataType(3);
        SetMaxMemories(maxItems);
    }
    ~CountedBlock() override { ++m_freed; }

private:
    int& m_freed;
};

tagTHREADINFO Line(bool backup, bool secondary, LONG kind = LINE_KIND_UPDATE)
{
    tagTHREADINFO line;
    line.m_bIsBackup = backup ? TRUE : FALSE;
    line.m_bIsSecondary = secondary ? TRUE : FALSE;
    line.m_nKind = kind;
    return line;
}

// --- blocks ---

TEST(DeviceObjectBlocks, BlockAlreadyInTheListIsRefusedAndKept)
{
    int freed = 0;
    TestDevice device;
    auto* block = new CountedBlock(freed, "W", "D100", 2);
    ASSERT_EQ(device.AddMemoryArray(block, true), block);
    EXPECT_EQ(device.AddMemoryArray(block, true), nullptr);
    EXPECT_EQ(freed, 0);
    EXPECT_EQ(device.GetMemoryArrayList().GetTotalCount(), 1);
    EXPECT_EQ(device.GetMemoryArrayByName("W"), block);
    EXPECT_EQ(block->GetSize(), 2);
}

TEST(DeviceObjectBlocks, SameNameAndTypeRefusesAnOrdinaryBlockAndIsReplacedByASystemBlock)
{
    struct Case {
        const char* what;
        bool system;
        int type;
        bool added;
        int freed;
        int count;
    } cases[] = {
        {"ordinary block, same type", false, 3, false, 1, 1},
        {"ordinary block, other type", false, 4, true, 0, 2},
        {"system block, same type", true, 3, true, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int freed = 0;
        TestDevice device;
        auto* first = new CountedBlock(freed, "W", "D100", 1);
        ASSERT_EQ(device.AddMemoryArray(first, true), first);
        auto* second = new CountedBlock(freed, "w", "D200", 1);
        second->SetDefaultDataType(c.type);
        second->SetSystemArray(c.system ? TRUE : FALSE);
        EXPECT_EQ(device.AddMemoryArray(second, true) != nullptr, c.added);
        EXPECT_EQ(freed, c.freed);
        EXPECT_EQ(device.GetMemoryArrayList().GetTotalCount(), c.count);
        if (c.system) {
            EXPECT_EQ(device.GetMemoryArrayByName("W"), second);
        }
    }
}

TEST(DeviceObjectBlocks, NegativeMaximumIsRefusedAndDestroyed)
{
    int freed = 0;
    TestDevice device;
    auto* block = new CountedBlock(freed, "W", "D100", -1);
    EXPECT_EQ(device.AddMemoryArray(block, true), nullptr);
    EXPECT_EQ(freed, 1);
    EXPECT_TRUE(device.IsEmpty());
}

TEST(DeviceObjectBlocks, AttachingFillsThePointsUpToTheMaximum)
{
    for (bool init : {true, false}) {
        SCOPED_TRACE(init ? "initialised" : "not initialised");
        TestDevice device;
        PointBlock source(-1);
        source.SetName("W");
        source.SetAddr("D100");
        source.SetMaxMemories(3);
        CdsMemoryArray* block = device.AddMemoryArray(static_cast<const CdsMemoryArray&>(source), init);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block->GetParent(), &device);
        ASSERT_EQ(block->GetSize(), 3);
        for (int i = 0; i < 3; ++i)
            ASSERT_NE(block->GetMemoryObject(i), nullptr) << i;
        EXPECT_EQ(block->GetMemoryObject(2)->GetName(), "D100:2");
        // Registered in the maps only when initialised.
        EXPECT_EQ(device.GetMemoryArrayByName("W") != nullptr, init);
        // A second copy of the same name and type is not made.
        EXPECT_EQ(device.AddMemoryArray(static_cast<const CdsMemoryArray&>(source), init), nullptr);
    }
}

TEST(DeviceObjectBlocks, RemoveGivesTheBlockUpAndStrangersAreNone)
{
    int freed = 0;
    TestDevice device;
    auto* block = new CountedBlock(freed, "W", "D100");
    ASSERT_EQ(device.AddMemoryArray(block, true), block);
    CountedBlock stranger(freed, "W", "D100");
    EXPECT_EQ(device.RemoveMemoryArray(&stranger, true), nullptr);
    EXPECT_EQ(device.GetMemoryArrayByName("W"), block);
    EXPECT_EQ(device.RemoveMemoryArray(block, true), block);
    EXPECT_TRUE(device.IsEmpty());
    EXPECT_EQ(device.GetMemoryArrayByName("W"), nullptr);
    EXPECT_EQ(device.GetMemoryArrayByAddr("D100"), nullptr);
    EXPECT_EQ(freed, 0);
    block->Destroy();
    EXPECT_EQ(freed, 1);
}

// A name freed by a removal, a destruction or a rename is free again; a
// renamed block is found under its new name.
TEST(DeviceObjectBlocks, TheNameOfABlockGoneOrRenamedIsFreeAndTheNewNameTaken)
{
    int freed = 0;
    TestDevice device;
    auto* a = new CountedBlock(freed, "A", "D100");
    auto* b = new CountedBlock(freed, "B", "D200");
    ASSERT_EQ(device.AddMemoryArray(a, true), a);
    ASSERT_EQ(device.AddMemoryArray(b, true), b);
    ASSERT_TRUE(device.ChangeMemoryArray(b, [b] { b->SetName("C"); }, [b] { b->SetName("B"); }));
    EXPECT_FALSE(device.ChangeMemoryArray(b, [b] { b->SetName("a"); }, [b] { b->SetName("C"); }));
    EXPECT_EQ(b->GetName(), "C");
    EXPECT_EQ(device.AddMemoryArray(new CountedBlock(freed, "c", "D300"), true), nullptr);
    auto* again = new CountedBlock(freed, "B", "D400");
    EXPECT_EQ(device.AddMemoryArray(again, true), again);
    device.DestroyMemoryArray(b);
    EXPECT_EQ(device.RemoveMemoryArray(a, true), a);
    a->Destroy();
    auto* c = new CountedBlock(freed, "C", "D500");
    auto* otherA = new CountedBlock(freed, "A", "D600");
    EXPECT_EQ(device.AddMemoryArray(c, true), c);
    EXPECT_EQ(device.AddMemoryArray(otherA, true), otherA);
    EXPECT_EQ(device.GetMemoryArrayList().GetTotalCount(), 3);
    EXPECT_EQ(freed, 3);
}

// A held block renamed without the device knowing is still held: adding it again is
// refused, and once it is removed its name is free.
TEST(DeviceObjectBlocks, ABlockRenamedBehindTheDevicesBackIsStillHeldUntilRemoved)
{
    int freed = 0;
    TestDevice device;
    auto* a = new CountedBlock(freed, "A", "D100");
    ASSERT_EQ(device.AddMemoryArray(a, true), a);
    a->SetName("Z");
    EXPECT_EQ(device.AddMemoryArray(a, true), nullptr);
    EXPECT_EQ(device.GetMemoryArrayList().GetTotalCount(), 1);
    EXPECT_EQ(device.RemoveMemoryArray(a, true), a);
    a->SetName("A");
    EXPECT_EQ(device.AddMemoryArray(a, true), a);
    EXPECT_EQ(device.GetMemoryArrayList().GetTotalCount(), 1);
    EXPECT_EQ(freed, 0);
}

TEST(DeviceObjectBlocks, AddressLookUpTakesItemAddresses)
{
    TestDevice device;
    int freed = 0;
    auto* words = new CountedBlock(freed, "Words", "D100");
    auto* bits = new CountedBlock(freed, "Bits", "M0");
    bits->SetDefaultDataType(0);
    ASSERT_TRUE(device.AddMemoryArray(words, true));
    ASSERT_TRUE(device.AddMemoryArray(bits, true));
    struct Case {
        const char* text;
        int dotSubset;
        int type;
        CdsMemoryArray* block;
    } cases[] = {
        {"D100", 1, -1, words},
        {"d100", 1, -1, words},
        {"D100:5", 1, -1, words},
        {"D100:5/3", 1, -1, words},
        {"D100/3", 1, -1, words},
        {"D100.3", 1, -1, words},
        {"D100.3", 0, -1, nullptr},
        {":D100", 1, -1, nullptr},
        {"D100:5", 1, 3, words},
        {"D100:5", 1, 0, nullptr},
        {"M0:1", 1, 0, bits},
        {"", 1, -1, nullptr},
        {"D200", 1, -1, nullptr},
    };
    for (const Case& c : cases) {
        OptionScope dots(CdsServerOptions::g_bEnableDotSubset, c.dotSubset);
        EXPECT_EQ(device.GetMemoryArrayByAddr(c.text, c.type), c.block) << c.text;
    }
    EXPECT_EQ(device.GetMemoryArrayByName("words"), words);
    EXPECT_EQ(device.GetMemoryArrayByName("words", 0), nullptr);
    EXPECT_EQ(device.GetMemoryArrayByName(""), nullptr);
    EXPECT_EQ(device.FindMemoryArray("bits"), bits);
    EXPECT_EQ(device.FindMemoryArray("M0:7"), bits);
}

// --- lines ---

TEST(DeviceObjectLines, EachLineHasItsOwnConfigurationAndState)
{
    TestDevice device;
    for (int i = 0; i < CdsDeviceObject::kLines; ++i)
        device.SetCommConfig(i, TcpLine(static_cast<WORD>(10 + i), "h", 1));
    struct Case {
        bool backup;
        bool secondary;
        WORD portId;
    } cases[] = {{false, false, 10}, {false, true, 11}, {true, false, 12}, {true, true, 13}};
    for (const Case& c : cases) {
        tagTHREADINFO line = Line(c.backup, c.secondary);
        EXPECT_EQ(device.GetCommConfig(&line)->GetPortId(), c.portId);
        device.AddErrorCount(&line, c.portId);
        device.SetLastUpdateTime(&line, c.portId * 100);
    }
    for (const Case& c : cases) {
        tagTHREADINFO line = Line(c.backup, c.secondary);
        EXPECT_EQ(device.GetErrorCount(&line), c.portId);
        EXPECT_EQ(device.GetLastUpdateTime(&line), c.portId * 100);
    }
    // No line record is the primary master.
    EXPECT_EQ(device.GetCommConfig(nullptr)->GetPortId(), 10);
    EXPECT_EQ(device.GetErrorCount(nullptr), 10);
    EXPECT_EQ(device.SubErrorCount(nullptr, 4), 6);
    device.ResetErrorCount(nullptr);
    EXPECT_EQ(device.GetErrorCount(nullptr), 0);
    EXPECT_EQ(device.SetErrorCountOverMaxAllowed(nullptr), device.m_nMaxErrors);
}

TEST(DeviceObjectLines, PortIdNoneMakesALineInvalid)
{
    TestDevice device; // primary master without a port id
    EXPECT_FALSE(device.IsValidPrimaryMasterConfig());
    EXPECT_EQ(device.GetPortHandle(), 0xFFFFFFFFu);
    EXPECT_FALSE(device.IsValidSecondaryMasterConfig());
    device.SetCommConfig(0, TcpLine(0, "h", 1));
    EXPECT_TRUE(device.IsValidPrimaryMasterConfig());
    EXPECT_EQ(device.GetPortHandle(), 0x00000002u);
    device.SetCommConfig(0, TcpLine(3, "h", 1));
    EXPECT_EQ(device.GetPortHandle(), 0x00030002u);
    device.SetCommConfig(1, TcpLine(0xFFFF, "h", 1));
    EXPECT_FALSE(device.IsValidSecondaryMasterConfig());
    device.SetCommConfig(0, nullptr);
    EXPECT_EQ(device.GetPortHandle(), 0xFFFFFFFFu);
    EXPECT_EQ(CdsSystemDevice().GetPortHandle(), 0u);
}

TEST(DeviceObjectLines, FastSwitchDropsErrorsAndRetriesOnlyWithAReadyPartner)
{
    struct Case {
        const char* what;
        bool fast;
        bool autoSwitch;
        bool withLine;
        LONG kind;
        bool partner;
        LONG expectErrors;
        LONG expectRetries;
    } cases[] = {
        {"all conditions", true, true, true, LINE_KIND_UPDATE, true, 0, 0},
        {"monitor line", true, true, true, LINE_KIND_MONITOR, true, 0, 0},
        {"no fast switch", false, true, true, LINE_KIND_UPDATE, true, 10, 1},
        {"no auto switching", true, false, true, LINE_KIND_UPDATE, true, 10, 1},
        {"no line", true, true, false, LINE_KIND_UPDATE, true, 10, 1},
        {"other kind", true, true, true, 0, true, 10, 1},
        {"partner not ready", true, true, true, LINE_KIND_UPDATE, false, 10, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestDevice device;
        device.m_bFastSwitch = c.fast;
        device.m_bAutoSwitching = c.autoSwitch;
        if (c.partner)
            device.SetCommConfig(1, TcpLine(4, "h", 1));
        tagTHREADINFO line = Line(false, false, c.kind);
        const tagTHREADINFO* pLine = c.withLine ? &line : nullptr;
        EXPECT_EQ(device.GetMaxErrorsAllowed(pLine), c.expectErrors);
        EXPECT_EQ(device.GetRetryOnError(pLine), c.expectRetries);
        EXPECT_EQ(device.IsBackupDeviceReady(pLine), c.withLine && c.partner);
    }
}

TEST(DeviceObjectLines, StatusAccessorsWithoutPoints)
{
    TestDevice device;
    tagTHREADINFO line = Line(true, false);
    // No "$ModeSys" point reads as online.
    EXPECT_EQ(device.GetSysMode(), 11);
    EXPECT_EQ(device.GetUpdateMode(&line), -1);
    EXPECT_EQ(device.GetUpdateMode(nullptr), -1);
    EXPECT_EQ(device.GetTimeObject(nullptr), nullptr);
    EXPECT_EQ(device.GetMasterActiveLine(), -1);
}

TEST(DeviceObjectLines, MonitorQueryBuffersArePerLine)
{
    TestDevice device;
    tagTHREADINFO backup = Line(true, false);
    std::strcpy(device.GetMonitorQueryBuffer(&backup), "ABC");
    EXPECT_EQ(device.GetMonitorQueryStringLen(&backup, nullptr), 3);
    EXPECT_EQ(device.GetMonitorQueryStringLen(nullptr, nullptr), 0);
    EXPECT_EQ(device.GetMonitorQueryStringLen(nullptr, "12345"), 5);
    EXPECT_EQ(device.FillMonitorQueryString(&backup), device.GetMonitorQueryBuffer(&backup));
    device.SetMonitorQueryStringInitialized(&backup, true);
    EXPECT_TRUE(device.IsMonitorQueryStringInitialized(&backup));
    EXPECT_FALSE(device.IsMonitorQueryStringInitialized(nullptr));
    EXPECT_EQ(device.GetMonitorResponseStringLen(nullptr), 4096);
}

// --- online through a fake handler ---

TEST(DeviceObjectOnline, OnlineAndOfflineGoThroughTheHandlerOfThePort)
{
    FakeHandlerTable table;
    HandlerTableScope scope(&table);
    CdsDeviceMap map;
    TestDevice device;
    device.SetCommConfig(0, TcpLine(3, "h", 1));
    int freed = 0;
    auto* block = new CountedBlock(freed, "W", "D100", 2);
    ASSERT_TRUE(device.AddMemoryArray(block, false));

    EXPECT_TRUE(device.SetOnline(TRUE, &map));
    EXPECT_EQ(table.created, std::vector<DWORD>{0x00030002});
    auto* handler = table.Handler(0x00030002);
    ASSERT_NE(handler, nullptr);
    EXPECT_EQ(handler->CallsFor(&device), std::vector<std::string>{"online"});
    EXPECT_EQ(device.events, std::vector<std::string>{"OnOnline"});
    EXPECT_TRUE(block->IsOnline());
    EXPECT_EQ(device.GetMemoryArrayByName("W"), block);
    EXPECT_EQ(device.GetDeviceHdlr(), handler);

    // The handler's answer is the device's.
    handler->onlineResult = FALSE;
    EXPECT_FALSE(device.SetOnline(TRUE, &map));
    EXPECT_EQ(table.created.size(), 1u);

    EXPECT_TRUE(device.SetOnline(FALSE, &map));
    EXPECT_FALSE(block->IsOnline());
    EXPECT_EQ(device.GetMemoryArrayByName("W"), nullptr);
    EXPECT_EQ(handler->CallsFor(&device).back(), "offline");
    EXPECT_EQ(device.events.back(), "OnOffline");

    // Going away, the device leaves the handler's active list first.
    handler->calls.clear();
    device.DeleteContents();
    EXPECT_EQ(handler->CallsFor(&device), std::vector<std::string>{"remove"});
}

TEST(DeviceObjectOnline, WithoutHandlerOrPortTheBlocksStillSwitch)
{
    struct Case {
        const char* what;
        bool table;
        WORD portId;
    } cases[] = {{"no handler table", false, 3}, {"no port", true, 0xFFFF}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHandlerTable table;
        HandlerTableScope scope(c.table ? &table : nullptr);
        CdsDeviceMap map;
        TestDevice device;
        device.SetCommConfig(0, TcpLine(c.portId, "h", 1));
        int freed = 0;
        auto* block = new CountedBlock(freed, "W", "D100", 1);
        ASSERT_TRUE(device.AddMemoryArray(block, false));
        EXPECT_TRUE(device.SetOnline(TRUE, &map));
        EXPECT_TRUE(block->IsOnline());
        EXPECT_TRUE(table.created.empty());
        EXPECT_TRUE(device.SetOnline(FALSE, &map));
        EXPECT_FALSE(block->IsOnline());
    }
}

TEST(DeviceObjectOnline, SystemDevicesSwitchOnlyTheirBlocksUnlessOfTypeZero)
{
    FakeHandlerTable table;
    HandlerTableScope scope(&table);
    CdsDeviceMap map;
    CdsSystemDevice system;
    EXPECT_TRUE(system.SetOnline(TRUE, &map));
    EXPECT_TRUE(table.created.empty());
    CdsRootDevice root;
    EXPECT_TRUE(root.SetOnline(TRUE, &map));
    EXPECT_EQ(table.created, std::vector<DWORD>{0});
    EXPECT_TRUE(root.SetOnline(FALSE, &map));
}

// --- archive ---

TEST(DeviceObjectArchive, DeviceWithoutPrimaryMasterCannotBeStoredOrLoaded)
{
    TestDevice device;
    device.SetCommConfig(0, nullptr);
    try {
        testsupport::StoreBytes([&](CArchive& ar) { device.Serialize(ar); });
        FAIL() << "stored";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::endOfFile);
    }
    EXPECT_THROW(testsupport::LoadBytes({0, 0}, [&](CArchive& ar) { device.Serialize(ar); }), CFileException);
}

TEST(DeviceObjectArchive, SystemDevicesStoreNothing)
{
    CdsSystemDevice system;
    CdsRootDevice root;
    EXPECT_TRUE(testsupport::StoreBytes([&](CArchive& ar) { system.Serialize(ar); }).empty());
    EXPECT_TRUE(testsupport::StoreBytes([&](CArchive& ar) { root.Serialize(ar); }).empty());
}

TEST(DeviceObjectArchive, EveryLineIsStoredSoLoadingStaysInStep)
{
    // Stored by a device that had only its primary master line ...
    TestDevice source;
    source.SetCommConfig(0, TcpLine(9, "10.1.1.1", 502));
    source.m_strName = "PLC9";
    source.m_nRetries = 5;
    auto bytes = testsupport::StoreBytes([&](CArchive& ar) { source.Serialize(ar); });
    EXPECT_TRUE(source.GetSecondaryBackupConfig() != nullptr);

    // ... and loaded by one that holds all four of another port id.
    TestDevice loaded;
    for (int i = 1; i < CdsDeviceObject::kLines; ++i)
        loaded.SetCommConfig(i, TcpLine(77, "x", 1));
    testsupport::LoadBytes(bytes, [&](CArchive& ar) { loaded.Serialize(ar); });
    EXPECT_EQ(loaded.m_strName, "PLC9");
    EXPECT_EQ(loaded.m_nRetries, 5);
    EXPECT_EQ(loaded.GetPortHandle(), 0x00090002u);
    EXPECT_FALSE(loaded.IsValidSecondaryMasterConfig());
}

// --- copy ---

TEST(DeviceObjectCopy, CopiesConfigurationsAndSettingsButNotState)
{
    TestDevice source;
    source.m_strName = "PLC1";
    source.m_nDeviceType = -1;
    source.m_nRetries = 4;
    source.m_bFastSwitch = TRUE;
    source.m_bIdleMonitor = TRUE;
    source.m_bScheduledScan = FALSE;
    source.SetCommConfig(0, TcpLine(3, "10.0.0.3", 5000));
    source.SetCommConfig(3, TcpLine(6, "10.0.0.6", 5000));
    source.AddErrorCount(nullptr, 5);

    TestDevice target;
    target.m_nDeviceType = 2;
    target = source;
    EXPECT_EQ(target.m_strName, "PLC1");
    EXPECT_EQ(target.m_nDeviceType, 2);
    EXPECT_EQ(target.m_nRetries, 4);
    EXPECT_TRUE(target.m_bFastSwitch);
    EXPECT_FALSE(target.m_bIdleMonitor);
    EXPECT_TRUE(target.m_bScheduledScan);
    EXPECT_EQ(target.GetErrorCount(nullptr), 0);
    EXPECT_EQ(target.GetPortHandle(), 0x00030002u);
    ASSERT_NE(target.GetSecondaryBackupConfig(), nullptr);
    EXPECT_NE(target.GetSecondaryBackupConfig(), source.GetSecondaryBackupConfig());
    EXPECT_EQ(static_cast<CdsTcpipConfig*>(target.GetSecondaryBackupConfig())->m_strRemoteAddress, "10.0.0.6");
    EXPECT_EQ(target.GetSecondaryMasterConfig(), nullptr);
}

// --- quality ---

TEST(DeviceObjectStatus, QualityReachesEveryPointOfOrdinaryBlocks)
{
    TestDevice device;
    int freed = 0;
    auto* block = new CountedBlock(freed, "W", "D100", 2);
    auto* system = new CountedBlock(freed, "S", "$Array", 1);
    system->SetSystemArray(TRUE);
    ASSERT_TRUE(device.AddMemoryArray(block, true));
    ASSERT_TRUE(device.AddMemoryArray(system, true));
    device.SetStatusAllItems(CdsMemoryObject::QUALITY_OFFLINE);
    EXPECT_EQ(block->GetMemoryObject(0)->GetStatus(), CdsMemoryObject::QUALITY_OFFLINE);
    EXPECT_EQ(block->GetMemoryObject(1)->GetStatus(), CdsMemoryObject::QUALITY_OFFLINE);
    EXPECT_NE(system->GetMemoryObject(0)->GetStatus(), CdsMemoryObject::QUALITY_OFFLINE);
    device.TouchAllItems(TRUE);
    EXPECT_TRUE(block->GetMemoryObject(0)->IsTouched());
    EXPECT_FALSE(system->GetMemoryObject(0)->IsTouched());
    device.SetModified(TRUE);
    EXPECT_TRUE(system->IsModified());
}

} // namespace
