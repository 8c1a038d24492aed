#include "platform/com/Bstr.h"

#include <cstdint>

namespace com {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at s[i], advancing i past it. Ill-formed input yields U+FFFD and
// advances past the maximal subpart of a valid sequence (at least one byte).
char32_t decodeUtf8(std::string_view s, std::size_t& i) noexcept
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len = 0;
    char32_t cp = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0;  // no overlong forms
        else if (b0 == 0xED)
            hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F;  // nothing above U+10FFFF
    } else {
        ++i;
        return kReplacement;
    }
    std::size_t j = i + 1;
    for (int k = 1; k < len; ++k, ++j) {
        if (j >= s.size())
            break;
        const auto b = static_cast<unsigned char>(s[j]);
        const unsigned char low = k == 1 ? lo : 0x80;
        const unsigned char high = k == 1 ? hi : 0xBF;
        if (b < low || b > high)
            break;
        cp = (cp << 6) | (b & 0x3F);
        if (k == len - 1) {
            i = j + 1;
            return cp;
        }
    }
    i = j;  // the bytes taken so far form the bad subpart
    return kReplacement;
}

void appendUtf16(BSTR& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool isHigh(char16_t c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }
bool isLow(char16_t c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }

} // namespace

BSTR toBstr(std::string_view utf8)
{
    BSTR out;
    assignBstr(out, utf8);
    return out;
}

void assignBstr(BSTR& out, std::string_view utf8)
{
    out.clear();
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();)
        appendUtf16(out, decodeUtf8(utf8, i));
}

std::string fromBstr(std::u16string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (isHigh(c) && i + 1 < s.size() && isLow(s[i + 1])) {
            char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            appendUtf8(out, cp);
            ++i;
        } else if (isHigh(c) || isLow(c)) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

std::size_t utf8SequenceLength(std::string_view utf8, std::size_t pos) noexcept
{
    if (pos >= utf8.size())
        return 0;
    std::size_t end = pos;
    char32_t cp = decodeUtf8(utf8, end);
    // A genuine U+FFFD is three bytes EF BF BD; a replacement for bad input is not.
    if (cp == kReplacement && !(end - pos == 3 && static_cast<unsigned char>(utf8[pos]) == 0xEF))
        return 0;
    return end - pos;
}

bool isValidUtf8(std::string_view utf8) noexcept
{
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t length = utf8SequenceLength(utf8, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

bool isValidUtf16(std::u16string_view s) noexcept
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (isHigh(s[i])) {
            if (i + 1 >= s.size() || !isLow(s[i + 1]))
                return false;
            ++i;
        } else if (isLow(s[i])) {
            return false;
        }
    }
    return true;
}

} // namespace com
