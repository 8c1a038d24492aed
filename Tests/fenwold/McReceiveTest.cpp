#include "fenwold/McReceive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "support/HexBytes.h"

namespace {

using testsupport::Ascii;
using testsupport::Hex;

// A stream that hands out what it holds and records each read's size.
class StreamReader : public McByteReader {
public:
    explicit StreamReader(std::vector<BYTE> bytes) : m_bytes(std::move(bytes)) {}
    bool ReadExactly(BYTE* p, int n) override
    {
        reads.push_back(n);
        if (m_at + static_cast<std::size_t>(n) > m_bytes.size())
            return false;
        std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_at), n, p);
        m_at += static_cast<std::size_t>(n);
        return true;
    }
    std::size_t Left() const { return m_bytes.size() - m_at; }
    std::vector<int> reads;

private:
    std::vector<BYTE> m_bytes;
    std::size_t m_at = 0;
};

struct ReceiveCase {
    const char* name;
    McFrameKind kind;
    bool ascii;
    int expected;  // whole length of a good 1E response
    std::vector<BYTE> stream;
    bool ok;
    int received;
    std::vector<int> reads;
};

class Receive : public testing::TestWithParam<ReceiveCase> {};

TEST_P(Receive, ReadsHeaderThenRest)
{
    const ReceiveCase& c = GetParam();
    StreamReader reader(c.stream);
    std::array<BYTE, 64> buffer{};
    int received = -1;
    EXPECT_EQ(McReceiveResponse(c.kind, c.ascii, buffer.data(), static_cast<int>(buffer.size()), c.expected,
                                received, reader),
              c.ok);
    if (c.ok) {
        EXPECT_EQ(received, c.received);
    }
    EXPECT_EQ(reader.reads, c.reads);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, Receive,
    testing::Values(
        ReceiveCase{"E3BinaryEndCodeOnly", McFrameKind::E3, false, 0, Hex("D0 00 00 FF FF 03 00 02 00 00 00"), true,
                    11, {9, 2}},
        ReceiveCase{"E3BinaryData", McFrameKind::E3, false, 0, Hex("D0 00 00 FF FF 03 00 04 00 00 00 34 12"), true,
                    13, {9, 4}},
        ReceiveCase{"E4Binary", McFrameKind::E4, false, 0,
                    Hex("D4 00 01 00 00 00 00 FF FF 03 00 02 00 00 00"), true, 15, {13, 2}},
        ReceiveCase{"E3Ascii", McFrameKind::E3, true, 0, Ascii("D00000FF03FF000008" "0000" "1234"), true, 26,
                    {18, 8}},
        ReceiveCase{"E4Ascii", McFrameKind::E4, true, 0, Ascii("D40000010000" "00FF03FF00" "0004" "0000"), true, 30,
                    {26, 4}},
        ReceiveCase{"E1BinaryGood", McFrameKind::E1, false, 6, Hex("81 00 01 00 02 00"), true, 6, {2, 4}},
        ReceiveCase{"E1AsciiGood", McFrameKind::E1, true, 8, Ascii("8100" "1234"), true, 8, {4, 4}},
        ReceiveCase{"E1WriteGood", McFrameKind::E1, false, 2, Hex("85 00"), true, 2, {2}},
        // An abnormal code and a zero byte follow only end code 5B, and belong to
        // the response: nothing of it is left to be taken for junk.
        ReceiveCase{"E1Binary5B", McFrameKind::E1, false, 6, Hex("81 5B 10 00"), true, 4, {2, 2}},
        ReceiveCase{"E1Ascii5B", McFrameKind::E1, true, 8, Ascii("815B" "1000"), true, 8, {4, 4}},
        ReceiveCase{"E1Binary5BNoZero", McFrameKind::E1, false, 6, Hex("81 5B 10"), false, 0, {2, 2}},
        ReceiveCase{"E1Ascii5BNoZero", McFrameKind::E1, true, 8, Ascii("815B" "10"), false, 0, {4, 4}},
        ReceiveCase{"E1Binary5BNoCode", McFrameKind::E1, false, 6, Hex("81 5B"), false, 0, {2, 2}},
        // Other end codes are the whole response: no waiting for bytes that never come.
        ReceiveCase{"E1BinaryOtherEndCode", McFrameKind::E1, false, 6, Hex("81 51"), true, 2, {2}},
        ReceiveCase{"E1AsciiOtherEndCode", McFrameKind::E1, true, 8, Ascii("8151"), true, 4, {4}},
        // Failures: short header, short body, wrong subheader, a request subheader,
        // an impossible or oversized length field.
        ReceiveCase{"ShortHeader", McFrameKind::E3, false, 0, Hex("D0 00 00 FF"), false, 0, {9}},
        ReceiveCase{"ShortBody", McFrameKind::E3, false, 0, Hex("D0 00 00 FF FF 03 00 04 00 00 00"), false, 0,
                    {9, 4}},
        ReceiveCase{"WrongSubheader", McFrameKind::E3, false, 0, Hex("D4 00 00 FF FF 03 00 02 00 00 00"), false, 0,
                    {9}},
        ReceiveCase{"RequestSubheader", McFrameKind::E3, false, 0, Hex("50 00 00 FF FF 03 00 02 00 00 00"), false,
                    0, {9}},
        ReceiveCase{"LengthFFFF", McFrameKind::E3, false, 0, Hex("D0 00 00 FF FF 03 00 FF FF 00 00"), false, 0,
                    {9}},
        ReceiveCase{"LengthBelowEndCode", McFrameKind::E3, false, 0, Hex("D0 00 00 FF FF 03 00 01 00 00"), false, 0,
                    {9}},
        ReceiveCase{"E1RequestSubheader", McFrameKind::E1, false, 6, Hex("01 00 01 00 02 00"), false, 0, {2}}),
    [](const testing::TestParamInfo<ReceiveCase>& info) { return info.param.name; });

TEST(Receive, LeavesTheNextResponseUnread)
{
    StreamReader reader(Hex("D0 00 00 FF FF 03 00 02 00 00 00 D0 00 00 FF FF 03 00 02 00 00 00"));
    std::array<BYTE, 64> buffer{};
    int received = 0;
    ASSERT_TRUE(McReceiveResponse(McFrameKind::E3, false, buffer.data(), 64, 0, received, reader));
    EXPECT_EQ(received, 11);
    EXPECT_EQ(reader.Left(), 11u);
}

TEST(Receive, AbnormalResponseIsTakenWithItsZeroByte)
{
    StreamReader reader(Ascii("815B1000" "8100"));
    std::array<BYTE, 16> buffer{};
    int received = 0;
    ASSERT_TRUE(McReceiveResponse(McFrameKind::E1, true, buffer.data(), 16, 8, received, reader));
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + received), "815B1000");
    EXPECT_EQ(reader.Left(), 4u);
}

TEST(Receive, BufferTooSmallForTheHeader)
{
    StreamReader reader(Hex("D0 00 00 FF FF 03 00 02 00 00 00"));
    std::array<BYTE, 8> buffer{};
    int received = 0;
    EXPECT_FALSE(McReceiveResponse(McFrameKind::E3, false, buffer.data(), 8, 0, received, reader));
    EXPECT_TRUE(reader.reads.empty());
}

}  // namespace
