#include "kestrun/model/MemoryTag.h"

#include <cstring>
#include <string_view>

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

void CfsMemoryTag::SetCanonicalType(VARTYPE vt)
{
    std::lock_guard lock(m_mutex);
    if (m_vtCanonical == VT_EMPTY)
        m_vtCanonical = vt;
}

VARTYPE CfsMemoryTag::GetCanonicalType() const
{
    std::lock_guard lock(m_mutex);
    return m_vtCanonical;
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

void CfsMemoryTag::UpdateValue(VARIANT&& value, FILETIME ftNow)
{
    // The old value leaves through `value`, freed after the lock is given back.
    std::lock_guard lock(m_mutex);
    std::swap(m_state.value, value);
    m_state.ftTimestamp = ftNow;
}

CfsMemoryTag::Snapshot CfsMemoryTag::Read() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}

VARTYPE GetCanonicalVarType(int nType)
{
    static constexpr VARTYPE kPlain[] = {VT_BOOL, VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_R4, VT_R8};
    if (nType >= BRISANT_BOOL && nType <= BRISANT_DOUBLE)
        return kPlain[nType];
    if (nType == BRISANT_STRING || nType == BRISANT_FIXEDSTRING)
        return VT_BSTR;
    if (nType >= BRISANT_BOOLARRAY && nType <= BRISANT_DOUBLEARRAY)
        return static_cast<VARTYPE>(VT_ARRAY | kPlain[nType - BRISANT_BOOLARRAY]);
    if (nType == BRISANT_STRINGARRAY || nType == BRISANT_FIXEDSTRINGARRAY)
        return static_cast<VARTYPE>(VT_ARRAY | VT_BSTR);
    return VT_EMPTY;
}

void DataValueToVariant(int nType, const _BRISANTDATAVALUE& value, VARIANT& out)
{
    out.clear();
    switch (nType) {
    case BRISANT_BOOL: out.setBool(value.boolVal != 0); break;
    case BRISANT_CHAR: out.setI1(static_cast<CHAR>(value.cVal)); break;
    case BRISANT_BYTE: out.setUI1(value.bVal); break;
    case BRISANT_SHORT: out.setI2(value.iVal); break;
    case BRISANT_WORD: out.setUI2(value.wVal); break;
    case BRISANT_LONG: out.setI4(value.lVal); break;
    case BRISANT_DWORD: out.setUI4(value.dwVal); break;
    case BRISANT_FLOAT: out.setR4(value.fltVal); break;
    case BRISANT_DOUBLE: out.setR8(value.dblVal); break;
    case BRISANT_STRING: out.setString(value.pszVal ? std::string_view(value.pszVal) : std::string_view()); break;
    case BRISANT_FIXEDSTRING:
        if (!dde::CountedEmpty(value.pcsVal)) {
            const char* chars = dde::CountedChars(value.pcsVal);
            out.setString(std::string_view(chars, strnlen(chars, static_cast<std::size_t>(dde::CountedLength(value.pcsVal)))));
        }
        break;
    default: break;
    }
}
