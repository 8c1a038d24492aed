#include "fenwold/BitObject.h"

#include <string>

#include "fenwold/ElementAddress.h"
#include "fenwold/McLink.h"
#include "fenwold/McResponse.h"
#include "fenwold/McStation.h"
#include "fenwold/MelsecDevice.h"
#include "fenwold/MemoryArray.h"
#include "fenwold/MemoryObject.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/HandlerLink.h"

IMPLEMENT_DYNCREATE(CBitArray, CdsBitArray)
IMPLEMENT_DYNCREATE(CBitObject, CdsBitObject)

CdsMemoryObject* CBitArray::NewBitObject() { return new CBitObject; }

namespace {

bool ValidLine(int nLine) { return nLine >= 0 && nLine < CBitObject::kLines; }

}  // namespace

CBitObject::CBitObject()
{
    for (auto& length : m_nCommandLength)
        length = -1;
}

char* CBitObject::GetCommandQueryString(const _BRISANTDATAVALUE& value, int nLine, BOOL)
{
    if (!ValidLine(nLine))
        return nullptr;
    m_nCommandLength[static_cast<std::size_t>(nLine)] = -1;
    auto* bits = dynamic_cast<CdsBitArray*>(GetParent());
    CdsMemoryObject* point = bits ? bits->GetParentMemoryObject() : nullptr;
    CMemoryArray* block = GetMelsecBlock();
    McStation* station = block ? block->GetStation() : nullptr;
    if (!station)
        return nullptr;
    auto log = [&](const std::string& text) {
        CdsDeviceObject* device = block->GetParent();
        if (auto* link = device ? dynamic_cast<McLink*>(device->GetDeviceHdlr()) : nullptr)
            link->McLogError(nullptr, text.c_str());
    };
    const WORD code = block->GetDeviceCode();
    const std::string name = point->GetName() + "/" + std::to_string(GetIndex());
    const auto address = GetElementAddress(name, point->GetDataType(), code, -1);
    if (!address) {
        log("Cannot write " + name + ": no element of its own!\r\n");
        return nullptr;
    }
    if (MelsecDataSize(BRISANT_BOOL, 0) == 0 || MelsecWriteCommand(BRISANT_BOOL, code) < 0)
        return nullptr;
    if (station->GetFrameKind() == McFrameKind::E1)
        return nullptr;
    McBuffer frame;
    if (!McBuildRandomWriteBit(frame, station->GetTarget(), code, address->number, value.iVal != 0))
        return nullptr;
    char* buffer = CMemoryArray::StoreCommand(*bits, nLine, frame);
    if (buffer)
        m_nCommandLength[static_cast<std::size_t>(nLine)] = static_cast<int>(frame.size());
    return buffer;
}

std::string CBitObject::McWriteRefusal() const
{
    CMemoryArray* block = GetMelsecBlock();
    McStation* station = block ? block->GetStation() : nullptr;
    if (!station)
        return {};
    const WORD code = block->GetDeviceCode();
    const MelsecDevice* device = MelsecDeviceByCode(code);
    const std::string name = device ? device->name : "these";
    if (MelsecWriteCommand(BRISANT_BOOL, code) < 0)
        return McBlockLabel(*block) + (device && device->writable ? "single bits of " + name + " words cannot be written"
                                                                  : name + " devices cannot be written");
    if (station->GetFrameKind() == McFrameKind::E1)
        return McBlockLabel(*block) + "single bits cannot be written to this PLC (1E frames)";
    return {};
}

int CBitObject::GetCommandQueryStringLen(int nLine, const char*)
{
    return ValidLine(nLine) ? m_nCommandLength[static_cast<std::size_t>(nLine)].load() : -1;
}

int CBitObject::GetCommandResponseStringLen(int nLine)
{
    return CdsBitObject::GetCommandResponseStringLen(nLine);
}

CMemoryArray* CBitObject::GetMelsecBlock() const
{
    auto* bits = dynamic_cast<CdsBitArray*>(GetParent());
    CdsMemoryObject* point = bits ? bits->GetParentMemoryObject() : nullptr;
    return point ? dynamic_cast<CMemoryArray*>(point->GetParent()) : nullptr;
}

BOOL CBitObject::UpdateCommand(const _BRISANTDATAVALUE& value, int nFrame, const BYTE* pBuffer, int nReceived,
                               kestrun::HandlerLink* pHdlr, const tagTHREADINFO* pLine)
{
    CMemoryArray* block = GetMelsecBlock();
    McStation* station = block ? block->GetStation() : nullptr;
    CdsMemoryArray* bits = GetParent();
    if (pBuffer && nReceived > 0 && station && bits && ValidLine(nFrame) &&
        !McWriteAccepted(*station, bits->GetCommandQueryString(nFrame),
                         m_nCommandLength[static_cast<std::size_t>(nFrame)].load(), pBuffer, nReceived, pHdlr, pLine))
        return FALSE;
    return CdsBitObject::UpdateCommand(value, nFrame, pBuffer, nReceived, pHdlr, pLine);
}
