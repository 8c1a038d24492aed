#pragma once
// What blocks and points need of the MELSEC handler while they check a response:
// its error log, and reading the next response when one answered another request.
#include "platform/win/WinTypes.h"

class CdsMemoryArray;
struct tagTHREADINFO;

class McLink {
public:
    virtual ~McLink() = default;
    // Logs an error line of the handler, prefixed with the line's marker.
    virtual void McLogError(const tagTHREADINFO* pLine, const char* pszText) = 0;
    // Receives one more response of the block's frame kind into the buffer; false
    // when none arrives. `nExpected` is the length a good response has (1E).
    virtual bool McReceiveAgain(CdsMemoryArray* pArray, BYTE* pBuffer, int nCapacity, int nExpected,
                                int& nReceived, const char* pszQuery, const tagTHREADINFO* pLine) = 0;
};
