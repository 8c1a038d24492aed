#include "kestrun/model/BlockStore.h"

#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryTag.h"
#include "kestrun/shell/ServerFrame.h"

CdsBlockStore::CdsBlockStore(CdsMemoryArray& block, kestrun::HandlerLink* pHdlr, const tagTHREADINFO* pLine)
    : m_block(block), m_pHdlr(pHdlr), m_pLine(pLine), m_lock(block.m_storeMutex),
      m_bSameValue(CdsServerFrame::g_bUpdateSameValue.load(std::memory_order_relaxed) != 0)
{
    std::uint64_t ticks = block.GetDeliveryTime();
    if (!ticks) {
        // Points stored the whole way take the block's delivery time as well.
        CoFileTimeNow(&m_time);
        ticks = com::toTicks(m_time);
        block.SetDeliveryTime(ticks);
        m_bOwnTime = true;
    }
    m_time = com::fileTimeFromTicks(ticks);
    if (block.m_held.size() != block.m_points.size())
        block.m_held.resize(block.m_points.size());
}

CdsBlockStore::~CdsBlockStore()
{
    if (m_bOwnTime)
        m_block.SetDeliveryTime(0);
}

void CdsBlockStore::Store(int nIndex, const _BRISANTDATAVALUE& value)
{
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_block.m_points.size())
        return;
    const auto slot = static_cast<std::size_t>(nIndex);
    CdsMemoryObject* point = m_block.m_points[slot];
    if (!point)
        return;
    CdsHeldCell& held = m_block.m_held[slot];
    // The point holds these very bits from this block's last store, and a store now
    // would not change its quality, send a hint or split bits.
    if (held.pPoint == point && held.plain && held.cell == value.ullVal &&
        held.writes == point->m_nCellWrites.load(std::memory_order_relaxed) &&
        point->m_bTouched.load(std::memory_order_relaxed) && point->HasGoodQuality()) {
        if (!m_bSameValue)
            return;
        if (!point->m_pBitArray.load(std::memory_order_acquire)) {
            if (point->m_pTag)
                point->m_pTag->SetTimestamp(m_time);
            return;
        }
    }
    point->UpdateStateHeld(value, FALSE, m_pHdlr, m_pLine, FALSE, &held);
}
