#include "fenwold/McResponse.h"

#include <cctype>

#include "fenwold/McCodec.h"

namespace {

constexpr BYTE kAbnormalEndCode1E = 0x5B;
constexpr char kMismatchSubheaders[] = "Mismatching SubHeaders!\r\n";
constexpr char kMismatchHeader[] = "Mismatch header for query and response!\r\n";
constexpr char kDataLength[] = "Response data does not match the words requested!\r\n";

struct QnaLayout {
    std::size_t header;     // up to and including the length field
    std::size_t lengthAt;
    std::size_t routeAt;
    std::size_t routeLength;
    std::size_t serialAt;   // 4E only
    std::size_t serialLength;
    std::size_t endCodeLength;
};

QnaLayout Layout(McFrameKind kind, bool ascii)
{
    const bool e4 = kind == McFrameKind::E4;
    if (ascii)
        return e4 ? QnaLayout{26, 22, 12, 10, 4, 4, 4} : QnaLayout{18, 14, 4, 10, 0, 0, 4};
    return e4 ? QnaLayout{13, 11, 6, 5, 2, 2, 2} : QnaLayout{9, 7, 2, 5, 0, 0, 2};
}

std::optional<DWORD> Field(std::span<const BYTE> in, std::size_t at, int bytes, bool ascii)
{
    if (ascii)
        return McGetHex(in, at, bytes * 2);
    if (at + static_cast<std::size_t>(bytes) > in.size())
        return std::nullopt;
    return McGetLE(in, at, bytes);
}

bool IsResponseSubheader(std::span<const BYTE> in, McFrameKind kind, bool ascii)
{
    const DWORD expected = kind == McFrameKind::E4 ? 0xD400 : 0xD000;
    if (ascii) {
        const auto sub = McGetHex(in, 0, 4);
        return sub && *sub == expected;
    }
    // Written as it appears on the wire: D0 00 / D4 00.
    return in.size() >= 2 && in[0] == (expected >> 8) && in[1] == 0x00;
}

bool SameField(std::span<const BYTE> a, std::span<const BYTE> b, std::size_t at,
               std::size_t length, bool ascii)
{
    for (std::size_t i = at; i < at + length; ++i) {
        BYTE x = a[i];
        BYTE y = b[i];
        if (ascii) {
            x = static_cast<BYTE>(std::toupper(x));
            y = static_cast<BYTE>(std::toupper(y));
        }
        if (x != y)
            return false;
    }
    return true;
}

// The frame checks of McCheckResponse, before the data length.
McReply CheckFrame(McFrameKind kind, bool ascii, std::span<const BYTE> query, std::span<const BYTE> response);

}  // namespace

std::size_t McResponseHeaderLength(McFrameKind kind, bool ascii)
{
    switch (kind) {
    case McFrameKind::E1: return ascii ? 4 : 2;
    case McFrameKind::E3: return ascii ? 18 : 9;
    case McFrameKind::E4: return ascii ? 26 : 13;
    }
    return 0;
}

std::size_t McExpectedData1E(bool ascii, unsigned points)
{
    const std::size_t words = points == 0 ? 256 : points;
    return words * (ascii ? 4 : 2);
}

std::optional<std::size_t> McResponseLength(McFrameKind kind, bool ascii,
                                            std::span<const BYTE> header,
                                            std::size_t expectedData, std::size_t capacity)
{
    const std::size_t headerLength = McResponseHeaderLength(kind, ascii);
    if (header.size() < headerLength)
        return std::nullopt;
    std::size_t total = 0;
    if (kind == McFrameKind::E1) {
        const auto subheader = Field(header, 0, 1, ascii);
        const auto endCode = Field(header, ascii ? 2 : 1, 1, ascii);
        if (!subheader || !endCode || (*subheader & 0x80) == 0)
            return std::nullopt;
        if (*endCode == 0)
            total = headerLength + expectedData;
        else if (*endCode == kAbnormalEndCode1E)
            total = headerLength + (ascii ? 4 : 2);   // abnormal code and a zero byte
        else
            total = headerLength;
    } else {
        const QnaLayout layout = Layout(kind, ascii);
        if (!IsResponseSubheader(header, kind, ascii))
            return std::nullopt;
        const auto length = Field(header, layout.lengthAt, 2, ascii);
        if (!length || *length < layout.endCodeLength)
            return std::nullopt;
        total = headerLength + *length;
    }
    if (total > capacity)
        return std::nullopt;
    return total;
}

std::optional<unsigned> McReadWords(McFrameKind kind, bool ascii, std::span<const BYTE> query)
{
    // Where the command (3E/4E) or subheader (1E) and the point count lie.
    std::size_t commandAt = 0;
    std::size_t pointsAt = 0;
    switch (kind) {
    case McFrameKind::E1: pointsAt = ascii ? 20 : 10; break;
    case McFrameKind::E3: commandAt = ascii ? 22 : 11; pointsAt = ascii ? 38 : 19; break;
    case McFrameKind::E4: commandAt = ascii ? 30 : 15; pointsAt = ascii ? 46 : 23; break;
    }
    if (kind == McFrameKind::E1) {
        const auto subheader = Field(query, 0, 1, ascii);
        const auto points = Field(query, pointsAt, 1, ascii);
        if (!subheader || *subheader != 0x01 || !points)
            return std::nullopt;
        return *points == 0 ? 256u : static_cast<unsigned>(*points);   // 0 stands for 256
    }
    const auto command = Field(query, commandAt, 2, ascii);
    const auto points = Field(query, pointsAt, 2, ascii);
    if (!command || *command != 0x0401 || !points)
        return std::nullopt;
    return static_cast<unsigned>(*points);
}

McReply McCheckResponse(McFrameKind kind, bool ascii, std::span<const BYTE> query,
                        std::span<const BYTE> response)
{
    McReply reply = CheckFrame(kind, ascii, query, response);
    if (reply.verdict != McVerdict::Ok || reply.dataLength == 0)
        return reply;
    if (const auto words = McReadWords(kind, ascii, query)) {
        if (reply.dataLength != static_cast<std::size_t>(*words) * (ascii ? 4 : 2)) {
            reply = McReply{};
            reply.message = kDataLength;
        }
    }
    return reply;
}

namespace {

McReply CheckFrame(McFrameKind kind, bool ascii, std::span<const BYTE> query, std::span<const BYTE> response)
{
    McReply reply;
    const std::size_t headerLength = McResponseHeaderLength(kind, ascii);
    if (response.size() < headerLength)
        return reply;

    if (kind == McFrameKind::E1) {
        const auto asked = Field(query, 0, 1, ascii);
        const auto answered = Field(response, 0, 1, ascii);
        const auto endCode = Field(response, ascii ? 2 : 1, 1, ascii);
        if (!asked || !answered || !endCode)
            return reply;
        if (*answered != (*asked | 0x80)) {
            reply.verdict = McVerdict::Mismatch;
            reply.message = kMismatchSubheaders;
            return reply;
        }
        reply.dataOffset = headerLength;
        if (*endCode == 0) {
            reply.verdict = McVerdict::Ok;
            reply.dataLength = response.size() - headerLength;
            reply.frameLength = response.size();
            return reply;
        }
        BYTE abnormal = 0;
        std::size_t extra = 0;
        if (*endCode == kAbnormalEndCode1E) {
            extra = ascii ? 4 : 2;
            const auto code = Field(response, headerLength, 1, ascii);
            if (!code || response.size() < headerLength + extra)
                return reply;
            abnormal = static_cast<BYTE>(*code);
        }
        reply.verdict = McVerdict::EndCode;
        reply.endCode = static_cast<WORD>(*endCode << 8 | abnormal);
        reply.dataLength = extra;
        reply.frameLength = headerLength + extra;
        return reply;
    }

    const QnaLayout layout = Layout(kind, ascii);
    if (!IsResponseSubheader(response, kind, ascii))
        return reply;
    if (query.size() < layout.header)
        return reply;
    const bool sameRoute = SameField(query, response, layout.routeAt, layout.routeLength, ascii);
    const bool sameSerial =
        SameField(query, response, layout.serialAt, layout.serialLength, ascii);
    if (!sameRoute || !sameSerial) {
        reply.verdict = McVerdict::Mismatch;
        reply.message = ascii ? nullptr : kMismatchHeader;
        return reply;
    }
    const auto length = Field(response, layout.lengthAt, 2, ascii);
    if (!length || *length < layout.endCodeLength ||
        response.size() < layout.header + *length)
        return reply;
    const auto endCode = Field(response, layout.header, 2, ascii);
    if (!endCode)
        return reply;
    reply.verdict = *endCode == 0 ? McVerdict::Ok : McVerdict::EndCode;
    reply.endCode = static_cast<WORD>(*endCode);
    reply.dataOffset = layout.header + layout.endCodeLength;
    reply.dataLength = *length - layout.endCodeLength;
    reply.frameLength = layout.header + *length;
    return reply;
}

}  // namespace

std::string McDecodeString(std::span<const BYTE> data, bool ascii, std::size_t size)
{
    std::string text;
    auto add = [&](BYTE c) {
        if (c == 0 || text.size() >= size)
            return false;
        text.push_back(static_cast<char>(c));
        return true;
    };
    if (!ascii) {
        for (BYTE c : data)
            if (!add(c))
                break;
        return text;
    }
    for (std::size_t at = 0; at + 4 <= data.size(); at += 4) {
        const auto word = McGetHex(data, at, 4);
        if (!word || !add(static_cast<BYTE>(*word)) || !add(static_cast<BYTE>(*word >> 8)))
            break;
    }
    return text;
}
