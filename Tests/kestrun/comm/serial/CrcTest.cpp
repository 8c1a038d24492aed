#include "kestrun/comm/serial/Crc.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

constexpr std::string_view kCheck = "123456789";

WORD Augmented16(WORD initial, std::string_view text)
{
    CCrc16 crc(initial);
    for (char c : text)
        crc.update(static_cast<BYTE>(c));
    crc.update(0);
    crc.update(0);
    return crc.value();
}

DWORD Register32(DWORD initial, std::string_view text)
{
    CCrc32 crc(initial);
    for (char c : text)
        crc.update(static_cast<BYTE>(c));
    return crc.value();
}

struct Crc16Case {
    const char* name;
    WORD initial;
    WORD check;
};

class CCrc16CheckTest : public ::testing::TestWithParam<Crc16Case> {};

// The augmented register with initial I equals the catalogue CRC whose initial value
// is I run through two zero bytes.
TEST_P(CCrc16CheckTest, MatchesCatalogueCheckValue)
{
    EXPECT_EQ(Augmented16(GetParam().initial, kCheck), GetParam().check) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, CCrc16CheckTest,
    ::testing::Values(Crc16Case{"CRC-16/XMODEM", 0x0000, 0x31C3},
                      Crc16Case{"CRC-16/SPI-FUJITSU (AUG-CCITT)", 0xFFFF, 0xE5CC},
                      Crc16Case{"CRC-16/IBM-3740 (CCITT-FALSE)", 0x84CF, 0x29B1}));

TEST(CCrc16, StartsWithTheInitialRegister)
{
    EXPECT_EQ(CCrc16(0x1234).value(), 0x1234);
    EXPECT_EQ(CCrc16().value(), 0);
}

TEST(CCrc16, EmptyMessageLeavesZeroRegisterAtZero)
{
    EXPECT_EQ(Augmented16(0, ""), 0);
}

TEST(CCrc16, SingleByteGivesTheTableEntry)
{
    // 'A' = 0x41 through the 0x1021 division: CRC-16/XMODEM of "A".
    EXPECT_EQ(Augmented16(0, "A"), 0x58E5);
}

TEST(CCrc32, HasNoFinalXor)
{
    // CRC-32/JAMCRC is CRC-32/ISO-HDLC without its final inversion.
    EXPECT_EQ(Register32(0xFFFFFFFFu, kCheck), 0x340BC6D9u);
    EXPECT_EQ(Register32(0xFFFFFFFFu, kCheck) ^ 0xFFFFFFFFu, 0xCBF43926u);
}

TEST(CCrc32, ZeroInitialAndEmptyInput)
{
    EXPECT_EQ(Register32(0, ""), 0u);
    EXPECT_EQ(Register32(0x89ABCDEFu, ""), 0x89ABCDEFu);
    // CRC-32/ISO-HDLC of "A" is 0xD3D99E8B.
    EXPECT_EQ(Register32(0xFFFFFFFFu, "A") ^ 0xFFFFFFFFu, 0xD3D99E8Bu);
}

} // namespace
