#include "platform/opc/server/OPCCallback.h"

#include "platform/com/Bstr.h"
#include "platform/opc/server/Toolkit.h"

COPCCallback::COPCCallback() = default;
COPCCallback::~COPCCallback() = default;

HRESULT COPCCallback::FindTag(std::string_view, DWORD& propertyCount, CTag*& tag)
{
    propertyCount = 0;
    tag = nullptr;
    return OPC_E_UNKNOWNITEMID;
}

HRESULT COPCCallback::QueryAvailableProperties(DWORD, CTag*, std::vector<DWORD>&, std::vector<std::u16string>&,
                                               std::vector<VARTYPE>&)
{
    return OPC_E_UNKNOWNITEMID;
}

HRESULT COPCCallback::GetItemProperties(std::string_view, std::span<const DWORD>, std::vector<VARIANT>&,
                                        std::vector<HRESULT>&)
{
    return OPC_E_UNKNOWNITEMID;
}

HRESULT COPCCallback::LookupItemID(std::string_view, DWORD, std::u16string&) { return OPC_E_UNKNOWNITEMID; }
COPCBrowser* COPCCallback::CreateBrowser() { return nullptr; }
DWORD COPCCallback::ReviseUpdateRate(DWORD requestedMs) { return requestedMs; }
CTag* COPCCallback::CreateTag(std::string_view, std::string_view, std::string_view) { return nullptr; }

HRESULT COPCCallback::GetTagInfo(std::string_view, VARTYPE& canonicalType, DWORD& accessRights)
{
    canonicalType = VT_EMPTY;
    accessRights = 0;
    return OPC_E_UNKNOWNITEMID;
}

void COPCCallback::RemoveTags(std::span<CTag* const> tags)
{
    for (CTag* t : tags)
        if (t) t->Release();
}

std::string COPCCallback::GetTagName(CTag*) { return {}; }

HRESULT COPCCallback::Read(std::span<CTag* const> tags, std::vector<CTagState>& states, std::vector<HRESULT>& errors)
{
    states.assign(tags.size(), CTagState{});
    errors.assign(tags.size(), S_OK);
    HRESULT result = S_OK;
    for (std::size_t i = 0; i < tags.size(); ++i) {
        HRESULT hr = tags[i] ? ReadTag(tags[i]) : E_FAIL;
        if (FAILED(hr)) {
            errors[i] = hr;
            result = S_FALSE;
            continue;
        }
        states[i] = tags[i]->Snapshot();
    }
    return result;
}

HRESULT COPCCallback::ReadTag(CTag*) { return S_OK; }

HRESULT COPCCallback::Write(std::span<CTag* const> tags, std::span<const VARIANT> values, std::vector<HRESULT>& errors)
{
    errors.assign(tags.size(), E_FAIL);
    HRESULT result = S_OK;
    for (std::size_t i = 0; i < tags.size() && i < values.size(); ++i) {
        errors[i] = tags[i] ? WriteTag(tags[i], values[i]) : E_FAIL;
        if (FAILED(errors[i])) result = S_FALSE;
    }
    return result;
}

HRESULT COPCCallback::WriteTag(CTag*, const VARIANT&) { return E_FAIL; }
std::string COPCCallback::GetErrorString(HRESULT) { return {}; }
std::string COPCCallback::GetVendorName() { return {}; }
BOOL COPCCallback::GetExtendedDataTypeAsFloat() { return FALSE; }
BOOL COPCCallback::OnAddItem(CTag*) { return TRUE; }
void COPCCallback::OnRemoveItem(CTag*) {}
void COPCCallback::OnActivateItem(CTag*, BOOL) {}
BOOL COPCCallback::OnClientConnect(IOPCServer*) { return TRUE; }
int COPCCallback::OnClientDisconnect(IOPCServer*) { return 0; }
OPCSERVERSTATE COPCCallback::GetServerState() { return OPC_STATUS_RUNNING; }
DWORD COPCCallback::fsGetServerCount()
{
    const opc::Toolkit* t = m_toolkit.load();
    return t ? t->clientCount() : 0;
}

std::u16string COPCCallback::AllocString(std::string_view text) { return com::toBstr(text); }
