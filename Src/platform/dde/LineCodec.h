#pragma once
// The text lines of the DDE transport: UTF-8 fields separated by tabs, one line
// per message, ended by a line feed. Inside a field a backslash escapes itself,
// a tab ("\t"), a line feed ("\n"), a carriage return ("\r") and any byte that
// is not part of well-formed UTF-8 ("\xHH"). Pure functions: no I/O.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dde {

// Longest line either side accepts, without its line feed.
inline constexpr std::size_t kMaxLineBytes = 8192;

void AppendEscaped(std::string& out, std::string_view field);
// The field with its escapes undone; none for an unknown or cut escape.
std::optional<std::string> Unescape(std::string_view field);

// The fields escaped, joined by tabs and ended by a line feed.
std::string FormatLine(std::initializer_list<std::string_view> fields);
// A line (without its line feed) split at its tabs, each field unescaped; none
// when the line is not well-formed UTF-8 or an escape is bad.
std::optional<std::vector<std::string>> ParseLine(std::string_view line);

// Collects received bytes and hands out whole lines. A carriage return before
// the line feed is dropped.
class LineReader {
public:
    enum class Verdict { Line, NeedMore, TooLong };

    void Append(const char* data, std::size_t size) { m_buffer.append(data, size); }
    // The next whole line into line; TooLong once more than kMaxLineBytes wait
    // without a line feed (the reader is of no use after that).
    Verdict Next(std::string& line);
    std::size_t Buffered() const { return m_buffer.size() - m_start; }

private:
    std::string m_buffer;
    std::size_t m_start = 0;   // first byte not handed out yet
};

} // namespace dde
