// One copy of a server at a time, and the restart that replaces the process by
// a fresh copy of the program. Named mutexes are lock files held with flock:
// the instance lock for the life of the application, the restart lock from a
// restart's start until the exit. Both are opened close-on-exec, so the copy
// that a restart executes holds nothing of its predecessor's.
#include "kestrun/shell/server/ServerApp.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/app/StandardFolders.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "platform/win/NamedLock.h"

namespace {

std::string MutexName(const std::string& name) { return "Global\\" + name; }


} // namespace

bool CdsServerApp::SetInstanceMutexName(const char* pszClsid)
{
    m_strRestartLockName = MutexName(pszClsid ? pszClsid : "");
    shell::CommandLineInfo info;
    ParseCommandLine(info);
    return info.m_bRestart;
}

BOOL CdsServerApp::IsSingleInstance()
{
    const int bSingle = CdsServerFrame::GetSingleInstance();
    const bool bRestart = SetInstanceMutexName(GetServerCLSID());
    const char* name = IsServiceHelperMode() ? GetServiceName() : GetServerRegName();
    const std::string instance = MutexName(name ? name : GetAppName());
    if (bRestart) {
        WaitForPreviousProcessFinish();
        if (!bSingle)
            return TRUE;
        // The predecessor let go of the instance lock as it ended; a restarted
        // copy takes it as well, so a third copy is still refused.
        m_pInstanceLock = std::make_unique<win::NamedLock>(instance);
        if (!m_pInstanceLock->lock(m_dwPreviousWaitMs))
            TraceDebug("IsSingleInstance::Instance mutex (%s) not free, starting anyway, error = %08X!\n",
                       instance.c_str(), static_cast<unsigned>(m_pInstanceLock->lastError()));
        return TRUE;
    }
    if (!bSingle)
        return TRUE;
    if (CheckAlreadyRunning(name ? name : GetAppName())) {
        const char* description = GetServerDescription();
        svcMessageBox("\"" + std::string(description ? description : "") + "\" already running!",
                      shell::MB_OK | shell::MB_ICONERROR, shell::IDOK);
        return FALSE;
    }
    return TRUE;
}

bool CdsServerApp::CheckAlreadyRunning(const std::string& strName)
{
    const std::string name = MutexName(strName);
    m_pInstanceLock = std::make_unique<win::NamedLock>(name);
    if (m_pInstanceLock->tryLock())
        return false;
    if (m_pInstanceLock->lastError() == EWOULDBLOCK)
        TraceDebug("CheckAlreadyRunning::Already running (ERROR_ALREADY_EXISTS=%s)!\n", name.c_str());
    else
        TraceDebug("CheckAlreadyRunning::Error accessing to mutex (%s), error = %08X!\n", name.c_str(),
                   static_cast<unsigned>(m_pInstanceLock->lastError()));
    return true;
}

void CdsServerApp::WaitForPreviousProcessFinish()
{
    win::NamedLock restart(m_strRestartLockName);
    if (!restart.tryLock()) {
        TraceDebug("WaitForPreviousProcessFinish::Waiting for previous instance release mutex (%u ms)!\n",
                   static_cast<unsigned>(m_dwPreviousWaitMs));
        if (!restart.lock(m_dwPreviousWaitMs)) {
            TraceDebug("WaitForPreviousProcessFinish::Error accessing to mutex (%s), error = %08X!\n",
                       m_strRestartLockName.c_str(), static_cast<unsigned>(restart.lastError()));
            return;
        }
        m_bWaitedForPrevious = true;
    }
    restart.unlockAndRemove();
}

BOOL CdsServerApp::ActivateRestartProcess(const std::string& strFile)
{
    // Asked again while a restart is due: that one goes on, nothing waits for
    // a lock this process holds.
    if (!m_restartCommand.empty())
        return FALSE;
    if (m_strRestartLockName.empty())
        m_strRestartLockName = MutexName(GetServerCLSID() ? GetServerCLSID() : "");
    auto pLock = std::make_unique<win::NamedLock>(m_strRestartLockName);
    if (!pLock->tryLock()) {
        // Another copy is restarting: let it end, then stay as we are.
        TraceDebug("ActivateRestartProcess::Waiting for previous instance release mutex (%u ms)!\n",
                   static_cast<unsigned>(m_dwPreviousWaitMs));
        if (pLock->lock(m_dwPreviousWaitMs))
            pLock->unlockAndRemove();
        else
            TraceDebug("ActivateRestartProcess::Error accessing to mutex (%s), error = %08X!\n",
                       m_strRestartLockName.c_str(), static_cast<unsigned>(pLock->lastError()));
        return FALSE;
    }
    const std::string program = GetRestartProgram();
    if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
        TraceDebug("ActivateRestartProcess::Cannot start another copy of process (%s): %s!\n", program.c_str(),
                   std::strerror(errno));
        pLock->unlockAndRemove();
        return FALSE;
    }
    std::vector<std::string> command = {program, "--Restart"};
    if (!strFile.empty())
        command.push_back(strFile);
    std::string line;
    for (const std::string& part : command)
        line += (line.empty() ? "" : " ") + (part.find(' ') == std::string::npos ? part : "\"" + part + "\"");
    TraceDebug("ActivateRestartProcess::Create another copy of process (%s)!\n", line.c_str());
    m_pRestartLock = std::move(pLock);
    m_restartCommand = std::move(command);
    return TRUE;
}

std::string CdsServerApp::GetRestartProgram() const { return GetProgramPath(); }

void CdsServerApp::ReleaseInstanceMutex()
{
    if (m_pRestartLock) {
        m_pRestartLock->unlockAndRemove();
        m_pRestartLock.reset();
    }
    if (m_pInstanceLock) {
        m_pInstanceLock->unlockAndRemove();
        m_pInstanceLock.reset();
    }
}

int ExecRestart(const std::vector<std::string>& command)
{
    if (command.empty())
        return 1;
    std::vector<char*> argv;
    for (const std::string& part : command)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    TraceDebug("ActivateRestartProcess::Cannot start another copy of process (%s): %s!\n", command[0].c_str(),
               std::strerror(errno));
    return 1;
}
