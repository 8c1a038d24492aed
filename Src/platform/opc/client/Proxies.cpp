#include "platform/opc/client/Proxies.h"

#include "platform/opc/Enumerators.h"
#include "platform/opc/InterfaceSets.h"

#include <initializer_list>

namespace opc {
namespace {

template <typename T>
void readList(WireReader& r, std::vector<T>& out, T (*one)(WireReader&), std::size_t minSize)
{
    DWORD n = r.count(minSize);
    out.clear();
    for (DWORD i = 0; i < n && r.ok(); ++i) out.push_back(one(r));
}

// A successful reply answers every element asked for: a short or long list from the
// other side would have callers index past what they got.
HRESULT sized(HRESULT hr, std::size_t asked, std::initializer_list<std::size_t> got)
{
    if (FAILED(hr)) return hr;
    for (std::size_t n : got)
        if (n != asked) return RPC_E_INVALID_DATA;
    return hr;
}

} // namespace

HRESULT ProxyBase::invoke(Method m, WireWriter& args, const std::function<void(WireReader&)>& read) const
{
    std::vector<BYTE> reply;
    HRESULT hr = client_->call(m, id_, args, reply);
    if (reply.empty() || !read) return hr;
    WireReader r(reply);
    read(r);
    if (!r.done() && SUCCEEDED(hr)) return RPC_E_INVALID_DATA;
    return hr;
}

void ProxyBase::rememberSink(Method advise, DWORD cookie, DWORD sinkId) const
{
    std::lock_guard lock(sinkMutex_);
    sinks_[{WORD(advise), cookie}] = sinkId;
}

DWORD ProxyBase::forgetSink(Method advise, DWORD cookie) const
{
    std::lock_guard lock(sinkMutex_);
    auto it = sinks_.find({WORD(advise), cookie});
    if (it == sinks_.end()) return 0;
    DWORD id = it->second;
    sinks_.erase(it);
    return id;
}

HRESULT ProxyBase::callForGroup(Method m, std::u16string_view name, const IID& iid, IUnknown** group) const
{
    if (!group) return E_POINTER;
    *group = nullptr;
    WireWriter w;
    w.text(name);
    w.guid(iid);
    DWORD id = 0;
    HRESULT hr = invoke(m, w, [&](WireReader& r) { id = r.u32(); });
    if (FAILED(hr) || id == 0) return FAILED(hr) ? hr : RPC_E_INVALID_DATA;
    return GroupProxy::make(clientPtr(), id)->QueryInterface(iid, reinterpret_cast<void**>(group));
}

// ---- connection points ----

HRESULT ProxyPoint::GetConnectionInterface(IID* iid)
{
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT ProxyPoint::GetConnectionPointContainer(IConnectionPointContainer** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    return container_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(out));
}

HRESULT ProxyPoint::EnumConnections(IEnumConnections** out)
{
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

HRESULT ProxyPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    ComPtr<IUnknown> typed;
    if (FAILED(sink->QueryInterface(iid_, typed.putVoid())) || !typed) return CONNECT_E_CANNOTCONNECT;
    DWORD sinkId = owner_.client().addSink(typed);
    WireWriter w;
    w.u32(sinkId);
    HRESULT hr = owner_.invoke(advise_, w, [&](WireReader& r) { *cookie = r.u32(); });
    if (FAILED(hr)) {
        owner_.client().removeSink(sinkId);
        *cookie = 0;
        return hr;
    }
    owner_.rememberSink(advise_, *cookie, sinkId);
    return hr;
}

HRESULT ProxyPoint::Unadvise(DWORD cookie)
{
    WireWriter w;
    w.guid(iid_);
    w.u32(cookie);
    HRESULT hr = owner_.invoke(Method::Unadvise, w);
    if (SUCCEEDED(hr))
        if (DWORD id = owner_.forgetSink(advise_, cookie)) owner_.client().removeSink(id);
    return hr;
}

// ---- server proxy ----

ComPtr<IOPCServer> ServerProxy::make(std::shared_ptr<RpcClient> client, DWORD objectId)
{
    return ComPtr<IOPCServer>(new ServerProxy(std::move(client), objectId));
}

ULONG ServerProxy::Release()
{
    return refs_.release([this] { delete this; });
}

HRESULT ServerProxy::QueryInterface(const IID& iid, void** out)
{
    return answerQuery(out, [&] { return offerServerInterfaces(iid, this, out); });
}

HRESULT ServerProxy::AddGroup(std::u16string_view name, BOOL active, DWORD requestedUpdateRate, OPCHANDLE hClientGroup,
                              const LONG* timeBias, const FLOAT* percentDeadband, LCID lcid, OPCHANDLE* hServerGroup,
                              DWORD* revisedUpdateRate, const IID& iid, IUnknown** group)
{
    if (!hServerGroup || !revisedUpdateRate || !group) return E_POINTER;
    *group = nullptr;
    WireWriter w;
    w.text(name);
    w.i32(active);
    w.u32(requestedUpdateRate);
    w.u32(hClientGroup);
    w.u8(timeBias ? 1 : 0);
    w.i32(timeBias ? *timeBias : 0);
    w.u8(percentDeadband ? 1 : 0);
    w.f32(percentDeadband ? *percentDeadband : 0.0f);
    w.u32(lcid);
    w.guid(iid);
    DWORD id = 0;
    HRESULT hr = invoke(Method::AddGroup, w, [&](WireReader& r) {
        *hServerGroup = r.u32();
        *revisedUpdateRate = r.u32();
        id = r.u32();
    });
    if (FAILED(hr) || id == 0) return FAILED(hr) ? hr : RPC_E_INVALID_DATA;
    return SUCCEEDED(GroupProxy::make(clientPtr(), id)->QueryInterface(iid, reinterpret_cast<void**>(group))) ? hr
                                                                                                            : E_NOINTERFACE;
}

HRESULT ServerProxy::GetErrorString(HRESULT error, LCID lcid, std::u16string& text)
{
    WireWriter w;
    w.i32(error);
    w.u32(lcid);
    return invoke(Method::GetErrorString, w, [&](WireReader& r) { text = r.text(); });
}

HRESULT ServerProxy::GetGroupByName(std::u16string_view name, const IID& iid, IUnknown** group)
{
    return callForGroup(Method::GetGroupByName, name, iid, group);
}

HRESULT ServerProxy::GetStatus(OPCSERVERSTATUS& status)
{
    WireWriter w;
    return invoke(Method::GetStatus, w, [&](WireReader& r) { status = readStatus(r); });
}

HRESULT ServerProxy::RemoveGroup(OPCHANDLE hServerGroup, BOOL force)
{
    WireWriter w;
    w.u32(hServerGroup);
    w.i32(force);
    return invoke(Method::RemoveGroup, w);
}

HRESULT ServerProxy::CreateGroupEnumerator(OPCENUMSCOPE scope, const IID& iid, IUnknown** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IEnumString && iid != IID_IEnumUnknown) return E_NOINTERFACE;
    WireWriter w;
    w.u32(scope);
    w.guid(iid);
    std::vector<std::u16string> names;
    std::vector<DWORD> ids;
    HRESULT hr = invoke(Method::CreateGroupEnumerator, w, [&](WireReader& r) {
        if (iid == IID_IEnumString) names = r.texts();
        else ids = r.handles();
    });
    if (FAILED(hr)) return hr;
    if (iid == IID_IEnumString) {
        *out = StringEnum::make(std::move(names), IID_IEnumString).detach();
    } else {
        std::vector<ComPtr<IUnknown>> groups;
        for (DWORD id : ids) groups.push_back(ComPtr<IUnknown>(GroupProxy::make(clientPtr(), id).get()));
        *out = UnknownEnum::make(std::move(groups), IID_IEnumUnknown).detach();
    }
    return hr;
}

HRESULT ServerProxy::QueryAvailableProperties(std::u16string_view itemId, std::vector<DWORD>& ids,
                                              std::vector<std::u16string>& descriptions, std::vector<VARTYPE>& types)
{
    WireWriter w;
    w.text(itemId);
    return invoke(Method::QueryAvailableProperties, w, [&](WireReader& r) {
        ids = r.handles();
        descriptions = r.texts();
        DWORD n = r.count(2);
        types.clear();
        for (DWORD i = 0; i < n; ++i) types.push_back(r.u16());
    });
}

HRESULT ServerProxy::GetItemProperties(std::u16string_view itemId, std::span<const DWORD> ids,
                                       std::vector<VARIANT>& values, std::vector<HRESULT>& errors)
{
    WireWriter w;
    w.text(itemId);
    w.handles(ids);
    const HRESULT hr = invoke(Method::GetItemProperties, w, [&](WireReader& r) {
        values = r.variants();
        errors = r.results();
    });
    return sized(hr, ids.size(), {values.size(), errors.size()});
}

HRESULT ServerProxy::LookupItemIDs(std::u16string_view itemId, std::span<const DWORD> ids,
                                   std::vector<std::u16string>& itemIds, std::vector<HRESULT>& errors)
{
    WireWriter w;
    w.text(itemId);
    w.handles(ids);
    const HRESULT hr = invoke(Method::LookupItemIDs, w, [&](WireReader& r) {
        itemIds = r.texts();
        errors = r.results();
    });
    return sized(hr, ids.size(), {itemIds.size(), errors.size()});
}

HRESULT ServerProxy::QueryOrganization(OPCNAMESPACETYPE* type)
{
    if (!type) return E_POINTER;
    WireWriter w;
    return invoke(Method::QueryOrganization, w, [&](WireReader& r) { *type = OPCNAMESPACETYPE(r.u32()); });
}

HRESULT ServerProxy::ChangeBrowsePosition(OPCBROWSEDIRECTION direction, std::u16string_view name)
{
    WireWriter w;
    w.u32(direction);
    w.text(name);
    return invoke(Method::ChangeBrowsePosition, w);
}

HRESULT ServerProxy::BrowseOPCItemIDs(OPCBROWSETYPE type, std::u16string_view filter, VARTYPE dataTypeFilter,
                                      DWORD accessRightsFilter, IEnumString** names)
{
    if (!names) return E_POINTER;
    *names = nullptr;
    WireWriter w;
    w.u32(type);
    w.text(filter);
    w.u16(dataTypeFilter);
    w.u32(accessRightsFilter);
    std::vector<std::u16string> list;
    HRESULT hr = invoke(Method::BrowseOPCItemIDs, w, [&](WireReader& r) { list = r.texts(); });
    if (SUCCEEDED(hr)) *names = StringEnum::make(std::move(list), IID_IEnumString).detach();
    return hr;
}

HRESULT ServerProxy::GetItemID(std::u16string_view itemDataId, std::u16string& itemId)
{
    WireWriter w;
    w.text(itemDataId);
    return invoke(Method::GetItemID, w, [&](WireReader& r) { itemId = r.text(); });
}

HRESULT ServerProxy::BrowseAccessPaths(std::u16string_view itemId, IEnumString** paths)
{
    if (!paths) return E_POINTER;
    *paths = nullptr;
    WireWriter w;
    w.text(itemId);
    std::vector<std::u16string> list;
    HRESULT hr = invoke(Method::BrowseAccessPaths, w, [&](WireReader& r) { list = r.texts(); });
    if (SUCCEEDED(hr)) *paths = StringEnum::make(std::move(list), IID_IEnumString).detach();
    return hr;
}

HRESULT ServerProxy::EnumConnectionPoints(IEnumConnectionPoints** out)
{
    if (!out) return E_POINTER;
    ComPtr<IConnectionPoint> shutdown;
    FindConnectionPoint(IID_IOPCShutdown, shutdown.put());
    *out = ConnectionPointsEnum::make({shutdown}, IID_IEnumConnectionPoints).detach();
    return S_OK;
}

HRESULT ServerProxy::FindConnectionPoint(const IID& iid, IConnectionPoint** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IOPCShutdown) return CONNECT_E_NOCONNECTION;
    auto p = new ProxyPoint(ComPtr<IUnknown>(static_cast<IOPCServer*>(this)), *this, iid, Method::AdviseShutdown);
    p->AddRef();
    *out = p;
    return S_OK;
}

// ---- IOPCCommon ----

HRESULT ServerProxy::SetLocaleID(LCID lcid)
{
    WireWriter w;
    w.u32(lcid);
    return invoke(Method::SetLocaleID, w);
}

HRESULT ServerProxy::GetLocaleID(LCID* lcid)
{
    if (!lcid) return E_POINTER;
    WireWriter w;
    return invoke(Method::GetLocaleID, w, [&](WireReader& r) { *lcid = r.u32(); });
}

HRESULT ServerProxy::QueryAvailableLocaleIDs(std::vector<LCID>& lcids)
{
    WireWriter w;
    return invoke(Method::QueryAvailableLocaleIDs, w, [&](WireReader& r) { lcids = r.handles(); });
}

HRESULT ServerProxy::GetErrorString(HRESULT error, std::u16string& text)
{
    WireWriter w;
    w.i32(error);
    return invoke(Method::CommonGetErrorString, w, [&](WireReader& r) { text = r.text(); });
}

HRESULT ServerProxy::SetClientName(std::u16string_view name)
{
    WireWriter w;
    w.text(name);
    return invoke(Method::SetClientName, w);
}

// ---- group proxy ----

ComPtr<IOPCItemMgt> GroupProxy::make(std::shared_ptr<RpcClient> client, DWORD objectId)
{
    return ComPtr<IOPCItemMgt>(new GroupProxy(std::move(client), objectId));
}

ULONG GroupProxy::Release()
{
    return refs_.release([this] { delete this; });
}

HRESULT GroupProxy::QueryInterface(const IID& iid, void** out)
{
    return answerQuery(out, [&] { return offerGroupInterfaces(iid, this, out); });
}

HRESULT GroupProxy::GetState(DWORD* updateRate, BOOL* active, std::u16string* name, LONG* timeBias,
                             FLOAT* percentDeadband, LCID* lcid, OPCHANDLE* hClientGroup, OPCHANDLE* hServerGroup)
{
    WireWriter w;
    return invoke(Method::GetState, w, [&](WireReader& r) {
        DWORD rate = r.u32();
        BOOL a = r.i32();
        std::u16string n = r.text();
        LONG b = r.i32();
        FLOAT d = r.f32();
        LCID l = r.u32();
        OPCHANDLE hc = r.u32(), hs = r.u32();
        if (updateRate) *updateRate = rate;
        if (active) *active = a;
        if (name) *name = std::move(n);
        if (timeBias) *timeBias = b;
        if (percentDeadband) *percentDeadband = d;
        if (lcid) *lcid = l;
        if (hClientGroup) *hClientGroup = hc;
        if (hServerGroup) *hServerGroup = hs;
    });
}

HRESULT GroupProxy::SetState(const DWORD* requestedUpdateRate, DWORD* revisedUpdateRate, const BOOL* active,
                             const LONG* timeBias, const FLOAT* percentDeadband, const LCID* lcid,
                             const OPCHANDLE* hClientGroup)
{
    WireWriter w;
    w.u8(BYTE((requestedUpdateRate ? 1 : 0) | (active ? 2 : 0) | (timeBias ? 4 : 0) | (percentDeadband ? 8 : 0) |
              (lcid ? 16 : 0) | (hClientGroup ? 32 : 0)));
    w.u32(requestedUpdateRate ? *requestedUpdateRate : 0);
    w.i32(active ? *active : 0);
    w.i32(timeBias ? *timeBias : 0);
    w.f32(percentDeadband ? *percentDeadband : 0.0f);
    w.u32(lcid ? *lcid : 0);
    w.u32(hClientGroup ? *hClientGroup : 0);
    return invoke(Method::SetState, w, [&](WireReader& r) {
        DWORD revised = r.u32();
        if (revisedUpdateRate) *revisedUpdateRate = revised;
    });
}

HRESULT GroupProxy::SetName(std::u16string_view name)
{
    WireWriter w;
    w.text(name);
    return invoke(Method::SetName, w);
}

HRESULT GroupProxy::CloneGroup(std::u16string_view name, const IID& iid, IUnknown** group)
{
    return callForGroup(Method::CloneGroup, name, iid, group);
}

HRESULT GroupProxy::AddItems(std::span<const OPCITEMDEF> items, std::vector<OPCITEMRESULT>& results,
                             std::vector<HRESULT>& errors)
{
    WireWriter w;
    w.u32(DWORD(items.size()));
    for (auto& d : items) writeItemDef(w, d);
    const HRESULT hr = invoke(Method::AddItems, w, [&](WireReader& r) {
        readList(r, results, &readItemResult, 14);
        errors = r.results();
    });
    return sized(hr, items.size(), {results.size(), errors.size()});
}

HRESULT GroupProxy::ValidateItems(std::span<const OPCITEMDEF> items, BOOL blobUpdate,
                                  std::vector<OPCITEMRESULT>& results, std::vector<HRESULT>& errors)
{
    WireWriter w;
    w.u32(DWORD(items.size()));
    for (auto& d : items) writeItemDef(w, d);
    w.i32(blobUpdate);
    const HRESULT hr = invoke(Method::ValidateItems, w, [&](WireReader& r) {
        readList(r, results, &readItemResult, 14);
        errors = r.results();
    });
    return sized(hr, items.size(), {results.size(), errors.size()});
}

HRESULT GroupProxy::RemoveItems(std::span<const OPCHANDLE> handles, std::vector<HRESULT>& errors)
{
    WireWriter w;
    w.handles(handles);
    const HRESULT hr = invoke(Method::RemoveItems, w, [&](WireReader& r) { errors = r.results(); });
    return sized(hr, handles.size(), {errors.size()});
}

HRESULT GroupProxy::SetActiveState(std::span<const OPCHANDLE> handles, BOOL active, std::vector<HRESULT>& errors)
{
    WireWriter w;
    w.handles(handles);
    w.i32(active);
    const HRESULT hr = invoke(Method::SetActiveState, w, [&](WireReader& r) { errors = r.results(); });
    return sized(hr, handles.size(), {errors.size()});
}

HRESULT GroupProxy::SetClientHandles(std::span<const OPCHANDLE> handles, std::span<const OPCHANDLE> clients,
                                     std::vector<HRESULT>& errors)
{
    WireWriter w;
    w.handles(handles);
    w.handles(clients);
    const HRESULT hr = invoke(Method::SetClientHandles, w, [&](WireReader& r) { errors = r.results(); });
    return sized(hr, handles.size(), {errors.size()});
}

HRESULT GroupProxy::SetDatatypes(std::span<const OPCHANDLE> handles, std::span<const VARTYPE> requested,
                                 std::vector<HRESULT>& errors)
{
    WireWriter w;
    w.handles(handles);
    w.u32(DWORD(requested.size()));
    for (VARTYPE t : requested) w.u16(t);
    const HRESULT hr = invoke(Method::SetDatatypes, w, [&](WireReader& r) { errors = r.results(); });
    return sized(hr, handles.size(), {errors.size()});
}

HRESULT GroupProxy::CreateEnumerator(const IID& iid, IUnknown** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IEnumOPCItemAttributes) return E_NOINTERFACE;
    WireWriter w;
    w.guid(iid);
    std::vector<OPCITEMATTRIBUTES> list;
    HRESULT hr = invoke(Method::CreateEnumerator, w, [&](WireReader& r) { readList(r, list, &readAttributes, 38); });
    if (SUCCEEDED(hr)) *out = ItemAttributesEnum::make(std::move(list), IID_IEnumOPCItemAttributes).detach();
    return hr;
}

HRESULT GroupProxy::Read(OPCDATASOURCE source, std::span<const OPCHANDLE> handles, std::vector<OPCITEMSTATE>& values,
                         std::vector<HRESULT>& errors)
{
    WireWriter w;
    w.u32(source);
    w.handles(handles);
    const HRESULT hr = invoke(Method::SyncRead, w, [&](WireReader& r) {
        readList(r, values, &readItemState, 16);
        errors = r.results();
    });
    return sized(hr, handles.size(), {values.size(), errors.size()});
}

HRESULT GroupProxy::Write(std::span<const OPCHANDLE> handles, std::span<const VARIANT> values,
                          std::vector<HRESULT>& errors)
{
    WireWriter w;
    w.handles(handles);
    w.variants(values);
    const HRESULT hr = invoke(Method::SyncWrite, w, [&](WireReader& r) { errors = r.results(); });
    return sized(hr, handles.size(), {errors.size()});
}

HRESULT GroupProxy::Read(DWORD connection, OPCDATASOURCE source, std::span<const OPCHANDLE> handles,
                         DWORD* transactionId, std::vector<HRESULT>& errors)
{
    if (!transactionId) return E_POINTER;
    WireWriter w;
    w.u32(connection);
    w.u32(source);
    w.handles(handles);
    const HRESULT hr = invoke(Method::AsyncRead, w, [&](WireReader& r) {
        *transactionId = r.u32();
        errors = r.results();
    });
    return sized(hr, handles.size(), {errors.size()});
}

HRESULT GroupProxy::Write(DWORD connection, std::span<const OPCHANDLE> handles, std::span<const VARIANT> values,
                          DWORD* transactionId, std::vector<HRESULT>& errors)
{
    if (!transactionId) return E_POINTER;
    WireWriter w;
    w.u32(connection);
    w.handles(handles);
    w.variants(values);
    const HRESULT hr = invoke(Method::AsyncWrite, w, [&](WireReader& r) {
        *transactionId = r.u32();
        errors = r.results();
    });
    return sized(hr, handles.size(), {errors.size()});
}

HRESULT GroupProxy::Refresh(DWORD connection, OPCDATASOURCE source, DWORD* transactionId)
{
    if (!transactionId) return E_POINTER;
    WireWriter w;
    w.u32(connection);
    w.u32(source);
    return invoke(Method::AsyncRefresh, w, [&](WireReader& r) { *transactionId = r.u32(); });
}

HRESULT GroupProxy::Cancel(DWORD transactionId)
{
    WireWriter w;
    w.u32(transactionId);
    return invoke(Method::AsyncCancel, w);
}

HRESULT GroupProxy::Read(std::span<const OPCHANDLE> handles, DWORD transactionId, DWORD* cancelId,
                         std::vector<HRESULT>& errors)
{
    if (!cancelId) return E_POINTER;
    WireWriter w;
    w.handles(handles);
    w.u32(transactionId);
    const HRESULT hr = invoke(Method::Async2Read, w, [&](WireReader& r) {
        *cancelId = r.u32();
        errors = r.results();
    });
    return sized(hr, handles.size(), {errors.size()});
}

HRESULT GroupProxy::Write(std::span<const OPCHANDLE> handles, std::span<const VARIANT> values, DWORD transactionId,
                          DWORD* cancelId, std::vector<HRESULT>& errors)
{
    if (!cancelId) return E_POINTER;
    WireWriter w;
    w.handles(handles);
    w.variants(values);
    w.u32(transactionId);
    const HRESULT hr = invoke(Method::Async2Write, w, [&](WireReader& r) {
        *cancelId = r.u32();
        errors = r.results();
    });
    return sized(hr, handles.size(), {errors.size()});
}

HRESULT GroupProxy::Refresh2(OPCDATASOURCE source, DWORD transactionId, DWORD* cancelId)
{
    if (!cancelId) return E_POINTER;
    WireWriter w;
    w.u32(source);
    w.u32(transactionId);
    return invoke(Method::Refresh2, w, [&](WireReader& r) { *cancelId = r.u32(); });
}

HRESULT GroupProxy::Cancel2(DWORD cancelId)
{
    WireWriter w;
    w.u32(cancelId);
    return invoke(Method::Cancel2, w);
}

HRESULT GroupProxy::SetEnable(BOOL enable)
{
    WireWriter w;
    w.i32(enable);
    return invoke(Method::SetEnable, w);
}

HRESULT GroupProxy::GetEnable(BOOL* enable)
{
    if (!enable) return E_POINTER;
    WireWriter w;
    return invoke(Method::GetEnable, w, [&](WireReader& r) { *enable = r.i32(); });
}

HRESULT GroupProxy::DAdvise(const FORMATETC& format, DWORD advf, IAdviseSink* sink, DWORD* connection)
{
    if (!sink || !connection) return E_POINTER;
    *connection = 0;
    DWORD sinkId = client().addSink(ComPtr<IUnknown>(sink));
    WireWriter w;
    w.u16(format.cfFormat);
    w.u32(format.tymed);
    w.u32(advf);
    w.u32(sinkId);
    HRESULT hr = invoke(Method::DAdvise, w, [&](WireReader& r) { *connection = r.u32(); });
    if (FAILED(hr)) {
        client().removeSink(sinkId);
        *connection = 0;
        return hr;
    }
    rememberSink(Method::DAdvise, *connection, sinkId);
    return hr;
}

HRESULT GroupProxy::DUnadvise(DWORD connection)
{
    WireWriter w;
    w.u32(connection);
    HRESULT hr = invoke(Method::DUnadvise, w);
    if (SUCCEEDED(hr))
        if (DWORD id = forgetSink(Method::DAdvise, connection)) client().removeSink(id);
    return hr;
}

HRESULT GroupProxy::EnumConnectionPoints(IEnumConnectionPoints** out)
{
    if (!out) return E_POINTER;
    ComPtr<IConnectionPoint> data;
    FindConnectionPoint(IID_IOPCDataCallback, data.put());
    *out = ConnectionPointsEnum::make({data}, IID_IEnumConnectionPoints).detach();
    return S_OK;
}

HRESULT GroupProxy::FindConnectionPoint(const IID& iid, IConnectionPoint** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IOPCDataCallback) return CONNECT_E_NOCONNECTION;
    auto p = new ProxyPoint(ComPtr<IUnknown>(static_cast<IOPCItemMgt*>(this)), *this, iid, Method::AdviseDataCallback);
    p->AddRef();
    *out = p;
    return S_OK;
}

// ---- server list ----

HRESULT ServerListProxy::EnumClassesOfCategories(std::span<const CATID> implemented, std::span<const CATID> required,
                                                 IEnumGUID** classes)
{
    if (!classes) return E_POINTER;
    *classes = nullptr;
    WireWriter w;
    for (auto list : {implemented, required}) {
        w.u32(DWORD(list.size()));
        for (const CATID& c : list) w.guid(c);
    }
    std::vector<GUID> found;
    HRESULT hr = invoke(Method::EnumClassesOfCategories, w, [&](WireReader& r) {
        readList<GUID>(r, found, [](WireReader& in) { return in.guid(); }, 16);
    });
    if (SUCCEEDED(hr)) *classes = GuidEnum::make(std::move(found), IID_IEnumGUID).detach();
    return hr;
}

HRESULT ServerListProxy::GetClassDetails(const CLSID& clsid, std::u16string& progId, std::u16string& userType)
{
    WireWriter w;
    w.guid(clsid);
    return invoke(Method::GetClassDetails, w, [&](WireReader& r) {
        progId = r.text();
        userType = r.text();
    });
}

HRESULT ServerListProxy::CLSIDFromProgID(std::u16string_view progId, CLSID* clsid)
{
    if (!clsid) return E_POINTER;
    *clsid = CLSID_NULL;
    WireWriter w;
    w.text(progId);
    return invoke(Method::ListCLSIDFromProgID, w, [&](WireReader& r) { *clsid = r.guid(); });
}

} // namespace opc
