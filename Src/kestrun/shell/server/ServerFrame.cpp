#include "kestrun/shell/server/ServerFrame.h"

#include "kestrun/comm/handler/LineMode.h"
#include "kestrun/model/DeviceHandler.h"
#include "kestrun/shell/server/DataView.h"
#include "kestrun/shell/server/LogView.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/app/PathText.h"
#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/app/StandardFolders.h"
#include "kestrun/shell/server/TaskbarIcon.h"
#include "kestrun/shell/app/WindowTarget.h"

std::atomic<int> CdsServerFrame::g_bEnableStatusBarUpdating{1};

std::atomic<CdsServerFrame*> CdsServerFrame::s_pFrame{nullptr};

namespace {

// The main window for other threads.
shell::WindowTarget g_frameWindow;

constexpr const char* kIndicators[CdsServerFrame::kPaneCount] = {
    "", "Scan Time (msecs) ->", "", "Data Updating ->", "", "Client Updating ->", "",
};

} // namespace

// The setters' timers, prompts and folders, as the window provides them.
class CdsServerFrame::WindowOptionHost final : public shell::OptionHost {
public:
    explicit WindowOptionHost(CdsServerFrame& frame) : m_frame(frame) {}

    void StartDataUpdateTimer(unsigned long) override { m_frame.StartDataUpdateTimer(); }
    void StartClientUpdateTimer(unsigned long) override
    {
        if (CdsDataView* pView = m_frame.GetDataView())
            pView->StartClientUpdateTimer();
    }
    void StartLogUpdateTimer(unsigned long) override
    {
        if (CdsLogView* pView = m_frame.GetLogView())
            pView->StartLogUpdateTimer();
    }
    void StopLogUpdateTimer() override
    {
        if (CdsLogView* pView = m_frame.GetLogView())
            pView->StopLogUpdateTimer();
    }
    bool AskYesNo(const std::string& text) override
    {
        return svcMessageBox(text, shell::MB_YESNO | shell::MB_ICONQUESTION, shell::IDNO) == shell::IDYES;
    }
    void ShowMessage(const std::string& text) override { svcMessageBox(text, nullptr); }
    std::string DefaultLogFolder() override { return GetDefaultLogFolder(); }
    bool CreateFolder(const std::string& path) override { return ::CreateFolder(path) != FALSE; }

private:
    CdsServerFrame& m_frame;
};

CdsServerFrame::CdsServerFrame() : m_pWindowHost(std::make_unique<WindowOptionHost>(*this))
{
    InitPorts();
}

CdsServerFrame::~CdsServerFrame()
{
    if (kestrun::HandlerTable::Installed() == this)
        kestrun::HandlerTable::Install(nullptr);
    DestroyWindow();
    DeleteContents();
    CdsLineMode::Unlatch();
}

void CdsServerFrame::SetOptionHost(shell::OptionHost* host)
{
    host_ = host;
}

shell::OptionHost& CdsServerFrame::Host() const
{
    static shell::OptionHost none;  // stateless: does nothing, answers No
    if (host_)
        return *host_;
    return IsWindow() ? *m_pWindowHost : none;
}

CdsServerDoc* CdsServerFrame::GetServerDoc() const { return dynamic_cast<CdsServerDoc*>(GetActiveDocument()); }

std::uint64_t CdsServerFrame::NowMs() const
{
    const shell::Application* pApp = GetApplication();
    return pApp ? pApp->GetClock().monotonicMs() : win::SystemClock::instance().monotonicMs();
}

const char* CdsServerFrame::GetIndicatorText(int nPane)
{
    return nPane >= 0 && nPane < kPaneCount ? kIndicators[nPane] : "";
}

const std::string& CdsServerFrame::GetPaneText(int nPane) const
{
    static const std::string none;
    return nPane >= 0 && nPane < kPaneCount ? m_panes[static_cast<std::size_t>(nPane)] : none;
}

void CdsServerFrame::SetPaneText(int nPane, const std::string& text)
{
    if (!m_bStatusBar || nPane < 0 || nPane >= kPaneCount)
        return;
    m_panes[static_cast<std::size_t>(nPane)] = text;
    if (shell::FrameWindow* pWindow = GetFrameWindow())
        pWindow->OnPaneChanged(nPane);
}

int CdsServerFrame::OnCreate()
{
    for (int i = 0; i < kPaneCount; ++i)
        m_panes[static_cast<std::size_t>(i)] = kIndicators[i];
    m_bStatusBar = true;
    // The hour of the scan-time counters runs on the application's clock.
    m_nHourStartMs = NowMs();
    CdsServerApp* pApp = dynamic_cast<CdsServerApp*>(GetApplication());
    if (shell::WindowFactory* pFactory = GetApplication()->GetWindowFactory())
        SetFrameWindow(pFactory->CreateFrameWindow(*this));
    LoadOptions(pApp && pApp->IsServiceHelperMode());
    if (pApp && pApp->IsAppInDll()) {
        auto onOff = [](int b) { return b ? "Enabled" : "Disabled"; };
        TraceDebug("Service Options : %s = %s\r\n", "Load File On Startup", onOff(g_bLoadFileOnStartup.load()));
        TraceDebug("Service Options : %s = %s\r\n", "Load File PathName", LoadFilePathName().c_str());
        TraceDebug("Service Options : %s = %s\r\n", "Restore Online Status On Loading", onOff(g_bOnlineOnLoad.load()));
        TraceDebug("Service Options : %s = %s\r\n", "Log Folder", LogFolder().c_str());
        TraceDebug("Service Options : %s = %s\r\n", "Log To File", onOff(g_bLogToFile.load()));
    }
    InitTaskBar();
    kestrun::HandlerTable::Install(this);
    if (m_processWide.IsCurrent())
        g_frameWindow.Set(GetDispatcher(), GetWindowKey());
    return 0;
}

bool CdsServerFrame::OnCreateClient()
{
    m_pDataView = static_cast<CdsDataView*>(AddView(NewDataView()));
    m_pLogView = static_cast<CdsLogView*>(AddView(NewLogView()));
    if (shell::WindowFactory* pFactory = GetApplication()->GetWindowFactory()) {
        m_pDataView->SetWindow(pFactory->CreateDataWindow(*m_pDataView));
        m_pLogView->SetWindow(pFactory->CreateLogWindow(*m_pLogView));
    }
    CommHost host;
    host.pDispatcher = GetDispatcher();
    host.logWindow = m_pLogView->GetWindowKey();
    host.dataWindow = m_pDataView->GetWindowKey();
    host.mainWindow = GetWindowKey();
    host.pClock = &GetApplication()->GetClock();
    SetHost(host);
    return true;
}

void CdsServerFrame::OnDestroy()
{
    m_pTaskBar.reset();
    StopDataUpdateTimer();
    DeleteContents();
    m_pDataView = nullptr;
    m_pLogView = nullptr;
    m_bStatusBar = false;
    g_frameWindow.Clear(GetDispatcher(), GetWindowKey());
}

std::unique_ptr<CdsDataView> CdsServerFrame::NewDataView() { return std::make_unique<CdsDataView>(); }

std::unique_ptr<CdsLogView> CdsServerFrame::NewLogView() { return std::make_unique<CdsLogView>(); }

void CdsServerFrame::DeleteContents()
{
    // A line that outlives its stop wait is kept by the application until it ends:
    // the configuration it polls must wait for it.
    if (CdsServerApp* pApp = CdsServerApp::GetApp())
        pApp->GetRetiredObjects().StopLines(this, [this] { ExitPorts(); });
    else
        ExitPorts();
}

win::WindowKey fsGetServerFrameWnd() { return g_frameWindow.Key(); }

bool PostServerFrameMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, std::unique_ptr<win::Payload> payload)
{
    return g_frameWindow.Post(win::Message(nMsg, wParam, lParam, std::move(payload)));
}

bool SendServerFrameMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, DWORD dwTimeoutMs, LRESULT* pResult)
{
    return g_frameWindow.Send(win::Message(nMsg, wParam, lParam), dwTimeoutMs, pResult);
}
