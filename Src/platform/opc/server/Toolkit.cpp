#include "platform/opc/server/Toolkit.h"

#include "platform/opc/server/Group.h"
#include "platform/opc/server/RpcServer.h"
#include "platform/opc/server/ServerCore.h"
#include "platform/opc/server/ServerObject.h"
#include "platform/win/Clock.h"
#include "platform/win/DebugOutput.h"

#include <cstdlib>
#include <unistd.h>

namespace opc {

Toolkit::Toolkit(ToolkitOptions options) : options_(std::move(options)) {}

Toolkit::~Toolkit()
{
    stop();
    std::lock_guard lock(mutex_);
    if (callback_) callback_->m_toolkit = nullptr;
}

Toolkit& Toolkit::process()
{
    static Toolkit toolkit;
    return toolkit;
}

bool Toolkit::start(const CLSID& clsid, bool)
{
    std::lock_guard lock(mutex_);
    if (running()) return false;
    auto core = std::make_shared<ServerCore>();
    const win::Clock* clock = options_.clock ? options_.clock : &win::SystemClock::instance();
    core->setWallClock([clock] { return com::toFileTime(clock->wallTime()); });
    core->startTime = core->now();
    core->limits = options_.limits;
    core->version = options_.version;
    core->threaded = options_.runScheduler;
    core->clock = clock;
    core->setCallback(callback_);
    core->setAccepting(true);
    std::unique_ptr<RpcServer> rpc;
    std::string error;
    if (options_.listen) {
        rpc = std::make_unique<RpcServer>(core, *clock);
        std::filesystem::path dir = options_.socketDir.empty() ? socketFolder() : options_.socketDir;
        if (!rpc->listen(socketPath(dir, clsid), error)) {
            rpc.reset();
            core->close();
            win::OutputDebugString("OPC server " + com::formatGuid(clsid) + " not started: " + error);
            std::lock_guard state(stateMutex_);
            startError_ = error;
            return false;
        }
        rpc->enableRemote(options_.registry, clsid);
    }
    {
        std::lock_guard state(stateMutex_);
        clsid_ = clsid;
        core_ = core;
        rpc_ = std::move(rpc);
        running_ = true;
        startError_.clear();
    }
    return true;
}

void Toolkit::setCallback(COPCCallback* cb)
{
    std::lock_guard lock(mutex_);
    if (callback_) callback_->m_toolkit = nullptr;
    callback_ = cb;
    if (cb) cb->m_toolkit = this;
    if (auto core = currentCore()) {
        core->setCallback(cb);
        // Clients that came while no callback was there are counted now, so the
        // last one leaving is seen (and "close on no client" acts) like any other.
        if (cb)
            for (const ComPtr<ServerObject>& server : core->servers())
                server->announce();
    }
}

std::string Toolkit::startError() const
{
    std::lock_guard state(stateMutex_);
    return startError_;
}

bool Toolkit::running() const
{
    std::lock_guard state(stateMutex_);
    return running_;
}

std::shared_ptr<ServerCore> Toolkit::currentCore() const
{
    std::lock_guard state(stateMutex_);
    return core_;
}

void Toolkit::stop(std::u16string_view reason)
{
    std::lock_guard lock(mutex_);
    std::shared_ptr<ServerCore> core;
    {
        std::lock_guard state(stateMutex_);
        if (!running_) return;
        running_ = false;
        core = core_;
    }
    core->setAccepting(false);
    // Every client hears about it before its calls start to fail.
    auto servers = core->servers();
    for (auto& s : servers) s->requestShutdown(reason);
    core->waitIdle();
    // Hand every tag back while the callback is still there: the clients' groups, and
    // the removed groups a client still holds.
    for (auto& s : servers) s->disconnect(callback_);
    servers.clear();
    for (auto& g : core->groups()) g->teardown(callback_);
    core->close();
    std::unique_ptr<RpcServer> rpc;
    {
        std::lock_guard state(stateMutex_);
        rpc = std::move(rpc_);
        core_.reset();
    }
    if (rpc) rpc->stop();
    if (callback_) callback_->m_toolkit = nullptr;
    callback_ = nullptr;
}

HRESULT Toolkit::createServer(IOPCServer** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    auto core = currentCore();
    if (!core || !core->accepting()) return CO_E_SERVER_STOPPING;
    *out = ServerObject::create(core).detach();
    return S_OK;
}

void Toolkit::poll(std::uint64_t nowMs)
{
    auto core = currentCore();
    if (!core) return;
    for (auto& s : core->servers()) s->poll(nowMs);
}

DWORD Toolkit::clientCount() const
{
    auto core = currentCore();
    return core ? core->clientCount() : 0;
}

int Toolkit::remotePort() const
{
    std::lock_guard state(stateMutex_);
    return rpc_ ? rpc_->remotePort() : 0;
}

} // namespace opc
