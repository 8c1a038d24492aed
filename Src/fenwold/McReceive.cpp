#include "fenwold/McReceive.h"

#include <cstring>
#include <span>

#include "fenwold/McResponse.h"

namespace {

// End code 0x5B of a 1E response header: an abnormal code follows.
bool IsAbnormal1E(const BYTE* header, bool ascii)
{
    if (!ascii)
        return header[1] == 0x5B;
    return header[2] == '5' && (header[3] == 'B' || header[3] == 'b');
}

}  // namespace

bool McReceiveResponse(McFrameKind kind, bool ascii, BYTE* pBuffer, int nCapacity, int nExpected,
                       int& nReceived, McByteReader& reader)
{
    nReceived = 0;
    const auto header = static_cast<int>(McResponseHeaderLength(kind, ascii));
    if (!pBuffer || nCapacity < header || !reader.ReadExactly(pBuffer, header))
        return false;
    const std::size_t expectedData = nExpected > header ? static_cast<std::size_t>(nExpected - header) : 0;
    const auto total = McResponseLength(kind, ascii, std::span<const BYTE>(pBuffer, static_cast<std::size_t>(header)),
                                        expectedData, static_cast<std::size_t>(nCapacity));
    if (!total)
        return false;
    if (kind == McFrameKind::E1 &&
        IsAbnormal1E(pBuffer, ascii)) {
        const int half = ascii ? 2 : 1;
        if (!reader.ReadExactly(pBuffer + header, half))
            return false;
        if (!reader.ReadIfWaiting(pBuffer + header + half, half))
            std::memset(pBuffer + header + half, ascii ? '0' : 0, static_cast<std::size_t>(half));
        nReceived = header + 2 * half;
        return true;
    }
    const int rest = static_cast<int>(*total) - header;
    if (rest > 0 && !reader.ReadExactly(pBuffer + header, rest))
        return false;
    nReceived = static_cast<int>(*total);
    return true;
}
