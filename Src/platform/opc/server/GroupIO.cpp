// A group's reads and writes: synchronous ones at once, asynchronous ones queued for
// the next poll, and the advises and connection points their results go to.
#include "platform/opc/server/Group.h"

#include "platform/opc/Enumerators.h"
#include "platform/opc/server/ServerObject.h"

#include <algorithm>

namespace opc {
namespace {

bool isSource(OPCDATASOURCE s) { return s == OPC_DS_CACHE || s == OPC_DS_DEVICE; }

} // namespace

// The items the handles name, and where each handle stands in the call.
void Group::findItemsLocked(std::span<const OPCHANDLE> handles, std::vector<Item*>& items,
                            std::vector<std::size_t>& where)
{
    for (std::size_t i = 0; i < handles.size(); ++i)
        if (Item* item = findLocked(handles[i])) {
            items.push_back(item);
            where.push_back(i);
        }
}

HRESULT Group::Read(OPCDATASOURCE source, std::span<const OPCHANDLE> handles, std::vector<OPCITEMSTATE>& values,
                    std::vector<HRESULT>& errors)
{
    values.assign(handles.size(), OPCITEMSTATE{});
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (handles.empty() || !isSource(source)) return E_INVALIDARG;
    return callLocked([&](COPCCallback* cb) {
        std::vector<Item*> items;
        std::vector<std::size_t> where;
        findItemsLocked(handles, items, where);
        std::vector<Result> results = readItemsLocked(cb, items, source);
        HRESULT overall = items.size() == handles.size() ? S_OK : S_FALSE;
        for (std::size_t k = 0; k < results.size(); ++k) {
            OPCITEMSTATE& st = values[where[k]];
            st.hClient = items[k]->hClient;
            st.ftTimeStamp = results[k].timestamp;
            st.wQuality = results[k].quality;
            st.vDataValue = std::move(results[k].value);
            errors[where[k]] = results[k].error;
            if (FAILED(results[k].error)) overall = S_FALSE;
        }
        return overall;
    });
}

HRESULT Group::Write(std::span<const OPCHANDLE> handles, std::span<const VARIANT> values,
                     std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (handles.empty() || values.size() != handles.size()) return E_INVALIDARG;
    return callLocked([&](COPCCallback* cb) {
        std::vector<Item*> items;
        std::vector<std::size_t> where;
        findItemsLocked(handles, items, where);
        std::vector<VARIANT> vals;
        vals.reserve(where.size());
        for (std::size_t i : where) vals.push_back(values[i]);
        std::vector<HRESULT> results = writeItemsLocked(cb, items, vals);
        HRESULT overall = items.size() == handles.size() ? S_OK : S_FALSE;
        for (std::size_t k = 0; k < results.size(); ++k) {
            errors[where[k]] = results[k];
            if (FAILED(results[k])) overall = S_FALSE;
        }
        return overall;
    });
}

// ---- asynchronous transactions ----

HRESULT Group::checkHandlesLocked(std::span<const OPCHANDLE> handles, std::vector<HRESULT>& errors,
                                  Transaction& t)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    HRESULT overall = S_OK;
    for (std::size_t i = 0; i < handles.size(); ++i) {
        if (const Item* item = findLocked(handles[i])) {
            errors[i] = S_OK;
            t.targets.emplace_back(item->hServer, item->hClient);
        } else {
            overall = S_FALSE;
        }
    }
    return overall;
}

ComPtr<IAdviseSink> Group::adviseSinkLocked(DWORD connection, CLIPFORMAT* format)
{
    for (const Advise& a : advises_)
        if (a.connection == connection) {
            if (format) *format = a.format;
            return a.sink;
        }
    return {};
}

// A write completes to a connection advised with the write-complete format; reads and
// refreshes to one advised with a data format.
HRESULT Group::completionSinkLocked(DWORD connection, bool forWrite)
{
    CLIPFORMAT f = 0;
    if (!adviseSinkLocked(connection, &f) || (f == CF_OPCSTMFORMATWRITECOMPLETE) != forWrite)
        return CONNECT_E_NOCONNECTION;
    return S_OK;
}

// Takes the lock and, once `admit` lets the call in: the items the handles name, with
// their values for a write, go into t.
template <typename Admit>
HRESULT Group::collectTargets(std::span<const OPCHANDLE> handles, std::span<const VARIANT> values,
                             std::vector<HRESULT>& errors, Transaction& t, Admit&& admit)
{
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    if (HRESULT hr = admit(); FAILED(hr)) return hr;
    HRESULT overall = checkHandlesLocked(handles, errors, t);
    for (std::size_t i = 0; i < values.size(); ++i)
        if (SUCCEEDED(errors[i])) t.values.push_back(values[i]);
    return overall;
}

HRESULT Group::queue(Transaction t, DWORD* id)
{
    if (!tables_->takePending()) return E_OUTOFMEMORY;
    t.id = core_->nextTransactionId();
    *id = t.id;
    {
        std::lock_guard lock(mutex_);
        if (removed_) {
            tables_->releasePending(1);
            *id = 0;
            return E_FAIL;
        }
        pending_.push_back(std::move(t));
    }
    tables_->wake();
    return S_OK;
}

HRESULT Group::beginAsync(DWORD* id, bool argumentsFit) const
{
    if (!id) return E_POINTER;
    *id = 0;
    if (!argumentsFit) return E_INVALIDARG;
    if (!core_->accepting()) return CO_E_SERVER_STOPPING;
    return S_OK;
}

HRESULT Group::submit(HRESULT collected, Transaction t, DWORD* id)
{
    if (FAILED(collected)) return collected;
    if (t.targets.empty()) return S_FALSE;
    if (HRESULT hr = queue(std::move(t), id); FAILED(hr)) return hr;
    return collected;
}

// A refresh goes out for an active group with an active item, once `admit` lets it in.
template <typename Admit>
HRESULT Group::submitRefresh(Transaction t, DWORD* id, Admit&& admit)
{
    {
        std::lock_guard lock(mutex_);
        if (removed_) return E_FAIL;
        if (HRESULT hr = admit(); FAILED(hr)) return hr;
        if (!s_.active || !anyActiveItemLocked()) return E_FAIL;
    }
    return queue(std::move(t), id);
}

bool Group::cancelQueued(DWORD id, bool v2, Transaction* out)
{
    std::lock_guard lock(mutex_);
    auto it = std::find_if(pending_.begin(), pending_.end(),
                           [&](const Transaction& t) { return t.id == id && t.v2 == v2 && t.kind != Kind::Cancel; });
    if (it == pending_.end()) return false;
    if (out) *out = std::move(*it);
    pending_.erase(it);
    tables_->releasePending(1);
    return true;
}

HRESULT Group::Read(DWORD connection, OPCDATASOURCE source, std::span<const OPCHANDLE> handles,
                    DWORD* transactionId, std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (HRESULT hr = beginAsync(transactionId, !handles.empty() && isSource(source)); FAILED(hr)) return hr;
    Transaction t;
    HRESULT overall =
        collectTargets(handles, {}, errors, t, [&] { return completionSinkLocked(connection, false); });
    t.kind = Kind::Read;
    t.connection = connection;
    t.source = source;
    return submit(overall, std::move(t), transactionId);
}

HRESULT Group::Write(DWORD connection, std::span<const OPCHANDLE> handles, std::span<const VARIANT> values,
                     DWORD* transactionId, std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (HRESULT hr = beginAsync(transactionId, !handles.empty() && values.size() == handles.size()); FAILED(hr))
        return hr;
    Transaction t;
    HRESULT overall =
        collectTargets(handles, values, errors, t, [&] { return completionSinkLocked(connection, true); });
    t.kind = Kind::Write;
    t.connection = connection;
    return submit(overall, std::move(t), transactionId);
}

HRESULT Group::Refresh(DWORD connection, OPCDATASOURCE source, DWORD* transactionId)
{
    if (HRESULT hr = beginAsync(transactionId, isSource(source)); FAILED(hr)) return hr;
    Transaction t;
    t.kind = Kind::Refresh;
    t.connection = connection;
    t.source = source;
    return submitRefresh(std::move(t), transactionId, [&] { return completionSinkLocked(connection, false); });
}

HRESULT Group::Cancel(DWORD transactionId)
{
    return cancelQueued(transactionId, false, nullptr) ? S_OK : E_FAIL;
}

HRESULT Group::Read(std::span<const OPCHANDLE> handles, DWORD transactionId, DWORD* cancelId,
                    std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (HRESULT hr = beginAsync(cancelId, !handles.empty()); FAILED(hr)) return hr;
    if (callbackPoint_.empty()) return CONNECT_E_NOCONNECTION;
    Transaction t;
    HRESULT overall = collectTargets(handles, {}, errors, t, [] { return S_OK; });
    t.v2 = true;
    t.kind = Kind::Read;
    t.clientId = transactionId;
    t.source = OPC_DS_DEVICE;
    return submit(overall, std::move(t), cancelId);
}

HRESULT Group::Write(std::span<const OPCHANDLE> handles, std::span<const VARIANT> values, DWORD transactionId,
                     DWORD* cancelId, std::vector<HRESULT>& errors)
{
    errors.assign(handles.size(), OPC_E_INVALIDHANDLE);
    if (HRESULT hr = beginAsync(cancelId, !handles.empty() && values.size() == handles.size()); FAILED(hr)) return hr;
    if (callbackPoint_.empty()) return CONNECT_E_NOCONNECTION;
    Transaction t;
    HRESULT overall = collectTargets(handles, values, errors, t, [] { return S_OK; });
    t.v2 = true;
    t.kind = Kind::Write;
    t.clientId = transactionId;
    return submit(overall, std::move(t), cancelId);
}

HRESULT Group::Refresh2(OPCDATASOURCE source, DWORD transactionId, DWORD* cancelId)
{
    if (HRESULT hr = beginAsync(cancelId, isSource(source)); FAILED(hr)) return hr;
    if (callbackPoint_.empty()) return CONNECT_E_NOCONNECTION;
    Transaction t;
    t.v2 = true;
    t.kind = Kind::Refresh;
    t.clientId = transactionId;
    t.source = source;
    return submitRefresh(std::move(t), cancelId, [] { return S_OK; });
}

HRESULT Group::Cancel2(DWORD cancelId)
{
    Transaction t;
    if (!cancelQueued(cancelId, true, &t)) return E_FAIL;
    // The notice goes out like any completion, on the client's delivery thread.
    Transaction notice;
    notice.v2 = true;
    notice.kind = Kind::Cancel;
    notice.clientId = t.clientId;
    DWORD id = 0;
    if (HRESULT hr = queue(std::move(notice), &id); FAILED(hr)) return hr;
    return S_OK;
}

HRESULT Group::SetEnable(BOOL enable)
{
    if (callbackPoint_.empty()) return CONNECT_E_NOCONNECTION;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    enabled_ = enable ? TRUE : FALSE;
    tables_->wake();
    return S_OK;
}

HRESULT Group::GetEnable(BOOL* enable)
{
    if (!enable) return E_POINTER;
    if (callbackPoint_.empty()) return CONNECT_E_NOCONNECTION;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    *enable = enabled_;
    return S_OK;
}

// ---- IDataObject and connection points ----

HRESULT Group::DAdvise(const FORMATETC& format, DWORD, IAdviseSink* sink, DWORD* connection)
{
    if (!sink || !connection) return E_POINTER;
    *connection = 0;
    if (format.cfFormat != CF_OPCSTMFORMATDATA && format.cfFormat != CF_OPCSTMFORMATDATATIME &&
        format.cfFormat != CF_OPCSTMFORMATWRITECOMPLETE)
        return DV_E_FORMATETC;
    if (format.tymed != TYMED_HGLOBAL) return DV_E_TYMED;
    std::lock_guard lock(mutex_);
    if (removed_) return E_FAIL;
    for (const Advise& a : advises_)
        if (a.format == format.cfFormat) return CONNECT_E_ADVISELIMIT;
    Advise a;
    a.connection = nextAdvise_++;
    a.format = format.cfFormat;
    a.sink = ComPtr<IAdviseSink>(sink);
    advises_.push_back(std::move(a));
    *connection = advises_.back().connection;
    // A new data subscriber gets every value once; the others keep what they have.
    if (format.cfFormat == CF_OPCSTMFORMATDATA) resendLocked(kDataSlot);
    if (format.cfFormat == CF_OPCSTMFORMATDATATIME) resendLocked(kDataTimeSlot);
    return S_OK;
}

HRESULT Group::DUnadvise(DWORD connection)
{
    ComPtr<IAdviseSink> gone;
    std::lock_guard lock(mutex_);
    auto it = std::find_if(advises_.begin(), advises_.end(), [&](const Advise& a) { return a.connection == connection; });
    if (it == advises_.end()) return OLE_E_NOCONNECTION;
    gone = std::move(it->sink);
    advises_.erase(it);
    return S_OK;
}

HRESULT Group::EnumConnectionPoints(IEnumConnectionPoints** out)
{
    if (!out) return E_POINTER;
    *out = ConnectionPointsEnum::make({ComPtr<IConnectionPoint>(&callbackPoint_)}, IID_IEnumConnectionPoints).detach();
    return S_OK;
}

HRESULT Group::FindConnectionPoint(const IID& iid, IConnectionPoint** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IOPCDataCallback) return CONNECT_E_NOCONNECTION;
    callbackPoint_.AddRef();
    *out = &callbackPoint_;
    return S_OK;
}

} // namespace opc
