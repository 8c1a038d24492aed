#pragma once
// Client end of the OPC transport: calls wait for their replies (any thread may call),
// at most the call time-out; server notifications reach the client's sinks through the
// client's dispatcher, never inside a call that waits.
//
// A lost link fails every waiting and later call with RPC_S_CALL_FAILED (or with the
// server's refusal, E_OUTOFMEMORY, when it was over its connection limit) and posts the
// link-lost notice; a call whose reply does not come in time fails with RPC_E_TIMEOUT
// and leaves the link as it is (so does one its waiter cancels, with RPC_E_CALL_CANCELED).
// No thread of the client ever waits for the server
// without a bound, but its reader, which the client's end wakes.
#include "platform/opc/wire/Frame.h"
#include "platform/opc/Interfaces.h"
#include "platform/opc/wire/Protocol.h"

#include <chrono>
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

namespace win { class Clock; class Dispatcher; }

namespace opc {

// Runs a task on the client's dispatcher thread.
using PostTask = std::function<void(std::function<void()>)>;
// Sink calls on the application thread of a dispatcher (which must outlive the client).
PostTask postTo(win::Dispatcher& dispatcher);

// Waits for replies in the caller's place on the threads it serves: a client's window
// thread keeps painting meanwhile, and its user decides, each time the call time-out
// passes, whether to wait again (a message filter's pending time-out). Its calls are
// made without locks of the client held.
class CallWaiter {
public:
    virtual ~CallWaiter() = default;
    // Whether the calling thread's calls wait here.
    virtual bool Serves() const = 0;
    // Between slices of a wait (every few ms) with the time waited so far; false cancels
    // the call.
    virtual bool Waiting(std::uint64_t waitedMs) = 0;
    // The time-out passed without a reply: true waits one more period, false cancels.
    virtual bool WaitAgain() = 0;
    // The wait is over (called once after any Waiting).
    virtual void Done() = 0;
};

struct ClientOptions {
    // How long a call waits for its reply (the test client's message filter waits 60 s).
    std::chrono::milliseconds callTimeout{60000};
    // Null: a call waits the call time-out and fails with RPC_E_TIMEOUT.
    std::shared_ptr<CallWaiter> waiter;
    // Posted to the dispatcher once when the link is lost while the client still uses it
    // (the server died, stopped serving or refused the connection), with the cause; an
    // application treats it like a shutdown request.
    std::function<void(HRESULT)> linkLost;
    // Time of the call time-outs; null: the system's.
    const win::Clock* clock = nullptr;
};

class RpcClient {
public:
    // A client on a connected socket (owned). Without post, the client runs its own
    // dispatcher thread for the sinks.
    RpcClient(int fd, PostTask post, ClientOptions options = {});
    ~RpcClient();
    RpcClient(const RpcClient&) = delete;
    RpcClient& operator=(const RpcClient&) = delete;

    // A connected socket, or -1 with the cause in *why: E_ACCESSDENIED when the socket is
    // served by another user, RPC_S_SERVER_UNAVAILABLE when nobody serves it, RPC_E_TIMEOUT
    // when a server there takes no connection within the time-out (its queue of
    // connections stays full: it is stopped or hung).
    static int connectUnix(const std::filesystem::path& path,
                           std::chrono::milliseconds timeout = std::chrono::milliseconds(10000),
                           HRESULT* why = nullptr);
    static int connectTcp(const std::string& host, int port,
                          std::chrono::milliseconds timeout = std::chrono::milliseconds(10000), HRESULT* why = nullptr);

    // Sends a call and waits for its reply; reply gets the payload after the HRESULT.
    HRESULT call(Method m, DWORD objectId, WireWriter& args, std::vector<BYTE>& reply);
    // One-way: the proxy of objectId is gone.
    void release(DWORD objectId);
    DWORD addSink(ComPtr<IUnknown> sink);
    void removeSink(DWORD id);
    bool connected() const;
    // Ends the link from this side (no notice): every waiting call fails.
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
    // The link is gone for `why`: waiting calls fail with it, the notice goes out once.
    void lose(HRESULT why);
    // Writes a whole frame within the call time-out; a frame cut short ends the link.
    bool write(const std::vector<BYTE>& frame);
    struct TaskQueue;
    static void dispatchLoop(std::shared_ptr<TaskQueue> queue);

    int fd_;
    PostTask post_;
    ClientOptions options_;
    const win::Clock& clock_;
    // A leaf: sinks and posts are called after it is left.
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::map<DWORD, Pending*> pending_;
    std::map<DWORD, ComPtr<IUnknown>> sinks_;
    DWORD nextCall_ = 1;
    DWORD nextSink_ = 1;
    bool linkUp_ = true;
    HRESULT lostWhy_ = RPC_S_CALL_FAILED;  // what calls fail with once the link is gone
    bool noticeSent_ = false;  // the link-lost notice went out, or the client ended the link
    // One writer at a time; taken without mutex_ held.
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
