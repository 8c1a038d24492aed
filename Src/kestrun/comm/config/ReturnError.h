#pragma once
// Status codes of the communication engine. Operations that return a byte count
// return one of these (top bit set, so negative as a 32-bit int) when they fail.
#include "platform/win/WinTypes.h"

#include <cstddef>
#include <span>

enum tagReturnError : DWORD {
    RE_ERROR_FLAG = 0x80000000u,

    RE_COMMFILE_UNINITIALIZED = 0x80000002u, // no comm file on the line
    RE_FILE_EXCEPTION = 0x80000003u,         // file exception while reading or writing
    RE_WRITE_EXCEPTION = 0x80000004u,        // any other exception while writing

    RE_INVALID_READ_SIZE = 0x80000101u, // a read of fewer than 1 byte
    RE_BYTES_TO_READ = 0x80000102u,     // the handler cannot tell how many bytes wait
    RE_NO_LINE_RECORD = 0x80000103u,    // a line start without a line record

    RE_SERIAL_EXCEPTION = 0x80000201u, // plus the serial cause (1..14)

    RE_IOCTL_ERROR = 0x80000301u,
    RE_SOCKET_ATTACH = 0x80000302u,
    RE_INVALID_SOCKET = 0x80000303u,
    RE_INVALID_SOCKET_FILE = 0x80000304u,
    RE_SOCKET_ERROR = 0x80000305u,
    RE_SOCKET_TIMEOUT = 0x80000306u,
};

// One row of the status text table; the table ends with a row of code 0.
struct CommErrorEntry {
    DWORD code; // without the top bit
    const char* text;
    const char* detail;
};

// The status code as the int a byte-count operation returns.
constexpr int CommErrorResult(DWORD code)
{
    return static_cast<int>(code | RE_ERROR_FLAG);
}

// Status code for a serial exception cause (1 not available ... 14 mode error).
constexpr DWORD SerialErrorCode(int cause)
{
    return RE_SERIAL_EXCEPTION + static_cast<DWORD>(cause);
}

// Status code for a Windows socket error number.
constexpr DWORD SocketErrorCode(int wsaError)
{
    return RE_ERROR_FLAG | static_cast<DWORD>(wsaError);
}

// The text of a status code, with or without its top bit; nullptr when it has none.
const char* GetCommErrorText(DWORD code);

// The rows of the text table, including its closing row of code 0.
std::span<const CommErrorEntry> GetCommErrorTable();
