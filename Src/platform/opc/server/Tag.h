#pragma once
// Base of the application's tags. The toolkit reads a tag to answer client reads and
// subscriptions; the application writes it as its values arrive.
#include "platform/com/HResult.h"
#include "platform/com/Time.h"
#include "platform/com/Variant.h"
#include "platform/win/WinTypes.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

// A snapshot of what a client reads from a tag.
struct CTagState {
    VARIANT value;
    WORD quality = 0;
    FILETIME timestamp{};
};

class CTag {
    // FILETIME ticks; an atomic, so that a new time alone takes no lock. First, on
    // the line a store that only stamps the tag reaches anyway.
    std::atomic<std::uint64_t> m_timestamp{0};

public:
    // The tag's lock for code that changes the members below directly. Whatever is done
    // under it counts as a change of the tag (see ChangeCount).
    class WriteLock {
    public:
        explicit WriteLock(const CTag& tag) : tag_(&tag), lock_(tag.Mutex()) {}
        WriteLock(WriteLock&& o) noexcept : tag_(std::exchange(o.tag_, nullptr)), lock_(std::move(o.lock_)) {}
        WriteLock& operator=(WriteLock&&) = delete;
        ~WriteLock()
        {
            if (tag_ && lock_.owns_lock()) tag_->m_changes.fetch_add(1, std::memory_order_release);
        }

    private:
        const CTag* tag_;
        std::unique_lock<std::mutex> lock_;
    };

    CTag();
    virtual ~CTag();
    CTag(const CTag&) = delete;
    CTag& operator=(const CTag&) = delete;

    // Use count + 1 / - 1 (never below 0). The tag does not delete itself at 0: its
    // owner decides when it goes.
    virtual LONG AddRef();
    virtual LONG Release();

    // Writes value, quality and time stamp together under the tag's lock.
    void UpdateValue(const VARIANT& value, WORD quality, FILETIME timestamp);
    void UpdateQuality(WORD quality, FILETIME timestamp);
    // What a reader sees, taken under the tag's lock; changes, when asked for, is the
    // change count that goes with it.
    CTagState Snapshot(std::uint64_t* changes = nullptr) const;
    // True when the tag holds this value and quality (compared under the lock, no copy).
    bool SameAs(const VARIANT& value, WORD quality) const;
    // For code that sets the members below directly while other threads read.
    WriteLock Lock() const { return WriteLock(*this); }
    // For code that only reads them: it leaves the change count alone (a Lock() taken to
    // read would make every subscription look at the tag again for nothing).
    std::unique_lock<std::mutex> ReadLock() const { return std::unique_lock<std::mutex>(Mutex()); }
    // Grows with every write (and every Lock()); equal counts mean nothing was written
    // in between, so a reader may skip looking at the value.
    std::uint64_t ChangeCount() const { return m_changes.load(std::memory_order_acquire); }
    // How many states before the latest change a tag keeps while a client holds it: a
    // subscription that looks late can make up as many periods.
    static constexpr std::size_t kEarlierStates = 4;
    // For the toolkit: the state as the tag had it at asOf (FILETIME ticks) with its
    // change count, and the callback's read check (ReadTag) when one was made for that
    // count already. When the latest change came after asOf (and not after until, so a
    // clock set back does not count), the state is the one it had then (or the oldest
    // kept) and later is set: a subscription that looks late thus still sends the value
    // of its period, and the newer one with the next.
    CTagState LookAsOf(std::uint64_t asOf, std::uint64_t until, std::uint64_t& changes,
                       std::optional<HRESULT>& check, bool& later) const;
    // Keeps the read check made for a change count, until the tag is written again.
    void RememberCheck(std::uint64_t changes, HRESULT result) const;

    // The time of the value. Set with a new value under Lock(), or alone without any lock
    // when the value held was read again: a new time alone is no change (the change count
    // stays), as subscriptions send changed values only.
    FILETIME GetTimestamp() const { return com::fileTimeFromTicks(m_timestamp.load(std::memory_order_relaxed)); }
    void SetTimestamp(FILETIME timestamp) { m_timestamp.store(com::toTicks(timestamp), std::memory_order_relaxed); }

    // Members in an order that leaves no padding: an application makes one tag per
    // data point, so every byte counts many times over.
    // Guarded by Lock().
    VARIANT m_value;
    // Set by the application before the tag is handed to the toolkit; read-only after.
    VARTYPE m_vtCanonical = VT_EMPTY;
    WORD m_wAccessRights = 1 | 2;  // OPC_READABLE | OPC_WRITEABLE
    // Guarded by Lock().
    WORD m_wQuality = 0;

private:
    mutable HRESULT m_check = S_OK;   // guarded by the tag's lock: the read check made for m_checkedAt

public:
    std::atomic<LONG> m_nUseCount{0};

protected:
    // A state the tag held before a later change, and the time that change carried.
    struct Earlier {
        VARIANT value;
        std::uint64_t timestamp = 0;
        std::uint64_t endedAt = 0;
        WORD quality = 0;
    };
    // For a writer under Lock(), before it changes value or quality with the time given:
    // the record that keeps the state now (quality and time set; the value is left to the
    // caller to move or copy in, and what the record held before is the oldest state,
    // which it may take out), or null while no client holds the tag (use count 0), when
    // nothing is kept.
    Earlier* KeepEarlierLocked(FILETIME changedAt);
    // For a writer under Lock() whose change carries no time.
    void ForgetEarlierLocked();
    // Under the tag's lock: whether a client holds the tag, so that its earlier states
    // are worth keeping. An owner that holds a reference of its own says so here.
    virtual bool HeldByClientLocked() const { return m_nUseCount.load(std::memory_order_relaxed) > 0; }

private:
    // The tag's lock, the innermost of the toolkit: nothing else is taken while it is
    // held, another tag's lock included. So tags share a pool of locks, each taking
    // the one its address picks, instead of each carrying 40 bytes of its own.
    std::mutex& Mutex() const;
    mutable std::atomic<std::uint64_t> m_changes{1};
    // Guarded by the tag's lock: the count the read check above was made for (0: none).
    mutable std::uint64_t m_checkedAt = 0;
    // The earlier states, newest at `newest`, older ones before it (circularly).
    struct History {
        std::array<Earlier, kEarlierStates> states;
        std::size_t newest = 0;
        std::size_t count = 0;
    };
    // Guarded by the tag's lock; made on the first change while a client holds the tag.
    std::unique_ptr<History> m_history;
};
