#include "kestrun/model/EventData.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kestrun/model/DataType.h"
#include "platform/dde/BrisantBlocks.h"
#include "support/model/ModelFakes.h"

namespace {

std::vector<BYTE> Bytes(const void* p, std::size_t n)
{
    const auto* b = static_cast<const BYTE*>(p);
    return std::vector<BYTE>(b, b + n);
}

using testsupport::Cell;

// A Bool array block on the process heap: header, then the 32-bit elements.
std::vector<BYTE> BoolArray(const std::vector<LONG>& elements)
{
    std::vector<BYTE> block(dde::ArrayBlockSize(BRISANT_BOOLARRAY, static_cast<DWORD>(elements.size())));
    dde::SetArrayHeader(block.data(), BRISANT_BOOLARRAY, static_cast<DWORD>(elements.size()));
    if (!elements.empty())
        std::memcpy(dde::ArrayElements(block.data()), elements.data(), elements.size() * sizeof(LONG));
    return block;
}

struct PlainCase {
    int type;
    ULONGLONG bits;
};

class EventDataPlain : public ::testing::TestWithParam<PlainCase> {};

// Every type that holds no pointer is carried as all 8 bytes.
TEST_P(EventDataPlain, CarriesAllEightBytesUnchanged)
{
    CdsEventData event;
    ASSERT_TRUE(event.SetValue(Cell(GetParam().bits), GetParam().type));
    EXPECT_EQ(event.GetValue().ullVal, GetParam().bits);
    EXPECT_EQ(event.GetDataType(), GetParam().type);
    event.DeleteContents();
    EXPECT_EQ(event.GetValue().ullVal, 0u);
}

INSTANTIATE_TEST_SUITE_P(Types, EventDataPlain,
                         ::testing::Values(PlainCase{BRISANT_BOOL, 0xFFFF}, PlainCase{BRISANT_CHAR, 0x80},
                                           PlainCase{BRISANT_WORD, 0xBEEF}, PlainCase{BRISANT_LONG, 0x80000001},
                                           PlainCase{BRISANT_FLOAT, 0x7F7FFFFF},
                                           PlainCase{BRISANT_DOUBLE, 0x47EFFFFFE0000000ull},
                                           PlainCase{BRISANT_STRINGHANDLE, 0x1122334455667788ull},
                                           PlainCase{BRISANT_BCD, 0x1234}, PlainCase{BRISANT_DOUBLE_X, 0x8877665544332211ull},
                                           PlainCase{BRISANT_NOTYPE, 0xA5A5A5A5A5A5A5A5ull},
                                           PlainCase{99, 0x0102030405060708ull}));

TEST(EventDataText, KeepsItsOwnCopyOfTheText)
{
    auto source = std::make_unique<char[]>(16);
    std::strcpy(source.get(), "Pump 7");
    _BRISANTDATAVALUE v;
    v.pszVal = source.get();
    // The whole pointer is taken, not its low half.
    static_assert(sizeof(char*) == 8);

    CdsEventData event;
    ASSERT_TRUE(event.SetValue(v, BRISANT_STRING));
    ASSERT_NE(event.GetValue().pszVal, source.get());
    std::strcpy(source.get(), "changed");
    source.reset();
    EXPECT_EQ(Bytes(event.GetValue().pszVal, 7), (std::vector<BYTE>{'P', 'u', 'm', 'p', ' ', '7', 0}));
}

TEST(EventDataText, UnterminatedToolkitTextIsCutAtItsBlock)
{
    auto* block = static_cast<char*>(AllocBrisantBlock(4));
    std::memcpy(block, "ABCD", 4);
    _BRISANTDATAVALUE v;
    v.pszVal = block;
    CdsEventData event;
    ASSERT_TRUE(event.SetValue(v, BRISANT_STRING));
    FreeBrisantBlock(block);
    EXPECT_EQ(Bytes(event.GetValue().pszVal, 5), (std::vector<BYTE>{'A', 'B', 'C', 'D', 0}));
}

TEST(EventDataText, MissingTextStaysNone)
{
    CdsEventData event;
    ASSERT_TRUE(event.SetValue(Cell(0), BRISANT_STRING));
    EXPECT_EQ(event.GetValue().pszVal, nullptr);
    ASSERT_TRUE(event.SetValue(Cell(0), BRISANT_FIXEDSTRING));
    EXPECT_EQ(event.GetValue().pcsVal, nullptr);
}

struct CountedCase {
    const char* name;
    SHORT lengthWord;
    std::string chars;
    std::vector<BYTE> expected;  // the copy's buffer: length word, characters, zeros
};

class EventDataCounted : public ::testing::TestWithParam<CountedCase> {};

TEST_P(EventDataCounted, CopiesLengthWordAndCharacters)
{
    const CountedCase& c = GetParam();
    std::vector<BYTE> source(2 + c.chars.size() + 1, 0);
    dde::SetCountedLength(source.data(), c.lengthWord);
    std::memcpy(source.data() + 2, c.chars.data(), c.chars.size());
    _BRISANTDATAVALUE v;
    v.pcsVal = source.data();

    CdsEventData event;
    ASSERT_TRUE(event.SetValue(v, BRISANT_FIXEDSTRING));
    ASSERT_NE(event.GetValue().pcsVal, nullptr);
    ASSERT_NE(event.GetValue().pcsVal, source.data());
    std::fill(source.begin(), source.end(), 0xEE);
    EXPECT_EQ(Bytes(event.GetValue().pcsVal, c.expected.size()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, EventDataCounted,
    ::testing::Values(CountedCase{"Three", 3, "XYZ", {0x03, 0x00, 'X', 'Y', 'Z', 0x00, 0x00}},
                      CountedCase{"One", 1, "Q", {0x01, 0x00, 'Q', 0x00, 0x00}},
                      // A length below 1 is an empty counted text: no negative buffer size.
                      CountedCase{"Zero", 0, "AB", {0x00, 0x00, 0x00, 0x00}},
                      CountedCase{"MinusOne", -1, "AB", {0x00, 0x00, 0x00, 0x00}},
                      CountedCase{"MinusFour", -4, "AB", {0x00, 0x00, 0x00, 0x00}},
                      CountedCase{"MostNegative", -32768, "", {0x00, 0x00, 0x00, 0x00}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EventDataCountedBounds, ReadsNoFurtherThanAToolkitBlockHolds)
{
    // A length word that claims more characters than its heap block holds.
    auto* block = static_cast<BYTE*>(AllocBrisantBlock(6));
    dde::SetCountedLength(block, 40);
    std::memcpy(block + 2, "ABCD", 4);
    _BRISANTDATAVALUE v;
    v.pcsVal = block;

    CdsEventData event;
    ASSERT_TRUE(event.SetValue(v, BRISANT_FIXEDSTRING));
    FreeBrisantBlock(block);
    const BYTE* copy = event.GetValue().pcsVal;
    EXPECT_EQ(dde::CountedLength(copy), 40);
    EXPECT_EQ(Bytes(copy + 2, 6), (std::vector<BYTE>{'A', 'B', 'C', 'D', 0, 0}));
}

TEST(EventDataArray, CopiesTheWholeBoolArrayBlock)
{
    std::vector<BYTE> source = BoolArray({1, -1, 0});
    _BRISANTDATAVALUE v;
    v.parrVal = source.data();

    CdsEventData event;
    ASSERT_TRUE(event.SetValue(v, BRISANT_BOOLARRAY));
    ASSERT_NE(event.GetValue().parrVal, source.data());
    std::vector<BYTE> golden = {0x0C, 0x00, 0x04, 0x00, 0x03, 0x00, 0x00, 0x00,  // type, element size, count
                                0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00};
    source.assign(source.size(), 0x55);
    EXPECT_EQ(Bytes(event.GetValue().parrVal, golden.size()), golden);
}

TEST(EventDataArray, EmptyBoolArrayIsHeaderOnly)
{
    std::vector<BYTE> source = BoolArray({});
    _BRISANTDATAVALUE v;
    v.parrVal = source.data();
    CdsEventData event;
    ASSERT_TRUE(event.SetValue(v, BRISANT_BOOLARRAY));
    EXPECT_EQ(dde::ArrayCount(event.GetValue().parrVal), 0u);
}

struct RefusedCase {
    const char* name;
    int type;
    enum { Null, Valid, Oversized, Truncated } source;
};

class EventDataRefused : public ::testing::TestWithParam<RefusedCase> {};

// Refused values leave the record holding none, so nothing half-made is queued.
TEST_P(EventDataRefused, IsRefusedAndHoldsNone)
{
    const RefusedCase& c = GetParam();
    std::vector<BYTE> header(dde::kArrayHeaderSize + 16, 0);
    BYTE* heapBlock = nullptr;
    _BRISANTDATAVALUE v;
    v.ullVal = 0;
    switch (c.source) {
    case RefusedCase::Null: break;
    case RefusedCase::Valid:
        dde::SetArrayHeader(header.data(), c.type, 1);
        v.parrVal = header.data();
        break;
    case RefusedCase::Oversized:
        // Only the header exists: the count must be refused before any element is read.
        dde::SetArrayHeader(header.data(), c.type, dde::kMaxArrayElements + 1);
        v.parrVal = header.data();
        break;
    case RefusedCase::Truncated:
        heapBlock = static_cast<BYTE*>(AllocBrisantBlock(dde::kArrayHeaderSize + 4));
        dde::SetArrayHeader(heapBlock, c.type, 5);
        v.parrVal = heapBlock;
        break;
    }
    CdsEventData event;
    EXPECT_FALSE(event.SetValue(v, c.type));
    EXPECT_EQ(event.GetValue().ullVal, 0u);
    FreeBrisantBlock(heapBlock);
}

INSTANTIATE_TEST_SUITE_P(
    Values, EventDataRefused,
    ::testing::Values(RefusedCase{"BoolArrayNull", BRISANT_BOOLARRAY, RefusedCase::Null},
                      RefusedCase{"BoolArrayOversized", BRISANT_BOOLARRAY, RefusedCase::Oversized},
                      RefusedCase{"BoolArrayTruncated", BRISANT_BOOLARRAY, RefusedCase::Truncated},
                      RefusedCase{"CharArray", BRISANT_CHARARRAY, RefusedCase::Valid},
                      RefusedCase{"ByteArray", BRISANT_BYTEARRAY, RefusedCase::Valid},
                      RefusedCase{"ShortArray", BRISANT_SHORTARRAY, RefusedCase::Valid},
                      RefusedCase{"WordArray", BRISANT_WORDARRAY, RefusedCase::Valid},
                      RefusedCase{"LongArray", BRISANT_LONGARRAY, RefusedCase::Valid},
                      RefusedCase{"DWordArray", BRISANT_DWORDARRAY, RefusedCase::Valid},
                      RefusedCase{"FloatArray", BRISANT_FLOATARRAY, RefusedCase::Valid},
                      RefusedCase{"DoubleArray", BRISANT_DOUBLEARRAY, RefusedCase::Valid},
                      RefusedCase{"StringArray", BRISANT_STRINGARRAY, RefusedCase::Valid},
                      RefusedCase{"FixedStringArray", BRISANT_FIXEDSTRINGARRAY, RefusedCase::Valid},
                      RefusedCase{"StringArrayNull", BRISANT_STRINGARRAY, RefusedCase::Null}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EventDataLifetime, ReplacingTheValueFreesTheOldCopy)
{
    char text[] = "first";
    _BRISANTDATAVALUE v;
    v.pszVal = text;
    CdsEventData event;
    ASSERT_TRUE(event.SetValue(v, BRISANT_STRING));
    std::vector<BYTE> array = BoolArray({1});
    v.parrVal = array.data();
    ASSERT_TRUE(event.SetValue(v, BRISANT_BOOLARRAY));
    // Back to a plain type: the array copy is released, not reinterpreted.
    ASSERT_TRUE(event.SetValue(Cell(5), BRISANT_LONG));
    EXPECT_EQ(event.GetValue().lVal, 5);
}

TEST(EventDataLifetime, DestroyFreesTheRecordOnlyWhenItsFlagIsSet)
{
    char text[] = "kept";
    _BRISANTDATAVALUE v;
    v.pszVal = text;

    auto* owned = new CdsEventData;
    ASSERT_TRUE(owned->IsDeleteOnDestroy());
    ASSERT_TRUE(owned->SetValue(v, BRISANT_STRING));
    owned->Destroy();  // the sanitizer reports a leak or a double free

    CdsEventData onStack;
    onStack.SetDeleteOnDestroy(FALSE);
    ASSERT_TRUE(onStack.SetValue(v, BRISANT_STRING));
    onStack.Destroy();
    EXPECT_EQ(onStack.GetValue().pszVal, nullptr);
    onStack.Destroy();  // a second Destroy finds nothing left to free
}

} // namespace
