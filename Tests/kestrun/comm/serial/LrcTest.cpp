#include "kestrun/comm/serial/Lrc.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// The text in a buffer of exactly its length, so ASan catches any read past it.
std::unique_ptr<char[]> Exact(const std::string& text)
{
    auto buf = std::make_unique<char[]>(text.size() ? text.size() : 1);
    text.copy(buf.get(), text.size());
    return buf;
}

struct AsciiCase {
    const char* text;
    BYTE lrc;
};

class AsciiLrcTest : public ::testing::TestWithParam<AsciiCase> {};

TEST_P(AsciiLrcTest, SumsWholeHexPairsOnly)
{
    const std::string text = GetParam().text;
    auto buf = Exact(text);
    EXPECT_EQ(CAsciiLrc::CalcLrc(buf.get(), static_cast<DWORD>(text.size())), GetParam().lrc) << text;
}

INSTANTIATE_TEST_SUITE_P(Bodies, AsciiLrcTest,
    ::testing::Values(AsciiCase{"0103", 0xFC},
                      AsciiCase{"", 0x00},
                      AsciiCase{"0", 0x00},          // a lone digit is no pair
                      AsciiCase{"01", 0xFF},
                      AsciiCase{"010", 0xFF},        // odd: the last digit is ignored
                      AsciiCase{"123456789", 0xEC},  // 12+34+56+78, the 9 is ignored
                      AsciiCase{"12345678", 0xEC},
                      AsciiCase{"ff01", 0x00},       // lower-case digits
                      AsciiCase{"FF01", 0x00},
                      AsciiCase{"010300000001", 0xFB}, // Modbus ASCII read request
                      AsciiCase{"G1", 0xFF}));       // a non-digit counts as 0

TEST(CAsciiLrc, ValidatesTheTrailingHexPair)
{
    struct Case {
        const char* text;
        bool valid;
    };
    for (const Case& c : {Case{"0103FC", true}, Case{"0103fc", true}, Case{"0103FD", false},
                          Case{"010300000001FB", true}, Case{"FC", false}, Case{"00", true},
                          Case{"0103F", false}, Case{"0103GC", false}, Case{"", false},
                          Case{"0", false}}) {
        const std::string text = c.text;
        auto buf = Exact(text);
        EXPECT_EQ(CAsciiLrc::IsValidLrc(buf.get(), static_cast<DWORD>(text.size())), c.valid) << text;
    }
}

TEST(CRtuLrc, IsTheNegatedByteSum)
{
    const std::string check = "123456789";
    EXPECT_EQ(CRtuLrc::CalcLrc(reinterpret_cast<const BYTE*>(check.data()), 9), 0x23);
    const BYTE frame[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(CRtuLrc::CalcLrc(frame, 6), 0xFB);
    EXPECT_EQ(CRtuLrc::CalcLrc(frame, 0), 0x00);
    EXPECT_EQ(CRtuLrc::CalcLrc(frame, 0x10001), 0xFF); // 16-bit length: just the first byte
}

TEST(CRtuLrc, ValidatesTrailingHexCharacters)
{
    const BYTE good[] = {0x01, 0x03, 'F', 'C'};
    const BYTE bad[] = {0x01, 0x03, 'F', 'D'};
    const BYTE raw[] = {0x01, 0x03, 0xFC};
    EXPECT_TRUE(CRtuLrc::IsValidLrc(good, 4));
    EXPECT_FALSE(CRtuLrc::IsValidLrc(bad, 4));
    EXPECT_FALSE(CRtuLrc::IsValidLrc(raw, 3));
    EXPECT_FALSE(CRtuLrc::IsValidLrc(good, 1));
    EXPECT_FALSE(CRtuLrc::IsValidLrc(good, 0));
}

TEST(Lrc, AddLrcLeavesTheBufferAlone)
{
    char text[] = "0103xx";
    BYTE data[] = {1, 3, 0xAA, 0xBB};
    CAsciiLrc::AddLrc(text, 4);
    CRtuLrc::AddLrc(data, 2);
    EXPECT_STREQ(text, "0103xx");
    EXPECT_EQ(data[2], 0xAA);
    EXPECT_EQ(data[3], 0xBB);
}

} // namespace
