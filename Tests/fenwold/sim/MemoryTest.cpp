#include "support/plcsim/Memory.h"

#include "support/plcsim/Devices.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

namespace plcsim {
namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t D = 0xA8, M = 0x90, X = 0x9C, DX = 0xA2, ZR = 0xB0;

TEST(Memory, WordOfABitDevicePacksSixteenBitsLowestFirst)
{
    Memory m;
    m.setBit(M, 16, true);
    m.setBit(M, 17, true);
    m.setBit(M, 31, true);
    EXPECT_EQ(m.word(M, 16), 0x8003);
    m.setWord(M, 32, 0x0101);
    EXPECT_TRUE(m.bit(M, 32));
    EXPECT_FALSE(m.bit(M, 33));
    EXPECT_TRUE(m.bit(M, 40));
    // A word may start anywhere, not only on a multiple of 16.
    EXPECT_EQ(m.word(M, 31), 0x0203);  // M31, M32, M40
}

TEST(Memory, BitOfAWordDevice)
{
    Memory m;
    m.setWord(D, 2, 0x0020);
    EXPECT_TRUE(m.bit(D, 2 * 16 + 5));
    m.setBit(D, 2 * 16 + 15, true);
    EXPECT_EQ(m.word(D, 2), 0x8020);
}

TEST(Memory, DirectInputsShareTheInputs)
{
    Memory m;
    m.setBit(DX, 0x1F, true);
    EXPECT_TRUE(m.bit(X, 0x1F));
}

TEST(Memory, RunsStayInsideTheDevice)
{
    Memory m;
    std::vector<std::uint16_t> w;
    EXPECT_TRUE(m.readWords(D, 65535, 1, w));
    EXPECT_FALSE(m.readWords(D, 65535, 2, w));
    EXPECT_FALSE(m.readWords(M, 65536 - 16, 2, w));
    EXPECT_TRUE(m.readWords(ZR, 0xFFFFF, 1, w));
    EXPECT_FALSE(m.writeWords(D, 65535, {1, 2}));
    EXPECT_EQ(m.word(D, 65535), 0);
    std::vector<std::uint8_t> b;
    EXPECT_FALSE(m.readBits(D, 0, 1, b));  // bit runs need a bit device
    EXPECT_FALSE(m.writeBits(M, 65535, {1, 1}));
    EXPECT_FALSE(m.bit(M, 65535));
    // Out of range single points read as 0 and ignore writes.
    m.setWord(D, 70000, 5);
    EXPECT_EQ(m.word(D, 70000), 0);
    EXPECT_EQ(m.word(0x01, 0), 0);
}

TEST(Memory, CountsChangesAndWakesWaiters)
{
    Memory m;
    const auto before = m.changeCount();
    std::thread writer([&] { m.setWord(D, 1, 1); });
    EXPECT_TRUE(m.waitForChange(before, 2000ms));
    writer.join();
    EXPECT_EQ(m.changeCount(), before + 1);
    EXPECT_FALSE(m.waitForChange(m.changeCount(), 1ms));
    std::vector<std::uint16_t> w;
    m.readWords(D, 0, 4, w);
    EXPECT_EQ(m.changeCount(), before + 1);  // reads are no changes
}

TEST(Memory, ClearZeroesEverything)
{
    Memory m;
    m.setWord(D, 9, 9);
    m.setBit(M, 9, true);
    m.clear();
    EXPECT_EQ(m.word(D, 9), 0);
    EXPECT_FALSE(m.bit(M, 9));
}

TEST(DeviceTable, EveryDeviceIsFoundByCodeAndName)
{
    std::set<std::uint16_t> codes1E;
    for (auto d = deviceTableBegin(); d != deviceTableEnd(); ++d) {
        EXPECT_EQ(findDevice(d->code), d);
        EXPECT_EQ(findDeviceByName(std::string_view(d->name, 2)), d);
        if (d->code1E) {
            EXPECT_TRUE(codes1E.insert(d->code1E).second) << d->name;
            EXPECT_EQ(findDevice1E(d->code1E), d);
        }
    }
    EXPECT_EQ(findDevice(0x00), nullptr);
    // A space pads a one-letter name as well as '*'; two letters take no padding.
    EXPECT_EQ(findDeviceByName("D "), findDeviceByName("D*"));
    EXPECT_EQ(findDeviceByName("Q*"), nullptr);
    EXPECT_EQ(findDeviceByName("Z "), findDeviceByName("Z*"));
    EXPECT_EQ(findDeviceByName("S "), findDeviceByName("S*"));
    EXPECT_EQ(findDeviceByName("Z*")->code, 0xCC);
    EXPECT_EQ(findDevice1E(0x2020), nullptr);
}

TEST(DeviceTable, HoldsEveryDeviceTheServerAddresses)
{
    for (std::uint8_t code : {0x90, 0x91, 0x92, 0x93, 0x94, 0x98, 0x9C, 0x9D, 0xA0, 0xA1, 0xA2, 0xA3, 0xA8, 0xA9,
                              0xAF, 0xB0, 0xB4, 0xB5, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xCC})
        EXPECT_NE(findDevice(code), nullptr) << int(code);
}

} // namespace
} // namespace plcsim
