#include "platform/opc/server/ServerObject.h"

#include "platform/com/Bstr.h"
#include "platform/opc/server/ClientWorker.h"
#include "platform/opc/Enumerators.h"
#include "platform/opc/server/Group.h"
#include "platform/opc/InterfaceSets.h"
#include "platform/opc/server/OPCBrowser.h"

#include <algorithm>
#include <ctime>
#include <limits>

namespace opc {
namespace {

std::string narrow(std::u16string_view s) { return com::fromBstr(s); }

// Minutes to add to local time to get UTC, as OPC's time bias counts them.
LONG localTimeBias()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return LONG(-local.tm_gmtoff / 60);
}

std::vector<std::string> splitDots(std::string_view s)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t dot = s.find('.', start);
        parts.emplace_back(s.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) return parts;
        start = dot + 1;
    }
}

// The server's texts are English: these are the locales it answers in.
constexpr LCID kLocales[] = {LOCALE_SYSTEM_DEFAULT, LOCALE_USER_DEFAULT, LOCALE_NEUTRAL, LOCALE_EN_US};

} // namespace

std::optional<DWORD> ConnectionTables::newItemHandle()
{
    std::lock_guard lock(mutex);
    if (items >= limits.items) return std::nullopt;
    ++items;
    DWORD h = nextItemHandle++;
    if (nextItemHandle == 0) nextItemHandle = 1;
    return h;
}

void ConnectionTables::releaseItems(std::size_t n)
{
    std::lock_guard lock(mutex);
    items -= std::min(n, items);
}

bool ConnectionTables::takePending()
{
    std::lock_guard lock(mutex);
    if (pending >= limits.pendingTransactions) return false;
    ++pending;
    return true;
}

void ConnectionTables::releasePending(std::size_t n)
{
    std::lock_guard lock(mutex);
    pending -= std::min(n, pending);
}

void ConnectionTables::wake()
{
    std::shared_ptr<ClientWorker> w;
    {
        std::lock_guard lock(mutex);
        w = worker;
    }
    if (w) w->wake();
}

ComPtr<ServerObject> ServerObject::create(std::shared_ptr<ServerCore> core)
{
    ComPtr<ServerObject> s(new ServerObject(std::move(core)));
    if (auto call = s->core_->enter()) {
        std::lock_guard lock(s->mutex_);
        s->connected_ = true;
        call->OnClientConnect(s.get());
    }
    return s;
}

void ServerObject::announce()
{
    if (auto call = core_->enter()) {
        std::lock_guard lock(mutex_);
        if (connected_ || disconnected_)
            return;
        connected_ = true;
        call->OnClientConnect(this);
    }
}

ServerObject::ServerObject(std::shared_ptr<ServerCore> core)
    : core_(std::move(core)), tables_(std::make_shared<ConnectionTables>(core_->limits)),
      shutdownPoint_(*static_cast<IOPCServer*>(this), IID_IOPCShutdown, core_->limits.shutdownSinks)
{
    // The worker sleeps until a group asks for it, and stays to the end.
    if (core_->threaded) {
        worker_ = std::make_shared<ClientWorker>(
            [this](std::uint64_t nowMs) {
                // The worker holds the object while it runs: a client that lets go of it
                // inside a sink call leaves the last release to this thread.
                if (!tryAddRef()) return ClientWorker::kNever;
                auto hold = ComPtr<ServerObject>::attach(this);
                return hold->poll(nowMs);
            },
            *core_->clock);
        tables_->worker = worker_;
    }
    core_->addServer(this);
}

ServerObject::~ServerObject() { core_->removeServer(this); }

ULONG ServerObject::Release()
{
    return refs_.release([this] {
        if (auto call = core_->enterTeardown()) disconnect(call.get());
        else disconnect(nullptr);
        delete this;
    });
}

HRESULT ServerObject::QueryInterface(const IID& iid, void** out)
{
    return answerQuery(out, [&] { return offerServerInterfaces(iid, this, out); });
}

void ServerObject::disconnect(COPCCallback* cb)
{
    std::map<OPCHANDLE, ComPtr<Group>> groups;
    bool tell = false;
    {
        std::lock_guard lock(mutex_);
        if (disconnected_) return;
        disconnected_ = true;
        groups.swap(groups_);
        tell = connected_;
    }
    if (worker_) {
        {
            std::lock_guard tl(tables_->mutex);
            tables_->worker.reset();
        }
        worker_->stop();
    }
    shutdownPoint_.clear();
    for (auto& [h, g] : groups) g->teardown(cb);
    if (cb && tell) cb->OnClientDisconnect(this);
}

std::size_t ServerObject::groupCount() const
{
    std::lock_guard lock(mutex_);
    return groups_.size();
}

std::u16string ServerObject::clientName() const
{
    std::lock_guard lock(mutex_);
    return clientName_;
}

std::vector<ComPtr<Group>> ServerObject::groupList() const
{
    std::lock_guard lock(mutex_);
    std::vector<ComPtr<Group>> out;
    out.reserve(groups_.size());
    for (auto& [h, g] : groups_) out.push_back(g);
    return out;
}

void ServerObject::requestShutdown(std::u16string_view reason)
{
    for (auto& sink : shutdownPoint_.sinks<IOPCShutdown>()) sink->ShutdownRequest(reason);
}

std::uint64_t ServerObject::poll(std::uint64_t nowMs)
{
    std::lock_guard pl(pollMutex_);
    {
        std::lock_guard lock(mutex_);
        for (auto& [h, g] : groups_) pollGroups_.push_back(g);
    }
    std::uint64_t next = std::numeric_limits<std::uint64_t>::max();
    for (auto& g : pollGroups_) next = std::min(next, g->poll(nowMs));
    pollGroups_.clear();  // no group outlives its removal because of the last poll
    return next;
}

// ---- IOPCServer ----

std::u16string ServerObject::uniqueGroupNameLocked()
{
    std::u16string made;
    do made = com::toBstr("Group" + std::to_string(tables_->nextGroupHandle++));
    while (tables_->groupNames.count(made));
    return made;
}

HRESULT ServerObject::addGroup(GroupSettings s, ComPtr<Group>& out)
{
    std::lock_guard lock(mutex_);
    if (disconnected_) return E_FAIL;
    {
        std::lock_guard tl(tables_->mutex);
        if (groups_.size() >= tables_->limits.groups) return E_OUTOFMEMORY;
        if (s.name.empty()) s.name = uniqueGroupNameLocked();
        else if (tables_->groupNames.count(s.name)) return OPC_E_DUPLICATENAME;
        do s.hServerGroup = tables_->nextGroupHandle++;
        while (s.hServerGroup == 0 || groups_.count(s.hServerGroup));
        tables_->groupNames.insert(s.name);
    }
    out = Group::create(core_, tables_, this, s);
    groups_.emplace(s.hServerGroup, out);
    return S_OK;
}

HRESULT ServerObject::AddGroup(std::u16string_view name, BOOL active, DWORD requestedUpdateRate,
                               OPCHANDLE hClientGroup, const LONG* timeBias, const FLOAT* percentDeadband, LCID lcid,
                               OPCHANDLE* hServerGroup, DWORD* revisedUpdateRate, const IID& iid, IUnknown** group)
{
    if (!hServerGroup || !revisedUpdateRate || !group) return E_POINTER;
    *group = nullptr;
    *hServerGroup = 0;
    *revisedUpdateRate = 0;
    if (percentDeadband && !(*percentDeadband >= 0.0f && *percentDeadband <= 100.0f)) return E_INVALIDARG;
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    GroupSettings s;
    s.name = name;
    s.active = active ? TRUE : FALSE;
    s.requestedRate = requestedUpdateRate;
    s.revisedRate = call->ReviseUpdateRate(requestedUpdateRate);
    s.hClientGroup = hClientGroup;
    s.timeBias = timeBias ? *timeBias : localTimeBias();
    s.percentDeadband = percentDeadband ? *percentDeadband : 0.0f;
    s.lcid = lcid;
    ComPtr<Group> g;
    if (HRESULT hr = addGroup(s, g); FAILED(hr)) return hr;
    if (HRESULT hr = g->QueryInterface(iid, reinterpret_cast<void**>(group)); FAILED(hr)) {
        RemoveGroup(g->serverHandle(), TRUE);  // no client ever saw it
        return hr;
    }
    *hServerGroup = g->serverHandle();
    *revisedUpdateRate = s.revisedRate;
    return s.revisedRate == requestedUpdateRate ? S_OK : OPC_S_UNSUPPORTEDRATE;
}

HRESULT ServerObject::GetErrorString(HRESULT error, LCID lcid, std::u16string& text)
{
    if (std::find(std::begin(kLocales), std::end(kLocales), lcid) == std::end(kLocales)) return E_INVALIDARG;
    std::string_view known = com::errorText(error);
    if (!known.empty()) {
        text = com::toBstr(known);
        return S_OK;
    }
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    std::string t = call->GetErrorString(error);
    if (t.empty()) return E_INVALIDARG;
    text = com::toBstr(t);
    return S_OK;
}

HRESULT ServerObject::GetGroupByName(std::u16string_view name, const IID& iid, IUnknown** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    for (auto& g : groupList())
        if (g->name() == name) return g->QueryInterface(iid, reinterpret_cast<void**>(out));
    return E_INVALIDARG;
}

HRESULT ServerObject::GetStatus(OPCSERVERSTATUS& status)
{
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    status = OPCSERVERSTATUS{};
    status.ftStartTime = core_->startTime;
    status.ftCurrentTime = core_->now();
    status.ftLastUpdateTime = com::fileTimeFromTicks(core_->lastUpdateTicks.load());
    status.dwServerState = call->GetServerState();
    status.dwGroupCount = DWORD(groupCount());
    status.dwBandWidth = 0xFFFFFFFFu;  // not measured
    status.wMajorVersion = core_->version.major;
    status.wMinorVersion = core_->version.minor;
    status.wBuildNumber = core_->version.build;
    status.szVendorInfo = com::toBstr(call->GetVendorName());
    return S_OK;
}

HRESULT ServerObject::RemoveGroup(OPCHANDLE hServerGroup, BOOL force)
{
    ComPtr<Group> g;
    {
        std::lock_guard lock(mutex_);
        auto it = groups_.find(hServerGroup);
        if (it == groups_.end()) return E_INVALIDARG;
        g = std::move(it->second);
        groups_.erase(it);
    }
    // The name is read before the tables' lock: the group's lock comes first.
    const std::u16string name = g->name();
    {
        std::lock_guard tl(tables_->mutex);
        tables_->groupNames.erase(name);
    }
    // A group still referenced answers E_FAIL from now on and hands its items back with
    // its last reference; forced, it hands them back now.
    if (force) {
        if (auto call = core_->enterTeardown()) g->teardown(call.get());
        else g->teardown(nullptr);
        return S_OK;
    }
    g->markDeleted();
    Group* p = g.detach();
    return p->Release() == 0 ? S_OK : OPC_S_INUSE;
}

HRESULT ServerObject::CreateGroupEnumerator(OPCENUMSCOPE scope, const IID& iid, IUnknown** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (scope < OPC_ENUM_PRIVATE_CONNECTIONS || scope > OPC_ENUM_ALL) return E_INVALIDARG;
    if (iid != IID_IEnumUnknown && iid != IID_IEnumString) return E_NOINTERFACE;
    std::vector<ComPtr<Group>> groups;
    // Every group is private to its client: the public scopes list nothing.
    if (scope != OPC_ENUM_PUBLIC_CONNECTIONS && scope != OPC_ENUM_PUBLIC) groups = groupList();
    bool none = groups.empty();
    if (iid == IID_IEnumString) {
        std::vector<std::u16string> names;
        for (auto& g : groups) names.push_back(g->name());
        *out = StringEnum::make(std::move(names), IID_IEnumString).detach();
    } else {
        std::vector<ComPtr<IUnknown>> list;
        for (auto& g : groups) list.push_back(ComPtr<IUnknown>(static_cast<IOPCItemMgt*>(g.get())));
        *out = UnknownEnum::make(std::move(list), IID_IEnumUnknown).detach();
    }
    return none ? S_FALSE : S_OK;
}

// ---- IOPCCommon ----

HRESULT ServerObject::SetLocaleID(LCID lcid)
{
    if (std::find(std::begin(kLocales), std::end(kLocales), lcid) == std::end(kLocales)) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    lcid_ = lcid;
    return S_OK;
}

HRESULT ServerObject::GetLocaleID(LCID* lcid)
{
    if (!lcid) return E_POINTER;
    std::lock_guard lock(mutex_);
    *lcid = lcid_;
    return S_OK;
}

HRESULT ServerObject::QueryAvailableLocaleIDs(std::vector<LCID>& lcids)
{
    lcids.assign(std::begin(kLocales), std::end(kLocales));
    return S_OK;
}

HRESULT ServerObject::GetErrorString(HRESULT error, std::u16string& text)
{
    LCID lcid = LOCALE_SYSTEM_DEFAULT;
    GetLocaleID(&lcid);
    return GetErrorString(error, lcid, text);
}

HRESULT ServerObject::SetClientName(std::u16string_view name)
{
    std::lock_guard lock(mutex_);
    clientName_ = name;
    return S_OK;
}

// ---- IOPCItemProperties ----

HRESULT ServerObject::QueryAvailableProperties(std::u16string_view itemId, std::vector<DWORD>& ids,
                                               std::vector<std::u16string>& descriptions, std::vector<VARTYPE>& types)
{
    ids.clear();
    descriptions.clear();
    types.clear();
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    DWORD count = 0;
    CTag* tag = nullptr;
    HRESULT hr = call->FindTag(narrow(itemId), count, tag);
    if (FAILED(hr)) return hr;
    if (!tag) return OPC_E_UNKNOWNITEMID;
    hr = call->QueryAvailableProperties(count, tag, ids, descriptions, types);
    std::size_t n = std::min({ids.size(), descriptions.size(), types.size()});
    ids.resize(n);
    descriptions.resize(n);
    types.resize(n);
    return hr;
}

HRESULT ServerObject::GetItemProperties(std::u16string_view itemId, std::span<const DWORD> propertyIds,
                                        std::vector<VARIANT>& values, std::vector<HRESULT>& errors)
{
    values.assign(propertyIds.size(), VARIANT{});
    errors.assign(propertyIds.size(), OPC_E_INVALID_PID);
    if (propertyIds.empty()) return E_INVALIDARG;
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    HRESULT hr = call->GetItemProperties(narrow(itemId), propertyIds, values, errors);
    values.resize(propertyIds.size());
    errors.resize(propertyIds.size(), OPC_E_INVALID_PID);
    if (FAILED(hr)) return hr;
    for (HRESULT e : errors)
        if (FAILED(e)) return S_FALSE;
    return S_OK;
}

HRESULT ServerObject::LookupItemIDs(std::u16string_view itemId, std::span<const DWORD> propertyIds,
                                    std::vector<std::u16string>& itemIds, std::vector<HRESULT>& errors)
{
    itemIds.assign(propertyIds.size(), std::u16string{});
    errors.assign(propertyIds.size(), OPC_E_INVALID_PID);
    if (propertyIds.empty()) return E_INVALIDARG;
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    HRESULT overall = S_OK;
    for (std::size_t i = 0; i < propertyIds.size(); ++i) {
        // Properties 1 to 6 are the item's own value, quality ... and have no item of their own.
        if (propertyIds[i] >= 1 && propertyIds[i] <= 6) {
            overall = S_FALSE;
            continue;
        }
        HRESULT hr = call->LookupItemID(narrow(itemId), propertyIds[i], itemIds[i]);
        if (hr == OPC_E_UNKNOWNITEMID) return hr;
        errors[i] = hr;
        if (FAILED(hr)) overall = S_FALSE;
    }
    return overall;
}

// ---- IOPCBrowseServerAddressSpace ----

COPCBrowser* ServerObject::browser(COPCCallback* cb) { return cb->CreateBrowser(); }

bool ServerObject::positionBrowserLocked(COPCBrowser* b, const std::vector<std::string>& path)
{
    for (int guard = 0; guard < 1024 && b->MoveUp(); ++guard) {
    }
    for (const std::string& name : path)
        if (!b->MoveDown(name)) return false;
    return true;
}

HRESULT ServerObject::QueryOrganization(OPCNAMESPACETYPE* type)
{
    if (!type) return E_POINTER;
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    COPCBrowser* b = browser(call.get());
    if (!b) return E_NOTIMPL;
    std::lock_guard bl(core_->browseMutex);
    *type = b->QueryOrganization() == OPC_NS_FLAT ? OPC_NS_FLAT : OPC_NS_HIERARCHIAL;
    return S_OK;
}

HRESULT ServerObject::ChangeBrowsePosition(OPCBROWSEDIRECTION direction, std::u16string_view name)
{
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    COPCBrowser* b = browser(call.get());
    if (!b) return E_NOTIMPL;
    std::lock_guard bl(core_->browseMutex);
    std::lock_guard lock(mutex_);
    std::vector<std::string> path = browsePath_;
    switch (direction) {
    case OPC_BROWSE_UP:
        if (path.empty()) return E_FAIL;
        path.pop_back();
        break;
    case OPC_BROWSE_DOWN:
        if (name.empty()) return E_INVALIDARG;
        path.push_back(narrow(name));
        break;
    case OPC_BROWSE_TO:
        path.clear();
        if (!name.empty()) path = splitDots(narrow(name));
        break;
    default:
        return E_INVALIDARG;
    }
    if (!positionBrowserLocked(b, path)) return E_INVALIDARG;
    browsePath_ = std::move(path);
    return S_OK;
}

HRESULT ServerObject::BrowseOPCItemIDs(OPCBROWSETYPE type, std::u16string_view filter, VARTYPE dataTypeFilter,
                                       DWORD accessRightsFilter, IEnumString** names)
{
    if (!names) return E_POINTER;
    *names = nullptr;
    if (type != OPC_BRANCH && type != OPC_LEAF && type != OPC_FLAT) return E_INVALIDARG;
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    COPCBrowser* b = browser(call.get());
    if (!b) return E_NOTIMPL;
    std::vector<std::u16string> list;
    {
        std::lock_guard bl(core_->browseMutex);
        std::vector<std::string> path;
        {
            std::lock_guard lock(mutex_);
            path = browsePath_;
        }
        if (!positionBrowserLocked(b, path)) return E_FAIL;
        HRESULT hr = b->BeginBrowse(type, narrow(filter), dataTypeFilter, accessRightsFilter);
        if (FAILED(hr)) return hr;
        std::vector<std::string> found;
        for (std::size_t guard = 0; guard < 1000000; ++guard) {
            std::string n = b->NextName();
            if (n.empty()) break;
            found.push_back(std::move(n));
        }
        positionBrowserLocked(b, path);  // a flat listing moves the browser to the root
        // Leaves are filtered by canonical type and access rights here, whatever the
        // browser does with the filters.
        const bool filtered = type != OPC_BRANCH && (dataTypeFilter != VT_EMPTY || accessRightsFilter != 0);
        for (std::string& n : found) {
            if (filtered) {
                std::string id = type == OPC_FLAT ? n : b->GetItemID(n);
                VARTYPE canonical = VT_EMPTY;
                DWORD access = 0;
                if (id.empty() || FAILED(call->GetTagInfo(id, canonical, access))) continue;
                if (dataTypeFilter != VT_EMPTY && canonical != dataTypeFilter) continue;
                if ((access & accessRightsFilter) != accessRightsFilter) continue;
            }
            list.push_back(com::toBstr(n));
        }
    }
    bool none = list.empty();
    *names = StringEnum::make(std::move(list), IID_IEnumString).detach();
    return none ? S_FALSE : S_OK;
}

HRESULT ServerObject::GetItemID(std::u16string_view itemDataId, std::u16string& itemId)
{
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    COPCBrowser* b = browser(call.get());
    if (!b) return E_NOTIMPL;
    std::lock_guard bl(core_->browseMutex);
    std::vector<std::string> path;
    {
        std::lock_guard lock(mutex_);
        path = browsePath_;
    }
    if (!positionBrowserLocked(b, path)) return E_FAIL;
    std::string id = b->GetItemID(narrow(itemDataId));
    if (id.empty()) return E_INVALIDARG;
    itemId = com::toBstr(id);
    return S_OK;
}

HRESULT ServerObject::BrowseAccessPaths(std::u16string_view itemId, IEnumString** paths)
{
    if (!paths) return E_POINTER;
    *paths = nullptr;
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    COPCBrowser* b = browser(call.get());
    if (!b) return E_NOTIMPL;
    std::string p;
    {
        std::lock_guard bl(core_->browseMutex);
        p = b->GetAccessPath(narrow(itemId));
    }
    if (p.empty()) return E_NOTIMPL;
    *paths = StringEnum::make({com::toBstr(p)}, IID_IEnumString).detach();
    return S_OK;
}

HRESULT ServerObject::EnumConnectionPoints(IEnumConnectionPoints** out)
{
    if (!out) return E_POINTER;
    *out = ConnectionPointsEnum::make({ComPtr<IConnectionPoint>(&shutdownPoint_)}, IID_IEnumConnectionPoints).detach();
    return S_OK;
}

HRESULT ServerObject::FindConnectionPoint(const IID& iid, IConnectionPoint** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IOPCShutdown) return CONNECT_E_NOCONNECTION;
    shutdownPoint_.AddRef();
    *out = &shutdownPoint_;
    return S_OK;
}

} // namespace opc
