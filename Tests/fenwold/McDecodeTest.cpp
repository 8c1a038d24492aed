#include "fenwold/McDecode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "support/HexBytes.h"

namespace {

using testsupport::Ascii;
using testsupport::Hex;

// Records every delivery as "index=value" in the type's own reading.
class Recorder : public McValueSink {
public:
    explicit Recorder(int type) : m_type(type) {}
    void Deliver(int index, const _BRISANTDATAVALUE& v) override
    {
        std::ostringstream out;
        out << index << '=';
        switch (m_type) {
        case BRISANT_BOOL: out << v.boolVal; break;
        case BRISANT_CHAR: out << static_cast<int>(v.cVal); break;
        case BRISANT_BYTE: out << static_cast<int>(v.bVal); break;
        case BRISANT_SHORT: out << v.iVal; break;
        case BRISANT_WORD: out << v.wVal; break;
        case BRISANT_LONG: out << v.lVal; break;
        case BRISANT_DWORD: out << v.dwVal; break;
        case BRISANT_FLOAT: out << v.fltVal; break;
        case BRISANT_DOUBLE: out << v.dblVal; break;
        case BRISANT_STRING: out << '"' << (v.pszVal ? v.pszVal : "(null)") << '"'; break;
        case BRISANT_FIXEDSTRING: {
            SHORT n;
            std::memcpy(&n, v.pcsVal, sizeof n);
            out << n << ':' << std::string(reinterpret_cast<const char*>(v.pcsVal) + 2, static_cast<std::size_t>(n));
            break;
        }
        default: out << '?';
        }
        seen.push_back(out.str());
    }
    std::vector<std::string> seen;

private:
    int m_type;
};

struct DecodeCase {
    const char* name;
    int type;
    bool ascii;
    int bitOffset;
    int points;
    std::vector<BYTE> data;
    std::vector<std::string> expected;
};

class Decode : public testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, DeliversValues)
{
    const DecodeCase& c = GetParam();
    McBlockShape shape;
    shape.dataType = c.type;
    shape.ascii = c.ascii;
    shape.bitOffset = c.bitOffset;
    shape.points = c.points;
    shape.stringSize = c.points;
    Recorder r(c.type);
    EXPECT_TRUE(McDecodeValues(shape, c.data, r));
    EXPECT_EQ(r.seen, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Words, Decode,
    testing::Values(
        DecodeCase{"I2Binary", BRISANT_SHORT, false, 0, 3, Hex("34 12 FF FF 00 80"), {"0=4660", "1=-1", "2=-32768"}},
        DecodeCase{"I2Ascii", BRISANT_SHORT, true, 0, 3, Ascii("1234FFFF8000"), {"0=4660", "1=-1", "2=-32768"}},
        DecodeCase{"UI2AsciiLowerCase", BRISANT_WORD, true, 0, 2, Ascii("abcd00ff"), {"0=43981", "1=255"}},
        DecodeCase{"StopsAtThePointCount", BRISANT_WORD, false, 0, 1, Hex("01 00 02 00"), {"0=1"}},
        // Only complete values: a trailing odd byte is no value.
        DecodeCase{"PartialWordDropped", BRISANT_WORD, false, 0, 4, Hex("01 00 02"), {"0=1"}},
        DecodeCase{"PartialAsciiWordDropped", BRISANT_WORD, true, 0, 4, Ascii("000100"), {"0=1"}},
        DecodeCase{"AsciiWordsEndAtANonDigit", BRISANT_SHORT, true, 0, 4, Ascii("0001" "00G2" "0003"), {"0=1"}}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

// Words of a bit device read from the multiple of 16 below their head: each value
// takes the 16 bits from the offset on, across the word boundary.
INSTANTIATE_TEST_SUITE_P(
    ShiftedWords, Decode,
    testing::Values(
        DecodeCase{"I2BinaryOffset5", BRISANT_WORD, false, 5, 2, Hex("E0 FF 1F 00 01 00"), {"0=65535", "1=2048"}},
        DecodeCase{"I2AsciiOffset5", BRISANT_WORD, true, 5, 2, Ascii("FFE0" "001F" "0001"), {"0=65535", "1=2048"}},
        DecodeCase{"I4BinaryOffset1", BRISANT_DWORD, false, 1, 1, Hex("02 00 00 00 01 00"), {"0=2147483649"}}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    DoubleWords, Decode,
    testing::Values(
        DecodeCase{"I4Binary", BRISANT_LONG, false, 0, 2, Hex("78 56 34 12 FE FF FF FF"), {"0=305419896", "1=-2"}},
        // ASCII: the first four digits are the low word.
        DecodeCase{"I4AsciiLowWordFirst", BRISANT_LONG, true, 0, 1, Ascii("56781234"), {"0=305419896"}},
        DecodeCase{"UI4Ascii", BRISANT_DWORD, true, 0, 1, Ascii("0000FFFF"), {"0=4294901760"}},
        DecodeCase{"R4Binary", BRISANT_FLOAT, false, 0, 2, Hex("00 00 C0 3F 00 00 20 C1"), {"0=1.5", "1=-10"}},
        DecodeCase{"R4Ascii", BRISANT_FLOAT, true, 0, 1, Ascii("00003FC0"), {"0=1.5"}},
        // Infinity and NaN leave their points untouched; the walk goes on.
        DecodeCase{"R4NotFiniteSkipped", BRISANT_FLOAT, false, 0, 3, Hex("00 00 80 7F 01 00 C0 7F 00 00 80 3F"),
                   {"2=1"}},
        DecodeCase{"R8Binary", BRISANT_DOUBLE, false, 0, 1, Hex("00 00 00 00 00 00 F8 3F"), {"0=1.5"}},
        DecodeCase{"R8Ascii", BRISANT_DOUBLE, true, 0, 1, Ascii("000000000000" "3FF8"), {"0=1.5"}},
        DecodeCase{"PartialDoubleWordDropped", BRISANT_LONG, false, 0, 2, Hex("01 00 00 00 02 00"), {"0=1"}}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Bytes, Decode,
    testing::Values(
        // The low byte of each word comes first in both codes.
        DecodeCase{"UI1Binary", BRISANT_BYTE, false, 0, 3, Hex("41 42 43 44"), {"0=65", "1=66", "2=67"}},
        DecodeCase{"UI1Ascii", BRISANT_BYTE, true, 0, 3, Ascii("42414443"), {"0=65", "1=66", "2=67"}},
        DecodeCase{"I1Binary", BRISANT_CHAR, false, 0, 2, Hex("FF 7F"), {"0=-1", "1=127"}},
        DecodeCase{"I1Ascii", BRISANT_CHAR, true, 0, 2, Ascii("7FFF"), {"0=-1", "1=127"}}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Bits, Decode,
    testing::Values(
        DecodeCase{"OneWord", BRISANT_BOOL, false, 0, 4, Hex("05 00"), {"0=1", "1=0", "2=1", "3=0"}},
        // A block M5 of 20 points read from M0: bit 5 of word 0 is point 0, bit 8 of
        // word 1 is point 19; nothing beyond point 19.
        DecodeCase{"OffsetBlock", BRISANT_BOOL, false, 5, 20, Hex("20 00 00 01"),
                   {"0=1", "1=0", "2=0", "3=0", "4=0", "5=0", "6=0", "7=0", "8=0", "9=0", "10=0", "11=0",
                    "12=0", "13=0", "14=0", "15=0", "16=0", "17=0", "18=0", "19=1"}},
        DecodeCase{"AsciiWord", BRISANT_BOOL, true, 0, 3, Ascii("8003"), {"0=1", "1=1", "2=0"}}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Texts, Decode,
    testing::Values(
        DecodeCase{"StringBinary", BRISANT_STRING, false, 0, 8, Hex("41 42 43 00 45 46"), {"0=\"ABC\""}},
        DecodeCase{"StringAsciiLowByteFirst", BRISANT_STRING, true, 0, 8, Ascii("42414443"), {"0=\"ABCD\""}},
        DecodeCase{"StringCutToSize", BRISANT_STRING, false, 0, 2, Hex("41 42 43 44"), {"0=\"AB\""}},
        DecodeCase{"EmptyStringIsAbsent", BRISANT_STRING, false, 0, 4, Hex("00 41 42 43"), {"0=\"(null)\""}},
        DecodeCase{"CountedString", BRISANT_FIXEDSTRING, false, 0, 8, Hex("48 49 00 00"), {"0=2:HI"}}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

TEST(Decode, EmptyDataIsAFailure)
{
    McBlockShape shape;
    shape.points = 4;
    Recorder r(BRISANT_WORD);
    EXPECT_FALSE(McDecodeValues(shape, {}, r));
    EXPECT_TRUE(r.seen.empty());
}

// Past the first few hundred words a block's values still arrive in order, each once,
// and an ASCII word that is not four digits ends them there.
TEST(Decode, LongWordBlocksDeliverEveryValueInOrder)
{
    for (const bool ascii : {false, true}) {
        McBlockShape shape;
        shape.ascii = ascii;
        shape.points = 600;
        std::vector<BYTE> data;
        for (int i = 0; i < 700; ++i) {
            char digits[5];
            std::snprintf(digits, sizeof digits, "%04X", i * 7);
            if (ascii)
                data.insert(data.end(), digits, digits + 4);
            else
                data.insert(data.end(), {static_cast<BYTE>(i * 7), static_cast<BYTE>(i * 7 >> 8)});
        }
        Recorder all(BRISANT_WORD);
        EXPECT_TRUE(McDecodeValues(shape, data, all));
        ASSERT_EQ(all.seen.size(), 600u) << ascii;
        EXPECT_EQ(all.seen[599], "599=4193") << ascii;
        if (!ascii)
            continue;
        data[4 * 300 + 2] = 'x';
        Recorder cut(BRISANT_WORD);
        EXPECT_TRUE(McDecodeValues(shape, data, cut));
        ASSERT_EQ(cut.seen.size(), 300u);
        EXPECT_EQ(cut.seen[299], "299=2093");
    }
}

TEST(Decode, UnknownTypesDeliverNothing)
{
    McBlockShape shape;
    shape.dataType = BRISANT_BCD;
    shape.points = 4;
    Recorder r(shape.dataType);
    const auto data = Hex("01 00");
    EXPECT_TRUE(McDecodeValues(shape, data, r));
    EXPECT_TRUE(r.seen.empty());
}

}  // namespace
