#pragma once
// A connection point owned by its container: its references are the container's, so it
// lives exactly as long as the container does.
#include "platform/opc/Interfaces.h"

#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace opc {

class ConnectionPoint final : public IConnectionPoint {
public:
    // limit 0: any number of sinks. With a guard, a new sink and what onAdvise does for it
    // happen together under it, so the container's own work under that lock sees both or
    // neither.
    ConnectionPoint(IUnknown& container, const IID& iid, std::size_t limit, std::function<void()> onAdvise = {},
                    std::mutex* guard = nullptr)
        : container_(container), iid_(iid), limit_(limit), onAdvise_(std::move(onAdvise)), guard_(guard) {}

    HRESULT QueryInterface(const IID& iid, void** out) override;
    ULONG AddRef() override { return container_.AddRef(); }
    ULONG Release() override { return container_.Release(); }
    HRESULT GetConnectionInterface(IID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) override;
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT Unadvise(DWORD cookie) override;
    HRESULT EnumConnections(IEnumConnections** out) override;

    const IID& iid() const { return iid_; }
    bool empty() const;
    void clear();
    // The sinks advised now, each queried for T.
    template <typename T>
    std::vector<ComPtr<T>> sinks() const
    {
        std::lock_guard lock(mutex_);
        std::vector<ComPtr<T>> out;
        for (auto& [cookie, s] : sinks_) out.push_back(ComPtr<T>(static_cast<T*>(s.get())));
        return out;
    }

private:
    IUnknown& container_;
    IID iid_;
    std::size_t limit_;
    std::function<void()> onAdvise_;  // runs after a sink was added, outside the lock
    std::mutex* guard_;               // taken before the lock below, never after it
    // Innermost but for a tag's lock: nothing of the toolkit is called while it is held.
    mutable std::mutex mutex_;
    std::map<DWORD, ComPtr<IUnknown>> sinks_;  // each holds the sink's iid_ interface
    DWORD nextCookie_ = 1;
};

} // namespace opc
