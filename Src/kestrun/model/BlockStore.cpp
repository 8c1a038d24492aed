#include "kestrun/model/BlockStore.h"

#include <algorithm>

#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryTag.h"
#include "kestrun/options/ServerOptions.h"

CdsBlockStore::CdsBlockStore(CdsMemoryArray& block, kestrun::HandlerLink* pHdlr, const tagTHREADINFO* pLine)
    : m_block(block), m_pHdlr(pHdlr), m_pLine(pLine), m_lock(block.m_storeMutex),
      m_bSameValue(CdsServerOptions::g_bUpdateSameValue.load(std::memory_order_relaxed) != 0)
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
    m_nChangesAtStart = block.m_nPointChanges.load(std::memory_order_acquire);
    m_bTrusted = block.m_bClean && block.m_nCleanAt == m_nChangesAtStart;
    if (block.m_held.size() != block.m_points.size()) {
        block.m_held.resize(block.m_points.size());
        m_bTrusted = false;
    }
    if (!m_bTrusted)
        m_nPoints = static_cast<std::size_t>(
            std::count_if(block.m_points.begin(), block.m_points.end(), [](const CdsMemoryObject* p) { return p; }));
}

CdsBlockStore::~CdsBlockStore()
{
    // Clean: no point was stored, and the check saw every point (now or in an
    // earlier store) with nothing changed since.
    m_block.m_bClean = !m_bStored && (m_bTrusted || m_nVerified == m_nPoints) &&
                       m_block.m_nPointChanges.load(std::memory_order_acquire) == m_nChangesAtStart;
    m_block.m_nCleanAt = m_nChangesAtStart;
    if (m_bOwnTime)
        m_block.SetDeliveryTime(0);
}

inline void CdsBlockStore::Prefetch(const CdsMemoryObject* point)
{
    __builtin_prefetch(&point->m_nCellWrites);
    __builtin_prefetch(&point->m_pBitArray);
}

inline bool CdsBlockStore::StoreUnchanged(CdsMemoryObject* point, const CdsHeldCell& held,
                                          const _BRISANTDATAVALUE& value) const
{
    // The point holds these very bits from this block's last store, and a store now
    // would not change its quality, send a hint or split bits.
    if (held.pPoint != point || !held.plain || held.cell != value.ullVal ||
        held.writes != point->m_nCellWrites.load(std::memory_order_relaxed) ||
        !point->m_bTouched.load(std::memory_order_relaxed) || !point->HasGoodQuality())
        return false;
    if (!m_bSameValue)
        return true;
    if (point->m_pBitArray.load(std::memory_order_acquire))
        return false;
    if (point->m_pTag)
        point->m_pTag->SetTimestamp(m_time);
    return true;
}

inline void CdsBlockStore::StoreAt(std::size_t slot, CdsMemoryObject* point, const _BRISANTDATAVALUE& value)
{
    CdsHeldCell& held = m_block.m_held[slot];
    if (m_bTrusted) {
        // Nothing of the block's points changed since a store checked them all.
        if (held.pPoint == point && held.cell == value.ullVal) {
            if (!m_bSameValue)
                return;
            if (!held.bits) {
                if (held.pTag)
                    held.pTag->SetTimestamp(m_time);
                return;
            }
        }
    } else if (StoreUnchanged(point, held, value)) {
        held.bits = point->m_pBitArray.load(std::memory_order_acquire) != nullptr;
        held.pTag = point->m_pTag;
        ++m_nVerified;
        return;
    }
    m_bStored = true;
    point->UpdateStateHeld(value, FALSE, m_pHdlr, m_pLine, FALSE, &held);
}

void CdsBlockStore::Store(int nIndex, const _BRISANTDATAVALUE& value)
{
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_block.m_points.size())
        return;
    const auto slot = static_cast<std::size_t>(nIndex);
    if (CdsMemoryObject* point = m_block.m_points[slot])
        StoreAt(slot, point, value);
}

void CdsBlockStore::StoreRun(int nFirst, const _BRISANTDATAVALUE* pValues, int nCount)
{
    if (nFirst < 0 || nCount <= 0 || !pValues)
        return;
    const std::size_t size = m_block.m_points.size();
    const auto first = static_cast<std::size_t>(nFirst);
    if (first >= size)
        return;
    const std::size_t end = std::min(size, first + static_cast<std::size_t>(nCount));
    CdsMemoryObject* const* points = m_block.m_points.data();
    // The points and their tags lie apart on the heap: their lines are asked for a
    // few points ahead, so that the checks rarely wait for memory.
    constexpr std::size_t kAhead = 16;
    if (m_bTrusted) {
        // Only the held cells and, for "Update Same Value", the tags are reached. The
        // loop keeps what it reads each time in registers: a tag's time is a store the
        // compiler cannot tell apart from the block's own fields.
        const CdsHeldCell* held = m_block.m_held.data();
        const bool sameValue = m_bSameValue;
        const FILETIME time = m_time;
        for (std::size_t slot = first; slot < end; ++slot) {
            if (sameValue && slot + kAhead < end)
                if (CfsMemoryTag* tag = held[slot + kAhead].pTag)
                    __builtin_prefetch(tag, 1);
            CdsMemoryObject* point = points[slot];
            if (!point)
                continue;
            const _BRISANTDATAVALUE& value = pValues[slot - first];
            const CdsHeldCell& cell = held[slot];
            if (cell.pPoint == point && cell.cell == value.ullVal) {
                if (!sameValue)
                    continue;
                if (!cell.bits) {
                    if (cell.pTag)
                        cell.pTag->SetTimestamp(time);
                    continue;
                }
            }
            StoreAt(slot, point, value);
            held = m_block.m_held.data();
        }
        return;
    }
    for (std::size_t slot = first; slot < std::min(end, first + kAhead); ++slot)
        if (CdsMemoryObject* point = points[slot])
            Prefetch(point);
    for (std::size_t slot = first; slot < end; ++slot) {
        if (slot + kAhead < end)
            if (CdsMemoryObject* ahead = points[slot + kAhead])
                Prefetch(ahead);
        if (slot + kAhead / 2 < end)
            if (CdsMemoryObject* ahead = points[slot + kAhead / 2])
                if (CfsMemoryTag* tag = ahead->m_pTag)
                    __builtin_prefetch(tag, 1);
        if (CdsMemoryObject* point = points[slot])
            StoreAt(slot, point, pValues[slot - first]);
    }
}
