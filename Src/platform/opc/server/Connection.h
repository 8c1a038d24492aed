#pragma once
// One client connection of the transport, server side: a reader thread that runs the
// client's calls one after another on the objects of this connection's table, and a
// writer thread that sends replies and notifications from a bounded queue.
//
// The reader stores a frame's bytes as they arrive and drops a peer whose frame is not
// complete within the limit's time-out, and one that has not activated its server object
// within the limit's activation time-out. A sink call waits while the queue holds more than
// a little (so a client that reads slowly gets fewer, newer updates instead of a growing
// backlog); it never waits on another client.
#include "platform/opc/wire/Frame.h"
#include "platform/opc/Interfaces.h"
#include "platform/opc/wire/Protocol.h"
#include "platform/opc/wire/Wire.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace registry { class Registry; }
namespace win { class Clock; }

namespace opc {

class ServerCore;
class ServerObject;

class Connection : public std::enable_shared_from_this<Connection> {
public:
    // Asked on the reader thread before the first server object is made; false refuses the
    // activation with E_OUTOFMEMORY.
    using Admission = std::function<bool(const Connection&)>;

    // Owns fd. The clock (monotonic ms) times partial frames and activation, from now; it
    // outlives the connection. An empty admission admits every activation.
    Connection(int fd, std::shared_ptr<ServerCore> core, const win::Clock& clock, Admission admit = {});
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void start();
    // Before start(): the connection may also activate the OPC server list of this
    // machine, read from reg (null: Registry::Default()).
    void offerServerList(registry::Registry* reg);
    // Reads no further call, lets the one running reply, sends what is queued (bounded
    // by the socket's send time-out), closes, joins.
    void close();
    // The client went away or broke the protocol. Takes no lock.
    bool finished() const;
    // Queues a whole frame (header included); false when the connection is closing or
    // its queue is full (the connection is then dropped: a client that does not read
    // loses its link, not the server its memory).
    bool send(std::vector<BYTE> frame);
    // The same for a sink's notification: first waits while more than kRoomBytes are
    // queued, unless the connection is closing.
    bool notify(std::vector<BYTE> frame);

    // Bytes queued at most before a connection is dropped.
    static constexpr std::size_t kMaxQueuedBytes = 32u << 20;
    // Bytes queued above which a notification waits.
    static constexpr std::size_t kRoomBytes = 1u << 20;

    // A client call being carried out on an object of the table (ConnectionCalls.cpp).
    struct Call;

private:
    void readLoop();
    void writeLoop();
    // False when the frame ends the connection.
    bool handleFrame(const Frame& f);
    void handleCall(const Frame& f);
    HRESULT dispatch(Method m, DWORD objectId, WireReader& in, WireWriter& out);
    // The table has room for n more objects.
    bool roomFor(std::size_t n) const;
    DWORD addObject(IUnknown* obj);  // takes one reference
    ComPtr<IUnknown> makeSink(const IID& iid, DWORD sinkId);
    void markClosingLocked();
    // No server object yet, and the activation time-out is over.
    bool activationOverdue(std::uint64_t nowMs) const;

    int fd_;
    std::shared_ptr<ServerCore> core_;
    const win::Clock& clock_;
    const std::uint64_t acceptedMs_;
    const Admission admit_;
    // Reader thread only.
    std::map<DWORD, ComPtr<IUnknown>> objects_;
    DWORD nextObject_ = 1;
    ComPtr<IOPCServer> server_;
    // The server list may be activated (set before start()), and was.
    bool offersList_ = false;
    registry::Registry* listRegistry_ = nullptr;
    bool listActivated_ = false;
    // The writer queue; a leaf: nothing else is taken while it is held.
    mutable std::mutex mutex_;
    std::condition_variable cv_;    // the writer waits for frames
    std::condition_variable room_;  // notifications wait for room
    std::deque<std::vector<BYTE>> queue_;
    std::size_t queued_ = 0;
    bool closing_ = false;
    std::atomic<bool> readerDone_{false};  // read without the lock (finished())
    std::atomic<bool> draining_{false};  // set by close(): no further call is read
    std::thread reader_;
    std::thread writer_;
};

} // namespace opc
