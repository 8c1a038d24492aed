#pragma once
// Field readers and writers shared by binary and ASCII frames: a field of n bytes is
// n bytes little-endian in binary and 2n upper-case hex digits, high first, in ASCII.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace plcsim {

// Thrown when the input ends inside a field.
struct Underflow {};
// Thrown to answer an end code (and, for 1E, an abnormal code).
struct Failure {
    std::uint16_t code;
    std::optional<std::uint8_t> abnormal;
};

class FieldReader {
public:
    FieldReader(std::span<const std::uint8_t> data, bool ascii, std::uint16_t badCharCode)
        : data_(data), ascii_(ascii), badChar_(badCharCode) {}

    std::uint32_t number(int bytes);
    // ASCII only: `count` characters as they stand.
    std::string_view text(std::size_t count);
    // ASCII only: `count` digits, hexadecimal or decimal.
    std::uint32_t digits(std::size_t count, bool hex);
    // Bit points: binary packs two per byte (first point in the high nibble),
    // ASCII has one character per point. Values come back as sent (0..15); callers
    // reject anything but 0 and 1.
    std::vector<std::uint8_t> bits(std::size_t count);

    bool ascii() const { return ascii_; }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }

private:
    std::uint8_t take();
    std::span<const std::uint8_t> data_;
    bool ascii_;
    std::uint16_t badChar_;
    std::size_t pos_ = 0;
};

class FieldWriter {
public:
    FieldWriter(std::vector<std::uint8_t>& out, bool ascii) : out_(out), ascii_(ascii) {}
    void number(int bytes, std::uint32_t value);
    void bits(const std::vector<std::uint8_t>& points);
    void text(std::string_view chars);
    void digits(std::size_t count, bool hex, std::uint32_t value);

private:
    std::vector<std::uint8_t>& out_;
    bool ascii_;
};

} // namespace plcsim
