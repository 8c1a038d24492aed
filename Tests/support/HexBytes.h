#pragma once
// Golden bytes written as text: "50 00 FF" read as hex, text taken byte for byte,
// pieces joined, and bytes shown as hex again so a failed comparison reads well.
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

using ByteVector = std::vector<std::uint8_t>;

// Whitespace-separated hex bytes: "50 00 FF" -> {0x50, 0x00, 0xFF}.
inline ByteVector Hex(const std::string& text)
{
    ByteVector bytes;
    std::istringstream in(text);
    std::string byte;
    while (in >> byte)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
    return bytes;
}

// The characters of the text, no terminator.
inline ByteVector Ascii(const std::string& text) { return ByteVector(text.begin(), text.end()); }

inline ByteVector Join(std::initializer_list<ByteVector> parts)
{
    ByteVector all;
    for (const ByteVector& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// {0x50, 0x00} -> "50 00 " (each byte followed by a space).
inline std::string HexText(const ByteVector& bytes)
{
    std::string text;
    char part[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(part, sizeof part, "%02X ", b);
        text += part;
    }
    return text;
}

} // namespace testsupport
