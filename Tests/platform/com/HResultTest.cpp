#include "platform/com/HResult.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

TEST(HResult, SeverityDecidesSuccess)
{
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(SUCCEEDED(OPC_S_CLAMP));
    EXPECT_TRUE(SUCCEEDED(OPC_S_UNSUPPORTEDRATE));
    EXPECT_TRUE(FAILED(OPC_E_RANGE));
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_TRUE(FAILED(RPC_S_SERVER_UNAVAILABLE));
}

TEST(HResult, Win32ErrorsMapToFacility7)
{
    EXPECT_EQ(HRESULT_FROM_WIN32(1722), RPC_S_SERVER_UNAVAILABLE);
    EXPECT_EQ(HRESULT_FROM_WIN32(5), E_ACCESSDENIED);
    EXPECT_EQ(HRESULT_FROM_WIN32(87), E_INVALIDARG);
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_EQ(static_cast<std::uint32_t>(RPC_S_SERVER_UNAVAILABLE), 0x800706BAu);
}

struct Text {
    HRESULT code;
    const char* text;
};

void PrintTo(const Text& t, std::ostream* os) { *os << std::hex << static_cast<std::uint32_t>(t.code); }

class ErrorTexts : public testing::TestWithParam<Text> {};

TEST_P(ErrorTexts, Known) { EXPECT_EQ(com::errorText(GetParam().code), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrorTexts,
    testing::Values(Text{com::hr(0xC004000B), "The value was out of range."},
                    Text{com::hr(0xC0040007), "The item is no longer available in the server address space"},
                    Text{com::hr(0x0004000E), "A value passed to WRITE was accepted but the output was clamped."},
                    Text{com::hr(0x80004005), "Unspecified error"},
                    Text{com::hr(0x80070057), "The parameter is incorrect."},
                    Text{com::hr(0x80040154), "Class not registered"},
                    Text{com::hr(0x8002000A), "Out of present range."}));

TEST(HResult, OpcTableCoversTheWholeDaRange)
{
    for (std::uint32_t code = 0xC0040001; code <= 0xC0040011; ++code) {
        if (code == 0xC0040002 || code == 0xC0040003 || (code & 0xFFFF) == 0x0D || (code & 0xFFFF) == 0x0E ||
            (code & 0xFFFF) == 0x0F)
            continue;  // unassigned, or the success codes below
        EXPECT_FALSE(com::opcResultText(com::hr(code)).empty()) << std::hex << code;
    }
    for (std::uint32_t code = 0x0004000D; code <= 0x0004000F; ++code)
        EXPECT_FALSE(com::opcResultText(com::hr(code)).empty()) << std::hex << code;
    EXPECT_FALSE(com::opcResultText(OPC_E_INVALID_PID).empty());
}

TEST(HResult, OpcTableHoldsOnlyOpcCodes)
{
    EXPECT_TRUE(com::opcResultText(E_FAIL).empty());
    EXPECT_TRUE(com::systemErrorText(OPC_E_RANGE).empty());
}

TEST(HResult, UnknownCodeHasNoText)
{
    EXPECT_TRUE(com::errorText(com::hr(0x12345678)).empty());
    EXPECT_TRUE(com::errorName(com::hr(0x12345678)).empty());
}

TEST(HResult, Names)
{
    EXPECT_EQ(com::errorName(OPC_E_UNKNOWNITEMID), "OPC_E_UNKNOWNITEMID");
    EXPECT_EQ(com::errorName(DISP_E_TYPEMISMATCH), "DISP_E_TYPEMISMATCH");
}

} // namespace
