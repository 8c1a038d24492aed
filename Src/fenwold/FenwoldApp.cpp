#include "fenwold/FenwoldApp.h"

#include <cstdio>

#include "fenwold/FenwoldDoc.h"
#include "fenwold/MainFrame.h"
#include "fenwold/Resource.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/app/RecentFileList.h"
#include "platform/opc/server/ServerEntries.h"
#include "platform/win/VersionInfo.h"

namespace fenwold {

std::string DocStringField(int nField)
{
    std::string text = kDocString;
    for (int i = 0; i < nField; ++i)
        text.erase(0, text.find('\n') == std::string::npos ? text.size() : text.find('\n') + 1);
    return text.substr(0, text.find('\n'));
}

long FenwoldDdeAction(int nAction, _BRISANT_DATAACTION* pAction)
{
    return CdsServerDoc::BrisantSystemAction(nAction, pAction);
}

} // namespace fenwold

CFenwoldApp::CFenwoldApp() : m_clsid(*com::parseGuidLoose(fenwold::kServerClsid)) {}

const opc::RegistrarScript* CFenwoldApp::GetRegistrarScript()
{
    static const opc::RegistrarScript script{"Tessaro.Fenwold.2", "Tessaro for Melsec PLC Ethernet 2",
                                             "Tessaro.Fenwold", fenwold::kServerCompany,
                                             fenwold::kServerDescription};
    return &script;
}

bool CFenwoldApp::InitInstance()
{
    SetAppInDll(0);
    if (!CdsServerApp::InitInstance())
        return false;
    SetDocTemplate({[] { return std::make_unique<CFenwoldDoc>(); }, [] { return std::make_unique<CMainFrame>(); },
                    fenwold::DocStringField(3), fenwold::DocStringField(4)});
    if (!HandleCommandLine())
        return false;
    if (!InitOPCServer(&fenwold::FenwoldDdeAction, 0)) {
        svcMessageBox("Cannot setup server interface!", nullptr);
        return false;
    }
    return true;
}

bool CFenwoldApp::OnCommand(UINT nId)
{
    if (nId >= ID_FILE_MRU_FILE1 && nId <= ID_FILE_MRU_FILE4) {
        const shell::RecentFileList* pList = GetRecentFileList();
        const std::size_t index = nId - ID_FILE_MRU_FILE1;
        if (pList && index < pList->GetFiles().size())
            OpenDocumentFile(std::string(pList->GetFiles()[index]));
        return true;
    }
    if (nId == ID_FILE_SAVE_AS) {
        std::string path;
        if (CdsServerDoc* pDoc = GetServerDoc(); pDoc && PromptForSaveFileName(pDoc->GetTitle(), path) &&
                                                 pDoc->OnSaveDocument(path))
            pDoc->SetPathName(path);
        return true;
    }
    if (nId == ID_APP_ABOUT) {
        char text[256];
        std::snprintf(text, sizeof text, "%s\nVersion %u.%u.%u.%u\n%s Inc.", "Tessaro for Melsec PLC (Ethernet)",
                      win::version::kMajor, win::version::kMinor / 10, win::version::kBuild,
                      win::version::kRevision, fenwold::kServerCompany);
        svcMessageBox(text, shell::MB_OK | shell::MB_ICONINFORMATION, shell::IDOK);
        return true;
    }
    return CdsServerApp::OnCommand(nId);
}
