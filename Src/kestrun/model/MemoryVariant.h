#pragma once
// A variant: a typed view of a block's items that starts at one point (its
// base item) and reads them as another type: a float over two words, a BCD
// word, the high byte of a word, a text of n bytes. Blocks make variants on
// demand for clients and refresh them after every read.
#include <atomic>
#include <mutex>
#include <string>

#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/VariantType.h"

class CdsMemoryVariant : public CdsMemoryObject {
    DECLARE_DYNCREATE(CdsMemoryVariant)
public:
    CdsMemoryVariant();
    // strItem: the base item text; strType: the client's type word.
    CdsMemoryVariant(const std::string& strItem, const std::string& strType);

    // Gives a variant made by a block's factory its base item text, type word
    // and the index of the base point it reads (-1: find it by name). Line
    // threads may already see the variant in its block, so its text and type are
    // set once; a later call only gives a variant without one its base index.
    void SetVariant(const std::string& strItem, const std::string& strType, int nBaseIndex);
    // Whether SetVariant has run: a block refreshes only variants that are.
    bool IsReady() const { return m_bReady.load(std::memory_order_acquire); }

    using CdsMemoryObject::GetCommandQueryString;
    using CdsMemoryObject::GetValue;

    virtual void OnTimer(_BRISANT_DATAACTION* /*pAction*/) {}
    // A value taken straight from a block's response; the base variant has none.
    virtual BOOL GetValue(_BRISANTDATAVALUE& /*value*/, const BYTE* /*pData*/, int /*nSize*/,
                          kestrun::HandlerLink* /*pHdlr*/, const tagTHREADINFO* /*pLine*/)
    {
        return FALSE;
    }
    // Write requests of a server program's variant; the base variant builds none.
    virtual BOOL GetDownsizeCommandQueryString(const _BRISANTDATAVALUE& /*value*/, int /*nLine*/, BOOL /*bFlag*/)
    {
        return FALSE;
    }
    virtual BOOL GetUpsizeCommandQueryString(const _BRISANTDATAVALUE& /*value*/, int /*nLine*/, BOOL /*bFlag*/)
    {
        return FALSE;
    }
    virtual BOOL GetCopyCommandQueryString(const _BRISANTDATAVALUE& /*value*/, int /*nLine*/, BOOL /*bFlag*/)
    {
        return FALSE;
    }
    // The write request for a value of the variant's type, or null: extracts
    // (LB, HB, LW, HW) are read-only and a BCD value must lie in 0..9999.
    virtual char* GetCommandQueryString(const _BRISANTDATAVALUE& value, int nLine, BOOL bFlag);
    void DeleteContents() override;
    CdsMemoryObject& operator=(const CdsMemoryObject& src) override;
    CdsMemoryVariant& operator=(const CdsMemoryVariant& src);

    // Reads the variant from its block's items and stores it; 0 when the base
    // item is gone, an item is missing or no conversion fits.
    BOOL UpdateValue(kestrun::HandlerLink* pHdlr, const tagTHREADINFO* pLine);

    const std::string& GetTypeCode() const { return m_type.code; }
    int GetSize() const { return m_type.size; }
    SHORT GetPackedCode() const { return static_cast<SHORT>(m_type.packedCode); }
    const kestrun::VariantTypeCode& GetVariantType() const { return m_type; }
    int GetBaseIndex() const { return m_nBaseIndex.load(); }

private:
    // The base point: by index when known, else by the base item's key name.
    CdsMemoryObject* FindBaseItem() const;

    kestrun::VariantTypeCode m_type;
    std::atomic<int> m_nBaseIndex{-1};
    std::mutex m_setupMutex;             // one SetVariant at a time; then the tag's lock
    std::atomic<bool> m_bReady{false};   // set once m_type and the names are
    // Guards m_text, the text a refresh builds. Taken by the thread polling the
    // block, after the block's variant refresh lock; held while the value is
    // stored (this point's value lock, the tag's lock) and hints are sent.
    std::mutex m_textMutex;
    std::string m_text;
};

class CdsMemoryArray;

namespace kestrun {

// The block's variant for (base text, type word) over a point of that block,
// made when absent and keyed so that every spelling of the type word (and of
// the base, unless names are case-sensitive) shares one variant. Null for an
// unknown type word, a base outside the block, a bit, or a block that makes no
// variants.
CdsMemoryVariant* GetBlockVariant(CdsMemoryArray& block, CdsMemoryObject& base, const std::string& baseText,
                                  const std::string& code, bool caseSensitive);

} // namespace kestrun
