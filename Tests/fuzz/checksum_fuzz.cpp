// The checksum classes over any bytes and any length: a value appended by a class
// must verify, a block checked in two parts must give the value of the whole, and
// the fieldbus checks never look outside the length they are given.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "kestrun/comm/serial/Crc.h"
#include "kestrun/comm/serial/FastCrc.h"
#include "kestrun/comm/serial/Lrc.h"
#include "kestrun/comm/serial/OXCheck.h"

namespace {

// Any split of the block must give the value of the whole.
template <class Check, class... Args>
void InTwoParts(const BYTE* data, DWORD size, DWORD split, Args... args)
{
    Check whole(args...);
    const DWORD value = whole.CalculateBlock(data, size);
    Check parts(args...);
    parts.CalculateBlock(data, split);
    FUZZ_CHECK(parts.CalculateBlock(data + split, size - split) == value);
    FUZZ_CHECK(whole.GetValue() == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto length = static_cast<DWORD>(size);
    const DWORD split = size == 0 ? 0 : data[0] % (length + 1);

    CCrc16 crc16;
    CCrc32 crc32;
    for (std::size_t i = 0; i < size; ++i) {
        crc16.update(data[i]);
        crc32.update(data[i]);
    }

    // Room for the two check bytes behind the data, and not a byte more.
    const auto framed = std::make_unique<BYTE[]>(size + 2);
    if (size > 0)
        std::memcpy(framed.get(), data, size);
    if (size <= 0xFFFF) {
        CFastCrc16::AddCrc(framed.get(), length);
        FUZZ_CHECK(CFastCrc16::IsValidCrc(framed.get(), length + 2));
        CFastCrc32::AddCrc(framed.get(), length);
        FUZZ_CHECK(CFastCrc32::IsValidCrc(framed.get(), length + 2));
    }
    CFastCrc16::IsValidCrc(data, length);
    CFastCrc32::IsValidCrc(data, length);
    const std::vector<BYTE> bytes(data, data + size);
    FUZZ_CHECK(CFastCrc16::CalcCrc(bytes) == (size == 0 ? 0 : CFastCrc16::CalcCrc(data, length)));
    CFastCrc16::CalcCrc(bytes, static_cast<int>(split));

    const char* text = reinterpret_cast<const char*>(data);
    CAsciiLrc::CalcLrc(text, length);
    CAsciiLrc::IsValidLrc(text, length);
    CRtuLrc::CalcLrc(data, length);
    CRtuLrc::IsValidLrc(data, length);

    InTwoParts<COXCRC16>(data, length, split, DWORD{0x1021});
    InTwoParts<COXCRC16>(data, length, split, DWORD{0x8005});
    InTwoParts<COXCRC32>(data, length, split, DWORD{0xEDB88320u});
    InTwoParts<COXCheckSum8>(data, length, split);
    InTwoParts<COXCheckSum16>(data, length, split);
    InTwoParts<COXCheckSum32>(data, length, split);
    return 0;
}
