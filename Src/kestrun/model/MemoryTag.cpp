#include "kestrun/model/MemoryTag.h"

#include <cstring>

#include "platform/dde/BrisantBlocks.h"

CfsMemoryTag::CfsMemoryTag(CdsMemoryObject* pPoint) : m_pPoint(pPoint) {}

long CfsMemoryTag::AddRef()
{
    std::lock_guard lock(m_mutex);
    return ++m_nUseCount;
}

long CfsMemoryTag::Release()
{
    bool orphan = false;
    long count = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_nUseCount > 0) {
            count = --m_nUseCount;
            orphan = count == 0 && !m_pPoint;
        }
    }
    if (orphan)
        delete this;
    return count;
}

void CfsMemoryTag::ReleaseFromPoint()
{
    bool last = false;
    {
        std::lock_guard lock(m_mutex);
        m_pPoint = nullptr;
        if (m_nUseCount > 0)
            --m_nUseCount;
        last = m_nUseCount == 0;
    }
    if (last)
        delete this;
}

CdsMemoryObject* CfsMemoryTag::GetPoint() const
{
    std::lock_guard lock(m_mutex);
    return m_pPoint;
}

void CfsMemoryTag::SetCanonicalType(int nDataType)
{
    std::lock_guard lock(m_mutex);
    if (m_nCanonicalType == BRISANT_NOTYPE)
        m_nCanonicalType = nDataType;
}

int CfsMemoryTag::GetCanonicalType() const
{
    std::lock_guard lock(m_mutex);
    return m_nCanonicalType;
}

void CfsMemoryTag::SetAccessRights(WORD wRights)
{
    std::lock_guard lock(m_mutex);
    m_wAccessRights = wRights;
}

WORD CfsMemoryTag::GetAccessRights() const
{
    std::lock_guard lock(m_mutex);
    return m_wAccessRights;
}

void CfsMemoryTag::SetQuality(WORD wQuality)
{
    std::lock_guard lock(m_mutex);
    m_state.wQuality = wQuality;
}

void CfsMemoryTag::UpdateValue(int nType, const _BRISANTDATAVALUE& value, ULONGLONG ftNow)
{
    // The text is copied before the lock is taken, so readers never wait on an allocation.
    std::string text;
    int stored = nType;
    if (nType == BRISANT_STRING) {
        if (value.pszVal)
            text = value.pszVal;
    } else if (nType == BRISANT_FIXEDSTRING) {
        if (dde::CountedEmpty(value.pcsVal))
            stored = BRISANT_NOTYPE;
        else
            text.assign(dde::CountedChars(value.pcsVal),
                        strnlen(dde::CountedChars(value.pcsVal), static_cast<std::size_t>(dde::CountedLength(value.pcsVal))));
    } else if (nType < BRISANT_BOOL || nType > BRISANT_DOUBLE) {
        stored = BRISANT_NOTYPE;
    }
    std::lock_guard lock(m_mutex);
    m_state.nType = stored;
    m_state.value.ullVal = dde::IsTextType(stored) || stored == BRISANT_NOTYPE ? 0 : value.ullVal;
    m_state.strText.swap(text);
    m_state.ftTimestamp = ftNow;
}

CfsMemoryTag::Snapshot CfsMemoryTag::Read() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}
