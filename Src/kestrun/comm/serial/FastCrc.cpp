#include "kestrun/comm/serial/FastCrc.h"

#include <array>

namespace {

// Table of a reflected 16-bit polynomial.
constexpr std::array<WORD, 256> MakeReflectedTable(WORD polynomial)
{
    std::array<WORD, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ polynomial : crc >> 1;
        table[i] = static_cast<WORD>(crc);
    }
    return table;
}

constexpr std::array<WORD, 256> kModbusTable = MakeReflectedTable(0xA001);
constexpr std::array<WORD, 256> kDnpTable = MakeReflectedTable(0xA6BC);

constexpr DWORD Len16(DWORD length)
{
    return length & 0xFFFF;
}

WORD Reflected(const std::array<WORD, 256>& table, WORD crc, const BYTE* data, DWORD length)
{
    for (DWORD i = 0; i < length; ++i)
        crc = static_cast<WORD>((crc >> 8) ^ table[(crc ^ data[i]) & 0xFF]);
    return crc;
}

} // namespace

WORD CFastCrc16::CalcCrc(const BYTE* data, DWORD length)
{
    const WORD crc = Reflected(kModbusTable, 0xFFFF, data, Len16(length));
    return static_cast<WORD>((crc << 8) | (crc >> 8));
}

WORD CFastCrc16::CalcCrc(const std::vector<BYTE>& data)
{
    if (data.empty())
        return 0;
    return CalcCrc(data.data(), static_cast<DWORD>(data.size()));
}

WORD CFastCrc16::CalcCrc(const std::vector<BYTE>& data, int length)
{
    if (data.empty() || length <= 0 || static_cast<std::size_t>(length) > data.size())
        return 0;
    return CalcCrc(data.data(), static_cast<DWORD>(length));
}

void CFastCrc16::AddCrc(BYTE* data, DWORD position)
{
    const DWORD pos = Len16(position);
    const WORD crc = CalcCrc(data, pos);
    data[pos] = static_cast<BYTE>(crc >> 8);
    data[pos + 1] = static_cast<BYTE>(crc & 0xFF);
}

bool CFastCrc16::IsValidCrc(const BYTE* data, DWORD length)
{
    const DWORD len = Len16(length);
    if (len < 2)
        return false;
    const WORD stored = static_cast<WORD>((data[len - 2] << 8) | data[len - 1]);
    return CalcCrc(data, len - 2) == stored;
}

WORD CFastCrc32::CalcCrc(const BYTE* data, DWORD length)
{
    return static_cast<WORD>(Reflected(kDnpTable, 0, data, Len16(length)) ^ 0xFFFF);
}

void CFastCrc32::AddCrc(BYTE* data, DWORD position)
{
    const DWORD pos = Len16(position);
    const WORD crc = CalcCrc(data, pos);
    data[pos] = static_cast<BYTE>(crc & 0xFF);
    data[pos + 1] = static_cast<BYTE>(crc >> 8);
}

bool CFastCrc32::IsValidCrc(const BYTE* data, DWORD length)
{
    const DWORD len = Len16(length);
    if (len < 2)
        return false;
    const WORD stored = static_cast<WORD>(data[len - 2] | (data[len - 1] << 8));
    return CalcCrc(data, len - 2) == stored;
}
