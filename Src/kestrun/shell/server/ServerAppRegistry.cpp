// The "Regserver" and "Unregserver" switches: the server's COM class, its OPC
// server-list entry, the OPC toolkit's class keys and the DDE toolkit's entry.
// Every key comes from the identity getters.
#include "kestrun/shell/server/ServerApp.h"


#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/app/StandardFolders.h"
#include "platform/dde/BrisantToolkit.h"
#include "platform/opc/server/ServerEntries.h"
#include "platform/registry/Registry.h"

namespace {

constexpr const char* kOpcServersKey = "SOFTWARE\\Ambersel Software\\Server Toolkit\\OPCServers\\";
constexpr const char* kRunAs = "RunAs";


std::string Text(const char* psz) { return psz ? psz : ""; }

// A key removed with what it holds; one that is not there counts as removed.
bool DeleteKey(registry::Registry& reg, registry::Hive hive, const std::string& path)
{
    const registry::Status status = reg.DeleteKey(hive, path);
    return status == registry::Status::Ok || status == registry::Status::NotFound;
}

bool Written(registry::Status status) { return status == registry::Status::Ok; }

} // namespace

BOOL CdsServerApp::UpdateRegistry(int nType, int nFlag)
{
    if (nType != 1 && nType != 2)
        return FALSE;
    const bool bDone = nType == 1 ? RegisterServer(nFlag) : UnregisterServer(nFlag);
    const std::string text = std::string(nType == 1 ? "Register" : "Unregister") + " " +
                             Text(GetServerDescription()) + " " + (bDone ? "successful." : "Failed!");
    const std::string caption = Text(GetServerProgID());
    svcMessageBox(text, shell::MB_OK | (bDone ? shell::MB_ICONINFORMATION : shell::MB_ICONERROR), shell::IDOK,
                  caption.c_str());
    SetExitCode(bDone ? 0 : 1);
    return bDone ? TRUE : FALSE;
}

bool CdsServerApp::RegisterServer(int nFlag)
{
    const std::string progId = Text(GetServerProgID());
    const std::string regName = Text(GetServerRegName());
    const std::string clsid = "{" + Text(GetServerCLSID()) + "}";
    if (!dde::BrisantRegisterServer(0, GetServerCompany(), regName.c_str(), GetServerDescription()))
        return false;
    registry::Registry& reg = GetRegistry();
    bool bDone = !progId.empty() && GetServerCLSID();
    bDone &= Written(reg.SetString(HKEY_CLASSES_ROOT, progId, "", Text(GetServerDescription())));
    bDone &= Written(reg.SetString(HKEY_CLASSES_ROOT, progId + "\\CLSID", "", clsid));
    bDone &= Written(reg.SetString(HKEY_CLASSES_ROOT, progId + "\\OPC\\Vendor", "", Text(GetServerCompany())));
    bDone &= Written(reg.SetString(HKEY_CLASSES_ROOT, "CLSID\\" + clsid, "", progId));
    bDone &= Written(reg.SetString(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\ProgID", "", progId));
    const std::string program = GetProgramPath();
    if (program.empty())
        bDone = false;
    else
        bDone &= Written(reg.SetString(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\LocalServer32", "", program));
    bDone &= Written(reg.SetString(HKEY_LOCAL_MACHINE, kOpcServersKey + regName, "CLSID", clsid));
    // A server the OPC toolkit cannot start for clients is not registered.
    bDone &= fsRegisterServer(nFlag) != FALSE;
    return bDone;
}

BOOL CdsServerApp::fsRegisterServer(int)
{
    const GUID* pClsid = GetServerCLSID2();
    const std::string program = GetProgramPath();
    registry::Registry& reg = GetRegistry();
    const bool bToolkit = pClsid && !program.empty() && SUCCEEDED(opc::registerClass(reg, *pClsid, program, GetRegistrarScript()));
    if (!bToolkit)
        svcMessageBox("RegisterServer2 Failed", shell::MB_OK | shell::MB_ICONERROR, shell::IDOK);
    const bool bAppId =
        pClsid && Written(reg.SetString(HKEY_CLASSES_ROOT, "AppID\\" + com::formatGuid(*pClsid), kRunAs,
                                        "Interactive User"));
    return bToolkit && bAppId ? TRUE : FALSE;
}

bool CdsServerApp::UnregisterServer(int nFlag)
{
    bool bDone = fsUnRegisterServer(nFlag) != FALSE;
    const std::string progId = Text(GetServerProgID());
    const std::string regName = Text(GetServerRegName());
    const std::string clsidKey = "CLSID\\{" + Text(GetServerCLSID()) + "}";
    dde::BrisantUnregisterServer(0, GetServerCompany(), regName.c_str());
    registry::Registry& reg = GetRegistry();
    // Subkeys first, each the way registering made it; an empty ProgID or
    // class names no key of ours (it would name the hive's top).
    if (!progId.empty()) {
        for (const std::string& key : {progId + "\\OPC\\Vendor", progId + "\\OPC", progId + "\\CLSID", progId})
            bDone &= DeleteKey(reg, HKEY_CLASSES_ROOT, key);
    }
    if (GetServerCLSID()) {
        for (const std::string& key : {clsidKey + "\\LocalServer32", clsidKey + "\\ProgID", clsidKey})
            bDone &= DeleteKey(reg, HKEY_CLASSES_ROOT, key);
    }
    if (!regName.empty())
        bDone &= DeleteKey(reg, HKEY_LOCAL_MACHINE, kOpcServersKey + regName);
    return bDone;
}

BOOL CdsServerApp::fsUnRegisterServer(int bService)
{
    const GUID* pClsid = bService ? GetServiceCLSID2() : GetServerCLSID2();
    if (!pClsid)
        return FALSE;
    const char* progId2 = bService ? GetServiceProgID2() : GetServerProgID2();
    if (bService && (!progId2 || !GetServiceRegName() || !GetServiceDescription()))
        return FALSE;
    registry::Registry& reg = GetRegistry();
    const std::string clsid = com::formatGuid(*pClsid);
    // The COM class: its class key and the second ProgID.
    bool bDone = progId2 && *progId2;
    if (bDone)
        bDone &= DeleteKey(reg, HKEY_CLASSES_ROOT, progId2);
    bDone &= DeleteKey(reg, HKEY_CLASSES_ROOT, "CLSID\\" + clsid);
    bDone &= SUCCEEDED(opc::unregisterClass(reg, *pClsid, bService ? nullptr : GetRegistrarScript()));
    // What fsRegisterServer wrote: the value, and its key once nothing else is in it.
    const std::string appId = "AppID\\" + clsid;
    const registry::Status value = reg.DeleteValue(HKEY_CLASSES_ROOT, appId, kRunAs);
    bDone &= value == registry::Status::Ok || value == registry::Status::NotFound;
    std::vector<std::string> keys;
    std::vector<registry::NamedValue> values;
    if (reg.EnumKeys(HKEY_CLASSES_ROOT, appId, keys) == registry::Status::Ok &&
        reg.EnumValues(HKEY_CLASSES_ROOT, appId, values) == registry::Status::Ok && keys.empty() && values.empty())
        bDone &= DeleteKey(reg, HKEY_CLASSES_ROOT, appId);
    return bDone ? TRUE : FALSE;
}
