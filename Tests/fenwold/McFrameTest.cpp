#include "fenwold/McFrame.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <sstream>
#include <string>

#include "fenwold/McSerialCounters.h"
#include "support/HexBytes.h"

namespace {

using testsupport::Ascii;
using testsupport::Hex;

constexpr WORD M = 0x90, SM = 0x91, F = 0x93, X = 0x9C, B = 0xA0, SB = 0xA1, D = 0xA8,
               ZR = 0xB0, W = 0xB4;

std::string Show(const McBuffer& b, bool ascii)
{
    return ascii ? std::string(b.begin(), b.end()) : testsupport::HexText(b);
}

McTarget Target(McFrameKind kind, bool ascii)
{
    McTarget t;
    t.kind = kind;
    t.ascii = ascii;
    t.serial = 0x1234;
    return t;
}

const McTarget k1EBin = Target(McFrameKind::E1, false);
const McTarget k1EAsc = Target(McFrameKind::E1, true);
const McTarget k3EBin = Target(McFrameKind::E3, false);
const McTarget k3EAsc = Target(McFrameKind::E3, true);
const McTarget k4EBin = Target(McFrameKind::E4, false);
const McTarget k4EAsc = Target(McFrameKind::E4, true);

using Build = std::function<bool(McBuffer&, const McTarget&)>;

struct GoldenCase {
    const char* name;
    const McTarget* target;
    Build build;
    McBuffer expected;   // empty: the request is refused
};

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

class Golden : public testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, Bytes)
{
    const GoldenCase& c = GetParam();
    McBuffer out{0xEE};   // leftovers of an earlier build must go
    const bool built = c.build(out, *c.target);
    EXPECT_EQ(built, !c.expected.empty());
    EXPECT_EQ(Show(out, c.target->ascii), Show(c.expected, c.target->ascii));
    if (built) {
        EXPECT_TRUE(McIsValidQuery(c.target->kind, c.target->ascii, out));
    }
}

std::string CaseName(const testing::TestParamInfo<GoldenCase>& info)
{
    return info.param.name;
}

Build Read(WORD device, DWORD head, unsigned points)
{
    return [=](McBuffer& out, const McTarget& t) {
        return McBuildBatchRead(out, t, device, head, points);
    };
}

// Batch read of D100..D102, as in the manufacturer's worked examples (with our
// monitoring timers: 0x000A on 1E, 0 on 3E/4E).
INSTANTIATE_TEST_SUITE_P(BatchRead, Golden, testing::Values(
    GoldenCase{"E1Bin", &k1EBin, Read(D, 100, 3), Hex("01 FF 0A 00 64 00 00 00 20 44 03 00")},
    GoldenCase{"E1Asc", &k1EAsc, Read(D, 100, 3), Ascii("01FF000A4420000000640300")},
    GoldenCase{"E3Bin", &k3EBin, Read(D, 100, 3),
               Hex("50 00 00 FF FF 03 00 0C 00 00 00 01 04 00 00 64 00 00 A8 03 00")},
    GoldenCase{"E3Asc", &k3EAsc, Read(D, 100, 3),
               Ascii("500000FF03FF000018000004010000D 0001000003")},
    GoldenCase{"E4Bin", &k4EBin, Read(D, 100, 3),
               Hex("54 00 34 12 00 00 00 FF FF 03 00 0C 00 00 00 01 04 00 00 64 00 00 A8 03 00")},
    GoldenCase{"E4Asc", &k4EAsc, Read(D, 100, 3),
               Ascii("540012340000" "00FF03FF00" "0018" "0000" "0401" "0000" "D 000100" "0003")},
    // hexadecimal devices keep their numbering in ASCII; 1E numbers are always hex
    GoldenCase{"E3AscHexDevice", &k3EAsc, Read(X, 0x1F0, 2),
               Ascii("500000FF03FF000018000004010000X 0001F00002")},
    GoldenCase{"E3AscTwoLetters", &k3EAsc, Read(ZR, 0x1234, 1),
               Ascii("500000FF03FF000018000004010000ZR0012340001")},
    GoldenCase{"E3AscDecimalTwoLetters", &k3EAsc, Read(SM, 400, 1),
               Ascii("500000FF03FF000018000004010000SM0004000001")},
    GoldenCase{"E1AscHexDevice", &k1EAsc, Read(W, 0x1F0, 2), Ascii("01FF000A57200000" "01F00200")},
    GoldenCase{"E1BinBitDevice", &k1EBin, Read(M, 96, 2), Hex("01 FF 0A 00 60 00 00 00 20 4D 02 00")},
    GoldenCase{"E1Bin100Words", &k1EBin, Read(D, 0, 100), Hex("01 FF 0A 00 00 00 00 00 20 44 64 00")},
    GoldenCase{"E1Bin256Words", &k1EBin, Read(D, 0, 256), Hex("01 FF 0A 00 00 00 00 00 20 44 00 00")},
    // the device monitor query: one word of F0
    GoldenCase{"MonitorE3Bin", &k3EBin, Read(F, 0, 1),
               Hex("50 00 00 FF FF 03 00 0C 00 00 00 01 04 00 00 00 00 00 93 01 00")},
    GoldenCase{"MonitorE1Asc", &k1EAsc, Read(F, 0, 1), Ascii("01FF000A4620000000000100")},
    // refused
    GoldenCase{"E1Over256", &k1EBin, Read(D, 0, 257), {}},
    GoldenCase{"E1SB", &k1EBin, Read(SB, 0, 1), {}},
    GoldenCase{"E1ZR", &k1EAsc, Read(ZR, 0, 1), {}},
    GoldenCase{"E1SM", &k1EBin, Read(SM, 0, 1), {}},
    GoldenCase{"E3NoPoints", &k3EBin, Read(D, 0, 0), {}},
    GoldenCase{"E3Over16Bits", &k3EBin, Read(D, 0, 0x10000), {}},
    GoldenCase{"E3NumberTooLarge", &k3EAsc, Read(D, 1000000, 1), {}},
    GoldenCase{"UnknownDevice", &k3EBin, Read(0x99, 0, 1), {}}),
    CaseName);

Build Point(int type, WORD device, DWORD number, DWORD value)
{
    return [=](McBuffer& out, const McTarget& t) {
        return McBuildPointWrite(out, t, type, device, number, value);
    };
}

// Random write of one point.
INSTANTIATE_TEST_SUITE_P(RandomWrite, Golden, testing::Values(
    // bits: bit units, value 00/01 in every code
    GoldenCase{"BitE1Bin", &k1EBin, Point(0, M, 10, 1), Hex("04 FF 0A 00 01 00 0A 00 00 00 20 4D 01")},
    GoldenCase{"BitE1Asc", &k1EAsc, Point(0, M, 10, 1), Ascii("04FF000A0100" "4D20" "0000000A" "01")},
    GoldenCase{"BitE3Bin", &k3EBin, Point(0, M, 10, 1),
               Hex("50 00 00 FF FF 03 00 0C 00 00 00 02 14 01 00 01 0A 00 00 90 01")},
    GoldenCase{"BitE3Asc", &k3EAsc, Point(0, M, 10, 0),
               Ascii("500000FF03FF00" "0018" "0000" "1402" "0001" "01" "M 000010" "00")},
    GoldenCase{"BitE4Bin", &k4EBin, Point(0, B, 0x1F, 7),
               Hex("54 00 34 12 00 00 00 FF FF 03 00 0C 00 00 00 02 14 01 00 01 1F 00 00 A0 01")},
    GoldenCase{"BitE4Asc", &k4EAsc, Point(0, B, 0x1F, 1),
               Ascii("540012340000" "00FF03FF00" "0018" "0000" "1402" "0001" "01" "B 00001F" "01")},
    // words: word units, also to bit devices (16 bits from the element)
    GoldenCase{"WordE1Bin", &k1EBin, Point(3, D, 100, 0x1234),
               Hex("05 FF 0A 00 01 00 64 00 00 00 20 44 34 12")},
    GoldenCase{"WordE1Asc", &k1EAsc, Point(3, D, 100, 0x1234),
               Ascii("05FF000A0100" "4420" "00000064" "1234")},
    GoldenCase{"WordE3Bin", &k3EBin, Point(4, D, 100, 0xABCD),
               Hex("50 00 00 FF FF 03 00 0E 00 00 00 02 14 00 00 01 00 64 00 00 A8 CD AB")},
    GoldenCase{"WordE3Asc", &k3EAsc, Point(4, D, 100, 0xABCD),
               Ascii("500000FF03FF00" "001C" "0000" "1402" "0000" "01" "00" "D 000100" "ABCD")},
    GoldenCase{"WordToBitDeviceE3Bin", &k3EBin, Point(4, M, 16, 0x00FF),
               Hex("50 00 00 FF FF 03 00 0E 00 00 00 02 14 00 00 01 00 10 00 00 90 FF 00")},
    GoldenCase{"WordE4Bin", &k4EBin, Point(3, W, 0x100, 1),
               Hex("54 00 34 12 00 00 00 FF FF 03 00 0E 00 00 00 02 14 00 00 01 00 00 01 00 B4 01 00")},
    GoldenCase{"WordE4Asc", &k4EAsc, Point(3, W, 0x100, 1),
               Ascii("540012340000" "00FF03FF00" "001C" "0000" "1402" "0000" "01" "00" "W 000100" "0001")},
    // double words: 3E/4E only
    GoldenCase{"DwordE3Bin", &k3EBin, Point(5, D, 100, 0x12345678),
               Hex("50 00 00 FF FF 03 00 10 00 00 00 02 14 00 00 00 01 64 00 00 A8 78 56 34 12")},
    GoldenCase{"DwordE3Asc", &k3EAsc, Point(6, D, 100, 0x12345678),
               Ascii("500000FF03FF00" "0020" "0000" "1402" "0000" "00" "01" "D 000100" "12345678")},
    GoldenCase{"FloatE4Bin", &k4EBin, Point(7, D, 0, 0x3F800000),
               Hex("54 00 34 12 00 00 00 FF FF 03 00 10 00 00 00 02 14 00 00 00 01 00 00 00 A8 00 00 80 3F")},
    GoldenCase{"FloatE4Asc", &k4EAsc, Point(7, D, 0, 0x3F800000),
               Ascii("540012340000" "00FF03FF00" "0020" "0000" "1402" "0000" "00" "01" "D 000000" "3F800000")},
    GoldenCase{"DwordE1Refused", &k1EBin, Point(5, D, 0, 1), {}},
    GoldenCase{"DwordE1AscRefused", &k1EAsc, Point(7, D, 0, 1), {}},
    // not written at all
    GoldenCase{"BitOfWordDevice", &k3EBin, Point(0, D, 100, 1), {}},
    GoldenCase{"ReadOnlyX", &k3EBin, Point(0, X, 0, 1), {}},
    GoldenCase{"ByteType", &k3EBin, Point(2, D, 0, 1), {}},
    GoldenCase{"DoubleType", &k3EBin, Point(8, D, 0, 1), {}},
    GoldenCase{"StringAsPoint", &k3EBin, Point(10, D, 0, 1), {}},
    GoldenCase{"E1ZRWord", &k1EBin, Point(3, ZR, 0, 1), {}}),
    CaseName);

Build Words(WORD device, DWORD head, std::vector<WORD> words)
{
    return [=](McBuffer& out, const McTarget& t) {
        return McBuildBatchWriteWords(out, t, device, head, words);
    };
}

Build Bits(WORD device, DWORD head, std::vector<BYTE> bits)
{
    return [=](McBuffer& out, const McTarget& t) {
        return McBuildBatchWriteBits(out, t, device, head, bits);
    };
}

Build Text(WORD device, DWORD head, std::string text, int size)
{
    return [=](McBuffer& out, const McTarget& t) {
        return McBuildStringWrite(out, t, device, head, text, size);
    };
}

INSTANTIATE_TEST_SUITE_P(BatchWrite, Golden, testing::Values(
    GoldenCase{"WordsE1Bin", &k1EBin, Words(D, 100, {0x1234, 0x5678}),
               Hex("03 FF 0A 00 64 00 00 00 20 44 02 00 34 12 78 56")},
    GoldenCase{"WordsE1Asc", &k1EAsc, Words(D, 100, {0x1234, 0x5678}),
               Ascii("03FF000A" "4420" "00000064" "02" "00" "1234" "5678")},
    GoldenCase{"WordsE3Bin", &k3EBin, Words(D, 100, {0x1234, 0x5678}),
               Hex("50 00 00 FF FF 03 00 10 00 00 00 01 14 00 00 64 00 00 A8 02 00 34 12 78 56")},
    GoldenCase{"WordsE3Asc", &k3EAsc, Words(D, 100, {0x1234, 0x5678}),
               Ascii("500000FF03FF00" "0020" "0000" "1401" "0000" "D 000100" "0002" "1234" "5678")},
    GoldenCase{"WordsE4Bin", &k4EBin, Words(D, 100, {0x1234}),
               Hex("54 00 34 12 00 00 00 FF FF 03 00 0E 00 00 00 01 14 00 00 64 00 00 A8 01 00 34 12")},
    GoldenCase{"WordsE4Asc", &k4EAsc, Words(D, 100, {0x1234}),
               Ascii("540012340000" "00FF03FF00" "001C" "0000" "1401" "0000" "D 000100" "0001" "1234")},
    GoldenCase{"BitsE1Bin", &k1EBin, Bits(M, 100, {1, 0, 1}),
               Hex("02 FF 0A 00 64 00 00 00 20 4D 03 00 10 10")},
    GoldenCase{"BitsE1Asc", &k1EAsc, Bits(M, 100, {1, 0, 1}),
               Ascii("02FF000A" "4D20" "00000064" "03" "00" "1010")},
    GoldenCase{"BitsE3Bin", &k3EBin, Bits(M, 100, {1, 0, 1}),
               Hex("50 00 00 FF FF 03 00 0E 00 00 00 01 14 01 00 64 00 00 90 03 00 10 10")},
    GoldenCase{"BitsE3Asc", &k3EAsc, Bits(M, 100, {1, 0, 1}),
               Ascii("500000FF03FF00" "001B" "0000" "1401" "0001" "M 000100" "0003" "101")},
    GoldenCase{"BitsE4Bin", &k4EBin, Bits(0x9D, 0, {0, 1}),
               Hex("54 00 34 12 00 00 00 FF FF 03 00 0D 00 00 00 01 14 01 00 00 00 00 9D 02 00 01")},
    GoldenCase{"BitsE4Asc", &k4EAsc, Bits(0x9D, 0x20, {1, 1}),
               Ascii("540012340000" "00FF03FF00" "001A" "0000" "1401" "0001" "Y 000020" "0002" "11")},
    GoldenCase{"BitsToWordDevice", &k3EBin, Bits(D, 0, {1}), {}},
    GoldenCase{"WordsToX", &k3EBin, Words(X, 0, {1}), {}},
    GoldenCase{"NoWords", &k3EBin, Words(D, 0, {}), {}},
    GoldenCase{"E1Over256", &k1EBin, Words(D, 0, std::vector<WORD>(257, 0)), {}},
    // strings: the first character in the low byte, an odd size padded to a word
    GoldenCase{"StringE3Bin", &k3EBin, Text(D, 100, "ABC", 4),
               Hex("50 00 00 FF FF 03 00 10 00 00 00 01 14 00 00 64 00 00 A8 02 00 41 42 43 00")},
    GoldenCase{"StringOddSizeE3Bin", &k3EBin, Text(D, 100, "ABCDE", 3),
               Hex("50 00 00 FF FF 03 00 10 00 00 00 01 14 00 00 64 00 00 A8 02 00 41 42 43 00")},
    GoldenCase{"StringE3Asc", &k3EAsc, Text(D, 100, "ABC", 4),
               Ascii("500000FF03FF00" "0020" "0000" "1401" "0000" "D 000100" "0002" "4241" "0043")},
    GoldenCase{"StringE4Asc", &k4EAsc, Text(D, 0, "A", 2),
               Ascii("540012340000" "00FF03FF00" "001C" "0000" "1401" "0000" "D 000000" "0001" "0041")},
    GoldenCase{"StringToBitDevice", &k3EBin, Text(M, 0, "A", 2), {}},
    GoldenCase{"StringNoSize", &k3EBin, Text(D, 0, "A", 0), {}}),
    CaseName);

TEST(McRoute, FromTheAddressString)
{
    EXPECT_EQ(ParseMcRoute("0102030405"), (McRoute{0x01, 0x02, 0x0304, 0x05}));
    EXPECT_EQ(ParseMcRoute("00ff03ff00"), McRoute{});
    const McRoute fallback;
    EXPECT_EQ(ParseMcRoute("010203040"), fallback);
    EXPECT_EQ(ParseMcRoute("01020304050"), fallback);
    EXPECT_EQ(ParseMcRoute("01020304GG"), fallback);
    EXPECT_EQ(ParseMcRoute(""), fallback);
}

TEST(McRoute, WrittenIntoEveryQnaFrame)
{
    McTarget bin = k3EBin;
    bin.route = ParseMcRoute("0102030405");
    McBuffer out;
    ASSERT_TRUE(McBuildBatchRead(out, bin, D, 0, 1));
    EXPECT_EQ(Show(out, false),
              Show(Hex("50 00 01 02 04 03 05 0C 00 00 00 01 04 00 00 00 00 00 A8 01 00"), false));

    McTarget asc = k4EAsc;
    asc.route = ParseMcRoute("0a0b0c0d0e");   // written upper-case
    ASSERT_TRUE(McBuildBatchRead(out, asc, D, 0, 1));
    EXPECT_EQ(Show(out, true), "540012340000" "0A0B0C0D0E" "0018000004010000D 0000000001");
}

TEST(McPcNumber, FromTheAddressString)
{
    struct { const char* text; BYTE pc; } cases[] = {
        {"&1F", 0x1F}, {"H1F", 0x1F}, {"h1f", 0x1F}, {"&FF", 0xFF}, {"&F", 0x0F},
        {"255", 0xFF}, {"256", 0x00}, {"3", 0x03}, {"", 0xFF}, {"  ", 0xFF}, {"abc", 0x00},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseMcPcNumber(c.text), c.pc) << c.text;

    McTarget t = k1EAsc;
    t.pcNumber = ParseMcPcNumber("&1F");
    McBuffer out;
    ASSERT_TRUE(McBuildBatchRead(out, t, D, 0, 1));
    EXPECT_EQ(Show(out, true), "011F000A4420000000000100");
}

TEST(McSerial, StampedIntoFourEFrames)
{
    McBuffer bin;
    ASSERT_TRUE(McBuildBatchRead(bin, k4EBin, D, 0, 1));
    McStampSerial(bin, false, 0xBEEF);
    EXPECT_EQ(bin[2], 0xEF);
    EXPECT_EQ(bin[3], 0xBE);

    McBuffer asc;
    ASSERT_TRUE(McBuildBatchRead(asc, k4EAsc, D, 0, 1));
    McStampSerial(asc, true, 0x00AB);
    EXPECT_EQ(std::string(asc.begin(), asc.begin() + 12), "540000AB0000");

    McBuffer tiny{0x54, 0x00, 0x01};
    McStampSerial(tiny, false, 0xFFFF);
    EXPECT_EQ(tiny, (McBuffer{0x54, 0x00, 0x01}));
}

TEST(McSerial, OneCounterPerLine)
{
    McSerialCounters counters;
    EXPECT_EQ(counters.Next(0), 1);
    EXPECT_EQ(counters.Next(0), 2);
    EXPECT_EQ(counters.Next(2), 1);
    EXPECT_EQ(counters.Next(-1), 3);   // no line record: the first line's counter
    EXPECT_EQ(counters.Current(1), 0);
    for (int i = 0; i < 0xFFFF; ++i)
        counters.Next(3);
    EXPECT_EQ(counters.Next(3), 0);    // wraps at 16 bits
}

TEST(McQuery, Validity)
{
    McBuffer out;
    ASSERT_TRUE(McBuildBatchRead(out, k3EBin, D, 0, 1));
    McBuffer cut(out.begin(), out.end() - 1);
    EXPECT_FALSE(McIsValidQuery(McFrameKind::E3, false, cut));
    EXPECT_FALSE(McIsValidQuery(McFrameKind::E4, false, out));   // 3E subheader
    McBuffer response = out;
    response[0] = 0xD0;
    EXPECT_FALSE(McIsValidQuery(McFrameKind::E3, false, response));
    EXPECT_FALSE(McIsValidQuery(McFrameKind::E1, false, {}));

    ASSERT_TRUE(McBuildBatchRead(out, k4EAsc, D, 0, 1));
    out[23] = 'G';   // length field no longer a number
    EXPECT_FALSE(McIsValidQuery(McFrameKind::E4, true, out));
}

}  // namespace
