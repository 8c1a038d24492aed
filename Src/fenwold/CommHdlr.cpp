#include "fenwold/CommHdlr.h"

#include <algorithm>
#include <span>

#include "fenwold/DeviceObject.h"
#include "fenwold/ExactCast.h"
#include "fenwold/McCommandSource.h"
#include "fenwold/McReceive.h"
#include "fenwold/McResponse.h"
#include "fenwold/McStation.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"

namespace {

// Reads a frame's pieces with the framework's receive, which reads up to the count
// asked for; a piece that arrives short is a failed receive.
template <class Receive>
class HandlerReader : public McByteReader {
public:
    explicit HandlerReader(Receive& receive) : m_receive(receive) {}
    bool ReadExactly(BYTE* pBuffer, int nLength) override
    {
        int received = 0;
        return m_receive(pBuffer, nLength, received) && received == nLength;
    }

private:
    Receive& m_receive;
};

}  // namespace

CCommHdlr::CCommHdlr() = default;
CCommHdlr::~CCommHdlr() = default;

McStation* CCommHdlr::StationOf(CdsDeviceObject* pDevice)
{
    return ExactOrDynamicCast<McStation, CDeviceObject>(pDevice);
}

char CCommHdlr::GetLogMarker(const tagTHREADINFO* pLine) { return MarkerOf(pLine); }

int CCommHdlr::GetCharsToRead(CdsDeviceObject*, const BYTE*, int, BYTE, int) { return -1; }

void CCommHdlr::McLogError(const tagTHREADINFO* pLine, const char* pszText)
{
    LogLine(LOG_ERROR, pLine, "%s", pszText);
}

bool CCommHdlr::McReceiveAgain(CdsMemoryArray* pArray, BYTE* pBuffer, int nCapacity, int nExpected,
                               int& nReceived, const char* pszQuery, const tagTHREADINFO* pLine)
{
    nReceived = 0;
    McStation* station = StationOf(pArray ? pArray->GetParent() : nullptr);
    if (!station)
        return false;
    // The response in hand answered another request: the stream may be out of step.
    SuspectLateAnswer(pLine);
    // The line record is the handler's own; the framework's calls take it writable.
    auto* line = const_cast<tagTHREADINFO*>(pLine);
    return ReceiveFrame(*station, pArray->GetParent(), pBuffer, nCapacity, nExpected, nReceived, line, false,
                        pArray, pszQuery, TRUE) != 0;
}

int CCommHdlr::ReceiveFrame(McStation& station, CdsDeviceObject* pDevice, BYTE* pBuffer, int nCapacity,
                            int nExpected, int& nReceived, tagTHREADINFO* pLine, bool bMonitor,
                            CdsMemoryArray* pArray, const char* pszQuery, BOOL bRead)
{
    auto receive = [&](BYTE* p, int n, int& got) {
        if (bMonitor)
            return CdsTcpipHdlr::ReceiveMonitorMessage(pDevice, p, n, got, pszQuery, pLine) != 0;
        return CdsTcpipHdlr::ReceiveResponseMessage(pArray, p, n, got, pszQuery, bRead, pLine) != 0;
    };
    HandlerReader reader(receive);
    if (!McReceiveResponse(station.GetFrameKind(), station.IsAscii(), pBuffer, nCapacity, nExpected, nReceived,
                           reader)) {
        // A time-out may leave the answer on its way, and what is left of a frame
        // that cannot be read would spoil the next exchange.
        SuspectLateAnswer(pLine);
        RemoveJunk(pDevice, pLine, "ReceiveResponseMessage");
        return 0;
    }
    if (station.GetFrameKind() == McFrameKind::E4)
        return 1;
    // Bytes behind a 1E or 3E response belong to no request: the response counts
    // as not received.
    if (RemoveJunk(pDevice, pLine, "ReceiveResponseMessage")) {
        SuspectLateAnswer(pLine);
        return 0;
    }
    // A clean exchange: nothing late can come any more.
    LateAnswerSuspected(pLine).store(false, std::memory_order_relaxed);
    return 1;
}

std::atomic<bool>& CCommHdlr::LateAnswerSuspected(const tagTHREADINFO* pLine)
{
    return m_lateAnswer[static_cast<std::size_t>(pLine ? pLine->LineIndex() : 0)];
}

void CCommHdlr::SuspectLateAnswer(const tagTHREADINFO* pLine)
{
    LateAnswerSuspected(pLine).store(true, std::memory_order_relaxed);
}

bool CCommHdlr::RemoveJunk(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, const char* pszWhen)
{
    // Bytes that came in with the last receive are known without a system call. The
    // socket is asked only when there are some, or while a late answer can be on its
    // way: after a clean exchange nothing more is due. It is asked itself rather than
    // through the process-wide "Use IOCTL" option, which other lines read at the same time.
    DWORD waiting = static_cast<DWORD>(GetHeldOverCount(pLine));
    if (waiting > 0 || LateAnswerSuspected(pLine).load(std::memory_order_relaxed)) {
        CdsListenSocket* socket = GetThreadSocket(pLine);
        DWORD onSocket = 0;
        if (socket && socket->IOCtlBytesWaiting(onSocket))
            waiting += onSocket;
    }
    if (waiting == 0)
        return false;
    LogLine(LOG_ERROR, pLine, "Remove Junk messages when %s!\r\n", pszWhen);
    std::array<BYTE, 512> scratch;
    while (waiting > 0) {
        const int n = CommReadWith(pDevice, scratch.data(),
                                   static_cast<int>(std::min<DWORD>(waiting, scratch.size())), pLine, TRUE);
        if (n <= 0)
            break;
        waiting -= std::min<DWORD>(waiting, static_cast<DWORD>(n));
    }
    return true;
}

int CCommHdlr::ReceiveResponseMessage(CdsMemoryArray* pArray, BYTE* pBuffer, int nLength, int& nReceived,
                                      const char* pszQuery, BOOL bRead, tagTHREADINFO* pLine)
{
    nReceived = 0;
    CdsDeviceObject* device = pArray ? pArray->GetParent() : nullptr;
    McStation* station = StationOf(device);
    if (!station)
        return CdsTcpipHdlr::ReceiveResponseMessage(pArray, pBuffer, nLength, nReceived, pszQuery, bRead, pLine);
    // The framework's receive buffers hold kReceiveBufferSize bytes; nLength is the
    // length a good 1E response has.
    if (!ReceiveFrame(*station, device, pBuffer, kReceiveBufferSize, nLength, nReceived, pLine, false, pArray,
                      pszQuery, bRead))
        return 0;
    if (bRead || !pszQuery)
        return 1;

    // A write: the response must answer the request, and with end code 0.
    const McFrameKind kind = station->GetFrameKind();
    const bool ascii = station->IsAscii();
    const std::span<const BYTE> query(reinterpret_cast<const BYTE*>(pszQuery), McResponseHeaderLength(kind, ascii));
    const McReply reply =
        McCheckResponse(kind, ascii, query, std::span<const BYTE>(pBuffer, static_cast<std::size_t>(nReceived)));
    switch (reply.verdict) {
    // An end code is an answer: the point logs it and fails the write.
    case McVerdict::Ok:
    case McVerdict::EndCode: return 1;
    case McVerdict::Mismatch:
        SuspectLateAnswer(pLine);
        if (reply.message)
            LogLine(LOG_ERROR, pLine, "%s", reply.message);
        return 0;
    case McVerdict::Malformed: break;
    }
    SuspectLateAnswer(pLine);
    return 0;
}

int CCommHdlr::SendQueryMessage(CdsMemoryArray* pArray, const char* pszQuery, int nLength, BOOL bRead,
                                tagTHREADINFO* pLine)
{
    CdsDeviceObject* device = pArray ? pArray->GetParent() : nullptr;
    McStation* station = StationOf(device);
    if (station && pszQuery && nLength > 0) {
        if (!station->IsAscii() && IsAsciiMode())
            SetAsciiMode(FALSE);
        if (!StampSerial(*station, pszQuery, nLength, pLine))
            RemoveJunk(device, pLine, "SendQueryMessage");
    }
    const int sent = CdsTcpipHdlr::SendQueryMessage(pArray, pszQuery, nLength, bRead, pLine);
    if (!sent)
        SuspectLateAnswer(pLine);
    return sent;
}

int CCommHdlr::SendMonitorMessage(CdsDeviceObject* pDevice, const char* pszQuery, int nLength, tagTHREADINFO* pLine)
{
    if (McStation* station = StationOf(pDevice); station && pszQuery && nLength > 0)
        StampSerial(*station, pszQuery, nLength, pLine);
    const int sent = CdsTcpipHdlr::SendMonitorMessage(pDevice, pszQuery, nLength, pLine);
    if (!sent)
        SuspectLateAnswer(pLine);
    return sent;
}

bool CCommHdlr::StampSerial(McStation& station, const char* pszQuery, int nLength, const tagTHREADINFO* pLine)
{
    if (station.GetFrameKind() != McFrameKind::E4)
        return false;
    // The request lies in a buffer of this line (a block's or the device's monitor
    // buffer), which only this line writes.
    const WORD serial = station.GetSerialCounters().Next(CdsDeviceObject::GetLineIndex(pLine));
    McStampSerial(std::span<BYTE>(reinterpret_cast<BYTE*>(const_cast<char*>(pszQuery)),
                                  static_cast<std::size_t>(nLength)),
                  station.IsAscii(), serial);
    return true;
}

int CCommHdlr::ReceiveMonitorMessage(CdsDeviceObject* pDevice, BYTE* pBuffer, int nLength, int& nReceived,
                                     const char* pszQuery, tagTHREADINFO* pLine)
{
    nReceived = 0;
    if (nLength <= 0)
        return 0;
    McStation* station = StationOf(pDevice);
    if (!station)
        return CdsTcpipHdlr::ReceiveMonitorMessage(pDevice, pBuffer, nLength, nReceived, pszQuery, pLine);
    return ReceiveFrame(*station, pDevice, pBuffer, kReceiveBufferSize, nLength, nReceived, pLine, true, nullptr,
                        pszQuery, TRUE);
}

BOOL CCommHdlr::IsValidQueryMessage(CdsMemoryArray* pArray, const char* pszData, int nLength, BOOL)
{
    if (!pszData || nLength <= 0)
        return FALSE;
    McStation* station = StationOf(pArray ? pArray->GetParent() : nullptr);
    if (!station)
        return TRUE;
    return McIsValidQuery(station->GetFrameKind(), station->IsAscii(),
                          std::span<const BYTE>(reinterpret_cast<const BYTE*>(pszData),
                                                static_cast<std::size_t>(nLength)))
               ? TRUE
               : FALSE;
}

BOOL CCommHdlr::IsValidResponseMessage(CdsMemoryArray*, const BYTE*, int nLength, const char*, BOOL)
{
    return nLength > 0 ? TRUE : FALSE;
}

BOOL CCommHdlr::IsValidMonitorQuery(CdsDeviceObject*, const char*, int) { return TRUE; }

BOOL CCommHdlr::IsValidMonitorResponse(CdsDeviceObject*, const BYTE*, int nLength, const char*)
{
    return nLength > 0 ? TRUE : FALSE;
}

int CCommHdlr::DoDataWrite(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& value, tagTHREADINFO* pLine)
{
    // The request carries the value: the point builds it into the line's command
    // buffer before the framework's write cycle sends that buffer.
    if (auto* source = dynamic_cast<McCommandSource*>(pPoint)) {
        if (!source->GetCommandQueryString(value, BlockSlotOf(pLine), TRUE))
            return 0;
    }
    return CdsTcpipHdlr::DoDataWrite(pPoint, value, pLine);
}
