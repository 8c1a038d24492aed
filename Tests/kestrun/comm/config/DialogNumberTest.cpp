// Numbers typed into a dialog's edit fields.
#include <gtest/gtest.h>

#include "kestrun/comm/config/DialogNumber.h"

namespace {

TEST(DialogNumber, BlanksAndOneSignAroundDigitsAndNothingElse)
{
    struct Case {
        const char* text;
        std::optional<std::int32_t> asInt;
        std::optional<std::uint32_t> asUnsigned;
    };
    const Case cases[] = {
        {" \t42 ", 42, 42u},
        {"+7", 7, 7u},
        {"-7", -7, std::nullopt},
        {"+-7", std::nullopt, std::nullopt},
        {"--7", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {"+", std::nullopt, std::nullopt},
        {"1 2", std::nullopt, std::nullopt},
        {"0x10", std::nullopt, std::nullopt},
        {"2147483648", std::nullopt, 2147483648u},
        {"4294967296", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseDialogInt(c.text), c.asInt) << '"' << c.text << '"';
        EXPECT_EQ(ParseDialogUnsigned(c.text), c.asUnsigned) << '"' << c.text << '"';
    }
}

} // namespace
