#include "platform/opc/server/PatternMatch.h"
#include "platform/opc/server/ServerEntries.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* text;
    const char* pattern;
    bool caseSensitive;
    bool match;
};

class PatternMatchTest : public ::testing::TestWithParam<Case> {};

TEST_P(PatternMatchTest, MatchesTheBrowseFilter)
{
    const Case& c = GetParam();
    EXPECT_EQ(opc::matchPattern(c.text, c.pattern, c.caseSensitive), c.match) << c.text << " ~ " << c.pattern;
    EXPECT_EQ(FSMatchPattern(c.text, c.pattern, c.caseSensitive) != FALSE, c.match);
}

INSTANTIATE_TEST_SUITE_P(Filters, PatternMatchTest,
                         ::testing::Values(Case{"D100", "", false, true}, Case{"D100", "*", false, true},
                                           Case{"D100", "D*", false, true}, Case{"D100", "d*", false, true},
                                           Case{"D100", "d*", true, false}, Case{"D100", "D1?0", false, true},
                                           Case{"D100", "D1?", false, false}, Case{"D100", "D###", false, true},
                                           Case{"DX00", "D###", false, false}, Case{"M5", "[DM]5", false, true},
                                           Case{"X5", "[DM]5", false, false}, Case{"X5", "[!DM]5", false, true},
                                           Case{"C5", "[A-D]5", false, true}, Case{"E5", "[A-D]5", false, false},
                                           Case{"ABCABC", "*ABC", false, true}, Case{"AB", "*ABC", false, false},
                                           Case{"A[B", "A[B", false, true}, Case{"", "*", false, true},
                                           Case{"", "?", false, false}, Case{"PLC1.MOTOR.SPEED", "*.SPEED", false, true}));

TEST(FSMatchPatternTest, RefusesNullTexts)
{
    EXPECT_EQ(FSMatchPattern(nullptr, "*", FALSE), FALSE);
    EXPECT_EQ(FSMatchPattern("A", nullptr, FALSE), FALSE);
}

} // namespace
