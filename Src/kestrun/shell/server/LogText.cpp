#include "kestrun/shell/server/LogText.h"

#include <algorithm>
#include <ctime>

#include "kestrun/comm/handler/EngineMessages.h"
#include "kestrun/shell/app/EscapeControls.h"

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
