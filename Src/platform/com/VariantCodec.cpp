#include "platform/com/VariantCodec.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace com {
namespace {

void putLe(std::vector<BYTE>& out, std::uint64_t v, int bytes)
{
    // Appended in one step: an update of many items writes a great many of these.
    const int n = std::clamp(bytes, 0, 8);
    BYTE b[8];
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<BYTE>(v >> (8 * i));
    out.insert(out.end(), b, b + n);
}

// Bytes of one element of type t (fixed-size types only; 0 for the others).
int fixedSize(VARTYPE t) noexcept
{
    switch (t) {
    case VT_EMPTY: case VT_NULL: return 0;
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    default: return -1;
    }
}

int depthOf(const VARIANT& v) noexcept
{
    if (!v.isArray() || !v.parray())
        return 0;
    int deepest = 0;
    const SAFEARRAY& a = *v.parray();
    if (a.elementType() == VT_VARIANT)
        for (ULONG i = 0; i < a.count(); ++i)
            deepest = std::max(deepest, depthOf(a.at(i)));
    return deepest + 1;
}

void encodeValue(const VARIANT& v, VARTYPE t, std::vector<BYTE>& out);

void encodeWhole(const VARIANT& v, std::vector<BYTE>& out)
{
    putLe(out, v.vt(), 2);
    encodeValue(v, v.vt(), out);
}

// The value part of v, laid out for type t (v.vt() == t, or t == VT_VARIANT).
void encodeValue(const VARIANT& v, VARTYPE t, std::vector<BYTE>& out)
{
    if (t == VT_VARIANT) {
        encodeWhole(v, out);
        return;
    }
    if (t & VT_ARRAY) {
        const SAFEARRAY& a = *v.parray();
        putLe(out, a.count(), 4);
        putLe(out, static_cast<std::uint32_t>(a.lowerBound()), 4);
        for (ULONG i = 0; i < a.count(); ++i)
            encodeValue(a.at(i), a.elementType(), out);
        return;
    }
    if (t == VT_BSTR) {
        encodeBstr(v.bstrVal(), out);
        return;
    }
    putLe(out, v.ullVal(), fixedSize(t));  // the cell holds the value in its low bytes
}

class Reader {
public:
    explicit Reader(std::span<const BYTE> data) : data_(data) {}

    bool take(int bytes, std::uint64_t& v) noexcept
    {
        if (bytes < 0 || data_.size() - pos_ < static_cast<std::size_t>(bytes))
            return false;
        v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= static_cast<std::uint64_t>(data_[pos_ + static_cast<std::size_t>(i)]) << (8 * i);
        pos_ += static_cast<std::size_t>(bytes);
        return true;
    }
    std::size_t left() const noexcept { return data_.size() - pos_; }
    std::size_t pos() const noexcept { return pos_; }
    std::span<const BYTE> rest() const noexcept { return data_.subspan(pos_); }
    void skip(std::size_t n) noexcept { pos_ += n; }

private:
    std::span<const BYTE> data_;
    std::size_t pos_ = 0;
};

bool knownType(VARTYPE t) noexcept { return isScalarType(t) || t == VT_VARIANT; }

HRESULT decodeValue(Reader& r, VARTYPE t, int depth, VARIANT& out);

HRESULT decodeWhole(Reader& r, int depth, VARIANT& out)
{
    std::uint64_t vt = 0;
    if (!r.take(2, vt))
        return E_INVALIDARG;
    const auto t = static_cast<VARTYPE>(vt);
    if (t & VT_ARRAY) {
        const auto element = static_cast<VARTYPE>(t & ~VT_ARRAY);
        if (!SAFEARRAY::canHold(element))
            return (element & VT_BYREF) || knownType(element & VT_TYPEMASK) ? E_INVALIDARG : DISP_E_BADVARTYPE;
    } else if (!isScalarType(t)) {
        return (t & VT_BYREF) || t == VT_VARIANT ? E_INVALIDARG : DISP_E_BADVARTYPE;
    }
    return decodeValue(r, t, depth, out);
}

HRESULT decodeValue(Reader& r, VARTYPE t, int depth, VARIANT& out)
{
    if (t == VT_VARIANT)
        return decodeWhole(r, depth, out);
    if (t & VT_ARRAY) {
        if (depth >= kMaxVariantDepth)
            return E_INVALIDARG;
        const auto element = static_cast<VARTYPE>(t & ~VT_ARRAY);
        std::uint64_t count = 0, lower = 0;
        if (!r.take(4, count) || !r.take(4, lower))
            return E_INVALIDARG;
        const auto lowerBound = static_cast<LONG>(static_cast<std::uint32_t>(lower));
        if (!SAFEARRAY::boundsFit(static_cast<ULONG>(count), lowerBound))
            return E_INVALIDARG;
        // Every element takes at least this many bytes: refuse counts the input cannot hold
        // before allocating anything.
        const int size = fixedSize(element);
        const std::size_t minimum = element == VT_BSTR ? 4 : element == VT_VARIANT ? 2 : static_cast<std::size_t>(size);
        if (minimum == 0 || count > r.left() / minimum)
            return E_INVALIDARG;
        SAFEARRAY array(element, static_cast<ULONG>(count), lowerBound);
        for (std::uint64_t i = 0; i < count; ++i) {
            VARIANT v;
            HRESULT hr = decodeValue(r, element, depth + 1, v);
            if (FAILED(hr))
                return hr;
            array.putElement(static_cast<LONG>(static_cast<long long>(lowerBound) + static_cast<long long>(i)),
                             std::move(v));
        }
        out.setArray(std::move(array));
        return S_OK;
    }
    if (t == VT_BSTR) {
        BSTR s;
        std::size_t used = 0;
        HRESULT hr = decodeBstr(r.rest(), s, used);
        if (FAILED(hr))
            return hr;
        r.skip(used);
        out.setBstr(std::move(s));
        return S_OK;
    }
    std::uint64_t v = 0;
    if (!r.take(fixedSize(t), v))
        return E_INVALIDARG;
    switch (t) {
    case VT_EMPTY: out.clear(); break;
    case VT_NULL: out.setNull(); break;
    case VT_I1: out.setI1(static_cast<CHAR>(v)); break;
    case VT_UI1: out.setUI1(static_cast<BYTE>(v)); break;
    case VT_I2: out.setI2(static_cast<SHORT>(v)); break;
    case VT_UI2: out.setUI2(static_cast<USHORT>(v)); break;
    case VT_BOOL:
        if (v != 0 && v != 0xFFFF)
            return E_INVALIDARG;
        out.setBool(v != 0);
        break;
    case VT_I4: out.setI4(static_cast<LONG>(v)); break;
    case VT_UI4: out.setUI4(static_cast<ULONG>(v)); break;
    case VT_INT: out.setInt(static_cast<INT>(v)); break;
    case VT_UINT: out.setUint(static_cast<UINT>(v)); break;
    case VT_ERROR: out.setError(static_cast<SCODE>(v)); break;
    case VT_R4: {
        const auto bits = static_cast<std::uint32_t>(v);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        out.setR4(f);
        break;
    }
    case VT_R8:
    case VT_DATE: {
        double d;
        std::memcpy(&d, &v, sizeof d);
        if (t == VT_R8)
            out.setR8(d);
        else
            out.setDate(d);
        break;
    }
    case VT_I8: out.setI8(static_cast<LONGLONG>(v)); break;
    case VT_UI8: out.setUI8(v); break;
    case VT_CY: out.setCy(CY{static_cast<LONGLONG>(v)}); break;
    default: return DISP_E_BADVARTYPE;
    }
    return S_OK;
}

} // namespace

HRESULT encodeVariant(const VARIANT& v, std::vector<BYTE>& out)
{
    if (depthOf(v) > kMaxVariantDepth)
        return E_INVALIDARG;
    encodeWhole(v, out);
    return S_OK;
}

HRESULT decodeVariant(std::span<const BYTE> data, VARIANT& out, std::size_t& consumed)
{
    Reader r(data);
    VARIANT v;
    HRESULT hr = decodeWhole(r, 0, v);
    if (FAILED(hr))
        return hr;
    out = std::move(v);
    consumed = r.pos();
    return S_OK;
}

void encodeVariantCell(const VARIANT& v, std::span<BYTE, kVariantCellSize> out) noexcept
{
    std::fill(out.begin(), out.end(), BYTE{0});
    out[0] = static_cast<BYTE>(v.vt());
    out[1] = static_cast<BYTE>(v.vt() >> 8);
    const int size = v.isArray() ? 0 : std::max(fixedSize(v.vt()), 0);
    const std::uint64_t value = v.ullVal();
    for (int i = 0; i < size; ++i)
        out[8 + static_cast<std::size_t>(i)] = static_cast<BYTE>(value >> (8 * i));
}

HRESULT decodeVariantCell(std::span<const BYTE, kVariantCellSize> cell, VARIANT& out) noexcept
{
    const auto vt = static_cast<VARTYPE>(cell[0] | (cell[1] << 8));
    if ((vt & VT_ARRAY) || !isScalarType(vt) || vt == VT_BSTR)
        return DISP_E_BADVARTYPE;
    if (vt == VT_BOOL) {
        // Other writers of this format may put 1 for true: any non-zero is true here.
        out.setBool((cell[8] | cell[9]) != 0);
        return S_OK;
    }
    std::array<BYTE, 2 + 8> record{};
    record[0] = cell[0];
    record[1] = cell[1];
    std::copy(cell.begin() + 8, cell.end(), record.begin() + 2);
    const std::size_t used = 2 + static_cast<std::size_t>(fixedSize(vt));
    Reader r(std::span<const BYTE>(record.data(), used));
    VARIANT v;
    HRESULT hr = decodeWhole(r, 0, v);
    if (FAILED(hr))
        return hr;
    out = std::move(v);
    return S_OK;
}

void encodeBstr(std::u16string_view s, std::vector<BYTE>& out)
{
    putLe(out, s.size(), 4);
    for (char16_t c : s)
        putLe(out, c, 2);
}

HRESULT decodeBstr(std::span<const BYTE> data, BSTR& out, std::size_t& consumed)
{
    Reader r(data);
    std::uint64_t n = 0;
    if (!r.take(4, n) || n > r.left() / 2)
        return E_INVALIDARG;
    BSTR s;
    s.resize(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < n; ++i) {
        std::uint64_t c = 0;
        r.take(2, c);
        s[i] = static_cast<char16_t>(c);
    }
    out = std::move(s);
    consumed = r.pos();
    return S_OK;
}

} // namespace com
