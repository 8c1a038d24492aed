#include "kestrun/shell/server/ShellCommands.h"

#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/app/ShellIds.h"
#include "kestrun/shell/app/StandardFolders.h"

BOOL CdsShellCommands::SetOnline(int bOnline)
{
    return PostServerFrameMessage(WM_COMMAND, bOnline ? ID_MODE_ONLINE : ID_MODE_OFFLINE, 0) ? TRUE : FALSE;
}

BOOL CdsShellCommands::OpenDocument(const std::string& strPath)
{
    CdsServerFrame* pFrame = m_app.GetServerFrame();
    return pFrame && pFrame->OnMessageOpenFile(strPath) == 0 ? TRUE : FALSE;
}

BOOL CdsShellCommands::ResetDocument()
{
    return PostServerFrameMessage(WM_COMMAND, ID_APP_RESET, 0) ? TRUE : FALSE;
}

BOOL CdsShellCommands::CloseServer()
{
    // The DDE bridge lets its records go and posts the close itself.
    if (m_app.GetDdeBridge()) {
        CdsServerDoc::DoCloseServer();
        return TRUE;
    }
    return PostServerFrameMessage(WM_COMMAND, ID_QUIT_IMMEDIATELY, 0) ? TRUE : FALSE;
}

bool CdsShellCommands::PostToApplication(std::function<void()> task)
{
    win::Dispatcher* pDispatcher = m_app.GetDispatcher();
    return pDispatcher && pDispatcher->post(std::move(task));
}

std::filesystem::path CdsShellCommands::GetConfigFolder() const { return ::GetConfigFolder(1); }
