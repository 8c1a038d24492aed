#include "platform/opc/client/RpcClient.h"

#include "platform/opc/client/Proxies.h"
#include "platform/win/Clock.h"
#include "platform/win/Dispatcher.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace opc {

PostTask postTo(win::Dispatcher& dispatcher)
{
    return [&dispatcher](std::function<void()> task) { dispatcher.post(win::Task(std::move(task))); };
}

struct RpcClient::TaskQueue {
    std::mutex mutex;  // a leaf
    std::condition_variable cv;
    std::deque<std::function<void()>> tasks;
    bool stop = false;
};

namespace {

// Waits until fd can be written or the deadline passed; false then.
bool waitWritable(int fd, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLOUT, 0};
        int r = ::poll(&p, 1, int(left.count()));
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
    }
}

void setBlocking(int fd, bool on)
{
    int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, on ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

int fail(int fd, HRESULT* why, HRESULT hr)
{
    if (fd >= 0) ::close(fd);
    if (why) *why = hr;
    return -1;
}

} // namespace

RpcClient::RpcClient(int fd, PostTask post, ClientOptions options)
    : fd_(fd), post_(std::move(post)), options_(std::move(options)),
      clock_(options_.clock ? *options_.clock : win::SystemClock::instance())
{
    if (!post_) {
        tasks_ = std::make_shared<TaskQueue>();
        dispatcher_ = std::thread([q = tasks_] { dispatchLoop(q); });
    }
    reader_ = std::thread([this] { readLoop(); });
}

RpcClient::~RpcClient()
{
    disconnect();
    // The last proxy may go on one of the client's own threads (a sink that held it):
    // that thread is let go rather than waited for, and touches nothing of ours after.
    if (reader_.joinable()) {
        if (reader_.get_id() == std::this_thread::get_id()) reader_.detach();
        else reader_.join();
    }
    if (tasks_) {
        {
            std::lock_guard lock(tasks_->mutex);
            tasks_->stop = true;
        }
        tasks_->cv.notify_all();
        if (dispatcher_.get_id() == std::this_thread::get_id()) dispatcher_.detach();
        else dispatcher_.join();
    }
    ::close(fd_);
}

int RpcClient::connectUnix(const std::filesystem::path& path, std::chrono::milliseconds timeout, HRESULT* why)
{
    sockaddr_un addr{};
    std::string p = path.string();
    if (p.size() >= sizeof(addr.sun_path)) return fail(-1, why, RPC_S_SERVER_UNAVAILABLE);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return fail(-1, why, RPC_S_SERVER_UNAVAILABLE);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // A server that is alive but does not accept (stopped, or busy) fills its queue of
    // connections; a connect then answers EAGAIN and is tried again until the deadline.
    while (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EINPROGRESS) return fail(fd, why, RPC_S_SERVER_UNAVAILABLE);
        if (std::chrono::steady_clock::now() >= deadline) return fail(fd, why, RPC_E_TIMEOUT);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    setBlocking(fd, true);
    // Only a server of this user is trusted: another user could have put a socket in
    // the way to hear the client's writes or answer in the server's place.
    ucred peer{};
    socklen_t len = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0 || peer.uid != ::geteuid())
        return fail(fd, why, E_ACCESSDENIED);
    return fd;
}

int RpcClient::connectTcp(const std::string& host, int port, std::chrono::milliseconds timeout, HRESULT* why)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res)
        return fail(-1, why, RPC_S_SERVER_UNAVAILABLE);
    int fd = ::socket(res->ai_family, res->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, res->ai_protocol);
    bool connected = fd >= 0 && ::connect(fd, res->ai_addr, res->ai_addrlen) == 0;
    if (fd >= 0 && !connected && errno == EINPROGRESS &&
        waitWritable(fd, std::chrono::steady_clock::now() + timeout)) {
        int err = 0;
        socklen_t len = sizeof err;
        connected = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    }
    ::freeaddrinfo(res);
    if (!connected) return fail(fd, why, RPC_S_SERVER_UNAVAILABLE);
    setBlocking(fd, true);
    return fd;
}

bool RpcClient::connected() const
{
    std::lock_guard lock(mutex_);
    return linkUp_;
}

void RpcClient::disconnect()
{
    {
        std::lock_guard lock(mutex_);
        noticeSent_ = true;  // the client's own doing: no notice
    }
    lose(RPC_S_CALL_FAILED);
}

void RpcClient::lose(HRESULT why)
{
    bool tell = false;
    {
        std::lock_guard lock(mutex_);
        if (linkUp_) lostWhy_ = why;
        linkUp_ = false;
        // A call whose reply is already in keeps it, though its caller has not woken yet.
        for (auto& [id, p] : pending_) {
            if (p->done) continue;
            p->done = true;
            p->hr = why;
        }
        tell = !noticeSent_ && options_.linkLost;
        noticeSent_ = true;
    }
    cv_.notify_all();
    ::shutdown(fd_, SHUT_RDWR);
    if (tell) post([notice = options_.linkLost, why] { notice(why); });
}

bool RpcClient::write(const std::vector<BYTE>& frame)
{
    const std::uint64_t deadline = clock_.monotonicMs() + std::uint64_t(options_.callTimeout.count());
    std::lock_guard wl(writeMutex_);
    if (writeAll(fd_, frame, deadline, clock_)) return true;
    lose(RPC_S_CALL_FAILED);  // part of a frame may have gone: the link cannot be used again
    return false;
}

HRESULT RpcClient::call(Method m, DWORD objectId, WireWriter& args, std::vector<BYTE>& reply)
{
    // The server drops a link that announces more; the call alone fails instead.
    if (args.data().size() > kMaxFramePayload) return E_OUTOFMEMORY;
    Pending p;
    Frame f;
    f.kind = FrameKind::Call;
    f.method = WORD(m);
    f.objectId = objectId;
    f.payload = std::move(args.data());
    {
        std::lock_guard lock(mutex_);
        if (!linkUp_) return lostWhy_;
        f.callId = nextCall_++;
        if (nextCall_ == 0) nextCall_ = 1;
        pending_[f.callId] = &p;
    }
    const std::uint64_t first = clock_.monotonicMs();
    std::uint64_t start = first;
    const std::uint64_t timeout = std::uint64_t(options_.callTimeout.count());
    CallWaiter* waiter = options_.waiter && options_.waiter->Serves() ? options_.waiter.get() : nullptr;
    const bool sent = write(encodeFrame(f));
    std::unique_lock lock(mutex_);
    if (!sent && !p.done) {
        p.done = true;
        p.hr = RPC_S_CALL_FAILED;
    }
    // In slices, so a clock moved by a test is seen too; a waiter's thread paints between.
    HRESULT ended = RPC_E_TIMEOUT;
    bool waited = false;
    while (!p.done) {
        if (clock_.isTimeOver(start, timeout)) {
            if (!waiter) break;
            lock.unlock();
            const bool again = waiter->WaitAgain();
            waited = true;
            lock.lock();
            if (!again) {
                ended = RPC_E_CALL_CANCELED;
                break;
            }
            start = clock_.monotonicMs();
            continue;
        }
        cv_.wait_for(lock, std::chrono::milliseconds(waiter ? 15 : 50));
        if (!waiter || p.done) continue;
        lock.unlock();
        const bool go = waiter->Waiting(clock_.monotonicMs() - first);
        waited = true;
        lock.lock();
        if (!go) {
            ended = RPC_E_CALL_CANCELED;
            break;
        }
    }
    pending_.erase(f.callId);
    lock.unlock();
    if (waited) waiter->Done();
    // Out of the table, the record is this thread's alone.
    if (!p.done) return ended;  // a late reply finds nobody waiting and is dropped
    if (FAILED(p.hr) && p.payload.empty()) return p.hr;
    reply = std::move(p.payload);
    return p.hr;
}

void RpcClient::release(DWORD objectId)
{
    if (!connected()) return;
    Frame f;
    f.kind = FrameKind::Release;
    f.method = WORD(Method::Release);
    f.objectId = objectId;
    write(encodeFrame(f));
}

DWORD RpcClient::addSink(ComPtr<IUnknown> sink)
{
    std::lock_guard lock(mutex_);
    DWORD id = nextSink_++;
    if (nextSink_ == 0) nextSink_ = 1;
    sinks_[id] = std::move(sink);
    return id;
}

void RpcClient::removeSink(DWORD id)
{
    ComPtr<IUnknown> gone;
    std::lock_guard lock(mutex_);
    auto it = sinks_.find(id);
    if (it == sinks_.end()) return;
    gone = std::move(it->second);
    sinks_.erase(it);
}

void RpcClient::readLoop()
{
    FrameReader reader;
    std::vector<BYTE> buf(64 * 1024);
    Frame f;
    HRESULT why = RPC_S_CALL_FAILED;
    bool open = true;
    while (open) {
        ssize_t n = ::recv(fd_, buf.data(), buf.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::span<const BYTE> data(buf.data(), std::size_t(n));
        while (open && !data.empty()) {
            std::size_t used = 0;
            FrameReader::Status st = reader.feed(data, used, f, 0);
            data = data.subspan(used);
            if (st == FrameReader::Status::Malformed) open = false;
            if (st != FrameReader::Status::Complete) continue;
            if (f.kind == FrameKind::Reply) {
                std::lock_guard lock(mutex_);
                auto it = pending_.find(f.callId);
                if (it == pending_.end()) continue;  // a reply nobody waits for
                WireReader r(f.payload);
                HRESULT hr = r.i32();
                it->second->hr = r.ok() ? hr : RPC_E_INVALID_DATA;
                if (r.ok()) it->second->payload.assign(f.payload.begin() + 4, f.payload.end());
                it->second->done = true;
                cv_.notify_all();
            } else if (f.kind == FrameKind::Notify && f.objectId == 0 && f.method == WORD(Method::Refused)) {
                WireReader r(f.payload);
                HRESULT hr = r.i32();
                why = r.done() && FAILED(hr) ? hr : RPC_S_CALL_FAILED;
                open = false;
            } else if (f.kind == FrameKind::Notify) {
                notify(f);
            } else {
                open = false;
            }
        }
    }
    lose(why);
    // The sink table goes last: releasing a sink may release this client (see above).
    std::map<DWORD, ComPtr<IUnknown>> gone;
    {
        std::lock_guard lock(mutex_);
        gone.swap(sinks_);
    }
}

void RpcClient::post(std::function<void()> task)
{
    if (post_) {
        post_(std::move(task));
        return;
    }
    {
        std::lock_guard lock(tasks_->mutex);
        tasks_->tasks.push_back(std::move(task));
    }
    tasks_->cv.notify_one();
}

void RpcClient::dispatchLoop(std::shared_ptr<TaskQueue> q)
{
    std::unique_lock lock(q->mutex);
    for (;;) {
        q->cv.wait(lock, [&] { return q->stop || !q->tasks.empty(); });
        if (q->stop) return;  // what is left is dropped with the queue
        auto task = std::move(q->tasks.front());
        q->tasks.pop_front();
        lock.unlock();
        task();
        task = nullptr;
        lock.lock();
    }
}

namespace {

struct DataArgs {
    DWORD tid = 0;
    OPCHANDLE group = 0;
    HRESULT mq = S_OK, me = S_OK;
    std::vector<OPCHANDLE> items;
    std::vector<VARIANT> values;
    std::vector<WORD> qualities;
    std::vector<FILETIME> times;
    std::vector<HRESULT> errors;
};

bool readDataArgs(WireReader& r, DataArgs& a)
{
    a.tid = r.u32();
    a.group = r.u32();
    a.mq = r.i32();
    a.me = r.i32();
    a.items = r.handles();
    a.values = r.variants();
    DWORD nq = r.count(2);
    for (DWORD i = 0; i < nq; ++i) a.qualities.push_back(r.u16());
    DWORD nt = r.count(8);
    for (DWORD i = 0; i < nt; ++i) a.times.push_back(r.fileTime());
    a.errors = r.results();
    std::size_t n = a.items.size();
    return r.done() && a.values.size() == n && a.qualities.size() == n && a.times.size() == n && a.errors.size() == n;
}

} // namespace

void RpcClient::notify(const Frame& f)
{
    ComPtr<IUnknown> sink;
    {
        std::lock_guard lock(mutex_);
        auto it = sinks_.find(f.objectId);
        if (it == sinks_.end()) return;
        sink = it->second;
    }
    WireReader r(f.payload);
    switch (Method(f.method)) {
    case Method::OnDataChange:
    case Method::OnReadComplete: {
        auto cb = sink.as<IOPCDataCallback>(IID_IOPCDataCallback);
        auto a = std::make_shared<DataArgs>();
        if (!cb || !readDataArgs(r, *a)) return;
        bool read = Method(f.method) == Method::OnReadComplete;
        post([cb, a, read] {
            if (read)
                cb->OnReadComplete(a->tid, a->group, a->mq, a->me, a->items, a->values, a->qualities, a->times, a->errors);
            else
                cb->OnDataChange(a->tid, a->group, a->mq, a->me, a->items, a->values, a->qualities, a->times, a->errors);
        });
        return;
    }
    case Method::OnWriteComplete: {
        auto cb = sink.as<IOPCDataCallback>(IID_IOPCDataCallback);
        DWORD tid = r.u32();
        OPCHANDLE g = r.u32();
        HRESULT me = r.i32();
        auto items = r.handles();
        auto errors = r.results();
        if (!cb || !r.done() || items.size() != errors.size()) return;
        post([cb, tid, g, me, items, errors] { cb->OnWriteComplete(tid, g, me, items, errors); });
        return;
    }
    case Method::OnCancelComplete: {
        auto cb = sink.as<IOPCDataCallback>(IID_IOPCDataCallback);
        DWORD tid = r.u32();
        OPCHANDLE g = r.u32();
        if (!cb || !r.done()) return;
        post([cb, tid, g] { cb->OnCancelComplete(tid, g); });
        return;
    }
    case Method::OnStreamData: {
        auto cb = sink.as<IAdviseSink>(IID_IAdviseSink);
        FORMATETC format;
        format.cfFormat = r.u16();
        auto bytes = std::make_shared<STGMEDIUM>();
        bytes->hGlobal = r.bytes();
        if (!cb || !r.done()) return;
        post([cb, format, bytes] { cb->OnDataChange(format, *bytes); });
        return;
    }
    case Method::ShutdownRequest: {
        auto cb = sink.as<IOPCShutdown>(IID_IOPCShutdown);
        std::u16string reason = r.text();
        if (!cb || !r.done()) return;
        post([cb, reason] { cb->ShutdownRequest(reason); });
        return;
    }
    default:
        return;
    }
}

HRESULT activateServer(std::shared_ptr<RpcClient> client, const IID& iid, IUnknown** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    WireWriter w;
    std::vector<BYTE> reply;
    HRESULT hr = client->call(Method::Activate, 0, w, reply);
    if (FAILED(hr)) return hr;
    WireReader r(reply);
    DWORD id = r.u32();
    if (!r.done() || id == 0) return RPC_E_INVALID_DATA;
    auto proxy = ServerProxy::make(std::move(client), id);
    return proxy->QueryInterface(iid, reinterpret_cast<void**>(out));
}

} // namespace opc
