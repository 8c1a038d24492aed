#include "platform/dde/BrisantHeap.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(BrisantHeap, BlocksAreZeroFilledAndCounted)
{
    dde::Heap heap;
    auto* block = static_cast<unsigned char*>(heap.Allocate(16));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(block[i], 0);
    EXPECT_TRUE(heap.Owns(block));
    EXPECT_EQ(heap.BlockSize(block), 16u);
    auto counters = heap.Counters();
    EXPECT_EQ(counters.liveBlocks, 1u);
    EXPECT_EQ(counters.liveBytes, 16u);
    EXPECT_TRUE(heap.Free(block));
    EXPECT_EQ(heap.Counters().liveBlocks, 0u);
    EXPECT_EQ(heap.Counters().liveBytes, 0u);
}

TEST(BrisantHeap, ForeignAndRepeatedFreesAreRefused)
{
    dde::Heap heap;
    void* block = heap.Allocate(4);
    int local = 0;
    EXPECT_FALSE(heap.Free(&local));
    EXPECT_TRUE(heap.Free(block));
    EXPECT_FALSE(heap.Free(block));
    EXPECT_FALSE(heap.Free(nullptr));
    auto counters = heap.Counters();
    EXPECT_EQ(counters.allocations, 1u);
    EXPECT_EQ(counters.frees, 1u);
    EXPECT_EQ(counters.refusedFrees, 2u);
    EXPECT_EQ(heap.BlockSize(block), 0u);
}

TEST(BrisantHeap, LiveBlocksGoWithTheHeap)
{
    // Run under the sanitizer: leaking here fails the build's leak check.
    dde::Heap heap;
    heap.Allocate(100);
    heap.Allocate(0);
    EXPECT_EQ(heap.Counters().liveBlocks, 2u);
}

} // namespace
