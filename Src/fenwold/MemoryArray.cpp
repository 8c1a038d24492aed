#include "fenwold/MemoryArray.h"

#include <cstring>
#include <string>

#include "fenwold/CommHdlr.h"
#include "fenwold/DeviceObject.h"
#include "fenwold/ElementAddress.h"
#include "fenwold/ExactCast.h"
#include "fenwold/McDecode.h"
#include "fenwold/McEndCodes.h"
#include "fenwold/McLink.h"
#include "fenwold/McResponse.h"
#include "fenwold/McStation.h"
#include "fenwold/MelsecDevice.h"
#include "fenwold/MemoryObject.h"
#include "fenwold/MemoryVariant.h"
#include "kestrun/model/BlockStore.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/HandlerLink.h"
#include "kestrun/model/MemoryObject.h"
#include "platform/afx/Archive.h"

IMPLEMENT_SERIAL(CMemoryArray, CdsMemoryArray, 1)

namespace {

constexpr char kNoData[] = "No Error, No Data!\r\n";

// Delivers decoded values to the block's points.
class BlockSink : public McValueSink {
public:
    explicit BlockSink(CdsBlockStore& store) : m_store(store) {}
    void Deliver(int index, const _BRISANTDATAVALUE& value) override { m_store.Store(index, value); }
    void DeliverRun(int first, const _BRISANTDATAVALUE* values, int count) override
    {
        m_store.StoreRun(first, values, count);
    }

private:
    CdsBlockStore& m_store;
};

}  // namespace

CMemoryArray::CMemoryArray() : CdsMemoryArray(-1) {}

CMemoryArray::~CMemoryArray() = default;

void CMemoryArray::Serialize(CArchive& ar) { CdsMemoryArray::Serialize(ar); }

int CMemoryArray::GetPointCount() const
{
    return GetMaxMemories() > 0 ? GetMaxMemories() : GetSize();
}

McStation* CMemoryArray::GetStation() const
{
    return ExactOrDynamicCast<McStation, CDeviceObject>(GetParent());
}

BOOL CMemoryArray::OnInitMemoryArray()
{
    // Inputs (X, DX) cannot be written.
    const MelsecDevice* device = MelsecDeviceByCode(GetDeviceCode());
    if (device && !device->writable)
        SetWriteAllowed(FALSE);
    return TRUE;
}

CdsMemoryObject* CMemoryArray::NewMemoryObject(const CdsMemoryObject&) { return new CMemoryObject; }
CdsMemoryObject* CMemoryArray::NewMemoryObject() { return new CMemoryObject; }
CdsMemoryObject* CMemoryArray::NewMemoryVariant() { return new CMemoryVariant; }

char* CMemoryArray::StatusFrame(std::size_t slot, std::size_t size)
{
    auto& frame = m_statusFrame[slot];
    if (!frame || m_statusCapacity[slot] < size) {
        frame = std::make_unique<char[]>(size); // zero-filled
        m_statusCapacity[slot] = static_cast<std::uint16_t>(size);
    }
    return frame.get();
}

char* CMemoryArray::FillStatusQueryString(int nLine)
{
    if (!IsReadAllowed() || !ValidLine(nLine))
        return nullptr;
    const auto slot = static_cast<std::size_t>(nLine);
    if (m_statusFrame[slot])
        std::memset(m_statusFrame[slot].get(), 0, m_statusCapacity[slot]);
    m_statusLength[slot] = 0;
    m_statusWords[slot] = 0;
    McStation* station = GetStation();
    if (!station || GetAddr().empty())
        return nullptr;
    const WORD code = GetDeviceCode();
    const auto head = ParseDeviceNumber(GetAddr(), code);
    if (!head)
        return nullptr;
    const int count = GetPointCount();
    if (count < 1)
        return nullptr;
    // 1E word units of a bit device start on a multiple of 16.
    const auto plan = MelsecPlanRead(GetDefaultDataType(), code, *head, static_cast<unsigned>(count),
                                     station->GetFrameKind() == McFrameKind::E1);
    if (!plan)
        return nullptr;
    McBuffer frame;
    if (!McBuildBatchRead(frame, station->GetTarget(), code, plan->head, plan->words) ||
        frame.size() >= static_cast<std::size_t>(kQuerySize))
        return nullptr;
    // A closing zero, as the framework's text buffers have.
    char* buffer = StatusFrame(slot, frame.size() + 1);
    std::memcpy(buffer, frame.data(), frame.size());
    m_statusLength[slot] = static_cast<int>(frame.size());
    m_statusWords[slot] = plan->words;
    m_nBitOffset = plan->bitOffset;
    return buffer;
}

char* CMemoryArray::GetStatusQueryString(int nLine)
{
    if (!IsReadAllowed() || !ValidLine(nLine))
        return nullptr;
    return m_statusFrame[static_cast<std::size_t>(nLine)].get();
}

int CMemoryArray::GetStatusQueryStringLen(int nLine, const char*)
{
    if (!IsReadAllowed() || !ValidLine(nLine))
        return 0;
    return m_statusLength[static_cast<std::size_t>(nLine)];
}

int CMemoryArray::GetStatusResponseStringLen(int nLine)
{
    McStation* station = GetStation();
    if (!station || !ValidLine(nLine) || station->GetFrameKind() != McFrameKind::E1)
        return CdsMemoryArray::GetStatusResponseStringLen(nLine);
    const unsigned words = m_statusWords[static_cast<std::size_t>(nLine)];
    if (words == 0)
        return 0;
    return static_cast<int>(McResponseHeaderLength(McFrameKind::E1, station->IsAscii()) +
                            McExpectedData1E(station->IsAscii(), words));
}

int CMemoryArray::UpdateStatus(int nLine, const BYTE* pBuffer, int nReceived, kestrun::HandlerLink* pHdlr,
                               const tagTHREADINFO* pLine)
{
    McStation* station = GetStation();
    if (!station || !ValidLine(nLine) || !pBuffer || nReceived < 1)
        return 0;
    const auto slot = static_cast<std::size_t>(nLine);
    const int queryLength = m_statusLength[slot];
    if (queryLength < 1)
        return 0;
    const McFrameKind kind = station->GetFrameKind();
    const bool ascii = station->IsAscii();
    const std::span<const BYTE> query(reinterpret_cast<const BYTE*>(m_statusFrame[slot].get()),
                                      static_cast<std::size_t>(queryLength));
    std::span<const BYTE> response(pBuffer, static_cast<std::size_t>(nReceived));
    McLink* link = ExactOrDynamicCast<McLink, CCommHdlr>(pHdlr);
    auto log = [&](const char* text) {
        if (link)
            link->McLogError(pLine, text);
    };
    // Why a read failed is logged when the block starts failing, not on every scan
    // of a refusal that lasts (the handler logs the run's end).
    const bool failing = IsReadFailing(nLine);
    auto logReason = [&](const char* text) {
        if (!failing)
            log(text);
    };

    auto receive = [&]() -> std::span<const BYTE> {
        if (!link)
            return {};
        auto& again = m_reread[slot];
        if (!again)
            again = std::make_unique<std::array<BYTE, kResponseSize + 1>>();
        again->fill(0);
        int received = 0;
        if (!link->McReceiveAgain(this, again->data(), kResponseSize, GetStatusResponseStringLen(nLine), received,
                                  m_statusFrame[slot].get(), pLine) ||
            received < 1)
            return {};
        response = std::span<const BYTE>(again->data(), static_cast<std::size_t>(received));
        return response;
    };
    auto mismatch = [&](const McReply& reply) {
        // ASCII 3E/4E mismatches are read past quietly.
        if (!reply.message)
            return;
        log(reply.message);
        IncreaseErrorCount();
    };
    const McReply reply = McReceiveReply(kind, ascii, query, response, receive, mismatch);
    if (reply.verdict == McVerdict::EndCode) {
        const std::string text = McEndCodeLogText(reply.endCode) + (ascii ? "!\r\n" : "\r\n");
        logReason(text.c_str());
        return 0;
    }
    if (reply.verdict != McVerdict::Ok) {
        // Mismatches were logged as they came.
        if (reply.verdict == McVerdict::Malformed && reply.message)
            logReason(reply.message);
        return 0;
    }

    McBlockShape shape;
    shape.dataType = GetDefaultDataType();
    shape.ascii = ascii;
    shape.bitOffset = GetBitOffset();
    shape.points = GetPointCount();
    shape.stringSize = GetPointCount();
    CdsBlockStore store(*this, pHdlr, pLine);
    BlockSink sink(store);
    if (!McDecodeValues(shape, response.subspan(reply.dataOffset, reply.dataLength), sink)) {
        logReason(kNoData);
        return 0;
    }
    return 1;
}

char* CMemoryArray::StoreCommand(CdsMemoryArray& block, int nLine, const McBuffer& frame)
{
    char* buffer = block.GetCommandQueryString(nLine);
    if (!buffer || frame.size() >= static_cast<std::size_t>(kQuerySize))
        return nullptr;
    std::memset(buffer, 0, kQuerySize);
    std::memcpy(buffer, frame.data(), frame.size());
    return buffer;
}
