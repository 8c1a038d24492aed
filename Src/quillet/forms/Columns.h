#pragma once
// The item view's columns: one descriptor per column id, in a normal and an expert
// set, and the text of a cell. The select-columns dialog edits a set in place.
#include "platform/com/Time.h"
#include "platform/win/WinTypes.h"

#include <array>
#include <string>
#include <vector>

class CItem;

namespace quillet {

class StringTable;

enum ColumnId : int {
    COL_ITEMID, COL_ACCESS_PATH,
    COL_SUB_VALUE, COL_SUB_TIME, COL_SUB_QUALITY, COL_SUB_UPDATES,
    COL_ASYNC_VALUE, COL_ASYNC_TIME, COL_ASYNC_QUALITY, COL_ASYNC_UPDATES,
    COL_SYNC_VALUE, COL_SYNC_TIME, COL_SYNC_QUALITY, COL_SYNC_UPDATES,
    COL_UPDATE_RATE, COL_RUN_AVERAGE, COL_HSERVER,
    COL_COUNT
};

} // namespace quillet

struct CColumnInfo {
    int width = 100;
    bool enabled = false;
    int position = 0;  // the list column while shown
    int id = 0;
    std::string title;
};

using CColumnSet = std::array<CColumnInfo, quillet::COL_COUNT>;

namespace quillet {

// Width 100, only ItemID, Sub Value, Sub Quality, Sub Updates, Update Rate and Run. Avg.
CColumnSet NormalColumns(const StringTable& texts);
// Width 90, every column.
CColumnSet ExpertColumns(const StringTable& texts);

// The enabled columns in the order of their positions (ties by id), renumbered from
// 0: the ids shown, left to right.
std::vector<int> ArrangeColumns(CColumnSet& set);

// The text of an item's cell.
std::string CellText(const StringTable& texts, const CItem& item, int columnId);
// "%H:%M:%S:" and the milliseconds in three digits, local time; empty for no time.
std::string TimeCellText(FILETIME timeStamp);

} // namespace quillet
