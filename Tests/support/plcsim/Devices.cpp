#include "support/plcsim/Devices.h"

#include <iterator>

namespace plcsim {
namespace {

constexpr std::uint32_t kBits = 0x10000;
constexpr std::uint32_t kWords = 0x10000;

// Direct inputs/outputs (DX, DY) reach the same memory as X and Y.
constexpr DeviceInfo kDevices[] = {
    {0x9C, "X*", 0x5820, true, true, kBits, 0x9C},
    {0x9D, "Y*", 0x5920, true, true, kBits, 0x9D},
    {0xA2, "DX", 0, true, true, kBits, 0x9C},
    {0xA3, "DY", 0, true, true, kBits, 0x9D},
    {0x90, "M*", 0x4D20, false, true, kBits, 0x90},
    {0x91, "SM", 0, false, true, kBits, 0x91},
    {0x92, "L*", 0, false, true, kBits, 0x92},
    {0x93, "F*", 0x4620, false, true, kBits, 0x93},
    {0x94, "V*", 0, false, true, kBits, 0x94},
    {0x98, "S*", 0, false, true, kBits, 0x98},
    {0xA0, "B*", 0x4220, true, true, kBits, 0xA0},
    {0xA1, "SB", 0, true, true, kBits, 0xA1},
    {0xC1, "TS", 0x5453, false, true, kBits, 0xC1},
    {0xC0, "TC", 0x5443, false, true, kBits, 0xC0},
    {0xC7, "SS", 0, false, true, kBits, 0xC7},
    {0xC6, "SC", 0, false, true, kBits, 0xC6},
    {0xC4, "CS", 0x4353, false, true, kBits, 0xC4},
    {0xC3, "CC", 0x4343, false, true, kBits, 0xC3},
    {0xC2, "TN", 0x544E, false, false, kWords, 0xC2},
    {0xC8, "SN", 0, false, false, kWords, 0xC8},
    {0xC5, "CN", 0x434E, false, false, kWords, 0xC5},
    {0xA8, "D*", 0x4420, false, false, kWords, 0xA8},
    {0xA9, "SD", 0, false, false, kWords, 0xA9},
    {0xB4, "W*", 0x5720, true, false, kWords, 0xB4},
    {0xB5, "SW", 0, true, false, kWords, 0xB5},
    {0xAF, "R*", 0x5220, false, false, kWords, 0xAF},
    {0xB0, "ZR", 0, true, false, 0x100000, 0xB0},
    {0xCC, "Z*", 0, false, false, kWords, 0xCC},
};

} // namespace

const DeviceInfo* findDevice(std::uint8_t code)
{
    for (const auto& d : kDevices)
        if (d.code == code) return &d;
    return nullptr;
}

const DeviceInfo* findDeviceByName(std::string_view asciiName)
{
    // A one-letter name is padded with '*' or, as the reference also allows, a space.
    for (const auto& d : kDevices) {
        const std::string_view name(d.name, 2);
        if (asciiName == name) return &d;
        if (asciiName.size() == 2 && name[1] == '*' && asciiName[0] == name[0] && asciiName[1] == ' ') return &d;
    }
    return nullptr;
}

const DeviceInfo* findDevice1E(std::uint16_t code1E)
{
    if (code1E == 0) return nullptr;
    for (const auto& d : kDevices)
        if (d.code1E == code1E) return &d;
    return nullptr;
}

const DeviceInfo* deviceTableBegin() { return std::begin(kDevices); }
const DeviceInfo* deviceTableEnd() { return std::end(kDevices); }

} // namespace plcsim
