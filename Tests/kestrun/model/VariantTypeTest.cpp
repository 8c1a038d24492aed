#include "kestrun/model/VariantType.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace kestrun {
namespace {

struct ParseCase {
    const char* text;
    const char* code;
    int parsed;
    int storage;
    int packed;
    int size;
};

class VariantTypeParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(VariantTypeParseTest, Parses)
{
    const ParseCase& c = GetParam();
    const VariantTypeCode t = ParseVariantTypeCode(c.text);
    EXPECT_EQ(t.code, c.code) << c.text;
    EXPECT_EQ(t.parsed, c.parsed) << c.text;
    if (c.parsed < 0) return;
    EXPECT_EQ(t.storageType, c.storage) << c.text;
    EXPECT_EQ(t.packedCode, c.packed) << c.text;
    EXPECT_EQ(t.size, c.size) << c.text;
}

// clang-format off
const ParseCase kParse[] = {
    // text      code     parsed storage packed size
    {"B",        "B",     0,  0,  0,  1},
    {"BOOL",     "BOOL",  0,  0,  0,  1},
    {"BC",       "BC",    32, 4,  32, 2},
    {"bcd",      "BCD",   32, 4,  32, 2},
    {"F",        "F",     7,  7,  40, 4},
    {"FB",       "FB",    37, 7,  37, 4},
    {"FL",       "FL",    38, 7,  38, 4},
    {"FM",       "FM",    39, 7,  39, 4},
    {"FX",       "FX",    40, 7,  40, 4},
    {"FQ",       "FQ",    7,  7,  40, 4},
    {"HB",       "HB",    34, 2,  34, 1},
    {"HW",       "HW",    36, 4,  36, 2},
    {"I1",       "I1",    1,  1,  1,  1},
    {"I2",       "I2",    3,  3,  3,  2},
    {"I4",       "I4",    5,  5,  5,  4},
    {"I",        "I",     3,  3,  3,  2},
    {"S",        "S",     3,  3,  3,  2},
    {"LB",       "LB",    33, 2,  33, 1},
    {"LW",       "LW",    35, 4,  35, 2},
    {"L",        "L",     5,  5,  5,  4},
    {"M",        "M",     10, 10, 10, 0},
    {"M10",      "M10",   10, 10, 10, 10},
    {"m007",     "M007",  10, 10, 10, 7},
    {"M4096",    "M4096", 10, 10, 10, 4096},
    {"R4",       "R4",    7,  7,  40, 4},
    {"R4B",      "R4B",   37, 7,  37, 4},
    {"R4L",      "R4L",   38, 7,  38, 4},
    {"R4M",      "R4M",   39, 7,  39, 4},
    {"R4X",      "R4X",   40, 7,  40, 4},
    {" r4x ",    "R4X",   40, 7,  40, 4},
    {"R8",       "R8",    8,  8,  41, 8},
    {"R8B",      "R8B",   41, 8,  41, 8},
    {"R8L",      "R8L",   42, 8,  42, 8},
    {"R8M",      "R8M",   43, 8,  43, 8},
    {"R8X",      "R8X",   44, 8,  44, 8},
    {"RB",       "RB",    41, 8,  41, 8},
    {"RL",       "RL",    42, 8,  42, 8},
    {"RM",       "RM",    43, 8,  43, 8},
    {"RX",       "RX",    44, 8,  44, 8},
    {"R",        "R",     8,  8,  41, 8},
    {"R2",       "R2",    8,  8,  41, 8},
    {"UI1",      "UI1",   2,  2,  2,  1},
    {"UI2",      "UI2",   4,  4,  4,  2},
    {"UI4",      "UI4",   6,  6,  6,  4},
    {"UI",       "UI",    4,  4,  4,  2},
    {"U",        "U",     4,  4,  4,  2},
    {"UX",       "UX",    4,  4,  4,  2},
    // unknown words
    {"Q",        "Q",     -1, 0,  0,  0},
    {"H",        "H",     -1, 0,  0,  0},
    {"HX",       "HX",    -1, 0,  0,  0},
    {"",         "",      -1, 0,  0,  0},
    {"  ",       "",      -1, 0,  0,  0},
    {"1",        "1",     -1, 0,  0,  0},
    // text lengths from client text: digits only, bounded
    {"M-5",      "M-5",   -1, 0,  0,  0},
    {"M1X",      "M1X",   -1, 0,  0,  0},
    {"M 5",      "M 5",   -1, 0,  0,  0},
    {"M4097",    "M4097", 10, 10, 10, 4096},
    {"M99999999999999999999", "M99999999999999999999", 10, 10, 10, 4096},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Words, VariantTypeParseTest, testing::ValuesIn(kParse));

TEST(VariantTypeParseTest, OnlyPackedExtractsAreReadOnly)
{
    EXPECT_TRUE(ParseVariantTypeCode("LB").IsReadOnly());
    EXPECT_TRUE(ParseVariantTypeCode("HB").IsReadOnly());
    EXPECT_TRUE(ParseVariantTypeCode("LW").IsReadOnly());
    EXPECT_TRUE(ParseVariantTypeCode("HW").IsReadOnly());
    EXPECT_FALSE(ParseVariantTypeCode("BC").IsReadOnly());
    EXPECT_FALSE(ParseVariantTypeCode("R4X").IsReadOnly());
}

// Items of one block, from the base item on.
class Items : public VariantItemSource {
public:
    std::vector<_BRISANTDATAVALUE> cells;
    bool Item(int offset, _BRISANTDATAVALUE& cell) const override
    {
        if (offset < 0 || offset >= static_cast<int>(cells.size())) return false;
        cell = cells[static_cast<std::size_t>(offset)];
        return true;
    }
};

_BRISANTDATAVALUE Raw(ULONGLONG bits)
{
    _BRISANTDATAVALUE v{};
    v.ullVal = bits;
    return v;
}
_BRISANTDATAVALUE FloatCell(float f)
{
    _BRISANTDATAVALUE v{};
    v.fltVal = f;
    return v;
}
_BRISANTDATAVALUE DoubleCell(double d)
{
    _BRISANTDATAVALUE v{};
    v.dblVal = d;
    return v;
}

struct ReadCase {
    const char* name;
    const char* code;
    int itemType;
    std::vector<_BRISANTDATAVALUE> items;
    bool ok;
    ULONGLONG bits;  // the whole value cell on success
};

class VariantReadTest : public testing::TestWithParam<ReadCase> {};

TEST_P(VariantReadTest, Reads)
{
    const ReadCase& c = GetParam();
    Items items;
    items.cells = c.items;
    _BRISANTDATAVALUE value = Raw(0xDEADBEEFDEADBEEFull);
    std::string text;
    const bool ok = ReadVariantValue(ParseVariantTypeCode(c.code), c.itemType, items, value, text);
    ASSERT_EQ(ok, c.ok);
    if (ok) {
        EXPECT_EQ(value.ullVal, c.bits) << std::hex << value.ullVal;
    }
}

std::string PrintReadCase(const testing::TestParamInfo<ReadCase>& info) { return info.param.name; }

constexpr ULONGLONG kOneF = 0x3F800000ull;
constexpr ULONGLONG kOneD = 0x3FF0000000000000ull;

// clang-format off
const ReadCase kReads[] = {
    // floats from two words: the byte sequence lo(i) hi(i) lo(i+1) hi(i+1) = 80 3F 00 00
    {"FloatX_Words",     "F",   BRISANT_WORD,  {Raw(0x3F80), Raw(0x0000)}, true, kOneF},
    {"FloatR4_Words",    "R4",  BRISANT_WORD,  {Raw(0x3F80), Raw(0x0000)}, true, kOneF},
    {"FloatB_Words",     "FB",  BRISANT_WORD,  {Raw(0x3F80), Raw(0x0000)}, true, 0x00003F80},
    {"FloatL_Words",     "R4L", BRISANT_WORD,  {Raw(0x3F80), Raw(0x0000)}, true, 0x803F0000},
    {"FloatM_Words",     "FM",  BRISANT_WORD,  {Raw(0x3F80), Raw(0x0000)}, true, 0x0000803F},
    {"FloatB_Bytes",     "FB",  BRISANT_BYTE,  {Raw(0x00), Raw(0x00), Raw(0x80), Raw(0x3F)}, true, kOneF},
    {"FloatL_Bytes",     "FL",  BRISANT_BYTE,  {Raw(0x3F), Raw(0x80), Raw(0x00), Raw(0x00)}, true, kOneF},
    {"Float_MissingWord","F",   BRISANT_WORD,  {Raw(0x3F80)}, false, 0},
    {"Float_MissingByte","FB",  BRISANT_BYTE,  {Raw(0), Raw(0), Raw(0x80)}, false, 0},
    {"Float_NaN",        "FB",  BRISANT_WORD,  {Raw(0x0000), Raw(0x7FC0)}, false, 0},
    {"Float_OneFloat",   "FB",  BRISANT_FLOAT, {Raw(0x3F800000)}, true, kOneF},
    // doubles from four words, two dwords or eight bytes
    {"DoubleB_Words",    "R8",  BRISANT_WORD,  {Raw(0), Raw(0), Raw(0), Raw(0x3FF0)}, true, kOneD},
    {"DoubleL_Words",    "R8L", BRISANT_WORD,  {Raw(0x3FF0), Raw(0), Raw(0), Raw(0)}, true, kOneD},
    {"DoubleM_Words",    "RM",  BRISANT_WORD,  {Raw(0), Raw(0), Raw(0x3FF0), Raw(0)}, true, kOneD},
    {"DoubleX_Words",    "R8X", BRISANT_WORD,  {Raw(0), Raw(0x3FF0), Raw(0), Raw(0)}, true, kOneD},
    {"DoubleB_DWords",   "R",   BRISANT_DWORD, {Raw(0), Raw(0x3FF00000)}, true, kOneD},
    {"DoubleX_DWords",   "RX",  BRISANT_DWORD, {Raw(0x3FF00000), Raw(0)}, true, kOneD},
    {"DoubleB_Bytes",    "R8B", BRISANT_BYTE,  {Raw(0), Raw(0), Raw(0), Raw(0), Raw(0), Raw(0), Raw(0xF0), Raw(0x3F)}, true, kOneD},
    {"Double_Missing",   "R8",  BRISANT_WORD,  {Raw(0), Raw(0), Raw(0)}, false, 0},
    {"Double_NaN",       "R8",  BRISANT_WORD,  {Raw(0), Raw(0), Raw(0), Raw(0x7FF8)}, false, 0},
    {"Double_Floats",    "R8",  BRISANT_FLOAT, {Raw(0), Raw(0x3FF00000)}, true, kOneD},
    // BCD words
    {"Bcd_Word",         "BC",  BRISANT_WORD,  {Raw(0x1234)}, true, 1234},
    {"Bcd_Max",          "BC",  BRISANT_WORD,  {Raw(0x9999)}, true, 9999},
    {"Bcd_Bytes",        "BC",  BRISANT_BYTE,  {Raw(0x34), Raw(0x12)}, true, 1234},
    {"Bcd_LowOfDWord",   "BC",  BRISANT_DWORD, {Raw(0x56781234)}, true, 1234},
    // byte and word extracts
    {"HighByte",         "HB",  BRISANT_WORD,  {Raw(0xABCD)}, true, 0xAB},
    {"LowByte",          "LB",  BRISANT_WORD,  {Raw(0xABCD)}, true, 0xCD},
    {"HighByte_DWord",   "HB",  BRISANT_DWORD, {Raw(0x12345678)}, true, 0x78},
    {"HighWord",         "HW",  BRISANT_DWORD, {Raw(0x12345678)}, true, 0x1234},
    {"LowWord",          "LW",  BRISANT_DWORD, {Raw(0x12345678)}, true, 0x5678},
    {"Short_DWord",      "S",   BRISANT_DWORD, {Raw(0x1234FFFE)}, true, 0xFFFE},
    {"Bool_DWord",       "B",   BRISANT_DWORD, {Raw(0x00010000)}, true, 0},
    {"Bool_Word",        "B",   BRISANT_WORD,  {Raw(0x0100)}, true, 0x0100},
    {"Char_Word_NoRule", "I1",  BRISANT_WORD,  {Raw(0x12)}, false, 0},
    // integers from smaller items; a missing following item shortens the value
    {"Long_Words",       "I4",  BRISANT_WORD,  {Raw(0x5678), Raw(0x1234)}, true, 0x12345678},
    {"Long_OneWord",     "L",   BRISANT_WORD,  {Raw(0x5678)}, true, 0x5678},
    {"DWord_Bytes",      "UI4", BRISANT_BYTE,  {Raw(0x78), Raw(0x56), Raw(0x34), Raw(0x12)}, true, 0x12345678},
    {"DWord_ThreeBytes", "UI4", BRISANT_BYTE,  {Raw(0x78), Raw(0x56), Raw(0x34)}, true, 0x345678},
    {"Word_Bytes",       "U",   BRISANT_BYTE,  {Raw(0x34), Raw(0x12)}, true, 0x1234},
    {"Word_OneByte",     "UI2", BRISANT_BYTE,  {Raw(0x34)}, true, 0x34},
    {"Short_FromString", "S",   BRISANT_STRING,{Raw(0)}, false, 0},
    // floats to integers: truncated, saturated, NaN refused
    {"Long_Float",       "L",   BRISANT_FLOAT, {FloatCell(-1.9f)}, true, 0xFFFFFFFF},
    {"Long_FloatHigh",   "L",   BRISANT_FLOAT, {FloatCell(3e9f)}, true, 0x7FFFFFFF},
    {"Long_FloatLow",    "L",   BRISANT_FLOAT, {FloatCell(-3e9f)}, true, 0x80000000},
    {"Long_FloatNaN",    "L",   BRISANT_FLOAT, {FloatCell(std::numeric_limits<float>::quiet_NaN())}, false, 0},
    {"DWord_FloatNeg",   "UI4", BRISANT_FLOAT, {FloatCell(-5.0f)}, true, 0},
    {"DWord_FloatHigh",  "UI4", BRISANT_FLOAT, {FloatCell(5e9f)}, true, 0xFFFFFFFF},
    {"DWord_FloatInf",   "UI4", BRISANT_FLOAT, {FloatCell(std::numeric_limits<float>::infinity())}, true, 0xFFFFFFFF},
    {"Short_Double",     "S",   BRISANT_DOUBLE,{DoubleCell(1e6)}, true, 0x7FFF},
    {"Short_DoubleNeg",  "I2",  BRISANT_DOUBLE,{DoubleCell(-1e6)}, true, 0x8000},
    {"Word_DoubleNeg",   "U",   BRISANT_DOUBLE,{DoubleCell(-1.0)}, true, 0},
    {"Word_Float",       "U",   BRISANT_FLOAT, {FloatCell(70000.5f)}, true, 0xFFFF},
    {"Byte_Double",      "UI1", BRISANT_DOUBLE,{DoubleCell(300.7)}, true, 0xFF},
    {"Byte_DoubleNaN",   "UI1", BRISANT_DOUBLE,{DoubleCell(std::nan(""))}, false, 0},
    {"Bool_Double",      "B",   BRISANT_DOUBLE,{DoubleCell(65536.0)}, true, 0x7FFF},
    {"Bool_DoubleHalf",  "B",   BRISANT_DOUBLE,{DoubleCell(0.5)}, true, 0},
    {"Long_Double",      "L",   BRISANT_DOUBLE,{DoubleCell(1e12)}, true, 0x7FFFFFFF},
    {"Long_DoubleNaN",   "L",   BRISANT_DOUBLE,{DoubleCell(std::nan(""))}, false, 0},
    {"DWord_Double",     "UI4", BRISANT_DOUBLE,{DoubleCell(123456789.9)}, true, 123456789},
    {"DWord_DoubleHigh", "UI4", BRISANT_DOUBLE,{DoubleCell(1e20)}, true, 0xFFFFFFFF},
    {"Float_Double",     "F",   BRISANT_DOUBLE,{DoubleCell(1.0)}, true, kOneF},
    {"Float_DoubleHigh", "F",   BRISANT_DOUBLE,{DoubleCell(1e300)}, true, 0x7F7FFFFF},
    {"Float_DoubleLow",  "F",   BRISANT_DOUBLE,{DoubleCell(-1e300)}, true, 0xFF7FFFFF},
    {"Float_DoubleNaN",  "F",   BRISANT_DOUBLE,{DoubleCell(std::nan(""))}, false, 0},
    // integers to floats
    {"Float_Long",       "F",   BRISANT_LONG,  {Raw(0xFFFFFFFB)}, true, 0xC0A00000},
    {"Float_DWord",      "R4",  BRISANT_DWORD, {Raw(0xFFFFFFFB)}, true, 0x4F800000},
    // the base item must exist
    {"NoBase",           "U",   BRISANT_WORD,  {}, false, 0},
    {"UnknownWord",      "Q",   BRISANT_WORD,  {Raw(1)}, false, 0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Conversions, VariantReadTest, testing::ValuesIn(kReads), PrintReadCase);

struct TextCase {
    const char* code;
    int itemType;
    std::vector<_BRISANTDATAVALUE> items;
    bool ok;
    const char* text;
};

TEST(VariantTextTest, BuildsTextsFromItems)
{
    const TextCase cases[] = {
        // 16-bit items: high byte first
        {"M5", BRISANT_WORD, {Raw(0x4142), Raw(0x4344), Raw(0x4546)}, true, "ABCDE"},
        {"M6", BRISANT_WORD, {Raw(0x4142), Raw(0x4344), Raw(0x4546)}, true, "ABCDEF"},
        // stops at the first missing item
        {"M10", BRISANT_WORD, {Raw(0x4142)}, true, "AB"},
        {"M4", BRISANT_BYTE, {Raw('h'), Raw('i')}, true, "hi"},
        {"M2", BRISANT_BYTE, {Raw('h'), Raw('i'), Raw('!')}, true, "hi"},
        // 32-bit items: least significant byte first
        {"M6", BRISANT_DWORD, {Raw(0x64636261), Raw(0x00006665)}, true, "abcdef"},
        {"M", BRISANT_WORD, {Raw(0x4142)}, true, ""},
        {"M3", BRISANT_DOUBLE, {DoubleCell(1.0)}, false, ""},
        {"M3", BRISANT_WORD, {}, false, ""},
    };
    for (const TextCase& c : cases) {
        Items items;
        items.cells = c.items;
        _BRISANTDATAVALUE value{};
        std::string text = "old text that is longer";
        const bool ok = ReadVariantValue(ParseVariantTypeCode(c.code), c.itemType, items, value, text);
        ASSERT_EQ(ok, c.ok) << c.code;
        if (!ok) continue;
        ASSERT_NE(value.pszVal, nullptr);
        EXPECT_STREQ(value.pszVal, c.text) << c.code;
    }
}

TEST(VariantTextTest, ALongTextIsBoundedByTheClampedSize)
{
    Items items;
    items.cells.assign(5000, Raw(0x4141));
    _BRISANTDATAVALUE value{};
    std::string text;
    ASSERT_TRUE(ReadVariantValue(ParseVariantTypeCode("M999999"), BRISANT_WORD, items, value, text));
    EXPECT_EQ(std::strlen(value.pszVal), static_cast<std::size_t>(kMaxVariantTextSize));
}

TEST(VariantBcdTest, EncodesOnlyZeroTo9999)
{
    struct Case {
        long value;
        bool ok;
        WORD bcd;
    };
    const Case cases[] = {{0, true, 0x0000}, {7, true, 0x0007}, {1234, true, 0x1234}, {9999, true, 0x9999},
                          {10000, false, 0xEEEE}, {-1, false, 0xEEEE}, {65535, false, 0xEEEE}};
    for (const Case& c : cases) {
        WORD bcd = 0xEEEE;
        EXPECT_EQ(EncodeBcdWord(c.value, bcd), c.ok) << c.value;
        EXPECT_EQ(bcd, c.bcd) << c.value;
    }
    EXPECT_EQ(DecodeBcdWord(0x0509), 509);
}

TEST(VariantAccessTest, SizeAgainstTheItemTypeChoosesTheRoad)
{
    EXPECT_EQ(ChooseVariantAccess(4, BRISANT_WORD), VariantAccess::Upsize);
    EXPECT_EQ(ChooseVariantAccess(1, BRISANT_WORD), VariantAccess::Downsize);
    EXPECT_EQ(ChooseVariantAccess(2, BRISANT_SHORT), VariantAccess::Copy);
    EXPECT_EQ(ChooseVariantAccess(8, BRISANT_DOUBLE), VariantAccess::Copy);
}

TEST(VariantSaturateTest, TruncatesTowardZeroWithinBounds)
{
    long long out = 0;
    EXPECT_TRUE(TruncateSaturated(-2.9, -10, 10, out));
    EXPECT_EQ(out, -2);
    EXPECT_TRUE(TruncateSaturated(2.9, -10, 10, out));
    EXPECT_EQ(out, 2);
    EXPECT_TRUE(TruncateSaturated(1e300, -10, 10, out));
    EXPECT_EQ(out, 10);
    EXPECT_TRUE(TruncateSaturated(-std::numeric_limits<double>::infinity(), -10, 10, out));
    EXPECT_EQ(out, -10);
    EXPECT_FALSE(TruncateSaturated(std::nan(""), -10, 10, out));
}

} // namespace
} // namespace kestrun
