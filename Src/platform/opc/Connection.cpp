#include "platform/opc/Connection.h"

#include "platform/opc/Enumerators.h"
#include "platform/opc/ServerCore.h"
#include "platform/opc/ServerObject.h"
#include "platform/win/Clock.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace opc {
namespace {

// Server-side stand-ins of a client's sinks: each call becomes a one-way frame.
template <typename I>
class RemoteSink : public I {
public:
    RemoteSink(std::weak_ptr<Connection> link, DWORD sinkId, const IID& iid)
        : link_(std::move(link)), sinkId_(sinkId), iid_(iid) {}
    HRESULT QueryInterface(const IID& iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (offer<I>(iid, iid_, this, out) || offer<I>(iid, IID_IUnknown, this, out)) return S_OK;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return refs_.add(); }
    ULONG Release() override
    {
        ULONG c = refs_.release();
        if (c == 0) delete this;
        return c;
    }

protected:
    virtual ~RemoteSink() = default;
    // A writer for a notification of this sink: its frame header comes first.
    WireWriter start(Method m) const
    {
        WireWriter w;
        beginFrame(w.data(), FrameKind::Notify, WORD(m), 0, sinkId_);
        return w;
    }
    HRESULT notify(WireWriter& w)
    {
        if (w.data().size() - kFrameHeaderSize > kMaxFramePayload) return E_OUTOFMEMORY;  // the client would drop the link
        auto link = link_.lock();
        if (!link) return RPC_S_CALL_FAILED;
        setFrameLength(w.data());
        return link->notify(std::move(w.data())) ? S_OK : RPC_S_CALL_FAILED;
    }

private:
    RefCount refs_;
    std::weak_ptr<Connection> link_;
    DWORD sinkId_;
    IID iid_;
};

void writeDataArgs(WireWriter& w, DWORD tid, OPCHANDLE g, HRESULT mq, HRESULT me, std::span<const OPCHANDLE> items,
                   std::span<const VARIANT> values, std::span<const WORD> q, std::span<const FILETIME> t,
                   std::span<const HRESULT> e)
{
    // Grown once: an update of ten thousand items would otherwise be copied a dozen times.
    // Per item: handle 4, a fixed-size value 10 at most, quality 2, time 8, error 4.
    w.data().reserve(w.data().size() + 40 + items.size() * 28);
    w.u32(tid);
    w.u32(g);
    w.i32(mq);
    w.i32(me);
    w.handles(items);
    w.variants(values);
    w.u32(DWORD(q.size()));
    for (WORD x : q) w.u16(x);
    w.u32(DWORD(t.size()));
    for (FILETIME x : t) w.fileTime(x);
    w.results(e);
}

class RemoteDataCallback final : public RemoteSink<IOPCDataCallback> {
public:
    using RemoteSink::RemoteSink;
    HRESULT OnDataChange(DWORD tid, OPCHANDLE g, HRESULT mq, HRESULT me, std::span<const OPCHANDLE> items,
                         std::span<const VARIANT> values, std::span<const WORD> q, std::span<const FILETIME> t,
                         std::span<const HRESULT> e) override
    {
        return sendData(Method::OnDataChange, tid, g, mq, me, items, values, q, t, e);
    }
    HRESULT OnReadComplete(DWORD tid, OPCHANDLE g, HRESULT mq, HRESULT me, std::span<const OPCHANDLE> items,
                           std::span<const VARIANT> values, std::span<const WORD> q, std::span<const FILETIME> t,
                           std::span<const HRESULT> e) override
    {
        return sendData(Method::OnReadComplete, tid, g, mq, me, items, values, q, t, e);
    }
    HRESULT OnWriteComplete(DWORD tid, OPCHANDLE g, HRESULT me, std::span<const OPCHANDLE> items,
                            std::span<const HRESULT> e) override
    {
        WireWriter w = start(Method::OnWriteComplete);
        w.u32(tid);
        w.u32(g);
        w.i32(me);
        w.handles(items);
        w.results(e);
        return notify(w);
    }
    HRESULT OnCancelComplete(DWORD tid, OPCHANDLE g) override
    {
        WireWriter w = start(Method::OnCancelComplete);
        w.u32(tid);
        w.u32(g);
        return notify(w);
    }

private:
    // More items than one frame holds go out in several calls, each with its own master
    // quality and error.
    HRESULT sendData(Method m, DWORD tid, OPCHANDLE g, HRESULT mq, HRESULT me, std::span<const OPCHANDLE> items,
                     std::span<const VARIANT> values, std::span<const WORD> q, std::span<const FILETIME> t,
                     std::span<const HRESULT> e)
    {
        WireWriter w = start(m);
        writeDataArgs(w, tid, g, mq, me, items, values, q, t, e);
        HRESULT hr = notify(w);
        const std::size_t n = items.size();
        if (hr != E_OUTOFMEMORY || n < 2 || values.size() != n || q.size() != n || t.size() != n || e.size() != n)
            return hr;
        for (auto [at, count] : {std::pair{std::size_t(0), n / 2}, std::pair{n / 2, n - n / 2}}) {
            HRESULT partQuality = S_OK, partError = S_OK;
            for (std::size_t i = at; i < at + count; ++i) {
                if ((q[i] & 0xC0) != OPC_QUALITY_GOOD) partQuality = S_FALSE;
                if (FAILED(e[i])) partError = S_FALSE;
            }
            hr = sendData(m, tid, g, partQuality, partError, items.subspan(at, count), values.subspan(at, count),
                          q.subspan(at, count), t.subspan(at, count), e.subspan(at, count));
            if (FAILED(hr)) return hr;
        }
        return hr;
    }
};

class RemoteAdviseSink final : public RemoteSink<IAdviseSink> {
public:
    using RemoteSink::RemoteSink;
    void OnDataChange(const FORMATETC& format, const STGMEDIUM& medium) override
    {
        WireWriter w = start(Method::OnStreamData);
        w.u16(format.cfFormat);
        w.bytes(medium.hGlobal);
        notify(w);
    }
};

class RemoteShutdown final : public RemoteSink<IOPCShutdown> {
public:
    using RemoteSink::RemoteSink;
    HRESULT ShutdownRequest(std::u16string_view reason) override
    {
        WireWriter w = start(Method::ShutdownRequest);
        w.text(reason);
        return notify(w);
    }
};

template <typename I>
ComPtr<I> query(IUnknown* obj, const IID& iid)
{
    ComPtr<I> p;
    if (obj) obj->QueryInterface(iid, p.putVoid());
    return p;
}

} // namespace

Connection::Connection(int fd, std::shared_ptr<ServerCore> core, const win::Clock& clock)
    : fd_(fd), core_(std::move(core)), clock_(clock), acceptedMs_(clock.monotonicMs())
{
    timeval tv{2, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

Connection::~Connection()
{
    close();
    if (fd_ >= 0) ::close(fd_);
}

void Connection::start()
{
    reader_ = std::thread([this] { readLoop(); });
    writer_ = std::thread([this] { writeLoop(); });
}

void Connection::close()
{
    // No further call is read; the one running still gets its reply out, so a client
    // never hears of failure for a write that was done.
    draining_ = true;
    ::shutdown(fd_, SHUT_RD);
    if (reader_.joinable()) reader_.join();
    {
        std::lock_guard lock(mutex_);
        markClosingLocked();
    }
    if (writer_.joinable()) writer_.join();
    ::shutdown(fd_, SHUT_RDWR);
}

bool Connection::finished() const
{
    std::lock_guard lock(mutex_);
    return readerDone_;
}

void Connection::markClosingLocked()
{
    closing_ = true;
    cv_.notify_all();
    room_.notify_all();
}

bool Connection::send(std::vector<BYTE> frame)
{
    {
        std::lock_guard lock(mutex_);
        if (closing_) return false;
        if (queued_ + frame.size() > kMaxQueuedBytes) {
            markClosingLocked();
            ::shutdown(fd_, SHUT_RDWR);
            return false;
        }
        queued_ += frame.size();
        queue_.push_back(std::move(frame));
    }
    cv_.notify_all();
    return true;
}

bool Connection::notify(std::vector<BYTE> frame)
{
    {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [&] { return closing_ || queued_ < kRoomBytes; });
    }
    return send(std::move(frame));
}

void Connection::writeLoop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        cv_.wait(lock, [this] { return closing_ || !queue_.empty(); });
        if (queue_.empty()) {
            // Closing with nothing left to send: the reader sees the end too.
            ::shutdown(fd_, SHUT_RDWR);
            return;
        }
        std::vector<BYTE> bytes = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        bool sent = writeAll(fd_, bytes);
        lock.lock();
        queued_ -= bytes.size();
        room_.notify_all();
        if (!sent) {
            queue_.clear();
            queued_ = 0;
            markClosingLocked();
            ::shutdown(fd_, SHUT_RDWR);
            return;
        }
    }
}

void Connection::readLoop()
{
    FrameReader reader;
    std::vector<BYTE> buf(64 * 1024);
    Frame f;
    bool open = true;
    const std::uint64_t timeout = core_->limits.frameTimeoutMs;
    while (open && !draining_) {
        // Waits for ever between frames once activated; in slices while a frame is under
        // way or activation is awaited, so their time-outs are seen (also on a clock moved
        // by a test).
        const bool timed = reader.held() > 0 || (!server_ && core_->limits.activationTimeoutMs > 0);
        pollfd p{fd_, POLLIN, 0};
        int ready = ::poll(&p, 1, timed ? 100 : -1);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) {
            const std::uint64_t now = clock_.monotonicMs();
            if (reader.overdue(now, timeout) || activationOverdue(now)) break;
            continue;
        }
        ssize_t n = ::recv(fd_, buf.data(), buf.size(), 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break;
        if (n < 0) continue;
        const std::uint64_t now = clock_.monotonicMs();
        std::span<const BYTE> data(buf.data(), std::size_t(n));
        while (open && !data.empty() && !draining_) {
            std::size_t used = 0;
            switch (reader.feed(data, used, f, now)) {
            case FrameReader::Status::Complete: open = handleFrame(f); break;
            case FrameReader::Status::Malformed: open = false; break;
            case FrameReader::Status::NeedMore: break;
            }
            data = data.subspan(used);
        }
        // A peer that talks but never activates is dropped all the same.
        if (reader.overdue(now, timeout) || activationOverdue(now)) break;
    }
    // The client is gone: a sink that waits for room stops waiting, then its objects go
    // (its groups with its server object).
    {
        std::lock_guard lock(mutex_);
        readerDone_ = true;
        markClosingLocked();
    }
    objects_.clear();
    server_.reset();
}

bool Connection::activationOverdue(std::uint64_t nowMs) const
{
    const std::uint64_t limit = core_->limits.activationTimeoutMs;
    return !server_ && limit > 0 && win::isTimeOver(acceptedMs_, nowMs, limit);
}

bool Connection::handleFrame(const Frame& f)
{
    if (f.kind == FrameKind::Call) {
        handleCall(f);
        return true;
    }
    if (f.kind == FrameKind::Release && f.payload.empty()) {
        objects_.erase(f.objectId);
        return true;
    }
    return false;  // only calls and releases come from a client
}

void Connection::handleCall(const Frame& f)
{
    WireReader in(f.payload);
    WireWriter out;
    beginFrame(out.data(), FrameKind::Reply, f.method, f.callId, f.objectId);
    out.i32(S_OK);
    HRESULT hr = dispatch(Method(f.method), f.objectId, in, out);
    if (SUCCEEDED(hr) && !in.done()) hr = RPC_E_INVALID_DATA;
    std::vector<BYTE>& reply = out.data();
    if (SUCCEEDED(hr) && reply.size() - kFrameHeaderSize > kMaxFramePayload) hr = E_OUTOFMEMORY;  // the peer would drop the link
    // Refuse the whole call: no outputs of a half-read request or of one too large.
    if (hr == RPC_E_INVALID_DATA || hr == E_OUTOFMEMORY) reply.resize(kFrameHeaderSize + 4);
    for (int i = 0; i < 4; ++i) reply[kFrameHeaderSize + i] = BYTE(DWORD(hr) >> (8 * i));
    setFrameLength(reply);
    send(std::move(reply));
}

bool Connection::roomFor(std::size_t n) const
{
    return objects_.size() + n <= core_->limits.objectsPerConnection;
}

DWORD Connection::addObject(IUnknown* obj)
{
    DWORD id = nextObject_++;
    if (nextObject_ == 0) nextObject_ = 1;
    objects_[id] = ComPtr<IUnknown>::attach(obj);
    return id;
}

ComPtr<IUnknown> Connection::makeSink(const IID& iid, DWORD sinkId)
{
    IUnknown* s = nullptr;
    if (iid == IID_IOPCDataCallback) s = static_cast<IOPCDataCallback*>(new RemoteDataCallback(weak_from_this(), sinkId, iid));
    else if (iid == IID_IAdviseSink) s = static_cast<IAdviseSink*>(new RemoteAdviseSink(weak_from_this(), sinkId, iid));
    else if (iid == IID_IOPCShutdown) s = static_cast<IOPCShutdown*>(new RemoteShutdown(weak_from_this(), sinkId, iid));
    return ComPtr<IUnknown>(s);
}

HRESULT Connection::dispatch(Method m, DWORD objectId, WireReader& in, WireWriter& out)
{
    if (objectId == 0) {
        if (m != Method::Activate) return E_HANDLE;
        if (!in.done()) return RPC_E_INVALID_DATA;
        if (!roomFor(1)) return E_OUTOFMEMORY;
        if (!server_) {
            if (!core_->accepting()) return CO_E_SERVER_STOPPING;
            ComPtr<ServerObject> s = ServerObject::create(core_);
            server_ = ComPtr<IOPCServer>(s.get());
        }
        IOPCServer* p = server_.get();
        p->AddRef();
        out.u32(addObject(p));
        return S_OK;
    }
    auto it = objects_.find(objectId);
    if (it == objects_.end()) return E_HANDLE;
    IUnknown* obj = it->second.get();
    if (m == Method::Unadvise) {
        IID iid = in.guid();
        DWORD cookie = in.u32();
        if (!in.done()) return RPC_E_INVALID_DATA;
        auto cpc = query<IConnectionPointContainer>(obj, IID_IConnectionPointContainer);
        if (!cpc) return E_NOINTERFACE;
        ComPtr<IConnectionPoint> cp;
        HRESULT hr = cpc->FindConnectionPoint(iid, cp.put());
        return FAILED(hr) ? hr : cp->Unadvise(cookie);
    }
    if (WORD(m) >= WORD(Method::AddGroup) && WORD(m) <= WORD(Method::SetClientName))
        return dispatchServer(m, obj, in, out);
    if (WORD(m) >= WORD(Method::GetState) && WORD(m) <= WORD(Method::CloneGroup))
        return dispatchGroup(m, obj, in, out);
    return E_NOTIMPL;
}

HRESULT Connection::dispatchServer(Method m, IUnknown* obj, WireReader& in, WireWriter& out)
{
    if (WORD(m) >= WORD(Method::SetLocaleID)) {
        auto common = query<IOPCCommon>(obj, IID_IOPCCommon);
        if (!common) return E_NOINTERFACE;
        switch (m) {
        case Method::SetLocaleID: {
            LCID lcid = in.u32();
            if (!in.done()) return RPC_E_INVALID_DATA;
            return common->SetLocaleID(lcid);
        }
        case Method::GetLocaleID: {
            if (!in.done()) return RPC_E_INVALID_DATA;
            LCID lcid = 0;
            HRESULT hr = common->GetLocaleID(&lcid);
            out.u32(lcid);
            return hr;
        }
        case Method::QueryAvailableLocaleIDs: {
            if (!in.done()) return RPC_E_INVALID_DATA;
            std::vector<LCID> lcids;
            HRESULT hr = common->QueryAvailableLocaleIDs(lcids);
            out.handles(lcids);
            return hr;
        }
        case Method::CommonGetErrorString: {
            HRESULT code = in.i32();
            if (!in.done()) return RPC_E_INVALID_DATA;
            std::u16string text;
            HRESULT hr = common->GetErrorString(code, text);
            out.text(text);
            return hr;
        }
        default: {
            std::u16string name = in.text();
            if (!in.done()) return RPC_E_INVALID_DATA;
            return common->SetClientName(name);
        }
        }
    }
    auto server = query<IOPCServer>(obj, IID_IOPCServer);
    if (!server) return E_NOINTERFACE;
    switch (m) {
    case Method::AddGroup: {
        std::u16string name = in.text();
        BOOL active = in.i32();
        DWORD rate = in.u32();
        OPCHANDLE hClient = in.u32();
        bool hasBias = in.u8() != 0;
        LONG bias = in.i32();
        bool hasDeadband = in.u8() != 0;
        FLOAT deadband = in.f32();
        LCID lcid = in.u32();
        IID iid = in.guid();
        if (!in.done()) return RPC_E_INVALID_DATA;
        if (!roomFor(1)) return E_OUTOFMEMORY;
        OPCHANDLE hServer = 0;
        DWORD revised = 0;
        IUnknown* group = nullptr;
        HRESULT hr = server->AddGroup(name, active, rate, hClient, hasBias ? &bias : nullptr,
                                      hasDeadband ? &deadband : nullptr, lcid, &hServer, &revised, iid, &group);
        out.u32(hServer);
        out.u32(revised);
        out.u32(SUCCEEDED(hr) && group ? addObject(group) : 0);
        return hr;
    }
    case Method::GetErrorString: {
        HRESULT code = in.i32();
        LCID lcid = in.u32();
        if (!in.done()) return RPC_E_INVALID_DATA;
        std::u16string text;
        HRESULT hr = server->GetErrorString(code, lcid, text);
        out.text(text);
        return hr;
    }
    case Method::GetGroupByName: {
        std::u16string name = in.text();
        IID iid = in.guid();
        if (!in.done()) return RPC_E_INVALID_DATA;
        if (!roomFor(1)) return E_OUTOFMEMORY;
        IUnknown* group = nullptr;
        HRESULT hr = server->GetGroupByName(name, iid, &group);
        out.u32(SUCCEEDED(hr) && group ? addObject(group) : 0);
        return hr;
    }
    case Method::GetStatus: {
        if (!in.done()) return RPC_E_INVALID_DATA;
        OPCSERVERSTATUS st;
        HRESULT hr = server->GetStatus(st);
        writeStatus(out, st);
        return hr;
    }
    case Method::RemoveGroup: {
        OPCHANDLE h = in.u32();
        BOOL force = in.i32();
        if (!in.done()) return RPC_E_INVALID_DATA;
        return server->RemoveGroup(h, force);
    }
    case Method::CreateGroupEnumerator: {
        DWORD scope = in.u32();
        IID iid = in.guid();
        if (!in.done()) return RPC_E_INVALID_DATA;
        IUnknown* e = nullptr;
        HRESULT hr = server->CreateGroupEnumerator(OPCENUMSCOPE(scope), iid, &e);
        auto en = ComPtr<IUnknown>::attach(e);
        // Enumerators travel as the whole list they would give.
        if (SUCCEEDED(hr) && iid == IID_IEnumString) {
            std::vector<std::u16string> names;
            drain(static_cast<IEnumString*>(static_cast<void*>(e)), names);
            out.texts(names);
        } else if (SUCCEEDED(hr) && iid == IID_IEnumUnknown) {
            std::vector<ComPtr<IUnknown>> groups;
            drain(static_cast<IEnumUnknown*>(static_cast<void*>(e)), groups);
            if (!roomFor(groups.size())) return E_OUTOFMEMORY;
            std::vector<DWORD> ids;
            for (auto& g : groups) ids.push_back(addObject(g.detach()));
            out.handles(ids);
        } else {
            out.u32(0);
        }
        return hr;
    }
    case Method::QueryAvailableProperties: {
        std::u16string id = in.text();
        if (!in.done()) return RPC_E_INVALID_DATA;
        auto props = query<IOPCItemProperties>(obj, IID_IOPCItemProperties);
        if (!props) return E_NOINTERFACE;
        std::vector<DWORD> ids;
        std::vector<std::u16string> descriptions;
        std::vector<VARTYPE> types;
        HRESULT hr = props->QueryAvailableProperties(id, ids, descriptions, types);
        out.handles(ids);
        out.texts(descriptions);
        out.u32(DWORD(types.size()));
        for (VARTYPE t : types) out.u16(t);
        return hr;
    }
    case Method::GetItemProperties:
    case Method::LookupItemIDs: {
        std::u16string id = in.text();
        std::vector<DWORD> pids = in.handles();
        if (!in.done()) return RPC_E_INVALID_DATA;
        auto props = query<IOPCItemProperties>(obj, IID_IOPCItemProperties);
        if (!props) return E_NOINTERFACE;
        std::vector<HRESULT> errors;
        HRESULT hr;
        if (m == Method::GetItemProperties) {
            std::vector<VARIANT> values;
            hr = props->GetItemProperties(id, pids, values, errors);
            out.variants(values);
        } else {
            std::vector<std::u16string> ids;
            hr = props->LookupItemIDs(id, pids, ids, errors);
            out.texts(ids);
        }
        out.results(errors);
        return hr;
    }
    case Method::QueryOrganization:
    case Method::ChangeBrowsePosition:
    case Method::BrowseOPCItemIDs:
    case Method::GetItemID:
    case Method::BrowseAccessPaths: {
        auto b = query<IOPCBrowseServerAddressSpace>(obj, IID_IOPCBrowseServerAddressSpace);
        if (!b) return E_NOINTERFACE;
        if (m == Method::QueryOrganization) {
            if (!in.done()) return RPC_E_INVALID_DATA;
            OPCNAMESPACETYPE t = OPC_NS_HIERARCHIAL;
            HRESULT hr = b->QueryOrganization(&t);
            out.u32(t);
            return hr;
        }
        if (m == Method::ChangeBrowsePosition) {
            DWORD dir = in.u32();
            std::u16string name = in.text();
            if (!in.done()) return RPC_E_INVALID_DATA;
            return b->ChangeBrowsePosition(OPCBROWSEDIRECTION(dir), name);
        }
        if (m == Method::GetItemID) {
            std::u16string name = in.text();
            if (!in.done()) return RPC_E_INVALID_DATA;
            std::u16string id;
            HRESULT hr = b->GetItemID(name, id);
            out.text(id);
            return hr;
        }
        ComPtr<IEnumString> e;
        HRESULT hr;
        if (m == Method::BrowseOPCItemIDs) {
            DWORD type = in.u32();
            std::u16string filter = in.text();
            VARTYPE vt = in.u16();
            DWORD access = in.u32();
            if (!in.done()) return RPC_E_INVALID_DATA;
            hr = b->BrowseOPCItemIDs(OPCBROWSETYPE(type), filter, vt, access, e.put());
        } else {
            std::u16string id = in.text();
            if (!in.done()) return RPC_E_INVALID_DATA;
            hr = b->BrowseAccessPaths(id, e.put());
        }
        std::vector<std::u16string> names;
        if (SUCCEEDED(hr) && e) drain(e.get(), names);
        out.texts(names);
        return hr;
    }
    case Method::AdviseShutdown: {
        DWORD sinkId = in.u32();
        if (!in.done()) return RPC_E_INVALID_DATA;
        auto cpc = query<IConnectionPointContainer>(obj, IID_IConnectionPointContainer);
        if (!cpc) return E_NOINTERFACE;
        ComPtr<IConnectionPoint> cp;
        HRESULT hr = cpc->FindConnectionPoint(IID_IOPCShutdown, cp.put());
        DWORD cookie = 0;
        if (SUCCEEDED(hr)) hr = cp->Advise(makeSink(IID_IOPCShutdown, sinkId).get(), &cookie);
        out.u32(cookie);
        return hr;
    }
    default:
        return E_NOTIMPL;
    }
}

HRESULT Connection::dispatchGroup(Method m, IUnknown* obj, WireReader& in, WireWriter& out)
{
    switch (m) {
    case Method::GetState:
    case Method::SetState:
    case Method::SetName: {
        auto g = query<IOPCGroupStateMgt>(obj, IID_IOPCGroupStateMgt);
        if (!g) return E_NOINTERFACE;
        if (m == Method::GetState) {
            if (!in.done()) return RPC_E_INVALID_DATA;
            DWORD rate = 0;
            BOOL active = 0;
            std::u16string name;
            LONG bias = 0;
            FLOAT deadband = 0;
            LCID lcid = 0;
            OPCHANDLE hc = 0, hs = 0;
            HRESULT hr = g->GetState(&rate, &active, &name, &bias, &deadband, &lcid, &hc, &hs);
            out.u32(rate);
            out.i32(active);
            out.text(name);
            out.i32(bias);
            out.f32(deadband);
            out.u32(lcid);
            out.u32(hc);
            out.u32(hs);
            return hr;
        }
        if (m == Method::SetName) {
            std::u16string name = in.text();
            if (!in.done()) return RPC_E_INVALID_DATA;
            return g->SetName(name);
        }
        BYTE mask = in.u8();
        DWORD rate = in.u32();
        BOOL active = in.i32();
        LONG bias = in.i32();
        FLOAT deadband = in.f32();
        LCID lcid = in.u32();
        OPCHANDLE hc = in.u32();
        if (!in.done()) return RPC_E_INVALID_DATA;
        DWORD revised = 0;
        HRESULT hr = g->SetState(mask & 1 ? &rate : nullptr, &revised, mask & 2 ? &active : nullptr,
                                 mask & 4 ? &bias : nullptr, mask & 8 ? &deadband : nullptr, mask & 16 ? &lcid : nullptr,
                                 mask & 32 ? &hc : nullptr);
        out.u32(revised);
        return hr;
    }
    case Method::AddItems:
    case Method::ValidateItems:
    case Method::RemoveItems:
    case Method::SetActiveState:
    case Method::SetClientHandles:
    case Method::SetDatatypes:
    case Method::CreateEnumerator: {
        auto g = query<IOPCItemMgt>(obj, IID_IOPCItemMgt);
        if (!g) return E_NOINTERFACE;
        std::vector<HRESULT> errors;
        HRESULT hr;
        if (m == Method::AddItems || m == Method::ValidateItems) {
            DWORD n = in.count(19);
            std::vector<OPCITEMDEF> defs;
            for (DWORD i = 0; i < n && in.ok(); ++i) defs.push_back(readItemDef(in));
            BOOL blob = m == Method::ValidateItems ? in.i32() : FALSE;
            if (!in.done()) return RPC_E_INVALID_DATA;
            std::vector<OPCITEMRESULT> results;
            hr = m == Method::AddItems ? g->AddItems(defs, results, errors) : g->ValidateItems(defs, blob, results, errors);
            out.u32(DWORD(results.size()));
            for (auto& r : results) writeItemResult(out, r);
        } else if (m == Method::CreateEnumerator) {
            IID iid = in.guid();
            if (!in.done()) return RPC_E_INVALID_DATA;
            IUnknown* e = nullptr;
            hr = g->CreateEnumerator(iid, &e);
            auto en = ComPtr<IUnknown>::attach(e);
            std::vector<OPCITEMATTRIBUTES> list;
            if (SUCCEEDED(hr) && e) drain(static_cast<IEnumOPCItemAttributes*>(static_cast<void*>(e)), list);
            out.u32(DWORD(list.size()));
            for (auto& a : list) writeAttributes(out, a);
            return hr;
        } else {
            std::vector<DWORD> handles = in.handles();
            if (m == Method::RemoveItems) {
                if (!in.done()) return RPC_E_INVALID_DATA;
                hr = g->RemoveItems(handles, errors);
            } else if (m == Method::SetActiveState) {
                BOOL active = in.i32();
                if (!in.done()) return RPC_E_INVALID_DATA;
                hr = g->SetActiveState(handles, active, errors);
            } else if (m == Method::SetClientHandles) {
                std::vector<DWORD> clients = in.handles();
                if (!in.done()) return RPC_E_INVALID_DATA;
                hr = g->SetClientHandles(handles, clients, errors);
            } else {
                DWORD n = in.count(2);
                std::vector<VARTYPE> types(n);
                for (auto& t : types) t = in.u16();
                if (!in.done()) return RPC_E_INVALID_DATA;
                hr = g->SetDatatypes(handles, types, errors);
            }
        }
        out.results(errors);
        return hr;
    }
    case Method::SyncRead:
    case Method::SyncWrite: {
        auto g = query<IOPCSyncIO>(obj, IID_IOPCSyncIO);
        if (!g) return E_NOINTERFACE;
        std::vector<HRESULT> errors;
        HRESULT hr;
        if (m == Method::SyncRead) {
            DWORD source = in.u32();
            std::vector<DWORD> handles = in.handles();
            if (!in.done()) return RPC_E_INVALID_DATA;
            std::vector<OPCITEMSTATE> values;
            hr = g->Read(OPCDATASOURCE(source), handles, values, errors);
            out.u32(DWORD(values.size()));
            for (auto& v : values) writeItemState(out, v);
        } else {
            std::vector<DWORD> handles = in.handles();
            std::vector<VARIANT> values = in.variants();
            if (!in.done()) return RPC_E_INVALID_DATA;
            hr = g->Write(handles, values, errors);
        }
        out.results(errors);
        return hr;
    }
    case Method::AsyncRead:
    case Method::AsyncWrite:
    case Method::AsyncRefresh:
    case Method::AsyncCancel: {
        auto g = query<IOPCAsyncIO>(obj, IID_IOPCAsyncIO);
        if (!g) return E_NOINTERFACE;
        if (m == Method::AsyncCancel) {
            DWORD tid = in.u32();
            if (!in.done()) return RPC_E_INVALID_DATA;
            return g->Cancel(tid);
        }
        DWORD connection = in.u32();
        DWORD tid = 0;
        HRESULT hr;
        if (m == Method::AsyncRefresh) {
            DWORD source = in.u32();
            if (!in.done()) return RPC_E_INVALID_DATA;
            hr = g->Refresh(connection, OPCDATASOURCE(source), &tid);
            out.u32(tid);
            return hr;
        }
        std::vector<HRESULT> errors;
        if (m == Method::AsyncRead) {
            DWORD source = in.u32();
            std::vector<DWORD> handles = in.handles();
            if (!in.done()) return RPC_E_INVALID_DATA;
            hr = g->Read(connection, OPCDATASOURCE(source), handles, &tid, errors);
        } else {
            std::vector<DWORD> handles = in.handles();
            std::vector<VARIANT> values = in.variants();
            if (!in.done()) return RPC_E_INVALID_DATA;
            hr = g->Write(connection, handles, values, &tid, errors);
        }
        out.u32(tid);
        out.results(errors);
        return hr;
    }
    case Method::Async2Read:
    case Method::Async2Write:
    case Method::Refresh2:
    case Method::Cancel2:
    case Method::SetEnable:
    case Method::GetEnable: {
        auto g = query<IOPCAsyncIO2>(obj, IID_IOPCAsyncIO2);
        if (!g) return E_NOINTERFACE;
        DWORD cancelId = 0;
        std::vector<HRESULT> errors;
        HRESULT hr;
        switch (m) {
        case Method::Async2Read: {
            std::vector<DWORD> handles = in.handles();
            DWORD tid = in.u32();
            if (!in.done()) return RPC_E_INVALID_DATA;
            hr = g->Read(handles, tid, &cancelId, errors);
            break;
        }
        case Method::Async2Write: {
            std::vector<DWORD> handles = in.handles();
            std::vector<VARIANT> values = in.variants();
            DWORD tid = in.u32();
            if (!in.done()) return RPC_E_INVALID_DATA;
            hr = g->Write(handles, values, tid, &cancelId, errors);
            break;
        }
        case Method::Refresh2: {
            DWORD source = in.u32();
            DWORD tid = in.u32();
            if (!in.done()) return RPC_E_INVALID_DATA;
            hr = g->Refresh2(OPCDATASOURCE(source), tid, &cancelId);
            out.u32(cancelId);
            return hr;
        }
        case Method::Cancel2: {
            DWORD id = in.u32();
            if (!in.done()) return RPC_E_INVALID_DATA;
            return g->Cancel2(id);
        }
        case Method::SetEnable: {
            BOOL on = in.i32();
            if (!in.done()) return RPC_E_INVALID_DATA;
            return g->SetEnable(on);
        }
        default: {
            if (!in.done()) return RPC_E_INVALID_DATA;
            BOOL on = FALSE;
            hr = g->GetEnable(&on);
            out.i32(on);
            return hr;
        }
        }
        out.u32(cancelId);
        out.results(errors);
        return hr;
    }
    case Method::DAdvise:
    case Method::DUnadvise: {
        auto g = query<IDataObject>(obj, IID_IDataObject);
        if (!g) return E_NOINTERFACE;
        if (m == Method::DUnadvise) {
            DWORD c = in.u32();
            if (!in.done()) return RPC_E_INVALID_DATA;
            return g->DUnadvise(c);
        }
        FORMATETC f;
        f.cfFormat = in.u16();
        f.tymed = in.u32();
        DWORD advf = in.u32();
        DWORD sinkId = in.u32();
        if (!in.done()) return RPC_E_INVALID_DATA;
        auto sink = makeSink(IID_IAdviseSink, sinkId);
        DWORD connection = 0;
        HRESULT hr = g->DAdvise(f, advf, static_cast<IAdviseSink*>(static_cast<void*>(sink.get())), &connection);
        out.u32(connection);
        return hr;
    }
    case Method::CloneGroup: {
        std::u16string name = in.text();
        IID iid = in.guid();
        if (!in.done()) return RPC_E_INVALID_DATA;
        auto g = query<IOPCGroupStateMgt>(obj, IID_IOPCGroupStateMgt);
        if (!g) return E_NOINTERFACE;
        if (!roomFor(1)) return E_OUTOFMEMORY;
        IUnknown* copy = nullptr;
        HRESULT hr = g->CloneGroup(name, iid, &copy);
        out.u32(SUCCEEDED(hr) && copy ? addObject(copy) : 0);
        return hr;
    }
    case Method::AdviseDataCallback: {
        DWORD sinkId = in.u32();
        if (!in.done()) return RPC_E_INVALID_DATA;
        auto cpc = query<IConnectionPointContainer>(obj, IID_IConnectionPointContainer);
        if (!cpc) return E_NOINTERFACE;
        ComPtr<IConnectionPoint> cp;
        HRESULT hr = cpc->FindConnectionPoint(IID_IOPCDataCallback, cp.put());
        DWORD cookie = 0;
        if (SUCCEEDED(hr)) hr = cp->Advise(makeSink(IID_IOPCDataCallback, sinkId).get(), &cookie);
        out.u32(cookie);
        return hr;
    }
    default:
        return E_NOTIMPL;
    }
}

} // namespace opc
