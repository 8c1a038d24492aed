#include "support/plcsim/Codec.h"

namespace plcsim {
namespace {

int hexValue(std::uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

constexpr char kHex[] = "0123456789ABCDEF";

} // namespace

std::uint8_t FieldReader::take()
{
    if (pos_ >= data_.size()) throw Underflow{};
    return data_[pos_++];
}

std::uint32_t FieldReader::number(int bytes)
{
    std::uint32_t v = 0;
    if (!ascii_) {
        for (int i = 0; i < bytes; ++i) v |= std::uint32_t(take()) << (8 * i);
        return v;
    }
    return digits(std::size_t(bytes) * 2, true);
}

std::string_view FieldReader::text(std::size_t count)
{
    if (remaining() < count) throw Underflow{};
    std::string_view s(reinterpret_cast<const char*>(data_.data()) + pos_, count);
    pos_ += count;
    return s;
}

std::uint32_t FieldReader::digits(std::size_t count, bool hex)
{
    if (remaining() < count) throw Underflow{};
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < count; ++i) {
        int d = hexValue(take());
        if (d < 0 || (!hex && d > 9)) throw Failure{badChar_, {}};
        v = v * (hex ? 16 : 10) + std::uint32_t(d);
    }
    return v;
}

std::vector<std::uint8_t> FieldReader::bits(std::size_t count)
{
    std::vector<std::uint8_t> out;
    out.reserve(count);
    if (ascii_) {
        if (remaining() < count) throw Underflow{};
        for (std::size_t i = 0; i < count; ++i) {
            int d = hexValue(take());
            if (d < 0) throw Failure{badChar_, {}};
            out.push_back(std::uint8_t(d));
        }
        return out;
    }
    if (remaining() < (count + 1) / 2) throw Underflow{};
    for (std::size_t i = 0; i < count; i += 2) {
        std::uint8_t b = take();
        out.push_back(std::uint8_t(b >> 4));
        if (i + 1 < count) out.push_back(std::uint8_t(b & 0x0F));
    }
    return out;
}

void FieldWriter::number(int bytes, std::uint32_t value)
{
    if (!ascii_) {
        for (int i = 0; i < bytes; ++i) out_.push_back(std::uint8_t(value >> (8 * i)));
        return;
    }
    digits(std::size_t(bytes) * 2, true, value);
}

void FieldWriter::bits(const std::vector<std::uint8_t>& points)
{
    if (ascii_) {
        for (auto p : points) out_.push_back(p ? '1' : '0');
        return;
    }
    for (std::size_t i = 0; i < points.size(); i += 2) {
        std::uint8_t b = std::uint8_t((points[i] ? 0x10 : 0) | (i + 1 < points.size() && points[i + 1] ? 0x01 : 0));
        out_.push_back(b);
    }
}

void FieldWriter::text(std::string_view chars)
{
    out_.insert(out_.end(), chars.begin(), chars.end());
}

void FieldWriter::digits(std::size_t count, bool hex, std::uint32_t value)
{
    std::size_t at = out_.size();
    out_.resize(at + count);
    std::uint32_t base = hex ? 16 : 10;
    for (std::size_t i = count; i-- > 0;) {
        out_[at + i] = std::uint8_t(kHex[value % base]);
        value /= base;
    }
}

} // namespace plcsim
