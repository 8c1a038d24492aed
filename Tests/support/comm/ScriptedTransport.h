#pragma once
// A port that replays a script (chunks, failures, a close, silence) and a
// handler that talks through it on a fake clock: every wait of the handler
// moves the clock instead of sleeping.
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kestrun/comm/handler/CommHdlr.h"
#include "platform/win/Clock.h"
#include "platform/win/ManualDispatcher.h"

namespace kestrun::test {

class ScriptedPort : public CommPort {
public:
    struct Step {
        enum Kind { Chunk, Fail, Close } kind = Chunk;
        std::vector<BYTE> bytes;
        int status = 0;
    };

    ScriptedPort& Chunk(std::vector<BYTE> bytes);
    ScriptedPort& Text(const std::string& text);
    // BytesWaiting answers the status once.
    ScriptedPort& Fail(int status);
    // The port closes once the steps before it are read.
    ScriptedPort& CloseHere();
    // The next n writes fail with the status.
    void FailWrites(int n, int status);

    int BytesWaiting() override;
    int Read(BYTE* pBuffer, int nLength) override;
    int Write(const BYTE* pData, int nLength) override;
    bool IsOpen() const override;
    void Close() override;

    std::vector<std::vector<BYTE>> Written() const;
    // Sizes asked for by each Read.
    std::vector<int> ReadRequests() const;
    std::size_t StepsLeft() const;

private:
    mutable std::mutex m_mutex;
    std::deque<Step> m_steps;
    std::vector<std::vector<BYTE>> m_written;
    std::vector<int> m_readRequests;
    int m_failWrites = 0;
    int m_writeStatus = 0;
    bool m_open = true;
};

// Records what a handler reports: log lines by kind, and hint codes.
class RecordingLog {
public:
    RecordingLog(win::Dispatcher& dispatcher);
    ~RecordingLog();
    RecordingLog(const RecordingLog&) = delete;
    RecordingLog& operator=(const RecordingLog&) = delete;

    win::WindowKey Key() const { return m_key; }
    std::vector<std::string> Lines(int nKind) const;
    std::vector<std::string> AllLines() const;
    std::vector<int> Hints() const;
    int Count(int nKind, const std::string& text) const;
    void Clear();

private:
    win::Dispatcher& m_dispatcher;
    win::WindowKey m_key = win::kNoWindow;
    mutable std::mutex m_mutex;
    std::vector<std::pair<int, std::string>> m_lines;
    std::vector<int> m_hints;
};

class ScriptedHdlr : public CdsCommHdlr {
public:
    explicit ScriptedHdlr(win::FakeClock& clock);

    // The port each line gets when it opens; null refuses the open.
    std::shared_ptr<ScriptedPort> m_nextPort = std::make_shared<ScriptedPort>();
    std::function<int(const BYTE* pData, int nCount, BYTE byLast)> m_framing;
    BOOL m_validResponse = TRUE;
    BOOL m_validQuery = TRUE;
    // Counted from every line thread at once.
    std::atomic<int> m_opens{0};
    std::atomic<int> m_receives{0};
    std::atomic<int> m_sends{0};
    std::atomic<std::uint64_t> m_slept{0};

    BOOL OpenCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine) override;
    BOOL IsPortOpen(tagTHREADINFO* pLine) override;
    int GetCharsToRead(CdsDeviceObject* pDevice, const BYTE* pData, int nCount, BYTE byLast, int nChunk) override;
    // Set: frames carry their lengths, and reads skip the per-byte framing call.
    bool m_framesCarryLengths = false;
    bool UsesFramingCallback() const override { return !m_framesCarryLengths; }
    BOOL IsValidQueryMessage(CdsMemoryArray*, const char*, int, BOOL) override { return m_validQuery; }
    BOOL IsValidResponseMessage(CdsMemoryArray*, const BYTE*, int, const char*, BOOL) override
    {
        return m_validResponse;
    }
    BOOL IsValidMonitorQuery(CdsDeviceObject*, const char*, int) override { return m_validQuery; }
    BOOL IsValidMonitorResponse(CdsDeviceObject*, const BYTE*, int, const char*) override { return m_validResponse; }
    int ReceiveResponseMessage(CdsMemoryArray* pArray, BYTE* pBuffer, int nLength, int& nReceived,
                               const char* pszQuery, BOOL bRead, tagTHREADINFO* pLine) override;
    int SendQueryMessage(CdsMemoryArray* pArray, const char* pszQuery, int nLength, BOOL bRead,
                         tagTHREADINFO* pLine) override;
    void Sleep(DWORD dwMs) override;
    // Runs the hook, then the engine's reset.
    void ResetCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine) override
    {
        if (m_onReset)
            m_onReset();
        CdsCommHdlr::ResetCommPort(pDevice, pLine);
    }
    std::function<void()> m_onReset;

    win::FakeClock& Clock() { return m_clock; }
    // The write queue a start would make.
    void InstallQueue() { SetEventQueue(CreateEventQueue()); }

private:
    win::FakeClock& m_clock;
};

} // namespace kestrun::test
