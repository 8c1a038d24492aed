#pragma once
// Log lines and what the log view keeps of them. Kinds are TypeMessage
// (kestrun/comm/handler/EngineMessages.h); the texts come with their own line ends.
#include <chrono>
#include <optional>
#include <string>

namespace kestrun {

// Which kinds the log view shows (1 shows).
struct LogFilters {
    bool events = true;
    bool actions = false;
    bool commands = true;
    bool errors = true;
    bool info = true;
    bool initValues = false;
    bool traceSimple = false;
    bool traceDetail = false;
    bool noTrace = true;
    bool logToFile = false;
    bool debug = false;   // only when debug output is asked for
};

// The line the view shows for a text of a kind at a local time: the time
// ("%X") and the kind's word before the text, the text alone for raw lines;
// nothing when the kind's filter hides it or the kind is unknown. Control
// characters inside the text are escaped.
std::optional<std::string> FormatLogLine(int nKind, const std::string& text, const std::string& time,
                                         const LogFilters& filters);

// The local time of a wall-clock time point by strftime's format.
std::string FormatLocalTime(std::chrono::system_clock::time_point when, const char* format);

// The text the log view holds: at 40 lines or more the first 10 go before the
// next text is added, and a text that would take it past 20480 characters
// pushes out the oldest lines first (the newest text is always kept whole). Lines are counted as a text control counts them: the text
// after the last line end is one more line.
class LogTextBuffer {
public:
    static constexpr int kLinesKept = 40;
    static constexpr int kLinesCut = 10;
    static constexpr std::size_t kTextLimit = 20480;

    // Adds the text; returns how many lines were cut from the front first.
    int Append(const std::string& text);
    const std::string& Text() const { return m_text; }
    int LineCount() const { return m_nLineBreaks + 1; }

private:
    void CutLines(int nLines);

    std::string m_text;
    int m_nLineBreaks = 0;
};

} // namespace kestrun
