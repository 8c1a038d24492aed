#include "fenwold/MelsecDevice.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr WORD M = 0x90, SM = 0x91, L = 0x92, X = 0x9C, Y = 0x9D, B = 0xA0, SB = 0xA1,
               DX = 0xA2, DY = 0xA3, D = 0xA8, SD = 0xA9, R = 0xAF, ZR = 0xB0, W = 0xB4,
               TC = 0xC0, TN = 0xC2, CS = 0xC4, CN = 0xC5, Z = 0xCC;

struct NameCase {
    const char* address;
    const char* name;  // nullptr: no device
};

class FindDevice : public testing::TestWithParam<NameCase> {};

TEST_P(FindDevice, MatchesTheLongestName)
{
    const NameCase& c = GetParam();
    const MelsecDevice* d = MelsecFindDevice(c.address);
    if (!c.name) {
        EXPECT_EQ(d, nullptr);
        return;
    }
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->name, c.name);
}

INSTANTIATE_TEST_SUITE_P(Names, FindDevice, testing::Values(
    NameCase{"SD100", "SD"}, NameCase{"S100", "S"}, NameCase{"SM400", "SM"},
    NameCase{"SB1F", "SB"}, NameCase{"SW0", "SW"}, NameCase{"SC1", "SC"},
    NameCase{"SS1", "SS"}, NameCase{"SN1", "SN"}, NameCase{"ZR10", "ZR"},
    NameCase{"Z1", "Z"}, NameCase{"DX10", "DX"}, NameCase{"DY10", "DY"},
    NameCase{"D10", "D"}, NameCase{"TN5", "TN"}, NameCase{"TS5", "TS"},
    NameCase{"TC5", "TC"}, NameCase{"CN5", "CN"}, NameCase{"d100", "D"},
    NameCase{"zr0", "ZR"}, NameCase{"T5", nullptr}, NameCase{"C5", nullptr},
    NameCase{"Q100", nullptr}, NameCase{"", nullptr}));

struct WriteCase {
    int type;
    WORD device;
    int command;
};

class WriteCommand : public testing::TestWithParam<WriteCase> {};

TEST_P(WriteCommand, FollowsTypeAndDevice)
{
    const WriteCase& c = GetParam();
    EXPECT_EQ(MelsecWriteCommand(c.type, c.device), c.command)
        << "type " << c.type << " device " << c.device;
}

INSTANTIATE_TEST_SUITE_P(Types, WriteCommand, testing::Values(
    // bits are written where elements are bits
    WriteCase{0, M, 0x1402}, WriteCase{0, Y, 0x1402}, WriteCase{0, DY, 0x1402},
    WriteCase{0, TC, 0x1402}, WriteCase{0, CS, 0x1402},
    // a word device has no element per bit
    WriteCase{0, D, -1}, WriteCase{0, W, -1}, WriteCase{0, TN, -1},
    // words and double words go anywhere writable
    WriteCase{3, D, 0x1402}, WriteCase{4, M, 0x1402}, WriteCase{5, R, 0x1402},
    WriteCase{6, ZR, 0x1402}, WriteCase{7, D, 0x1402}, WriteCase{4, CN, 0x1402},
    // strings only on word devices
    WriteCase{10, D, 0x1401}, WriteCase{10, M, -1},
    // never written
    WriteCase{1, D, -1}, WriteCase{2, D, -1}, WriteCase{8, D, -1}, WriteCase{11, D, -1},
    WriteCase{4, X, -1}, WriteCase{0, X, -1}, WriteCase{4, DX, -1}, WriteCase{4, 0x99, -1}));

TEST(MelsecDevice, TableFacts)
{
    EXPECT_EQ(MelsecReadCommand(D), 0x0401);
    EXPECT_EQ(MelsecReadCommand(Z), 0x0401);
    EXPECT_EQ(MelsecReadCommand(0x99), -1);

    std::string_view name;
    EXPECT_TRUE(MelsecDeviceName(SM, name));
    EXPECT_EQ(name, "SM");
    EXPECT_FALSE(MelsecDeviceName(0x00, name));

    EXPECT_EQ(MelsecPrefixLength(ZR), 2);
    EXPECT_EQ(MelsecPrefixLength(TN), 2);
    EXPECT_EQ(MelsecPrefixLength(D), 1);
    EXPECT_EQ(MelsecPrefixLength(0x99), 0);

    EXPECT_TRUE(MelsecIsBitAccess(0, D));
    EXPECT_TRUE(MelsecIsBitAccess(4, M));
    EXPECT_FALSE(MelsecIsBitAccess(4, D));
    EXPECT_TRUE(MelsecIsBitDevice(X));
    EXPECT_FALSE(MelsecIsBitDevice(W));

    EXPECT_EQ(MelsecMaxDeviceNumber(D), 999999u);
    EXPECT_EQ(MelsecMaxDeviceNumber(ZR), 0xFFFFFFu);
}

TEST(MelsecDevice, DataSizes)
{
    const int expected[] = {1, 0, 1, 2, 2, 4, 4, 4, 0, 0, 20, 20, 0};
    for (int type = 0; type <= 12; ++type)
        EXPECT_EQ(MelsecDataSize(type, 20), expected[type]) << "type " << type;
}

TEST(MelsecDevice, OneECodes)
{
    struct { WORD device; bool known; WORD code; } cases[] = {
        {D, true, 0x4420}, {M, true, 0x4D20}, {L, true, 0x4D20}, {X, true, 0x5820},
        {B, true, 0x4220}, {W, true, 0x5720}, {R, true, 0x5220}, {TN, true, 0x544E},
        {CN, true, 0x434E},
        // SB and ZR would land on B and R; the others have no 1E code at all
        {SB, false, 0}, {ZR, false, 0}, {SM, false, 0}, {SD, false, 0}, {Z, false, 0},
        {0x99, false, 0},
    };
    for (const auto& c : cases) {
        WORD code = 0;
        EXPECT_EQ(Melsec1ECode(c.device, code), c.known) << c.device;
        if (c.known) {
            EXPECT_EQ(code, c.code) << c.device;
        }
    }
}

}  // namespace
