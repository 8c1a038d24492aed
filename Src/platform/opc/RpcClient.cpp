#include "platform/opc/RpcClient.h"

#include "platform/opc/Proxies.h"
#include "platform/win/Dispatcher.h"

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace opc {

PostTask postTo(win::Dispatcher& dispatcher)
{
    return [&dispatcher](std::function<void()> task) { dispatcher.post(win::Task(std::move(task))); };
}

struct RpcClient::TaskQueue {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<std::function<void()>> tasks;
    bool stop = false;
};

RpcClient::RpcClient(int fd, PostTask post) : fd_(fd), post_(std::move(post))
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

int RpcClient::connectUnix(const std::filesystem::path& path)
{
    sockaddr_un addr{};
    std::string p = path.string();
    if (p.size() >= sizeof(addr.sun_path)) return -1;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int RpcClient::connectTcp(const std::string& host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) return -1;
    int fd = ::socket(res->ai_family, res->ai_socktype | SOCK_CLOEXEC, res->ai_protocol);
    if (fd >= 0 && ::connect(fd, res->ai_addr, res->ai_addrlen) != 0) {
        ::close(fd);
        fd = -1;
    }
    ::freeaddrinfo(res);
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
        linkUp_ = false;
        for (auto& [id, p] : pending_) {
            p->done = true;
            p->hr = RPC_S_CALL_FAILED;
        }
    }
    cv_.notify_all();
    ::shutdown(fd_, SHUT_RDWR);
}

HRESULT RpcClient::call(Method m, DWORD objectId, WireWriter& args, std::vector<BYTE>& reply)
{
    Pending p;
    Frame f;
    f.kind = FrameKind::Call;
    f.method = WORD(m);
    f.objectId = objectId;
    f.payload = std::move(args.data());
    {
        std::lock_guard lock(mutex_);
        if (!linkUp_) return RPC_S_CALL_FAILED;
        f.callId = nextCall_++;
        if (nextCall_ == 0) nextCall_ = 1;
        pending_[f.callId] = &p;
    }
    bool sent;
    {
        std::lock_guard wl(writeMutex_);
        sent = writeAll(fd_, encodeFrame(f));
    }
    std::unique_lock lock(mutex_);
    if (!sent) {
        p.done = true;
        p.hr = RPC_S_CALL_FAILED;
    }
    cv_.wait(lock, [&] { return p.done; });
    pending_.erase(f.callId);
    if (FAILED(p.hr) && p.hr == RPC_S_CALL_FAILED && p.payload.empty()) return p.hr;
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
    std::lock_guard wl(writeMutex_);
    writeAll(fd_, encodeFrame(f));
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
    Frame f;
    while (readFrame(fd_, f)) {
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
        } else if (f.kind == FrameKind::Notify) {
            notify(f);
        } else {
            break;
        }
    }
    disconnect();
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
