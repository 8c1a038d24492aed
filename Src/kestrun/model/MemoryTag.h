#pragma once
// The OPC side of a data point: the tag through which OPC clients read the
// point's value, quality and timestamp. Line threads write it and toolkit
// threads read it, so value, quality and time change and are read under the
// tag's own lock. The OPC work builds its toolkit tag on this class.
#include <atomic>
#include <mutex>

#include "platform/com/Time.h"
#include "platform/com/Variant.h"
#include "platform/dde/BrisantTypes.h"

class CdsMemoryObject;

class CfsMemoryTag {
public:
    // What a reader gets: copies that stay valid after the lock.
    struct Snapshot {
        VARIANT value;
        WORD wQuality = 0;
        FILETIME ftTimestamp;
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

    // Set once, while the tag's canonical type is still VT_EMPTY.
    void SetCanonicalType(VARTYPE vt);
    VARTYPE GetCanonicalType() const;
    void SetAccessRights(WORD wRights);  // 1 readable, 2 writable
    WORD GetAccessRights() const;

    void SetQuality(WORD wQuality);
    // Replaces value and timestamp in one step.
    void UpdateValue(VARIANT&& value, FILETIME ftNow);
    Snapshot Read() const;

private:
    mutable std::mutex m_mutex;
    CdsMemoryObject* m_pPoint;
    std::atomic<long> m_nUseCount{0};
    VARTYPE m_vtCanonical = VT_EMPTY;
    WORD m_wAccessRights = 0;
    Snapshot m_state;
};

// The OPC type a data type is served as (VT_EMPTY for codes without one).
VARTYPE GetCanonicalVarType(int nType);
// A plain or text value as the tag serves it; arrays and empty counted texts give VT_EMPTY.
void DataValueToVariant(int nType, const _BRISANTDATAVALUE& value, VARIANT& out);
