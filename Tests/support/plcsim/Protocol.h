#pragma once
// MC protocol request framing and execution, independent of sockets.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace plcsim {

class Memory;

enum class FrameKind { Auto, E1, E3, E4 };
enum class Encoding { Auto, Binary, Ascii };

// What a request carried, kept for inspection by tests.
struct RequestInfo {
    FrameKind frame = FrameKind::E3;
    bool ascii = false;
    std::uint16_t serial = 0;        // 4E only
    std::uint8_t network = 0;
    std::uint8_t pc = 0xFF;
    std::uint16_t moduleIo = 0x03FF;
    std::uint8_t station = 0;
    std::uint16_t timer = 0;         // monitoring timer, 250 ms units
    std::uint16_t command = 0;       // 1E: the subheader (00..05)
    std::uint16_t subcommand = 0;
    std::uint8_t deviceCode = 0;     // 3E/4E batch read or write: the head device
    std::uint32_t head = 0;
};

// One answer, before it is put on the wire.
struct Reply {
    RequestInfo request;
    std::uint16_t endCode = 0;       // 1E: low byte only
    std::optional<std::uint8_t> abnormal;  // 1E: after end code 0x5B
    std::vector<std::uint8_t> data;  // already encoded (binary or ASCII)
};

// Changes a fault makes to the encoded answer.
struct ReplyTweaks {
    bool wrongRoute = false;      // network number + 1
    bool wrongSerial = false;     // 4E serial + 1
    bool wrongSubheader = false;  // subheader of another frame
    bool lengthFFFF = false;      // 3E/4E length field 0xFFFF
};

std::vector<std::uint8_t> encodeReply(const Reply& reply, const ReplyTweaks& tweaks = {});

// How the next request should be handled when a fault says so.
struct RequestOverride {
    bool execute = true;                   // false: parse only, touch no memory
    std::optional<std::uint16_t> endCode;  // answer this end code instead
    std::optional<std::uint8_t> abnormal;  // 1E abnormal code with end code 0x5B
};

class Protocol {
public:
    Protocol(Memory& memory, FrameKind frame = FrameKind::Auto, Encoding encoding = Encoding::Auto);

    enum class Status { NeedMore, Reply, Discard };
    struct Step {
        Status status = Status::NeedMore;
        std::size_t consumed = 0;    // bytes of the buffer that this step used up
        Reply reply;                 // valid for Status::Reply
    };

    using Override = RequestOverride;

    // What next() would do with `buffer`, without touching memory.
    Step peek(std::span<const std::uint8_t> buffer) const;

    // Length of the complete request at the head of `buffer`, or 0 while it is incomplete.
    // A head that is no request at all reports the whole buffer (the next step discards it).
    std::size_t completeLength(std::span<const std::uint8_t> buffer) const;

    // Handles the request at the head of `buffer`.
    Step next(std::span<const std::uint8_t> buffer, const Override& override = {});

private:
    Step run(std::span<const std::uint8_t> buffer, const Override& override, bool dryRun) const;

    Memory& memory_;
    FrameKind frame_;
    Encoding encoding_;
};

} // namespace plcsim
