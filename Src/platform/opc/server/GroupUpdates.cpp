// A group's poll: the queued transactions, the subscription update of each road, and
// their delivery to the client's sinks.
#include "platform/opc/server/Group.h"

#include "platform/opc/server/GroupDelivery.h"
#include "platform/opc/server/ServerObject.h"
#include "platform/win/Clock.h"

#include <algorithm>
#include <limits>

namespace opc {
namespace {

bool isIntegerType(VARTYPE t)
{
    switch (t) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
        return true;
    default:
        return false;
    }
}

HRESULT conversionError(HRESULT hr) { return hr == DISP_E_OVERFLOW ? OPC_E_RANGE : OPC_E_BADTYPE; }

} // namespace

void Group::CallbackArgs::clear()
{
    handles.clear();
    values.clear();
    qualities.clear();
    times.clear();
    errors.clear();
    masterQuality = S_OK;
    masterError = S_OK;
}

void Group::CallbackArgs::add(OPCHANDLE hClient, const Result& r)
{
    handles.push_back(hClient);
    values.push_back(r.value);
    qualities.push_back(r.quality);
    times.push_back(r.timestamp);
    errors.push_back(r.error);
    if ((r.quality & 0xC0) != OPC_QUALITY_GOOD) masterQuality = S_FALSE;
    if (FAILED(r.error)) masterError = S_FALSE;
}

// ---- reads and writes of tags ----

Group::Result Group::readLocked(const Item& item, CTagState state, HRESULT readError,
                                OPCDATASOURCE source) const
{
    Result r;
    if (FAILED(readError)) {
        r.error = readError;
        return r;
    }
    r.timestamp = state.timestamp;
    r.quality = state.quality;
    if (source == OPC_DS_CACHE && (!s_.active || !item.active)) r.quality = OPC_QUALITY_OUT_OF_SERVICE;
    VARTYPE want = item.requested == VT_EMPTY ? state.value.vt() : item.requested;
    if (want == state.value.vt() || state.value.vt() == VT_EMPTY) {
        r.value = std::move(state.value);
    } else {
        HRESULT hr = com::changeType(state.value, want, r.value);
        if (FAILED(hr)) {
            r.value.clear();
            r.quality = OPC_QUALITY_BAD;
            r.error = conversionError(hr);
        }
    }
    return r;
}

std::vector<Group::Result> Group::readItemsLocked(COPCCallback* cb, std::span<Item* const> items,
                                                  OPCDATASOURCE source)
{
    std::vector<CTag*> tags;
    tags.reserve(items.size());
    for (Item* i : items) tags.push_back(i->tag);
    std::vector<CTagState> states;
    std::vector<HRESULT> errors;
    cb->Read(tags, states, errors);
    states.resize(items.size());
    errors.resize(items.size(), E_FAIL);
    std::vector<Result> out;
    out.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) out.push_back(readLocked(*items[i], std::move(states[i]), errors[i], source));
    return out;
}

std::vector<HRESULT> Group::writeItemsLocked(COPCCallback* cb, std::span<Item* const> items,
                                             std::span<const VARIANT> values)
{
    std::vector<HRESULT> errors(items.size(), S_OK);
    const bool asFloat = cb->GetExtendedDataTypeAsFloat() != FALSE;
    std::vector<CTag*> tags;
    std::vector<VARIANT> converted;
    std::vector<std::size_t> where;
    for (std::size_t i = 0; i < items.size(); ++i) {
        Item& item = *items[i];
        if (!(item.access & OPC_WRITEABLE)) {
            errors[i] = OPC_E_BADRIGHTS;
            continue;
        }
        VARTYPE target = item.canonical;
        if (asFloat && isIntegerType(target)) target = VT_R4;
        VARIANT v;
        HRESULT hr = target == VT_EMPTY ? (v = values[i], S_OK) : com::changeType(values[i], target, v);
        if (FAILED(hr)) {
            errors[i] = conversionError(hr);
            continue;
        }
        tags.push_back(item.tag);
        converted.push_back(std::move(v));
        where.push_back(i);
    }
    if (!tags.empty()) {
        std::vector<HRESULT> tagErrors;
        cb->Write(tags, converted, tagErrors);
        tagErrors.resize(tags.size(), E_FAIL);
        for (std::size_t k = 0; k < where.size(); ++k) errors[where[k]] = tagErrors[k];
    }
    return errors;
}

// ---- transactions ----

void Group::runTransactionLocked(COPCCallback* cb, Transaction& t, Delivery& d)
{
    using What = Delivery::Callback::What;
    const DWORD tid = t.v2 ? t.clientId : t.id;
    if (t.kind == Kind::Cancel) {
        d.callbacks.push_back({What::Cancel, tid, {}});
        return;
    }
    if (t.kind == Kind::Refresh)
        for (const Item& item : items_)
            if (item.active) t.targets.emplace_back(item.hServer, item.hClient);
    // The items still there; one removed since the call keeps its place in the answer.
    std::vector<Item*> items;
    std::vector<std::size_t> where;
    std::vector<VARIANT> values;
    for (std::size_t i = 0; i < t.targets.size(); ++i)
        if (Item* item = findLocked(t.targets[i].first)) {
            items.push_back(item);
            where.push_back(i);
            if (t.kind == Kind::Write) values.push_back(t.values[i]);
        }
    std::vector<Result> results(t.targets.size());
    std::vector<OPCHANDLE> clients(t.targets.size());
    for (std::size_t i = 0; i < t.targets.size(); ++i) {
        results[i].error = OPC_E_INVALIDHANDLE;
        clients[i] = t.targets[i].second;
    }
    if (t.kind == Kind::Write) {
        std::vector<HRESULT> errors = writeItemsLocked(cb, items, values);
        for (std::size_t k = 0; k < items.size(); ++k) results[where[k]].error = errors[k];
    } else {
        std::vector<Result> read = readItemsLocked(cb, items, t.source);
        for (std::size_t k = 0; k < items.size(); ++k) results[where[k]] = std::move(read[k]);
    }
    for (std::size_t k = 0; k < items.size(); ++k) clients[where[k]] = items[k]->hClient;

    if (t.v2) {
        // A refresh answers through OnDataChange, a read through OnReadComplete.
        What what = t.kind == Kind::Write ? What::Write : t.kind == Kind::Refresh ? What::Data : What::Read;
        Delivery::Callback c{what, tid, {}};
        for (std::size_t i = 0; i < results.size(); ++i) c.args.add(clients[i], results[i]);
        d.callbacks.push_back(std::move(c));
        return;
    }
    CLIPFORMAT format = 0;
    auto sink = adviseSinkLocked(t.connection, &format);
    if (!sink) return;
    FORMATETC f;
    HRESULT status = S_OK;
    if (t.kind == Kind::Write) {
        std::vector<StreamWriteResult> w;
        for (std::size_t i = 0; i < results.size(); ++i) {
            w.push_back({clients[i], results[i].error});
            if (FAILED(results[i].error)) status = S_FALSE;
        }
        f.cfFormat = CF_OPCSTMFORMATWRITECOMPLETE;
        d.streams.push_back({sink, f, buildWriteCompleteStream(s_.hClientGroup, tid, status, w)});
        return;
    }
    std::vector<StreamItem> items2;
    for (std::size_t i = 0; i < results.size(); ++i) {
        items2.push_back({clients[i], results[i].quality, results[i].timestamp, std::move(results[i].value)});
        if (FAILED(results[i].error)) status = S_FALSE;
    }
    f.cfFormat = format;
    d.streams.push_back(
        {sink, f, buildDataStream(s_.hClientGroup, tid, status, items2, format == CF_OPCSTMFORMATDATATIME)});
}

// ---- the subscription update ----

std::array<bool, Group::kSlots> Group::subscribedSlotsLocked() const
{
    std::array<bool, kSlots> on{};
    on[kCallbackSlot] = enabled_ && !callbackPoint_.empty();
    for (const Advise& a : advises_) {
        if (a.format == CF_OPCSTMFORMATDATA) on[kDataSlot] = true;
        if (a.format == CF_OPCSTMFORMATDATATIME) on[kDataTimeSlot] = true;
    }
    return on;
}

void Group::resendLocked(std::size_t slot)
{
    for (Item& item : items_) item.sent[slot] = 0;
    // The first subscriber starts the group's periods when it asks, not when the worker
    // gets the processor.
    if (!lastRunMs_ && core_->clock) subscribedMs_ = core_->clock->monotonicMs();
    tables_->wake();  // a new subscriber hears at once
}

void Group::resendItemLocked(Item& item) { item.sent.fill(0); }

// Looks at the tag only when it was written since the last look: an unchanged item costs
// one comparison of counters. The callback's read check is made once per write of the
// tag, whichever group looks first; the others reuse its answer.
void Group::observeLocked(COPCCallback* cb, Item& item, const SampleTime& when)
{
    const std::uint64_t changes = item.tag->ChangeCount();
    if (item.version != 0 && changes == item.seenChanges) return;
    std::uint64_t at = 0;
    std::optional<HRESULT> check;
    bool later = false;
    CTagState st = item.tag->LookAsOf(when.asOf, when.until, at, check, later);
    if (!check) {
        check = cb->ReadTag(item.tag);
        item.tag->RememberCheck(at, *check);
    }
    const HRESULT readable = *check;
    if (FAILED(readable)) st = CTagState{};
    // A newer state than the period's is there: the next period looks again.
    item.seenChanges = later ? 0 : at;
    // What went out is the tag's own value unless it was converted: only then is the
    // value as the tag had it kept beside it.
    const VARIANT& seen = item.seenValue.vt() != VT_EMPTY ? item.seenValue : item.current.value;
    if (item.version != 0 && readable == item.seenReadable && st.quality == item.seenQuality && st.value == seen)
        return;
    item.seenReadable = readable;
    item.seenQuality = st.quality;
    const bool asIs = item.requested == VT_EMPTY || item.requested == st.value.vt() || st.value.vt() == VT_EMPTY;
    if (asIs) {
        // Sent as the tag has it: the value moves, nothing is kept beside it.
        item.current = readLocked(item, std::move(st), readable, OPC_DS_CACHE);
        item.seenValue.clear();
    } else {
        VARIANT asTagged = st.value;
        item.current = readLocked(item, std::move(st), readable, OPC_DS_CACHE);
        if (item.current.value == asTagged) item.seenValue.clear();
        else item.seenValue = std::move(asTagged);
    }
    ++item.version;
}

void Group::collectChangesLocked(COPCCallback* cb, Delivery& d, const SampleTime& when, bool madeUp)
{
    if (madeUp && d.madeUp == d.madeUpArgs.size()) d.madeUpArgs.emplace_back();
    CallbackArgs& args = madeUp ? d.madeUpArgs[d.madeUp] : d.updateArgs;
    args.clear();
    const std::array<bool, kSlots> on = subscribedSlotsLocked();
    std::array<std::vector<std::size_t>, kSlots> streamed;  // items each stream road sends
    for (std::size_t i = 0; i < items_.size(); ++i) {
        Item& item = items_[i];
        if (!item.active || !item.tag) continue;
        observeLocked(cb, item, when);
        if (on[kCallbackSlot] && item.sent[kCallbackSlot] != item.version) {
            args.add(item.hClient, item.current);
            item.sent[kCallbackSlot] = item.version;
        }
        for (std::size_t slot : {std::size_t(kDataSlot), std::size_t(kDataTimeSlot)})
            if (on[slot] && item.sent[slot] != item.version) {
                streamed[slot].push_back(i);
                item.sent[slot] = item.version;
            }
    }
    if (madeUp) d.madeUp += args.handles.empty() ? 0 : 1;
    else d.update = !args.handles.empty();
    for (const Advise& a : advises_) {
        const std::size_t slot = a.format == CF_OPCSTMFORMATDATA       ? kDataSlot
                                 : a.format == CF_OPCSTMFORMATDATATIME ? kDataTimeSlot
                                                                       : kCallbackSlot;
        if (slot == kCallbackSlot || streamed[slot].empty()) continue;
        streamItems_.clear();
        HRESULT status = S_OK;
        for (std::size_t i : streamed[slot]) {
            const Item& item = items_[i];
            streamItems_.push_back({item.hClient, item.current.quality, item.current.timestamp, item.current.value});
            if (FAILED(item.current.error)) status = S_FALSE;
        }
        FORMATETC f;
        f.cfFormat = a.format;
        d.streams.push_back({a.sink, f, buildDataStream(s_.hClientGroup, 0, status, streamItems_, slot == kDataTimeSlot)});
    }
}

std::uint64_t Group::poll(std::uint64_t nowMs)
{
    constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t next = kNever;
    std::lock_guard dl(deliveryMutex_);
    Delivery& d = *delivery_;
    d.clear();
    {
        auto call = core_->enter();
        if (!call) return kNever;
        std::lock_guard lock(mutex_);
        if (removed_) return kNever;
        d.hClientGroup = s_.hClientGroup;
        if (!pending_.empty()) {
            tables_->releasePending(pending_.size());
            while (!pending_.empty()) {
                Transaction t = std::move(pending_.front());
                pending_.pop_front();
                runTransactionLocked(call.get(), t, d);
            }
        }
        const std::array<bool, kSlots> on = subscribedSlotsLocked();
        if (s_.active && std::find(on.begin(), on.end(), true) != on.end()) {
            const std::uint64_t rate = std::max<std::uint64_t>(s_.revisedRate, 1);
            if (!lastRunMs_ || nowMs - *lastRunMs_ >= rate) {
                // Each update sends the values as they were when its period began (tags
                // keep the states before their latest changes), so a thread that got the
                // processor late loses no value that was changed again meanwhile. The
                // time may have moved since the worker read it: how late the poll is, is
                // taken after the wall time, never before. Values keep being written while
                // the tags are looked at: a change up to a period ahead of now is one made
                // meanwhile; one further ahead is taken as the state now (the clock was
                // set back). FILETIME ticks.
                const std::uint64_t now = com::toTicks(core_->now());
                const std::uint64_t monoNow = std::max(nowMs, core_->clock ? core_->clock->monotonicMs() : 0);
                auto sample = [&](std::uint64_t began, bool madeUp) {
                    const std::uint64_t late = (monoNow - began) * 10000;
                    collectChangesLocked(call.get(), d, SampleTime{late < now ? now - late : 0, now + rate * 10000},
                                         madeUp);
                };
                if (lastRunMs_) {
                    // A late poll keeps the group's cadence. It makes up the periods it
                    // missed, as many as the tags remember changes, the latest ones.
                    const std::uint64_t latest = nowMs - (nowMs - *lastRunMs_) % rate;
                    const std::uint64_t missed =
                        std::min<std::uint64_t>((latest - *lastRunMs_) / rate - 1, CTag::kEarlierStates);
                    for (std::uint64_t k = missed; k > 0; --k) sample(latest - k * rate, true);
                    lastRunMs_ = latest;
                } else if (subscribedMs_ && *subscribedMs_ <= nowMs && nowMs - *subscribedMs_ < rate) {
                    lastRunMs_ = *subscribedMs_;
                } else {
                    lastRunMs_ = nowMs;
                }
                subscribedMs_.reset();
                sample(*lastRunMs_, false);
            }
            next = *lastRunMs_ + rate;
        } else {
            lastRunMs_.reset();  // the next subscriber starts the periods anew
        }
    }
    if (d.empty()) return next;
    auto sinks = callbackPoint_.sinks<IOPCDataCallback>();
    if (!sinks.empty()) d.callback = sinks.front();
    deliver(d);
    d.callback.reset();  // the sink goes with its connection point, not with this poll
    return next;
}

void Group::deliver(Delivery& d)
{
    using What = Delivery::Callback::What;
    auto call = [&](What what, DWORD tid, const CallbackArgs& a) {
        switch (what) {
        case What::Data:
            d.callback->OnDataChange(tid, d.hClientGroup, a.masterQuality, a.masterError, a.handles, a.values,
                                     a.qualities, a.times, a.errors);
            break;
        case What::Read:
            d.callback->OnReadComplete(tid, d.hClientGroup, a.masterQuality, a.masterError, a.handles, a.values,
                                       a.qualities, a.times, a.errors);
            break;
        case What::Write:
            d.callback->OnWriteComplete(tid, d.hClientGroup, a.masterError, a.handles, a.errors);
            break;
        case What::Cancel:
            d.callback->OnCancelComplete(tid, d.hClientGroup);
            break;
        }
    };
    if (d.callback) {
        for (const auto& c : d.callbacks) call(c.what, c.transactionId, c.args);
        for (std::size_t i = 0; i < d.madeUp; ++i) call(What::Data, 0, d.madeUpArgs[i]);
        if (d.update) call(What::Data, 0, d.updateArgs);
    }
    for (auto& s : d.streams) {
        STGMEDIUM m;
        m.hGlobal = std::move(s.bytes);
        s.sink->OnDataChange(s.format, m);
    }
    core_->lastUpdateTicks.store(com::toTicks(core_->now()));
}

} // namespace opc
