#pragma once
// Fakes around blocks and points: a write queue that records, a handler that
// records hints, a device that leads to the handler, and a block that makes
// plain points.
#include <memory>
#include <string>
#include <vector>

#include "kestrun/model/BitArray.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/EventQueue.h"
#include "kestrun/model/HandlerLink.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"

namespace testsupport {

class FakeEventQueue : public CdsEventQueue {
public:
    struct Event {
        CdsMemoryObject* point;
        _BRISANTDATAVALUE value;
        int type;
        int flag;
    };
    int AddNewEvent(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& value, int nDataType, int nFlag) override
    {
        if (refuse)
            return 0;
        events.push_back({pPoint, value, nDataType, nFlag});
        return 1;
    }
    std::vector<Event> events;
    bool refuse = false;
};

class FakeHandler : public kestrun::HandlerLink {
public:
    struct Hint {
        int code;
        int number;
        CObject* object;
        _BRISANTDATAVALUE value;
    };
    std::shared_ptr<CdsEventQueue> GetEventQueue() override { return queue; }
    BOOL IsTimeWithinCommandDiag(CdsDeviceObject*, LONGLONG) override { return withinCommandDiag; }
    void SendUpdateMessageFromThread(int nCode, CdsHint* pHint) override;

    std::vector<int> Codes() const;

    std::shared_ptr<FakeEventQueue> queue = std::make_shared<FakeEventQueue>();
    std::vector<Hint> hints;
    BOOL withinCommandDiag = TRUE;
};

class FakeDevice : public CdsDeviceObject {
public:
    explicit FakeDevice(FakeHandler* pHandler = nullptr) : handler(pHandler) {}
    kestrun::HandlerLink* GetDeviceHdlr() const override { return handler; }
    BOOL IsCommandDiagEnabled() const override { return commandDiag; }
    FakeHandler* handler;
    BOOL commandDiag = FALSE;
};

// A server program's bit classes: the array makes bit objects, the point makes
// such an array, the block makes such points.
class TestBitArray : public CdsBitArray {
public:
    CdsMemoryObject* NewBitObject() override { return new CdsBitObject; }
};

class BitPoint : public CdsMemoryObject {
public:
    CdsMemoryArray* NewBitArray() override { return new TestBitArray; }
};

class BitBlock : public CdsMemoryArray {
public:
    CdsMemoryObject* NewMemoryObject() override { return new BitPoint; }
};

// A value cell of these 8 bytes.
inline _BRISANTDATAVALUE Cell(ULONGLONG bits)
{
    _BRISANTDATAVALUE v{};
    v.ullVal = bits;
    return v;
}

// A block whose factory makes plain points.
class PointBlock : public CdsMemoryArray {
public:
    explicit PointBlock(int nMaxMemories = 0) : CdsMemoryArray(nMaxMemories) {}
    CdsMemoryObject* NewMemoryObject() override { return new CdsMemoryObject; }
};

} // namespace testsupport
