#include "kestrun/model/BitArray.h"

#include "kestrun/model/BitValue.h"
#include "kestrun/model/ItemName.h"

IMPLEMENT_DYNCREATE(CdsBitArray, CdsMemoryArray)
IMPLEMENT_DYNCREATE(CdsBitObject, CdsMemoryObject)

CdsBitArray::CdsBitArray() : CdsMemoryArray(-1)
{
    SetDefaultDataType(BRISANT_BOOL);
}

int CdsBitArray::GetMaxBits() const
{
    if (!m_pParentPoint) return kestrun::kMaxBitCount;
    return kestrun::BitCountOfType(m_pParentPoint->GetDataType());
}

BOOL CdsBitArray::SetParentMemoryObject(CdsMemoryObject* pPoint)
{
    m_pParentPoint = pPoint;
    CdsMemoryArray* block = pPoint ? pPoint->GetParent() : nullptr;
    SetParent(block ? block->GetParent() : nullptr);
    return TRUE;
}

CdsMemoryObject* CdsBitArray::AddBitObject(CdsMemoryObject* pBit, int nIndex)
{
    return AddMemoryObject(nIndex, pBit, TRUE);
}

BOOL CdsBitArray::CreateBitObjects(CdsMemoryObject* pPoint)
{
    m_pParentPoint = pPoint;
    if (CdsMemoryArray* block = pPoint ? pPoint->GetParent() : nullptr) {
        SetName(block->GetName());
        SetAddr(block->GetAddr());
        SetParent(block->GetParent());
    }
    const int count = GetMaxBits();
    if (count < GetMaxMemories()) return TRUE;
    const std::string parentName = pPoint ? pPoint->GetName() : std::string();
    for (int bit = GetSize(); bit < count; ++bit) {
        CdsMemoryObject templ;
        templ.SetPseudoName(parentName, bit, ':');
        CreateMemoryObject(bit, &templ, TRUE);
    }
    SetMaxMemories(count);
    return TRUE;
}

BOOL CdsBitArray::InitBitObjects(CdsMemoryObject* pPoint)
{
    if (CdsMemoryArray* block = pPoint ? pPoint->GetParent() : nullptr) {
        SetReadAllowed(block->IsReadAllowed());
        SetWriteAllowed(block->IsWriteAllowed());
        SetClientReadAccess(block->IsClientReadAccess());
        SetClientWriteAccess(block->IsClientWriteAccess());
    }
    for (int i = 0; i < GetSize(); ++i) {
        if (CdsMemoryObject* bit = GetMemoryObject(i)) InitMemoryObject(i, bit);
    }
    return TRUE;
}

void CdsBitArray::DestroyBitObjects(CdsMemoryObject*)
{
    for (int i = 0; i < GetSize(); ++i) {
        if (GetMemoryObject(i)) DestroyMemoryObject(i);
    }
}

BOOL CdsBitArray::SetOnline(BOOL bOnline, CdsMemoryArray* pArray)
{
    return CdsMemoryArray::SetOnline(bOnline, pArray ? pArray->GetParent() : nullptr);
}

int CdsBitArray::UpdateBitObjects(const _BRISANTDATAVALUE& value, int nType, BOOL bInitial, kestrun::HandlerLink* pHdlr,
                                  const tagTHREADINFO* pLine, BOOL bCommand)
{
    if (!IsDataSupportBit(nType)) return 0;
    std::lock_guard lock(m_updateMutex);
    UpdateBitsLocked(value, nType, bInitial, pHdlr, pLine, bCommand);
    return 1;
}

void CdsBitArray::RefreshFromParent()
{
    std::lock_guard lock(m_updateMutex);
    if (!m_pParentPoint || !m_pParentPoint->IsTouched()) return;
    const int type = m_pParentPoint->GetDataType();
    _BRISANTDATAVALUE value{};
    if (!IsDataSupportBit(type) || !m_pParentPoint->CopyValue(value)) return;
    UpdateBitsLocked(value, type, TRUE, nullptr, nullptr, FALSE);
}

void CdsBitArray::UpdateBitsLocked(const _BRISANTDATAVALUE& value, int nType, BOOL bInitial, kestrun::HandlerLink* pHdlr,
                                   const tagTHREADINFO* pLine, BOOL bCommand)
{
    for (int i = 0; i < GetSize(); ++i) {
        CdsMemoryObject* bit = GetMemoryObject(i);
        if (!bit) continue;
        _BRISANTDATAVALUE bitValue{};
        if (GetBitValue(value, nType, i, bitValue)) bit->UpdateState(bitValue, bInitial, pHdlr, pLine, bCommand);
    }
}

int CdsBitArray::GetBitValue(const _BRISANTDATAVALUE& value, int nType, int nBit, _BRISANTDATAVALUE& out)
{
    return kestrun::ExtractBit(value, nType, nBit, out) ? 1 : 0;
}

BOOL CdsBitArray::IsDataSupportBit(int nType)
{
    return kestrun::TypeCarriesBits(nType) ? TRUE : FALSE;
}

CdsBitObject::CdsBitObject()
{
    SetDataType(BRISANT_BOOL);
}

BOOL CdsBitObject::SetParent(int nBit, CdsMemoryArray* pArray)
{
    auto* bits = dynamic_cast<CdsBitArray*>(pArray);
    if (!bits || !bits->GetParentMemoryObject()) return FALSE;
    if (nBit < 0 || nBit >= bits->GetMaxBits()) return FALSE;
    m_nIndex = nBit;
    m_pParent = pArray;
    if (m_strName.empty())
        m_strName = kestrun::FormatBitName(pArray->GetAddr(), bits->GetParentMemoryObject()->GetIndex(), nBit);
    ApplyNameCase();
    return TRUE;
}

void CdsBitArray::SetTouched(BOOL bTouched)
{
    for (int i = 0; i < GetSize(); ++i) {
        if (CdsMemoryObject* bit = GetMemoryObject(i)) bit->SetTouched(bTouched);
    }
}

// --- the point's side of its bits ---

CdsBitArray* CdsMemoryObject::GetExistingBitArray() const
{
    return static_cast<CdsBitArray*>(m_pBitArray.load(std::memory_order_acquire));
}

CdsBitArray* CdsMemoryObject::GetBitArray()
{
    if (IsBitObject()) return nullptr;
    if (CdsBitArray* bits = GetExistingBitArray()) return bits;
    CdsMemoryArray* made = NewBitArray();
    auto* bits = dynamic_cast<CdsBitArray*>(made);
    if (!bits) {
        if (made) made->Destroy();
        return nullptr;
    }
    bits->CreateBitObjects(this);
    bits->InitBitObjects(this);
    if (m_pParent && m_pParent->IsOnline()) bits->SetOnline(TRUE, m_pParent);
    CdsMemoryArray* first = nullptr;
    {
        std::lock_guard lock(m_valueMutex);
        first = m_pBitArray.load(std::memory_order_relaxed);
        if (!first)
            m_pBitArray.store(bits, std::memory_order_release);
    }
    if (!first)
        NoteChange();
    if (first) {
        // Another thread made the array first.
        bits->Destroy();
        return static_cast<CdsBitArray*>(first);
    }
    // A point whose value never changes again would leave its new bits without
    // a value: they start from the value the point holds. Published first, so
    // a newer value from a line either is the one copied here or follows it.
    bits->RefreshFromParent();
    return bits;
}

CdsMemoryObject* CdsMemoryObject::GetBitObject(int nBit)
{
    if (nBit < 0 || nBit >= kestrun::kMaxBitCount) return nullptr;
    CdsBitArray* bits = GetBitArray();
    if (!bits || nBit >= bits->GetMaxBits()) return nullptr;
    return bits->GetBitObject(nBit);
}

// --- the block's side of its points' bits ---

CdsMemoryObject* CdsMemoryArray::GetMemoryObject(int nIndex, int nBit) const
{
    CdsMemoryObject* point = GetMemoryObject(nIndex);
    return point ? point->GetBitObject(nBit) : nullptr;
}
