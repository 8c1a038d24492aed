#pragma once
// Values typed or generated as text: the number at the start of a text, and a text
// turned into a VARIANT of a requested type. The write dialog and the event triggers
// both write through TextToVariant.
#include "platform/com/Variant.h"

#include <string_view>

namespace quillet {

// The decimal integer at the start of the text, as atoi reads it (leading blanks, a
// sign, digits); 0 without digits. Values past 64 bits stop at its limits.
long long LeadingInteger(std::string_view text);
// The decimal real at the start of the text, as strtod reads it with a dot whatever
// the locale; 0 without one.
double LeadingReal(std::string_view text);

// VT_I2, VT_I1, VT_UI1, VT_UI2, VT_I4 and VT_UI4 keep the low bits of the integer;
// VT_I8 takes it whole; VT_R4 and VT_R8 the real; VT_BSTR the text; VT_BOOL is true
// only for "True", "TRUE", "1", "T", "on", "On" and "ON". Any other type: VT_EMPTY.
VARIANT TextToVariant(std::string_view text, VARTYPE vt);

} // namespace quillet
