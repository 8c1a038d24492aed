#pragma once
// CRC tables shared by every checksum object of the same polynomial.
#include "platform/win/WinTypes.h"

#include <cstddef>
#include <memory>
#include <mutex>

class COXCRCTableList {
public:
    enum class EWidth { Bits16, Bits32 };

    // One table: 256 entries for one polynomial. Entries of 16-bit tables use the
    // low half.
    struct CTableList {
        DWORD m_table[256];
        DWORD m_polynomial;
        std::unique_ptr<CTableList> m_pNext;
    };

    constexpr explicit COXCRCTableList(EWidth width) : m_width(width) {}
    ~COXCRCTableList();
    COXCRCTableList(const COXCRCTableList&) = delete;
    COXCRCTableList& operator=(const COXCRCTableList&) = delete;

    // The table of the polynomial (compared at the list's width), built and appended
    // on first use. Tables stay until the program ends, so the pointer stays valid.
    const DWORD* GetTable(DWORD polynomial);
    std::size_t GetCount() const;

private:
    void CreateTable(CTableList& node, DWORD polynomial) const;

    EWidth m_width;
    mutable std::mutex m_mutex; // leaf: guards the list
    std::unique_ptr<CTableList> m_pHead;
};
