// A group's state, its items and its copies.
#include "platform/opc/server/Group.h"

#include "platform/com/Bstr.h"
#include "platform/opc/Enumerators.h"
#include "platform/opc/server/GroupDelivery.h"
#include "platform/opc/InterfaceSets.h"
#include "platform/opc/server/ServerObject.h"

#include <algorithm>

namespace opc {
namespace {

// A requested type the toolkit can convert values to.
bool isServableType(VARTYPE t)
{
    if (t == VT_EMPTY) return true;
    VARTYPE base = VARTYPE(t & ~VT_ARRAY);
    if ((t & ~(VT_ARRAY | VT_TYPEMASK)) != 0) return false;
    if (t & VT_ARRAY) return SAFEARRAY::canHold(base);
    return com::isScalarType(base) && base != VT_NULL;
}

// Whether values of the canonical type can be served as the requested one at all (a
// value may still not fit: it then reads with OPC_E_RANGE or OPC_E_BADTYPE). An item
// whose canonical type is not known yet takes any request.
bool typeConverts(VARTYPE canonical, VARTYPE requested)
{
    if (requested == VT_EMPTY || canonical == VT_EMPTY || requested == canonical) return true;
    if ((canonical & VT_ARRAY) != (requested & VT_ARRAY)) return false;
    const VARTYPE from = VARTYPE(canonical & VT_TYPEMASK);
    const VARTYPE to = VARTYPE(requested & VT_TYPEMASK);
    if (from == to || to == VT_VARIANT) return true;
    // VT_NULL and VT_ERROR convert only to themselves.
    auto plain = [](VARTYPE t) { return com::isScalarType(t) && t != VT_EMPTY && t != VT_NULL && t != VT_ERROR; };
    return plain(from) && plain(to);
}

std::string narrow(std::u16string_view s) { return com::fromBstr(s); }

} // namespace

ComPtr<Group> Group::create(std::shared_ptr<ServerCore> core, std::shared_ptr<ConnectionTables> tables,
                            ServerObject* owner, GroupSettings settings)
{
    return ComPtr<Group>(new Group(std::move(core), std::move(tables), owner, std::move(settings)));
}

Group::Group(std::shared_ptr<ServerCore> core, std::shared_ptr<ConnectionTables> tables, ServerObject* owner,
             GroupSettings settings)
    : core_(std::move(core)), tables_(std::move(tables)), delivery_(std::make_unique<Delivery>()), owner_(owner),
      s_(std::move(settings)),
      callbackPoint_(*static_cast<IOPCItemMgt*>(this), IID_IOPCDataCallback, 1,
                     [this] { resendLocked(kCallbackSlot); }, &mutex_)
{
    core_->addGroup(this);
}

Group::~Group() { core_->removeGroup(this); }

ULONG Group::Release()
{
    return refs_.release([this] {
        // A group dropped by every client without RemoveGroup still hands its tags back.
        if (auto call = core_->enterTeardown()) teardown(call.get());
        else teardown(nullptr);
        delete this;
    });
}

HRESULT Group::QueryInterface(const IID& iid, void** out)
{
    return answerQuery(out, [&] { return offerGroupInterfaces(iid, this, out); });
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

void Group::markDeleted()
{
    std::lock_guard lock(mutex_);
    removed_ = true;
    owner_ = nullptr;
}

void Group::teardown(COPCCallback* cb)
{
    std::vector<CTag*> tags;
    std::deque<Transaction> dropped;
    std::vector<Advise> advises;
    {
        std::lock_guard lock(mutex_);
        removed_ = true;
        owner_ = nullptr;
        if (released_) return;
        released_ = true;
        for (Item& item : items_)
            if (item.tag) tags.push_back(std::exchange(item.tag, nullptr));
        tables_->releaseItems(items_.size());
        items_.clear();
        index_.clear();
        tables_->releasePending(pending_.size());
        dropped.swap(pending_);
        advises.swap(advises_);
    }
    callbackPoint_.clear();
    // Without the callback (the toolkit stopped) the tags are the application's again.
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
    HRESULT result = S_OK;
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
        for (Item& item : items_) {
            resendItemLocked(item);
            if (item.active && item.tag) call->OnActivateItem(item.tag, s_.active);
        }
    }
    if (timeBias) s_.timeBias = *timeBias;
    if (percentDeadband) s_.percentDeadband = *percentDeadband;
    if (lcid) s_.lcid = *lcid;
    if (hClientGroup) s_.hClientGroup = *hClientGroup;
    if (revisedUpdateRate) *revisedUpdateRate = s_.revisedRate;
    if (requestedUpdateRate || active) tables_->wake();
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

HRESULT Group::CloneGroup(std::u16string_view name, const IID& iid, IUnknown** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    ComPtr<ServerObject> owner;
    GroupSettings s;
    std::vector<OPCITEMDEF> defs;
    {
        std::lock_guard lock(mutex_);
        if (removed_ || !owner_ || !owner_->tryAddRef()) return E_FAIL;
        owner = ComPtr<ServerObject>::attach(owner_);
        s = s_;
        for (auto& a : attributesLocked())
            defs.push_back({a.szAccessPath, a.szItemID, a.bActive, a.hClient, a.blob, a.vtRequestedDataType});
    }
    s.name = name;
    s.active = FALSE;  // a copy starts inactive
    ComPtr<Group> copy;
    if (HRESULT hr = owner->addGroup(s, copy); FAILED(hr)) return hr;
    if (!defs.empty()) {
        // As if the client had added the same items; one that fails now is left out.
        std::vector<OPCITEMRESULT> results;
        std::vector<HRESULT> errors;
        copy->AddItems(defs, results, errors);
    }
    HRESULT hr = copy->QueryInterface(iid, reinterpret_cast<void**>(out));
    if (FAILED(hr)) owner->RemoveGroup(copy->serverHandle(), TRUE);
    return hr;
}

// ---- IOPCItemMgt ----

std::vector<OPCITEMATTRIBUTES> Group::attributesLocked() const
{
    std::vector<OPCITEMATTRIBUTES> list;
    list.reserve(items_.size());
    for (const Item& item : items_) {
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
    return list;
}

HRESULT Group::validateDef(COPCCallback* cb, const OPCITEMDEF& def, OPCITEMRESULT& result)
{
    if (def.szItemID.empty()) return OPC_E_INVALIDITEMID;
    if (!isServableType(def.vtRequestedDataType)) return OPC_E_BADTYPE;
    VARTYPE canonical = VT_EMPTY;
    DWORD access = 0;
    HRESULT hr = cb->GetTagInfo(narrow(def.szItemID), canonical, access);
    if (FAILED(hr)) return hr;
    if (!typeConverts(canonical, def.vtRequestedDataType)) return OPC_E_BADTYPE;
    result.vtCanonicalDataType = canonical;
    result.dwAccessRights = access;
    return S_OK;
}

HRESULT Group::addItemLocked(COPCCallback* cb, const OPCITEMDEF& def, OPCITEMRESULT& result)
{
    if (def.szItemID.empty()) return OPC_E_INVALIDITEMID;
    if (!isServableType(def.vtRequestedDataType)) return OPC_E_BADTYPE;
    const std::string id = narrow(def.szItemID);
    CTag* tag = cb->CreateTag(id, narrow(def.szAccessPath), {});
    if (!tag) {
        // An item the server knows, but not under that access path.
        VARTYPE vt = VT_EMPTY;
        DWORD access = 0;
        if (!def.szAccessPath.empty() && SUCCEEDED(cb->GetTagInfo(id, vt, access))) return OPC_E_UNKNOWNPATH;
        return OPC_E_UNKNOWNITEMID;
    }
    CTag* one[] = {tag};
    if (!typeConverts(tag->m_vtCanonical, def.vtRequestedDataType)) {
        cb->RemoveTags(one);
        return OPC_E_BADTYPE;
    }
    std::optional<DWORD> handle = tables_->newItemHandle();
    if (!handle) {
        cb->RemoveTags(one);
        return E_OUTOFMEMORY;
    }
    if (!cb->OnAddItem(tag)) {
        tables_->releaseItems(1);
        cb->RemoveTags(one);
        return E_FAIL;
    }
    Item item;
    item.hServer = *handle;
    item.hClient = def.hClient;
    item.tag = tag;
    item.itemId = def.szItemID;
    item.accessPath = def.szAccessPath;
    item.active = def.bActive ? TRUE : FALSE;
    item.requested = def.vtRequestedDataType;
    item.canonical = tag->m_vtCanonical;
    item.access = tag->m_wAccessRights;
    item.blob = def.blob;
    result = OPCITEMRESULT{item.hServer, item.canonical, item.access, {}};
    if (item.active && s_.active) cb->OnActivateItem(tag, TRUE);
    index_.emplace(item.hServer, items_.size());
    items_.push_back(std::move(item));
    return S_OK;
}

HRESULT Group::AddItems(std::span<const OPCITEMDEF> defs, std::vector<OPCITEMRESULT>& results,
                        std::vector<HRESULT>& errors)
{
    results.assign(defs.size(), OPCITEMRESULT{});
    errors.assign(defs.size(), E_FAIL);
    if (defs.empty()) return E_INVALIDARG;
    return callLocked([&](COPCCallback* cb) {
        HRESULT overall = S_OK;
        items_.reserve(items_.size() + defs.size());
        for (std::size_t i = 0; i < defs.size(); ++i) {
            errors[i] = addItemLocked(cb, defs[i], results[i]);
            if (FAILED(errors[i])) overall = S_FALSE;
        }
        return overall;
    });
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
    auto it = index_.find(h);
    return it == index_.end() ? nullptr : &items_[it->second];
}

// Applies fn to each handle's item; an unknown handle keeps OPC_E_INVALIDHANDLE. Any
// failure makes the whole call S_FALSE.
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
    return std::any_of(items_.begin(), items_.end(), [](const Item& i) { return i.active != FALSE; });
}

// Takes the items out (their tags into tags) and keeps the rest in their order.
void Group::eraseItemsLocked(std::span<const OPCHANDLE> handles, std::vector<CTag*>& tags)
{
    std::size_t before = items_.size();
    for (OPCHANDLE h : handles)
        if (Item* item = findLocked(h)) {
            if (item->tag) tags.push_back(std::exchange(item->tag, nullptr));
            item->hServer = 0;  // marks it for the sweep below
            index_.erase(h);
        }
    std::erase_if(items_, [](const Item& i) { return i.hServer == 0; });
    if (items_.size() == before) return;
    tables_->releaseItems(before - items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i) index_[items_[i].hServer] = i;
}

HRESULT Group::RemoveItems(std::span<const OPCHANDLE> handles, std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (handles.empty()) return E_INVALIDARG;
    return callLocked([&](COPCCallback* cb) {
        HRESULT overall = S_OK;
        std::vector<OPCHANDLE> found;
        for (std::size_t i = 0; i < handles.size(); ++i) {
            if (!findLocked(handles[i]) || std::find(found.begin(), found.end(), handles[i]) != found.end()) {
                overall = S_FALSE;
                continue;
            }
            found.push_back(handles[i]);
            errors[i] = S_OK;
        }
        std::vector<CTag*> tags;
        eraseItemsLocked(found, tags);
        for (CTag* t : tags) cb->OnRemoveItem(t);
        if (!tags.empty()) cb->RemoveTags(tags);
        return overall;
    });
}

HRESULT Group::SetActiveState(std::span<const OPCHANDLE> handles, BOOL active, std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (handles.empty()) return E_INVALIDARG;
    const BOOL on = active ? TRUE : FALSE;
    return callLocked([&](COPCCallback* cb) {
        return forEachItemLocked(handles, errors, [&](Item& item, std::size_t) {
            if (item.active == on) return S_OK;
            item.active = on;
            resendItemLocked(item);  // an item made active sends its value once
            if (s_.active) cb->OnActivateItem(item.tag, on);
            return S_OK;
        });
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
        if (!isServableType(requested[i]) || !typeConverts(item.canonical, requested[i])) return OPC_E_BADTYPE;
        item.requested = requested[i];
        item.version = 0;  // looked at again, so the value goes out in the new type
        item.seenChanges = 0;
        resendItemLocked(item);
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
        list = attributesLocked();
    }
    bool none = list.empty();
    *out = ItemAttributesEnum::make(std::move(list), IID_IEnumOPCItemAttributes).detach();
    return none ? S_FALSE : S_OK;
}

} // namespace opc
