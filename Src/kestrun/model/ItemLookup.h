#pragma once
// The order in which item names are resolved: a point inside one block, an
// item inside one device, and an OPC item id with its access path. The block,
// device and bridge supply the lookups they own through the small host
// interfaces below; the order and the name syntax live here.
#include <functional>
#include <string>
#include <string_view>

#include "kestrun/model/ItemName.h"

class CdsMemoryObject;
class CdsMemoryArray;
class CdsMemoryArrayList;
class CdsDeviceObject;
class CfsMemoryTag;

namespace kestrun {

// The options that change names and their lookup.
struct ItemNameOptions {
    bool caseSensitive = false;
    bool dotSubset = true;
    bool wildSearch = false;
    bool viewActions = false;
    // The server options as they stand now.
    static ItemNameOptions Current();
};

// What the point lookup needs from its block.
class PointNameHost {
public:
    virtual ~PointNameHost() = default;
    // The point whose key name (already case-ruled) is key, or null.
    virtual CdsMemoryObject* FindKeyName(const std::string& key) const = 0;
    // The point at index, or null.
    virtual CdsMemoryObject* PointAtIndex(int index) const = 0;
    // The point's bit object for that bit, or null.
    virtual CdsMemoryObject* BitOfPoint(CdsMemoryObject* point, int bit) const = 0;
    virtual std::string BlockAddress() const = 0;
};

// A point of the block by name: its key name, a key name with a bit, or the
// address form "address:index" with an optional bit. Null when none.
CdsMemoryObject* LookupPointByName(const PointNameHost& block, std::string_view name, const ItemNameOptions& options);

// What the lookup inside a device needs from the device and its blocks.
class DeviceItemHost {
public:
    virtual ~DeviceItemHost() = default;
    // The block whose key (already case-ruled) is key, any type data; or null.
    virtual CdsMemoryArray* FindBlockByKey(const std::string& key) const = 0;
    virtual int GetBlockCount() const = 0;
    virtual CdsMemoryArray* GetBlockAt(int position) const = 0;
    // The block's point lookup by name.
    virtual CdsMemoryObject* FindPointInBlock(CdsMemoryArray* block, const std::string& name) const = 0;
    virtual int GetBlockDefaultType(CdsMemoryArray* block) const = 0;
    // The block's variant for (base text, type word) over that base point,
    // made when absent; null when it cannot be made.
    virtual CdsMemoryObject* GetVariant(CdsMemoryArray* block, CdsMemoryObject* base, const std::string& baseText,
                                        const std::string& code) = 0;
};

struct DeviceItemResult {
    CdsMemoryObject* point = nullptr;
    CdsMemoryArray* block = nullptr;   // the block that answered
    bool namesBlock = false;           // the whole item is a block's key
};

// An item inside one device: a block keyed by the whole item; an item with a
// type word ("D100:5 R4"); else each block in list order.
DeviceItemResult LookupItemInDevice(DeviceItemHost& device, std::string_view item, const ItemNameOptions& options);

// LookupItemInDevice over a device's block list. findBlock gives the block of
// a key (already case-ruled, any type data) or null; variants are the blocks'
// own (GetBlockVariant).
DeviceItemResult LookupItemInBlocks(const CdsMemoryArrayList& blocks,
                                    const std::function<CdsMemoryArray*(const std::string&)>& findBlock,
                                    std::string_view item, const ItemNameOptions& options);

// LookupItemInDevice over a device: its blocks keyed by their whole name or
// whole address, then its block list in order.
DeviceItemResult LookupItemInDevice(const CdsDeviceObject& device, std::string_view item, const ItemNameOptions& options);

// What the DDE item resolution needs from the device.
class DdeItemHost {
public:
    virtual ~DdeItemHost() = default;
    // The lookup inside a device (LookupItemInDevice over that device).
    virtual DeviceItemResult LookupInDevice(CdsDeviceObject* device, const std::string& item) = 0;
};

struct DdeItemResult {
    CdsDeviceObject* device = nullptr;   // the device the item was looked up in
    std::string item;                    // the item text it was looked up by
    DeviceItemResult found;              // a point, or a block named by the whole item
};

// A DDE item of a conversation on topicDevice: the text is trimmed, and a
// bracketed topic in front of it is dropped. The item is always the
// conversation's device's: a client whose conversation is on PLC1 reads PLC1.
DdeItemResult ResolveDdeItem(DdeItemHost& host, CdsDeviceObject* topicDevice, std::string_view text);

// What the OPC item resolution needs from the bridge and the device map.
class OpcItemHost {
public:
    virtual ~OpcItemHost() = default;
    // A tag of the browse tree by its dotted path, ignoring case; or null.
    virtual CfsMemoryTag* FindBrowseTag(const std::string& path) = 0;
    // The device of a topic ("$Root" included); null when none.
    virtual CdsDeviceObject* FindDevice(const std::string& topic) = 0;
    // The lookup inside a device (LookupItemInDevice over that device).
    virtual CdsMemoryObject* LookupInDevice(CdsDeviceObject* device, const std::string& item) = 0;
    // A dynamic point for the item in the device's block "$Array"; or null.
    virtual CdsMemoryObject* CreateDynamicPoint(CdsDeviceObject* device, const std::string& item) = 0;
    // View hint 401 with the item id and access path.
    virtual void ReportItemNotFound(const std::string& itemId, const std::string& accessPath) = 0;
};

struct OpcItemResult {
    CfsMemoryTag* tag = nullptr;          // found in the browse tree
    CdsMemoryObject* point = nullptr;     // found (or made) through a device
    bool dynamic = false;                 // the point was made for this item
    TagNames names;                       // names for a tag made for point
};

// Resolves an OPC item id and access path in the order the bridge uses.
OpcItemResult ResolveOpcItem(OpcItemHost& host, std::string_view itemId, std::string_view accessPath,
                             const ItemNameOptions& options);

} // namespace kestrun
