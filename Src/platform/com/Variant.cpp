#include "platform/com/Variant.h"

#include <limits>
#include <stdexcept>
#include <utility>

VARIANT::VARIANT(const VARIANT& other)
    : vt_(other.vt_), cell_(other.cell_),
      array_(other.array_ ? std::make_unique<SAFEARRAY>(*other.array_) : nullptr)
{
    // A number has no text to copy.
    if (other.vt_ == VT_BSTR)
        str_ = std::make_unique<BSTR>(other.bstrVal());
}

VARIANT::VARIANT(VARIANT&& other) noexcept
    : vt_(other.vt_), cell_(other.cell_), str_(std::move(other.str_)), array_(std::move(other.array_))
{
    other.vt_ = VT_EMPTY;
    other.cell_ = 0;
}

VARIANT& VARIANT::operator=(const VARIANT& other)
{
    if (this == &other)
        return *this;
    if (other.array_) {
        // Copied aside first: other may live inside our array.
        VARIANT copy(other);
        *this = std::move(copy);
        return *this;
    }
    // Numbers and texts in place: a text reuses the buffer held, a number takes none.
    // Read before our array goes, in case other is one of its elements.
    const VARTYPE vt = other.vt_;
    const std::uint64_t cell = other.cell_;
    if (vt == VT_BSTR)
        Text() = other.bstrVal();
    else if (str_)
        str_->clear();
    array_.reset();
    vt_ = vt;
    cell_ = cell;
    return *this;
}

VARIANT& VARIANT::operator=(VARIANT&& other) noexcept
{
    if (this != &other) {
        vt_ = other.vt_;
        cell_ = other.cell_;
        // Take the text and the array before dropping ours: other may live inside our array.
        std::unique_ptr<BSTR> text = std::move(other.str_);
        std::unique_ptr<SAFEARRAY> taken = std::move(other.array_);
        other.vt_ = VT_EMPTY;
        other.cell_ = 0;
        str_ = std::move(text);
        array_ = std::move(taken);
    }
    return *this;
}

VARIANT::~VARIANT() = default;

const BSTR& VARIANT::EmptyText() noexcept
{
    static const BSTR empty;
    return empty;
}

BSTR& VARIANT::Text()
{
    if (!str_)
        str_ = std::make_unique<BSTR>();
    return *str_;
}

void VARIANT::clear() noexcept
{
    vt_ = VT_EMPTY;
    cell_ = 0;
    if (str_)
        str_->clear();
    array_.reset();
}

template <typename T>
void VARIANT::store(VARTYPE vt, T v) noexcept
{
    array_.reset();
    if (str_)
        str_->clear();
    cell_ = 0;
    std::memcpy(&cell_, &v, sizeof(T));
    vt_ = vt;
}

void VARIANT::setNull() noexcept
{
    clear();
    vt_ = VT_NULL;
}
void VARIANT::setI1(CHAR v) noexcept { store(VT_I1, v); }
void VARIANT::setUI1(BYTE v) noexcept { store(VT_UI1, v); }
void VARIANT::setI2(SHORT v) noexcept { store(VT_I2, v); }
void VARIANT::setUI2(USHORT v) noexcept { store(VT_UI2, v); }
void VARIANT::setI4(LONG v) noexcept { store(VT_I4, v); }
void VARIANT::setUI4(ULONG v) noexcept { store(VT_UI4, v); }
void VARIANT::setI8(LONGLONG v) noexcept { store(VT_I8, v); }
void VARIANT::setUI8(ULONGLONG v) noexcept { store(VT_UI8, v); }
void VARIANT::setInt(INT v) noexcept { store(VT_INT, v); }
void VARIANT::setUint(UINT v) noexcept { store(VT_UINT, v); }
void VARIANT::setR4(FLOAT v) noexcept { store(VT_R4, v); }
void VARIANT::setR8(DOUBLE v) noexcept { store(VT_R8, v); }
void VARIANT::setCy(CY v) noexcept { store(VT_CY, v.int64); }
void VARIANT::setDate(DATE v) noexcept { store(VT_DATE, v); }
void VARIANT::setBool(bool v) noexcept { store(VT_BOOL, v ? VARIANT_TRUE : VARIANT_FALSE); }
void VARIANT::setBoolVal(VARIANT_BOOL v) noexcept { setBool(v != 0); }
void VARIANT::setError(SCODE v) noexcept { store(VT_ERROR, v); }

void VARIANT::setBstr(std::u16string_view v)
{
    if (vt_ == VT_BSTR && str_) {
        str_->assign(v);  // reuses the buffer
        return;
    }
    auto text = std::make_unique<BSTR>(v);  // v may point into our own array
    array_.reset();
    cell_ = 0;
    str_ = std::move(text);
    vt_ = VT_BSTR;
}

void VARIANT::setBstr(BSTR&& v)
{
    Text() = std::move(v);
    array_.reset();
    cell_ = 0;
    vt_ = VT_BSTR;
}

void VARIANT::setString(std::string_view utf8)
{
    if (vt_ == VT_BSTR && str_) {
        com::assignBstr(*str_, utf8);  // reuses the buffer
        return;
    }
    setBstr(com::toBstr(utf8));
}

void VARIANT::setArray(SAFEARRAY array)
{
    auto owned = std::make_unique<SAFEARRAY>(std::move(array));
    const VARTYPE vt = static_cast<VARTYPE>(VT_ARRAY | owned->elementType());
    if (str_)
        str_->clear();
    cell_ = 0;
    array_ = std::move(owned);
    vt_ = vt;
}

VARIANT VARIANT::I1(CHAR v) { VARIANT r; r.setI1(v); return r; }
VARIANT VARIANT::UI1(BYTE v) { VARIANT r; r.setUI1(v); return r; }
VARIANT VARIANT::I2(SHORT v) { VARIANT r; r.setI2(v); return r; }
VARIANT VARIANT::UI2(USHORT v) { VARIANT r; r.setUI2(v); return r; }
VARIANT VARIANT::I4(LONG v) { VARIANT r; r.setI4(v); return r; }
VARIANT VARIANT::UI4(ULONG v) { VARIANT r; r.setUI4(v); return r; }
VARIANT VARIANT::I8(LONGLONG v) { VARIANT r; r.setI8(v); return r; }
VARIANT VARIANT::UI8(ULONGLONG v) { VARIANT r; r.setUI8(v); return r; }
VARIANT VARIANT::Int(INT v) { VARIANT r; r.setInt(v); return r; }
VARIANT VARIANT::Uint(UINT v) { VARIANT r; r.setUint(v); return r; }
VARIANT VARIANT::R4(FLOAT v) { VARIANT r; r.setR4(v); return r; }
VARIANT VARIANT::R8(DOUBLE v) { VARIANT r; r.setR8(v); return r; }
VARIANT VARIANT::Cy(CY v) { VARIANT r; r.setCy(v); return r; }
VARIANT VARIANT::Date(DATE v) { VARIANT r; r.setDate(v); return r; }
VARIANT VARIANT::Bool(bool v) { VARIANT r; r.setBool(v); return r; }
VARIANT VARIANT::Error(SCODE v) { VARIANT r; r.setError(v); return r; }
VARIANT VARIANT::Bstr(std::u16string_view v) { VARIANT r; r.setBstr(v); return r; }
VARIANT VARIANT::String(std::string_view utf8) { VARIANT r; r.setString(utf8); return r; }
VARIANT VARIANT::Null() { VARIANT r; r.setNull(); return r; }
VARIANT VARIANT::Array(SAFEARRAY array) { VARIANT r; r.setArray(std::move(array)); return r; }

bool operator==(const VARIANT& a, const VARIANT& b) noexcept
{
    if (a.vt_ != b.vt_)
        return false;
    if (a.vt_ == VT_BSTR)
        return a.bstrVal() == b.bstrVal();
    if (a.isArray())
        return a.array_ && b.array_ ? *a.array_ == *b.array_ : a.array_ == b.array_;
    return a.cell_ == b.cell_;
}

// --- SAFEARRAY ---

namespace {

VARIANT zeroOf(VARTYPE vt)
{
    VARIANT v;
    switch (vt) {
    case VT_I1: v.setI1(0); break;
    case VT_UI1: v.setUI1(0); break;
    case VT_I2: v.setI2(0); break;
    case VT_UI2: v.setUI2(0); break;
    case VT_I4: v.setI4(0); break;
    case VT_UI4: v.setUI4(0); break;
    case VT_I8: v.setI8(0); break;
    case VT_UI8: v.setUI8(0); break;
    case VT_INT: v.setInt(0); break;
    case VT_UINT: v.setUint(0); break;
    case VT_R4: v.setR4(0); break;
    case VT_R8: v.setR8(0); break;
    case VT_CY: v.setCy(CY{}); break;
    case VT_DATE: v.setDate(0); break;
    case VT_BSTR: v.setBstr(std::u16string_view{}); break;
    case VT_ERROR: v.setError(S_OK); break;
    case VT_BOOL: v.setBool(false); break;
    default: break;  // VT_VARIANT: empty
    }
    return v;
}

} // namespace

SAFEARRAY::SAFEARRAY(VARTYPE elementType, ULONG count, LONG lowerBound)
    : elementType_(elementType), lowerBound_(lowerBound)
{
    if (!canHold(elementType))
        throw std::invalid_argument("SAFEARRAY: element type not supported");
    if (!boundsFit(count, lowerBound))
        throw std::invalid_argument("SAFEARRAY: bounds overflow");
    elements_.assign(count, zeroOf(elementType));
}

bool SAFEARRAY::canHold(VARTYPE t) noexcept
{
    switch (t) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR:
    case VT_ERROR: case VT_BOOL: case VT_VARIANT: case VT_I1: case VT_UI1: case VT_UI2:
    case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
        return true;
    default:
        return false;
    }
}

bool SAFEARRAY::boundsFit(ULONG count, LONG lowerBound) noexcept
{
    return static_cast<long long>(lowerBound) + static_cast<long long>(count) - 1 <= std::numeric_limits<LONG>::max();
}

LONG SAFEARRAY::upperBound() const noexcept
{
    return static_cast<LONG>(static_cast<long long>(lowerBound_) + static_cast<long long>(elements_.size()) - 1);
}

HRESULT SAFEARRAY::getElement(LONG index, VARIANT& out) const
{
    const long long pos = static_cast<long long>(index) - lowerBound_;
    if (pos < 0 || pos >= static_cast<long long>(elements_.size()))
        return DISP_E_BADINDEX;
    out = elements_[static_cast<std::size_t>(pos)];
    return S_OK;
}

HRESULT SAFEARRAY::putElement(LONG index, const VARIANT& value)
{
    VARIANT copy(value);
    return putElement(index, std::move(copy));
}

HRESULT SAFEARRAY::putElement(LONG index, VARIANT&& value)
{
    const long long pos = static_cast<long long>(index) - lowerBound_;
    if (pos < 0 || pos >= static_cast<long long>(elements_.size()))
        return DISP_E_BADINDEX;
    if (elementType_ != VT_VARIANT && value.vt() != elementType_)
        return DISP_E_TYPEMISMATCH;
    elements_[static_cast<std::size_t>(pos)] = std::move(value);
    return S_OK;
}

const VARIANT& SAFEARRAY::at(ULONG position) const { return elements_.at(position); }

HRESULT SAFEARRAY::redim(ULONG count)
{
    if (!boundsFit(count, lowerBound_))
        return E_INVALIDARG;
    elements_.resize(count, zeroOf(elementType_));
    return S_OK;
}

bool operator==(const SAFEARRAY& a, const SAFEARRAY& b) noexcept
{
    return a.elementType_ == b.elementType_ && a.lowerBound_ == b.lowerBound_ && a.elements_ == b.elements_;
}

// --- COM-style free functions ---

void VariantInit(VARIANT* v) noexcept
{
    if (v)
        v->clear();
}

HRESULT VariantClear(VARIANT* v) noexcept
{
    if (!v)
        return E_POINTER;
    v->clear();
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src)
{
    if (!dest || !src)
        return E_POINTER;
    *dest = *src;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt)
{
    if (!dest || !src)
        return E_POINTER;
    return com::changeType(*src, vt, *dest, flags);
}
