// The OPC transport's byte stream as a peer sends it, arriving in pieces of any size
// (the first byte sets the size): frames put together by the frame reader until one
// is malformed. A frame that comes out whole has the payload its header announced and
// encodes to a header that decodes to the same frame; the reader never holds much
// more than it was given.
#include <algorithm>
#include <cstdint>
#include <span>

#include "fuzz/FuzzCheck.h"
#include "platform/opc/wire/Frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + data[0] % 64;
    std::span<const BYTE> stream(data + 1, size - 1);
    opc::FrameReader reader;
    std::uint64_t now = 0;
    while (!stream.empty()) {
        const std::span<const BYTE> part = stream.first(std::min(piece, stream.size()));
        std::size_t used = 0;
        opc::Frame frame;
        const auto status = reader.feed(part, used, frame, ++now);
        FUZZ_CHECK(used <= part.size());
        FUZZ_CHECK(reader.storage() <= opc::kFrameHeaderSize + 2 * reader.held());
        if (status == opc::FrameReader::Status::Malformed)
            return 0;
        if (status == opc::FrameReader::Status::NeedMore)
            FUZZ_CHECK(used == part.size() && reader.wanted() > 0);
        if (status == opc::FrameReader::Status::Complete) {
            const auto encoded = opc::encodeFrame(frame);
            opc::Frame decoded;
            DWORD length = 0;
            FUZZ_CHECK(opc::decodeFrameHeader(std::span<const BYTE, opc::kFrameHeaderSize>(encoded.data(),
                                                                                         opc::kFrameHeaderSize),
                                              decoded, length));
            FUZZ_CHECK(length == frame.payload.size() && decoded.kind == frame.kind &&
                       decoded.method == frame.method && decoded.callId == frame.callId &&
                       decoded.objectId == frame.objectId);
        }
        stream = stream.subspan(used);
    }
    return 0;
}
