#include "kestrun/model/MemoryVariant.h"

#include "kestrun/model/ItemName.h"
#include "kestrun/model/MemoryArray.h"

IMPLEMENT_DYNCREATE(CdsMemoryVariant, CdsMemoryObject)

namespace {

// The points of a block from the base index on, read as value cells.
class BlockItems : public kestrun::VariantItemSource {
public:
    BlockItems(const CdsMemoryArray& block, int baseIndex) : m_block(block), m_baseIndex(baseIndex) {}
    bool Item(int offset, _BRISANTDATAVALUE& cell) const override
    {
        const CdsMemoryObject* point = m_block.GetMemoryObject(m_baseIndex + offset);
        if (!point) return false;
        cell = point->GetValue();
        return true;
    }

private:
    const CdsMemoryArray& m_block;
    int m_baseIndex;
};

} // namespace

CdsMemoryVariant::CdsMemoryVariant()
{
    SetSystemObject(TRUE);
}

CdsMemoryVariant::CdsMemoryVariant(const std::string& strItem, const std::string& strType)
{
    SetSystemObject(TRUE);
    SetVariant(strItem, strType, -1);
}

void CdsMemoryVariant::SetVariant(const std::string& strItem, const std::string& strType, int nBaseIndex)
{
    std::lock_guard lock(m_setupMutex);
    if (IsReady()) {
        int unbound = -1;
        m_nBaseIndex.compare_exchange_strong(unbound, nBaseIndex);
        return;
    }
    m_type = kestrun::ParseVariantTypeCode(strType);
    m_nBaseIndex = nBaseIndex;
    SetName(strItem);
    SetDataType(m_type.storageType);
    SetTagType();
    m_bReady.store(true, std::memory_order_release);
}

CdsMemoryObject* CdsMemoryVariant::FindBaseItem() const
{
    CdsMemoryArray* block = GetParent();
    if (!block) return nullptr;
    if (m_nBaseIndex >= 0) return block->GetMemoryObject(m_nBaseIndex);
    return block->FindMemoryObjectByKey(GetName());
}

BOOL CdsMemoryVariant::UpdateValue(kestrun::HandlerLink* pHdlr, const tagTHREADINFO* pLine)
{
    CdsMemoryArray* block = GetParent();
    CdsMemoryObject* base = FindBaseItem();
    if (!block || !base) return FALSE;
    const BlockItems items(*block, base->GetIndex());
    std::lock_guard lock(m_textMutex);
    _BRISANTDATAVALUE value{};
    if (!kestrun::ReadVariantValue(m_type, block->GetDefaultDataType(), items, value, m_text)) return FALSE;
    return UpdateState(value, FALSE, pHdlr, pLine, FALSE);
}

char* CdsMemoryVariant::GetCommandQueryString(const _BRISANTDATAVALUE& value, int nLine, BOOL bFlag)
{
    if (!m_type.IsValid() || m_type.IsReadOnly()) return nullptr;
    BOOL built = FALSE;
    if (m_type.packedCode == BRISANT_BCD) {
        _BRISANTDATAVALUE bcd{};
        if (!kestrun::EncodeBcdWord(value.wVal, bcd.wVal)) return nullptr;
        built = GetCopyCommandQueryString(bcd, nLine, bFlag);
    } else if (m_type.storageType == BRISANT_STRING) {
        built = GetUpsizeCommandQueryString(value, nLine, bFlag);
    } else {
        const CdsMemoryArray* block = GetParent();
        switch (kestrun::ChooseVariantAccess(m_type.size, block ? block->GetDefaultDataType() : BRISANT_NOTYPE)) {
        case kestrun::VariantAccess::Downsize: built = GetDownsizeCommandQueryString(value, nLine, bFlag); break;
        case kestrun::VariantAccess::Upsize: built = GetUpsizeCommandQueryString(value, nLine, bFlag); break;
        case kestrun::VariantAccess::Copy: built = GetCopyCommandQueryString(value, nLine, bFlag); break;
        }
    }
    return built ? FillCommandQueryString(nLine) : nullptr;
}

void CdsMemoryVariant::DeleteContents()
{
    CdsMemoryObject::DeleteContents();
}

CdsMemoryObject& CdsMemoryVariant::operator=(const CdsMemoryObject& src)
{
    if (const auto* variant = dynamic_cast<const CdsMemoryVariant*>(&src)) return *this = *variant;
    return CdsMemoryObject::operator=(src);
}

CdsMemoryVariant& CdsMemoryVariant::operator=(const CdsMemoryVariant& src)
{
    if (this == &src) return *this;
    CdsMemoryObject::operator=(src);
    m_type = src.m_type;
    m_nBaseIndex = src.m_nBaseIndex.load();
    m_bReady.store(src.IsReady(), std::memory_order_release);
    return *this;
}

namespace kestrun {

CdsMemoryVariant* GetBlockVariant(CdsMemoryArray& block, CdsMemoryObject& base, const std::string& baseText,
                                  const std::string& code, bool caseSensitive)
{
    if (base.GetParent() != &block || base.IsBitObject()) return nullptr;
    const VariantTypeCode type = ParseVariantTypeCode(code);
    if (!type.IsValid()) return nullptr;
    const std::string item = ApplyNameCase(TrimName(baseText), caseSensitive);
    auto* variant = dynamic_cast<CdsMemoryVariant*>(block.CreateMemoryVariant(item, type.code));
    if (variant) variant->SetVariant(item, type.code, base.GetIndex());
    return variant;
}

} // namespace kestrun

// --- the block's side of its variants ---

void CdsMemoryArray::UpdateVariants(const BYTE* pData, int nSize, kestrun::HandlerLink* pHdlr, const tagTHREADINFO* pLine)
{
    // Variants are destroyed only with the block's contents, after its lines
    // have stopped, so the list stays good once the map is let go.
    Variants* variants = FindVariants();
    if (!variants)
        return;
    std::lock_guard refresh(variants->refreshMutex);
    variants->refresh.clear();
    {
        std::lock_guard lock(variants->mutex);
        for (const auto& entry : variants->map) variants->refresh.push_back(entry.second);
    }
    for (CdsMemoryObject* object : variants->refresh) {
        auto* variant = dynamic_cast<CdsMemoryVariant*>(object);
        // A client may still be setting up a variant it has just added.
        if (!variant || !variant->IsReady()) continue;
        _BRISANTDATAVALUE value{};
        if (variant->GetValue(value, pData, nSize, pHdlr, pLine))
            variant->UpdateState(value, FALSE, pHdlr, pLine, FALSE);
        else
            variant->UpdateValue(pHdlr, pLine);
    }
}
