#pragma once
// A MELSEC device and handler for block and point tests: the device carries the MC
// facts, the handler records log lines and hands out queued responses.
#include <deque>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fenwold/McLink.h"
#include "fenwold/McStation.h"
#include "fenwold/MemoryArray.h"
#include "fenwold/MemoryObject.h"
#include "kestrun/model/DeviceObject.h"
#include "support/DestroyPtr.h"
#include "support/HexBytes.h"
#include "support/model/ModelFakes.h"

namespace fenwoldtest {

using testsupport::Ascii;
using testsupport::Hex;

class McHandler : public testsupport::FakeHandler, public McLink {
public:
    void McLogError(const tagTHREADINFO*, const char* pszText) override { logs.emplace_back(pszText); }
    bool McReceiveAgain(CdsMemoryArray*, BYTE* pBuffer, int nCapacity, int, int& nReceived, const char*,
                        const tagTHREADINFO*) override
    {
        ++rereads;
        if (responses.empty() || static_cast<int>(responses.front().size()) > nCapacity)
            return false;
        const std::vector<BYTE> next = responses.front();
        responses.pop_front();
        std::copy(next.begin(), next.end(), pBuffer);
        nReceived = static_cast<int>(next.size());
        return true;
    }
    std::vector<std::string> logs;
    std::deque<std::vector<BYTE>> responses;
    int rereads = 0;
};

class StationDevice : public CdsDeviceObject, public McStation {
public:
    StationDevice(McHandler* pHandler, LONG deviceType, std::string protocol, std::string address = "&FF")
        : m_pHandler(pHandler), m_address(std::move(address))
    {
        ConfigureFrame(deviceType, protocol);
    }
    kestrun::HandlerLink* GetDeviceHdlr() const override { return m_pHandler; }
    std::string_view GetStationAddress() const override { return m_address; }

private:
    McHandler* m_pHandler;
    std::string m_address;
};

using BlockPtr = testsupport::DestroyPtr<CMemoryArray>;

// A block of `points` points of one device and data type under the device.
inline BlockPtr MakeBlock(CdsDeviceObject& device, const std::string& address, WORD code, int type, int points)
{
    BlockPtr block(new CMemoryArray);
    block->SetParent(&device);
    block->SetAddr(address);
    block->SetTypeDataWord(static_cast<SHORT>(code));
    block->SetDefaultDataType(type);
    block->SetMaxMemories(points);
    block->OnInitMemoryArray();
    for (int i = 0; i < points; ++i)
        block->CreateMemoryObject(i, nullptr, TRUE);
    return block;
}

inline std::vector<BYTE> Bytes(const char* p, int n)
{
    return n > 0 ? std::vector<BYTE>(p, p + n) : std::vector<BYTE>{};
}

// Device types: 1 A-series (1E), 4 QnA.
enum : LONG { kTypeA = 1, kTypeQnA = 4 };

// Device codes.
enum : WORD { kM = 0x90, kF = 0x93, kX = 0x9C, kB = 0xA0, kD = 0xA8, kR = 0xAF, kZR = 0xB0, kW = 0xB4, kTN = 0xC2 };

}  // namespace fenwoldtest
