#include "platform/com/Guid.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace {

// The OPC DA 2.0 server category.
const GUID kCatidDa20{0x63D5F432, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};

TEST(Guid, ParsesEitherCaseAndFormatsUpperCase)
{
    const auto g = com::parseGuid("{63d5f432-CFE4-11d1-b2c8-0060083BA1FB}");
    ASSERT_TRUE(g.has_value());
    EXPECT_EQ(*g, kCatidDa20);
    EXPECT_EQ(com::formatGuid(*g), "{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}");
}

TEST(Guid, FormatParseRoundTrip)
{
    const GUID samples[] = {GUID_NULL, kCatidDa20,
                            GUID{0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
                            GUID{0x00000001, 0x0203, 0x0405, {0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D}}};
    for (const GUID& g : samples)
        EXPECT_EQ(com::parseGuid(com::formatGuid(g)), g) << com::formatGuid(g);
    EXPECT_EQ(com::formatGuid(GUID_NULL), "{00000000-0000-0000-0000-000000000000}");
}

class GuidRejects : public testing::TestWithParam<const char*> {};

TEST_P(GuidRejects, Malformed)
{
    EXPECT_FALSE(com::parseGuid(GetParam()).has_value()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Texts, GuidRejects,
                         testing::Values("", "{}", "63D5F432-CFE4-11D1-B2C8-0060083BA1FB",
                                         "{63D5F432-CFE4-11D1-B2C8-0060083BA1FB",
                                         "63D5F432-CFE4-11D1-B2C8-0060083BA1FB}",
                                         "{63D5F432-CFE4-11D1-B2C8-0060083BA1FB} ",
                                         " {63D5F432-CFE4-11D1-B2C8-0060083BA1FB}",
                                         "{63D5F432-CFE4-11D1-B2C8-0060083BA1FG}",
                                         "{63D5F432-CFE4-11D1-B2C80060083BA1FB-}",
                                         "{63D5F432CFE4-11D1-B2C8-0060083BA1FB0}",
                                         "{63D5F432-CFE4-11D1-B2C8-0060083BA1F}",
                                         "{63D5F432-CFE4-11D1-B2C8-0060083BA1FBB}",
                                         "{+3D5F432-CFE4-11D1-B2C8-0060083BA1FB}",
                                         "{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}x",
                                         "(63D5F432-CFE4-11D1-B2C8-0060083BA1FB)"));

TEST(Guid, LooseParseTakesTheBareForm)
{
    EXPECT_EQ(com::parseGuidLoose("63D5F432-CFE4-11D1-B2C8-0060083BA1FB"), kCatidDa20);
    EXPECT_EQ(com::parseGuidLoose("{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}"), kCatidDa20);
    EXPECT_FALSE(com::parseGuidLoose("63D5F432-CFE4-11D1-B2C8-0060083BA1F").has_value());
}

TEST(Guid, BytesAreLittleEndianFields)
{
    const std::array<BYTE, 16> golden{0x32, 0xF4, 0xD5, 0x63, 0xE4, 0xCF, 0xD1, 0x11,
                                      0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB};
    EXPECT_EQ(com::guidToBytes(kCatidDa20), golden);
    EXPECT_EQ(com::guidFromBytes(golden), kCatidDa20);
}

TEST(Guid, ComparesAndHashes)
{
    GUID other = kCatidDa20;
    other.Data4[7] = 0xFC;
    EXPECT_NE(other, kCatidDa20);
    EXPECT_LT(kCatidDa20, other);
    std::unordered_set<GUID> set{kCatidDa20, other, kCatidDa20};
    EXPECT_EQ(set.size(), 2u);
    EXPECT_EQ(set.count(*com::parseGuid("{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}")), 1u);
}

} // namespace
