#pragma once
// A toolkit heap: blocks handed out by the allocate entry and taken back by the
// free entry. It knows every live block and its size, so a block that is not
// its own (or is freed twice) is refused instead of corrupting memory.
#include <cstddef>
#include <mutex>
#include <unordered_map>

#include "platform/dde/BrisantTypes.h"

namespace dde {

struct HeapCounters {
    std::size_t allocations = 0;   // blocks handed out
    std::size_t frees = 0;         // blocks taken back
    std::size_t refusedFrees = 0;  // frees of blocks this heap does not hold
    std::size_t liveBlocks = 0;
    std::size_t liveBytes = 0;
};

class Heap {
public:
    Heap() = default;
    ~Heap();
    Heap(const Heap&) = delete;
    Heap& operator=(const Heap&) = delete;

    // A zero-filled block of the given size, or null.
    void* Allocate(std::size_t size);
    // False when the block is not a live block of this heap.
    bool Free(void* block);
    bool Owns(const void* block) const;
    // The size of a live block, 0 for anything else.
    std::size_t BlockSize(const void* block) const;
    HeapCounters Counters() const;

private:
    // Guards the block table and the counters. Leaf: nothing else is locked or
    // called while it is held.
    mutable std::mutex m_mutex;
    std::unordered_map<const void*, std::size_t> m_blocks;
    HeapCounters m_counters;
};

} // namespace dde
