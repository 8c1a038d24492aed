#pragma once
// The log view's reading of view hints: which kind a hint code is logged with
// and its text, and the value texts used in those lines.
#include <optional>
#include <string>

#include "kestrun/shell/server/LogText.h"
#include "platform/dde/BrisantTypes.h"

class CdsHint;

namespace kestrun {

// The DDE action's name, or null outside 0 to 31.
const char* GetActionName(int nAction);

// A value of a data type as the hint lines show it.
std::string GetValueString(const _BRISANTDATAVALUE& value, int nDataType);
// The value of a DDE action record.
std::string GetValueString(const _BRISANT_DATAACTION* pAction);

struct HintLine {
    int nKind;
    std::string text;
};

// The line a hint code is logged with; nothing when the code is not logged or
// its filter is off. A code whose text needs the record but comes without one
// keeps the text formed before the record was needed.
std::optional<HintLine> FormatHintLine(int nCode, const CdsHint* pHint, const LogFilters& filters);

} // namespace kestrun
