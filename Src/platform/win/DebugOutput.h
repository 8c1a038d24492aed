#pragma once
#include <string_view>

namespace win {
// Stand-in for the debugger output: one line to stderr.
void OutputDebugString(std::string_view text);
} // namespace win
