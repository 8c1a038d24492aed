#include "platform/dde/BrisantBlocks.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(BrisantBlocks, ArrayHeaderBytes)
{
    struct Case { int type; DWORD count; std::vector<BYTE> header; std::size_t blockSize; };
    const Case cases[] = {
        {BRISANT_SHORTARRAY, 3, {0x0F, 0x00, 0x02, 0x00, 0x03, 0x00, 0x00, 0x00}, 8 + 6},
        {BRISANT_BOOLARRAY, 0x10203, {0x0C, 0x00, 0x04, 0x00, 0x03, 0x02, 0x01, 0x00}, 8 + 4 * 0x10203},
        {BRISANT_DOUBLEARRAY, 1, {0x14, 0x00, 0x08, 0x00, 0x01, 0x00, 0x00, 0x00}, 16},
        {BRISANT_BYTEARRAY, 2, {0x0E, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00}, 10},
    };
    for (const Case& c : cases) {
        BYTE block[8] = {};
        dde::SetArrayHeader(block, c.type, c.count);
        EXPECT_EQ(std::vector<BYTE>(block, block + 8), c.header) << c.type;
        EXPECT_EQ(dde::ArrayCount(block), c.count);
        EXPECT_EQ(dde::ArrayBlockSize(c.type, c.count), c.blockSize) << c.type;
    }
    EXPECT_EQ(dde::ArrayElementSize(BRISANT_STRINGARRAY), sizeof(char*));
    EXPECT_EQ(dde::ArrayElementSize(BRISANT_LONG), 0u);
}

TEST(BrisantBlocks, CountedTextBytesAndEmptiness)
{
    BYTE block[7] = {};
    dde::SetCountedLength(block, 3);
    block[2] = 'a';
    block[3] = 'b';
    block[4] = 'c';
    EXPECT_EQ(std::vector<BYTE>(block, block + 7), (std::vector<BYTE>{0x03, 0x00, 'a', 'b', 'c', 0x00, 0x00}));
    EXPECT_FALSE(dde::CountedEmpty(block));
    dde::SetCountedLength(block, 0);
    EXPECT_TRUE(dde::CountedEmpty(block));
    dde::SetCountedLength(block, -2);
    EXPECT_TRUE(dde::CountedEmpty(block));
    dde::SetCountedLength(block, 3);
    block[2] = 0;
    EXPECT_TRUE(dde::CountedEmpty(block));
    EXPECT_TRUE(dde::CountedEmpty(nullptr));
}

} // namespace
