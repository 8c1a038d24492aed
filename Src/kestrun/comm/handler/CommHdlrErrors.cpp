// Error counting after each request, port resets and switching a failed
// line's updating over to its partner.
#include "kestrun/comm/handler/CommHdlr.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/MemoryObject.h"

namespace {

constexpr WORD kQualityCommLost = 64;
constexpr WORD kQualityNoData = 24;   // bad, communication failure: no last value to keep

const char* LineName(int nLine)
{
    static constexpr const char* kNames[LINE_COUNT] = {"primary master", "secondary master", "primary backup",
                                                       "secondary backup"};
    return nLine >= 0 && nLine < LINE_COUNT ? kNames[nLine] : "";
}

} // namespace

int CdsCommHdlr::MarkLineOk(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, int nMode)
{
    UpdateCommErrorState(pLine, FALSE);
    pDevice->ResetErrorCount(pLine);
    if (pDevice->GetUpdateMode(pLine) == nMode)
        return 0;
    UpdateUpdateMode(pDevice, nMode, pLine, FALSE);
    return 1;
}

bool CdsCommHdlr::CountLineError(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, LONG& count)
{
    const LONG max = pDevice->GetMaxErrorsAllowed(pLine);
    // A closed port counts as over the maximum at once.
    if (!IsPortOpen(pLine))
        pDevice->AddErrorCount(pLine, max);
    count = pDevice->AddErrorCount(pLine, 1);
    return count >= max;
}

void CdsCommHdlr::StopLineInError(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, LONG count)
{
    UpdateCommErrorState(pLine, TRUE);
    UpdateUpdateMode(pDevice, UPDATEMODE_STOPPED, pLine, FALSE);
    LogLine(LOG_ERROR, pLine, "Device [%s] error over max allowed number(%d)!\r\n", pDevice->m_strName.c_str(),
            static_cast<int>(count));
}

int CdsCommHdlr::UpdateCommPortStatus(CdsDeviceObject* pDevice, BOOL bOk, tagTHREADINFO* pLine)
{
    if (!pDevice)
        return 0;
    if (bOk)
        return MarkLineOk(pDevice, pLine, UPDATEMODE_UPDATING);
    LONG count = 0;
    if (!CountLineError(pDevice, pLine, count))
        return 0;

    const SHORT mode = pDevice->GetUpdateMode(pLine);
    const bool wasActive = mode == UPDATEMODE_UPDATING || mode == UPDATEMODE_MONITOR;
    StopLineInError(pDevice, pLine, count);
    // Marked before the reset: a port handler's reset waits the reset delay and
    // reconnects, and all that time the clients must not see the old values as good.
    // A redundant device whose other lines have failed as well is as lost as one
    // with a single line.
    const bool lost = !CanOtherLineTakeOver(pDevice, pLine);
    if (wasActive && lost) {
        pDevice->TouchAllItems(FALSE);
        pDevice->SetStatusAllItems(kQualityCommLost);
    } else if (lost) {
        // A device that never delivered: its clients learn that nothing will come.
        pDevice->SetStatusOfUnreadItems(kQualityNoData);
    }
    ResetCommPort(pDevice, pLine);
    if (IsDeviceSupportRedundancy(pDevice) && pDevice->m_bSwitchOnCommError && !IsOtherInCommError(pLine)) {
        if (!SwitchMaster(pDevice, pLine, "Comm error", FALSE))
            ShowLogMessageFromThread(LOG_ERROR, "Cannot switch to backup CPU\r\n");
    }
    return wasActive ? 1 : 0;
}

int CdsCommHdlr::UpdateMonitorPortStatus(CdsDeviceObject* pDevice, BOOL bOk, tagTHREADINFO* pLine)
{
    if (!pDevice)
        return 0;
    if (bOk)
        return MarkLineOk(pDevice, pLine, UPDATEMODE_MONITOR);
    LONG count = 0;
    if (!CountLineError(pDevice, pLine, count))
        return 0;
    StopLineInError(pDevice, pLine, count);
    ResetCommPort(pDevice, pLine);
    return 0;
}

void CdsCommHdlr::ResetCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine)
{
    for (CdsDeviceObject* p : ActiveDevicesSnapshot()) {
        p->SetModified(FALSE);
        p->ResetErrorCount(pLine);
    }
    if (pDevice)
        UpdateUpdateMode(pDevice, UPDATEMODE_NOT_RUNNING, pLine, FALSE);
}

bool CdsCommHdlr::IsPartnerTakingOver(const CdsDeviceObject* pDevice, const tagTHREADINFO* pLine) const
{
    if (!pLine || pLine->m_nKind.load() != LINE_KIND_UPDATE || !IsDeviceSupportRedundancy(pDevice) ||
        !pDevice->m_bSwitchOnCommError)
        return false;
    const tagTHREADINFO* pOther = GetOtherInfo(pLine);
    return pOther && IsLineAllowed(pDevice, pOther->LineIndex()) && !IsThisInCommError(pOther);
}

bool CdsCommHdlr::CanOtherLineTakeOver(const CdsDeviceObject* pDevice, const tagTHREADINFO* pLine) const
{
    if (!pDevice || IndexOfLine(pLine) < 0)
        return false;
    const tagTHREADINFO* pPartner = IsPartnerTakingOver(pDevice, pLine) ? GetOtherInfo(pLine) : nullptr;
    for (int index = 0; index < LINE_COUNT; ++index) {
        const tagTHREADINFO* pOther = GetLine(index);
        // A line that failed since its last answer may be down as well: it stands for nothing.
        if (!pOther || pOther == pLine || !IsLineAllowed(pDevice, index) || IsThisInCommError(pOther) ||
            pDevice->GetErrorCount(pOther) > 0)
            continue;
        if (pOther == pPartner || pOther->m_nKind.load() == LINE_KIND_UPDATE)
            return true;
    }
    return false;
}

BOOL CdsCommHdlr::SwitchMaster(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, const char* pszReason, BOOL)
{
    const int index = IndexOfLine(pLine);
    if (index < 0)
        return FALSE;
    tagTHREADINFO* pOther = GetLine(index ^ 1);
    if (!pOther)
        return FALSE;
    pOther->m_nKind = LINE_KIND_UPDATE;
    pLine->m_nKind = LINE_KIND_MONITOR;
    UpdateActiveLine(pDevice, pOther, TRUE);
    ShowLogVaMessageFromThread(LOG_INFO, "Switched to %s (%s)\r\n", LineName(index), pszReason ? pszReason : "");
    return TRUE;
}

void CdsCommHdlr::UpdateActiveLine(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, BOOL bAll)
{
    const int index = IndexOfLine(pLine);
    if (index < 0)
        return;
    const SHORT value = static_cast<SHORT>(index + 1);
    const bool backup = pLine->m_bIsBackup != 0;
    auto write = [&](CdsDeviceObject* p) {
        WriteShortPoint(backup ? p->GetBackupActiveLineObject() : p->GetMasterActiveLineObject(), value);
    };
    ForDeviceAndOthers(pDevice, bAll, write);
}
