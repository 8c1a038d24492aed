// MC responses in 3E frames, ASCII code.
#include "fuzz/McResponseFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return mcfuzz::FuzzResponse(McFrameKind::E3, true, data, size);
}
