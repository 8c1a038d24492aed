#pragma once
// State shared by a toolkit, its server objects and their groups. Server objects and
// groups keep it alive, so a client that still holds one after the toolkit stopped gets
// CO_E_SERVER_STOPPING instead of reaching freed memory.
#include "platform/opc/OPCCallback.h"
#include "platform/opc/Unknown.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

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
    // The same into a vector the caller keeps, so the scheduler does not allocate per pass.
    void groups(std::vector<ComPtr<Group>>& out);
    DWORD clientCount() const;

    DWORD nextTransactionId();
    FILETIME now() const { return wallNow_ ? wallNow_() : defaultNow(); }
    void setWallClock(std::function<FILETIME()> f) { wallNow_ = std::move(f); }
    FILETIME startTime{};
    std::atomic<std::uint64_t> lastUpdateTicks{0};
    std::mutex browseMutex;  // one client at a time walks the shared browser

private:
    static FILETIME defaultNow();
    void leave();

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
