#pragma once
// Client end of the OPC transport: calls wait for their replies (any thread may call);
// server notifications reach the client's sinks through the client's dispatcher, never
// inside a call that waits. A lost link fails every waiting and later call with
// RPC_S_CALL_FAILED.
#include "platform/opc/Frame.h"
#include "platform/opc/Interfaces.h"
#include "platform/opc/Protocol.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace win { class Dispatcher; }

namespace opc {

// Runs a task on the client's dispatcher thread.
using PostTask = std::function<void(std::function<void()>)>;
// Sink calls on the application thread of a dispatcher (which must outlive the client).
PostTask postTo(win::Dispatcher& dispatcher);

class RpcClient {
public:
    // A client on a connected socket. Without post, the client runs its own dispatcher
    // thread for the sinks.
    RpcClient(int fd, PostTask post);
    ~RpcClient();
    RpcClient(const RpcClient&) = delete;
    RpcClient& operator=(const RpcClient&) = delete;

    static int connectUnix(const std::filesystem::path& path);
    static int connectTcp(const std::string& host, int port);

    // Sends a call and waits for its reply; reply gets the payload after the HRESULT.
    HRESULT call(Method m, DWORD objectId, WireWriter& args, std::vector<BYTE>& reply);
    // One-way: the proxy of objectId is gone.
    void release(DWORD objectId);
    DWORD addSink(ComPtr<IUnknown> sink);
    void removeSink(DWORD id);
    bool connected() const;
    // Ends the link: every waiting call fails.
    void disconnect();

private:
    struct Pending {
        bool done = false;
        HRESULT hr = S_OK;
        std::vector<BYTE> payload;
    };
    void readLoop();
    void notify(const Frame& f);
    void post(std::function<void()> task);
    struct TaskQueue;
    static void dispatchLoop(std::shared_ptr<TaskQueue> queue);

    int fd_;
    PostTask post_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::map<DWORD, Pending*> pending_;
    std::map<DWORD, ComPtr<IUnknown>> sinks_;
    DWORD nextCall_ = 1;
    DWORD nextSink_ = 1;
    bool linkUp_ = true;
    std::mutex writeMutex_;
    std::thread reader_;
    // Own dispatcher when none is given. Its thread shares the queue, so the client may
    // go away inside a sink call on that thread.
    std::shared_ptr<TaskQueue> tasks_;
    std::thread dispatcher_;
};

// A server object proxy on a new client (the Activate call).
HRESULT activateServer(std::shared_ptr<RpcClient> client, const IID& iid, IUnknown** out);

} // namespace opc
