#pragma once
// MC protocol request frames: 1E (A-compatible), 3E (QnA-compatible) and 4E (with a
// serial number), each in binary or ASCII code. Binary numbers are little-endian;
// ASCII numbers are upper-case hexadecimal digits, most significant first.
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "platform/win/WinTypes.h"

enum class McFrameKind { E1, E3, E4 };

// Access route of a 3E/4E request.
struct McRoute {
    BYTE network = 0x00;
    BYTE pc = 0xFF;
    WORD io = 0x03FF;     // request destination module I/O number
    BYTE station = 0x00;  // request destination module station number
    bool operator==(const McRoute&) const = default;
};

// Route from a device's address string: exactly ten hexadecimal digits (network 2,
// PC 2, I/O 4, station 2); anything else gives the default route 00 FF 03FF 00.
McRoute ParseMcRoute(std::string_view address);

// PC number of a 1E device: "&1F", "H1F" or "h1F" is hexadecimal, else the string is
// read as a decimal number and its low byte used. An empty (or blank) string is the
// station itself, 0xFF.
BYTE ParseMcPcNumber(std::string_view address);

// Everything a request needs to know about the station it goes to.
struct McTarget {
    McFrameKind kind = McFrameKind::E3;
    bool ascii = false;
    McRoute route;          // 3E/4E
    BYTE pcNumber = 0xFF;   // 1E
    WORD serial = 0;        // 4E; the handler stamps the line's serial before sending
};

using McBuffer = std::vector<BYTE>;

// Request builders. Each one replaces the contents of `out` with the frame and
// returns true, or leaves `out` empty and returns false when the request cannot be
// made in the target's frame kind (unknown device, a device the 1E frame cannot
// address, point counts out of range, word device accessed in bit units ...).

// Words a PLC answers to one batch read in word units: 1E 256 of a word device and
// 128 (2048 points) of a bit device, 3E/4E 960. A longer read is refused with an end code.
unsigned McMaxBatchReadWords(McFrameKind kind, bool bitDevice);

// Batch read in word units (1E subheader 0x01; command 0x0401 subcommand 0x0000).
// 1E reads 1..256 words, 3E/4E 1..65535.
bool McBuildBatchRead(McBuffer& out, const McTarget& target, WORD deviceCode, DWORD head,
                      unsigned points);

// Random write of one point: a bit (bit devices only, 1E subheader 0x04; command
// 0x1402 subcommand 0x0001), a word (1E 0x05; 0x1402/0x0000) or a double word
// (3E/4E only; 0x1402/0x0000).
bool McBuildRandomWriteBit(McBuffer& out, const McTarget& target, WORD deviceCode,
                           DWORD number, bool on);
bool McBuildRandomWriteWord(McBuffer& out, const McTarget& target, WORD deviceCode,
                            DWORD number, WORD value);
bool McBuildRandomWriteDword(McBuffer& out, const McTarget& target, WORD deviceCode,
                             DWORD number, DWORD value);

// Batch write in word units (1E 0x03; 0x1401/0x0000) and in bit units, one byte per
// point, 0 off and anything else on (1E 0x02; 0x1401/0x0001, bit devices only).
bool McBuildBatchWriteWords(McBuffer& out, const McTarget& target, WORD deviceCode,
                            DWORD head, std::span<const WORD> words);
bool McBuildBatchWriteBits(McBuffer& out, const McTarget& target, WORD deviceCode,
                           DWORD head, std::span<const BYTE> bits);

// Write of one point of a data type: BOOL as a bit, I2/UI2 as a word, I4/UI4 as a
// double word and R4 as the double word of its IEEE bit pattern (`value` carries the
// integer or the bit pattern). Types the device or frame kind cannot take are refused.
bool McBuildPointWrite(McBuffer& out, const McTarget& target, int dataType, WORD deviceCode,
                       DWORD number, DWORD value);

// Write of a string of `stringSize` characters: the text is cut or padded with zero
// bytes to that size and sent as words, the first character in the low byte.
bool McBuildStringWrite(McBuffer& out, const McTarget& target, WORD deviceCode, DWORD head,
                        std::string_view text, int stringSize);

// Writes a 4E serial number into a built 4E request (binary bytes 2-3, ASCII
// characters 4-7). Frames too short to hold it are left alone.
void McStampSerial(std::span<BYTE> frame, bool ascii, WORD serial);

// True when a built request is complete: non-empty, and for 3E/4E with a request
// subheader and at least as long as its header and length field declare.
bool McIsValidQuery(McFrameKind kind, bool ascii, std::span<const BYTE> frame);
