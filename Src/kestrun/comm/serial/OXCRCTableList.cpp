#include "kestrun/comm/serial/OXCRCTableList.h"

COXCRCTableList::~COXCRCTableList()
{
    // Unlink one node at a time so a long list never recurses deeply.
    while (m_pHead)
        m_pHead = std::move(m_pHead->m_pNext);
}

const DWORD* COXCRCTableList::GetTable(DWORD polynomial)
{
    const DWORD key = m_width == EWidth::Bits16 ? (polynomial & 0xFFFF) : polynomial;
    std::lock_guard lock(m_mutex);
    std::unique_ptr<CTableList>* link = &m_pHead;
    while (*link) {
        if ((*link)->m_polynomial == key)
            return (*link)->m_table;
        link = &(*link)->m_pNext;
    }
    auto node = std::make_unique<CTableList>();
    CreateTable(*node, key);
    *link = std::move(node);
    return (*link)->m_table;
}

std::size_t COXCRCTableList::GetCount() const
{
    std::lock_guard lock(m_mutex);
    std::size_t count = 0;
    for (const CTableList* node = m_pHead.get(); node; node = node->m_pNext.get())
        ++count;
    return count;
}

void COXCRCTableList::CreateTable(CTableList& node, DWORD polynomial) const
{
    node.m_polynomial = polynomial;
    for (DWORD i = 0; i < 256; ++i) {
        DWORD value;
        if (m_width == EWidth::Bits16) {
            value = i << 8;
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 0x8000) ? (value << 1) ^ polynomial : value << 1;
            value &= 0xFFFF;
        } else {
            value = i;
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 1) ? (value >> 1) ^ polynomial : value >> 1;
        }
        node.m_table[i] = value;
    }
}
