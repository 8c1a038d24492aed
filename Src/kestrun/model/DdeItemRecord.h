#pragma once
// The DDE bridge's record of one item (kept on the toolkit heap); a point
// points back to its records, one per name a client used for it.
#include <string>

#include "platform/dde/BrisantTypes.h"
#include "platform/win/WinTypes.h"

class CdsMemoryObject;

namespace kestrun {

struct DdeTopicRecord;

struct DdeItemRecord {
    // The binding a point sees; a point that goes clears the handle, the active
    // flag and its own pointer.
    std::string strName;                 // the point's name, copied when linked
    LONG nActive = 0;
    DWORD hItem = 0;
    CdsMemoryObject* pPoint = nullptr;
    DdeItemRecord* pNext = nullptr;
    DdeItemRecord* pPrev = nullptr;
    DdeItemRecord* pNextOfPoint = nullptr;   // the point's next record (another name of it)

    // The bridge's own, kept while the point is gone, so the item can be linked again.
    DdeTopicRecord* pTopic = nullptr;    // the topic whose list holds it
    std::string strItem;                 // the item text the client gave
    DWORD hHandle = 0;                   // the toolkit's handle of the item
    int nType = BRISANT_NOTYPE;          // the type the toolkit reads the item's values by
    int nLinks = 0;                      // activations not yet deactivated
    LONG nSentQuality = 0;               // the quality the toolkit was last given with a value
    bool bDead = false;                  // let go by the server's close; waits for its destroy action
    bool bGoneReported = false;          // clients were told that its point is gone
};

} // namespace kestrun
