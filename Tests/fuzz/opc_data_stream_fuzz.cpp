// The OPC DA 1.0 data-advise streams as a client receives them from a server: the data
// stream in both layouts and the write-complete stream. What a reader takes must build
// a stream that reads back to the same content and builds the same bytes again. Values
// take their own bytes of the block: no stream makes the reader hold more elements and
// characters than the block has bytes.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "platform/opc/wire/DataStream.h"

namespace {

// Elements and characters a value holds.
std::size_t Footprint(const VARIANT& v)
{
    if (v.vt() == VT_BSTR)
        return v.bstrVal().size();
    const SAFEARRAY* array = v.isArray() ? v.parray() : nullptr;
    if (!array)
        return 0;
    std::size_t n = array->count();
    for (ULONG i = 0; i < array->count(); ++i)
        n += Footprint(array->at(i));
    return n;
}

void DataStream(std::span<const BYTE> block, bool withTime)
{
    opc::DataStreamContent content;
    if (FAILED(opc::parseDataStream(block, withTime, content)))
        return;
    std::size_t footprint = 0;
    for (const opc::StreamItem& item : content.items)
        footprint += Footprint(item.value);
    FUZZ_CHECK(footprint <= block.size());

    const std::vector<BYTE> built = opc::buildDataStream(content.hClientGroup, content.transactionId, content.status,
                                                         content.items, withTime);
    opc::DataStreamContent again;
    FUZZ_CHECK(opc::parseDataStream(built, withTime, again) == S_OK);
    FUZZ_CHECK(again.items.size() == content.items.size());
    for (std::size_t i = 0; i < again.items.size(); ++i) {
        FUZZ_CHECK(again.items[i].hClient == content.items[i].hClient);
        FUZZ_CHECK(again.items[i].quality == content.items[i].quality);
    }
    FUZZ_CHECK(opc::buildDataStream(again.hClientGroup, again.transactionId, again.status, again.items, withTime) ==
               built);
}

void WriteComplete(std::span<const BYTE> block)
{
    opc::WriteCompleteContent content;
    if (FAILED(opc::parseWriteCompleteStream(block, content)))
        return;
    const std::vector<BYTE> built =
        opc::buildWriteCompleteStream(content.hClientGroup, content.transactionId, content.status, content.items);
    FUZZ_CHECK(built.size() <= block.size());
    FUZZ_CHECK(std::equal(built.begin(), built.end(), block.begin()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const BYTE> block(data, size);
    DataStream(block, false);
    DataStream(block, true);
    WriteComplete(block);
    return 0;
}
