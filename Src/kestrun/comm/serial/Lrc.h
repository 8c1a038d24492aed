#pragma once
// Longitudinal redundancy checks: the two's complement of the byte sum, modulo 256.
#include "platform/win/WinTypes.h"

// Over a Modbus ASCII body: the text is read as pairs of hexadecimal digits.
class CAsciiLrc {
public:
    // Only whole pairs count: a lone last digit is ignored. A character that is not
    // a hexadecimal digit counts as 0.
    static BYTE CalcLrc(const char* text, DWORD length);
    // The last two characters, read as a hexadecimal number, equal the LRC of the
    // text before them. False for fewer than two characters or non-hex digits.
    static bool IsValidLrc(const char* text, DWORD length);
    static void AddLrc(char* text, DWORD position);
};

// Over raw bytes.
class CRtuLrc {
public:
    static BYTE CalcLrc(const BYTE* data, DWORD length);
    // The last two bytes, read as hexadecimal digit characters, equal the LRC of
    // the bytes before them. False for fewer than two bytes or non-hex digits.
    static bool IsValidLrc(const BYTE* data, DWORD length);
    static void AddLrc(BYTE* data, DWORD position);
};
