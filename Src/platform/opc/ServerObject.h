#pragma once
// The server object of one client connection: its groups, its item handle table, its
// browse position and its shutdown connection point.
#include "platform/opc/ConnectionPoint.h"
#include "platform/opc/Interfaces.h"
#include "platform/opc/ServerCore.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace opc {

class Group;

// Tables of one connection shared with its groups.
struct ConnectionTables {
    // Innermost: taken under a server object's or a group's lock, never the other way.
    std::mutex mutex;
    std::set<std::u16string> groupNames;
    DWORD nextItemHandle = 1;
    DWORD nextGroupHandle = 1;
    DWORD newItemHandle();
};

class ServerObject final : public IOPCServer,
                           public IOPCItemProperties,
                           public IOPCBrowseServerAddressSpace,
                           public IConnectionPointContainer {
public:
    static ComPtr<ServerObject> create(std::shared_ptr<ServerCore> core);

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
    HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** out) override;

    // Sends the shutdown request to the client's IOPCShutdown sinks.
    void requestShutdown(std::u16string_view reason);
    // Removes every group and tells the callback the client left; runs once. Called when
    // the last reference goes, when the connection is lost, and by stop (with the
    // callback it still holds).
    void disconnect(COPCCallback* callback);
    std::size_t groupCount() const;

private:
    explicit ServerObject(std::shared_ptr<ServerCore> core);
    ~ServerObject();
    // Walks the shared browser to this client's position; false when it is gone. Under
    // the core's browse lock.
    bool positionBrowserLocked(COPCBrowser* b, const std::vector<std::string>& path);
    COPCBrowser* browser(COPCCallback* cb);

    RefCount refs_;
    std::shared_ptr<ServerCore> core_;
    std::shared_ptr<ConnectionTables> tables_;
    // Before the tables' lock; a group's lock is never held while taking it.
    mutable std::mutex mutex_;
    std::map<OPCHANDLE, ComPtr<Group>> groups_;
    std::vector<std::string> browsePath_;
    bool disconnected_ = false;
    bool connected_ = false;  // the callback was told about this client
    ConnectionPoint shutdownPoint_;
    friend class Toolkit;
};

} // namespace opc
