#pragma once
// The MC response road of one frame kind, as a line walks it: the two-step receive
// off the byte stream into a block's response buffer, the check against a fixed
// request (a batch read of D100..D102, re-reading after responses to other
// requests), and the decoding of a good response into points of every data type.
// The decoder and the string reader also take the whole input as data.
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fenwold/McDecode.h"
#include "fenwold/McFrame.h"
#include "fenwold/McReceive.h"
#include "fenwold/McResponse.h"
#include "fuzz/FuzzCheck.h"

namespace mcfuzz {

// A block's response buffer (kestrun's CdsMemoryArray::kResponseSize).
inline constexpr int kCapacity = 4096;
inline constexpr unsigned kWords = 3;

class StreamReader : public McByteReader {
public:
    explicit StreamReader(std::span<const BYTE> stream) : m_stream(stream) {}
    bool ReadExactly(BYTE* pBuffer, int nLength) override
    {
        FUZZ_CHECK(nLength >= 0);
        const auto length = static_cast<std::size_t>(nLength);
        if (length > m_stream.size())
            return false;
        std::memcpy(pBuffer, m_stream.data(), length);
        m_stream = m_stream.subspan(length);
        return true;
    }

private:
    std::span<const BYTE> m_stream;
};

// Checks every value against the block's shape and reads every text to its end.
class CheckingSink : public McValueSink {
public:
    explicit CheckingSink(const McBlockShape& shape) : m_shape(shape) {}
    int delivered = 0;

    void Deliver(int index, const _BRISANTDATAVALUE& value) override
    {
        ++delivered;
        if (m_shape.dataType == BRISANT_STRING) {
            FUZZ_CHECK(index == 0);
            if (value.pszVal)
                FUZZ_CHECK(std::strlen(value.pszVal) <= static_cast<std::size_t>(m_shape.stringSize));
            return;
        }
        if (m_shape.dataType == BRISANT_FIXEDSTRING) {
            FUZZ_CHECK(index == 0 && value.pcsVal);
            SHORT count = 0;
            std::memcpy(&count, value.pcsVal, sizeof count);
            FUZZ_CHECK(count >= 0 && count <= m_shape.stringSize);
            FUZZ_CHECK(value.pcsVal[2 + count] == 0);
            return;
        }
        FUZZ_CHECK(index >= 0 && index < m_shape.points);
    }

private:
    McBlockShape m_shape;
};

inline void DecodeAsEveryType(std::span<const BYTE> data, bool ascii, int points)
{
    static constexpr int kTypes[] = {BRISANT_BOOL,  BRISANT_CHAR,  BRISANT_BYTE,   BRISANT_SHORT,
                                     BRISANT_WORD,  BRISANT_LONG,  BRISANT_DWORD,  BRISANT_FLOAT,
                                     BRISANT_DOUBLE, BRISANT_STRING, BRISANT_FIXEDSTRING};
    for (int type : kTypes) {
        for (int bitOffset : {0, 5, 15}) {
            McBlockShape shape;
            shape.dataType = type;
            shape.ascii = ascii;
            shape.bitOffset = bitOffset;
            shape.points = points;
            shape.stringSize = points;
            CheckingSink sink(shape);
            const bool decoded = McDecodeValues(shape, data, sink);
            FUZZ_CHECK(decoded || sink.delivered == 0);
            FUZZ_CHECK(!decoded || !data.empty());
        }
    }
    FUZZ_CHECK(McDecodeString(data, ascii, static_cast<std::size_t>(points)).size() <= static_cast<std::size_t>(points));
}

// What McCheckResponse promises about a reply to the batch read.
inline void CheckReply(const McReply& reply, std::span<const BYTE> response, bool ascii)
{
    if (reply.verdict != McVerdict::Ok && reply.verdict != McVerdict::EndCode)
        return;
    FUZZ_CHECK(reply.dataOffset + reply.dataLength == reply.frameLength);
    FUZZ_CHECK(reply.frameLength <= response.size());
    if (reply.verdict == McVerdict::Ok)
        FUZZ_CHECK(reply.dataLength == 0 || reply.dataLength == kWords * (ascii ? 4u : 2u));
}

inline int FuzzResponse(McFrameKind kind, bool ascii, const std::uint8_t* data, std::size_t size)
{
    const std::span<const BYTE> input(data, size);
    McTarget target;
    target.kind = kind;
    target.ascii = ascii;
    target.serial = 0x1234;
    McBuffer query;
    FUZZ_CHECK(McBuildBatchRead(query, target, 0xA8, 100, kWords));

    // The stream as the line receives it; responses to other requests make it read on.
    StreamReader stream(input);
    std::vector<BYTE> buffer(kCapacity);  // exactly the capacity: a write past it is caught
    const auto header = static_cast<int>(McResponseHeaderLength(kind, ascii));
    const int expected = header + static_cast<int>(McExpectedData1E(ascii, kWords));
    auto receive = [&]() -> std::span<const BYTE> {
        int received = -1;
        if (!McReceiveResponse(kind, ascii, buffer.data(), kCapacity, expected, received, stream))
            return {};
        FUZZ_CHECK(received >= header && received <= kCapacity);
        return std::span<const BYTE>(buffer.data(), static_cast<std::size_t>(received));
    };
    const std::span<const BYTE> first = receive();
    if (!first.empty()) {
        int mismatches = 0;
        std::size_t lastLength = first.size();
        auto receiveAgain = [&]() {
            const std::span<const BYTE> next = receive();
            lastLength = next.size();
            return next;
        };
        const McReply reply =
            McReceiveReply(kind, ascii, query, first, receiveAgain, [&](const McReply&) { ++mismatches; });
        FUZZ_CHECK(mismatches <= kMcMaxRereads + 1);
        // The receive took exactly the frame that the check finds.
        if (reply.verdict == McVerdict::Ok || reply.verdict == McVerdict::EndCode)
            FUZZ_CHECK(reply.frameLength == lastLength);
        if (reply.verdict == McVerdict::Ok && reply.dataLength > 0) {
            const std::span<const BYTE> response(buffer.data(), reply.frameLength);
            DecodeAsEveryType(response.subspan(reply.dataOffset, reply.dataLength), ascii, 16 * kWords);
        }
    }

    // The input as one response, whatever its length.
    CheckReply(McCheckResponse(kind, ascii, query, input), input, ascii);
    if (const auto total = McResponseLength(kind, ascii, input, expected - header, kCapacity))
        FUZZ_CHECK(*total >= static_cast<std::size_t>(header) && *total <= kCapacity);
    McReadWords(kind, ascii, input);

    // The decoder over any data, for a block of a few hundred points.
    DecodeAsEveryType(input, ascii, 512);
    return 0;
}

}  // namespace mcfuzz
