#pragma once
// A block's name map: key name to the index of its point in the block. A plant has
// a key per point, so the keys live back to back in one text and the table is one
// array of 8-byte slots (open addressing), not a node and a string per key.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CdsPointNameMap {
public:
    // The index the key leads to, or -1.
    int Find(std::string_view key) const;
    bool Contains(std::string_view key) const { return Find(key) >= 0; }
    // Adds the key for an index (0 or above); false (and nothing added) when it is taken.
    bool Insert(std::string_view key, int nIndex);
    // The key leads to the index, whatever it led to before.
    void Assign(std::string_view key, int nIndex);
    // Removes the key when it leads to the index; false otherwise.
    bool Erase(std::string_view key, int nIndex);
    // Removes every key that leads to the index.
    void EraseAll(int nIndex);
    void Clear();
    std::size_t Size() const { return m_nCount; }

private:
    struct Slot {
        std::uint32_t at = 0;       // the key's length, then its characters, start there in m_keys
        std::uint32_t entry = 0;    // the index + 1; 0: free, or removed when at is kRemoved
        bool IsFree() const { return entry == 0 && at != kRemoved; }
    };
    static constexpr std::uint32_t kRemoved = 0xFFFFFFFF;

    std::string_view KeyOf(const Slot& slot) const { return KeyAt(m_keys, slot.at); }
    static std::string_view KeyAt(const std::string& keys, std::uint32_t at);
    // The slot holding the key, or the end.
    std::size_t Locate(std::string_view key) const;
    // Makes room for one more key (growing, or dropping removed slots and their text).
    void Reserve();
    void Place(std::string_view key, std::uint32_t entry);
    void Remove(std::size_t slot);

    std::string m_keys;
    std::vector<Slot> m_slots;      // empty, or a power of two
    std::uint32_t m_nCount = 0;     // keys held
    std::uint32_t m_nUsed = 0;      // slots taken, removed ones included
};
