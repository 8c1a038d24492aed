#include "fenwold/MemoryArray.h"

#include <gtest/gtest.h>

#include "fenwold/MelsecFakes.h"

#include <string>
#include <vector>

#include "fenwold/McResponse.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "support/OptionScope.h"

using namespace fenwoldtest;

namespace {

struct ReadCase {
    const char* name;
    LONG deviceType;
    const char* protocol;
    const char* address;
    WORD code;
    int type;
    int points;
    std::vector<BYTE> frame;
    int bitOffset;
    int responseLength;  // what the block expects back (1E), or the framework's 4096
};

class ReadRequest : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadRequest, BuildsTheBatchRead)
{
    const ReadCase& c = GetParam();
    McHandler handler;
    StationDevice device(&handler, c.deviceType, c.protocol);
    BlockPtr block = MakeBlock(device, c.address, c.code, c.type, c.points);
    const char* query = block->FillStatusQueryString(0);
    ASSERT_NE(query, nullptr);
    const int length = block->GetStatusQueryStringLen(0, query);
    EXPECT_EQ(Bytes(query, length), c.frame);
    EXPECT_EQ(block->GetBitOffset(), c.bitOffset);
    EXPECT_EQ(block->GetStatusResponseStringLen(0), c.responseLength);
    // The unrebuilt buffer is the same request.
    EXPECT_EQ(Bytes(block->GetStatusQueryString(0), block->GetStatusQueryStringLen(0, nullptr)), c.frame);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReadRequest,
    testing::Values(
        ReadCase{"E1Binary", kTypeA, "MC", "D100", kD, BRISANT_SHORT, 3,
                 Hex("01 FF 0A 00 64 00 00 00 20 44 03 00"), 0, 8},
        ReadCase{"E1Ascii", kTypeA, "ASCII", "D100", kD, BRISANT_SHORT, 3, Ascii("01FF000A4420000000640300"), 0,
                 16},
        ReadCase{"E3Binary", kTypeQnA, "MC3", "D100", kD, BRISANT_SHORT, 3,
                 Hex("50 00 00 FF FF 03 00 0C 00 00 00 01 04 00 00 64 00 00 A8 03 00"), 0, 4096},
        ReadCase{"E3Ascii", kTypeQnA, "ASCII3", "D100", kD, BRISANT_SHORT, 3,
                 Ascii("500000FF03FF000018000004010000D 0001000003"), 0, 4096},
        ReadCase{"E4Binary", kTypeQnA, "MC4", "D100", kD, BRISANT_SHORT, 3,
                 Hex("54 00 00 00 00 00 00 FF FF 03 00 0C 00 00 00 01 04 00 00 64 00 00 A8 03 00"), 0, 4096},
        ReadCase{"E4Ascii", kTypeQnA, "ASCII", "D100", kD, BRISANT_SHORT, 3,
                 Ascii("540000000000" "00FF03FF00" "0018" "0000" "0401" "0000" "D 000100" "0003"), 0, 4096}),
    [](const testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Counts, ReadRequest,
    testing::Values(
        // M5 BOOL x 20 starts at M0 and covers bits 0..24: two words.
        ReadCase{"BoolOffsetBlock", kTypeQnA, "MC3", "M5", kM, BRISANT_BOOL, 20,
                 Hex("50 00 00 FF FF 03 00 0C 00 00 00 01 04 00 00 00 00 00 90 02 00"), 5, 4096},
        // M12 BOOL x 8 reaches bit 19 of M0: two words, though 8 points fit one.
        ReadCase{"BoolOffsetCrossesAWord", kTypeQnA, "MC3", "M12", kM, BRISANT_BOOL, 8,
                 Hex("50 00 00 FF FF 03 00 0C 00 00 00 01 04 00 00 00 00 00 90 02 00"), 12, 4096},
        ReadCase{"BoolAligned", kTypeQnA, "MC3", "M16", kM, BRISANT_BOOL, 16,
                 Hex("50 00 00 FF FF 03 00 0C 00 00 00 01 04 00 00 10 00 00 90 01 00"), 0, 4096},
        // Word blocks of bit devices start where they say.
        ReadCase{"WordsOfABitDevice", kTypeQnA, "MC3", "M5", kM, BRISANT_WORD, 2,
                 Hex("50 00 00 FF FF 03 00 0C 00 00 00 01 04 00 00 05 00 00 90 02 00"), 0, 4096},
        ReadCase{"R4TakesTwoWords", kTypeQnA, "MC3", "D0", kD, BRISANT_FLOAT, 3,
                 Hex("50 00 00 FF FF 03 00 0C 00 00 00 01 04 00 00 00 00 00 A8 06 00"), 0, 4096},
        ReadCase{"StringTwoCharactersAWord", kTypeQnA, "MC3", "D10", kD, BRISANT_STRING, 5,
                 Hex("50 00 00 FF FF 03 00 0C 00 00 00 01 04 00 00 0A 00 00 A8 03 00"), 0, 4096},
        ReadCase{"E1BoolBitDevice", kTypeA, "MC", "M20", kM, BRISANT_BOOL, 12,
                 Hex("01 FF 0A 00 10 00 00 00 20 4D 01 00"), 4, 4},
        // 1E word units of a bit device start on a multiple of 16: M5 x 2 words
        // reads M0..M47, three words.
        ReadCase{"E1WordsOfABitDeviceAligned", kTypeA, "MC", "M5", kM, BRISANT_SHORT, 2,
                 Hex("01 FF 0A 00 00 00 00 00 20 4D 03 00"), 5, 8},
        ReadCase{"E1AsciiWordsOfABitDeviceAligned", kTypeA, "ASCII", "M21", kM, BRISANT_WORD, 1,
                 Ascii("01FF000A4D20000000100200"), 5, 12},
        ReadCase{"E1WordsOfABitDeviceOnAWordBoundary", kTypeA, "MC", "M16", kM, BRISANT_SHORT, 2,
                 Hex("01 FF 0A 00 10 00 00 00 20 4D 02 00"), 0, 6},
        ReadCase{"HexNumberedAscii", kTypeQnA, "ASCII3", "W1F0", kW, BRISANT_WORD, 2,
                 Ascii("500000FF03FF000018000004010000W 0001F00002"), 0, 4096},
        ReadCase{"ZRAscii", kTypeQnA, "ASCII3", "ZR1234", kZR, BRISANT_WORD, 1,
                 Ascii("500000FF03FF000018000004010000ZR0012340001"), 0, 4096},
        ReadCase{"TNBinary", kTypeQnA, "MC3", "TN5", kTN, BRISANT_WORD, 2,
                 Hex("50 00 00 FF FF 03 00 0C 00 00 00 01 04 00 00 05 00 00 C2 02 00"), 0, 4096}),
    [](const testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

TEST(ReadRequest, RouteFromTheDeviceAddress)
{
    McHandler handler;
    StationDevice device(&handler, kTypeQnA, "MC3", "0102030405");
    BlockPtr block = MakeBlock(device, "D100", kD, BRISANT_WORD, 1);
    const char* query = block->FillStatusQueryString(2);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(Bytes(query, block->GetStatusQueryStringLen(2, query)),
              Hex("50 00 01 02 04 03 05 0C 00 00 00 01 04 00 00 64 00 00 A8 01 00"));
}

TEST(ReadRequest, BuiltOncePerLineAndRebuiltInPlace)
{
    McHandler handler;
    StationDevice device(&handler, kTypeQnA, "MC3");
    BlockPtr block = MakeBlock(device, "D100", kD, BRISANT_WORD, 1);
    // A line has no request until it builds one; each line builds its own.
    EXPECT_EQ(block->GetStatusQueryString(1), nullptr);
    const char* query = block->FillStatusQueryString(1);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(block->GetStatusQueryString(0), nullptr);
    const std::vector<BYTE> frame = Bytes(query, block->GetStatusQueryStringLen(1, query));
    EXPECT_EQ(block->FillStatusQueryString(1), query);
    EXPECT_EQ(Bytes(block->GetStatusQueryString(1), block->GetStatusQueryStringLen(1, nullptr)), frame);
}

TEST(ReadRequest, ARebuildForALongerFrameTakesItWhole)
{
    McHandler handler;
    StationDevice device(&handler, kTypeA, "MC");
    BlockPtr block = MakeBlock(device, "D100", kD, BRISANT_SHORT, 3);
    ASSERT_NE(block->FillStatusQueryString(0), nullptr);
    EXPECT_EQ(block->GetStatusQueryStringLen(0, nullptr), 12);
    // The station becomes 4E ASCII, the longest request of all.
    std::string protocol = "ASCII";
    device.ConfigureFrame(kTypeQnA, protocol);
    const char* query = block->FillStatusQueryString(0);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(Bytes(query, block->GetStatusQueryStringLen(0, query)),
              Ascii("540000000000" "00FF03FF00" "0018" "0000" "0401" "0000" "D 000100" "0003"));
    // And back: the shorter request leaves nothing of the longer one behind.
    protocol = "MC";
    device.ConfigureFrame(kTypeA, protocol);
    query = block->FillStatusQueryString(0);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(Bytes(query, block->GetStatusQueryStringLen(0, query)), Hex("01 FF 0A 00 64 00 00 00 20 44 03 00"));
}

TEST(ReadRequest, NoneWithoutAUsableAddress)
{
    McHandler handler;
    StationDevice device(&handler, kTypeQnA, "MC3");
    for (const char* address : {"", "DX", "D99999999"}) {
        BlockPtr block = MakeBlock(device, address, kD, BRISANT_WORD, 1);
        EXPECT_EQ(block->FillStatusQueryString(0), nullptr) << address;
        EXPECT_EQ(block->GetStatusQueryStringLen(0, nullptr), 0) << address;
    }
    // ZR cannot be read in 1E frames.
    StationDevice e1(&handler, kTypeA, "MC");
    BlockPtr zr = MakeBlock(e1, "ZR0", kZR, BRISANT_WORD, 1);
    EXPECT_EQ(zr->FillStatusQueryString(0), nullptr);
}

TEST(ReadRequest, InputsCannotBeWritten)
{
    McHandler handler;
    StationDevice device(&handler, kTypeQnA, "MC3");
    EXPECT_FALSE(MakeBlock(device, "X10", kX, BRISANT_BOOL, 4)->IsWriteAllowed());
    EXPECT_TRUE(MakeBlock(device, "Y10", 0x9D, BRISANT_BOOL, 4)->IsWriteAllowed());
}

// --- responses ---

class ReadResponse : public testing::Test {
protected:
    std::vector<WORD> Values(CMemoryArray& block)
    {
        std::vector<WORD> values;
        for (int i = 0; i < block.GetSize(); ++i)
            values.push_back(block.GetMemoryObject(i)->GetValue().wVal);
        return values;
    }
    int Update(CMemoryArray& block, const std::vector<BYTE>& response)
    {
        return block.UpdateStatus(0, response.data(), static_cast<int>(response.size()), &handler, nullptr);
    }
    McHandler handler;
};

TEST_F(ReadResponse, E3BinaryValuesReachThePoints)
{
    StationDevice device(&handler, kTypeQnA, "MC3");
    BlockPtr block = MakeBlock(device, "D100", kD, BRISANT_WORD, 3);
    ASSERT_NE(block->FillStatusQueryString(0), nullptr);
    EXPECT_EQ(Update(*block, Hex("D0 00 00 FF FF 03 00 08 00 00 00 01 00 02 00 34 12")), 1);
    EXPECT_EQ(Values(*block), (std::vector<WORD>{1, 2, 0x1234}));
    EXPECT_TRUE(handler.logs.empty());
}

// With "Update Same Value" off an unchanged value is left alone, yet a point that
// lost its value or its good quality in between takes it again, and going online
// forgets what was delivered.
TEST_F(ReadResponse, UnchangedValuesReachEveryPointThatNoLongerHoldsThem)
{
    testsupport::OptionScope same(CdsServerFrame::g_bUpdateSameValue, 0);
    StationDevice device(&handler, kTypeQnA, "MC3");
    BlockPtr block = MakeBlock(device, "D100", kD, BRISANT_WORD, 2);
    ASSERT_NE(block->FillStatusQueryString(0), nullptr);
    const std::vector<BYTE> response = Hex("D0 00 00 FF FF 03 00 06 00 00 00 05 00 06 00");
    ASSERT_EQ(Update(*block, response), 1);
    CdsMemoryObject* first = block->GetMemoryObject(0);
    CdsMemoryObject* second = block->GetMemoryObject(1);
    EXPECT_EQ(first->GetStatus(), CdsMemoryObject::QUALITY_GOOD);

    // A refused read or a lost line marks the points: the same values make them good.
    first->SetTouched(FALSE);
    first->SetStatus(CdsMemoryObject::QUALITY_NONE);
    ASSERT_EQ(Update(*block, response), 1);
    EXPECT_EQ(first->GetStatus(), CdsMemoryObject::QUALITY_GOOD);
    EXPECT_EQ(Values(*block), (std::vector<WORD>{5, 6}));

    // A point whose value was replaced while it kept its mark gets the value back once
    // the block has been offline.
    second->SetNewValue(_BRISANTDATAVALUE{}, nullptr, FALSE);
    block->SetOnline(FALSE, &device);
    second->SetTouched(TRUE);
    block->SetOnline(TRUE, &device);
    second->SetTouched(TRUE);
    ASSERT_EQ(Update(*block, response), 1);
    EXPECT_EQ(Values(*block), (std::vector<WORD>{5, 6}));

    // A changed value always arrives.
    ASSERT_EQ(Update(*block, Hex("D0 00 00 FF FF 03 00 06 00 00 00 05 00 07 00")), 1);
    EXPECT_EQ(Values(*block), (std::vector<WORD>{5, 7}));
}

TEST_F(ReadResponse, E1AsciiValuesReachThePoints)
{
    StationDevice device(&handler, kTypeA, "ASCII");
    BlockPtr block = MakeBlock(device, "D100", kD, BRISANT_WORD, 2);
    ASSERT_NE(block->FillStatusQueryString(0), nullptr);
    EXPECT_EQ(Update(*block, Ascii("8100" "ABCD" "0001")), 1);
    EXPECT_EQ(Values(*block), (std::vector<WORD>{0xABCD, 1}));
}

TEST_F(ReadResponse, E4AsciiChecksTheSerialCaseBlind)
{
    StationDevice device(&handler, kTypeQnA, "ASCII", "00ff03ff00");
    BlockPtr block = MakeBlock(device, "D100", kD, BRISANT_WORD, 1);
    char* query = block->FillStatusQueryString(0);
    ASSERT_NE(query, nullptr);
    McStampSerial(std::span<BYTE>(reinterpret_cast<BYTE*>(query), 50), true, 0x00AB);
    EXPECT_EQ(Update(*block, Ascii("D400" "00ab" "0000" "00FF03FF00" "0008" "0000" "0007")), 1);
    EXPECT_EQ(Values(*block), (std::vector<WORD>{7}));
}

TEST_F(ReadResponse, EndCodeFailsAndLogsItsText)
{
    struct Case {
        const char* protocol;
        LONG type;
        std::vector<BYTE> response;
        const char* log;
    };
    const Case cases[] = {
        {"MC3", kTypeQnA, Hex("D0 00 00 FF FF 03 00 02 00 51 C0"), "Invalid length for reading/writing\r\n"},
        {"ASCII3", kTypeQnA, Ascii("D00000FF03FF00" "0004" "C056"), "Over max address for reading/writing!\r\n"},
        {"MC4", kTypeQnA, Hex("D4 00 00 00 00 00 00 FF FF 03 00 02 00 59 C0"), "Invalid command/subcommand\r\n"},
        {"MC", kTypeA, Hex("81 5B 10 00"), "Unknown Error (0x10)\r\n"},
        {"ASCII", kTypeA, Ascii("815B1000"), "Unknown Error (0x10)!\r\n"},
        {"MC", kTypeA, Hex("81 51"), "End code 0x5100\r\n"},
    };
    for (const Case& c : cases) {
        handler.logs.clear();
        StationDevice device(&handler, c.type, c.protocol);
        BlockPtr block = MakeBlock(device, "D0", kD, BRISANT_WORD, 1);
        ASSERT_NE(block->FillStatusQueryString(0), nullptr);
        EXPECT_EQ(Update(*block, c.response), 0) << c.protocol;
        EXPECT_EQ(handler.logs, std::vector<std::string>{c.log}) << c.protocol;
        EXPECT_FALSE(block->GetMemoryObject(0)->IsTouched());
    }
}

TEST_F(ReadResponse, EmptyDataFails)
{
    StationDevice device(&handler, kTypeQnA, "ASCII3");
    BlockPtr block = MakeBlock(device, "D0", kD, BRISANT_WORD, 1);
    ASSERT_NE(block->FillStatusQueryString(0), nullptr);
    EXPECT_EQ(Update(*block, Ascii("D00000FF03FF00" "0004" "0000")), 0);
    EXPECT_EQ(handler.logs, std::vector<std::string>{"No Error, No Data!\r\n"});
}

TEST_F(ReadResponse, BinaryMismatchIsLoggedCountedAndReadAgain)
{
    StationDevice device(&handler, kTypeQnA, "MC3");
    BlockPtr block = MakeBlock(device, "D0", kD, BRISANT_WORD, 1);
    ASSERT_NE(block->FillStatusQueryString(0), nullptr);
    handler.responses.push_back(Hex("D0 00 00 FF FF 03 00 04 00 00 00 2A 00"));
    // The station byte differs: an answer meant for someone else.
    EXPECT_EQ(Update(*block, Hex("D0 00 00 FF FF 03 05 04 00 00 00 63 00")), 1);
    EXPECT_EQ(Values(*block), (std::vector<WORD>{42}));
    EXPECT_EQ(handler.logs, std::vector<std::string>{"Mismatch header for query and response!\r\n"});
    EXPECT_EQ(block->GetErrorCount(), 1);
}

TEST_F(ReadResponse, AsciiMismatchIsReadAgainQuietly)
{
    StationDevice device(&handler, kTypeQnA, "ASCII3");
    BlockPtr block = MakeBlock(device, "D0", kD, BRISANT_WORD, 1);
    ASSERT_NE(block->FillStatusQueryString(0), nullptr);
    handler.responses.push_back(Ascii("D00000FF03FF00" "0008" "0000" "0005"));
    EXPECT_EQ(Update(*block, Ascii("D00001FF03FF00" "0008" "0000" "0009")), 1);
    EXPECT_EQ(Values(*block), (std::vector<WORD>{5}));
    EXPECT_TRUE(handler.logs.empty());
    EXPECT_EQ(block->GetErrorCount(), 0);
}

TEST_F(ReadResponse, E1SubheaderMismatch)
{
    StationDevice device(&handler, kTypeA, "MC");
    BlockPtr block = MakeBlock(device, "D0", kD, BRISANT_WORD, 1);
    ASSERT_NE(block->FillStatusQueryString(0), nullptr);
    handler.responses.push_back(Hex("81 00 03 00"));
    EXPECT_EQ(Update(*block, Hex("85 00")), 1);
    EXPECT_EQ(Values(*block), (std::vector<WORD>{3}));
    EXPECT_EQ(handler.logs, std::vector<std::string>{"Mismatching SubHeaders!\r\n"});
}

TEST_F(ReadResponse, RereadsAreBounded)
{
    StationDevice device(&handler, kTypeQnA, "MC4");
    BlockPtr block = MakeBlock(device, "D0", kD, BRISANT_WORD, 1);
    ASSERT_NE(block->FillStatusQueryString(0), nullptr);
    const auto stale = Hex("D4 00 09 00 00 00 00 FF FF 03 00 04 00 00 00 01 00");
    for (int i = 0; i < 10; ++i)
        handler.responses.push_back(stale);
    EXPECT_EQ(Update(*block, stale), 0);
    EXPECT_EQ(handler.rereads, kMcMaxRereads);
    EXPECT_EQ(block->GetErrorCount(), kMcMaxRereads + 1);
    EXPECT_FALSE(block->GetMemoryObject(0)->IsTouched());
}

TEST_F(ReadResponse, NoResponseToReadAgainFails)
{
    StationDevice device(&handler, kTypeQnA, "MC3");
    BlockPtr block = MakeBlock(device, "D0", kD, BRISANT_WORD, 1);
    ASSERT_NE(block->FillStatusQueryString(0), nullptr);
    EXPECT_EQ(Update(*block, Hex("D0 00 07 FF FF 03 00 04 00 00 00 01 00")), 0);
    EXPECT_EQ(handler.rereads, 1);
}

TEST_F(ReadResponse, NoRequestBuiltNoValues)
{
    StationDevice device(&handler, kTypeQnA, "MC3");
    BlockPtr block = MakeBlock(device, "D0", kD, BRISANT_WORD, 1);
    EXPECT_EQ(Update(*block, Hex("D0 00 00 FF FF 03 00 04 00 00 00 01 00")), 0);
}

TEST_F(ReadResponse, BoolBlockUsesTheStoredOffset)
{
    StationDevice device(&handler, kTypeQnA, "MC3");
    BlockPtr block = MakeBlock(device, "M5", kM, BRISANT_BOOL, 20);
    ASSERT_NE(block->FillStatusQueryString(0), nullptr);
    EXPECT_EQ(Update(*block, Hex("D0 00 00 FF FF 03 00 06 00 00 00 20 00 00 01")), 1);
    EXPECT_EQ(block->GetMemoryObject(0)->GetValue().boolVal, 1);
    EXPECT_EQ(block->GetMemoryObject(1)->GetValue().boolVal, 0);
    EXPECT_EQ(block->GetMemoryObject(19)->GetValue().boolVal, 1);
}

TEST(BlockPoints, PseudoNamesAreElementAddresses)
{
    McHandler handler;
    StationDevice device(&handler, kTypeQnA, "MC3");
    EXPECT_EQ(MakeBlock(device, "D100", kD, BRISANT_LONG, 4)->GetMemoryObject(3)->GetName(), "D106");
    EXPECT_EQ(MakeBlock(device, "X0F", kX, BRISANT_BOOL, 4)->GetMemoryObject(1)->GetName(), "X10");
    EXPECT_EQ(MakeBlock(device, "M10", kM, BRISANT_WORD, 4)->GetMemoryObject(2)->GetName(), "M42");
}

}  // namespace
