#include "kestrun/model/PointNameMap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The map never looks into the points: distinct addresses stand in for them.
CdsMemoryObject* Point(std::vector<char>& storage, std::size_t i)
{
    return reinterpret_cast<CdsMemoryObject*>(storage.data() + i);
}

TEST(PointNameMap, EveryKeyStaysFoundWhileOthersComeAndGo)
{
    std::vector<char> storage(5000);
    CdsPointNameMap map;
    for (std::size_t i = 0; i < 2000; ++i)
        ASSERT_TRUE(map.Insert("D" + std::to_string(i), Point(storage, i)));
    EXPECT_FALSE(map.Insert("D7", Point(storage, 4000)));   // a key is given once
    // Every other key goes: the ones behind them in a search are still found.
    for (std::size_t i = 0; i < 2000; i += 2)
        ASSERT_TRUE(map.Erase("D" + std::to_string(i), Point(storage, i)));
    EXPECT_FALSE(map.Erase("D1", Point(storage, 2)));        // another point's key stays
    EXPECT_EQ(map.Size(), 1000u);
    for (std::size_t i = 0; i < 2000; ++i)
        EXPECT_EQ(map.Find("D" + std::to_string(i)), i % 2 ? Point(storage, i) : nullptr) << i;
    // Keys that went may come back, for another point.
    ASSERT_TRUE(map.Insert("D0", Point(storage, 4001)));
    EXPECT_EQ(map.Find("D0"), Point(storage, 4001));
    map.Assign("D1", Point(storage, 4002));
    EXPECT_EQ(map.Find("D1"), Point(storage, 4002));
    EXPECT_EQ(map.Size(), 1001u);
}

TEST(PointNameMap, APointLeavesUnderEveryKeyItHad)
{
    std::vector<char> storage(8);
    CdsPointNameMap map;
    ASSERT_TRUE(map.Insert("FIRST", Point(storage, 0)));
    ASSERT_TRUE(map.Insert("", Point(storage, 1)));
    map.Assign("SECOND", Point(storage, 0));
    map.EraseAll(Point(storage, 0));
    EXPECT_EQ(map.Find("FIRST"), nullptr);
    EXPECT_EQ(map.Find("SECOND"), nullptr);
    EXPECT_EQ(map.Find(""), Point(storage, 1));
    map.Clear();
    EXPECT_EQ(map.Find(""), nullptr);
    EXPECT_EQ(map.Size(), 0u);
}

TEST(PointNameMap, ChurnOnOneKeyNeitherLosesItNorGrowsWithoutEnd)
{
    // A point replaced again and again: its key comes and goes, the removed slots
    // and their text are dropped as the map rebuilds.
    std::vector<char> storage(2);
    CdsPointNameMap map;
    ASSERT_TRUE(map.Insert("KEEP", Point(storage, 1)));
    for (int i = 0; i < 100000; ++i) {
        ASSERT_TRUE(map.Insert("SLOT", Point(storage, 0)));
        ASSERT_TRUE(map.Erase("SLOT", Point(storage, 0)));
    }
    EXPECT_EQ(map.Find("KEEP"), Point(storage, 1));
    EXPECT_EQ(map.Find("SLOT"), nullptr);
    EXPECT_EQ(map.Size(), 1u);
}

} // namespace
