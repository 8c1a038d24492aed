#pragma once
// An in-process OPC server object and groups whose answers a test scripts: each method
// records its name and pops its next result (S_OK when none is queued).
#include "platform/opc/Interfaces.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace quillettest {

struct Script {
    HRESULT next(const std::string& method)
    {
        calls.push_back(method);
        auto& queue = results[method];
        if (queue.empty()) return S_OK;
        HRESULT hr = queue.front();
        queue.pop_front();
        return hr;
    }
    std::vector<std::string> calls;
    std::map<std::string, std::deque<HRESULT>> results;
    bool dataObject = true, connectionPoint = true;  // what groups offer
    int liveObjects = 0;                             // fakes not yet freed
};

// Reference counting that frees the fake and keeps the script's count.
#define QUILLET_FAKE(Self)                                                   \
    explicit Self(Script& s) : script(s) { ++script.liveObjects; }           \
    ~Self() { --script.liveObjects; }                                        \
    ULONG AddRef() override { return refs.add(); }                           \
    ULONG Release() override                                                 \
    {                                                                        \
        ULONG c = refs.release();                                            \
        if (c == 0) delete this;                                             \
        return c;                                                            \
    }                                                                        \
    Script& script;                                                          \
    opc::RefCount refs;

class FakePoint final : public IConnectionPoint {
public:
    QUILLET_FAKE(FakePoint)
    HRESULT QueryInterface(const IID&, void**) override { return E_NOINTERFACE; }
    HRESULT GetConnectionInterface(IID*) override { return E_NOTIMPL; }
    HRESULT Advise(IUnknown*, DWORD* cookie) override
    {
        HRESULT hr = script.next("Advise");
        *cookie = SUCCEEDED(hr) ? 7 : 0;
        return hr;
    }
    HRESULT Unadvise(DWORD) override { return script.next("Unadvise"); }
    HRESULT GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
    HRESULT EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }
};

inline HRESULT NewPoint(Script& script, IConnectionPoint** out)
{
    *out = new FakePoint(script);
    (*out)->AddRef();
    return S_OK;
}

class FakeGroup final : public IOPCItemMgt, public IOPCGroupStateMgt, public IDataObject,
                        public IConnectionPointContainer, public IOPCAsyncIO2 {
public:
    QUILLET_FAKE(FakeGroup)
    HRESULT QueryInterface(const IID& iid, void** out) override
    {
        *out = nullptr;
        bool found = opc::offer<IOPCItemMgt>(iid, IID_IOPCItemMgt, this, out) ||
                     opc::offer<IOPCGroupStateMgt>(iid, IID_IOPCGroupStateMgt, this, out) ||
                     (script.dataObject && opc::offer<IDataObject>(iid, IID_IDataObject, this, out)) ||
                     opc::offer<IConnectionPointContainer>(iid, IID_IConnectionPointContainer, this, out) ||
                     opc::offer<IOPCAsyncIO2>(iid, IID_IOPCAsyncIO2, this, out);
        return found ? S_OK : E_NOINTERFACE;
    }
    HRESULT FindConnectionPoint(const IID&, IConnectionPoint** out) override
    {
        return script.connectionPoint ? NewPoint(script, out) : CONNECT_E_NOCONNECTION;
    }
    HRESULT DAdvise(const FORMATETC&, DWORD, IAdviseSink*, DWORD* connection) override
    {
        HRESULT hr = script.next("DAdvise");
        *connection = SUCCEEDED(hr) ? ++connections : 0;
        return hr;
    }
    HRESULT DUnadvise(DWORD) override { return script.next("DUnadvise"); }
    HRESULT GetState(DWORD*, BOOL*, std::u16string* name, LONG*, FLOAT*, LCID*, OPCHANDLE*, OPCHANDLE*) override
    {
        if (name) *name = u"Group 1";
        return script.next("GetState");
    }
    HRESULT SetEnable(BOOL) override { return script.next("SetEnable"); }
    HRESULT Refresh2(OPCDATASOURCE, DWORD, DWORD* cancelId) override
    {
        *cancelId = 0x99;
        return script.next("Refresh2");
    }
    HRESULT SetState(const DWORD*, DWORD*, const BOOL*, const LONG*, const FLOAT*, const LCID*, const OPCHANDLE*) override { return E_NOTIMPL; }
    HRESULT SetName(std::u16string_view) override { return E_NOTIMPL; }
    HRESULT CloneGroup(std::u16string_view, const IID&, IUnknown**) override { return E_NOTIMPL; }
    HRESULT EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT AddItems(std::span<const OPCITEMDEF>, std::vector<OPCITEMRESULT>&, std::vector<HRESULT>&) override { return E_NOTIMPL; }
    HRESULT ValidateItems(std::span<const OPCITEMDEF>, BOOL, std::vector<OPCITEMRESULT>&, std::vector<HRESULT>&) override { return E_NOTIMPL; }
    HRESULT RemoveItems(std::span<const OPCHANDLE>, std::vector<HRESULT>&) override { return E_NOTIMPL; }
    HRESULT SetActiveState(std::span<const OPCHANDLE>, BOOL, std::vector<HRESULT>&) override { return E_NOTIMPL; }
    HRESULT SetClientHandles(std::span<const OPCHANDLE>, std::span<const OPCHANDLE>, std::vector<HRESULT>&) override { return E_NOTIMPL; }
    HRESULT SetDatatypes(std::span<const OPCHANDLE>, std::span<const VARTYPE>, std::vector<HRESULT>&) override { return E_NOTIMPL; }
    HRESULT CreateEnumerator(const IID&, IUnknown**) override { return E_NOTIMPL; }
    HRESULT Read(std::span<const OPCHANDLE>, DWORD, DWORD*, std::vector<HRESULT>&) override { return E_NOTIMPL; }
    HRESULT Write(std::span<const OPCHANDLE>, std::span<const VARIANT>, DWORD, DWORD*, std::vector<HRESULT>&) override { return E_NOTIMPL; }
    HRESULT Cancel2(DWORD) override { return script.next("Cancel2"); }
    HRESULT GetEnable(BOOL*) override { return E_NOTIMPL; }
    DWORD connections = 0;
};

class FakeServer final : public IOPCServer, public IConnectionPointContainer {
public:
    QUILLET_FAKE(FakeServer)
    HRESULT QueryInterface(const IID& iid, void** out) override
    {
        *out = nullptr;
        bool found = opc::offer<IOPCServer>(iid, IID_IUnknown, this, out) ||
                     opc::offer<IOPCServer>(iid, IID_IOPCServer, this, out) ||
                     opc::offer<IConnectionPointContainer>(iid, IID_IConnectionPointContainer, this, out);
        return found ? S_OK : E_NOINTERFACE;
    }
    HRESULT FindConnectionPoint(const IID&, IConnectionPoint** out) override { return NewPoint(script, out); }
    HRESULT EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT AddGroup(std::u16string_view, BOOL, DWORD rate, OPCHANDLE, const LONG*, const FLOAT*, LCID,
                     OPCHANDLE* hServer, DWORD* revised, const IID& iid, IUnknown** group) override
    {
        HRESULT hr = script.next("AddGroup");
        if (FAILED(hr)) return hr;
        *hServer = 0x100;
        *revised = rate;
        opc::ComPtr<FakeGroup> g(new FakeGroup(script));
        return g->QueryInterface(iid, reinterpret_cast<void**>(group));
    }
    HRESULT RemoveGroup(OPCHANDLE, BOOL) override { return script.next("RemoveGroup"); }
    HRESULT GetStatus(OPCSERVERSTATUS&) override { return script.next("GetStatus"); }
    HRESULT GetErrorString(HRESULT, LCID, std::u16string&) override { return E_NOTIMPL; }
    HRESULT GetGroupByName(std::u16string_view, const IID&, IUnknown**) override { return E_NOTIMPL; }
    HRESULT CreateGroupEnumerator(OPCENUMSCOPE, const IID&, IUnknown**) override { return E_NOTIMPL; }
};

} // namespace quillettest
