#pragma once
// MC protocol responses: how long they are, and whether one answers its request.
#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "fenwold/McFrame.h"

// Bytes (ASCII: characters) of a response header, read before anything else:
// 1E 2/4 (subheader, end code), 3E 9/18, 4E 13/26 (up to the length field).
std::size_t McResponseHeaderLength(McFrameKind kind, bool ascii);

// Data a good 1E response carries after its header: for a read of `points` words
// 2 bytes or 4 characters a word (a point byte of 0 stands for 256 words); 0 for a
// write. 3E/4E responses declare their own length.
std::size_t McExpectedData1E(bool ascii, unsigned points);

// Whole length of a response once its header has arrived, so a receiver reads
// exactly the bytes that come and never waits for bytes that do not. `expectedData`
// is what a good 1E response carries (McExpectedData1E); a 1E error response is only
// its header, followed by an abnormal code and a zero byte for end code 0x5B. 3E/4E
// responses need their response subheader and a length field that holds at least the
// end code and fits, with the header, in `capacity`. Nothing for a header that is
// short or cannot start a response.
std::optional<std::size_t> McResponseLength(McFrameKind kind, bool ascii,
                                            std::span<const BYTE> header,
                                            std::size_t expectedData, std::size_t capacity);

enum class McVerdict {
    Ok,         // the response answers the request with end code 0
    EndCode,    // the PLC reported an error
    Mismatch,   // a response to another request: read again, a bounded number of times
    Malformed,  // not a response: fail the exchange
};

// Re-reads after mismatching responses before an exchange fails.
inline constexpr int kMcMaxRereads = 3;

struct McReply {
    McVerdict verdict = McVerdict::Malformed;
    WORD endCode = 0;              // 3E/4E end code; 1E end code x 256 + abnormal code
    std::size_t dataOffset = 0;    // data of a good response, error information of an error
    std::size_t dataLength = 0;
    std::size_t frameLength = 0;   // bytes the response occupies
    // Log text of a mismatch that is logged and counted, or of a malformed read
    // response whose data does not match the words asked for.
    const char* message = nullptr;
};

// Words a batch-read request asks for; nothing for any other request.
std::optional<unsigned> McReadWords(McFrameKind kind, bool ascii, std::span<const BYTE> query);

// Checks a response against the request it answers: the 1E subheader (request
// subheader with bit 7 set), the 3E/4E response subheader, route (ASCII compared
// without regard to case) and 4E serial number, the length, then the end code. A
// good answer to a batch read must carry exactly the words it asked for (no data at
// all is left to the decoder, which reports it); other data is Malformed.
McReply McCheckResponse(McFrameKind kind, bool ascii, std::span<const BYTE> query,
                        std::span<const BYTE> response);

// Text of a string read from word data, the mirror of McBuildStringWrite: binary
// data as its bytes, ASCII data as words of four digits with the first character in
// the low byte. Stops at the first zero byte, after `size` characters or at data
// that is not a word.
std::string McDecodeString(std::span<const BYTE> data, bool ascii, std::size_t size);

// Checks `response` and, while responses to other requests arrive, reports each one
// to `onMismatch(const McReply&)` (which logs and counts it) and reads the next with
// `receive()`, which returns the new response or an empty span when none arrives.
// At most `maxRereads` further responses are read: a line never loops on a peer
// that keeps answering something else. Failing to receive gives Malformed; running
// out of re-reads gives the last Mismatch.
template <class Receive, class OnMismatch>
McReply McReceiveReply(McFrameKind kind, bool ascii, std::span<const BYTE> query,
                       std::span<const BYTE> response, Receive&& receive,
                       OnMismatch&& onMismatch, int maxRereads = kMcMaxRereads)
{
    for (int rereads = 0;; ++rereads) {
        McReply reply = McCheckResponse(kind, ascii, query, response);
        if (reply.verdict != McVerdict::Mismatch)
            return reply;
        onMismatch(reply);
        if (rereads >= maxRereads)
            return reply;
        response = receive();
        if (response.empty())
            return McReply{};
    }
}
