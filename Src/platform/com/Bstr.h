#pragma once
// BSTR: an owned UTF-16 string, with exact conversion to and from UTF-8 (our narrow text).
#include "platform/win/WinTypes.h"

#include <string>
#include <string_view>

using BSTR = std::u16string;
using OLECHAR = char16_t;

namespace com {

// UTF-8 to UTF-16. Ill-formed input (stray continuation bytes, overlong forms, encoded
// surrogates, values above U+10FFFF, cut sequences) becomes U+FFFD per maximal bad
// subsequence, so no input is ever read past its end or dropped silently.
BSTR toBstr(std::string_view utf8);

// The same into an existing string, reusing its buffer (for values stored on every poll).
void assignBstr(BSTR& out, std::string_view utf8);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string fromBstr(std::u16string_view utf16);

// True when the text is well-formed UTF-8 / UTF-16.
bool isValidUtf8(std::string_view utf8) noexcept;
// Bytes of the well-formed UTF-8 sequence at pos; 0 when the bytes there are ill-formed
// (or pos is at the end).
std::size_t utf8SequenceLength(std::string_view utf8, std::size_t pos) noexcept;
bool isValidUtf16(std::u16string_view utf16) noexcept;

} // namespace com
