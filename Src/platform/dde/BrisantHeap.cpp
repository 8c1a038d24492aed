#include "platform/dde/BrisantHeap.h"

#include <cstdlib>

namespace dde {

Heap::~Heap()
{
    for (auto& [block, size] : m_blocks)
        std::free(const_cast<void*>(block));
}

void* Heap::Allocate(std::size_t size)
{
    void* block = std::calloc(size == 0 ? 1 : size, 1);
    if (!block)
        return nullptr;
    std::lock_guard lock(m_mutex);
    m_blocks.emplace(block, size);
    ++m_counters.allocations;
    ++m_counters.liveBlocks;
    m_counters.liveBytes += size;
    return block;
}

bool Heap::Free(void* block)
{
    if (!block)
        return false;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_blocks.find(block);
        if (it == m_blocks.end()) {
            ++m_counters.refusedFrees;
            return false;
        }
        ++m_counters.frees;
        --m_counters.liveBlocks;
        m_counters.liveBytes -= it->second;
        m_blocks.erase(it);
    }
    std::free(block);
    return true;
}

bool Heap::Owns(const void* block) const
{
    std::lock_guard lock(m_mutex);
    return m_blocks.count(block) != 0;
}

std::size_t Heap::BlockSize(const void* block) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_blocks.find(block);
    return it == m_blocks.end() ? 0 : it->second;
}

HeapCounters Heap::Counters() const
{
    std::lock_guard lock(m_mutex);
    return m_counters;
}

} // namespace dde
