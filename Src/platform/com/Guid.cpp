#include "platform/com/Guid.h"

#include "platform/win/HexDigit.h"

#include <cstdint>

namespace com {
namespace {

// Reads exactly `digits` hex digits at text[pos].
bool readHex(std::string_view text, std::size_t pos, int digits, std::uint32_t& out) noexcept
{
    std::uint32_t v = 0;
    for (int i = 0; i < digits; ++i) {
        int d = win::hexDigitValue(text[pos + static_cast<std::size_t>(i)]);
        if (d < 0)
            return false;
        v = (v << 4) | static_cast<std::uint32_t>(d);
    }
    out = v;
    return true;
}

// Parses the 36 characters XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX.
std::optional<GUID> parseBare(std::string_view t) noexcept
{
    if (t.size() != 36 || t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-')
        return std::nullopt;
    GUID g;
    std::uint32_t v = 0;
    if (!readHex(t, 0, 8, v))
        return std::nullopt;
    g.Data1 = v;
    if (!readHex(t, 9, 4, v))
        return std::nullopt;
    g.Data2 = static_cast<WORD>(v);
    if (!readHex(t, 14, 4, v))
        return std::nullopt;
    g.Data3 = static_cast<WORD>(v);
    static constexpr std::size_t kBytePos[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (std::size_t i = 0; i < 8; ++i) {
        if (!readHex(t, kBytePos[i], 2, v))
            return std::nullopt;
        g.Data4[i] = static_cast<BYTE>(v);
    }
    return g;
}

} // namespace

std::optional<GUID> parseGuid(std::string_view text) noexcept
{
    if (text.size() != 38 || text.front() != '{' || text.back() != '}')
        return std::nullopt;
    return parseBare(text.substr(1, 36));
}

std::optional<GUID> parseGuidLoose(std::string_view text) noexcept
{
    if (text.size() == 36)
        return parseBare(text);
    return parseGuid(text);
}

std::string formatGuid(const GUID& g)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(38);
    auto put = [&s](std::uint32_t v, int digits) {
        for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
            s.push_back(kHex[(v >> shift) & 0xF]);
    };
    s.push_back('{');
    put(g.Data1, 8);
    s.push_back('-');
    put(g.Data2, 4);
    s.push_back('-');
    put(g.Data3, 4);
    s.push_back('-');
    put(g.Data4[0], 2);
    put(g.Data4[1], 2);
    s.push_back('-');
    for (std::size_t i = 2; i < 8; ++i)
        put(g.Data4[i], 2);
    s.push_back('}');
    return s;
}

std::array<BYTE, 16> guidToBytes(const GUID& g) noexcept
{
    std::array<BYTE, 16> b{};
    for (int i = 0; i < 4; ++i)
        b[static_cast<std::size_t>(i)] = static_cast<BYTE>(g.Data1 >> (8 * i));
    b[4] = static_cast<BYTE>(g.Data2);
    b[5] = static_cast<BYTE>(g.Data2 >> 8);
    b[6] = static_cast<BYTE>(g.Data3);
    b[7] = static_cast<BYTE>(g.Data3 >> 8);
    for (std::size_t i = 0; i < 8; ++i)
        b[8 + i] = g.Data4[i];
    return b;
}

GUID guidFromBytes(const std::array<BYTE, 16>& b) noexcept
{
    GUID g;
    g.Data1 = static_cast<DWORD>(b[0]) | (static_cast<DWORD>(b[1]) << 8) | (static_cast<DWORD>(b[2]) << 16) |
              (static_cast<DWORD>(b[3]) << 24);
    g.Data2 = static_cast<WORD>(b[4] | (b[5] << 8));
    g.Data3 = static_cast<WORD>(b[6] | (b[7] << 8));
    for (std::size_t i = 0; i < 8; ++i)
        g.Data4[i] = b[8 + i];
    return g;
}

} // namespace com

std::size_t std::hash<GUID>::operator()(const GUID& g) const noexcept
{
    // FNV-1a over the 16 bytes.
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (BYTE b : com::guidToBytes(g)) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    return static_cast<std::size_t>(h);
}
