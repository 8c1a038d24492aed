#include "kestrun/shell/server/ServerDdeHost.h"

#include <cstdio>

#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/app/ShellIds.h"
#include "platform/win/VersionInfo.h"

namespace {

void PutWord(char* p, unsigned value)
{
    p[0] = static_cast<char>(value & 0xFF);
    p[1] = static_cast<char>((value >> 8) & 0xFF);
}

} // namespace

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

BOOL FillServerVendorInfo(char* pRecord, std::size_t nSize)
{
    constexpr std::size_t kNumbers = 6;
    CdsServerApp* pApp = CdsServerApp::GetApp();
    if (!pApp || !pRecord || nSize < kNumbers + 1)
        return FALSE;
    PutWord(pRecord, win::version::kMajor);
    PutWord(pRecord + 2, win::version::kMinor);
    PutWord(pRecord + 4, win::version::kBuild);
    const char* name = pApp->GetServerRegName();
    const char* company = pApp->GetServerCompany();
    std::snprintf(pRecord + kNumbers, nSize - kNumbers, "%s (by %s)", name ? name : "", company ? company : "");
    return TRUE;
}
