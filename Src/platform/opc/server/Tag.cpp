#include "platform/opc/server/Tag.h"

CTag::CTag() = default;
CTag::~CTag() = default;

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
    m_value = value;
    m_wQuality = quality;
    SetTimestamp(timestamp);
}

void CTag::UpdateQuality(WORD quality, FILETIME timestamp)
{
    auto lock = Lock();
    m_wQuality = quality;
    SetTimestamp(timestamp);
}

CTagState CTag::Snapshot(std::uint64_t* changes) const
{
    std::lock_guard lock(m_lock);
    if (changes) *changes = m_changes.load(std::memory_order_relaxed);
    return CTagState{m_value, m_wQuality, GetTimestamp()};
}

bool CTag::SameAs(const VARIANT& value, WORD quality) const
{
    std::lock_guard lock(m_lock);
    return m_wQuality == quality && m_value == value;
}

CTagState CTag::Look(std::uint64_t& changes, std::optional<HRESULT>& check) const
{
    std::lock_guard lock(m_lock);
    changes = m_changes.load(std::memory_order_relaxed);
    if (m_checkedAt == changes) check = m_check;
    else check.reset();
    return CTagState{m_value, m_wQuality, GetTimestamp()};
}

void CTag::RememberCheck(std::uint64_t changes, HRESULT result) const
{
    std::lock_guard lock(m_lock);
    m_checkedAt = changes;
    m_check = result;
}
