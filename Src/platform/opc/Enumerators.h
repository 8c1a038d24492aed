#pragma once
// Enumerators over a snapshot taken when they are made (OPC enumerators do not follow
// later changes). Clones share the snapshot and copy the position.
#include "platform/opc/Interfaces.h"

#include <memory>
#include <mutex>
#include <vector>

namespace opc {

template <typename I, typename T>
class SnapshotEnum final : public UnknownOf<I> {
public:
    static ComPtr<I> make(std::vector<T> items, const IID& iid)
    {
        return ComPtr<I>(new SnapshotEnum(std::make_shared<const std::vector<T>>(std::move(items)), 0, iid));
    }

    HRESULT Next(ULONG count, std::vector<T>& out) override
    {
        out.clear();
        std::lock_guard lock(mutex_);
        while (out.size() < count && pos_ < items_->size()) out.push_back((*items_)[pos_++]);
        return out.size() == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override
    {
        std::lock_guard lock(mutex_);
        std::size_t left = items_->size() - pos_;
        pos_ += std::min<std::size_t>(left, count);
        return left >= count ? S_OK : S_FALSE;
    }
    HRESULT Reset() override
    {
        std::lock_guard lock(mutex_);
        pos_ = 0;
        return S_OK;
    }
    HRESULT Clone(I** out) override
    {
        if (!out) return E_POINTER;
        std::lock_guard lock(mutex_);
        *out = new SnapshotEnum(items_, pos_, this->interfaceId());
        (*out)->AddRef();
        return S_OK;
    }

private:
    SnapshotEnum(std::shared_ptr<const std::vector<T>> items, std::size_t pos, const IID& iid)
        : UnknownOf<I>(iid), items_(std::move(items)), pos_(pos) {}
    ~SnapshotEnum() override = default;

    std::mutex mutex_;  // a leaf: guards pos_
    std::shared_ptr<const std::vector<T>> items_;
    std::size_t pos_;
};

using StringEnum = SnapshotEnum<IEnumString, std::u16string>;
using UnknownEnum = SnapshotEnum<IEnumUnknown, ComPtr<IUnknown>>;
using GuidEnum = SnapshotEnum<IEnumGUID, GUID>;
using ItemAttributesEnum = SnapshotEnum<IEnumOPCItemAttributes, OPCITEMATTRIBUTES>;
using ConnectionsEnum = SnapshotEnum<IEnumConnections, CONNECTDATA>;
using ConnectionPointsEnum = SnapshotEnum<IEnumConnectionPoints, ComPtr<IConnectionPoint>>;

// Reads everything an enumerator still has.
template <typename I, typename T>
HRESULT drain(I* e, std::vector<T>& out, ULONG batch = 64)
{
    out.clear();
    std::vector<T> part;
    for (;;) {
        HRESULT hr = e->Next(batch, part);
        if (FAILED(hr)) return hr;
        for (auto& x : part) out.push_back(std::move(x));
        if (hr != S_OK || part.empty()) return S_OK;
    }
}

} // namespace opc
