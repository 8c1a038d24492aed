// The two outside toolkits: set up at start-up, given working time, shut down.
#include "kestrun/shell/ServerApp.h"

#include "kestrun/model/Hint.h"
#include "kestrun/model/ServerCommands.h"
#include "kestrun/model/opc/Callback.h"
#include "kestrun/shell/LogView.h"
#include "kestrun/shell/MessageBox.h"
#include "kestrun/shell/ServerDoc.h"
#include "kestrun/shell/ServerFrame.h"
#include "kestrun/shell/ShellIds.h"
#include "platform/dde/BrisantToolkit.h"
#include "platform/opc/ServerEntries.h"

BOOL CdsServerApp::InitOPCServer(BRISANTACTIONPROC pCallback, int bService)
{
    CdsServerFrame* pFrame = GetServerFrame();
    if (!pFrame && !IsServiceMode())
        return FALSE;
    const std::uintptr_t window = pFrame && !IsServiceMode() ? pFrame->GetWindowKey() : 0;
    const DWORD id = dde::BrisantSetupDDEServerInterface(window, 0, GetCommandLine().c_str(), pCallback);
    s_dwDdeServerId = id;
    if (!id) {
        TraceDebug("BrisantSetupDDEServerInterface() failed!\n");
    } else {
        dde::BrisantSetTextFormats(id, 1, 1);
        dde::BrisantEnableSystemTopic(id, 1);
        dde::BrisantSetItemCase(id, 0);
        dde::BrisantEnableTopicList(id, 1);
        dde::BrisantEnableExecute(id, 1);
        dde::BrisantEnablePoke(id, 1);
        dde::BrisantEnableRequest(id, 1);
        dde::BrisantEnableAdvise(id, 1);
        dde::BrisantEnableBrowse(id, 1);
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
    // Client threads call the sink: the log view gets an owned copy on its own thread.
    pCallback->SetHintSink([](int nCode, const CdsHint& hint) { PostLogHintMessage(nCode, hint); });
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
    if (const DWORD id = s_dwDdeServerId.exchange(0))
        dde::BrisantShutdownDDEServer(id);
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
    if (!CdsServerApp::GetApp())
        return FALSE;
    if (const DWORD id = CdsServerApp::GetDdeServerId())
        dde::BrisantDoIdle(id);
    return TRUE;
}
