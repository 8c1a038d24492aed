#pragma once
// Texts of result codes: the program's own table of OPC DA codes first, the system's
// message table second. Callers never get a failure, at worst an empty text.
#include "platform/com/HResult.h"
#include "platform/win/WinTypes.h"

#include <string>

namespace quillet {

class StringTable;

// The program's own text for code; false (and an empty text) for codes it has none for.
bool GetErrorText(const StringTable& texts, HRESULT code, std::string& out);

// The program's own text, else the system's.
std::string ErrorText(const StringTable& texts, HRESULT code);

// printf's "%#8.8x": "0x80004005", and "00000000" for 0.
std::string HexCode(DWORD value);

} // namespace quillet
