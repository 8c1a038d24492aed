#pragma once
// The communication handler of the MELSEC server: the framework's TCP handler with
// the MC protocol's framing. Responses are read in two steps (fixed header, then the
// rest as the header says), 4E requests carry the line's serial number, and stray
// bytes around 1E and 3E exchanges are read away. The socket is asked for stray bytes
// only while a late answer can be on its way: after a failed exchange, up to the next
// clean one. Bytes that came in with a response are seen without asking.
#include <array>
#include <atomic>

#include "fenwold/McLink.h"
#include "kestrun/comm/handler/SocketHdlr.h"

class McStation;

class CCommHdlr : public CdsTcpipHdlr, public McLink {
public:
    CCommHdlr();
    ~CCommHdlr() override;

    // Lengths come from the frames, not from a byte count.
    int GetCharsToRead(CdsDeviceObject* pDevice, const BYTE* pData, int nCount, BYTE byLast, int nChunk) override;
    bool UsesFramingCallback() const override { return false; }
    // Header, then the rest. A short header or body, a header that cannot start a
    // response or a length the buffer cannot hold fail the receive. After a 1E or
    // 3E response, stray bytes are read away and the receive fails. A write
    // response to another request is no answer; one with an end code is, and the
    // point refuses it.
    int ReceiveResponseMessage(CdsMemoryArray* pArray, BYTE* pBuffer, int nLength, int& nReceived,
                               const char* pszQuery, BOOL bRead, tagTHREADINFO* pLine) override;
    // Stamps the 4E serial number of the line, reads away stray bytes before 1E
    // and 3E requests, then sends.
    int SendQueryMessage(CdsMemoryArray* pArray, const char* pszQuery, int nLength, BOOL bRead,
                         tagTHREADINFO* pLine) override;
    // Monitor queries of 4E stations carry the line's serial number too.
    int SendMonitorMessage(CdsDeviceObject* pDevice, const char* pszQuery, int nLength, tagTHREADINFO* pLine) override;
    // The monitor response is read in the same two steps.
    int ReceiveMonitorMessage(CdsDeviceObject* pDevice, BYTE* pBuffer, int nLength, int& nReceived,
                              const char* pszQuery, tagTHREADINFO* pLine) override;
    BOOL IsValidQueryMessage(CdsMemoryArray* pArray, const char* pszData, int nLength, BOOL bRead) override;
    BOOL IsValidResponseMessage(CdsMemoryArray* pArray, const BYTE* pData, int nLength, const char* pszQuery,
                                BOOL bRead) override;
    BOOL IsValidMonitorQuery(CdsDeviceObject* pDevice, const char* pszData, int nLength) override;
    BOOL IsValidMonitorResponse(CdsDeviceObject* pDevice, const BYTE* pData, int nLength,
                                const char* pszQuery) override;
    // The point builds its request for the value first; the framework's cycle
    // sends it and lets the point judge the answer.
    int DoDataWrite(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& value, tagTHREADINFO* pLine) override;

    // McLink
    void McLogError(const tagTHREADINFO* pLine, const char* pszText) override;
    bool McReceiveAgain(CdsMemoryArray* pArray, BYTE* pBuffer, int nCapacity, int nExpected, int& nReceived,
                        const char* pszQuery, const tagTHREADINFO* pLine) override;

    // The marker of a line's log lines.
    static char GetLogMarker(const tagTHREADINFO* pLine);

protected:
    // Reads away the stray bytes of the line (those held over from a receive, and
    // while a late answer can come those waiting on the socket); true when there were any.
    bool RemoveJunk(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, const char* pszWhen);
    // A failed exchange: until the next clean one, the socket is asked for stray bytes.
    void SuspectLateAnswer(const tagTHREADINFO* pLine);

private:
    static McStation* StationOf(CdsDeviceObject* pDevice);
    // Writes the line's next serial number into a 4E request; false for other kinds.
    static bool StampSerial(McStation& station, const char* pszQuery, int nLength, const tagTHREADINFO* pLine);
    int ReceiveFrame(McStation& station, CdsDeviceObject* pDevice, BYTE* pBuffer, int nCapacity, int nExpected,
                     int& nReceived, tagTHREADINFO* pLine, bool bMonitor, CdsMemoryArray* pArray,
                     const char* pszQuery, BOOL bRead);
    std::atomic<bool>& LateAnswerSuspected(const tagTHREADINFO* pLine);

    // Per line: an exchange failed and no clean one followed yet. Set at first, as
    // nothing is known of a new handler's lines.
    std::array<std::atomic<bool>, LINE_COUNT> m_lateAnswer{true, true, true, true};
};
