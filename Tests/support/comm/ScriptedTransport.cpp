#include "support/comm/ScriptedTransport.h"

#include <algorithm>

#include "kestrun/comm/config/ReturnError.h"

namespace kestrun::test {

ScriptedPort& ScriptedPort::Chunk(std::vector<BYTE> bytes)
{
    std::lock_guard lock(m_mutex);
    m_steps.push_back({Step::Chunk, std::move(bytes), 0});
    return *this;
}

ScriptedPort& ScriptedPort::Text(const std::string& text) { return Chunk(std::vector<BYTE>(text.begin(), text.end())); }

ScriptedPort& ScriptedPort::Fail(int status)
{
    std::lock_guard lock(m_mutex);
    m_steps.push_back({Step::Fail, {}, status});
    return *this;
}

ScriptedPort& ScriptedPort::CloseHere()
{
    std::lock_guard lock(m_mutex);
    m_steps.push_back({Step::Close, {}, 0});
    return *this;
}

void ScriptedPort::FailWrites(int n, int status)
{
    std::lock_guard lock(m_mutex);
    m_failWrites = n;
    m_writeStatus = status;
}

int ScriptedPort::BytesWaiting()
{
    std::lock_guard lock(m_mutex);
    if (!m_open)
        return 0;
    while (!m_steps.empty()) {
        Step& step = m_steps.front();
        if (step.kind == Step::Chunk) {
            if (!step.bytes.empty())
                return static_cast<int>(step.bytes.size());
            m_steps.pop_front();
            continue;
        }
        const Step taken = step;
        m_steps.pop_front();
        if (taken.kind == Step::Fail)
            return taken.status;
        m_open = false;
        return 0;
    }
    return 0;
}

int ScriptedPort::Read(BYTE* pBuffer, int nLength)
{
    std::lock_guard lock(m_mutex);
    m_readRequests.push_back(nLength);
    if (m_steps.empty() || m_steps.front().kind != Step::Chunk)
        return 0;
    auto& bytes = m_steps.front().bytes;
    const int n = std::min<int>(nLength, static_cast<int>(bytes.size()));
    std::copy_n(bytes.begin(), n, pBuffer);
    bytes.erase(bytes.begin(), bytes.begin() + n);
    if (bytes.empty())
        m_steps.pop_front();
    return n;
}

int ScriptedPort::Write(const BYTE* pData, int nLength)
{
    std::lock_guard lock(m_mutex);
    if (m_failWrites > 0) {
        --m_failWrites;
        return m_writeStatus;
    }
    m_written.emplace_back(pData, pData + nLength);
    return nLength;
}

bool ScriptedPort::IsOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_open;
}

void ScriptedPort::Close()
{
    std::lock_guard lock(m_mutex);
    m_open = false;
}

std::vector<std::vector<BYTE>> ScriptedPort::Written() const
{
    std::lock_guard lock(m_mutex);
    return m_written;
}

std::vector<int> ScriptedPort::ReadRequests() const
{
    std::lock_guard lock(m_mutex);
    return m_readRequests;
}

std::size_t ScriptedPort::StepsLeft() const
{
    std::lock_guard lock(m_mutex);
    return m_steps.size();
}

// --- log ---

RecordingLog::RecordingLog(win::Dispatcher& dispatcher) : m_dispatcher(dispatcher)
{
    m_key = dispatcher.registerWindow([this](win::Message& msg) -> LRESULT {
        std::lock_guard lock(m_mutex);
        if (msg.id == WM_SHOWLOGMESSAGE)
            m_lines.emplace_back(static_cast<int>(msg.wParam), msg.text());
        else if (msg.id == WM_UPDATEHINT)
            m_hints.push_back(static_cast<int>(msg.wParam));
        return 0;
    });
}

RecordingLog::~RecordingLog() { m_dispatcher.unregisterWindow(m_key); }

std::vector<std::string> RecordingLog::Lines(int nKind) const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& [kind, text] : m_lines) {
        if (kind == nKind)
            out.push_back(text);
    }
    return out;
}

std::vector<std::string> RecordingLog::AllLines() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& line : m_lines)
        out.push_back(line.second);
    return out;
}

std::vector<int> RecordingLog::Hints() const
{
    std::lock_guard lock(m_mutex);
    return m_hints;
}

int RecordingLog::Count(int nKind, const std::string& text) const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count(m_lines.begin(), m_lines.end(), std::make_pair(nKind, text)));
}

void RecordingLog::Clear()
{
    std::lock_guard lock(m_mutex);
    m_lines.clear();
    m_hints.clear();
}

// --- handler ---

ScriptedHdlr::ScriptedHdlr(win::FakeClock& clock) : m_clock(clock)
{
    CommHost host;
    host.pClock = &clock;
    SetHost(host);
}

BOOL ScriptedHdlr::OpenCommPort(CdsDeviceObject*, tagTHREADINFO* pLine)
{
    ++m_opens;
    if (!m_nextPort)
        return FALSE;
    SetCommFile(pLine, m_nextPort);
    return TRUE;
}

BOOL ScriptedHdlr::IsPortOpen(tagTHREADINFO* pLine)
{
    auto pFile = GetCommFile(pLine);
    return pFile && pFile->IsOpen();
}

int ScriptedHdlr::GetCharsToRead(CdsDeviceObject*, const BYTE* pData, int nCount, BYTE byLast, int)
{
    return m_framing ? m_framing(pData, nCount, byLast) : -1;
}

int ScriptedHdlr::ReceiveResponseMessage(CdsMemoryArray* pArray, BYTE* pBuffer, int nLength, int& nReceived,
                                         const char* pszQuery, BOOL bRead, tagTHREADINFO* pLine)
{
    ++m_receives;
    return CdsCommHdlr::ReceiveResponseMessage(pArray, pBuffer, nLength, nReceived, pszQuery, bRead, pLine);
}

int ScriptedHdlr::SendQueryMessage(CdsMemoryArray* pArray, const char* pszQuery, int nLength, BOOL bRead,
                                   tagTHREADINFO* pLine)
{
    ++m_sends;
    return CdsCommHdlr::SendQueryMessage(pArray, pszQuery, nLength, bRead, pLine);
}

void ScriptedHdlr::Sleep(DWORD dwMs)
{
    m_slept += dwMs;
    m_clock.advance(dwMs);
}

} // namespace kestrun::test
