#include "kestrun/comm/serial/OXCRCTableList.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using EWidth = COXCRCTableList::EWidth;

TEST(COXCRCTableList, SharesOneTablePerPolynomial)
{
    COXCRCTableList list(EWidth::Bits16);
    const DWORD* a = list.GetTable(0x1021);
    const DWORD* b = list.GetTable(0x1021);
    EXPECT_EQ(a, b);
    EXPECT_EQ(list.GetCount(), 1u);
    const DWORD* c = list.GetTable(0x8005);
    EXPECT_NE(a, c);
    EXPECT_EQ(list.GetCount(), 2u);
    // Compared as 16-bit values.
    EXPECT_EQ(list.GetTable(0x11021), a);
    EXPECT_EQ(list.GetCount(), 2u);
}

TEST(COXCRCTableList, ThirtyTwoBitPolynomialsCompareInFull)
{
    COXCRCTableList list(EWidth::Bits32);
    EXPECT_NE(list.GetTable(0xEDB88320u), list.GetTable(0x0DB88320u));
    EXPECT_EQ(list.GetCount(), 2u);
}

struct EntryCase {
    EWidth width;
    DWORD polynomial;
    int index;
    DWORD entry;
};

class TableEntryTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(TableEntryTest, FollowsPolynomialDivision)
{
    COXCRCTableList list(GetParam().width);
    EXPECT_EQ(list.GetTable(GetParam().polynomial)[GetParam().index], GetParam().entry);
}

INSTANTIATE_TEST_SUITE_P(KnownEntries, TableEntryTest,
    ::testing::Values(EntryCase{EWidth::Bits16, 0x1021, 0, 0x0000},
                      EntryCase{EWidth::Bits16, 0x1021, 1, 0x1021},
                      EntryCase{EWidth::Bits16, 0x1021, 255, 0x1EF0},
                      EntryCase{EWidth::Bits16, 0x8005, 1, 0x8005},
                      EntryCase{EWidth::Bits32, 0xEDB88320u, 1, 0x77073096u},
                      EntryCase{EWidth::Bits32, 0xEDB88320u, 128, 0xEDB88320u},
                      EntryCase{EWidth::Bits32, 0xEDB88320u, 255, 0x2D02EF8Du}));

// Objects made on several threads at once still get one table per polynomial.
TEST(COXCRCTableList, ConcurrentFirstUseLinksOneNode)
{
    COXCRCTableList list(EWidth::Bits32);
    std::vector<const DWORD*> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] { seen[i] = list.GetTable(0x82F63B78u); });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(list.GetCount(), 1u);
    for (const DWORD* p : seen)
        EXPECT_EQ(p, seen[0]);
}

} // namespace
