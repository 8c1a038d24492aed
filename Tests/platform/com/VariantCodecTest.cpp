#include "platform/com/VariantCodec.h"

#include <gtest/gtest.h>

#include <ostream>

#include <limits>

#include "platform/com/ArrayOf.h"

namespace {

using Bytes = std::vector<BYTE>;

using comtest::arrayOf;

struct Golden {
    const char* name;
    VARIANT value;
    Bytes bytes;
};

void PrintTo(const Golden& c, std::ostream* os) { *os << c.name; }

std::vector<Golden> goldens()
{
    return {
        {"Empty", VARIANT(), {0x00, 0x00}},
        {"Null", VARIANT::Null(), {0x01, 0x00}},
        {"I1", VARIANT::I1(-2), {0x10, 0x00, 0xFE}},
        {"UI1", VARIANT::UI1(0xAB), {0x11, 0x00, 0xAB}},
        {"I2", VARIANT::I2(-2), {0x02, 0x00, 0xFE, 0xFF}},
        {"UI2", VARIANT::UI2(0x1234), {0x12, 0x00, 0x34, 0x12}},
        {"BoolTrue", VARIANT::Bool(true), {0x0B, 0x00, 0xFF, 0xFF}},
        {"BoolFalse", VARIANT::Bool(false), {0x0B, 0x00, 0x00, 0x00}},
        {"I4", VARIANT::I4(0x12345678), {0x03, 0x00, 0x78, 0x56, 0x34, 0x12}},
        {"UI4", VARIANT::UI4(0xFFFFFFFE), {0x13, 0x00, 0xFE, 0xFF, 0xFF, 0xFF}},
        {"Int", VARIANT::Int(-1), {0x16, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"Uint", VARIANT::Uint(1), {0x17, 0x00, 0x01, 0x00, 0x00, 0x00}},
        {"R4", VARIANT::R4(1.0f), {0x04, 0x00, 0x00, 0x00, 0x80, 0x3F}},
        {"Error", VARIANT::Error(E_FAIL), {0x0A, 0x00, 0x05, 0x40, 0x00, 0x80}},
        {"R8", VARIANT::R8(1.0), {0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F}},
        {"Date", VARIANT::Date(45000.75), {0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x18, 0xF9, 0xE5, 0x40}},
        {"I8", VARIANT::I8(-2), {0x14, 0x00, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"UI8", VARIANT::UI8(0x0102030405060708ull), {0x15, 0x00, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}},
        {"Cy", VARIANT::Cy(CY{123456}), {0x06, 0x00, 0x40, 0xE2, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {"Bstr", VARIANT::String("Hi"), {0x08, 0x00, 0x02, 0x00, 0x00, 0x00, 0x48, 0x00, 0x69, 0x00}},
        {"BstrEmpty", VARIANT::String(""), {0x08, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {"BstrKorean", VARIANT::String("\xED\x95\x9C"), {0x08, 0x00, 0x01, 0x00, 0x00, 0x00, 0x5C, 0xD5}},
        {"ArrayI2",
         VARIANT::Array(arrayOf(VT_I2, {VARIANT::I2(1), VARIANT::I2(-1)}, 1)),
         {0x02, 0x20, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0xFF, 0xFF}},
        {"ArrayNegativeLowerBound",
         VARIANT::Array(arrayOf(VT_UI1, {VARIANT::UI1(9)}, -1)),
         {0x11, 0x20, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x09}},
        {"ArrayEmpty", VARIANT::Array(SAFEARRAY(VT_R8, 0)), {0x05, 0x20, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"ArrayBstr",
         VARIANT::Array(arrayOf(VT_BSTR, {VARIANT::String("a"), VARIANT::String("")})),
         {0x08, 0x20, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x61, 0x00, 0x00,
          0x00, 0x00, 0x00}},
        {"ArrayBool",
         VARIANT::Array(arrayOf(VT_BOOL, {VARIANT::Bool(true)})),
         {0x0B, 0x20, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF}},
        {"ArrayVariant",
         VARIANT::Array(arrayOf(VT_VARIANT, {VARIANT::I4(7), VARIANT::String("a")})),
         {0x0C, 0x20, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x07, 0x00, 0x00, 0x00, 0x08,
          0x00, 0x01, 0x00, 0x00, 0x00, 0x61, 0x00}},
        {"ArrayNested",
         VARIANT::Array(arrayOf(VT_VARIANT, {VARIANT::Array(arrayOf(VT_I1, {VARIANT::I1(5)}))})),
         {0x0C, 0x20, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x20, 0x01, 0x00, 0x00, 0x00, 0x00,
          0x00, 0x00, 0x00, 0x05}},
    };
}

class CodecGolden : public testing::TestWithParam<Golden> {};

TEST_P(CodecGolden, Encodes)
{
    Bytes out{0xEE};  // encoding appends
    ASSERT_EQ(com::encodeVariant(GetParam().value, out), S_OK);
    Bytes expected{0xEE};
    expected.insert(expected.end(), GetParam().bytes.begin(), GetParam().bytes.end());
    EXPECT_EQ(out, expected);
}

TEST_P(CodecGolden, Decodes)
{
    Bytes in = GetParam().bytes;
    in.push_back(0x99);  // a following record is not consumed
    VARIANT v;
    std::size_t consumed = 0;
    ASSERT_EQ(com::decodeVariant(in, v, consumed), S_OK);
    EXPECT_EQ(consumed, GetParam().bytes.size());
    EXPECT_EQ(v, GetParam().value);
}

TEST_P(CodecGolden, RefusesEveryTruncation)
{
    const Bytes& full = GetParam().bytes;
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        // A copy of exactly the cut length, so ASan catches any read past it.
        const Bytes part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        VARIANT v = VARIANT::I4(-77);
        std::size_t consumed = 12345;
        EXPECT_EQ(com::decodeVariant(part, v, consumed), E_INVALIDARG) << "cut at " << cut;
        EXPECT_EQ(v, VARIANT::I4(-77));
        EXPECT_EQ(consumed, 12345u);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, CodecGolden, testing::ValuesIn(goldens()),
                         [](const testing::TestParamInfo<Golden>& info) { return std::string(info.param.name); });

struct Malformed {
    const char* name;
    Bytes bytes;
    HRESULT hr;
};

void PrintTo(const Malformed& c, std::ostream* os) { *os << c.name; }

class CodecMalformed : public testing::TestWithParam<Malformed> {};

TEST_P(CodecMalformed, IsRefused)
{
    VARIANT v = VARIANT::I4(-77);
    std::size_t consumed = 12345;
    EXPECT_EQ(com::decodeVariant(GetParam().bytes, v, consumed), GetParam().hr);
    EXPECT_EQ(v, VARIANT::I4(-77));
    EXPECT_EQ(consumed, 12345u);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, CodecMalformed,
    testing::Values(
        Malformed{"UnknownType", {0x63, 0x00}, DISP_E_BADVARTYPE},
        Malformed{"Dispatch", {0x09, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}, DISP_E_BADVARTYPE},
        Malformed{"ByRef", {0x02, 0x40, 0x01, 0x00}, E_INVALIDARG},
        Malformed{"BareVariant", {0x0C, 0x00, 0x02, 0x00, 0x01, 0x00}, E_INVALIDARG},
        Malformed{"ArrayOfEmpty", {0x00, 0x20, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, E_INVALIDARG},
        Malformed{"BoolOne", {0x0B, 0x00, 0x01, 0x00}, E_INVALIDARG},
        Malformed{"BoolInArray", {0x0B, 0x20, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x80}, E_INVALIDARG},
        Malformed{"HugeCountFewBytes", {0x02, 0x20, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0x01, 0x00}, E_INVALIDARG},
        Malformed{"HugeBstrLength", {0x08, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0x41, 0x00}, E_INVALIDARG},
        Malformed{"BoundsOverflow", {0x11, 0x20, 0x02, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x02}, E_INVALIDARG},
        Malformed{"BadElementInside",
                  {0x0C, 0x20, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x63, 0x00},
                  DISP_E_BADVARTYPE}),
    [](const testing::TestParamInfo<Malformed>& info) { return std::string(info.param.name); });

VARIANT nested(int depth)
{
    VARIANT v = VARIANT::I2(1);
    for (int i = 0; i < depth; ++i) {
        SAFEARRAY a(VT_VARIANT, 1);
        a.putElement(0, std::move(v));
        v = VARIANT::Array(std::move(a));
    }
    return v;
}

TEST(VariantCodec, NestingIsLimited)
{
    Bytes ok;
    ASSERT_EQ(com::encodeVariant(nested(com::kMaxVariantDepth), ok), S_OK);
    VARIANT v;
    std::size_t consumed = 0;
    ASSERT_EQ(com::decodeVariant(ok, v, consumed), S_OK);
    EXPECT_EQ(v, nested(com::kMaxVariantDepth));

    Bytes tooDeep;
    EXPECT_EQ(com::encodeVariant(nested(com::kMaxVariantDepth + 1), tooDeep), E_INVALIDARG);
    EXPECT_TRUE(tooDeep.empty());

    // Hand-made: one level more than allowed.
    Bytes crafted;
    for (int i = 0; i <= com::kMaxVariantDepth; ++i) {
        const Bytes level{0x0C, 0x20, 0x01, 0, 0, 0, 0, 0, 0, 0};
        crafted.insert(crafted.end(), level.begin(), level.end());
    }
    crafted.insert(crafted.end(), {0x02, 0x00, 0x01, 0x00});
    EXPECT_EQ(com::decodeVariant(crafted, v, consumed), E_INVALIDARG);
}

// Encoded and decoded again, the value comes back equal.
void ExpectRoundTrip(const VARIANT& v)
{
    Bytes out;
    ASSERT_EQ(com::encodeVariant(v, out), S_OK);
    VARIANT back;
    std::size_t consumed = 0;
    ASSERT_EQ(com::decodeVariant(out, back, consumed), S_OK);
    EXPECT_EQ(back, v);
}

TEST(VariantCodec, UnpairedSurrogatePassesUnchanged)
{
    // The codec carries UTF-16 code units as they are; it is not a text validator.
    const VARIANT v = VARIANT::Bstr(std::u16string_view(u"\xD800", 1));
    ExpectRoundTrip(v);
}

TEST(VariantCodec, BstrAlone)
{
    Bytes out;
    com::encodeBstr(u"\xAD6D", out);
    EXPECT_EQ(out, (Bytes{0x01, 0x00, 0x00, 0x00, 0x6D, 0xAD}));
    BSTR s;
    std::size_t consumed = 0;
    ASSERT_EQ(com::decodeBstr(out, s, consumed), S_OK);
    EXPECT_EQ(s, u"\xAD6D");
    EXPECT_EQ(consumed, 6u);
    for (std::size_t cut = 0; cut < out.size(); ++cut) {
        const Bytes part(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(com::decodeBstr(part, s, consumed), E_INVALIDARG);
    }
}

TEST(VariantCodec, NaNKeepsItsBits)
{
    const VARIANT v = VARIANT::R8(std::numeric_limits<double>::quiet_NaN());
    ExpectRoundTrip(v);
}

} // namespace

namespace {

struct Cell {
    const char* name;
    VARIANT value;
    std::array<BYTE, 16> bytes;
};

void PrintTo(const Cell& c, std::ostream* os) { *os << c.name; }

class VariantCell : public testing::TestWithParam<Cell> {};

TEST_P(VariantCell, EncodesAndDecodes)
{
    std::array<BYTE, 16> out;
    out.fill(0xCC);
    com::encodeVariantCell(GetParam().value, out);
    EXPECT_EQ(out, GetParam().bytes);
    VARIANT back;
    ASSERT_EQ(com::decodeVariantCell(GetParam().bytes, back), S_OK);
    EXPECT_EQ(back, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Values, VariantCell,
    testing::Values(Cell{"I2", VARIANT::I2(-2), {0x02, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFF, 0, 0, 0, 0, 0, 0}},
                    Cell{"Bool", VARIANT::Bool(true), {0x0B, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}},
                    Cell{"R4", VARIANT::R4(1.0f), {0x04, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x80, 0x3F, 0, 0, 0, 0}},
                    Cell{"R8", VARIANT::R8(1.0), {0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
                    Cell{"UI4", VARIANT::UI4(0xA1B2C3D4), {0x13, 0, 0, 0, 0, 0, 0, 0, 0xD4, 0xC3, 0xB2, 0xA1, 0, 0, 0, 0}},
                    Cell{"Empty", VARIANT(), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}),
    [](const testing::TestParamInfo<Cell>& info) { return std::string(info.param.name); });

TEST(VariantCellOther, TextAndArraysCarryOnlyTheType)
{
    std::array<BYTE, 16> out;
    out.fill(0xCC);
    com::encodeVariantCell(VARIANT::String("abc"), out);
    EXPECT_EQ(out, (std::array<BYTE, 16>{0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    VARIANT v = VARIANT::I4(5);
    EXPECT_EQ(com::decodeVariantCell(out, v), DISP_E_BADVARTYPE);
    EXPECT_EQ(v, VARIANT::I4(5));
    const std::array<BYTE, 16> array{0x02, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(com::decodeVariantCell(array, v), DISP_E_BADVARTYPE);
}

TEST(VariantCellOther, AnyNonZeroBoolIsTrue)
{
    const std::array<BYTE, 16> one{0x0B, 0, 0, 0, 0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0};
    VARIANT v;
    ASSERT_EQ(com::decodeVariantCell(one, v), S_OK);
    EXPECT_EQ(v.boolVal(), VARIANT_TRUE);
}

} // namespace
