#pragma once
// Check values appended to fieldbus frames. Positions and lengths are 16-bit:
// the upper half of the argument is ignored.
#include "platform/win/WinTypes.h"

#include <vector>

// CRC-16/MODBUS, returned with its two bytes swapped, so that storing the returned
// value high byte first puts the CRC on the line low byte first.
class CFastCrc16 {
public:
    static WORD CalcCrc(const BYTE* data, DWORD length);
    // Over the whole array; 0 for an empty array.
    static WORD CalcCrc(const std::vector<BYTE>& data);
    // Over the first length bytes; 0 unless 0 < length <= size.
    static WORD CalcCrc(const std::vector<BYTE>& data, int length);
    // Computes over data[0, position) and stores the value at position, position + 1;
    // the buffer must hold position + 2 bytes.
    static void AddCrc(BYTE* data, DWORD position);
    // False for fewer than two bytes.
    static bool IsValidCrc(const BYTE* data, DWORD length);
};

// CRC-16/DNP (reflected polynomial 0xA6BC, initial 0, final XOR 0xFFFF), stored low
// byte first.
class CFastCrc32 {
public:
    static WORD CalcCrc(const BYTE* data, DWORD length);
    // Computes over data[0, position) and stores the value at position, position + 1;
    // the buffer must hold position + 2 bytes.
    static void AddCrc(BYTE* data, DWORD position);
    // False for fewer than two bytes.
    static bool IsValidCrc(const BYTE* data, DWORD length);
};
