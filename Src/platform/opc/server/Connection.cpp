#include "platform/opc/server/Connection.h"

#include "platform/opc/server/ServerCore.h"
#include "platform/win/Clock.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace opc {

Connection::Connection(int fd, std::shared_ptr<ServerCore> core, const win::Clock& clock, Admission admit)
    : fd_(fd), core_(std::move(core)), clock_(clock), acceptedMs_(clock.monotonicMs()), admit_(std::move(admit))
{
    timeval tv{2, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

Connection::~Connection()
{
    close();
    if (fd_ >= 0) ::close(fd_);
}

void Connection::offerServerList(registry::Registry* reg)
{
    offersList_ = true;
    listRegistry_ = reg;
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

bool Connection::finished() const { return readerDone_; }

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
        const bool timed =
            reader.held() > 0 || (!server_ && !listActivated_ && core_->limits.activationTimeoutMs > 0);
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
    return !server_ && !listActivated_ && limit > 0 && win::isTimeOver(acceptedMs_, nowMs, limit);
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

} // namespace opc
