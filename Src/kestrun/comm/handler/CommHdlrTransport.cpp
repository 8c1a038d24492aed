// Byte transport of the lines: reads with the framing callback and the
// time-out rule, writes, byte traces and unsolicited input.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "kestrun/comm/config/ReturnError.h"
#include "kestrun/comm/handler/CommHdlr.h"
#include "kestrun/model/DeviceObject.h"

namespace {

constexpr BYTE kAck = 0x06;
constexpr BYTE kNak = 0x15;

// Index of the first byte with bit 7 set, n when none; eight bytes at a time.
int FirstHighByte(const BYTE* p, int n)
{
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, p + i, sizeof eight);
        if (eight & 0x8080808080808080ull)
            break;
    }
    while (i < n && !(p[i] & 0x80))
        ++i;
    return i;
}

} // namespace

void CdsCommHdlr::AppendTraceByte(std::string& strTrace, BYTE by, BOOL bAscii) const
{
    char text[8];
    if (!bAscii)
        std::snprintf(text, sizeof text, "[%02X]", by);
    else if (by >= 0x20 && by < 0x7F)
        std::snprintf(text, sizeof text, "%c", by);
    else
        std::snprintf(text, sizeof text, "[%X]", by);
    strTrace += text;
}

int CdsCommHdlr::GetNoOfBytesToRead(tagTHREADINFO* pLine)
{
    auto pFile = GetCommFile(pLine);
    return pFile ? pFile->BytesWaiting() : CommErrorResult(RE_BYTES_TO_READ);
}

int CdsCommHdlr::CommRead(CdsDeviceObject*, BYTE* pBuffer, int nLength, tagTHREADINFO* pLine)
{
    auto& carry = m_carry[static_cast<std::size_t>(pLine ? pLine->LineIndex() : 0)];
    if (!carry.empty() && nLength > 0) {
        const int n = std::min(nLength, static_cast<int>(carry.size()));
        std::copy_n(carry.begin(), n, pBuffer);
        carry.erase(carry.begin(), carry.begin() + n);
        return n;
    }
    auto pFile = GetCommFile(pLine);
    if (!pFile)
        return CommErrorResult(RE_COMMFILE_UNINITIALIZED);
    const int waiting = GetNoOfBytesToRead(pLine);
    if (waiting <= 0)
        return waiting;
    return pFile->Read(pBuffer, std::min(nLength, waiting));
}

void CdsCommHdlr::HoldOver(const tagTHREADINFO* pLine, const BYTE* pData, int nLength)
{
    if (nLength <= 0)
        return;
    auto& carry = m_carry[static_cast<std::size_t>(pLine ? pLine->LineIndex() : 0)];
    carry.insert(carry.end(), pData, pData + nLength);
}

int CdsCommHdlr::GetHeldOverCount(const tagTHREADINFO* pLine) const
{
    return static_cast<int>(m_carry[static_cast<std::size_t>(pLine ? pLine->LineIndex() : 0)].size());
}

int CdsCommHdlr::ReadBytes(CdsDeviceObject* pDevice, BYTE* pBuffer, int nLength, BOOL bTrace, tagTHREADINFO* pLine)
{
    if (nLength < 1)
        return CommErrorResult(RE_INVALID_READ_SIZE);
    const LONG rxTimeout = GetRxTimeout(pDevice);
    const bool ascii = IsDeviceAscii(pDevice);
    const LONG ackDelay = pDevice ? pDevice->m_nAckDelay : m_nDefaultAckDelay;
    const LONG nakDelay = pDevice ? pDevice->m_nNakDelay : m_nDefaultNakDelay;
    const int level = bTrace ? GetThreadTraceLevel(pLine) : TRACE_OFF;
    std::string trace;
    if (level == TRACE_BYTES)
        trace = GetTraceLinePrefix(TRUE, pLine);

    // Without a framing callback, tracing or pauses there is nothing to do per byte:
    // the bytes stay where the port put them.
    const bool bulk = !UsesFramingCallback() && level != TRACE_BYTES && !(ascii && (ackDelay > 0 || nakDelay > 0));
    // The clock is read once per receive step, not per byte: a time-out is measured
    // from the last step that brought bytes, which a frame's bytes arrive in.
    std::uint64_t start = NowMs();
    int due = nLength;
    int count = 0;
    int result = 0;
    for (;;) {
        // Only what is still due, straight into the caller's buffer: a frame's
        // tail never lands past the caller's count and nothing is allocated.
        BYTE* chunk = pBuffer + count;
        const int n = CommRead(pDevice, chunk, due - count, pLine);
        if (n < 0)
            return n;
        bool complete = false;
        bool restart = false;
        int i = 0;
        if (bulk) {
            int kept = n;
            if (ascii) {
                // Bytes with bit 7 set are rare: the bytes before the first one stay.
                kept = FirstHighByte(chunk, n);
                for (int j = kept; j < n; ++j) {
                    if (!(chunk[j] & 0x80))
                        chunk[kept++] = chunk[j];
                }
            }
            count += kept;
            restart = kept > 0;
            i = n;
        }
        for (; i < n && !complete; ++i) {
            const BYTE by = chunk[i];
            if (ascii && (by & 0x80))
                continue;
            pBuffer[count++] = by; // never ahead of chunk[i]: filtering only moves bytes back
            if (level == TRACE_BYTES)
                AppendTraceByte(trace, by, ascii);
            if (count >= due)
                break;
            const int r = GetCharsToRead(pDevice, pBuffer, count, by, n);
            if (r >= 0)
                due = r >= nLength - count ? nLength : count + r; // the peer's count never runs past the buffer
            if (r == 0) {
                if (level == TRACE_BYTES && i + 1 < n)
                    trace += "///";
                for (int j = i + 1; j < n && count < nLength; ++j) {
                    const BYTE rest = chunk[j];
                    if (ascii && (rest & 0x80))
                        continue;
                    pBuffer[count++] = rest;
                    if (level == TRACE_BYTES)
                        AppendTraceByte(trace, rest, ascii);
                }
                complete = true;
                break;
            }
            if (ascii) {
                if (by == kAck && ackDelay > 0)
                    Sleep(static_cast<DWORD>(ackDelay));
                else if (by == kNak && nakDelay > 0)
                    Sleep(static_cast<DWORD>(nakDelay));
            }
            restart = true;
        }
        if (!complete && count >= due && i + 1 < n) {
            // The frame ended early in this chunk: the next frame's first bytes
            // wait for the next read.
            auto& carry = m_carry[static_cast<std::size_t>(pLine ? pLine->LineIndex() : 0)];
            carry.insert(carry.begin(), chunk + i + 1, chunk + n);
        }
        if (complete || count >= due) {
            result = count;
            break;
        }
        // The clock is read again only when the read goes on.
        if (restart)
            start = NowMs();
        if (n == 0) {
            if (GetClock().isTimeOver(start, static_cast<std::uint64_t>(rxTimeout)) || !IsPortOpen(pLine)) {
                result = count;
                break;
            }
            Sleep(1);
        }
    }
    if (level == TRACE_BYTES && result > 0) {
        trace += "\r\n";
        ShowLogMessageFromThread(LOG_TRACE, trace.c_str());
    }
    if (ascii && result > 0 && result < nLength)
        pBuffer[result] = 0;
    return result;
}

int CdsCommHdlr::ReadByte(CdsDeviceObject* pDevice, BYTE& byData, BOOL bTrace, tagTHREADINFO* pLine)
{
    return ReadBytes(pDevice, &byData, 1, bTrace, pLine) == 1 ? 1 : 0;
}

int CdsCommHdlr::WriteBytes(CdsDeviceObject* pDevice, const BYTE* pData, int nLength, BOOL bTrace,
                            tagTHREADINFO* pLine)
{
    std::string& failure = m_writeFailures[static_cast<std::size_t>(pLine ? pLine->LineIndex() : 0)];
    failure.clear();
    auto pFile = GetCommFile(pLine);
    if (!pFile)
        return CommErrorResult(RE_COMMFILE_UNINITIALIZED);
    const int written = pFile->Write(pData, nLength);
    if (written < 0) {
        // Only the port knows what the socket or device said; kept for the log line.
        failure = pFile->DescribeFailure(written);
        if (failure.empty()) {
            const char* text = GetCommErrorText(static_cast<DWORD>(written));
            failure = text ? text : "";
        }
        return written;
    }
    pFile->Flush(); // a failed flush shows up at the next read
    if (bTrace && GetThreadTraceLevel(pLine) == TRACE_BYTES) {
        const bool ascii = IsDeviceAscii(pDevice);
        std::string trace = GetTraceLinePrefix(FALSE, pLine);
        for (int i = 0; i < nLength; ++i)
            AppendTraceByte(trace, pData[i], ascii);
        trace += "\r\n";
        ShowLogMessageFromThread(LOG_TRACE, trace.c_str());
    }
    return nLength;
}

const std::string& CdsCommHdlr::GetWriteFailure(const tagTHREADINFO* pLine) const
{
    return m_writeFailures[static_cast<std::size_t>(pLine ? pLine->LineIndex() : 0)];
}

int CdsCommHdlr::WriteByte(CdsDeviceObject* pDevice, BYTE byData, BOOL bTrace, tagTHREADINFO* pLine)
{
    return WriteBytes(pDevice, &byData, 1, bTrace, pLine) == 1 ? 1 : 0;
}

int CdsCommHdlr::ParseUnboundMessage(const BYTE* pData, int nLength, tagTHREADINFO* pLine)
{
    if (nLength <= 0 || !IsInService())
        return 0;
    const bool ascii = IsAsciiMode() != 0;
    const bool tracing = GetThreadTraceLevel(pLine) == TRACE_BYTES;
    std::string trace;
    if (tracing)
        trace = "<- ";
    std::vector<BYTE> frame;
    frame.reserve(static_cast<std::size_t>(nLength) + 1);
    int result = 0;
    for (int i = 0; i < nLength; ++i) {
        const BYTE by = pData[i];
        if (ascii && (by & 0x80))
            continue;
        frame.push_back(by);
        if (tracing)
            AppendTraceByte(trace, by, ascii);
        if (GetCharsToRead(nullptr, frame.data(), static_cast<int>(frame.size()), by, nLength) != 0)
            continue;
        result = UpdateUnboundMessage(frame.data(), static_cast<int>(frame.size()), pLine);
        frame.clear();
        if (tracing) {
            trace += "\r\n";
            ShowLogMessageFromThread(LOG_TRACE, trace.c_str());
            trace = "<- ";
        }
    }
    if (!frame.empty()) {
        result = UpdateUnboundMessage(frame.data(), static_cast<int>(frame.size()), pLine);
        if (tracing) {
            trace += "\r\n";
            ShowLogMessageFromThread(LOG_TRACE, trace.c_str());
        }
    }
    return result;
}

int CdsCommHdlr::UpdateUnboundMessage(const BYTE* pData, int nLength, tagTHREADINFO* pLine)
{
    for (CdsDeviceObject* pDevice : ActiveDevicesSnapshot()) {
        if (pDevice->UpdateUnboundMessage(pData, nLength, pLine)) {
            if (UpdateCommPortStatus(pDevice, TRUE, pLine))
                OnUpdateModeChange(pDevice, pLine, pDevice->GetUpdateMode(pLine));
            return 1;
        }
    }
    return 0;
}
