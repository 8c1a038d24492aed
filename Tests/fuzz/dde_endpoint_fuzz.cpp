// A DDE server's endpoint file as a client reads it. What the reader takes must be
// written back to a text that reads the same.
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "platform/dde/Endpoint.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto endpoint = dde::ParseEndpoint(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!endpoint)
        return 0;
    FUZZ_CHECK(endpoint->port != 0 && dde::IsValidServiceName(endpoint->service));
    FUZZ_CHECK(dde::ParseEndpoint(dde::FormatEndpoint(*endpoint)) == endpoint);
    return 0;
}
