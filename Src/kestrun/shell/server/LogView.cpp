#include "kestrun/shell/server/LogView.h"

#include <cstdarg>
#include <cstdio>

#include "kestrun/comm/handler/EngineMessages.h"
#include "kestrun/model/Hint.h"
#include "kestrun/shell/server/LogHints.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/app/ShellIds.h"
#include "kestrun/shell/app/StandardFolders.h"
#include "kestrun/shell/app/Version.h"
#include "kestrun/shell/app/WindowTarget.h"

namespace {

// The log view for other threads.
shell::WindowTarget g_logWindow;

const char* OnOff(bool b) { return b ? "On" : "Off"; }

} // namespace

CdsLogView::CdsLogView() = default;

CdsLogView::~CdsLogView() { DestroyWindow(); }

CdsServerDoc* CdsLogView::GetServerDoc() const { return dynamic_cast<CdsServerDoc*>(GetDocument()); }

const win::Clock& CdsLogView::Clock() const
{
    const CdsServerApp* pApp = CdsServerApp::GetApp();
    return pApp ? pApp->GetClock() : win::SystemClock::instance();
}

void CdsLogView::ShowMessage(int nKind, const std::string& text)
{
    const std::optional<std::string> line =
        kestrun::FormatLogLine(nKind, text, kestrun::FormatLocalTime(Clock().wallTime(), "%X"), m_filters);
    if (!line)
        return;
    const int cut = m_text.Append(*line);
    if (m_pWindow) {
        if (cut > 0)
            m_pWindow->RemoveFirstLines(cut);
        m_pWindow->AppendText(*line);
    }
    if (m_filters.logToFile)
        SaveMessageToFile(*line);
}

std::string CdsLogView::LogFolder() const
{
    const CdsServerFrame* pFrame = CdsServerFrame::GetServerFrame();
    std::string folder = pFrame ? pFrame->LogFolder() : std::string();
    return folder.empty() ? GetDefaultLogFolder() : folder;
}

void CdsLogView::SaveMessageToFile(const std::string& line)
{
    // The full local date: a new file every day, also across months and years.
    const std::string today = kestrun::FormatLocalTime(Clock().wallTime(), "%Y-%m-%d");
    if (!m_file.IsOpen() || m_file.GetDate() != today) {
        const std::string folder = LogFolder();
        if (!m_file.Open(folder, today)) {
            if (!m_bFileFailing) {
                m_bFileFailing = true;
                ShowMessage(LOG_ERROR, "Cannot open log file " + CdsLogFile::FileNameFor(folder, today) + "!\r\n");
            }
            return;
        }
        m_bFileFailing = false;
        // Shown, and so also the first line of the new file.
        ShowMessage(LOG_INFO, "LogFile " + m_file.GetFileName() + " opened\r\n");
    }
    m_file.Write(line);
}

void CdsLogView::FilterLogMessage(int nKind, int bFlag)
{
    const bool on = bFlag != 0;
    switch (nKind) {
    case LOG_EVENT: m_filters.events = on; break;
    case LOG_ACTION: m_filters.actions = on; break;
    case LOG_COMMAND: m_filters.commands = on; break;
    case LOG_ERROR: m_filters.errors = on; break;
    case LOG_INFO: m_filters.info = on; break;
    case LOG_INITVALUE: m_filters.initValues = on; break;
    case LOG_TRACE: m_filters.noTrace = on; break;
    default: break;
    }
}

void CdsLogView::OnUpdate(shell::View*, int nCode, CdsHint* pHint) { LogHint(nCode, pHint); }

void CdsLogView::OnUpdateMsg(int nCode, CdsHint* pHint)
{
    if (nCode != 0) {
        if (shell::Document* pDoc = GetDocument())
            pDoc->UpdateAllViews(this, nCode, pHint);
    }
    LogHint(nCode, pHint);
}

void CdsLogView::LogHint(int nCode, CdsHint* pHint)
{
    if (nCode == 0)
        return;
    if (const auto line = kestrun::FormatHintLine(nCode, pHint, m_filters))
        ShowMessage(line->nKind, line->text);
}

void CdsLogView::OnViewCommand(Command command)
{
    CdsServerFrame* pFrame = CdsServerFrame::GetServerFrame();
    std::string text;
    auto toggle = [&](bool& flag, const char* what, bool (CdsServerFrame::*store)(int)) {
        flag = !flag;
        text = std::string(what) + OnOff(flag) + "\r\n";
        if (pFrame)
            (pFrame->*store)(flag ? 1 : 0);
    };
    auto trace = [&](bool noTrace, bool simple, bool detail, const char* word, int level) {
        m_filters.noTrace = noTrace;
        m_filters.traceSimple = simple;
        m_filters.traceDetail = detail;
        text = std::string("View trace flag to ") + word + "\r\n";
        if (pFrame)
            pFrame->SetTraceLevel(level);
    };
    switch (command) {
    case Command::Events: toggle(m_filters.events, "Change view event flag to ", &CdsServerFrame::SetViewEvents); break;
    case Command::Actions: toggle(m_filters.actions, "View action flag to ", &CdsServerFrame::SetViewActions); break;
    case Command::Commands:
        toggle(m_filters.commands, "View command flag to ", &CdsServerFrame::SetViewCommands);
        break;
    case Command::Errors: toggle(m_filters.errors, "View error flag to ", &CdsServerFrame::SetViewErrors); break;
    case Command::InitValues:
        toggle(m_filters.initValues, "View initial values flag to ", &CdsServerFrame::SetViewInitValues);
        break;
    case Command::LogToFile:
        toggle(m_filters.logToFile, "View logtofile flag to ", &CdsServerFrame::SetLogToFile);
        if (!m_filters.logToFile)
            m_file.Close();
        break;
    case Command::NoTrace: trace(true, false, false, "Off", 0); break;
    case Command::TraceSimple: trace(false, true, false, "Simple", 1); break;
    case Command::TraceDetail: trace(false, false, true, "Detail", 2); break;
    }
    ShowMessage(LOG_INFO, text);
}

bool CdsLogView::IsCommandChecked(Command command) const
{
    switch (command) {
    case Command::Events: return m_filters.events;
    case Command::Actions: return m_filters.actions;
    case Command::Commands: return m_filters.commands;
    case Command::Errors: return m_filters.errors;
    case Command::InitValues: return m_filters.initValues;
    case Command::LogToFile: return m_filters.logToFile;
    case Command::NoTrace: return m_filters.noTrace;
    case Command::TraceSimple: return !m_filters.noTrace && m_filters.traceSimple;
    case Command::TraceDetail: return !m_filters.noTrace && m_filters.traceDetail;
    }
    return false;
}

void CdsLogView::OnInitialUpdate()
{
    shell::View::OnInitialUpdate();
    m_filters.events = CdsServerFrame::g_bViewEvents.load() != 0;
    m_filters.commands = CdsServerFrame::g_bViewCommands.load() != 0;
    m_filters.errors = CdsServerFrame::g_bViewErrors.load() != 0;
    m_filters.actions = CdsServerFrame::g_bViewActions.load() != 0;
    m_filters.initValues = CdsServerFrame::g_bViewInitValues.load() != 0;
    switch (CdsServerFrame::g_nTraceLevel.load()) {
    case 0: m_filters.noTrace = true; break;
    case 1: m_filters.noTrace = false, m_filters.traceSimple = true, m_filters.traceDetail = false; break;
    case 2: m_filters.noTrace = false, m_filters.traceSimple = false, m_filters.traceDetail = true; break;
    default: break;
    }
    m_filters.logToFile = CdsServerFrame::g_bLogToFile.load() != 0;
    m_filters.debug = IsDebugOutputWanted();
    ShowWelcomeMessage();
    StartLogUpdateTimer();
}

void CdsLogView::ShowWelcomeMessage()
{
    if (m_bWelcomeShown)
        return;
    m_bWelcomeShown = true;
    CdsServerApp* pApp = CdsServerApp::GetApp();
    const char* description = pApp ? pApp->GetServerDescription() : nullptr;
    const char* company = pApp ? pApp->GetServerCompany() : nullptr;
    ShowMessage(LOG_INFO, std::string(description ? description : "(null)") + " (by " +
                              (company ? company : "(null)") + ") " + CdsVersion().GetVersionText() + "\r\n");
}

void CdsLogView::StartLogUpdateTimer()
{
    StopLogUpdateTimer();
    if (const unsigned long period = CdsServerFrame::g_dwLogAutoSavePeriod.load())
        SetTimer(ID_TIMER_LOG_SAVE, static_cast<DWORD>(period));
}

void CdsLogView::StopLogUpdateTimer() { KillTimer(ID_TIMER_LOG_SAVE); }

void CdsLogView::OnTimer(UINT_PTR nId)
{
    if (nId != ID_TIMER_LOG_SAVE || m_bBusy)
        return;
    m_bBusy = true;
    m_file.Flush();
    fsOnTimer();
    m_bBusy = false;
}

LRESULT CdsLogView::OnMessage(win::Message& msg)
{
    switch (msg.id) {
    case WM_SHOWLOGMESSAGE:
        ShowMessage(static_cast<int>(msg.wParam), msg.text());
        return 0;
    case WM_UPDATEHINT:
        // A hint naming an object let go of since is dropped unread.
        if (CdsHint* pHint = msg.valueAs<CdsHint>(); !pHint || !pHint->IsStale())
            OnUpdateMsg(static_cast<int>(msg.wParam), pHint);
        return 0;
    case WM_FILTERLOGMESSAGE:
        FilterLogMessage(static_cast<int>(msg.wParam), static_cast<int>(msg.lParam));
        return 0;
    default:
        return shell::View::OnMessage(msg);
    }
}

void CdsLogView::OnCreate()
{
    if (m_processWide.IsCurrent())
        g_logWindow.Set(GetDispatcher(), GetWindowKey());
}

void CdsLogView::OnDestroy()
{
    m_bBusy = true;
    StopLogUpdateTimer();
    g_logWindow.Clear(GetDispatcher(), GetWindowKey());
    m_file.Close();
    m_pWindow.reset();
}

void ShowLogMessage(int nKind, const char* pszText)
{
    if (!pszText)
        return;
    const auto [pDispatcher, key] = g_logWindow.Get();
    if (pDispatcher && !pDispatcher->isApplicationThread()) {
        pDispatcher->post(key, win::Message(WM_SHOWLOGMESSAGE, static_cast<WPARAM>(nKind), 0,
                                            win::makePayload<std::string>(pszText)));
        return;
    }
    if (CdsLogView* pView = CdsLogView::GetLogView())
        pView->ShowMessage(nKind, pszText);
}

void ShowLogVaMessage(int nKind, const char* pszFormat, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, pszFormat);
    std::vsnprintf(buffer, sizeof buffer, pszFormat, args);
    va_end(args);
    ShowLogMessage(nKind, buffer);
}

void FilterLogMessage(int nKind, int bFlag)
{
    if (CdsLogView* pView = CdsLogView::GetLogView())
        pView->FilterLogMessage(nKind, bFlag);
}

void ShowLogHintMessage(int nCode, CdsHint* pHint)
{
    if (CdsLogView* pView = CdsLogView::GetLogView())
        pView->OnUpdateMsg(nCode, pHint);
}

void PostLogHintMessage(int nCode, const CdsHint& hint)
{
    g_logWindow.Post(win::Message(WM_UPDATEHINT, static_cast<WPARAM>(nCode), 0, win::makePayload<CdsHint>(hint)));
}
