// MC responses in 4E frames, binary code.
#include "fuzz/McResponseFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return mcfuzz::FuzzResponse(McFrameKind::E4, false, data, size);
}
