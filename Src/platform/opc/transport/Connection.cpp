#include "platform/opc/transport/Connection.h"

#include "platform/opc/server/Enumerators.h"
#include "platform/opc/server/ServerCore.h"
#include "platform/opc/server/ServerObject.h"
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

// One client call on an object of the connection's table: what its handler reads and
// writes, and the connection's table for the objects and sinks it hands out.
struct Connection::Call {
    Connection& link;
    IUnknown* obj;
    WireReader& in;
    WireWriter& out;
    bool roomFor(std::size_t n) const { return link.roomFor(n); }
    DWORD addObject(IUnknown* p) { return link.addObject(p); }
    ComPtr<IUnknown> makeSink(const IID& iid, DWORD sinkId) { return link.makeSink(iid, sinkId); }
};

namespace {

using Call = Connection::Call;
using Handler = HRESULT (*)(Call&);

// F on the object's interface I: an object without it fails the call before its
// arguments are read.
template <typename I, const IID& iid, HRESULT (*F)(Call&, I&)>
HRESULT on(Call& c)
{
    auto p = query<I>(c.obj, iid);
    if (!p) return E_NOINTERFACE;
    return F(c, *p.get());
}

// The same for the further interfaces of a server object: it must be a server first.
template <typename I, const IID& iid, HRESULT (*F)(Call&, I&)>
HRESULT onServer(Call& c)
{
    if (!query<IOPCServer>(c.obj, IID_IOPCServer)) return E_NOINTERFACE;
    return on<I, iid, F>(c);
}

// --- any object with connection points ---

HRESULT unadvise(Call& c)
{
    IID iid = c.in.guid();
    DWORD cookie = c.in.u32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    auto cpc = query<IConnectionPointContainer>(c.obj, IID_IConnectionPointContainer);
    if (!cpc) return E_NOINTERFACE;
    ComPtr<IConnectionPoint> cp;
    HRESULT hr = cpc->FindConnectionPoint(iid, cp.put());
    return FAILED(hr) ? hr : cp->Unadvise(cookie);
}

// Connects a client's sink to the object's connection point of that sink.
HRESULT adviseSink(Call& c, const IID& sinkIid)
{
    DWORD sinkId = c.in.u32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    auto cpc = query<IConnectionPointContainer>(c.obj, IID_IConnectionPointContainer);
    if (!cpc) return E_NOINTERFACE;
    ComPtr<IConnectionPoint> cp;
    HRESULT hr = cpc->FindConnectionPoint(sinkIid, cp.put());
    DWORD cookie = 0;
    if (SUCCEEDED(hr)) hr = cp->Advise(c.makeSink(sinkIid, sinkId).get(), &cookie);
    c.out.u32(cookie);
    return hr;
}

// --- server object: IOPCCommon ---

HRESULT setLocaleID(Call& c, IOPCCommon& common)
{
    LCID lcid = c.in.u32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    return common.SetLocaleID(lcid);
}

HRESULT getLocaleID(Call& c, IOPCCommon& common)
{
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    LCID lcid = 0;
    HRESULT hr = common.GetLocaleID(&lcid);
    c.out.u32(lcid);
    return hr;
}

HRESULT queryAvailableLocaleIDs(Call& c, IOPCCommon& common)
{
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    std::vector<LCID> lcids;
    HRESULT hr = common.QueryAvailableLocaleIDs(lcids);
    c.out.handles(lcids);
    return hr;
}

HRESULT commonGetErrorString(Call& c, IOPCCommon& common)
{
    HRESULT code = c.in.i32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    std::u16string text;
    HRESULT hr = common.GetErrorString(code, text);
    c.out.text(text);
    return hr;
}

HRESULT setClientName(Call& c, IOPCCommon& common)
{
    std::u16string name = c.in.text();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    return common.SetClientName(name);
}

// --- server object: IOPCServer ---

HRESULT addGroup(Call& c, IOPCServer& server)
{
    WireReader& in = c.in;
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
    if (!c.roomFor(1)) return E_OUTOFMEMORY;
    OPCHANDLE hServer = 0;
    DWORD revised = 0;
    IUnknown* group = nullptr;
    HRESULT hr = server.AddGroup(name, active, rate, hClient, hasBias ? &bias : nullptr,
                                 hasDeadband ? &deadband : nullptr, lcid, &hServer, &revised, iid, &group);
    c.out.u32(hServer);
    c.out.u32(revised);
    c.out.u32(SUCCEEDED(hr) && group ? c.addObject(group) : 0);
    return hr;
}

HRESULT getErrorString(Call& c, IOPCServer& server)
{
    HRESULT code = c.in.i32();
    LCID lcid = c.in.u32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    std::u16string text;
    HRESULT hr = server.GetErrorString(code, lcid, text);
    c.out.text(text);
    return hr;
}

HRESULT getGroupByName(Call& c, IOPCServer& server)
{
    std::u16string name = c.in.text();
    IID iid = c.in.guid();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    if (!c.roomFor(1)) return E_OUTOFMEMORY;
    IUnknown* group = nullptr;
    HRESULT hr = server.GetGroupByName(name, iid, &group);
    c.out.u32(SUCCEEDED(hr) && group ? c.addObject(group) : 0);
    return hr;
}

HRESULT getStatus(Call& c, IOPCServer& server)
{
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    OPCSERVERSTATUS st;
    HRESULT hr = server.GetStatus(st);
    writeStatus(c.out, st);
    return hr;
}

HRESULT removeGroup(Call& c, IOPCServer& server)
{
    OPCHANDLE h = c.in.u32();
    BOOL force = c.in.i32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    return server.RemoveGroup(h, force);
}

HRESULT createGroupEnumerator(Call& c, IOPCServer& server)
{
    DWORD scope = c.in.u32();
    IID iid = c.in.guid();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    IUnknown* e = nullptr;
    HRESULT hr = server.CreateGroupEnumerator(OPCENUMSCOPE(scope), iid, &e);
    auto en = ComPtr<IUnknown>::attach(e);
    // Enumerators travel as the whole list they would give.
    if (SUCCEEDED(hr) && iid == IID_IEnumString) {
        std::vector<std::u16string> names;
        drain(static_cast<IEnumString*>(static_cast<void*>(e)), names);
        c.out.texts(names);
    } else if (SUCCEEDED(hr) && iid == IID_IEnumUnknown) {
        std::vector<ComPtr<IUnknown>> groups;
        drain(static_cast<IEnumUnknown*>(static_cast<void*>(e)), groups);
        if (!c.roomFor(groups.size())) return E_OUTOFMEMORY;
        std::vector<DWORD> ids;
        for (auto& g : groups) ids.push_back(c.addObject(g.detach()));
        c.out.handles(ids);
    } else {
        c.out.u32(0);
    }
    return hr;
}

// --- server object: IOPCItemProperties, asked for once the call's arguments are read ---

HRESULT queryAvailableProperties(Call& c, IOPCServer&)
{
    std::u16string id = c.in.text();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    auto props = query<IOPCItemProperties>(c.obj, IID_IOPCItemProperties);
    if (!props) return E_NOINTERFACE;
    std::vector<DWORD> ids;
    std::vector<std::u16string> descriptions;
    std::vector<VARTYPE> types;
    HRESULT hr = props->QueryAvailableProperties(id, ids, descriptions, types);
    c.out.handles(ids);
    c.out.texts(descriptions);
    c.out.u32(DWORD(types.size()));
    for (VARTYPE t : types) c.out.u16(t);
    return hr;
}

HRESULT getItemProperties(Call& c, IOPCServer&)
{
    std::u16string id = c.in.text();
    std::vector<DWORD> pids = c.in.handles();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    auto props = query<IOPCItemProperties>(c.obj, IID_IOPCItemProperties);
    if (!props) return E_NOINTERFACE;
    std::vector<HRESULT> errors;
    std::vector<VARIANT> values;
    HRESULT hr = props->GetItemProperties(id, pids, values, errors);
    c.out.variants(values);
    c.out.results(errors);
    return hr;
}

HRESULT lookupItemIDs(Call& c, IOPCServer&)
{
    std::u16string id = c.in.text();
    std::vector<DWORD> pids = c.in.handles();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    auto props = query<IOPCItemProperties>(c.obj, IID_IOPCItemProperties);
    if (!props) return E_NOINTERFACE;
    std::vector<HRESULT> errors;
    std::vector<std::u16string> ids;
    HRESULT hr = props->LookupItemIDs(id, pids, ids, errors);
    c.out.texts(ids);
    c.out.results(errors);
    return hr;
}

// --- server object: IOPCBrowseServerAddressSpace ---

HRESULT queryOrganization(Call& c, IOPCBrowseServerAddressSpace& b)
{
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    OPCNAMESPACETYPE t = OPC_NS_HIERARCHIAL;
    HRESULT hr = b.QueryOrganization(&t);
    c.out.u32(t);
    return hr;
}

HRESULT changeBrowsePosition(Call& c, IOPCBrowseServerAddressSpace& b)
{
    DWORD dir = c.in.u32();
    std::u16string name = c.in.text();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    return b.ChangeBrowsePosition(OPCBROWSEDIRECTION(dir), name);
}

HRESULT getItemID(Call& c, IOPCBrowseServerAddressSpace& b)
{
    std::u16string name = c.in.text();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    std::u16string id;
    HRESULT hr = b.GetItemID(name, id);
    c.out.text(id);
    return hr;
}

// A browse enumerator travels as the whole list of names it would give.
HRESULT sendNames(Call& c, HRESULT hr, IEnumString* e)
{
    std::vector<std::u16string> names;
    if (SUCCEEDED(hr) && e) drain(e, names);
    c.out.texts(names);
    return hr;
}

HRESULT browseOPCItemIDs(Call& c, IOPCBrowseServerAddressSpace& b)
{
    DWORD type = c.in.u32();
    std::u16string filter = c.in.text();
    VARTYPE vt = c.in.u16();
    DWORD access = c.in.u32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    ComPtr<IEnumString> e;
    HRESULT hr = b.BrowseOPCItemIDs(OPCBROWSETYPE(type), filter, vt, access, e.put());
    return sendNames(c, hr, e.get());
}

HRESULT browseAccessPaths(Call& c, IOPCBrowseServerAddressSpace& b)
{
    std::u16string id = c.in.text();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    ComPtr<IEnumString> e;
    HRESULT hr = b.BrowseAccessPaths(id, e.put());
    return sendNames(c, hr, e.get());
}

HRESULT adviseShutdown(Call& c, IOPCServer&) { return adviseSink(c, IID_IOPCShutdown); }

// --- group: IOPCGroupStateMgt ---

HRESULT getState(Call& c, IOPCGroupStateMgt& g)
{
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    DWORD rate = 0;
    BOOL active = 0;
    std::u16string name;
    LONG bias = 0;
    FLOAT deadband = 0;
    LCID lcid = 0;
    OPCHANDLE hc = 0, hs = 0;
    HRESULT hr = g.GetState(&rate, &active, &name, &bias, &deadband, &lcid, &hc, &hs);
    WireWriter& out = c.out;
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

HRESULT setState(Call& c, IOPCGroupStateMgt& g)
{
    WireReader& in = c.in;
    BYTE mask = in.u8();
    DWORD rate = in.u32();
    BOOL active = in.i32();
    LONG bias = in.i32();
    FLOAT deadband = in.f32();
    LCID lcid = in.u32();
    OPCHANDLE hc = in.u32();
    if (!in.done()) return RPC_E_INVALID_DATA;
    DWORD revised = 0;
    HRESULT hr = g.SetState(mask & 1 ? &rate : nullptr, &revised, mask & 2 ? &active : nullptr,
                            mask & 4 ? &bias : nullptr, mask & 8 ? &deadband : nullptr, mask & 16 ? &lcid : nullptr,
                            mask & 32 ? &hc : nullptr);
    c.out.u32(revised);
    return hr;
}

HRESULT setName(Call& c, IOPCGroupStateMgt& g)
{
    std::u16string name = c.in.text();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    return g.SetName(name);
}

// --- group: IOPCItemMgt ---

HRESULT addOrValidateItems(Call& c, IOPCItemMgt& g, bool validate)
{
    DWORD n = c.in.count(19);
    std::vector<OPCITEMDEF> defs;
    for (DWORD i = 0; i < n && c.in.ok(); ++i) defs.push_back(readItemDef(c.in));
    BOOL blob = validate ? c.in.i32() : FALSE;
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    HRESULT hr = validate ? g.ValidateItems(defs, blob, results, errors) : g.AddItems(defs, results, errors);
    c.out.u32(DWORD(results.size()));
    for (auto& r : results) writeItemResult(c.out, r);
    c.out.results(errors);
    return hr;
}

HRESULT addItems(Call& c, IOPCItemMgt& g) { return addOrValidateItems(c, g, false); }
HRESULT validateItems(Call& c, IOPCItemMgt& g) { return addOrValidateItems(c, g, true); }

HRESULT removeItems(Call& c, IOPCItemMgt& g)
{
    std::vector<DWORD> handles = c.in.handles();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    std::vector<HRESULT> errors;
    HRESULT hr = g.RemoveItems(handles, errors);
    c.out.results(errors);
    return hr;
}

HRESULT setActiveState(Call& c, IOPCItemMgt& g)
{
    std::vector<DWORD> handles = c.in.handles();
    BOOL active = c.in.i32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    std::vector<HRESULT> errors;
    HRESULT hr = g.SetActiveState(handles, active, errors);
    c.out.results(errors);
    return hr;
}

HRESULT setClientHandles(Call& c, IOPCItemMgt& g)
{
    std::vector<DWORD> handles = c.in.handles();
    std::vector<DWORD> clients = c.in.handles();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    std::vector<HRESULT> errors;
    HRESULT hr = g.SetClientHandles(handles, clients, errors);
    c.out.results(errors);
    return hr;
}

HRESULT setDatatypes(Call& c, IOPCItemMgt& g)
{
    std::vector<DWORD> handles = c.in.handles();
    DWORD n = c.in.count(2);
    std::vector<VARTYPE> types(n);
    for (auto& t : types) t = c.in.u16();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    std::vector<HRESULT> errors;
    HRESULT hr = g.SetDatatypes(handles, types, errors);
    c.out.results(errors);
    return hr;
}

HRESULT createEnumerator(Call& c, IOPCItemMgt& g)
{
    IID iid = c.in.guid();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    IUnknown* e = nullptr;
    HRESULT hr = g.CreateEnumerator(iid, &e);
    auto en = ComPtr<IUnknown>::attach(e);
    std::vector<OPCITEMATTRIBUTES> list;
    if (SUCCEEDED(hr) && e) drain(static_cast<IEnumOPCItemAttributes*>(static_cast<void*>(e)), list);
    c.out.u32(DWORD(list.size()));
    for (auto& a : list) writeAttributes(c.out, a);
    return hr;
}

// --- group: IOPCSyncIO ---

HRESULT syncRead(Call& c, IOPCSyncIO& g)
{
    DWORD source = c.in.u32();
    std::vector<DWORD> handles = c.in.handles();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    std::vector<OPCITEMSTATE> values;
    std::vector<HRESULT> errors;
    HRESULT hr = g.Read(OPCDATASOURCE(source), handles, values, errors);
    c.out.u32(DWORD(values.size()));
    for (auto& v : values) writeItemState(c.out, v);
    c.out.results(errors);
    return hr;
}

HRESULT syncWrite(Call& c, IOPCSyncIO& g)
{
    std::vector<DWORD> handles = c.in.handles();
    std::vector<VARIANT> values = c.in.variants();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    std::vector<HRESULT> errors;
    HRESULT hr = g.Write(handles, values, errors);
    c.out.results(errors);
    return hr;
}

// --- group: IOPCAsyncIO ---

HRESULT asyncRead(Call& c, IOPCAsyncIO& g)
{
    DWORD connection = c.in.u32();
    DWORD source = c.in.u32();
    std::vector<DWORD> handles = c.in.handles();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    DWORD tid = 0;
    std::vector<HRESULT> errors;
    HRESULT hr = g.Read(connection, OPCDATASOURCE(source), handles, &tid, errors);
    c.out.u32(tid);
    c.out.results(errors);
    return hr;
}

HRESULT asyncWrite(Call& c, IOPCAsyncIO& g)
{
    DWORD connection = c.in.u32();
    std::vector<DWORD> handles = c.in.handles();
    std::vector<VARIANT> values = c.in.variants();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    DWORD tid = 0;
    std::vector<HRESULT> errors;
    HRESULT hr = g.Write(connection, handles, values, &tid, errors);
    c.out.u32(tid);
    c.out.results(errors);
    return hr;
}

HRESULT asyncRefresh(Call& c, IOPCAsyncIO& g)
{
    DWORD connection = c.in.u32();
    DWORD source = c.in.u32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    DWORD tid = 0;
    HRESULT hr = g.Refresh(connection, OPCDATASOURCE(source), &tid);
    c.out.u32(tid);
    return hr;
}

HRESULT asyncCancel(Call& c, IOPCAsyncIO& g)
{
    DWORD tid = c.in.u32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    return g.Cancel(tid);
}

// --- group: IOPCAsyncIO2 ---

HRESULT async2Read(Call& c, IOPCAsyncIO2& g)
{
    std::vector<DWORD> handles = c.in.handles();
    DWORD tid = c.in.u32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    DWORD cancelId = 0;
    std::vector<HRESULT> errors;
    HRESULT hr = g.Read(handles, tid, &cancelId, errors);
    c.out.u32(cancelId);
    c.out.results(errors);
    return hr;
}

HRESULT async2Write(Call& c, IOPCAsyncIO2& g)
{
    std::vector<DWORD> handles = c.in.handles();
    std::vector<VARIANT> values = c.in.variants();
    DWORD tid = c.in.u32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    DWORD cancelId = 0;
    std::vector<HRESULT> errors;
    HRESULT hr = g.Write(handles, values, tid, &cancelId, errors);
    c.out.u32(cancelId);
    c.out.results(errors);
    return hr;
}

HRESULT refresh2(Call& c, IOPCAsyncIO2& g)
{
    DWORD source = c.in.u32();
    DWORD tid = c.in.u32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    DWORD cancelId = 0;
    HRESULT hr = g.Refresh2(OPCDATASOURCE(source), tid, &cancelId);
    c.out.u32(cancelId);
    return hr;
}

HRESULT cancel2(Call& c, IOPCAsyncIO2& g)
{
    DWORD id = c.in.u32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    return g.Cancel2(id);
}

HRESULT setEnable(Call& c, IOPCAsyncIO2& g)
{
    BOOL on = c.in.i32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    return g.SetEnable(on);
}

HRESULT getEnable(Call& c, IOPCAsyncIO2& g)
{
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    BOOL on = FALSE;
    HRESULT hr = g.GetEnable(&on);
    c.out.i32(on);
    return hr;
}

// --- group: IDataObject and its connection point ---

HRESULT dAdvise(Call& c, IDataObject& g)
{
    FORMATETC f;
    f.cfFormat = c.in.u16();
    f.tymed = c.in.u32();
    DWORD advf = c.in.u32();
    DWORD sinkId = c.in.u32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    auto sink = c.makeSink(IID_IAdviseSink, sinkId);
    DWORD connection = 0;
    HRESULT hr = g.DAdvise(f, advf, static_cast<IAdviseSink*>(static_cast<void*>(sink.get())), &connection);
    c.out.u32(connection);
    return hr;
}

HRESULT dUnadvise(Call& c, IDataObject& g)
{
    DWORD connection = c.in.u32();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    return g.DUnadvise(connection);
}

HRESULT adviseDataCallback(Call& c) { return adviseSink(c, IID_IOPCDataCallback); }

HRESULT cloneGroup(Call& c)
{
    std::u16string name = c.in.text();
    IID iid = c.in.guid();
    if (!c.in.done()) return RPC_E_INVALID_DATA;
    auto g = query<IOPCGroupStateMgt>(c.obj, IID_IOPCGroupStateMgt);
    if (!g) return E_NOINTERFACE;
    if (!c.roomFor(1)) return E_OUTOFMEMORY;
    IUnknown* copy = nullptr;
    HRESULT hr = g->CloneGroup(name, iid, &copy);
    c.out.u32(SUCCEEDED(hr) && copy ? c.addObject(copy) : 0);
    return hr;
}

// The calls on the objects of a connection's table, a row per method.
struct CallRow {
    Method method;
    Handler handler;
};

using Common = IOPCCommon;
using Browse = IOPCBrowseServerAddressSpace;
using StateMgt = IOPCGroupStateMgt;

constexpr CallRow kCalls[] = {
    {Method::Unadvise, unadvise},
    // Server object.
    {Method::AddGroup, on<IOPCServer, IID_IOPCServer, addGroup>},
    {Method::GetErrorString, on<IOPCServer, IID_IOPCServer, getErrorString>},
    {Method::GetGroupByName, on<IOPCServer, IID_IOPCServer, getGroupByName>},
    {Method::GetStatus, on<IOPCServer, IID_IOPCServer, getStatus>},
    {Method::RemoveGroup, on<IOPCServer, IID_IOPCServer, removeGroup>},
    {Method::CreateGroupEnumerator, on<IOPCServer, IID_IOPCServer, createGroupEnumerator>},
    {Method::QueryAvailableProperties, on<IOPCServer, IID_IOPCServer, queryAvailableProperties>},
    {Method::GetItemProperties, on<IOPCServer, IID_IOPCServer, getItemProperties>},
    {Method::LookupItemIDs, on<IOPCServer, IID_IOPCServer, lookupItemIDs>},
    {Method::QueryOrganization, onServer<Browse, IID_IOPCBrowseServerAddressSpace, queryOrganization>},
    {Method::ChangeBrowsePosition, onServer<Browse, IID_IOPCBrowseServerAddressSpace, changeBrowsePosition>},
    {Method::BrowseOPCItemIDs, onServer<Browse, IID_IOPCBrowseServerAddressSpace, browseOPCItemIDs>},
    {Method::GetItemID, onServer<Browse, IID_IOPCBrowseServerAddressSpace, getItemID>},
    {Method::BrowseAccessPaths, onServer<Browse, IID_IOPCBrowseServerAddressSpace, browseAccessPaths>},
    {Method::AdviseShutdown, on<IOPCServer, IID_IOPCServer, adviseShutdown>},
    {Method::SetLocaleID, on<Common, IID_IOPCCommon, setLocaleID>},
    {Method::GetLocaleID, on<Common, IID_IOPCCommon, getLocaleID>},
    {Method::QueryAvailableLocaleIDs, on<Common, IID_IOPCCommon, queryAvailableLocaleIDs>},
    {Method::CommonGetErrorString, on<Common, IID_IOPCCommon, commonGetErrorString>},
    {Method::SetClientName, on<Common, IID_IOPCCommon, setClientName>},
    // Group.
    {Method::GetState, on<StateMgt, IID_IOPCGroupStateMgt, getState>},
    {Method::SetState, on<StateMgt, IID_IOPCGroupStateMgt, setState>},
    {Method::SetName, on<StateMgt, IID_IOPCGroupStateMgt, setName>},
    {Method::AddItems, on<IOPCItemMgt, IID_IOPCItemMgt, addItems>},
    {Method::ValidateItems, on<IOPCItemMgt, IID_IOPCItemMgt, validateItems>},
    {Method::RemoveItems, on<IOPCItemMgt, IID_IOPCItemMgt, removeItems>},
    {Method::SetActiveState, on<IOPCItemMgt, IID_IOPCItemMgt, setActiveState>},
    {Method::SetClientHandles, on<IOPCItemMgt, IID_IOPCItemMgt, setClientHandles>},
    {Method::SetDatatypes, on<IOPCItemMgt, IID_IOPCItemMgt, setDatatypes>},
    {Method::CreateEnumerator, on<IOPCItemMgt, IID_IOPCItemMgt, createEnumerator>},
    {Method::SyncRead, on<IOPCSyncIO, IID_IOPCSyncIO, syncRead>},
    {Method::SyncWrite, on<IOPCSyncIO, IID_IOPCSyncIO, syncWrite>},
    {Method::AsyncRead, on<IOPCAsyncIO, IID_IOPCAsyncIO, asyncRead>},
    {Method::AsyncWrite, on<IOPCAsyncIO, IID_IOPCAsyncIO, asyncWrite>},
    {Method::AsyncRefresh, on<IOPCAsyncIO, IID_IOPCAsyncIO, asyncRefresh>},
    {Method::AsyncCancel, on<IOPCAsyncIO, IID_IOPCAsyncIO, asyncCancel>},
    {Method::Async2Read, on<IOPCAsyncIO2, IID_IOPCAsyncIO2, async2Read>},
    {Method::Async2Write, on<IOPCAsyncIO2, IID_IOPCAsyncIO2, async2Write>},
    {Method::Refresh2, on<IOPCAsyncIO2, IID_IOPCAsyncIO2, refresh2>},
    {Method::Cancel2, on<IOPCAsyncIO2, IID_IOPCAsyncIO2, cancel2>},
    {Method::SetEnable, on<IOPCAsyncIO2, IID_IOPCAsyncIO2, setEnable>},
    {Method::GetEnable, on<IOPCAsyncIO2, IID_IOPCAsyncIO2, getEnable>},
    {Method::DAdvise, on<IDataObject, IID_IDataObject, dAdvise>},
    {Method::DUnadvise, on<IDataObject, IID_IDataObject, dUnadvise>},
    {Method::AdviseDataCallback, adviseDataCallback},
    {Method::CloneGroup, cloneGroup},
};

Handler handlerOf(Method m)
{
    for (const CallRow& row : kCalls)
        if (row.method == m) return row.handler;
    return nullptr;
}

} // namespace

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
    Handler handler = handlerOf(m);
    if (!handler) return E_NOTIMPL;
    Call call{*this, it->second.get(), in, out};
    return handler(call);
}

} // namespace opc
