#include "fenwold/McEndCodes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TextCase {
    WORD code;
    const char* text;  // nullptr: outside the tables
};

class EndCodeText : public testing::TestWithParam<TextCase> {};

TEST_P(EndCodeText, MatchesTable)
{
    const TextCase& c = GetParam();
    const char* text = GetEndCodeText(c.code);
    if (!c.text) {
        EXPECT_EQ(text, nullptr);
        return;
    }
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, EndCodeText,
    testing::Values(TextCase{0xC000, "No Error"}, TextCase{0xC051, "Invalid length for reading/writing"},
                    TextCase{0xC056, "Over max address for reading/writing"},
                    TextCase{0xC059, "Invalid command/subcommand"},
                    TextCase{0xC021, "Abnorma response received for fixed buffer"},
                    TextCase{0xC0F3, "System error at CPU module"}, TextCase{0xC100, "No Error"},
                    TextCase{0xC121, "Cannot communicate with SMTP server(error response)"},
                    TextCase{0xC1B7, "Read when no mail received"},
                    TextCase{0xC205, "Cannot unlock remote password"},
                    TextCase{0x5B10, "Unknown Error (0x10)"},
                    // Inside a table without a text.
                    TextCase{0x5B00, ""}, TextCase{0x5B21, ""}, TextCase{0xC008, ""}, TextCase{0xC0FF, ""},
                    TextCase{0xC203, ""}, TextCase{0xC2FF, ""},
                    // Outside every table.
                    TextCase{0x0000, nullptr}, TextCase{0x5B22, nullptr}, TextCase{0x5AFF, nullptr},
                    TextCase{0xBFFF, nullptr}, TextCase{0xC300, nullptr}, TextCase{0xFFFF, nullptr}));

TEST(EndCodeLogText, NamesCodesWithoutATableEntry)
{
    EXPECT_EQ(McEndCodeLogText(0xC051), "Invalid length for reading/writing");
    EXPECT_EQ(McEndCodeLogText(0xC008), "");
    EXPECT_EQ(McEndCodeLogText(0x4031), "End code 0x4031");
}

TEST(EndCodeText, EveryTextedCodeIsFoundOnce)
{
    int texted = 0;
    for (unsigned code = 0; code <= 0xFFFF; ++code) {
        const char* text = GetEndCodeText(static_cast<WORD>(code));
        if (text && *text)
            ++texted;
    }
    EXPECT_EQ(texted, 171);
}

}  // namespace
