#include "platform/opc/server/ServerEntries.h"

#include "platform/opc/server/PatternMatch.h"
#include "platform/registry/Registry.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace {

std::string clsidKey(const CLSID& clsid) { return "CLSID\\" + com::formatGuid(clsid); }

HRESULT toHresult(registry::Status s)
{
    if (s == registry::Status::Ok) return S_OK;
    return HRESULT_FROM_WIN32(DWORD(s));
}

} // namespace

namespace opc {

HRESULT registerClass(registry::Registry& reg, const CLSID& clsid, const std::string& program,
                      const RegistrarScript* script)
{
    const std::string key = clsidKey(clsid);
    HRESULT hr = toHresult(reg.SetString(HKEY_CLASSES_ROOT, key + "\\LocalServer32", "", program));
    if (FAILED(hr)) return hr;
    for (const CATID& cat : {CATID_OPCDAServer10, CATID_OPCDAServer20}) {
        hr = toHresult(reg.CreateKey(HKEY_CLASSES_ROOT, key + "\\Implemented Categories\\" + com::formatGuid(cat)));
        if (FAILED(hr)) return hr;
    }
    if (!script || script->progId.empty())
        return S_OK;
    const std::string guid = com::formatGuid(clsid);
    struct Value {
        std::string key, name, text;
    };
    std::vector<Value> values = {
        {script->progId, "", script->progIdText},
        {script->progId + "\\CLSID", "", guid},
        {script->progId + "\\OPC\\Vendor", "", script->vendor},
        {key + "\\ProgID", "", script->progId},
        {key + "\\LocalServer32", "ThreadingModel", "both"},
        {"AppID\\" + guid, "", script->appIdText},
    };
    if (!script->versionIndependentProgId.empty()) {
        const std::string& vi = script->versionIndependentProgId;
        values.push_back({key + "\\VersionIndependentProgID", "", vi});
        values.push_back({vi, "", script->progIdText});
        values.push_back({vi + "\\CLSID", "", guid});
        values.push_back({vi + "\\CurVer", "", script->progId});
    }
    for (const Value& v : values) {
        hr = toHresult(reg.SetString(HKEY_CLASSES_ROOT, v.key, v.name, v.text));
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT unregisterClass(registry::Registry& reg, const CLSID& clsid, const RegistrarScript* script)
{
    const std::string key = clsidKey(clsid);
    std::vector<std::string> keys = {key + "\\Implemented Categories", key + "\\LocalServer32"};
    if (script && !script->progId.empty()) {
        keys.push_back(key + "\\VersionIndependentProgID");
        const std::string guid = com::formatGuid(clsid);
        for (const std::string& progId : {script->progId, script->versionIndependentProgId}) {
            std::string target;
            if (!progId.empty() &&
                reg.QueryString(HKEY_CLASSES_ROOT, progId + "\\CLSID", "", target) == registry::Status::Ok &&
                target == guid)
                keys.push_back(progId);
        }
        const registry::Status s = reg.DeleteValue(HKEY_CLASSES_ROOT, "AppID\\" + guid, "");
        if (s != registry::Status::Ok && s != registry::Status::NotFound) return toHresult(s);
    }
    for (const std::string& sub : keys) {
        registry::Status s = reg.DeleteKey(HKEY_CLASSES_ROOT, sub);
        if (s != registry::Status::Ok && s != registry::Status::NotFound) return toHresult(s);
    }
    return S_OK;
}

} // namespace opc

BOOL InitFSServerDLL()
{
    opc::Toolkit::process();
    return TRUE;
}

BOOL StartFSServer(const CLSID& clsid, BOOL serviceMode)
{
    return opc::Toolkit::process().start(clsid, serviceMode != FALSE) ? TRUE : FALSE;
}

void SetFSServerCallback(COPCCallback* callback) { opc::Toolkit::process().setCallback(callback); }

void StopFSServer(int, int) { opc::Toolkit::process().stop(); }

HRESULT RegisterFSServer(const CLSID& clsid, DWORD)
{
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return E_FAIL;
    return opc::registerClass(registry::Registry::Default(), clsid, self.string());
}

HRESULT UnregisterFSServer(const CLSID& clsid, DWORD)
{
    return opc::unregisterClass(registry::Registry::Default(), clsid);
}

BOOL FSMatchPattern(const char* name, const char* pattern, BOOL caseSensitive)
{
    if (!name || !pattern) return FALSE;
    return opc::matchPattern(name, pattern, caseSensitive != FALSE) ? TRUE : FALSE;
}
