#include "kestrun/model/WriteText.h"

#include <cstdio>

#include "kestrun/model/BitArray.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"
#include "platform/dde/BrisantToolkit.h"

namespace kestrun {

namespace {

constexpr std::size_t kMaxValueText = 80;

std::string Printable(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (out.size() >= kMaxValueText) {
            out += "...";
            break;
        }
        if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
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
