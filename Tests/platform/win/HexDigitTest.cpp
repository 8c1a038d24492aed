#include "platform/win/HexDigit.h"

#include <gtest/gtest.h>

namespace {

struct HexCase {
    char c;
    int value;
};

class HexDigitValue : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexDigitValue, DecodesEitherCaseAndRefusesTheRest)
{
    EXPECT_EQ(win::hexDigitValue(GetParam().c), GetParam().value) << "char " << int(GetParam().c);
}

INSTANTIATE_TEST_SUITE_P(Edges, HexDigitValue,
                         ::testing::Values(HexCase{'0', 0}, HexCase{'9', 9}, HexCase{'A', 10}, HexCase{'F', 15},
                                           HexCase{'a', 10}, HexCase{'f', 15}, HexCase{'/', -1}, HexCase{':', -1},
                                           HexCase{'@', -1}, HexCase{'G', -1}, HexCase{'`', -1}, HexCase{'g', -1},
                                           HexCase{' ', -1}, HexCase{'\0', -1}, HexCase{'\xC3', -1}));

} // namespace
