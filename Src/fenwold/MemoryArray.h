#pragma once
// A block of the MELSEC server: one run of consecutive elements of one PLC device,
// read with one batch-read request per poll. The device code is the block's type data.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "fenwold/McFrame.h"
#include "kestrun/model/MemoryArray.h"

class McStation;

class CMemoryArray : public CdsMemoryArray {
    DECLARE_SERIAL(CMemoryArray)
public:
    CMemoryArray();
    ~CMemoryArray() override;

    void Serialize(CArchive& ar) override;

    // Checks a read response against the line's request (reading the next response
    // while they answer another request) and delivers the values to the points.
    // 1 when the values were taken; 0 on a failed check, an end code or no data.
    // A response read again stays in m_reread: the device and the variants are
    // handed the first, which is harmless, as neither reads its bytes.
    int UpdateStatus(int nLine, const BYTE* pBuffer, int nReceived, kestrun::HandlerLink* pHdlr,
                     const tagTHREADINFO* pLine) override;
    // Builds the line's batch-read request afresh; null when it cannot be made.
    char* FillStatusQueryString(int nLine) override;
    // The line's request as last built; null before its first build.
    char* GetStatusQueryString(int nLine) override;
    // Bytes of the line's built request (binary requests hold zero bytes).
    int GetStatusQueryStringLen(int nLine, const char* pszText) override;
    // 1E: the length of a good response to the built request; 3E/4E: the framework's
    // (the response's length field decides).
    int GetStatusResponseStringLen(int nLine) override;
    BOOL OnInitMemoryArray() override;
    CdsMemoryObject* NewMemoryObject(const CdsMemoryObject& src) override;
    CdsMemoryObject* NewMemoryObject() override;

    // The device code of the block (QnA code): the type-data word, not GetTypeData.
    WORD GetDeviceCode() const { return static_cast<WORD>(GetTypeDataWord()); }
    // Elements the head of the read lies before point 0 (BOOL blocks of bit devices).
    int GetBitOffset() const { return m_nBitOffset.load(); }
    // Points a read covers: the block's maximum, or the points it holds.
    int GetPointCount() const;
    // The MC facts of the parent device; null when the parent is not a MELSEC device.
    McStation* GetStation() const;

    CdsMemoryObject* NewMemoryVariant() override;

    // Stores a built write request as the line's command of a block (or bit array);
    // the command buffer, or null when writes are not allowed or it does not fit.
    static char* StoreCommand(CdsMemoryArray& block, int nLine, const McBuffer& frame);

private:
    // The line's request buffer, big enough for the request last built: made by that
    // line's thread at its first build and kept, so a rebuild of the same request
    // (the common case) reuses it.
    char* StatusFrame(std::size_t slot, std::size_t size);

    std::atomic<int> m_nBitOffset{0};
    LONG m_nReserved = 0;
    std::array<int, kLines> m_statusLength{};
    std::array<unsigned, kLines> m_statusWords{};
    std::array<std::unique_ptr<char[]>, kLines> m_statusFrame;
    std::array<std::uint16_t, kLines> m_statusCapacity{};   // below kQuerySize + 1
    // Responses read again after a mismatch, one per line; made when first needed.
    std::array<std::unique_ptr<std::array<BYTE, kResponseSize + 1>>, kLines> m_reread;
};
