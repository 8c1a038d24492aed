#include "kestrun/comm/serial/FastCrc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<BYTE> Bytes(const char* text, std::size_t room = 0)
{
    const std::size_t length = std::strlen(text);
    std::vector<BYTE> v(length + room, 0xEE);
    for (std::size_t i = 0; i < length; ++i)
        v[i] = static_cast<BYTE>(text[i]);
    return v;
}

TEST(CFastCrc16, CheckValueIsModbusCrcWithItsBytesSwapped)
{
    const auto msg = Bytes("123456789");
    EXPECT_EQ(CFastCrc16::CalcCrc(msg.data(), 9), 0x374B); // CRC-16/MODBUS 0x4B37
}

TEST(CFastCrc16, AddCrcPutsTheModbusCrcLowByteFirst)
{
    auto msg = Bytes("123456789", 2);
    CFastCrc16::AddCrc(msg.data(), 9);
    EXPECT_EQ(msg, (std::vector<BYTE>{'1', '2', '3', '4', '5', '6', '7', '8', '9', 0x37, 0x4B}));
    EXPECT_TRUE(CFastCrc16::IsValidCrc(msg.data(), 11));
}

TEST(CFastCrc16, ModbusReadRequestGetsItsWellKnownTrailer)
{
    std::vector<BYTE> frame{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0, 0};
    CFastCrc16::AddCrc(frame.data(), 6);
    EXPECT_EQ(frame[6], 0xC5);
    EXPECT_EQ(frame[7], 0xCD);
    EXPECT_TRUE(CFastCrc16::IsValidCrc(frame.data(), 8));
    frame[2] ^= 0x01;
    EXPECT_FALSE(CFastCrc16::IsValidCrc(frame.data(), 8));
}

TEST(CFastCrc16, ArrayOverloadsRejectEmptyAndOutOfRangeLengths)
{
    const auto msg = Bytes("123456789");
    struct Case {
        int length;
        WORD expected;
    };
    const WORD first4 = CFastCrc16::CalcCrc(msg.data(), 4);
    for (const Case& c : {Case{9, 0x374B}, Case{4, first4}, Case{0, 0}, Case{-1, 0}, Case{10, 0}}) {
        EXPECT_EQ(CFastCrc16::CalcCrc(msg, c.length), c.expected) << c.length;
    }
    EXPECT_EQ(CFastCrc16::CalcCrc(msg), 0x374B);
    EXPECT_EQ(CFastCrc16::CalcCrc(std::vector<BYTE>{}), 0);
    EXPECT_EQ(CFastCrc16::CalcCrc(std::vector<BYTE>{}, 1), 0);
}

TEST(CFastCrc16, LengthsUseOnlyTheirLow16Bits)
{
    const auto msg = Bytes("123456789");
    EXPECT_EQ(CFastCrc16::CalcCrc(msg.data(), 0x10009), 0x374B);
    // Length 0 is the initial register 0xFFFF, swapped or not.
    EXPECT_EQ(CFastCrc16::CalcCrc(msg.data(), 0x10000), 0xFFFF);
}

// Fewer than two bytes hold no CRC; the check never reads before the buffer.
TEST(CFastCrc16, ShortFramesAreNeverValid)
{
    const BYTE one[1] = {0xFF};
    EXPECT_FALSE(CFastCrc16::IsValidCrc(one, 0));
    EXPECT_FALSE(CFastCrc16::IsValidCrc(one, 1));
    // Two bytes: the CRC of nothing (0xFFFF) is stored as FF FF.
    const BYTE two[2] = {0xFF, 0xFF};
    EXPECT_TRUE(CFastCrc16::IsValidCrc(two, 2));
}

TEST(CFastCrc32, CheckValueIsCrc16Dnp)
{
    const auto msg = Bytes("123456789");
    EXPECT_EQ(CFastCrc32::CalcCrc(msg.data(), 9), 0xEA82);
}

TEST(CFastCrc32, AddCrcStoresLowByteFirstAndValidates)
{
    auto msg = Bytes("123456789", 2);
    CFastCrc32::AddCrc(msg.data(), 9);
    EXPECT_EQ(msg[9], 0x82);
    EXPECT_EQ(msg[10], 0xEA);
    EXPECT_TRUE(CFastCrc32::IsValidCrc(msg.data(), 11));
    msg[10] ^= 0x80;
    EXPECT_FALSE(CFastCrc32::IsValidCrc(msg.data(), 11));
}

TEST(CFastCrc32, ShortFramesAreNeverValid)
{
    const BYTE buf[2] = {0xFF, 0xFF}; // CRC-16/DNP of nothing
    EXPECT_FALSE(CFastCrc32::IsValidCrc(buf, 0));
    EXPECT_FALSE(CFastCrc32::IsValidCrc(buf, 1));
    EXPECT_TRUE(CFastCrc32::IsValidCrc(buf, 2));
    EXPECT_FALSE(CFastCrc32::IsValidCrc(buf, 0x10001));
}

} // namespace
