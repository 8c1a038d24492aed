#pragma once
// Stores the values of one read of a block into its points. A number whose bits equal
// what its point holds from the block's own last store into it, with nothing else
// written to the point since and its quality good, passes the point's locks: with
// "Update Same Value" off it changes nothing, with it on only the point's OPC tag
// takes the read's time. Every other value takes the point's whole store
// (UpdateState), hints and bits included.
// While nothing of the block's points changed since a store found them all
// unchanged (the block counts such changes), the values alone are compared.
// The read's points share one timestamp: the block's delivery time, or the time the
// store began when none is set.
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "kestrun/model/MemoryObject.h"
#include "platform/com/Time.h"
#include "platform/dde/BrisantTypes.h"

class CdsMemoryArray;
struct tagTHREADINFO;
namespace kestrun {
class HandlerLink;
}

class CdsBlockStore {
public:
    // Holds the block's store lock until the store ends (lines reading one block at
    // once deliver one after the other).
    CdsBlockStore(CdsMemoryArray& block, kestrun::HandlerLink* pHdlr, const tagTHREADINFO* pLine);
    ~CdsBlockStore();
    CdsBlockStore(const CdsBlockStore&) = delete;
    CdsBlockStore& operator=(const CdsBlockStore&) = delete;

    // A value read for the point at nIndex; nothing for an index without a point.
    void Store(int nIndex, const _BRISANTDATAVALUE& value);
    // Values for the points nFirst .. nFirst + nCount - 1: the same as storing each in
    // turn, in one pass over the block.
    void StoreRun(int nFirst, const _BRISANTDATAVALUE* pValues, int nCount);

private:
    // Asks for the lines of the members the fast check reads (side by side, perhaps
    // across two lines).
    static inline void Prefetch(const CdsMemoryObject* point);
    // True when the value needs nothing beyond what the fast check did.
    inline void StoreAt(std::size_t slot, CdsMemoryObject* point, const _BRISANTDATAVALUE& value);
    inline bool StoreUnchanged(CdsMemoryObject* point, const CdsHeldCell& held, const _BRISANTDATAVALUE& value) const;

    CdsMemoryArray& m_block;
    kestrun::HandlerLink* m_pHdlr;
    const tagTHREADINFO* m_pLine;
    std::unique_lock<std::mutex> m_lock;
    bool m_bSameValue;
    bool m_bOwnTime = false;   // the store set the block's delivery time
    FILETIME m_time{};
    // The block's change count when the store began, and whether a store that
    // checked all its points left it clean at that count: values are then compared alone.
    std::uint64_t m_nChangesAtStart = 0;
    bool m_bTrusted = false;
    bool m_bStored = false;        // a value took a point's whole store
    std::size_t m_nPoints = 0;     // the block's points, when not trusted
    std::size_t m_nVerified = 0;   // points the check found unchanged
};
