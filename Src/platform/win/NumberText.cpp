#include "platform/win/NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace win {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c, bool hex)
{
    return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

// Whether a number from_chars found out of range is too large rather than too small:
// where its first significant digit stands, from its digits and exponent.
bool TooLarge(std::string_view number, bool hex)
{
    long long place = 0;  // digits (hex: bits) of the first significant digit above the point
    bool seen = false, afterPoint = false;
    std::size_t i = 0;
    for (; i < number.size(); ++i) {
        const char c = number[i];
        if (c == '.') {
            afterPoint = true;
        } else if (IsDigit(c, hex)) {
            if (c != '0') seen = true;
            if (!afterPoint && seen) place += hex ? 4 : 1;
            if (afterPoint && !seen) place -= hex ? 4 : 1;
        } else {
            break;
        }
    }
    long long exponent = 0;
    if (i + 1 < number.size()) {
        ++i;  // 'e' or 'p'
        const bool negative = number[i] == '-';
        if (number[i] == '-' || number[i] == '+') ++i;
        for (; i < number.size() && IsDigit(number[i], false); ++i)
            if (exponent < 1000000000) exponent = exponent * 10 + (number[i] - '0');
        if (negative) exponent = -exponent;
    }
    return place + exponent > 0;
}

} // namespace

RealScan ScanReal(std::string_view text) noexcept
{
    const char* const first = text.data();
    const char* const last = first + text.size();
    const char* p = first;
    while (p != last && IsBlank(*p)) ++p;
    bool negative = false;
    if (p != last && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (p != last && (*p == '+' || *p == '-'))
        return {};  // from_chars would take a second sign
    const char* digits = p;
    auto format = std::chars_format::general;
    const bool hex = last - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
                     (IsDigit(p[2], true) || (p[2] == '.' && last - p > 3 && IsDigit(p[3], true)));
    if (hex) {
        digits = p + 2;
        format = std::chars_format::hex;
    }
    const char* stop = last;
    if (hex) {
        // Only a well-formed binary exponent goes to from_chars: libstdc++ 12 reads
        // "0x1p+-4" as 0x1p-4 where strtod stops before the 'p'.
        const char* q = digits;
        while (q != last && (IsDigit(*q, true) || *q == '.')) ++q;
        stop = q;
        if (q != last && (*q == 'p' || *q == 'P')) {
            const char* e = q + 1;
            if (e != last && (*e == '+' || *e == '-')) ++e;
            if (e != last && IsDigit(*e, false)) {
                while (e != last && IsDigit(*e, false)) ++e;
                stop = e;
            }
        }
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(digits, stop, value, format);
    if (end == digits)
        return {};
    RealScan scan;
    scan.length = static_cast<std::size_t>(end - first);
    if (ec == std::errc::result_out_of_range) {
        scan.outOfRange = true;
        value = TooLarge(std::string_view(digits, static_cast<std::size_t>(end - digits)), hex)
                    ? std::numeric_limits<double>::infinity()
                    : 0.0;
    }
    scan.value = negative ? -value : value;
    return scan;
}

std::string FixedText(double value, int decimals)
{
    decimals = decimals < 0 ? 6 : decimals > 100 ? 100 : decimals;
    // The widest "%f" is 309 digits, a sign, a point and the decimals.
    std::string text(320 + static_cast<std::size_t>(decimals), '\0');
    const auto [end, ec] =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, decimals);
    text.resize(ec == std::errc() ? static_cast<std::size_t>(end - text.data()) : 0);
    return text;
}

std::string GeneralText(double value, int digits)
{
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::general,
                                         digits < 0 ? 6 : digits > 40 ? 40 : digits);
    return ec == std::errc() ? std::string(text, end) : std::string();
}

} // namespace win
