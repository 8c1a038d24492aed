#include "platform/opc/server/PatternMatch.h"

#include <cctype>
#include <vector>

namespace opc {
namespace {

char fold(char c, bool caseSensitive)
{
    return caseSensitive ? c : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// Matches one character against the set at pattern[pos] ('[' already seen at pos - 1).
// Returns the position after ']' or npos for a set without its closing bracket.
std::size_t matchSet(std::string_view pattern, std::size_t pos, char c, bool caseSensitive, bool& matched)
{
    bool negate = pos < pattern.size() && pattern[pos] == '!';
    if (negate) ++pos;
    bool found = false;
    bool first = true;
    while (pos < pattern.size() && (pattern[pos] != ']' || first)) {
        first = false;
        char lo = fold(pattern[pos], caseSensitive);
        char hi = lo;
        if (pos + 2 < pattern.size() && pattern[pos + 1] == '-' && pattern[pos + 2] != ']') {
            hi = fold(pattern[pos + 2], caseSensitive);
            pos += 2;
        }
        if (lo <= c && c <= hi) found = true;
        ++pos;
    }
    if (pos >= pattern.size()) return std::string_view::npos;
    matched = found != negate;
    return pos + 1;
}

} // namespace

bool matchPattern(std::string_view text, std::string_view pattern, bool caseSensitive)
{
    if (pattern.empty()) return true;
    // Iterative match with one backtrack point per '*', linear in practice.
    std::size_t t = 0, p = 0;
    std::size_t starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        bool advanced = false;
        if (p < pattern.size()) {
            char pc = pattern[p];
            char tc = fold(text[t], caseSensitive);
            if (pc == '*') {
                starP = ++p;
                starT = t;
                continue;
            }
            if (pc == '?') {
                ++p, ++t;
                advanced = true;
            } else if (pc == '#') {
                if (std::isdigit(static_cast<unsigned char>(text[t]))) {
                    ++p, ++t;
                    advanced = true;
                }
            } else if (pc == '[') {
                bool matched = false;
                std::size_t next = matchSet(pattern, p + 1, tc, caseSensitive, matched);
                if (next == std::string_view::npos) {
                    // An unclosed '[' stands for itself.
                    if (tc == '[') {
                        ++p, ++t;
                        advanced = true;
                    }
                } else if (matched) {
                    p = next, ++t;
                    advanced = true;
                }
            } else if (fold(pc, caseSensitive) == tc) {
                ++p, ++t;
                advanced = true;
            }
        }
        if (advanced) continue;
        if (starP == std::string_view::npos) return false;
        p = starP;
        t = ++starT;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

} // namespace opc
