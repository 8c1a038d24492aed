// The document's side of service-helper mode: the configuration handed to the
// service of the server's name through a temporary copy, the service started
// and stopped instead of the document's own lines.
#include "kestrun/shell/server/ServerDoc.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/app/ServiceController.h"
#include "kestrun/shell/app/StandardFolders.h"

namespace {

constexpr const char* kNothingSaved = "$$$";

const char* ServiceNameOf()
{
    CdsServerApp* pApp = CdsServerApp::GetApp();
    const char* name = pApp ? pApp->GetServiceName() : nullptr;
    return name ? name : "";
}

// A new empty file for the copy, readable by its owner alone; empty on failure.
std::string MakeServiceFileName()
{
    const std::string folder = GetConfigFolder(1);
    if (folder.empty() || !CreateFolders(folder))
        return {};
    std::string pattern = JoinFolder(folder, "$$$XXXXXX.tmp");
    const int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0)
        return {};
    ::close(fd);
    return pattern;
}

} // namespace

bool CdsServerDoc::QueryServiceState(DWORD& dwState) const
{
    return m_pService && m_pService->IsOpen() && m_pService->QueryState(dwState) && dwState != 0;
}

bool CdsServerDoc::OpenServiceHdlr()
{
    if (!m_pService)
        m_pService = shell::OpenServiceController(ServiceNameOf());
    DWORD state = 0;
    if (!QueryServiceState(state)) {
        TraceDebug("Service status unknown. (service = %s)\r\n", ServiceNameOf());
        return false;
    }
    // A copy handed over already stays, with the options it saved.
    if (!m_bServiceSaved) {
        m_nSavedLoadFileOnStartup = 0;
        m_strSavedLoadFilePathName = kNothingSaved;
        m_strServiceFile.clear();
    }
    return true;
}

void CdsServerDoc::CloseServiceHdlr() { m_pService.reset(); }

BOOL CdsServerDoc::IsServiceOpened() const
{
    DWORD state = 0;
    return QueryServiceState(state) ? TRUE : FALSE;
}

BOOL CdsServerDoc::IsServiceRunning() const
{
    DWORD state = 0;
    return QueryServiceState(state) && state == shell::SERVICE_RUNNING ? TRUE : FALSE;
}

BOOL CdsServerDoc::IsServicePaused() const
{
    DWORD state = 0;
    return QueryServiceState(state) && state == shell::SERVICE_PAUSED ? TRUE : FALSE;
}

BOOL CdsServerDoc::IsServiceStopped() const
{
    DWORD state = 0;
    return QueryServiceState(state) && state == shell::SERVICE_STOPPED ? TRUE : FALSE;
}

BOOL CdsServerDoc::IsServiceOnline()
{
    if (!IsServiceOpened() && !OpenServiceHdlr())
        return FALSE;
    return IsServiceRunning();
}

BOOL CdsServerDoc::ServiceStart()
{
    if (!m_pService)
        return FALSE;
    std::vector<std::string> args;
    if (!m_strServiceFile.empty())
        args.push_back(m_strServiceFile);
    return m_pService->Start(args) != shell::ServiceController::StartResult::Failed ? TRUE : FALSE;
}

BOOL CdsServerDoc::ServiceStop()
{
    if (!m_pService || !m_pService->StopDependents())
        return FALSE;
    return m_pService->Stop() ? TRUE : FALSE;
}

BOOL CdsServerDoc::ServicePause() { return m_pService && m_pService->Pause() ? TRUE : FALSE; }

BOOL CdsServerDoc::ServiceContinue() { return m_pService && m_pService->Continue() ? TRUE : FALSE; }

int CdsServerDoc::SaveDocumentAndStatus()
{
    CdsServerFrame* pFrame = GetServerFrame();
    if (!pFrame)
        return 0;
    const bool bFirst = !m_bServiceSaved;
    std::string path = m_strServiceFile;
    if (path.empty())
        path = MakeServiceFileName();
    std::string error;
    if (path.empty() || !WriteCopy(path, error)) {
        TraceDebug("Service document cannot be saved. (file = %s) %s\r\n", path.c_str(), error.c_str());
        if (bFirst && !path.empty())
            std::remove(path.c_str());
        return 0;
    }
    m_strServiceFile = path;
    if (bFirst) {
        m_nSavedLoadFileOnStartup = pFrame->GetLoadFileOnStartup();
        m_strSavedLoadFilePathName = pFrame->GetLoadFilePathName();
    }
    pFrame->SetLoadFileOnStartup(1);
    m_bServiceSaved = true;
    return 1;
}

void CdsServerDoc::RestoreDocumentAndStatus()
{
    CdsServerFrame* pFrame = GetServerFrame();
    if (!pFrame || !m_bServiceSaved)
        return;
    if (!m_strServiceFile.empty())
        std::remove(m_strServiceFile.c_str());
    m_strServiceFile.clear();
    pFrame->SetLoadFileOnStartup(m_nSavedLoadFileOnStartup);
    if (m_strSavedLoadFilePathName.find(kNothingSaved) == std::string::npos)
        pFrame->SetLoadFilePathName(m_strSavedLoadFilePathName);
    m_strSavedLoadFilePathName = kNothingSaved;
    m_bServiceSaved = false;
}

int CdsServerDoc::SetServiceOnline(int bOnline)
{
    if (!bOnline) {
        // A service that is not there or stopped already needs no stop.
        const bool bStop = IsServiceOpened() && !IsServiceStopped();
        if (bStop && !ServiceStop()) {
            // It still runs on the copy: the copy, the options and the online
            // state stay, so going offline can be asked again.
            TraceDebug("Service cannot stop. (service = %s)\r\n", ServiceNameOf());
            m_bOnline = TRUE;
            return 0;
        }
        RestoreDocumentAndStatus();
        CloseServiceHdlr();
        return 1;
    }
    if (OpenServiceHdlr() && SaveDocumentAndStatus()) {
        if (ServiceStart())
            return 1;
        TraceDebug("Service cannot start. (service = %s)\r\n", ServiceNameOf());
    }
    return 0;
}
