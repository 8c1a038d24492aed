#pragma once
// The DDE bridge's record of one item (kept on the toolkit heap); a point
// points back to its record.
#include "platform/win/WinTypes.h"

class CdsMemoryObject;

namespace kestrun {

struct DdeItemRecord {
    const char* pszName = nullptr;
    LONG nActive = 0;
    DWORD hItem = 0;
    CdsMemoryObject* pPoint = nullptr;
    DdeItemRecord* pNext = nullptr;
    DdeItemRecord* pPrev = nullptr;
};

} // namespace kestrun
