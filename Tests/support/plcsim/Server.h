#pragma once
// The simulated PLC on a TCP port: one thread per connection, faults on demand.
#include "support/plcsim/Fault.h"
#include "support/plcsim/Memory.h"
#include "support/plcsim/Protocol.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace plcsim {

struct ServerOptions {
    std::string bindAddress = "127.0.0.1";
    std::uint16_t port = 0;                // 0: an ephemeral port, see Server::port()
    FrameKind frame = FrameKind::Auto;
    Encoding encoding = Encoding::Auto;
    bool verbose = false;                  // log every request and answer
    std::function<void(const std::string&)> log;  // default: stderr
    // Told of every complete request and its end code, on the connection's thread.
    std::function<void(const RequestInfo&, std::uint16_t endCode)> onRequest;
};

class Server {
public:
    explicit Server(ServerOptions options = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and starts listening; false with `error` set when that fails.
    bool start(std::string* error = nullptr);
    // Closes every connection and joins every thread. Safe to call twice.
    void stop();
    std::uint16_t port() const { return port_; }

    Memory& memory() { return memory_; }

    // Applies `fault` to the next `count` answers; `connection` 0 means any connection,
    // otherwise the connection of that number (1 for the first one accepted).
    void injectFault(const Fault& fault, int count = 1, int connection = 0);
    void clearFaults();

    // While set, the port is not listening: connecting fails (connection refused).
    // Connections already open are kept. Returns once the listener has followed.
    void setRefuseConnections(bool refuse);
    // While set, new connections are accepted and closed at once.
    void setDropNewConnections(bool drop) { dropNew_ = drop; }
    // Closes every open connection (the server keeps listening).
    void closeConnections();

    std::size_t requestCount() const;      // complete requests received
    std::size_t acceptedCount() const;     // connections accepted (refused ones included)
    std::size_t openConnections() const;
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    bool waitForAccepted(std::size_t count, std::chrono::milliseconds timeout) const;
    std::vector<RequestInfo> requests() const;  // the latest requests, oldest first

private:
    struct Connection;
    struct PendingFault { Fault fault; int count; int connection; };

    void acceptLoop();
    bool openListener(std::string* error);
    void serve(Connection& connection);
    bool respond(Connection& connection, const Reply& reply, const std::optional<Fault>& fault);
    std::optional<Fault> takeFault(int connection);
    void record(const RequestInfo& info);
    void reap(bool all);
    void logLine(const std::string& line) const;
    bool waitDelay(std::chrono::milliseconds delay);

    ServerOptions options_;
    Memory memory_;
    int listenFd_ = -1;
    int wakeFd_ = -1;     // readable once stopping
    int controlFd_ = -1;  // readable when the listener should follow refuse_
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> dropNew_{false};
    bool refuse_ = false;     // wanted state, under mutex_
    bool listening_ = false;  // actual state, under mutex_
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    std::list<std::unique_ptr<Connection>> connections_;
    std::deque<PendingFault> faults_;
    std::vector<RequestInfo> requests_;
    std::size_t requestCount_ = 0;
    std::size_t accepted_ = 0;
};

} // namespace plcsim
