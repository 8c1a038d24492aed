#pragma once
// What a device needs of the communication handler of its port, and of the
// table that keeps one handler per port handle.
#include "kestrun/model/HandlerLink.h"
#include "platform/win/WinTypes.h"

class CdsDeviceObject;

namespace kestrun {

class DeviceHandler : public HandlerLink {
public:
    // Starts serving the device; the result is the device's going-online result.
    virtual BOOL DoOnline(CdsDeviceObject* pDevice) = 0;
    virtual BOOL DoOffline(CdsDeviceObject* pDevice) = 0;
    // Drops the device from the devices the handler serves.
    virtual void RemoveActiveDevice(CdsDeviceObject* pDevice) = 0;
};

// The main window's handler table.
class HandlerTable {
public:
    virtual ~HandlerTable() = default;
    // The handler registered for the port handle, or null.
    virtual DeviceHandler* GetCommHdlrByHandle(DWORD dwPortHandle) = 0;
    // A new handler for the port handle, registered; null when none can be made.
    virtual DeviceHandler* CreateCommHdlr(DWORD dwPortHandle) = 0;

    // The table devices use; null while there is no main window. Returns the
    // previous one. The caller keeps the table alive while it is installed.
    static HandlerTable* Install(HandlerTable* pTable);
    static HandlerTable* Installed();
};

} // namespace kestrun
