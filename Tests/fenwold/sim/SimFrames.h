#pragma once
// Request builders and reply readers for the simulator's tests: an external client's
// view of the six frame kinds.
#include "support/plcsim/Protocol.h"
#include "support/plcsim/TestClient.h"

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace plcsim::test {

struct Kind {
    FrameKind frame;
    bool ascii;
    const char* name;
};

inline void PrintTo(const Kind& k, std::ostream* os) { *os << k.name; }

inline constexpr Kind kKinds[] = {
    {FrameKind::E1, false, "1E_binary"}, {FrameKind::E1, true, "1E_ascii"},
    {FrameKind::E3, false, "3E_binary"}, {FrameKind::E3, true, "3E_ascii"},
    {FrameKind::E4, false, "4E_binary"}, {FrameKind::E4, true, "4E_ascii"},
};

// Fields: n bytes little-endian in binary, 2n hex digits high first in ASCII.
class Fields {
public:
    explicit Fields(bool ascii) : ascii_(ascii) {}
    Fields& n(int bytes, std::uint32_t v)
    {
        if (!ascii_) {
            for (int i = 0; i < bytes; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
            return *this;
        }
        return digits(bytes * 2, v, true);
    }
    Fields& digits(int count, std::uint32_t v, bool hex)
    {
        char buf[16];
        std::snprintf(buf, sizeof buf, hex ? "%0*X" : "%0*u", count, v);
        return text(buf);
    }
    Fields& text(const std::string& s)
    {
        out.insert(out.end(), s.begin(), s.end());
        return *this;
    }
    Fields& bits(const std::vector<int>& points)
    {
        if (ascii_) {
            for (int p : points) out.push_back(p ? '1' : '0');
            return *this;
        }
        for (std::size_t i = 0; i < points.size(); i += 2)
            out.push_back(std::uint8_t((points[i] << 4) | (i + 1 < points.size() ? points[i + 1] : 0)));
        return *this;
    }
    Fields& append(const Fields& other)
    {
        out.insert(out.end(), other.out.begin(), other.out.end());
        return *this;
    }
    bool ascii() const { return ascii_; }
    std::vector<std::uint8_t> out;

private:
    bool ascii_;
};

// 3E/4E device: binary number (3 bytes) + code; ASCII name + 6 digits in the device's numbering.
inline Fields& device3E(Fields& f, const char* name, std::uint8_t code, bool hexNumber, std::uint32_t number)
{
    if (f.ascii()) return f.text(name).digits(6, number, hexNumber);
    return f.n(3, number).n(1, code);
}

// 1E device: binary number (4 bytes) + code; ASCII code (4 digits) + number (8 digits).
inline Fields& device1E(Fields& f, std::uint16_t code, std::uint32_t number)
{
    if (f.ascii()) return f.n(2, code).n(4, number);
    return f.n(4, number).n(2, code);
}

inline std::vector<std::uint8_t> request3E(const Kind& k, std::uint16_t command, std::uint16_t sub,
                                           const Fields& data, std::uint16_t serial = 0x1234)
{
    Fields body(k.ascii);
    body.n(2, 0x0010).n(2, command).n(2, sub).append(data);
    Fields f(k.ascii);
    const bool e4 = k.frame == FrameKind::E4;
    if (k.ascii) f.text(e4 ? "5400" : "5000");
    else f.n(1, e4 ? 0x54 : 0x50).n(1, 0);
    if (e4) f.n(2, serial).n(2, 0);
    f.n(1, 0x00).n(1, 0xFF).n(2, 0x03FF).n(1, 0x00).n(2, std::uint32_t(body.out.size())).append(body);
    return f.out;
}

inline std::vector<std::uint8_t> request1E(const Kind& k, std::uint8_t command, const Fields& data)
{
    Fields f(k.ascii);
    f.n(1, command).n(1, 0xFF).n(2, 0x000A).append(data);
    return f.out;
}

// A reply split into its end code and data, data decoded back to binary bytes.
struct Parsed {
    bool ok = false;
    std::uint16_t endCode = 0xFFFF;
    std::vector<std::uint8_t> raw;
    std::vector<std::uint8_t> data;  // text after the end code, as sent
};

inline std::uint32_t hexField(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t digits)
{
    return std::uint32_t(std::stoul(std::string(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + digits)), nullptr, 16));
}

// Reads one 3E/4E reply from `c`.
inline Parsed readReply3E(TestClient& c, const Kind& k)
{
    using namespace std::chrono_literals;
    Parsed p;
    const bool e4 = k.frame == FrameKind::E4;
    const std::size_t header = k.ascii ? (e4 ? 26 : 18) : (e4 ? 13 : 9);
    p.raw = c.receive(header, 2000ms);
    if (p.raw.size() != header) return p;
    std::size_t len = k.ascii ? hexField(p.raw, header - 4, 4) : (p.raw[header - 2] | (p.raw[header - 1] << 8));
    auto body = c.receive(len, 2000ms);
    if (body.size() != len) return p;
    p.raw.insert(p.raw.end(), body.begin(), body.end());
    const std::size_t endLen = k.ascii ? 4 : 2;
    if (len < endLen) return p;
    p.endCode = std::uint16_t(k.ascii ? hexField(body, 0, 4) : (body[0] | (body[1] << 8)));
    p.data.assign(body.begin() + std::ptrdiff_t(endLen), body.end());
    p.ok = true;
    return p;
}

// Reads a 1E reply of known data size (in characters or bytes as sent).
inline Parsed readReply1E(TestClient& c, const Kind& k, std::size_t dataSize)
{
    using namespace std::chrono_literals;
    Parsed p;
    const std::size_t head = k.ascii ? 4 : 2;
    p.raw = c.receive(head, 2000ms);
    if (p.raw.size() != head) return p;
    p.endCode = std::uint16_t(k.ascii ? hexField(p.raw, 2, 2) : p.raw[1]);
    if (p.endCode == 0) {
        p.data = c.receive(dataSize, 2000ms);
        p.raw.insert(p.raw.end(), p.data.begin(), p.data.end());
    }
    p.ok = true;
    return p;
}

// Words out of reply data.
inline std::vector<std::uint16_t> words(const Kind& k, const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint16_t> out;
    if (k.ascii)
        for (std::size_t i = 0; i + 4 <= data.size(); i += 4) out.push_back(std::uint16_t(hexField(data, i, 4)));
    else
        for (std::size_t i = 0; i + 2 <= data.size(); i += 2) out.push_back(std::uint16_t(data[i] | (data[i + 1] << 8)));
    return out;
}

// Bit points out of reply data.
inline std::vector<int> bitPoints(const Kind& k, const std::vector<std::uint8_t>& data, std::size_t count)
{
    std::vector<int> out;
    for (std::size_t i = 0; i < count; ++i) {
        if (k.ascii) out.push_back(data.at(i) == '1');
        else out.push_back((data.at(i / 2) >> (i % 2 ? 0 : 4)) & 0x0F);
    }
    return out;
}

} // namespace plcsim::test
