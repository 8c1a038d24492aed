#include "kestrun/model/DataType.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "platform/dde/BrisantToolkit.h"

namespace {

std::size_t LiveBlocks()
{
    return dde::Toolkit::Process().FindHeap(GetBrisantHeap())->Counters().liveBlocks;
}

class UtcTime : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC0", 1);
        tzset();
    }
};

char* HeapText(const char* text)
{
    auto* block = static_cast<char*>(AllocBrisantBlock(std::strlen(text) + 1));
    std::strcpy(block, text);
    return block;
}

BYTE* HeapCounted(const char* text, SHORT lengthWord = -1)
{
    std::size_t n = std::strlen(text);
    auto* block = static_cast<BYTE*>(AllocBrisantBlock(n + 4));
    dde::SetCountedLength(block, lengthWord < 0 ? static_cast<SHORT>(n) : lengthWord);
    std::memcpy(dde::CountedChars(block), text, n);
    return block;
}

template <typename T>
BYTE* HeapArray(int type, std::initializer_list<T> elements)
{
    auto* block = static_cast<BYTE*>(AllocBrisantBlock(dde::ArrayBlockSize(type, static_cast<DWORD>(elements.size()))));
    dde::SetArrayHeader(block, type, static_cast<DWORD>(elements.size()));
    std::size_t i = 0;
    for (T e : elements)
        std::memcpy(dde::ArrayElements(block) + sizeof(T) * i++, &e, sizeof(T));
    return block;
}

BYTE* HeapTextArray(std::initializer_list<const char*> texts)
{
    auto* block = static_cast<BYTE*>(AllocBrisantBlock(dde::ArrayBlockSize(BRISANT_STRINGARRAY, static_cast<DWORD>(texts.size()))));
    dde::SetArrayHeader(block, BRISANT_STRINGARRAY, static_cast<DWORD>(texts.size()));
    std::size_t i = 0;
    for (const char* t : texts) {
        char* copy = t ? HeapText(t) : nullptr;
        std::memcpy(dde::ArrayElements(block) + sizeof(char*) * i++, &copy, sizeof copy);
    }
    return block;
}

TEST(DataTypeName, TableAndOutsideCodes)
{
    struct Case { int type; const char* name; int size; };
    const Case cases[] = {
        {0, "Bool", 1}, {1, "Char", 1}, {2, "Byte", 1}, {3, "Short", 2}, {4, "Word", 2}, {5, "Long", 4},
        {6, "DWord", 4}, {7, "Float", 4}, {8, "Double", 8}, {9, "String(Handle)", 0}, {10, "String", 0},
        {11, "String(Fixed Length)", 0}, {12, "Bool(Array)", 0}, {19, "Float(Array)", 0},
        {22, "String(Array of FixedLength)", 0}, {23, nullptr, 0}, {32, nullptr, 2}, {33, nullptr, 1},
        {36, nullptr, 2}, {37, nullptr, 4}, {40, nullptr, 4}, {41, nullptr, 8}, {44, nullptr, 8},
        {45, nullptr, 0}, {-1, nullptr, 0}, {-100, nullptr, 0},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(GetDataTypeName(c.type), c.name) << c.type;
        EXPECT_EQ(GetDataTypeSize(c.type), c.size) << c.type;
    }
}

TEST(DataValue, CellIsEightBytesWithThePlainLayouts)
{
    _BRISANTDATAVALUE v{};
    v.ullVal = 0x1122334455667788ull;
    EXPECT_EQ(v.wVal, 0x7788);
    EXPECT_EQ(v.dw[0], 0x55667788u);
    EXPECT_EQ(v.dw[1], 0x11223344u);
    EXPECT_EQ(v.bVal, 0x88);
}

TEST(DataValue, InvalidMarkersFailTheirOwnTest)
{
    struct Case { int type; ULONGLONG bits; };
    const Case cases[] = {{BRISANT_BOOL, 0xFFFF}, {BRISANT_FLOAT, 0x7F7FFFFF}, {BRISANT_DOUBLE, 0x47EFFFFFE0000000ull}};
    for (const Case& c : cases) {
        _BRISANTDATAVALUE v{};
        EXPECT_TRUE(IsValidDataValue(c.type, v)) << c.type;
        InvalidateDataValue(c.type, v);
        EXPECT_EQ(c.type == BRISANT_BOOL ? v.wVal : c.type == BRISANT_FLOAT ? v.dwVal : v.ullVal, c.bits);
        EXPECT_FALSE(IsValidDataValue(c.type, v)) << c.type;
    }
}

TEST(DataValue, ValidityTable)
{
    struct Case { int type; _BRISANTDATAVALUE v; bool valid; };
    auto f = [](float x) { _BRISANTDATAVALUE v{}; v.fltVal = x; return v; };
    auto d = [](double x) { _BRISANTDATAVALUE v{}; v.dblVal = x; return v; };
    auto b = [](SHORT x) { _BRISANTDATAVALUE v{}; v.boolVal = x; return v; };
    const Case cases[] = {
        {BRISANT_BOOL, b(0), true}, {BRISANT_BOOL, b(1), true}, {BRISANT_BOOL, b(2), false},
        {BRISANT_FLOAT, f(3.4e38f), true}, {BRISANT_FLOAT, f(-3.4028235e38f), false},
        {BRISANT_FLOAT, f(std::numeric_limits<float>::quiet_NaN()), false},
        {BRISANT_DOUBLE, d(1e300), false}, {BRISANT_DOUBLE, d(-1.0), true},
        {BRISANT_LONG, d(1e300), true}, {BRISANT_BOOLARRAY, d(0), true}, {BRISANT_SHORTARRAY, d(0), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsValidDataValue(c.type, c.v), c.valid) << c.type;
}

TEST(DataValue, InvalidatingTextsAndBoolArrays)
{
    std::size_t before = LiveBlocks();
    _BRISANTDATAVALUE text{};
    text.pszVal = HeapText("abc");
    InvalidateDataValue(BRISANT_STRING, text);
    EXPECT_EQ(text.pszVal, nullptr);
    _BRISANTDATAVALUE counted{};
    counted.pcsVal = HeapCounted("abc");
    InvalidateDataValue(BRISANT_FIXEDSTRING, counted);
    EXPECT_EQ(counted.pcsVal, nullptr);
    EXPECT_EQ(LiveBlocks(), before);

    _BRISANTDATAVALUE array{};
    array.parrVal = HeapArray<LONG>(BRISANT_BOOLARRAY, {0, 1, 0});
    InvalidateDataValue(BRISANT_BOOLARRAY, array);
    for (DWORD i = 0; i < 3; ++i) {
        LONG e = 0;
        std::memcpy(&e, dde::ArrayElements(array.parrVal) + 4 * i, 4);
        EXPECT_EQ(e, -1);
    }
    ReleaseDataValue(BRISANT_BOOLARRAY, array);
    EXPECT_EQ(LiveBlocks(), before);
}

TEST(DataValue, ReleasingClearsTheCellWhateverItsType)
{
    // A point whose type changes releases its old value; the new type must find an empty
    // cell, not the old number (here the R8 invalid marker) to follow as a block pointer.
    _BRISANTDATAVALUE v{};
    InvalidateDataValue(BRISANT_DOUBLE, v);
    ReleaseDataValue(BRISANT_DOUBLE, v);
    ASSERT_EQ(v.ullVal, 0u);
    InvalidateDataValue(BRISANT_BOOLARRAY, v);
    EXPECT_EQ(v.parrVal, nullptr);
}

struct StepCase {
    const char* what;
    int type;
    _BRISANTDATAVALUE before;
    _BRISANTDATAVALUE after;
};

_BRISANTDATAVALUE Bits(ULONGLONG bits) { _BRISANTDATAVALUE v{}; v.ullVal = bits; return v; }
_BRISANTDATAVALUE F(float x) { _BRISANTDATAVALUE v{}; v.fltVal = x; return v; }
_BRISANTDATAVALUE D(double x) { _BRISANTDATAVALUE v{}; v.dblVal = x; return v; }
_BRISANTDATAVALUE L(LONG x) { _BRISANTDATAVALUE v{}; v.lVal = x; return v; }

TEST(GetNextNewValue, Edges)
{
    const StepCase cases[] = {
        {"bool 0", BRISANT_BOOL, Bits(0), Bits(1)},
        {"bool 1", BRISANT_BOOL, Bits(1), Bits(0)},
        {"bool marker", BRISANT_BOOL, Bits(0xFFFF), Bits(0)},
        {"char 127", BRISANT_CHAR, Bits(0x7F), Bits(0x80)},
        {"byte 255", BRISANT_BYTE, Bits(0xFF), Bits(0)},
        {"short max", BRISANT_SHORT, Bits(0x7FFF), Bits(0x8000)},
        {"word 65535", BRISANT_WORD, Bits(0xFFFF), Bits(0)},
        {"long max", BRISANT_LONG, L(2147483647), L(-2147483647 - 1)},
        {"long negative", BRISANT_LONG, L(-5), L(-2147483647 - 1)},
        {"long zero", BRISANT_LONG, L(0), L(1)},
        {"dword max", BRISANT_DWORD, Bits(0xFFFFFFFF), Bits(0)},
        {"float at 100", BRISANT_FLOAT, F(100.0f), F(-100.0f)},
        {"double 1000", BRISANT_DOUBLE, D(1000.0), D(-1000.0)},
        {"double 999.95", BRISANT_DOUBLE, D(999.95), D(999.95 + 0.1)},
        {"bcd low word", BRISANT_BCD, Bits(0x12345678), Bits(0x12340000)},
        {"handle low word", BRISANT_STRINGHANDLE, Bits(0xABCDEF), Bits(0xAB0000)},
        // An array cell is a pointer: stepping must not touch it.
        {"array pointer", BRISANT_SHORTARRAY, Bits(0x00007F0012345678ull), Bits(0x00007F0012345678ull)},
        {"bool array pointer", BRISANT_BOOLARRAY, Bits(0x00007F0012345678ull), Bits(0x00007F0012345678ull)},
    };
    for (const StepCase& c : cases) {
        _BRISANTDATAVALUE v = c.before;
        GetNextNewValue(c.type, &v);
        EXPECT_EQ(v.ullVal, c.after.ullVal) << c.what;
    }
}

TEST(GetNextNewValue, FloatClimbsPastOneHundredOnce)
{
    _BRISANTDATAVALUE v = F(99.95f);
    GetNextNewValue(BRISANT_FLOAT, &v);
    EXPECT_NEAR(v.fltVal, 100.05f, 1e-4);
    GetNextNewValue(BRISANT_FLOAT, &v);
    EXPECT_EQ(v.fltVal, -100.0f);
}

TEST_F(UtcTime, StringGetsTheTimeTextOnTheHeap)
{
    std::size_t before = LiveBlocks();
    _BRISANTDATAVALUE v{};
    GetNextNewValueAt(BRISANT_STRING, &v, 0);
    ASSERT_NE(v.pszVal, nullptr);
    EXPECT_STREQ(v.pszVal, "Thu Jan  1 00:00:00 1970\n");
    EXPECT_EQ(dde::Toolkit::Process().FindHeap(GetBrisantHeap())->BlockSize(v.pszVal), 26u);
    // A present text keeps its length and its terminator.
    GetNextNewValueAt(BRISANT_STRING, &v, 86400 * 40 + 3661);
    EXPECT_STREQ(v.pszVal, "Tue Feb 10 01:01:01 1970\n");
    ReleaseDataValue(BRISANT_STRING, v);

    v.pszVal = HeapText("abc");
    GetNextNewValueAt(BRISANT_STRING, &v, 0);
    EXPECT_STREQ(v.pszVal, "Thu");
    ReleaseDataValue(BRISANT_STRING, v);
    EXPECT_EQ(LiveBlocks(), before);
}

TEST_F(UtcTime, CountedStringCountsItsCharacters)
{
    std::size_t before = LiveBlocks();
    _BRISANTDATAVALUE v{};
    GetNextNewValueAt(BRISANT_FIXEDSTRING, &v, 0);
    ASSERT_NE(v.pcsVal, nullptr);
    EXPECT_EQ(dde::CountedLength(v.pcsVal), 25);
    EXPECT_EQ(std::string(dde::CountedChars(v.pcsVal)), "Thu Jan  1 00:00:00 1970\n");
    ReleaseDataValue(BRISANT_FIXEDSTRING, v);

    // A length word larger than its block is held to the block.
    v.pcsVal = HeapCounted("ab", 30000);
    GetNextNewValueAt(BRISANT_FIXEDSTRING, &v, 0);
    EXPECT_EQ(std::string(dde::CountedChars(v.pcsVal)), "Thu");  // 6-byte block: word, 3 characters, zero
    ReleaseDataValue(BRISANT_FIXEDSTRING, v);
    EXPECT_EQ(LiveBlocks(), before);
}

TEST(GetRandomValue, SameSecondSameValueAndRanges)
{
    for (int type : {BRISANT_CHAR, BRISANT_BYTE, BRISANT_SHORT, BRISANT_WORD, BRISANT_LONG, BRISANT_DWORD,
                     BRISANT_FLOAT, BRISANT_DOUBLE}) {
        EXPECT_EQ(GetRandomValueAt(type, 1700000000).ullVal, GetRandomValueAt(type, 1700000000).ullVal) << type;
    }
    for (std::time_t t = 0; t < 200; ++t) {
        EXPECT_GE(GetRandomValueAt(BRISANT_CHAR, t).cVal, 0);
        LONG s = GetRandomValueAt(BRISANT_SHORT, t).iVal;
        EXPECT_TRUE(s >= -16384 && s <= 16383);
        EXPECT_LE(GetRandomValueAt(BRISANT_WORD, t).wVal, 32767);
        EXPECT_EQ(GetRandomValueAt(BRISANT_LONG, t).lVal, GetRandomValueAt(BRISANT_SHORT, t).iVal);
        EXPECT_EQ(GetRandomValueAt(BRISANT_FLOAT, t).fltVal, static_cast<float>(GetRandomValueAt(BRISANT_SHORT, t).iVal));
    }
    EXPECT_EQ(GetRandomValueAt(BRISANT_BOOL, 5).ullVal, 1u);
    EXPECT_EQ(GetRandomValueAt(BRISANT_SHORTARRAY, 5).ullVal, 0u);
    std::size_t before = LiveBlocks();
    _BRISANTDATAVALUE text = GetRandomValueAt(BRISANT_STRING, 5);
    EXPECT_NE(text.pszVal, nullptr);
    ReleaseDataValue(BRISANT_STRING, text);
    EXPECT_EQ(LiveBlocks(), before);
}

// --- change test ---

struct Cells {
    _BRISANTDATAVALUE a{}, b{};
    int type = 0;
    Cells() = default;
    Cells(const Cells&) = delete;
    ~Cells() { ReleaseDataValue(type, a); ReleaseDataValue(type, b); }
};

TEST(IsNewDataValue, PlainMatrix)
{
    struct Case { const char* what; int type; ULONGLONG a; ULONGLONG b; bool touched; bool changed; };
    const ULONGLONG nanF = 0x7FC00000, nanD = 0x7FF8000000000000ull;
    const Case cases[] = {
        {"untouched equal", BRISANT_WORD, 5, 5, false, true},
        {"bool 1 vs 1", BRISANT_BOOL, 1, 1, true, false},
        {"bool 2 vs 1", BRISANT_BOOL, 2, 1, true, false},
        {"bool 0 vs 1", BRISANT_BOOL, 0, 1, true, true},
        {"byte upper bits ignored", BRISANT_BYTE, 0x1105, 0x2205, true, false},
        {"char differs", BRISANT_CHAR, 0x80, 0x7F, true, true},
        {"short upper ignored", BRISANT_SHORT, 0x10001, 0x20001, true, false},
        {"word differs", BRISANT_WORD, 1, 2, true, true},
        {"long upper ignored", BRISANT_LONG, 0x100000001ull, 1, true, false},
        {"dword differs", BRISANT_DWORD, 1, 2, true, true},
        {"float equal", BRISANT_FLOAT, 0x3F800000, 0x3F800000, true, false},
        {"float NaN new", BRISANT_FLOAT, nanF, 0x3F800000, true, true},
        {"float NaN both", BRISANT_FLOAT, nanF, nanF, true, true},
        {"double equal", BRISANT_DOUBLE, 0x3FF0000000000000ull, 0x3FF0000000000000ull, true, false},
        {"double NaN stored", BRISANT_DOUBLE, 0x3FF0000000000000ull, nanD, true, true},
        {"handle always", BRISANT_STRINGHANDLE, 0, 0, true, true},
        {"packed always", BRISANT_BCD, 0, 0, true, true},
        {"missing arrays unchanged", BRISANT_BOOLARRAY, 0, 0, true, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsNewDataValue(c.type, Bits(c.a), Bits(c.b), c.touched), c.changed) << c.what;
}

TEST(IsNewDataValue, TextMatrix)
{
    struct Case { const char* what; const char* a; const char* b; bool changed; };
    const Case cases[] = {
        {"equal", "abc", "abc", false}, {"case differs", "abc", "ABC", true}, {"differs", "abc", "abd", true},
        {"stored empty", "abc", "", true}, {"stored none", "abc", nullptr, true},
        {"new empty, stored set", "", "abc", true}, {"new none, stored set", nullptr, "abc", true},
        {"both empty", "", nullptr, false}, {"both none", nullptr, nullptr, false},
    };
    for (const Case& c : cases) {
        Cells s;
        s.type = BRISANT_STRING;
        s.a.pszVal = c.a ? HeapText(c.a) : nullptr;
        s.b.pszVal = c.b ? HeapText(c.b) : nullptr;
        EXPECT_EQ(IsNewDataValue(BRISANT_STRING, s.a, s.b, true), c.changed) << "string " << c.what;
        Cells k;
        k.type = BRISANT_FIXEDSTRING;
        k.a.pcsVal = c.a ? HeapCounted(c.a) : nullptr;
        k.b.pcsVal = c.b ? HeapCounted(c.b) : nullptr;
        EXPECT_EQ(IsNewDataValue(BRISANT_FIXEDSTRING, k.a, k.b, true), c.changed) << "counted " << c.what;
    }
    // A counted text with a length below 1 is empty whatever its characters.
    Cells k;
    k.type = BRISANT_FIXEDSTRING;
    k.a.pcsVal = HeapCounted("abc", 0);
    EXPECT_FALSE(IsNewDataValue(BRISANT_FIXEDSTRING, k.a, k.b, true));
}

TEST(IsNewDataValue, ArrayMatrix)
{
    struct Case { const char* what; int type; BYTE* a; BYTE* b; bool changed; };
    Case cases[] = {
        {"bool equal", BRISANT_BOOLARRAY, HeapArray<LONG>(BRISANT_BOOLARRAY, {0, 1}), HeapArray<LONG>(BRISANT_BOOLARRAY, {0, 1}), false},
        {"bool element", BRISANT_BOOLARRAY, HeapArray<LONG>(BRISANT_BOOLARRAY, {0, 1}), HeapArray<LONG>(BRISANT_BOOLARRAY, {0, 2}), true},
        {"bool count", BRISANT_BOOLARRAY, HeapArray<LONG>(BRISANT_BOOLARRAY, {0, 1}), HeapArray<LONG>(BRISANT_BOOLARRAY, {0}), true},
        {"short equal", BRISANT_SHORTARRAY, HeapArray<SHORT>(BRISANT_SHORTARRAY, {7, -7}), HeapArray<SHORT>(BRISANT_SHORTARRAY, {7, -7}), false},
        {"short element", BRISANT_SHORTARRAY, HeapArray<SHORT>(BRISANT_SHORTARRAY, {7, -7}), HeapArray<SHORT>(BRISANT_SHORTARRAY, {7, 7}), true},
        {"long never compared", BRISANT_LONGARRAY, HeapArray<LONG>(BRISANT_LONGARRAY, {1}), HeapArray<LONG>(BRISANT_LONGARRAY, {2}), false},
        {"text equal", BRISANT_STRINGARRAY, HeapTextArray({"a", "b"}), HeapTextArray({"a", "b"}), false},
        {"text element", BRISANT_STRINGARRAY, HeapTextArray({"a", "b"}), HeapTextArray({"a", "c"}), true},
        {"text missing element", BRISANT_STRINGARRAY, HeapTextArray({"a", nullptr}), HeapTextArray({"a", "b"}), true},
        {"missing new block", BRISANT_SHORTARRAY, nullptr, HeapArray<SHORT>(BRISANT_SHORTARRAY, {1}), false},
    };
    for (Case& c : cases) {
        Cells s;
        s.type = c.type;
        s.a.parrVal = c.a;
        s.b.parrVal = c.b;
        EXPECT_EQ(IsNewDataValue(c.type, s.a, s.b, true), c.changed) << c.what;
    }
}

TEST(IsNewDataValue, OversizedArrayCountIsNotReadPastItsBlock)
{
    Cells s;
    s.type = BRISANT_SHORTARRAY;
    s.a.parrVal = HeapArray<SHORT>(BRISANT_SHORTARRAY, {1, 2});
    s.b.parrVal = HeapArray<SHORT>(BRISANT_SHORTARRAY, {1, 2});
    dde::SetArrayHeader(s.a.parrVal, BRISANT_SHORTARRAY, 50000);  // lies about its size
    EXPECT_TRUE(IsNewDataValue(BRISANT_SHORTARRAY, s.a, s.b, true));
    EXPECT_FALSE(IsArrayBlockSound(BRISANT_SHORTARRAY, s.a.parrVal));
    dde::SetArrayHeader(s.a.parrVal, BRISANT_SHORTARRAY, 2);
}

TEST(CopyDataValue, DeepCopiesOwnTheirBlocks)
{
    std::size_t before = LiveBlocks();
    struct Case { int type; _BRISANTDATAVALUE source; std::size_t blocks; };
    _BRISANTDATAVALUE text{}, counted{}, shorts{}, texts{};
    text.pszVal = HeapText("hello");
    counted.pcsVal = HeapCounted("abc");
    shorts.parrVal = HeapArray<SHORT>(BRISANT_SHORTARRAY, {1, 2, 3});
    texts.parrVal = HeapTextArray({"x", nullptr, "zz"});
    const Case cases[] = {{BRISANT_STRING, text, 1}, {BRISANT_FIXEDSTRING, counted, 1},
                          {BRISANT_SHORTARRAY, shorts, 1}, {BRISANT_STRINGARRAY, texts, 3}};
    std::size_t sources = LiveBlocks();
    for (const Case& c : cases) {
        _BRISANTDATAVALUE copy{};
        ASSERT_TRUE(CopyDataValue(c.type, c.source, copy));
        EXPECT_NE(copy.parrVal, c.source.parrVal);
        EXPECT_FALSE(IsNewDataValue(c.type, copy, c.source, true)) << c.type;
        EXPECT_EQ(LiveBlocks(), sources + c.blocks) << c.type;
        ReleaseDataValue(c.type, copy);
        EXPECT_EQ(copy.ullVal, 0u);
        EXPECT_EQ(LiveBlocks(), sources) << c.type;
    }
    EXPECT_EQ(dde::CountedLength(counted.pcsVal), 3);
    for (const Case& c : cases) {
        _BRISANTDATAVALUE v = c.source;
        ReleaseDataValue(c.type, v);
    }
    EXPECT_EQ(LiveBlocks(), before);
}

} // namespace
