#include "fenwold/McReceive.h"

#include <span>

#include "fenwold/McResponse.h"

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
    const int rest = static_cast<int>(*total) - header;
    if (rest > 0 && !reader.ReadExactly(pBuffer + header, rest))
        return false;
    nReceived = static_cast<int>(*total);
    return true;
}
