#include "kestrun/model/opc/Callback.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "kestrun/model/DataType.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/Hint.h"
#include "kestrun/model/ItemLookup.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/MemoryTag.h"
#include "kestrun/model/SystemDevice.h"
#include "kestrun/model/opc/Browser.h"
#include "kestrun/options/EngineCounters.h"
#include "kestrun/options/ServerOptions.h"
#include "platform/com/Bstr.h"
#include "platform/com/Time.h"
#include "platform/dde/BrisantBlocks.h"

namespace {

constexpr const char* kDefaultVendor = "Zendry Software Inc.";

CfsMemoryTag* AsMemoryTag(CTag* tag) { return dynamic_cast<CfsMemoryTag*>(tag); }

// The resolution order of an OPC item id over the callback's tree and device map.
class ItemHost : public kestrun::OpcItemHost {
public:
    ItemHost(CfsBranch& root, bool create, std::function<void(const std::string&, const std::string&)> notFound)
        : m_root(root), m_bCreate(create), m_notFound(std::move(notFound))
    {
    }

    CfsMemoryTag* FindBrowseTag(const std::string& path) override
    {
        CfsMemoryTag* tag = m_root.FindTag(path);
        // A listed tag whose point is gone is no answer: the devices may know the item anew.
        return tag && tag->GetPoint() ? tag : nullptr;
    }

    CdsDeviceObject* FindDevice(const std::string& topic) override { return CdsDeviceMap::GetDeviceObjectByTopic(topic); }

    CdsMemoryObject* LookupInDevice(CdsDeviceObject* device, const std::string& item) override
    {
        auto findBlock = [device](const std::string& key) { return device->FindMemoryArray(key, -1); };
        return kestrun::LookupItemInBlocks(device->GetMemoryArrayList(), findBlock, item,
                                           kestrun::ItemNameOptions::Current())
            .point;
    }

    CdsMemoryObject* CreateDynamicPoint(CdsDeviceObject* device, const std::string& item) override
    {
        if (!m_bCreate)
            return nullptr;
        CdsMemoryArray* block = device->GetMemoryArrayByName("$Array");
        return block ? device->CreateDynamicMemoryObject(block, item.c_str()) : nullptr;
    }

    void ReportItemNotFound(const std::string& itemId, const std::string& accessPath) override
    {
        if (m_bCreate && m_notFound)
            m_notFound(itemId, accessPath);
    }

private:
    CfsBranch& m_root;
    bool m_bCreate;
    std::function<void(const std::string&, const std::string&)> m_notFound;
};

bool IsTextType(int type) { return type == BRISANT_STRING || type == BRISANT_FIXEDSTRING; }

// A float into an integer of the point's width: truncated toward zero, then cut to the width.
LONGLONG FloatToInteger(float value)
{
    if (std::isnan(value))
        return 0;
    constexpr double lo = static_cast<double>(std::numeric_limits<LONGLONG>::min());
    constexpr double hi = 9.2233720368547748e18;  // below 2^63
    double v = static_cast<double>(value);
    if (v <= lo)
        return std::numeric_limits<LONGLONG>::min();
    if (v >= hi)
        return std::numeric_limits<LONGLONG>::max();
    return static_cast<LONGLONG>(v);
}

HRESULT FloatToCell(float value, int pointType, _BRISANTDATAVALUE& cell)
{
    const LONGLONG whole = FloatToInteger(value);
    switch (pointType) {
    case BRISANT_BOOL: cell.boolVal = value != 0.0f ? 1 : 0; return S_OK;
    case BRISANT_CHAR: cell.cVal = static_cast<signed char>(static_cast<BYTE>(whole)); return S_OK;
    case BRISANT_BYTE: cell.bVal = static_cast<BYTE>(whole); return S_OK;
    case BRISANT_SHORT: cell.iVal = static_cast<SHORT>(static_cast<WORD>(whole)); return S_OK;
    case BRISANT_WORD: cell.wVal = static_cast<WORD>(whole); return S_OK;
    case BRISANT_LONG: cell.lVal = static_cast<LONG>(static_cast<DWORD>(whole)); return S_OK;
    case BRISANT_DWORD: cell.dwVal = static_cast<DWORD>(whole); return S_OK;
    case BRISANT_FLOAT: cell.fltVal = value; return S_OK;
    case BRISANT_DOUBLE: cell.dblVal = value; return S_OK;
    default: return E_FAIL;
    }
}

HRESULT TextToCell(const std::string& text, int pointType, _BRISANTDATAVALUE& cell)
{
    if (pointType == BRISANT_FIXEDSTRING) {
        const std::size_t length = std::min<std::size_t>(text.size(), 0x7FFF);
        auto* block = static_cast<BYTE*>(AllocBrisantBlock(length + 3));
        if (!block)
            return E_FAIL;
        dde::SetCountedLength(block, static_cast<SHORT>(length));
        std::memcpy(dde::CountedChars(block), text.data(), length);
        cell.pcsVal = block;
        return S_OK;
    }
    auto* chars = static_cast<char*>(AllocBrisantBlock(text.size() + 1));
    if (!chars)
        return E_FAIL;
    std::memcpy(chars, text.data(), text.size());
    cell.pszVal = chars;
    return S_OK;
}

} // namespace

int DataTypeOfVarType(VARTYPE vt)
{
    switch (vt) {
    case VT_I2: return BRISANT_SHORT;
    case VT_I4: return BRISANT_LONG;
    case VT_R4: return BRISANT_FLOAT;
    case VT_R8: return BRISANT_DOUBLE;
    case VT_BSTR:
    case VT_NULL: return BRISANT_STRING;
    case VT_BOOL: return BRISANT_BOOL;
    case VT_I1: return BRISANT_CHAR;
    case VT_UI1: return BRISANT_BYTE;
    case VT_UI2: return BRISANT_WORD;
    case VT_UI4: return BRISANT_DWORD;
    default: return -1;
    }
}

HRESULT VariantToDataValue(const VARIANT& value, int nPointType, bool extendedAsFloat, _BRISANTDATAVALUE& cell)
{
    cell.ullVal = 0;
    const VARTYPE vt = value.vt();
    // A text cell holds a pointer: only a text may go into a text point, and back.
    if ((vt == VT_BSTR) != IsTextType(nPointType))
        return E_FAIL;
    switch (vt) {
    case VT_I2: cell.iVal = value.iVal(); return S_OK;
    case VT_UI2: cell.wVal = value.uiVal(); return S_OK;
    case VT_I4: cell.lVal = value.lVal(); return S_OK;
    case VT_UI4: cell.dwVal = value.ulVal(); return S_OK;
    case VT_R4:
        if (extendedAsFloat)
            return FloatToCell(value.fltVal(), nPointType, cell);
        cell.fltVal = value.fltVal();
        return S_OK;
    case VT_R8: cell.dblVal = value.dblVal(); return S_OK;
    case VT_BSTR: return TextToCell(com::fromBstr(value.bstrVal()), nPointType, cell);
    case VT_BOOL: cell.boolVal = value.boolVal() != 0 ? 1 : 0; return S_OK;
    case VT_I1: cell.cVal = static_cast<signed char>(value.cVal()); return S_OK;
    case VT_UI1: cell.bVal = value.bVal(); return S_OK;
    default: return E_FAIL;
    }
}

CfsCallback::CfsCallback() = default;

CfsCallback::~CfsCallback()
{
    auto lock = Lock();
    m_pBrowser.reset();
    ClearTreeLocked();
}

void CfsCallback::SetDeviceMap(CdsDeviceMap* pMap)
{
    auto lock = Lock();
    ClearTreeLocked();
    m_pDeviceMap = pMap;
}

void CfsCallback::SetHintSink(HintSink sink)
{
    auto lock = Lock();
    m_hintSink = std::move(sink);
}

void CfsCallback::SetServerCompany(std::string strCompany)
{
    auto lock = Lock();
    m_strCompany = std::move(strCompany);
}

void CfsCallback::ClearTreeLocked()
{
    m_root.RemoveAll();
    m_bTreeBuilt = false;
    if (m_pBrowser)
        m_pBrowser->OnTreeReset();
}

void CfsCallback::BuildTreeLocked()
{
    if (!m_pDeviceMap)
        return;
    for (const auto& [key, device] : m_pDeviceMap->GetDevices()) {
        if (!device || device->m_strName.empty())
            continue;
        CfsBranch* deviceBranch = m_root.FindOrAddBranch(device->m_strName);
        for (CdsMemoryArray* block : device->GetMemoryArrayList().GetBlocks()) {
            if (!block)
                continue;
            CfsBranch* branch = block->GetName().empty() ? deviceBranch : deviceBranch->FindOrAddBranch(block->GetName());
            for (int i = 0; i < block->GetSize(); ++i) {
                CdsMemoryObject* point = block->GetMemoryObject(i);
                CfsMemoryTag* tag = point ? point->GetMemoryTag() : nullptr;
                if (!tag)
                    continue;
                std::string key = point->GetName();
                if (key.empty())
                    continue;
                branch->AddLeaf(key, tag);
                ApplyPointTagType(point);
            }
        }
    }
    m_bTreeBuilt = true;
}

CfsBranch& CfsCallback::GetRootLocked()
{
    if (!m_bTreeBuilt)
        BuildTreeLocked();
    return m_root;
}

void CfsCallback::SendHint(int nCode, const CdsHint& hint)
{
    // The sink is copied under the lock and called outside it.
    HintSink sink;
    {
        auto lock = Lock();
        sink = m_hintSink;
    }
    if (sink)
        sink(nCode, hint);
}

CfsMemoryTag* CfsCallback::FindAnyTagLocked(std::string_view itemId, std::string_view accessPath,
                                           std::vector<CdsHint>* pNotFound)
{
    CfsBranch& root = GetRootLocked();
    ItemHost host(root, pNotFound != nullptr, [pNotFound](const std::string& id, const std::string& path) {
        pNotFound->push_back(CdsHint::ForText(path, id));
    });
    kestrun::OpcItemResult found = kestrun::ResolveOpcItem(host, itemId, accessPath, kestrun::ItemNameOptions::Current());
    if (found.tag)
        return found.tag;
    if (!found.point)
        return nullptr;
    CfsMemoryTag* tag = found.point->GetMemoryTag();
    if (!tag)
        return nullptr;
    ApplyPointTagType(found.point);
    if (tag->GetShortName().empty())
        tag->SetNames(found.names.shortName, found.names.itemId);
    return tag;
}

HRESULT CfsCallback::FindTag(std::string_view itemId, DWORD& propertyCount, CTag*& tag)
{
    auto lock = Lock();
    CfsMemoryTag* found = FindAnyTagLocked(itemId, {}, nullptr);
    propertyCount = found ? kPropertyCount : 0;
    tag = found;
    return found ? S_OK : OPC_E_UNKNOWNITEMID;
}

HRESULT CfsCallback::QueryAvailableProperties(DWORD count, CTag* tag, std::vector<DWORD>& ids,
                                              std::vector<std::u16string>& descriptions, std::vector<VARTYPE>& types)
{
    ids.clear();
    descriptions.clear();
    types.clear();
    CfsMemoryTag* memoryTag = AsMemoryTag(tag);
    if (!memoryTag)
        return OPC_E_UNKNOWNITEMID;
    struct Property { DWORD id; const char* description; VARTYPE type; };
    const Property all[] = {
        {PROP_CANONICAL_TYPE, "Item Canonical DataType", VT_I2},
        {PROP_VALUE, "Item Value", memoryTag->GetCanonicalType()},
        {PROP_QUALITY, "Item Quality", VT_I2},
        {PROP_TIMESTAMP, "Item Timestamp", VT_DATE},
        {PROP_ACCESS_RIGHTS, "Item Access Rights", VT_I4},
        {PROP_DESCRIPTION, "Item Description", VT_BSTR},
    };
    for (DWORD i = 0; i < count && i < std::size(all); ++i) {
        ids.push_back(all[i].id);
        descriptions.push_back(AllocString(all[i].description));
        types.push_back(all[i].type);
    }
    return S_OK;
}

HRESULT CfsCallback::GetItemProperties(std::string_view itemId, std::span<const DWORD> propertyIds,
                                       std::vector<VARIANT>& values, std::vector<HRESULT>& errors)
{
    values.resize(propertyIds.size());
    errors.resize(propertyIds.size(), OPC_E_INVALID_PID);
    auto lock = Lock();
    CfsMemoryTag* tag = FindAnyTagLocked(itemId, {}, nullptr);
    if (!tag)
        return OPC_E_UNKNOWNITEMID;
    const CfsMemoryTag::Snapshot state = tag->Read();
    for (std::size_t i = 0; i < propertyIds.size(); ++i) {
        VARIANT& value = values[i];
        HRESULT& error = errors[i];
        value.clear();
        error = S_OK;
        switch (propertyIds[i]) {
        case PROP_CANONICAL_TYPE: value = VARIANT::I2(static_cast<SHORT>(tag->GetCanonicalType())); break;
        case PROP_VALUE: value = state.value; break;
        case PROP_QUALITY: value = VARIANT::I2(static_cast<SHORT>(state.wQuality)); break;
        case PROP_TIMESTAMP: {
            FILETIME local{};
            DATE date = 0;
            if (!com::fileTimeToLocalFileTime(state.ftTimestamp, local) || !com::fileTimeToDate(local, date))
                return E_FAIL;
            value = VARIANT::Date(date);
            break;
        }
        // Every item is offered for reading and writing; the block decides at write time.
        case PROP_ACCESS_RIGHTS: value = VARIANT::I4(3); break;
        case PROP_DESCRIPTION: value = VARIANT::String(tag->GetShortName()); break;
        default: error = OPC_E_INVALID_PID; break;
        }
    }
    return S_OK;
}

HRESULT CfsCallback::LookupItemID(std::string_view itemId, DWORD, std::u16string& text)
{
    text.clear();
    auto lock = Lock();
    if (!FindAnyTagLocked(itemId, {}, nullptr))
        return OPC_E_UNKNOWNITEMID;
    // None of the item's properties is an item of its own.
    return OPC_E_INVALID_PID;
}

COPCBrowser* CfsCallback::CreateBrowser()
{
    auto lock = Lock();
    if (!m_pBrowser)
        m_pBrowser = std::make_unique<CfsBrowser>(*this);
    return m_pBrowser.get();
}

DWORD CfsCallback::ReviseUpdateRate(DWORD requestedMs) { return requestedMs <= kMinUpdateRate ? kMinUpdateRate : requestedMs; }

CTag* CfsCallback::CreateTag(std::string_view itemId, std::string_view accessPath, std::string_view)
{
    std::vector<CdsHint> notFound;
    CfsMemoryTag* tag = nullptr;
    {
        auto lock = Lock();
        if (!m_pBrowser)
            m_pBrowser = std::make_unique<CfsBrowser>(*this);
        tag = FindAnyTagLocked(itemId, accessPath, &notFound);
        if (tag) {
            tag->AddRef();
            if (CdsMemoryObject* point = tag->GetPoint(); point && point->GetParent())
                point->GetParent()->Initialize(point);
        }
    }
    // The views hear of it outside the callback lock.
    for (const CdsHint& hint : notFound)
        SendHint(HINT_ACTION_FAILED, hint);
    return tag;
}

HRESULT CfsCallback::GetTagInfo(std::string_view itemId, VARTYPE& canonicalType, DWORD& accessRights)
{
    canonicalType = VT_EMPTY;
    accessRights = 0;
    auto lock = Lock();
    CfsMemoryTag* tag = FindAnyTagLocked(itemId, {}, nullptr);
    if (!tag)
        return OPC_E_UNKNOWNITEMID;
    canonicalType = tag->GetCanonicalType();
    accessRights = tag->GetAccessRights();
    return S_OK;
}

void CfsCallback::RemoveTags(std::span<CTag* const> tags)
{
    auto lock = Lock();
    for (CTag* tag : tags) {
        CfsMemoryTag* memoryTag = AsMemoryTag(tag);
        if (!memoryTag) {
            if (tag)
                tag->Release();
            continue;
        }
        // The block first: the release may free a tag whose point is gone.
        if (CdsMemoryObject* point = memoryTag->GetPoint(); point && point->GetParent())
            point->GetParent()->Shutdown(point);
        memoryTag->Release();
    }
}

std::string CfsCallback::GetTagName(CTag* tag)
{
    CfsMemoryTag* memoryTag = AsMemoryTag(tag);
    return memoryTag ? memoryTag->GetShortName() : std::string();
}

HRESULT CfsCallback::Read(std::span<CTag* const> tags, std::vector<CTagState>& states, std::vector<HRESULT>& errors)
{
    HRESULT hr = COPCCallback::Read(tags, states, errors);
    if (SUCCEEDED(hr))
        ++CdsEngineCounters::m_nWdogUpdating;  // the status bar's client updates
    return hr;
}

HRESULT CfsCallback::ReadTag(CTag* tag)
{
    // No callback lock: the binding is read under the tag's own lock, and every client's
    // subscription asks this for every tag written, all at once.
    CfsMemoryTag* memoryTag = AsMemoryTag(tag);
    return memoryTag && memoryTag->GetPoint() ? S_OK : E_FAIL;
}

HRESULT CfsCallback::Write(std::span<CTag* const> tags, std::span<const VARIANT> values, std::vector<HRESULT>& errors)
{
    return COPCCallback::Write(tags, values, errors);
}

HRESULT CfsCallback::WritePoint(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& cell, std::string& reason)
{
    CdsMemoryArray* block = pPoint->GetParent();
    CdsDeviceObject* device = block ? block->GetParent() : nullptr;
    if (device && pPoint->IsSystemObject() && block->IsSystemArray()) {
        int result = 0;
        const int handled = device->HandleCommand(pPoint, cell, result);
        // The server's commands have nowhere else to go; a device's status point
        // that the device does not take goes on as an ordinary (refused) write.
        if (dynamic_cast<CdsSystemDevice*>(device))
            return handled ? S_OK : E_FAIL;
        if (handled)
            return S_OK;
    }
    // A write the device can never send: the answer OPC DA has for an item that may not be written.
    if (!pPoint->IsWritableByDevice()) {
        reason = pPoint->GetWriteRefusal();
        return OPC_E_BADRIGHTS;
    }
    if (pPoint->WriteValue(cell, 0))
        return S_OK;
    reason = pPoint->GetWriteRefusal();
    return E_FAIL;
}

HRESULT CfsCallback::WriteTag(CTag* tag, const VARIANT& value)
{
    CfsMemoryTag* memoryTag = AsMemoryTag(tag);
    // Each write stages its value in a cell of its own, freed when the write is done.
    _BRISANTDATAVALUE cell{};
    HRESULT hr = E_FAIL;
    int type = -1;
    bool staged = false;
    CdsHint hint;
    std::string reason;
    {
        // The document lets points go under this lock: a point found here stays
        // until its write is queued, and its hint is made in the same model epoch.
        auto lock = Lock();
        CdsMemoryObject* point = memoryTag ? memoryTag->GetPoint() : nullptr;
        if (!point) {
            type = memoryTag ? DataTypeOfVarType(memoryTag->GetCanonicalType()) : -1;
        } else {
            type = point->GetDataType();
            staged = true;
            hr = VariantToDataValue(value, type, GetExtendedDataTypeAsFloat() != FALSE, cell);
            if (SUCCEEDED(hr))
                hr = WritePoint(point, cell, reason);
        }
        hint = CdsHint::ForValue(point, type, cell);
        hint.m_strReason = reason;
    }
    SendHint(SUCCEEDED(hr) ? HINT_WRITE_QUEUED : HINT_WRITE_REFUSED, hint);
    if (staged && IsTextType(type))
        ReleaseDataValue(type, cell);
    return hr;
}

std::string CfsCallback::GetErrorString(HRESULT) { return m_strError; }

std::string CfsCallback::GetVendorName()
{
    auto lock = Lock();
    return m_strCompany.empty() ? std::string(kDefaultVendor) : m_strCompany;
}

BOOL CfsCallback::GetExtendedDataTypeAsFloat()
{
    return CdsServerOptions::g_bExtendedDataTypeAsFloat.load() ? TRUE : FALSE;
}

BOOL CfsCallback::OnAddItem(CTag*)
{
    ++m_nItemCount;
    return TRUE;
}

void CfsCallback::OnRemoveItem(CTag*)
{
    int count = m_nItemCount.load();
    while (count > 0 && !m_nItemCount.compare_exchange_weak(count, count - 1)) {
    }
}

void CfsCallback::OnActivateItem(CTag* tag, BOOL active)
{
    if (!CdsServerOptions::g_bViewActions.load())
        return;
    CfsMemoryTag* memoryTag = AsMemoryTag(tag);
    SendHint(active ? HINT_ITEM_ACTIVE : HINT_ITEM_INACTIVE,
             CdsHint::ForText(std::string(), memoryTag ? memoryTag->GetItemId() : std::string()));
}

BOOL CfsCallback::OnClientConnect(IOPCServer*)
{
    ++m_nClientCount;
    return TRUE;
}

int CfsCallback::OnClientDisconnect(IOPCServer*)
{
    int count = m_nClientCount.load();
    while (count > 0 && !m_nClientCount.compare_exchange_weak(count, count - 1)) {
    }
    const int remaining = count > 0 ? count - 1 : 0;
    if (remaining > 0)
        return remaining;
    if (CdsServerOptions::g_bAutoCloseOnNoClient.load())
        m_bClosePending = true;
    return m_bClosePending.load() ? 1 : 0;
}

bool CfsCallback::OnTimer()
{
    if (!m_bClosePending.exchange(false))
        return false;
    CdsServerOptions::g_bConfirmOnQuit = 0;
    return true;
}
