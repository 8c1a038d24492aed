#include "fenwold/ElementAddress.h"

#include <gtest/gtest.h>

namespace {

constexpr WORD M = 0x90, X = 0x9C, B = 0xA0, D = 0xA8, SD = 0xA9, W = 0xB4, ZR = 0xB0,
               TN = 0xC2;

struct NumberCase {
    const char* address;
    WORD device;
    bool ok;
    DWORD number;
};

class DeviceNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(DeviceNumber, ReadsTheDevicesNumbering)
{
    const NumberCase& c = GetParam();
    const auto n = ParseDeviceNumber(c.address, c.device);
    ASSERT_EQ(n.has_value(), c.ok) << c.address;
    if (c.ok) {
        EXPECT_EQ(*n, c.number) << c.address;
    }
}

INSTANTIATE_TEST_SUITE_P(Numbers, DeviceNumber, testing::Values(
    NumberCase{"D100", D, true, 100}, NumberCase{"X1F0", X, true, 0x1F0},
    NumberCase{"Xa", X, true, 0xA}, NumberCase{"W0100", W, true, 0x100},
    NumberCase{"ZR1F", ZR, true, 0x1F}, NumberCase{"TN12", TN, true, 12},
    NumberCase{"SD100", SD, true, 100},
    NumberCase{"D999999", D, true, 999999}, NumberCase{"ZRFFFFFF", ZR, true, 0xFFFFFF},
    // bounds: six digits in the device's numbering
    NumberCase{"D1000000", D, false, 0}, NumberCase{"ZR1000000", ZR, false, 0},
    NumberCase{"D99999999999", D, false, 0},
    // malformed
    NumberCase{"D", D, false, 0}, NumberCase{"D1A", D, false, 0},
    NumberCase{"D-1", D, false, 0}, NumberCase{"XG", X, false, 0},
    NumberCase{"SD100", 0x99, false, 0},
    // the name is skipped by the device's own length
    NumberCase{"SD100", 0x98 /* S */, false, 0}));

TEST(MelsecAddress, ParsesDeviceAndWidth)
{
    const auto a = ParseMelsecAddress("ZR0010");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->deviceCode, ZR);
    EXPECT_EQ(a->number, 0x10u);
    EXPECT_EQ(a->digits, 4);

    const auto dx = ParseMelsecAddress("DX1F");
    ASSERT_TRUE(dx);
    EXPECT_EQ(dx->deviceCode, 0xA2);
    EXPECT_EQ(dx->number, 0x1Fu);

    EXPECT_FALSE(ParseMelsecAddress("T10"));
    EXPECT_FALSE(ParseMelsecAddress("D"));
}

struct ElementCase {
    const char* text;
    int type;
    WORD device;
    int index;
    const char* expected;  // nullptr: refused
};

class Element : public testing::TestWithParam<ElementCase> {};

TEST_P(Element, AddressOfThePoint)
{
    const ElementCase& c = GetParam();
    const auto e = GetElementAddress(c.text, c.type, c.device, c.index);
    if (!c.expected) {
        EXPECT_FALSE(e) << c.text << " type " << c.type << " gave " << e->text;
        return;
    }
    ASSERT_TRUE(e) << c.text << " type " << c.type;
    EXPECT_EQ(e->text, c.expected) << c.text << " type " << c.type;
    EXPECT_EQ(ParseDeviceNumber(e->text, c.device), e->number);
}

// Word devices step in words.
INSTANTIATE_TEST_SUITE_P(WordDevices, Element, testing::Values(
    ElementCase{"D100:3", 3, D, -1, "D103"}, ElementCase{"D9:1", 4, D, -1, "D10"},
    ElementCase{"D09:1", 4, D, -1, "D10"}, ElementCase{"D0009:1", 4, D, -1, "D0010"},
    ElementCase{"D0100:2", 5, D, -1, "D0104"}, ElementCase{"D100:1", 8, D, -1, "D104"},
    ElementCase{"D100:", 4, D, -1, "D100"}, ElementCase{"D100", 4, D, -1, "D100"},
    ElementCase{"D100:7", 4, D, 2, "D102"}, ElementCase{"W0F:1", 4, W, -1, "W10"},
    ElementCase{"D100:2", 2, D, -1, "D101"}, ElementCase{"D100:1", 10, D, -1, "D101"},
    // a bit or byte inside a word has no element of its own
    ElementCase{"D102/5", 4, D, -1, nullptr}, ElementCase{"W10/11", 4, W, -1, nullptr},
    ElementCase{"D100:1/3", 5, D, -1, nullptr}, ElementCase{"D100:5", 0, D, -1, nullptr},
    ElementCase{"D100:1", 2, D, -1, nullptr},
    ElementCase{"D102/0", 4, D, -1, "D102"}, ElementCase{"D100:16", 0, D, -1, "D101"},
    ElementCase{"D100/16", 5, D, -1, "D101"}));

// Bit devices step in bits: 16 per word value, 32 per double word.
INSTANTIATE_TEST_SUITE_P(BitDevices, Element, testing::Values(
    ElementCase{"M5:3", 0, M, -1, "M8"}, ElementCase{"M5:3/4", 0, M, -1, "M8"},
    ElementCase{"X0F:1", 0, X, -1, "X10"}, ElementCase{"X1F:1", 4, X, -1, "X2F"},
    ElementCase{"M10:2", 4, M, -1, "M42"}, ElementCase{"M10:1", 5, M, -1, "M42"},
    ElementCase{"M10:0/11", 4, M, -1, "M21"}, ElementCase{"M10/11", 3, M, -1, "M21"},
    ElementCase{"B10/11", 4, B, -1, "B1B"}, ElementCase{"M0/31", 5, M, -1, "M31"},
    ElementCase{"M0:1/7", 2, M, -1, "M15"}));

// Refused: bits a type does not have, malformed text, numbers past the device's range.
INSTANTIATE_TEST_SUITE_P(Refused, Element, testing::Values(
    ElementCase{"M0/16", 4, M, -1, nullptr}, ElementCase{"M0/32", 5, M, -1, nullptr},
    ElementCase{"M0/8", 2, M, -1, nullptr}, ElementCase{"M0/1", 7, M, -1, nullptr},
    ElementCase{"M0/x", 4, M, -1, nullptr}, ElementCase{"D100:x", 4, D, -1, nullptr},
    ElementCase{"D999999:1", 4, D, -1, nullptr}, ElementCase{"ZRFFFFFF:1", 4, ZR, -1, nullptr},
    ElementCase{"SD100:1", 4, D, -1, nullptr}, ElementCase{"D100", 4, 0x99, -1, nullptr}));

TEST(Element, OtherTypesKeepTheAddress)
{
    const auto e = GetElementAddress("D0100:3/2", 9, D);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->text, "D0100");
    EXPECT_EQ(e->number, 100u);
}

struct PlanCase {
    int type;
    WORD device;
    DWORD head;
    unsigned count;
    bool ok;
    DWORD planHead;
    int offset;
    unsigned words;
};

class ReadPlan : public testing::TestWithParam<PlanCase> {};

TEST_P(ReadPlan, HeadOffsetAndWords)
{
    const PlanCase& c = GetParam();
    const auto p = MelsecPlanRead(c.type, c.device, c.head, c.count);
    ASSERT_EQ(p.has_value(), c.ok);
    if (!c.ok)
        return;
    EXPECT_EQ(p->head, c.planHead);
    EXPECT_EQ(p->bitOffset, c.offset);
    EXPECT_EQ(p->words, c.words);
}

INSTANTIATE_TEST_SUITE_P(Plans, ReadPlan, testing::Values(
    // BOOL blocks of bit devices start on a word boundary, from the first read on
    PlanCase{0, M, 5, 20, true, 0, 5, 2}, PlanCase{0, M, 16, 16, true, 16, 0, 1},
    PlanCase{0, M, 15, 2, true, 0, 15, 2}, PlanCase{0, X, 0x1F3, 1, true, 0x1F0, 3, 1},
    // BOOL blocks of word devices and every other type start where they say
    PlanCase{0, D, 100, 20, true, 100, 0, 2}, PlanCase{4, M, 5, 2, true, 5, 0, 2},
    PlanCase{7, D, 0, 3, true, 0, 0, 6}, PlanCase{2, D, 0, 5, true, 0, 0, 3},
    PlanCase{10, D, 0, 7, true, 0, 0, 4}, PlanCase{8, D, 0, 2, true, 0, 0, 8},
    PlanCase{4, D, 0, 0xFFFF, true, 0, 0, 0xFFFF},
    PlanCase{4, D, 0, 0, false, 0, 0, 0}, PlanCase{4, D, 0, 0x10000, false, 0, 0, 0},
    PlanCase{4, 0x99, 0, 1, false, 0, 0, 0}));

}  // namespace
