#include "kestrun/model/BitValue.h"

#include <gtest/gtest.h>

namespace kestrun {
namespace {

TEST(BitValueTest, BitCountPerType)
{
    const std::pair<int, int> cases[] = {
        {BRISANT_BOOL, 0}, {BRISANT_CHAR, 8},  {BRISANT_BYTE, 8},   {BRISANT_SHORT, 16}, {BRISANT_WORD, 16},
        {BRISANT_LONG, 32}, {BRISANT_DWORD, 32}, {BRISANT_FLOAT, 0}, {BRISANT_DOUBLE, 0}, {BRISANT_STRING, 0},
        {BRISANT_BCD, 0},  {BRISANT_NOTYPE, 0},
    };
    for (auto [type, bits] : cases) {
        EXPECT_EQ(BitCountOfType(type), bits) << type;
        EXPECT_EQ(TypeCarriesBits(type), bits > 0) << type;
    }
}

struct ExtractCase {
    int type;
    ULONGLONG cell;
    int bit;
    bool ok;
    SHORT value;
};

TEST(BitValueTest, ExtractsOneBitPerType)
{
    // clang-format off
    const ExtractCase cases[] = {
        // 8-bit: only the low byte counts
        {BRISANT_CHAR,  0x80,               7,  true,  1},   // -128
        {BRISANT_CHAR,  0xFF7F,             7,  true,  0},
        {BRISANT_BYTE,  0x01,               0,  true,  1},
        {BRISANT_BYTE,  0xFF,               8,  false, 0},
        // 16-bit
        {BRISANT_WORD,  0x8000,             15, true,  1},
        {BRISANT_WORD,  0x8000,             16, false, 0},
        {BRISANT_WORD,  0x18000,            16, false, 0},
        {BRISANT_SHORT, 0x0008,             3,  true,  1},
        {BRISANT_SHORT, 0xFFFFFFFFFFFF7FFF, 15, true,  0},
        // 32-bit
        {BRISANT_DWORD, 0x80000000,         31, true,  1},
        {BRISANT_LONG,  0x00010000,         16, true,  1},
        {BRISANT_LONG,  0xFFFFFFFF00000000, 31, true,  0},
        {BRISANT_DWORD, 0xFFFFFFFF,         32, false, 0},
        {BRISANT_DWORD, 0xFFFFFFFF,         -1, false, 0},
        // types without bits refuse and leave a cleared cell
        {BRISANT_FLOAT, 0x3F800000,         0,  false, 0},
        {BRISANT_BOOL,  0x0001,             0,  false, 0},
        {BRISANT_DOUBLE,0xFFFFFFFFFFFFFFFF, 3,  false, 0},
    };
    // clang-format on
    for (const ExtractCase& c : cases) {
        _BRISANTDATAVALUE value{};
        value.ullVal = c.cell;
        _BRISANTDATAVALUE out{};
        out.ullVal = 0xDEADBEEFDEADBEEFull;
        EXPECT_EQ(ExtractBit(value, c.type, c.bit, out), c.ok) << c.type << " bit " << c.bit;
        // The whole cell is the Bool value: nothing of its old contents is left.
        _BRISANTDATAVALUE expected{};
        expected.boolVal = c.value;
        EXPECT_EQ(out.ullVal, expected.ullVal) << c.type << " bit " << c.bit;
    }
}

} // namespace
} // namespace kestrun
