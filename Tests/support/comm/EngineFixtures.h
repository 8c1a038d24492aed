#pragma once
// Devices, blocks and points for engine tests: blocks answer with fixed
// frames, points write their name as their command frame.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kestrun/comm/config/CommConfig.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"

namespace kestrun::test {

class TestBlock : public CdsMemoryArray {
public:
    BOOL m_accept = TRUE;
    int m_updates = 0;
    int m_responseLen = 4;
    std::string m_query = "RD";

    char* FillStatusQueryString(int nLine) override
    {
        char* buffer = GetStatusQueryString(nLine);
        if (buffer)
            std::strcpy(buffer, m_query.c_str());
        return buffer;
    }
    int GetStatusResponseStringLen(int) override { return m_responseLen; }
    int GetCommandResponseStringLen(int) override { return m_responseLen; }
    int UpdateStatus(int, const BYTE*, int, kestrun::HandlerLink*, const tagTHREADINFO*) override
    {
        ++m_updates;
        return m_accept;
    }
};

class TestPoint : public CdsMemoryObject {
public:
    BOOL m_acceptCommand = TRUE;
    int m_commands = 0;
    int m_commandFrame = -1;
    std::vector<BYTE> m_commandResponse;
    kestrun::HandlerLink* m_commandHdlr = nullptr;

    char* FillCommandQueryString(int nLine) override
    {
        char* buffer = GetCommandQueryString(nLine);
        if (buffer)
            std::strcpy(buffer, ("W" + GetName()).c_str());
        return buffer;
    }
    BOOL UpdateCommand(const _BRISANTDATAVALUE& value, int nFrame, const BYTE* pBuffer, int nReceived,
                       kestrun::HandlerLink* pHdlr, const tagTHREADINFO* pLine) override
    {
        ++m_commands;
        m_commandFrame = nFrame;
        m_commandResponse.assign(pBuffer, pBuffer + (pBuffer && nReceived > 0 ? nReceived : 0));
        m_commandHdlr = pHdlr;
        if (!m_acceptCommand)
            return FALSE;
        return CdsMemoryObject::UpdateCommand(value, nFrame, pBuffer, nReceived, pHdlr, pLine);
    }
};

// A device whose status points a test may hand in directly.
class TestDevice : public CdsDeviceObject {
public:
    explicit TestDevice(const std::string& name, int lines = 1)
    {
        m_strName = name;
        for (int i = 0; i < lines; ++i) {
            auto config = std::make_unique<CdsCommConfig>();
            config->SetPortId(static_cast<WORD>(1));
            SetCommConfig(i, std::move(config));
        }
    }

    BOOL m_monitorAccept = FALSE;
    char* GetMonitorQueryString(const tagTHREADINFO* pLine, bool) override
    {
        char* buffer = GetMonitorQueryBuffer(pLine);
        std::strcpy(buffer, "MQ");
        return buffer;
    }
    int GetMonitorResponseStringLen(const tagTHREADINFO*) const override { return 4; }
    // The last response the device was handed.
    std::vector<BYTE> m_statusResponse;
    int UpdateStatus(const BYTE* pData, int nLength, const tagTHREADINFO*) override
    {
        m_statusResponse.assign(pData, pData + nLength);
        return m_monitorAccept;
    }

    std::vector<std::vector<BYTE>> m_unbound;
    int UpdateUnboundMessage(const BYTE* pData, int nLength, const tagTHREADINFO*) override
    {
        m_unbound.emplace_back(pData, pData + nLength);
        return 1;
    }

    // A block of n points named "<block>_<i>".
    TestBlock* AddBlock(const std::string& name, int nPoints = 1, int nPriority = 0, int nScanTime = 1000)
    {
        auto* block = new TestBlock;
        block->SetName(name);
        block->SetAddr(name);
        block->SetPriority(nPriority);
        block->SetScanTime(nScanTime);
        if (!AddMemoryArray(block, false))
            return nullptr;
        for (int i = 0; i < nPoints; ++i) {
            auto* point = new TestPoint;
            point->SetName(name + "_" + std::to_string(i));
            point->SetDataType(BRISANT_SHORT);
            block->AddMemoryObject(i, point, TRUE);
        }
        block->ResetDueTime();
        block->ResetIdleTime();
        return block;
    }

    // Plain I2 points standing in for the status points of one line.
    void MakeModePoints()
    {
        m_status = new CdsMemoryArray;
        m_status->SetName("$Array");
        m_status->SetAddr("$System");
        m_status->SetSystemArray(TRUE);
        m_status->SetReadAllowed(FALSE);
        m_status->SetWriteAllowed(FALSE);
        AddMemoryArray(m_status, false);
        int index = 0;
        auto make = [&](const char* name) {
            auto* point = new CdsMemoryObject;
            point->SetName(name);
            point->SetDataType(BRISANT_SHORT);
            m_status->AddMemoryObject(index++, point, TRUE);
            return m_status->GetMemoryObject(index - 1);
        };
        m_pSysMode = make("$ModeSys");
        m_pUpdateMode[0] = make("$ModeMstr");
        m_pUpdateMode[1] = make("$ModeMstr2");
        m_pUpdateMode[2] = make("$ModeBkup");
        m_pUpdateMode[3] = make("$ModeBkup2");
        m_pActiveLine[0] = make("$ActvLine");
        m_pActiveLine[1] = make("$ActvLine2");
    }

private:
    CdsMemoryArray* m_status = nullptr;
};

} // namespace kestrun::test
