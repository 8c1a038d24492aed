#pragma once
// One OPC item of a group as the test client sees it: what it asked for, what the
// server answered, and one value set per road by which values arrive, so the item
// view can show the roads side by side. Used on the application thread only.
#include "platform/opc/OpcTypes.h"

#include <cstdint>
#include <optional>
#include <string>

class CQuilletDoc;
namespace win { class Clock; }
namespace quillet { class StringTable; }

// The roads by which a value reaches an item.
enum class ValueRoad { Subscription, AsyncRead, SyncRead };

// What one road last delivered. Every flag starts set so a new row is drawn whole.
struct CValueSet {
    std::optional<VARIANT> value;  // none until the first value
    BOOL valueChanged = TRUE;
    WORD quality = OPC_QUALITY_UNCERTAIN;
    BOOL qualityChanged = TRUE;
    FILETIME timeStamp{};
    BOOL timeChanged = TRUE;
    BOOL received = TRUE;
    DWORD count = 0;
};

class CItem {
public:
    // Items of a document get a client handle of its table; an item without a
    // document (the "Updates / Second" item) has none and logs nothing.
    explicit CItem(CQuilletDoc& doc);
    CItem(CQuilletDoc* doc, const win::Clock& clock);
    // A deep copy under a new client handle (the change-handles command).
    CItem(const CItem& other);
    CItem& operator=(const CItem&) = delete;
    ~CItem();

    OPCHANDLE GetClientHandle() const { return m_hClient; }
    CQuilletDoc* GetDocument() const { return m_pDoc; }

    const std::string& GetItemID() const { return m_strItemID; }
    void SetItemID(std::string id) { m_strItemID = std::move(id); }
    const std::string& GetAccessPath() const { return m_strAccessPath; }
    void SetAccessPath(std::string path);
    VARTYPE GetRequestedType() const { return m_vtRequested; }
    void SetRequestedType(VARTYPE vt) { m_vtRequested = vt; }
    VARTYPE GetCanonicalType() const { return m_vtCanonical; }
    void SetCanonicalType(VARTYPE vt) { m_vtCanonical = vt; }
    BOOL IsActive() const { return m_bActive; }
    void SetActive(BOOL active);
    DWORD GetAccessRights() const { return m_dwAccessRights; }
    void SetAccessRights(DWORD rights);
    OPCHANDLE GetServerHandle() const { return m_hServer; }
    void SetServerHandle(OPCHANDLE h) { m_hServer = h; }
    int GetRow() const { return m_nRow; }
    void SetRow(int row) { m_nRow = row; }

    BOOL m_bNewEntry = TRUE;
    BOOL m_bAttributesChanged = FALSE;
    BOOL m_bRowNeedsRefresh = TRUE;
    BOOL m_bChanged = TRUE;

    const CValueSet& Values(ValueRoad road) const;
    CValueSet& Values(ValueRoad road);

    // Stores a value that arrived by road; timeStamp is given only by roads that
    // carry one.
    void TakeValue(VARIANT value, std::optional<FILETIME> timeStamp, WORD quality, ValueRoad road);
    // Sets the quality of every road (a lost or shut-down server).
    void SetQualityOfAllRoads(WORD quality);

    // Subscription updates per second since the first one; 0 before it.
    double RunAverage() const;
    void ResetRunAverage();
    // The last-period count takes the updates since the last refresh.
    void RefreshPeriod();
    DWORD GetUpdatesSinceRefresh() const { return m_nUpdatesSinceRefresh; }
    DWORD GetLastPeriodCount() const { return m_nLastPeriodCount; }

    // Appends " - (Item) <item id>" and logs through the document.
    void ItemLog(DWORD category, std::string_view text) const;

private:
    CQuilletDoc* m_pDoc;
    const win::Clock& m_clock;
    OPCHANDLE m_hClient = 0;
    std::string m_strItemID;
    std::string m_strAccessPath;
    VARTYPE m_vtRequested = VT_EMPTY;
    VARTYPE m_vtCanonical = VT_EMPTY;
    BOOL m_bActive = TRUE;
    DWORD m_dwAccessRights = 0;
    OPCHANDLE m_hServer = 0;
    int m_nRow = -1;
    CValueSet m_sets[3];
    std::optional<std::uint64_t> m_firstUpdateMs;  // monotonic ms of the first subscription update
    DWORD m_nUpdatesSinceRefresh = 0;
    DWORD m_nLastPeriodCount = 0;
};

namespace quillet {

// Display texts of a value, a quality word and access rights.
std::string ValueText(const StringTable& texts, const VARIANT* value);
std::string QualityText(WORD quality);
std::string AccessRightsText(DWORD rights);
// Milliseconds since the start of the first day of the time stamp's month (UTC);
// 0 when it cannot be converted.
std::int64_t TimeOfDayMs(FILETIME timeStamp);
// Updates per second: count over the milliseconds since start, in 64 bits; 0 when no
// time has passed.
double UpdatesPerSecond(std::uint64_t count, std::uint64_t elapsedMs);

} // namespace quillet
