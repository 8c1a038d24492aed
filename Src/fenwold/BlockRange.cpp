#include "fenwold/BlockRange.h"

#include <cctype>

#include "fenwold/ElementAddress.h"
#include "fenwold/MelsecDevice.h"

namespace {

std::string LastElementText(const MelsecDevice& device)
{
    return std::string(device.name) + FormatDeviceNumber(device.code, MelsecMaxDeviceNumber(device.code), 0);
}

} // namespace

std::string MelsecAddressProblem(const std::string& strAddr)
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
    if (!ParseDeviceNumber(strAddr, device->code))
        return "Address: " + strAddr + " is past the last element " + LastElementText(*device);
    return {};
}

std::string MelsecBlockProblem(const std::string& strAddr, int nType, int nLength, McFrameKind kind)
{
    if (std::string problem = MelsecAddressProblem(strAddr); !problem.empty())
        return problem;
    const MelsecDevice* device = MelsecFindDevice(strAddr);
    const auto head = ParseDeviceNumber(strAddr, device->code);
    // Only the types a read can be planned for have a size to check.
    const bool planned = (nType >= 0 && nType <= 8) || nType == 10 || nType == 11;
    if (nLength < 1 || !planned)
        return {};
    // 1E reads a bit device in words that start on a multiple of 16, as the block's request does.
    const auto plan = MelsecPlanRead(nType, device->code, *head, static_cast<unsigned>(nLength), kind == McFrameKind::E1);
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
    if (plan->head + elements - 1 > MelsecMaxDeviceNumber(device->code))
        return "Length: " + std::to_string(nLength) + " items from " + strAddr + " run past the last element " +
               LastElementText(*device);
    return {};
}
