// The request cycles of a line: which device comes next, reading a block,
// carrying out queued writes and probing a standby device.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "kestrun/comm/config/ReturnError.h"
#include "kestrun/comm/handler/CommHdlr.h"
#include "kestrun/model/BitArray.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/DeviceUpdate.h"
#include "kestrun/model/EventQueue.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/WriteText.h"
#include "kestrun/options/ServerOptions.h"

namespace {

bool HasModifiedBlock(CdsDeviceObject* pDevice)
{
    // A block marked during the look sets the hint again after its mark.
    if (!pDevice->TakeModifiedHint())
        return false;
    for (const CdsMemoryArray* pArray : pDevice->GetMemoryArrayList().GetBlocks()) {
        if (pArray->IsModified()) {
            pDevice->NoteModifiedBlock();
            return true;
        }
    }
    return false;
}

// The time a block's values are delivered with, for the span of one delivery.
class DeliveryScope {
public:
    DeliveryScope(CdsMemoryArray& block, std::uint64_t fileTime) : m_block(block) { block.SetDeliveryTime(fileTime); }
    ~DeliveryScope() { m_block.SetDeliveryTime(0); }
    DeliveryScope(const DeliveryScope&) = delete;
    DeliveryScope& operator=(const DeliveryScope&) = delete;

private:
    CdsMemoryArray& m_block;
};

// Uncertain, as for a device whose only line has failed: the value is the last one read.
constexpr WORD kQualityNoAnswer = 64;

const char* StatusText(int nStatus)
{
    const char* text = GetCommErrorText(static_cast<DWORD>(nStatus));
    return text ? text : "";
}

// "!" alone, or ": " and the cause, so the line still begins as it always did.
std::string FailureSuffix(const std::string& cause) { return cause.empty() ? "!" : ": " + cause; }

const char* Plural(std::int64_t n) { return n == 1 ? "" : "s"; }

} // namespace

// --- choosing devices ---

CdsDeviceObject* CdsCommHdlr::GetNextDevice(int nLine, CursorKind kind, bool bModifiedOnly)
{
    std::lock_guard lock(m_devicesMutex);
    if (m_devices.empty() || nLine < 0 || nLine >= LINE_COUNT)
        return nullptr;
    auto& cursor = m_cursors[static_cast<std::size_t>(nLine)][kind];
    auto it = cursor == m_devices.end() ? m_devices.begin() : cursor;
    for (std::size_t n = 0; n < m_devices.size(); ++n) {
        CdsDeviceObject* pDevice = *it;
        ++it;
        if (!pDevice->IsEmpty() && (!bModifiedOnly || HasModifiedBlock(pDevice))) {
            cursor = it;
            return pDevice;
        }
        if (it == m_devices.end())
            it = m_devices.begin();
    }
    return nullptr;
}

CdsDeviceObject* CdsCommHdlr::GetNextDeviceToUpdate(const tagTHREADINFO* pLine)
{
    return GetNextDevice(pLine ? pLine->LineIndex() : 0, CURSOR_UPDATE, false);
}

CdsDeviceObject* CdsCommHdlr::GetNextDeviceToMonitor(const tagTHREADINFO* pLine)
{
    return GetNextDevice(pLine ? pLine->LineIndex() : 0, CURSOR_MONITOR, false);
}

CdsDeviceObject* CdsCommHdlr::GetNextDeviceModified(const tagTHREADINFO* pLine)
{
    return GetNextDevice(pLine ? pLine->LineIndex() : 0, CURSOR_MODIFIED, true);
}

BOOL CdsCommHdlr::UpdateDevice(CdsDeviceObject* pDevice, tagTHREADINFO* pLine)
{
    return pDevice ? pDevice->UpdateDevice(this, pLine) : FALSE;
}

void CdsCommHdlr::UpdateNextDevice(tagTHREADINFO* pLine)
{
    CdsDeviceObject* pModified = nullptr;
    if (CdsServerOptions::g_bReadbackModifiedBlock.load()) {
        pModified = GetNextDeviceModified(pLine);
        if (pModified)
            UpdateDevice(pModified, pLine);
    }
    CdsDeviceObject* pDevice = GetNextDeviceToUpdate(pLine);
    if (pDevice && pDevice != pModified) {
        UpdateDevice(pDevice, pLine);
        OnUpdateDevice(pDevice);
    }
    // First values of a plant that just went online do not wait a tick each.
    if (pLine) {
        auto unread = [](CdsDeviceObject* p) {
            return p && CdsDeviceUpdate::GetTheFirstUnreadMemoryArray(*p) != nullptr;
        };
        pLine->m_bStepAtOnce = unread(pModified) || unread(pDevice);
    }
}

void CdsCommHdlr::MonitorNextDevice(tagTHREADINFO* pLine)
{
    CdsDeviceObject* pDevice = GetNextDeviceToMonitor(pLine);
    if (pDevice && pDevice->m_bAutoSwitching)
        pDevice->MonitorDevice(this, pLine);
}

void CdsCommHdlr::UpdateDevices(tagTHREADINFO* pLine)
{
    for (CdsDeviceObject* pDevice : ActiveDevicesSnapshot()) {
        if (!UpdateDevice(pDevice, pLine))
            break;
    }
}

void CdsCommHdlr::RefreshDevices(tagTHREADINFO* pLine)
{
    for (CdsDeviceObject* pDevice : ActiveDevicesSnapshot()) {
        if (!IsInService())
            break;
        pDevice->RefreshDevice(this, pLine);
    }
}

// --- reading a block ---

// What one read of a block works with, found once at its start.
struct CdsCommHdlr::ReadCycle {
    CdsMemoryArray& block;
    CdsDeviceObject& device;
    tagTHREADINFO* pLine;
    int slot;
    const char* pszQuery = nullptr;
    int nQuery = 0;
    LONG retries = 0;
    DWORD delay = 0;
    // A block the PLC keeps failing would log on every scan: the first failure of a
    // run is logged, the others are counted, and the end of the run logs their number.
    CdsFailureRun* failures = nullptr;

    bool FirstFailure() const { return !failures || failures->Fail(); }
};

int CdsCommHdlr::DoDataRead(CdsMemoryArray* pArray, tagTHREADINFO* pLine)
{
    if (!pArray || !pArray->HasAtLeastOneMemoryObject())
        return 0;
    CdsDeviceObject* pDevice = pArray->GetParent();
    if (!pDevice)
        return 0;
    ReadCycle read{*pArray, *pDevice, pLine, BlockSlotOf(pLine)};
    if (m_bNeedStatusQuery && !GetReadQuery(read))
        return 0;
    const int nExpected = pArray->GetStatusResponseStringLen(read.slot);
    read.retries = pDevice->GetRetryOnError(pLine);
    read.delay = static_cast<DWORD>(pDevice->m_nRetryDelay);
    read.failures = pArray->GetReadFailures(read.slot);
    if (m_bNeedStatusQuery && !SendReadQuery(read))
        return 0;
    if (!m_bNeedStatusResponse || nExpected < 1)
        return EndReadWithoutResponse(read);
    // A response the buffer cannot hold is a failed read, never an overrun.
    const ReadAnswer answer = nExpected <= kReceiveBufferSize ? ReceiveReadResponse(read, nExpected) : ReadAnswer::None;
    if (answer == ReadAnswer::Accepted)
        return 1;
    const bool refused = answer == ReadAnswer::Refused;
    LogReadFailure(read);
    MarkReadFailure(read, refused);
    return CountReadFailure(read, refused);
}

bool CdsCommHdlr::GetReadQuery(ReadCycle& read)
{
    CdsMemoryArray& block = read.block;
    if (!block.IsStatusQueryStringInitialized(read.slot)) {
        read.pszQuery = block.FillStatusQueryString(read.slot);
        block.SetStatusQueryStringInitialized(read.slot, TRUE);
    } else {
        read.pszQuery = block.GetStatusQueryString(read.slot);
    }
    if (!read.pszQuery)
        return false;
    read.nQuery = block.GetStatusQueryStringLen(read.slot, read.pszQuery);
    return read.nQuery >= 1;
}

bool CdsCommHdlr::SendReadQuery(const ReadCycle& read)
{
    if (GetThreadTraceLevel(read.pLine) == TRACE_BYTES)
        LogLine(LOG_TRACE, read.pLine, "[%s]%s Reading... (priority = %d), last update = %s\r\n",
                read.device.m_strName.c_str(), read.block.GetName().c_str(), read.block.GetPriority(),
                FormatTime(read.block.GetLastUpdateTime(read.slot)).c_str());
    LONG resent = 0;
    // The first failure names the cause; the retries only see its aftermath
    // (a reset peer answers "Connection reset by peer", then "Broken pipe").
    std::string cause;
    while (!SendQueryMessage(&read.block, read.pszQuery, read.nQuery, TRUE, read.pLine)) {
        if (cause.empty())
            cause = GetWriteFailure(read.pLine);
        if (resent >= read.retries + 1) {
            if (read.FirstFailure())
                LogLine(LOG_ERROR, read.pLine, "Sending QueryMessage ([%s]%s) failed%s\r\n",
                        read.device.m_strName.c_str(), read.block.GetName().c_str(), FailureSuffix(cause).c_str());
            return false;
        }
        if (!IsInService())
            break;
        Sleep(read.delay);
        ++resent;
    }
    return true;
}

int CdsCommHdlr::EndReadWithoutResponse(const ReadCycle& read)
{
    read.device.HoldWrites(read.pLine, false);
    StampRead(read, NowSeconds());
    read.block.UpdateVariants(nullptr, 0, this, read.pLine);
    EndReadFailures(read.block, read.slot, read.pLine);
    return 1;
}

CdsCommHdlr::ReadAnswer CdsCommHdlr::ReceiveReadResponse(const ReadCycle& read, int nExpected)
{
    std::array<BYTE, kReceiveBufferSize> buffer{};
    for (LONG attempt = 0; attempt <= read.retries && IsInService(); ++attempt) {
        int received = 0;
        if (ReceiveResponseMessage(&read.block, buffer.data(), nExpected, received, read.pszQuery, TRUE, read.pLine))
            return DeliverReadResponse(read, buffer.data(), received);
        if (IsStopSignalled())
            break; // the line stops: no retry, no retry delay
        Sleep(read.delay);
    }
    return ReadAnswer::None;
}

CdsCommHdlr::ReadAnswer CdsCommHdlr::DeliverReadResponse(const ReadCycle& read, const BYTE* pResponse, int nReceived)
{
    // The PLC answers again: the writes that waited for it may go.
    read.device.HoldWrites(read.pLine, false);
    // One wall time for the whole block: its points' timestamps and its update time.
    const auto wall = GetClock().wallTime();
    const DeliveryScope delivery(read.block, win::toFileTime(wall));
    // An answer the block refuses (a PLC's end code above all) shows a live line:
    // it is kept out of the line's error count, so one bad block never resets the
    // connection of the others.
    if (!read.block.UpdateStatus(read.slot, pResponse, nReceived, this, read.pLine))
        return ReadAnswer::Refused;
    StampRead(read, std::chrono::duration_cast<std::chrono::seconds>(wall.time_since_epoch()).count());
    // The device and the variants get the response the block was handed, whatever
    // the block read after it (see CdsMemoryArray::UpdateStatus).
    read.device.UpdateStatus(pResponse, nReceived, read.pLine);
    read.block.UpdateVariants(pResponse, nReceived, this, read.pLine);
    EndReadFailures(read.block, read.slot, read.pLine);
    return ReadAnswer::Accepted;
}

void CdsCommHdlr::StampRead(const ReadCycle& read, LONGLONG tNow)
{
    read.block.SetModified(FALSE);
    read.block.SetLastUpdateTime(read.slot, tNow);
    UpdateSysTime(&read.device, tNow, read.pLine, FALSE);
}

void CdsCommHdlr::LogReadFailure(const ReadCycle& read)
{
    if (m_bNeedStatusQuery && read.FirstFailure())
        LogLine(LOG_ERROR, read.pLine, "DataRead ([%s]%s) failed!\r\n", read.device.m_strName.c_str(),
                read.block.GetName().c_str());
}

void CdsCommHdlr::MarkReadFailure(const ReadCycle& read, bool bRefused)
{
    if (bRefused) {
        MarkPointsUnread(read.block);
    } else if (IsInService()) {
        MarkDeviceUnanswered(read.device, read.pLine);
    }
}

int CdsCommHdlr::CountReadFailure(const ReadCycle& read, bool bRefused)
{
    if (IsPortOpen(read.pLine)) {
        if (!bRefused)
            return 0;
        // The caller counts failures on the block; a refusal is counted here.
        read.block.IncreaseErrorCount();
        return 1;
    }
    read.device.AddErrorCount(read.pLine, read.device.GetMaxErrorsAllowed(read.pLine));
    return 0;
}

void CdsCommHdlr::EndReadFailures(CdsMemoryArray& block, int nSlot, const tagTHREADINFO* pLine)
{
    CdsFailureRun* failures = block.GetReadFailures(nSlot);
    const std::int64_t failed = failures ? failures->Recover() : 0;
    if (failed < 1)
        return;
    const CdsDeviceObject* pDevice = block.GetParent();
    LogLine(LOG_INFO, pLine, "DataRead ([%s]%s) recovered after %lld failure%s.\r\n",
            pDevice ? pDevice->m_strName.c_str() : "", block.GetName().c_str(), static_cast<long long>(failed),
            Plural(failed));
}

void CdsCommHdlr::MarkDeviceUnanswered(CdsDeviceObject& device, const tagTHREADINFO* pLine)
{
    // A healthy line that reads the device, or takes over once this one gives up,
    // delivers its values: they stay as they are until then.
    if (CanOtherLineTakeOver(&device, pLine))
        return;
    // A PLC that keeps its connection but stops answering must not leave stale
    // values reported good until the line's error count runs out: every block
    // of the station is as old as the request that went unanswered. They keep
    // their values (a client still reads them, as uncertain) and the next read
    // makes them good again.
    for (CdsMemoryArray* pBlock : device.GetMemoryArrayList().GetBlocks())
        if (!pBlock->IsSystemArray())
            SetPointsQuality(*pBlock, kQualityNoAnswer);
}

void CdsCommHdlr::MarkPointsUnread(CdsMemoryArray& block)
{
    // Untouched, the next value read makes a point good again, changed or not.
    for (int i = 0; i < block.GetSize(); ++i) {
        if (CdsMemoryObject* pPoint = block.GetMemoryObject(i)) {
            pPoint->SetTouched(FALSE);
            pPoint->SetStatus(CdsMemoryObject::QUALITY_NONE);
        }
    }
}

void CdsCommHdlr::SetPointsQuality(CdsMemoryArray& block, WORD wQuality)
{
    for (int i = 0; i < block.GetSize(); ++i) {
        CdsMemoryObject* pPoint = block.GetMemoryObject(i);
        if (pPoint && pPoint->GetStatus() != wQuality)
            pPoint->SetStatus(wQuality);
    }
}

CdsMemoryArray* CdsCommHdlr::ReadBackBlockOf(CdsMemoryObject* pPoint)
{
    CdsMemoryArray* pArray = pPoint ? pPoint->GetParent() : nullptr;
    // A bit lives in the word of its point; the point's block is what is read.
    if (auto* pBits = dynamic_cast<CdsBitArray*>(pArray)) {
        if (CdsMemoryObject* pOwner = pBits->GetParentMemoryObject())
            return pOwner->GetParent();
    }
    return pArray;
}

// --- writing a point ---

CdsCommHdlr::WriteOutcome& CdsCommHdlr::WriteOutcomeOf(const tagTHREADINFO* pLine)
{
    return m_writeOutcomes[static_cast<std::size_t>(pLine ? pLine->LineIndex() : 0)];
}

bool CdsCommHdlr::SetWriteRefusal(const tagTHREADINFO* pLine, const std::string& reason)
{
    WriteOutcomeOf(pLine).cause = reason;
    return true;
}

int CdsCommHdlr::DoDataWrite(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& value, tagTHREADINFO* pLine)
{
    WriteOutcome& outcome = WriteOutcomeOf(pLine);
    outcome = {WriteEnd::NotBuilt, {}};
    CdsMemoryArray* pArray = pPoint ? pPoint->GetParent() : nullptr;
    CdsDeviceObject* pDevice = pArray ? pArray->GetParent() : nullptr;
    if (!pDevice)
        return 0;
    const int slot = BlockSlotOf(pLine);
    const char* pszQuery = nullptr;
    int nQuery = 0;
    if (m_bNeedCommandQuery) {
        // Every write carries its own value, so its frame is made afresh.
        pszQuery = pPoint->FillCommandQueryString(slot);
        pArray->SetCommandQueryStringInitialized(slot, TRUE);
        if (!pszQuery)
            return 0;
        nQuery = pPoint->GetCommandQueryStringLen(slot, pszQuery);
        if (nQuery < 1)
            return 0;
    }
    const int nExpected = pPoint->GetCommandResponseStringLen(slot);
    const LONG retries = pDevice->GetRetryOnError(pLine);
    const DWORD delay = static_cast<DWORD>(pDevice->m_nRetryDelay);
    if (GetThreadTraceLevel(pLine) == TRACE_BYTES)
        LogLine(LOG_TRACE, pLine, "[%s]%s Writing... (priority = %d), last update = %s\r\n",
                pDevice->m_strName.c_str(), pPoint->GetName().c_str(), pArray->GetPriority(),
                FormatTime(pArray->GetLastUpdateTime(slot)).c_str());
    if (m_bNeedCommandQuery && !SendQueryMessage(pArray, pszQuery, nQuery, FALSE, pLine)) {
        if (!IsValidQueryMessage(pArray, pszQuery, nQuery, FALSE)) {
            outcome.cause = "its request is not valid"; // refused before it went out
            return 0;
        }
        outcome.end = WriteEnd::NotSent;
        outcome.cause = GetWriteFailure(pLine);
        if (outcome.cause.empty())
            outcome.cause = IsPortOpen(pLine) ? "the port did not take it" : "the connection is closed";
        return 0;
    }
    outcome.end = WriteEnd::NotConfirmed;

    std::array<BYTE, kReceiveBufferSize> buffer{};
    int received = 0;
    if (m_bNeedCommandResponse && nExpected > 0) {
        bool answered = false;
        bool invalid = false;
        if (nExpected <= kReceiveBufferSize) {
            for (LONG attempt = 0; attempt <= retries; ++attempt) {
                if (ReceiveResponseMessage(pArray, buffer.data(), nExpected, received, pszQuery, FALSE, pLine)) {
                    answered = true;
                    break;
                }
                invalid = invalid || received > 0;
                if (IsStopSignalled())
                    break; // the line stops: its wait for the answer was cut short
                Sleep(delay);
            }
        }
        if (!answered) {
            LogLine(LOG_ERROR, pLine, "DataWrite ([%s]%s) failed!\r\n", pDevice->m_strName.c_str(),
                    pPoint->GetName().c_str());
            if (IsStopSignalled()) {
                outcome.cause = "the line stopped before an answer came";
            } else if (!IsPortOpen(pLine)) {
                outcome.cause = "the connection closed before an answer came";
                pDevice->AddErrorCount(pLine, pDevice->GetMaxErrorsAllowed(pLine));
            } else if (invalid) {
                outcome.cause = "no valid answer came";
            } else {
                // Each attempt waits the receive time-out and then the retry delay.
                const long long waited =
                    static_cast<long long>(retries + 1) * (GetRxTimeout(pDevice) + static_cast<long long>(delay));
                outcome.cause = "no answer within " + std::to_string(waited) + " ms";
            }
            return 0;
        }
    }
    // The PLC answers: writes that waited for it may go.
    pDevice->HoldWrites(pLine, false);
    // The point checks the answer. A write the PLC refused was answered: the line
    // is alive. It is counted on the block, and the block is read back either way,
    // so clients see what the PLC holds.
    outcome = {WriteEnd::Refused, {}};
    const BOOL accepted = pPoint->UpdateCommand(value, slot, received > 0 ? buffer.data() : nullptr, received,
                                                this, pLine);
    CdsMemoryArray* pReadBack = ReadBackBlockOf(pPoint);
    if (!accepted) {
        pReadBack->IncreaseErrorCount();
        const std::string write = kestrun::DescribeWrite(pPoint, pPoint->GetDataType(), value);
        if (outcome.cause.empty())
            LogLine(LOG_ERROR, pLine, "Write %s was not confirmed: its answer does not confirm it\r\n", write.c_str());
        else
            LogLine(LOG_ERROR, pLine, "Write %s was refused by the PLC: %s\r\n", write.c_str(),
                    outcome.cause.c_str());
    } else {
        outcome = {WriteEnd::Done, {}};
    }
    pReadBack->SetModified(TRUE);
    pReadBack->SetLastUpdateTime(slot, NowSeconds());
    return 1;
}

void CdsCommHdlr::OnWriteFailed(const CdsEventData& event, tagTHREADINFO* pLine)
{
    CdsMemoryObject* pPoint = event.GetPoint();
    const WriteOutcome& outcome = WriteOutcomeOf(pLine);
    const std::string write = kestrun::DescribeWrite(pPoint, event.GetDataType(), event.GetValue());
    CdsMemoryArray* pArray = ReadBackBlockOf(pPoint);
    CdsDeviceObject* pDevice = pArray ? pArray->GetParent() : nullptr;
    if (outcome.end == WriteEnd::NotBuilt) {
        // Nothing went out: the line is not to blame, the block counts it.
        std::string cause = outcome.cause;
        if (cause.empty() && pPoint)
            cause = pPoint->GetWriteRefusal();
        if (cause.empty())
            cause = "no request could be made for it";
        LogLine(LOG_ERROR, pLine, "Write %s was not sent: %s\r\n", write.c_str(), cause.c_str());
        if (pArray)
            pArray->IncreaseErrorCount();
        return;
    }
    // Sent or not, a write that may have reached the PLC is only "not confirmed".
    if (outcome.end == WriteEnd::NotSent)
        LogLine(LOG_ERROR, pLine, "Write %s did not reach the PLC: %s\r\n", write.c_str(), outcome.cause.c_str());
    else
        LogLine(LOG_ERROR, pLine, "Write %s was not confirmed: %s\r\n", write.c_str(), outcome.cause.c_str());
    if (pArray) {
        pArray->IncreaseErrorCount();
        pArray->SetModified(TRUE); // read back: clients see what the PLC holds
    }
    if (!pDevice)
        return;
    // The writes still waiting are not sent one by one into a PLC that does not
    // answer: they wait for its next answer on this line.
    pDevice->HoldWrites(pLine, true);
    if (outcome.end == WriteEnd::NotConfirmed && IsInService())
        MarkDeviceUnanswered(*pDevice, pLine);
    if (UpdateCommPortStatus(pDevice, FALSE, pLine))
        OnUpdateModeChange(pDevice, pLine, pDevice->GetUpdateMode(pLine));
}

void CdsCommHdlr::DoServiceCommands(tagTHREADINFO* pLine)
{
    std::shared_ptr<CdsEventQueue> pQueue = GetEventQueue();
    if (!pQueue)
        return;
    if (IsBackupAvailable() && (IsThisInCommError(pLine) || IsThisInCPUError(pLine) || !IsThisInMaster(pLine) ||
                                !IsThisInRunning(pLine)))
        return;
    // A device whose writes are held keeps them in their order; its block is read
    // back at the next visit, and that answer lets them go. A block that is never
    // read has no such answer: one of its writes a pass asks the PLC instead.
    bool probed = false;
    const auto eligible = [pLine, &probed](const CdsEventData& event) {
        CdsMemoryArray* pArray = ReadBackBlockOf(event.GetPoint());
        CdsDeviceObject* pDevice = pArray ? pArray->GetParent() : nullptr;
        if (!pDevice || !pDevice->AreWritesHeld(pLine))
            return true;
        if (!pArray->IsReadAllowed()) {
            if (probed)
                return false;
            probed = true;
            return true;
        }
        pArray->SetModified(TRUE);
        return false;
    };
    for (;;) {
        CdsEventData::Ptr pEvent = pQueue->TakeOldestEventWhere(eligible);
        if (!pEvent)
            return;
        if (!HandleEvent(pEvent.get(), pLine)) {
            CdsMemoryObject* pPoint = pEvent->GetPoint();
            // A write that fails before the base cycle starts was never built.
            WriteOutcomeOf(pLine) = {WriteEnd::NotBuilt, {}};
            if (pPoint && !DoDataWrite(pPoint, pEvent->GetValue(), pLine))
                OnWriteFailed(*pEvent, pLine);
        }
        pEvent.reset();
        if (m_stopEvent->isSet())
            return;
        Sleep(1);
    }
}

// --- probing a device ---

int CdsCommHdlr::DoDeviceMonitor(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, int nRetry)
{
    if (!pDevice)
        return 0;
    const char* pszQuery = nullptr;
    int nQuery = 0;
    if (m_bNeedMonitorQuery) {
        const bool build = !pDevice->IsMonitorQueryStringInitialized(pLine);
        pszQuery = pDevice->GetMonitorQueryString(pLine, build);
        if (build)
            pDevice->SetMonitorQueryStringInitialized(pLine, true);
        if (!pszQuery)
            return 0;
        nQuery = pDevice->GetMonitorQueryStringLen(pLine, pszQuery);
        if (nQuery < 1)
            return 0;
    }
    const int nExpected = pDevice->GetMonitorResponseStringLen(pLine);
    const LONG retries = pDevice->GetRetryOnError(pLine);
    const DWORD delay = static_cast<DWORD>(pDevice->m_nRetryDelay);
    if (m_bNeedMonitorQuery) {
        if (GetThreadTraceLevel(pLine) == TRACE_BYTES)
            LogLine(LOG_TRACE, pLine, "[%s] Monitoring...\r\n", pDevice->m_strName.c_str());
        if (!SendMonitorMessage(pDevice, pszQuery, nQuery, pLine)) {
            if (nRetry == 0)
                return 0;
            bool sent = false;
            for (LONG attempt = 0; attempt <= retries; ++attempt) {
                if (!IsInService()) {
                    sent = true; // leaving service goes on to receive, where it stops
                    break;
                }
                Sleep(delay);
                if (SendMonitorMessage(pDevice, pszQuery, nQuery, pLine)) {
                    sent = true;
                    break;
                }
            }
            if (!sent)
                return 0;
        }
    }
    if (!m_bNeedMonitorResponse)
        return 1;

    int result = 0;
    std::array<BYTE, kReceiveBufferSize> buffer{};
    if (nExpected <= kReceiveBufferSize) {
        for (LONG attempt = 0; IsInService(); ++attempt) {
            int received = 0;
            if (ReceiveMonitorMessage(pDevice, buffer.data(), nExpected, received, pszQuery, pLine)) {
                if (pDevice->UpdateStatus(buffer.data(), received, pLine)) {
                    if (const std::int64_t failed = pDevice->GetMonitorFailures(pLine).Recover(); failed > 0)
                        LogLine(LOG_INFO, pLine, "DeviceMonitor ([%s]) recovered after %lld failure%s.\r\n",
                                pDevice->m_strName.c_str(), static_cast<long long>(failed), Plural(failed));
                    return 1;
                }
                result = 1;
                break;
            }
            if (nRetry == 0 || attempt >= retries + 1)
                break;
            Sleep(delay);
        }
    }
    // A standby that stays down is logged when it goes down and when it comes back.
    if (pDevice->GetMonitorFailures(pLine).Fail())
        LogLine(LOG_ERROR, pLine, "DeviceMonitor ([%s]) failed!\r\n", pDevice->m_strName.c_str());
    return result;
}

// --- sending and receiving ---

int CdsCommHdlr::ReceiveResponseMessage(CdsMemoryArray* pArray, BYTE* pBuffer, int nLength, int& nReceived,
                                        const char* pszQuery, BOOL bRead, tagTHREADINFO* pLine)
{
    nReceived = 0;
    CdsDeviceObject* pDevice = pArray ? pArray->GetParent() : nullptr;
    const int n = ReadBytes(pDevice, pBuffer, nLength, TRUE, pLine);
    if (n < 0) {
        if (GetThreadTraceLevel(pLine) == TRACE_BYTES) {
            if (pArray && pDevice)
                LogLine(LOG_ERROR, pLine, "ReadBytes Error([%s]%s), %s!\r\n", pDevice->m_strName.c_str(),
                        pArray->GetName().c_str(), StatusText(n));
            else
                LogLine(LOG_ERROR, pLine, "ReadBytes Error, %s!\r\n", StatusText(n));
        }
        return 0;
    }
    if (n == 0)
        return 0;
    nReceived = n;
    if (IsValidResponseMessage(pArray, pBuffer, n, pszQuery, bRead))
        return 1;
    // A block that keeps failing logged its run's start already.
    if (!bRead || !pArray || !pArray->IsReadFailing(BlockSlotOf(pLine)))
        LogLine(LOG_ERROR, pLine, "Invalid response message!\r\n");
    return 0;
}

int CdsCommHdlr::ReceiveMonitorMessage(CdsDeviceObject* pDevice, BYTE* pBuffer, int nLength, int& nReceived,
                                       const char* pszQuery, tagTHREADINFO* pLine)
{
    nReceived = 0;
    const int n = ReadBytes(pDevice, pBuffer, nLength, TRUE, pLine);
    if (n < 0) {
        if (GetThreadTraceLevel(pLine) == TRACE_BYTES)
            LogLine(LOG_ERROR, pLine, "ReadBytes Error, %s!\r\n", StatusText(n));
        return 0;
    }
    if (n == 0)
        return 0;
    nReceived = n;
    if (IsValidMonitorResponse(pDevice, pBuffer, n, pszQuery))
        return 1;
    LogLine(LOG_ERROR, pLine, "Invalid response message!\r\n");
    return 0;
}

int CdsCommHdlr::SendQueryMessage(CdsMemoryArray* pArray, const char* pszQuery, int nLength, BOOL bRead,
                                  tagTHREADINFO* pLine)
{
    m_writeFailures[static_cast<std::size_t>(pLine ? pLine->LineIndex() : 0)].clear();
    if (!IsValidQueryMessage(pArray, pszQuery, nLength, bRead))
        return 0;
    CdsDeviceObject* pDevice = pArray ? pArray->GetParent() : nullptr;
    return WriteBytes(pDevice, reinterpret_cast<const BYTE*>(pszQuery), nLength, TRUE, pLine) >= 0 ? 1 : 0;
}

int CdsCommHdlr::SendMonitorMessage(CdsDeviceObject* pDevice, const char* pszQuery, int nLength, tagTHREADINFO* pLine)
{
    if (!IsValidMonitorQuery(pDevice, pszQuery, nLength))
        return 0;
    return WriteBytes(pDevice, reinterpret_cast<const BYTE*>(pszQuery), nLength, TRUE, pLine) >= 0 ? 1 : 0;
}
