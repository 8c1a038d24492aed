#include "kestrun/model/PointNameMap.h"

#include <cstring>
#include <functional>

namespace {
std::size_t HashOf(std::string_view key) { return std::hash<std::string_view>{}(key); }
// A key's length goes before it: one byte below 255, else 255 and four bytes.
constexpr unsigned char kLongKey = 255;
} // namespace

std::string_view CdsPointNameMap::KeyAt(const std::string& keys, std::uint32_t at)
{
    const char* p = keys.data() + at;
    std::uint32_t length = static_cast<unsigned char>(*p++);
    if (length == kLongKey) {
        std::memcpy(&length, p, sizeof length);
        p += sizeof length;
    }
    return std::string_view(p, length);
}

std::size_t CdsPointNameMap::Locate(std::string_view key) const
{
    if (m_nCount == 0)
        return m_slots.size();
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = HashOf(key) & mask;; i = (i + 1) & mask) {
        const Slot& slot = m_slots[i];
        if (slot.IsFree())
            return m_slots.size();
        if (slot.entry && KeyOf(slot) == key)
            return i;
    }
}

int CdsPointNameMap::Find(std::string_view key) const
{
    const std::size_t slot = Locate(key);
    return slot < m_slots.size() ? static_cast<int>(m_slots[slot].entry - 1) : -1;
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
        if (slot.entry)
            Place(KeyAt(keys, slot.at), slot.entry);
}

void CdsPointNameMap::Place(std::string_view key, std::uint32_t entry)
{
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = HashOf(key) & mask;
    while (!m_slots[i].IsFree())
        i = (i + 1) & mask;
    m_slots[i] = Slot{static_cast<std::uint32_t>(m_keys.size()), entry};
    if (key.size() < kLongKey) {
        m_keys.push_back(static_cast<char>(key.size()));
    } else {
        const auto length = static_cast<std::uint32_t>(key.size());
        m_keys.push_back(static_cast<char>(kLongKey));
        m_keys.append(reinterpret_cast<const char*>(&length), sizeof length);
    }
    m_keys.append(key);
    ++m_nCount;
    ++m_nUsed;
}

bool CdsPointNameMap::Insert(std::string_view key, int nIndex)
{
    if (nIndex < 0 || Locate(key) < m_slots.size())
        return false;
    Reserve();
    Place(key, static_cast<std::uint32_t>(nIndex) + 1);
    return true;
}

void CdsPointNameMap::Assign(std::string_view key, int nIndex)
{
    const std::size_t slot = Locate(key);
    if (slot >= m_slots.size()) {
        Insert(key, nIndex);
    } else if (nIndex >= 0) {
        m_slots[slot].entry = static_cast<std::uint32_t>(nIndex) + 1;
    } else {
        Remove(slot);
    }
}

void CdsPointNameMap::Remove(std::size_t slot)
{
    // The slot stays taken, so searches that passed it still go on; its text is
    // dropped by the next rebuild.
    m_slots[slot] = Slot{kRemoved, 0};
    --m_nCount;
}

bool CdsPointNameMap::Erase(std::string_view key, int nIndex)
{
    const std::size_t slot = Locate(key);
    if (nIndex < 0 || slot >= m_slots.size() || m_slots[slot].entry != static_cast<std::uint32_t>(nIndex) + 1)
        return false;
    Remove(slot);
    return true;
}

void CdsPointNameMap::EraseAll(int nIndex)
{
    if (nIndex < 0)
        return;
    for (std::size_t i = 0; i < m_slots.size(); ++i)
        if (m_slots[i].entry == static_cast<std::uint32_t>(nIndex) + 1)
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
