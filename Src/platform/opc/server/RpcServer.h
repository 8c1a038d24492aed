#pragma once
// Serves a toolkit's server objects to other processes: one listening Unix socket per
// class (owner-only, in a folder checked to be the owner's alone), one server object per
// accepted connection, and, when the class's registry settings allow it, a TCP listener
// that answers only hosts on an allow-list. Only connections that have activated a server
// object count toward the limit (local and remote together); once it is reached, a new
// connection gets one refusal frame whose E_OUTOFMEMORY fails its calls, and is closed, and
// an activation on a waiting one fails with E_OUTOFMEMORY. Connections still to activate are
// held apart, up to their own limit: when more wait, the oldest gets the refusal and is
// closed. One that does not activate in time is closed as well.
#include "platform/opc/OpcTypes.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <thread>
#include <vector>

namespace registry { class Registry; }
namespace win { class Clock; }

namespace opc {

class ServerCore;
class Connection;

class RpcServer {
public:
    // The clock times partial frames and activation; it outlives the server.
    RpcServer(std::shared_ptr<ServerCore> core, const win::Clock& clock);
    ~RpcServer();
    RpcServer(const RpcServer&) = delete;
    RpcServer& operator=(const RpcServer&) = delete;

    // Binds the socket (replacing a stale one nobody listens on); false, with the reason
    // in error, when its folder cannot be trusted, another process serves it or it
    // cannot be made.
    bool listen(const std::filesystem::path& path, std::string& error);
    // Reads "RemotePort" (DWORD) and "RemoteHosts" (text, addresses separated by ';')
    // under HKCR "AppID\{clsid}"; listens on TCP only when both are set. A TCP peer may
    // also ask for the OPC server list of this machine (read from reg).
    void enableRemote(registry::Registry* reg, const CLSID& clsid);
    // Flushes what is queued for each client, closes every connection and joins.
    void stop();
    std::size_t connectionCount() const;
    // The TCP port listened on, 0 when remote nodes are off.
    int remotePort() const { return remotePort_; }

private:
    struct Slot {
        std::shared_ptr<Connection> connection;
        bool activated = false;
    };

    void acceptLoop(int fd, bool remote);
    // Takes the connection in, unless the activated ones fill the limit; may push the
    // oldest waiting one out. Under mutex_.
    std::shared_ptr<Connection> admitLocked(int fd, std::shared_ptr<Connection>& pushedOut);
    // The connection's activation takes a slot: false when the limit is full or the
    // connection is no longer held.
    bool activate(const Connection& connection);
    std::size_t activatedLocked() const;
    bool allowed(const std::string& host) const;
    void reap();
    // Sends the refusal and lets the socket linger until the peer has read it.
    void refuse(int fd);
    void closeLingering(bool all);

    std::shared_ptr<ServerCore> core_;
    const win::Clock& clock_;
    std::filesystem::path path_;
    int listenFd_ = -1;
    int tcpFd_ = -1;
    int remotePort_ = 0;
    int wakeFd_[2] = {-1, -1};
    std::vector<std::string> allowHosts_;
    // Where the machine's server list is read for remote nodes; null: Registry::Default().
    registry::Registry* registry_ = nullptr;
    std::vector<std::thread> acceptors_;
    // A leaf: connections are closed after it is left.
    mutable std::mutex mutex_;
    // In the order accepted.
    std::vector<Slot> connections_;
    // Refused sockets with the time they were refused; only the acceptor thread of the
    // Unix socket closes them (their count is bounded).
    std::vector<std::pair<int, std::uint64_t>> lingering_;
    bool stopping_ = false;
};

} // namespace opc
