#include "kestrun/model/MemoryTag.h"

#include <cstring>
#include <string_view>

#include "kestrun/model/ItemName.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "platform/dde/BrisantBlocks.h"

CfsMemoryTag::CfsMemoryTag(CdsMemoryObject* pPoint) : m_pPoint(pPoint)
{
    // Nothing is readable or writable until the point sets the rights.
    m_wAccessRights = 0;
}

bool CfsMemoryTag::IsUnheldLocked() const
{
    return m_nUseCount.load() == 0 && !m_pPoint && (!m_pNames || m_pNames->treeRefs == 0);
}

CfsMemoryTag::Names& CfsMemoryTag::NamesLocked()
{
    if (!m_pNames)
        m_pNames = std::make_unique<Names>();
    return *m_pNames;
}

void CfsMemoryTag::DeleteIfUnheld(bool unheld)
{
    if (unheld)
        delete this;
}

LONG CfsMemoryTag::AddRef()
{
    auto lock = Lock();
    return ++m_nUseCount;
}

LONG CfsMemoryTag::Release()
{
    bool unheld = false;
    LONG count = 0;
    {
        auto lock = Lock();
        if (m_nUseCount.load() > 0) {
            count = --m_nUseCount;
            unheld = IsUnheldLocked();
        }
    }
    DeleteIfUnheld(unheld);
    return count;
}

void CfsMemoryTag::ReleaseFromPoint()
{
    bool unheld = false;
    {
        auto lock = Lock();
        m_pPoint = nullptr;
        if (m_nUseCount.load() > 0)
            --m_nUseCount;
        unheld = IsUnheldLocked();
    }
    DeleteIfUnheld(unheld);
}

CdsMemoryObject* CfsMemoryTag::GetPoint() const
{
    auto lock = ReadLock();
    return m_pPoint;
}

void CfsMemoryTag::Unbind()
{
    auto lock = Lock();
    m_pPoint = nullptr;
}

void CfsMemoryTag::AddTreeRef()
{
    auto lock = Lock();
    ++NamesLocked().treeRefs;
}

void CfsMemoryTag::ReleaseTreeRef()
{
    bool unheld = false;
    {
        auto lock = Lock();
        if (m_pNames && m_pNames->treeRefs > 0)
            --m_pNames->treeRefs;
        unheld = IsUnheldLocked();
    }
    DeleteIfUnheld(unheld);
}

void CfsMemoryTag::SetCanonicalType(VARTYPE vt)
{
    auto lock = Lock();
    if (m_vtCanonical == VT_EMPTY)
        m_vtCanonical = vt;
}

VARTYPE CfsMemoryTag::GetCanonicalType() const
{
    auto lock = ReadLock();
    return m_vtCanonical;
}

void CfsMemoryTag::SetAccessRights(WORD wRights)
{
    auto lock = Lock();
    m_wAccessRights = wRights;
}

WORD CfsMemoryTag::GetAccessRights() const
{
    auto lock = ReadLock();
    return m_wAccessRights;
}

void CfsMemoryTag::SetQuality(WORD wQuality)
{
    auto lock = Lock();
    ForgetEarlierLocked();
    m_wQuality = wQuality;
}

void CfsMemoryTag::UpdateValue(VARIANT&& value, FILETIME ftNow)
{
    // The old value leaves through `value`, freed after the lock is given back (or is
    // kept as an earlier state, and the oldest kept leaves instead).
    auto lock = Lock();
    if (Earlier* e = KeepEarlierLocked(ftNow)) std::swap(e->value, m_value);
    std::swap(m_value, value);
    SetTimestamp(ftNow);
}

void CfsMemoryTag::UpdateValue(int nType, const _BRISANTDATAVALUE& value, FILETIME ftNow)
{
    if (dde::IsTextType(nType)) {
        // A text is converted before the lock is taken.
        VARIANT text;
        DataValueToVariant(nType, value, text);
        UpdateValue(std::move(text), ftNow);
        return;
    }
    // A number goes straight into the value held: no copy, nothing to free.
    auto lock = Lock();
    if (Earlier* e = KeepEarlierLocked(ftNow)) e->value = m_value;
    DataValueToVariant(nType, value, m_value);
    SetTimestamp(ftNow);
}

CfsMemoryTag::Snapshot CfsMemoryTag::Read() const
{
    auto lock = ReadLock();
    return Snapshot{m_value, m_wQuality, GetTimestamp()};
}

void CfsMemoryTag::StoreNamesLocked(const std::string& strShortName, std::string&& strItemId)
{
    Names& names = NamesLocked();
    const std::size_t item = strItemId.size();
    names.text = std::move(strItemId);
    if (item >= strShortName.size() &&
        names.text.compare(item - strShortName.size(), strShortName.size(), strShortName) == 0) {
        names.shortAt = static_cast<std::uint32_t>(item - strShortName.size());
    } else {
        names.shortAt = static_cast<std::uint32_t>(item);
        names.text += strShortName;
    }
    names.itemLength = static_cast<std::uint32_t>(item);
    names.text.shrink_to_fit();
}

void CfsMemoryTag::SetNames(const std::string& strShortName, const std::string& strItemId)
{
    std::string itemId = kestrun::RewriteBracketedItem(strItemId);
    auto lock = Lock();
    StoreNamesLocked(strShortName, std::move(itemId));
}

void CfsMemoryTag::SetNamesFromBranch(const std::string& strBranchPath, const std::string& strLeaf)
{
    auto lock = Lock();
    StoreNamesLocked(strLeaf, strBranchPath + strLeaf);
}

std::string CfsMemoryTag::GetShortName() const
{
    auto lock = ReadLock();
    return m_pNames ? m_pNames->text.substr(m_pNames->shortAt) : std::string();
}

std::string CfsMemoryTag::GetItemId() const
{
    auto lock = ReadLock();
    return m_pNames ? m_pNames->text.substr(0, m_pNames->itemLength) : std::string();
}

std::string CfsMemoryTag::GetKeyName() const
{
    // Under the lock: the point cannot let go of the tag (and so cannot go) meanwhile.
    auto lock = ReadLock();
    return m_pPoint ? m_pPoint->GetName() : std::string();
}

void ApplyPointTagType(CdsMemoryObject* pPoint)
{
    CfsMemoryTag* tag = pPoint ? pPoint->GetMemoryTag() : nullptr;
    if (!tag)
        return;
    tag->SetCanonicalType(GetCanonicalVarType(pPoint->GetDataType()));
    WORD rights = 0;
    if (CdsMemoryArray* block = pPoint->GetParent()) {
        if (block->IsClientReadAccess())
            rights |= 1;
        if (block->IsClientWriteAccess() && pPoint->IsWritableByDevice())
            rights |= 2;
    }
    tag->SetAccessRights(rights);
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
    // Each setter replaces whatever out held.
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
        } else {
            out.clear();
        }
        break;
    default: out.clear(); break;
    }
}
