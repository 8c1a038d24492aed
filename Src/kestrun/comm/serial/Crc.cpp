#include "kestrun/comm/serial/Crc.h"

#include <array>

namespace {

constexpr std::array<WORD, 256> MakeCrc16Table()
{
    std::array<WORD, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        table[i] = static_cast<WORD>(crc);
    }
    return table;
}

constexpr std::array<DWORD, 256> MakeCrc32Table()
{
    std::array<DWORD, 256> table{};
    for (DWORD i = 0; i < 256; ++i) {
        DWORD crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        table[i] = crc;
    }
    return table;
}

// Every register uses the same tables, so they are built once at compile time.
constexpr std::array<WORD, 256> kCrc16Table = MakeCrc16Table();
constexpr std::array<DWORD, 256> kCrc32Table = MakeCrc32Table();

} // namespace

CCrc16::CCrc16(WORD initial) : m_register(initial) {}

void CCrc16::update(BYTE byte)
{
    m_register = static_cast<WORD>((m_register << 8) ^ kCrc16Table[m_register >> 8] ^ byte);
}

CCrc32::CCrc32(DWORD initial) : m_register(initial) {}

void CCrc32::update(BYTE byte)
{
    m_register = (m_register >> 8) ^ kCrc32Table[(byte ^ m_register) & 0xFF];
}
