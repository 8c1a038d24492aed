#pragma once
// Number fields of MC protocol frames: little-endian bytes in binary code, upper-case
// hexadecimal digits (most significant first) in ASCII code.
#include <array>
#include <optional>
#include <span>
#include <vector>

#include "platform/win/WinTypes.h"

inline void McPutLE(std::vector<BYTE>& out, DWORD value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<BYTE>(value >> (8 * i)));
}

inline void McPutHex(std::vector<BYTE>& out, DWORD value, int digits)
{
    for (int i = digits - 1; i >= 0; --i)
        out.push_back(static_cast<BYTE>("0123456789ABCDEF"[(value >> (4 * i)) & 0xF]));
}

inline DWORD McGetLE(std::span<const BYTE> in, std::size_t at, int bytes)
{
    DWORD value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | in[at + static_cast<std::size_t>(i)];
    return value;
}

// Hexadecimal digits of either case; nothing when a character is not a digit or the
// field runs past the end.
inline std::optional<DWORD> McGetHex(std::span<const BYTE> in, std::size_t at, int digits)
{
    if (at + static_cast<std::size_t>(digits) > in.size())
        return std::nullopt;
    DWORD value = 0;
    for (int i = 0; i < digits; ++i) {
        const BYTE c = in[at + static_cast<std::size_t>(i)];
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else return std::nullopt;
        value = (value << 4) | static_cast<DWORD>(v);
    }
    return value;
}

// Value of each hexadecimal digit of either case; -1 for every other character.
inline constexpr std::array<signed char, 256> kMcHexDigit = [] {
    std::array<signed char, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[static_cast<std::size_t>(c)] = static_cast<signed char>(
            c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1);
    return table;
}();

// The four digits at p as a 16-bit number, high digit first; -1 when one is no digit.
inline int McHexWord(const BYTE* p)
{
    const int a = kMcHexDigit[p[0]], b = kMcHexDigit[p[1]], c = kMcHexDigit[p[2]], d = kMcHexDigit[p[3]];
    if ((a | b | c | d) < 0)
        return -1;
    return a << 12 | b << 8 | c << 4 | d;
}
