#include "fenwold/MemoryObject.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string>

#include "fenwold/ElementAddress.h"
#include "fenwold/McEndCodes.h"
#include "fenwold/McLink.h"
#include "fenwold/McResponse.h"
#include "fenwold/McStation.h"
#include "fenwold/MelsecDevice.h"
#include "fenwold/BitObject.h"
#include "fenwold/MemoryArray.h"
#include "kestrun/model/DataType.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/HandlerLink.h"
#include "platform/afx/Archive.h"

IMPLEMENT_SERIAL(CMemoryObject, CdsMemoryObject, 1)

namespace {

bool ValidLine(int nLine) { return nLine >= 0 && nLine < CMemoryObject::kLines; }

// The value as a write frame carries it: BOOL on or off, 16-bit and 32-bit integers,
// and the bit pattern of an IEEE single.
DWORD EncodeNumber(int dataType, const _BRISANTDATAVALUE& value)
{
    switch (dataType) {
    case BRISANT_BOOL: return value.iVal != 0 ? 1 : 0;
    case BRISANT_SHORT:
    case BRISANT_WORD: return value.wVal;
    case BRISANT_FLOAT: return std::bit_cast<DWORD>(value.fltVal);
    default: return value.dwVal;
    }
}

}  // namespace

CMemoryObject::CMemoryObject()
{
    for (auto& length : m_nCommandLength)
        length = -1;
}

CMemoryObject::~CMemoryObject() = default;

void CMemoryObject::Serialize(CArchive& ar) { CdsMemoryObject::Serialize(ar); }

CdsMemoryArray* CMemoryObject::NewBitArray() { return new CBitArray; }

CMemoryArray* CMemoryObject::GetMelsecBlock() const { return dynamic_cast<CMemoryArray*>(GetParent()); }

void CMemoryObject::LogError(const char* pszText) const
{
    CdsMemoryArray* block = GetParent();
    CdsDeviceObject* device = block ? block->GetParent() : nullptr;
    if (auto* link = device ? dynamic_cast<McLink*>(device->GetDeviceHdlr()) : nullptr)
        link->McLogError(nullptr, pszText);
}

namespace {

bool IsTextBlock(const CMemoryArray& block)
{
    const int type = block.GetDefaultDataType();
    return type == BRISANT_STRING || type == BRISANT_FIXEDSTRING;
}

// The name clients use for the string: its first point's.
std::string StringName(const CMemoryArray& block)
{
    const CdsMemoryObject* first = block.GetMemoryObject(0);
    return first ? first->GetName() : block.GetAddr();
}

}  // namespace

std::string CMemoryObject::GetNoValueReason() const
{
    const CMemoryArray* block = GetMelsecBlock();
    if (!block || GetIndex() <= 0 || !IsTextBlock(*block))
        return {};
    const std::string head = StringName(*block);
    std::string reason = GetName() + " is part of the " + std::to_string(block->GetPointCount()) +
                         "-character string " + head;
    if (!block->GetName().empty())
        reason += " (block " + block->GetName() + ")";
    return reason + ": use " + head;
}

std::string CMemoryObject::GetValueRefusal(const _BRISANTDATAVALUE& value) const
{
    std::string reason = GetNoValueReason();
    const CMemoryArray* block = GetMelsecBlock();
    if (!reason.empty() || !block || GetDataType() != BRISANT_STRING || !IsTextBlock(*block))
        return reason;
    const std::size_t length = value.pszVal ? std::strlen(value.pszVal) : 0;
    const int size = block->GetPointCount();
    if (length <= static_cast<std::size_t>(std::max(size, 0)))
        return {};
    return "a text of " + std::to_string(length) + " characters does not fit the " + std::to_string(size) +
           "-character string " + StringName(*block);
}

void CMemoryObject::SetPseudoName(const std::string& strText, int nNumber, char chSeparator)
{
    CMemoryArray* block = GetMelsecBlock();
    const auto address =
        block ? GetElementAddress(strText, block->GetDefaultDataType(), block->GetDeviceCode(), nNumber)
              : std::nullopt;
    if (!address) {
        CdsMemoryObject::SetPseudoName(strText, nNumber, chSeparator);
        return;
    }
    SetPseudoNameText(address->text);
}

std::string McBlockLabel(const CdsMemoryArray& block)
{
    return "block " + (block.GetName().empty() ? block.GetAddr() : block.GetName()) + ": ";
}

CMemoryObject::Refusal CMemoryObject::BuildRequest(const _BRISANTDATAVALUE& value, CMemoryArray& block,
                                                   McStation& station, McBuffer& frame, std::string& reason) const
{
    const int type = block.GetDefaultDataType();
    const WORD code = block.GetDeviceCode();
    const char* typeName = GetDataTypeName(type);
    const std::string values = std::string(*typeName ? typeName : "Such") + " values";
    const bool typeOk = (type >= BRISANT_BOOL && type <= BRISANT_FLOAT) || type == BRISANT_STRING ||
                        type == BRISANT_FIXEDSTRING;
    const int size = typeOk ? MelsecDataSize(type, block.GetPointCount()) : 0;
    if (size == 0) {
        reason = values + " cannot be written to this PLC";
        return Refusal::Silent;
    }
    if (MelsecWriteCommand(type, code) < 0) {
        const MelsecDevice* device = MelsecDeviceByCode(code);
        if (!device || !device->writable)
            reason = std::string(device ? device->name : "these") + " devices cannot be written";
        else if (type == BRISANT_BOOL)
            reason = "single bits of " + std::string(device->name) + " words cannot be written";
        else if (type == BRISANT_STRING)
            reason = values + " cannot be written to " + device->name + " bits";
        else
            reason = values + " cannot be written to this PLC";
        return Refusal::Silent;
    }
    // 1E PLCs take bits and words only.
    if (type == BRISANT_STRING && station.GetFrameKind() == McFrameKind::E1) {
        reason = values + " cannot be written to this PLC (1E frames)";
        return Refusal::Silent;
    }
    const auto address = GetElementAddress(GetName(), type, code, -1);
    if (!address) {
        reason = GetName() + " has no element of its own";
        return Refusal::Logged;
    }
    bool built = false;
    if (type == BRISANT_STRING) {
        const char* text = value.pszVal ? value.pszVal : "";
        built = McBuildStringWrite(frame, station.GetTarget(), code, address->number, text, size);
    } else {
        built = McBuildPointWrite(frame, station.GetTarget(), type, code, address->number, EncodeNumber(type, value));
    }
    if (!built) {
        reason = "no write request can be made for " + address->text + " in this PLC's frames";
        return Refusal::Silent;
    }
    if (frame.size() >= static_cast<std::size_t>(CdsMemoryArray::kQuerySize)) {
        // Long texts, ASCII ones above all (two characters a byte), outgrow the
        // line's command buffer.
        reason = "the request is too long for one frame";
        return Refusal::Logged;
    }
    return Refusal::None;
}

std::string CMemoryObject::McWriteRefusal() const
{
    CMemoryArray* block = GetMelsecBlock();
    McStation* station = block ? block->GetStation() : nullptr;
    if (!station)
        return {};
    // Every value of a type makes a request of the same shape: a zero stands for them all.
    McBuffer frame;
    std::string reason;
    if (BuildRequest(_BRISANTDATAVALUE{}, *block, *station, frame, reason) != Refusal::None)
        return McBlockLabel(*block) + reason;
    // A point inside a string is never written on its own: every client, OPC's
    // too, sees it as read-only and learns why.
    return GetNoValueReason();
}

char* CMemoryObject::GetCommandQueryString(const _BRISANTDATAVALUE& value, int nLine, BOOL)
{
    if (!ValidLine(nLine))
        return nullptr;
    m_nCommandLength[static_cast<std::size_t>(nLine)] = -1;
    CMemoryArray* block = GetMelsecBlock();
    McStation* station = block ? block->GetStation() : nullptr;
    if (!station)
        return nullptr;
    McBuffer frame;
    std::string reason;
    const Refusal refusal = BuildRequest(value, *block, *station, frame, reason);
    if (refusal == Refusal::Logged) {
        const std::string text = "Cannot write " + GetName() + ": " + reason + "!\r\n";
        LogError(text.c_str());
    }
    if (refusal != Refusal::None)
        return nullptr;
    if (block->GetDefaultDataType() == BRISANT_STRING) {
        // The client was told the write was taken: what does not fit is not lost silently.
        const int size = MelsecDataSize(BRISANT_STRING, block->GetPointCount());
        const char* text = value.pszVal ? value.pszVal : "";
        if (const std::size_t length = std::strlen(text); length > static_cast<std::size_t>(size)) {
            const CdsDeviceObject* device = block->GetParent();
            const std::string line = "Write [" + (device ? device->m_strName : std::string()) + "]" + GetName() +
                                     ": a text of " + std::to_string(length) + " characters is cut to the item's " +
                                     std::to_string(size) + "!\r\n";
            LogError(line.c_str());
        }
    }
    char* buffer = CMemoryArray::StoreCommand(*block, nLine, frame);
    if (buffer)
        m_nCommandLength[static_cast<std::size_t>(nLine)] = static_cast<std::int16_t>(frame.size());
    return buffer;
}

int CMemoryObject::GetCommandQueryStringLen(int nLine, const char*)
{
    return ValidLine(nLine) ? m_nCommandLength[static_cast<std::size_t>(nLine)].load() : -1;
}

int CMemoryObject::GetCommandResponseStringLen(int nLine)
{
    CMemoryArray* block = GetMelsecBlock();
    McStation* station = block ? block->GetStation() : nullptr;
    if (station && station->GetFrameKind() == McFrameKind::E1)
        return static_cast<int>(McResponseHeaderLength(McFrameKind::E1, station->IsAscii()));
    return CdsMemoryObject::GetCommandResponseStringLen(nLine);
}

bool McWriteAccepted(const McStation& station, const char* pszRequest, int nRequest, const BYTE* pBuffer,
                     int nReceived, kestrun::HandlerLink* pHdlr, const tagTHREADINFO* pLine)
{
    if (!pBuffer || nReceived <= 0)
        return false;
    const std::span<const BYTE> request(reinterpret_cast<const BYTE*>(pszRequest),
                                        pszRequest && nRequest > 0 ? static_cast<std::size_t>(nRequest) : 0);
    const McReply reply = McCheckResponse(station.GetFrameKind(), station.IsAscii(), request,
                                          std::span<const BYTE>(pBuffer, static_cast<std::size_t>(nReceived)));
    if (reply.verdict == McVerdict::EndCode) {
        // The write cycle names the item and value with the end code; a handler
        // that does not log write refusals gets the end code's line of its own.
        char code[8];
        std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(reply.endCode));
        const char* meaning = GetEndCodeText(reply.endCode);
        const std::string reason =
            std::string("end code ") + code + (meaning && *meaning ? std::string(" (") + meaning + ")" : std::string());
        if (!pHdlr || !pHdlr->SetWriteRefusal(pLine, reason)) {
            const std::string text = McEndCodeLogText(reply.endCode) + "\r\n";
            if (auto* link = dynamic_cast<McLink*>(pHdlr))
                link->McLogError(pLine, text.c_str());
        }
    }
    return reply.verdict == McVerdict::Ok;
}

BOOL CMemoryObject::UpdateCommand(const _BRISANTDATAVALUE& value, int nFrame, const BYTE* pBuffer, int nReceived,
                                  kestrun::HandlerLink* pHdlr, const tagTHREADINFO* pLine)
{
    CMemoryArray* block = GetMelsecBlock();
    McStation* station = block ? block->GetStation() : nullptr;
    if (pBuffer && nReceived > 0 && station && ValidLine(nFrame) &&
        !McWriteAccepted(*station, block->GetCommandQueryString(nFrame),
                         m_nCommandLength[static_cast<std::size_t>(nFrame)].load(), pBuffer, nReceived, pHdlr, pLine))
        return FALSE;
    return CdsMemoryObject::UpdateCommand(value, nFrame, pBuffer, nReceived, pHdlr, pLine);
}
