#include "kestrun/model/MemoryVariant.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "kestrun/model/BitArray.h"
#include "kestrun/model/MemoryArray.h"
#include "platform/afx/Archive.h"
#include "platform/afx/MemFile.h"
#include "support/OptionScope.h"
#include "support/model/ArchiveBytes.h"
#include "support/model/ModelFakes.h"

namespace {

using testsupport::Cell;
using testsupport::OptionScope;
using testsupport::StoreObject;

// A server program's variant that records which write request it was asked for.
class RecordingVariant : public CdsMemoryVariant {
public:
    struct Call {
        const char* op;
        ULONGLONG value;
    };
    BOOL GetDownsizeCommandQueryString(const _BRISANTDATAVALUE& v, int, BOOL) override { return Record("down", v); }
    BOOL GetUpsizeCommandQueryString(const _BRISANTDATAVALUE& v, int, BOOL) override { return Record("up", v); }
    BOOL GetCopyCommandQueryString(const _BRISANTDATAVALUE& v, int, BOOL) override { return Record("copy", v); }
    using CdsMemoryVariant::GetValue;
    BOOL GetValue(_BRISANTDATAVALUE&, const BYTE*, int, kestrun::HandlerLink*, const tagTHREADINFO*) override
    {
        ++reads;
        return FALSE;
    }
    std::atomic<int> reads{0};
    BOOL Record(const char* op, const _BRISANTDATAVALUE& v)
    {
        calls.push_back({op, v.ullVal});
        return TRUE;
    }
    std::vector<Call> calls;
};

// A point named in its device's own syntax, as a server program names it:
// point i of a block at D100 is D(100 + i).
class DevicePoint : public CdsMemoryObject {
public:
    void SetPseudoName(const std::string&, int nNumber, char) override { SetPseudoNameText("D" + std::to_string(100 + nNumber)); }
};

// A block of such points that makes recording variants.
class VariantBlock : public CdsMemoryArray {
public:
    CdsMemoryObject* NewMemoryObject() override { return new DevicePoint; }
    CdsMemoryObject* NewMemoryVariant() override { return new RecordingVariant; }
};


class MemoryVariantTest : public testing::Test {
protected:
    void SetUp() override { Make(BRISANT_WORD); }
    void Make(int type)
    {
        block.SetAddr("D100");
        block.SetDefaultDataType(type);
        for (int i = 0; i < 10; ++i) ASSERT_NE(block.CreateMemoryObject(i, nullptr, TRUE), nullptr);
        ASSERT_EQ(block.FindMemoryObjectByKey("D104"), block.GetMemoryObject(4));
        ASSERT_EQ(block.FindMemoryObjectByKey("D100:4"), nullptr);
    }
    void Set(int index, ULONGLONG bits) { block.GetMemoryObject(index)->UpdateState(Cell(bits), FALSE, nullptr, nullptr, FALSE); }
    RecordingVariant* Variant(int index, const char* base, const char* code)
    {
        return static_cast<RecordingVariant*>(
            kestrun::GetBlockVariant(block, *block.GetMemoryObject(index), base, code, false));
    }

    VariantBlock block;
};

TEST_F(MemoryVariantTest, EverySpellingOfATypeWordSharesOneVariant)
{
    RecordingVariant* v = Variant(4, "d100:4", " r4x ");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(Variant(4, "D100:4", "R4X"), v);
    EXPECT_EQ(block.GetMemoryVariant("D100:4", "R4X"), v);
    EXPECT_NE(Variant(4, "D100:4", "R4"), v);
    EXPECT_EQ(v->GetTypeCode(), "R4X");
    EXPECT_EQ(v->GetPackedCode(), BRISANT_FLOAT_X);
    EXPECT_EQ(v->GetSize(), 4);
    EXPECT_EQ(v->GetDataType(), BRISANT_FLOAT);
    EXPECT_EQ(v->GetOwnName(), "D100:4");
    EXPECT_EQ(v->GetBaseIndex(), 4);
    EXPECT_TRUE(v->IsSystemObject());
}

TEST_F(MemoryVariantTest, UnknownWordsBitsAndForeignPointsMakeNoVariant)
{
    EXPECT_EQ(Variant(4, "D100:4", "Q"), nullptr);
    EXPECT_EQ(Variant(4, "D100:4", "M-5"), nullptr);
    VariantBlock other;
    other.SetAddr("D200");
    CdsMemoryObject* foreign = other.CreateMemoryObject(0, nullptr, TRUE);
    EXPECT_EQ(kestrun::GetBlockVariant(block, *foreign, "D200:0", "R4", false), nullptr);
}

TEST_F(MemoryVariantTest, AVariantReadsTheBasePointItWasMadeFor)
{
    // The base text is the address form while the points are keyed by their
    // device names: the variant still finds its base.
    Set(4, 0x3F80);
    Set(5, 0x0000);
    RecordingVariant* v = Variant(4, "D100:4", "F");
    ASSERT_TRUE(v->UpdateValue(nullptr, nullptr));
    EXPECT_EQ(v->GetValue().fltVal, 1.0f);
    EXPECT_EQ(v->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
    RecordingVariant* b = Variant(4, "D100:4", "FB");
    ASSERT_TRUE(b->UpdateValue(nullptr, nullptr));
    EXPECT_EQ(b->GetValue().dwVal, 0x00003F80u);
}

TEST_F(MemoryVariantTest, AVariantWithoutABaseIndexFindsItsBaseByKeyName)
{
    Set(2, 0x1234);
    auto* v = dynamic_cast<CdsMemoryVariant*>(block.CreateMemoryVariant("D102", "BC"));
    ASSERT_NE(v, nullptr);
    v->SetVariant("D102", "BC", -1);
    ASSERT_TRUE(v->UpdateValue(nullptr, nullptr));
    EXPECT_EQ(v->GetValue().wVal, 1234);
    // A name that is no key finds nothing.
    auto* lost = dynamic_cast<CdsMemoryVariant*>(block.CreateMemoryVariant("D100:2", "BC"));
    lost->SetVariant("D100:2", "BC", -1);
    EXPECT_FALSE(lost->UpdateValue(nullptr, nullptr));
}

TEST_F(MemoryVariantTest, BlockReadsRefreshEveryVariant)
{
    RecordingVariant* bcd = Variant(1, "D101", "BC");
    RecordingVariant* text = Variant(2, "D102", "M4");
    RecordingVariant* high = Variant(1, "D101", "HB");
    Set(1, 0x1234);
    Set(2, 0x4142);
    Set(3, 0x4344);
    block.UpdateVariants(nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(bcd->GetValue().wVal, 1234);
    EXPECT_EQ(high->GetValue().bVal, 0x12);
    ASSERT_NE(text->GetValue().pszVal, nullptr);
    EXPECT_STREQ(text->GetValue().pszVal, "ABCD");
}

TEST_F(MemoryVariantTest, ClientsAddVariantsWhileALineRefreshesThem)
{
    Set(0, 0x1234);
    std::atomic<bool> done{false};
    std::thread line([this, &done] {
        while (!done) block.UpdateVariants(nullptr, 0, nullptr, nullptr);
    });
    const char* codes[] = {"BC", "HB", "LB", "U", "S", "I", "F", "FB", "FL", "FM", "R8", "M2", "M4", "B", "UI1", "I4"};
    for (int i = 0; i < 10; ++i)
        for (const char* code : codes) ASSERT_NE(Variant(i, ("D" + std::to_string(100 + i)).c_str(), code), nullptr);
    done = true;
    line.join();
    block.UpdateVariants(nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(Variant(0, "D100", "BC")->GetValue().wVal, 1234);
}

TEST_F(MemoryVariantTest, ARefreshPassesOverAVariantStillBeingMade)
{
    Set(0, 0x1234);
    // In the block's map already, but its client has not given it a type yet.
    auto* fresh = static_cast<RecordingVariant*>(block.CreateMemoryVariant("D100", "BC"));
    ASSERT_NE(fresh, nullptr);
    block.UpdateVariants(nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(fresh->reads, 0);
    EXPECT_FALSE(fresh->IsTouched());

    ASSERT_EQ(Variant(0, "D100", "BC"), fresh);
    block.UpdateVariants(nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(fresh->reads, 1);
    EXPECT_EQ(fresh->GetValue().wVal, 1234);

    // Once made, a variant keeps its type and base: a line may be reading them.
    fresh->SetVariant("D100", "HB", 5);
    EXPECT_EQ(fresh->GetTypeCode(), "BC");
    EXPECT_EQ(fresh->GetBaseIndex(), 0);
}

TEST_F(MemoryVariantTest, AFloatWithoutItsSecondItemIsNotUpdated)
{
    Set(9, 0x3F80);
    RecordingVariant* v = Variant(9, "D109", "F");
    EXPECT_FALSE(v->UpdateValue(nullptr, nullptr));
    EXPECT_FALSE(v->IsTouched());
}

TEST_F(MemoryVariantTest, ABcdWriteOutside0To9999IsRefused)
{
    RecordingVariant* v = Variant(0, "D100", "BC");
    _BRISANTDATAVALUE value{};
    value.wVal = 1234;
    EXPECT_NE(v->GetCommandQueryString(value, 0, FALSE), nullptr);
    ASSERT_EQ(v->calls.size(), 1u);
    EXPECT_STREQ(v->calls[0].op, "copy");
    EXPECT_EQ(v->calls[0].value, 0x1234u);
    value.wVal = 10000;
    EXPECT_EQ(v->GetCommandQueryString(value, 0, FALSE), nullptr);
    value.wVal = 65535;
    EXPECT_EQ(v->GetCommandQueryString(value, 0, FALSE), nullptr);
    EXPECT_EQ(v->calls.size(), 1u);
}

TEST_F(MemoryVariantTest, TheSizeChoosesTheWriteRequest)
{
    struct Case {
        const char* code;
        const char* op;  // null: refused
    };
    const Case cases[] = {
        {"R4", "up"}, {"R8L", "up"}, {"I4", "up"}, {"M10", "up"}, {"U", "copy"}, {"S", "copy"},
        {"B", "down"}, {"UI1", "down"}, {"LB", nullptr}, {"HB", nullptr}, {"LW", nullptr}, {"HW", nullptr},
    };
    for (const Case& c : cases) {
        RecordingVariant* v = Variant(0, "D100", c.code);
        ASSERT_NE(v, nullptr) << c.code;
        char* query = v->GetCommandQueryString(Cell(1), 0, FALSE);
        if (!c.op) {
            EXPECT_EQ(query, nullptr) << c.code;
            EXPECT_TRUE(v->calls.empty()) << c.code;
            continue;
        }
        EXPECT_EQ(query, block.FillCommandQueryString(0)) << c.code;
        ASSERT_EQ(v->calls.size(), 1u) << c.code;
        EXPECT_STREQ(v->calls[0].op, c.op) << c.code;
    }
}

TEST(MemoryVariantBlockTest, EveryBlockMakesPlainVariants)
{
    testsupport::PointBlock block;
    block.SetAddr("D0");
    block.SetDefaultDataType(BRISANT_WORD);
    CdsMemoryObject* point = block.CreateMemoryObject(0, nullptr, TRUE);
    CdsMemoryVariant* v = kestrun::GetBlockVariant(block, *point, "d0:0", "hb", false);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->GetOwnName(), "D0:0");
    EXPECT_EQ(v->GetTypeCode(), "HB");
    point->UpdateState(Cell(0xAB00), FALSE, nullptr, nullptr, FALSE);
    block.UpdateVariants(nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(v->GetValue().bVal, 0xAB);
}

TEST_F(MemoryVariantTest, TheBaseVariantBuildsNoWrite)
{
    CdsMemoryVariant v("D100:0", "R4");
    EXPECT_EQ(v.GetCommandQueryString(Cell(0), 0, FALSE), nullptr);
}

TEST_F(MemoryVariantTest, AssignmentCopiesTheTypeWord)
{
    CdsMemoryVariant a("D100:3", "R8L");
    CdsMemoryVariant b;
    CdsMemoryObject& asPoint = b;
    asPoint = a;
    EXPECT_EQ(b.GetTypeCode(), "R8L");
    EXPECT_EQ(b.GetSize(), 8);
    EXPECT_EQ(b.GetPackedCode(), BRISANT_DOUBLE_L);
    EXPECT_EQ(b.GetOwnName(), "D100:3");
    EXPECT_EQ(b.GetDataType(), BRISANT_DOUBLE);
}

TEST(MemoryVariantParseTest, TypeWordsAsClientsWriteThem)
{
    CdsMemoryVariant lower("D100:0", " r4x ");
    EXPECT_EQ(lower.GetPackedCode(), BRISANT_FLOAT_X);
    EXPECT_EQ(lower.GetDataType(), BRISANT_FLOAT);
    CdsMemoryVariant text("D100:0", "M10");
    EXPECT_EQ(text.GetDataType(), BRISANT_STRING);
    EXPECT_EQ(text.GetSize(), 10);
    CdsMemoryVariant bare("D100:0", "M");
    EXPECT_EQ(bare.GetSize(), 0);
    CdsMemoryVariant unknown("D100:0", "Q");
    EXPECT_EQ(unknown.GetDataType(), BRISANT_NOTYPE);
    EXPECT_EQ(unknown.GetCommandQueryString(Cell(0), 0, FALSE), nullptr);
}

std::vector<BYTE> Bytes(std::initializer_list<int> values) { return std::vector<BYTE>(values.begin(), values.end()); }

TEST(MemoryVariantArchiveTest, VariantsAndBitsNeverEnterTheDocument)
{
    // One Word point D100:0 with bits, and a variant over it: the record is that
    // of the block and its one point alone.
    testsupport::BitBlock block;
    block.SetAddr("D100");
    block.SetDefaultDataType(BRISANT_WORD);
    CdsMemoryObject* point = block.CreateMemoryObject(0, nullptr, TRUE);
    ASSERT_NE(point->GetBitObject(3), nullptr);
    ASSERT_NE(kestrun::GetBlockVariant(block, *point, "D100:0", "R4", false), nullptr);

    const std::vector<BYTE> golden = Bytes({
        0xFF, 0xFF, 0x01, 0x00, 0x0E, 0x00, 'C', 'd', 's', 'M', 'e', 'm', 'o', 'r', 'y', 'A', 'r', 'r', 'a', 'y',
        0x01, 0x00,                                                      // one slot
        0xFF, 0xFF, 0x01, 0x00, 0x0F, 0x00, 'C', 'd', 's', 'M', 'e', 'm', 'o', 'r', 'y', 'O', 'b', 'j', 'e', 'c', 't',
        0x06, 'D', '1', '0', '0', ':', '0', 0x06, 'D', '1', '0', '0', ':', '0',  // name, pseudo name
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,                  // user word, data type
        0x00, 0x04, 'D', '1', '0', '0', 0x00,                            // name, address, description
        0xFF, 0xFF,                                                      // type data word
        0x00, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,  // length, scan time, priority
        0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,                  // read and write allowed
        0x04, 0x00, 0x00, 0x00,                                          // default data type: Word
        0x01, 0x00, 0x00, 0x00,                                          // max memories
    });
    EXPECT_EQ(StoreObject(&block), golden);
}

} // namespace
