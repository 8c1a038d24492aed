#pragma once
// Faults the simulated PLC can inject into its answers.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace plcsim {

struct Fault {
    enum class Kind {
        EndCode,         // answer `endCode` (1E: low byte, `abnormal` after 0x5B) without executing
        ShortThenStall,  // send `bytes` of the answer, then never answer on this connection again
        ShortThenClose,  // send `bytes` of the answer, then close
        Split,           // send `bytes`, wait `delay`, send the rest
        Coalesce,        // hold the answer back; it goes out in front of the next send
        Duplicate,       // send the answer twice in one send
        JunkBefore,      // `junk` in front of the answer, same send
        JunkAfter,       // `junk` behind the answer, same send
        WrongRoute,      // network number + 1
        WrongSerial,     // 4E serial number + 1
        WrongSubheader,  // subheader of another frame
        LengthFFFF,      // 3E/4E length field 0xFFFF
        ShortData,       // the last word of the data left out (3E/4E: the length field follows)
        Late,            // wait `delay` before answering
        Drop,            // no answer and no execution
        Close,           // close the connection instead of answering; no execution
    };

    Kind kind = Kind::EndCode;
    std::uint16_t endCode = 0xC059;
    std::optional<std::uint8_t> abnormal;
    std::size_t bytes = 0;
    std::chrono::milliseconds delay{0};
    std::vector<std::uint8_t> junk{0x00, 0xFF, 0x55};

    static Fault withEndCode(std::uint16_t code, std::optional<std::uint8_t> abnormal = {})
    { Fault f; f.kind = Kind::EndCode; f.endCode = code; f.abnormal = abnormal; return f; }
    static Fault of(Kind kind) { Fault f; f.kind = kind; return f; }
    static Fault shortThen(Kind kind, std::size_t bytes) { Fault f; f.kind = kind; f.bytes = bytes; return f; }
    static Fault split(std::size_t at, std::chrono::milliseconds delay)
    { Fault f; f.kind = Kind::Split; f.bytes = at; f.delay = delay; return f; }
    static Fault late(std::chrono::milliseconds delay) { Fault f; f.kind = Kind::Late; f.delay = delay; return f; }
    static Fault junkAround(Kind kind, std::vector<std::uint8_t> junk)
    { Fault f; f.kind = kind; f.junk = std::move(junk); return f; }
};

} // namespace plcsim
