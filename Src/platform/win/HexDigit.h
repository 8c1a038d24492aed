#pragma once
// Hexadecimal digits as text records, frames and item names spell them.

namespace win {

// The value of a hexadecimal digit of either case; -1 for any other character.
constexpr int hexDigitValue(char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The byte two hexadecimal digits spell, high digit first; -1 when either is not one.
constexpr int hexByteValue(char high, char low) noexcept
{
    const int h = hexDigitValue(high);
    const int l = hexDigitValue(low);
    return h < 0 || l < 0 ? -1 : h * 16 + l;
}

} // namespace win
