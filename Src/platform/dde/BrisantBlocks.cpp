#include "platform/dde/BrisantBlocks.h"

namespace dde {

std::size_t ArrayElementSize(int type)
{
    switch (type) {
    case BRISANT_CHARARRAY:
    case BRISANT_BYTEARRAY:
        return 1;
    case BRISANT_SHORTARRAY:
    case BRISANT_WORDARRAY:
        return 2;
    case BRISANT_BOOLARRAY:
    case BRISANT_LONGARRAY:
    case BRISANT_DWORDARRAY:
    case BRISANT_FLOATARRAY:
        return 4;
    case BRISANT_DOUBLEARRAY:
        return 8;
    case BRISANT_STRINGARRAY:
    case BRISANT_FIXEDSTRINGARRAY:
        return sizeof(char*);
    default:
        return 0;
    }
}

void SetArrayHeader(BYTE* block, int type, DWORD count)
{
    const WORD words[2] = {static_cast<WORD>(type), static_cast<WORD>(ArrayElementSize(type))};
    std::memcpy(block, words, sizeof words);
    std::memcpy(block + 4, &count, sizeof count);
}

} // namespace dde
