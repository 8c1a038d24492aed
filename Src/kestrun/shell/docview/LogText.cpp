#include "kestrun/shell/docview/LogText.h"

#include <cstdio>

#include <algorithm>
#include <ctime>

#include "kestrun/comm/handler/EngineMessages.h"

namespace kestrun {

namespace {

struct KindRow {
    const char* word;
    bool LogFilters::*filter; // null: always shown
};

// Indexed by kind; trace and raw lines have rules of their own.
constexpr KindRow kKinds[] = {
    {"Event", &LogFilters::events},     {"Action", &LogFilters::actions}, {"Command", &LogFilters::commands},
    {"Error", &LogFilters::errors},     {"Info", &LogFilters::info},      {"Trace", nullptr},
    {"DEBUG", &LogFilters::debug},                 {nullptr, nullptr},               {"InitValue", &LogFilters::initValues},
};

// Simple tracing drops short texts.
constexpr std::size_t kSimpleTraceMinLength = 11;

} // namespace

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

std::optional<std::string> FormatLogLine(int nKind, const std::string& text, const std::string& time,
                                         const LogFilters& filters)
{
    if (nKind < 0 || nKind >= static_cast<int>(std::size(kKinds)))
        return std::nullopt;
    if (nKind == LOG_RAW)
        return EscapeControls(text);
    const KindRow& row = kKinds[nKind];
    if (row.filter && !(filters.*row.filter))
        return std::nullopt;
    if (nKind == LOG_TRACE && (filters.noTrace || (filters.traceSimple && text.size() < kSimpleTraceMinLength)))
        return std::nullopt;
    return time + " " + row.word + " : " + EscapeControls(text);
}

std::string FormatLocalTime(std::chrono::system_clock::time_point when, const char* format)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    if (!localtime_r(&seconds, &local))
        return {};
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, format, &local);
    return std::string(text, length);
}

int LogTextBuffer::Append(const std::string& text)
{
    int cut = 0;
    if (LineCount() >= kLinesKept) {
        CutLines(kLinesCut);
        cut += kLinesCut;
    }
    // A text that would not fit pushes out the oldest lines instead of being lost.
    while (m_nLineBreaks > 0 && m_text.size() + text.size() > kTextLimit) {
        CutLines(1);
        ++cut;
    }
    m_text += text;
    m_nLineBreaks += static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    return cut;
}

void LogTextBuffer::CutLines(int nLines)
{
    std::size_t pos = 0;
    int n = 0;
    while (n < nLines) {
        const std::size_t next = m_text.find('\n', pos);
        if (next == std::string::npos) {
            pos = m_text.size();
            break;
        }
        pos = next + 1;
        ++n;
    }
    m_text.erase(0, pos);
    m_nLineBreaks -= n;
}

} // namespace kestrun
