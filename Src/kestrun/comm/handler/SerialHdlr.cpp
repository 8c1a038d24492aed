#include "kestrun/comm/handler/SerialHdlr.h"

#include "kestrun/comm/config/ReturnError.h"
#include "kestrun/comm/serial/SerialCommConfig.h"
#include "kestrun/comm/serial/SerialCommFile.h"
#include "kestrun/comm/serial/SerialCommPort.h"
#include "kestrun/model/DeviceObject.h"

#include <cerrno>

namespace {

constexpr DWORD kDefaultReadTimeOut = 1000;  // ms
constexpr DWORD kDefaultWriteTimeOut = 5000; // ms
constexpr UINT kMaxErrorText = 256;          // 255 characters and the end

std::size_t LineSlot(const tagTHREADINFO* pLine)
{
    return static_cast<std::size_t>(pLine ? pLine->LineIndex() : 0);
}

} // namespace

CdsSerialHdlr::CdsSerialHdlr()
{
    for (auto& pFile : m_serialFiles)
        pFile = std::make_shared<COXSerialCommFile>();
}

CdsSerialHdlr::~CdsSerialHdlr() = default;

void CdsSerialHdlr::SetSerialFile(int nLine, std::shared_ptr<COXSerialCommFile> pFile)
{
    if (nLine >= 0 && nLine < LINE_COUNT && pFile)
        m_serialFiles[static_cast<std::size_t>(nLine)] = std::move(pFile);
}

std::shared_ptr<COXSerialCommFile> CdsSerialHdlr::GetCommFile(const tagTHREADINFO* pLine) const
{
    return m_serialFiles[LineSlot(pLine)];
}

BOOL CdsSerialHdlr::OpenCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine)
{
    if (!pDevice)
        return FALSE;
    const auto* pConfig = dynamic_cast<const COXSerialCommConfig*>(pDevice->GetCommConfig(pLine));
    if (!pConfig)
        return FALSE; // a line set up for another kind of port
    return OpenSerialPort(pDevice, *pConfig, pLine);
}

BOOL CdsSerialHdlr::OpenSerialPort(CdsDeviceObject*, const COXSerialCommConfig& config, tagTHREADINFO* pLine)
{
    const auto& pFile = m_serialFiles[LineSlot(pLine)];
    if (pFile->IsOpen()) {
        if (!CdsCommHdlr::GetCommFile(pLine))
            SetCommFile(pLine, std::make_shared<kestrun::SerialCommPort>(pFile));
        return TRUE;
    }

    COXSerialCommException error;
    if (!pFile->Open(config, &error)) {
        char text[kMaxErrorText];
        error.GetErrorMessage(text, sizeof text);
        LogLine(LOG_ERROR, pLine, "%s", text);
        ShowLogMessageFromThread(LOG_ERROR, "\r\n");
        return FALSE;
    }

    // From here on a failure closes the port again: left open, the next open
    // would take it as set up and skip all of this.
    DWORD mask = 0;
    if (!pFile->GetCommMask(mask)) {
        LogLine(LOG_ERROR, pLine, "Error (#%d): Unable to set event states on %s.\r\n", errno,
                config.GetCommName().c_str());
        pFile->Close();
        return FALSE;
    }
    if (!pFile->SetCommMask(mask | COXSerialCommFile::EV_RXCHAR)) {
        pFile->Close();
        return FALSE;
    }
    LogLine(LOG_INFO, pLine, "A serial connection has been established on port %s.\r\n",
            config.GetCommName().c_str());
    if (!pFile->SetDefaultTimeOut(kDefaultReadTimeOut, kDefaultWriteTimeOut)) {
        LogLine(LOG_ERROR, pLine, "Cannot set read timeout!\r\n");
        pFile->Close();
        return FALSE;
    }
    SetCommFile(pLine, std::make_shared<kestrun::SerialCommPort>(pFile));
    return TRUE;
}

BOOL CdsSerialHdlr::CloseCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine)
{
    CdsCommHdlr::CloseCommPort(pDevice, pLine);
    m_serialFiles[LineSlot(pLine)]->Close();
    return TRUE;
}

BOOL CdsSerialHdlr::IsPortOpen(tagTHREADINFO* pLine)
{
    return m_serialFiles[LineSlot(pLine)]->IsOpen();
}

int CdsSerialHdlr::GetNoOfBytesToRead(tagTHREADINFO* pLine)
{
    try {
        const DWORD n = m_serialFiles[LineSlot(pLine)]->GetBytesToRead();
        return n > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(n);
    } catch (const COXSerialCommException& e) {
        return CommErrorResult(SerialErrorCode(e.m_nCause));
    } catch (...) {
        return CommErrorResult(RE_SERIAL_EXCEPTION);
    }
}

int CdsSerialHdlr::SendQueryMessage(CdsMemoryArray* pArray, const char* pszQuery, int nLength, BOOL bRead,
                                    tagTHREADINFO* pLine)
{
    if (!m_bRtsControl)
        return CdsCommHdlr::SendQueryMessage(pArray, pszQuery, nLength, bRead, pLine);
    if (!DoPreTxDelay(pLine))
        return 0;
    const int result = CdsCommHdlr::SendQueryMessage(pArray, pszQuery, nLength, bRead, pLine);
    if (!result) {
        // No drain wait for a frame that never went, but a raised RTS would keep a
        // half-duplex converter transmitting over everyone else on the bus.
        const auto& pFile = m_serialFiles[LineSlot(pLine)];
        if (pFile->IsOpen())
            pFile->SetRTS(0);
        return 0;
    }
    if (!DoPostTxDelay(pLine))
        return 0;
    return result;
}

int CdsSerialHdlr::ReceiveResponseMessage(CdsMemoryArray* pArray, BYTE* pBuffer, int nLength, int& nReceived,
                                          const char* pszQuery, BOOL bRead, tagTHREADINFO* pLine)
{
    if (!m_bRtsControl)
        return CdsCommHdlr::ReceiveResponseMessage(pArray, pBuffer, nLength, nReceived, pszQuery, bRead, pLine);
    if (!DoPreRxDelay(pLine)) {
        nReceived = 0;
        return 0;
    }
    const int result =
        CdsCommHdlr::ReceiveResponseMessage(pArray, pBuffer, nLength, nReceived, pszQuery, bRead, pLine);
    if (!result)
        return 0;
    if (!DoPostRxDelay(pLine))
        return 0;
    return result;
}

BOOL CdsSerialHdlr::DrainQueue(tagTHREADINFO* pLine, Queue queue, int nPolls, int nRts)
{
    COXSerialCommFile& file = *m_serialFiles[LineSlot(pLine)];
    // A closed port reports no empty queue and refuses the purge: the request
    // fails here instead of an exception leaving the line's thread.
    if (!file.IsOpen())
        return FALSE;
    try {
        const int maxWaits = (nPolls < 0 ? 0 : nPolls) + 1;
        int waits = 0;
        while (!(queue == Queue::Rx ? file.IsRxQueueEmpty() : file.IsTxQueueEmpty())) {
            if (waits == maxWaits) {
                if (queue == Queue::Rx)
                    file.PurgeRx();
                else
                    file.PurgeTx();
                break;
            }
            Sleep(1);
            ++waits;
        }
        if (nRts >= 0)
            file.SetRTS(nRts);
    } catch (const COXSerialCommException&) {
        return FALSE;
    }
    return TRUE;
}

BOOL CdsSerialHdlr::DoPreTxDelay(tagTHREADINFO* pLine)
{
    return DrainQueue(pLine, Queue::Rx, m_nPreTxPolls, 1);
}

BOOL CdsSerialHdlr::DoPostTxDelay(tagTHREADINFO* pLine)
{
    return DrainQueue(pLine, Queue::Tx, m_nPostTxPolls, 0);
}

BOOL CdsSerialHdlr::DoPreRxDelay(tagTHREADINFO* pLine)
{
    return DrainQueue(pLine, Queue::Tx, m_nPreRxPolls, -1);
}

BOOL CdsSerialHdlr::DoPostRxDelay(tagTHREADINFO* pLine)
{
    return DrainQueue(pLine, Queue::Rx, m_nPostRxPolls, -1);
}

void CdsSerialHdlr::ResetCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine)
{
    CdsCommHdlr::ResetCommPort(pDevice, pLine);
    CloseCommPort(pDevice, pLine);
    OnUpdateModeChange(pDevice, pLine, UPDATEMODE_STOPPED);
    if (!pDevice)
        return;

    if (!(pDevice->m_bFastSwitch && IsPartnerTakingOver(pDevice, pLine))) {
        const LONG delay = pDevice->m_nResetDelay;
        LogLine(LOG_INFO, pLine, "Wait %d msecs to initialize port for [%s].\r\n", static_cast<int>(delay),
                pDevice->m_strName.c_str());
        const std::uint64_t start = NowMs();
        const std::uint64_t wait = delay > 0 ? static_cast<std::uint64_t>(delay) : 0;
        while (!GetClock().isTimeOver(start, wait)) {
            // Leaving service (or the handler stopping its lines) ends the wait.
            if (!IsInService() || IsStopSignalled()) {
                UpdateCommErrorState(pLine, TRUE);
                UpdateUpdateMode(pDevice, UPDATEMODE_STOPPED, pLine, FALSE);
                return;
            }
            Sleep(1);
        }
    }

    if (OpenCommPort(pDevice, pLine)) {
        UpdateCommPortStatus(pDevice, TRUE, pLine);
        OnUpdateModeChange(pDevice, pLine, pDevice->GetUpdateMode(pLine));
    } else {
        UpdateCommErrorState(pLine, TRUE);
        UpdateUpdateMode(pDevice, UPDATEMODE_NOT_RUNNING, pLine, FALSE);
    }
}
