// VARIANT type conversion: numbers, booleans, text, dates and arrays.
#include "platform/com/Variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

namespace com {
namespace {

// A scalar value reduced to one of four kinds of number.
struct Number {
    enum Kind { Signed, Unsigned, Real, Currency } kind = Signed;
    std::int64_t i = 0;   // Signed, Currency (scaled by 10000)
    std::uint64_t u = 0;  // Unsigned
    double d = 0;         // Real
    bool fromBool = false;
};

constexpr double kTwo63 = 9223372036854775808.0;
constexpr double kTwo64 = 18446744073709551616.0;
constexpr std::int64_t kCyScale = 10000;
constexpr std::int64_t kCyMaxUnits = std::numeric_limits<std::int64_t>::max() / kCyScale;

bool isBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trim(std::string_view s) noexcept
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool equalsNoCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// Text to number by the "C" grammar: [sign] digits [. digits] [e [sign] digits], or
// [sign] . digits [...].
HRESULT parseNumber(std::string_view text, Number& n)
{
    std::string_view s = trim(text);
    std::size_t p = 0;
    bool negative = false;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) {
        negative = s[p] == '-';
        ++p;
    }
    const std::size_t mantissaStart = p;
    std::size_t intDigits = 0, fracDigits = 0;
    while (p < s.size() && isDigit(s[p])) {
        ++p;
        ++intDigits;
    }
    bool hasPoint = false;
    if (p < s.size() && s[p] == '.') {
        hasPoint = true;
        ++p;
        while (p < s.size() && isDigit(s[p])) {
            ++p;
            ++fracDigits;
        }
    }
    if (intDigits + fracDigits == 0)
        return DISP_E_TYPEMISMATCH;
    bool hasExponent = false, negativeExponent = false;
    if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
        hasExponent = true;
        ++p;
        if (p < s.size() && (s[p] == '+' || s[p] == '-')) {
            negativeExponent = s[p] == '-';
            ++p;
        }
        std::size_t expDigits = 0;
        while (p < s.size() && isDigit(s[p])) {
            ++p;
            ++expDigits;
        }
        if (expDigits == 0)
            return DISP_E_TYPEMISMATCH;
    }
    if (p != s.size())
        return DISP_E_TYPEMISMATCH;

    if (!hasPoint && !hasExponent) {
        // Whole numbers exactly, so 64-bit values keep every digit.
        std::uint64_t magnitude = 0;
        auto [end, ec] = std::from_chars(s.data() + mantissaStart, s.data() + s.size(), magnitude);
        if (ec == std::errc{} && end == s.data() + s.size()) {
            if (!negative) {
                n.kind = Number::Unsigned;
                n.u = magnitude;
            } else if (magnitude <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1) {
                n.kind = Number::Signed;
                n.i = static_cast<std::int64_t>(0 - magnitude);
            } else {
                return DISP_E_OVERFLOW;
            }
            return S_OK;
        }
        // Too long for 64 bits: fall through to a double, which will overflow any integer.
    }
    double d = 0;
    auto [end, ec] = std::from_chars(s.data() + mantissaStart, s.data() + s.size(), d);
    if (end != s.data() + s.size())
        return DISP_E_TYPEMISMATCH;
    if (ec == std::errc::result_out_of_range) {
        if (!(hasExponent && negativeExponent))
            return DISP_E_OVERFLOW;
        d = 0;  // too small: underflows to zero
    } else if (ec != std::errc{}) {
        return DISP_E_TYPEMISMATCH;
    }
    n.kind = Number::Real;
    n.d = negative ? -d : d;
    return S_OK;
}

// "YYYY-MM-DD", optionally followed by ' ' or 'T' and "HH:MM" or "HH:MM:SS".
bool parseDate(std::string_view text, DATE& out)
{
    std::string_view s = trim(text);
    auto number = [&s](std::size_t pos, std::size_t len, int& v) {
        if (pos + len > s.size())
            return false;
        v = 0;
        for (std::size_t i = pos; i < pos + len; ++i) {
            if (!isDigit(s[i]))
                return false;
            v = v * 10 + (s[i] - '0');
        }
        return true;
    };
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    if (!number(0, 4, y) || s.size() < 10 || s[4] != '-' || !number(5, 2, mo) || s[7] != '-' || !number(8, 2, d))
        return false;
    if (s.size() > 10) {
        if (s[10] != ' ' && s[10] != 'T')
            return false;
        if (!number(11, 2, h) || s.size() < 16 || s[13] != ':' || !number(14, 2, mi))
            return false;
        if (s.size() > 16) {
            if (s.size() != 19 || s[16] != ':' || !number(17, 2, sec))
                return false;
        }
    }
    SYSTEMTIME st;
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(sec);
    return systemTimeToDate(st, out);
}

HRESULT formatDate(DATE date, std::string& out)
{
    std::int64_t ms = 0;
    SYSTEMTIME st;
    if (!dateToMilliseconds(date, ms))
        return DISP_E_OVERFLOW;
    // Round to the second on the linear time line, then break it down.
    const std::int64_t second = (ms >= -500 ? (ms + 500) / 1000 : -((-ms - 500 + 999) / 1000));
    if (!dateToSystemTime(dateFromMilliseconds(second * 1000), st))
        return DISP_E_OVERFLOW;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    out = buf;
    return S_OK;
}

std::string formatReal(double v, int precision)
{
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v < 0 ? "-Inf" : "Inf";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
    if (ec != std::errc{})
        return "0";
    std::string s(buf, end);
    for (char& c : s)
        if (c == 'e')
            c = 'E';
    return s;
}

std::string formatCurrency(std::int64_t scaled)
{
    const bool negative = scaled < 0;
    const std::uint64_t abs = negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::string s = negative ? "-" : "";
    s += std::to_string(abs / kCyScale);
    std::uint64_t frac = abs % kCyScale;
    if (frac != 0) {
        char digits[5] = {};
        for (int i = 3; i >= 0; --i) {
            digits[i] = static_cast<char>('0' + frac % 10);
            frac /= 10;
        }
        std::string_view f(digits, 4);
        while (!f.empty() && f.back() == '0')
            f.remove_suffix(1);
        s += '.';
        s += f;
    }
    return s;
}

// Reads a non-text, non-array source as a number. VT_NULL and VT_ERROR are no numbers.
HRESULT toNumber(const VARIANT& v, Number& n)
{
    switch (v.vt()) {
    case VT_EMPTY: n = Number{}; return S_OK;
    case VT_I1: n.kind = Number::Signed; n.i = v.cVal(); return S_OK;
    case VT_I2: n.kind = Number::Signed; n.i = v.iVal(); return S_OK;
    case VT_I4: n.kind = Number::Signed; n.i = v.lVal(); return S_OK;
    case VT_INT: n.kind = Number::Signed; n.i = v.intVal(); return S_OK;
    case VT_I8: n.kind = Number::Signed; n.i = v.llVal(); return S_OK;
    case VT_UI1: n.kind = Number::Unsigned; n.u = v.bVal(); return S_OK;
    case VT_UI2: n.kind = Number::Unsigned; n.u = v.uiVal(); return S_OK;
    case VT_UI4: n.kind = Number::Unsigned; n.u = v.ulVal(); return S_OK;
    case VT_UINT: n.kind = Number::Unsigned; n.u = v.uintVal(); return S_OK;
    case VT_UI8: n.kind = Number::Unsigned; n.u = v.ullVal(); return S_OK;
    case VT_R4: n.kind = Number::Real; n.d = v.fltVal(); return S_OK;
    case VT_R8: n.kind = Number::Real; n.d = v.dblVal(); return S_OK;
    case VT_DATE: n.kind = Number::Real; n.d = v.date(); return S_OK;
    case VT_CY: n.kind = Number::Currency; n.i = v.cyVal().int64; return S_OK;
    case VT_BOOL:
        n.kind = Number::Signed;
        n.i = v.boolVal() ? -1 : 0;
        n.fromBool = true;
        return S_OK;
    case VT_BSTR: return parseNumber(fromBstr(v.bstrVal()), n);
    default: return DISP_E_TYPEMISMATCH;
    }
}

// Currency units rounded half to even to a whole number.
std::int64_t currencyToWhole(std::int64_t scaled) noexcept
{
    std::int64_t q = scaled / kCyScale;
    const std::int64_t r = scaled % kCyScale;
    const std::int64_t absR = r < 0 ? -r : r;
    const std::int64_t step = scaled < 0 ? -1 : 1;
    if (absR > kCyScale / 2 || (absR == kCyScale / 2 && (q % 2) != 0))
        q += step;
    return q;
}

struct IntRange {
    bool isSigned;
    std::int64_t lo;     // signed targets
    std::uint64_t hi;    // largest value
    double loReal;       // lowest value as a double
    double hiExclusive;  // one past the largest value as a double
    int bits;
};

IntRange rangeOf(VARTYPE vt) noexcept
{
    switch (vt) {
    case VT_I1: return {true, -128, 127, -128.0, 128.0, 8};
    case VT_I2: return {true, -32768, 32767, -32768.0, 32768.0, 16};
    case VT_I4:
    case VT_INT: return {true, INT32_MIN, INT32_MAX, -2147483648.0, 2147483648.0, 32};
    case VT_I8: return {true, INT64_MIN, INT64_MAX, -kTwo63, kTwo63, 64};
    case VT_UI1: return {false, 0, 255, 0.0, 256.0, 8};
    case VT_UI2: return {false, 0, 65535, 0.0, 65536.0, 16};
    case VT_UI4:
    case VT_UINT: return {false, 0, UINT32_MAX, 0.0, 4294967296.0, 32};
    default: return {false, 0, UINT64_MAX, 0.0, kTwo64, 64};  // VT_UI8
    }
}

// The number as the integer target's bits (two's complement for signed targets).
HRESULT toInteger(const Number& n, VARTYPE vt, std::uint64_t& bits)
{
    const IntRange r = rangeOf(vt);
    if (n.fromBool && !r.isSigned) {
        // A true BOOL becomes all ones of the target's width, as COM does.
        bits = n.i == 0 ? 0 : (r.bits == 64 ? UINT64_MAX : ((std::uint64_t{1} << r.bits) - 1));
        return S_OK;
    }
    std::int64_t si = 0;
    bool haveSigned = false;
    switch (n.kind) {
    case Number::Signed: si = n.i; haveSigned = true; break;
    case Number::Currency: si = currencyToWhole(n.i); haveSigned = true; break;
    case Number::Unsigned:
        if (n.u > r.hi)
            return DISP_E_OVERFLOW;
        bits = n.u;
        return S_OK;
    case Number::Real: {
        const double rounded = roundHalfEven(n.d);
        if (!std::isfinite(rounded) || rounded < r.loReal || rounded >= r.hiExclusive)
            return DISP_E_OVERFLOW;
        bits = r.isSigned ? static_cast<std::uint64_t>(static_cast<std::int64_t>(rounded))
                          : static_cast<std::uint64_t>(rounded);
        return S_OK;
    }
    }
    if (haveSigned) {
        if (r.isSigned) {
            if (si < r.lo || si > static_cast<std::int64_t>(r.hi))
                return DISP_E_OVERFLOW;
        } else if (si < 0 || static_cast<std::uint64_t>(si) > r.hi) {
            return DISP_E_OVERFLOW;
        }
        bits = static_cast<std::uint64_t>(si);
    }
    return S_OK;
}

double toDouble(const Number& n) noexcept
{
    switch (n.kind) {
    case Number::Signed: return static_cast<double>(n.i);
    case Number::Unsigned: return static_cast<double>(n.u);
    case Number::Currency: return static_cast<double>(n.i) / kCyScale;
    case Number::Real: break;
    }
    return n.d;
}

bool isNonZero(const Number& n) noexcept
{
    switch (n.kind) {
    case Number::Signed:
    case Number::Currency: return n.i != 0;
    case Number::Unsigned: return n.u != 0;
    case Number::Real: break;
    }
    return n.d != 0;  // NaN counts as non-zero
}

HRESULT toCurrency(const Number& n, std::int64_t& scaled)
{
    switch (n.kind) {
    case Number::Currency: scaled = n.i; return S_OK;
    case Number::Signed:
        if (n.i > kCyMaxUnits || n.i < -kCyMaxUnits)
            return DISP_E_OVERFLOW;
        scaled = n.i * kCyScale;
        return S_OK;
    case Number::Unsigned:
        if (n.u > static_cast<std::uint64_t>(kCyMaxUnits))
            return DISP_E_OVERFLOW;
        scaled = static_cast<std::int64_t>(n.u) * kCyScale;
        return S_OK;
    case Number::Real: break;
    }
    const double rounded = roundHalfEven(n.d * kCyScale);
    if (!std::isfinite(rounded) || rounded < -kTwo63 || rounded >= kTwo63)
        return DISP_E_OVERFLOW;
    scaled = static_cast<std::int64_t>(rounded);
    return S_OK;
}

HRESULT toText(const VARIANT& src, USHORT flags, std::string& out)
{
    switch (src.vt()) {
    case VT_EMPTY: out.clear(); return S_OK;
    case VT_BOOL:
        if (flags & VARIANT_ALPHABOOL)
            out = src.boolVal() ? "True" : "False";
        else
            out = src.boolVal() ? "-1" : "0";
        return S_OK;
    case VT_R4: out = formatReal(src.fltVal(), 7); return S_OK;
    case VT_R8: out = formatReal(src.dblVal(), 15); return S_OK;
    case VT_CY: out = formatCurrency(src.cyVal().int64); return S_OK;
    case VT_DATE: return formatDate(src.date(), out);
    case VT_I1: case VT_I2: case VT_I4: case VT_INT: case VT_I8:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UINT: case VT_UI8: {
        Number n;
        toNumber(src, n);
        out = n.kind == Number::Signed ? std::to_string(n.i) : std::to_string(n.u);
        return S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
    }
}

HRESULT convertScalar(const VARIANT& src, VARTYPE vt, USHORT flags, VARIANT& out)
{
    const VARTYPE from = src.vt();
    if (vt == VT_EMPTY) {
        out.clear();
        return S_OK;
    }
    if (vt == VT_NULL) {
        if (from != VT_EMPTY && from != VT_NULL)
            return DISP_E_TYPEMISMATCH;
        out.setNull();
        return S_OK;
    }
    if (from == vt) {
        out = src;
        return S_OK;
    }
    if (from == VT_NULL || from == VT_ERROR || vt == VT_ERROR)
        return DISP_E_TYPEMISMATCH;

    if (vt == VT_BSTR) {
        std::string text;
        HRESULT hr = toText(src, flags, text);
        if (FAILED(hr))
            return hr;
        out.setString(text);
        return S_OK;
    }

    if (vt == VT_BOOL && from == VT_BSTR) {
        const std::string text = fromBstr(src.bstrVal());
        const std::string_view t = trim(text);
        if (equalsNoCase(t, "true")) {
            out.setBool(true);
            return S_OK;
        }
        if (equalsNoCase(t, "false")) {
            out.setBool(false);
            return S_OK;
        }
    }

    if (vt == VT_DATE && from == VT_BSTR) {
        DATE d = 0;
        if (!parseDate(fromBstr(src.bstrVal()), d))
            return DISP_E_TYPEMISMATCH;
        out.setDate(d);
        return S_OK;
    }

    Number n;
    HRESULT hr = toNumber(src, n);
    if (FAILED(hr))
        return hr;

    switch (vt) {
    case VT_BOOL: out.setBool(isNonZero(n)); return S_OK;
    case VT_R8: out.setR8(toDouble(n)); return S_OK;
    case VT_R4: {
        const double d = toDouble(n);
        if (std::fabs(d) > std::numeric_limits<float>::max())  // NaN passes as NaN
            return DISP_E_OVERFLOW;
        out.setR4(static_cast<float>(d));
        return S_OK;
    }
    case VT_DATE: {
        const double d = toDouble(n);
        if (!(d >= kDateMin && d <= kDateMax))
            return DISP_E_OVERFLOW;
        out.setDate(d);
        return S_OK;
    }
    case VT_CY: {
        std::int64_t scaled = 0;
        hr = toCurrency(n, scaled);
        if (FAILED(hr))
            return hr;
        out.setCy(CY{scaled});
        return S_OK;
    }
    default: break;
    }

    std::uint64_t bits = 0;
    hr = toInteger(n, vt, bits);
    if (FAILED(hr))
        return hr;
    switch (vt) {
    case VT_I1: out.setI1(static_cast<CHAR>(bits)); break;
    case VT_I2: out.setI2(static_cast<SHORT>(bits)); break;
    case VT_I4: out.setI4(static_cast<LONG>(bits)); break;
    case VT_INT: out.setInt(static_cast<INT>(bits)); break;
    case VT_I8: out.setI8(static_cast<LONGLONG>(bits)); break;
    case VT_UI1: out.setUI1(static_cast<BYTE>(bits)); break;
    case VT_UI2: out.setUI2(static_cast<USHORT>(bits)); break;
    case VT_UI4: out.setUI4(static_cast<ULONG>(bits)); break;
    case VT_UINT: out.setUint(static_cast<UINT>(bits)); break;
    case VT_UI8: out.setUI8(bits); break;
    default: return DISP_E_BADVARTYPE;
    }
    return S_OK;
}

bool isTargetType(VARTYPE vt) noexcept
{
    if (vt & VT_ARRAY)
        return (vt & ~VT_ARRAY) == (vt & VT_TYPEMASK) && SAFEARRAY::canHold(static_cast<VARTYPE>(vt & VT_TYPEMASK));
    return isScalarType(vt);
}

} // namespace

double roundHalfEven(double v) noexcept
{
    if (!std::isfinite(v))
        return v;
    const double f = std::floor(v);
    const double diff = v - f;
    if (diff > 0.5)
        return f + 1;
    if (diff < 0.5)
        return f;
    return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

bool isScalarType(VARTYPE vt) noexcept
{
    switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
    case VT_DATE: case VT_BSTR: case VT_ERROR: case VT_BOOL: case VT_I1: case VT_UI1: case VT_UI2:
    case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
        return true;
    default:
        return false;
    }
}

HRESULT changeType(const VARIANT& src, VARTYPE vt, VARIANT& out, USHORT flags)
{
    if (!isTargetType(vt))
        return DISP_E_BADVARTYPE;
    VARIANT result;
    if (vt & VT_ARRAY) {
        if (!src.isArray() || !src.parray())
            return DISP_E_TYPEMISMATCH;
        const SAFEARRAY& from = *src.parray();
        const auto elementType = static_cast<VARTYPE>(vt & VT_TYPEMASK);
        if (from.elementType() == elementType) {
            result = src;
        } else {
            SAFEARRAY to(elementType, from.count(), from.lowerBound());
            for (ULONG i = 0; i < from.count(); ++i) {
                VARIANT element;
                if (elementType == VT_VARIANT) {
                    element = from.at(i);
                } else {
                    HRESULT hr = from.at(i).isArray() ? DISP_E_TYPEMISMATCH
                                                      : convertScalar(from.at(i), elementType, flags, element);
                    if (FAILED(hr))
                        return hr;
                }
                to.putElement(static_cast<LONG>(static_cast<long long>(from.lowerBound()) + i), std::move(element));
            }
            result.setArray(std::move(to));
        }
    } else {
        if (src.isArray())
            return DISP_E_TYPEMISMATCH;
        HRESULT hr = convertScalar(src, vt, flags, result);
        if (FAILED(hr))
            return hr;
    }
    out = std::move(result);
    return S_OK;
}

std::string vtName(VARTYPE vt)
{
    static constexpr struct {
        VARTYPE vt;
        const char* name;
    } kNames[] = {
        {VT_EMPTY, "VT_EMPTY"}, {VT_NULL, "VT_NULL"}, {VT_I2, "VT_I2"}, {VT_I4, "VT_I4"},
        {VT_R4, "VT_R4"}, {VT_R8, "VT_R8"}, {VT_CY, "VT_CY"}, {VT_DATE, "VT_DATE"},
        {VT_BSTR, "VT_BSTR"}, {VT_DISPATCH, "VT_DISPATCH"}, {VT_ERROR, "VT_ERROR"}, {VT_BOOL, "VT_BOOL"},
        {VT_VARIANT, "VT_VARIANT"}, {VT_UNKNOWN, "VT_UNKNOWN"}, {VT_DECIMAL, "VT_DECIMAL"}, {VT_I1, "VT_I1"},
        {VT_UI1, "VT_UI1"}, {VT_UI2, "VT_UI2"}, {VT_UI4, "VT_UI4"}, {VT_I8, "VT_I8"},
        {VT_UI8, "VT_UI8"}, {VT_INT, "VT_INT"}, {VT_UINT, "VT_UINT"},
    };
    std::string prefix;
    if (vt & VT_ARRAY)
        prefix += "VT_ARRAY|";
    if (vt & VT_BYREF)
        prefix += "VT_BYREF|";
    const VARTYPE base = vt & VT_TYPEMASK;
    const bool otherBits = (vt & ~(VT_ARRAY | VT_BYREF | VT_TYPEMASK)) != 0;
    if (!otherBits) {
        for (const auto& entry : kNames)
            if (entry.vt == base)
                return prefix + entry.name;
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "VT_0x%04X", static_cast<unsigned>(vt));
    return buf;
}

} // namespace com
