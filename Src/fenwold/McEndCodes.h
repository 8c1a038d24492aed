#pragma once
// Texts of the end codes a PLC answers with: 1E abnormal codes 0x5B00..0x5B21 and the
// Ethernet module's error codes 0xC000..0xC2FF.
#include <string>

#include "platform/win/WinTypes.h"

// Text of an end code; "" for a code of the tables that has no text; nullptr for a
// code outside the tables.
const char* GetEndCodeText(WORD code);

// The line a failed response is logged with: the table's text, or "End code 0x%04X"
// for a code outside the tables, so the operator still learns the number.
std::string McEndCodeLogText(WORD code);
