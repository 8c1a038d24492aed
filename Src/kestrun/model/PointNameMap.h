#pragma once
// A block's name map: key name to point. A plant has a key per point, so the keys
// live back to back in one text and the table is one array of small slots (open
// addressing), not a node and a string per key.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CdsMemoryObject;

class CdsPointNameMap {
public:
    // The point the key leads to, or null.
    CdsMemoryObject* Find(std::string_view key) const;
    bool Contains(std::string_view key) const { return Find(key) != nullptr; }
    // Adds the key; false (and nothing added) when it is taken.
    bool Insert(std::string_view key, CdsMemoryObject* pPoint);
    // The key leads to the point, whatever it led to before.
    void Assign(std::string_view key, CdsMemoryObject* pPoint);
    // Removes the key when it leads to the point; false otherwise.
    bool Erase(std::string_view key, const CdsMemoryObject* pPoint);
    // Removes every key that leads to the point.
    void EraseAll(const CdsMemoryObject* pPoint);
    void Clear();
    std::size_t Size() const { return m_nCount; }

private:
    struct Slot {
        std::uint32_t at = 0;       // the key is m_keys' characters at .. at + length
        std::uint32_t length = 0;
        CdsMemoryObject* pPoint = nullptr;   // null: free, or removed when `removed`
        bool IsFree() const { return !pPoint && length == 0 && at == 0; }
    };
    static constexpr std::uint32_t kRemoved = 0xFFFFFFFF;   // `at` of a removed slot

    std::string_view KeyOf(const Slot& slot) const { return std::string_view(m_keys).substr(slot.at, slot.length); }
    // The slot holding the key, or the end.
    std::size_t Locate(std::string_view key) const;
    // Makes room for one more key (growing, or dropping removed slots and their text).
    void Reserve();
    void Place(std::string_view key, CdsMemoryObject* pPoint);
    void Remove(std::size_t slot);

    std::string m_keys;
    std::vector<Slot> m_slots;      // empty, or a power of two
    std::uint32_t m_nCount = 0;     // keys held
    std::uint32_t m_nUsed = 0;      // slots taken, removed ones included
};
