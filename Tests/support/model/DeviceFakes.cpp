#include "support/model/DeviceFakes.h"

#include "kestrun/comm/sockets/TcpipConfig.h"
#include "kestrun/model/SystemDevice.h"
#include "platform/afx/Archive.h"

namespace testsupport {

IMPLEMENT_SERIAL(TestDevice, CdsDeviceObject, 1)
IMPLEMENT_SERIAL(TestDeviceMap, CdsDeviceMap, 1)

BOOL FakeDeviceHandler::DoOnline(CdsDeviceObject* pDevice)
{
    calls.push_back({"online", pDevice});
    return onlineResult;
}

BOOL FakeDeviceHandler::DoOffline(CdsDeviceObject* pDevice)
{
    calls.push_back({"offline", pDevice});
    return TRUE;
}

void FakeDeviceHandler::RemoveActiveDevice(CdsDeviceObject* pDevice) { calls.push_back({"remove", pDevice}); }

std::vector<std::string> FakeDeviceHandler::CallsFor(const CdsDeviceObject* pDevice) const
{
    std::vector<std::string> words;
    for (const Call& call : calls)
        if (!pDevice || call.device == pDevice)
            words.push_back(call.what);
    return words;
}

kestrun::DeviceHandler* FakeHandlerTable::GetCommHdlrByHandle(DWORD dwPortHandle) { return Handler(dwPortHandle); }

kestrun::DeviceHandler* FakeHandlerTable::CreateCommHdlr(DWORD dwPortHandle)
{
    if (refuseCreate)
        return nullptr;
    created.push_back(dwPortHandle);
    auto& slot = handlers[dwPortHandle];
    if (!slot)
        slot = std::make_unique<FakeDeviceHandler>();
    return slot.get();
}

FakeDeviceHandler* FakeHandlerTable::Handler(DWORD dwPortHandle)
{
    auto it = handlers.find(dwPortHandle);
    return it == handlers.end() ? nullptr : it->second.get();
}

TestDevice::TestDevice() { m_configs[0] = std::make_unique<CdsTcpipConfig>(); }

BOOL TestDevice::OnInitDeviceObject()
{
    ++initCount;
    if (s_refuseInits > 0) {
        --s_refuseInits;
        return FALSE;
    }
    return refuseInit ? FALSE : TRUE;
}

BOOL TestDevice::OnOnline()
{
    events.push_back("OnOnline");
    return TRUE;
}

CdsDeviceObject* TestDeviceMap::NewDeviceObject(const std::string&, const std::string&, int)
{
    return new TestDevice;
}

CdsDeviceObject* TestDeviceMap::NewRootDevice() { return withRoot ? new CdsRootDevice : nullptr; }

std::unique_ptr<CdsCommConfig> TcpLine(WORD wPortId, const std::string& strRemote, LONG nRemotePort)
{
    auto config = std::make_unique<CdsTcpipConfig>();
    config->SetPortId(wPortId);
    config->m_strRemoteAddress = strRemote;
    config->m_nRemotePort = nRemotePort;
    return config;
}

} // namespace testsupport
