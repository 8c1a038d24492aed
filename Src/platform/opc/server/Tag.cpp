#include "platform/opc/server/Tag.h"

#include <algorithm>
#include <array>
#include <cstdint>

CTag::CTag() = default;
CTag::~CTag() = default;

std::mutex& CTag::Mutex() const
{
    // Enough locks that two tags being read or written at the same moment rarely share
    // one; never freed, so a tag that outlives the statics still finds its lock.
    constexpr unsigned kBits = 10;
    static auto* const locks = new std::array<std::mutex, std::size_t{1} << kBits>;
    std::uint64_t key = reinterpret_cast<std::uintptr_t>(this);
    key = (key ^ (key >> 17)) * 0x9E3779B97F4A7C15ull;
    return (*locks)[static_cast<std::size_t>(key >> (64 - kBits))];
}

LONG CTag::AddRef() { return m_nUseCount.fetch_add(1) + 1; }

LONG CTag::Release()
{
    LONG c = m_nUseCount.load();
    while (c > 0 && !m_nUseCount.compare_exchange_weak(c, c - 1)) {
    }
    return c > 0 ? c - 1 : 0;
}

void CTag::UpdateValue(const VARIANT& value, WORD quality, FILETIME timestamp)
{
    auto lock = Lock();
    if (Earlier* e = KeepEarlierLocked(timestamp)) e->value = std::move(m_value);
    m_value = value;
    m_wQuality = quality;
    SetTimestamp(timestamp);
}

void CTag::UpdateQuality(WORD quality, FILETIME timestamp)
{
    auto lock = Lock();
    if (Earlier* e = KeepEarlierLocked(timestamp)) e->value = m_value;
    m_wQuality = quality;
    SetTimestamp(timestamp);
}

CTagState CTag::Snapshot(std::uint64_t* changes) const
{
    std::lock_guard lock(Mutex());
    if (changes) *changes = m_changes.load(std::memory_order_relaxed);
    return CTagState{m_value, m_wQuality, GetTimestamp()};
}

bool CTag::SameAs(const VARIANT& value, WORD quality) const
{
    std::lock_guard lock(Mutex());
    return m_wQuality == quality && m_value == value;
}

CTagState CTag::LookAsOf(std::uint64_t asOf, std::uint64_t until, std::uint64_t& changes,
                         std::optional<HRESULT>& check, bool& later) const
{
    std::lock_guard lock(Mutex());
    changes = m_changes.load(std::memory_order_relaxed);
    if (m_checkedAt == changes) check = m_check;
    else check.reset();
    later = false;
    if (m_history && m_history->count > 0) {
        const History& h = *m_history;
        const Earlier* at = &h.states[h.newest];
        later = at->endedAt > asOf && at->endedAt <= until;
        // The state at asOf began when the one before it ended.
        for (std::size_t k = 1; later && k < h.count; ++k) {
            const Earlier& before = h.states[(h.newest + kEarlierStates - k) % kEarlierStates];
            if (before.endedAt <= asOf) break;
            at = &before;
        }
        if (later) return CTagState{at->value, at->quality, com::fileTimeFromTicks(at->timestamp)};
    }
    return CTagState{m_value, m_wQuality, GetTimestamp()};
}

CTag::Earlier* CTag::KeepEarlierLocked(FILETIME changedAt)
{
    if (!HeldByClientLocked()) {
        m_history.reset();
        return nullptr;
    }
    if (!m_history) m_history = std::make_unique<History>();
    History& h = *m_history;
    h.newest = (h.newest + 1) % kEarlierStates;
    h.count = std::min(h.count + 1, kEarlierStates);
    Earlier& e = h.states[h.newest];
    e.quality = m_wQuality;
    e.timestamp = m_timestamp.load(std::memory_order_relaxed);
    e.endedAt = com::toTicks(changedAt);
    return &e;
}

void CTag::ForgetEarlierLocked()
{
    if (m_history) m_history->count = 0;
}

void CTag::RememberCheck(std::uint64_t changes, HRESULT result) const
{
    std::lock_guard lock(Mutex());
    m_checkedAt = changes;
    m_check = result;
}
