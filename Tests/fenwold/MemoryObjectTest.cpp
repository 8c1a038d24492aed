#include "fenwold/MemoryObject.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "fenwold/MelsecFakes.h"

using namespace fenwoldtest;

namespace {

_BRISANTDATAVALUE Word(WORD w)
{
    _BRISANTDATAVALUE v{};
    v.wVal = w;
    return v;
}

_BRISANTDATAVALUE Dword(DWORD d)
{
    _BRISANTDATAVALUE v{};
    v.dwVal = d;
    return v;
}

_BRISANTDATAVALUE Float(float f)
{
    _BRISANTDATAVALUE v{};
    v.fltVal = f;
    return v;
}

struct WriteCase {
    const char* name;
    LONG deviceType;
    const char* protocol;
    const char* address;  // block address; the point written is index `index`
    WORD code;
    int type;
    int points;
    int index;
    _BRISANTDATAVALUE value;
    std::vector<BYTE> frame;
};

CMemoryObject& PointOf(CMemoryArray& block, int index)
{
    return *static_cast<CMemoryObject*>(block.GetMemoryObject(index));
}

class WriteRequest : public testing::TestWithParam<WriteCase> {};

TEST_P(WriteRequest, BuildsTheFrame)
{
    const WriteCase& c = GetParam();
    McHandler handler;
    StationDevice device(&handler, c.deviceType, c.protocol);
    BlockPtr block = MakeBlock(device, c.address, c.code, c.type, c.points);
    CMemoryObject& point = PointOf(*block, c.index);
    const char* query = point.GetCommandQueryString(c.value, 1, TRUE);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(Bytes(query, point.GetCommandQueryStringLen(1, query)), c.frame);
    // The framework fetches the same buffer.
    EXPECT_EQ(point.FillCommandQueryString(1), query);
    EXPECT_TRUE(handler.logs.empty());
    // What is built is never refused before it is queued.
    EXPECT_EQ(point.McWriteRefusal(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WriteRequest,
    testing::Values(
        // BOOL M10 on a 3E binary PLC: 1402/0001, one point, M10, value 01.
        WriteCase{"BoolE3Binary", kTypeQnA, "MC3", "M10", kM, BRISANT_BOOL, 4, 0, Word(1),
                  Hex("50 00 00 FF FF 03 00 0C 00 00 00 02 14 01 00 01 0A 00 00 90 01")},
        WriteCase{"BoolE3Ascii", kTypeQnA, "ASCII3", "M10", kM, BRISANT_BOOL, 4, 2, Word(1),
                  Ascii("500000FF03FF00" "0018" "0000" "1402" "0001" "01" "M 000012" "01")},
        WriteCase{"BoolE4Binary", kTypeQnA, "MC", "B10", kB, BRISANT_BOOL, 16, 15, Word(0),
                  Hex("54 00 00 00 00 00 00 FF FF 03 00 0C 00 00 00 02 14 01 00 01 1F 00 00 A0 00")},
        WriteCase{"BoolE1Binary", kTypeA, "MC", "M10", kM, BRISANT_BOOL, 4, 0, Word(0xFF00),
                  Hex("04 FF 0A 00 01 00 0A 00 00 00 20 4D 01")},
        // 1E ASCII bits are "01"/"00".
        WriteCase{"BoolE1Ascii", kTypeA, "ASCII", "M10", kM, BRISANT_BOOL, 4, 0, Word(1),
                  Ascii("04FF000A0100" "4D20" "0000000A" "01")},
        WriteCase{"I2E1Binary", kTypeA, "MC", "D100", kD, BRISANT_SHORT, 1, 0, Word(0x1234),
                  Hex("05 FF 0A 00 01 00 64 00 00 00 20 44 34 12")},
        // I2 is written on 1E ASCII too.
        WriteCase{"I2E1Ascii", kTypeA, "ASCII", "D100", kD, BRISANT_SHORT, 1, 0, Word(0x1234),
                  Ascii("05FF000A0100" "4420" "00000064" "1234")},
        WriteCase{"UI2E3Binary", kTypeQnA, "MC3", "D100", kD, BRISANT_WORD, 4, 0, Word(0xABCD),
                  Hex("50 00 00 FF FF 03 00 0E 00 00 00 02 14 00 00 01 00 64 00 00 A8 CD AB")},
        WriteCase{"UI2E4Ascii", kTypeQnA, "ASCII", "W100", kW, BRISANT_WORD, 1, 0, Word(1),
                  Ascii("540000000000" "00FF03FF00" "001C" "0000" "1402" "0000" "01" "00" "W 000100" "0001")},
        WriteCase{"I4E3Binary", kTypeQnA, "MC3", "D100", kD, BRISANT_LONG, 2, 0, Dword(0x12345678),
                  Hex("50 00 00 FF FF 03 00 10 00 00 00 02 14 00 00 00 01 64 00 00 A8 78 56 34 12")},
        // I4 on a 3E ASCII PLC: "12345678" at characters 42-49; index 1 is D102.
        WriteCase{"I4E3Ascii", kTypeQnA, "ASCII3", "D100", kD, BRISANT_LONG, 2, 1, Dword(0x12345678),
                  Ascii("500000FF03FF00" "0020" "0000" "1402" "0000" "00" "01" "D 000102" "12345678")},
        WriteCase{"R4E3Binary", kTypeQnA, "MC3", "D0", kD, BRISANT_FLOAT, 1, 0, Float(1.5f),
                  Hex("50 00 00 FF FF 03 00 10 00 00 00 02 14 00 00 00 01 00 00 00 A8 00 00 C0 3F")},
        // A word of a bit device is written in word units (subcommand 0000) at M16.
        WriteCase{"WordOfBitDevice", kTypeQnA, "MC3", "M0", kM, BRISANT_WORD, 2, 1, Word(0x00FF),
                  Hex("50 00 00 FF FF 03 00 0E 00 00 00 02 14 00 00 01 00 10 00 00 90 FF 00")},
        WriteCase{"R3E4Binary", kTypeQnA, "MC", "R7", kR, BRISANT_WORD, 1, 0, Word(2),
                  Hex("54 00 00 00 00 00 00 FF FF 03 00 0E 00 00 00 02 14 00 00 01 00 07 00 00 AF 02 00")},
        WriteCase{"BoolE4Ascii", kTypeQnA, "ASCII", "Y0", 0x9D, BRISANT_BOOL, 32, 26, Word(1),
                  Ascii("540000000000" "00FF03FF00" "0018" "0000" "1402" "0001" "01" "Y 00001A" "01")},
        WriteCase{"UI2E3Ascii", kTypeQnA, "ASCII3", "D100", kD, BRISANT_WORD, 1, 0, Word(0xABCD),
                  Ascii("500000FF03FF00" "001C" "0000" "1402" "0000" "01" "00" "D 000100" "ABCD")},
        WriteCase{"I4E4Binary", kTypeQnA, "MC", "D100", kD, BRISANT_LONG, 1, 0, Dword(0xFFFFFFFE),
                  Hex("54 00 00 00 00 00 00 FF FF 03 00 10 00 00 00 02 14 00 00 00 01 64 00 00 A8 FE FF FF FF")},
        WriteCase{"UI4E4Ascii", kTypeQnA, "ASCII", "R0", kR, BRISANT_DWORD, 1, 0, Dword(0x0001E240),
                  Ascii("540000000000" "00FF03FF00" "0020" "0000" "1402" "0000" "00" "01" "R 000000" "0001E240")},
        WriteCase{"R4E3Ascii", kTypeQnA, "ASCII3", "D0", kD, BRISANT_FLOAT, 1, 0, Float(-10.0f),
                  Ascii("500000FF03FF00" "0020" "0000" "1402" "0000" "00" "01" "D 000000" "C1200000")},
        WriteCase{"R4E4Binary", kTypeQnA, "MC", "W10", kW, BRISANT_FLOAT, 1, 0, Float(1.5f),
                  Hex("54 00 00 00 00 00 00 FF FF 03 00 10 00 00 00 02 14 00 00 00 01 10 00 00 B4 00 00 C0 3F")},
        WriteCase{"ZRE3Ascii", kTypeQnA, "ASCII3", "ZR10", kZR, BRISANT_WORD, 1, 0, Word(2),
                  Ascii("500000FF03FF00" "001C" "0000" "1402" "0000" "01" "00" "ZR000010" "0002")}),
    [](const testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

TEST(WriteRequest, StringIsABatchWriteOfWords)
{
    McHandler handler;
    StationDevice device(&handler, kTypeQnA, "MC3");
    BlockPtr block = MakeBlock(device, "D10", kD, BRISANT_STRING, 4);
    _BRISANTDATAVALUE v{};
    char text[] = "ABCDE";
    v.pszVal = text;
    CMemoryObject& point = PointOf(*block, 0);
    const char* query = point.GetCommandQueryString(v, 0, TRUE);
    ASSERT_NE(query, nullptr);
    // Cut to the block's four characters: two words, first character in the low byte.
    EXPECT_EQ(Bytes(query, point.GetCommandQueryStringLen(0, query)),
              Hex("50 00 00 FF FF 03 00 10 00 00 00 01 14 00 00 0A 00 00 A8 02 00 41 42 43 44"));
}

// A text block is one string in its first point: the others never hold a value,
// and a write only goes out when it writes exactly the text given.
TEST(StringBlock, OnlyItsFirstPointHoldsTheStringAndTakesWholeTextsThatFit)
{
    McHandler handler;
    StationDevice device(&handler, kTypeQnA, "MC3");
    BlockPtr block = MakeBlock(device, "D300", kD, BRISANT_STRING, 10);
    block->SetName("Names");
    char fits[] = "ABCDEFGHIJ";
    char tooLong[] = "ABCDEFGHIJK";
    _BRISANTDATAVALUE text{};
    const std::string tail = "D301 is part of the 10-character string D300 (block Names): use D300";
    struct Case {
        int index;
        char* value;
        std::string noValue;
        std::string refusal;
    } cases[] = {
        {0, fits, "", ""},
        {0, nullptr, "", ""},
        {0, tooLong, "", "a text of 11 characters does not fit the 10-character string D300"},
        {1, fits, tail, tail},
        {9, nullptr, "D309 is part of the 10-character string D300 (block Names): use D300",
         "D309 is part of the 10-character string D300 (block Names): use D300"},
    };
    for (const Case& c : cases) {
        text.pszVal = c.value;
        CMemoryObject& point = PointOf(*block, c.index);
        EXPECT_EQ(point.GetNoValueReason(), c.noValue) << c.index;
        EXPECT_EQ(point.GetValueRefusal(text), c.refusal) << c.index << " " << (c.value ? c.value : "");
        // Read-only to every client: the device refuses it before anything is queued.
        EXPECT_EQ(point.McWriteRefusal(), c.noValue) << c.index;
    }
    // An unnamed block says so by its string alone; word blocks have no such points.
    block->SetName("");
    EXPECT_EQ(PointOf(*block, 2).GetNoValueReason(), "D302 is part of the 10-character string D300: use D300");
    BlockPtr words = MakeBlock(device, "D100", kD, BRISANT_SHORT, 4);
    EXPECT_EQ(PointOf(*words, 3).GetNoValueReason(), "");
    EXPECT_EQ(PointOf(*words, 3).GetValueRefusal(Word(7)), "");
}

TEST(WriteRequest, String4E)
{
    McHandler handler;
    _BRISANTDATAVALUE v{};
    char text[] = "AB";
    v.pszVal = text;
    StationDevice binary(&handler, kTypeQnA, "MC");
    BlockPtr b = MakeBlock(binary, "D10", kD, BRISANT_STRING, 2);
    const char* query = PointOf(*b, 0).GetCommandQueryString(v, 0, TRUE);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(Bytes(query, PointOf(*b, 0).GetCommandQueryStringLen(0, query)),
              Hex("54 00 00 00 00 00 00 FF FF 03 00 0E 00 00 00 01 14 00 00 0A 00 00 A8 01 00 41 42"));
    StationDevice ascii(&handler, kTypeQnA, "ASCII");
    BlockPtr a = MakeBlock(ascii, "D10", kD, BRISANT_STRING, 2);
    query = PointOf(*a, 0).GetCommandQueryString(v, 0, TRUE);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(Bytes(query, PointOf(*a, 0).GetCommandQueryStringLen(0, query)),
              Ascii("540000000000" "00FF03FF00" "001C" "0000" "1401" "0000" "D 000010" "0001" "4241"));
}

TEST(WriteRequest, ShortStringIsPaddedWithZeros)
{
    McHandler handler;
    StationDevice device(&handler, kTypeQnA, "ASCII3");
    BlockPtr block = MakeBlock(device, "D10", kD, BRISANT_STRING, 4);
    _BRISANTDATAVALUE v{};
    char text[] = "A";
    v.pszVal = text;
    CMemoryObject& point = PointOf(*block, 0);
    const char* query = point.GetCommandQueryString(v, 0, TRUE);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(Bytes(query, point.GetCommandQueryStringLen(0, query)),
              Ascii("500000FF03FF00" "0020" "0000" "1401" "0000" "D 000010" "0002" "0041" "0000"));
}

// A text the line's command buffer cannot hold in one request is refused aloud.
TEST(WriteRequest, StringTooLongForOneFrameIsRefusedWithALogLine)
{
    McHandler handler;
    StationDevice device(&handler, kTypeQnA, "ASCII3");
    const std::string text(300, 'A');
    _BRISANTDATAVALUE v{};
    v.pszVal = const_cast<char*>(text.c_str());
    BlockPtr longBlock = MakeBlock(device, "D10", kD, BRISANT_STRING, 300);
    EXPECT_EQ(PointOf(*longBlock, 0).GetCommandQueryString(v, 0, TRUE), nullptr);
    EXPECT_EQ(PointOf(*longBlock, 0).GetCommandQueryStringLen(0, nullptr), -1);
    ASSERT_EQ(handler.logs.size(), 1u);
    EXPECT_EQ(handler.logs[0], "Cannot write D10: the request is too long for one frame!\r\n");
    // The largest text that fits: 42 + 4 x 117 words = 510 characters.
    // It is sent cut to the item's size, and the cut is logged: the client was told it was taken.
    BlockPtr fits = MakeBlock(device, "D10", kD, BRISANT_STRING, 234);
    EXPECT_NE(PointOf(*fits, 0).GetCommandQueryString(v, 0, TRUE), nullptr);
    ASSERT_EQ(handler.logs.size(), 2u);
    EXPECT_EQ(handler.logs[1], "Write [" + device.m_strName + "]D10: a text of 300 characters is cut to the item's 234!\r\n");
    const std::string shortText(234, 'B');
    v.pszVal = const_cast<char*>(shortText.c_str());
    EXPECT_NE(PointOf(*fits, 0).GetCommandQueryString(v, 0, TRUE), nullptr);
    EXPECT_EQ(handler.logs.size(), 2u);
}

struct RefusedCase {
    const char* name;
    LONG deviceType;
    const char* protocol;
    const char* address;
    WORD code;
    int type;
    const char* pointName;  // "" keeps the point's own name
    bool logged;
};

class WriteRefused : public testing::TestWithParam<RefusedCase> {};

TEST_P(WriteRefused, BuildsNothing)
{
    const RefusedCase& c = GetParam();
    McHandler handler;
    StationDevice device(&handler, c.deviceType, c.protocol);
    BlockPtr block = MakeBlock(device, c.address, c.code, c.type, 2);
    block->SetWriteAllowed(TRUE);
    CMemoryObject& point = PointOf(*block, 0);
    if (*c.pointName)
        point.SetPseudoNameText(c.pointName);
    // A request built before is not sent again by mistake.
    EXPECT_EQ(point.GetCommandQueryString(Word(1), 0, TRUE), nullptr);
    EXPECT_EQ(point.GetCommandQueryStringLen(0, nullptr), -1);
    EXPECT_EQ(handler.logs.size(), c.logged ? 1u : 0u);
    // What is never built is refused before it is queued, with a reason.
    EXPECT_EQ(point.McWriteRefusal().rfind("block ", 0), 0u) << point.McWriteRefusal();
}

// The reason names the block and what it cannot take.
TEST(WriteRefused, TheReasonNamesTheBlockAndWhatThePlcCannotTake)
{
    McHandler handler;
    StationDevice device(&handler, kTypeQnA, "MC3");
    struct Case {
        const char* name;
        const char* address;
        WORD code;
        int type;
        const char* reason;
    };
    const Case cases[] = {
        {"Doubles", "D10", kD, BRISANT_DOUBLE, "block Doubles: Double values cannot be written to this PLC"},
        {"Chars", "D10", kD, BRISANT_CHAR, "block Chars: Char values cannot be written to this PLC"},
        {"Bytes", "D10", kD, BRISANT_BYTE, "block Bytes: Byte values cannot be written to this PLC"},
        {"", "D20", kD, BRISANT_FIXEDSTRING,
         "block D20: String(Fixed Length) values cannot be written to this PLC"},
        {"Flags", "D30", kD, BRISANT_BOOL, "block Flags: single bits of D words cannot be written"},
    };
    for (const Case& c : cases) {
        BlockPtr block = MakeBlock(device, c.address, c.code, c.type, 2);
        block->SetName(c.name);
        EXPECT_EQ(PointOf(*block, 1).McWriteRefusal(), c.reason) << c.name;
    }
    // A view and a bit of a word are never written either.
    BlockPtr words = MakeBlock(device, "D40", kD, BRISANT_WORD, 2);
    words->SetName("Words");
    CdsMemoryObject* bit = PointOf(*words, 0).GetBitObject(3);
    ASSERT_NE(bit, nullptr);
    EXPECT_EQ(dynamic_cast<McCommandSource&>(*bit).McWriteRefusal(),
              "block Words: single bits of D words cannot be written");
}

INSTANTIATE_TEST_SUITE_P(
    Points, WriteRefused,
    testing::Values(RefusedCase{"Inputs", kTypeQnA, "MC3", "X10", kX, BRISANT_BOOL, "", false},
                    RefusedCase{"I1", kTypeQnA, "MC3", "D10", kD, BRISANT_CHAR, "", false},
                    RefusedCase{"UI1", kTypeQnA, "MC3", "D10", kD, BRISANT_BYTE, "", false},
                    RefusedCase{"R8", kTypeQnA, "MC3", "D10", kD, BRISANT_DOUBLE, "", false},
                    RefusedCase{"CountedString", kTypeQnA, "MC3", "D10", kD, BRISANT_FIXEDSTRING, "", false},
                    RefusedCase{"StringOfBitDevice", kTypeQnA, "MC3", "M10", kM, BRISANT_STRING, "", false},
                    RefusedCase{"I4On1E", kTypeA, "MC", "D10", kD, BRISANT_LONG, "", false},
                    RefusedCase{"ZROn1E", kTypeA, "MC", "ZR10", kZR, BRISANT_WORD, "", false},
                    RefusedCase{"StringOn1E", kTypeA, "MC", "D10", kD, BRISANT_STRING, "", false},
                    // D102 bit 5 has no element of its own: never written to D105.
                    RefusedCase{"BitOfWordDevice", kTypeQnA, "MC3", "D100", kD, BRISANT_WORD, "D102/5", true}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

TEST(WriteRequest, BitNumberAddsToABitDeviceElement)
{
    McHandler handler;
    StationDevice device(&handler, kTypeQnA, "MC3");
    BlockPtr block = MakeBlock(device, "B10", kB, BRISANT_WORD, 1);
    CMemoryObject& point = PointOf(*block, 0);
    point.SetPseudoNameText("B10/11");
    const char* query = point.GetCommandQueryString(Word(1), 0, TRUE);
    ASSERT_NE(query, nullptr);
    // A word write at B1B.
    EXPECT_EQ(Bytes(query, point.GetCommandQueryStringLen(0, query)),
              Hex("50 00 00 FF FF 03 00 0E 00 00 00 02 14 00 00 01 00 1B 00 00 A0 01 00"));
}

TEST(WriteRequest, ResponseLengths)
{
    McHandler handler;
    StationDevice e1(&handler, kTypeA, "MC");
    StationDevice e1a(&handler, kTypeA, "ASCII");
    StationDevice e3(&handler, kTypeQnA, "MC3");
    EXPECT_EQ(PointOf(*MakeBlock(e1, "D0", kD, BRISANT_WORD, 1), 0).GetCommandResponseStringLen(0), 2);
    EXPECT_EQ(PointOf(*MakeBlock(e1a, "D0", kD, BRISANT_WORD, 1), 0).GetCommandResponseStringLen(0), 4);
    EXPECT_EQ(PointOf(*MakeBlock(e3, "D0", kD, BRISANT_WORD, 1), 0).GetCommandResponseStringLen(0),
              CdsMemoryArray::kResponseSize);
}

// --- the PLC's answer ---

struct AnswerCase {
    const char* name;
    LONG deviceType;
    const char* protocol;
    std::vector<BYTE> response;
    BOOL result;
    const char* log;  // nullptr: nothing logged
};

class WriteAnswer : public testing::TestWithParam<AnswerCase> {};

TEST_P(WriteAnswer, EndCodeDecides)
{
    const AnswerCase& c = GetParam();
    McHandler handler;
    StationDevice device(&handler, c.deviceType, c.protocol);
    BlockPtr block = MakeBlock(device, "D0", kD, BRISANT_WORD, 1);
    CMemoryObject& point = PointOf(*block, 0);
    ASSERT_NE(point.GetCommandQueryString(Word(7), 0, TRUE), nullptr);
    EXPECT_EQ(point.UpdateCommand(Word(7), 0, c.response.data(), static_cast<int>(c.response.size()), &handler,
                                  nullptr),
              c.result);
    if (c.log)
        EXPECT_EQ(handler.logs, std::vector<std::string>{c.log});
    else
        EXPECT_TRUE(handler.logs.empty());
    EXPECT_EQ(point.GetLastCommandValue().wVal, c.result ? 7 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WriteAnswer,
    testing::Values(
        AnswerCase{"E3Ok", kTypeQnA, "MC3", Hex("D0 00 00 FF FF 03 00 02 00 00 00"), TRUE, nullptr},
        AnswerCase{"E3C051", kTypeQnA, "MC3", Hex("D0 00 00 FF FF 03 00 02 00 51 C0"), FALSE,
                   "Invalid length for reading/writing\r\n"},
        // Only 0 passes, "No Error" or not.
        AnswerCase{"E3C000", kTypeQnA, "MC3", Hex("D0 00 00 FF FF 03 00 02 00 00 C0"), FALSE, "No Error\r\n"},
        AnswerCase{"E3AsciiC056", kTypeQnA, "ASCII3", Ascii("D00000FF03FF00" "0004" "C056"), FALSE,
                   "Over max address for reading/writing\r\n"},
        AnswerCase{"E4Ok", kTypeQnA, "MC", Hex("D4 00 00 00 00 00 00 FF FF 03 00 02 00 00 00"), TRUE, nullptr},
        AnswerCase{"E4AsciiC059", kTypeQnA, "ASCII", Ascii("D400" "0000" "0000" "00FF03FF00" "0004" "C059"),
                   FALSE, "Invalid command/subcommand\r\n"},
        AnswerCase{"E1Ok", kTypeA, "MC", Hex("85 00"), TRUE, nullptr},
        // 1E write responses are checked as well.
        AnswerCase{"E1Abnormal", kTypeA, "MC", Hex("85 5B 10 00"), FALSE, "Unknown Error (0x10)\r\n"},
        AnswerCase{"E1AsciiError", kTypeA, "ASCII", Ascii("8551"), FALSE, "End code 0x5100\r\n"},
        AnswerCase{"E1WrongSubheader", kTypeA, "MC", Hex("81 00"), FALSE, nullptr}),
    [](const testing::TestParamInfo<AnswerCase>& info) { return info.param.name; });

TEST(WriteAnswer, WithoutAResponseTheFrameworkDecides)
{
    McHandler handler;
    StationDevice device(&handler, kTypeQnA, "MC3");
    BlockPtr block = MakeBlock(device, "D0", kD, BRISANT_WORD, 1);
    EXPECT_TRUE(PointOf(*block, 0).UpdateCommand(Word(3)));
    EXPECT_EQ(PointOf(*block, 0).GetLastCommandValue().wVal, 3);
}

}  // namespace
