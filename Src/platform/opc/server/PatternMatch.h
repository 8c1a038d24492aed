#pragma once
// The OPC browse filter: '*' any run, '?' any one character, '#' one digit, "[abc]",
// "[a-z]" and "[!abc]" one character of (or not of) a set. Without case sensitivity
// ASCII letters compare ignoring case. An empty pattern matches everything.
#include "platform/win/WinTypes.h"

#include <string_view>

namespace opc {
bool matchPattern(std::string_view text, std::string_view pattern, bool caseSensitive);
}
