#include "kestrun/shell/server/ServerApp.h"

#include "kestrun/comm/handler/EngineMessages.h"
#include "kestrun/model/dde/DdeBridge.h"
#include "kestrun/model/ServerCommands.h"
#include "kestrun/model/opc/Callback.h"
#include "kestrun/shell/server/LogView.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/server/ShellCommands.h"
#include "kestrun/shell/app/ShellIds.h"
#include "platform/win/NamedLock.h"

std::atomic<CdsServerApp*> CdsServerApp::_theApp{nullptr};
std::atomic<int> CdsServerApp::s_bQuitApp{0};

namespace {

// What the message boxes ask: a service shows none.
bool IsAppInServiceMode()
{
    CdsServerApp* pApp = CdsServerApp::GetApp();
    return pApp && pApp->IsServiceMode();
}

} // namespace

CdsServerApp::CdsServerApp() { shell::InstallServiceModeQuery(&IsAppInServiceMode); }

CdsServerApp::~CdsServerApp()
{
    ExitOPCServer(IsAppInDll());
    ReleaseInstanceMutex();
    shell::Application::ExitInstance();
    if (m_pCommands && kestrun::ServerCommands::Installed() == m_pCommands.get())
        kestrun::ServerCommands::Install(nullptr);
}

const char* CdsServerApp::GetServerProgID2()
{
    const char* progId = GetServerProgID();
    m_strProgID2 = progId ? std::string(progId).substr(0, 50) : std::string();
    if (!m_strProgID2.empty())
        m_strProgID2.back() = '2';
    return m_strProgID2.c_str();
}

const char* CdsServerApp::GetServerExeName()
{
    m_strExeName = GetExeName();
    return m_strExeName.c_str();
}

bool CdsServerApp::InitInstance()
{
    if (const char* name = GetServerRegName()) {
        svcSetCaption(name);
        SetAppName(name);
    }
    s_bQuitApp = 0;
    m_pCommands = std::make_unique<CdsShellCommands>(*this);
    kestrun::ServerCommands::Install(m_pCommands.get());
    return shell::Application::InitInstance();
}

bool CdsServerApp::OnCommand(UINT nId)
{
    if (nId == ID_APP_RESET) {
        OnResetApp();
        return true;
    }
    return shell::Application::OnCommand(nId);
}

void CdsServerApp::OnResetApp()
{
    CdsServerDoc* pDoc = GetServerDoc();
    if (pDoc && !pDoc->SaveModified())
        return;
    const std::string file = m_strRestartFile;
    m_strRestartFile.clear();
    if (!ActivateRestartProcess(file))
        return;
    if (pDoc)
        pDoc->SetModifiedFlag(false); // the new copy has what was saved; nothing to ask again
    CdsServerFrame::g_bConfirmOnQuit = 0;
    if (CdsServerFrame* pFrame = GetServerFrame())
        pFrame->PostMessage(WM_CLOSE);
}

void CdsServerApp::OnDeviceMapChanged(CdsDeviceMap* pMap)
{
    if (m_pCallback)
        m_pCallback->SetDeviceMap(pMap);
}

void CdsServerApp::RunWithClientsHeld(const std::function<void()>& fn)
{
    if (!m_pCallback) {
        fn();
        return;
    }
    auto lock = m_pCallback->Lock();
    fn();
}

void CdsServerApp::StopLines(const std::function<void()>& stop)
{
    m_retired.StopLines(GetServerFrame(), stop);
}

CdsServerFrame* CdsServerApp::GetServerFrame() const { return dynamic_cast<CdsServerFrame*>(GetMainFrame()); }

CdsServerDoc* CdsServerApp::GetServerDoc() const { return dynamic_cast<CdsServerDoc*>(GetDocument()); }
