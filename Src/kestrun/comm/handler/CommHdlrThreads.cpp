// Line threads, starting and stopping the lines, and the single step.
#include <algorithm>

#include "kestrun/comm/config/ReturnError.h"
#include "kestrun/comm/handler/CommHdlr.h"
#include "kestrun/comm/handler/MessageThread.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/EventQueue.h"
#include "kestrun/options/EngineCounters.h"
#include "kestrun/options/ServerOptions.h"

// --- the thread ---

CdsMessageThread::CdsMessageThread(CdsCommHdlr& hdlr, std::shared_ptr<tagTHREADINFO> pLine,
                                   std::shared_ptr<win::Event> stopEvent)
    : win::MessageThread(std::move(stopEvent)), m_pKeepHdlr(hdlr.weak_from_this().lock()), m_pHdlr(&hdlr),
      m_pLine(std::move(pLine))
{
}

bool CdsMessageThread::initInstance()
{
    if (!m_pLine)
        return false;
    tagTHREADINFO* pLine = m_pLine.get();
    const int result = m_pHdlr->InitThread(pLine);
    if (result < 0) {
        const char* text = GetCommErrorText(static_cast<DWORD>(result));
        m_pHdlr->LogLine(LOG_ERROR, pLine, "Background thread initialize failed (%s)!\r\n", text ? text : "");
        m_pHdlr->ExitThread(pLine);
        return false; // the line stays busy, so no tick is posted to it
    }
    m_pHdlr->m_nSysMode = SYSMODE_RUNNING;
    if (m_pHdlr->GetPortsInThread())
        m_pHdlr->OpenDevices(pLine);
    if (m_pHdlr->GetRefreshAtStart())
        m_pHdlr->RefreshDevices(pLine);
    m_pHdlr->RemoveAllEvents();
    m_nNextStepMs = m_pHdlr->GetClock().monotonicMs() + StepPeriodMs();
    pLine->m_bBusy = FALSE;
    return true;
}

int CdsMessageThread::exitInstance()
{
    tagTHREADINFO* pLine = m_pLine.get();
    if (pLine) {
        pLine->m_bBusy = TRUE;
        if (m_pHdlr->GetPortsInThread())
            m_pHdlr->CloseDevices(pLine);
        m_pHdlr->ExitThread(pLine);
    }
    return 0;
}

void CdsMessageThread::onMessage(win::Message& msg)
{
    switch (msg.id) {
    case WM_SINGLESTEP:
        OnSingleStep();
        break;
    case WM_RESETLOOPCOUNT:
        m_nLastLoopCount = 0;
        break;
    case WM_STOPTHREAD:
        if (m_pLine)
            m_pLine->m_bBusy = TRUE;
        post(win::WM_QUIT);
        break;
    case WM_MESSAGEFROMMAIN:
        m_pHdlr->OnMessageFromMain(msg.wParam, msg.lParam);
        break;
    default:
        break;
    }
}

DWORD CdsMessageThread::idleWaitMs()
{
    const std::uint64_t period = StepPeriodMs();
    const std::uint64_t now = m_pHdlr->GetClock().monotonicMs();
    if (m_nNextStepMs <= now)
        return 0;
    // Never longer than a period: a shorter data update time takes effect soon.
    return static_cast<DWORD>(std::min(m_nNextStepMs - now, period));
}

win::Event* CdsMessageThread::idleWakeEvent()
{
    return m_pLine ? &m_pHdlr->GetWriteWake(m_pLine->LineIndex()) : nullptr;
}

void CdsMessageThread::onIdle()
{
    tagTHREADINFO* pLine = m_pLine.get();
    const win::Clock& clock = m_pHdlr->GetClock();
    if (clock.monotonicMs() < m_nNextStepMs) {
        // Woken by a write before the step is due.
        if (CdsCommHdlr::TryEnterStep(pLine)) {
            m_pHdlr->ServiceWrites(pLine);
            CdsCommHdlr::LeaveStep(pLine);
        }
        return;
    }
    if (!CdsCommHdlr::TryEnterStep(pLine))
        return;
    pLine->m_bStepAtOnce = false;
    m_pHdlr->SingleStep(pLine);
    m_nLastLoopCount = CdsEngineCounters::m_nLoopCount.load();
    CdsCommHdlr::LeaveStep(pLine);
    // A step that overran its period is followed by one more at once, not by
    // the ones it missed; so is a step whose device has blocks never read yet.
    const std::uint64_t now = clock.monotonicMs();
    m_nNextStepMs += StepPeriodMs();
    if (m_nNextStepMs <= now || pLine->m_bStepAtOnce)
        m_nNextStepMs = now;
}

std::uint64_t CdsMessageThread::StepPeriodMs()
{
    return std::max<std::uint64_t>(1, CdsServerOptions::g_dwDataUpdateTime.load());
}

void CdsMessageThread::OnSingleStep()
{
    tagTHREADINFO* pLine = m_pLine.get();
    if (!CdsCommHdlr::TryEnterStep(pLine))
        return;
    // Ticks that queued up meanwhile are dropped: a slow line skips, it does not catch up.
    queue().removeAll(WM_SINGLESTEP);
    if (queue().contains(win::WM_QUIT) || queue().contains(WM_STOPTHREAD))
        return; // stays busy while it ends
    m_pHdlr->SingleStep(pLine);
    m_nLastLoopCount = CdsEngineCounters::m_nLoopCount.load();
    CdsCommHdlr::LeaveStep(pLine);
}

// --- busy flag ---

bool CdsCommHdlr::TryEnterStep(tagTHREADINFO* pLine)
{
    if (!pLine)
        return false;
    BOOL expected = FALSE;
    return pLine->m_bBusy.compare_exchange_strong(expected, TRUE);
}

void CdsCommHdlr::LeaveStep(tagTHREADINFO* pLine)
{
    if (pLine)
        pLine->m_bBusy = FALSE;
}

// --- starting and stopping ---

int CdsCommHdlr::InitThread(tagTHREADINFO*) { return 0; }

int CdsCommHdlr::ExitThread(tagTHREADINFO*) { return 0; }

std::shared_ptr<CdsMessageThread> CdsCommHdlr::GetLineThread(int nLine) const
{
    return nLine >= 0 && nLine < LINE_COUNT ? m_threads[static_cast<std::size_t>(nLine)] : nullptr;
}

void CdsCommHdlr::ClearThreadPointer(int nLine)
{
    if (nLine < 0 || nLine >= LINE_COUNT)
        return;
    m_threads[static_cast<std::size_t>(nLine)].reset();
    if (tagTHREADINFO* pLine = GetLine(nLine))
        pLine->m_pThread = nullptr;
}

BOOL CdsCommHdlr::PostMessageToThread(tagTHREADINFO* pLine, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    const int index = IndexOfLine(pLine);
    if (index < 0)
        return FALSE;
    const auto& pThread = m_threads[static_cast<std::size_t>(index)];
    return pThread && pThread->post(nMsg, wParam, lParam);
}

BOOL CdsCommHdlr::CreateThreads(CdsDeviceObject* pDevice)
{
    m_stopEvent->reset();
    DropDisallowedLines(pDevice);
    if (!GetEventQueue())
        SetEventQueue(CreateEventQueue());
    const bool background = IsBackgroundThreadMode();
    BOOL ok = TRUE;
    for (int secondary = 0; secondary < 2; ++secondary) {
        const int master = secondary;
        const int backup = 2 + secondary;
        if (m_threads[static_cast<std::size_t>(master)])
            continue;
        if (!GetLine(master))
            NewThreadInfo(pDevice, FALSE, secondary);
        if (!GetLine(master))
            continue;
        if (!GetLine(backup))
            NewThreadInfo(pDevice, TRUE, secondary);
        if (!background)
            continue;
        for (int index : {master, backup}) {
            const auto& pLine = m_lines[static_cast<std::size_t>(index)];
            if (!pLine)
                continue;
            auto pThread = std::make_shared<CdsMessageThread>(*this, pLine, m_stopEvent);
            if (!pThread->create(true)) {
                ok = FALSE; // nothing links to a thread that never ran
                continue;
            }
            m_threads[static_cast<std::size_t>(index)] = pThread;
            pLine->m_pThread = pThread.get();
        }
    }
    return ok;
}

BOOL CdsCommHdlr::OnCreateThreads(CdsDeviceObject* pDevice)
{
    UpdateSysMode(pDevice, SYSMODE_STARTING, TRUE);
    if (IsBackgroundThreadMode()) {
        for (int i = 0; i < LINE_COUNT; ++i) {
            if (tagTHREADINFO* pLine = GetLine(i))
                UpdateUpdateMode(pDevice, UPDATEMODE_STOPPED, pLine, TRUE);
        }
        ShowLogMessageFromThread(LOG_INFO, "Background thread starting...\r\n");
        if (!ResumeUpdate(pDevice)) {
            ShowLogMessageFromThread(LOG_ERROR, "Cannot run thread!\r\n");
            return FALSE;
        }
        ShowLogMessageFromThread(LOG_DEBUG, "Background thread created.\r\n");
        return TRUE;
    }
    ShowLogMessageFromThread(LOG_INFO, "Background timer starting...\r\n");
    for (int secondary = 0; secondary < 2; ++secondary) {
        if (tagTHREADINFO* pMaster = GetLine(secondary)) {
            UpdateUpdateMode(pDevice, UPDATEMODE_STOPPED, pMaster, TRUE);
            MasterThread(pMaster);
            ClearThreadPointer(secondary);
        }
        if (tagTHREADINFO* pBackup = GetLine(2 + secondary)) {
            UpdateUpdateMode(pDevice, UPDATEMODE_STOPPED, pBackup, TRUE);
            BackupThread(pBackup);
            ClearThreadPointer(2 + secondary);
        }
    }
    UpdateSysMode(pDevice, SYSMODE_RUNNING, TRUE);
    ShowLogMessageFromThread(LOG_DEBUG, "Background timer created.\r\n");
    return TRUE;
}

int CdsCommHdlr::StartLine(tagTHREADINFO* pLine, bool bBackup)
{
    if (!pLine)
        return CommErrorResult(RE_NO_LINE_RECORD);
    const int result = InitThread(pLine);
    if (result < 0) {
        const char* text = GetCommErrorText(static_cast<DWORD>(result));
        LogLine(LOG_ERROR, pLine, bBackup ? "Backup thread initialize failed (%s)!\r\n"
                                          : "Background thread initialize failed (%s)!\r\n",
                text ? text : "");
        ClearThreadPointer(IndexOfLine(pLine));
        ExitThread(pLine);
        return result;
    }
    if (m_bPortsInThread)
        OpenDevices(pLine);
    if (m_bRefreshAtStart)
        RefreshDevices(pLine);
    RemoveAllEvents();
    if (!IsBackgroundThreadMode()) {
        pLine->m_bBusy = FALSE;
        return 0;
    }
    int step = 1;
    while (!m_stopEvent->isSet()) {
        step = SingleStep(pLine);
        if (step == 0)
            break;
        Sleep(static_cast<DWORD>(CdsServerOptions::g_dwDataUpdateTime.load()));
    }
    if (m_bPortsInThread)
        CloseDevices(pLine);
    return ExitThread(pLine);
}

int CdsCommHdlr::MasterThread(tagTHREADINFO* pLine) { return StartLine(pLine, false); }

int CdsCommHdlr::BackupThread(tagTHREADINFO* pLine) { return StartLine(pLine, true); }

BOOL CdsCommHdlr::DestroyThread(int nLine)
{
    auto& slot = m_threads[static_cast<std::size_t>(nLine)];
    std::shared_ptr<CdsMessageThread> pThread = slot;
    if (!pThread || !IsBackgroundThreadMode()) {
        ClearThreadPointer(nLine);
        return TRUE;
    }
    if (pThread->suspendCount() > 1) {
        pThread->resume();
        return FALSE; // suspended by someone else too: left as it is
    }
    // Stops and joins; a thread that overruns the wait is abandoned and keeps
    // what it uses alive by itself.
    pThread->stop(m_dwThreadStopWait, WM_STOPTHREAD);
    if (pThread->isAbandoned())
        m_bLineAbandoned = true;
    ClearThreadPointer(nLine);
    return TRUE;
}

void CdsCommHdlr::DestroyThreads(CdsDeviceObject* pDevice)
{
    m_stopEvent->set();
    UpdateSysMode(pDevice, SYSMODE_STOPPED, TRUE);
    for (int secondary = 0; secondary < 2; ++secondary) {
        DestroyThread(2 + secondary);
        DestroyThread(secondary);
    }
    const bool background = IsBackgroundThreadMode();
    if (!background) {
        for (int secondary = 0; secondary < 2; ++secondary) {
            tagTHREADINFO* pMaster = GetLine(secondary);
            tagTHREADINFO* pBackup = GetLine(2 + secondary);
            if (pMaster)
                UpdateUpdateMode(pDevice, UPDATEMODE_NOT_RUNNING, pMaster, TRUE);
            if (pBackup) {
                UpdateUpdateMode(pDevice, UPDATEMODE_NOT_RUNNING, pBackup, TRUE);
                CloseDevices(pBackup);
                ExitThread(pBackup);
                m_lines[static_cast<std::size_t>(2 + secondary)].reset();
            }
            if (pMaster) {
                CloseDevices(pMaster);
                ExitThread(pMaster);
                m_lines[static_cast<std::size_t>(secondary)].reset();
            }
        }
    }
    ShowLogMessageFromThread(LOG_INFO, background ? "Background thread stopped.\r\n" : "Background timer stopped.\r\n");
}

void CdsCommHdlr::OnDestroyThreads(CdsDeviceObject* pDevice)
{
    if (IsBackgroundThreadMode()) {
        UpdateSysMode(pDevice, SYSMODE_STOPPED, TRUE);
        for (int i = 0; i < LINE_COUNT; ++i) {
            if (tagTHREADINFO* pLine = GetLine(i))
                UpdateUpdateMode(pDevice, UPDATEMODE_NOT_RUNNING, pLine, TRUE);
        }
        ShowLogMessageFromThread(LOG_DEBUG, "Background thread destroyed.\r\n");
    } else {
        ShowLogMessageFromThread(LOG_DEBUG, "Background timer destroyed.\r\n");
    }
}

void CdsCommHdlr::OpenDevices(tagTHREADINFO* pLine)
{
    for (CdsDeviceObject* pDevice : ActiveDevicesSnapshot()) {
        if (!IsInService())
            break;
        if (pDevice->IsSystemDevice())
            continue;
        if (OpenCommPort(pDevice, pLine))
            UpdateUpdateMode(pDevice, UPDATEMODE_STOPPED, pLine, FALSE);
        else
            LogLine(LOG_ERROR, pLine, "Cannot open %s comm port!\r\n",
                    pLine && pLine->m_bIsBackup ? "backup" : "master");
    }
}

void CdsCommHdlr::CloseDevices(tagTHREADINFO* pLine)
{
    if (!CloseCommPort(nullptr, pLine))
        LogLine(LOG_ERROR, pLine, "Cannot close %s comm port!\r\n", pLine && pLine->m_bIsBackup ? "backup" : "master");
}

// --- the step ---

bool CdsCommHdlr::IsSteppingMode() const
{
    const SHORT mode = GetSysMode();
    if (mode == SYSMODE_STOPPED || mode == SYSMODE_STARTING || mode == SYSMODE_SUSPENDED)
        return false;
    return !((mode == SYSMODE_PAUSED || mode == SYSMODE_PAUSED2) && GetPauseSkip());
}

void CdsCommHdlr::ServiceWrites(tagTHREADINFO* pLine)
{
    if (pLine && pLine->m_nKind.load() == LINE_KIND_UPDATE && IsInService() && IsSteppingMode())
        DoServiceCommands(pLine);
}

int CdsCommHdlr::SingleStep(tagTHREADINFO* pLine)
{
    if (!IsInService())
        return 0;
    if (!IsSteppingMode())
        return 1;
    OnPreSingleStep();
    if (pLine) {
        const LONG kind = pLine->m_nKind.load();
        if (kind == LINE_KIND_UPDATE) {
            UpdateNextDevice(pLine);
            DoServiceCommands(pLine);
        } else if (kind == LINE_KIND_MONITOR) {
            MonitorNextDevice(pLine);
        }
    }
    OnPostSingleStep();
    return 1;
}
