#include "kestrun/model/DeviceMap.h"

#include <memory>
#include <set>

#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/ItemName.h"
#include "kestrun/model/SystemDevice.h"
#include "kestrun/options/ServerOptions.h"
#include "platform/afx/Archive.h"

IMPLEMENT_SERIAL(CdsDeviceMap, CObject, 1)

CdsDeviceMap::TopicList CdsDeviceMap::m_TopicListByName;

namespace {

std::string NameCase(const std::string& text)
{
    return kestrun::ApplyNameCase(text, CdsServerOptions::CaseSensitive());
}

} // namespace

// --- topic list ---

CdsDeviceObject* CdsDeviceMap::TopicList::Lookup(const std::string& strKey) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_map.find(strKey);
    return it == m_map.end() ? nullptr : it->second;
}

bool CdsDeviceMap::TopicList::Enter(const std::string& strKey, CdsDeviceObject* pDevice)
{
    std::lock_guard lock(m_mutex);
    auto [it, inserted] = m_map.emplace(strKey, pDevice);
    if (inserted)
        m_keysOf.emplace(pDevice, strKey);
    return inserted || it->second == pDevice;
}

void CdsDeviceMap::TopicList::Remove(const std::string& strKey, const CdsDeviceObject* pDevice)
{
    std::lock_guard lock(m_mutex);
    auto it = m_map.find(strKey);
    if (it == m_map.end() || it->second != pDevice)
        return;
    m_map.erase(it);
    auto [first, last] = m_keysOf.equal_range(pDevice);
    for (auto key = first; key != last; ++key) {
        if (key->second == strKey) {
            m_keysOf.erase(key);
            break;
        }
    }
}

void CdsDeviceMap::TopicList::RemoveDevice(const CdsDeviceObject* pDevice)
{
    std::lock_guard lock(m_mutex);
    auto [first, last] = m_keysOf.equal_range(pDevice);
    for (auto key = first; key != last; ++key)
        m_map.erase(key->second);
    m_keysOf.erase(first, last);
}

void CdsDeviceMap::TopicList::RemoveDevices(const std::vector<CdsDeviceObject*>& devices)
{
    std::lock_guard lock(m_mutex);
    for (const CdsDeviceObject* pDevice : devices) {
        auto [first, last] = m_keysOf.equal_range(pDevice);
        for (auto key = first; key != last; ++key)
            m_map.erase(key->second);
        m_keysOf.erase(first, last);
    }
}

void CdsDeviceMap::TopicList::RemoveAll()
{
    std::lock_guard lock(m_mutex);
    m_map.clear();
    m_keysOf.clear();
}

int CdsDeviceMap::TopicList::GetCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_map.size());
}

// --- map ---

CdsDeviceMap::CdsDeviceMap(int nValue) : m_nValue(nValue) { fsCreateDeviceMap(); }

CdsDeviceMap::~CdsDeviceMap()
{
    DeleteContents();
    fsDestroyDeviceMap();
}

std::string CdsDeviceMap::TopicKey(const std::string& strName) { return NameCase(strName); }

bool CdsDeviceMap::IsReservedName(const std::string& strName) { return !strName.empty() && strName[0] == '$'; }

std::string CdsDeviceMap::GetDeviceName(const std::string& strPort, const std::string& strAddress, int nType)
{
    if (strPort.empty() && strAddress.empty())
        return {};
    return NameCase("[" + strPort + "]:" + strAddress + "/" + std::to_string(nType));
}

CdsDeviceObject* CdsDeviceMap::GetDeviceObjectByTopic(const std::string& strName)
{
    if (strName.empty())
        return nullptr;
    return m_TopicListByName.Lookup(TopicKey(strName));
}

CdsDeviceObject* CdsDeviceMap::GetDeviceObjectByAddr(const std::string& strPort, const std::string& strAddress,
                                                     int nType) const
{
    std::string key = GetDeviceName(strPort, strAddress, nType);
    if (key.empty())
        return nullptr;
    auto it = m_devices.find(key);
    return it == m_devices.end() ? nullptr : it->second;
}

BOOL CdsDeviceMap::RegisterDeviceObject(const std::string& strKey, CdsDeviceObject* pDevice)
{
    if (!pDevice)
        return FALSE;
    auto it = strKey.empty() ? m_devices.end() : m_devices.find(strKey);
    if (it != m_devices.end())
        return it->second == pDevice ? TRUE : FALSE;
    if (!pDevice->SetParent(this) || strKey.empty() || pDevice->m_strName.empty())
        return FALSE;
    if (IsReservedName(pDevice->m_strName) && !pDevice->IsSystemDevice())
        return FALSE;
    const std::string topic = TopicKey(pDevice->m_strName);
    CdsDeviceObject* holder = m_TopicListByName.Lookup(topic);
    if (holder && holder != pDevice)
        return FALSE;
    // A device is listed once: a new key or name replaces its old entries.
    UnregisterDeviceObject(pDevice);
    pDevice->m_strName = topic;
    m_devices.emplace(strKey, pDevice);
    m_keyOf[pDevice] = strKey;
    m_TopicListByName.Enter(topic, pDevice);
    return TRUE;
}

void CdsDeviceMap::UnregisterDeviceObject(CdsDeviceObject* pDevice)
{
    if (auto it = m_keyOf.find(pDevice); it != m_keyOf.end()) {
        m_devices.erase(it->second);
        m_keyOf.erase(it);
    }
    m_TopicListByName.RemoveDevice(pDevice);
}

void CdsDeviceMap::DiscardDevice(CdsDeviceObject* pDevice)
{
    if (!pDevice)
        return;
    // Owned devices free themselves on Destroy; one that does not is not ours to delete.
    pDevice->Destroy();
}

BOOL CdsDeviceMap::InitDeviceObject(const std::string& strPort, const std::string& strAddress, int nType,
                                    CdsDeviceObject* pDevice)
{
    if (!RegisterDeviceObject(GetDeviceName(strPort, strAddress, nType), pDevice))
        return FALSE;
    pDevice->m_strPort = strPort;
    pDevice->m_strAddress = strAddress;
    pDevice->m_nDeviceType = nType;
    return pDevice->OnInitDeviceObject();
}

void CdsDeviceMap::ExitDeviceObject(CdsDeviceObject* pDevice)
{
    if (pDevice)
        pDevice->OnExitDeviceObject();
}

CdsDeviceObject* CdsDeviceMap::CreateDeviceObject(const std::string& strPort, const std::string& strAddress,
                                                  int nType)
{
    CdsDeviceObject* device = NewDeviceObject(strPort, strAddress, nType);
    if (!device)
        return nullptr;
    device->SetParent(this);
    if (!InitDeviceObject(strPort, strAddress, nType, device)) {
        DestroyDeviceObject(device);
        return nullptr;
    }
    return device;
}

CdsDeviceObject* CdsDeviceMap::AddDeviceObject(CdsDeviceObject* pDevice, BOOL bInit)
{
    if (!pDevice)
        return nullptr;
    CdsDeviceObject* holder = GetDeviceObjectByTopic(pDevice->m_strName);
    if (holder && holder != pDevice) {
        DiscardDevice(pDevice);
        return nullptr;
    }
    BOOL ok = bInit ? InitDeviceObject(pDevice->m_strPort, pDevice->m_strAddress, pDevice->m_nDeviceType, pDevice)
                    : RegisterDeviceObject(
                          GetDeviceName(pDevice->m_strPort, pDevice->m_strAddress, pDevice->m_nDeviceType), pDevice);
    if (!ok) {
        DestroyDeviceObject(pDevice);
        return nullptr;
    }
    return pDevice;
}

CdsDeviceObject* CdsDeviceMap::AddDeviceObject(CdsDeviceObject* pDevice) { return AddDeviceObject(pDevice, TRUE); }

CdsDeviceObject* CdsDeviceMap::AddDeviceObject(const CdsDeviceObject& src)
{
    CdsDeviceObject* device = GetDeviceObjectByTopic(src.m_strName);
    if (!device)
        device = NewDeviceObject(src);
    if (!device)
        return nullptr;
    if (!InitDeviceObject(device->m_strPort, device->m_strAddress, device->m_nDeviceType, device)) {
        DestroyDeviceObject(device);
        return nullptr;
    }
    return device;
}

CdsDeviceObject* CdsDeviceMap::RemoveDeviceObject(CdsDeviceObject* pDevice, BOOL)
{
    if (!pDevice)
        return nullptr;
    if (!m_keyOf.count(pDevice))
        return nullptr;
    pDevice->SetParent(nullptr);
    UnregisterDeviceObject(pDevice);
    return pDevice;
}

CdsDeviceObject* CdsDeviceMap::RemoveDeviceObject(CdsDeviceObject* pDevice) { return RemoveDeviceObject(pDevice, TRUE); }

void CdsDeviceMap::DestroyDeviceObject(CdsDeviceObject* pDevice)
{
    if (!pDevice)
        return;
    pDevice->OnExitDeviceObject();
    UnregisterDeviceObject(pDevice);
    pDevice->Destroy();
}

BOOL CdsDeviceMap::ChangeDeviceObject(CdsDeviceObject* pDevice, const std::function<void()>& change,
                                      const std::function<void()>& undo)
{
    if (!m_keyOf.count(pDevice))
        return FALSE;
    // A new name under the same key would otherwise keep the old topic.
    UnregisterDeviceObject(pDevice);
    change();
    if (InitDeviceObject(pDevice->m_strPort, pDevice->m_strAddress, pDevice->m_nDeviceType, pDevice))
        return TRUE;
    UnregisterDeviceObject(pDevice);
    undo();
    InitDeviceObject(pDevice->m_strPort, pDevice->m_strAddress, pDevice->m_nDeviceType, pDevice);
    return FALSE;
}

void CdsDeviceMap::DetachClients()
{
    for (const auto& [key, device] : m_devices)
        device->DetachClients();
}

CdsDeviceObject* CdsDeviceMap::NewDeviceObject(const std::string&, const std::string&, int) { return nullptr; }

CdsDeviceObject* CdsDeviceMap::NewDeviceObject(const CdsDeviceObject& src)
{
    CdsDeviceObject* device = NewDeviceObject(src.m_strPort, src.m_strAddress, src.m_nDeviceType);
    if (!device)
        return nullptr;
    try {
        *device = src;
    } catch (...) {
        DiscardDevice(device);
        return nullptr;
    }
    return device;
}

CdsDeviceObject* CdsDeviceMap::NewSystemDevice() { return new CdsSystemDevice; }

CdsDeviceObject* CdsDeviceMap::NewRootDevice() { return nullptr; }

BOOL CdsDeviceMap::CreateSystemDevices()
{
    DestroySystemDevices();
    if (CdsDeviceObject* device = NewSystemDevice(); device && !AddDeviceObject(device))
        return FALSE;
    if (CdsDeviceObject* device = NewRootDevice(); device && !AddDeviceObject(device))
        return FALSE;
    return TRUE;
}

void CdsDeviceMap::DestroySystemDevices()
{
    std::vector<CdsDeviceObject*> doomed;
    for (const auto& [key, device] : m_devices)
        if (device->IsKindOf(RUNTIME_CLASS(CdsSystemDevice)) || device->IsKindOf(RUNTIME_CLASS(CdsRootDevice)))
            doomed.push_back(device);
    for (CdsDeviceObject* device : doomed)
        DestroyDeviceObject(device);
}

void CdsDeviceMap::SetAllDevicesOnline(BOOL bOnline) { SetAllDevicesOnline(bOnline, {}); }

void CdsDeviceMap::SetAllDevicesOnline(BOOL bOnline, const std::function<bool()>& stopped)
{
    std::vector<CdsDeviceObject*> devices;
    for (const auto& [key, device] : m_devices)
        devices.push_back(device);
    for (CdsDeviceObject* device : devices) {
        if (stopped && stopped())
            return;
        // Going offline, the device's lines stop before its configuration is read
        // again: they read it while they poll.
        if (!bOnline)
            device->SetOnline(FALSE, this);
        BOOL initialised = InitDeviceObject(device->m_strPort, device->m_strAddress, device->m_nDeviceType, device);
        // A device that refuses its configuration stays offline.
        if (bOnline && initialised)
            device->SetOnline(TRUE, this);
    }
}

void CdsDeviceMap::SetAllDevicesOfflineToClose()
{
    std::vector<CdsDeviceObject*> devices;
    devices.reserve(m_devices.size());
    for (const auto& [key, device] : m_devices)
        devices.push_back(device);
    for (CdsDeviceObject* device : devices)
        device->SetOnline(FALSE, this);
}

void CdsDeviceMap::DeleteContents()
{
    std::vector<CdsDeviceObject*> devices;
    std::set<CdsDeviceObject*> seen;
    for (const auto& [key, device] : m_devices)
        if (seen.insert(device).second)
            devices.push_back(device);
    // All entries at once: one by one, tens of thousands of devices would each
    // cost a removal from both indexes and a turn of the topic list's lock.
    m_TopicListByName.RemoveDevices(devices);
    m_devices.clear();
    m_keyOf.clear();
    for (CdsDeviceObject* device : devices) {
        device->OnExitDeviceObject();
        device->Destroy();
    }
}

void CdsDeviceMap::Destroy()
{
    DeleteContents();
    if (m_bDeleteOnDestroy)
        delete this;
}

// --- archive and loading ---

void CdsDeviceMap::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        std::vector<std::pair<std::string_view, const CdsDeviceObject*>> entries;
        for (const auto& [key, device] : m_devices)
            if (!device->IsSystemDevice())
                entries.emplace_back(key, device);
        afx::WriteObjectMap(ar, entries);
        return;
    }
    std::set<std::string> topics;
    for (const auto& [key, device] : m_devices)
        topics.insert(TopicKey(device->m_strName));
    afx::ReadObjectMap<CdsDeviceObject>(ar, [&](std::string, std::unique_ptr<CdsDeviceObject> device) {
        if (!device)
            return;
        // The stored key is not trusted: the device's own configuration says where it goes.
        const std::string key = GetDeviceName(device->m_strPort, device->m_strAddress, device->m_nDeviceType);
        const std::string topic = TopicKey(device->m_strName);
        bool accepted = !device->IsSystemDevice() && !key.empty() && !topic.empty() && !IsReservedName(topic) &&
                        !m_devices.count(key) && !topics.count(topic);
        if (!accepted) {
            DiscardDevice(device.release());
            return;
        }
        topics.insert(topic);
        device->SetParent(this);
        m_keyOf[device.get()] = key;
        m_devices.emplace(key, device.release());
    });
}

void CdsDeviceMap::OnLoading() { OnLoading({}); }

void CdsDeviceMap::OnLoading(const std::function<bool()>& stopped)
{
    CreateSystemDevices();
    for (const auto& [key, device] : m_devices)
        device->SetParent(this);
    for (const auto& [key, device] : m_devices) {
        if (stopped && stopped())
            return;
        device->OnLoading();
    }
    fsOnLoading();
}

void CdsDeviceMap::ForgetTopics()
{
    std::vector<CdsDeviceObject*> devices;
    devices.reserve(m_devices.size());
    for (const auto& [key, device] : m_devices)
        devices.push_back(device);
    m_TopicListByName.RemoveDevices(devices);
}

void CdsDeviceMap::BuildTopicListMap()
{
    m_TopicListByName.RemoveAll();
    for (const auto& [key, device] : m_devices) {
        if (device->m_strName.empty())
            continue;
        device->m_strName = TopicKey(device->m_strName);
        m_TopicListByName.Enter(device->m_strName, device);
        device->BuildItemListMaps();
    }
}
