#include "platform/opc/server/RpcServer.h"

#include "platform/opc/server/Connection.h"
#include "platform/opc/server/ServerCore.h"
#include "platform/opc/wire/SocketFolder.h"
#include "platform/registry/Registry.h"
#include "platform/win/Clock.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace opc {
namespace {

bool fillAddress(const std::filesystem::path& path, sockaddr_un& addr)
{
    std::string p = path.string();
    if (p.size() >= sizeof(addr.sun_path)) return false;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);
    return true;
}

// True when some process accepts connections on the socket.
bool someoneListens(const sockaddr_un& addr)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool yes = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return yes;
}

// Fails the calls of the client, whatever it sent, with E_OUTOFMEMORY.
std::vector<BYTE> refusalFrame()
{
    Frame f;
    f.kind = FrameKind::Notify;
    f.method = WORD(Method::Refused);
    WireWriter w;
    w.i32(E_OUTOFMEMORY);
    f.payload = std::move(w.data());
    return encodeFrame(f);
}

} // namespace

// Refused sockets kept open until their peer has read the refusal.
constexpr std::size_t kMaxLingering = 64;
constexpr std::uint64_t kLingerMs = 2000;

RpcServer::RpcServer(std::shared_ptr<ServerCore> core, const win::Clock& clock)
    : core_(std::move(core)), clock_(clock) {}

RpcServer::~RpcServer() { stop(); }

bool RpcServer::listen(const std::filesystem::path& path, std::string& error)
{
    sockaddr_un addr;
    if (!fillAddress(path, addr)) {
        error = "The socket path " + path.string() + " is too long.";
        return false;
    }
    // Only the owner may reach the class sockets: a folder someone else could have made
    // or opened is not used at all.
    if (!prepareSocketFolder(path.parent_path(), error)) return false;
    if (someoneListens(addr)) {
        error = "Another server already serves " + path.string() + ".";
        return false;
    }
    ::unlink(path.c_str());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("No socket: ") + std::strerror(errno) + ".";
        return false;
    }
    mode_t old = ::umask(0077);
    bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::umask(old);
    if (!bound || ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 16) != 0 || ::pipe2(wakeFd_, O_CLOEXEC) != 0) {
        error = "The socket " + path.string() + " cannot be opened: " + std::strerror(errno) + ".";
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    path_ = path;
    acceptors_.emplace_back([this, fd] { acceptLoop(fd, false); });
    return true;
}

void RpcServer::enableRemote(registry::Registry* reg, const CLSID& clsid)
{
    if (listenFd_ < 0) return;
    registry::Registry& r = reg ? *reg : registry::Registry::Default();
    registry_ = reg;
    const std::string key = "AppID\\" + com::formatGuid(clsid);
    DWORD enabled = 0, port = 0;
    std::string hosts;
    if (r.QueryDword(HKEY_CLASSES_ROOT, key, "RemoteEnabled", enabled) != registry::Status::Ok || enabled == 0) return;
    r.QueryDword(HKEY_CLASSES_ROOT, key, "RemotePort", port);
    r.QueryString(HKEY_CLASSES_ROOT, key, "RemoteHosts", hosts);
    std::stringstream ss(hosts);
    for (std::string h; std::getline(ss, h, ';');)
        if (!h.empty()) allowHosts_.push_back(h);
    if (allowHosts_.empty() || port > 65535) return;  // nobody would be answered
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(std::uint16_t(port));
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        return;
    }
    tcpFd_ = fd;
    remotePort_ = ntohs(a.sin_port);
    acceptors_.emplace_back([this, fd] { acceptLoop(fd, true); });
}

bool RpcServer::allowed(const std::string& host) const
{
    for (const auto& h : allowHosts_)
        if (h == host) return true;
    return false;
}

void RpcServer::refuse(int fd)
{
    const std::vector<BYTE> bytes = refusalFrame();
    // A fresh socket takes these few bytes at once; it is never waited for.
    [[maybe_unused]] ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(fd, SHUT_WR);
    std::lock_guard lock(mutex_);
    if (lingering_.size() >= kMaxLingering) {
        ::close(lingering_.front().first);
        lingering_.erase(lingering_.begin());
    }
    lingering_.emplace_back(fd, clock_.monotonicMs());
}

// Closed once the peer closed or read long enough; closing earlier, with its call unread,
// could make TCP reset the link before the peer read the refusal.
void RpcServer::closeLingering(bool all)
{
    std::lock_guard lock(mutex_);
    const std::uint64_t now = clock_.monotonicMs();
    std::erase_if(lingering_, [&](const std::pair<int, std::uint64_t>& l) {
        BYTE sink[256];
        ssize_t n;
        while ((n = ::recv(l.first, sink, sizeof sink, MSG_DONTWAIT)) > 0) {
        }
        const bool peerGone = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
        if (!all && !peerGone && !win::isTimeOver(l.second, now, kLingerMs)) return false;
        ::close(l.first);
        return true;
    });
}

void RpcServer::reap()
{
    closeLingering(false);
    std::vector<std::shared_ptr<Connection>> done;
    {
        std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (it->connection->finished()) {
                done.push_back(std::move(it->connection));
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : done) c->close();
}

void RpcServer::acceptLoop(int fd, bool remote)
{
    for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd_[0], POLLIN, 0}};
        int n = ::poll(p, 2, 1000);
        if (n < 0 && errno != EINTR) return;
        if (p[1].revents) return;
        reap();
        if (n <= 0 || !(p[0].revents & POLLIN)) continue;
        sockaddr_storage peer{};
        socklen_t len = sizeof peer;
        int c = ::accept4(fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (c < 0) continue;
        if (remote) {
            char text[INET6_ADDRSTRLEN] = {};
            const sockaddr_in* in4 = reinterpret_cast<const sockaddr_in*>(&peer);
            if (peer.ss_family != AF_INET || !::inet_ntop(AF_INET, &in4->sin_addr, text, sizeof text) ||
                !allowed(text)) {
                ::close(c);
                continue;
            }
        }
        std::shared_ptr<Connection> conn, pushedOut;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                ::close(c);
                return;
            }
            conn = admitLocked(c, pushedOut);
        }
        if (pushedOut) {
            pushedOut->send(refusalFrame());
            pushedOut->close();
        }
        // A node that reaches this server may ask it which servers the machine has.
        if (conn && remote) conn->offerServerList(registry_);
        if (conn) conn->start();
        else refuse(c);
    }
}

std::shared_ptr<Connection> RpcServer::admitLocked(int fd, std::shared_ptr<Connection>& pushedOut)
{
    if (activatedLocked() >= core_->limits.connections) return nullptr;
    const auto waiting = [](const Slot& s) { return !s.activated; };
    // Whoever waits longest goes first: a client that means it activates at once.
    if (std::size_t(std::count_if(connections_.begin(), connections_.end(), waiting)) >=
        std::max<std::size_t>(core_->limits.pendingConnections, 1)) {
        auto oldest = std::find_if(connections_.begin(), connections_.end(), waiting);
        pushedOut = std::move(oldest->connection);
        connections_.erase(oldest);
    }
    auto conn = std::make_shared<Connection>(fd, core_, clock_, [this](const Connection& c) { return activate(c); });
    connections_.push_back({conn, false});
    return conn;
}

bool RpcServer::activate(const Connection& connection)
{
    std::lock_guard lock(mutex_);
    auto slot = std::find_if(connections_.begin(), connections_.end(),
                             [&](const Slot& s) { return s.connection.get() == &connection; });
    if (slot == connections_.end()) return false;  // pushed out, or the server stops
    if (slot->activated) return true;
    if (activatedLocked() >= core_->limits.connections) return false;
    slot->activated = true;
    return true;
}

// A client that went away frees its slot at once, not only once the acceptor reaps it.
std::size_t RpcServer::activatedLocked() const
{
    return std::size_t(std::count_if(connections_.begin(), connections_.end(), [](const Slot& s) {
        return s.activated && !s.connection->finished();
    }));
}

void RpcServer::stop()
{
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        stopping_ = true;
    }
    if (wakeFd_[1] >= 0) {
        BYTE b = 1;
        [[maybe_unused]] auto w = ::write(wakeFd_[1], &b, 1);
    }
    for (auto& t : acceptors_)
        if (t.joinable()) t.join();
    std::vector<Slot> all;
    {
        std::lock_guard lock(mutex_);
        all.swap(connections_);
    }
    for (auto& s : all) s.connection->close();
    all.clear();
    closeLingering(true);
    for (int* fd : {&listenFd_, &tcpFd_, &wakeFd_[0], &wakeFd_[1]})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    if (!path_.empty()) {
        ::unlink(path_.c_str());
        path_.clear();
    }
}

std::size_t RpcServer::connectionCount() const
{
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (auto& s : connections_)
        if (!s.connection->finished()) ++n;
    return n;
}

} // namespace opc
