#include "kestrun/model/MemoryArray.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kestrun/model/MemoryObject.h"
#include "kestrun/options/ServerOptions.h"
#include "platform/afx/Archive.h"
#include "platform/afx/MemFile.h"
#include "platform/dde/BrisantToolkit.h"
#include "support/HexBytes.h"
#include "support/OptionScope.h"
#include "support/model/ArchiveBytes.h"
#include "support/model/ModelFakes.h"

namespace {

using testsupport::Ascii;
using testsupport::Hex;
using testsupport::Join;
using testsupport::OptionScope;
using testsupport::PointBlock;
using testsupport::StoreObject;

// A point with a name of its own, so registering keeps its pseudo name.
CdsMemoryObject* Named(const std::string& name, const std::string& pseudo)
{
    auto* point = new CdsMemoryObject;
    point->SetName(name);
    point->SetPseudoNameText(pseudo);
    return point;
}

template <typename T>
std::unique_ptr<T> Load(const std::vector<BYTE>& bytes)
{
    CMemFile file{std::span<const BYTE>(bytes)};
    CArchive ar(&file, CArchive::load);
    return ar.ReadNew<T>();
}

// A block D100 named BLK with a point of the block's type at 0, an empty slot,
// a String point at 2 and a Float point at 3.
std::vector<BYTE> GoldenBlock()
{
    return Join({
        Hex("FF FF 01 00 0E 00"), Ascii("CdsMemoryArray"),
        Hex("04 00"),                                        // four slots
        Hex("FF FF 01 00 0F 00"), Ascii("CdsMemoryObject"),
        Hex("06"), Ascii("D100:0"), Hex("06"), Ascii("D100:0"), Hex("FF FF FF FF  FF FF FF FF"),
        Hex("00 00"),                                        // empty slot
        Hex("03 80"), Hex("04"), Ascii("TEXT"), Hex("00"), Hex("07 00 00 00  0A 00 00 00"),
        Hex("03 80"), Hex("02"), Ascii("F1"), Hex("00"), Hex("FF FF FF FF  07 00 00 00"),
        Hex("03"), Ascii("BLK"), Hex("04"), Ascii("D100"), Hex("04"), Ascii("demo"),
        Hex("FF FF"),                                        // type data word
        Hex("03 00 00 00  C8 00 00 00  00 00 00 00  01 00 00 00  01 00 00 00"),
        Hex("03 00 00 00"),                                  // default data type: Short
        Hex("04 00 00 00"),                                  // max memories
    });
}

void BuildGoldenBlock(CdsMemoryArray& block)
{
    block.SetName("BLK");
    block.SetAddr("D100");
    block.SetDescription("demo");
    block.SetLength(3);
    ASSERT_TRUE(block.SetScanTime(200));
    ASSERT_TRUE(block.SetPriority(0));
    block.SetDefaultDataType(BRISANT_SHORT);
    ASSERT_TRUE(block.RegisterMemoryObject(0, new CdsMemoryObject, FALSE));
    auto* text = new CdsMemoryObject;
    text->SetName("TEXT");
    text->SetUserWord(7);
    text->SetDataType(BRISANT_STRING);
    ASSERT_TRUE(block.RegisterMemoryObject(2, text, FALSE));
    auto* f1 = new CdsMemoryObject;
    f1->SetName("F1");
    f1->SetDataType(BRISANT_FLOAT);
    ASSERT_TRUE(block.RegisterMemoryObject(3, f1, FALSE));
}

TEST(MemoryArray, NewBlockDefaults)
{
    CdsMemoryArray block(9);
    EXPECT_EQ(block.GetPriority(), 3);
    EXPECT_EQ(block.GetScanTime(), 100);
    EXPECT_TRUE(block.IsReadAllowed());
    EXPECT_TRUE(block.IsWriteAllowed());
    EXPECT_TRUE(block.IsClientReadAccess());
    EXPECT_TRUE(block.IsClientWriteAccess());
    EXPECT_EQ(block.GetDefaultDataType(), BRISANT_NOTYPE);
    EXPECT_EQ(block.GetTypeDataWord(), -1);
    EXPECT_EQ(block.GetMaxMemories(), 10);
    EXPECT_EQ(block.GetPath(), "");
    EXPECT_EQ(block.CreateMemoryObject(0, nullptr, TRUE), nullptr);  // the base block makes no points
    block.SetForceDouble(TRUE);
    EXPECT_EQ(block.GetDefaultDataType(), BRISANT_DOUBLE);
}

TEST(MemoryArray, PriorityAndScanTimeLimits)
{
    struct Case { int value; bool priorityOk; bool scanOk; };
    const Case cases[] = {{-1, false, false}, {0, true, false}, {9, true, false}, {10, false, false},
                          {99, false, false}, {100, false, true}, {10000, false, true}, {10001, false, false}};
    for (const Case& c : cases) {
        CdsMemoryArray block;
        EXPECT_EQ(block.SetPriority(c.value) != 0, c.priorityOk) << c.value;
        EXPECT_EQ(block.GetPriority(), c.priorityOk ? c.value : 3) << c.value;
        EXPECT_EQ(block.SetScanTime(c.value) != 0, c.scanOk) << c.value;
        EXPECT_EQ(block.GetScanTime(), c.scanOk ? c.value : 100) << c.value;
    }
}

TEST(MemoryArray, SchedulerCounters)
{
    CdsMemoryArray block;
    block.IncreaseIdleTime();
    block.IncreaseIdleTime();
    EXPECT_EQ(block.GetIdleTime(), 6);
    block.ResetIdleTime();
    EXPECT_EQ(block.GetIdleTime(), -9);
    block.SetScanTime(300);
    block.ResetDueTime();
    EXPECT_EQ(block.GetDueTime(), -300);
    block.IncreaseDueTime(5);
    EXPECT_EQ(block.GetDueTime(), -295);
}

TEST(MemoryArray, GoldenArchiveBytes)
{
    CdsMemoryArray block(3);
    BuildGoldenBlock(block);
    EXPECT_EQ(StoreObject(&block), GoldenBlock());
}

TEST(MemoryArray, LoadRestoresEveryField)
{
    auto block = Load<CdsMemoryArray>(GoldenBlock());
    ASSERT_NE(block, nullptr);
    block->OnLoading();
    EXPECT_EQ(block->GetName(), "BLK");
    EXPECT_EQ(block->GetAddr(), "D100");
    EXPECT_EQ(block->GetDescription(), "demo");
    EXPECT_EQ(block->GetTypeDataWord(), -1);
    EXPECT_EQ(block->GetLength(), 3);
    EXPECT_EQ(block->GetScanTime(), 200);
    EXPECT_EQ(block->GetPriority(), 0);
    EXPECT_TRUE(block->IsReadAllowed());
    EXPECT_TRUE(block->IsWriteAllowed());
    EXPECT_EQ(block->GetDefaultDataType(), BRISANT_SHORT);
    EXPECT_EQ(block->GetMaxMemories(), 4);
    ASSERT_EQ(block->GetSize(), 4);

    CdsMemoryObject* p0 = block->GetMemoryObject(0);
    ASSERT_NE(p0, nullptr);
    EXPECT_EQ(p0->GetOwnName(), "D100:0");
    EXPECT_EQ(p0->GetOwnPseudoName(), "D100:0");
    EXPECT_EQ(p0->GetUserWord(), -1);
    EXPECT_EQ(p0->GetOwnDataType(), BRISANT_NOTYPE);
    EXPECT_EQ(p0->GetDataType(), BRISANT_SHORT);
    EXPECT_EQ(p0->GetParent(), block.get());
    EXPECT_EQ(p0->GetIndex(), 0);
    EXPECT_EQ(block->GetMemoryObject(1), nullptr);
    CdsMemoryObject* text = block->GetMemoryObject(2);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetName(), "TEXT");
    EXPECT_EQ(text->GetUserWord(), 7);
    EXPECT_EQ(text->GetDataType(), BRISANT_STRING);
    EXPECT_EQ(text->GetIndex(), 2);
    EXPECT_EQ(block->GetMemoryObject(3)->GetDataType(), BRISANT_FLOAT);
    EXPECT_EQ(block->FindMemoryObjectByKey("text"), text);
    EXPECT_EQ(block->FindMemoryObjectByKey("D100:0"), p0);
    EXPECT_EQ(block->GetPath(), "[BLK]D100");
    EXPECT_EQ(text->GetPath(), "[BLK]D100.TEXT");
    // The loaded block stores back to the same bytes.
    EXPECT_EQ(StoreObject(block.get()), GoldenBlock());
}

TEST(MemoryArray, ScanTimeOutOfRangeFromAFileReadsAsOneSecond)
{
    auto bytes = GoldenBlock();
    // scan time sits 24 bytes before the end
    bytes[bytes.size() - 24] = 50;
    auto block = Load<CdsMemoryArray>(bytes);
    EXPECT_EQ(block->GetScanTime(), 1000);
    EXPECT_FALSE(block->SetScanTime(50));
}

TEST(MemoryArray, MaxMemoriesFromAFileIsClamped)
{
    auto bytes = GoldenBlock();
    bytes[bytes.size() - 4] = 0xFF;
    bytes[bytes.size() - 3] = 0xFF;
    bytes[bytes.size() - 2] = 0xFF;
    bytes[bytes.size() - 1] = 0x7F;
    EXPECT_EQ(Load<CdsMemoryArray>(bytes)->GetMaxMemories(), CdsMemoryArray::kMaxMemoriesLimit);
    bytes[bytes.size() - 1] = 0xFF;  // negative
    EXPECT_EQ(Load<CdsMemoryArray>(bytes)->GetMaxMemories(), 0);
}

TEST(MemoryArray, TooManyPointsInAFileAreRefused)
{
    auto bytes = Join({Hex("FF FF 01 00 0E 00"), Ascii("CdsMemoryArray"), Hex("FF FF  02 00 01 00")});
    EXPECT_THROW(Load<CdsMemoryArray>(bytes), CArchiveException);
}

TEST(MemoryArray, SystemBlockIsNotStoredAndNotCounted)
{
    CdsMemoryArrayList list;
    auto* block = new CdsMemoryArray(3);
    BuildGoldenBlock(*block);
    auto* system = new CdsMemoryArray;
    system->SetSystemArray(TRUE);
    system->SetName("$SYS");
    list.AddTail(system);
    list.AddTail(block);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetTotalCount(), 2);

    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        list.Serialize(ar);
        ar.Close();
    }
    auto expected = Join({Hex("01 00"), GoldenBlock()});
    EXPECT_EQ(std::vector<BYTE>(file.GetData().begin(), file.GetData().end()), expected);

    // A system block alone stores nothing of itself.
    CdsMemoryArray alone;
    alone.SetSystemArray(TRUE);
    CMemFile empty;
    {
        CArchive ar(&empty, CArchive::store);
        alone.Serialize(ar);
        ar.Close();
    }
    EXPECT_EQ(empty.GetLength(), 0u);

    CMemFile in{std::span<const BYTE>(expected)};
    CArchive ar(&in, CArchive::load);
    CdsMemoryArrayList loaded;
    loaded.Serialize(ar);
    ASSERT_EQ(loaded.GetCount(), 1);
    EXPECT_EQ(loaded.GetBlocks()[0]->GetName(), "BLK");
}

TEST(MemoryArray, PointsAreNamedAfterAddressAndIndex)
{
    CdsMemoryArray block;
    block.SetAddr("d100");
    EXPECT_EQ(block.GetAddr(), "D100");  // normalised when set
    auto* point = new CdsMemoryObject;
    ASSERT_TRUE(block.RegisterMemoryObject(7, point, FALSE));
    EXPECT_EQ(point->GetOwnName(), "D100:7");
    EXPECT_EQ(point->GetOwnPseudoName(), "D100:7");
    EXPECT_EQ(block.GetSize(), 8);
    EXPECT_EQ(block.GetMemoryObject(7), point);
    EXPECT_EQ(block.GetMemoryObject(8), nullptr);
    EXPECT_EQ(block.GetMemoryObject(-1), nullptr);
}

TEST(MemoryArray, CaseSensitiveNamesKeepTheirCase)
{
    OptionScope scope(CdsServerOptions::g_bCaseSensitive, 1);
    CdsMemoryArray block;
    block.SetAddr("d100");
    EXPECT_EQ(block.GetAddr(), "d100");
    auto* a = Named("A", "Motor");
    auto* b = Named("B", "MOTOR");
    EXPECT_TRUE(block.RegisterMemoryObject(0, a, FALSE));
    EXPECT_TRUE(block.RegisterMemoryObject(1, b, FALSE));
    EXPECT_EQ(block.FindMemoryObjectByKey("Motor"), a);
    EXPECT_EQ(block.FindMemoryObjectByKey("motor"), nullptr);
}

TEST(MemoryArray, RegistrationFailures)
{
    CdsMemoryArray block;
    block.SetAddr("D0");
    auto* a = Named("A", "Motor");
    auto* b = Named("B", "MOTOR");
    ASSERT_TRUE(block.RegisterMemoryObject(0, a, FALSE));
    EXPECT_FALSE(block.RegisterMemoryObject(1, b, FALSE));  // same key ignoring case
    EXPECT_EQ(block.GetMemoryObject(1), nullptr);
    EXPECT_FALSE(block.RegisterMemoryObject(-1, b, FALSE));
    EXPECT_FALSE(block.RegisterMemoryObject(0, nullptr, FALSE));
    auto* c = new CdsMemoryObject;
    EXPECT_FALSE(block.RegisterMemoryObject(0, c, FALSE));  // occupied, no replace
    EXPECT_TRUE(block.RegisterMemoryObject(0, a, FALSE));   // the same point again
    // Above the index limit: refused before the block grows.
    std::size_t before = static_cast<std::size_t>(block.GetSize());
    EXPECT_FALSE(block.RegisterMemoryObject(CdsMemoryObject::kMaxIndex + 1, c, FALSE));
    EXPECT_EQ(static_cast<std::size_t>(block.GetSize()), before);
    EXPECT_TRUE(block.RegisterMemoryObject(CdsMemoryObject::kMaxIndex, c, FALSE));
    EXPECT_EQ(block.GetSize(), CdsMemoryObject::kMaxIndex + 1);
    b->Destroy();
}

TEST(MemoryArray, ReplacingFreesTheOldPointAndItsKey)
{
    CdsMemoryArray block;
    block.SetAddr("D0");
    auto* a = Named("A", "OLD");
    ASSERT_TRUE(block.RegisterMemoryObject(0, a, FALSE));
    auto* b = Named("B", "NEW");
    ASSERT_TRUE(block.RegisterMemoryObject(0, b, TRUE));
    EXPECT_EQ(block.FindMemoryObjectByKey("OLD"), nullptr);
    EXPECT_EQ(block.FindMemoryObjectByKey("NEW"), b);
}

TEST(MemoryArray, DestroyingADuplicateLeavesTheOtherPointsEntry)
{
    // A file may hold two points with one key; the later one owns the map entry.
    CdsMemoryArray source;
    source.SetAddr("D0");
    auto* a = Named("A", "SAME");
    auto* b = Named("B", "OTHER");
    ASSERT_TRUE(source.RegisterMemoryObject(0, a, FALSE));
    ASSERT_TRUE(source.RegisterMemoryObject(1, b, FALSE));
    b->SetPseudoNameText("SAME");
    auto loaded = Load<CdsMemoryArray>(StoreObject(&source));
    loaded->OnLoading();
    CdsMemoryObject* later = loaded->GetMemoryObject(1);
    EXPECT_EQ(loaded->FindMemoryObjectByKey("SAME"), later);
    EXPECT_TRUE(loaded->DestroyMemoryObject(0));
    EXPECT_EQ(loaded->FindMemoryObjectByKey("SAME"), later);
    EXPECT_TRUE(loaded->DestroyMemoryObject(later));
    EXPECT_EQ(loaded->FindMemoryObjectByKey("SAME"), nullptr);
    EXPECT_FALSE(loaded->HasAtLeastOneMemoryObject());
}

TEST(MemoryArray, ARenamedPointLeavesNoEntryBehind)
{
    CdsMemoryArray block;
    block.SetAddr("D0");
    auto* a = Named("A", "FIRST");
    ASSERT_TRUE(block.RegisterMemoryObject(0, a, FALSE));
    a->SetPseudoNameText("SECOND");
    EXPECT_TRUE(block.DestroyMemoryObject(0));
    EXPECT_EQ(block.FindMemoryObjectByKey("FIRST"), nullptr);
}

TEST(MemoryArray, FactoryPointsTakeTheTemplatesNames)
{
    PointBlock block(4);
    block.SetAddr("W10");
    CdsMemoryObject templ;
    templ.SetName("S1");
    templ.SetPseudoNameText("speed");
    templ.SetDataType(BRISANT_WORD);
    templ.SetUserWord(12);
    CdsMemoryObject* point = block.AddMemoryObject(-1, templ, TRUE);
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(point->GetIndex(), 0);
    EXPECT_EQ(point->GetDataType(), BRISANT_WORD);
    EXPECT_EQ(point->GetUserWord(), 12);
    EXPECT_EQ(block.FindMemoryObjectByKey("SPEED"), point);
    // A second point with the same key is refused and freed.
    EXPECT_EQ(block.AddMemoryObject(-1, templ, TRUE), nullptr);
    EXPECT_EQ(block.GetMemoryObject(1), nullptr);
}

TEST(MemoryArray, UseCountNeverGoesBelowZero)
{
    CdsMemoryArray block;
    EXPECT_TRUE(block.Shutdown(nullptr));
    EXPECT_EQ(block.GetUseCount(), 0);
    block.Initialize(nullptr);
    block.Initialize(nullptr);
    block.Shutdown(nullptr);
    EXPECT_EQ(block.GetUseCount(), 1);
}

TEST(MemoryArray, UseCountHoldsUnderConcurrentClients)
{
    CdsMemoryArray block;
    auto run = [&](bool up) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                for (int i = 0; i < 1000; ++i)
                    up ? block.Initialize(nullptr) : block.Shutdown(nullptr);
            });
        for (auto& thread : threads)
            thread.join();
    };
    run(true);
    EXPECT_EQ(block.GetUseCount(), 4000);
    run(false);
    run(false);
    EXPECT_EQ(block.GetUseCount(), 0);
}

TEST(MemoryArray, QueryBuffersFollowThePermissions)
{
    CdsMemoryArray block;
    for (int line = 0; line < CdsMemoryArray::kLines; ++line) {
        ASSERT_NE(block.GetStatusQueryString(line), nullptr);
        EXPECT_NE(block.GetStatusQueryString(line), block.GetCommandQueryString(line));
    }
    EXPECT_EQ(block.GetStatusQueryString(4), nullptr);
    std::strcpy(block.GetStatusQueryString(1), "500000FF03FF00");
    EXPECT_EQ(block.GetStatusQueryStringLen(1, nullptr), 14);
    EXPECT_EQ(block.GetStatusQueryStringLen(0, "abc"), 3);
    block.ClearStatusQueryString(1);
    EXPECT_EQ(block.GetStatusQueryStringLen(1, nullptr), 0);
    block.SetStatusQueryStringInitialized(2, TRUE);
    EXPECT_TRUE(block.IsStatusQueryStringInitialized(2));
    EXPECT_FALSE(block.IsStatusQueryStringInitialized(1));

    block.SetWriteAllowed(FALSE);
    EXPECT_EQ(block.GetCommandQueryString(0), nullptr);
    EXPECT_EQ(block.GetCommandQueryStringLen(0, "abc"), 0);
    EXPECT_EQ(block.GetCommandResponseStringLen(0), 0);
    EXPECT_EQ(block.GetStatusResponseStringLen(0), 4096);
    block.SetReadAllowed(FALSE);
    EXPECT_EQ(block.GetStatusQueryString(0), nullptr);
    EXPECT_EQ(block.GetStatusQueryStringLen(0, "abc"), 0);
}

TEST(MemoryArray, AssignmentCopiesTypeWordsOnlyWhenSet)
{
    CdsMemoryArray source;
    source.SetName("A");
    source.SetLength(9);
    CdsMemoryArray target;
    target.SetDefaultDataType(BRISANT_WORD);
    target.SetTypeDataWord(4);
    target = source;
    EXPECT_EQ(target.GetDefaultDataType(), BRISANT_WORD);
    EXPECT_EQ(target.GetTypeDataWord(), 4);
    EXPECT_EQ(target.GetName(), "A");
    EXPECT_EQ(target.GetLength(), 9);
    source.SetDefaultDataType(BRISANT_LONG);
    target = source;
    EXPECT_EQ(target.GetDefaultDataType(), BRISANT_LONG);
    EXPECT_EQ(target.GetTypeData(), BRISANT_LONG);
}

TEST(MemoryArray, OnlineNeedsPointsAndHoldKeepsTheFlag)
{
    testsupport::FakeHandler handler;
    testsupport::FakeDevice device(&handler);
    CdsMemoryArray empty;
    EXPECT_FALSE(empty.SetOnline(TRUE, &device));
    EXPECT_EQ(empty.GetParent(), &device);

    CdsMemoryArray block;
    block.SetAddr("D0");
    ASSERT_TRUE(block.RegisterMemoryObject(0, new CdsMemoryObject, FALSE));
    EXPECT_TRUE(block.SetOnline(TRUE, &device));
    EXPECT_TRUE(block.IsOnline());
    block.SetHold(TRUE);
    EXPECT_TRUE(block.SetOnline(FALSE, &device));
    EXPECT_TRUE(block.IsOnline());
    block.SetHold(FALSE);
    EXPECT_TRUE(block.SetOnline(FALSE, &device));
    EXPECT_FALSE(block.IsOnline());
}

} // namespace

namespace {

long NoActions(int, _BRISANT_DATAACTION*) { return 1; }

TEST(MemoryArray, BrowseLeavesCarryNamesTypesAndAccess)
{
    DWORD server = dde::BrisantSetupDDEServerInterface(0, 0, "", &NoActions);
    ASSERT_NE(server, 0u);
    DWORD branch = dde::BrisantAddBrowseBranch(server, 0, u"PLC1", u"[PLC1]");
    CdsMemoryArray block;
    block.SetAddr("D100");
    block.SetDefaultDataType(BRISANT_WORD);
    auto* a = Named("A", "SPEED");
    auto* b = Named("B", "");
    b->SetDataType(BRISANT_FLOAT);
    ASSERT_TRUE(block.RegisterMemoryObject(0, a, FALSE));
    ASSERT_TRUE(block.RegisterMemoryObject(2, b, FALSE));
    block.SetClientWriteAccess(FALSE);
    block.BuildBrowseLeaves(server, branch, TRUE, "PLC1");
    block.SetClientWriteAccess(TRUE);
    block.SetClientReadAccess(FALSE);
    block.BuildBrowseLeaves(server, branch, FALSE, "PLC1");

    auto branches = dde::Toolkit::Process().Browse(server);
    ASSERT_EQ(branches.size(), 1u);
    const auto& leaves = branches[0].leaves;
    ASSERT_EQ(leaves.size(), 4u);
    EXPECT_EQ(leaves[0].leaf, u"SPEED");
    EXPECT_EQ(leaves[0].full, u"[PLC1]SPEED");
    EXPECT_EQ(leaves[0].type, BRISANT_WORD);
    EXPECT_EQ(leaves[0].access, 1);
    EXPECT_EQ(leaves[1].leaf, u"B");
    EXPECT_EQ(leaves[1].type, BRISANT_FLOAT);
    EXPECT_EQ(leaves[2].leaf, u"[PLC1]SPEED");
    EXPECT_EQ(leaves[2].access, 2);
    dde::BrisantShutdownDDEServer(server);
}

} // namespace
