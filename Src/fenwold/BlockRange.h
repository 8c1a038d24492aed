#pragma once
// Whether a block's address and item count name elements a PLC has: shared by
// the CSV import, the block dialog and the station that makes blocks.
#include <string>

#include "fenwold/McFrame.h"

// Why the text is no address of an element (a device name and its element
// number in the device's base); empty when it is one.
std::string MelsecAddressProblem(const std::string& strAddr);

// Why a block of nLength items of type nType from strAddr cannot be read (no
// address, more than one read request of the device's frame kind carries, past
// the device's last element); empty when it can. Types without an element
// layout only need the address.
std::string MelsecBlockProblem(const std::string& strAddr, int nType, int nLength,
                               McFrameKind kind = McFrameKind::E3);
