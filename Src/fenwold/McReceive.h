#pragma once
// Reading one MC response off a byte stream in two steps: the fixed header, then the
// rest as the header says (3E/4E length field; 1E end code and the expected length).
#include "fenwold/McFrame.h"
#include "platform/win/WinTypes.h"

class McByteReader {
public:
    virtual ~McByteReader() = default;
    // Reads exactly `length` bytes; false when they do not all arrive.
    virtual bool ReadExactly(BYTE* pBuffer, int nLength) = 0;
};

// Reads a response into the buffer. `nExpected` is the whole length of a good 1E
// response (header and data); 3E/4E responses declare theirs. A short header, a
// header that cannot start a response of the kind, a length the buffer cannot hold
// or a short body fail the receive. On success `nReceived` is the response's length.
// A 1E abnormal code and the zero byte behind it are read as part of the response.
bool McReceiveResponse(McFrameKind kind, bool ascii, BYTE* pBuffer, int nCapacity, int nExpected,
                       int& nReceived, McByteReader& reader);
