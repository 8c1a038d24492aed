#include "fenwold/CsvFile.h"

#include <cctype>
#include <string>

#include "fenwold/ElementAddress.h"
#include "fenwold/McFrame.h"
#include "fenwold/McStation.h"
#include "fenwold/MelsecDevice.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/MemoryArray.h"

namespace {
int Flag(int nResult) { return nResult ? 1 : 0; }

// Why a block's address and length name no elements the PLC has; empty when they do.
// `kind` is the frame kind of the block's device.
std::string AddressProblem(const std::string& strAddr, int nType, int nLength, McFrameKind kind)
{
    const MelsecDevice* device = MelsecFindDevice(strAddr);
    if (!device)
        return "Address: '" + strAddr + "' starts with no device name (D, M, X, W, SM ...)";
    const std::string name = device->name;
    const std::string digits = strAddr.substr(name.size());
    const auto isDigit = [device](char c) {
        return device->hexNumbered ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                                   : std::isdigit(static_cast<unsigned char>(c)) != 0;
    };
    bool numeric = !digits.empty();
    for (char c : digits)
        numeric = numeric && isDigit(c);
    if (!numeric)
        return "Address: '" + strAddr + "' is not " + name + " followed by a " +
               (device->hexNumbered ? "hexadecimal" : "decimal") + " element number";
    const DWORD last = MelsecMaxDeviceNumber(device->code);
    const std::string lastText = name + FormatDeviceNumber(device->code, last, 0);
    const auto head = ParseDeviceNumber(strAddr, device->code);
    if (!head)
        return "Address: " + strAddr + " is past the last element " + lastText;
    // Only the types a read can be planned for have a size to check.
    const bool planned = (nType >= 0 && nType <= 8) || nType == 10 || nType == 11;
    if (nLength < 1 || !planned)
        return {};
    // 1E reads a bit device in words that start on a multiple of 16, as the block's request does.
    const auto plan = MelsecPlanRead(nType, device->code, *head, static_cast<unsigned>(nLength),
                                     kind == McFrameKind::E1);
    if (!plan)
        return "Length: " + std::to_string(nLength) + " items from " + strAddr +
               " are more than one read request can carry (65535 words)";
    // A block longer than one batch read would be refused by the PLC on every scan.
    const unsigned maxWords = McMaxBatchReadWords(kind, device->bitDevice);
    if (plan->words > maxWords)
        return "Length: " + std::to_string(nLength) + " items from " + strAddr + " need " +
               std::to_string(plan->words) + " words; one read request carries at most " + std::to_string(maxWords) +
               (kind == McFrameKind::E1 ? " in a 1E frame" : "");
    const unsigned long long elements = static_cast<unsigned long long>(plan->words) * (device->bitDevice ? 16 : 1);
    if (plan->head + elements - 1 > last)
        return "Length: " + std::to_string(nLength) + " items from " + strAddr + " run past the last element " + lastText;
    return {};
}
} // namespace

int CCsvFile::ImportDeviceObject(const Fields& fields, CdsDeviceObject* pDevice)
{
    return Flag(CdsCsvFile::ImportDeviceObject(fields, pDevice));
}

int CCsvFile::ImportMemoryArray(const Fields& fields, CdsDeviceObject* pDevice, CdsMemoryArray* pBlock)
{
    if (!CdsCsvFile::ImportMemoryArray(fields, pDevice, pBlock))
        return 0;
    // A block the PLC has no elements for would be accepted and then fail on every scan.
    // The temporary device of the import names the device but has none of its
    // settings: the frame kind is the one of the device the block goes to.
    const auto* station = dynamic_cast<const McStation*>(CdsDeviceMap::GetDeviceObjectByTopic(pDevice->m_strName));
    const McFrameKind kind = station ? station->GetFrameKind() : McFrameKind::E3;
    const std::string problem =
        AddressProblem(pBlock->GetAddr(), pBlock->GetDefaultDataType(), pBlock->GetMaxMemories(), kind);
    if (problem.empty())
        return 1;
    SetReason(problem);
    return 0;
}

int CCsvFile::ExportDeviceObjectInfo(CdsDeviceObject* pDevice)
{
    return Flag(CdsCsvFile::ExportDeviceObjectInfo(pDevice));
}

int CCsvFile::ExportMemoryArrayInfo(CdsDeviceObject* pDevice, CdsMemoryArray* pBlock)
{
    return Flag(CdsCsvFile::ExportMemoryArrayInfo(pDevice, pBlock));
}
