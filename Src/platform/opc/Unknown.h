#pragma once
// Reference-counted interfaces queried by interface id, in the COM manner: a smart
// pointer that holds one reference, and the one home of the QueryInterface, AddRef and
// Release code the objects share.
#include "platform/com/Guid.h"
#include "platform/com/HResult.h"
#include "platform/opc/OpcTypes.h"
#include "platform/win/WinTypes.h"

#include <atomic>
#include <utility>

// Every interface derives from IUnknown. QueryInterface hands out a new reference
// (E_NOINTERFACE and *out = nullptr when the object lacks the interface); Release frees
// the object when the count reaches 0 and returns the new count.
struct IUnknown {
    virtual HRESULT QueryInterface(const IID& iid, void** out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

namespace opc {

// Holds one reference. attach() adopts a reference the caller already owns (the result
// of QueryInterface or of an out parameter).
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    explicit ComPtr(T* p) noexcept : p_(p) { if (p_) p_->AddRef(); }
    ComPtr(const ComPtr& o) noexcept : p_(o.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <typename U>
    ComPtr(const ComPtr<U>& o) noexcept : p_(o.get()) { if (p_) p_->AddRef(); }
    ~ComPtr() { reset(); }
    ComPtr& operator=(ComPtr o) noexcept { std::swap(p_, o.p_); return *this; }

    static ComPtr attach(T* p) noexcept { ComPtr r; r.p_ = p; return r; }
    T* detach() noexcept { return std::exchange(p_, nullptr); }
    void reset() noexcept { if (T* p = std::exchange(p_, nullptr)) p->Release(); }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // For out parameters: releases what is held and gives the slot.
    T** put() noexcept { reset(); return &p_; }
    void** putVoid() noexcept { reset(); return reinterpret_cast<void**>(&p_); }

    // Queries another interface; null when the object lacks it.
    template <typename U>
    ComPtr<U> as(const IID& iid) const
    {
        ComPtr<U> r;
        if (p_) p_->QueryInterface(iid, r.putVoid());
        return r;
    }

private:
    T* p_ = nullptr;
};

// The reference count of an object. tryAddRef refuses an object whose count has
// already reached 0, so a registry that lists objects without owning them never
// revives one that is being destroyed.
class RefCount {
public:
    ULONG add() noexcept { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG release() noexcept { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }
    // Drops one reference; lastGone runs (and deletes the object) when it was the last.
    template <typename F>
    ULONG release(F&& lastGone)
    {
        ULONG c = release();
        if (c == 0) lastGone();
        return c;
    }
    bool tryAdd() noexcept
    {
        ULONG c = count_.load(std::memory_order_relaxed);
        while (c != 0)
            if (count_.compare_exchange_weak(c, c + 1, std::memory_order_acq_rel)) return true;
        return false;
    }
    ULONG value() const noexcept { return count_.load(std::memory_order_relaxed); }

private:
    std::atomic<ULONG> count_{0};
};

// Stores the reference for QueryInterface when iid matches.
template <typename I, typename Self>
bool offer(const IID& iid, const IID& want, Self* self, void** out)
{
    if (iid != want) return false;
    I* p = self;
    p->AddRef();
    *out = p;
    return true;
}

// The frame of every QueryInterface: E_POINTER without a slot, else *out is cleared and
// offers() (a chain of offer calls) fills it; E_NOINTERFACE when none matched.
template <typename Offers>
HRESULT answerQuery(void** out, Offers&& offers)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    return offers() ? S_OK : E_NOINTERFACE;
}

// IUnknown of an object with one interface I, answered for iid and IUnknown; the object
// deletes itself with its last reference.
template <typename I>
class UnknownOf : public I {
public:
    HRESULT QueryInterface(const IID& iid, void** out) override
    {
        return answerQuery(out, [&] {
            return offer<I>(iid, iid_, this, out) || offer<I>(iid, IID_IUnknown, this, out);
        });
    }
    ULONG AddRef() override { return refs_.add(); }
    ULONG Release() override { return refs_.release([this] { delete this; }); }

protected:
    explicit UnknownOf(const IID& iid) : iid_(iid) {}
    virtual ~UnknownOf() = default;
    const IID& interfaceId() const { return iid_; }

private:
    RefCount refs_;
    IID iid_;
};

} // namespace opc
