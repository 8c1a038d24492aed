#pragma once
// Real numbers in text, always with a dot: files, DDE values, dialogs and logs read
// and print them the same whatever LC_NUMERIC the C library holds (a desktop program
// takes the user's locale into it; strtod and printf then read "1.5" as 1 and print
// "1,5"). The Qt programs also reset LC_NUMERIC, but nothing here relies on that.
#include <cstddef>
#include <string>
#include <string_view>

namespace win {

// The real at the start of the text as strtod reads it in the "C" locale: leading
// white space, a sign ('+' too), decimal or "0x" hexadecimal digits with an exponent,
// "inf", "infinity" and "nan". Without a number: value 0 and length 0.
struct RealScan {
    double value = 0;
    std::size_t length = 0;   // characters read, blanks before the number included
    bool outOfRange = false;  // too large (value +-inf) or too small (value +-0) for a double
};
RealScan ScanReal(std::string_view text) noexcept;

// printf's "%.*f" in the "C" locale ("%f" is 6 decimals): "1.500000", "-inf", "nan".
std::string FixedText(double value, int decimals = 6);
// printf's "%.*g" in the "C" locale ("%g" is 6 significant digits): "1.5", "1e+20".
std::string GeneralText(double value, int digits = 6);

} // namespace win
