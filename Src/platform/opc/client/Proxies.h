#pragma once
// Client-side proxies of the server objects and groups of another process. Each proxy
// stands for one object of its connection's table and drops it when released.
#include "platform/opc/Interfaces.h"
#include "platform/opc/client/RpcClient.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace opc {

class ProxyBase {
public:
    ProxyBase(std::shared_ptr<RpcClient> client, DWORD objectId) : client_(std::move(client)), id_(objectId) {}
    virtual ~ProxyBase() { client_->release(id_); }
    RpcClient& client() const { return *client_; }
    std::shared_ptr<RpcClient> clientPtr() const { return client_; }
    DWORD objectId() const { return id_; }
    // Calls the method; outputs (when the reply has them) go to read. A reply whose
    // outputs cannot be read gives RPC_E_INVALID_DATA unless the call failed anyway.
    HRESULT invoke(Method m, WireWriter& args, const std::function<void(WireReader&)>& read = {}) const;

    // Client sinks of this object's advises, by the advising method and cookie.
    void rememberSink(Method advise, DWORD cookie, DWORD sinkId) const;
    DWORD forgetSink(Method advise, DWORD cookie) const;

protected:
    // A call that takes a name and an interface id and makes a group: the new group's
    // proxy, queried for iid, goes to *group.
    HRESULT callForGroup(Method m, std::u16string_view name, const IID& iid, IUnknown** group) const;

    RefCount refs_;

private:
    std::shared_ptr<RpcClient> client_;
    DWORD id_;
    mutable std::mutex sinkMutex_;  // a leaf: guards sinks_
    mutable std::map<std::pair<WORD, DWORD>, DWORD> sinks_;
};

class ProxyPoint;

class ServerProxy final : public ProxyBase,
                          public IOPCServer,
                          public IOPCCommon,
                          public IOPCItemProperties,
                          public IOPCBrowseServerAddressSpace,
                          public IConnectionPointContainer {
public:
    static ComPtr<IOPCServer> make(std::shared_ptr<RpcClient> client, DWORD objectId);

    HRESULT QueryInterface(const IID& iid, void** out) override;
    ULONG AddRef() override { return refs_.add(); }
    ULONG Release() override;

    HRESULT AddGroup(std::u16string_view name, BOOL active, DWORD requestedUpdateRate, OPCHANDLE hClientGroup,
                     const LONG* timeBias, const FLOAT* percentDeadband, LCID lcid, OPCHANDLE* hServerGroup,
                     DWORD* revisedUpdateRate, const IID& iid, IUnknown** group) override;
    HRESULT GetErrorString(HRESULT error, LCID lcid, std::u16string& text) override;
    HRESULT GetGroupByName(std::u16string_view name, const IID& iid, IUnknown** group) override;
    HRESULT GetStatus(OPCSERVERSTATUS& status) override;
    HRESULT RemoveGroup(OPCHANDLE hServerGroup, BOOL force) override;
    HRESULT CreateGroupEnumerator(OPCENUMSCOPE scope, const IID& iid, IUnknown** enumerator) override;
    HRESULT SetLocaleID(LCID lcid) override;
    HRESULT GetLocaleID(LCID* lcid) override;
    HRESULT QueryAvailableLocaleIDs(std::vector<LCID>& lcids) override;
    HRESULT GetErrorString(HRESULT error, std::u16string& text) override;
    HRESULT SetClientName(std::u16string_view name) override;
    HRESULT QueryAvailableProperties(std::u16string_view itemId, std::vector<DWORD>& propertyIds,
                                     std::vector<std::u16string>& descriptions,
                                     std::vector<VARTYPE>& dataTypes) override;
    HRESULT GetItemProperties(std::u16string_view itemId, std::span<const DWORD> propertyIds,
                              std::vector<VARIANT>& values, std::vector<HRESULT>& errors) override;
    HRESULT LookupItemIDs(std::u16string_view itemId, std::span<const DWORD> propertyIds,
                          std::vector<std::u16string>& itemIds, std::vector<HRESULT>& errors) override;
    HRESULT QueryOrganization(OPCNAMESPACETYPE* type) override;
    HRESULT ChangeBrowsePosition(OPCBROWSEDIRECTION direction, std::u16string_view name) override;
    HRESULT BrowseOPCItemIDs(OPCBROWSETYPE type, std::u16string_view filter, VARTYPE dataTypeFilter,
                             DWORD accessRightsFilter, IEnumString** names) override;
    HRESULT GetItemID(std::u16string_view itemDataId, std::u16string& itemId) override;
    HRESULT BrowseAccessPaths(std::u16string_view itemId, IEnumString** paths) override;
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override;
    HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** out) override;

private:
    using ProxyBase::ProxyBase;
    ~ServerProxy() override = default;
};

class GroupProxy final : public ProxyBase,
                         public IOPCGroupStateMgt,
                         public IOPCItemMgt,
                         public IOPCSyncIO,
                         public IOPCAsyncIO,
                         public IOPCAsyncIO2,
                         public IDataObject,
                         public IConnectionPointContainer {
public:
    static ComPtr<IOPCItemMgt> make(std::shared_ptr<RpcClient> client, DWORD objectId);

    HRESULT QueryInterface(const IID& iid, void** out) override;
    ULONG AddRef() override { return refs_.add(); }
    ULONG Release() override;

    HRESULT GetState(DWORD* updateRate, BOOL* active, std::u16string* name, LONG* timeBias, FLOAT* percentDeadband,
                     LCID* lcid, OPCHANDLE* hClientGroup, OPCHANDLE* hServerGroup) override;
    HRESULT SetState(const DWORD* requestedUpdateRate, DWORD* revisedUpdateRate, const BOOL* active,
                     const LONG* timeBias, const FLOAT* percentDeadband, const LCID* lcid,
                     const OPCHANDLE* hClientGroup) override;
    HRESULT SetName(std::u16string_view name) override;
    HRESULT CloneGroup(std::u16string_view name, const IID& iid, IUnknown** group) override;
    HRESULT AddItems(std::span<const OPCITEMDEF> items, std::vector<OPCITEMRESULT>& results,
                     std::vector<HRESULT>& errors) override;
    HRESULT ValidateItems(std::span<const OPCITEMDEF> items, BOOL blobUpdate, std::vector<OPCITEMRESULT>& results,
                          std::vector<HRESULT>& errors) override;
    HRESULT RemoveItems(std::span<const OPCHANDLE> hServer, std::vector<HRESULT>& errors) override;
    HRESULT SetActiveState(std::span<const OPCHANDLE> hServer, BOOL active, std::vector<HRESULT>& errors) override;
    HRESULT SetClientHandles(std::span<const OPCHANDLE> hServer, std::span<const OPCHANDLE> hClient,
                             std::vector<HRESULT>& errors) override;
    HRESULT SetDatatypes(std::span<const OPCHANDLE> hServer, std::span<const VARTYPE> requested,
                         std::vector<HRESULT>& errors) override;
    HRESULT CreateEnumerator(const IID& iid, IUnknown** enumerator) override;
    HRESULT Read(OPCDATASOURCE source, std::span<const OPCHANDLE> hServer, std::vector<OPCITEMSTATE>& values,
                 std::vector<HRESULT>& errors) override;
    HRESULT Write(std::span<const OPCHANDLE> hServer, std::span<const VARIANT> values,
                  std::vector<HRESULT>& errors) override;
    HRESULT Read(DWORD connection, OPCDATASOURCE source, std::span<const OPCHANDLE> hServer, DWORD* transactionId,
                 std::vector<HRESULT>& errors) override;
    HRESULT Write(DWORD connection, std::span<const OPCHANDLE> hServer, std::span<const VARIANT> values,
                  DWORD* transactionId, std::vector<HRESULT>& errors) override;
    HRESULT Refresh(DWORD connection, OPCDATASOURCE source, DWORD* transactionId) override;
    HRESULT Cancel(DWORD transactionId) override;
    HRESULT Read(std::span<const OPCHANDLE> hServer, DWORD transactionId, DWORD* cancelId,
                 std::vector<HRESULT>& errors) override;
    HRESULT Write(std::span<const OPCHANDLE> hServer, std::span<const VARIANT> values, DWORD transactionId,
                  DWORD* cancelId, std::vector<HRESULT>& errors) override;
    HRESULT Refresh2(OPCDATASOURCE source, DWORD transactionId, DWORD* cancelId) override;
    HRESULT Cancel2(DWORD cancelId) override;
    HRESULT SetEnable(BOOL enable) override;
    HRESULT GetEnable(BOOL* enable) override;
    HRESULT DAdvise(const FORMATETC& format, DWORD advf, IAdviseSink* sink, DWORD* connection) override;
    HRESULT DUnadvise(DWORD connection) override;
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override;
    HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** out) override;

private:
    using ProxyBase::ProxyBase;
    ~GroupProxy() override = default;
};

// A connection point of a proxied container; it keeps the container's proxy alive.
class ProxyPoint final : public UnknownOf<IConnectionPoint> {
public:
    ProxyPoint(ComPtr<IUnknown> container, const ProxyBase& owner, const IID& iid, Method advise)
        : UnknownOf(IID_IConnectionPoint), container_(std::move(container)), owner_(owner), iid_(iid),
          advise_(advise) {}
    HRESULT GetConnectionInterface(IID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) override;
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT Unadvise(DWORD cookie) override;
    // E_NOTIMPL: the sinks are the client's own; it knows them.
    HRESULT EnumConnections(IEnumConnections** out) override;

private:
    ~ProxyPoint() override = default;
    ComPtr<IUnknown> container_;
    const ProxyBase& owner_;
    IID iid_;
    Method advise_;
};

// The OPC server list of another node, served by one of its servers.
class ServerListProxy final : public ProxyBase, public UnknownOf<IOPCServerList> {
public:
    ServerListProxy(std::shared_ptr<RpcClient> client, DWORD objectId)
        : ProxyBase(std::move(client), objectId), UnknownOf(IID_IOPCServerList) {}
    HRESULT EnumClassesOfCategories(std::span<const CATID> implemented, std::span<const CATID> required,
                                    IEnumGUID** classes) override;
    HRESULT GetClassDetails(const CLSID& clsid, std::u16string& progId, std::u16string& userType) override;
    HRESULT CLSIDFromProgID(std::u16string_view progId, CLSID* clsid) override;

private:
    ~ServerListProxy() override = default;
};

} // namespace opc
