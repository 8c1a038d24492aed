#pragma once
// Single bits of a MELSEC point: the bit array of a point makes bit objects, and a
// client's write to one bit becomes a write of that one device element.
#include <array>
#include <atomic>

#include "fenwold/McCommandSource.h"
#include "kestrun/model/BitArray.h"

class CMemoryArray;

class CBitArray : public CdsBitArray {
    DECLARE_DYNCREATE(CBitArray)
public:
    CdsMemoryObject* NewBitObject() override;
};

class CBitObject : public CdsBitObject, public McCommandSource {
    DECLARE_DYNCREATE(CBitObject)
public:
    static constexpr int kLines = 4;

    CBitObject();

    using CdsBitObject::GetCommandQueryString;
    // A random write in bit units of the bit's element: on bit devices the bit is
    // added to the point's element (M16 bit 5 is M21). A bit of a word device has
    // no element of its own and is refused with a log line rather than written
    // behind the client's back with the other bits of the word; 1E PLCs refuse
    // bit writes.
    char* GetCommandQueryString(const _BRISANTDATAVALUE& value, int nLine, BOOL bRebuild) override;
    int GetCommandQueryStringLen(int nLine, const char* pszText) override;
    int GetCommandResponseStringLen(int nLine) override;
    std::string McWriteRefusal() const override;
    // Checks the end code of the response to the line's bit write, as a point does;
    // 0 when the PLC reported an error (logged with its text).
    BOOL UpdateCommand(const _BRISANTDATAVALUE& value, int nFrame = 0, const BYTE* pBuffer = nullptr,
                       int nReceived = 0, kestrun::HandlerLink* pHdlr = nullptr,
                       const tagTHREADINFO* pLine = nullptr) override;

    // The MELSEC block of the point whose bit this is; null when there is none.
    CMemoryArray* GetMelsecBlock() const;

private:
    std::array<std::atomic<int>, kLines> m_nCommandLength;
};
