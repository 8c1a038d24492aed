#include "kestrun/comm/serial/Lrc.h"

#include "platform/win/HexDigit.h"

namespace {

constexpr DWORD Len16(DWORD length)
{
    return length & 0xFFFF;
}

// The two characters as a hexadecimal byte; -1 when either is not a digit.
int HexPair(char high, char low)
{
    const int h = win::hexDigitValue(high);
    const int l = win::hexDigitValue(low);
    return (h < 0 || l < 0) ? -1 : (h << 4) | l;
}

BYTE Negate(unsigned sum)
{
    return static_cast<BYTE>(0x100 - (sum & 0xFF));
}

} // namespace

BYTE CAsciiLrc::CalcLrc(const char* text, DWORD length)
{
    const DWORD pairs = Len16(length) / 2;
    unsigned sum = 0;
    for (DWORD i = 0; i < pairs; ++i) {
        const int h = win::hexDigitValue(text[2 * i]);
        const int l = win::hexDigitValue(text[2 * i + 1]);
        sum += static_cast<unsigned>(((h < 0 ? 0 : h) << 4) | (l < 0 ? 0 : l));
    }
    return Negate(sum);
}

bool CAsciiLrc::IsValidLrc(const char* text, DWORD length)
{
    const DWORD len = Len16(length);
    if (len < 2)
        return false;
    const int stored = HexPair(text[len - 2], text[len - 1]);
    return stored >= 0 && stored == CalcLrc(text, len - 2);
}

void CAsciiLrc::AddLrc(char*, DWORD) {}

BYTE CRtuLrc::CalcLrc(const BYTE* data, DWORD length)
{
    const DWORD len = Len16(length);
    unsigned sum = 0;
    for (DWORD i = 0; i < len; ++i)
        sum += data[i];
    return Negate(sum);
}

bool CRtuLrc::IsValidLrc(const BYTE* data, DWORD length)
{
    const DWORD len = Len16(length);
    if (len < 2)
        return false;
    const int stored = HexPair(static_cast<char>(data[len - 2]), static_cast<char>(data[len - 1]));
    return stored >= 0 && stored == CalcLrc(data, len - 2);
}

void CRtuLrc::AddLrc(BYTE*, DWORD) {}
