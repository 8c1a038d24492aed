#include "quillet/forms/Columns.h"

#include "quillet/text/ErrorText.h"
#include "quillet/doc/Item.h"
#include "quillet/text/StringTable.h"

#include "platform/com/Time.h"
#include "platform/win/NumberText.h"

#include <algorithm>
#include <cstdio>

namespace quillet {
namespace {

CColumnSet MakeSet(const StringTable& texts, int width, bool all)
{
    static constexpr int kNormal[] = {COL_ITEMID, COL_SUB_VALUE, COL_SUB_QUALITY, COL_SUB_UPDATES, COL_UPDATE_RATE,
                                      COL_RUN_AVERAGE};
    CColumnSet set;
    for (int id = 0; id < COL_COUNT; ++id) {
        set[id] = {width, all || std::find(std::begin(kNormal), std::end(kNormal), id) != std::end(kNormal), id, id,
                   std::string(texts.Text(IDS_COLUMN_FIRST + UINT(id)))};
    }
    return set;
}

// The value set a column of the three roads shows, and which of its four cells.
ValueRoad RoadOf(int id)
{
    if (id >= COL_SYNC_VALUE) return ValueRoad::SyncRead;
    if (id >= COL_ASYNC_VALUE) return ValueRoad::AsyncRead;
    return ValueRoad::Subscription;
}

} // namespace

CColumnSet NormalColumns(const StringTable& texts) { return MakeSet(texts, 100, false); }
CColumnSet ExpertColumns(const StringTable& texts) { return MakeSet(texts, 90, true); }

std::vector<int> ArrangeColumns(CColumnSet& set)
{
    std::vector<CColumnInfo*> shown;
    for (CColumnInfo& c : set)
        if (c.enabled) shown.push_back(&c);
    std::stable_sort(shown.begin(), shown.end(),
                     [](const CColumnInfo* a, const CColumnInfo* b) { return a->position < b->position; });
    std::vector<int> ids;
    for (CColumnInfo* c : shown) {
        c->position = int(ids.size());
        ids.push_back(c->id);
    }
    return ids;
}

std::string TimeCellText(FILETIME timeStamp)
{
    FILETIME local;
    SYSTEMTIME st;
    if (com::toTicks(timeStamp) == 0 || !com::fileTimeToLocalFileTime(timeStamp, local) ||
        !com::fileTimeToSystemTime(local, st))
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u:%3.3d", unsigned(st.wHour), unsigned(st.wMinute),
                  unsigned(st.wSecond), int(st.wMilliseconds));
    return text;
}

std::string CellText(const StringTable& texts, const CItem& item, int id)
{
    switch (id) {
    case COL_ITEMID: return item.GetItemID();
    case COL_ACCESS_PATH: return item.GetAccessPath();
    case COL_UPDATE_RATE: return std::to_string(int(item.GetLastPeriodCount()));
    case COL_RUN_AVERAGE: return win::FixedText(item.RunAverage());
    case COL_HSERVER: return HexCode(item.GetServerHandle());
    default: break;
    }
    const CValueSet& set = item.Values(RoadOf(id));
    switch ((id - COL_SUB_VALUE) % 4) {
    case 0: return ValueText(texts, set.value ? &*set.value : nullptr);
    case 1: return TimeCellText(set.timeStamp);
    case 2: return QualityText(WORD(set.quality));
    default: return std::to_string(int(set.count));
    }
}

} // namespace quillet
