#include "kestrun/model/ItemName.h"

#include "platform/win/HexDigit.h"

#include <cctype>

namespace kestrun {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal digits up to the first non-digit; at least one digit.
std::optional<int> ParseLeadingDecimal(std::string_view text, int maxValue)
{
    std::size_t n = 0;
    while (n < text.size() && IsDigit(text[n])) ++n;
    return ParseBoundedDecimal(text.substr(0, n), maxValue);
}

// Every character a hex digit; at least one.
std::optional<int> ParseBoundedHex(std::string_view digits, int maxValue)
{
    if (digits.empty()) return std::nullopt;
    long long value = 0;
    for (char c : digits) {
        const int d = win::hexDigitValue(c);
        if (d < 0) return std::nullopt;
        value = value * 16 + d;
        if (value > maxValue) return std::nullopt;
    }
    return static_cast<int>(value);
}

std::optional<int> ParseIndexText(std::string_view text)
{
    text = TrimName(text);
    if (text.empty()) return std::nullopt;
    const char first = text.front();
    if (IsDigit(first)) return ParseLeadingDecimal(text, kMaxPointIndex);
    if (first == '&' || first == 'H' || first == 'h') return ParseBoundedHex(text.substr(1), kMaxPointIndex);
    return std::nullopt;
}

} // namespace

std::string_view TrimName(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string ApplyNameCase(std::string_view text, bool caseSensitive)
{
    std::string out(text);
    ApplyNameCaseInPlace(out, caseSensitive);
    return out;
}

void ApplyNameCaseInPlace(std::string& text, bool caseSensitive)
{
    if (caseSensitive) return;
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

std::string FormatSeparatedName(std::string_view text, char separator, int number)
{
    std::string out(text);
    out += separator;
    out += std::to_string(number);
    return out;
}

std::string FormatPointName(std::string_view address, int index)
{
    return FormatSeparatedName(address, ':', index);
}

std::string FormatBitName(std::string_view address, int pointIndex, int bit)
{
    return FormatSeparatedName(FormatPointName(address, pointIndex), '/', bit);
}

std::string FormatBlockPath(std::string_view name, std::string_view address)
{
    return name.empty() ? std::string(address) : FormatLeafName(name, address);
}

std::string FormatPointPath(std::string_view blockPath, std::string_view keyName)
{
    std::string out(blockPath);
    out += '.';
    out += keyName;
    return out;
}

std::string FormatLeafName(std::string_view topic, std::string_view keyName)
{
    std::string out;
    out.reserve(topic.size() + keyName.size() + 2);
    out += '[';
    out += topic;
    out += ']';
    out += keyName;
    return out;
}

std::string FormatVariantKey(std::string_view base, std::string_view code, bool caseSensitive)
{
    std::string out = ApplyNameCase(TrimName(base), caseSensitive);
    out += ' ';
    out += ApplyNameCase(TrimName(code), false);
    return out;
}

std::optional<int> ParseBoundedDecimal(std::string_view digits, int maxValue)
{
    if (digits.empty()) return std::nullopt;
    long long value = 0;
    for (char c : digits) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > maxValue) return std::nullopt;
    }
    return static_cast<int>(value);
}

PointNameParts ParsePointName(std::string_view name, bool dotSubset)
{
    PointNameParts parts;
    std::size_t sep = std::string_view::npos;
    if (dotSubset) sep = name.rfind('.');
    if (sep == std::string_view::npos) sep = name.rfind('/');
    const std::size_t colon = name.find(':');

    if (sep != std::string_view::npos && sep > 0) {
        parts.hasSeparator = true;
        parts.beforeSeparator = name.substr(0, sep);
        parts.separatorBit = ParseBoundedDecimal(name.substr(sep + 1), kMaxBitCount - 1);
    }
    if (colon == std::string_view::npos || colon == 0) return parts;

    parts.hasAddressForm = true;
    parts.address = name.substr(0, colon);
    // A separator before the ':' belongs to the address, not to a bit.
    const bool bitAfterIndex = parts.hasSeparator && sep > colon;
    const std::size_t indexEnd = bitAfterIndex ? sep : name.size();
    parts.index = ParseIndexText(name.substr(colon + 1, indexEnd - colon - 1));
    if (bitAfterIndex) {
        parts.hasBit = true;
        parts.bit = parts.separatorBit;
    }
    return parts;
}

bool WildNameMatches(std::string_view pointName, std::string_view text, bool firstPoint)
{
    if (pointName == text) return true;
    if (!firstPoint) return false;
    const std::size_t colon = pointName.find(':');
    return colon != std::string_view::npos && pointName.substr(0, colon) == text;
}

std::optional<TypedItemText> SplitTypedItem(std::string_view item)
{
    const std::size_t blank = item.find(' ');
    if (blank == std::string_view::npos || blank == 0) return std::nullopt;
    return TypedItemText{std::string(TrimName(item.substr(0, blank))), std::string(TrimName(item.substr(blank + 1)))};
}

std::optional<BracketedItem> SplitBracketedItem(std::string_view itemId)
{
    const std::size_t open = itemId.find('[');
    const std::size_t close = itemId.find(']');
    if (open == std::string_view::npos || close == std::string_view::npos || close == 0 || open > close)
        return std::nullopt;
    return BracketedItem{std::string(itemId.substr(open + 1, close - open - 1)), std::string(itemId.substr(close + 1))};
}

std::string RewriteBracketedItem(std::string_view itemId)
{
    if (!SplitBracketedItem(itemId)) return std::string(itemId);
    std::string out;
    out.reserve(itemId.size());
    bool closed = false;
    for (char c : itemId) {
        if (c == '[') continue;
        if (c == ']' && !closed) {
            closed = true;
            out += '.';
            continue;
        }
        out += c;
    }
    return out;
}

TagNames MakeTagNames(std::string_view itemId)
{
    if (auto bracketed = SplitBracketedItem(itemId))
        return TagNames{bracketed->item, RewriteBracketedItem(itemId)};
    const std::size_t dot = itemId.rfind('.');
    std::string shortName(dot == std::string_view::npos ? itemId : itemId.substr(dot + 1));
    return TagNames{std::move(shortName), std::string(itemId)};
}

DdeItemText SplitDdeItem(std::string_view text)
{
    text = TrimName(text);
    DdeItemText out;
    if (auto bracketed = SplitBracketedItem(text)) {
        out.topic = std::move(bracketed->topic);
        out.item = std::string(TrimName(bracketed->item));
    } else {
        out.item = std::string(text);
    }
    return out;
}

} // namespace kestrun
