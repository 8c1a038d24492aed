#include "quillet/doc/Item.h"

#include "quillet/doc/LogCategory.h"
#include "quillet/doc/QuilletDoc.h"

#include "platform/win/Clock.h"

CItem::CItem(CQuilletDoc& doc) : CItem(&doc, doc.Clock()) {}

CItem::CItem(CQuilletDoc* doc, const win::Clock& clock) : m_pDoc(doc), m_clock(clock)
{
    if (m_pDoc) m_hClient = m_pDoc->Handles().Add(this);
}

CItem::CItem(const CItem& other)
    : m_bNewEntry(other.m_bNewEntry)
    , m_bAttributesChanged(FALSE)
    , m_bRowNeedsRefresh(other.m_bRowNeedsRefresh)
    , m_bChanged(other.m_bChanged)
    , m_pDoc(other.m_pDoc)
    , m_clock(other.m_clock)
    , m_strItemID(other.m_strItemID)
    , m_strAccessPath(other.m_strAccessPath)
    , m_vtRequested(other.m_vtRequested)
    , m_vtCanonical(other.m_vtCanonical)
    , m_bActive(other.m_bActive)
    , m_dwAccessRights(other.m_dwAccessRights)
    , m_hServer(other.m_hServer)
    , m_nRow(other.m_nRow)
    , m_sets{other.m_sets[0], other.m_sets[1], other.m_sets[2]}
    , m_firstUpdateMs(other.m_firstUpdateMs)
    , m_nUpdatesSinceRefresh(other.m_nUpdatesSinceRefresh)
    , m_nLastPeriodCount(other.m_nUpdatesSinceRefresh)
{
    if (m_pDoc) m_hClient = m_pDoc->Handles().Add(this);
}

CItem::~CItem()
{
    if (m_pDoc && m_hClient) m_pDoc->Handles().Remove(m_hClient);
}

void CItem::SetAccessPath(std::string path)
{
    m_strAccessPath = std::move(path);
    m_bNewEntry = TRUE;
}

void CItem::SetActive(BOOL active)
{
    if (active != m_bActive) m_bAttributesChanged = TRUE;
    m_bActive = active;
}

void CItem::SetAccessRights(DWORD rights)
{
    if (rights != m_dwAccessRights) m_bAttributesChanged = TRUE;
    m_dwAccessRights = rights;
}

const CValueSet& CItem::Values(ValueRoad road) const { return m_sets[int(road)]; }
CValueSet& CItem::Values(ValueRoad road) { return m_sets[int(road)]; }

void CItem::TakeValue(VARIANT value, std::optional<FILETIME> timeStamp, WORD quality, ValueRoad road)
{
    CValueSet& set = Values(road);
    ++set.count;
    set.received = TRUE;
    set.value = std::move(value);
    set.valueChanged = TRUE;
    if (road == ValueRoad::Subscription) {
        if (!m_firstUpdateMs) m_firstUpdateMs = m_clock.monotonicMs();
        ++m_nUpdatesSinceRefresh;
        if (!m_bActive) ItemLog(quillet::LOG_ITEM_INACTIVE_UPDATE, {});
        m_bChanged = TRUE;
    } else if (road == ValueRoad::AsyncRead) {
        ItemLog(quillet::LOG_ASYNC_READ_COMPLETE, {});
    }
    if (quality != set.quality) {
        set.quality = quality;
        set.qualityChanged = TRUE;
    }
    if (timeStamp) {
        set.timeStamp = *timeStamp;
        set.timeChanged = TRUE;
    }
}

void CItem::SetQualityOfAllRoads(WORD quality)
{
    for (CValueSet& set : m_sets) {
        set.quality = quality;
        set.qualityChanged = TRUE;
    }
    m_bChanged = TRUE;
}

double CItem::RunAverage() const
{
    if (!m_firstUpdateMs) return 0;
    return quillet::UpdatesPerSecond(Values(ValueRoad::Subscription).count, m_clock.monotonicMs() - *m_firstUpdateMs);
}

void CItem::ResetRunAverage()
{
    Values(ValueRoad::Subscription).count = 0;
    m_firstUpdateMs.reset();
}

void CItem::RefreshPeriod()
{
    m_nLastPeriodCount = m_nUpdatesSinceRefresh;
    m_nUpdatesSinceRefresh = 0;
}

void CItem::ItemLog(DWORD category, std::string_view text) const
{
    if (!m_pDoc) return;
    std::string line(text);
    line += " - (Item) ";
    line += m_strItemID;
    m_pDoc->WriteLog(category, line);
}
