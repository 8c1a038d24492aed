#include "platform/com/Variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include "platform/com/ArrayOf.h"

namespace {

struct Case {
    const char* name;
    VARIANT from;
    VARTYPE to;
    HRESULT hr;
    VARIANT expected;  // checked only when hr succeeds
    USHORT flags = 0;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string caseName(const testing::TestParamInfo<Case>& info) { return info.param.name; }

void expectConversion(const Case& c)
{
    VARIANT out = VARIANT::I4(12345);  // sentinel: must stay on failure
    const HRESULT hr = com::changeType(c.from, c.to, out, c.flags);
    ASSERT_EQ(hr, c.hr) << com::errorName(hr);
    if (SUCCEEDED(c.hr)) {
        EXPECT_EQ(out.vt(), c.expected.vt());
        EXPECT_EQ(out, c.expected) << "as text: " << com::fromBstr(out.bstrVal());
    } else {
        EXPECT_EQ(out, VARIANT::I4(12345));
    }
}

VARIANT S(const char* utf8) { return VARIANT::String(utf8); }
const VARIANT kNone;  // expected value of failing cases

class Rounding : public testing::TestWithParam<Case> {};
TEST_P(Rounding, HalfToEven) { expectConversion(GetParam()); }
INSTANTIATE_TEST_SUITE_P(
    RealToInteger, Rounding,
    testing::Values(Case{"R8_2_5_to_I2_is_2", VARIANT::R8(2.5), VT_I2, S_OK, VARIANT::I2(2)},
                    Case{"R8_3_5_to_I2_is_4", VARIANT::R8(3.5), VT_I2, S_OK, VARIANT::I2(4)},
                    Case{"R8_minus_2_5_to_I2_is_minus_2", VARIANT::R8(-2.5), VT_I2, S_OK, VARIANT::I2(-2)},
                    Case{"R8_minus_3_5_to_I2_is_minus_4", VARIANT::R8(-3.5), VT_I2, S_OK, VARIANT::I2(-4)},
                    Case{"R8_0_5_to_I4_is_0", VARIANT::R8(0.5), VT_I4, S_OK, VARIANT::I4(0)},
                    Case{"R8_1_5_to_I4_is_2", VARIANT::R8(1.5), VT_I4, S_OK, VARIANT::I4(2)},
                    Case{"R8_2_4999_to_I2_is_2", VARIANT::R8(2.4999), VT_I2, S_OK, VARIANT::I2(2)},
                    Case{"R8_2_5001_to_I2_is_3", VARIANT::R8(2.5001), VT_I2, S_OK, VARIANT::I2(3)},
                    Case{"R4_254_5_to_UI1_is_254", VARIANT::R4(254.5f), VT_UI1, S_OK, VARIANT::UI1(254)},
                    Case{"R8_minus_0_4_to_UI1_is_0", VARIANT::R8(-0.4), VT_UI1, S_OK, VARIANT::UI1(0)},
                    Case{"R8_minus_0_5_to_UI2_is_0", VARIANT::R8(-0.5), VT_UI2, S_OK, VARIANT::UI2(0)},
                    Case{"CY_2_5_to_I2_is_2", VARIANT::Cy(CY{25000}), VT_I2, S_OK, VARIANT::I2(2)},
                    Case{"CY_3_5_to_I2_is_4", VARIANT::Cy(CY{35000}), VT_I2, S_OK, VARIANT::I2(4)},
                    Case{"CY_minus_2_5_to_I4_is_minus_2", VARIANT::Cy(CY{-25000}), VT_I4, S_OK, VARIANT::I4(-2)},
                    Case{"CY_minus_2_5001_to_I4_is_minus_3", VARIANT::Cy(CY{-25001}), VT_I4, S_OK,
                         VARIANT::I4(-3)},
                    Case{"DATE_2_5_to_I2_is_2", VARIANT::Date(2.5), VT_I2, S_OK, VARIANT::I2(2)},
                    Case{"R8_to_CY_rounds_fifth_decimal", VARIANT::R8(1.23456), VT_CY, S_OK,
                         VARIANT::Cy(CY{12346})}),
    caseName);

class Overflow : public testing::TestWithParam<Case> {};
TEST_P(Overflow, IsReported) { expectConversion(GetParam()); }
INSTANTIATE_TEST_SUITE_P(
    Ranges, Overflow,
    testing::Values(
        Case{"R8_1e10_to_I2", VARIANT::R8(1e10), VT_I2, DISP_E_OVERFLOW, kNone},
        Case{"R8_32767_4_to_I2_fits", VARIANT::R8(32767.4), VT_I2, S_OK, VARIANT::I2(32767)},
        Case{"R8_32767_5_to_I2_rounds_out", VARIANT::R8(32767.5), VT_I2, DISP_E_OVERFLOW, kNone},
        Case{"R8_minus_32768_5_to_I2_rounds_in", VARIANT::R8(-32768.5), VT_I2, S_OK, VARIANT::I2(-32768)},
        Case{"R8_minus_32768_6_to_I2", VARIANT::R8(-32768.6), VT_I2, DISP_E_OVERFLOW, kNone},
        Case{"R8_NaN_to_I4", VARIANT::R8(std::nan("")), VT_I4, DISP_E_OVERFLOW, kNone},
        Case{"R8_infinity_to_I8", VARIANT::R8(HUGE_VAL), VT_I8, DISP_E_OVERFLOW, kNone},
        Case{"R8_minus_0_6_to_UI1", VARIANT::R8(-0.6), VT_UI1, DISP_E_OVERFLOW, kNone},
        Case{"R8_255_5_to_UI1", VARIANT::R8(255.5), VT_UI1, DISP_E_OVERFLOW, kNone},
        Case{"R8_2_pow_63_to_I8", VARIANT::R8(9223372036854775808.0), VT_I8, DISP_E_OVERFLOW, kNone},
        Case{"R8_minus_2_pow_63_to_I8_fits", VARIANT::R8(-9223372036854775808.0), VT_I8, S_OK,
             VARIANT::I8(std::numeric_limits<LONGLONG>::min())},
        Case{"R8_2_pow_64_to_UI8", VARIANT::R8(18446744073709551616.0), VT_UI8, DISP_E_OVERFLOW, kNone},
        Case{"I4_70000_to_I2", VARIANT::I4(70000), VT_I2, DISP_E_OVERFLOW, kNone},
        Case{"I4_minus_1_to_UI2", VARIANT::I4(-1), VT_UI2, DISP_E_OVERFLOW, kNone},
        Case{"I2_minus_129_to_I1", VARIANT::I2(-129), VT_I1, DISP_E_OVERFLOW, kNone},
        Case{"I2_minus_128_to_I1_fits", VARIANT::I2(-128), VT_I1, S_OK, VARIANT::I1(-128)},
        Case{"UI4_max_to_I4", VARIANT::UI4(0xFFFFFFFFu), VT_I4, DISP_E_OVERFLOW, kNone},
        Case{"UI4_max_to_UINT_fits", VARIANT::UI4(0xFFFFFFFFu), VT_UINT, S_OK, VARIANT::Uint(0xFFFFFFFFu)},
        Case{"I8_min_to_INT", VARIANT::I8(std::numeric_limits<LONGLONG>::min()), VT_INT, DISP_E_OVERFLOW, kNone},
        Case{"UI8_max_to_I8", VARIANT::UI8(~0ull), VT_I8, DISP_E_OVERFLOW, kNone},
        Case{"I8_max_to_UI8_fits", VARIANT::I8(std::numeric_limits<LONGLONG>::max()), VT_UI8, S_OK,
             VARIANT::UI8(9223372036854775807ull)},
        Case{"R8_1e39_to_R4", VARIANT::R8(1e39), VT_R4, DISP_E_OVERFLOW, kNone},
        Case{"R8_0_5_to_R4_fits", VARIANT::R8(0.5), VT_R4, S_OK, VARIANT::R4(0.5f)},
        Case{"I8_huge_to_CY", VARIANT::I8(1'000'000'000'000'000), VT_CY, DISP_E_OVERFLOW, kNone},
        Case{"I4_to_CY", VARIANT::I4(-7), VT_CY, S_OK, VARIANT::Cy(CY{-70000})},
        Case{"R8_1e7_to_DATE", VARIANT::R8(1e7), VT_DATE, DISP_E_OVERFLOW, kNone},
        Case{"I4_45000_to_DATE", VARIANT::I4(45000), VT_DATE, S_OK, VARIANT::Date(45000.0)},
        Case{"UI8_max_to_R8", VARIANT::UI8(~0ull), VT_R8, S_OK, VARIANT::R8(18446744073709551616.0)}),
    caseName);

class Booleans : public testing::TestWithParam<Case> {};
TEST_P(Booleans, AreMinusOneOrZero) { expectConversion(GetParam()); }
INSTANTIATE_TEST_SUITE_P(
    Bool, Booleans,
    testing::Values(Case{"true_to_I2_is_minus_1", VARIANT::Bool(true), VT_I2, S_OK, VARIANT::I2(-1)},
                    Case{"true_to_I4_is_minus_1", VARIANT::Bool(true), VT_I4, S_OK, VARIANT::I4(-1)},
                    Case{"true_to_R8_is_minus_1", VARIANT::Bool(true), VT_R8, S_OK, VARIANT::R8(-1.0)},
                    Case{"true_to_UI1_is_all_ones", VARIANT::Bool(true), VT_UI1, S_OK, VARIANT::UI1(255)},
                    Case{"true_to_UI2_is_all_ones", VARIANT::Bool(true), VT_UI2, S_OK, VARIANT::UI2(65535)},
                    Case{"false_to_UI4_is_0", VARIANT::Bool(false), VT_UI4, S_OK, VARIANT::UI4(0)},
                    Case{"true_to_text_is_minus_1", VARIANT::Bool(true), VT_BSTR, S_OK, S("-1")},
                    Case{"false_to_text_is_0", VARIANT::Bool(false), VT_BSTR, S_OK, S("0")},
                    Case{"true_to_alpha_text", VARIANT::Bool(true), VT_BSTR, S_OK, S("True"), VARIANT_ALPHABOOL},
                    Case{"false_to_alpha_text", VARIANT::Bool(false), VT_BSTR, S_OK, S("False"), VARIANT_ALPHABOOL},
                    Case{"I2_5_is_true", VARIANT::I2(5), VT_BOOL, S_OK, VARIANT::Bool(true)},
                    Case{"UI1_2_is_true", VARIANT::UI1(2), VT_BOOL, S_OK, VARIANT::Bool(true)},
                    Case{"I4_0_is_false", VARIANT::I4(0), VT_BOOL, S_OK, VARIANT::Bool(false)},
                    Case{"R8_0_1_is_true", VARIANT::R8(0.1), VT_BOOL, S_OK, VARIANT::Bool(true)},
                    Case{"text_True", S("True"), VT_BOOL, S_OK, VARIANT::Bool(true)},
                    Case{"text_FALSE", S("FALSE"), VT_BOOL, S_OK, VARIANT::Bool(false)},
                    Case{"text_true_with_blanks", S(" true "), VT_BOOL, S_OK, VARIANT::Bool(true)},
                    Case{"text_minus_1", S("-1"), VT_BOOL, S_OK, VARIANT::Bool(true)},
                    Case{"text_2", S("2"), VT_BOOL, S_OK, VARIANT::Bool(true)},
                    Case{"text_0", S("0"), VT_BOOL, S_OK, VARIANT::Bool(false)},
                    Case{"text_yes", S("yes"), VT_BOOL, DISP_E_TYPEMISMATCH, kNone},
                    Case{"text_True_is_no_number", S("True"), VT_I2, DISP_E_TYPEMISMATCH, kNone}),
    caseName);

TEST(VariantBool, StoredAsMinusOne)
{
    VARIANT v;
    ASSERT_EQ(com::changeType(VARIANT::I2(7), VT_BOOL, v), S_OK);
    EXPECT_EQ(v.boolVal(), VARIANT_TRUE);
    EXPECT_EQ(v.boolVal(), -1);
    EXPECT_EQ(v.uiVal(), 0xFFFF);
}

class TextToNumber : public testing::TestWithParam<Case> {};
TEST_P(TextToNumber, Parses) { expectConversion(GetParam()); }
INSTANTIATE_TEST_SUITE_P(
    Strings, TextToNumber,
    testing::Values(
        Case{"integer", S("123"), VT_I2, S_OK, VARIANT::I2(123)},
        Case{"blanks_and_sign", S(" -42 "), VT_I4, S_OK, VARIANT::I4(-42)},
        Case{"plus_sign", S("+7"), VT_I4, S_OK, VARIANT::I4(7)},
        Case{"fraction_rounds", S("1.5"), VT_I2, S_OK, VARIANT::I2(2)},
        Case{"half_rounds_to_even", S("2.5"), VT_I2, S_OK, VARIANT::I2(2)},
        Case{"exponent", S("1e3"), VT_I2, S_OK, VARIANT::I2(1000)},
        Case{"leading_point", S(".5"), VT_R8, S_OK, VARIANT::R8(0.5)},
        Case{"trailing_point", S("5."), VT_R8, S_OK, VARIANT::R8(5.0)},
        Case{"real", S("-0.125"), VT_R8, S_OK, VARIANT::R8(-0.125)},
        Case{"real_to_R4", S("0.1"), VT_R4, S_OK, VARIANT::R4(0.1f)},
        Case{"UI8_max_exact", S("18446744073709551615"), VT_UI8, S_OK, VARIANT::UI8(~0ull)},
        Case{"I8_max_exact", S("9223372036854775807"), VT_I8, S_OK, VARIANT::I8(9223372036854775807)},
        Case{"I8_min_exact", S("-9223372036854775808"), VT_I8, S_OK,
             VARIANT::I8(std::numeric_limits<LONGLONG>::min())},
        Case{"I8_overflow", S("9223372036854775808"), VT_I8, DISP_E_OVERFLOW, kNone},
        Case{"too_many_digits", S("123456789012345678901234567890"), VT_UI8, DISP_E_OVERFLOW, kNone},
        Case{"I2_overflow", S("40000"), VT_I2, DISP_E_OVERFLOW, kNone},
        Case{"negative_to_unsigned", S("-1"), VT_UI4, DISP_E_OVERFLOW, kNone},
        Case{"R8_overflow", S("1e400"), VT_R8, DISP_E_OVERFLOW, kNone},
        Case{"R8_underflow_is_zero", S("1e-400"), VT_R8, S_OK, VARIANT::R8(0.0)},
        Case{"R4_overflow", S("3.5e38"), VT_R4, DISP_E_OVERFLOW, kNone},
        Case{"currency", S("12.3456"), VT_CY, S_OK, VARIANT::Cy(CY{123456})},
        Case{"letters", S("abc"), VT_I2, DISP_E_TYPEMISMATCH, kNone},
        Case{"empty", S(""), VT_I4, DISP_E_TYPEMISMATCH, kNone},
        Case{"blanks_only", S("   "), VT_I4, DISP_E_TYPEMISMATCH, kNone},
        Case{"trailing_garbage", S("12abc"), VT_I4, DISP_E_TYPEMISMATCH, kNone},
        Case{"thousands_separator", S("1,000"), VT_I4, DISP_E_TYPEMISMATCH, kNone},
        Case{"decimal_comma", S("1,5"), VT_R8, DISP_E_TYPEMISMATCH, kNone},
        Case{"hex", S("0x10"), VT_I4, DISP_E_TYPEMISMATCH, kNone},
        Case{"inf", S("inf"), VT_R8, DISP_E_TYPEMISMATCH, kNone},
        Case{"nan", S("nan"), VT_R8, DISP_E_TYPEMISMATCH, kNone},
        Case{"sign_then_blank", S("- 7"), VT_I4, DISP_E_TYPEMISMATCH, kNone},
        Case{"bare_exponent", S("e5"), VT_R8, DISP_E_TYPEMISMATCH, kNone},
        Case{"exponent_without_digits", S("1e"), VT_R8, DISP_E_TYPEMISMATCH, kNone},
        Case{"two_points", S("1.2.3"), VT_R8, DISP_E_TYPEMISMATCH, kNone},
        Case{"non_ascii_digits", S("\xEF\xBC\x91"), VT_I4, DISP_E_TYPEMISMATCH, kNone}),
    caseName);

class NumberToText : public testing::TestWithParam<Case> {};
TEST_P(NumberToText, Formats) { expectConversion(GetParam()); }
INSTANTIATE_TEST_SUITE_P(
    Strings, NumberToText,
    testing::Values(Case{"I2", VARIANT::I2(-5), VT_BSTR, S_OK, S("-5")},
                    Case{"I1", VARIANT::I1(-128), VT_BSTR, S_OK, S("-128")},
                    Case{"UI1", VARIANT::UI1(200), VT_BSTR, S_OK, S("200")},
                    Case{"UI4_max", VARIANT::UI4(0xFFFFFFFFu), VT_BSTR, S_OK, S("4294967295")},
                    Case{"I8_min", VARIANT::I8(std::numeric_limits<LONGLONG>::min()), VT_BSTR, S_OK,
                         S("-9223372036854775808")},
                    Case{"UI8_max", VARIANT::UI8(~0ull), VT_BSTR, S_OK, S("18446744073709551615")},
                    Case{"R8_fraction", VARIANT::R8(1.5), VT_BSTR, S_OK, S("1.5")},
                    Case{"R8_tenth", VARIANT::R8(0.1), VT_BSTR, S_OK, S("0.1")},
                    Case{"R8_whole", VARIANT::R8(100.0), VT_BSTR, S_OK, S("100")},
                    Case{"R8_large", VARIANT::R8(1e20), VT_BSTR, S_OK, S("1E+20")},
                    Case{"R8_small", VARIANT::R8(1e-5), VT_BSTR, S_OK, S("1E-05")},
                    Case{"R8_fifteen_digits", VARIANT::R8(123456789012345678.0), VT_BSTR, S_OK,
                         S("1.23456789012346E+17")},
                    Case{"R8_third", VARIANT::R8(1.0 / 3.0), VT_BSTR, S_OK, S("0.333333333333333")},
                    Case{"R8_negative", VARIANT::R8(-2.75), VT_BSTR, S_OK, S("-2.75")},
                    Case{"R4_tenth", VARIANT::R4(0.1f), VT_BSTR, S_OK, S("0.1")},
                    Case{"R4_third", VARIANT::R4(1.0f / 3.0f), VT_BSTR, S_OK, S("0.3333333")},
                    Case{"CY_four_decimals", VARIANT::Cy(CY{123456}), VT_BSTR, S_OK, S("12.3456")},
                    Case{"CY_negative_half", VARIANT::Cy(CY{-5000}), VT_BSTR, S_OK, S("-0.5")},
                    Case{"CY_whole", VARIANT::Cy(CY{1000000}), VT_BSTR, S_OK, S("100")},
                    Case{"CY_min", VARIANT::Cy(CY{std::numeric_limits<LONGLONG>::min()}), VT_BSTR, S_OK,
                         S("-922337203685477.5808")},
                    Case{"EMPTY", VARIANT(), VT_BSTR, S_OK, S("")}),
    caseName);

TEST(VariantText, NumbersSurviveTheRoundTrip)
{
    const double values[] = {0.0, -1.0, 3.14159265358979, 1e-300, 6.02214076e23, -123456.789};
    for (double d : values) {
        VARIANT text, back;
        ASSERT_EQ(com::changeType(VARIANT::R8(d), VT_BSTR, text), S_OK);
        ASSERT_EQ(com::changeType(text, VT_R8, back), S_OK) << com::fromBstr(text.bstrVal());
        EXPECT_DOUBLE_EQ(back.dblVal(), d);
    }
    for (LONGLONG i : {0LL, -1LL, 9223372036854775807LL, -9223372036854775807LL - 1}) {
        VARIANT text, back;
        ASSERT_EQ(com::changeType(VARIANT::I8(i), VT_BSTR, text), S_OK);
        ASSERT_EQ(com::changeType(text, VT_I8, back), S_OK);
        EXPECT_EQ(back.llVal(), i);
    }
}

TEST(VariantText, IgnoresTheProcessLocale)
{
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    // A locale with a decimal comma, when the system has one; the result must not change.
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    VARIANT out;
    EXPECT_EQ(com::changeType(VARIANT::R8(1.5), VT_BSTR, out), S_OK);
    EXPECT_EQ(out, S("1.5"));
    EXPECT_EQ(com::changeType(S("2.25"), VT_R8, out), S_OK);
    EXPECT_EQ(out, VARIANT::R8(2.25));
    std::setlocale(LC_NUMERIC, saved.c_str());
}

class Dates : public testing::TestWithParam<Case> {};
TEST_P(Dates, Convert) { expectConversion(GetParam()); }
INSTANTIATE_TEST_SUITE_P(
    Date, Dates,
    testing::Values(Case{"to_text", VARIANT::Date(45000.75), VT_BSTR, S_OK, S("2023-03-15 18:00:00")},
                    Case{"origin_to_text", VARIANT::Date(0.0), VT_BSTR, S_OK, S("1899-12-30 00:00:00")},
                    Case{"negative_to_text", VARIANT::Date(-1.25), VT_BSTR, S_OK, S("1899-12-29 06:00:00")},
                    Case{"half_second_rounds_up", VARIANT::Date(45000.0 + 0.5 / 86400.0), VT_BSTR, S_OK,
                         S("2023-03-15 00:00:01")},
                    Case{"out_of_range_to_text", VARIANT::Date(1e7), VT_BSTR, DISP_E_OVERFLOW, kNone},
                    Case{"from_text", S("2023-03-15 18:00:00"), VT_DATE, S_OK, VARIANT::Date(45000.75)},
                    Case{"from_text_date_only", S("2023-03-15"), VT_DATE, S_OK, VARIANT::Date(45000.0)},
                    Case{"from_text_T_and_minutes", S("2023-03-15T18:00"), VT_DATE, S_OK, VARIANT::Date(45000.75)},
                    Case{"from_text_before_origin", S("1899-12-29 06:00:00"), VT_DATE, S_OK,
                         VARIANT::Date(-1.25)},
                    Case{"February_30", S("2023-02-30"), VT_DATE, DISP_E_TYPEMISMATCH, kNone},
                    Case{"month_13", S("2023-13-01"), VT_DATE, DISP_E_TYPEMISMATCH, kNone},
                    Case{"hour_24", S("2023-01-01 24:00:00"), VT_DATE, DISP_E_TYPEMISMATCH, kNone},
                    Case{"slashes", S("2023/03/15"), VT_DATE, DISP_E_TYPEMISMATCH, kNone},
                    Case{"trailing_text", S("2023-03-15 18:00:00Z"), VT_DATE, DISP_E_TYPEMISMATCH, kNone},
                    Case{"to_R8", VARIANT::Date(45000.75), VT_R8, S_OK, VARIANT::R8(45000.75)}),
    caseName);

class Special : public testing::TestWithParam<Case> {};
TEST_P(Special, Types) { expectConversion(GetParam()); }
INSTANTIATE_TEST_SUITE_P(
    EmptyNullError, Special,
    testing::Values(Case{"EMPTY_to_I2", VARIANT(), VT_I2, S_OK, VARIANT::I2(0)},
                    Case{"EMPTY_to_BOOL", VARIANT(), VT_BOOL, S_OK, VARIANT::Bool(false)},
                    Case{"EMPTY_to_NULL", VARIANT(), VT_NULL, S_OK, VARIANT::Null()},
                    Case{"NULL_to_I2", VARIANT::Null(), VT_I2, DISP_E_TYPEMISMATCH, kNone},
                    Case{"NULL_to_text", VARIANT::Null(), VT_BSTR, DISP_E_TYPEMISMATCH, kNone},
                    Case{"I2_to_NULL", VARIANT::I2(1), VT_NULL, DISP_E_TYPEMISMATCH, kNone},
                    Case{"text_to_EMPTY", S("x"), VT_EMPTY, S_OK, VARIANT()},
                    Case{"ERROR_to_I4", VARIANT::Error(E_FAIL), VT_I4, DISP_E_TYPEMISMATCH, kNone},
                    Case{"I4_to_ERROR", VARIANT::I4(5), VT_ERROR, DISP_E_TYPEMISMATCH, kNone},
                    Case{"ERROR_to_ERROR", VARIANT::Error(E_FAIL), VT_ERROR, S_OK, VARIANT::Error(E_FAIL)},
                    Case{"same_type_copies", S("abc"), VT_BSTR, S_OK, S("abc")},
                    Case{"to_DISPATCH", VARIANT::I2(1), VT_DISPATCH, DISP_E_BADVARTYPE, kNone},
                    Case{"to_DECIMAL", VARIANT::I2(1), VT_DECIMAL, DISP_E_BADVARTYPE, kNone},
                    Case{"to_VARIANT", VARIANT::I2(1), VT_VARIANT, DISP_E_BADVARTYPE, kNone},
                    Case{"to_BYREF", VARIANT::I2(1), static_cast<VARTYPE>(VT_BYREF | VT_I2), DISP_E_BADVARTYPE, kNone},
                    Case{"to_unknown_code", VARIANT::I2(1), 99, DISP_E_BADVARTYPE, kNone},
                    Case{"to_array_of_EMPTY", VARIANT::I2(1), VT_ARRAY, DISP_E_BADVARTYPE, kNone}),
    caseName);

using comtest::arrayOf;

TEST(VariantArrays, ConvertElementByElement)
{
    const VARIANT src = VARIANT::Array(arrayOf(VT_I2, {VARIANT::I2(1), VARIANT::I2(-2), VARIANT::I2(3)}, 5));
    VARIANT out;
    ASSERT_EQ(com::changeType(src, static_cast<VARTYPE>(VT_ARRAY | VT_BSTR), out), S_OK);
    EXPECT_EQ(out, VARIANT::Array(arrayOf(VT_BSTR, {S("1"), S("-2"), S("3")}, 5)));
}

TEST(VariantArrays, FirstFailingElementFailsTheWhole)
{
    const VARIANT src = VARIANT::Array(arrayOf(VT_R8, {VARIANT::R8(1.5), VARIANT::R8(1e10)}));
    VARIANT out = VARIANT::I2(9);
    EXPECT_EQ(com::changeType(src, static_cast<VARTYPE>(VT_ARRAY | VT_I2), out), DISP_E_OVERFLOW);
    EXPECT_EQ(out, VARIANT::I2(9));
}

TEST(VariantArrays, VariantElementsConvertEachToTheTarget)
{
    const VARIANT src = VARIANT::Array(arrayOf(VT_VARIANT, {S("7"), VARIANT::R8(2.5), VARIANT::Bool(true)}));
    VARIANT out;
    ASSERT_EQ(com::changeType(src, static_cast<VARTYPE>(VT_ARRAY | VT_I4), out), S_OK);
    EXPECT_EQ(out, VARIANT::Array(arrayOf(VT_I4, {VARIANT::I4(7), VARIANT::I4(2), VARIANT::I4(-1)})));
}

TEST(VariantArrays, ScalarAndArrayDoNotMix)
{
    const VARIANT array = VARIANT::Array(arrayOf(VT_I2, {VARIANT::I2(1)}));
    VARIANT out;
    EXPECT_EQ(com::changeType(array, VT_I2, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(com::changeType(array, VT_BSTR, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(com::changeType(VARIANT::I2(1), static_cast<VARTYPE>(VT_ARRAY | VT_I2), out), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeTypeFn, ConvertsInPlace)
{
    VARIANT v = S("41");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(v, VARIANT::I4(41));
}

TEST(VariantChangeTypeFn, FailureLeavesTheValue)
{
    VARIANT v = S("forty");
    EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(v, S("forty"));
    EXPECT_EQ(VariantChangeType(nullptr, &v, 0, VT_I4), E_POINTER);
}

TEST(VariantConvert, RoundHalfEven)
{
    EXPECT_EQ(com::roundHalfEven(0.5), 0.0);
    EXPECT_EQ(com::roundHalfEven(1.5), 2.0);
    EXPECT_EQ(com::roundHalfEven(-1.5), -2.0);
    EXPECT_EQ(com::roundHalfEven(4503599627370497.0), 4503599627370497.0);  // above 2^52: already whole
}

TEST(VariantConvert, TypeNames)
{
    EXPECT_EQ(com::vtName(VT_I2), "VT_I2");
    EXPECT_EQ(com::vtName(static_cast<VARTYPE>(VT_ARRAY | VT_R8)), "VT_ARRAY|VT_R8");
    EXPECT_EQ(com::vtName(15), "VT_0x000F");
}

} // namespace
