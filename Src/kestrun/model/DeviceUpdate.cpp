#include "kestrun/model/DeviceUpdate.h"

#include <limits>

#include "kestrun/comm/handler/CommHdlr.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/options/EngineCounters.h"
#include "kestrun/options/ServerOptions.h"

namespace {

bool IsScanCandidate(const CdsMemoryArray& block)
{
    if (!CdsServerOptions::g_bUseDynamicScan.load())
        return true;
    return block.GetUseCount() > 0 || block.GetBitRefCount() > 0;
}

bool IsPolled(const CdsMemoryArray& block)
{
    return !block.IsSystemArray() && block.IsReadAllowed() && block.GetSize() > 0 &&
           block.HasAtLeastOneMemoryObject();
}

} // namespace

CdsMemoryArray* CdsDeviceUpdate::GetTheLatestModifiedMemoryArray(CdsDeviceObject& device)
{
    if (!device.HasModifiedHint())
        return nullptr; // no block is marked
    CdsMemoryArray* pBest = nullptr;
    for (CdsMemoryArray* pArray : device.GetMemoryArrayList().GetBlocks()) {
        if (!pArray->IsModified() || !pArray->IsWriteAllowed())
            continue;
        if (!pBest || pArray->GetPriority() >= pBest->GetPriority())
            pBest = pArray;
    }
    // Picked once: a read-back that fails is not retried on every visit.
    if (pBest)
        pBest->SetModified(FALSE);
    return pBest;
}

CdsMemoryArray* CdsDeviceUpdate::GetTheFirstUnreadMemoryArray(CdsDeviceObject& device)
{
    if (!device.HasUnreadHint())
        return nullptr;
    bool waiting = false;
    for (CdsMemoryArray* pArray : device.GetMemoryArrayList().GetBlocks()) {
        if (!pArray->IsUnread() || !IsPolled(*pArray))
            continue;
        if (IsScanCandidate(*pArray))
            return pArray;
        waiting = true; // read first once a client uses it
    }
    if (!waiting)
        device.ClearUnreadBlocks();
    return nullptr;
}

CdsMemoryArray* CdsDeviceUpdate::GetTheNextDueMemoryArray(CdsDeviceObject& device)
{
    const int step = static_cast<int>(std::min<unsigned long>(CdsServerOptions::g_dwDataUpdateTime.load(),
                                                               std::numeric_limits<int>::max()));
    CdsMemoryArray* pBest = nullptr;
    for (CdsMemoryArray* pArray : device.GetMemoryArrayList().GetBlocks()) {
        if (!IsPolled(*pArray) || pArray->GetPriority() > 0)
            continue;
        // Stops short of the limit: a block passed over for weeks must not wrap round to "not due".
        if (pArray->GetDueTime() <= std::numeric_limits<int>::max() - step)
            pArray->IncreaseDueTime(step);
        if (!IsScanCandidate(*pArray))
            continue;
        if (!pBest || pArray->GetDueTime() >= pBest->GetDueTime())
            pBest = pArray;
    }
    return pBest && pBest->GetDueTime() > 0 ? pBest : nullptr;
}

CdsMemoryArray* CdsDeviceUpdate::GetTheMostUrgentMemoryArray(CdsDeviceObject& device)
{
    CdsMemoryArray* pBest = nullptr;
    for (CdsMemoryArray* pArray : device.GetMemoryArrayList().GetBlocks()) {
        if (!IsPolled(*pArray) || pArray->GetPriority() <= 0)
            continue;
        if (pArray->GetIdleTime() <= std::numeric_limits<int>::max() - pArray->GetPriority())
            pArray->IncreaseIdleTime();
        if (!IsScanCandidate(*pArray))
            continue;
        if (!pBest || pArray->GetIdleTime() >= pBest->GetIdleTime())
            pBest = pArray;
    }
    return pBest;
}

BOOL CdsDeviceUpdate::UpdateMemoryArray(CdsCommHdlr* pHdlr, CdsMemoryArray* pArray, tagTHREADINFO* pLine)
{
    if (!pHdlr || !pArray)
        return FALSE;
    CdsDeviceObject* pDevice = pArray->GetParent();
    BOOL result = FALSE;
    int changed = 0;
    pArray->NoteReadTried(); // a failed first read counts: an unreachable PLC is not hurried
    if (pHdlr->IsPortOpen(pLine)) {
        if (!pArray->IsReadAllowed()) {
            pArray->ResetIdleTime();
            pArray->ResetDueTime();
            return TRUE;
        }
        result = pHdlr->DoDataRead(pArray, pLine) ? TRUE : FALSE;
        if (!result)
            pArray->IncreaseErrorCount();
        changed = pHdlr->UpdateCommPortStatus(pDevice, result, pLine);
    } else {
        pArray->IncreaseErrorCount();
        changed = pHdlr->UpdateCommPortStatus(pDevice, FALSE, pLine);
    }
    if (changed && pDevice)
        pHdlr->OnUpdateModeChange(pDevice, pLine, pDevice->GetUpdateMode(pLine));
    pArray->ResetIdleTime();
    pArray->ResetDueTime();
    return result;
}

void CdsDeviceUpdate::RefreshDevice(CdsDeviceObject& device, CdsCommHdlr& hdlr, tagTHREADINFO* pLine)
{
    for (CdsMemoryArray* pArray : device.GetMemoryArrayList().GetBlocks()) {
        if (!hdlr.IsInService())
            break;
        if (pArray->IsSystemArray())
            continue;
        UpdateMemoryArray(&hdlr, pArray, pLine);
    }
}

BOOL CdsDeviceUpdate::MonitorDevice(CdsDeviceObject& device, CdsCommHdlr& hdlr, tagTHREADINFO* pLine)
{
    if (!hdlr.IsInService())
        return FALSE;
    const BOOL result = hdlr.IsPortOpen(pLine) ? hdlr.DoDeviceMonitor(&device, pLine, 0) : FALSE;
    if (hdlr.UpdateMonitorPortStatus(&device, result, pLine))
        hdlr.OnUpdateModeChange(&device, pLine, device.GetUpdateMode(pLine));
    return result;
}

BOOL CdsDeviceUpdate::UpdateDevice(CdsDeviceObject& device, CdsCommHdlr& hdlr, tagTHREADINFO* pLine)
{
    if (CdsMemoryArray* pWritten = GetTheLatestModifiedMemoryArray(device))
        UpdateMemoryArray(&hdlr, pWritten, pLine);

    BOOL result = FALSE;
    if (!device.m_bScheduledScan) {
        RefreshDevice(device, hdlr, pLine);
        result = TRUE;
    } else if (CdsMemoryArray* pUnread = GetTheFirstUnreadMemoryArray(device)) {
        // Such visits come at once, one after another: they move no scan counter,
        // so the cadence of the scan is the same once every block was read.
        result = UpdateMemoryArray(&hdlr, pUnread, pLine);
        if (!result) {
            ++CdsEngineCounters::m_nWdogScantime;
            return FALSE;
        }
    } else {
        CdsMemoryArray* pDue = GetTheNextDueMemoryArray(device);
        const BOOL r1 = pDue ? UpdateMemoryArray(&hdlr, pDue, pLine) : FALSE;
        CdsMemoryArray* pUrgent = GetTheMostUrgentMemoryArray(device);
        const BOOL r2 = pUrgent ? UpdateMemoryArray(&hdlr, pUrgent, pLine) : FALSE;
        if (r1 || r2) {
            result = TRUE;
        } else {
            const std::uint64_t interval = CdsServerOptions::g_dwCheckMonitorInterval.load();
            const std::uint64_t nowMs = hdlr.NowMs();
            const LONGLONG nowSeconds = hdlr.NowSeconds();
            const auto sinceMonitor = nowMs - static_cast<std::uint64_t>(device.GetLastMonitorTime(pLine));
            const LONGLONG sinceUpdate = nowSeconds - device.GetLastUpdateTime(pLine);
            if (device.m_bIdleMonitor && !pDue && !pUrgent && sinceMonitor > interval &&
                sinceUpdate >= 0 && static_cast<std::uint64_t>(sinceUpdate) * 1000u > interval) {
                result = MonitorDevice(device, hdlr, pLine);
                // The probe's time is kept on the monotonic clock; the update time stays wall time.
                device.SetLastMonitorTime(pLine, static_cast<LONGLONG>(nowMs));
                hdlr.UpdateSysTime(&device, nowSeconds, pLine, FALSE);
            }
            if (!result) {
                ++CdsEngineCounters::m_nWdogScantime;
                return FALSE;
            }
        }
    }
    device.IncreasePollCount();
    ++CdsEngineCounters::m_nWdogPolling;
    ++CdsEngineCounters::m_nWdogScantime;
    return result;
}
