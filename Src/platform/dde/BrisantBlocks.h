#pragma once
// Layout of the heap blocks that value cells point to.
//   counted text (11): 16-bit signed character count, the characters, a zero.
//   array (12-22):     16-bit type, 16-bit element size, 32-bit element count,
//                      then the elements (text arrays hold one text pointer each).
#include <cstddef>
#include <cstring>

#include "platform/dde/BrisantTypes.h"

namespace dde {

inline constexpr std::size_t kArrayHeaderSize = 8;
// No array block holds more elements than this; larger counts are refused.
inline constexpr DWORD kMaxArrayElements = 65536;

inline bool IsArrayType(int type) { return type >= BRISANT_BOOLARRAY && type <= BRISANT_FIXEDSTRINGARRAY; }
inline bool IsTextType(int type) { return type == BRISANT_STRING || type == BRISANT_FIXEDSTRING; }

// Bytes per element of an array code, 0 for every other code.
std::size_t ArrayElementSize(int type);
inline std::size_t ArrayBlockSize(int type, DWORD count) { return kArrayHeaderSize + ArrayElementSize(type) * count; }

inline DWORD ArrayCount(const BYTE* block)
{
    DWORD count = 0;
    std::memcpy(&count, block + 4, sizeof count);
    return count;
}
inline BYTE* ArrayElements(BYTE* block) { return block + kArrayHeaderSize; }
inline const BYTE* ArrayElements(const BYTE* block) { return block + kArrayHeaderSize; }
// Writes the header of an array block.
void SetArrayHeader(BYTE* block, int type, DWORD count);

inline SHORT CountedLength(const BYTE* block)
{
    SHORT length = 0;
    std::memcpy(&length, block, sizeof length);
    return length;
}
inline void SetCountedLength(BYTE* block, SHORT length) { std::memcpy(block, &length, sizeof length); }
inline char* CountedChars(BYTE* block) { return reinterpret_cast<char*>(block + 2); }
inline const char* CountedChars(const BYTE* block) { return reinterpret_cast<const char*>(block + 2); }
// Empty when there is no block, the count is below 1 or the first character is zero.
inline bool CountedEmpty(const BYTE* block) { return !block || CountedLength(block) < 1 || block[2] == 0; }

} // namespace dde
