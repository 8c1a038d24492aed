#pragma once
// The OPC DA server toolkit: made once per served class. start() opens it to clients
// (in this process through createServer, other processes through the class's socket),
// setCallback() hands it the application's callback, and stop() sends every client the
// shutdown request, refuses new calls, waits for calls in flight, hands back every tag
// and joins its threads: once it returns the callback is never used again.
#include "platform/opc/Interfaces.h"
#include "platform/opc/server/OPCCallback.h"
#include "platform/opc/server/ServerLimits.h"
#include "platform/opc/wire/SocketFolder.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace registry { class Registry; }
namespace win { class Clock; }

namespace opc {

class ServerCore;
class RpcServer;

struct ToolkitOptions {
    // True: each client's deliveries run on a thread of its own, which sleeps until one
    // of the client's groups is due (on a clock that moves only when told to, until it is
    // moved). False: no thread; the owner calls poll(), which delivers on the caller's
    // thread (tests, with their own clock).
    bool runScheduler = true;
    // Serve other processes on the class's socket.
    bool listen = true;
    // Folder of the class sockets; empty: socketFolder().
    std::filesystem::path socketDir;
    // Where the remote-node settings of the class are read; null: Registry::Default().
    registry::Registry* registry = nullptr;
    // Monotonic time of the clients' workers and the transport, wall time of the status;
    // null: the system's.
    const win::Clock* clock = nullptr;
    // What one client may hold; how long a begun frame and activation may take.
    ServerLimits limits;
    // The version the status reports: the program's own.
    ServerVersion version = programVersion();
};

class Toolkit {
public:
    explicit Toolkit(ToolkitOptions options = {});
    ~Toolkit();  // stops
    Toolkit(const Toolkit&) = delete;
    Toolkit& operator=(const Toolkit&) = delete;

    // False when already started or the class socket cannot be opened (startError()
    // tells why, and the debugger output has it too).
    bool start(const CLSID& clsid, bool serviceMode);
    std::string startError() const;
    // All later address-space work goes to cb (not owned). Null detaches.
    void setCallback(COPCCallback* cb);
    void stop(std::u16string_view reason = u"The server is shutting down.");
    bool running() const;
    CLSID clsid() const
    {
        std::lock_guard state(stateMutex_);
        return clsid_;
    }

    // A server object for one client of this process.
    HRESULT createServer(IOPCServer** out);
    // Runs queued transactions and due subscription updates of every client and hands
    // them to the clients' sinks on this thread (nowMs: the clock's monotonic ms). For an
    // owner without workers; not from inside a sink.
    void poll(std::uint64_t nowMs);
    DWORD clientCount() const;
    // The TCP port remote nodes reach this class on; 0 while remote nodes are off.
    int remotePort() const;

    // The process's toolkit, the one behind the FS entry points.
    static Toolkit& process();

private:
    std::shared_ptr<ServerCore> currentCore() const;

    ToolkitOptions options_;
    // start, stop and setCallback one at a time; never held while asking for the state
    // below, so a callback or sink may ask for it while stop() waits. Outermost of the
    // toolkit's locks.
    std::mutex mutex_;
    COPCCallback* callback_ = nullptr;
    mutable std::mutex stateMutex_;  // held only to read or swap the members below
    std::shared_ptr<ServerCore> core_;
    CLSID clsid_{};
    bool running_ = false;
    std::string startError_;
    std::unique_ptr<RpcServer> rpc_;
};


} // namespace opc
