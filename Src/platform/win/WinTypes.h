#pragma once
// Fixed-size names for the integer types that stored files and wire formats use.
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using FLOAT = float;
using DOUBLE = double;
using CHAR = char;
using WCHAR = char16_t;
using BOOL = std::int32_t;

// Message parameters and results are pointer-sized, as on the original platform.
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

static_assert(sizeof(FLOAT) == 4 && sizeof(DOUBLE) == 8, "IEEE single and double expected");
