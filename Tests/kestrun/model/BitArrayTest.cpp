#include "kestrun/model/BitArray.h"

#include <gtest/gtest.h>

#include <thread>

#include "kestrun/model/Hint.h"
#include "kestrun/options/ServerOptions.h"
#include "support/OptionScope.h"
#include "support/model/ModelFakes.h"

namespace {

using testsupport::BitBlock;
using testsupport::Cell;
using testsupport::FakeDevice;
using testsupport::FakeHandler;
using testsupport::OptionScope;
using testsupport::TestBitArray;

// A block at D100 of points 0..7 of one type.
class BitArrayTest : public testing::Test {
protected:
    void Make(int type, const char* address = "D100")
    {
        block.SetAddr(address);
        block.SetDefaultDataType(type);
        for (int i = 0; i < 8; ++i) ASSERT_NE(block.CreateMemoryObject(i, nullptr, TRUE), nullptr);
    }
    CdsMemoryObject* Point(int i) { return block.GetMemoryObject(i); }
    SHORT BitValue(int point, int bit) { return Point(point)->GetBitObject(bit)->GetValue().boolVal; }

    BitBlock block;
};

TEST_F(BitArrayTest, BitCountFollowsTheParentsType)
{
    const std::pair<int, int> cases[] = {{BRISANT_CHAR, 8},  {BRISANT_BYTE, 8},  {BRISANT_SHORT, 16}, {BRISANT_WORD, 16},
                                         {BRISANT_LONG, 32}, {BRISANT_DWORD, 32}, {BRISANT_FLOAT, 0},  {BRISANT_DOUBLE, 0},
                                         {BRISANT_STRING, 0}, {BRISANT_BOOL, 0}};
    for (auto [type, bits] : cases) {
        BitBlock b;
        b.SetAddr("D0");
        b.SetDefaultDataType(type);
        CdsMemoryObject* point = b.CreateMemoryObject(0, nullptr, TRUE);
        CdsBitArray* array = point->GetBitArray();
        ASSERT_NE(array, nullptr) << type;
        EXPECT_EQ(array->GetMaxBits(), bits) << type;
        EXPECT_EQ(array->GetSize(), bits) << type;
        EXPECT_EQ(array->GetMaxMemories(), bits) << type;
        EXPECT_EQ(point->GetBitObject(bits), nullptr) << type;
        if (bits > 0) {
            EXPECT_NE(point->GetBitObject(bits - 1), nullptr) << type;
        }
    }
    TestBitArray orphan;
    EXPECT_EQ(orphan.GetMaxBits(), 32);
}

TEST_F(BitArrayTest, BitsAreNamedAfterTheirPoint)
{
    Make(BRISANT_WORD);
    CdsMemoryObject* bit = Point(5)->GetBitObject(15);
    ASSERT_NE(bit, nullptr);
    EXPECT_TRUE(bit->IsBitObject());
    EXPECT_EQ(bit->GetIndex(), 15);
    EXPECT_EQ(bit->GetOwnName(), "D100:5/15");
    EXPECT_EQ(bit->GetOwnPseudoName(), "D100:5:15");
    EXPECT_EQ(bit->GetDataType(), BRISANT_BOOL);
    CdsBitArray* array = Point(5)->GetBitArray();
    EXPECT_EQ(array->GetAddr(), "D100");
    EXPECT_EQ(array->GetParentMemoryObject(), Point(5));
    EXPECT_EQ(array->GetDefaultDataType(), BRISANT_BOOL);
    // The same array and bits on every call.
    EXPECT_EQ(Point(5)->GetBitArray(), array);
    EXPECT_EQ(Point(5)->GetBitObject(15), bit);
}

TEST_F(BitArrayTest, BitNumbersRunFromZeroBelowTheBitCount)
{
    Make(BRISANT_WORD);
    EXPECT_EQ(Point(5)->GetBitObject(16), nullptr);
    EXPECT_EQ(Point(5)->GetBitObject(32), nullptr);
    EXPECT_EQ(Point(5)->GetBitObject(33), nullptr);
    EXPECT_EQ(Point(5)->GetBitObject(-1), nullptr);
    EXPECT_EQ(block.GetMemoryObject(5, 16), nullptr);
    EXPECT_EQ(block.GetMemoryObject(5, 3), Point(5)->GetBitObject(3));
    EXPECT_EQ(block.GetMemoryObject(9, 3), nullptr);
}

TEST_F(BitArrayTest, BitObjectsRefuseBadParents)
{
    Make(BRISANT_WORD);
    CdsBitArray* array = Point(1)->GetBitArray();
    CdsBitObject loose;
    EXPECT_FALSE(loose.SetParent(32, array));
    EXPECT_FALSE(loose.SetParent(16, array));
    EXPECT_FALSE(loose.SetParent(-1, array));
    EXPECT_FALSE(loose.SetParent(3, &block));
    TestBitArray orphan;
    EXPECT_FALSE(loose.SetParent(3, &orphan));
    EXPECT_TRUE(loose.SetParent(3, array));
    EXPECT_EQ(loose.GetOwnName(), "D100:1/3");
    // Bits never carry bits of their own.
    EXPECT_EQ(Point(1)->GetBitObject(3)->GetBitArray(), nullptr);
}

TEST_F(BitArrayTest, BitNamesFollowTheCaseRule)
{
    {
        OptionScope sensitive(CdsServerOptions::g_bCaseSensitive, 1);
        Make(BRISANT_WORD, "d100");
        EXPECT_EQ(Point(2)->GetBitObject(4)->GetOwnName(), "d100:2/4");
    }
    // Made while names are not case-sensitive, a bit's name is upper-cased.
    EXPECT_EQ(Point(3)->GetBitObject(4)->GetOwnName(), "D100:3/4");
}

TEST_F(BitArrayTest, ATypeWithoutBitsMakesNoBits)
{
    Make(BRISANT_FLOAT);
    CdsBitArray* array = Point(0)->GetBitArray();
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->GetSize(), 0);
    EXPECT_EQ(array->UpdateBitObjects(Cell(1), BRISANT_FLOAT, FALSE, nullptr, nullptr, FALSE), 0);
}

TEST_F(BitArrayTest, NewValuesOfThePointReachItsBits)
{
    OptionScope same(CdsServerOptions::g_bUpdateSameValue, 0);
    Make(BRISANT_WORD);
    Point(5)->GetBitArray();
    EXPECT_TRUE(Point(5)->UpdateState(Cell(0x8000), FALSE, nullptr, nullptr, FALSE));
    EXPECT_EQ(BitValue(5, 15), 1);
    EXPECT_EQ(BitValue(5, 0), 0);
    EXPECT_EQ(Point(5)->GetBitObject(15)->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
    EXPECT_TRUE(Point(5)->GetBitObject(0)->IsTouched());
    EXPECT_TRUE(Point(5)->UpdateState(Cell(0x0001), FALSE, nullptr, nullptr, FALSE));
    EXPECT_EQ(BitValue(5, 15), 0);
    EXPECT_EQ(BitValue(5, 0), 1);
}

TEST_F(BitArrayTest, TheTopBitOfANegativeCharIsSet)
{
    Make(BRISANT_CHAR);
    Point(0)->GetBitArray();
    _BRISANTDATAVALUE v{};
    v.cVal = -128;
    Point(0)->UpdateState(v, FALSE, nullptr, nullptr, FALSE);
    EXPECT_EQ(BitValue(0, 7), 1);
    EXPECT_EQ(BitValue(0, 6), 0);
}

TEST_F(BitArrayTest, BitsMadeLaterStartFromThePointsValue)
{
    // A steady word sends no further updates: its bits must not wait for one.
    OptionScope same(CdsServerOptions::g_bUpdateSameValue, 0);
    Make(BRISANT_WORD);
    Point(4)->UpdateState(Cell(0x0004), FALSE, nullptr, nullptr, FALSE);
    EXPECT_EQ(BitValue(4, 2), 1);
    EXPECT_TRUE(Point(4)->GetBitObject(2)->IsTouched());
    EXPECT_EQ(Point(4)->GetBitObject(2)->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
    // An untouched point gives its bits nothing.
    EXPECT_FALSE(Point(6)->GetBitObject(2)->IsTouched());
}

TEST_F(BitArrayTest, ChangedBitsSendTheirOwnHints)
{
    OptionScope events(CdsServerOptions::g_bViewEvents, 1);
    OptionScope init(CdsServerOptions::g_bViewInitValues, 0);
    OptionScope same(CdsServerOptions::g_bUpdateSameValue, 0);
    Make(BRISANT_WORD);
    FakeHandler handler;
    Point(1)->GetBitArray();
    Point(1)->UpdateState(Cell(0x0000), FALSE, &handler, nullptr, FALSE);
    handler.hints.clear();
    // Bit 3 changes: one hint for the word, one for bit 3, none for the steady bits.
    Point(1)->UpdateState(Cell(0x0008), FALSE, &handler, nullptr, FALSE);
    ASSERT_EQ(handler.hints.size(), 2u);
    EXPECT_EQ(handler.hints[0].object, Point(1));
    EXPECT_EQ(handler.hints[1].object, Point(1)->GetBitObject(3));
    EXPECT_EQ(handler.hints[1].code, 101);
}

TEST_F(BitArrayTest, BitsFollowThePointOfflineAndTouched)
{
    Make(BRISANT_WORD);
    Point(2)->UpdateState(Cell(0x0001), FALSE, nullptr, nullptr, FALSE);
    CdsMemoryObject* bit = Point(2)->GetBitObject(0);
    ASSERT_EQ(bit->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
    Point(2)->SetOnline(FALSE, &block, 2);
    EXPECT_FALSE(bit->IsTouched());
    EXPECT_EQ(bit->GetStatus(), CdsMemoryObject::QUALITY_OFFLINE);
    Point(2)->SetTouched(TRUE);
    EXPECT_TRUE(bit->IsTouched());
}

TEST_F(BitArrayTest, PermissionsComeFromThePointsBlock)
{
    block.SetWriteAllowed(FALSE);
    block.SetClientWriteAccess(FALSE);
    Make(BRISANT_WORD);
    CdsBitArray* array = Point(0)->GetBitArray();
    EXPECT_TRUE(array->IsReadAllowed());
    EXPECT_FALSE(array->IsWriteAllowed());
    EXPECT_TRUE(array->IsClientReadAccess());
    EXPECT_FALSE(array->IsClientWriteAccess());
}

TEST_F(BitArrayTest, BitReferencesCountTowardsTheBlock)
{
    Make(BRISANT_WORD);
    EXPECT_EQ(block.GetBitRefCount(), 0);
    CdsMemoryObject* bit = Point(3)->GetBitObject(1);
    Point(3)->GetBitArray()->Initialize(bit);
    Point(4)->GetBitArray()->Initialize(Point(4)->GetBitObject(0));
    EXPECT_EQ(block.GetBitRefCount(), 2);
}

TEST_F(BitArrayTest, DestroyingTheBitsEmptiesTheArray)
{
    Make(BRISANT_WORD);
    CdsBitArray* array = Point(0)->GetBitArray();
    array->DestroyBitObjects(Point(0));
    EXPECT_FALSE(array->HasAtLeastOneMemoryObject());
}

TEST_F(BitArrayTest, BitsMadeWhileALineStoresValuesEndWithTheLastValue)
{
    Make(BRISANT_WORD);
    CdsMemoryObject* point = Point(0);
    constexpr int kLast = 2000;
    std::thread line([point] {
        for (int v = 1; v <= kLast; ++v) point->UpdateState(Cell(static_cast<ULONGLONG>(v)), FALSE, nullptr, nullptr, FALSE);
    });
    CdsBitArray* fromClient = nullptr;
    std::thread client([&fromClient, point] { fromClient = point->GetBitArray(); });
    CdsBitArray* fromHere = point->GetBitArray();
    line.join();
    client.join();
    EXPECT_EQ(fromClient, fromHere);
    for (int bit = 0; bit < 16; ++bit) EXPECT_EQ(BitValue(0, bit), (kLast >> bit) & 1) << bit;
}

TEST(BitArrayValueTest, UnsupportedTypesReportFailureWithACellOfZero)
{
    _BRISANTDATAVALUE out = Cell(0xDEADBEEFDEADBEEFull);
    EXPECT_EQ(CdsBitArray::GetBitValue(Cell(0xFFFF), BRISANT_FLOAT, 0, out), 0);
    EXPECT_EQ(out.ullVal, 0u);
    out = Cell(0xDEADBEEFDEADBEEFull);
    EXPECT_EQ(CdsBitArray::GetBitValue(Cell(0x8000), BRISANT_WORD, 15, out), 1);
    EXPECT_EQ(out.ullVal, 1u);
    EXPECT_EQ(CdsBitArray::GetBitValue(Cell(0x8000), BRISANT_WORD, 16, out), 0);
    EXPECT_TRUE(CdsBitArray::IsDataSupportBit(BRISANT_DWORD));
    EXPECT_FALSE(CdsBitArray::IsDataSupportBit(BRISANT_BOOL));
}

TEST(BitArrayBaseTest, TheBaseArrayMakesNoBits)
{
    class PlainPoint : public CdsMemoryObject {
    public:
        CdsMemoryArray* NewBitArray() override { return new CdsBitArray; }
    };
    class PlainBlock : public CdsMemoryArray {
    public:
        CdsMemoryObject* NewMemoryObject() override { return new PlainPoint; }
    };
    PlainBlock block;
    block.SetAddr("D0");
    block.SetDefaultDataType(BRISANT_WORD);
    CdsMemoryObject* point = block.CreateMemoryObject(0, nullptr, TRUE);
    ASSERT_NE(point->GetBitArray(), nullptr);
    EXPECT_EQ(point->GetBitObject(0), nullptr);
    // A point of the base class makes no array at all.
    testsupport::PointBlock plain;
    plain.SetAddr("D0");
    CdsMemoryObject* basePoint = plain.CreateMemoryObject(0, nullptr, TRUE);
    EXPECT_EQ(basePoint->GetBitArray(), nullptr);
    EXPECT_EQ(basePoint->GetBitObject(0), nullptr);
}

} // namespace
