#include "kestrun/model/ItemName.h"

#include <gtest/gtest.h>

namespace kestrun {
namespace {

TEST(ItemNameFormsTest, NamesTheModelForms)
{
    EXPECT_EQ(FormatPointName("D100", 7), "D100:7");
    EXPECT_EQ(FormatSeparatedName("D105", ':', 3), "D105:3");
    EXPECT_EQ(FormatBitName("D100", 5, 15), "D100:5/15");
    EXPECT_EQ(FormatBlockPath("Line1", "D100"), "[Line1]D100");
    EXPECT_EQ(FormatBlockPath("", "D100"), "D100");
    EXPECT_EQ(FormatPointPath("[Line1]D100", "D105"), "[Line1]D100.D105");
    EXPECT_EQ(FormatLeafName("PLC1", "D105"), "[PLC1]D105");
}

TEST(ItemNameFormsTest, VariantKeyIsOneForEverySpellingOfTheTypeWord)
{
    EXPECT_EQ(FormatVariantKey("d100:5", " r4x ", false), "D100:5 R4X");
    EXPECT_EQ(FormatVariantKey("D100:5", "R4X", false), "D100:5 R4X");
    // Case-sensitive names keep the base as given; the type word is still normalised.
    EXPECT_EQ(FormatVariantKey("d100:5", "r4x", true), "d100:5 R4X");
}

TEST(ItemNameFormsTest, CaseRule)
{
    EXPECT_EQ(ApplyNameCase("d100:h5", false), "D100:H5");
    EXPECT_EQ(ApplyNameCase("d100:h5", true), "d100:h5");
    EXPECT_EQ(TrimName(" \t D100 \r\n"), "D100");
}

TEST(ItemNameFormsTest, BoundedDecimal)
{
    struct Case {
        const char* text;
        int max;
        std::optional<int> expected;
    };
    const Case cases[] = {
        {"0", 31, 0},          {"31", 31, 31},       {"32", 31, std::nullopt}, {"", 31, std::nullopt},
        {"3x", 31, std::nullopt}, {"-1", 31, std::nullopt}, {" 3", 31, std::nullopt},
        {"65536", 65536, 65536}, {"65537", 65536, std::nullopt},
        {"99999999999999999999", 65536, std::nullopt}, {"0000000000000000000003", 31, 3},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseBoundedDecimal(c.text, c.max), c.expected) << c.text;
}

struct PointNameCase {
    const char* name;
    bool dotSubset;
    // separator part
    bool hasSeparator;
    const char* beforeSeparator;
    int separatorBit;  // -1: not a bit number
    // address part
    bool hasAddressForm;
    const char* address;
    int index;         // -1: not an index
    bool hasBit;
    int bit;           // -1: not a bit number
};

class PointNameParseTest : public testing::TestWithParam<PointNameCase> {};

TEST_P(PointNameParseTest, Splits)
{
    const PointNameCase& c = GetParam();
    const PointNameParts p = ParsePointName(c.name, c.dotSubset);
    EXPECT_EQ(p.hasSeparator, c.hasSeparator);
    if (c.hasSeparator) {
        EXPECT_EQ(p.beforeSeparator, c.beforeSeparator);
        EXPECT_EQ(p.separatorBit.value_or(-1), c.separatorBit);
    }
    EXPECT_EQ(p.hasAddressForm, c.hasAddressForm);
    if (c.hasAddressForm) {
        EXPECT_EQ(p.address, c.address);
        EXPECT_EQ(p.index.value_or(-1), c.index);
        EXPECT_EQ(p.hasBit, c.hasBit);
        if (c.hasBit) {
            EXPECT_EQ(p.bit.value_or(-1), c.bit);
        }
    }
}

// clang-format off
const PointNameCase kPointNames[] = {
    // name            dot    sep?   before     sbit  addr?  address index hasBit bit
    {"D100:5",         true,  false, "",        -1,   true,  "D100", 5,    false, -1},
    {"D100:10",        true,  false, "",        -1,   true,  "D100", 10,   false, -1},
    {"D100:H5",        true,  false, "",        -1,   true,  "D100", 5,    false, -1},
    {"d100:h5",        true,  false, "",        -1,   true,  "d100", 5,    false, -1},
    {"D100:&5",        true,  false, "",        -1,   true,  "D100", 5,    false, -1},
    {"D100:HA",        true,  false, "",        -1,   true,  "D100", 10,   false, -1},
    {"D100:ha",        true,  false, "",        -1,   true,  "D100", 10,   false, -1},
    {"D100: 5 ",       true,  false, "",        -1,   true,  "D100", 5,    false, -1},
    // one prefix character only
    {"D100:&H5",       true,  false, "",        -1,   true,  "D100", -1,   false, -1},
    // a hex index with any other character is refused
    {"D100:H5G",       true,  false, "",        -1,   true,  "D100", -1,   false, -1},
    {"D100:H",         true,  false, "",        -1,   true,  "D100", -1,   false, -1},
    {"D100:x5",        true,  false, "",        -1,   true,  "D100", -1,   false, -1},
    {"D100:",          true,  false, "",        -1,   true,  "D100", -1,   false, -1},
    {"D100:   ",       true,  false, "",        -1,   true,  "D100", -1,   false, -1},
    // decimal: digits up to the first non-digit
    {"D100:12AB",      true,  false, "",        -1,   true,  "D100", 12,   false, -1},
    // bounded: 65536 points, hex too
    {"D100:65536",     true,  false, "",        -1,   true,  "D100", 65536, false, -1},
    {"D100:65537",     true,  false, "",        -1,   true,  "D100", -1,   false, -1},
    {"D100:4294967301",true,  false, "",        -1,   true,  "D100", -1,   false, -1},
    {"D100:H10000",    true,  false, "",        -1,   true,  "D100", 65536, false, -1},
    {"D100:H100000005",true,  false, "",        -1,   true,  "D100", -1,   false, -1},
    // bits after "/" or, with dot subsets, "."
    {"D100:5/3",       true,  true,  "D100:5",  3,    true,  "D100", 5,    true,  3},
    {"D100:5/3",       false, true,  "D100:5",  3,    true,  "D100", 5,    true,  3},
    {"D100:5.3",       true,  true,  "D100:5",  3,    true,  "D100", 5,    true,  3},
    {"D100:H5.15",     true,  true,  "D100:H5", 15,   true,  "D100", 5,    true,  15},
    {"D100:5/31",      true,  true,  "D100:5",  31,   true,  "D100", 5,    true,  31},
    // bit numbers run 0..31
    {"D100:5/32",      true,  true,  "D100:5",  -1,   true,  "D100", 5,    true,  -1},
    {"D100:5/33",      true,  true,  "D100:5",  -1,   true,  "D100", 5,    true,  -1},
    {"D100:5/4294967299", true, true, "D100:5", -1,   true,  "D100", 5,    true,  -1},
    // the text after the separator must be digits
    {"D100:5/3x",      true,  true,  "D100:5",  -1,   true,  "D100", 5,    true,  -1},
    {"D100:5/",        true,  true,  "D100:5",  -1,   true,  "D100", 5,    true,  -1},
    {"D100:5/-1",      true,  true,  "D100:5",  -1,   true,  "D100", 5,    true,  -1},
    // without dot subsets a dot is part of the index text
    {"D100:5.3",       false, false, "",        -1,   true,  "D100", 5,    false, -1},
    // with dot subsets the last '.' wins over a '/'
    {"D100:5/2.3",     true,  true,  "D100:5/2", 3,   true,  "D100", 5,    true,  3},
    // pseudo names
    {"D105",           true,  false, "",        -1,   false, "",     -1,   false, -1},
    {"D105/3",         true,  true,  "D105",    3,    false, "",     -1,   false, -1},
    {"D105.3",         true,  true,  "D105",    3,    false, "",     -1,   false, -1},
    {"D105.3",         false, false, "",        -1,   false, "",     -1,   false, -1},
    // a separator or ':' at position 0 does not count
    {"/3",             true,  false, "",        -1,   false, "",     -1,   false, -1},
    {".3",             true,  false, "",        -1,   false, "",     -1,   false, -1},
    {":5",             true,  false, "",        -1,   false, "",     -1,   false, -1},
    {":h5",            true,  false, "",        -1,   false, "",     -1,   false, -1},
    {":&5",            true,  false, "",        -1,   false, "",     -1,   false, -1},
    // a separator before the ':' belongs to the address
    {"A/B:5",          true,  true,  "A",       -1,   true,  "A/B",  5,    false, -1},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Forms, PointNameParseTest, testing::ValuesIn(kPointNames));

TEST(ItemNameSplitTest, WildMatch)
{
    EXPECT_TRUE(WildNameMatches("D100:5", "D100:5", false));
    EXPECT_FALSE(WildNameMatches("D100:5", "D100", false));
    EXPECT_TRUE(WildNameMatches("D100:0", "D100", true));
    EXPECT_FALSE(WildNameMatches("D100:0", "D10", true));
    EXPECT_FALSE(WildNameMatches("D100", "D", true));
}

TEST(ItemNameSplitTest, TypedItem)
{
    struct Case {
        const char* item;
        bool typed;
        const char* base;
        const char* code;
    };
    const Case cases[] = {
        {"D100 R4", true, "D100", "R4"},
        {"D100:5  r4x ", true, "D100:5", "r4x"},
        {"D100:5 M10", true, "D100:5", "M10"},
        {" D100 R4", false, "", ""},
        {"D100:5", false, "", ""},
        {"D100:5 ", true, "D100:5", ""},
    };
    for (const Case& c : cases) {
        const auto t = SplitTypedItem(c.item);
        ASSERT_EQ(t.has_value(), c.typed) << c.item;
        if (!t) continue;
        EXPECT_EQ(t->base, c.base) << c.item;
        EXPECT_EQ(t->code, c.code) << c.item;
    }
}

TEST(ItemNameSplitTest, BracketedTopic)
{
    struct Case {
        const char* id;
        bool bracketed;
        const char* topic;
        const char* item;
        const char* rewritten;
    };
    const Case cases[] = {
        {"[PLC1]D100:5", true, "PLC1", "D100:5", "PLC1.D100:5"},
        {"[PLC1]", true, "PLC1", "", "PLC1."},
        {"[]D100", true, "", "D100", ".D100"},
        {"PLC1.D100:5", false, "", "", "PLC1.D100:5"},
        // ']' before '[' is no bracketed topic, and the text is left as it is
        {"]PLC1[D100", false, "", "", "]PLC1[D100"},
        {"a]PLC1[D100", false, "", "", "a]PLC1[D100"},
        {"[PLC1", false, "", "", "[PLC1"},
        {"PLC1]", false, "", "", "PLC1]"},
        // only the first ']' closes the topic; later '[' are dropped
        {"[A]B[C]D", true, "A", "B[C]D", "A.BC]D"},
    };
    for (const Case& c : cases) {
        const auto b = SplitBracketedItem(c.id);
        ASSERT_EQ(b.has_value(), c.bracketed) << c.id;
        if (b) {
            EXPECT_EQ(b->topic, c.topic) << c.id;
            EXPECT_EQ(b->item, c.item) << c.id;
        }
        EXPECT_EQ(RewriteBracketedItem(c.id), c.rewritten) << c.id;
    }
}

TEST(ItemNameSplitTest, TagNames)
{
    struct Case {
        const char* id;
        const char* shortName;
        const char* itemId;
    };
    const Case cases[] = {
        {"[PLC1]D100:5", "D100:5", "PLC1.D100:5"},
        {"PLC1.D100:5", "D100:5", "PLC1.D100:5"},
        {"PLC1.D100:5.3", "3", "PLC1.D100:5.3"},
        {"D100:5", "D100:5", "D100:5"},
    };
    for (const Case& c : cases) {
        const TagNames n = MakeTagNames(c.id);
        EXPECT_EQ(n.shortName, c.shortName) << c.id;
        EXPECT_EQ(n.itemId, c.itemId) << c.id;
    }
}

TEST(ItemNameSplitTest, DdeItem)
{
    struct Case {
        const char* text;
        const char* topic;  // null: none
        const char* item;
    };
    const Case cases[] = {
        {"  D100:5 ", nullptr, "D100:5"},
        {"[PLC1]D100:5", "PLC1", "D100:5"},
        {" [PLC1] D100:5 ", "PLC1", "D100:5"},
        {"]PLC1[D100:5", nullptr, "]PLC1[D100:5"},
    };
    for (const Case& c : cases) {
        const DdeItemText d = SplitDdeItem(c.text);
        EXPECT_EQ(d.topic.has_value(), c.topic != nullptr) << c.text;
        if (d.topic && c.topic) {
            EXPECT_EQ(*d.topic, c.topic) << c.text;
        }
        EXPECT_EQ(d.item, c.item) << c.text;
    }
}

} // namespace
} // namespace kestrun
