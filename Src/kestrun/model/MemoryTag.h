#pragma once
// The OPC side of a data point: the toolkit tag through which OPC clients read the
// point's value, quality and timestamp. Line threads write it and toolkit threads
// read it, so value, quality and time change and are read under the tag's lock.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/com/Time.h"
#include "platform/com/Variant.h"
#include "platform/dde/BrisantTypes.h"
#include "platform/opc/server/Tag.h"

class CdsMemoryObject;

class CfsMemoryTag : public CTag {
public:
    // What a reader gets: copies that stay valid after the lock.
    struct Snapshot {
        VARIANT value;
        WORD wQuality = 0;
        FILETIME ftTimestamp;
    };

    explicit CfsMemoryTag(CdsMemoryObject* pPoint);
    ~CfsMemoryTag() override = default;

    LONG AddRef() override;
    // Never below 0. A tag its point has let go of deletes itself with the last
    // reference, unless the browse tree still lists it.
    LONG Release() override;
    long GetUseCount() const { return m_nUseCount.load(); }

    // The point lets go: unbinds and drops its reference; the tag goes when no
    // client holds it and no browse tree lists it.
    void ReleaseFromPoint();
    CdsMemoryObject* GetPoint() const;
    // Clears the tag's side of the binding (the point keeps its pointer).
    void Unbind();

protected:
    // The point's own reference is not a client's.
    bool HeldByClientLocked() const override
    {
        return m_nUseCount.load(std::memory_order_relaxed) > (m_pPoint ? 1 : 0);
    }

public:

    // A browse tree lists the tag: it stays allocated, bound or not, until the
    // tree lets go. Not a client reference: the use count is untouched.
    void AddTreeRef();
    void ReleaseTreeRef();

    // Set once, while the tag's canonical type is still VT_EMPTY.
    void SetCanonicalType(VARTYPE vt);
    VARTYPE GetCanonicalType() const;
    void SetAccessRights(WORD wRights);  // 1 readable, 2 writable
    WORD GetAccessRights() const;

    void SetQuality(WORD wQuality);
    // Replaces value and timestamp in one step.
    void UpdateValue(VARIANT&& value, FILETIME ftNow);
    // The same from a point's cell of that data type (as DataValueToVariant gives it).
    void UpdateValue(int nType, const _BRISANTDATAVALUE& value, FILETIME ftNow);
    Snapshot Read() const;

    // Names shown to clients: the leaf name and the full item id.
    void SetNames(const std::string& strShortName, const std::string& strItemId);
    // Leaf name and item id under a branch whose path (with its trailing '.') is given.
    void SetNamesFromBranch(const std::string& strBranchPath, const std::string& strLeaf);
    std::string GetShortName() const;
    std::string GetItemId() const;
    // The bound point's key name; empty when unbound.
    std::string GetKeyName() const;

private:
    // Deletes the tag when nothing holds it any more; call without the lock.
    void DeleteIfUnheld(bool unheld);
    bool IsUnheldLocked() const;

    // Names in one text: the item id, then the short name unless it ends the item id.
    void StoreNamesLocked(const std::string& strShortName, std::string&& strItemId);

    // What only a browsed or named tag has: made when a browse tree lists the tag or
    // names are set, so the tags of points no client looked at stay small.
    struct Names {
        std::string text;               // the item id, then the short name unless it ends the item id
        std::uint32_t itemLength = 0;   // the item id is text's first itemLength characters
        std::uint32_t shortAt = 0;      // the short name runs from here to the end
        int treeRefs = 0;
    };
    Names& NamesLocked();

    CdsMemoryObject* m_pPoint;
    std::unique_ptr<Names> m_pNames;   // guarded by the tag's lock
};

// The OPC type a data type is served as (VT_EMPTY for codes without one).
VARTYPE GetCanonicalVarType(int nType);
// A point made or reached outside the browse tree gives its tag its own type
// and its block's client access rights. Nothing for a point without a tag.
void ApplyPointTagType(CdsMemoryObject* pPoint);
// A plain or text value as the tag serves it; arrays and empty counted texts give VT_EMPTY.
void DataValueToVariant(int nType, const _BRISANTDATAVALUE& value, VARIANT& out);
