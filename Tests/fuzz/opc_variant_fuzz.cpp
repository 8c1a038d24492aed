// VARIANT values as they cross the OPC transport (and BSTRs alone), and the 16-byte
// cells of the 1.0 streams. A value the decoder takes encodes to exactly the bytes it
// took; a cell decodes, encodes and decodes to the same value. Every value is then
// converted to every type, as a server converts a client's write to its item's type.
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "platform/com/VariantCodec.h"

namespace {

// VT_EMPTY .. VT_UINT: every scalar type and a few codes the converter must refuse.
void ConvertToEveryType(const VARIANT& value)
{
    for (VARTYPE vt = VT_EMPTY; vt <= VT_UINT; ++vt) {
        VARIANT out;
        com::changeType(value, vt, out);
        com::changeType(value, static_cast<VARTYPE>(vt | VT_ARRAY), out);
        com::changeType(value, vt, out, VARIANT_ALPHABOOL);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const BYTE> bytes(data, size);

    VARIANT value;
    std::size_t consumed = 0;
    if (SUCCEEDED(com::decodeVariant(bytes, value, consumed))) {
        FUZZ_CHECK(consumed >= 2 && consumed <= size);
        std::vector<BYTE> encoded;
        FUZZ_CHECK(com::encodeVariant(value, encoded) == S_OK);
        FUZZ_CHECK(encoded.size() == consumed && std::equal(encoded.begin(), encoded.end(), data));
        ConvertToEveryType(value);
    }

    BSTR text;
    std::size_t used = 0;
    if (SUCCEEDED(com::decodeBstr(bytes, text, used))) {
        std::vector<BYTE> encoded;
        com::encodeBstr(text, encoded);
        FUZZ_CHECK(encoded.size() == used && std::equal(encoded.begin(), encoded.end(), data));
        ConvertToEveryType(VARIANT::Bstr(text));
    }

    if (size >= com::kVariantCellSize) {
        const std::span<const BYTE, com::kVariantCellSize> cell(data, com::kVariantCellSize);
        VARIANT fromCell;
        if (SUCCEEDED(com::decodeVariantCell(cell, fromCell))) {
            std::array<BYTE, com::kVariantCellSize> again{};
            com::encodeVariantCell(fromCell, again);
            VARIANT back;
            FUZZ_CHECK(com::decodeVariantCell(again, back) == S_OK);
            std::array<BYTE, com::kVariantCellSize> twice{};
            com::encodeVariantCell(back, twice);
            FUZZ_CHECK(twice == again);
        }
    }
    return 0;
}
