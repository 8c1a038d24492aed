// MELSEC addresses as a configuration or a client writes them: block addresses,
// point names with index and bit, station routes and PC numbers, and the batch read
// a block of such an address asks for in every frame kind. The first byte picks the
// data type (low nibble) and the second the point count; the rest is the text.
// An address that parses must be written back to the same device and number, and a
// read that can be built must be a complete request asking for the planned words.
#include <cstdint>
#include <string>
#include <string_view>

#include "fenwold/ElementAddress.h"
#include "fenwold/McFrame.h"
#include "fenwold/McResponse.h"
#include "fenwold/MelsecDevice.h"
#include "fuzz/FuzzCheck.h"

namespace {

void BuildReads(WORD code, DWORD head, int dataType, unsigned count)
{
    for (const bool align : {false, true}) {
        const auto plan = MelsecPlanRead(dataType, code, head, count, align);
        if (!plan)
            continue;
        FUZZ_CHECK(plan->bitOffset >= 0 && plan->bitOffset <= 15 && plan->head <= head);
        for (McFrameKind kind : {McFrameKind::E1, McFrameKind::E3, McFrameKind::E4}) {
            for (const bool ascii : {false, true}) {
                McTarget target;
                target.kind = kind;
                target.ascii = ascii;
                McBuffer query;
                if (!McBuildBatchRead(query, target, code, plan->head, plan->words))
                    continue;
                FUZZ_CHECK(McIsValidQuery(kind, ascii, query));
                const auto words = McReadWords(kind, ascii, query);
                FUZZ_CHECK(words && *words == plan->words);
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int dataType = data[0] & 0x0F;
    const unsigned count = data[1];
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

    ParseMcRoute(text);
    ParseMcPcNumber(text);
    const auto address = ParseMelsecAddress(text);
    if (!address)
        return 0;
    FUZZ_CHECK(address->number <= MelsecMaxDeviceNumber(address->deviceCode));
    std::string_view name;
    FUZZ_CHECK(MelsecDeviceName(address->deviceCode, name));
    const std::string written = std::string(name) + FormatDeviceNumber(address->deviceCode, address->number, address->digits);
    const auto again = ParseMelsecAddress(written);
    FUZZ_CHECK(again && again->deviceCode == address->deviceCode && again->number == address->number);

    for (int index : {-1, 0, 7}) {
        if (const auto element = GetElementAddress(text, dataType, address->deviceCode, index))
            ParseDeviceNumber(element->text, address->deviceCode);
    }
    BuildReads(address->deviceCode, address->number, dataType, count);
    return 0;
}
