#include "kestrun/model/WriteText.h"

#include "kestrun/model/BitArray.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "platform/dde/BrisantToolkit.h"

namespace kestrun {

namespace {

constexpr std::size_t kMaxValueText = 80;

// A long text (a string write) is cut; control characters are the log's to escape.
std::string Printable(const std::string& text)
{
    return text.size() <= kMaxValueText ? text : text.substr(0, kMaxValueText) + "...";
}

// The device a point belongs to; a bit's device is its word point's.
const CdsDeviceObject* DeviceOf(const CdsMemoryObject* pPoint)
{
    for (int depth = 0; pPoint && depth < 4; ++depth) {
        const CdsMemoryArray* pBlock = pPoint->GetParent();
        if (!pBlock)
            return nullptr;
        if (const CdsDeviceObject* pDevice = pBlock->GetParent())
            return pDevice;
        const auto* pBits = dynamic_cast<const CdsBitArray*>(pBlock);
        pPoint = pBits ? pBits->GetParentMemoryObject() : nullptr;
    }
    return nullptr;
}

} // namespace

std::string DescribeWrite(const CdsMemoryObject* pPoint, int nDataType, const _BRISANTDATAVALUE& value)
{
    const CdsDeviceObject* pDevice = DeviceOf(pPoint);
    std::string text = "[" + Printable(pDevice ? pDevice->m_strName : std::string("?")) + "]";
    text += pPoint ? Printable(pPoint->GetName()) : std::string("?");
    text += " = " + Printable(dde::Toolkit::ValueToText(static_cast<BRISANT_DATATYPE>(nDataType), value));
    return text;
}

} // namespace kestrun
