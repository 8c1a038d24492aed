#pragma once
// A small address space for the bridge tests: a device map of devices with
// blocks of named points, a write queue that keeps what it is given (texts as
// texts), and a hint sink that records.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kestrun/model/DataType.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/EventQueue.h"
#include "kestrun/model/Hint.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/MemoryTag.h"
#include "kestrun/model/SystemDevice.h"
#include "kestrun/model/opc/Callback.h"
#include "platform/dde/BrisantBlocks.h"
#include "support/model/DeviceFakes.h"
#include "support/model/ModelFakes.h"

namespace bridgetest {

// What a write queued: the value as its point's type reads it, texts copied out.
struct QueuedWrite {
    CdsMemoryObject* point;
    int type;
    ULONGLONG bits;
    std::string text;
};

inline std::string TextOf(int type, const _BRISANTDATAVALUE& value)
{
    if (type == BRISANT_STRING)
        return value.pszVal ? std::string(value.pszVal) : std::string();
    if (type == BRISANT_FIXEDSTRING && value.pcsVal)
        return std::string(dde::CountedChars(value.pcsVal), static_cast<std::size_t>(dde::CountedLength(value.pcsVal)));
    return {};
}

class RecordingQueue : public CdsEventQueue {
public:
    int AddNewEvent(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& value, int nDataType, int) override
    {
        if (refuse)
            return 0;
        const bool text = nDataType == BRISANT_STRING || nDataType == BRISANT_FIXEDSTRING;
        writes.push_back({pPoint, nDataType, text ? 0 : value.ullVal, TextOf(nDataType, value)});
        return 1;
    }
    std::vector<QueuedWrite> writes;
    bool refuse = false;
};

class RecordingLink : public kestrun::HandlerLink {
public:
    std::shared_ptr<CdsEventQueue> GetEventQueue() override { return queue; }
    BOOL IsTimeWithinCommandDiag(CdsDeviceObject*, LONGLONG) override { return FALSE; }
    void SendUpdateMessageFromThread(int, CdsHint*) override {}
    std::shared_ptr<RecordingQueue> queue = std::make_shared<RecordingQueue>();
};

// A program's device whose writes go to a recording queue and whose status
// points answer as told.
class BridgeDevice : public testsupport::TestDevice {
public:
    kestrun::HandlerLink* GetDeviceHdlr() const override { return link; }
    int HandleCommand(CdsMemoryObject*, const _BRISANTDATAVALUE& value, int& nResult) override
    {
        nResult = 0;
        commands.push_back(value.ullVal);
        return handles;
    }
    // The points of one block are points this device can never write.
    std::string GetWriteRefusal(const CdsMemoryObject& point) const override
    {
        return refusedBlock && point.GetParent() == refusedBlock ? refusal : std::string();
    }
    RecordingLink* link = nullptr;
    const CdsMemoryArray* refusedBlock = nullptr;
    std::string refusal;
    int handles = 1;
    std::vector<ULONGLONG> commands;
};

class FakeSystemDevice : public CdsSystemDevice {
public:
    int HandleCommand(CdsMemoryObject*, const _BRISANTDATAVALUE& value, int& nResult) override
    {
        nResult = 0;
        commands.push_back(value.ullVal);
        return handles;
    }
    int handles = 1;
    std::vector<ULONGLONG> commands;
};

struct RecordedHint {
    int code;
    int number;
    CObject* object;
    ULONGLONG bits;
    std::string text;
    std::string topic;
    std::string item;
    std::string reason;
};

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CdsDeviceMap::m_TopicListByName.RemoveAll();
        callback.SetHintSink([this](int code, const CdsHint& hint) {
            hints.push_back({code, hint.m_nNumber, hint.m_pObject, hint.GetValue().ullVal,
                             TextOf(hint.m_nNumber, hint.GetValue()), hint.m_strTopic, hint.m_strItem,
                             hint.m_strReason});
        });
    }

    void TearDown() override
    {
        callback.SetDeviceMap(nullptr);
        map.reset();
        CdsDeviceMap::m_TopicListByName.RemoveAll();
    }

    BridgeDevice* AddDevice(const std::string& name, const std::string& address)
    {
        auto* device = new BridgeDevice;
        device->m_strName = name;
        device->m_strPort = "TCP1";
        device->m_strAddress = address;
        device->m_nDeviceType = 1;
        device->link = &link;
        EXPECT_EQ(map->AddDeviceObject(device), device);
        return device;
    }

    // A block of `count` points of one type; each point's key name is its
    // default name ("D100:0" ...) unless names are given.
    CdsMemoryArray* AddBlock(CdsDeviceObject* device, const std::string& name, const std::string& address, int type,
                             int count, const std::vector<std::string>& names = {})
    {
        auto* block = new testsupport::PointBlock(-1);
        block->SetName(name);
        block->SetAddr(address);
        block->SetDefaultDataType(type);
        block->SetMaxMemories(count);
        block->SetWriteAllowed(TRUE);
        EXPECT_EQ(device->AddMemoryArray(block, true), block);
        for (int i = 0; i < block->GetSize(); ++i) {
            CdsMemoryObject* point = block->GetMemoryObject(i);
            point->SetDataType(type);
            if (i < static_cast<int>(names.size()))
                point->SetPseudoNameText(names[i]);
        }
        return block;
    }

    CdsMemoryObject* Point(CdsMemoryArray* block, int index) { return block->GetMemoryObject(index); }

    std::unique_ptr<testsupport::TestDeviceMap> map = std::make_unique<testsupport::TestDeviceMap>();
    RecordingLink link;
    CfsCallback callback;
    std::vector<RecordedHint> hints;
};

} // namespace bridgetest
