#include "platform/opc/Group.h"

#include "platform/com/Bstr.h"
#include "platform/opc/DataStream.h"
#include "platform/opc/Enumerators.h"
#include "platform/opc/InterfaceSets.h"
#include "platform/opc/ServerObject.h"

#include <algorithm>

namespace opc {

// Work gathered under the group's lock and handed to the client's sinks after it.
struct Group::Delivery {
    struct Callback {
        enum class What { Data, Read, Write, Cancel } what = What::Data;
        DWORD transactionId = 0;
        std::vector<Result> results;
    };
    struct Stream {
        ComPtr<IAdviseSink> sink;
        FORMATETC format;
        std::vector<BYTE> bytes;
    };
    OPCHANDLE hClientGroup = 0;
    ComPtr<IOPCDataCallback> callback;
    std::vector<Callback> callbacks;
    std::vector<Stream> streams;
};

namespace {

bool isIntegerType(VARTYPE t)
{
    switch (t) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
        return true;
    default:
        return false;
    }
}

// A requested type the toolkit can convert values to.
bool isServableType(VARTYPE t)
{
    if (t == VT_EMPTY) return true;
    VARTYPE base = VARTYPE(t & ~VT_ARRAY);
    if ((t & ~(VT_ARRAY | VT_TYPEMASK)) != 0) return false;
    if (t & VT_ARRAY) return SAFEARRAY::canHold(base);
    return com::isScalarType(base) && base != VT_NULL;
}

HRESULT conversionError(HRESULT hr) { return hr == DISP_E_OVERFLOW ? OPC_E_RANGE : OPC_E_BADTYPE; }

std::string narrow(std::u16string_view s) { return com::fromBstr(s); }

} // namespace

ComPtr<Group> Group::create(std::shared_ptr<ServerCore> core, std::shared_ptr<ConnectionTables> tables,
                            GroupSettings settings)
{
    return ComPtr<Group>(new Group(std::move(core), std::move(tables), std::move(settings)));
}

Group::Group(std::shared_ptr<ServerCore> core, std::shared_ptr<ConnectionTables> tables, GroupSettings settings)
    : core_(std::move(core)), tables_(std::move(tables)), s_(std::move(settings)),
      callbackPoint_(*static_cast<IOPCItemMgt*>(this), IID_IOPCDataCallback, 1, [this] { resendAllLocked(); },
                     &mutex_)
{
    core_->addGroup(this);
}

Group::~Group() { core_->removeGroup(this); }

ULONG Group::Release()
{
    ULONG c = refs_.release();
    if (c == 0) {
        // A group dropped by every client without RemoveGroup still hands its tags back.
        if (auto call = core_->enterTeardown()) teardown(call.get());
        delete this;
    }
    return c;
}

HRESULT Group::QueryInterface(const IID& iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (offerGroupInterfaces(iid, this, out)) return S_OK;
    return E_NOINTERFACE;
}

bool Group::removed() const
{
    std::lock_guard lock(mutex_);
    return removed_;
}

std::u16string Group::name() const
{
    std::lock_guard lock(mutex_);
    return s_.name;
}

OPCHANDLE Group::serverHandle() const
{
    std::lock_guard lock(mutex_);
    return s_.hServerGroup;
}

void Group::teardown(COPCCallback* cb)
{
    std::vector<CTag*> tags;
    std::deque<Transaction> dropped;
    std::vector<Advise> advises;
    {
        std::lock_guard lock(mutex_);
        if (removed_) return;
        removed_ = true;
        for (auto& [h, item] : items_)
            if (item.tag) tags.push_back(std::exchange(item.tag, nullptr));
        items_.clear();
        dropped.swap(pending_);
        advises.swap(advises_);
    }
    callbackPoint_.clear();
    if (cb) {
        for (CTag* t : tags) cb->OnRemoveItem(t);
        if (!tags.empty()) cb->RemoveTags(tags);
    }
}

// ---- IOPCGroupStateMgt ----

HRESULT Group::GetState(DWORD* updateRate, BOOL* active, std::u16string* name, LONG* timeBias, FLOAT* percentDeadband,
                        LCID* lcid, OPCHANDLE* hClientGroup, OPCHANDLE* hServerGroup)
{
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    if (updateRate) *updateRate = s_.revisedRate;
    if (active) *active = s_.active;
    if (name) *name = s_.name;
    if (timeBias) *timeBias = s_.timeBias;
    if (percentDeadband) *percentDeadband = s_.percentDeadband;
    if (lcid) *lcid = s_.lcid;
    if (hClientGroup) *hClientGroup = s_.hClientGroup;
    if (hServerGroup) *hServerGroup = s_.hServerGroup;
    return S_OK;
}

HRESULT Group::SetState(const DWORD* requestedUpdateRate, DWORD* revisedUpdateRate, const BOOL* active,
                        const LONG* timeBias, const FLOAT* percentDeadband, const LCID* lcid,
                        const OPCHANDLE* hClientGroup)
{
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    if (percentDeadband && !(*percentDeadband >= 0.0f && *percentDeadband <= 100.0f)) return E_INVALIDARG;
    std::vector<std::pair<CTag*, BOOL>> activations;
    HRESULT result = S_OK;
    {
        std::lock_guard lock(mutex_);
        if (removed_) return E_FAIL;
        if (requestedUpdateRate) {
            s_.requestedRate = *requestedUpdateRate;
            s_.revisedRate = call->ReviseUpdateRate(*requestedUpdateRate);
            if (s_.revisedRate != s_.requestedRate) result = OPC_S_UNSUPPORTEDRATE;
        }
        if (active && (*active != FALSE) != (s_.active != FALSE)) {
            s_.active = *active ? TRUE : FALSE;
            // A group that becomes active sends every active item's value once.
            for (auto& [h, item] : items_) {
                item.sent = false;
                if (item.active && item.tag) activations.emplace_back(item.tag, s_.active);
            }
        }
        if (timeBias) s_.timeBias = *timeBias;
        if (percentDeadband) s_.percentDeadband = *percentDeadband;
        if (lcid) s_.lcid = *lcid;
        if (hClientGroup) s_.hClientGroup = *hClientGroup;
        if (revisedUpdateRate) *revisedUpdateRate = s_.revisedRate;
        for (auto& [tag, on] : activations) call->OnActivateItem(tag, on);
    }
    return result;
}

HRESULT Group::SetName(std::u16string_view name)
{
    if (name.empty()) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    if (name == s_.name) return S_OK;
    {
        std::lock_guard tl(tables_->mutex);
        if (tables_->groupNames.count(std::u16string(name))) return OPC_E_DUPLICATENAME;
        tables_->groupNames.erase(s_.name);
        tables_->groupNames.insert(std::u16string(name));
    }
    s_.name = name;
    return S_OK;
}

// ---- IOPCItemMgt ----

HRESULT Group::validateDef(COPCCallback* cb, const OPCITEMDEF& def, OPCITEMRESULT& result)
{
    if (def.szItemID.empty()) return OPC_E_INVALIDITEMID;
    if (!isServableType(def.vtRequestedDataType)) return OPC_E_BADTYPE;
    VARTYPE canonical = VT_EMPTY;
    DWORD access = 0;
    HRESULT hr = cb->GetTagInfo(narrow(def.szItemID), canonical, access);
    if (FAILED(hr)) return hr;
    result.vtCanonicalDataType = canonical;
    result.dwAccessRights = access;
    return S_OK;
}

HRESULT Group::AddItems(std::span<const OPCITEMDEF> defs, std::vector<OPCITEMRESULT>& results,
                        std::vector<HRESULT>& errors)
{
    results.assign(defs.size(), OPCITEMRESULT{});
    errors.assign(defs.size(), E_FAIL);
    if (defs.empty()) return E_INVALIDARG;
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    HRESULT overall = S_OK;
    for (std::size_t i = 0; i < defs.size(); ++i) {
        const OPCITEMDEF& def = defs[i];
        HRESULT hr = S_OK;
        CTag* tag = nullptr;
        if (def.szItemID.empty()) hr = OPC_E_INVALIDITEMID;
        else if (!isServableType(def.vtRequestedDataType)) hr = OPC_E_BADTYPE;
        else {
            tag = call->CreateTag(narrow(def.szItemID), narrow(def.szAccessPath), {});
            if (!tag) hr = OPC_E_UNKNOWNITEMID;
            else if (!call->OnAddItem(tag)) {
                CTag* one[] = {tag};
                call->RemoveTags(one);
                tag = nullptr;
                hr = E_FAIL;
            }
        }
        if (FAILED(hr)) {
            errors[i] = hr;
            overall = S_FALSE;
            continue;
        }
        Item item;
        item.hServer = tables_->newItemHandle();
        item.hClient = def.hClient;
        item.tag = tag;
        item.itemId = def.szItemID;
        item.accessPath = def.szAccessPath;
        item.active = def.bActive ? TRUE : FALSE;
        item.requested = def.vtRequestedDataType;
        item.canonical = tag->m_vtCanonical;
        item.access = tag->m_wAccessRights;
        item.blob = def.blob;
        results[i] = OPCITEMRESULT{item.hServer, item.canonical, item.access, {}};
        errors[i] = S_OK;
        if (item.active && s_.active) call->OnActivateItem(tag, TRUE);
        items_.emplace(item.hServer, std::move(item));
    }
    return overall;
}

HRESULT Group::ValidateItems(std::span<const OPCITEMDEF> defs, BOOL, std::vector<OPCITEMRESULT>& results,
                             std::vector<HRESULT>& errors)
{
    results.assign(defs.size(), OPCITEMRESULT{});
    errors.assign(defs.size(), E_FAIL);
    if (defs.empty()) return E_INVALIDARG;
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    if (removed()) return E_FAIL;
    HRESULT overall = S_OK;
    for (std::size_t i = 0; i < defs.size(); ++i) {
        errors[i] = validateDef(call.get(), defs[i], results[i]);
        if (FAILED(errors[i])) overall = S_FALSE;
    }
    return overall;
}

Group::Item* Group::findLocked(OPCHANDLE h)
{
    auto it = items_.find(h);
    return it == items_.end() ? nullptr : &it->second;
}

// Applies fn to each handle's item; an unknown handle keeps OPC_E_INVALIDHANDLE. Any failure makes the
// whole call S_FALSE.
template <typename Fn>
HRESULT Group::forEachItemLocked(std::span<const OPCHANDLE> handles, std::vector<HRESULT>& errors, Fn&& fn)
{
    HRESULT overall = S_OK;
    for (std::size_t i = 0; i < handles.size(); ++i) {
        Item* item = findLocked(handles[i]);
        if (!item) {
            overall = S_FALSE;
            continue;
        }
        errors[i] = fn(*item, i);
        if (FAILED(errors[i])) overall = S_FALSE;
    }
    return overall;
}

bool Group::anyActiveItemLocked() const
{
    return std::any_of(items_.begin(), items_.end(), [](const auto& p) { return p.second.active != FALSE; });
}

// The values of the handles that passed the check, in order.
static std::vector<VARIANT> acceptedValues(std::span<const VARIANT> values, const std::vector<HRESULT>& errors)
{
    std::vector<VARIANT> out;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (SUCCEEDED(errors[i])) out.push_back(values[i]);
    return out;
}

HRESULT Group::RemoveItems(std::span<const OPCHANDLE> handles, std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (handles.empty()) return E_INVALIDARG;
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    HRESULT overall = S_OK;
    std::vector<CTag*> tags;
    for (std::size_t i = 0; i < handles.size(); ++i) {
        auto it = items_.find(handles[i]);
        if (it == items_.end()) {
            overall = S_FALSE;
            continue;
        }
        if (it->second.tag) tags.push_back(it->second.tag);
        items_.erase(it);
        errors[i] = S_OK;
    }
    for (CTag* t : tags) call->OnRemoveItem(t);
    if (!tags.empty()) call->RemoveTags(tags);
    return overall;
}

HRESULT Group::SetActiveState(std::span<const OPCHANDLE> handles, BOOL active, std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (handles.empty()) return E_INVALIDARG;
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    const BOOL on = active ? TRUE : FALSE;
    return forEachItemLocked(handles, errors, [&](Item& item, std::size_t) {
        if (item.active == on) return S_OK;
        item.active = on;
        item.sent = false;  // an item made active sends its value once
        if (s_.active) call->OnActivateItem(item.tag, on);
        return S_OK;
    });
}

HRESULT Group::SetClientHandles(std::span<const OPCHANDLE> handles, std::span<const OPCHANDLE> clients,
                                std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (handles.empty() || clients.size() != handles.size()) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    return forEachItemLocked(handles, errors, [&](Item& item, std::size_t i) {
        item.hClient = clients[i];
        return S_OK;
    });
}

HRESULT Group::SetDatatypes(std::span<const OPCHANDLE> handles, std::span<const VARTYPE> requested,
                            std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (handles.empty() || requested.size() != handles.size()) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    return forEachItemLocked(handles, errors, [&](Item& item, std::size_t i) {
        if (!isServableType(requested[i])) return OPC_E_BADTYPE;
        item.requested = requested[i];
        item.sent = false;
        return S_OK;
    });
}

HRESULT Group::CreateEnumerator(const IID& iid, IUnknown** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IEnumOPCItemAttributes) return E_NOINTERFACE;
    std::vector<OPCITEMATTRIBUTES> list;
    {
        std::lock_guard lock(mutex_);
        if (removed_) return E_FAIL;
        for (const auto& [h, item] : items_) {
            OPCITEMATTRIBUTES a;
            a.szAccessPath = item.accessPath;
            a.szItemID = item.itemId;
            a.bActive = item.active;
            a.hClient = item.hClient;
            a.hServer = item.hServer;
            a.dwAccessRights = item.access;
            a.blob = item.blob;
            a.vtRequestedDataType = item.requested;
            a.vtCanonicalDataType = item.canonical;
            list.push_back(std::move(a));
        }
    }
    bool none = list.empty();
    *out = ItemAttributesEnum::make(std::move(list), IID_IEnumOPCItemAttributes).detach();
    return none ? S_FALSE : S_OK;
}

// ---- reads and writes ----

Group::Result Group::readLocked(COPCCallback*, Item& item, CTag*, const CTagState& state, HRESULT readError,
                                OPCDATASOURCE source)
{
    Result r;
    r.hClient = item.hClient;
    if (FAILED(readError)) {
        r.error = readError;
        return r;
    }
    r.timestamp = state.timestamp;
    r.quality = state.quality;
    if (source == OPC_DS_CACHE && (!s_.active || !item.active)) r.quality = OPC_QUALITY_OUT_OF_SERVICE;
    VARTYPE want = item.requested == VT_EMPTY ? state.value.vt() : item.requested;
    if (want == state.value.vt() || state.value.vt() == VT_EMPTY) {
        r.value = state.value;
    } else {
        HRESULT hr = com::changeType(state.value, want, r.value);
        if (FAILED(hr)) {
            r.value.clear();
            r.quality = OPC_QUALITY_BAD;
            r.error = conversionError(hr);
        }
    }
    return r;
}

std::vector<Group::Result> Group::readItemsLocked(COPCCallback* cb, std::span<Item* const> items,
                                                  OPCDATASOURCE source)
{
    std::vector<CTag*> tags;
    tags.reserve(items.size());
    for (Item* i : items) tags.push_back(i->tag);
    std::vector<CTagState> states;
    std::vector<HRESULT> errors;
    cb->Read(tags, states, errors);
    states.resize(items.size());
    errors.resize(items.size(), E_FAIL);
    std::vector<Result> out;
    out.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        out.push_back(readLocked(cb, *items[i], tags[i], states[i], errors[i], source));
    return out;
}

std::vector<HRESULT> Group::writeItemsLocked(COPCCallback* cb, std::span<Item* const> items,
                                             std::span<const VARIANT> values)
{
    std::vector<HRESULT> errors(items.size(), S_OK);
    const bool asFloat = cb->GetExtendedDataTypeAsFloat() != FALSE;
    std::vector<CTag*> tags;
    std::vector<VARIANT> converted;
    std::vector<std::size_t> where;
    for (std::size_t i = 0; i < items.size(); ++i) {
        Item& item = *items[i];
        if (!(item.access & OPC_WRITEABLE)) {
            errors[i] = OPC_E_BADRIGHTS;
            continue;
        }
        VARTYPE target = item.canonical;
        if (asFloat && isIntegerType(target)) target = VT_R4;
        VARIANT v;
        HRESULT hr = target == VT_EMPTY ? (v = values[i], S_OK) : com::changeType(values[i], target, v);
        if (FAILED(hr)) {
            errors[i] = conversionError(hr);
            continue;
        }
        tags.push_back(item.tag);
        converted.push_back(std::move(v));
        where.push_back(i);
    }
    if (!tags.empty()) {
        std::vector<HRESULT> tagErrors;
        cb->Write(tags, converted, tagErrors);
        tagErrors.resize(tags.size(), E_FAIL);
        for (std::size_t k = 0; k < where.size(); ++k) errors[where[k]] = tagErrors[k];
    }
    return errors;
}

// The items the handles name, and where each handle stands in the call.
void Group::findItemsLocked(std::span<const OPCHANDLE> handles, std::vector<Item*>& items,
                            std::vector<std::size_t>& where)
{
    for (std::size_t i = 0; i < handles.size(); ++i)
        if (Item* item = findLocked(handles[i])) {
            items.push_back(item);
            where.push_back(i);
        }
}

HRESULT Group::Read(OPCDATASOURCE source, std::span<const OPCHANDLE> handles, std::vector<OPCITEMSTATE>& values,
                    std::vector<HRESULT>& errors)
{
    values.assign(handles.size(), OPCITEMSTATE{});
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (handles.empty() || (source != OPC_DS_CACHE && source != OPC_DS_DEVICE)) return E_INVALIDARG;
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    std::vector<Item*> items;
    std::vector<std::size_t> where;
    findItemsLocked(handles, items, where);
    std::vector<Result> results = readItemsLocked(call.get(), items, source);
    HRESULT overall = items.size() == handles.size() ? S_OK : S_FALSE;
    for (std::size_t k = 0; k < results.size(); ++k) {
        OPCITEMSTATE& st = values[where[k]];
        st.hClient = results[k].hClient;
        st.ftTimeStamp = results[k].timestamp;
        st.wQuality = results[k].quality;
        st.vDataValue = std::move(results[k].value);
        errors[where[k]] = results[k].error;
        if (FAILED(results[k].error)) overall = S_FALSE;
    }
    return overall;
}

HRESULT Group::Write(std::span<const OPCHANDLE> handles, std::span<const VARIANT> values,
                     std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (handles.empty() || values.size() != handles.size()) return E_INVALIDARG;
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    std::vector<Item*> items;
    std::vector<std::size_t> where;
    findItemsLocked(handles, items, where);
    std::vector<VARIANT> vals;
    vals.reserve(where.size());
    for (std::size_t i : where) vals.push_back(values[i]);
    std::vector<HRESULT> results = writeItemsLocked(call.get(), items, vals);
    HRESULT overall = items.size() == handles.size() ? S_OK : S_FALSE;
    for (std::size_t k = 0; k < results.size(); ++k) {
        errors[where[k]] = results[k];
        if (FAILED(results[k])) overall = S_FALSE;
    }
    return overall;
}

// ---- asynchronous transactions ----

HRESULT Group::checkHandlesLocked(std::span<const OPCHANDLE> handles, std::vector<HRESULT>& errors,
                                  std::vector<OPCHANDLE>& valid)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    HRESULT overall = S_OK;
    for (std::size_t i = 0; i < handles.size(); ++i) {
        if (findLocked(handles[i])) {
            errors[i] = S_OK;
            valid.push_back(handles[i]);
        } else {
            overall = S_FALSE;
        }
    }
    return overall;
}

ComPtr<IAdviseSink> Group::adviseSinkLocked(DWORD connection, CLIPFORMAT* format)
{
    for (const Advise& a : advises_)
        if (a.connection == connection) {
            if (format) *format = a.format;
            return a.sink;
        }
    return {};
}

// A write completes to a connection advised with the write-complete format; reads and
// refreshes to one advised with a data format.
HRESULT Group::completionSinkLocked(DWORD connection, bool forWrite)
{
    CLIPFORMAT f = 0;
    if (!adviseSinkLocked(connection, &f) || (f == CF_OPCSTMFORMATWRITECOMPLETE) != forWrite)
        return CONNECT_E_NOCONNECTION;
    return S_OK;
}

// Under the lock, once `admit` lets the call in: the handles that name items, with their
// values for a write, go into t.
template <typename Admit>
HRESULT Group::collectLocked(std::span<const OPCHANDLE> handles, std::span<const VARIANT> values,
                             std::vector<HRESULT>& errors, Transaction& t, Admit&& admit)
{
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    if (HRESULT hr = admit(); FAILED(hr)) return hr;
    HRESULT overall = checkHandlesLocked(handles, errors, t.handles);
    if (!values.empty()) t.values = acceptedValues(values, errors);
    return overall;
}

HRESULT Group::Read(DWORD connection, OPCDATASOURCE source, std::span<const OPCHANDLE> handles,
                    DWORD* transactionId, std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (!transactionId) return E_POINTER;
    *transactionId = 0;
    if (handles.empty() || (source != OPC_DS_CACHE && source != OPC_DS_DEVICE)) return E_INVALIDARG;
    if (!core_->accepting()) return CO_E_SERVER_STOPPING;
    Transaction t;
    HRESULT overall =
        collectLocked(handles, {}, errors, t, [&] { return completionSinkLocked(connection, false); });
    if (FAILED(overall)) return overall;
    if (t.handles.empty()) return S_FALSE;
    t.kind = Kind::Read;
    t.connection = connection;
    t.source = source;
    *transactionId = queue(std::move(t));
    return overall;
}

HRESULT Group::Write(DWORD connection, std::span<const OPCHANDLE> handles, std::span<const VARIANT> values,
                     DWORD* transactionId, std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (!transactionId) return E_POINTER;
    *transactionId = 0;
    if (handles.empty() || values.size() != handles.size()) return E_INVALIDARG;
    if (!core_->accepting()) return CO_E_SERVER_STOPPING;
    Transaction t;
    HRESULT overall =
        collectLocked(handles, values, errors, t, [&] { return completionSinkLocked(connection, true); });
    if (FAILED(overall)) return overall;
    if (t.handles.empty()) return S_FALSE;
    t.kind = Kind::Write;
    t.connection = connection;
    *transactionId = queue(std::move(t));
    return overall;
}

HRESULT Group::Refresh(DWORD connection, OPCDATASOURCE source, DWORD* transactionId)
{
    if (!transactionId) return E_POINTER;
    *transactionId = 0;
    if (source != OPC_DS_CACHE && source != OPC_DS_DEVICE) return E_INVALIDARG;
    if (!core_->accepting()) return CO_E_SERVER_STOPPING;
    Transaction t;
    {
        std::lock_guard lock(mutex_);
        if (removed_) return E_FAIL;
        if (HRESULT hr = completionSinkLocked(connection, false); FAILED(hr)) return hr;
        if (!s_.active || !anyActiveItemLocked()) return E_FAIL;
    }
    t.kind = Kind::Refresh;
    t.connection = connection;
    t.source = source;
    *transactionId = queue(std::move(t));
    return S_OK;
}

HRESULT Group::Cancel(DWORD transactionId)
{
    return cancelQueued(transactionId, false, nullptr) ? S_OK : E_FAIL;
}

HRESULT Group::Read(std::span<const OPCHANDLE> handles, DWORD transactionId, DWORD* cancelId,
                    std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (!cancelId) return E_POINTER;
    *cancelId = 0;
    if (handles.empty()) return E_INVALIDARG;
    if (!core_->accepting()) return CO_E_SERVER_STOPPING;
    if (callbackPoint_.empty()) return CONNECT_E_NOCONNECTION;
    Transaction t;
    HRESULT overall = collectLocked(handles, {}, errors, t, [] { return S_OK; });
    if (FAILED(overall)) return overall;
    if (t.handles.empty()) return S_FALSE;
    t.v2 = true;
    t.kind = Kind::Read;
    t.clientId = transactionId;
    t.source = OPC_DS_DEVICE;
    *cancelId = queue(std::move(t));
    return overall;
}

HRESULT Group::Write(std::span<const OPCHANDLE> handles, std::span<const VARIANT> values, DWORD transactionId,
                     DWORD* cancelId, std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (!cancelId) return E_POINTER;
    *cancelId = 0;
    if (handles.empty() || values.size() != handles.size()) return E_INVALIDARG;
    if (!core_->accepting()) return CO_E_SERVER_STOPPING;
    if (callbackPoint_.empty()) return CONNECT_E_NOCONNECTION;
    Transaction t;
    HRESULT overall = collectLocked(handles, values, errors, t, [] { return S_OK; });
    if (FAILED(overall)) return overall;
    if (t.handles.empty()) return S_FALSE;
    t.v2 = true;
    t.kind = Kind::Write;
    t.clientId = transactionId;
    *cancelId = queue(std::move(t));
    return overall;
}

HRESULT Group::Refresh2(OPCDATASOURCE source, DWORD transactionId, DWORD* cancelId)
{
    if (!cancelId) return E_POINTER;
    *cancelId = 0;
    if (source != OPC_DS_CACHE && source != OPC_DS_DEVICE) return E_INVALIDARG;
    if (!core_->accepting()) return CO_E_SERVER_STOPPING;
    if (callbackPoint_.empty()) return CONNECT_E_NOCONNECTION;
    {
        std::lock_guard lock(mutex_);
        if (removed_) return E_FAIL;
        if (!s_.active || !anyActiveItemLocked()) return E_FAIL;
    }
    Transaction t;
    t.v2 = true;
    t.kind = Kind::Refresh;
    t.clientId = transactionId;
    t.source = source;
    *cancelId = queue(std::move(t));
    return S_OK;
}

HRESULT Group::Cancel2(DWORD cancelId)
{
    Transaction t;
    if (!cancelQueued(cancelId, true, &t)) return E_FAIL;
    Delivery d;
    {
        std::lock_guard lock(mutex_);
        d.hClientGroup = s_.hClientGroup;
    }
    auto sinks = callbackPoint_.sinks<IOPCDataCallback>();
    if (!sinks.empty()) {
        d.callback = sinks.front();
        d.callbacks.push_back({Delivery::Callback::What::Cancel, t.clientId, {}});
        deliver(d);
    }
    return S_OK;
}

HRESULT Group::SetEnable(BOOL enable)
{
    if (callbackPoint_.empty()) return CONNECT_E_NOCONNECTION;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    enabled_ = enable ? TRUE : FALSE;
    return S_OK;
}

HRESULT Group::GetEnable(BOOL* enable)
{
    if (!enable) return E_POINTER;
    if (callbackPoint_.empty()) return CONNECT_E_NOCONNECTION;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    *enable = enabled_;
    return S_OK;
}

DWORD Group::queue(Transaction t)
{
    t.id = core_->nextTransactionId();
    DWORD id = t.id;
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(t));
    return id;
}

bool Group::cancelQueued(DWORD id, bool v2, Transaction* out)
{
    std::lock_guard lock(mutex_);
    auto it = std::find_if(pending_.begin(), pending_.end(), [&](const Transaction& t) { return t.id == id && t.v2 == v2; });
    if (it == pending_.end()) return false;
    if (out) *out = std::move(*it);
    pending_.erase(it);
    return true;
}

// ---- IDataObject and connection points ----

HRESULT Group::DAdvise(const FORMATETC& format, DWORD, IAdviseSink* sink, DWORD* connection)
{
    if (!sink || !connection) return E_POINTER;
    *connection = 0;
    if (format.cfFormat != CF_OPCSTMFORMATDATA && format.cfFormat != CF_OPCSTMFORMATDATATIME &&
        format.cfFormat != CF_OPCSTMFORMATWRITECOMPLETE)
        return DV_E_FORMATETC;
    if (format.tymed != TYMED_HGLOBAL) return DV_E_TYMED;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    for (const Advise& a : advises_)
        if (a.format == format.cfFormat) return CONNECT_E_ADVISELIMIT;
    Advise a;
    a.connection = nextAdvise_++;
    a.format = format.cfFormat;
    a.sink = ComPtr<IAdviseSink>(sink);
    advises_.push_back(std::move(a));
    *connection = advises_.back().connection;
    if (format.cfFormat != CF_OPCSTMFORMATWRITECOMPLETE)
        for (auto& [h, item] : items_) item.sent = false;
    return S_OK;
}

HRESULT Group::DUnadvise(DWORD connection)
{
    ComPtr<IAdviseSink> gone;
    std::lock_guard lock(mutex_);
    auto it = std::find_if(advises_.begin(), advises_.end(), [&](const Advise& a) { return a.connection == connection; });
    if (it == advises_.end()) return OLE_E_NOCONNECTION;
    gone = std::move(it->sink);
    advises_.erase(it);
    return S_OK;
}

HRESULT Group::FindConnectionPoint(const IID& iid, IConnectionPoint** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IOPCDataCallback) return CONNECT_E_NOCONNECTION;
    callbackPoint_.AddRef();
    *out = &callbackPoint_;
    return S_OK;
}

// ---- the update cycle ----

void Group::resendAllLocked()
{
    // A new subscriber gets every value once; the scheduler cannot run between its
    // advise and this, or the values would go out twice.
    for (auto& [h, item] : items_) item.sent = false;
}

bool Group::hasSubscriberLocked() const
{
    if (enabled_ && !callbackPoint_.empty()) return true;
    return std::any_of(advises_.begin(), advises_.end(),
                       [](const Advise& a) { return a.format != CF_OPCSTMFORMATWRITECOMPLETE; });
}

void Group::collectChangesLocked(COPCCallback* cb, Delivery& d)
{
    std::vector<Result> changed;
    for (auto& [h, entry] : items_) {
        Item* item = &entry;
        if (!item->active || !item->tag) continue;
        HRESULT readable = cb->ReadTag(item->tag);
        // Compared in place: nothing is copied for a value that did not change.
        if (SUCCEEDED(readable) && item->sent && item->tag->SameAs(item->lastValue, item->lastQuality)) continue;
        CTagState st = SUCCEEDED(readable) ? item->tag->Snapshot() : CTagState{};
        if (item->sent && st.quality == item->lastQuality && st.value == item->lastValue) continue;
        item->sent = true;
        item->lastQuality = st.quality;
        item->lastValue = st.value;
        changed.push_back(readLocked(cb, *item, item->tag, st, readable, OPC_DS_CACHE));
    }
    if (changed.empty()) return;
    if (enabled_ && !callbackPoint_.empty())
        d.callbacks.push_back({Delivery::Callback::What::Data, 0, changed});
    for (const Advise& a : advises_) {
        if (a.format == CF_OPCSTMFORMATWRITECOMPLETE) continue;
        std::vector<StreamItem> items;
        HRESULT status = S_OK;
        for (const Result& r : changed) {
            items.push_back({r.hClient, r.quality, r.timestamp, r.value});
            if (FAILED(r.error)) status = S_FALSE;
        }
        FORMATETC f;
        f.cfFormat = a.format;
        d.streams.push_back({a.sink, f, buildDataStream(s_.hClientGroup, 0, status, items,
                                                         a.format == CF_OPCSTMFORMATDATATIME)});
    }
}

void Group::runTransaction(COPCCallback* cb, Transaction& t, Delivery& d)
{
    std::vector<Item*> items;
    std::vector<VARIANT> values;
    std::vector<Result> failed;
    if (t.kind == Kind::Refresh) {
        for (auto& [h, item] : items_)
            if (item.active) items.push_back(&item);
    } else {
        for (std::size_t i = 0; i < t.handles.size(); ++i) {
            Item* item = findLocked(t.handles[i]);
            if (item) {
                items.push_back(item);
                if (t.kind == Kind::Write) values.push_back(t.values[i]);
            } else {
                // Removed since the call: reported with its error.
                Result r;
                r.error = OPC_E_INVALIDHANDLE;
                failed.push_back(std::move(r));
            }
        }
    }
    const DWORD tid = t.v2 ? t.clientId : t.id;
    if (t.kind == Kind::Write) {
        std::vector<HRESULT> errors = writeItemsLocked(cb, items, values);
        std::vector<Result> results;
        for (std::size_t i = 0; i < items.size(); ++i) {
            Result r;
            r.hClient = items[i]->hClient;
            r.error = errors[i];
            results.push_back(std::move(r));
        }
        for (auto& f : failed) results.push_back(std::move(f));
        if (t.v2) {
            d.callbacks.push_back({Delivery::Callback::What::Write, tid, std::move(results)});
        } else if (auto sink = adviseSinkLocked(t.connection, nullptr)) {
            std::vector<StreamWriteResult> w;
            HRESULT status = S_OK;
            for (const Result& r : results) {
                w.push_back({r.hClient, r.error});
                if (FAILED(r.error)) status = S_FALSE;
            }
            FORMATETC f;
            f.cfFormat = CF_OPCSTMFORMATWRITECOMPLETE;
            d.streams.push_back({sink, f, buildWriteCompleteStream(s_.hClientGroup, tid, status, w)});
        }
        return;
    }
    std::vector<Result> results = readItemsLocked(cb, items, t.source);
    for (auto& f : failed) results.push_back(std::move(f));
    if (t.v2) {
        // A refresh answers through OnDataChange, a read through OnReadComplete.
        auto what = t.kind == Kind::Refresh ? Delivery::Callback::What::Data : Delivery::Callback::What::Read;
        d.callbacks.push_back({what, tid, std::move(results)});
        return;
    }
    CLIPFORMAT format = 0;
    auto sink = adviseSinkLocked(t.connection, &format);
    if (!sink) return;
    std::vector<StreamItem> items2;
    HRESULT status = S_OK;
    for (const Result& r : results) {
        items2.push_back({r.hClient, r.quality, r.timestamp, r.value});
        if (FAILED(r.error)) status = S_FALSE;
    }
    FORMATETC f;
    f.cfFormat = format;
    d.streams.push_back({sink, f, buildDataStream(s_.hClientGroup, tid, status, items2, format == CF_OPCSTMFORMATDATATIME)});
}

void Group::poll(std::uint64_t nowMs)
{
    auto call = core_->enter();
    if (!call) return;
    Delivery d;
    {
        std::lock_guard lock(mutex_);
        if (removed_) return;
        d.hClientGroup = s_.hClientGroup;
        while (!pending_.empty()) {
            Transaction t = std::move(pending_.front());
            pending_.pop_front();
            runTransaction(call.get(), t, d);
        }
        bool due = !lastRunMs_ || nowMs - *lastRunMs_ >= s_.revisedRate;
        if (due && s_.active && hasSubscriberLocked()) {
            lastRunMs_ = nowMs;
            collectChangesLocked(call.get(), d);
        }
    }
    if (d.callbacks.empty() && d.streams.empty()) return;
    auto sinks = callbackPoint_.sinks<IOPCDataCallback>();
    if (!sinks.empty()) d.callback = sinks.front();
    deliver(d);
}

void Group::deliver(Delivery& d)
{
    for (auto& c : d.callbacks) {
        if (!d.callback) break;
        std::vector<OPCHANDLE> handles;
        std::vector<VARIANT> values;
        std::vector<WORD> qualities;
        std::vector<FILETIME> times;
        std::vector<HRESULT> errors;
        HRESULT masterQuality = S_OK, masterError = S_OK;
        for (auto& r : c.results) {
            handles.push_back(r.hClient);
            values.push_back(std::move(r.value));
            qualities.push_back(r.quality);
            times.push_back(r.timestamp);
            errors.push_back(r.error);
            if ((r.quality & 0xC0) != OPC_QUALITY_GOOD) masterQuality = S_FALSE;
            if (FAILED(r.error)) masterError = S_FALSE;
        }
        switch (c.what) {
        case Delivery::Callback::What::Data:
            d.callback->OnDataChange(c.transactionId, d.hClientGroup, masterQuality, masterError, handles, values,
                                     qualities, times, errors);
            break;
        case Delivery::Callback::What::Read:
            d.callback->OnReadComplete(c.transactionId, d.hClientGroup, masterQuality, masterError, handles, values,
                                       qualities, times, errors);
            break;
        case Delivery::Callback::What::Write:
            d.callback->OnWriteComplete(c.transactionId, d.hClientGroup, masterError, handles, errors);
            break;
        case Delivery::Callback::What::Cancel:
            d.callback->OnCancelComplete(c.transactionId, d.hClientGroup);
            break;
        }
    }
    for (auto& s : d.streams) {
        STGMEDIUM m;
        m.hGlobal = std::move(s.bytes);
        s.sink->OnDataChange(s.format, m);
    }
    if (!d.callbacks.empty() || !d.streams.empty())
        core_->lastUpdateTicks.store(com::toTicks(core_->now()));
}

} // namespace opc
