#pragma once
// The MELSEC server program's application: the framework's server application
// with the program's identity, its document template (document, main window,
// data view) and its DDE callback.
#include "kestrun/shell/server/ServerApp.h"
#include "platform/com/Guid.h"

namespace fenwold {

// The class id, chosen once: registry keys, the OPC socket's name and the
// restart lock are named after it.
inline constexpr const char* kServerClsid = "0320CD13-524B-4085-BBBF-8D2C332BCE9F";
inline constexpr const char* kServerProgId = "Tessaro.Fenwold.1";
inline constexpr const char* kServerCompany = "Zendry Software";
inline constexpr const char* kServerRegName = "Fenwold";
inline constexpr const char* kServerDescription = "Tessaro for Melsec PLC Ethernet";
inline constexpr const char* kServiceName = "FenwoldSvc";
inline constexpr const char* kServiceDescription = "Tessaro for Melsec PLC Ethernet";
// The document template: window title, file type name, filter name, extension.
inline constexpr const char* kDocString =
    "Fenwold\n\nFenwold\nFenwold Files (*.mme)\n.mme\nFenwold.Document\nFenwold Document";
// A field of the template's text (3 the filter name, 4 the extension).
std::string DocStringField(int nField);

// The DDE toolkit's callback of the program: the document's.
long FenwoldDdeAction(int nAction, _BRISANT_DATAACTION* pAction);

} // namespace fenwold

class CFenwoldApp : public CdsServerApp {
public:
    CFenwoldApp();

    const char* GetServerCLSID() override { return fenwold::kServerClsid; }
    const char* GetServerProgID() override { return fenwold::kServerProgId; }
    const char* GetServerCompany() override { return fenwold::kServerCompany; }
    const char* GetServerRegName() override { return fenwold::kServerRegName; }
    const char* GetServerDescription() override { return fenwold::kServerDescription; }
    const GUID* GetServerCLSID2() override { return &m_clsid; }
    const opc::RegistrarScript* GetRegistrarScript() override;
    const char* GetServerAppName() override { return nullptr; }
    const char* GetServerExeName() override { return nullptr; }
    const char* GetServiceName() override { return fenwold::kServiceName; }
    const char* GetServiceDescription() override { return fenwold::kServiceDescription; }

    // The framework's start-up with the program's template and callback;
    // "Cannot setup server interface!" when the toolkits cannot be set up.
    bool InitInstance() override;
    // Save As, the recent files (each loaded in place) and About.
    bool OnCommand(UINT nId) override;

private:
    GUID m_clsid;
};
