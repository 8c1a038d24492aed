// Real numbers in text read as strtod and print as printf do in the "C" locale, and
// keep doing so when the C library's locale writes a decimal comma.
#include "platform/win/NumberText.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "support/CommaLocale.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct ScanCase {
    const char* text;
    double value;
    std::size_t length;
    bool outOfRange;
};

constexpr ScanCase kScans[] = {
    {"1.5", 1.5, 3, false},
    {"  \t+1.5", 1.5, 7, false},
    {"-0.25x", -0.25, 5, false},
    {"1,5", 1, 1, false},  // a comma ends the number
    {".5", 0.5, 2, false},
    {"5.", 5, 2, false},
    {"1e3", 1000, 3, false},
    {"1E-2 ", 0.01, 4, false},
    {"1e", 1, 1, false},
    {"1e+", 1, 1, false},
    {"0x1p3", 8, 5, false},
    {"0x", 0, 1, false},
    {"0xFFp+-4", 255, 4, false},  // no exponent: two signs
    {"-0X.8", -0.5, 5, false},
    {"inf", kInf, 3, false},
    {"-Infinity", -kInf, 9, false},
    {"infinit", kInf, 3, false},
    {"1e999", kInf, 5, true},
    {"-1e999", -kInf, 6, true},
    {"1e-999", 0, 6, true},
    {"", 0, 0, false},
    {"   ", 0, 0, false},
    {"+", 0, 0, false},
    {"+-1", 0, 0, false},
    {"--1", 0, 0, false},
    {".", 0, 0, false},
    {"abc", 0, 0, false},
};

TEST(NumberText, ScanReadsWhatStrtodReadsInTheCLocale)
{
    for (const ScanCase& c : kScans) {
        const win::RealScan scan = win::ScanReal(c.text);
        EXPECT_EQ(scan.value, c.value) << c.text;
        EXPECT_EQ(std::signbit(scan.value), std::signbit(c.value)) << c.text;
        EXPECT_EQ(scan.length, c.length) << c.text;
        EXPECT_EQ(scan.outOfRange, c.outOfRange) << c.text;
        // The test runs in the "C" locale, where strtod is the reference.
        char* end = nullptr;
        errno = 0;
        const double reference = std::strtod(c.text, &end);
        EXPECT_EQ(scan.value, reference) << c.text;
        EXPECT_EQ(scan.length, std::size_t(end - c.text)) << c.text;
        EXPECT_EQ(scan.outOfRange, errno == ERANGE) << c.text;
    }
    EXPECT_TRUE(std::isnan(win::ScanReal("nan").value));
    EXPECT_EQ(win::ScanReal("NaN(x)").length, 6u);
}

TEST(NumberText, FixedAndGeneralPrintAsPrintfDoes)
{
    const double values[] = {0, -0.0, 1.5, 0.5, -2.25, 1.0 / 3, 100, 123456789, 1e20, 1e-5, 0.0001, 1e300,
                             -1e-300, 3.4028234663852886e38, kInf, -kInf};
    for (double v : values) {
        char fixed[400], general[64];
        std::snprintf(fixed, sizeof fixed, "%f", v);
        std::snprintf(general, sizeof general, "%g", v);
        EXPECT_EQ(win::FixedText(v), fixed) << v;
        EXPECT_EQ(win::GeneralText(v), general) << v;
    }
    EXPECT_EQ(win::FixedText(1.5), "1.500000");
    EXPECT_EQ(win::FixedText(1.25, 1), "1.2");  // ties to even, as printf
    EXPECT_EQ(win::GeneralText(1.5), "1.5");
    EXPECT_EQ(win::GeneralText(1e20), "1e+20");
    EXPECT_EQ(win::GeneralText(1234567), "1.23457e+06");
    EXPECT_EQ(win::GeneralText(0.1 + 0.2, 17), "0.30000000000000004");
}

TEST(NumberText, UnderACommaLocaleNumbersKeepTheirDot)
{
    testsupport::CommaLocaleScope comma;
    if (!comma.Ok())
        GTEST_SKIP() << "no comma-decimal locale could be made (localedef, package locales)";
    char text[16];
    std::snprintf(text, sizeof text, "%g", 1.5);
    EXPECT_STREQ(text, "1,5");  // the locale does write a comma
    EXPECT_EQ(win::ScanReal("1.5").value, 1.5);
    EXPECT_EQ(win::ScanReal("1,5").length, 1u);
    EXPECT_EQ(win::FixedText(0.5), "0.500000");
    EXPECT_EQ(win::GeneralText(1.5), "1.5");
}

} // namespace
