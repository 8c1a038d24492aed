#pragma once
// The text forms of item names: the names the model forms for points, bits,
// blocks and variants, the case rule, and the parsing of client item texts.
// Nothing here touches a block or a device; ItemLookup.h walks those.
#include <optional>
#include <string>
#include <string_view>

namespace kestrun {

// Highest point index a block holds.
inline constexpr int kMaxPointIndex = 65536;
// Bits of the widest integer that carries bits.
inline constexpr int kMaxBitCount = 32;

// Blanks and tabs off both ends.
std::string_view TrimName(std::string_view text);
// Upper-cases unless names are case-sensitive.
std::string ApplyNameCase(std::string_view text, bool caseSensitive);
void ApplyNameCaseInPlace(std::string& text, bool caseSensitive);

// "%s%c%d": block address, ':', index.
std::string FormatPointName(std::string_view address, int index);
// "%s%c%d" with any separator (a pseudo name made from text and number).
std::string FormatSeparatedName(std::string_view text, char separator, int number);
// "%s%c%d%c%d": block address, ':', point index, '/', bit.
std::string FormatBitName(std::string_view address, int pointIndex, int bit);
// "[%s]%s", or the address alone when the name is empty.
std::string FormatBlockPath(std::string_view name, std::string_view address);
// "%s.%s": block path, point key name.
std::string FormatPointPath(std::string_view blockPath, std::string_view keyName);
// "[%s]%s": topic, point key name (DDE leaf full name).
std::string FormatLeafName(std::string_view topic, std::string_view keyName);
// "%s%c%s": base item, a blank, type code. The code is trimmed and upper-cased
// and the base follows the case rule, so one variant answers every spelling.
std::string FormatVariantKey(std::string_view base, std::string_view code, bool caseSensitive);

// A run of decimal digits only, at most maxValue; nullopt for anything else
// (empty, a sign, blanks, other characters, too large).
std::optional<int> ParseBoundedDecimal(std::string_view digits, int maxValue);

// A point name split for the lookup inside a block (after the case rule).
struct PointNameParts {
    // A bit separator after position 0: the text before it, and the bit number
    // after it (nullopt when that text is not a bit number).
    bool hasSeparator = false;
    std::string_view beforeSeparator;
    std::optional<int> separatorBit;
    // The address form "address:index[sep bit]" with a ':' after position 0.
    bool hasAddressForm = false;
    std::string_view address;
    std::optional<int> index;   // nullopt: the index text is not an index
    bool hasBit = false;
    std::optional<int> bit;     // with hasBit: nullopt when not a bit number
};

// Splits a point name. With dot subsets the bit separator is the last '.',
// else (or when there is none) the last '/'. Index texts are trimmed; a leading
// digit starts a decimal index (up to the first non-digit), a leading '&', 'H'
// or 'h' a hexadecimal one (every further character a hex digit). Indexes run
// to kMaxPointIndex, bit numbers to kMaxBitCount - 1.
PointNameParts ParsePointName(std::string_view name, bool dotSubset);

// The linear search's test of one point name against a text: equal names, or,
// for the block's first point, the text before that name's ':'.
bool WildNameMatches(std::string_view pointName, std::string_view text, bool firstPoint);

// An item text "base code" split at its first blank after position 0; both
// parts trimmed. Nullopt when there is no such blank.
struct TypedItemText {
    std::string base;
    std::string code;
};
std::optional<TypedItemText> SplitTypedItem(std::string_view item);

// An item id with its topic in brackets: "[topic]item". Only a '[' that comes
// before the first ']' counts.
struct BracketedItem {
    std::string topic;  // between the first '[' and the first ']'
    std::string item;   // after the first ']'
};
std::optional<BracketedItem> SplitBracketedItem(std::string_view itemId);
// The bracketed form rewritten for the browse tree: the first ']' becomes '.',
// every '[' is dropped. Texts without a bracketed topic are returned as given.
std::string RewriteBracketedItem(std::string_view itemId);

// Names given to a tag that was found outside the browse tree.
struct TagNames {
    std::string shortName;
    std::string itemId;
};
TagNames MakeTagNames(std::string_view itemId);

// A DDE item text: trimmed, with an optional bracketed topic in front cut off.
struct DdeItemText {
    std::optional<std::string> topic;
    std::string item;
};
DdeItemText SplitDdeItem(std::string_view text);

} // namespace kestrun
