#pragma once
// One OPC group: state, items, subscriptions of both OPC roads and the queue of
// asynchronous transactions. Work on tags runs under the group's lock; client sinks are
// called after it has been left, by whoever polls the group (its client's worker).
//
// Ownership: the server object's table holds one reference; clients hold the others.
// A group removed while a client still holds it answers E_FAIL and hands its tags back
// with its last reference (or at once when the removal was forced).
#include "platform/opc/ConnectionPoint.h"
#include "platform/opc/wire/DataStream.h"
#include "platform/opc/Interfaces.h"
#include "platform/opc/server/ServerCore.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

namespace opc {

struct ConnectionTables;
class ServerObject;

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
    // owner: the server object whose table lists the group (it outlives the group's
    // listing: teardown forgets it).
    static ComPtr<Group> create(std::shared_ptr<ServerCore> core, std::shared_ptr<ConnectionTables> tables,
                                ServerObject* owner, GroupSettings settings);

    HRESULT QueryInterface(const IID& iid, void** out) override;
    ULONG AddRef() override { return refs_.add(); }
    ULONG Release() override;
    bool tryAddRef() { return refs_.tryAdd(); }

    // IOPCGroupStateMgt
    HRESULT GetState(DWORD* updateRate, BOOL* active, std::u16string* name, LONG* timeBias, FLOAT* percentDeadband,
                     LCID* lcid, OPCHANDLE* hClientGroup, OPCHANDLE* hServerGroup) override;
    HRESULT SetState(const DWORD* requestedUpdateRate, DWORD* revisedUpdateRate, const BOOL* active,
                     const LONG* timeBias, const FLOAT* percentDeadband, const LCID* lcid,
                     const OPCHANDLE* hClientGroup) override;
    HRESULT SetName(std::u16string_view name) override;
    HRESULT CloneGroup(std::u16string_view name, const IID& iid, IUnknown** group) override;
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
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override;
    HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** out) override;

    // Runs queued transactions, then the subscription update when the group is due, and
    // hands the results to the client's sinks. One poll at a time; not from a sink. The
    // time of the next subscription update (UINT64_MAX: none while nothing changes).
    std::uint64_t poll(std::uint64_t nowMs);
    // Releases every item's tag; later calls answer E_FAIL. Runs once.
    void teardown(COPCCallback* callback);
    // Later calls answer E_FAIL; the items stay until teardown.
    void markDeleted();
    bool removed() const;
    std::u16string name() const;
    OPCHANDLE serverHandle() const;

private:
    // The roads a subscription update takes; each keeps what it has sent of each item.
    enum Slot : std::size_t { kCallbackSlot = 0, kDataSlot = 1, kDataTimeSlot = 2, kSlots = 3 };
    // What one read gives an item, ready for a stream or a callback.
    struct Result {
        VARIANT value;
        WORD quality = OPC_QUALITY_BAD;
        FILETIME timestamp{};
        HRESULT error = S_OK;
    };
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
        // The subscriptions' view: the tag's change count, readability, quality and value
        // at the last look, and what goes out (converted to the requested type; the tag's
        // value is kept in seenValue only when it differs from what goes out). version
        // grows when a look finds something else; 0: not looked at yet.
        std::uint64_t seenChanges = 0;
        std::uint64_t version = 0;
        HRESULT seenReadable = S_OK;
        WORD seenQuality = 0;
        VARIANT seenValue;
        Result current;
        // The version each subscription has sent; 0: nothing yet.
        std::array<std::uint64_t, kSlots> sent{};
    };
    // The arguments of one IOPCDataCallback call.
    struct CallbackArgs {
        std::vector<OPCHANDLE> handles;
        std::vector<VARIANT> values;
        std::vector<WORD> qualities;
        std::vector<FILETIME> times;
        std::vector<HRESULT> errors;
        HRESULT masterQuality = S_OK;
        HRESULT masterError = S_OK;
        void clear();
        void add(OPCHANDLE hClient, const Result& r);
    };
    enum class Kind { Read, Write, Refresh, Cancel };
    struct Transaction {
        DWORD id = 0;             // 1.0 transaction id or 2.0 cancel id
        DWORD clientId = 0;       // 2.0 transaction id of the client
        bool v2 = false;
        Kind kind = Kind::Read;
        DWORD connection = 0;     // 1.0 advise connection
        OPCDATASOURCE source = OPC_DS_CACHE;
        // Server and client handle of each item asked for, in the call's order; an item
        // removed before the transaction runs is answered with its client handle.
        std::vector<std::pair<OPCHANDLE, OPCHANDLE>> targets;
        std::vector<VARIANT> values;
    };
    struct Advise {
        DWORD connection = 0;
        CLIPFORMAT format = 0;
        ComPtr<IAdviseSink> sink;
    };
    struct Delivery;

    Group(std::shared_ptr<ServerCore> core, std::shared_ptr<ConnectionTables> tables, ServerObject* owner,
          GroupSettings settings);
    ~Group();

    Item* findLocked(OPCHANDLE h);
    void findItemsLocked(std::span<const OPCHANDLE> handles, std::vector<Item*>& items,
                         std::vector<std::size_t>& where);
    // Runs fn(callback) inside a client call and under the lock: CO_E_SERVER_STOPPING
    // once the toolkit refuses calls, E_FAIL once the group was removed.
    template <typename Fn>
    HRESULT callLocked(Fn&& fn);
    template <typename Fn>
    HRESULT forEachItemLocked(std::span<const OPCHANDLE> handles, std::vector<HRESULT>& errors, Fn&& fn);
    bool anyActiveItemLocked() const;
    HRESULT addItemLocked(COPCCallback* cb, const OPCITEMDEF& def, OPCITEMRESULT& result);
    void eraseItemsLocked(std::span<const OPCHANDLE> handles, std::vector<CTag*>& tags);
    std::vector<OPCITEMATTRIBUTES> attributesLocked() const;
    Result readLocked(const Item& item, CTagState state, HRESULT readError, OPCDATASOURCE source) const;
    std::vector<Result> readItemsLocked(COPCCallback* cb, std::span<Item* const> items, OPCDATASOURCE source);
    std::vector<HRESULT> writeItemsLocked(COPCCallback* cb, std::span<Item* const> items,
                                          std::span<const VARIANT> values);
    HRESULT checkHandlesLocked(std::span<const OPCHANDLE> handles, std::vector<HRESULT>& errors,
                               Transaction& t);
    HRESULT completionSinkLocked(DWORD connection, bool forWrite);
    template <typename Admit>
    HRESULT collectTargets(std::span<const OPCHANDLE> handles, std::span<const VARIANT> values,
                          std::vector<HRESULT>& errors, Transaction& t, Admit&& admit);
    // Queues t (taking one of the client's pending places) and gives its id: E_OUTOFMEMORY
    // when the client has its limit of pending transactions, E_FAIL once removed.
    HRESULT queue(Transaction t, DWORD* id);
    // The start every asynchronous call shares: its id cleared, its arguments and the
    // toolkit's state checked.
    HRESULT beginAsync(DWORD* id, bool argumentsFit) const;
    template <typename Admit>
    HRESULT submitRefresh(Transaction t, DWORD* id, Admit&& admit);
    // Queues a transaction whose items collectTargets gathered (with its answer): S_FALSE
    // when none of them named an item.
    HRESULT submit(HRESULT collected, Transaction t, DWORD* id);
    bool cancelQueued(DWORD id, bool v2, Transaction* out);
    void runTransactionLocked(COPCCallback* cb, Transaction& t, Delivery& d);
    // When a subscription update looks at the tags (FILETIME ticks of the toolkit's wall
    // clock): the beginning of its period, and the latest time a change may carry to be
    // one made since.
    struct SampleTime {
        std::uint64_t asOf = 0;
        std::uint64_t until = 0;
    };
    // The subscription update: looks at the tags written since the last look and gives
    // each road what it has not sent yet, as the tags were at when.asOf; madeUp: for a
    // period the poll came late for (into the delivery's next madeUpArgs).
    void collectChangesLocked(COPCCallback* cb, Delivery& d, const SampleTime& when, bool madeUp);
    void observeLocked(COPCCallback* cb, Item& item, const SampleTime& when);
    std::array<bool, kSlots> subscribedSlotsLocked() const;
    void resendLocked(std::size_t slot);
    void resendItemLocked(Item& item);
    void deliver(Delivery& d);
    HRESULT validateDef(COPCCallback* cb, const OPCITEMDEF& def, OPCITEMRESULT& result);
    ComPtr<IAdviseSink> adviseSinkLocked(DWORD connection, CLIPFORMAT* format);

    RefCount refs_;
    std::shared_ptr<ServerCore> core_;
    std::shared_ptr<ConnectionTables> tables_;
    // Outermost of the group's locks: one poll at a time; the sinks are called under it.
    std::mutex deliveryMutex_;
    std::unique_ptr<Delivery> delivery_;  // reused from poll to poll
    // Taken after the server object's lock and before the tables' lock, the connection
    // point's lock, the callback lock and a tag's lock.
    mutable std::mutex mutex_;
    ServerObject* owner_;  // null once the group left its server object's table
    GroupSettings s_;
    bool removed_ = false;   // calls answer E_FAIL
    bool released_ = false;  // the tags went back
    BOOL enabled_ = TRUE;
    std::vector<Item> items_;
    std::unordered_map<OPCHANDLE, std::size_t> index_;  // server handle -> place in items_
    std::deque<Transaction> pending_;
    std::vector<Advise> advises_;
    DWORD nextAdvise_ = 1;
    std::optional<std::uint64_t> lastRunMs_;     // when the current period began
    std::optional<std::uint64_t> subscribedMs_;  // when the first subscriber asked
    std::vector<StreamItem> streamItems_;  // reused while a stream is built
    ConnectionPoint callbackPoint_;
};

template <typename Fn>
HRESULT Group::callLocked(Fn&& fn)
{
    auto call = core_->enter();
    if (!call) return CO_E_SERVER_STOPPING;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    return fn(call.get());
}

} // namespace opc
