#include "kestrun/model/PointNameMap.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PointNameMap, EveryKeyStaysFoundWhileOthersComeAndGo)
{
    CdsPointNameMap map;
    for (int i = 0; i < 2000; ++i)
        ASSERT_TRUE(map.Insert("D" + std::to_string(i), i));
    EXPECT_FALSE(map.Insert("D7", 4000));   // a key is given once
    // Every other key goes: the ones behind them in a search are still found.
    for (int i = 0; i < 2000; i += 2)
        ASSERT_TRUE(map.Erase("D" + std::to_string(i), i));
    EXPECT_FALSE(map.Erase("D1", 2));        // another index's key stays
    EXPECT_EQ(map.Size(), 1000u);
    for (int i = 0; i < 2000; ++i)
        EXPECT_EQ(map.Find("D" + std::to_string(i)), i % 2 ? i : -1) << i;
    // Keys that went may come back, for another index.
    ASSERT_TRUE(map.Insert("D0", 4001));
    EXPECT_EQ(map.Find("D0"), 4001);
    map.Assign("D1", 65536);
    EXPECT_EQ(map.Find("D1"), 65536);
    EXPECT_EQ(map.Size(), 1001u);
}

TEST(PointNameMap, KeysOfAnyLengthAndBytes)
{
    CdsPointNameMap map;
    const std::string longKey(300, 'K'), longer = longKey + "K", withZero("A\0B", 3);
    ASSERT_TRUE(map.Insert(longKey, 1));
    ASSERT_TRUE(map.Insert(longer, 2));
    ASSERT_TRUE(map.Insert(withZero, 3));
    ASSERT_TRUE(map.Insert("A", 4));
    ASSERT_TRUE(map.Insert("", 5));
    for (int i = 6; i < 40; ++i)   // rebuilds move every key
        ASSERT_TRUE(map.Insert(std::to_string(i), i));
    EXPECT_EQ(map.Find(longKey), 1);
    EXPECT_EQ(map.Find(longer), 2);
    EXPECT_EQ(map.Find(withZero), 3);
    EXPECT_EQ(map.Find("A"), 4);
    EXPECT_EQ(map.Find(""), 5);
    EXPECT_EQ(map.Find(std::string(299, 'K')), -1);
}

TEST(PointNameMap, AnIndexLeavesUnderEveryKeyItHad)
{
    CdsPointNameMap map;
    ASSERT_TRUE(map.Insert("FIRST", 0));
    ASSERT_TRUE(map.Insert("OTHER", 1));
    map.Assign("SECOND", 0);
    map.EraseAll(0);
    EXPECT_EQ(map.Find("FIRST"), -1);
    EXPECT_EQ(map.Find("SECOND"), -1);
    EXPECT_EQ(map.Find("OTHER"), 1);
    map.Clear();
    EXPECT_EQ(map.Find("OTHER"), -1);
    EXPECT_EQ(map.Size(), 0u);
}

TEST(PointNameMap, ChurnOnOneKeyNeitherLosesItNorGrowsWithoutEnd)
{
    // A point replaced again and again: its key comes and goes, the removed slots
    // and their text are dropped as the map rebuilds.
    CdsPointNameMap map;
    ASSERT_TRUE(map.Insert("KEEP", 1));
    for (int i = 0; i < 100000; ++i) {
        ASSERT_TRUE(map.Insert("SLOT", 0));
        ASSERT_TRUE(map.Erase("SLOT", 0));
    }
    EXPECT_EQ(map.Find("KEEP"), 1);
    EXPECT_EQ(map.Find("SLOT"), -1);
    EXPECT_EQ(map.Size(), 1u);
}

} // namespace
