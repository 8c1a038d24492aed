#pragma once
// The OPC side of a data point: the tag through which OPC clients read the
// point's value, quality and timestamp. Line threads write it and toolkit
// threads read it, so value, quality and time change and are read under the
// tag's own lock. The OPC work extends this class for its toolkit.
#include <atomic>
#include <mutex>
#include <string>

#include "platform/dde/BrisantTypes.h"

class CdsMemoryObject;

class CfsMemoryTag {
public:
    // What a reader gets: a copy of the value that stays valid after the lock.
    struct Snapshot {
        int nType = BRISANT_NOTYPE;   // BRISANT_NOTYPE: no value (VT_EMPTY)
        _BRISANTDATAVALUE value{};    // plain codes only; texts are in strText
        std::string strText;
        WORD wQuality = 0;
        ULONGLONG ftTimestamp = 0;    // FILETIME ticks (100 ns since 1601, UTC)
    };

    explicit CfsMemoryTag(CdsMemoryObject* pPoint);
    virtual ~CfsMemoryTag() = default;
    CfsMemoryTag(const CfsMemoryTag&) = delete;
    CfsMemoryTag& operator=(const CfsMemoryTag&) = delete;

    virtual long AddRef();
    // Never below 0. A tag its point has let go of deletes itself with the last reference.
    virtual long Release();
    long GetUseCount() const { return m_nUseCount.load(); }

    // The point lets go: unbinds and drops its reference; the tag goes when no client holds it.
    void ReleaseFromPoint();
    CdsMemoryObject* GetPoint() const;

    // Set once, while the tag has no canonical type yet.
    void SetCanonicalType(int nDataType);
    int GetCanonicalType() const;
    void SetAccessRights(WORD wRights);  // 1 readable, 2 writable
    WORD GetAccessRights() const;

    void SetQuality(WORD wQuality);
    // Replaces value and timestamp in one step; texts are copied, arrays not kept.
    void UpdateValue(int nType, const _BRISANTDATAVALUE& value, ULONGLONG ftNow);
    Snapshot Read() const;

private:
    mutable std::mutex m_mutex;
    CdsMemoryObject* m_pPoint;
    std::atomic<long> m_nUseCount{0};
    int m_nCanonicalType = BRISANT_NOTYPE;
    WORD m_wAccessRights = 0;
    Snapshot m_state;
};
