#pragma once
// The MELSEC devices the server knows: codes for every frame kind, how element
// numbers are written, and which data types each device can be read and written as.
//
// Data types are the framework's type numbers: 0 BOOL, 1 I1, 2 UI1, 3 I2, 4 UI2,
// 5 I4, 6 UI4, 7 R4, 8 R8, 10 string, 11 counted string.
#include <string_view>

#include "platform/win/WinTypes.h"

struct MelsecDevice {
    WORD code;           // QnA device code, the one byte of 3E/4E binary frames
    const char* name;    // "D", "SM", "ZR" ...; 3E/4E ASCII pads one letter with a space
    WORD code1E;         // 16-bit 1E device code ("D " = 0x4420); 0x2020 when the 1E has none
    bool hexNumbered;    // element numbers written in hexadecimal (X1F0) rather than decimal
    bool bitDevice;      // elements are single bits (M, X, B ...), not words (D, W ...)
    bool writable;       // points of this device may be written at all
    bool in1E;           // the device can be addressed in 1E frames
};

// Entry of a QnA device code; nullptr for a code outside the table.
const MelsecDevice* MelsecDeviceByCode(WORD code);

// The device whose name opens the address, longest name first (SD100 is SD, not S;
// ZR0 is ZR, DX10 is DX). Case-insensitive. nullptr when no name matches.
const MelsecDevice* MelsecFindDevice(std::string_view address);

// Name of a device code, false for a code outside the table.
bool MelsecDeviceName(WORD code, std::string_view& name);

// Batch-read command: 0x0401 for every known device, -1 otherwise.
int MelsecReadCommand(WORD code);

// Write command for a data type on a device: 0x1402 random write for types 0 and
// 3..7, 0x1401 batch write for type 10, -1 when the point cannot be written (other
// types, read-only devices, unknown codes, a single bit of a word device, a string
// on a bit device).
int MelsecWriteCommand(int dataType, WORD code);

// True when the data type is BOOL or the device is a bit device.
bool MelsecIsBitAccess(int dataType, WORD code);

// True for bit devices (M, X, Y, B, TS ...).
bool MelsecIsBitDevice(WORD code);

// Bytes of one value in a write frame: 1 for types 0 and 2, 2 for 3 and 4, 4 for
// 5..7, the string size for 10 and 11, 0 (not writable) for every other type.
int MelsecDataSize(int dataType, int stringSize);

// Characters of the device name at the head of an address: 1 or 2; 0 for an unknown code.
int MelsecPrefixLength(WORD code);

// 1E device code of a device, false when the device cannot be addressed in 1E frames.
bool Melsec1ECode(WORD code, WORD& code1E);

// Largest element number an address may carry: six digits in the device's numbering,
// so that every frame kind can carry it.
DWORD MelsecMaxDeviceNumber(WORD code);
