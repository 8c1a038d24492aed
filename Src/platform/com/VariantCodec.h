#pragma once
// Byte layout of a VARIANT for crossing process borders. Everything little-endian:
//   WORD vt, then by vt:
//     VT_EMPTY, VT_NULL                      nothing
//     VT_I1, VT_UI1                          1 byte
//     VT_I2, VT_UI2, VT_BOOL                 2 bytes (VT_BOOL only 0x0000 or 0xFFFF)
//     VT_I4, VT_UI4, VT_INT, VT_UINT,
//     VT_R4, VT_ERROR                        4 bytes (VT_R4 as its IEEE bits)
//     VT_I8, VT_UI8, VT_R8, VT_CY, VT_DATE   8 bytes (VT_R8, VT_DATE as IEEE bits)
//     VT_BSTR                                DWORD n, then n UTF-16 code units
//     VT_ARRAY | t                           DWORD count, LONG lower bound, then count
//                                            elements, each laid out as the value of a
//                                            t above (for t = VT_VARIANT a whole VARIANT)
// Arrays nest (through VT_VARIANT elements) at most kMaxDepth deep.
#include "platform/com/Variant.h"

#include <cstddef>
#include <span>
#include <vector>

namespace com {

inline constexpr int kMaxVariantDepth = 8;

// Appends the encoding of v to out. A value that the decoder would refuse (arrays nested
// deeper than kMaxVariantDepth) gives E_INVALIDARG and appends nothing.
HRESULT encodeVariant(const VARIANT& v, std::vector<BYTE>& out);

// Decodes one VARIANT from the front of data; consumed gets its length. Truncated or
// malformed input (unknown vt, VT_BYREF, a bad VT_BOOL, bounds that overflow, nesting
// too deep) gives E_INVALIDARG (DISP_E_BADVARTYPE for an unknown type) and leaves out
// and consumed untouched. Never reads past data's end.
HRESULT decodeVariant(std::span<const BYTE> data, VARIANT& out, std::size_t& consumed);

// The 16-byte VARIANT cell of the OPC DA 1.0 data streams: WORD vt, six reserved zero
// bytes, then the value in the low bytes of an 8-byte field at offset 8 (VT_BOOL written
// as 0xFFFF / 0x0000; any non-zero reads as true). Only fixed-size scalar types have their value in the cell:
// for VT_BSTR and arrays encodeVariantCell writes vt and zeros (the stream carries the
// data behind the cell) and decodeVariantCell answers DISP_E_BADVARTYPE, as it does for
// unknown types.
inline constexpr std::size_t kVariantCellSize = 16;
void encodeVariantCell(const VARIANT& v, std::span<BYTE, kVariantCellSize> out) noexcept;
HRESULT decodeVariantCell(std::span<const BYTE, kVariantCellSize> cell, VARIANT& out) noexcept;

// A BSTR alone: DWORD n, then n UTF-16 code units.
void encodeBstr(std::u16string_view s, std::vector<BYTE>& out);
HRESULT decodeBstr(std::span<const BYTE> data, BSTR& out, std::size_t& consumed);

} // namespace com
