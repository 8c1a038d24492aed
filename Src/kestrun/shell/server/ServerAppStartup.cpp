// Start-up of a server program: the command line and the first document.
#include "kestrun/shell/server/ServerApp.h"

#include "kestrun/shell/app/OptionHost.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/app/ShellIds.h"
#include "kestrun/shell/app/Version.h"

BOOL CdsServerApp::HandleCommandLine()
{
    const CdsVersion version;
    SetRegistryKey(shell::FormRegistryKey(version.GetMajor(), version.GetMinor()));
    if (!IsSingleInstance())
        return FALSE;
    LoadStdProfileSettings(4);
    shell::CommandLineInfo info;
    ParseCommandLine(info);
    GetRegistryCommand();
    if (!ProcessShellCommand(info))
        return FALSE;

    CdsServerFrame* pFrame = GetServerFrame();
    if (!pFrame)
        return FALSE;
    // Only a file that opened counts as loaded.
    bool bLoaded = false;
    if (info.m_nShellCommand != shell::CommandLineInfo::FileOpen && pFrame->GetLoadFileOnStartup()) {
        const std::string path = pFrame->GetLoadFilePathName();
        if (!path.empty())
            bLoaded = OpenDocumentFile(path) != nullptr;
    }
    pFrame->ShowWindow(true);
    if (bLoaded && pFrame->GetMinimizeOnStartup())
        pFrame->PostCommand(ID_TRAY_HIDE);
    return TRUE;
}

void CdsServerApp::GetRegistryCommand()
{
    const std::vector<std::string>& args = GetArguments();
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string name = args[i];
        if (!name.empty() && (name[0] == '-' || name[0] == '/'))
            name.erase(0, 1);
        if (shell::CommandLineInfo::EqualsNoCase(name, "Regserver")) {
            UpdateRegistry(1, 0);
            return;
        }
        if (shell::CommandLineInfo::EqualsNoCase(name, "Unregserver")) {
            UpdateRegistry(2, 0);
            return;
        }
        if (shell::CommandLineInfo::EqualsNoCase(name, "thread"))
            CdsServerFrame::g_bBackgroundThread = 1;
    }
}
