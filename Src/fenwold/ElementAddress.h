#pragma once
// Element addresses: a block address (D100, X1F0, SM400) plus an optional ":index"
// and "/bit" names one device element; reads of bit devices start on a word boundary.
#include <optional>
#include <string>
#include <string_view>

#include "platform/win/WinTypes.h"

// Element number of an address of the given device: the device's name is skipped and
// the rest read in the device's numbering (hexadecimal or decimal). Empty, malformed
// or out-of-range numbers give nothing.
std::optional<DWORD> ParseDeviceNumber(std::string_view address, WORD deviceCode);

// A device and element number found from the address alone (longest device name).
struct MelsecAddress {
    WORD deviceCode = 0;
    DWORD number = 0;
    int digits = 0;    // digits written after the name; the width kept when stepping
};
std::optional<MelsecAddress> ParseMelsecAddress(std::string_view address);

// Element number written as the device writes it: upper-case hexadecimal or decimal,
// zero-padded to at least `digits` characters.
std::string FormatDeviceNumber(WORD deviceCode, DWORD number, int digits);

struct ElementAddress {
    std::string text;  // "D103", "M21", "X20"
    DWORD number = 0;  // element number of the text
};

// Address of the element that a point's name names. The text is
// "address[:index][/bit]"; index -1 takes the index from the text (0 when absent).
// Points step by their size: on word devices 32-bit types take two words and R8
// four; on bit devices a 16-bit value takes 16 elements and a 32-bit value 32.
// A bit is added to the element number on bit devices; on word devices a single bit
// has no element of its own and the address is refused. BOOL points ignore a bit
// text. For a bit of a word point pass the point's own data type. Data types other
// than 0..8, 10 and 11 leave the address as it stands.
std::optional<ElementAddress> GetElementAddress(std::string_view text, int dataType,
                                                WORD deviceCode, int index = -1);

// Head of a read and how many elements it was lowered by. BOOL blocks of bit devices
// start on a multiple of 16, since words of a bit device are read from there. Where
// word units must start on a multiple of 16 (1E frames), every block of a bit device
// does, and reads one word more when it was lowered. Other blocks start where their
// address says, with offset 0.
struct MelsecReadPlan {
    DWORD head = 0;
    int bitOffset = 0;   // 0..15
    unsigned words = 0;  // words the batch read asks for
};

// Plan of the batch read of a block: `count` points of `dataType` from `head`.
// Nothing when the block asks for no words or more than a 16-bit count.
std::optional<MelsecReadPlan> MelsecPlanRead(int dataType, WORD deviceCode, DWORD head,
                                             unsigned count, bool alignWordUnits = false);
