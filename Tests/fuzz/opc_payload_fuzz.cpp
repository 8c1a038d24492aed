// Payloads of OPC transport frames: the records and lists that calls, replies and
// notifications carry, read the way the server and the client proxies read them. The
// first byte picks what the payload holds. A payload read to its end without a fault
// must write back to exactly its bytes.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "platform/opc/wire/Protocol.h"
#include "platform/opc/wire/Wire.h"

namespace {

using opc::WireReader;
using opc::WireWriter;

// A count, then that many records; minSize is the least a record takes.
template <class Record>
std::vector<Record> ReadList(WireReader& r, Record (*read)(WireReader&), std::size_t minSize)
{
    std::vector<Record> list;
    for (DWORD n = r.count(minSize); n > 0 && r.ok(); --n)
        list.push_back(read(r));
    return list;
}

template <class Record>
void WriteList(WireWriter& w, const std::vector<Record>& list, void (*write)(WireWriter&, const Record&))
{
    w.u32(DWORD(list.size()));
    for (const Record& record : list)
        write(w, record);
}

template <class Record>
void RoundTrip(std::span<const BYTE> payload, Record (*read)(WireReader&), void (*write)(WireWriter&, const Record&),
               std::size_t minSize)
{
    WireReader r(payload);
    const auto list = ReadList(r, read, minSize);
    if (!r.done())
        return;
    WireWriter w;
    WriteList(w, list, write);
    FUZZ_CHECK(std::ranges::equal(w.data(), payload));
}

// The scalar and array readers one after another.
void Fields(std::span<const BYTE> payload)
{
    WireReader r(payload);
    const GUID guid = r.guid();
    const BYTE b = r.u8();
    const WORD word = r.u16();
    const std::uint64_t wide = r.u64();
    const FLOAT f = r.f32();
    const FILETIME time = r.fileTime();
    const auto blob = r.bytes();
    const auto handles = r.handles();
    const auto results = r.results();
    const auto texts = r.texts();
    const auto values = r.variants();
    if (!r.done())
        return;
    WireWriter w;
    w.guid(guid);
    w.u8(b);
    w.u16(word);
    w.u64(wide);
    w.f32(f);
    w.fileTime(time);
    w.bytes(blob);
    w.handles(handles);
    w.results(results);
    w.texts(texts);
    w.variants(values);
    FUZZ_CHECK(std::ranges::equal(w.data(), payload));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::span<const BYTE> payload(data + 1, size - 1);
    switch (data[0] % 7) {
    case 0: RoundTrip(payload, &opc::readItemDef, &opc::writeItemDef, 22); break;
    case 1: RoundTrip(payload, &opc::readItemResult, &opc::writeItemResult, 14); break;
    case 2: RoundTrip(payload, &opc::readItemState, &opc::writeItemState, 16); break;
    case 3: RoundTrip(payload, &opc::readStatus, &opc::writeStatus, 44); break;
    case 4: RoundTrip(payload, &opc::readAttributes, &opc::writeAttributes, 38); break;
    default: Fields(payload); break;
    }
    return 0;
}
