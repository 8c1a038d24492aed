#pragma once
// The byte channel of one line: what a handler needs of a serial port or a
// socket. Failures are status codes (negative as int, see ReturnError.h).
//
// A port handler makes one in its OpenCommPort and hands it to the line with
// SetCommFile; the line keeps its own reference while it reads or writes, so
// a reset may swap the port without pulling it from under a running read.
#include <string>

#include "platform/win/WinTypes.h"

namespace kestrun {

class CommPort {
public:
    virtual ~CommPort() = default;
    // Bytes waiting to be read now, 0 for none, or a negative status.
    virtual int BytesWaiting() = 0;
    // Reads up to nLength bytes without waiting; the count, or a negative status.
    virtual int Read(BYTE* pBuffer, int nLength) = 0;
    // Writes all bytes; the count, or a negative status.
    virtual int Write(const BYTE* pData, int nLength) = 0;
    // Pushes written bytes out; a negative status on failure.
    virtual int Flush() { return 0; }
    // The cause behind a status this port returned, in words for the log;
    // empty when the status says all there is.
    virtual std::string DescribeFailure(int /*nStatus*/) const { return {}; }
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
};

} // namespace kestrun
