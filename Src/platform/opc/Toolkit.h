#pragma once
// The OPC DA server toolkit: made once per served class. start() opens it to clients
// (in this process through createServer, other processes through the class's socket),
// setCallback() hands it the application's callback, and stop() sends every client the
// shutdown request, refuses new calls, waits for calls in flight, hands back every tag
// and joins its threads: once it returns the callback is never used again.
#include "platform/opc/Interfaces.h"
#include "platform/opc/OPCCallback.h"

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace registry { class Registry; }
namespace win { class Clock; }

namespace opc {

class ServerCore;
class RpcServer;

struct ToolkitOptions {
    // False: no thread of its own; the owner calls poll() (tests, with their own clock).
    bool runScheduler = true;
    // Serve other processes on the class's socket.
    bool listen = true;
    // Folder of the class sockets; empty: socketFolder().
    std::filesystem::path socketDir;
    // Where the remote-node settings of the class are read; null: Registry::Default().
    registry::Registry* registry = nullptr;
    // Monotonic time of the scheduler and wall time of the status; null: the system's.
    const win::Clock* clock = nullptr;
};

class Toolkit {
public:
    explicit Toolkit(ToolkitOptions options = {});
    ~Toolkit();  // stops
    Toolkit(const Toolkit&) = delete;
    Toolkit& operator=(const Toolkit&) = delete;

    // False when already started or the class socket cannot be opened.
    bool start(const CLSID& clsid, bool serviceMode);
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
    // Runs queued transactions and due subscription updates (nowMs: the clock's
    // monotonic ms). The scheduler thread calls it every few milliseconds.
    void poll(std::uint64_t nowMs);
    DWORD clientCount() const;
    // The TCP port remote nodes reach this class on; 0 while remote nodes are off.
    int remotePort() const;

    // The process's toolkit, the one behind the FS entry points.
    static Toolkit& process();

private:
    void schedulerLoop(std::shared_ptr<ServerCore> core, const win::Clock& clock);
    std::shared_ptr<ServerCore> currentCore() const;

    ToolkitOptions options_;
    // start, stop and setCallback one at a time; never held while asking for the state
    // below, so a callback or sink may ask for it while stop() waits.
    std::mutex mutex_;
    COPCCallback* callback_ = nullptr;
    mutable std::mutex stateMutex_;  // held only to read or swap the members below
    std::shared_ptr<ServerCore> core_;
    CLSID clsid_{};
    bool running_ = false;
    std::unique_ptr<RpcServer> rpc_;
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool stopScheduler_ = false;
    std::thread scheduler_;
};

// Folder of the class sockets: $XDG_RUNTIME_DIR/tessaro/opc, or /tmp/tessaro-<uid>/opc
// when XDG_RUNTIME_DIR is unset.
std::filesystem::path socketFolder();
std::filesystem::path socketPath(const std::filesystem::path& folder, const CLSID& clsid);

} // namespace opc
