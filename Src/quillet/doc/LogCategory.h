#pragma once
// Log categories of a connection: one bit per kind of message. The document's mask
// decides which are kept; each has a label that stands before the message.
#include "platform/win/WinTypes.h"

#include <ctime>
#include <span>
#include <string>

namespace quillet {

class StringTable;

enum LogCategory : DWORD {
    LOG_NONE = 0,
    LOG_ITEM_ADD = 0x1,
    LOG_ITEM_REMOVE = 0x2,
    LOG_ITEM_ERROR = 0x4,
    LOG_ITEM_INACTIVE_UPDATE = 0x8,
    LOG_GROUP_ADD = 0x10,
    LOG_GROUP_REMOVE = 0x20,
    LOG_GROUP_ERROR = 0x40,
    LOG_SYNC_WRITE = 0x100,
    LOG_SYNC_READ = 0x200,
    LOG_ASYNC_REFRESH = 0x400,
    LOG_ASYNC_WRITE = 0x800,
    LOG_ASYNC_READ = 0x1000,
    LOG_ASYNC_CANCEL = 0x2000,
    LOG_TRANSACTION_TIMEOUT = 0x4000,
    LOG_SERVER = 0x10000,
    LOG_SUBSCRIPTION = 0x100000,
    LOG_ASYNC_READ_COMPLETE = 0x200000,
    LOG_WRITE_COMPLETE = 0x400000,
    LOG_TRANSACTION_COMPLETE = 0x800000,
    LOG_RUN_AVERAGE = 0x1000000,
};

// Every category but "Subscription Update".
inline constexpr DWORD kDefaultLogMask = 0x1E17F7F;

// The categories that have a label, in the order of their label ids.
std::span<const DWORD> LabelledCategories();

// One kept message.
struct CLogEntry {
    DWORD category = LOG_NONE;
    std::time_t time = 0;  // wall time, whole seconds
    std::string message;
};

// The label, then " - " and the message when there is one. Category 0 has no label;
// a value that is no category is a result code, labelled with its error text.
std::string DisplayText(const StringTable& texts, DWORD category, std::string_view message);
inline std::string DisplayText(const StringTable& texts, const CLogEntry& entry)
{
    return DisplayText(texts, entry.category, entry.message);
}

// "%H:%M:%S" of a wall time in the local time zone.
std::string LogTimeText(std::time_t time);

} // namespace quillet
