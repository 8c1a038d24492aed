#include "fenwold/MelsecDevice.h"

#include <array>
#include <cctype>
#include <cstring>

namespace {

constexpr WORD kNo1E = 0x2020;

// code, name, 1E code, hex numbering, bit device, writable, in 1E.
// SB and ZR are not the 1E's B and R: their 1E codes would reach other elements.
// DX, DY and the counter contacts and coils are bit devices like X, Y, TS and TC.
constexpr std::array<MelsecDevice, 28> kDevices{{
    {0x90, "M", 0x4D20, false, true, true, true},
    {0x91, "SM", kNo1E, false, true, true, false},
    {0x92, "L", 0x4D20, false, true, true, true},
    {0x93, "F", 0x4620, false, true, true, true},
    {0x94, "V", kNo1E, false, true, true, false},
    {0x98, "S", 0x4D20, false, true, true, true},
    {0x9C, "X", 0x5820, true, true, false, true},
    {0x9D, "Y", 0x5920, true, true, true, true},
    {0xA0, "B", 0x4220, true, true, true, true},
    {0xA1, "SB", 0x4220, true, true, true, false},
    {0xA2, "DX", kNo1E, true, true, false, false},
    {0xA3, "DY", kNo1E, true, true, true, false},
    {0xA8, "D", 0x4420, false, false, true, true},
    {0xA9, "SD", kNo1E, false, false, true, false},
    {0xAF, "R", 0x5220, false, false, true, true},
    {0xB0, "ZR", 0x5220, true, false, true, false},
    {0xB4, "W", 0x5720, true, false, true, true},
    {0xB5, "SW", kNo1E, true, false, true, false},
    {0xC0, "TC", 0x5443, false, true, true, true},
    {0xC1, "TS", 0x5453, false, true, true, true},
    {0xC2, "TN", 0x544E, false, false, true, true},
    {0xC3, "CC", 0x4343, false, true, true, true},
    {0xC4, "CS", 0x4353, false, true, true, true},
    {0xC5, "CN", 0x434E, false, false, true, true},
    {0xC6, "SC", kNo1E, false, true, true, false},
    {0xC7, "SS", kNo1E, false, true, true, false},
    {0xC8, "SN", kNo1E, false, false, true, false},
    {0xCC, "Z", kNo1E, false, false, true, false},
}};

}  // namespace

const MelsecDevice* MelsecDeviceByCode(WORD code)
{
    for (const MelsecDevice& d : kDevices)
        if (d.code == code)
            return &d;
    return nullptr;
}

const MelsecDevice* MelsecFindDevice(std::string_view address)
{
    const MelsecDevice* best = nullptr;
    std::size_t bestLength = 0;
    for (const MelsecDevice& d : kDevices) {
        const std::size_t n = std::strlen(d.name);
        if (n <= bestLength || address.size() < n)
            continue;
        bool same = true;
        for (std::size_t i = 0; i < n && same; ++i)
            same = std::toupper(static_cast<unsigned char>(address[i])) == d.name[i];
        if (same) {
            best = &d;
            bestLength = n;
        }
    }
    return best;
}

bool MelsecDeviceName(WORD code, std::string_view& name)
{
    const MelsecDevice* d = MelsecDeviceByCode(code);
    if (!d)
        return false;
    name = d->name;
    return true;
}

int MelsecReadCommand(WORD code)
{
    return MelsecDeviceByCode(code) ? 0x0401 : -1;
}

int MelsecWriteCommand(int dataType, WORD code)
{
    const MelsecDevice* d = MelsecDeviceByCode(code);
    if (!d || !d->writable)
        return -1;
    switch (dataType) {
    case 0:
        // A word device has no element per bit: a bit-unit write would hit a whole word.
        return d->bitDevice ? 0x1402 : -1;
    case 3: case 4: case 5: case 6: case 7:
        return 0x1402;
    case 10:
        return d->bitDevice ? -1 : 0x1401;
    default:
        return -1;
    }
}

bool MelsecIsBitDevice(WORD code)
{
    const MelsecDevice* d = MelsecDeviceByCode(code);
    return d && d->bitDevice;
}

bool MelsecIsBitAccess(int dataType, WORD code)
{
    return dataType == 0 || MelsecIsBitDevice(code);
}

int MelsecDataSize(int dataType, int stringSize)
{
    switch (dataType) {
    case 0: case 2: return 1;
    case 3: case 4: return 2;
    case 5: case 6: case 7: return 4;
    case 10: case 11: return stringSize > 0 ? stringSize : 0;
    default: return 0;
    }
}

int MelsecPrefixLength(WORD code)
{
    const MelsecDevice* d = MelsecDeviceByCode(code);
    return d ? static_cast<int>(std::strlen(d->name)) : 0;
}

bool Melsec1ECode(WORD code, WORD& code1E)
{
    const MelsecDevice* d = MelsecDeviceByCode(code);
    if (!d || !d->in1E)
        return false;
    code1E = d->code1E;
    return true;
}

DWORD MelsecMaxDeviceNumber(WORD code)
{
    const MelsecDevice* d = MelsecDeviceByCode(code);
    if (!d)
        return 0;
    return d->hexNumbered ? 0xFFFFFF : 999999;
}
