#include "platform/opc/ServerList.h"

#include "platform/com/Bstr.h"
#include "platform/opc/Enumerators.h"
#include "platform/registry/Registry.h"

#include <algorithm>

namespace opc {
namespace {

registry::Registry& regOf(registry::Registry* r) { return r ? *r : registry::Registry::Default(); }

std::string clsidKey(const CLSID& clsid) { return "CLSID\\" + com::formatGuid(clsid); }

class ServerList final : public UnknownOf<IOPCServerList> {
public:
    explicit ServerList(registry::Registry& reg) : UnknownOf(IID_IOPCServerList), reg_(reg) {}

    HRESULT EnumClassesOfCategories(std::span<const CATID> implemented, std::span<const CATID> required,
                                    IEnumGUID** classes) override
    {
        if (!classes) return E_POINTER;
        *classes = nullptr;
        std::vector<std::string> keys;
        if (reg_.EnumKeys(HKEY_CLASSES_ROOT, "CLSID", keys) != registry::Status::Ok) keys.clear();
        std::vector<GUID> found;
        for (const std::string& k : keys) {
            auto clsid = com::parseGuid(k);
            if (!clsid) continue;
            std::vector<std::string> cats;
            reg_.EnumKeys(HKEY_CLASSES_ROOT, "CLSID\\" + k + "\\Implemented Categories", cats);
            auto has = [&](const CATID& c) {
                return std::any_of(cats.begin(), cats.end(), [&](const std::string& s) {
                    auto g = com::parseGuid(s);
                    return g && *g == c;
                });
            };
            bool anyImplemented = implemented.empty() || std::any_of(implemented.begin(), implemented.end(), has);
            bool allRequired = std::all_of(required.begin(), required.end(), has);
            if (anyImplemented && allRequired) found.push_back(*clsid);
        }
        *classes = GuidEnum::make(std::move(found), IID_IEnumGUID).detach();
        return S_OK;
    }

    HRESULT GetClassDetails(const CLSID& clsid, std::u16string& progId, std::u16string& userType) override
    {
        std::string p, u;
        if (reg_.QueryString(HKEY_CLASSES_ROOT, clsidKey(clsid) + "\\ProgID", "", p) != registry::Status::Ok &&
            reg_.QueryString(HKEY_CLASSES_ROOT, clsidKey(clsid), "", p) != registry::Status::Ok)
            return REGDB_E_CLASSNOTREG;
        if (reg_.QueryString(HKEY_CLASSES_ROOT, p, "", u) != registry::Status::Ok) u = p;
        progId = com::toBstr(p);
        userType = com::toBstr(u);
        return S_OK;
    }

    HRESULT CLSIDFromProgID(std::u16string_view progId, CLSID* clsid) override
    {
        return opc::CLSIDFromProgID(progId, clsid, &reg_);
    }

private:
    registry::Registry& reg_;
};

} // namespace

HRESULT CLSIDFromProgID(std::u16string_view progId, CLSID* clsid, registry::Registry* reg)
{
    if (!clsid) return E_POINTER;
    *clsid = CLSID_NULL;
    std::string p = com::fromBstr(progId);
    if (p.empty()) return CO_E_CLASSSTRING;
    std::string text;
    if (regOf(reg).QueryString(HKEY_CLASSES_ROOT, p + "\\CLSID", "", text) != registry::Status::Ok)
        return CO_E_CLASSSTRING;
    auto g = com::parseGuidLoose(text);
    if (!g) return CO_E_CLASSSTRING;
    *clsid = *g;
    return S_OK;
}

ComPtr<IOPCServerList> createServerList(registry::Registry* reg)
{
    return ComPtr<IOPCServerList>(new ServerList(regOf(reg)));
}

} // namespace opc
