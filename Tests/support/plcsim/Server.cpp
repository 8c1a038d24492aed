#include "support/plcsim/Server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace plcsim {
namespace {

constexpr std::size_t kRequestHistory = 1000;

std::string hexDump(const std::uint8_t* p, std::size_t n)
{
    std::string s;
    char b[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
        s += b;
    }
    return s;
}

bool sendAll(int fd, const std::uint8_t* p, std::size_t n)
{
    while (n > 0) {
        ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
        if (k < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += k;
        n -= std::size_t(k);
    }
    return true;
}

} // namespace

struct Server::Connection {
    int id = 0;
    int fd = -1;
    std::thread thread;
    std::atomic<bool> done{false};
    bool stalled = false;               // after a short answer: swallow everything
    std::vector<std::uint8_t> held;     // answers kept back to go out with the next one
};

Server::Server(ServerOptions options) : options_(std::move(options)) {}

Server::~Server() { stop(); }

bool Server::openListener(std::string* error)
{
    auto failWith = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        if (listenFd_ >= 0) ::close(listenFd_);
        listenFd_ = -1;
        return false;
    };
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port_ ? port_ : options_.port);
    if (::inet_pton(AF_INET, options_.bindAddress.c_str(), &addr.sin_addr) != 1) {
        errno = EINVAL;
        return failWith("bind address");
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return failWith("socket");
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return failWith("bind");
    if (::listen(listenFd_, 16) != 0) return failWith("listen");
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    return true;
}

bool Server::start(std::string* error)
{
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    controlFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0 || controlFd_ < 0 || !openListener(error)) {
        if (error && error->empty()) *error = std::string("eventfd: ") + std::strerror(errno);
        if (wakeFd_ >= 0) ::close(wakeFd_);
        if (controlFd_ >= 0) ::close(controlFd_);
        wakeFd_ = controlFd_ = -1;
        return false;
    }
    stopping_ = false;
    {
        std::lock_guard lock(mutex_);
        listening_ = true;
        refuse_ = false;
    }
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void Server::setRefuseConnections(bool refuse)
{
    std::unique_lock lock(mutex_);
    refuse_ = refuse;
    if (controlFd_ < 0) return;
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(controlFd_, &one, sizeof one);
    cv_.wait_for(lock, std::chrono::seconds(5), [&] { return listening_ == !refuse_ || stopping_; });
}

void Server::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        cv_.notify_all();
    }
    if (wakeFd_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);  // stays readable: wakes every poll
    }
    if (acceptThread_.joinable()) acceptThread_.join();
    reap(true);
    if (listenFd_ >= 0) ::close(listenFd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    if (controlFd_ >= 0) ::close(controlFd_);
    listenFd_ = wakeFd_ = controlFd_ = -1;
}

void Server::acceptLoop()
{
    while (!stopping_) {
        pollfd p[3] = {{wakeFd_, POLLIN, 0}, {controlFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
        if (::poll(p, listenFd_ >= 0 ? 3 : 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (p[0].revents) break;
        if (p[1].revents) {
            std::uint64_t n;
            [[maybe_unused]] auto r = ::read(controlFd_, &n, sizeof n);
            std::lock_guard lock(mutex_);
            if (refuse_ && listenFd_ >= 0) {
                ::close(listenFd_);
                listenFd_ = -1;
            } else if (!refuse_ && listenFd_ < 0) {
                std::string error;
                if (!openListener(&error)) logLine("cannot listen again: " + error);
            }
            listening_ = listenFd_ >= 0;
            cv_.notify_all();
            continue;
        }
        if (listenFd_ < 0 || !(p[2].revents & POLLIN)) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        reap(false);
        std::lock_guard lock(mutex_);
        ++accepted_;
        cv_.notify_all();
        if (dropNew_) {
            ::close(fd);
            if (options_.verbose) logLine("dropped connection " + std::to_string(accepted_));
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<Connection>();
        c->id = int(accepted_);
        c->fd = fd;
        Connection& ref = *c;
        connections_.push_back(std::move(c));
        ref.thread = std::thread([this, &ref] { serve(ref); });
        if (options_.verbose) logLine("connection " + std::to_string(ref.id) + " accepted");
    }
}

void Server::reap(bool all)
{
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            auto cur = it++;
            if (all || (*cur)->done) finished.splice(finished.end(), connections_, cur);
        }
    }
    for (auto& c : finished) {
        if (c->thread.joinable()) c->thread.join();
        ::close(c->fd);
    }
}

void Server::closeConnections()
{
    std::lock_guard lock(mutex_);
    for (auto& c : connections_)
        if (!c->done) ::shutdown(c->fd, SHUT_RDWR);
}

void Server::injectFault(const Fault& fault, int count, int connection)
{
    std::lock_guard lock(mutex_);
    if (count > 0) faults_.push_back({fault, count, connection});
}

void Server::clearFaults()
{
    std::lock_guard lock(mutex_);
    faults_.clear();
}

std::optional<Fault> Server::takeFault(int connection)
{
    std::lock_guard lock(mutex_);
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->connection != 0 && it->connection != connection) continue;
        Fault f = it->fault;
        if (--it->count == 0) faults_.erase(it);
        return f;
    }
    return std::nullopt;
}

void Server::record(const RequestInfo& info)
{
    std::lock_guard lock(mutex_);
    ++requestCount_;
    if (requests_.size() >= kRequestHistory) requests_.erase(requests_.begin());
    requests_.push_back(info);
    cv_.notify_all();
}

std::size_t Server::requestCount() const
{
    std::lock_guard lock(mutex_);
    return requestCount_;
}

std::size_t Server::acceptedCount() const
{
    std::lock_guard lock(mutex_);
    return accepted_;
}

std::size_t Server::openConnections() const
{
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (auto& c : connections_) n += c->done ? 0 : 1;
    return n;
}

bool Server::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return requestCount_ >= count; });
}

bool Server::waitForAccepted(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return accepted_ >= count; });
}

std::vector<RequestInfo> Server::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void Server::logLine(const std::string& line) const
{
    if (options_.log) options_.log(line);
    else std::fprintf(stderr, "plcsim: %s\n", line.c_str());
}

bool Server::waitDelay(std::chrono::milliseconds delay)
{
    std::unique_lock lock(mutex_);
    return !cv_.wait_for(lock, delay, [&] { return stopping_.load(); });
}

void Server::serve(Connection& conn)
{
    Protocol protocol(memory_, options_.frame, options_.encoding);
    std::vector<std::uint8_t> buf;
    std::uint8_t chunk[4096];
    bool open = true;
    while (open && !stopping_) {
        pollfd p[2] = {{conn.fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (p[1].revents) break;
        ssize_t n = ::recv(conn.fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (conn.stalled) continue;
        buf.insert(buf.end(), chunk, chunk + n);

        while (open && !buf.empty() && !conn.stalled) {
            Protocol::Step probe = protocol.peek(buf);
            if (probe.status == Protocol::Status::NeedMore) break;
            if (probe.status == Protocol::Status::Discard) {
                if (options_.verbose)
                    logLine(std::to_string(conn.id) + " discarded " + hexDump(buf.data(), probe.consumed));
                buf.erase(buf.begin(), buf.begin() + std::ptrdiff_t(probe.consumed));
                continue;
            }
            std::optional<Fault> fault = takeFault(conn.id);
            Protocol::Override ov;
            if (fault) {
                if (fault->kind == Fault::Kind::EndCode) {
                    ov.endCode = fault->endCode;
                    ov.abnormal = fault->abnormal;
                }
                if (fault->kind == Fault::Kind::Drop || fault->kind == Fault::Kind::Close) ov.execute = false;
            }
            Protocol::Step step = protocol.next(buf, ov);
            if (options_.verbose)
                logLine(std::to_string(conn.id) + " < " + hexDump(buf.data(), step.consumed));
            buf.erase(buf.begin(), buf.begin() + std::ptrdiff_t(step.consumed));
            record(step.reply.request);
            if (options_.onRequest) options_.onRequest(step.reply.request, step.reply.endCode);
            open = respond(conn, step.reply, fault);
        }
    }
    ::shutdown(conn.fd, SHUT_RDWR);
    std::lock_guard lock(mutex_);
    conn.done = true;
    cv_.notify_all();
}

bool Server::respond(Connection& conn, const Reply& reply, const std::optional<Fault>& fault)
{
    using K = Fault::Kind;
    ReplyTweaks tweaks;
    const K kind = fault ? fault->kind : K::EndCode;
    if (fault) {
        tweaks.wrongRoute = kind == K::WrongRoute;
        tweaks.wrongSerial = kind == K::WrongSerial;
        tweaks.wrongSubheader = kind == K::WrongSubheader;
        tweaks.lengthFFFF = kind == K::LengthFFFF;
    }
    std::vector<std::uint8_t> bytes;
    if (kind == K::ShortData) {
        Reply shorter = reply;
        const std::size_t word = reply.request.ascii ? 4 : 2;
        shorter.data.resize(shorter.data.size() >= word ? shorter.data.size() - word : 0);
        bytes = encodeReply(shorter, tweaks);
    } else {
        bytes = encodeReply(reply, tweaks);
    }
    // Answers held back by an earlier fault go out in front of the next send.
    auto out = [&](std::vector<std::uint8_t> b) {
        if (!conn.held.empty()) {
            b.insert(b.begin(), conn.held.begin(), conn.held.end());
            conn.held.clear();
        }
        if (options_.verbose) logLine(std::to_string(conn.id) + " > " + hexDump(b.data(), b.size()));
        return sendAll(conn.fd, b.data(), b.size());
    };
    if (!fault) return out(std::move(bytes));
    const std::size_t cut = std::min(fault->bytes, bytes.size());
    std::vector<std::uint8_t> head(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut));
    std::vector<std::uint8_t> tail(bytes.begin() + std::ptrdiff_t(cut), bytes.end());
    switch (kind) {
    case K::Drop:
        return true;
    case K::Close:
        return false;
    case K::ShortThenStall:
        conn.stalled = true;
        return out(head);
    case K::ShortThenClose:
        out(head);
        return false;
    case K::Split:
        if (!out(head) || !waitDelay(fault->delay)) return false;
        return out(tail);
    case K::Coalesce:
        conn.held.insert(conn.held.end(), bytes.begin(), bytes.end());
        return true;
    case K::Duplicate: {
        std::vector<std::uint8_t> twice = bytes;
        twice.insert(twice.end(), bytes.begin(), bytes.end());
        return out(twice);
    }
    case K::JunkBefore:
        bytes.insert(bytes.begin(), fault->junk.begin(), fault->junk.end());
        return out(bytes);
    case K::JunkAfter:
        bytes.insert(bytes.end(), fault->junk.begin(), fault->junk.end());
        return out(bytes);
    case K::Late:
        if (!waitDelay(fault->delay)) return false;
        return out(bytes);
    default:
        return out(bytes);
    }
}

} // namespace plcsim
