#pragma once
// The write queue of a communication handler, as data points see it. Points
// hold it weakly: when its handler goes away, their binding lapses with it.
#include "platform/dde/BrisantTypes.h"

class CdsMemoryObject;

class CdsEventQueue {
public:
    virtual ~CdsEventQueue() = default;
    // Queues a write of the value (texts and arrays copied); 1 when queued.
    virtual int AddNewEvent(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& value, int nDataType, int nFlag) = 0;
};
