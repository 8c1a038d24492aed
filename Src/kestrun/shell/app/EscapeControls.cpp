#include "kestrun/shell/app/EscapeControls.h"

#include <cstdio>

namespace kestrun {

std::string EscapeControls(const std::string& text)
{
    // The line end the text comes with stays; any other line feed or control
    // character inside it is written out, so no text (a file name, a client's
    // value) can start a forged line of its own.
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r'))
        --end;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < end; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if ((c < 0x20 && c != '\t') || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    out.append(text, end, std::string::npos);
    return out;
}

} // namespace kestrun
