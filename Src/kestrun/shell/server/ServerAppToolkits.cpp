// The two outside toolkits: set up at start-up, given working time, shut down.
#include "kestrun/shell/server/ServerApp.h"

#include "kestrun/model/dde/DdeBridge.h"
#include "kestrun/model/Hint.h"
#include "kestrun/model/ServerCommands.h"
#include "kestrun/model/opc/Callback.h"
#include "kestrun/shell/server/LogView.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/server/ServerDdeHost.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/app/ShellIds.h"
#include "platform/opc/server/ServerEntries.h"

BOOL CdsServerApp::InitOPCServer(BRISANTACTIONPROC pCallback, int bService)
{
    CdsServerFrame* pFrame = GetServerFrame();
    if (!pFrame && !IsServiceMode())
        return FALSE;
    // The bridge is in place before the toolkit can call back.
    if (!m_pDdeBridge) {
        m_pDdeHost = std::make_unique<CdsServerDdeHost>(*this);
        m_pDdeBridge = std::make_unique<kestrun::DdeBridge>(*m_pDdeHost);
        kestrun::DdeBridge::Install(m_pDdeBridge.get());
    }
    const std::uintptr_t window = pFrame && !IsServiceMode() ? pFrame->GetWindowKey() : 0;
    const char* name = GetServerRegName();
    m_ddeService.Setup(pCallback, window, 0, GetCommandLine().c_str(), name ? name : GetAppName(),
                       dde::TransportOptions{}, GetDispatcher());
    if (CdsServerDoc* pDoc = GetServerDoc()) {
        m_pDdeBridge->SetDeviceMap(pDoc->GetDeviceMap(FALSE));
        m_pDdeBridge->OnDeviceMapChanged();
    }
    // Start-up goes on without OPC, but nobody may think OPC clients are served.
    if (!fsInitServer(bService))
        ShowLogMessage(LOG_ERROR, "Cannot start the OPC server interface: OPC clients cannot connect!\r\n");
    return TRUE;
}

std::unique_ptr<CfsCallback> CdsServerApp::NewCallback() { return std::make_unique<CfsCallback>(); }

BOOL CdsServerApp::fsInitServer(int bService)
{
    const GUID* pClsid = bService ? GetServiceCLSID2() : GetServerCLSID2();
    if (!pClsid || !StartFSServer(*pClsid, bService))
        return FALSE;
    std::unique_ptr<CfsCallback> pCallback = NewCallback();
    if (!pCallback) {
        StopFSServer(1, bService);
        return FALSE;
    }
    if (const char* company = GetServerCompany())
        pCallback->SetServerCompany(company);
    // Client threads call the sink: the views get an owned copy on their own thread.
    pCallback->SetHintSink([](int nCode, const CdsHint& hint) { CdsServerDoc::fsUpdateViews(nCode, hint); });
    if (CdsServerDoc* pDoc = GetServerDoc())
        pCallback->SetDeviceMap(pDoc->GetDeviceMap(FALSE));
    m_pCallback = std::move(pCallback);
    SetFSServerCallback(m_pCallback.get());
    return TRUE;
}

void CdsServerApp::fsExitServer(int bFlag)
{
    if (!m_pCallback)
        return;
    // Once the toolkit has stopped no call is in flight and none will come.
    StopFSServer(1, bFlag);
    m_pCallback.reset();
}

void CdsServerApp::ExitOPCServer(int bFlag)
{
    fsExitServer(bFlag);
    // Clients get their close notices; then the bridge frees its records.
    m_ddeService.Exit();
    if (m_pDdeBridge) {
        if (kestrun::DdeBridge::Installed() == m_pDdeBridge.get())
            kestrun::DdeBridge::Install(nullptr);
        m_pDdeBridge.reset();
        m_pDdeHost.reset();
    }
}

int CdsServerApp::ExitInstance()
{
    ExitOPCServer(IsAppInDll());
    ReleaseInstanceMutex();
    if (m_pCommands && kestrun::ServerCommands::Installed() == m_pCommands.get())
        kestrun::ServerCommands::Install(nullptr);
    return shell::Application::ExitInstance();
}

void fsOnTimer()
{
    CdsServerApp* pApp = CdsServerApp::GetApp();
    if (CfsCallback* pCallback = pApp ? pApp->GetCallback() : nullptr; pCallback && pCallback->OnTimer())
        PostServerFrameMessage(WM_CLOSE, 0, 0);
}

BOOL DoIdleProcessing()
{
    CdsServerApp* pApp = CdsServerApp::GetApp();
    if (!pApp)
        return FALSE;
    // Without a DDE server there is nothing to give time to; the tick itself is fine.
    pApp->GetDdeService().DoIdleProcessing();
    return TRUE;
}
