#include "platform/opc/wire/Wire.h"

#include "platform/com/VariantCodec.h"

#include <cstring>

namespace opc {

namespace {

// Little-endian, appended in one step: an update of many items writes millions of these.
template <std::size_t N>
void putLe(std::vector<BYTE>& out, std::uint64_t v)
{
    BYTE b[N];
    for (std::size_t i = 0; i < N; ++i) b[i] = BYTE(v >> (8 * i));
    out.insert(out.end(), b, b + N);
}

} // namespace

void WireWriter::u16(WORD v) { putLe<2>(out_, v); }

void WireWriter::u32(DWORD v) { putLe<4>(out_, v); }

void WireWriter::u64(std::uint64_t v) { putLe<8>(out_, v); }

void WireWriter::f32(FLOAT v)
{
    DWORD bits;
    std::memcpy(&bits, &v, 4);
    u32(bits);
}

void WireWriter::guid(const GUID& g)
{
    auto b = com::guidToBytes(g);
    out_.insert(out_.end(), b.begin(), b.end());
}

void WireWriter::text(std::u16string_view s)
{
    u32(DWORD(s.size()));
    for (char16_t c : s) u16(WORD(c));
}

void WireWriter::variant(const VARIANT& v)
{
    if (FAILED(com::encodeVariant(v, out_))) u16(VT_EMPTY);
}

void WireWriter::bytes(std::span<const BYTE> b)
{
    u32(DWORD(b.size()));
    out_.insert(out_.end(), b.begin(), b.end());
}

void WireWriter::handles(std::span<const DWORD> h)
{
    u32(DWORD(h.size()));
    for (DWORD x : h) u32(x);
}

void WireWriter::results(std::span<const HRESULT> h)
{
    u32(DWORD(h.size()));
    for (HRESULT x : h) i32(x);
}

void WireWriter::variants(std::span<const VARIANT> v)
{
    u32(DWORD(v.size()));
    for (const VARIANT& x : v) variant(x);
}

void WireWriter::texts(std::span<const std::u16string> v)
{
    u32(DWORD(v.size()));
    for (const auto& x : v) text(x);
}

bool WireReader::need(std::size_t n)
{
    if (!ok_ || data_.size() - pos_ < n) {
        ok_ = false;
        return false;
    }
    return true;
}

BYTE WireReader::u8()
{
    if (!need(1)) return 0;
    return data_[pos_++];
}

WORD WireReader::u16()
{
    if (!need(2)) return 0;
    WORD v = WORD(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
}

DWORD WireReader::u32()
{
    if (!need(4)) return 0;
    DWORD v = 0;
    for (int i = 0; i < 4; ++i) v |= DWORD(data_[pos_ + i]) << (8 * i);
    pos_ += 4;
    return v;
}

std::uint64_t WireReader::u64()
{
    if (!need(8)) return 0;
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= std::uint64_t(data_[pos_ + i]) << (8 * i);
    pos_ += 8;
    return v;
}

FLOAT WireReader::f32()
{
    DWORD bits = u32();
    FLOAT v;
    std::memcpy(&v, &bits, 4);
    return v;
}

GUID WireReader::guid()
{
    if (!need(16)) return GUID{};
    std::array<BYTE, 16> b;
    std::memcpy(b.data(), data_.data() + pos_, 16);
    pos_ += 16;
    return com::guidFromBytes(b);
}

DWORD WireReader::count(std::size_t minSize)
{
    DWORD n = u32();
    if (!ok_) return 0;
    if (minSize != 0 && n > (data_.size() - pos_) / minSize) {
        ok_ = false;
        return 0;
    }
    return n;
}

std::u16string WireReader::text()
{
    DWORD n = count(2);
    std::u16string s(n, u'\0');
    for (DWORD i = 0; i < n; ++i) s[i] = char16_t(u16());
    return ok_ ? s : std::u16string();
}

VARIANT WireReader::variant()
{
    VARIANT v;
    if (!ok_) return v;
    std::size_t used = 0;
    if (FAILED(com::decodeVariant(data_.subspan(pos_), v, used))) {
        ok_ = false;
        return VARIANT();
    }
    pos_ += used;
    return v;
}

std::vector<BYTE> WireReader::bytes()
{
    DWORD n = count(1);
    if (!ok_) return {};
    std::vector<BYTE> b(data_.begin() + pos_, data_.begin() + pos_ + n);
    pos_ += n;
    return b;
}

std::vector<DWORD> WireReader::handles()
{
    DWORD n = count(4);
    std::vector<DWORD> v(n);
    for (auto& x : v) x = u32();
    return v;
}

std::vector<HRESULT> WireReader::results()
{
    DWORD n = count(4);
    std::vector<HRESULT> v(n);
    for (auto& x : v) x = i32();
    return v;
}

std::vector<VARIANT> WireReader::variants()
{
    DWORD n = count(2);
    std::vector<VARIANT> v;
    v.reserve(n);
    for (DWORD i = 0; i < n && ok_; ++i) v.push_back(variant());
    return v;
}

std::vector<std::u16string> WireReader::texts()
{
    DWORD n = count(4);
    std::vector<std::u16string> v;
    v.reserve(n);
    for (DWORD i = 0; i < n && ok_; ++i) v.push_back(text());
    return v;
}

} // namespace opc
