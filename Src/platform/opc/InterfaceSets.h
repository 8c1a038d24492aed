#pragma once
// The interfaces a server object and a group answer QueryInterface for, shared
// by the objects themselves and the client-side proxies that stand in for them.
#include "platform/opc/Interfaces.h"
#include "platform/opc/Unknown.h"

namespace opc {

template <typename Self>
bool offerServerInterfaces(const IID& iid, Self* self, void** out)
{
    return offer<IOPCServer>(iid, IID_IUnknown, self, out) || offer<IOPCServer>(iid, IID_IOPCServer, self, out) ||
           offer<IOPCCommon>(iid, IID_IOPCCommon, self, out) ||
           offer<IOPCItemProperties>(iid, IID_IOPCItemProperties, self, out) ||
           offer<IOPCBrowseServerAddressSpace>(iid, IID_IOPCBrowseServerAddressSpace, self, out) ||
           offer<IConnectionPointContainer>(iid, IID_IConnectionPointContainer, self, out);
}

template <typename Self>
bool offerGroupInterfaces(const IID& iid, Self* self, void** out)
{
    return offer<IOPCItemMgt>(iid, IID_IUnknown, self, out) ||
           offer<IOPCGroupStateMgt>(iid, IID_IOPCGroupStateMgt, self, out) ||
           offer<IOPCItemMgt>(iid, IID_IOPCItemMgt, self, out) || offer<IOPCSyncIO>(iid, IID_IOPCSyncIO, self, out) ||
           offer<IOPCAsyncIO>(iid, IID_IOPCAsyncIO, self, out) ||
           offer<IOPCAsyncIO2>(iid, IID_IOPCAsyncIO2, self, out) ||
           offer<IDataObject>(iid, IID_IDataObject, self, out) ||
           offer<IConnectionPointContainer>(iid, IID_IConnectionPointContainer, self, out);
}

} // namespace opc
