#include "kestrun/model/BitValue.h"

namespace kestrun {

int BitCountOfType(int type)
{
    switch (type) {
    case BRISANT_CHAR:
    case BRISANT_BYTE: return 8;
    case BRISANT_SHORT:
    case BRISANT_WORD: return 16;
    case BRISANT_LONG:
    case BRISANT_DWORD: return 32;
    default: return 0;
    }
}

bool TypeCarriesBits(int type) { return BitCountOfType(type) > 0; }

bool ExtractBit(const _BRISANTDATAVALUE& value, int type, int bit, _BRISANTDATAVALUE& out)
{
    out = {};
    const int count = BitCountOfType(type);
    if (bit < 0 || bit >= count) return false;
    DWORD bits = value.dwVal;
    if (count == 8) bits &= 0xFFu;
    else if (count == 16) bits &= 0xFFFFu;
    out.boolVal = static_cast<SHORT>((bits >> bit) & 1u);
    return true;
}

} // namespace kestrun
