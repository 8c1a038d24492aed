#pragma once
// A typed view over a MELSEC block's points. Views are read from the points; a
// client's write to a view is refused with a log line, since one request cannot
// write what the view covers.
#include "fenwold/McCommandSource.h"
#include "kestrun/model/MemoryVariant.h"

class CMemoryVariant : public CdsMemoryVariant, public McCommandSource {
    DECLARE_DYNCREATE(CMemoryVariant)
public:
    CMemoryVariant() = default;
    CMemoryVariant(const std::string& strItem, const std::string& strType) : CdsMemoryVariant(strItem, strType) {}

    using CdsMemoryVariant::GetValue;
    // No local conversion: views take their values from the points.
    BOOL GetValue(_BRISANTDATAVALUE& value, const BYTE* pData, int nSize, kestrun::HandlerLink* pHdlr,
                  const tagTHREADINFO* pLine) override;
    char* GetCommandQueryString(const _BRISANTDATAVALUE& value, int nLine, BOOL bRebuild) override;
    int GetCommandQueryStringLen(int nLine, const char* pszText) override;
    std::string McWriteRefusal() const override;
    BOOL GetCopyCommandQueryString(const _BRISANTDATAVALUE& value, int nLine, BOOL bFlag) override;
    BOOL GetDownsizeCommandQueryString(const _BRISANTDATAVALUE& value, int nLine, BOOL bFlag) override;
    BOOL GetUpsizeCommandQueryString(const _BRISANTDATAVALUE& value, int nLine, BOOL bFlag) override;
    CdsMemoryArray* NewBitArray() override;

private:
    void LogRefused() const;
};
