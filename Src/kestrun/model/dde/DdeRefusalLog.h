#pragma once
// The log lines of what DDE clients are refused, kept from flooding the log: a
// refusal is logged as it comes, the same refusal again within the minute after
// is only counted, and the count is logged once that minute is over (or when
// the refusal makes room for others, or at the end), as the refusal's line with
// "... N more like this in the last minute". The clients still get every refusal;
// only the log is spared.
//
// Threads: the application thread only, like the bridge it serves.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kestrun/model/Hint.h"

namespace win {
class Clock;
}

namespace kestrun {

class DdeRefusalLog {
public:
    // Where the lines go: a view hint code (400-499) and its record.
    using Sink = std::function<void(int nCode, const CdsHint& hint)>;

    // The clock outlives the log.
    DdeRefusalLog(const win::Clock& clock, Sink sink);

    // Logs the refusal, or counts it when the same was logged less than a minute ago.
    void Log(int nCode, const CdsHint& hint);
    // Logs the counts whose minute is over; with bAll every count. Either way the
    // refusals done with are forgotten.
    void Flush(bool bAll);

    // Refusals told apart at once; one more makes the oldest give up its place.
    static constexpr std::size_t kMaxKept = 16;
    static constexpr std::uint64_t kMinuteMs = 60000;

private:
    struct Kept {
        int nCode;
        CdsHint hint;              // an owned copy of the first one
        DWORD dwEpoch;             // the model's, when it was logged
        std::uint64_t firstMs;
        int nMore;                 // alike since
        std::string strDevice;     // a point's names, for when the point may be gone
        std::string strPoint;
    };
    bool Same(const Kept& kept, int nCode, const CdsHint& hint) const;
    void Summarize(Kept& kept);

    const win::Clock& m_clock;
    Sink m_sink;
    std::vector<Kept> m_kept;   // oldest first
};

} // namespace kestrun
