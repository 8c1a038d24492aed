#pragma once
// VARIANT and its one-dimensional SAFEARRAY, with value semantics: copying copies the
// text and the array, moving leaves VT_EMPTY behind.
#include "platform/com/Bstr.h"
#include "platform/com/HResult.h"
#include "platform/com/Time.h"
#include "platform/win/WinTypes.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using VARTYPE = std::uint16_t;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

using VARIANT_BOOL = std::int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Currency: a 64-bit integer scaled by 10000.
struct CY {
    LONGLONG int64 = 0;
    friend constexpr bool operator==(const CY&, const CY&) = default;
};

class SAFEARRAY;

class VARIANT {
public:
    VARIANT() noexcept = default;
    VARIANT(const VARIANT& other);
    VARIANT(VARIANT&& other) noexcept;
    VARIANT& operator=(const VARIANT& other);
    VARIANT& operator=(VARIANT&& other) noexcept;
    ~VARIANT();

    // Shorthands that make a VARIANT of one type.
    static VARIANT I1(CHAR v);
    static VARIANT UI1(BYTE v);
    static VARIANT I2(SHORT v);
    static VARIANT UI2(USHORT v);
    static VARIANT I4(LONG v);
    static VARIANT UI4(ULONG v);
    static VARIANT I8(LONGLONG v);
    static VARIANT UI8(ULONGLONG v);
    static VARIANT Int(INT v);
    static VARIANT Uint(UINT v);
    static VARIANT R4(FLOAT v);
    static VARIANT R8(DOUBLE v);
    static VARIANT Cy(CY v);
    static VARIANT Date(DATE v);
    static VARIANT Bool(bool v);
    static VARIANT Error(SCODE v);
    static VARIANT Bstr(std::u16string_view v);
    static VARIANT String(std::string_view utf8);
    static VARIANT Null();
    static VARIANT Array(SAFEARRAY array);

    VARTYPE vt() const noexcept { return vt_; }
    bool isArray() const noexcept { return (vt_ & VT_ARRAY) != 0; }

    // Back to VT_EMPTY; the text and array are released.
    void clear() noexcept;

    // Setters replace whatever was held.
    void setNull() noexcept;
    void setI1(CHAR v) noexcept;
    void setUI1(BYTE v) noexcept;
    void setI2(SHORT v) noexcept;
    void setUI2(USHORT v) noexcept;
    void setI4(LONG v) noexcept;
    void setUI4(ULONG v) noexcept;
    void setI8(LONGLONG v) noexcept;
    void setUI8(ULONGLONG v) noexcept;
    void setInt(INT v) noexcept;
    void setUint(UINT v) noexcept;
    void setR4(FLOAT v) noexcept;
    void setR8(DOUBLE v) noexcept;
    void setCy(CY v) noexcept;
    void setDate(DATE v) noexcept;
    void setBool(bool v) noexcept;               // stored as VARIANT_TRUE / VARIANT_FALSE
    void setBoolVal(VARIANT_BOOL v) noexcept;    // any non-zero becomes VARIANT_TRUE
    void setError(SCODE v) noexcept;
    void setBstr(std::u16string_view v);         // keeps the text buffer when already VT_BSTR
    void setBstr(BSTR&& v);
    void setBstr(const char16_t* v) { setBstr(std::u16string_view(v)); }
    void setString(std::string_view utf8);       // UTF-8 converted to the BSTR
    void setArray(SAFEARRAY array);              // vt becomes VT_ARRAY | element type

    // Getters read the 8-byte cell the way the COM union does: asking for another type
    // than vt() gives the low bytes of the stored value (a VT_R4 read as ulVal gives the
    // float's bits). The cell is zero for VT_EMPTY, VT_NULL, VT_BSTR and arrays.
    CHAR cVal() const noexcept { return read<CHAR>(); }
    BYTE bVal() const noexcept { return read<BYTE>(); }
    SHORT iVal() const noexcept { return read<SHORT>(); }
    USHORT uiVal() const noexcept { return read<USHORT>(); }
    LONG lVal() const noexcept { return read<LONG>(); }
    ULONG ulVal() const noexcept { return read<ULONG>(); }
    LONGLONG llVal() const noexcept { return read<LONGLONG>(); }
    ULONGLONG ullVal() const noexcept { return cell_; }
    INT intVal() const noexcept { return read<INT>(); }
    UINT uintVal() const noexcept { return read<UINT>(); }
    FLOAT fltVal() const noexcept { return read<FLOAT>(); }
    DOUBLE dblVal() const noexcept { return read<DOUBLE>(); }
    CY cyVal() const noexcept { return CY{read<LONGLONG>()}; }
    DATE date() const noexcept { return read<DATE>(); }
    VARIANT_BOOL boolVal() const noexcept { return read<VARIANT_BOOL>(); }
    SCODE scode() const noexcept { return read<SCODE>(); }

    // The text; empty unless vt() is VT_BSTR.
    const BSTR& bstrVal() const noexcept { return str_ ? *str_ : EmptyText(); }
    // The array; null unless vt() has VT_ARRAY.
    const SAFEARRAY* parray() const noexcept { return array_.get(); }
    SAFEARRAY* parray() noexcept { return array_.get(); }

    // Same type and same value. Floating values compare by their bits, so a NaN equals
    // itself and 0.0 differs from -0.0 (what a change test needs).
    friend bool operator==(const VARIANT& a, const VARIANT& b) noexcept;

private:
    template <typename T>
    T read() const noexcept;
    template <typename T>
    void store(VARTYPE vt, T v) noexcept;

    static const BSTR& EmptyText() noexcept;
    // The text held, made on first use.
    BSTR& Text();

    VARTYPE vt_ = VT_EMPTY;
    std::uint64_t cell_ = 0;
    // Made by the first text and kept for the next (most VARIANTs only ever hold
    // numbers, and every OPC tag has one): cleared, not freed, when a number follows.
    std::unique_ptr<BSTR> str_;
    std::unique_ptr<SAFEARRAY> array_;
};

// One-dimensional array of one element type. Indices run from lowerBound() to
// upperBound(); an element is held as a VARIANT of the element type (for VT_VARIANT
// arrays, of any type).
class SAFEARRAY {
public:
    // count elements, zero / empty. Throws std::invalid_argument when the type cannot be
    // an element (canHold) or the bounds do not fit a LONG (boundsFit).
    SAFEARRAY(VARTYPE elementType, ULONG count, LONG lowerBound = 0);

    // VT_I1..VT_UINT, VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_ERROR,
    // VT_BOOL, VT_VARIANT.
    static bool canHold(VARTYPE elementType) noexcept;
    static bool boundsFit(ULONG count, LONG lowerBound) noexcept;

    VARTYPE elementType() const noexcept { return elementType_; }
    ULONG count() const noexcept { return static_cast<ULONG>(elements_.size()); }
    LONG lowerBound() const noexcept { return lowerBound_; }
    LONG upperBound() const noexcept;  // lowerBound() - 1 when empty

    // DISP_E_BADINDEX outside the bounds.
    HRESULT getElement(LONG index, VARIANT& out) const;
    // DISP_E_BADINDEX outside the bounds; DISP_E_TYPEMISMATCH unless the value has
    // exactly the element type (a VT_VARIANT array takes any value).
    HRESULT putElement(LONG index, const VARIANT& value);
    HRESULT putElement(LONG index, VARIANT&& value);

    // Zero-based access; throws std::out_of_range past the end.
    const VARIANT& at(ULONG position) const;

    // New element count, keeping the lower bound and the leading elements.
    // E_INVALIDARG when the bounds would no longer fit.
    HRESULT redim(ULONG count);

    friend bool operator==(const SAFEARRAY& a, const SAFEARRAY& b) noexcept;

private:
    VARTYPE elementType_;
    LONG lowerBound_;
    std::vector<VARIANT> elements_;
};

template <typename T>
T VARIANT::read() const noexcept
{
    static_assert(sizeof(T) <= sizeof(std::uint64_t));
    T v;
    std::memcpy(&v, &cell_, sizeof(T));  // little-endian: the low bytes come first
    return v;
}

// Conversion flags.
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02;  // VT_BOOL -> "True" / "False"

// COM-style free functions, kept for code written against them.
void VariantInit(VARIANT* v) noexcept;
HRESULT VariantClear(VARIANT* v) noexcept;
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// dest may be src. On failure dest is left unchanged.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt);

namespace com {

// Converts src to type vt into out (out may be src). Rules:
// - Numbers convert when the value fits; otherwise DISP_E_OVERFLOW. Floating values and
//   currency become integers by rounding half to even (2.5 -> 2, 3.5 -> 4); NaN and
//   infinities overflow every integer type; VT_R8 beyond the float range overflows VT_R4.
// - VT_BOOL is VARIANT_TRUE (-1) or VARIANT_FALSE (0): any non-zero number is true; true
//   becomes -1 as a signed number and all bits set as an unsigned one; as text "-1"/"0",
//   or "True"/"False" with VARIANT_ALPHABOOL.
// - Text to number, "C" rules whatever the process locale: blanks around, an optional
//   sign, decimal digits with an optional '.' fraction and 'e'/'E' exponent; no
//   thousands separators, hex, "inf" or "nan". The number then converts as above.
//   For VT_BOOL, "True"/"False" (any case) read as VARIANT_TRUE/FALSE. Anything else:
//   DISP_E_TYPEMISMATCH.
// - Number to text: integers in decimal; VT_R8 with 15 and VT_R4 with 7 significant
//   digits, fixed or exponent form as printf's %G chooses ("1.5", "1E+20", "1E-05");
//   currency with up to four decimals ("12.3456", "-0.5").
// - VT_DATE <-> text: "YYYY-MM-DD HH:MM:SS" (seconds rounded); text may also give the
//   date alone or use 'T' between date and time. VT_DATE <-> numbers: the day count.
// - VT_EMPTY converts to 0, "" or false; anything converts to VT_EMPTY; only VT_EMPTY
//   and VT_NULL convert to VT_NULL; VT_NULL converts to nothing else.
// - VT_ERROR converts only to itself.
// - Arrays convert element by element to an array of the target element type (the
//   first failing element's code is returned); array <-> scalar is DISP_E_TYPEMISMATCH.
// - Unknown types, VT_BYREF, VT_DISPATCH, VT_UNKNOWN, VT_DECIMAL: DISP_E_BADVARTYPE.
HRESULT changeType(const VARIANT& src, VARTYPE vt, VARIANT& out, USHORT flags = 0);

// "VT_I2", "VT_ARRAY|VT_R8" ...; "VT_0x%04X" for codes without a name.
std::string vtName(VARTYPE vt);

// True for the scalar types a VARIANT can hold here (VT_EMPTY .. VT_UINT less the
// object and decimal types).
bool isScalarType(VARTYPE vt) noexcept;

// Round half to even, as the conversions do.
double roundHalfEven(double v) noexcept;

} // namespace com
