#include "platform/com/Bstr.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

TEST(Bstr, KoreanTextSurvivesTheRoundTrip)
{
    const std::string korean = "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 \xED\x85\x8D\xEC\x8A\xA4\xED\x8A\xB8";  // 한국어 텍스트
    const BSTR wide = com::toBstr(korean);
    const BSTR expected = {0xD55C, 0xAD6D, 0xC5B4, 0x0020, 0xD14D, 0xC2A4, 0xD2B8};
    EXPECT_EQ(wide, expected);
    EXPECT_EQ(com::fromBstr(wide), korean);
}

TEST(Bstr, AstralCharactersUseSurrogatePairs)
{
    const std::string grin = "\xF0\x9F\x98\x80";  // U+1F600
    EXPECT_EQ(com::toBstr(grin), (BSTR{0xD83D, 0xDE00}));
    EXPECT_EQ(com::fromBstr(BSTR{0xD83D, 0xDE00}), grin);
}

TEST(Bstr, EmbeddedNulIsKept)
{
    const std::string text("a\0b", 3);
    EXPECT_EQ(com::toBstr(text), (BSTR{u'a', 0, u'b'}));
    EXPECT_EQ(com::fromBstr(com::toBstr(text)), text);
}

struct BadUtf8 {
    const char* name;
    std::string input;
    BSTR expected;
};

void PrintTo(const BadUtf8& c, std::ostream* os) { *os << c.name; }

class Utf8Repair : public testing::TestWithParam<BadUtf8> {};

TEST_P(Utf8Repair, ReplacesEachBadSubsequence)
{
    EXPECT_EQ(com::toBstr(GetParam().input), GetParam().expected);
    EXPECT_FALSE(com::isValidUtf8(GetParam().input));
}

constexpr char16_t R = 0xFFFD;

INSTANTIATE_TEST_SUITE_P(
    Inputs, Utf8Repair,
    testing::Values(BadUtf8{"LoneLeadByteAtEnd", "A\xC3", {u'A', R}},
                    BadUtf8{"StrayContinuation", "a\x80z", {u'a', R, u'z'}},
                    BadUtf8{"InvalidByteFF", "a\xFF" "b", {u'a', R, u'b'}},
                    BadUtf8{"OverlongSlash", "\xC0\xAF", {R, R}},
                    BadUtf8{"OverlongThreeBytes", "\xE0\x80\x80", {R, R, R}},
                    BadUtf8{"EncodedSurrogate", "\xED\xA0\x80", {R, R, R}},
                    BadUtf8{"AboveU10FFFF", "\xF4\x90\x80\x80", {R, R, R, R}},
                    BadUtf8{"CutFourByteSequence", "\xF0\x9F\x98", {R}},
                    BadUtf8{"CutThenAscii", "\xE2\x82x", {R, u'x'}}),
    [](const testing::TestParamInfo<BadUtf8>& info) { return std::string(info.param.name); });

TEST(Bstr, UnpairedSurrogatesBecomeReplacement)
{
    EXPECT_EQ(com::fromBstr(BSTR{0xD800, u'x'}), "\xEF\xBF\xBDx");
    EXPECT_EQ(com::fromBstr(BSTR{0xDC00}), "\xEF\xBF\xBD");
    EXPECT_EQ(com::fromBstr(BSTR{u'a', 0xD83D}), "a\xEF\xBF\xBD");
    EXPECT_FALSE(com::isValidUtf16(BSTR{0xD800, u'x'}));
    EXPECT_FALSE(com::isValidUtf16(BSTR{0xDE00, 0xD83D}));
    EXPECT_TRUE(com::isValidUtf16(BSTR{0xD83D, 0xDE00}));
}

TEST(Bstr, ValidityChecks)
{
    EXPECT_TRUE(com::isValidUtf8(""));
    EXPECT_TRUE(com::isValidUtf8("plain"));
    EXPECT_TRUE(com::isValidUtf8("\xEF\xBF\xBD"));  // a real U+FFFD
    EXPECT_TRUE(com::isValidUtf8("\xF4\x8F\xBF\xBF"));  // U+10FFFF
}

} // namespace
