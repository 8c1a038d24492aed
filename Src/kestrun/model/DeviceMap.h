#pragma once
// Every device of the open configuration, indexed by its device address key
// "[port]:address/type" and, process-wide, by its name: the topic under which
// OPC and DDE clients address it. The map owns its devices.
//
// Names beginning with "$" belong to system devices. Keys and topics are
// upper-cased unless names are case-sensitive.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/afx/Object.h"
#include "platform/win/WinTypes.h"

class CArchive;
class CdsDeviceObject;
class CdsDeviceObjectDlg; // the shell's device dialog

class CdsDeviceMap : public CObject {
    DECLARE_SERIAL(CdsDeviceMap)
public:
    explicit CdsDeviceMap(int nValue = -1);
    ~CdsDeviceMap() override;
    CdsDeviceMap(const CdsDeviceMap&) = delete;
    CdsDeviceMap& operator=(const CdsDeviceMap&) = delete;

    // The entry count, then per device its key and the device by class; system
    // devices are left out. Loading recomputes each key from the device and
    // drops (destroys) system records, devices without key or name, reserved
    // names and devices whose key or topic is taken already.
    void Serialize(CArchive& ar) override;

    // A new device of the program's class, registered and initialised; none on failure.
    virtual CdsDeviceObject* CreateDeviceObject(const std::string& strPort, const std::string& strAddress,
                                                int nType);
    // Takes the device: returns it when registered (and, with bInit, initialised),
    // else destroys it and returns none.
    virtual CdsDeviceObject* AddDeviceObject(CdsDeviceObject* pDevice, BOOL bInit);
    virtual CdsDeviceObject* AddDeviceObject(CdsDeviceObject* pDevice);
    // The device of the source's topic if there is one, else a copy of the
    // source; initialised with its own port, address and type.
    virtual CdsDeviceObject* AddDeviceObject(const CdsDeviceObject& src);
    // Gives the device up without freeing it; none when it is not in the map.
    virtual CdsDeviceObject* RemoveDeviceObject(CdsDeviceObject* pDevice, BOOL bFlag);
    virtual CdsDeviceObject* RemoveDeviceObject(CdsDeviceObject* pDevice);
    // Registers the device under the key, stores port, address and type in it,
    // then its own initialisation decides.
    virtual BOOL InitDeviceObject(const std::string& strPort, const std::string& strAddress, int nType,
                                  CdsDeviceObject* pDevice);
    virtual void ExitDeviceObject(CdsDeviceObject* pDevice);
    // A device that cannot be initialised does not go online.
    virtual void SetAllDevicesOnline(BOOL bOnline);
    // The same, stopping between two devices once `stopped` says so (the
    // program is closing: a large plant must not hold it up).
    void SetAllDevicesOnline(BOOL bOnline, const std::function<bool()>& stopped);
    // Offline for good, before the map goes (its document closes): each device's
    // lines stop and its blocks leave as with SetAllDevicesOnline (FALSE), but no
    // device is registered again, which only a map that stays needs.
    void SetAllDevicesOfflineToClose();
    virtual BOOL CreateSystemDevices();
    virtual void DestroySystemDevices();
    // Factories of the program; the base makes no ordinary devices and no root device.
    virtual CdsDeviceObject* NewDeviceObject(const CdsDeviceObject& src);
    virtual CdsDeviceObject* NewDeviceObject(const std::string& strPort, const std::string& strAddress,
                                             int nType);
    // The dialog the data view adds and edits devices with; the base one is the
    // framework's, made by the shell.
    virtual std::unique_ptr<CdsDeviceObjectDlg> NewDeviceObjectDlg() const;
    virtual CdsDeviceObject* NewSystemDevice();
    virtual CdsDeviceObject* NewRootDevice();
    virtual void Destroy();
    // Frees every device, as DestroyDeviceObject does, but lets go of all their
    // keys and topics at once.
    virtual void DeleteContents();

    // Frees a device: its exit hook, its key and topic entries (where they are
    // this device), then its Destroy. Ignores none.
    void DestroyDeviceObject(CdsDeviceObject* pDevice);

    // Changes a device of this map through change, then registers it again
    // under its new key and topic and initialises it. When the key or topic
    // belongs to another device, or the device refuses its new configuration,
    // undo puts the old settings back, the device is registered as before and
    // 0 is returned.
    BOOL ChangeDeviceObject(CdsDeviceObject* pDevice, const std::function<void()>& change,
                            const std::function<void()>& undo);
    // Every device lets go of its clients (CdsDeviceObject::DetachClients).
    void DetachClients();

    static CdsDeviceObject* GetDeviceObjectByTopic(const std::string& strName);
    CdsDeviceObject* GetDeviceObjectByAddr(const std::string& strPort, const std::string& strAddress,
                                           int nType) const;
    // "[%s]:%s/%d" of port, address and type, case-ruled; empty when port and
    // address are both empty.
    static std::string GetDeviceName(const std::string& strPort, const std::string& strAddress, int nType);
    int GetDeviceCount() const { return static_cast<int>(m_devices.size()); }
    // Entries in key order.
    const std::map<std::string, CdsDeviceObject*>& GetDevices() const { return m_devices; }

    // After a document is loaded: system devices, parents, each device's own.
    void OnLoading();
    // The same, ending between two devices once `stopped` says so (the program is
    // closing: such a map is thrown away, never used).
    void OnLoading(const std::function<bool()>& stopped);
    // Lets go of its devices' topics, for a map that is thrown away unused.
    void ForgetTopics();
    // Rebuilds the topic list from the devices' names (case-ruled in place) and
    // each device's item maps.
    void BuildTopicListMap();

    BOOL IsDeleteOnDestroy() const { return m_bDeleteOnDestroy; }
    void SetDeleteOnDestroy(BOOL b) { m_bDeleteOnDestroy = b; }

    // Topic (device name) -> device, shared by the process: one map is live at a
    // time. Look-ups come from client threads, so it has its own lock.
    class TopicList {
    public:
        CdsDeviceObject* Lookup(const std::string& strKey) const;
        // Enters the pair unless the key leads to another device; false then.
        bool Enter(const std::string& strKey, CdsDeviceObject* pDevice);
        // Removes the key when it leads to that device.
        void Remove(const std::string& strKey, const CdsDeviceObject* pDevice);
        // Removes every key that leads to that device.
        void RemoveDevice(const CdsDeviceObject* pDevice);
        // The same for each of the devices, under one lock.
        void RemoveDevices(const std::vector<CdsDeviceObject*>& devices);
        void RemoveAll();
        int GetCount() const;

    private:
        mutable std::mutex m_mutex; // leaf: guards both maps
        std::unordered_map<std::string, CdsDeviceObject*> m_map;
        // The keys of each device, so that removing one device does not walk the list.
        std::unordered_multimap<const CdsDeviceObject*, std::string> m_keysOf;
    };
    static TopicList m_TopicListByName;

protected:
    // Enters the device under the key and its name as topic. 1 when the key
    // leads to it already; 0 for none, a key or topic of another device, an
    // empty key or name, or a "$" name on an ordinary device.
    BOOL RegisterDeviceObject(const std::string& strKey, CdsDeviceObject* pDevice);
    // Removes the keys and topics that lead to the device.
    void UnregisterDeviceObject(CdsDeviceObject* pDevice);
    static std::string TopicKey(const std::string& strName);
    static bool IsReservedName(const std::string& strName);

    void fsCreateDeviceMap() {}
    void fsDestroyDeviceMap() {}
    void fsOnLoading() {}

private:
    // Destroys a device that never made it into the map.
    static void DiscardDevice(CdsDeviceObject* pDevice);

    int m_nValue;
    BOOL m_bDeleteOnDestroy = TRUE;
    std::map<std::string, CdsDeviceObject*> m_devices; // owned
    // The key each device is listed under in m_devices: registering one of many
    // devices must not walk them all.
    std::unordered_map<const CdsDeviceObject*, std::string> m_keyOf;
};
