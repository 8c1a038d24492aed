#include "kestrun/model/PointNameMap.h"

#include <functional>

namespace {
std::size_t HashOf(std::string_view key) { return std::hash<std::string_view>{}(key); }
} // namespace

std::size_t CdsPointNameMap::Locate(std::string_view key) const
{
    if (m_nCount == 0)
        return m_slots.size();
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = HashOf(key) & mask;; i = (i + 1) & mask) {
        const Slot& slot = m_slots[i];
        if (slot.IsFree())
            return m_slots.size();
        if (slot.pPoint && KeyOf(slot) == key)
            return i;
    }
}

CdsMemoryObject* CdsPointNameMap::Find(std::string_view key) const
{
    const std::size_t slot = Locate(key);
    return slot < m_slots.size() ? m_slots[slot].pPoint : nullptr;
}

void CdsPointNameMap::Reserve()
{
    // At most three quarters of the slots taken, so that a search always ends on a free one.
    if ((m_nUsed + 1) * 4 <= m_slots.size() * 3)
        return;
    std::size_t size = m_slots.empty() ? 8 : m_slots.size();
    while ((m_nCount + 1) * 2 > size)
        size *= 2;
    std::vector<Slot> old(size);
    old.swap(m_slots);
    std::string keys;
    keys.swap(m_keys);
    m_nCount = m_nUsed = 0;
    for (const Slot& slot : old)
        if (slot.pPoint)
            Place(std::string_view(keys).substr(slot.at, slot.length), slot.pPoint);
}

void CdsPointNameMap::Place(std::string_view key, CdsMemoryObject* pPoint)
{
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = HashOf(key) & mask;
    while (!m_slots[i].IsFree())
        i = (i + 1) & mask;
    m_slots[i] = Slot{static_cast<std::uint32_t>(m_keys.size()), static_cast<std::uint32_t>(key.size()), pPoint};
    m_keys.append(key);
    ++m_nCount;
    ++m_nUsed;
}

bool CdsPointNameMap::Insert(std::string_view key, CdsMemoryObject* pPoint)
{
    if (!pPoint || Locate(key) < m_slots.size())
        return false;
    Reserve();
    Place(key, pPoint);
    return true;
}

void CdsPointNameMap::Assign(std::string_view key, CdsMemoryObject* pPoint)
{
    const std::size_t slot = Locate(key);
    if (slot < m_slots.size()) {
        if (pPoint)
            m_slots[slot].pPoint = pPoint;
        else
            Remove(slot);
        return;
    }
    Insert(key, pPoint);
}

void CdsPointNameMap::Remove(std::size_t slot)
{
    // The slot stays taken, so searches that passed it still go on; its text is
    // dropped by the next rebuild.
    m_slots[slot] = Slot{kRemoved, 0, nullptr};
    --m_nCount;
}

bool CdsPointNameMap::Erase(std::string_view key, const CdsMemoryObject* pPoint)
{
    const std::size_t slot = Locate(key);
    if (slot >= m_slots.size() || m_slots[slot].pPoint != pPoint)
        return false;
    Remove(slot);
    return true;
}

void CdsPointNameMap::EraseAll(const CdsMemoryObject* pPoint)
{
    for (std::size_t i = 0; i < m_slots.size(); ++i)
        if (pPoint && m_slots[i].pPoint == pPoint)
            Remove(i);
}

void CdsPointNameMap::Clear()
{
    m_slots.clear();
    m_slots.shrink_to_fit();
    m_keys.clear();
    m_keys.shrink_to_fit();
    m_nCount = m_nUsed = 0;
}
