// The calls a client makes on the objects of its connection's table, a handler and a
// table row per method, and the activations that fill the table.
#include "platform/opc/server/Connection.h"

#include "platform/opc/Enumerators.h"
#include "platform/opc/ServerList.h"
#include "platform/opc/server/ServerCore.h"
#include "platform/opc/server/ServerObject.h"

#include <tuple>
#include <type_traits>

namespace opc {

// One client call on an object of the connection's table: what its handler reads and
// writes, and the connection's table for the objects and sinks it hands out.
struct Connection::Call {
    Connection& link;
    IUnknown* obj;
    WireReader& in;
    WireWriter& out;
    bool roomFor(std::size_t n) const { return link.roomFor(n); }
    DWORD addObject(IUnknown* p) { return link.addObject(p); }
    ComPtr<IUnknown> makeSink(const IID& iid, DWORD sinkId) { return link.makeSink(iid, sinkId); }
};

namespace {

using Call = Connection::Call;
using Handler = HRESULT (*)(Call&);

template <typename I>
ComPtr<I> query(IUnknown* obj, const IID& iid)
{
    ComPtr<I> p;
    if (obj) obj->QueryInterface(iid, p.putVoid());
    return p;
}

// F on the object's interface I: an object without it fails the call before its
// arguments are read.
template <typename I, const IID& iid, HRESULT (*F)(Call&, I&)>
HRESULT on(Call& c)
{
    auto p = query<I>(c.obj, iid);
    if (!p) return E_NOINTERFACE;
    return F(c, *p.get());
}

// The same for the further interfaces of a server object: it must be a server first.
template <typename I, const IID& iid, HRESULT (*F)(Call&, I&)>
HRESULT onServer(Call& c)
{
    if (!query<IOPCServer>(c.obj, IID_IOPCServer)) return E_NOINTERFACE;
    return on<I, iid, F>(c);
}

// One argument of type T as the wire carries it (enumerations travel as a DWORD).
template <typename T>
T readArg(WireReader& in)
{
    if constexpr (std::is_same_v<T, BYTE>) return in.u8();
    else if constexpr (std::is_same_v<T, WORD>) return in.u16();
    else if constexpr (std::is_same_v<T, DWORD>) return in.u32();
    else if constexpr (std::is_same_v<T, LONG>) return in.i32();
    else if constexpr (std::is_same_v<T, FLOAT>) return in.f32();
    else if constexpr (std::is_same_v<T, GUID>) return in.guid();
    else if constexpr (std::is_same_v<T, std::u16string>) return in.text();
    else if constexpr (std::is_same_v<T, std::vector<DWORD>>) return in.handles();
    else if constexpr (std::is_same_v<T, std::vector<VARIANT>>) return in.variants();
    else if constexpr (std::is_same_v<T, std::vector<GUID>>) {
        std::vector<GUID> v(in.count(16));
        for (GUID& g : v) g = in.guid();
        return v;
    } else if constexpr (std::is_same_v<T, std::vector<WORD>>) {
        std::vector<WORD> v(in.count(2));
        for (WORD& x : v) x = in.u16();
        return v;
    } else {
        static_assert(sizeof(T) == 0, "no wire form for this argument type");
    }
}

// The prologue of every row: reads the call's arguments as A..., in order, and fails a
// call whose arguments are short or followed by more with RPC_E_INVALID_DATA before
// fn(args...) runs.
template <typename... A, typename Fn>
HRESULT withArgs(Call& c, Fn&& fn)
{
    std::tuple<A...> args{readArg<A>(c.in)...};  // braces: read left to right
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    return std::apply(std::forward<Fn>(fn), std::move(args));
}

// The same for a server object's item properties, asked for once the arguments are read.
template <typename... A, typename Fn>
HRESULT withPropertyArgs(Call& c, Fn&& fn)
{
    return withArgs<A...>(c, [&](const A&... args) -> HRESULT {
        auto props = query<IOPCItemProperties>(c.obj, IID_IOPCItemProperties);
        if (!props) return E_NOINTERFACE;
        return fn(*props.get(), args...);
    });
}

// An object the call hands out goes into the connection's table; the client gets its
// id (0 for none).
HRESULT sendObject(Call& c, HRESULT hr, IUnknown* obj)
{
    c.out.u32(SUCCEEDED(hr) && obj ? c.addObject(obj) : 0);
    return hr;
}

// A call's result with the per-item errors after its other outputs.
HRESULT sendErrors(Call& c, HRESULT hr, const std::vector<HRESULT>& errors)
{
    c.out.results(errors);
    return hr;
}

// --- any object with connection points ---

HRESULT unadvise(Call& c)
{
    return withArgs<IID, DWORD>(c, [&](const IID& iid, DWORD cookie) {
        auto cpc = query<IConnectionPointContainer>(c.obj, IID_IConnectionPointContainer);
        if (!cpc) return E_NOINTERFACE;
        ComPtr<IConnectionPoint> cp;
        HRESULT hr = cpc->FindConnectionPoint(iid, cp.put());
        return FAILED(hr) ? hr : cp->Unadvise(cookie);
    });
}

// Connects a client's sink to the object's connection point of that sink.
HRESULT adviseSink(Call& c, const IID& sinkIid)
{
    return withArgs<DWORD>(c, [&](DWORD sinkId) {
        auto cpc = query<IConnectionPointContainer>(c.obj, IID_IConnectionPointContainer);
        if (!cpc) return E_NOINTERFACE;
        ComPtr<IConnectionPoint> cp;
        HRESULT hr = cpc->FindConnectionPoint(sinkIid, cp.put());
        DWORD cookie = 0;
        if (SUCCEEDED(hr)) hr = cp->Advise(c.makeSink(sinkIid, sinkId).get(), &cookie);
        c.out.u32(cookie);
        return hr;
    });
}

// --- server object: IOPCCommon ---

HRESULT setLocaleID(Call& c, IOPCCommon& common)
{
    return withArgs<LCID>(c, [&](LCID lcid) { return common.SetLocaleID(lcid); });
}

HRESULT getLocaleID(Call& c, IOPCCommon& common)
{
    return withArgs<>(c, [&] {
        LCID lcid = 0;
        HRESULT hr = common.GetLocaleID(&lcid);
        c.out.u32(lcid);
        return hr;
    });
}

HRESULT queryAvailableLocaleIDs(Call& c, IOPCCommon& common)
{
    return withArgs<>(c, [&] {
        std::vector<LCID> lcids;
        HRESULT hr = common.QueryAvailableLocaleIDs(lcids);
        c.out.handles(lcids);
        return hr;
    });
}

HRESULT commonGetErrorString(Call& c, IOPCCommon& common)
{
    return withArgs<HRESULT>(c, [&](HRESULT code) {
        std::u16string text;
        HRESULT hr = common.GetErrorString(code, text);
        c.out.text(text);
        return hr;
    });
}

HRESULT setClientName(Call& c, IOPCCommon& common)
{
    return withArgs<std::u16string>(c, [&](const std::u16string& name) { return common.SetClientName(name); });
}

// --- server object: IOPCServer ---

HRESULT addGroup(Call& c, IOPCServer& server)
{
    return withArgs<std::u16string, BOOL, DWORD, OPCHANDLE, BYTE, LONG, BYTE, FLOAT, LCID, IID>(
        c, [&](const std::u16string& name, BOOL active, DWORD rate, OPCHANDLE hClient, BYTE hasBias, LONG bias,
               BYTE hasDeadband, FLOAT deadband, LCID lcid, const IID& iid) {
            if (!c.roomFor(1)) return E_OUTOFMEMORY;
            OPCHANDLE hServer = 0;
            DWORD revised = 0;
            IUnknown* group = nullptr;
            HRESULT hr = server.AddGroup(name, active, rate, hClient, hasBias != 0 ? &bias : nullptr,
                                         hasDeadband != 0 ? &deadband : nullptr, lcid, &hServer, &revised, iid, &group);
            c.out.u32(hServer);
            c.out.u32(revised);
            return sendObject(c, hr, group);
        });
}

HRESULT getErrorString(Call& c, IOPCServer& server)
{
    return withArgs<HRESULT, LCID>(c, [&](HRESULT code, LCID lcid) {
        std::u16string text;
        HRESULT hr = server.GetErrorString(code, lcid, text);
        c.out.text(text);
        return hr;
    });
}

HRESULT getGroupByName(Call& c, IOPCServer& server)
{
    return withArgs<std::u16string, IID>(c, [&](const std::u16string& name, const IID& iid) {
        if (!c.roomFor(1)) return E_OUTOFMEMORY;
        IUnknown* group = nullptr;
        HRESULT hr = server.GetGroupByName(name, iid, &group);
        return sendObject(c, hr, group);
    });
}

HRESULT getStatus(Call& c, IOPCServer& server)
{
    return withArgs<>(c, [&] {
        OPCSERVERSTATUS st;
        HRESULT hr = server.GetStatus(st);
        writeStatus(c.out, st);
        return hr;
    });
}

HRESULT removeGroup(Call& c, IOPCServer& server)
{
    return withArgs<OPCHANDLE, BOOL>(c, [&](OPCHANDLE h, BOOL force) { return server.RemoveGroup(h, force); });
}

HRESULT createGroupEnumerator(Call& c, IOPCServer& server)
{
    return withArgs<DWORD, IID>(c, [&](DWORD scope, const IID& iid) {
        IUnknown* e = nullptr;
        HRESULT hr = server.CreateGroupEnumerator(OPCENUMSCOPE(scope), iid, &e);
        auto en = ComPtr<IUnknown>::attach(e);
        // Enumerators travel as the whole list they would give.
        if (SUCCEEDED(hr) && iid == IID_IEnumString) {
            std::vector<std::u16string> names;
            drain(static_cast<IEnumString*>(static_cast<void*>(e)), names);
            c.out.texts(names);
        } else if (SUCCEEDED(hr) && iid == IID_IEnumUnknown) {
            std::vector<ComPtr<IUnknown>> groups;
            drain(static_cast<IEnumUnknown*>(static_cast<void*>(e)), groups);
            if (!c.roomFor(groups.size())) return E_OUTOFMEMORY;
            std::vector<DWORD> ids;
            for (auto& g : groups) ids.push_back(c.addObject(g.detach()));
            c.out.handles(ids);
        } else {
            c.out.u32(0);
        }
        return hr;
    });
}

// --- server object: IOPCItemProperties, asked for once the call's arguments are read ---

HRESULT queryAvailableProperties(Call& c, IOPCServer&)
{
    return withPropertyArgs<std::u16string>(c, [&](IOPCItemProperties& props, const std::u16string& id) {
        std::vector<DWORD> ids;
        std::vector<std::u16string> descriptions;
        std::vector<VARTYPE> types;
        HRESULT hr = props.QueryAvailableProperties(id, ids, descriptions, types);
        c.out.handles(ids);
        c.out.texts(descriptions);
        c.out.u32(DWORD(types.size()));
        for (VARTYPE t : types) c.out.u16(t);
        return hr;
    });
}

HRESULT getItemProperties(Call& c, IOPCServer&)
{
    return withPropertyArgs<std::u16string, std::vector<DWORD>>(
        c, [&](IOPCItemProperties& props, const std::u16string& id, const std::vector<DWORD>& pids) {
            std::vector<HRESULT> errors;
            std::vector<VARIANT> values;
            HRESULT hr = props.GetItemProperties(id, pids, values, errors);
            c.out.variants(values);
            return sendErrors(c, hr, errors);
        });
}

HRESULT lookupItemIDs(Call& c, IOPCServer&)
{
    return withPropertyArgs<std::u16string, std::vector<DWORD>>(
        c, [&](IOPCItemProperties& props, const std::u16string& id, const std::vector<DWORD>& pids) {
            std::vector<HRESULT> errors;
            std::vector<std::u16string> ids;
            HRESULT hr = props.LookupItemIDs(id, pids, ids, errors);
            c.out.texts(ids);
            return sendErrors(c, hr, errors);
        });
}

// --- server object: IOPCBrowseServerAddressSpace ---

HRESULT queryOrganization(Call& c, IOPCBrowseServerAddressSpace& b)
{
    return withArgs<>(c, [&] {
        OPCNAMESPACETYPE t = OPC_NS_HIERARCHIAL;
        HRESULT hr = b.QueryOrganization(&t);
        c.out.u32(t);
        return hr;
    });
}

HRESULT changeBrowsePosition(Call& c, IOPCBrowseServerAddressSpace& b)
{
    return withArgs<DWORD, std::u16string>(c, [&](DWORD dir, const std::u16string& name) {
        return b.ChangeBrowsePosition(OPCBROWSEDIRECTION(dir), name);
    });
}

HRESULT getItemID(Call& c, IOPCBrowseServerAddressSpace& b)
{
    return withArgs<std::u16string>(c, [&](const std::u16string& name) {
        std::u16string id;
        HRESULT hr = b.GetItemID(name, id);
        c.out.text(id);
        return hr;
    });
}

// A browse enumerator travels as the whole list of names it would give.
HRESULT sendNames(Call& c, HRESULT hr, IEnumString* e)
{
    std::vector<std::u16string> names;
    if (SUCCEEDED(hr) && e) drain(e, names);
    c.out.texts(names);
    return hr;
}

HRESULT browseOPCItemIDs(Call& c, IOPCBrowseServerAddressSpace& b)
{
    return withArgs<DWORD, std::u16string, VARTYPE, DWORD>(
        c, [&](DWORD type, const std::u16string& filter, VARTYPE vt, DWORD access) {
            ComPtr<IEnumString> e;
            HRESULT hr = b.BrowseOPCItemIDs(OPCBROWSETYPE(type), filter, vt, access, e.put());
            return sendNames(c, hr, e.get());
        });
}

HRESULT browseAccessPaths(Call& c, IOPCBrowseServerAddressSpace& b)
{
    return withArgs<std::u16string>(c, [&](const std::u16string& id) {
        ComPtr<IEnumString> e;
        HRESULT hr = b.BrowseAccessPaths(id, e.put());
        return sendNames(c, hr, e.get());
    });
}

HRESULT adviseShutdown(Call& c, IOPCServer&) { return adviseSink(c, IID_IOPCShutdown); }

// --- group: IOPCGroupStateMgt ---

HRESULT getState(Call& c, IOPCGroupStateMgt& g)
{
    return withArgs<>(c, [&] {
        DWORD rate = 0;
        BOOL active = 0;
        std::u16string name;
        LONG bias = 0;
        FLOAT deadband = 0;
        LCID lcid = 0;
        OPCHANDLE hc = 0, hs = 0;
        HRESULT hr = g.GetState(&rate, &active, &name, &bias, &deadband, &lcid, &hc, &hs);
        WireWriter& out = c.out;
        out.u32(rate);
        out.i32(active);
        out.text(name);
        out.i32(bias);
        out.f32(deadband);
        out.u32(lcid);
        out.u32(hc);
        out.u32(hs);
        return hr;
    });
}

HRESULT setState(Call& c, IOPCGroupStateMgt& g)
{
    return withArgs<BYTE, DWORD, BOOL, LONG, FLOAT, LCID, OPCHANDLE>(
        c, [&](BYTE mask, DWORD rate, BOOL active, LONG bias, FLOAT deadband, LCID lcid, OPCHANDLE hc) {
            DWORD revised = 0;
            HRESULT hr = g.SetState(mask & 1 ? &rate : nullptr, &revised, mask & 2 ? &active : nullptr,
                                    mask & 4 ? &bias : nullptr, mask & 8 ? &deadband : nullptr,
                                    mask & 16 ? &lcid : nullptr, mask & 32 ? &hc : nullptr);
            c.out.u32(revised);
            return hr;
        });
}

HRESULT setName(Call& c, IOPCGroupStateMgt& g)
{
    return withArgs<std::u16string>(c, [&](const std::u16string& name) { return g.SetName(name); });
}

// --- group: IOPCItemMgt ---

HRESULT addOrValidateItems(Call& c, IOPCItemMgt& g, bool validate)
{
    DWORD n = c.in.count(19);
    std::vector<OPCITEMDEF> defs;
    for (DWORD i = 0; i < n && c.in.ok(); ++i) defs.push_back(readItemDef(c.in));
    BOOL blob = validate ? c.in.i32() : FALSE;
    return withArgs<>(c, [&] {
        std::vector<OPCITEMRESULT> results;
        std::vector<HRESULT> errors;
        HRESULT hr = validate ? g.ValidateItems(defs, blob, results, errors) : g.AddItems(defs, results, errors);
        c.out.u32(DWORD(results.size()));
        for (auto& r : results) writeItemResult(c.out, r);
        return sendErrors(c, hr, errors);
    });
}

HRESULT addItems(Call& c, IOPCItemMgt& g) { return addOrValidateItems(c, g, false); }
HRESULT validateItems(Call& c, IOPCItemMgt& g) { return addOrValidateItems(c, g, true); }

HRESULT removeItems(Call& c, IOPCItemMgt& g)
{
    return withArgs<std::vector<DWORD>>(c, [&](const std::vector<DWORD>& handles) {
        std::vector<HRESULT> errors;
        return sendErrors(c, g.RemoveItems(handles, errors), errors);
    });
}

HRESULT setActiveState(Call& c, IOPCItemMgt& g)
{
    return withArgs<std::vector<DWORD>, BOOL>(c, [&](const std::vector<DWORD>& handles, BOOL active) {
        std::vector<HRESULT> errors;
        return sendErrors(c, g.SetActiveState(handles, active, errors), errors);
    });
}

HRESULT setClientHandles(Call& c, IOPCItemMgt& g)
{
    return withArgs<std::vector<DWORD>, std::vector<DWORD>>(
        c, [&](const std::vector<DWORD>& handles, const std::vector<DWORD>& clients) {
            std::vector<HRESULT> errors;
            return sendErrors(c, g.SetClientHandles(handles, clients, errors), errors);
        });
}

HRESULT setDatatypes(Call& c, IOPCItemMgt& g)
{
    return withArgs<std::vector<DWORD>, std::vector<VARTYPE>>(
        c, [&](const std::vector<DWORD>& handles, const std::vector<VARTYPE>& types) {
            std::vector<HRESULT> errors;
            return sendErrors(c, g.SetDatatypes(handles, types, errors), errors);
        });
}

HRESULT createEnumerator(Call& c, IOPCItemMgt& g)
{
    return withArgs<IID>(c, [&](const IID& iid) {
        IUnknown* e = nullptr;
        HRESULT hr = g.CreateEnumerator(iid, &e);
        auto en = ComPtr<IUnknown>::attach(e);
        std::vector<OPCITEMATTRIBUTES> list;
        if (SUCCEEDED(hr) && e) drain(static_cast<IEnumOPCItemAttributes*>(static_cast<void*>(e)), list);
        c.out.u32(DWORD(list.size()));
        for (auto& a : list) writeAttributes(c.out, a);
        return hr;
    });
}

// --- group: IOPCSyncIO ---

HRESULT syncRead(Call& c, IOPCSyncIO& g)
{
    return withArgs<DWORD, std::vector<DWORD>>(c, [&](DWORD source, const std::vector<DWORD>& handles) {
        std::vector<OPCITEMSTATE> values;
        std::vector<HRESULT> errors;
        HRESULT hr = g.Read(OPCDATASOURCE(source), handles, values, errors);
        c.out.u32(DWORD(values.size()));
        for (auto& v : values) writeItemState(c.out, v);
        return sendErrors(c, hr, errors);
    });
}

HRESULT syncWrite(Call& c, IOPCSyncIO& g)
{
    return withArgs<std::vector<DWORD>, std::vector<VARIANT>>(
        c, [&](const std::vector<DWORD>& handles, const std::vector<VARIANT>& values) {
            std::vector<HRESULT> errors;
            return sendErrors(c, g.Write(handles, values, errors), errors);
        });
}

// --- group: IOPCAsyncIO and IOPCAsyncIO2 ---

// An asynchronous call's answer: the id it hands back (a transaction or cancel id),
// then the per-item errors.
HRESULT sendIdAndErrors(Call& c, HRESULT hr, DWORD id, const std::vector<HRESULT>& errors)
{
    c.out.u32(id);
    return sendErrors(c, hr, errors);
}

HRESULT asyncRead(Call& c, IOPCAsyncIO& g)
{
    return withArgs<DWORD, DWORD, std::vector<DWORD>>(
        c, [&](DWORD connection, DWORD source, const std::vector<DWORD>& handles) {
            DWORD tid = 0;
            std::vector<HRESULT> errors;
            HRESULT hr = g.Read(connection, OPCDATASOURCE(source), handles, &tid, errors);
            return sendIdAndErrors(c, hr, tid, errors);
        });
}

HRESULT asyncWrite(Call& c, IOPCAsyncIO& g)
{
    return withArgs<DWORD, std::vector<DWORD>, std::vector<VARIANT>>(
        c, [&](DWORD connection, const std::vector<DWORD>& handles, const std::vector<VARIANT>& values) {
            DWORD tid = 0;
            std::vector<HRESULT> errors;
            HRESULT hr = g.Write(connection, handles, values, &tid, errors);
            return sendIdAndErrors(c, hr, tid, errors);
        });
}

HRESULT asyncRefresh(Call& c, IOPCAsyncIO& g)
{
    return withArgs<DWORD, DWORD>(c, [&](DWORD connection, DWORD source) {
        DWORD tid = 0;
        HRESULT hr = g.Refresh(connection, OPCDATASOURCE(source), &tid);
        c.out.u32(tid);
        return hr;
    });
}

HRESULT asyncCancel(Call& c, IOPCAsyncIO& g)
{
    return withArgs<DWORD>(c, [&](DWORD tid) { return g.Cancel(tid); });
}

HRESULT async2Read(Call& c, IOPCAsyncIO2& g)
{
    return withArgs<std::vector<DWORD>, DWORD>(c, [&](const std::vector<DWORD>& handles, DWORD tid) {
        DWORD cancelId = 0;
        std::vector<HRESULT> errors;
        HRESULT hr = g.Read(handles, tid, &cancelId, errors);
        return sendIdAndErrors(c, hr, cancelId, errors);
    });
}

HRESULT async2Write(Call& c, IOPCAsyncIO2& g)
{
    return withArgs<std::vector<DWORD>, std::vector<VARIANT>, DWORD>(
        c, [&](const std::vector<DWORD>& handles, const std::vector<VARIANT>& values, DWORD tid) {
            DWORD cancelId = 0;
            std::vector<HRESULT> errors;
            HRESULT hr = g.Write(handles, values, tid, &cancelId, errors);
            return sendIdAndErrors(c, hr, cancelId, errors);
        });
}

HRESULT refresh2(Call& c, IOPCAsyncIO2& g)
{
    return withArgs<DWORD, DWORD>(c, [&](DWORD source, DWORD tid) {
        DWORD cancelId = 0;
        HRESULT hr = g.Refresh2(OPCDATASOURCE(source), tid, &cancelId);
        c.out.u32(cancelId);
        return hr;
    });
}

HRESULT cancel2(Call& c, IOPCAsyncIO2& g)
{
    return withArgs<DWORD>(c, [&](DWORD id) { return g.Cancel2(id); });
}

HRESULT setEnable(Call& c, IOPCAsyncIO2& g)
{
    return withArgs<BOOL>(c, [&](BOOL on) { return g.SetEnable(on); });
}

HRESULT getEnable(Call& c, IOPCAsyncIO2& g)
{
    return withArgs<>(c, [&] {
        BOOL on = FALSE;
        HRESULT hr = g.GetEnable(&on);
        c.out.i32(on);
        return hr;
    });
}

// --- group: IDataObject and its connection point ---

HRESULT dAdvise(Call& c, IDataObject& g)
{
    return withArgs<CLIPFORMAT, DWORD, DWORD, DWORD>(c, [&](CLIPFORMAT format, DWORD tymed, DWORD advf, DWORD sinkId) {
        FORMATETC f;
        f.cfFormat = format;
        f.tymed = tymed;
        auto sink = c.makeSink(IID_IAdviseSink, sinkId);
        DWORD connection = 0;
        HRESULT hr = g.DAdvise(f, advf, static_cast<IAdviseSink*>(static_cast<void*>(sink.get())), &connection);
        c.out.u32(connection);
        return hr;
    });
}

HRESULT dUnadvise(Call& c, IDataObject& g)
{
    return withArgs<DWORD>(c, [&](DWORD connection) { return g.DUnadvise(connection); });
}

HRESULT adviseDataCallback(Call& c) { return adviseSink(c, IID_IOPCDataCallback); }

HRESULT cloneGroup(Call& c)
{
    return withArgs<std::u16string, IID>(c, [&](const std::u16string& name, const IID& iid) {
        auto g = query<IOPCGroupStateMgt>(c.obj, IID_IOPCGroupStateMgt);
        if (!g) return E_NOINTERFACE;
        if (!c.roomFor(1)) return E_OUTOFMEMORY;
        IUnknown* copy = nullptr;
        HRESULT hr = g->CloneGroup(name, iid, &copy);
        return sendObject(c, hr, copy);
    });
}

// The calls on the objects of a connection's table, a row per method.
// ---- server list ----

HRESULT enumClassesOfCategories(Call& c, IOPCServerList& list)
{
    return withArgs<std::vector<GUID>, std::vector<GUID>>(c, [&](const std::vector<GUID>& implemented,
                                                                 const std::vector<GUID>& required) {
        ComPtr<IEnumGUID> classes;
        HRESULT hr = list.EnumClassesOfCategories(implemented, required, classes.put());
        std::vector<GUID> found;
        if (SUCCEEDED(hr) && classes) {
            std::vector<GUID> some;
            while (SUCCEEDED(classes->Next(64, some)) && !some.empty()) found.insert(found.end(), some.begin(), some.end());
        }
        c.out.u32(DWORD(found.size()));
        for (const GUID& g : found) c.out.guid(g);
        return hr;
    });
}

HRESULT getClassDetails(Call& c, IOPCServerList& list)
{
    return withArgs<GUID>(c, [&](const GUID& clsid) {
        std::u16string progId, userType;
        HRESULT hr = list.GetClassDetails(clsid, progId, userType);
        c.out.text(progId);
        c.out.text(userType);
        return hr;
    });
}

HRESULT listCLSIDFromProgID(Call& c, IOPCServerList& list)
{
    return withArgs<std::u16string>(c, [&](const std::u16string& progId) {
        CLSID clsid = CLSID_NULL;
        HRESULT hr = list.CLSIDFromProgID(progId, &clsid);
        c.out.guid(clsid);
        return hr;
    });
}

struct CallRow {
    Method method;
    Handler handler;
};

using Common = IOPCCommon;
using Browse = IOPCBrowseServerAddressSpace;
using StateMgt = IOPCGroupStateMgt;

constexpr CallRow kCalls[] = {
    {Method::Unadvise, unadvise},
    // Server object.
    {Method::AddGroup, on<IOPCServer, IID_IOPCServer, addGroup>},
    {Method::GetErrorString, on<IOPCServer, IID_IOPCServer, getErrorString>},
    {Method::GetGroupByName, on<IOPCServer, IID_IOPCServer, getGroupByName>},
    {Method::GetStatus, on<IOPCServer, IID_IOPCServer, getStatus>},
    {Method::RemoveGroup, on<IOPCServer, IID_IOPCServer, removeGroup>},
    {Method::CreateGroupEnumerator, on<IOPCServer, IID_IOPCServer, createGroupEnumerator>},
    {Method::QueryAvailableProperties, on<IOPCServer, IID_IOPCServer, queryAvailableProperties>},
    {Method::GetItemProperties, on<IOPCServer, IID_IOPCServer, getItemProperties>},
    {Method::LookupItemIDs, on<IOPCServer, IID_IOPCServer, lookupItemIDs>},
    {Method::QueryOrganization, onServer<Browse, IID_IOPCBrowseServerAddressSpace, queryOrganization>},
    {Method::ChangeBrowsePosition, onServer<Browse, IID_IOPCBrowseServerAddressSpace, changeBrowsePosition>},
    {Method::BrowseOPCItemIDs, onServer<Browse, IID_IOPCBrowseServerAddressSpace, browseOPCItemIDs>},
    {Method::GetItemID, onServer<Browse, IID_IOPCBrowseServerAddressSpace, getItemID>},
    {Method::BrowseAccessPaths, onServer<Browse, IID_IOPCBrowseServerAddressSpace, browseAccessPaths>},
    {Method::AdviseShutdown, on<IOPCServer, IID_IOPCServer, adviseShutdown>},
    {Method::SetLocaleID, on<Common, IID_IOPCCommon, setLocaleID>},
    {Method::GetLocaleID, on<Common, IID_IOPCCommon, getLocaleID>},
    {Method::QueryAvailableLocaleIDs, on<Common, IID_IOPCCommon, queryAvailableLocaleIDs>},
    {Method::CommonGetErrorString, on<Common, IID_IOPCCommon, commonGetErrorString>},
    {Method::SetClientName, on<Common, IID_IOPCCommon, setClientName>},
    // Group.
    {Method::GetState, on<StateMgt, IID_IOPCGroupStateMgt, getState>},
    {Method::SetState, on<StateMgt, IID_IOPCGroupStateMgt, setState>},
    {Method::SetName, on<StateMgt, IID_IOPCGroupStateMgt, setName>},
    {Method::AddItems, on<IOPCItemMgt, IID_IOPCItemMgt, addItems>},
    {Method::ValidateItems, on<IOPCItemMgt, IID_IOPCItemMgt, validateItems>},
    {Method::RemoveItems, on<IOPCItemMgt, IID_IOPCItemMgt, removeItems>},
    {Method::SetActiveState, on<IOPCItemMgt, IID_IOPCItemMgt, setActiveState>},
    {Method::SetClientHandles, on<IOPCItemMgt, IID_IOPCItemMgt, setClientHandles>},
    {Method::SetDatatypes, on<IOPCItemMgt, IID_IOPCItemMgt, setDatatypes>},
    {Method::CreateEnumerator, on<IOPCItemMgt, IID_IOPCItemMgt, createEnumerator>},
    {Method::SyncRead, on<IOPCSyncIO, IID_IOPCSyncIO, syncRead>},
    {Method::SyncWrite, on<IOPCSyncIO, IID_IOPCSyncIO, syncWrite>},
    {Method::AsyncRead, on<IOPCAsyncIO, IID_IOPCAsyncIO, asyncRead>},
    {Method::AsyncWrite, on<IOPCAsyncIO, IID_IOPCAsyncIO, asyncWrite>},
    {Method::AsyncRefresh, on<IOPCAsyncIO, IID_IOPCAsyncIO, asyncRefresh>},
    {Method::AsyncCancel, on<IOPCAsyncIO, IID_IOPCAsyncIO, asyncCancel>},
    {Method::Async2Read, on<IOPCAsyncIO2, IID_IOPCAsyncIO2, async2Read>},
    {Method::Async2Write, on<IOPCAsyncIO2, IID_IOPCAsyncIO2, async2Write>},
    {Method::Refresh2, on<IOPCAsyncIO2, IID_IOPCAsyncIO2, refresh2>},
    {Method::Cancel2, on<IOPCAsyncIO2, IID_IOPCAsyncIO2, cancel2>},
    {Method::SetEnable, on<IOPCAsyncIO2, IID_IOPCAsyncIO2, setEnable>},
    {Method::GetEnable, on<IOPCAsyncIO2, IID_IOPCAsyncIO2, getEnable>},
    {Method::DAdvise, on<IDataObject, IID_IDataObject, dAdvise>},
    {Method::DUnadvise, on<IDataObject, IID_IDataObject, dUnadvise>},
    {Method::AdviseDataCallback, adviseDataCallback},
    {Method::CloneGroup, cloneGroup},
    {Method::EnumClassesOfCategories, on<IOPCServerList, IID_IOPCServerList, enumClassesOfCategories>},
    {Method::GetClassDetails, on<IOPCServerList, IID_IOPCServerList, getClassDetails>},
    {Method::ListCLSIDFromProgID, on<IOPCServerList, IID_IOPCServerList, listCLSIDFromProgID>},
};

Handler handlerOf(Method m)
{
    for (const CallRow& row : kCalls)
        if (row.method == m) return row.handler;
    return nullptr;
}

} // namespace

HRESULT Connection::dispatch(Method m, DWORD objectId, WireReader& in, WireWriter& out)
{
    if (objectId == 0 && m == Method::ActivateServerList) {
        if (!in.done()) return RPC_E_INVALID_DATA;
        if (!offersList_) return REGDB_E_CLASSNOTREG;
        if (!roomFor(1)) return E_OUTOFMEMORY;
        listActivated_ = true;
        out.u32(addObject(createServerList(listRegistry_).detach()));
        return S_OK;
    }
    if (objectId == 0) {
        if (m != Method::Activate) return E_HANDLE;
        if (!in.done()) return RPC_E_INVALID_DATA;
        if (!roomFor(1)) return E_OUTOFMEMORY;
        if (!server_) {
            if (!core_->accepting()) return CO_E_SERVER_STOPPING;
            if (admit_ && !admit_(*this)) return E_OUTOFMEMORY;
            ComPtr<ServerObject> s = ServerObject::create(core_);
            server_ = ComPtr<IOPCServer>(s.get());
        }
        IOPCServer* p = server_.get();
        p->AddRef();
        out.u32(addObject(p));
        return S_OK;
    }
    auto it = objects_.find(objectId);
    if (it == objects_.end()) return E_HANDLE;
    Handler handler = handlerOf(m);
    if (!handler) return E_NOTIMPL;
    Call call{*this, it->second.get(), in, out};
    return handler(call);
}

} // namespace opc
