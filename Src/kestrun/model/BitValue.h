#pragma once
// Single bits of integer values: which types carry bits, how many, and the
// value of one bit.
#include "platform/dde/BrisantTypes.h"

namespace kestrun {

// Bits of a value of that type: 8 for Char/Byte, 16 for Short/Word, 32 for
// Long/DWord, 0 for every other type.
int BitCountOfType(int type);

// True for the types that carry bits (Char to DWord).
bool TypeCarriesBits(int type);

// The bit's value as a Bool cell (16-bit 0 or 1), the rest of the cell zero.
// False, with out cleared, for a type without bits or a bit number outside
// 0 .. BitCountOfType - 1.
bool ExtractBit(const _BRISANTDATAVALUE& value, int type, int bit, _BRISANTDATAVALUE& out);

} // namespace kestrun
