#include "platform/opc/server/ServerCore.h"

#include "platform/opc/server/Group.h"
#include "platform/opc/server/ServerObject.h"

#include <algorithm>

namespace opc {

ServerCore::Call::~Call()
{
    if (core_) core_->leave();
}

ServerCore::Call ServerCore::enter()
{
    std::lock_guard lock(mutex_);
    if (!accepting_ || closed_ || !callback_) return {};
    ++inFlight_;
    return Call(this, callback_);
}

ServerCore::Call ServerCore::enterTeardown()
{
    std::lock_guard lock(mutex_);
    if (closed_ || !callback_) return {};
    ++inFlight_;
    return Call(this, callback_);
}

void ServerCore::leave()
{
    std::lock_guard lock(mutex_);
    if (--inFlight_ == 0) idle_.notify_all();
}

void ServerCore::setCallback(COPCCallback* cb)
{
    std::lock_guard lock(mutex_);
    if (!closed_) callback_ = cb;
}

void ServerCore::setAccepting(bool on)
{
    std::lock_guard lock(mutex_);
    accepting_ = on && !closed_;
}

bool ServerCore::accepting() const
{
    std::lock_guard lock(mutex_);
    return accepting_;
}

void ServerCore::waitIdle()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return inFlight_ == 0; });
}

void ServerCore::close()
{
    std::unique_lock lock(mutex_);
    accepting_ = false;
    closed_ = true;
    idle_.wait(lock, [this] { return inFlight_ == 0; });
    callback_ = nullptr;
}

void ServerCore::addServer(ServerObject* s)
{
    std::lock_guard lock(mutex_);
    servers_.push_back(s);
}

void ServerCore::removeServer(ServerObject* s)
{
    std::lock_guard lock(mutex_);
    std::erase(servers_, s);
}

void ServerCore::addGroup(Group* g)
{
    std::lock_guard lock(mutex_);
    groups_.push_back(g);
}

void ServerCore::removeGroup(Group* g)
{
    std::lock_guard lock(mutex_);
    std::erase(groups_, g);
}

std::vector<ComPtr<ServerObject>> ServerCore::servers()
{
    std::lock_guard lock(mutex_);
    std::vector<ComPtr<ServerObject>> out;
    for (ServerObject* s : servers_)
        if (s->tryAddRef()) out.push_back(ComPtr<ServerObject>::attach(s));
    return out;
}

std::vector<ComPtr<Group>> ServerCore::groups()
{
    std::lock_guard lock(mutex_);
    std::vector<ComPtr<Group>> out;
    out.reserve(groups_.size());
    for (Group* g : groups_)
        if (g->tryAddRef()) out.push_back(ComPtr<Group>::attach(g));
    return out;
}

DWORD ServerCore::clientCount() const
{
    std::lock_guard lock(mutex_);
    return DWORD(servers_.size());
}

DWORD ServerCore::nextTransactionId()
{
    DWORD id = nextTransaction_.fetch_add(1);
    if (id == 0) id = nextTransaction_.fetch_add(1);
    return id;
}

FILETIME ServerCore::defaultNow()
{
    FILETIME ft{};
    CoFileTimeNow(&ft);
    return ft;
}

} // namespace opc
