#include "kestrun/model/VariantType.h"

#include <array>
#include <cfloat>
#include <climits>
#include <cmath>

#include "kestrun/model/DataType.h"
#include "kestrun/model/ItemName.h"

namespace kestrun {
namespace {

char At(std::string_view s, std::size_t i) { return i < s.size() ? s[i] : '\0'; }

// B, L, M, X: the four byte orders, as offsets from the first packed code.
int OrderOffset(char c)
{
    switch (c) {
    case 'B': return 0;
    case 'L': return 1;
    case 'M': return 2;
    case 'X': return 3;
    default: return -1;
    }
}

int ParseCode(std::string_view c)
{
    const char c1 = At(c, 1);
    const char c2 = At(c, 2);
    switch (At(c, 0)) {
    case 'B': return c1 == 'C' ? BRISANT_BCD : BRISANT_BOOL;
    case 'F': return OrderOffset(c1) >= 0 ? BRISANT_FLOAT_B + OrderOffset(c1) : BRISANT_FLOAT;
    case 'H': return c1 == 'B' ? BRISANT_HIBYTE : c1 == 'W' ? BRISANT_HIWORD : BRISANT_NOTYPE;
    case 'I': return c1 == '1' ? BRISANT_CHAR : c1 == '4' ? BRISANT_LONG : BRISANT_SHORT;
    case 'S': return BRISANT_SHORT;
    case 'L': return c1 == 'B' ? BRISANT_LOBYTE : c1 == 'W' ? BRISANT_LOWORD : BRISANT_LONG;
    case 'M': return BRISANT_STRING;
    case 'R':
        if (c1 == '4') return OrderOffset(c2) >= 0 ? BRISANT_FLOAT_B + OrderOffset(c2) : BRISANT_FLOAT;
        if (c1 == '8') return OrderOffset(c2) >= 0 ? BRISANT_DOUBLE_B + OrderOffset(c2) : BRISANT_DOUBLE;
        return OrderOffset(c1) >= 0 ? BRISANT_DOUBLE_B + OrderOffset(c1) : BRISANT_DOUBLE;
    case 'U':
        if (c1 != 'I') return BRISANT_WORD;
        return c2 == '1' ? BRISANT_BYTE : c2 == '4' ? BRISANT_DWORD : BRISANT_WORD;
    default: return BRISANT_NOTYPE;
    }
}

bool IsInt16Type(int t) { return t == BRISANT_SHORT || t == BRISANT_WORD; }
bool IsInt32Type(int t) { return t == BRISANT_LONG || t == BRISANT_DWORD; }
bool IsFloatType(int t) { return t == BRISANT_FLOAT || t == BRISANT_DOUBLE; }

double FloatItem(int itemType, const _BRISANTDATAVALUE& v)
{
    return itemType == BRISANT_FLOAT ? static_cast<double>(v.fltVal) : v.dblVal;
}

bool Saturate(int itemType, const _BRISANTDATAVALUE& item, long long low, long long high, long long& out)
{
    return TruncateSaturated(FloatItem(itemType, item), low, high, out);
}

bool ReadCopy(const VariantTypeCode& type, int itemType, const _BRISANTDATAVALUE& base, _BRISANTDATAVALUE& value)
{
    value = base;
    const int storage = type.storageType;
    long long n = 0;
    if (storage == BRISANT_LONG && itemType == BRISANT_FLOAT) {
        if (!Saturate(itemType, base, INT32_MIN, INT32_MAX, n)) return false;
        value = {};
        value.lVal = static_cast<LONG>(n);
    } else if (storage == BRISANT_DWORD && itemType == BRISANT_FLOAT) {
        if (!Saturate(itemType, base, 0, UINT32_MAX, n)) return false;
        value = {};
        value.dwVal = static_cast<DWORD>(n);
    } else if (storage == BRISANT_FLOAT && itemType == BRISANT_LONG) {
        value = {};
        value.fltVal = static_cast<float>(base.lVal);
    } else if (storage == BRISANT_FLOAT && itemType == BRISANT_DWORD) {
        value = {};
        value.fltVal = static_cast<float>(base.dwVal);
    } else if (type.packedCode == BRISANT_BCD) {
        value = {};
        value.wVal = DecodeBcdWord(base.wVal);
    }
    return true;
}

bool ReadDownsize(const VariantTypeCode& type, int itemType, const _BRISANTDATAVALUE& base, _BRISANTDATAVALUE& value)
{
    value = {};
    long long n = 0;
    const bool fromFloat = IsFloatType(itemType);
    const bool from16 = IsInt16Type(itemType);
    const bool from32 = IsInt32Type(itemType);
    switch (type.storageType) {
    case BRISANT_BOOL:
        if (from16 || from32) {
            value.boolVal = static_cast<SHORT>(base.dwVal & 0xFFFF);
            return true;
        }
        if (fromFloat && Saturate(itemType, base, SHRT_MIN, SHRT_MAX, n)) {
            value.boolVal = static_cast<SHORT>(n);
            return true;
        }
        return false;
    case BRISANT_BYTE:
        if (from16) {
            value.bVal = static_cast<BYTE>(type.packedCode == BRISANT_HIBYTE ? base.wVal >> 8 : base.wVal & 0xFF);
            return true;
        }
        if (from32) {
            value.bVal = static_cast<BYTE>(base.dwVal & 0xFF);
            return true;
        }
        if (fromFloat && Saturate(itemType, base, 0, UCHAR_MAX, n)) {
            value.bVal = static_cast<BYTE>(n);
            return true;
        }
        return false;
    case BRISANT_SHORT:
        if (from32) {
            value.iVal = static_cast<SHORT>(base.dwVal & 0xFFFF);
            return true;
        }
        if (fromFloat && Saturate(itemType, base, SHRT_MIN, SHRT_MAX, n)) {
            value.iVal = static_cast<SHORT>(n);
            return true;
        }
        return false;
    case BRISANT_WORD:
        if (from32) {
            value.wVal = static_cast<WORD>(type.packedCode == BRISANT_HIWORD ? base.dwVal >> 16 : base.dwVal & 0xFFFF);
            if (type.packedCode == BRISANT_BCD) value.wVal = DecodeBcdWord(value.wVal);
            return true;
        }
        if (fromFloat && Saturate(itemType, base, 0, USHRT_MAX, n)) {
            value.wVal = static_cast<WORD>(n);
            return true;
        }
        return false;
    case BRISANT_LONG:
        if (itemType == BRISANT_DOUBLE && Saturate(itemType, base, INT32_MIN, INT32_MAX, n)) {
            value.lVal = static_cast<LONG>(n);
            return true;
        }
        return false;
    case BRISANT_DWORD:
        if (itemType == BRISANT_DOUBLE && Saturate(itemType, base, 0, UINT32_MAX, n)) {
            value.dwVal = static_cast<DWORD>(n);
            return true;
        }
        return false;
    case BRISANT_FLOAT:
        if (itemType == BRISANT_DOUBLE && !std::isnan(base.dblVal)) {
            // Beyond the float range the value pins to the largest float, which
            // is also the float's invalid marker.
            const double d = base.dblVal;
            value.fltVal = d > FLT_MAX ? FLT_MAX : d < -FLT_MAX ? -FLT_MAX : static_cast<float>(d);
            return true;
        }
        return false;
    default:
        return false;
    }
}

// Bytes s0.. of consecutive items: each 8-bit item one byte, each 16-bit item
// its low then its high byte. False when an item is missing.
template <std::size_t N>
bool GatherBytes(const VariantItemSource& items, int itemSize, std::array<BYTE, N>& s)
{
    if (itemSize != 1 && itemSize != 2) return false;
    const int count = static_cast<int>(N) / itemSize;
    for (int k = 0; k < count; ++k) {
        _BRISANTDATAVALUE item{};
        if (!items.Item(k, item)) return false;
        if (itemSize == 1) {
            s[k] = item.bVal;
        } else {
            s[2 * k] = static_cast<BYTE>(item.wVal & 0xFF);
            s[2 * k + 1] = static_cast<BYTE>(item.wVal >> 8);
        }
    }
    return true;
}

bool ReadUpsizeFloat(const VariantTypeCode& type, int itemSize, const VariantItemSource& items, _BRISANTDATAVALUE& value)
{
    static constexpr int kOrder[4][4] = {{0, 1, 2, 3}, {3, 2, 1, 0}, {1, 0, 3, 2}, {2, 3, 0, 1}};
    const int order = type.packedCode - BRISANT_FLOAT_B;
    if (order < 0 || order > 3) return false;
    std::array<BYTE, 4> s{};
    if (!GatherBytes(items, itemSize, s)) return false;
    DWORD bits = 0;
    for (int k = 0; k < 4; ++k) bits |= static_cast<DWORD>(s[kOrder[order][k]]) << (8 * k);
    value = {};
    value.dwVal = bits;
    return !std::isnan(value.fltVal);
}

bool ReadUpsizeDouble(const VariantTypeCode& type, int itemSize, const VariantItemSource& items, _BRISANTDATAVALUE& value)
{
    static constexpr int kOrder[4][4] = {{0, 1, 2, 3}, {3, 2, 1, 0}, {1, 0, 3, 2}, {2, 3, 0, 1}};
    const int order = type.packedCode - BRISANT_DOUBLE_B;
    if (order < 0 || order > 3) return false;
    std::array<WORD, 4> w{};
    if (itemSize == 4) {
        for (int k = 0; k < 2; ++k) {
            _BRISANTDATAVALUE item{};
            if (!items.Item(k, item)) return false;
            w[2 * k] = static_cast<WORD>(item.dwVal & 0xFFFF);
            w[2 * k + 1] = static_cast<WORD>(item.dwVal >> 16);
        }
    } else {
        std::array<BYTE, 8> s{};
        if (!GatherBytes(items, itemSize, s)) return false;
        for (int k = 0; k < 4; ++k) w[k] = static_cast<WORD>(s[2 * k] | (s[2 * k + 1] << 8));
    }
    ULONGLONG bits = 0;
    for (int k = 0; k < 4; ++k) bits |= static_cast<ULONGLONG>(w[kOrder[order][k]]) << (16 * k);
    value = {};
    value.ullVal = bits;
    return !std::isnan(value.dblVal);
}

bool ReadUpsizeInteger(const VariantTypeCode& type, int itemSize, const VariantItemSource& items, _BRISANTDATAVALUE& value)
{
    value = {};
    const int storage = type.storageType;
    _BRISANTDATAVALUE first{};
    _BRISANTDATAVALUE next{};
    if (!items.Item(0, first)) return false;
    if ((storage == BRISANT_SHORT || storage == BRISANT_WORD) && itemSize == 1) {
        const bool hasNext = items.Item(1, next);
        value.wVal = static_cast<WORD>(first.bVal | (hasNext ? next.bVal << 8 : 0));
        if (type.packedCode == BRISANT_BCD) value.wVal = DecodeBcdWord(value.wVal);
        return true;
    }
    if ((storage == BRISANT_LONG || storage == BRISANT_DWORD) && itemSize == 1) {
        DWORD bits = 0;
        for (int k = 0; k < 4; ++k) {
            _BRISANTDATAVALUE item{};
            if (!items.Item(k, item)) break;
            bits |= static_cast<DWORD>(item.bVal) << (8 * k);
        }
        value.dwVal = bits;
        return true;
    }
    if ((storage == BRISANT_LONG || storage == BRISANT_DWORD) && itemSize == 2) {
        const bool hasNext = items.Item(1, next);
        value.dwVal = static_cast<DWORD>(first.wVal) | (hasNext ? static_cast<DWORD>(next.wVal) << 16 : 0u);
        return true;
    }
    return false;
}

bool ReadText(const VariantTypeCode& type, int itemSize, const VariantItemSource& items, _BRISANTDATAVALUE& value,
              std::string& text)
{
    value = {};
    text.clear();
    if (itemSize != 1 && itemSize != 2 && itemSize != 4) return false;
    const std::size_t n = static_cast<std::size_t>(type.size);
    for (int k = 0; text.size() < n; ++k) {
        _BRISANTDATAVALUE item{};
        if (!items.Item(k, item)) break;
        if (itemSize == 1) {
            text += static_cast<char>(item.bVal);
        } else if (itemSize == 2) {
            text += static_cast<char>(item.wVal >> 8);
            if (text.size() < n) text += static_cast<char>(item.wVal & 0xFF);
        } else {
            for (int b = 0; b < 4 && text.size() < n; ++b) text += static_cast<char>((item.dwVal >> (8 * b)) & 0xFF);
        }
    }
    value.pszVal = text.data();
    return true;
}

} // namespace

VariantTypeCode ParseVariantTypeCode(std::string_view text)
{
    VariantTypeCode type;
    type.code = ApplyNameCase(TrimName(text), false);
    const int parsed = ParseCode(type.code);
    if (parsed == BRISANT_NOTYPE) return type;

    int size = GetDataTypeSize(parsed);
    if (parsed == BRISANT_STRING && type.code.size() > 1) {
        // Client text: only a plain count of characters, and never more than
        // a block can deliver.
        const std::string_view digits = std::string_view(type.code).substr(1);
        if (digits.find_first_not_of("0123456789") != std::string_view::npos) return type;
        const auto n = ParseBoundedDecimal(digits, kMaxVariantTextSize);
        size = n ? *n : kMaxVariantTextSize;
    }

    int storage = parsed;
    int packed = parsed;
    switch (parsed) {
    case BRISANT_FLOAT: packed = BRISANT_FLOAT_X; break;
    case BRISANT_DOUBLE: packed = BRISANT_DOUBLE_B; break;
    case BRISANT_BCD: storage = BRISANT_WORD; break;
    case BRISANT_LOBYTE:
    case BRISANT_HIBYTE: storage = BRISANT_BYTE; break;
    case BRISANT_LOWORD:
    case BRISANT_HIWORD: storage = BRISANT_WORD; break;
    default:
        if (parsed >= BRISANT_FLOAT_B && parsed <= BRISANT_FLOAT_X) storage = BRISANT_FLOAT;
        if (parsed >= BRISANT_DOUBLE_B && parsed <= BRISANT_DOUBLE_X) storage = BRISANT_DOUBLE;
        break;
    }
    type.parsed = parsed;
    type.storageType = storage;
    type.packedCode = packed;
    type.size = size;
    return type;
}

VariantAccess ChooseVariantAccess(int variantSize, int itemType)
{
    const int itemSize = GetDataTypeSize(itemType);
    if (variantSize < itemSize) return VariantAccess::Downsize;
    if (variantSize > itemSize) return VariantAccess::Upsize;
    return VariantAccess::Copy;
}

bool ReadVariantValue(const VariantTypeCode& type, int itemType, const VariantItemSource& items,
                      _BRISANTDATAVALUE& value, std::string& textBuffer)
{
    value = {};
    if (!type.IsValid()) return false;
    _BRISANTDATAVALUE base{};
    if (!items.Item(0, base)) return false;
    const int itemSize = GetDataTypeSize(itemType);
    if (type.storageType == BRISANT_STRING) return ReadText(type, itemSize, items, value, textBuffer);
    switch (ChooseVariantAccess(type.size, itemType)) {
    case VariantAccess::Copy: return ReadCopy(type, itemType, base, value);
    case VariantAccess::Downsize: return ReadDownsize(type, itemType, base, value);
    case VariantAccess::Upsize: break;
    }
    if (type.storageType == BRISANT_FLOAT) return ReadUpsizeFloat(type, itemSize, items, value);
    if (type.storageType == BRISANT_DOUBLE) return ReadUpsizeDouble(type, itemSize, items, value);
    return ReadUpsizeInteger(type, itemSize, items, value);
}

WORD DecodeBcdWord(WORD bcd)
{
    return static_cast<WORD>(((bcd >> 12) & 0xF) * 1000 + ((bcd >> 8) & 0xF) * 100 + ((bcd >> 4) & 0xF) * 10 + (bcd & 0xF));
}

bool EncodeBcdWord(long value, WORD& bcd)
{
    if (value < 0 || value > 9999) return false;
    bcd = static_cast<WORD>(((value / 1000) << 12) | (((value / 100) % 10) << 8) | (((value / 10) % 10) << 4) | (value % 10));
    return true;
}

bool TruncateSaturated(double value, long long low, long long high, long long& out)
{
    if (std::isnan(value)) return false;
    const double t = std::trunc(value);
    if (t <= static_cast<double>(low)) out = low;
    else if (t >= static_cast<double>(high)) out = high;
    else out = static_cast<long long>(t);
    return true;
}

} // namespace kestrun
