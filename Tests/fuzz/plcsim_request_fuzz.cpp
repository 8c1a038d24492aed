// The PLC simulator's request parser over whatever a client sends, in every mode the
// simulator can be started in: frame kind and code found from the bytes, or fixed.
// Requests are taken off the stream the way a connection does, so a step that
// answers must use up bytes (or the connection would loop) and never more than
// arrived; peek and next must agree; every answer must encode. An answer to a
// request of a kind the driver sends must pass the driver's own check, and the
// simulator's faulty answers must fail it.
#include <cstdint>
#include <span>

#include "fenwold/McResponse.h"
#include "fuzz/FuzzCheck.h"
#include "support/plcsim/Memory.h"
#include "support/plcsim/Protocol.h"

namespace {

using plcsim::Encoding;
using plcsim::ReplyTweaks;
using plcsim::FrameKind;
using plcsim::Protocol;

// The requests the driver builds: word reads, batch and random writes.
bool DriverSends(const plcsim::RequestInfo& info)
{
    if (info.frame == FrameKind::E1)
        return info.command >= 0x01 && info.command <= 0x05;
    switch (info.command) {
    case 0x0401: return info.subcommand == 0x0000;
    case 0x1401:
    case 0x1402: return info.subcommand <= 0x0001;
    default: return false;
    }
}

McVerdict DriverVerdict(const plcsim::Reply& reply, std::span<const std::uint8_t> request, const ReplyTweaks& tweaks)
{
    const plcsim::RequestInfo& info = reply.request;
    const McFrameKind kind = info.frame == FrameKind::E1 ? McFrameKind::E1
                             : info.frame == FrameKind::E3 ? McFrameKind::E3
                                                           : McFrameKind::E4;
    return McCheckResponse(kind, info.ascii, request, plcsim::encodeReply(reply, tweaks)).verdict;
}

void CheckAgainstDriver(const plcsim::Reply& reply, std::span<const std::uint8_t> request)
{
    const plcsim::RequestInfo& info = reply.request;
    if (!DriverSends(info))
        return;
    const McVerdict verdict = DriverVerdict(reply, request, {});
    FUZZ_CHECK(verdict == McVerdict::Ok || verdict == McVerdict::EndCode);
    const McVerdict otherSubheader = DriverVerdict(reply, request, {.wrongSubheader = true});
    FUZZ_CHECK(otherSubheader != McVerdict::Ok && otherSubheader != McVerdict::EndCode);
    if (info.frame == FrameKind::E1)
        return;
    FUZZ_CHECK(DriverVerdict(reply, request, {.wrongRoute = true}) == McVerdict::Mismatch);
    FUZZ_CHECK(DriverVerdict(reply, request, {.lengthFFFF = true}) == McVerdict::Malformed);
    if (info.frame == FrameKind::E4)
        FUZZ_CHECK(DriverVerdict(reply, request, {.wrongSerial = true}) == McVerdict::Mismatch);
}

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
        CheckAgainstDriver(step.reply, stream.first(step.consumed));
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
