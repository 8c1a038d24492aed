#pragma once
// The server object of one client connection: its groups, its item handle table, its
// browse position, its locale and name, its shutdown connection point, and the worker
// that runs its deliveries.
#include "platform/opc/ConnectionPoint.h"
#include "platform/opc/server/Group.h"
#include "platform/opc/Interfaces.h"
#include "platform/opc/server/ServerCore.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace opc {

class ClientWorker;

// Tables of one client shared with its groups (which may outlive the server object
// while the client still holds them).
struct ConnectionTables {
    explicit ConnectionTables(const ServerLimits& l) : limits(l) {}
    const ServerLimits limits;
    // Innermost but for the leaves: taken under a server object's or a group's lock,
    // never the other way.
    std::mutex mutex;
    std::set<std::u16string> groupNames;
    DWORD nextItemHandle = 1;
    DWORD nextGroupHandle = 1;
    std::size_t items = 0;    // items of all the client's groups
    std::size_t pending = 0;  // queued transactions of all its groups
    std::shared_ptr<ClientWorker> worker;  // null without a worker or once it stopped

    // A new item handle, when the client may have one more item.
    std::optional<DWORD> newItemHandle();
    // Counts n items or transactions out again.
    void releaseItems(std::size_t n);
    bool takePending();
    void releasePending(std::size_t n);
    // The worker runs soon (a transaction was queued, or a group's schedule changed).
    void wake();
};

class ServerObject final : public IOPCServer,
                           public IOPCCommon,
                           public IOPCItemProperties,
                           public IOPCBrowseServerAddressSpace,
                           public IConnectionPointContainer {
public:
    static ComPtr<ServerObject> create(std::shared_ptr<ServerCore> core);
    // Tells the callback about this client when it was made before there was one.
    void announce();

    HRESULT QueryInterface(const IID& iid, void** out) override;
    ULONG AddRef() override { return refs_.add(); }
    ULONG Release() override;
    bool tryAddRef() { return refs_.tryAdd(); }

    // IOPCServer
    HRESULT AddGroup(std::u16string_view name, BOOL active, DWORD requestedUpdateRate, OPCHANDLE hClientGroup,
                     const LONG* timeBias, const FLOAT* percentDeadband, LCID lcid, OPCHANDLE* hServerGroup,
                     DWORD* revisedUpdateRate, const IID& iid, IUnknown** group) override;
    HRESULT GetErrorString(HRESULT error, LCID lcid, std::u16string& text) override;
    HRESULT GetGroupByName(std::u16string_view name, const IID& iid, IUnknown** group) override;
    HRESULT GetStatus(OPCSERVERSTATUS& status) override;
    HRESULT RemoveGroup(OPCHANDLE hServerGroup, BOOL force) override;
    HRESULT CreateGroupEnumerator(OPCENUMSCOPE scope, const IID& iid, IUnknown** enumerator) override;
    // IOPCCommon
    HRESULT SetLocaleID(LCID lcid) override;
    HRESULT GetLocaleID(LCID* lcid) override;
    HRESULT QueryAvailableLocaleIDs(std::vector<LCID>& lcids) override;
    HRESULT GetErrorString(HRESULT error, std::u16string& text) override;
    HRESULT SetClientName(std::u16string_view name) override;
    // IOPCItemProperties
    HRESULT QueryAvailableProperties(std::u16string_view itemId, std::vector<DWORD>& propertyIds,
                                     std::vector<std::u16string>& descriptions,
                                     std::vector<VARTYPE>& dataTypes) override;
    HRESULT GetItemProperties(std::u16string_view itemId, std::span<const DWORD> propertyIds,
                              std::vector<VARIANT>& values, std::vector<HRESULT>& errors) override;
    HRESULT LookupItemIDs(std::u16string_view itemId, std::span<const DWORD> propertyIds,
                          std::vector<std::u16string>& itemIds, std::vector<HRESULT>& errors) override;
    // IOPCBrowseServerAddressSpace
    HRESULT QueryOrganization(OPCNAMESPACETYPE* type) override;
    HRESULT ChangeBrowsePosition(OPCBROWSEDIRECTION direction, std::u16string_view name) override;
    HRESULT BrowseOPCItemIDs(OPCBROWSETYPE type, std::u16string_view filter, VARTYPE dataTypeFilter,
                             DWORD accessRightsFilter, IEnumString** names) override;
    HRESULT GetItemID(std::u16string_view itemDataId, std::u16string& itemId) override;
    HRESULT BrowseAccessPaths(std::u16string_view itemId, IEnumString** paths) override;
    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override;
    HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** out) override;

    // Adds a group made from settings (its name and handle are made here); the group,
    // or E_OUTOFMEMORY when the client has its limit of groups.
    HRESULT addGroup(GroupSettings s, ComPtr<Group>& out);

    // Sends the shutdown request to the client's IOPCShutdown sinks.
    void requestShutdown(std::u16string_view reason);
    // Removes every group and tells the callback the client left; runs once. Called when
    // the last reference goes, when the connection is lost, and by stop (with the
    // callback it still holds).
    void disconnect(COPCCallback* callback);
    std::size_t groupCount() const;
    std::u16string clientName() const;

    // Runs the groups' queued transactions and due subscription updates and hands the
    // results to the client's sinks; never twice at once. Not from inside a sink. The
    // time the first of the client's groups is due next (UINT64_MAX: none).
    std::uint64_t poll(std::uint64_t nowMs);

private:
    explicit ServerObject(std::shared_ptr<ServerCore> core);
    ~ServerObject();
    // Walks the shared browser to this client's position; false when it is gone. Under
    // the core's browse lock.
    bool positionBrowserLocked(COPCBrowser* b, const std::vector<std::string>& path);
    COPCBrowser* browser(COPCCallback* cb);
    // The first name in "Group1", "Group2" ... not taken. Under the tables' lock.
    std::u16string uniqueGroupNameLocked();
    std::vector<ComPtr<Group>> groupList() const;

    RefCount refs_;
    std::shared_ptr<ServerCore> core_;
    std::shared_ptr<ConnectionTables> tables_;
    std::shared_ptr<ClientWorker> worker_;  // made by the constructor when the core is threaded, kept to the end
    // Outermost of this object's locks: one poll at a time (it guards pollGroups_).
    std::mutex pollMutex_;
    std::vector<ComPtr<Group>> pollGroups_;
    // Before the tables' lock and a group's lock; nothing is called while it is held.
    mutable std::mutex mutex_;
    std::map<OPCHANDLE, ComPtr<Group>> groups_;
    std::vector<std::string> browsePath_;
    LCID lcid_ = LOCALE_SYSTEM_DEFAULT;
    std::u16string clientName_;
    bool disconnected_ = false;
    bool connected_ = false;  // the callback was told about this client
    ConnectionPoint shutdownPoint_;
    friend class Toolkit;
};

} // namespace opc
