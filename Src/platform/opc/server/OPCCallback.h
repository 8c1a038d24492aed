#pragma once
// Base of the application's callback: the toolkit asks it for everything that concerns
// the address space (tags, properties, browsing, reads and writes of tag values) and
// tells it about clients and items. The toolkit calls it from its own threads, never
// while holding the callback lock, and never after stop() has returned. A callback must
// not stop the toolkit from inside one of these calls (stop waits for them).
//
// Virtual slots, in order: 0 destructor, 1 FindTag, 2 QueryAvailableProperties,
// 3 GetItemProperties, 4 LookupItemID, 6 CreateBrowser, 7 ReviseUpdateRate, 8 CreateTag,
// 9 GetTagInfo, 10 RemoveTags, 12 GetTagName, 15 Read, 16 ReadTag, 17 Write, 18 WriteTag,
// 19 GetErrorString, 20 GetVendorName, 23 GetExtendedDataTypeAsFloat, 28 OnAddItem,
// 29 OnRemoveItem, 30 OnActivateItem, 31 OnClientConnect, 32 OnClientDisconnect; the base
// keeps GetServerState and fsGetServerCount. ReadTag is also asked before a
// subscription sends a tag that was written (its answer is kept until the tag is written
// again, Lock() included): a failure sends the item with bad quality.
#include "platform/com/HResult.h"
#include "platform/com/Variant.h"
#include "platform/opc/OpcTypes.h"
#include "platform/opc/server/Tag.h"
#include "platform/win/WinTypes.h"

#include <atomic>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class COPCBrowser;
struct IOPCServer;
namespace opc { class Toolkit; }

class COPCCallback {
public:
    COPCCallback();
    virtual ~COPCCallback();
    COPCCallback(const COPCCallback&) = delete;
    COPCCallback& operator=(const COPCCallback&) = delete;

    // The tag of an item id and the number of properties it has; OPC_E_UNKNOWNITEMID
    // when unknown. No reference is taken.
    virtual HRESULT FindTag(std::string_view itemId, DWORD& propertyCount, CTag*& tag);
    // The first `count` available properties of a tag (ids, descriptions, types).
    virtual HRESULT QueryAvailableProperties(DWORD count, CTag* tag, std::vector<DWORD>& ids,
                                             std::vector<std::u16string>& descriptions,
                                             std::vector<VARTYPE>& types);
    // values and errors come sized to the request: values VT_EMPTY, errors
    // OPC_E_INVALID_PID; the callback sets what it knows.
    virtual HRESULT GetItemProperties(std::string_view itemId, std::span<const DWORD> propertyIds,
                                      std::vector<VARIANT>& values, std::vector<HRESULT>& errors);
    // The item id under which a property can be read as an item.
    virtual HRESULT LookupItemID(std::string_view itemId, DWORD propertyId, std::u16string& text);
    // The callback's one browser; it keeps ownership. Null: no browsing.
    virtual COPCBrowser* CreateBrowser();
    // The update rate granted for a requested one.
    virtual DWORD ReviseUpdateRate(DWORD requestedMs);
    // A tag for an item with one reference taken; null when the item id is unknown. The
    // tag stays valid until the toolkit hands it back through RemoveTags.
    virtual CTag* CreateTag(std::string_view itemId, std::string_view accessPath, std::string_view reserved);
    // Canonical type and access rights without creating the tag (item validation).
    virtual HRESULT GetTagInfo(std::string_view itemId, VARTYPE& canonicalType, DWORD& accessRights);
    // The toolkit is done with these tags (one reference each).
    virtual void RemoveTags(std::span<CTag* const> tags);
    // Short name of a tag.
    virtual std::string GetTagName(CTag* tag);
    // Reads tags: ReadTag for each, then its value, quality and time stamp.
    virtual HRESULT Read(std::span<CTag* const> tags, std::vector<CTagState>& states,
                         std::vector<HRESULT>& errors);
    virtual HRESULT ReadTag(CTag* tag);
    // Writes values already converted to each tag's canonical type: WriteTag for each.
    virtual HRESULT Write(std::span<CTag* const> tags, std::span<const VARIANT> values,
                          std::vector<HRESULT>& errors);
    virtual HRESULT WriteTag(CTag* tag, const VARIANT& value);
    // Text of a result code the toolkit itself does not know.
    virtual std::string GetErrorString(HRESULT code);
    virtual std::string GetVendorName();
    // True: writes to integer items reach WriteTag as VT_R4.
    virtual BOOL GetExtendedDataTypeAsFloat();
    // False refuses the item.
    virtual BOOL OnAddItem(CTag* tag);
    virtual void OnRemoveItem(CTag* tag);
    virtual void OnActivateItem(CTag* tag, BOOL active);
    virtual BOOL OnClientConnect(IOPCServer* server);
    virtual int OnClientDisconnect(IOPCServer* server);
    virtual OPCSERVERSTATE GetServerState();
    // Clients connected to the toolkit this callback is registered with.
    virtual DWORD fsGetServerCount();

    // Narrow (UTF-8) text as a client's wide string.
    static std::u16string AllocString(std::string_view text);

    // The callback lock, for the application's own use. The toolkit may call a slot with
    // a group's lock held; under this one it takes only leaves: a tag's lock and its
    // state's (fsGetServerCount).
    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(m_section); }

private:
    friend class opc::Toolkit;
    std::mutex m_section;
    std::atomic<const opc::Toolkit*> m_toolkit{nullptr};  // set while registered
};
