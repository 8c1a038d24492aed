#pragma once
// Type words of variants ("R4X", "BC", "M10" ...) and the conversions that read
// a variant's value from the items of its block, and encode its BCD writes.
#include <string>
#include <string_view>

#include "platform/dde/BrisantTypes.h"

namespace kestrun {

// Longest text a variant reads: a block's response never holds more.
inline constexpr int kMaxVariantTextSize = 4096;

// A parsed type word.
struct VariantTypeCode {
    std::string code;       // trimmed and upper-cased
    int parsed = -1;        // the type the word names; -1 for an unknown word
    int storageType = -1;   // type of the value cell
    int packedCode = -1;    // 32-44 for packed forms, else the storage type
    int size = 0;           // bytes of the value; a text's length for strings

    bool IsValid() const { return parsed >= 0; }
    // Packed byte and word extracts can only be read.
    bool IsReadOnly() const { return packedCode >= BRISANT_LOBYTE && packedCode <= BRISANT_HIWORD; }
};

// Parses a type word. Unknown words give parsed -1; a text length that is not a
// plain number of digits is refused (parsed -1) and a long one is clamped to
// kMaxVariantTextSize.
VariantTypeCode ParseVariantTypeCode(std::string_view text);

// The items of a block from the variant's base item on: Item(0) is the base,
// Item(k) the point k places further. False when that point does not exist.
class VariantItemSource {
public:
    virtual ~VariantItemSource() = default;
    virtual bool Item(int offset, _BRISANTDATAVALUE& cell) const = 0;
};

// How a variant of this size reads items of that type.
enum class VariantAccess { Copy, Downsize, Upsize };
VariantAccess ChooseVariantAccess(int variantSize, int itemType);

// Reads the variant's value from the items (of the block's default type
// itemType). Texts are built in textBuffer and the cell points into it.
// False when no rule fits, a needed item is missing, a float is NaN, or a
// float does not fit the integer (it saturates instead when it is finite).
bool ReadVariantValue(const VariantTypeCode& type, int itemType, const VariantItemSource& items,
                      _BRISANTDATAVALUE& value, std::string& textBuffer);

// BCD word to its decimal value (thousands in the high nibble).
WORD DecodeBcdWord(WORD bcd);
// Decimal 0..9999 to a BCD word; false (and out unchanged) outside that range.
bool EncodeBcdWord(long value, WORD& bcd);

// Float to integer: truncated toward zero, clamped to [low, high]; false for NaN.
bool TruncateSaturated(double value, long long low, long long high, long long& out);

} // namespace kestrun
