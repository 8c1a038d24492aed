#pragma once
// The test set-up document: a comma-separated text with one server record, then each
// group's record followed by its items' records, lines ended by CR LF. These are the
// records as values, and the text they are written to and read from; connecting and
// adding them to a server is the application's.
#include "platform/com/Guid.h"
#include "platform/com/Variant.h"
#include "platform/win/WinTypes.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quillet {

// Group indexes and the group count of a file stop here: a damaged number cannot make
// the loader reserve or index without bound.
inline constexpr long kMaxSetupGroups = 10000;

// Record 1.
struct SetupServer {
    std::string progId;
    std::string node;  // empty: this machine
    long groupCount = 0;
    // The group view's MMI settings (only-displayed-group-active, enabled, seconds),
    // the log mask and the log file; a file without the first leaves all three out.
    std::optional<std::array<long, 3>> mmi;
    std::optional<DWORD> logMask;
    std::optional<std::string> logFile;
    CLSID clsid{};  // null: look the ProgID up
};

// Record 2.
struct SetupGroup {
    long index = 0;
    std::string name;
    DWORD updateRate = 1000;
    LONG timeBias = 0;
    FLOAT deadband = 0;
    BOOL timeStamps = FALSE;
    BOOL active = FALSE;
    DWORD adviseMode = 0;
    BOOL allowTimeOut = FALSE;
    DWORD itemCount = 0;  // written only
};

// Record 3.
struct SetupItem {
    long group = 0;
    std::string accessPath;
    std::string itemId;
    BOOL active = TRUE;
    VARTYPE dataType = 0;
};

using SetupRecord = std::variant<SetupServer, SetupGroup, SetupItem>;

// The records of a file in file order. Blank lines, records of other types, a server
// record without a ProgID and group records whose index lies outside
// 0..kMaxSetupGroups-1 are left out; numbers that do not parse read as 0.
std::vector<SetupRecord> ParseSetupFile(std::string_view text);

// One record as a line with its CR LF.
std::string SetupLine(const SetupRecord& record);

} // namespace quillet
