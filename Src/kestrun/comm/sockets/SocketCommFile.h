#pragma once
// A file over a socket: the handler reads and writes every port through a file,
// and these reads and writes carry the file's deadline. The file does not own
// its socket; closing the file closes the socket, destroying it does not.
#include <string>

#include "kestrun/comm/sockets/TimeoutSocket.h"
#include "platform/win/WinTypes.h"

class COXSocketCommFile {
public:
    COXSocketCommFile() = default;
    explicit COXSocketCommFile(CdsTimeoutSocket* pSocket, BOOL bArchiveCompatible = TRUE);
    virtual ~COXSocketCommFile() = default;
    COXSocketCommFile(const COXSocketCommFile&) = delete;
    COXSocketCommFile& operator=(const COXSocketCommFile&) = delete;

    // The first value is the deadline of reads and writes alike.
    BOOL SetDefaultTimeOut(UINT nReadMs, UINT nWriteMs);
    UINT GetDefaultTimeOut() const { return m_nDefaultTimeOut; }

    // The byte count, 0 when the peer closed (or no socket), -1 on a socket
    // error, or RE_SOCKET_TIMEOUT (as int) when the deadline passed.
    virtual int Read(void* pBuffer, UINT nCount);
    // Sends everything; throws CFileException (generic; OS error 0 for a socket
    // error, RE_SOCKET_TIMEOUT for a passed deadline).
    void Write(const void* pData, UINT nCount);
    // Sends everything without throwing: nCount, or the status of the failure
    // (a socket error code, RE_SOCKET_ERROR or RE_SOCKET_TIMEOUT, as int).
    virtual int Send(const void* pData, UINT nCount);
    // What made a Send fail, for the log: the socket's own words for its error,
    // "timed out" for a passed deadline; empty for a status it does not know.
    std::string DescribeFailure(int nStatus) const;
    virtual void Close();
    virtual BOOL IsOpen() const;

    int GetBytesToRead() const { return 0; }
    int GetBytesToWrite() const { return 0; }
    BOOL IsRxQueueEmpty() const { return FALSE; }
    BOOL IsTxQueueEmpty() const { return FALSE; }
    void PurgeRx() {}
    void PurgeTx() {}

    // Arm and disarm the socket around a datagram exchange, when the timer flag is set.
    void CreateTimer();
    void DestroyTimer();
    static int StartTimer(COXSocketCommFile* pFile, UINT nMs);
    static void StopTimer(COXSocketCommFile* pFile);

    BOOL GetTimerFlag() const { return m_bTimer; }
    void SetTimerFlag(BOOL bOn) { m_bTimer = bOn ? 1 : 0; }
    UINT GetTimerId() const { return m_nTimerId; }
    CdsTimeoutSocket* GetSocket() const { return m_pSocket; }
    BOOL IsArchiveCompatible() const { return m_bArchiveCompatible; }

protected:
    CdsTimeoutSocket* m_pSocket = nullptr;
    BOOL m_bArchiveCompatible = TRUE;
    BYTE m_bTimer = 0;
    UINT m_nDefaultTimeOut = 0;
    UINT m_nTimerId = 0;
};
