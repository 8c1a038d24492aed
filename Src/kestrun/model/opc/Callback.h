#pragma once
// The OPC bridge: the toolkit's callback for everything that concerns the address
// space. It turns item ids into tags bound to data points, answers item
// properties, turns client writes into write events, counts clients and items,
// and asks for the server to close when the last client leaves.
//
// The browse tree is built from the device map on first use. Whoever replaces or
// frees the device map calls SetDeviceMap first, so no browse or lookup reaches a
// tag of the old map.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kestrun/model/opc/Branch.h"
#include "platform/dde/BrisantTypes.h"
#include "platform/opc/server/OPCCallback.h"

class CdsDeviceMap;
class CdsDeviceObject;
class CdsHint;
class CdsMemoryObject;
class CfsBrowser;
class CfsMemoryTag;

class CfsCallback : public COPCCallback {
public:
    // Item property ids the bridge serves.
    enum : DWORD {
        PROP_CANONICAL_TYPE = 1,
        PROP_VALUE = 2,
        PROP_QUALITY = 3,
        PROP_TIMESTAMP = 4,
        PROP_ACCESS_RIGHTS = 5,
        PROP_DESCRIPTION = 101,
    };
    static constexpr DWORD kPropertyCount = 6;
    static constexpr DWORD kMinUpdateRate = 10;

    // Views get hints through this; the record borrows the sender's value, so a
    // sink that keeps it makes a copy.
    using HintSink = std::function<void(int nCode, const CdsHint& hint)>;

    CfsCallback();
    ~CfsCallback() override;

    // The map the address space comes from (null: none). Clears the browse tree
    // under the callback lock; it is rebuilt from the new map when next needed.
    void SetDeviceMap(CdsDeviceMap* pMap);
    void SetHintSink(HintSink sink);
    // The application's company text for the vendor answer; empty: none.
    void SetServerCompany(std::string strCompany);

    HRESULT FindTag(std::string_view itemId, DWORD& propertyCount, CTag*& tag) override;
    HRESULT QueryAvailableProperties(DWORD count, CTag* tag, std::vector<DWORD>& ids,
                                     std::vector<std::u16string>& descriptions, std::vector<VARTYPE>& types) override;
    HRESULT GetItemProperties(std::string_view itemId, std::span<const DWORD> propertyIds,
                              std::vector<VARIANT>& values, std::vector<HRESULT>& errors) override;
    HRESULT LookupItemID(std::string_view itemId, DWORD propertyId, std::u16string& text) override;
    COPCBrowser* CreateBrowser() override;
    DWORD ReviseUpdateRate(DWORD requestedMs) override;
    CTag* CreateTag(std::string_view itemId, std::string_view accessPath, std::string_view reserved) override;
    HRESULT GetTagInfo(std::string_view itemId, VARTYPE& canonicalType, DWORD& accessRights) override;
    void RemoveTags(std::span<CTag* const> tags) override;
    std::string GetTagName(CTag* tag) override;
    HRESULT Read(std::span<CTag* const> tags, std::vector<CTagState>& states, std::vector<HRESULT>& errors) override;
    HRESULT ReadTag(CTag* tag) override;
    HRESULT Write(std::span<CTag* const> tags, std::span<const VARIANT> values, std::vector<HRESULT>& errors) override;
    HRESULT WriteTag(CTag* tag, const VARIANT& value) override;
    std::string GetErrorString(HRESULT code) override;
    std::string GetVendorName() override;
    BOOL GetExtendedDataTypeAsFloat() override;
    BOOL OnAddItem(CTag* tag) override;
    void OnRemoveItem(CTag* tag) override;
    void OnActivateItem(CTag* tag, BOOL active) override;
    BOOL OnClientConnect(IOPCServer* server) override;
    int OnClientDisconnect(IOPCServer* server) override;

    // The client-update timer's call: true once the last client has left with
    // "Auto Close On No Client" on; the quit prompt is switched off then and the
    // caller closes the main window.
    bool OnTimer();

    int GetClientCount() const { return m_nClientCount.load(); }
    int GetItemCount() const { return m_nItemCount.load(); }
    bool IsClosePending() const { return m_bClosePending.load(); }

    // For the browser, under the callback lock: the tree, built when missing.
    CfsBranch& GetRootLocked();

private:
    friend class CfsBrowser;
    // A tag of any item id a client can add; under the lock. With pNotFound the item
    // may be made as a dynamic point, and an unknown one is reported there.
    CfsMemoryTag* FindAnyTagLocked(std::string_view itemId, std::string_view accessPath,
                                   std::vector<CdsHint>* pNotFound);
    void BuildTreeLocked();
    void ClearTreeLocked();
    void SendHint(int nCode, const CdsHint& hint);
    // The write into the point (or its device); S_OK, E_FAIL, or OPC_E_BADRIGHTS with
    // the reason when the device can never send it.
    HRESULT WritePoint(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& cell, std::string& reason);

    std::string m_strError = "Error";
    CfsBranch m_root{"Root"};
    bool m_bTreeBuilt = false;
    std::unique_ptr<CfsBrowser> m_pBrowser;
    CdsDeviceMap* m_pDeviceMap = nullptr;
    std::string m_strCompany;
    HintSink m_hintSink;

    std::atomic<int> m_nClientCount{0};
    std::atomic<int> m_nItemCount{0};
    std::atomic<bool> m_bClosePending{false};
};

// VT code -> data type code for a tag without a point (-1 for others).
int DataTypeOfVarType(VARTYPE vt);
// A client value already in the tag's canonical type (VT_R4 for integer points
// with extended types as float) into a fresh cell of the point's type. Texts get
// their own block on the toolkit heap, which the caller releases. S_OK, or
// E_FAIL for types without a cell form and failed allocations.
HRESULT VariantToDataValue(const VARIANT& value, int nPointType, bool extendedAsFloat, _BRISANTDATAVALUE& cell);
