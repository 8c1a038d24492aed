// The PLC simulator's request parser over whatever a client sends, in every mode the
// simulator can be started in: frame kind and code found from the bytes, or fixed.
// Requests are taken off the stream the way a connection does, so a step that
// answers must use up bytes (or the connection would loop) and never more than
// arrived; peek and next must agree; every answer must encode.
#include <cstdint>
#include <span>

#include "fuzz/FuzzCheck.h"
#include "support/plcsim/Memory.h"
#include "support/plcsim/Protocol.h"

namespace {

using plcsim::Encoding;
using plcsim::FrameKind;
using plcsim::Protocol;

void Serve(plcsim::Memory& memory, FrameKind frame, Encoding encoding, std::span<const std::uint8_t> stream)
{
    Protocol protocol(memory, frame, encoding);
    while (!stream.empty()) {
        const Protocol::Step probe = protocol.peek(stream);
        if (probe.status == Protocol::Status::NeedMore)
            return;
        FUZZ_CHECK(probe.consumed > 0 && probe.consumed <= stream.size());
        if (probe.status == Protocol::Status::Discard) {
            stream = stream.subspan(probe.consumed);
            continue;
        }
        const Protocol::Step step = protocol.next(stream);
        FUZZ_CHECK(step.status == probe.status && step.consumed == probe.consumed);
        FUZZ_CHECK(protocol.completeLength(stream) == probe.consumed);
        plcsim::encodeReply(step.reply);
        plcsim::encodeReply(step.reply, {true, true, true, true});
        stream = stream.subspan(step.consumed);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static plcsim::Memory memory;  // made once: it holds every device's points
    for (FrameKind frame : {FrameKind::Auto, FrameKind::E1, FrameKind::E3, FrameKind::E4})
        for (Encoding encoding : {Encoding::Auto, Encoding::Binary, Encoding::Ascii})
            Serve(memory, frame, encoding, std::span<const std::uint8_t>(data, size));
    return 0;
}
