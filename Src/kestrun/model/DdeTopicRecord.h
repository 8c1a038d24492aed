#pragma once
// The DDE bridge's record of one topic (kept on the toolkit heap): the device a
// conversation's topic names and the items generated for it. The device points
// back to its record.
#include <string>

#include "platform/win/WinTypes.h"

class CdsDeviceObject;

namespace kestrun {

struct DdeItemRecord;

struct DdeTopicRecord {
    std::string strName;                 // the device's name, copied when linked
    DWORD dwServerId = 0;
    DWORD hTopic = 0;
    CdsDeviceObject* pDevice = nullptr;  // cleared by the device when it goes
    WORD wReserved = 0;
    DdeTopicRecord* pNext = nullptr;
    DdeTopicRecord* pPrev = nullptr;
    DdeItemRecord* pFirstItem = nullptr;
    bool bDead = false;                  // let go by the server's close; waits for its destroy action
};

} // namespace kestrun
