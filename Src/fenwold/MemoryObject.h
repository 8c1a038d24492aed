#pragma once
// A point of a MELSEC block: builds the write request of a client's value and checks
// the PLC's answer to it.
#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "fenwold/McCommandSource.h"
#include "fenwold/McFrame.h"
#include "kestrun/model/MemoryObject.h"

class CMemoryArray;
class McStation;

// "block Words: " of a block, by its name, or its address when it has none.
std::string McBlockLabel(const CdsMemoryArray& block);

// The PLC's verdict on the response to a write request of `nRequest` bytes in the
// command buffer of the line slot: true when it answers the request with end code 0.
// An end code is logged with its text through the handler; a response to another
// request, or none, is no acceptance.
bool McWriteAccepted(const McStation& station, const char* pszRequest, int nRequest, const BYTE* pBuffer,
                     int nReceived, kestrun::HandlerLink* pHdlr, const tagTHREADINFO* pLine);

class CMemoryObject : public CdsMemoryObject, public McCommandSource {
    DECLARE_SERIAL(CMemoryObject)
public:
    static constexpr int kLines = 4;

    CMemoryObject();
    ~CMemoryObject() override;

    void Serialize(CArchive& ar) override;

    // Checks the end code of the response to the line's write request; 0 when the
    // PLC reported an error, else the framework's handling. Without a response
    // buffer only the framework's handling runs.
    BOOL UpdateCommand(const _BRISANTDATAVALUE& value, int nFrame = 0, const BYTE* pBuffer = nullptr,
                       int nReceived = 0, kestrun::HandlerLink* pHdlr = nullptr,
                       const tagTHREADINFO* pLine = nullptr) override;
    // The pseudo name is the element address of the point: D100 index 3 is D103.
    void SetPseudoName(const std::string& strText, int nNumber, char chSeparator) override;

    using CdsMemoryObject::GetCommandQueryString;
    // Builds the write request of a value into the block's command buffer of the line
    // (0..3); null when the point cannot be written (the reason is logged).
    char* GetCommandQueryString(const _BRISANTDATAVALUE& value, int nLine, BOOL bRebuild) override;
    // Bytes of the request last built for the line; -1 when none was built.
    int GetCommandQueryStringLen(int nLine, const char* pszText) override;
    // 1E: the length of a good write response; 3E/4E: the framework's (the
    // response's length field decides).
    int GetCommandResponseStringLen(int nLine) override;

    std::string McWriteRefusal() const override;

    CdsMemoryArray* NewBitArray() override;

    // A text block is one string, read into and written from its first point:
    // its other points never hold a value, and a write to them is refused.
    std::string GetNoValueReason() const override;
    // Also a text longer than its string: it would be cut.
    std::string GetValueRefusal(const _BRISANTDATAVALUE& value) const override;

    CMemoryArray* GetMelsecBlock() const;

private:
    enum class Refusal { None, Silent, Logged };
    // Builds the request of the value into the frame; on refusal the reason, and
    // whether the builder logs it (an element or a request that cannot be).
    Refusal BuildRequest(const _BRISANTDATAVALUE& value, CMemoryArray& block, McStation& station, McBuffer& frame,
                         std::string& reason) const;
    // Logs through the device's handler when it is the MELSEC handler.
    void LogError(const char* pszText) const;
    // Below kQuerySize (longer requests are refused): two bytes keep the point small.
    std::array<std::atomic<std::int16_t>, kLines> m_nCommandLength;
};
