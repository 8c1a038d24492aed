#pragma once
// The toolkit's entry points as the framework calls them, on the process's toolkit.
#include "platform/opc/server/OPCCallback.h"
#include "platform/opc/server/Toolkit.h"

// Prepares the toolkit when the framework library loads; TRUE.
BOOL InitFSServerDLL();
// Opens the server of a class to clients; FALSE when it cannot (already started, socket
// in use by a running server).
BOOL StartFSServer(const CLSID& clsid, BOOL serviceMode);
// All later address-space work goes to the callback (not owned; keep it until stop).
void SetFSServerCallback(COPCCallback* callback);
// Shuts the server down (see opc::Toolkit::stop); the callback may be freed afterwards.
void StopFSServer(int shutdown, int flag);
// Writes the class's local-server program (this program) and its OPC DA 1.0 and 2.0
// categories under HKCR "CLSID\{clsid}"; flags is passed as given (5).
HRESULT RegisterFSServer(const CLSID& clsid, DWORD flags);
// Removes what RegisterFSServer wrote; S_OK when it was never there.
HRESULT UnregisterFSServer(const CLSID& clsid, DWORD flags);
// Non-zero when name matches the OPC browse filter pattern.
BOOL FSMatchPattern(const char* name, const char* pattern, BOOL caseSensitive);

namespace registry { class Registry; }
namespace opc {
// A server program's own class registration, applied with the toolkit's: its
// versioned and version-independent ProgIDs, their texts and the OPC vendor.
struct RegistrarScript {
    std::string progId;                   // "Tessaro.Fenwold.2"
    std::string progIdText;               // the versioned ProgID's default value
    std::string versionIndependentProgId; // "Tessaro.Fenwold"
    std::string vendor;                   // the ProgID's "OPC\Vendor"
    std::string appIdText;                // the AppID key's default value
};

// What RegisterFSServer writes, for a given registry and program path; with a
// script, also the program's ProgIDs (each leading to the class, the
// version-independent one through "CurVer" to the versioned one), the class's
// "ProgID", "VersionIndependentProgID" and threading model, and its AppID text.
HRESULT registerClass(registry::Registry& reg, const CLSID& clsid, const std::string& program,
                      const RegistrarScript* script = nullptr);
// Removes what registerClass wrote. A ProgID key is removed only while it still
// leads to this class, so another server's key of the same name stays.
HRESULT unregisterClass(registry::Registry& reg, const CLSID& clsid, const RegistrarScript* script = nullptr);
}
