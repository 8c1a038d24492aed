#include "kestrun/comm/handler/CommHdlr.h"

#include <cstdio>
#include <ctime>
#include <thread>

#include "kestrun/comm/handler/LineMode.h"
#include "kestrun/comm/handler/MessageThread.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/EventQueue.h"
#include "kestrun/model/Hint.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/WriteText.h"
#include "kestrun/options/ServerOptions.h"

namespace {

constexpr int kHintGoOnline = 303;
constexpr int kHintGoOffline = 304;
constexpr std::size_t kLogFormatSize = 512;

using LineFlagMember = std::atomic<BOOL> tagTHREADINFO::*;

BOOL SetLineFlag(tagTHREADINFO* pLine, LineFlagMember flag, BOOL b)
{
    if (pLine)
        pLine->*flag = b;
    return TRUE;
}

// The flag of a line; `absent` when there is no such line.
BOOL LineFlag(const tagTHREADINFO* pLine, LineFlagMember flag, BOOL absent)
{
    return pLine ? (pLine->*flag).load() : absent;
}

// Most log lines kept from lines that stop while the application thread waits.
constexpr std::size_t kStopLogLines = 256;

} // namespace

CdsCommHdlr::CdsCommHdlr() : m_stopEvent(std::make_shared<win::Event>(win::Event::Reset::Manual))
{
    for (auto& set : m_cursors)
        set.fill(m_devices.end());
}

CdsCommHdlr::~CdsCommHdlr()
{
    // Lines hold only weak ties back; the owner has stopped them before this.
    m_bInService = FALSE;
    m_stopEvent->set();
}

void CdsCommHdlr::SetHost(const CommHost& host) { m_host = host; }

const win::Clock& CdsCommHdlr::GetClock() const
{
    return m_host.pClock ? *m_host.pClock : win::SystemClock::instance();
}

bool CdsCommHdlr::IsApplicationThread() const
{
    return m_host.pDispatcher == nullptr || m_host.pDispatcher->isApplicationThread();
}

bool CdsCommHdlr::IsBackgroundThreadMode()
{
    return CdsLineMode::IsBackgroundThread(CdsServerOptions::g_bBackgroundThread.load());
}

LONGLONG CdsCommHdlr::NowSeconds() const
{
    return std::chrono::duration_cast<std::chrono::seconds>(GetClock().wallTime().time_since_epoch()).count();
}

std::uint64_t CdsCommHdlr::NowMs() const { return GetClock().monotonicMs(); }

bool CdsCommHdlr::IsTimeOverInMillisecs(std::uint64_t startMs, DWORD dwMs) const
{
    return GetClock().isTimeOver(startMs, dwMs);
}

bool CdsCommHdlr::IsTimeOverInSecs(std::uint64_t startMs, DWORD dwSeconds) const
{
    return GetClock().isTimeOver(startMs, static_cast<std::uint64_t>(dwSeconds) * 1000u);
}

void CdsCommHdlr::Sleep(DWORD dwMs)
{
    // A line's pause (a retry delay above all) ends when its lines are stopped:
    // the application thread is waiting to join it.
    if (!IsApplicationThread()) {
        m_stopEvent->wait(dwMs);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMs));
}

// --- lifetime ---

void CdsCommHdlr::DeleteContents()
{
    ClearAllCursors();
    // The first device stops the lines and gives every device its offline modes;
    // the others only leave.
    for (CdsDeviceObject* pDevice : ActiveDevicesSnapshot())
        DoOffline(pDevice);
    // Lines stop before their ports and records go.
    for (int i = 0; i < LINE_COUNT; ++i)
        DestroyThread(i);
    LogStopLines();
    RemoveAllEvents();
    SetEventQueue(nullptr);
    {
        std::lock_guard lock(m_commFilesMutex);
        for (auto& pFile : m_commFiles) {
            if (pFile)
                pFile->Close();
            pFile.reset();
        }
    }
    // The line records stay until the handler itself goes: a line thread that
    // outlived its stop wait may still look at its partner's record.
}

void CdsCommHdlr::Destroy()
{
    DeleteContents();
    if (m_bDeleteOnDestroy && weak_from_this().expired())
        delete this;
}

// --- base hooks ---

int CdsCommHdlr::HandleEvent(CdsEventData*, tagTHREADINFO*) { return 0; }

std::shared_ptr<CdsEventQueue> CdsCommHdlr::CreateEventQueue()
{
    // Client threads may still hold the queue when the handler is gone: the
    // overflow line then goes nowhere.
    std::weak_ptr<CdsCommHdlr> weak = weak_from_this();
    CdsCommHdlr* unshared = weak.expired() ? this : nullptr;
    return std::make_shared<CdsEventQueue>(&CdsServerOptions::g_nEventQueueSize,
                                           [weak, unshared](int nKind, const char* pszText) {
                                               if (auto pHdlr = weak.lock())
                                                   pHdlr->ShowLogMessageFromThread(nKind, pszText);
                                               else if (unshared)
                                                   unshared->ShowLogMessageFromThread(nKind, pszText);
                                           },
                                           [weak, unshared] {
                                               std::shared_ptr<CdsCommHdlr> pHdlr = weak.lock();
                                               CdsCommHdlr* p = pHdlr ? pHdlr.get() : unshared;
                                               if (!p)
                                                   return;
                                               for (win::Event& wake : p->m_writeWake)
                                                   wake.set();
                                           });
}

int CdsCommHdlr::GetCharsToRead(CdsDeviceObject*, const BYTE*, int, BYTE, int) { return -1; }
BOOL CdsCommHdlr::IsValidQueryMessage(CdsMemoryArray*, const char*, int, BOOL) { return FALSE; }
BOOL CdsCommHdlr::IsValidResponseMessage(CdsMemoryArray*, const BYTE*, int, const char*, BOOL) { return FALSE; }
BOOL CdsCommHdlr::IsValidMonitorQuery(CdsDeviceObject*, const char*, int) { return FALSE; }
BOOL CdsCommHdlr::IsValidMonitorResponse(CdsDeviceObject*, const BYTE*, int, const char*) { return FALSE; }
void CdsCommHdlr::OnSysModeChange(CdsDeviceObject*, int) {}
void CdsCommHdlr::OnUpdateModeChange(CdsDeviceObject*, tagTHREADINFO*, int) {}

BOOL CdsCommHdlr::CloseCommPort(CdsDeviceObject*, tagTHREADINFO* pLine)
{
    std::shared_ptr<kestrun::CommPort> pFile;
    {
        std::lock_guard lock(m_commFilesMutex);
        pFile = std::move(m_commFiles[static_cast<std::size_t>(pLine ? pLine->LineIndex() : 0)]);
    }
    m_carry[static_cast<std::size_t>(pLine ? pLine->LineIndex() : 0)].clear();
    if (!pFile)
        return FALSE;
    pFile->Close();
    LogLine(LOG_INFO, pLine, "The communication port has been closed.\r\n");
    return TRUE;
}

BOOL CdsCommHdlr::IsPortOpen(tagTHREADINFO* pLine)
{
    auto pFile = GetCommFile(pLine);
    return pFile && pFile->IsOpen();
}

std::shared_ptr<kestrun::CommPort> CdsCommHdlr::GetCommFile(const tagTHREADINFO* pLine) const
{
    std::lock_guard lock(m_commFilesMutex);
    return m_commFiles[static_cast<std::size_t>(pLine ? pLine->LineIndex() : 0)];
}

void CdsCommHdlr::SetCommFile(const tagTHREADINFO* pLine, std::shared_ptr<kestrun::CommPort> pFile)
{
    const auto index = static_cast<std::size_t>(pLine ? pLine->LineIndex() : 0);
    m_carry[index].clear();
    std::lock_guard lock(m_commFilesMutex);
    m_commFiles[index] = std::move(pFile);
}

// --- HandlerLink ---

std::shared_ptr<CdsEventQueue> CdsCommHdlr::GetEventQueue()
{
    std::lock_guard lock(m_queueMutex);
    return m_pEventQueue;
}

void CdsCommHdlr::SetEventQueue(std::shared_ptr<CdsEventQueue> pQueue)
{
    std::lock_guard lock(m_queueMutex);
    m_pEventQueue = std::move(pQueue);
}

BOOL CdsCommHdlr::IsTimeWithinCommandDiag(CdsDeviceObject* pDevice, LONGLONG tLastCommand)
{
    const LONGLONG window = pDevice ? pDevice->m_nCommandDiagValidateTime : static_cast<LONGLONG>(m_dwCommandDiag);
    return (NowSeconds() - tLastCommand) * 1000 <= window;
}

// --- devices ---

BOOL CdsCommHdlr::AddActiveDevice(CdsDeviceObject* pDevice)
{
    if (!pDevice)
        return FALSE;
    std::lock_guard lock(m_devicesMutex);
    if (m_placeOf.count(pDevice))
        return FALSE;
    if (!m_devices.empty() &&
        static_cast<SHORT>(m_devices.front()->GetProtocol()) != static_cast<SHORT>(pDevice->GetProtocol()))
        return FALSE;
    m_devices.push_back(pDevice);
    m_placeOf.emplace(pDevice, std::prev(m_devices.end()));
    return TRUE;
}

bool CdsCommHdlr::HasActiveDevice(const CdsDeviceObject* pDevice) const
{
    std::lock_guard lock(m_devicesMutex);
    return m_placeOf.count(pDevice) != 0;
}

void CdsCommHdlr::RemoveActiveDevice(CdsDeviceObject* pDevice)
{
    std::lock_guard lock(m_devicesMutex);
    // Every cursor that names the device would lead to freed memory.
    const auto place = m_placeOf.find(pDevice);
    if (place == m_placeOf.end())
        return;
    const auto it = place->second;
    m_placeOf.erase(place);
    const auto next = std::next(it);
    for (auto& set : m_cursors) {
        for (auto& cursor : set) {
            if (cursor == it)
                cursor = next;
        }
    }
    m_devices.erase(it);
}

void CdsCommHdlr::ClearAllCursors()
{
    std::lock_guard lock(m_devicesMutex);
    for (auto& set : m_cursors)
        set.fill(m_devices.end());
}

bool CdsCommHdlr::IsSpent() const
{
    if (!HasAbandonedLine())
        return false;
    std::lock_guard lock(m_devicesMutex);
    return m_devices.empty();
}

std::list<CdsDeviceObject*> CdsCommHdlr::ActiveDevicesSnapshot() const
{
    std::lock_guard lock(m_devicesMutex);
    return m_devices;
}

// --- lines ---

bool CdsCommHdlr::IsLineAllowed(const CdsDeviceObject* pDevice, int nLine) const
{
    if (nLine == LINE_PRIMARY_MASTER)
        return pDevice->IsValidPrimaryMasterConfig();
    return IsDeviceSupportRedundancy(pDevice) && pDevice->IsValidConfigAt(nLine);
}

void CdsCommHdlr::DropDisallowedLines(const CdsDeviceObject* pDevice)
{
    if (!pDevice)
        return;
    for (int index = 0; index < LINE_COUNT; ++index) {
        auto& pLine = m_lines[static_cast<std::size_t>(index)];
        if (pLine && !m_threads[static_cast<std::size_t>(index)] && !IsLineAllowed(pDevice, index))
            pLine.reset();
    }
}

tagTHREADINFO* CdsCommHdlr::NewThreadInfo(CdsDeviceObject* pDevice, BOOL bBackup, BOOL bSecondary)
{
    if (!pDevice)
        return nullptr;
    const int index = (bBackup ? 2 : 0) + (bSecondary ? 1 : 0);
    if (!IsLineAllowed(pDevice, index))
        return nullptr;
    auto pLine = std::make_shared<tagTHREADINFO>();
    pLine->m_pHdlr = this;
    pLine->m_hStopEvent = m_stopEvent.get();
    pLine->m_hLogWnd = reinterpret_cast<void*>(static_cast<std::uintptr_t>(m_host.logWindow));
    pLine->m_hDataWnd = reinterpret_cast<void*>(static_cast<std::uintptr_t>(m_host.dataWindow));
    pLine->m_bIsBackup = bBackup ? TRUE : FALSE;
    pLine->m_bIsSecondary = bSecondary ? TRUE : FALSE;
    pLine->m_nKind = bSecondary ? LINE_KIND_MONITOR : LINE_KIND_UPDATE;
    pLine->m_bMaster = bBackup ? FALSE : TRUE;
    m_lines[static_cast<std::size_t>(index)] = pLine;
    return pLine.get();
}

tagTHREADINFO* CdsCommHdlr::GetLine(int nLine) const
{
    return nLine >= 0 && nLine < LINE_COUNT ? m_lines[static_cast<std::size_t>(nLine)].get() : nullptr;
}

int CdsCommHdlr::IndexOfLine(const tagTHREADINFO* pLine) const
{
    for (int i = 0; i < LINE_COUNT; ++i) {
        if (pLine && m_lines[static_cast<std::size_t>(i)].get() == pLine)
            return i;
    }
    return -1;
}

tagTHREADINFO* CdsCommHdlr::GetOtherInfo(const tagTHREADINFO* pLine) const
{
    const int index = IndexOfLine(pLine);
    return index < 0 ? nullptr : GetLine(index ^ 1);
}

BOOL CdsCommHdlr::IsBackupAvailable() const
{
    return GetLine(LINE_SECONDARY_MASTER) || GetLine(LINE_PRIMARY_BACKUP) || GetLine(LINE_SECONDARY_BACKUP);
}

BOOL CdsCommHdlr::IsDeviceSupportRedundancy(const CdsDeviceObject* pDevice) const
{
    return pDevice && pDevice->HasRedundancyLines();
}

BOOL CdsCommHdlr::HasValidBackupDevices(const CdsDeviceObject* pDevice) const
{
    return pDevice && pDevice->HasBackupLines();
}

BOOL CdsCommHdlr::HasValidRedundancyDevices(const CdsDeviceObject* pDevice) const
{
    return IsDeviceSupportRedundancy(pDevice);
}

BOOL CdsCommHdlr::UpdateCommErrorState(tagTHREADINFO* pLine, BOOL b)
{
    return SetLineFlag(pLine, &tagTHREADINFO::m_bCommError, b);
}

BOOL CdsCommHdlr::UpdateCPUErrorState(tagTHREADINFO* pLine, BOOL b)
{
    return SetLineFlag(pLine, &tagTHREADINFO::m_bCpuError, b);
}

BOOL CdsCommHdlr::UpdateMasterState(tagTHREADINFO* pLine, BOOL b)
{
    return SetLineFlag(pLine, &tagTHREADINFO::m_bMaster, b);
}

BOOL CdsCommHdlr::UpdateRunningState(tagTHREADINFO* pLine, BOOL b)
{
    return SetLineFlag(pLine, &tagTHREADINFO::m_bRunning, b);
}

BOOL CdsCommHdlr::IsOtherInCommError(const tagTHREADINFO* pLine) const
{
    return LineFlag(GetOtherInfo(pLine), &tagTHREADINFO::m_bCommError, TRUE);
}

BOOL CdsCommHdlr::IsOtherInCPUError(const tagTHREADINFO* pLine) const
{
    return LineFlag(GetOtherInfo(pLine), &tagTHREADINFO::m_bCpuError, TRUE);
}

BOOL CdsCommHdlr::IsOtherInMaster(const tagTHREADINFO* pLine) const
{
    return LineFlag(GetOtherInfo(pLine), &tagTHREADINFO::m_bMaster, FALSE);
}

BOOL CdsCommHdlr::IsOtherInRunning(const tagTHREADINFO* pLine) const
{
    return LineFlag(GetOtherInfo(pLine), &tagTHREADINFO::m_bRunning, FALSE);
}

// --- online and offline ---

BOOL CdsCommHdlr::DoOnline(CdsDeviceObject* pDevice)
{
    if (!IsApplicationThread()) {
        CdsHint hint = CdsHint::ForObject(pDevice);
        SendUpdateMessageFromThread(kHintGoOnline, &hint);
        return TRUE;
    }
    if (!AddActiveDevice(pDevice))
        return FALSE;
    const SHORT mode = GetSysMode();
    switch (mode) {
    case SYSMODE_STARTING:
    case SYSMODE_ONLINE:
    case SYSMODE_SUSPENDED:
    case SYSMODE_RUNNING:
    case SYSMODE_PAUSED:
    case SYSMODE_PAUSED2:
        // The others show the mode already: each joining device writes only its own.
        UpdateSysMode(pDevice, mode, FALSE);
        return TRUE;
    default:
        break;
    }
    SetInService(TRUE);
    DropDisallowedLines(pDevice);
    if (!m_bPortsInThread) {
        for (int secondary = 0; secondary < 2; ++secondary) {
            tagTHREADINFO* pMaster = GetLine(secondary);
            if (!pMaster)
                pMaster = NewThreadInfo(pDevice, FALSE, secondary);
            if (pMaster) {
                if (OpenCommPort(pDevice, pMaster))
                    UpdateUpdateMode(pDevice, UPDATEMODE_STOPPED, pMaster, TRUE);
                else
                    ShowLogMessageFromThread(LOG_ERROR, "Cannot open master comm port!\r\n");
            }
            tagTHREADINFO* pBackup = GetLine(2 + secondary);
            if (!pBackup)
                pBackup = NewThreadInfo(pDevice, TRUE, secondary);
            if (pBackup) {
                if (OpenCommPort(pDevice, pBackup))
                    UpdateUpdateMode(pDevice, UPDATEMODE_STOPPED, pBackup, TRUE);
                else if ((pDevice->IsValidPrimaryBackupConfig() || pDevice->IsValidSecondaryBackupConfig()) &&
                         pDevice->m_bAutoSwitching)
                    ShowLogMessageFromThread(LOG_ERROR, "Cannot open backup comm port!\r\n");
            }
        }
    }
    if (!m_bNoThreads) {
        if (!CreateThreads(pDevice) || !OnCreateThreads(pDevice)) {
            ShowLogMessageFromThread(LOG_ERROR, "Cannot create thread!\r\n");
            return FALSE;
        }
    }
    return TRUE;
}

BOOL CdsCommHdlr::DoOffline(CdsDeviceObject* pDevice)
{
    SetInService(FALSE);
    if (!IsApplicationThread()) {
        CdsHint hint = CdsHint::ForObject(pDevice);
        SendUpdateMessageFromThread(kHintGoOffline, &hint);
        return TRUE;
    }
    // The first device to go stops the lines and shows every device offline;
    // stopping them again for each of the others would only repeat that.
    if (!IsOffline()) {
        OnDestroyThreads(pDevice);
        DestroyThreads(pDevice);
        // Only now that no line runs can its port go.
        if (!m_bPortsInThread) {
            for (int secondary = 0; secondary < 2; ++secondary) {
                if (tagTHREADINFO* pBackup = GetLine(2 + secondary))
                    CloseCommPort(pDevice, pBackup);
                if (tagTHREADINFO* pMaster = GetLine(secondary))
                    CloseCommPort(pDevice, pMaster);
            }
        }
        UpdateSysMode(pDevice, SYSMODE_OFFLINE, TRUE);
    }
    PurgeDeviceEvents(pDevice);
    RemoveActiveDevice(pDevice);
    return TRUE;
}

bool CdsCommHdlr::IsOffline() const
{
    if (GetSysMode() != SYSMODE_OFFLINE)
        return false;
    for (const auto& pThread : m_threads) {
        if (pThread)
            return false;
    }
    return true;
}

// --- modes ---

void CdsCommHdlr::WriteShortPoint(CdsMemoryObject* pPoint, SHORT nValue)
{
    if (!pPoint)
        return;
    _BRISANTDATAVALUE value{};
    value.iVal = nValue;
    pPoint->SetNewValue(value, this, FALSE);
}

void CdsCommHdlr::WriteLongPoint(CdsMemoryObject* pPoint, LONG nValue)
{
    if (!pPoint)
        return;
    _BRISANTDATAVALUE value{};
    value.lVal = nValue;
    pPoint->SetNewValue(value, this, FALSE);
}

BOOL CdsCommHdlr::IsSysModeChanged(const CdsDeviceObject* pDevice, int nMode) const
{
    return !(GetSysMode() == nMode && pDevice && pDevice->GetSysMode() == nMode);
}

BOOL CdsCommHdlr::IsUpdateModeChanged(const CdsDeviceObject* pDevice, const tagTHREADINFO* pLine, int nMode) const
{
    return !(pDevice && pDevice->GetUpdateMode(pLine) == nMode);
}

void CdsCommHdlr::UpdateSysMode(CdsDeviceObject* pDevice, int nMode, BOOL bAll)
{
    m_nSysMode = static_cast<SHORT>(nMode);
    auto write = [this, nMode](CdsDeviceObject* p) {
        WriteShortPoint(p->GetSysModeObject(), static_cast<SHORT>(nMode));
        if (nMode == SYSMODE_STOPPED) {
            WriteShortPoint(p->GetMasterActiveLineObject(), ACTIVELINE_NONE);
            WriteShortPoint(p->GetBackupActiveLineObject(), ACTIVELINE_NONE);
        }
    };
    ForDeviceAndOthers(pDevice, bAll, write);
}

void CdsCommHdlr::UpdateUpdateMode(CdsDeviceObject* pDevice, int nMode, tagTHREADINFO* pLine, BOOL bAll)
{
    if (!pLine)
        return;
    if (pDevice)
        WriteShortPoint(pDevice->GetUpdateModeObject(pLine), static_cast<SHORT>(nMode));
    if (nMode == UPDATEMODE_UPDATING && GetSysMode() == SYSMODE_RUNNING)
        UpdateActiveLine(pDevice, pLine, TRUE);
    if (bAll) {
        for (CdsDeviceObject* p : ActiveDevicesSnapshot()) {
            if (p != pDevice)
                WriteShortPoint(p->GetUpdateModeObject(pLine), static_cast<SHORT>(nMode));
        }
    }
}

void CdsCommHdlr::UpdateSysTime(CdsDeviceObject* pDevice, LONGLONG tTime, tagTHREADINFO* pLine, BOOL bAll)
{
    auto write = [this, tTime, pLine](CdsDeviceObject* p) {
        if (CdsMemoryObject* pPoint = p->GetTimeObject(pLine)) {
            _BRISANTDATAVALUE value{};
            value.dwVal = static_cast<DWORD>(static_cast<ULONGLONG>(tTime) & 0xFFFFFFFFu);
            pPoint->SetNewValue(value, this, FALSE);
        }
        p->SetLastUpdateTime(pLine, tTime);
    };
    ForDeviceAndOthers(pDevice, bAll, write);
}

BOOL CdsCommHdlr::SuspendUpdate(CdsDeviceObject* pDevice)
{
    const SHORT mode = GetSysMode();
    if (mode == SYSMODE_STOPPED || mode == SYSMODE_OFFLINE)
        return FALSE;
    UpdateSysMode(pDevice, SYSMODE_SUSPENDED, TRUE);
    for (const auto& pThread : m_threads) {
        if (pThread)
            pThread->suspend();
    }
    return TRUE;
}

BOOL CdsCommHdlr::ResumeUpdate(CdsDeviceObject* pDevice)
{
    const SHORT mode = GetSysMode();
    if (mode == SYSMODE_STOPPED || mode == SYSMODE_OFFLINE)
        return FALSE;
    for (const auto& pThread : m_threads) {
        if (pThread)
            pThread->resume();
    }
    UpdateSysMode(pDevice, SYSMODE_RUNNING, TRUE);
    return TRUE;
}

// --- reporting ---

DWORD CdsCommHdlr::GetLogWindowTimeout() const
{
    win::Dispatcher* pDispatcher = m_host.pDispatcher;
    if (!pDispatcher || m_host.logWindow == win::kNoWindow)
        return 0;
    return pDispatcher->isApplicationThread() ? win::INFINITE : GetSendTimeout();
}

void CdsCommHdlr::ShowLogMessageFromThread(int nKind, const char* pszText)
{
    if (!pszText)
        return;
    if (IsStopSignalled() && !IsApplicationThread() && m_host.logWindow != win::kNoWindow) {
        // The application thread is joining the lines: a send would wait for it in
        // vain, or at exit not be made at all. Kept for it, bounded.
        KeepStopLine(nKind, pszText);
        return;
    }
    const DWORD timeout = GetLogWindowTimeout();
    if (timeout == 0)
        return;
    // A stop while the line waits takes the line back for the same keeping.
    bool withdrawn = false;
    m_host.pDispatcher->sendUnlessSet(
        m_host.logWindow,
        win::Message(WM_SHOWLOGMESSAGE, static_cast<WPARAM>(nKind), 0, win::makePayload<std::string>(pszText)),
        timeout, *m_stopEvent, &withdrawn);
    if (withdrawn)
        KeepStopLine(nKind, pszText);
}

void CdsCommHdlr::KeepStopLine(int nKind, const char* pszText)
{
    std::lock_guard lock(m_stopLogMutex);
    if (m_stopLog.size() < kStopLogLines)
        m_stopLog.emplace_back(nKind, pszText);
}

void CdsCommHdlr::LogStopLines()
{
    if (!IsApplicationThread())
        return;
    std::vector<std::pair<int, std::string>> lines;
    {
        std::lock_guard lock(m_stopLogMutex);
        lines.swap(m_stopLog);
    }
    for (const auto& [nKind, text] : lines)
        ShowLogMessageFromThread(nKind, text.c_str());
}

void CdsCommHdlr::ShowLogVaMessageFromThread(int nKind, const char* pszFormat, ...)
{
    char buffer[kLogFormatSize];
    va_list args;
    va_start(args, pszFormat);
    std::vsnprintf(buffer, sizeof buffer, pszFormat, args);
    va_end(args);
    ShowLogMessageFromThread(nKind, buffer);
}

void CdsCommHdlr::LogLine(int nKind, const tagTHREADINFO* pLine, const char* pszFormat, ...)
{
    if (!m_host.pDispatcher || m_host.logWindow == win::kNoWindow)
        return;
    char buffer[kLogFormatSize];
    const int prefix = std::snprintf(buffer, sizeof buffer, "%c  ", MarkerOf(pLine));
    va_list args;
    va_start(args, pszFormat);
    std::vsnprintf(buffer + prefix, sizeof buffer - static_cast<std::size_t>(prefix), pszFormat, args);
    va_end(args);
    ShowLogMessageFromThread(nKind, buffer);
}

void CdsCommHdlr::FilterLogMessageFromThread(int nKind, BOOL bShow)
{
    const DWORD timeout = GetLogWindowTimeout();
    if (timeout == 0)
        return;
    m_host.pDispatcher->sendUnlessSet(
        m_host.logWindow, win::Message(WM_FILTERLOGMESSAGE, static_cast<WPARAM>(nKind), static_cast<LPARAM>(bShow)),
        timeout, *m_stopEvent, nullptr);
}

BOOL CdsCommHdlr::PostMessageToMainWnd(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (!m_host.pDispatcher || m_host.mainWindow == win::kNoWindow)
        return FALSE;
    return m_host.pDispatcher->post(m_host.mainWindow, win::Message(nMsg, wParam, lParam)) ? TRUE : FALSE;
}

BOOL CdsCommHdlr::SendMessageToMainWnd(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (!m_host.pDispatcher || m_host.mainWindow == win::kNoWindow)
        return FALSE;
    const DWORD timeout = m_host.pDispatcher->isApplicationThread() ? win::INFINITE : GetSendTimeout();
    return m_host.pDispatcher->sendUnlessSet(m_host.mainWindow, win::Message(nMsg, wParam, lParam), timeout,
                                             *m_stopEvent, nullptr, pResult)
               ? TRUE
               : FALSE;
}

void CdsCommHdlr::SendUpdateMessageFromThread(int nCode, CdsHint* pHint)
{
    const DWORD timeout = GetLogWindowTimeout();
    if (timeout == 0)
        return;
    // The view gets its own copy: the sender's record may be gone when a late delivery runs.
    std::unique_ptr<win::Payload> payload;
    if (pHint)
        payload = win::makePayload<CdsHint>(*pHint);
    m_host.pDispatcher->sendUnlessSet(m_host.logWindow,
                                      win::Message(WM_UPDATEHINT, static_cast<WPARAM>(nCode), 0, std::move(payload)),
                                      timeout, *m_stopEvent, nullptr);
}

int CdsCommHdlr::GetThreadTraceLevel(const tagTHREADINFO*) const { return CdsServerOptions::g_nTraceLevel.load(); }

std::string CdsCommHdlr::GetTraceLinePrefix(BOOL bIn, const tagTHREADINFO* pLine) const
{
    if (GetThreadTraceLevel(pLine) == TRACE_OFF)
        return {};
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, bIn ? "<%c " : "%c> ", MarkerOf(pLine));
    return buffer;
}

BOOL CdsCommHdlr::IsThreadUpdate(const tagTHREADINFO* pLine) const
{
    return IsBackgroundThreadMode() && pLine && pLine->m_bMaster.load();
}

std::string CdsCommHdlr::RemoveStxEtx(const std::string& strText)
{
    std::string out;
    out.reserve(strText.size());
    for (std::size_t i = 0; i < strText.size(); ++i) {
        const char ch = strText[i];
        if (ch == '\x03' && i > 0)
            break;
        if (ch != '\x02')
            out.push_back(ch);
    }
    return out;
}

std::string CdsCommHdlr::FormatTime(LONGLONG tSeconds)
{
    const std::time_t t = static_cast<std::time_t>(tSeconds);
    std::tm parts{};
    char buffer[64];
    // Reentrant: line threads format times at once.
    if (!localtime_r(&t, &parts) || !asctime_r(&parts, buffer))
        return {};
    std::string text(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

void CdsCommHdlr::SetRxTimeout(CdsDeviceObject* pDevice, LONG nMs)
{
    if (pDevice)
        pDevice->m_nReadTimeout = nMs;
    else
        m_nDefaultRxTimeout = nMs;
}

void CdsCommHdlr::SetTxTimeout(CdsDeviceObject* pDevice, LONG nMs)
{
    if (pDevice)
        pDevice->m_nWriteTimeout = nMs;
    else
        m_nDefaultTxTimeout = nMs;
}

LONG CdsCommHdlr::GetRxTimeout(const CdsDeviceObject* pDevice) const
{
    if (pDevice && IsValidTimeout(pDevice->m_nReadTimeout))
        return pDevice->m_nReadTimeout;
    return m_nDefaultRxTimeout;
}

bool CdsCommHdlr::IsDeviceAscii(const CdsDeviceObject* pDevice) const
{
    return pDevice ? pDevice->m_bAsciiMode != 0 : IsAsciiMode() != 0;
}

// --- write queue ---

void CdsCommHdlr::RemoveAllEvents()
{
    std::shared_ptr<CdsEventQueue> pQueue = GetEventQueue();
    if (!pQueue)
        return;
    while (pQueue->TakeOldestEvent()) {
    }
}

void CdsCommHdlr::PurgeDeviceEvents(const CdsDeviceObject* pDevice)
{
    LogStopLines(); // a write the line had sent comes before those it never took
    std::shared_ptr<CdsEventQueue> pQueue = GetEventQueue();
    if (!pQueue || !pDevice)
        return;
    // A write the client was told is queued is never dropped unseen: each one
    // still waiting for the device is logged with its value.
    const auto ofDevice = [pDevice](const CdsEventData& event) {
        const CdsMemoryArray* pArray = ReadBackBlockOf(event.GetPoint());
        return pArray && pArray->GetParent() == pDevice;
    };
    while (CdsEventData::Ptr pEvent = pQueue->TakeOldestEventWhere(ofDevice)) {
        const std::string write = kestrun::DescribeWrite(pEvent->GetPoint(), pEvent->GetDataType(), pEvent->GetValue());
        ShowLogMessageFromThread(LOG_ERROR, ("Write " + write + " was not sent: the device went offline\r\n").c_str());
    }
    // Nothing queued (as when a large plant shuts down): no point to look at.
    if (pQueue->IsEmpty())
        return;
    for (CdsMemoryArray* pArray : pDevice->GetMemoryArrayList().GetBlocks()) {
        for (int i = 0; i < pArray->GetSize(); ++i) {
            if (CdsMemoryObject* pPoint = pArray->GetMemoryObject(i))
                pQueue->PurgeEvents(pPoint);
        }
    }
}
