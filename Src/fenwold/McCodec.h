#pragma once
// Number fields of MC protocol frames: little-endian bytes in binary code, upper-case
// hexadecimal digits (most significant first) in ASCII code.
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
