#pragma once
// Fakes around devices: a handler that records what devices ask of it, a
// handler table that makes such handlers, and a small program's device and
// device map as a server program would derive them.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kestrun/model/DeviceHandler.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/DeviceObject.h"
#include "support/model/ModelFakes.h"

namespace testsupport {

class FakeDeviceHandler : public kestrun::DeviceHandler {
public:
    struct Call {
        std::string what; // "online", "offline", "remove"
        CdsDeviceObject* device;
    };
    std::shared_ptr<CdsEventQueue> GetEventQueue() override { return queue; }
    BOOL IsTimeWithinCommandDiag(CdsDeviceObject*, LONGLONG) override { return TRUE; }
    void SendUpdateMessageFromThread(int, CdsHint*) override {}
    BOOL DoOnline(CdsDeviceObject* pDevice) override;
    BOOL DoOffline(CdsDeviceObject* pDevice) override;
    void RemoveActiveDevice(CdsDeviceObject* pDevice) override;

    // The calls, as "what" words, for one device (all devices with null).
    std::vector<std::string> CallsFor(const CdsDeviceObject* pDevice) const;

    std::shared_ptr<FakeEventQueue> queue = std::make_shared<FakeEventQueue>();
    std::vector<Call> calls;
    BOOL onlineResult = TRUE;
};

class FakeHandlerTable : public kestrun::HandlerTable {
public:
    kestrun::DeviceHandler* GetCommHdlrByHandle(DWORD dwPortHandle) override;
    kestrun::DeviceHandler* CreateCommHdlr(DWORD dwPortHandle) override;

    FakeDeviceHandler* Handler(DWORD dwPortHandle);

    std::map<DWORD, std::unique_ptr<FakeDeviceHandler>> handlers;
    std::vector<DWORD> created;
    bool refuseCreate = false;
};

// Installs a handler table for the scope of a test.
class HandlerTableScope {
public:
    explicit HandlerTableScope(kestrun::HandlerTable* pTable) : m_previous(kestrun::HandlerTable::Install(pTable)) {}
    ~HandlerTableScope() { kestrun::HandlerTable::Install(m_previous); }
    HandlerTableScope(const HandlerTableScope&) = delete;
    HandlerTableScope& operator=(const HandlerTableScope&) = delete;

private:
    kestrun::HandlerTable* m_previous;
};

// A program's device: a TCP/IP primary master line from construction, blocks
// that make plain points, and an initialisation hook that can refuse.
class TestDevice : public CdsDeviceObject {
    DECLARE_SERIAL(TestDevice)
public:
    TestDevice();

    CdsMemoryArray* NewMemoryArray() override { return new PointBlock(-1); }
    BOOL OnInitDeviceObject() override;
    void OnExitDeviceObject() override { ++exitCount; }
    BOOL OnOnline() override;
    void OnOffline() override { events.push_back("OnOffline"); }

    // The next n initialisations of any test device fail.
    static inline int s_refuseInits = 0;
    bool refuseInit = false;
    int initCount = 0;
    int exitCount = 0;
    std::vector<std::string> events;
};

// The program's map: makes TestDevice objects, and a "$Root" device on request.
class TestDeviceMap : public CdsDeviceMap {
    DECLARE_SERIAL(TestDeviceMap)
public:
    TestDeviceMap() = default;
    CdsDeviceObject* NewDeviceObject(const std::string& strPort, const std::string& strAddress, int nType) override;
    using CdsDeviceMap::NewDeviceObject;
    CdsDeviceObject* NewRootDevice() override;

    bool withRoot = false;
};

// A TCP/IP line configuration with a port id and a peer.
std::unique_ptr<CdsCommConfig> TcpLine(WORD wPortId, const std::string& strRemote, LONG nRemotePort);

} // namespace testsupport
