#include "kestrun/shell/server/ServerDdeHost.h"

#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/app/ShellIds.h"
#include "kestrun/shell/app/Version.h"

bool CdsServerDdeHost::GetServerIdentity(std::string& strRegName, std::string& strCompany)
{
    const char* name = m_app.GetServerRegName();
    const char* company = m_app.GetServerCompany();
    strRegName = name ? name : "";
    strCompany = company ? company : "";
    return true;
}

long CdsServerDdeHost::FillServerVendorInfo(_BRISANT_DATAACTION& action)
{
    if (!action.pszReturn || action.nReturnLength <= 0)
        return 0;
    return ::FillServerVendorInfo(action.pszReturn, static_cast<std::size_t>(action.nReturnLength));
}

void CdsServerDdeHost::PostCloseServer()
{
    CdsServerFrame::g_bConfirmOnQuit = 0;
    if (PostServerFrameMessage(WM_CLOSE, 0, 0))
        return;
    if (win::Dispatcher* pDispatcher = m_app.GetDispatcher()) {
        CdsServerApp* pApp = &m_app;
        pDispatcher->post([pApp] { pApp->Quit(0); });
    }
}

void CdsServerDdeHost::UpdateViews(int nCode, const CdsHint& hint) { CdsServerDoc::fsUpdateViews(nCode, hint); }

std::string CdsServerDdeHost::GetNullStringValue()
{
    CdsServerFrame* pFrame = m_app.GetServerFrame();
    return pFrame ? pFrame->NullStringValue() : std::string();
}
