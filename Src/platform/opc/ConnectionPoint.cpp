#include "platform/opc/ConnectionPoint.h"

#include "platform/opc/Enumerators.h"

namespace opc {

HRESULT ConnectionPoint::QueryInterface(const IID& iid, void** out)
{
    return answerQuery(out, [&] {
        return offer<IConnectionPoint>(iid, IID_IConnectionPoint, this, out) ||
               offer<IConnectionPoint>(iid, IID_IUnknown, this, out);
    });
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid)
{
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    return container_.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(out));
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** out)
{
    if (!out) return E_POINTER;
    std::vector<CONNECTDATA> list;
    {
        std::lock_guard lock(mutex_);
        for (auto& [cookie, s] : sinks_) list.push_back({s, cookie});
    }
    *out = ConnectionsEnum::make(std::move(list), IID_IEnumConnections).detach();
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    ComPtr<IUnknown> typed;
    if (FAILED(sink->QueryInterface(iid_, typed.putVoid())) || !typed) return CONNECT_E_CANNOTCONNECT;
    std::unique_lock<std::mutex> outer;
    if (guard_) outer = std::unique_lock<std::mutex>(*guard_);
    {
        std::lock_guard lock(mutex_);
        if (limit_ != 0 && sinks_.size() >= limit_) return CONNECT_E_ADVISELIMIT;
        DWORD c = nextCookie_++;
        if (nextCookie_ == 0) nextCookie_ = 1;
        sinks_.emplace(c, std::move(typed));
        *cookie = c;
    }
    if (onAdvise_) onAdvise_();
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie)
{
    ComPtr<IUnknown> gone;
    {
        std::lock_guard lock(mutex_);
        auto it = sinks_.find(cookie);
        if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
        gone = std::move(it->second);
        sinks_.erase(it);
    }
    return S_OK;  // the sink is released outside the lock
}

bool ConnectionPoint::empty() const
{
    std::lock_guard lock(mutex_);
    return sinks_.empty();
}

void ConnectionPoint::clear()
{
    std::map<DWORD, ComPtr<IUnknown>> gone;
    std::lock_guard lock(mutex_);
    gone.swap(sinks_);
}

} // namespace opc
