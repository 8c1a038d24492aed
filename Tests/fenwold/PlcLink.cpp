#include "fenwold/PlcLink.h"

#include <cstdio>
#include <cstdlib>

#include "fenwold/ElementAddress.h"
#include "fenwold/MelsecDevice.h"
#include "kestrun/comm/sockets/TcpipConfig.h"
#include "kestrun/model/MemoryObject.h"

namespace fenwoldtest {

namespace {

class CountingSocket : public CdsListenSocket {
public:
    CountingSocket(CdsDeviceObject* pDevice, CdsSocketHdlr* pHdlr, int nLine, const win::Clock* pClock,
                   SocketCalls& calls)
        : CdsListenSocket(pDevice, pHdlr, nLine, pClock), m_calls(calls)
    {
    }
    BOOL IOCtlBytesWaiting(DWORD& nBytes) override
    {
        ++m_calls.bytesWaiting;
        return CdsListenSocket::IOCtlBytesWaiting(nBytes);
    }

protected:
    int WaitForSocket(short nPollEvents, int nMs) override
    {
        ++m_calls.pumpWaits;
        return CdsListenSocket::WaitForSocket(nPollEvents, nMs);
    }
    int ReceiveWaiting(void* pBuffer, int nLength, int nMs) override
    {
        ++m_calls.receiveWaits;
        return CdsListenSocket::ReceiveWaiting(pBuffer, nLength, nMs);
    }

private:
    SocketCalls& m_calls;
};

}  // namespace

std::unique_ptr<CdsListenSocket> RecordingSleepHdlr::NewLineSocket(CdsDeviceObject* pDevice, int nLine)
{
    return std::make_unique<CountingSocket>(pDevice, this, nLine, &GetClock(), calls);
}

void RecordingSleepHdlr::Sleep(DWORD dwMs)
{
    if (dwMs > 20) {
        waited += dwMs;
        return;
    }
    CCommHdlr::Sleep(dwMs);
}

PlcLink::PlcLink() = default;

PlcLink::~PlcLink() { Close(); }

bool PlcLink::Open(const std::string& host, std::uint16_t port, const PlcKind& kind)
{
    device.reset(new CDeviceObject);
    device->m_strName = "PLC";
    device->m_nDeviceType = kind.deviceType;
    device->m_strProtocol = kind.protocol;
    device->m_strAddress = kind.address;
    device->m_nReadTimeout = 300;
    device->m_nRetries = 0;
    device->m_nRetryDelay = 1;
    device->m_nResetDelay = 50;
    auto config = std::make_unique<CdsTcpipConfig>();
    config->SetPortId(1);
    config->m_strRemoteAddress = host;
    config->m_nRemotePort = port;
    device->SetCommConfig(0, std::move(config));
    if (!device->OnInitDeviceObject())
        return false;

    CommHost commHost;
    commHost.pDispatcher = &dispatcher;
    commHost.logWindow = log.Key();
    hdlr->SetHost(commHost);
    hdlr->SetInService(TRUE);
    hdlr->SetRxTimeout(device.get(), 300);
    hdlr->AddActiveDevice(device.get());
    line = hdlr->NewThreadInfo(device.get(), FALSE, FALSE);
    return line && hdlr->OpenCommPort(device.get(), line);
}

tagTHREADINFO* PlcLink::OpenSecondLine()
{
    auto config = std::make_unique<CdsTcpipConfig>();
    if (auto* first = dynamic_cast<const CdsTcpipConfig*>(device->GetCommConfigAt(0)))
        *config = *first;
    device->SetCommConfig(1, std::move(config));
    device->m_bAutoSwitching = TRUE;
    tagTHREADINFO* second = hdlr->NewThreadInfo(device.get(), FALSE, TRUE);
    return second && hdlr->OpenCommPort(device.get(), second) ? second : nullptr;
}

void PlcLink::Close()
{
    if (!device)
        return;
    for (int i = 0; i < LINE_COUNT; ++i) {
        if (tagTHREADINFO* open = hdlr->GetLine(i))
            hdlr->CloseCommPort(device.get(), open);
    }
    hdlr->RemoveActiveDevice(device.get());
    device.reset();
    line = nullptr;
}

std::string PlcLink::Address(WORD code, DWORD number)
{
    std::string_view name;
    if (!MelsecDeviceName(code, name))
        return {};
    return std::string(name) + FormatDeviceNumber(code, number, 0);
}

CMemoryArray* PlcLink::AddBlock(WORD code, DWORD number, int type, int points)
{
    auto* block = new CMemoryArray;
    const std::string address = Address(code, number);
    block->SetName(address + "_" + std::to_string(type) + "_" + std::to_string(++m_blocks));
    block->SetAddr(address);
    block->SetTypeDataWord(static_cast<SHORT>(code));
    block->SetDefaultDataType(type);
    block->SetMaxMemories(points);
    return dynamic_cast<CMemoryArray*>(device->AddMemoryArray(block, true));
}

bool PlcLink::Read(CMemoryArray* block)
{
    log.Clear();
    const bool ok = block && hdlr->DoDataRead(block, line) == 1 && log.Lines(LOG_ERROR).empty();
    if (!ok && std::getenv("MELSEC_TEST_LOG"))
        for (const std::string& l : log.AllLines())
            std::fprintf(stderr, "%s", l.c_str());
    return ok;
}

bool PlcLink::Write(CMemoryArray* block, int index, const _BRISANTDATAVALUE& value)
{
    log.Clear();
    CdsMemoryObject* point = block ? block->GetMemoryObject(index) : nullptr;
    // An answered write returns 1 whatever the PLC said: its refusal is logged.
    return point && hdlr->DoDataWrite(point, value, line) == 1 && log.Lines(LOG_ERROR).empty();
}

bool PlcLink::WritePoints(WORD code, DWORD number, int type, const std::vector<_BRISANTDATAVALUE>& values)
{
    CMemoryArray* block = AddBlock(code, number, type, static_cast<int>(values.size()));
    if (!block)
        return false;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!Write(block, static_cast<int>(i), values[i]))
            return false;
    }
    return true;
}

std::optional<std::vector<_BRISANTDATAVALUE>> PlcLink::ReadPoints(WORD code, DWORD number, int type, int count)
{
    CMemoryArray* block = AddBlock(code, number, type, count);
    if (!Read(block))
        return std::nullopt;
    std::vector<_BRISANTDATAVALUE> values;
    for (int i = 0; i < count; ++i)
        values.push_back(block->GetMemoryObject(i)->GetValue());
    return values;
}

bool PlcLink::WriteWords(WORD code, DWORD number, const std::vector<WORD>& words)
{
    // Point i of a word block of a bit device is the word at number + 16 i.
    std::vector<_BRISANTDATAVALUE> values(words.size());
    for (std::size_t i = 0; i < words.size(); ++i)
        values[i].wVal = words[i];
    return WritePoints(code, number, BRISANT_WORD, values);
}

std::optional<std::vector<WORD>> PlcLink::ReadWords(WORD code, DWORD number, int count)
{
    return ReadAs<WORD>(code, number, BRISANT_WORD, count, [](const _BRISANTDATAVALUE& v) { return v.wVal; });
}

bool PlcLink::WriteBits(WORD code, DWORD number, const std::vector<bool>& bits)
{
    std::vector<_BRISANTDATAVALUE> values(bits.size());
    for (std::size_t i = 0; i < bits.size(); ++i)
        values[i].boolVal = bits[i] ? 1 : 0;
    return WritePoints(code, number, BRISANT_BOOL, values);
}

std::optional<std::vector<bool>> PlcLink::ReadBits(WORD code, DWORD number, int count)
{
    return ReadAs<bool>(code, number, BRISANT_BOOL, count, [](const _BRISANTDATAVALUE& v) { return v.boolVal != 0; });
}

bool PlcLink::Logged(const std::string& text) const
{
    for (const std::string& l : log.AllLines())
        if (l.find(text) != std::string::npos)
            return true;
    return false;
}

}  // namespace fenwoldtest
