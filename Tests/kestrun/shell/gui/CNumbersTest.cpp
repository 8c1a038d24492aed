// Numbers in text read and print with a dot whatever locale the desktop has,
// although making the Qt application takes the desktop's locale into the C library.
#include "qtdispatch/CNumbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/CommaLocale.h"

namespace {

TEST(CNumbers, UnderACommaLocaleNumbersStillReadAndPrintWithADot)
{
    testsupport::CommaLocale comma;
    if (!comma.Ok() || !std::setlocale(LC_ALL, testsupport::CommaLocale::kName))
        GTEST_SKIP() << "no comma-decimal locale could be made (localedef, package locales)";
    // What QApplication's set-up leaves behind under LANG=de_DE.UTF-8.
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 1.5);
    ASSERT_STREQ(text, "1,5");

    qtdispatch::KeepNumbersInCLocale();
    std::snprintf(text, sizeof text, "%.1f", 1.5);
    EXPECT_STREQ(text, "1.5");
    EXPECT_EQ(std::strtod("1.5", nullptr), 1.5);
    EXPECT_EQ(std::string(std::setlocale(LC_CTYPE, nullptr)), testsupport::CommaLocale::kName); // text stays the user's
    std::setlocale(LC_ALL, "C");
}

} // namespace
