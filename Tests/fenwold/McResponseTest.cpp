#include "fenwold/McResponse.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/HexBytes.h"

namespace {

using testsupport::Ascii;
using testsupport::Hex;

constexpr WORD D = 0xA8;

McBuffer Query(McFrameKind kind, bool ascii, unsigned points = 3)
{
    McTarget t;
    t.kind = kind;
    t.ascii = ascii;
    t.serial = 0x1234;
    McBuffer out;
    EXPECT_TRUE(McBuildBatchRead(out, t, D, 100, points));
    return out;
}

TEST(McResponseLength, HeaderLengths)
{
    EXPECT_EQ(McResponseHeaderLength(McFrameKind::E1, false), 2u);
    EXPECT_EQ(McResponseHeaderLength(McFrameKind::E1, true), 4u);
    EXPECT_EQ(McResponseHeaderLength(McFrameKind::E3, false), 9u);
    EXPECT_EQ(McResponseHeaderLength(McFrameKind::E3, true), 18u);
    EXPECT_EQ(McResponseHeaderLength(McFrameKind::E4, false), 13u);
    EXPECT_EQ(McResponseHeaderLength(McFrameKind::E4, true), 26u);
}

TEST(McResponseLength, OneEReadData)
{
    EXPECT_EQ(2 + McExpectedData1E(false, 100), 202u);
    EXPECT_EQ(4 + McExpectedData1E(true, 100), 404u);
    EXPECT_EQ(McExpectedData1E(false, 0), 512u);   // point byte 0 is 256 words
    EXPECT_EQ(McExpectedData1E(false, 256), 512u);
}

struct LengthCase {
    const char* name;
    McFrameKind kind;
    bool ascii;
    McBuffer header;
    std::size_t expectedData;
    std::size_t total;   // 0: not a response
};

void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.name; }

class ResponseLength : public testing::TestWithParam<LengthCase> {};

TEST_P(ResponseLength, ExactlyWhatComes)
{
    const LengthCase& c = GetParam();
    const auto total = McResponseLength(c.kind, c.ascii, c.header, c.expectedData, 4096);
    if (c.total == 0) {
        EXPECT_FALSE(total) << *total;
        return;
    }
    ASSERT_TRUE(total);
    EXPECT_EQ(*total, c.total);
}

INSTANTIATE_TEST_SUITE_P(Headers, ResponseLength, testing::Values(
    LengthCase{"E1BinGood", McFrameKind::E1, false, Hex("81 00"), 6, 8},
    LengthCase{"E1BinAbnormal", McFrameKind::E1, false, Hex("81 5B"), 6, 4},
    LengthCase{"E1BinOtherEndCode", McFrameKind::E1, false, Hex("81 50"), 6, 2},
    LengthCase{"E1BinWriteGood", McFrameKind::E1, false, Hex("85 00"), 0, 2},
    LengthCase{"E1BinNotResponse", McFrameKind::E1, false, Hex("01 00"), 6, 0},
    LengthCase{"E1BinShort", McFrameKind::E1, false, Hex("81"), 6, 0},
    LengthCase{"E1AscGood", McFrameKind::E1, true, Ascii("8100"), 12, 16},
    LengthCase{"E1AscAbnormal", McFrameKind::E1, true, Ascii("815b"), 12, 8},
    LengthCase{"E1AscOtherEndCode", McFrameKind::E1, true, Ascii("8151"), 12, 4},
    LengthCase{"E1AscJunk", McFrameKind::E1, true, Ascii("81ZZ"), 12, 0},
    LengthCase{"E1TooLarge", McFrameKind::E1, false, Hex("81 00"), 5000, 0},
    LengthCase{"E3BinGood", McFrameKind::E3, false, Hex("D0 00 00 FF FF 03 00 08 00"), 0, 17},
    LengthCase{"E3BinRequestSubheader", McFrameKind::E3, false, Hex("50 00 00 FF FF 03 00 08 00"), 0, 0},
    LengthCase{"E3BinNoEndCode", McFrameKind::E3, false, Hex("D0 00 00 FF FF 03 00 01 00"), 0, 0},
    LengthCase{"E3BinLengthFFFF", McFrameKind::E3, false, Hex("D0 00 00 FF FF 03 00 FF FF"), 0, 0},
    LengthCase{"E3BinBufferFull", McFrameKind::E3, false, Hex("D0 00 00 FF FF 03 00 F8 0F"), 0, 0},
    LengthCase{"E3BinFitsBuffer", McFrameKind::E3, false, Hex("D0 00 00 FF FF 03 00 F7 0F"), 0, 4096},
    LengthCase{"E3BinShort", McFrameKind::E3, false, Hex("D0 00 00 FF FF 03 00 08"), 0, 0},
    LengthCase{"E4BinGood", McFrameKind::E4, false, Hex("D4 00 34 12 00 00 00 FF FF 03 00 02 00"), 0, 15},
    LengthCase{"E4BinThreeESubheader", McFrameKind::E4, false, Hex("D0 00 34 12 00 00 00 FF FF 03 00 02 00"), 0, 0},
    LengthCase{"E3AscGood", McFrameKind::E3, true, Ascii("D00000FF03FF000010"), 0, 34},
    LengthCase{"E3AscLowerCase", McFrameKind::E3, true, Ascii("d00000ff03ff00000a"), 0, 28},
    LengthCase{"E3AscRequestSubheader", McFrameKind::E3, true, Ascii("500000FF03FF000010"), 0, 0},
    LengthCase{"E3AscLengthFFFF", McFrameKind::E3, true, Ascii("D00000FF03FF00FFFF"), 0, 0},
    LengthCase{"E3AscNoEndCode", McFrameKind::E3, true, Ascii("D00000FF03FF000003"), 0, 0},
    LengthCase{"E4AscGood", McFrameKind::E4, true, Ascii("D40012340000" "00FF03FF00" "0004"), 0, 30}),
    [](const testing::TestParamInfo<LengthCase>& info) { return std::string(info.param.name); });

struct CheckCase {
    const char* name;
    McFrameKind kind;
    bool ascii;
    McBuffer response;
    McVerdict verdict;
    WORD endCode;
    std::size_t dataOffset;
    std::size_t dataLength;
    bool logged;   // a mismatch that is logged and counted; a malformed read that is logged
    unsigned points = 3;   // words the read asks for
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class CheckResponse : public testing::TestWithParam<CheckCase> {};

TEST_P(CheckResponse, AgainstItsQuery)
{
    const CheckCase& c = GetParam();
    const McBuffer query = Query(c.kind, c.ascii, c.points);
    const McReply r = McCheckResponse(c.kind, c.ascii, query, c.response);
    EXPECT_EQ(r.verdict, c.verdict);
    if (c.verdict == McVerdict::Malformed) {
        EXPECT_EQ(r.message != nullptr, c.logged);
    }
    if (c.verdict == McVerdict::Ok || c.verdict == McVerdict::EndCode) {
        EXPECT_EQ(r.endCode, c.endCode);
        EXPECT_EQ(r.dataOffset, c.dataOffset);
        EXPECT_EQ(r.dataLength, c.dataLength);
        EXPECT_EQ(r.frameLength, c.dataOffset + c.dataLength);
    }
    if (c.verdict == McVerdict::Mismatch) {
        EXPECT_EQ(r.message != nullptr, c.logged);
    }
}

const char* kE3Route = "00 FF FF 03 00";
const char* kE4Head = "D4 00 34 12 00 00 00 FF FF 03 00";

INSTANTIATE_TEST_SUITE_P(OneE, CheckResponse, testing::Values(
    CheckCase{"BinGood", McFrameKind::E1, false, Hex("81 00 34 12 00 00 FF FF"), McVerdict::Ok, 0, 2, 6, false},
    CheckCase{"BinAbnormal", McFrameKind::E1, false, Hex("81 5B 10 00"), McVerdict::EndCode, 0x5B10, 2, 2, false},
    CheckCase{"BinEndCode", McFrameKind::E1, false, Hex("81 50"), McVerdict::EndCode, 0x5000, 2, 0, false},
    CheckCase{"BinAbnormalShort", McFrameKind::E1, false, Hex("81 5B 10"), McVerdict::Malformed, 0, 0, 0, false},
    CheckCase{"BinOtherSubheader", McFrameKind::E1, false, Hex("85 00"), McVerdict::Mismatch, 0, 0, 0, true},
    CheckCase{"BinEcho", McFrameKind::E1, false, Hex("01 00"), McVerdict::Mismatch, 0, 0, 0, true},
    CheckCase{"BinShort", McFrameKind::E1, false, Hex("81"), McVerdict::Malformed, 0, 0, 0, false},
    CheckCase{"AscGood", McFrameKind::E1, true, Ascii("8100" "1234" "0000" "ffff"), McVerdict::Ok, 0, 4, 12, false},
    CheckCase{"AscAbnormal", McFrameKind::E1, true, Ascii("815B1000"), McVerdict::EndCode, 0x5B10, 4, 4, false},
    CheckCase{"AscEndCode", McFrameKind::E1, true, Ascii("8151"), McVerdict::EndCode, 0x5100, 4, 0, false},
    CheckCase{"AscOtherSubheader", McFrameKind::E1, true, Ascii("8400"), McVerdict::Mismatch, 0, 0, 0, true},
    CheckCase{"AscJunk", McFrameKind::E1, true, Ascii("8X00"), McVerdict::Malformed, 0, 0, 0, false}),
    [](const testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(ThreeEFourE, CheckResponse, testing::Values(
    CheckCase{"E3BinGood", McFrameKind::E3, false,
              Hex(std::string("D0 00 ") + kE3Route + " 08 00 00 00 34 12 02 00 EF 1D"),
              McVerdict::Ok, 0, 11, 6, false},
    // error end code followed by the error information (route, command, subcommand)
    CheckCase{"E3BinErrorInformation", McFrameKind::E3, false,
              Hex(std::string("D0 00 ") + kE3Route + " 0B 00 51 C0 00 FF FF 03 00 01 04 00 00"),
              McVerdict::EndCode, 0xC051, 11, 9, false},
    CheckCase{"E3BinRequestSubheader", McFrameKind::E3, false,
              Hex(std::string("50 00 ") + kE3Route + " 02 00 00 00"), McVerdict::Malformed, 0, 0, 0, false},
    CheckCase{"E3BinWrongStation", McFrameKind::E3, false,
              Hex("D0 00 00 FF FF 03 01 02 00 00 00"), McVerdict::Mismatch, 0, 0, 0, true},
    CheckCase{"E3BinWrongNetwork", McFrameKind::E3, false,
              Hex("D0 00 01 FF FF 03 00 02 00 00 00"), McVerdict::Mismatch, 0, 0, 0, true},
    CheckCase{"E3BinShortData", McFrameKind::E3, false,
              Hex(std::string("D0 00 ") + kE3Route + " 08 00 00 00 34 12"), McVerdict::Malformed, 0, 0, 0, false},
    CheckCase{"E3BinShortHeader", McFrameKind::E3, false, Hex("D0 00 00 FF"), McVerdict::Malformed, 0, 0, 0, false},
    CheckCase{"E3BinLengthFFFF", McFrameKind::E3, false,
              Hex(std::string("D0 00 ") + kE3Route + " FF FF 00 00 00 00"), McVerdict::Malformed, 0, 0, 0, false},
    CheckCase{"E3BinNoEndCode", McFrameKind::E3, false,
              Hex(std::string("D0 00 ") + kE3Route + " 01 00 00"), McVerdict::Malformed, 0, 0, 0, false},
    CheckCase{"E4BinGood", McFrameKind::E4, false, Hex(std::string(kE4Head) + " 04 00 00 00 AA 55"),
              McVerdict::Ok, 0, 15, 2, false, 1},
    CheckCase{"E4BinWrongSerial", McFrameKind::E4, false,
              Hex("D4 00 35 12 00 00 00 FF FF 03 00 04 00 00 00 AA 55"), McVerdict::Mismatch, 0, 0, 0, true},
    CheckCase{"E4BinWrongRoute", McFrameKind::E4, false,
              Hex("D4 00 34 12 00 00 00 FE FF 03 00 02 00 00 00"), McVerdict::Mismatch, 0, 0, 0, true},
    CheckCase{"E4BinThreeESubheader", McFrameKind::E4, false,
              Hex("D0 00 34 12 00 00 00 FF FF 03 00 02 00 00 00"), McVerdict::Malformed, 0, 0, 0, false},
    CheckCase{"E4BinErrorEndCode", McFrameKind::E4, false, Hex(std::string(kE4Head) + " 02 00 56 C0"),
              McVerdict::EndCode, 0xC056, 15, 0, false},
    CheckCase{"E3AscGood", McFrameKind::E3, true, Ascii("D00000FF03FF00000C" "0000" "1234" "ABCD"),
              McVerdict::Ok, 0, 22, 8, false, 2},
    // no data at all is still a good frame; the decoder decides about it
    CheckCase{"E3AscNoData", McFrameKind::E3, true, Ascii("D00000FF03FF000004" "0000"),
              McVerdict::Ok, 0, 22, 0, false},
    CheckCase{"E3AscLowerCaseRoute", McFrameKind::E3, true, Ascii("D00000ff03ff000008" "0000" "1234"),
              McVerdict::Ok, 0, 22, 4, false, 1},
    CheckCase{"E3AscWrongRoute", McFrameKind::E3, true, Ascii("D00001FF03FF000004" "0000"),
              McVerdict::Mismatch, 0, 0, 0, false},
    CheckCase{"E3AscErrorInformation", McFrameKind::E3, true,
              Ascii("D00000FF03FF000016" "C059" "00FF03FF00" "0401" "0000"),
              McVerdict::EndCode, 0xC059, 22, 18, false},
    CheckCase{"E3AscLengthFFFF", McFrameKind::E3, true, Ascii("D00000FF03FF00FFFF" "0000"),
              McVerdict::Malformed, 0, 0, 0, false},
    CheckCase{"E3AscShort", McFrameKind::E3, true, Ascii("D00000FF03FF00"), McVerdict::Malformed, 0, 0, 0, false},
    CheckCase{"E4AscGood", McFrameKind::E4, true, Ascii("D40012340000" "00FF03FF00" "0008" "0000" "0001"),
              McVerdict::Ok, 0, 30, 4, false, 1},
    CheckCase{"E4AscSerialLowerCase", McFrameKind::E4, true, Ascii("D400123a0000" "00FF03FF00" "0004" "0000"),
              McVerdict::Mismatch, 0, 0, 0, false},
    CheckCase{"E4AscWrongSerial", McFrameKind::E4, true, Ascii("D40012350000" "00FF03FF00" "0004" "0000"),
              McVerdict::Mismatch, 0, 0, 0, false}),
    [](const testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

// A read answered with other data than the words it asked for is no good read, in
// every frame kind: fewer words would leave the others holding old values marked good.
INSTANTIATE_TEST_SUITE_P(DataLength, CheckResponse, testing::Values(
    CheckCase{"E1BinOneWordOfThree", McFrameKind::E1, false, Hex("81 00 34 12"), McVerdict::Malformed, 0, 0, 0, true},
    CheckCase{"E1AscOneWordOfThree", McFrameKind::E1, true, Ascii("8100" "1234"), McVerdict::Malformed, 0, 0, 0,
              true},
    CheckCase{"E3BinOneWordOfThree", McFrameKind::E3, false,
              Hex(std::string("D0 00 ") + kE3Route + " 04 00 00 00 34 12"), McVerdict::Malformed, 0, 0, 0, true},
    CheckCase{"E3BinOneWordOf960", McFrameKind::E3, false,
              Hex(std::string("D0 00 ") + kE3Route + " 04 00 00 00 34 12"), McVerdict::Malformed, 0, 0, 0, true, 960},
    CheckCase{"E3BinFourWordsOfThree", McFrameKind::E3, false,
              Hex(std::string("D0 00 ") + kE3Route + " 0A 00 00 00 01 00 02 00 03 00 04 00"), McVerdict::Malformed,
              0, 0, 0, true},
    CheckCase{"E4BinLengthFourShort", McFrameKind::E4, false, Hex(std::string(kE4Head) + " 06 00 00 00 01 00 02 00"),
              McVerdict::Malformed, 0, 0, 0, true},
    CheckCase{"E3AscTwoWordsOfThree", McFrameKind::E3, true, Ascii("D00000FF03FF00000C" "0000" "1234" "ABCD"),
              McVerdict::Malformed, 0, 0, 0, true},
    CheckCase{"E4AscTwoWordsOfThree", McFrameKind::E4, true,
              Ascii("D40012340000" "00FF03FF00" "000C" "0000" "0001" "0002"), McVerdict::Malformed, 0, 0, 0, true},
    CheckCase{"E4AscHalfAWord", McFrameKind::E4, true, Ascii("D40012340000" "00FF03FF00" "0006" "0000" "00"),
              McVerdict::Malformed, 0, 0, 0, true, 1}),
    [](const testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

TEST(CheckResponse, ReadWordsComeFromTheRequest)
{
    for (McFrameKind kind : {McFrameKind::E1, McFrameKind::E3, McFrameKind::E4}) {
        for (bool ascii : {false, true}) {
            EXPECT_EQ(McReadWords(kind, ascii, Query(kind, ascii, 7)), 7u);
            McTarget t;
            t.kind = kind;
            t.ascii = ascii;
            McBuffer write;
            ASSERT_TRUE(McBuildRandomWriteWord(write, t, D, 0, 1));
            EXPECT_FALSE(McReadWords(kind, ascii, write));
        }
    }
    EXPECT_EQ(McReadWords(McFrameKind::E1, false, Query(McFrameKind::E1, false, 256)), 256u);
}

TEST(CheckResponse, SerialComparedWithoutRegardToCase)
{
    McTarget t;
    t.kind = McFrameKind::E4;
    t.ascii = true;
    t.serial = 0xABCD;
    McBuffer query;
    ASSERT_TRUE(McBuildBatchRead(query, t, D, 0, 1));
    const McBuffer response = Ascii("D400abcd0000" "00ff03ff00" "0008" "0000" "0001");
    EXPECT_EQ(McCheckResponse(McFrameKind::E4, true, query, response).verdict, McVerdict::Ok);
}

TEST(CheckResponse, OneEWriteResponsesAreChecked)
{
    McTarget t;
    t.kind = McFrameKind::E1;
    McBuffer query;
    ASSERT_TRUE(McBuildRandomWriteWord(query, t, D, 0, 1));
    EXPECT_EQ(McCheckResponse(McFrameKind::E1, false, query, Hex("85 00")).verdict, McVerdict::Ok);
    const McReply failed = McCheckResponse(McFrameKind::E1, false, query, Hex("85 5B 10 00"));
    EXPECT_EQ(failed.verdict, McVerdict::EndCode);
    EXPECT_EQ(failed.endCode, 0x5B10);
    EXPECT_EQ(McCheckResponse(McFrameKind::E1, false, query, Hex("84 00")).verdict, McVerdict::Mismatch);
}

TEST(DecodeString, MirrorsTheStringWrite)
{
    for (bool ascii : {false, true}) {
        McTarget t;
        t.ascii = ascii;
        McBuffer frame;
        ASSERT_TRUE(McBuildStringWrite(frame, t, D, 0, "Hello", 8));
        const std::size_t data = ascii ? 42 : 21;   // after the point count
        EXPECT_EQ(McDecodeString(std::span(frame).subspan(data), ascii, 8), "Hello") << ascii;
        EXPECT_EQ(McDecodeString(std::span(frame).subspan(data), ascii, 3), "Hel") << ascii;
    }
    EXPECT_EQ(McDecodeString(Ascii("4241" "00"), true, 10), "AB");     // half a word
    EXPECT_EQ(McDecodeString(Ascii("42414X43"), true, 10), "AB");      // not a word
    EXPECT_EQ(McDecodeString(Hex("00 41"), false, 10), "");
}

struct Rereads {
    std::vector<McBuffer> queued;   // what the peer sends next, in order
    std::size_t received = 0;
    int mismatches = 0;

    McReply Run(const McBuffer& query, const McBuffer& first)
    {
        return McReceiveReply(
            McFrameKind::E3, false, query, first,
            [this]() -> std::span<const BYTE> {
                if (received == queued.size())
                    return {};
                return queued[received++];
            },
            [this](const McReply& r) {
                EXPECT_STREQ(r.message, "Mismatch header for query and response!\r\n");
                ++mismatches;
            });
    }
};

const McBuffer kOtherStation = Hex("D0 00 00 FF FF 03 01 02 00 00 00");
const McBuffer kGood = Hex("D0 00 00 FF FF 03 00 04 00 00 00 01 00");
const McBuffer kQueryOneWord = Query(McFrameKind::E3, false, 1);

TEST(ReceiveReply, ReadsAgainAfterAMismatch)
{
    Rereads peer;
    peer.queued = {kGood};
    const McReply r = peer.Run(kQueryOneWord, kOtherStation);
    EXPECT_EQ(r.verdict, McVerdict::Ok);
    EXPECT_EQ(r.dataLength, 2u);
    EXPECT_EQ(peer.mismatches, 1);
    EXPECT_EQ(peer.received, 1u);
}

TEST(ReceiveReply, GoodResponseNeedsNoRead)
{
    Rereads peer;
    EXPECT_EQ(peer.Run(kQueryOneWord, kGood).verdict, McVerdict::Ok);
    EXPECT_EQ(peer.received, 0u);
}

TEST(ReceiveReply, RereadsAreBounded)
{
    Rereads peer;
    peer.queued.assign(10, kOtherStation);
    const McReply r = peer.Run(Query(McFrameKind::E3, false), kOtherStation);
    EXPECT_EQ(r.verdict, McVerdict::Mismatch);
    EXPECT_EQ(peer.received, static_cast<std::size_t>(kMcMaxRereads));
    EXPECT_EQ(peer.mismatches, kMcMaxRereads + 1);
}

TEST(ReceiveReply, NothingMoreArrives)
{
    Rereads peer;
    const McReply r = peer.Run(Query(McFrameKind::E3, false), kOtherStation);
    EXPECT_EQ(r.verdict, McVerdict::Malformed);
    EXPECT_EQ(peer.mismatches, 1);
}

}  // namespace
