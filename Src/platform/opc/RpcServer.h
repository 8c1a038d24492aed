#pragma once
// Serves a toolkit's server objects to other processes: one listening Unix socket per
// class (owner-only), one server object per accepted connection, and, when the class's
// registry settings allow it, a TCP listener that answers only hosts on an allow-list.
#include "platform/opc/OpcTypes.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace registry { class Registry; }

namespace opc {

class ServerCore;
class Connection;

class RpcServer {
public:
    explicit RpcServer(std::shared_ptr<ServerCore> core);
    ~RpcServer();
    RpcServer(const RpcServer&) = delete;
    RpcServer& operator=(const RpcServer&) = delete;

    // Binds the socket (replacing a stale one nobody listens on); false when another
    // process serves it or it cannot be made.
    bool listen(const std::filesystem::path& path);
    // Reads "RemotePort" (DWORD) and "RemoteHosts" (text, addresses separated by ';')
    // under HKCR "AppID\{clsid}"; listens on TCP only when both are set.
    void enableRemote(registry::Registry* reg, const CLSID& clsid);
    // Flushes what is queued for each client, closes every connection and joins.
    void stop();
    std::size_t connectionCount() const;
    // The TCP port listened on, 0 when remote nodes are off.
    int remotePort() const { return remotePort_; }

private:
    void acceptLoop(int fd, bool remote);
    bool allowed(const std::string& host) const;
    void reap();

    std::shared_ptr<ServerCore> core_;
    std::filesystem::path path_;
    int listenFd_ = -1;
    int tcpFd_ = -1;
    int remotePort_ = 0;
    int wakeFd_[2] = {-1, -1};
    std::vector<std::string> allowHosts_;
    std::vector<std::thread> acceptors_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Connection>> connections_;
    bool stopping_ = false;
};

} // namespace opc
