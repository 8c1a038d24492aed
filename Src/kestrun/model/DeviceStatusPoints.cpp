// A device's status points ("$Array" block) and the operator commands written to them.
#include <vector>

#include "kestrun/comm/handler/CommHdlr.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/DeviceUpdate.h"
#include "kestrun/model/SystemArray.h"
#include "kestrun/options/ServerOptions.h"

namespace {

_BRISANTDATAVALUE Short(SHORT n)
{
    _BRISANTDATAVALUE value{};
    value.iVal = n;
    return value;
}

} // namespace

bool CdsDeviceObject::HasRedundancyLines() const { return IsValidSecondaryMasterConfig() && m_bAutoSwitching; }

bool CdsDeviceObject::HasBackupLines() const
{
    return HasRedundancyLines() && (IsValidPrimaryBackupConfig() || IsValidSecondaryBackupConfig());
}

void CdsDeviceObject::ForgetStatusPoints()
{
    m_pSysMode = nullptr;
    m_pTime.fill(nullptr);
    m_pUpdateMode.fill(nullptr);
    m_pActiveLine.fill(nullptr);
    m_pCommGood = nullptr;
    m_pCommFail = nullptr;
}

void CdsDeviceObject::DestroySystemArrays()
{
    ForgetStatusPoints();
    std::vector<CdsMemoryArray*> systemBlocks;
    for (CdsMemoryArray* block : m_blocks.GetBlocks()) {
        if (dynamic_cast<CdsSystemArray*>(block))
            systemBlocks.push_back(block);
    }
    for (CdsMemoryArray* block : systemBlocks)
        DestroyMemoryArray(block);
}

BOOL CdsDeviceObject::CreateSystemArrays()
{
    DestroySystemArrays();
    auto* block = new CdsSystemArray(0);
    block->SetName("$Array");
    block->SetAddr("$System");
    block->SetReadAllowed(FALSE);
    block->SetWriteAllowed(FALSE);
    block->SetClientReadAccess(TRUE);
    block->SetClientWriteAccess(TRUE);
    block->SetOnlineFlag(TRUE);
    block->SetHold(TRUE);
    if (!AddMemoryArray(block, true))
        return FALSE; // refused blocks are destroyed by the list

    int index = 0;
    // Adds a point at the block's next index; null when the block refuses it.
    auto add = [&](const char* name, int type, SHORT initial) -> CdsMemoryObject* {
        CdsMemoryObject* point = block->AddMemoryObject(index, CdsSystemObject::Make(name, type, Short(initial)), TRUE);
        if (point)
            ++index;
        return point;
    };
    const bool systemMode = CdsServerOptions::g_bUseSystemMode.load() != 0;
    const bool systemTime = CdsServerOptions::g_bUseSystemTime.load() != 0;
    const bool backup = HasBackupLines();

    if (systemMode && !m_pSysMode) {
        if (!(m_pSysMode = add("$ModeSys", BRISANT_SHORT, SYSMODE_STOPPED)))
            return FALSE;
        if (!(m_pCommGood = add("$CommGood", BRISANT_BOOL, 1)))
            return FALSE;
        if (!(m_pCommFail = add("$CommFail", BRISANT_BOOL, 0)))
            return FALSE;
    }
    const int passes = HasRedundancyLines() ? 2 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const std::size_t master = static_cast<std::size_t>(pass);     // primary or secondary master
        const std::size_t standby = static_cast<std::size_t>(2 + pass); // its backup
        if (systemMode && !m_pUpdateMode[master]) {
            if (!(m_pUpdateMode[master] = add(pass ? "$ModeMstr2" : "$ModeMstr", BRISANT_SHORT, -1)))
                return FALSE;
            if (backup && !(m_pUpdateMode[standby] = add(pass ? "$ModeBkup2" : "$ModeBkup", BRISANT_SHORT, -1)))
                return FALSE;
        }
        if (systemMode && !m_pActiveLine[master]) {
            if (!(m_pActiveLine[master] = add(pass ? "$ActvLine2" : "$ActvLine", BRISANT_SHORT, -1)))
                return FALSE;
        }
        if (systemTime && !m_pTime[master]) {
            if (!(m_pTime[master] = add(pass ? "$TimeMstr2" : "$TimeMstr", BRISANT_LONG, 0)))
                return FALSE;
            if (backup && !(m_pTime[standby] = add(pass ? "$TimeBkup2" : "$TimeBkup", BRISANT_LONG, 0)))
                return FALSE;
        }
    }
    return TRUE;
}

int CdsDeviceObject::HandleCommand(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& value, int& nResult)
{
    nResult = 0;
    auto* pHdlr = dynamic_cast<CdsCommHdlr*>(GetCommHdlr());
    if (!pHdlr || !pPoint)
        return 0;
    const SHORT command = value.iVal;
    const bool redundancy = pHdlr->IsDeviceSupportRedundancy(this);
    // Every status point's command is taken, also when it changes nothing: the
    // operator learns from the log which it was.
    auto report = [&](long number, const char* pszWhat) -> int {
        pHdlr->ShowLogVaMessageFromThread(LOG_COMMAND, "%s %s %ld: %s\r\n", m_strName.c_str(),
                                          pPoint->GetName().c_str(), number, pszWhat);
        return 1;
    };
    // Makes the line the updater: its partner is the one switched away from.
    auto switchTo = [&](int line, const char* pszDone) -> int {
        tagTHREADINFO* pTarget = pHdlr->GetLine(line);
        if (!pTarget)
            return report(command, "nothing done, the line is not open");
        if (!pHdlr->SwitchMaster(this, pHdlr->GetOtherInfo(pTarget), "By operator", TRUE))
            return report(command, "nothing done, the line cannot take over");
        return report(command, pszDone);
    };
    auto stop = [&](int first, int second, const char* pszDone) -> int {
        bool done = false;
        for (int line : {first, second}) {
            if (tagTHREADINFO* pLine = pHdlr->GetLine(line)) {
                pHdlr->UpdateUpdateMode(this, UPDATEMODE_STOPPED, pLine, TRUE);
                done = true;
            }
        }
        return report(command, done ? pszDone : "nothing done, no line is open");
    };
    constexpr const char* kNoRedundancy = "nothing done, the device has no redundant lines";

    if (pPoint == m_pActiveLine[0]) {
        switch (command) {
        case ACTIVELINE_NONE:
            return stop(LINE_PRIMARY_MASTER, LINE_SECONDARY_MASTER, "master lines stopped");
        case ACTIVELINE_PRIMARY_MASTER:
            return switchTo(LINE_PRIMARY_MASTER, "primary master line made active");
        case ACTIVELINE_SECONDARY_MASTER:
            return redundancy ? switchTo(LINE_SECONDARY_MASTER, "secondary master line made active")
                              : report(command, kNoRedundancy);
        default:
            return report(command, "nothing done, not a master line (0, 1 or 2)");
        }
    }
    if (pPoint == m_pActiveLine[1]) {
        switch (command) {
        case ACTIVELINE_NONE:
            return stop(LINE_PRIMARY_BACKUP, LINE_SECONDARY_BACKUP, "backup lines stopped");
        case ACTIVELINE_PRIMARY_BACKUP:
            return redundancy ? switchTo(LINE_PRIMARY_BACKUP, "primary backup line made active")
                              : report(command, kNoRedundancy);
        case ACTIVELINE_SECONDARY_BACKUP:
            return redundancy ? switchTo(LINE_SECONDARY_BACKUP, "secondary backup line made active")
                              : report(command, kNoRedundancy);
        default:
            return report(command, "nothing done, not a backup line (0, 3 or 4)");
        }
    }
    if (pPoint == m_pSysMode) {
        pHdlr->UpdateSysMode(this, command, TRUE);
        return report(command, "system mode set");
    }
    for (int line = 0; line < kLines; ++line) {
        if (pPoint == m_pUpdateMode[static_cast<std::size_t>(line)]) {
            tagTHREADINFO* pLine = pHdlr->GetLine(line);
            if (!pLine)
                return report(command, "nothing done, the line is not open");
            pHdlr->UpdateUpdateMode(this, command, pLine, TRUE);
            return report(command, "update mode set");
        }
        if (pPoint == m_pTime[static_cast<std::size_t>(line)]) {
            // The low 32 bits of the seconds: read unsigned so they stay seconds since 1970.
            const long seconds = static_cast<long>(value.dwVal);
            tagTHREADINFO* pLine = pHdlr->GetLine(line);
            if (!pLine)
                return report(seconds, "nothing done, the line is not open");
            pHdlr->UpdateSysTime(this, static_cast<LONGLONG>(value.dwVal), pLine, FALSE);
            return report(seconds, "update time set");
        }
    }
    return 0;
}

BOOL CdsDeviceObject::UpdateDevice(CdsCommHdlr* pHdlr, tagTHREADINFO* pLine)
{
    return pHdlr ? CdsDeviceUpdate::UpdateDevice(*this, *pHdlr, pLine) : FALSE;
}

BOOL CdsDeviceObject::MonitorDevice(CdsCommHdlr* pHdlr, tagTHREADINFO* pLine)
{
    return pHdlr ? CdsDeviceUpdate::MonitorDevice(*this, *pHdlr, pLine) : FALSE;
}

void CdsDeviceObject::RefreshDevice(CdsCommHdlr* pHdlr, tagTHREADINFO* pLine)
{
    if (pHdlr)
        CdsDeviceUpdate::RefreshDevice(*this, *pHdlr, pLine);
}
