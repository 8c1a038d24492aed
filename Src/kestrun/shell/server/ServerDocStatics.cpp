// How the document is reached without one at hand: posts to its views and the
// main window, the views' hint sink and the DDE side.
#include "kestrun/model/dde/DdeBridge.h"
#include "kestrun/model/Hint.h"
#include "kestrun/shell/server/LogView.h"
#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/app/ShellIds.h"
#include "kestrun/shell/app/View.h"

void CdsServerDoc::SendUpdateMessage(int nCode, CObject* pObject)
{
    for (shell::View* pView : GetViews())
        pView->PostMessage(WM_UPDATEHINT, static_cast<WPARAM>(nCode), 0,
                           win::makePayload<CdsHint>(CdsHint::ForObject(pObject)));
}

CdsServerDoc* CdsServerDoc::GetActiveDoc()
{
    CdsServerFrame* pFrame = CdsServerFrame::GetServerFrame();
    return pFrame ? pFrame->GetServerDoc() : nullptr;
}

void CdsServerDoc::ResetDocument(CdsServerDoc*) { fsResetDocument(); }

BOOL CdsServerDoc::fsSetOnline(int bOnline)
{
    return PostServerFrameMessage(WM_COMMAND, bOnline ? ID_MODE_ONLINE : ID_MODE_OFFLINE, 0) ? TRUE : FALSE;
}

BOOL CdsServerDoc::fsCloseDocument() { return PostServerFrameMessage(WM_COMMAND, ID_FILE_NEW, 0) ? TRUE : FALSE; }

BOOL CdsServerDoc::fsResetDocument() { return PostServerFrameMessage(WM_COMMAND, ID_APP_RESET, 0) ? TRUE : FALSE; }

BOOL CdsServerDoc::fsOpenDocument(const std::string& strPath)
{
    return PostServerFrameMessage(WM_OPENFILE, 0, 0, win::makePayload<std::string>(strPath)) ? TRUE : FALSE;
}

BOOL CdsServerDoc::fsCloseServer()
{
    DoCloseServer();
    return PostServerFrameMessage(WM_COMMAND, ID_QUIT_IMMEDIATELY, 0) ? TRUE : FALSE;
}

void CdsServerDoc::fsUpdateViews(int nCode, const CdsHint& hint)
{
    CdsServerApp* pApp = CdsServerApp::GetApp();
    win::Dispatcher* pDispatcher = pApp ? pApp->GetDispatcher() : nullptr;
    if (pDispatcher && pDispatcher->isApplicationThread()) {
        if (CdsServerDoc* pDoc = pApp->GetServerDoc()) {
            CdsHint copy = hint;
            pDoc->UpdateAllViews(nullptr, nCode, &copy);
            return;
        }
    }
    PostLogHintMessage(nCode, hint);
}

long CdsServerDoc::BrisantSystemAction(int nAction, _BRISANT_DATAACTION* pAction)
{
    return kestrun::DdeBridge::SystemAction(nAction, pAction);
}

void CdsServerDoc::DoCloseServer()
{
    if (kestrun::DdeBridge* pBridge = kestrun::DdeBridge::Installed())
        pBridge->DoCloseServer();
}

int CdsServerDoc::GetClientCount()
{
    const kestrun::DdeBridge* pBridge = kestrun::DdeBridge::Installed();
    return pBridge ? pBridge->GetClientCount() : 0;
}

int CdsServerDoc::GetItemCount()
{
    const kestrun::DdeBridge* pBridge = kestrun::DdeBridge::Installed();
    return pBridge ? pBridge->GetItemCount() : 0;
}
