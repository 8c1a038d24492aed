#pragma once
// Data type codes and the 8-byte value cell: names, sizes, invalid markers,
// validity and change tests, and simulated values.
#include <ctime>

#include "platform/dde/BrisantBlocks.h"
#include "platform/dde/BrisantTypes.h"

// The constant name of a code; an empty text for codes without one.
const char* GetDataTypeName(int nType);
// Bytes the code takes in a device's data image (0 for texts, arrays and unknown codes).
int GetDataTypeSize(int nType);

// Steps a simulated value in place; texts get the local time and may be allocated
// on the toolkit heap (nothing changes when that fails). Arrays are left alone.
void GetNextNewValue(int nType, _BRISANTDATAVALUE* pValue);
void GetNextNewValueAt(int nType, _BRISANTDATAVALUE* pValue, std::time_t now);
// A random value drawn from a generator seeded with the current second.
_BRISANTDATAVALUE GetRandomValue(int nType);
_BRISANTDATAVALUE GetRandomValueAt(int nType, std::time_t now);

// False for the invalid markers (and every array code but Bool(Array)).
bool IsValidDataValue(int nType, const _BRISANTDATAVALUE& value);
// Writes the type's invalid marker; texts are released and the pointer cleared.
void InvalidateDataValue(int nType, _BRISANTDATAVALUE& value);
// Whether a new value counts as changed against the stored one.
bool IsNewDataValue(int nType, const _BRISANTDATAVALUE& newValue, const _BRISANTDATAVALUE& stored, bool bTouched);
// A number of the type (no text, array or unknown type) that its own bits read again
// would not make new: every number but a NaN.
bool IsPlainCell(int nType, const _BRISANTDATAVALUE& value);

// The toolkit heap that holds every point's texts and arrays; it exists from start-up.
HBRISANTHEAP GetBrisantHeap();
// A zero-filled block on that heap, or null.
void* AllocBrisantBlock(std::size_t nSize);
// Gives a block back to that heap; null is ignored.
void FreeBrisantBlock(void* pBlock);
// Releases what a cell of that type owns on the heap (text, array block and the
// texts of a text array) and clears the cell.
void ReleaseDataValue(int nType, _BRISANTDATAVALUE& value);
// A deep copy of a cell: texts and array blocks get blocks of their own. False
// (and a cleared copy) when the source is malformed or memory runs out.
bool CopyDataValue(int nType, const _BRISANTDATAVALUE& source, _BRISANTDATAVALUE& copy);
// Whether an array block of that type is whole: a bounded element count that fits the block.
bool IsArrayBlockSound(int nType, const BYTE* pBlock);

namespace kestrun {
inline constexpr float kInvalidFloat = 3.4028235e38f;          // bits 0x7F7FFFFF
inline constexpr double kInvalidDouble = 3.4028234663852886e38; // bits 0x47EFFFFFE0000000
} // namespace kestrun
