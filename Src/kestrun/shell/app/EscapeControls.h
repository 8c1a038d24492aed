#pragma once
// Texts from outside (a file name, a client's value) made safe for one line of
// a log or the debugger output.
#include <string>

namespace kestrun {

// The text with its own line end kept and every other control character (but
// tab) written out as \n, \r or \xNN.
std::string EscapeControls(const std::string& text);

} // namespace kestrun
