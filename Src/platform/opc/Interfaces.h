#pragma once
// The OPC DA 1.0a / 2.0 custom interfaces and the COM interfaces they lean on. Arrays
// go in as spans and come out as vectors the callee fills (one entry per input, in
// order); strings are UTF-16. Out-parameter interfaces carry one reference for the
// caller (adopt them with opc::ComPtr<T>::attach). Methods return S_FALSE when some
// entries failed; then the per-entry errors tell which.
#include "platform/opc/OpcTypes.h"
#include "platform/opc/Unknown.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

struct IEnumString : IUnknown {
    // Up to count entries; S_OK when all were given, else S_FALSE.
    virtual HRESULT Next(ULONG count, std::vector<std::u16string>& out) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumString** out) = 0;
};

struct IEnumUnknown : IUnknown {
    virtual HRESULT Next(ULONG count, std::vector<opc::ComPtr<IUnknown>>& out) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumUnknown** out) = 0;
};

struct IEnumGUID : IUnknown {
    virtual HRESULT Next(ULONG count, std::vector<GUID>& out) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumGUID** out) = 0;
};

struct IEnumOPCItemAttributes : IUnknown {
    virtual HRESULT Next(ULONG count, std::vector<OPCITEMATTRIBUTES>& out) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumOPCItemAttributes** out) = 0;
};

struct CONNECTDATA {
    opc::ComPtr<IUnknown> pUnk;
    DWORD dwCookie = 0;
};

struct IEnumConnections : IUnknown {
    virtual HRESULT Next(ULONG count, std::vector<CONNECTDATA>& out) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumConnections** out) = 0;
};

struct IConnectionPointContainer;

struct IConnectionPoint : IUnknown {
    virtual HRESULT GetConnectionInterface(IID* iid) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) = 0;
    // sink must answer the connection's interface; cookie is never 0.
    virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
    virtual HRESULT Unadvise(DWORD cookie) = 0;
    // May answer E_NOTIMPL (the proxies do: the sinks are the client's own).
    virtual HRESULT EnumConnections(IEnumConnections** out) = 0;
};

struct IEnumConnectionPoints : IUnknown {
    virtual HRESULT Next(ULONG count, std::vector<opc::ComPtr<IConnectionPoint>>& out) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumConnectionPoints** out) = 0;
};

struct IConnectionPointContainer : IUnknown {
    virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) = 0;
    virtual HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** out) = 0;
};

struct IAdviseSink : IUnknown {
    virtual void OnDataChange(const FORMATETC& format, const STGMEDIUM& medium) = 0;
    virtual void OnViewChange(DWORD /*aspect*/, LONG /*index*/) {}
    virtual void OnRename() {}
    virtual void OnSave() {}
    virtual void OnClose() {}
};

struct IDataObject : IUnknown {
    // Data advises of the three OPC stream formats; connection is never 0.
    virtual HRESULT DAdvise(const FORMATETC& format, DWORD advf, IAdviseSink* sink, DWORD* connection) = 0;
    virtual HRESULT DUnadvise(DWORD connection) = 0;
};

struct IOPCShutdown : IUnknown {
    virtual HRESULT ShutdownRequest(std::u16string_view reason) = 0;
};

struct IOPCDataCallback : IUnknown {
    virtual HRESULT OnDataChange(DWORD transactionId, OPCHANDLE hGroup, HRESULT masterQuality,
                                 HRESULT masterError, std::span<const OPCHANDLE> clientItems,
                                 std::span<const VARIANT> values, std::span<const WORD> qualities,
                                 std::span<const FILETIME> timeStamps, std::span<const HRESULT> errors) = 0;
    virtual HRESULT OnReadComplete(DWORD transactionId, OPCHANDLE hGroup, HRESULT masterQuality,
                                   HRESULT masterError, std::span<const OPCHANDLE> clientItems,
                                   std::span<const VARIANT> values, std::span<const WORD> qualities,
                                   std::span<const FILETIME> timeStamps, std::span<const HRESULT> errors) = 0;
    virtual HRESULT OnWriteComplete(DWORD transactionId, OPCHANDLE hGroup, HRESULT masterError,
                                    std::span<const OPCHANDLE> clientItems, std::span<const HRESULT> errors) = 0;
    virtual HRESULT OnCancelComplete(DWORD transactionId, OPCHANDLE hGroup) = 0;
};

// Locale and client name of one server object, and the texts of result codes in it.
struct IOPCCommon : IUnknown {
    // E_INVALIDARG for a locale the server has no texts in.
    virtual HRESULT SetLocaleID(LCID lcid) = 0;
    virtual HRESULT GetLocaleID(LCID* lcid) = 0;
    virtual HRESULT QueryAvailableLocaleIDs(std::vector<LCID>& lcids) = 0;
    // In the object's locale; E_INVALIDARG for a code it has no text for.
    virtual HRESULT GetErrorString(HRESULT error, std::u16string& text) = 0;
    virtual HRESULT SetClientName(std::u16string_view name) = 0;
};

struct IOPCServer : IUnknown {
    // timeBias and percentDeadband may be null (local bias, no deadband). OPC_S_UNSUPPORTEDRATE
    // when the revised rate differs from the request. An empty name gets a unique one.
    virtual HRESULT AddGroup(std::u16string_view name, BOOL active, DWORD requestedUpdateRate,
                             OPCHANDLE hClientGroup, const LONG* timeBias, const FLOAT* percentDeadband,
                             LCID lcid, OPCHANDLE* hServerGroup, DWORD* revisedUpdateRate,
                             const IID& iid, IUnknown** group) = 0;
    virtual HRESULT GetErrorString(HRESULT error, LCID lcid, std::u16string& text) = 0;
    virtual HRESULT GetGroupByName(std::u16string_view name, const IID& iid, IUnknown** group) = 0;
    virtual HRESULT GetStatus(OPCSERVERSTATUS& status) = 0;
    // OPC_S_INUSE when the client still holds references to the group without force.
    virtual HRESULT RemoveGroup(OPCHANDLE hServerGroup, BOOL force) = 0;
    // IID_IEnumUnknown (groups) or IID_IEnumString (names); S_FALSE when there are none.
    virtual HRESULT CreateGroupEnumerator(OPCENUMSCOPE scope, const IID& iid, IUnknown** enumerator) = 0;
};

struct IOPCGroupStateMgt : IUnknown {
    virtual HRESULT GetState(DWORD* updateRate, BOOL* active, std::u16string* name, LONG* timeBias,
                             FLOAT* percentDeadband, LCID* lcid, OPCHANDLE* hClientGroup,
                             OPCHANDLE* hServerGroup) = 0;
    // Null arguments keep their current value.
    virtual HRESULT SetState(const DWORD* requestedUpdateRate, DWORD* revisedUpdateRate, const BOOL* active,
                             const LONG* timeBias, const FLOAT* percentDeadband, const LCID* lcid,
                             const OPCHANDLE* hClientGroup) = 0;
    virtual HRESULT SetName(std::u16string_view name) = 0;
    // A private, inactive copy with the same settings and items (new server handles) under
    // a new name (an empty name gets a unique one); OPC_E_DUPLICATENAME when taken.
    virtual HRESULT CloneGroup(std::u16string_view name, const IID& iid, IUnknown** group) = 0;
};

struct IOPCItemMgt : IUnknown {
    virtual HRESULT AddItems(std::span<const OPCITEMDEF> items, std::vector<OPCITEMRESULT>& results,
                             std::vector<HRESULT>& errors) = 0;
    virtual HRESULT ValidateItems(std::span<const OPCITEMDEF> items, BOOL blobUpdate,
                                  std::vector<OPCITEMRESULT>& results, std::vector<HRESULT>& errors) = 0;
    virtual HRESULT RemoveItems(std::span<const OPCHANDLE> hServer, std::vector<HRESULT>& errors) = 0;
    virtual HRESULT SetActiveState(std::span<const OPCHANDLE> hServer, BOOL active,
                                   std::vector<HRESULT>& errors) = 0;
    virtual HRESULT SetClientHandles(std::span<const OPCHANDLE> hServer, std::span<const OPCHANDLE> hClient,
                                     std::vector<HRESULT>& errors) = 0;
    virtual HRESULT SetDatatypes(std::span<const OPCHANDLE> hServer, std::span<const VARTYPE> requested,
                                 std::vector<HRESULT>& errors) = 0;
    // IID_IEnumOPCItemAttributes; S_FALSE when the group has no items.
    virtual HRESULT CreateEnumerator(const IID& iid, IUnknown** enumerator) = 0;
};

struct IOPCSyncIO : IUnknown {
    virtual HRESULT Read(OPCDATASOURCE source, std::span<const OPCHANDLE> hServer,
                         std::vector<OPCITEMSTATE>& values, std::vector<HRESULT>& errors) = 0;
    virtual HRESULT Write(std::span<const OPCHANDLE> hServer, std::span<const VARIANT> values,
                          std::vector<HRESULT>& errors) = 0;
};

// OPC DA 1.0: results arrive as data streams on the data advise named by connection.
struct IOPCAsyncIO : IUnknown {
    virtual HRESULT Read(DWORD connection, OPCDATASOURCE source, std::span<const OPCHANDLE> hServer,
                         DWORD* transactionId, std::vector<HRESULT>& errors) = 0;
    virtual HRESULT Write(DWORD connection, std::span<const OPCHANDLE> hServer, std::span<const VARIANT> values,
                          DWORD* transactionId, std::vector<HRESULT>& errors) = 0;
    virtual HRESULT Refresh(DWORD connection, OPCDATASOURCE source, DWORD* transactionId) = 0;
    virtual HRESULT Cancel(DWORD transactionId) = 0;
};

// OPC DA 2.0: results arrive on the group's IOPCDataCallback connection.
struct IOPCAsyncIO2 : IUnknown {
    virtual HRESULT Read(std::span<const OPCHANDLE> hServer, DWORD transactionId, DWORD* cancelId,
                         std::vector<HRESULT>& errors) = 0;
    virtual HRESULT Write(std::span<const OPCHANDLE> hServer, std::span<const VARIANT> values,
                          DWORD transactionId, DWORD* cancelId, std::vector<HRESULT>& errors) = 0;
    virtual HRESULT Refresh2(OPCDATASOURCE source, DWORD transactionId, DWORD* cancelId) = 0;
    virtual HRESULT Cancel2(DWORD cancelId) = 0;
    virtual HRESULT SetEnable(BOOL enable) = 0;
    virtual HRESULT GetEnable(BOOL* enable) = 0;
};

struct IOPCItemProperties : IUnknown {
    virtual HRESULT QueryAvailableProperties(std::u16string_view itemId, std::vector<DWORD>& propertyIds,
                                             std::vector<std::u16string>& descriptions,
                                             std::vector<VARTYPE>& dataTypes) = 0;
    virtual HRESULT GetItemProperties(std::u16string_view itemId, std::span<const DWORD> propertyIds,
                                      std::vector<VARIANT>& values, std::vector<HRESULT>& errors) = 0;
    virtual HRESULT LookupItemIDs(std::u16string_view itemId, std::span<const DWORD> propertyIds,
                                  std::vector<std::u16string>& itemIds, std::vector<HRESULT>& errors) = 0;
};

struct IOPCBrowseServerAddressSpace : IUnknown {
    virtual HRESULT QueryOrganization(OPCNAMESPACETYPE* type) = 0;
    virtual HRESULT ChangeBrowsePosition(OPCBROWSEDIRECTION direction, std::u16string_view name) = 0;
    // S_FALSE with an empty enumerator when nothing matches.
    virtual HRESULT BrowseOPCItemIDs(OPCBROWSETYPE type, std::u16string_view filter, VARTYPE dataTypeFilter,
                                     DWORD accessRightsFilter, IEnumString** names) = 0;
    virtual HRESULT GetItemID(std::u16string_view itemDataId, std::u16string& itemId) = 0;
    virtual HRESULT BrowseAccessPaths(std::u16string_view itemId, IEnumString** paths) = 0;
};

struct IOPCServerList : IUnknown {
    virtual HRESULT EnumClassesOfCategories(std::span<const CATID> implemented, std::span<const CATID> required,
                                            IEnumGUID** classes) = 0;
    virtual HRESULT GetClassDetails(const CLSID& clsid, std::u16string& progId, std::u16string& userType) = 0;
    virtual HRESULT CLSIDFromProgID(std::u16string_view progId, CLSID* clsid) = 0;
};
