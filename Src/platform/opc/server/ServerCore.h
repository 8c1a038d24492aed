#pragma once
// State shared by a toolkit, its server objects and their groups. Server objects and
// groups keep it alive, so a client that still holds one after the toolkit stopped gets
// CO_E_SERVER_STOPPING instead of reaching freed memory.
//
// Lock order of the toolkit, outermost first: a lock may be held while taking one
// further down the list, never one further up.
//   1 Toolkit::mutex_ (start, stop, setCallback; stop calls sinks and the callback
//     under it, so neither may call start, stop or setCallback)
//   2 ServerObject::pollMutex_, then Group::deliveryMutex_ (one poll of a client at a
//     time; the client's sinks are called under them, with nothing below held)
//   3 ServerCore::browseMutex
//   4 ServerObject::mutex_
//   5 Group::mutex_ (the callback's slots are called under it)
//   6 ConnectionTables::mutex, ConnectionPoint::mutex_ (the point's guard is the
//     group's lock, 5), the callback lock (COPCCallback::Lock, taken by the application
//     inside the callback's slots)
//   7 leaves, nothing taken under them: ServerCore::mutex_, Toolkit::stateMutex_,
//     CTag's lock, ClientWorker's state, SnapshotEnum::mutex_, the
//     transport's locks (Connection::mutex_, RpcServer::mutex_, RpcClient::mutex_ and
//     writeMutex_, ProxyBase::sinkMutex_)
// A clock moved by hand (win::FakeClock) calls its watchers under its own lock, which is
// thus taken before a ClientWorker's state.
// The callback may read the toolkit's state from inside a slot (fsGetServerCount takes
// Toolkit::stateMutex_ and ServerCore::mutex_: leaves).
#include "platform/opc/server/OPCCallback.h"
#include "platform/opc/server/ServerLimits.h"
#include "platform/opc/Unknown.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace win { class Clock; }

namespace opc {

class Group;
class ServerObject;

class ServerCore {
public:
    // Entry to the callback for one client call. False (no callback) once the toolkit
    // refuses calls; stop() waits until every entry has been left.
    class Call {
    public:
        Call() = default;
        Call(Call&& o) noexcept : core_(std::exchange(o.core_, nullptr)), cb_(o.cb_) {}
        Call& operator=(Call&&) = delete;
        ~Call();
        explicit operator bool() const noexcept { return cb_ != nullptr; }
        COPCCallback* operator->() const noexcept { return cb_; }
        COPCCallback* get() const noexcept { return cb_; }

    private:
        friend class ServerCore;
        Call(ServerCore* core, COPCCallback* cb) : core_(core), cb_(cb) {}
        ServerCore* core_ = nullptr;
        COPCCallback* cb_ = nullptr;
    };

    // For client calls: refused while not accepting.
    Call enter();
    // For tearing down a connection: allowed until stop has finished with the callback.
    Call enterTeardown();

    void setCallback(COPCCallback* cb);
    void setAccepting(bool on);
    bool accepting() const;
    // Waits for every entry to be left, then forgets the callback for good.
    void close();
    void waitIdle();

    void addServer(ServerObject* s);
    void removeServer(ServerObject* s);
    void addGroup(Group* g);
    void removeGroup(Group* g);
    // Referenced copies of what is registered now (objects being destroyed are skipped).
    std::vector<ComPtr<ServerObject>> servers();
    std::vector<ComPtr<Group>> groups();
    DWORD clientCount() const;

    DWORD nextTransactionId();
    FILETIME now() const { return wallNow_ ? wallNow_() : defaultNow(); }
    void setWallClock(std::function<FILETIME()> f) { wallNow_ = std::move(f); }
    // Set before the first client comes, read-only after.
    FILETIME startTime{};
    ServerLimits limits;
    ServerVersion version;
    // True: every client has a worker thread for its deliveries, which sleeps until its
    // groups are due on this clock; false: the owner's poll() delivers on its own thread.
    bool threaded = false;
    const win::Clock* clock = nullptr;
    std::atomic<std::uint64_t> lastUpdateTicks{0};
    // One client at a time walks the shared browser; before the server objects' locks.
    std::mutex browseMutex;

private:
    static FILETIME defaultNow();
    void leave();

    // A leaf: held only to read or change the members below.
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    COPCCallback* callback_ = nullptr;
    bool accepting_ = false;
    bool closed_ = false;
    int inFlight_ = 0;
    std::vector<ServerObject*> servers_;
    std::vector<Group*> groups_;
    std::atomic<DWORD> nextTransaction_{1};
    std::function<FILETIME()> wallNow_;
};

} // namespace opc
