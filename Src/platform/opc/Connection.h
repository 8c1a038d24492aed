#pragma once
// One client connection of the transport, server side: a reader thread that runs the
// client's calls one after another on the objects of this connection's table, and a
// writer thread that sends replies and notifications from a bounded queue, so a sink
// call never waits for the client.
#include "platform/opc/Frame.h"
#include "platform/opc/Interfaces.h"
#include "platform/opc/Protocol.h"
#include "platform/opc/Wire.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace opc {

class ServerCore;
class ServerObject;

class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(int fd, std::shared_ptr<ServerCore> core);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void start();
    // Sends what is queued (bounded by the socket's send time-out), closes, joins.
    void close();
    // The client went away or broke the protocol.
    bool finished() const;
    // Queues a frame; false when the connection is closing or its queue is full (the
    // connection is then dropped: a client that does not read loses its link, not the
    // server its memory).
    bool send(const Frame& f);

    // Bytes queued at most before a connection is dropped.
    static constexpr std::size_t kMaxQueuedBytes = 32u << 20;

private:
    void readLoop();
    void writeLoop();
    void handleCall(const Frame& f);
    HRESULT dispatch(Method m, DWORD objectId, WireReader& in, WireWriter& out);
    HRESULT dispatchServer(Method m, IUnknown* obj, WireReader& in, WireWriter& out);
    HRESULT dispatchGroup(Method m, IUnknown* obj, WireReader& in, WireWriter& out);
    DWORD addObject(IUnknown* obj);  // takes one reference
    ComPtr<IUnknown> makeSink(const IID& iid, DWORD sinkId);

    int fd_;
    std::shared_ptr<ServerCore> core_;
    // Reader thread only.
    std::map<DWORD, ComPtr<IUnknown>> objects_;
    DWORD nextObject_ = 1;
    ComPtr<IOPCServer> server_;
    // Writer queue.
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::vector<BYTE>> queue_;
    std::size_t queued_ = 0;
    bool closing_ = false;
    bool readerDone_ = false;
    std::thread reader_;
    std::thread writer_;
};

} // namespace opc
