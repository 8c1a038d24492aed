#pragma once
// One OPC group of a connection: the state the client asked for and the server
// revised, the group's interfaces, its subscription on either road, its items, its
// pending asynchronous transactions and the optional "Updates / Second" item.
// Used on the application thread only.
//
// Ownership: the document owns its groups, a group owns its items and transaction
// records; every interface pointer is held as one reference and released with the
// group, so a removed group never keeps the server connection open.
#include "quillet/doc/HandleTable.h"
#include "quillet/doc/Item.h"

#include "platform/opc/Interfaces.h"

#include <list>
#include <memory>
#include <optional>
#include <string>

class CGroupEvent;
class CQuilletDoc;

enum AdviseMode : DWORD { ADVISE_NONE = 0, ADVISE_DATAOBJECT = 1, ADVISE_CONNECTIONPOINT = 2 };

// A pending asynchronous transaction. On the 2.0 road its client handle is the
// transaction id the server gets; m_dwID is the server's transaction id (1.0) or the
// cancel id (2.0). It is cancelled on the road it was started on.
struct CTransaction {
    enum class Road { AsyncIO, AsyncIO2 };
    CTransaction(CHandleTable& table, std::uint64_t startMs, Road road);
    ~CTransaction();
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;

    CHandleTable& m_table;
    OPCHANDLE m_hClient;
    DWORD m_dwID = 0;
    std::uint64_t m_startMs;  // monotonic ms
    Road m_road;
};

// What the add-group dialog gives.
struct CGroupSettings {
    std::string name;
    BOOL active = TRUE;
    DWORD updateRate = 1000;
    LONG timeBias = 0;
    FLOAT deadband = 1.0f;
    DWORD adviseMode = ADVISE_CONNECTIONPOINT;
    BOOL allowTimeOut = TRUE;
    BOOL timeStamps = FALSE;
    BOOL measureRate = FALSE;  // the "Update Rate" box: make the "Updates / Second" item
};

class CGroup {
public:
    static constexpr const char* kUpdatesItemID = "Updates / Second";

    // A group for the loader: unnamed, inactive, mode 0, 1000 ms.
    explicit CGroup(CQuilletDoc& doc);
    CGroup(CQuilletDoc& doc, const CGroupSettings& settings);
    ~CGroup();
    CGroup(const CGroup&) = delete;
    CGroup& operator=(const CGroup&) = delete;

    CQuilletDoc& GetDocument() const { return m_doc; }
    OPCHANDLE GetClientHandle() const { return m_hClient; }

    // Setters that mark the group changed.
    void SetName(std::string name);
    void SetTimeBias(LONG bias);
    void SetDeadband(FLOAT deadband);
    void SetLocaleID(LCID lcid);
    void SetActive(BOOL active);
    void SetAdviseMode(DWORD mode);

    const std::string& GetName() const { return m_strName; }
    LONG GetTimeBias() const { return m_lTimeBias; }
    FLOAT GetDeadband() const { return m_fDeadband; }
    LCID GetLocaleID() const { return m_lcid; }
    BOOL IsActive() const { return m_bActive; }
    DWORD GetAdviseMode() const { return m_dwAdviseMode; }

    DWORD m_dwRequestedRate = 1000;
    DWORD m_dwRevisedRate = 0;
    BOOL m_bTimeStamps = FALSE;
    BOOL m_bAllowTimeOut = TRUE;
    BOOL m_bSubscriptionEnabled = TRUE;  // the last value given to SetEnable
    BOOL m_bChanged = TRUE;
    OPCHANDLE m_hServer = 0;
    DWORD m_dwDataConnection = 0;
    DWORD m_dwWriteConnection = 0;
    DWORD m_dwCookie = 0;
    FORMATETC m_format;

    // Interfaces; null when not obtained.
    opc::ComPtr<IOPCItemMgt> m_itemMgt;
    opc::ComPtr<IDataObject> m_dataObject;
    opc::ComPtr<IConnectionPoint> m_connectionPoint;
    // Queried from the group once and kept; null (and the result in *hr) when it lacks them.
    IOPCSyncIO* SyncIO(HRESULT* hr = nullptr);
    IOPCAsyncIO* AsyncIO(HRESULT* hr = nullptr);
    IOPCAsyncIO2* AsyncIO2(HRESULT* hr = nullptr);
    // Every interface let go (group removal, a lost server).
    void ReleaseInterfaces();

    // Items in list order; the "Updates / Second" item, when there is one, first.
    std::list<std::unique_ptr<CItem>>& Items() { return m_items; }
    const std::list<std::unique_ptr<CItem>>& Items() const { return m_items; }
    CItem* GetUpdatesItem() const { return m_pUpdatesItem; }
    // Makes the "Updates / Second" item when the group has none.
    void AddUpdatesItem();

    // Ends the subscription of the current mode. False when a connection could not
    // be ended (its error text was shown); mode and connections then stay.
    bool EndSubscription();

    // Pending transactions.
    std::list<std::unique_ptr<CTransaction>>& Pending() { return m_pending; }
    std::unique_ptr<CTransaction> NewTransaction(CTransaction::Road road = CTransaction::Road::AsyncIO2);
    // The record becomes pending under the server's id, started now.
    void Pend(std::unique_ptr<CTransaction> record, DWORD id);
    // Stream road: id 0 is a subscription; any other completes the records with that id.
    ValueRoad CompleteTransaction(DWORD id);
    // Callback road: the same, matching the records' client handles.
    ValueRoad CompleteCallbackTransaction(DWORD transactionId);
    // A cancelled 2.0 transaction completes without a log line.
    void ForgetCallbackTransaction(DWORD transactionId);

    // One data arrival for "Updates / Second".
    void CountUpdate();
    void ResetUpdateCount();
    void RefreshPeriod();
    void ResetRunAverages();

    // Logs each item's run average and deletes the items.
    void TearDownItems();

    // Event triggers; each stops its timer when it goes.
    std::list<std::unique_ptr<CGroupEvent>>& Events() { return m_events; }
    // The pseudo item left out: what a request to the server may name.
    bool IsServerItem(const CItem* item) const { return item && item != m_pUpdatesItem; }
    // Appends " - (Group) <name> #(Item) <item count>" and logs through the document.
    void GroupLog(DWORD category, std::string_view text) const;

private:
    template <typename I>
    I* Kept(opc::ComPtr<I>& slot, const IID& iid, HRESULT* hr);
    ValueRoad Complete(DWORD id, bool byClientHandle);

    CQuilletDoc& m_doc;
    OPCHANDLE m_hClient;
    std::string m_strName;
    BOOL m_bActive = FALSE;
    DWORD m_dwAdviseMode = ADVISE_NONE;
    LONG m_lTimeBias = 0;
    FLOAT m_fDeadband = 0;
    LCID m_lcid = 0;
    opc::ComPtr<IOPCSyncIO> m_syncIO;
    opc::ComPtr<IOPCAsyncIO> m_asyncIO;
    opc::ComPtr<IOPCAsyncIO2> m_asyncIO2;
    std::list<std::unique_ptr<CItem>> m_items;
    CItem* m_pUpdatesItem = nullptr;
    std::list<std::unique_ptr<CTransaction>> m_pending;
    std::list<std::unique_ptr<CGroupEvent>> m_events;
    // Rate of "Updates / Second": arrivals since the first counted one.
    DWORD m_nUpdateCount = 0;
    std::optional<std::uint64_t> m_firstUpdateMs;
    std::uint64_t m_lastDisplayMs = 0;
};
