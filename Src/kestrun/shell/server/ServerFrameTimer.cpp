// The data timer: it drives every line, runs the OPC bridge's close check and
// keeps the status panes and the hourly reset of the scan-time counters.
#include "kestrun/shell/server/ServerFrame.h"

#include <cstdio>

#include "kestrun/comm/handler/LineMode.h"
#include "kestrun/shell/server/LogView.h"
#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/app/ShellIds.h"

void CdsServerFrame::StartDataUpdateTimer()
{
    // A new period starts new counts: the scan-time pane must not average over
    // passes of the old one.
    StopDataUpdateTimer();
    m_bDataTimer = SetTimer(ID_TIMER_DATA_UPDATE, static_cast<DWORD>(g_dwDataUpdateTime.load()));
}

void CdsServerFrame::StopDataUpdateTimer()
{
    KillTimer(ID_TIMER_DATA_UPDATE);
    m_bDataTimer = false;
    CdsEngineCounters::m_nWdogScantime = 0;
    CdsEngineCounters::m_nWdogPolling = 0;
    CdsEngineCounters::m_nWdogUpdating = 0;
}

void CdsServerFrame::LatchLineMode() { CdsLineMode::Latch(g_bBackgroundThread.load() != 0); }

void CdsServerFrame::UnlatchLineMode() { CdsLineMode::Unlatch(); }

void CdsServerFrame::OnTimer(UINT_PTR nId)
{
    if (nId == ID_TIMER_DATA_UPDATE)
        OnDataTimer();
}

void CdsServerFrame::OnDataTimer()
{
    // A message box inside a pass lets the next tick in: it is dropped.
    if (m_bInTimer)
        return;
    m_bInTimer = true;
    ++CdsEngineCounters::m_nLoopCount;
    // Line threads step at their own due times; only timer mode steps here.
    if (!CdsCommHdlr::IsBackgroundThreadMode())
        UpdateNextDevice();
    fsOnTimer();
    if (m_bStatusBar)
        UpdateStatusPanes(NowMs());
    m_bInTimer = false;
}

void CdsServerFrame::UpdateStatusPanes(std::uint64_t nowMs)
{
    if (nowMs - m_nHourStartMs > kScanTimeHourMs) {
        CdsEngineCounters::m_nLoopCount = 1;
        CdsEngineCounters::m_nWdogScantime = 0;
        ShowLogMessage(LOG_INFO, "Reset scantime.\r\n");
        SendResetMsgToThreads();
        m_nHourStartMs = nowMs;
    }
    const ULONG scans = CdsEngineCounters::m_nWdogScantime.load();
    if (!g_bEnableStatusBarUpdating.load() || scans == 0)
        return;
    const std::uint64_t elapsed = nowMs - m_nHourStartMs;
    char text[32];
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>((elapsed + scans / 2) / scans));
    SetPaneText(2, text);
    std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(CdsEngineCounters::m_nWdogPolling.load()));
    SetPaneText(4, text);
    std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(CdsEngineCounters::m_nWdogUpdating.load()));
    SetPaneText(6, text);
}
