#pragma once
// One OPC group: state, items, subscriptions of both OPC roads and the queue of
// asynchronous transactions. Work on tags runs under the group's lock; client sinks are
// called after it has been left.
#include "platform/opc/ConnectionPoint.h"
#include "platform/opc/Interfaces.h"
#include "platform/opc/ServerCore.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace opc {

struct ConnectionTables;

struct GroupSettings {
    std::u16string name;
    BOOL active = TRUE;
    DWORD requestedRate = 0;
    DWORD revisedRate = 0;
    OPCHANDLE hClientGroup = 0;
    OPCHANDLE hServerGroup = 0;
    LONG timeBias = 0;
    FLOAT percentDeadband = 0;
    LCID lcid = 0;
};

class Group final : public IOPCGroupStateMgt,
                    public IOPCItemMgt,
                    public IOPCSyncIO,
                    public IOPCAsyncIO,
                    public IOPCAsyncIO2,
                    public IDataObject,
                    public IConnectionPointContainer {
public:
    static ComPtr<Group> create(std::shared_ptr<ServerCore> core, std::shared_ptr<ConnectionTables> tables,
                                GroupSettings settings);

    HRESULT QueryInterface(const IID& iid, void** out) override;
    ULONG AddRef() override { return refs_.add(); }
    ULONG Release() override;
    bool tryAddRef() { return refs_.tryAdd(); }
    ULONG refCount() const { return refs_.value(); }

    // IOPCGroupStateMgt
    HRESULT GetState(DWORD* updateRate, BOOL* active, std::u16string* name, LONG* timeBias, FLOAT* percentDeadband,
                     LCID* lcid, OPCHANDLE* hClientGroup, OPCHANDLE* hServerGroup) override;
    HRESULT SetState(const DWORD* requestedUpdateRate, DWORD* revisedUpdateRate, const BOOL* active,
                     const LONG* timeBias, const FLOAT* percentDeadband, const LCID* lcid,
                     const OPCHANDLE* hClientGroup) override;
    HRESULT SetName(std::u16string_view name) override;
    // IOPCItemMgt
    HRESULT AddItems(std::span<const OPCITEMDEF> items, std::vector<OPCITEMRESULT>& results,
                     std::vector<HRESULT>& errors) override;
    HRESULT ValidateItems(std::span<const OPCITEMDEF> items, BOOL blobUpdate, std::vector<OPCITEMRESULT>& results,
                          std::vector<HRESULT>& errors) override;
    HRESULT RemoveItems(std::span<const OPCHANDLE> hServer, std::vector<HRESULT>& errors) override;
    HRESULT SetActiveState(std::span<const OPCHANDLE> hServer, BOOL active, std::vector<HRESULT>& errors) override;
    HRESULT SetClientHandles(std::span<const OPCHANDLE> hServer, std::span<const OPCHANDLE> hClient,
                             std::vector<HRESULT>& errors) override;
    HRESULT SetDatatypes(std::span<const OPCHANDLE> hServer, std::span<const VARTYPE> requested,
                         std::vector<HRESULT>& errors) override;
    HRESULT CreateEnumerator(const IID& iid, IUnknown** enumerator) override;
    // IOPCSyncIO
    HRESULT Read(OPCDATASOURCE source, std::span<const OPCHANDLE> hServer, std::vector<OPCITEMSTATE>& values,
                 std::vector<HRESULT>& errors) override;
    HRESULT Write(std::span<const OPCHANDLE> hServer, std::span<const VARIANT> values,
                  std::vector<HRESULT>& errors) override;
    // IOPCAsyncIO
    HRESULT Read(DWORD connection, OPCDATASOURCE source, std::span<const OPCHANDLE> hServer, DWORD* transactionId,
                 std::vector<HRESULT>& errors) override;
    HRESULT Write(DWORD connection, std::span<const OPCHANDLE> hServer, std::span<const VARIANT> values,
                  DWORD* transactionId, std::vector<HRESULT>& errors) override;
    HRESULT Refresh(DWORD connection, OPCDATASOURCE source, DWORD* transactionId) override;
    HRESULT Cancel(DWORD transactionId) override;
    // IOPCAsyncIO2
    HRESULT Read(std::span<const OPCHANDLE> hServer, DWORD transactionId, DWORD* cancelId,
                 std::vector<HRESULT>& errors) override;
    HRESULT Write(std::span<const OPCHANDLE> hServer, std::span<const VARIANT> values, DWORD transactionId,
                  DWORD* cancelId, std::vector<HRESULT>& errors) override;
    HRESULT Refresh2(OPCDATASOURCE source, DWORD transactionId, DWORD* cancelId) override;
    HRESULT Cancel2(DWORD cancelId) override;
    HRESULT SetEnable(BOOL enable) override;
    HRESULT GetEnable(BOOL* enable) override;
    // IDataObject
    HRESULT DAdvise(const FORMATETC& format, DWORD advf, IAdviseSink* sink, DWORD* connection) override;
    HRESULT DUnadvise(DWORD connection) override;
    // IConnectionPointContainer
    HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** out) override;

    // Runs queued transactions, then the subscription update when the group is due.
    void poll(std::uint64_t nowMs);
    // Releases every item's tag; later calls answer E_FAIL.
    void teardown(COPCCallback* callback);
    bool removed() const;
    std::u16string name() const;
    OPCHANDLE serverHandle() const;

private:
    struct Item {
        OPCHANDLE hServer = 0;
        OPCHANDLE hClient = 0;
        CTag* tag = nullptr;
        std::u16string itemId;
        std::u16string accessPath;
        BOOL active = TRUE;
        VARTYPE requested = VT_EMPTY;
        VARTYPE canonical = VT_EMPTY;
        DWORD access = 0;
        std::vector<BYTE> blob;
        bool sent = false;  // lastValue / lastQuality hold what the client has
        VARIANT lastValue;
        WORD lastQuality = 0;
    };
    enum class Kind { Read, Write, Refresh };
    struct Transaction {
        DWORD id = 0;             // 1.0 transaction id or 2.0 cancel id
        DWORD clientId = 0;       // 2.0 transaction id of the client
        bool v2 = false;
        Kind kind = Kind::Read;
        DWORD connection = 0;     // 1.0 advise connection
        OPCDATASOURCE source = OPC_DS_CACHE;
        std::vector<OPCHANDLE> handles;
        std::vector<VARIANT> values;
    };
    struct Advise {
        DWORD connection = 0;
        CLIPFORMAT format = 0;
        ComPtr<IAdviseSink> sink;
    };
    // What one read gives an item, ready for a stream or a callback.
    struct Result {
        OPCHANDLE hClient = 0;
        VARIANT value;
        WORD quality = OPC_QUALITY_BAD;
        FILETIME timestamp{};
        HRESULT error = S_OK;
    };
    struct Delivery;

    Group(std::shared_ptr<ServerCore> core, std::shared_ptr<ConnectionTables> tables, GroupSettings settings);
    ~Group();

    Item* findLocked(OPCHANDLE h);
    void findItemsLocked(std::span<const OPCHANDLE> handles, std::vector<Item*>& items,
                         std::vector<std::size_t>& where);
    template <typename Fn>
    HRESULT forEachItemLocked(std::span<const OPCHANDLE> handles, std::vector<HRESULT>& errors, Fn&& fn);
    bool anyActiveItemLocked() const;
    Result readLocked(COPCCallback* cb, Item& item, CTag* tag, const CTagState& state, HRESULT readError,
                      OPCDATASOURCE source);
    std::vector<Result> readItemsLocked(COPCCallback* cb, std::span<Item* const> items, OPCDATASOURCE source);
    std::vector<HRESULT> writeItemsLocked(COPCCallback* cb, std::span<Item* const> items,
                                          std::span<const VARIANT> values);
    HRESULT checkHandlesLocked(std::span<const OPCHANDLE> handles, std::vector<HRESULT>& errors,
                               std::vector<OPCHANDLE>& valid);
    HRESULT completionSinkLocked(DWORD connection, bool forWrite);
    template <typename Admit>
    HRESULT collectLocked(std::span<const OPCHANDLE> handles, std::span<const VARIANT> values,
                          std::vector<HRESULT>& errors, Transaction& t, Admit&& admit);
    DWORD queue(Transaction t);
    bool cancelQueued(DWORD id, bool v2, Transaction* out);
    void runTransaction(COPCCallback* cb, Transaction& t, Delivery& d);
    void collectChangesLocked(COPCCallback* cb, Delivery& d);
    void deliver(Delivery& d);
    HRESULT validateDef(COPCCallback* cb, const OPCITEMDEF& def, OPCITEMRESULT& result);
    ComPtr<IAdviseSink> adviseSinkLocked(DWORD connection, CLIPFORMAT* format);
    bool hasSubscriberLocked() const;
    void resendAllLocked();

    RefCount refs_;
    std::shared_ptr<ServerCore> core_;
    std::shared_ptr<ConnectionTables> tables_;
    // Taken after the server object's lock and before the tables' lock, the connection
    // point's lock, the callback lock and a tag's lock.
    mutable std::mutex mutex_;
    GroupSettings s_;
    bool removed_ = false;
    BOOL enabled_ = TRUE;
    std::map<OPCHANDLE, Item> items_;
    std::deque<Transaction> pending_;
    std::vector<Advise> advises_;
    DWORD nextAdvise_ = 1;
    std::optional<std::uint64_t> lastRunMs_;
    ConnectionPoint callbackPoint_;
};

} // namespace opc
