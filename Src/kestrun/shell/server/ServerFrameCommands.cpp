// The main window's commands and private messages, and the close rules.
#include "kestrun/shell/server/ServerFrame.h"

#include "kestrun/model/dde/DdeBridge.h"
#include "kestrun/shell/server/DataView.h"
#include "kestrun/shell/server/LogView.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/app/PathText.h"
#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/app/ShellIds.h"
#include "kestrun/shell/app/StandardFolders.h"

LRESULT CdsServerFrame::OnMessage(win::Message& msg)
{
    switch (msg.id) {
    case WM_MAINWND:
        return OnMainWnd(msg.wParam, msg.lParam);
    case WM_SKIPTIMER:
        return OnSkipTimer(msg.wParam, msg.lParam);
    case WM_OPENFILE:
        return OnMessageOpenFile(msg.text());
    default:
        return shell::Frame::OnMessage(msg);
    }
}

bool CdsServerFrame::OnCommand(UINT nId)
{
    switch (nId) {
    case ID_TRAY_HIDE:
        OnTrayIcon();
        return true;
    case ID_MAIN_SHOW:
        OnMainDlg();
        return true;
    case ID_EDIT_OPTION:
        OnEditOption();
        return true;
    case ID_MODE_ONLINE:
        if (CdsDataView* pView = GetDataView())
            pView->OnModeOnline();
        return true;
    case ID_MODE_OFFLINE:
        if (CdsDataView* pView = GetDataView())
            pView->OnModeOffline();
        return true;
    case ID_QUIT_CONFIRM:
        OnClose();
        return true;
    case ID_QUIT_IMMEDIATELY:
        OnQuitImmediately();
        return true;
    default:
        return false;
    }
}

void CdsServerFrame::OnClose()
{
    if (!IsWindow())
        return;
    if (g_bConfirmOnQuit.load() &&
        svcMessageBox("Do you want to Exit?", shell::MB_YESNO | shell::MB_ICONQUESTION, shell::IDYES) != shell::IDYES)
        return;
    // Asked before anything is torn down: Cancel leaves the server as it was.
    if (CdsServerDoc* pDoc = GetServerDoc(); pDoc && !pDoc->SaveModified())
        return;
    TearDown();
}

void CdsServerFrame::TearDown()
{
    g_bConfirmOnQuit = 0;
    if (kestrun::DdeBridge* pBridge = kestrun::DdeBridge::Installed())
        pBridge->FlushRefusals();
    StopDataUpdateTimer();
    DeleteContents();
    CdsServerApp::s_bQuitApp = 1;
    if (shell::Application* pApp = GetApplication())
        pApp->CloseMainFrame(0);
    else
        DestroyWindow();
}

void CdsServerFrame::CloseWithDefaultAnswers()
{
    shell::NonInteractivePresenter answers;
    shell::MessageBoxPresenter* previous = shell::InstallMessageBoxPresenter(&answers);
    OnClose();
    shell::InstallMessageBoxPresenter(previous);
    if (IsWindow()) {
        ShowLogMessage(LOG_ERROR, "The server is closing although its configuration could not be saved!\r\n");
        TearDown();
    }
}

void CdsServerFrame::OnQuitImmediately()
{
    g_bConfirmOnQuit = 0;
    OnClose();
}

LRESULT CdsServerFrame::OnMessageOpenFile(const std::string& strName)
{
    if (strName.empty())
        return -1;
    std::string path = strName;
    if (strName.find_first_of("/\\") == std::string::npos)
        path = JoinFolder(GetConfigFolder(1), strName);
    if (!IsAppFileAvailable(path)) {
        ShowLogVaMessage(LOG_ERROR, "Cannot open %s: it is not a readable file!\r\n", path.c_str());
        return -1;
    }
    SetLoadFilePathName(path);
    if (auto* pApp = dynamic_cast<CdsServerApp*>(GetApplication()))
        pApp->SetRestartFile(path);
    PostCommand(ID_APP_RESET);
    return 0;
}

void CdsServerFrame::OnMainDlg()
{
    ShowWindow(true);
    if (shell::FrameWindow* pWindow = GetFrameWindow())
        pWindow->Activate();
}
