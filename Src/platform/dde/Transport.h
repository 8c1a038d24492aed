#pragma once
// The DDE transport between processes: a TCP listener on 127.0.0.1, a free
// port and a random token published in the owner-only endpoint file, and one
// thread that serves every client with poll(). That thread only calls the
// toolkit's client entries, which queue the work for the application thread's
// idle call; the answers come back through the toolkit's message signal. The
// application thread never touches a socket. docs/dde-protocol.md describes the
// lines.
//
// Bounds: connections, conversations per connection, bytes waiting to be sent
// per connection (a client that stops reading is dropped and its conversations
// ended), the time to present the token, and the time given at stop to hand
// the last lines (close notices) to the clients.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/dde/BrisantToolkit.h"

namespace win {
class Clock;
}

namespace dde {

struct TransportOptions {
    std::filesystem::path folder;              // of the endpoint file; empty: EndpointFolder()
    std::size_t maxConnections = 32;           // that have shown the token
    // Connections still to show the token are held apart: when more wait, the
    // oldest goes, so nobody without the token can take a client's place.
    std::size_t maxUnauthenticated = 64;
    std::size_t maxConversations = 64;         // per connection
    std::size_t maxOutputBytes = 256 * 1024;   // per connection, waiting to be sent
    std::uint64_t tokenTimeoutMs = 5000;       // from accepting to the token
    std::uint64_t flushTimeoutMs = 1000;       // at stop, for the last lines
    int sendBufferBytes = 0;                   // SO_SNDBUF of accepted sockets; 0: the system's
    const win::Clock* clock = nullptr;         // null: the system clock
};

struct TransportCounters {
    std::size_t accepted = 0;   // connections taken in
    std::size_t denied = 0;     // closed for a missing or wrong token, or busy, or pushed out waiting for it
    std::size_t slow = 0;       // dropped for not reading their lines
    std::size_t open = 0;       // connections now
};

class Transport : private Signal {
public:
    // Ownership: the toolkit must outlive the transport; the server id is the
    // toolkit's for the server whose topics the clients reach.
    Transport(Toolkit& toolkit, DWORD server, std::string service, TransportOptions options = {});
    ~Transport() override;
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // Listens, publishes the endpoint file and starts the thread. False, with
    // the reason, when any step fails (nothing is left running then).
    bool Start(std::string* error = nullptr);
    // Removes the endpoint file, gives the clients at most flushTimeoutMs for
    // the lines already waiting (the close notices after the toolkit's exit),
    // then ends every conversation still open, closes all and joins the thread.
    void Stop();

    std::uint16_t Port() const { return m_port; }
    const std::filesystem::path& EndpointFile() const { return m_endpointFile; }
    TransportCounters Counters() const;

private:
    struct Connection;
    struct Route {
        Connection* connection;
        std::uint32_t id;   // the client's conversation id
    };
    using Handler = void (Transport::*)(Connection&, std::uint32_t, const std::vector<std::string>&);
    struct Verb;
    static const Verb* FindVerb(std::string_view name);

    void Raise() override;   // a message for a client was posted
    void Run();
    void Collect();
    void Wait(int timeoutMs);
    void Accept();
    std::size_t AuthenticatedCount() const;
    void Read(Connection& connection);
    void Write(Connection& connection);
    void HandleLine(Connection& connection, std::string_view line);
    void Send(Connection& connection, std::string line);
    void Drop(Connection& connection);
    void SweepDropped();
    void FlushAll();
    int NextTimeout() const;

    void OnConnect(Connection& c, std::uint32_t id, const std::vector<std::string>& fields);
    void OnDisconnect(Connection& c, std::uint32_t id, const std::vector<std::string>& fields);
    void OnRequest(Connection& c, std::uint32_t id, const std::vector<std::string>& fields);
    void OnAdvise(Connection& c, std::uint32_t id, const std::vector<std::string>& fields);
    void OnUnadvise(Connection& c, std::uint32_t id, const std::vector<std::string>& fields);
    void OnPoke(Connection& c, std::uint32_t id, const std::vector<std::string>& fields);
    void OnExecute(Connection& c, std::uint32_t id, const std::vector<std::string>& fields);
    // The toolkit's conversation of the client's id, or 0 after an error line.
    DWORD Conversation(Connection& c, std::uint32_t id);

    Toolkit& m_toolkit;
    const DWORD m_server;
    const std::string m_service;
    const TransportOptions m_options;
    const win::Clock& m_clock;

    // Set by Start before the thread runs and the signal is set; closed by Stop
    // after both are gone.
    int m_listenFd = -1;
    int m_wakeFd = -1;
    std::uint16_t m_port = 0;
    std::string m_token;
    std::filesystem::path m_endpointFile;

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    // Only the transport thread touches these.
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::unordered_map<DWORD, Route> m_routes;   // toolkit conversation -> client

    std::atomic<std::size_t> m_accepted{0};
    std::atomic<std::size_t> m_denied{0};
    std::atomic<std::size_t> m_slow{0};
    std::atomic<std::size_t> m_open{0};
};

} // namespace dde
