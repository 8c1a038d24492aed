#include "platform/opc/Toolkit.h"

#include "platform/opc/Group.h"
#include "platform/opc/RpcServer.h"
#include "platform/opc/ServerCore.h"
#include "platform/opc/ServerObject.h"

#include <chrono>
#include <cstdlib>
#include <unistd.h>

namespace opc {

std::filesystem::path socketFolder()
{
    if (const char* rt = std::getenv("XDG_RUNTIME_DIR"); rt && *rt)
        return std::filesystem::path(rt) / "tessaro" / "opc";
    return std::filesystem::path("/tmp") / ("tessaro-" + std::to_string(::getuid())) / "opc";
}

std::filesystem::path socketPath(const std::filesystem::path& folder, const CLSID& clsid)
{
    return folder / (com::formatGuid(clsid) + ".sock");
}

Toolkit::Toolkit(ToolkitOptions options) : options_(std::move(options)) {}

Toolkit::~Toolkit() { stop(); }

Toolkit& Toolkit::process()
{
    static Toolkit toolkit;
    return toolkit;
}

bool Toolkit::start(const CLSID& clsid, bool)
{
    std::lock_guard lock(mutex_);
    if (running_) return false;
    core_ = std::make_shared<ServerCore>();
    if (options_.wallClock) core_->setWallClock(options_.wallClock);
    core_->startTime = core_->now();
    core_->setCallback(callback_);
    core_->setAccepting(true);
    clsid_ = clsid;
    if (options_.listen) {
        rpc_ = std::make_unique<RpcServer>(core_);
        std::filesystem::path dir = options_.socketDir.empty() ? socketFolder() : options_.socketDir;
        if (!rpc_->listen(socketPath(dir, clsid))) {
            rpc_.reset();
            core_->close();
            core_.reset();
            return false;
        }
        rpc_->enableRemote(options_.registry, clsid);
    }
    running_ = true;
    if (options_.runScheduler) {
        stopScheduler_ = false;
        scheduler_ = std::thread([this, core = core_] { schedulerLoop(core); });
    }
    return true;
}

void Toolkit::setCallback(COPCCallback* cb)
{
    std::lock_guard lock(mutex_);
    if (callback_) callback_->m_toolkit = nullptr;
    callback_ = cb;
    if (cb) cb->m_toolkit = this;
    if (core_) core_->setCallback(cb);
}

bool Toolkit::running() const
{
    std::lock_guard lock(mutex_);
    return running_;
}

void Toolkit::stop(std::u16string_view reason)
{
    std::lock_guard lock(mutex_);
    if (!running_) return;
    running_ = false;
    core_->setAccepting(false);
    // Every client hears about it before its calls start to fail.
    auto servers = core_->servers();
    for (auto& s : servers) s->requestShutdown(reason);
    if (scheduler_.joinable()) {
        {
            std::lock_guard wl(wakeMutex_);
            stopScheduler_ = true;
        }
        wake_.notify_all();
        scheduler_.join();
    }
    core_->waitIdle();
    // Hand every tag back while the callback is still there.
    if (callback_)
        for (auto& s : servers) s->disconnect(callback_);
    servers.clear();
    core_->close();
    if (rpc_) {
        rpc_->stop();
        rpc_.reset();
    }
    if (callback_) callback_->m_toolkit = nullptr;
    callback_ = nullptr;
    core_.reset();
}

HRESULT Toolkit::createServer(IOPCServer** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    std::shared_ptr<ServerCore> core;
    {
        std::lock_guard lock(mutex_);
        if (!running_) return CO_E_SERVER_STOPPING;
        core = core_;
    }
    if (!core->accepting()) return CO_E_SERVER_STOPPING;
    *out = ServerObject::create(core).detach();
    return S_OK;
}

void Toolkit::poll(std::uint64_t nowMs)
{
    std::shared_ptr<ServerCore> core;
    {
        std::lock_guard lock(mutex_);
        core = core_;
    }
    if (!core) return;
    for (auto& g : core->groups()) g->poll(nowMs);
}

DWORD Toolkit::clientCount() const
{
    std::lock_guard lock(mutex_);
    return core_ ? core_->clientCount() : 0;
}

void Toolkit::schedulerLoop(std::shared_ptr<ServerCore> core)
{
    using Clock = std::chrono::steady_clock;
    const auto origin = Clock::now();
    std::unique_lock lock(wakeMutex_);
    while (!stopScheduler_) {
        lock.unlock();
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - origin).count();
        for (auto& g : core->groups()) g->poll(std::uint64_t(ms));
        lock.lock();
        wake_.wait_for(lock, std::chrono::milliseconds(5), [this] { return stopScheduler_; });
    }
}

} // namespace opc
