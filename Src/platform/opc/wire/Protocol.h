#pragma once
// Method numbers of the OPC transport and the codecs of the OPC records it carries.
#include "platform/opc/OpcTypes.h"
#include "platform/opc/wire/Wire.h"

namespace opc {

enum class Method : WORD {
    // Object 0 of a connection.
    Activate = 1,
    // The OPC server list of the server's machine, for a remote node's enumeration.
    ActivateServerList,
    // Server object.
    AddGroup = 10,
    GetErrorString,
    GetGroupByName,
    GetStatus,
    RemoveGroup,
    CreateGroupEnumerator,
    QueryAvailableProperties,
    GetItemProperties,
    LookupItemIDs,
    QueryOrganization,
    ChangeBrowsePosition,
    BrowseOPCItemIDs,
    GetItemID,
    BrowseAccessPaths,
    AdviseShutdown,
    SetLocaleID,
    GetLocaleID,
    QueryAvailableLocaleIDs,
    CommonGetErrorString,
    SetClientName,
    // Any object with connection points.
    Unadvise = 30,
    // Group.
    GetState = 40,
    SetState,
    SetName,
    AddItems,
    ValidateItems,
    RemoveItems,
    SetActiveState,
    SetClientHandles,
    SetDatatypes,
    CreateEnumerator,
    SyncRead,
    SyncWrite,
    AsyncRead,
    AsyncWrite,
    AsyncRefresh,
    AsyncCancel,
    Async2Read,
    Async2Write,
    Refresh2,
    Cancel2,
    SetEnable,
    GetEnable,
    DAdvise,
    DUnadvise,
    AdviseDataCallback,
    CloneGroup,
    // Server list.
    EnumClassesOfCategories = 80,
    GetClassDetails,
    ListCLSIDFromProgID,
    // One-way: the client drops an object.
    Release = 90,
    // Notifications to a client sink.
    OnDataChange = 100,
    OnReadComplete,
    OnWriteComplete,
    OnCancelComplete,
    OnStreamData,
    ShutdownRequest,
    // On object 0, the only frame a connection over the server's limit gets: the HRESULT
    // every call of the client fails with.
    Refused,
};
static_assert(WORD(Method::SetClientName) < WORD(Method::Unadvise));

void writeItemDef(WireWriter& w, const OPCITEMDEF& d);
OPCITEMDEF readItemDef(WireReader& r);
void writeItemResult(WireWriter& w, const OPCITEMRESULT& d);
OPCITEMRESULT readItemResult(WireReader& r);
void writeItemState(WireWriter& w, const OPCITEMSTATE& d);
OPCITEMSTATE readItemState(WireReader& r);
void writeStatus(WireWriter& w, const OPCSERVERSTATUS& s);
OPCSERVERSTATUS readStatus(WireReader& r);
void writeAttributes(WireWriter& w, const OPCITEMATTRIBUTES& a);
OPCITEMATTRIBUTES readAttributes(WireReader& r);

} // namespace opc
