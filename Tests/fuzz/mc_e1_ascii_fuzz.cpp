// MC responses in 1E frames, ASCII code.
#include "fuzz/McResponseFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return mcfuzz::FuzzResponse(McFrameKind::E1, true, data, size);
}
