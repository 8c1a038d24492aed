#pragma once
// A blocking socket with a deadline. Blocking calls (connect, receive, send) wait
// in steps of the pump period; each step checks the armed deadline and, once it
// has passed, disarms and throws tagReturnError RE_SOCKET_TIMEOUT.
//
// The socket also reports what happens on it (data, accept, peer close) through
// the On... notifications. They are delivered only by DispatchNotifications, on
// the thread that owns the socket, so a notification never runs under a
// blocking call of another thread.
#include <atomic>
#include <memory>
#include <string>

#include "kestrun/comm/config/ReturnError.h"
#include "platform/win/Clock.h"
#include "platform/win/Event.h"
#include "platform/win/WinTypes.h"

class CdsTimeoutSocket {
public:
    using SOCKET = int;
    static constexpr SOCKET kInvalidSocket = -1;

    // Notification bits, as the Windows socket library numbers them.
    enum : long {
        FD_READ = 0x01,
        FD_WRITE = 0x02,
        FD_OOB = 0x04,
        FD_ACCEPT = 0x08,
        FD_CONNECT = 0x10,
        FD_CLOSE = 0x20,
        FD_ALL_EVENTS = 0x3F,
    };
    // Socket types of a port configuration.
    enum : int { TYPE_STREAM = 1, TYPE_DATAGRAM = 2 };

    // Wake-up period of a blocking call while no deadline is armed.
    static constexpr UINT kDefaultPumpPeriodMs = 2000;
    // Longest wait step of a blocking call on a socket that has a stop event.
    static constexpr UINT kStopCheckMs = 100;

    // Null clock: the process's monotonic clock.
    explicit CdsTimeoutSocket(const win::Clock* pClock = nullptr);
    virtual ~CdsTimeoutSocket();
    CdsTimeoutSocket(const CdsTimeoutSocket&) = delete;
    CdsTimeoutSocket& operator=(const CdsTimeoutSocket&) = delete;

    // --- socket calls; failures set GetLastError to a Windows socket number ---
    // Creates the socket (type 1 stream, 2 datagram) bound to nPort on pszAddress
    // (any address when null or empty); port 0 lets the system choose.
    BOOL Create(UINT nPort = 0, int nSocketType = TYPE_STREAM, long lEvent = FD_ALL_EVENTS,
                const char* pszAddress = nullptr);
    BOOL Listen(int nBacklog = 5);
    // Takes a waiting client into rConnected (which must have no handle); never blocks.
    BOOL Accept(CdsTimeoutSocket& rConnected);
    // Blocking connect to a dotted IPv4 address; a passed deadline throws.
    BOOL Connect(const char* pszAddress, UINT nPort);
    // Blocking: the byte count, 0 when the peer closed, -1 on error. A passed deadline throws.
    int Receive(void* pBuffer, int nLength);
    // Blocking until all is sent: the count or -1. Never raises SIGPIPE.
    int Send(const void* pData, int nLength);
    // One datagram; the sender's dotted address and port. Blocking like Receive.
    int ReceiveFrom(void* pBuffer, int nLength, std::string& strAddress, UINT& nPort);
    int SendTo(const void* pData, int nLength, const char* pszAddress, UINT nPort);
    // Bytes waiting to be read (FIONREAD). Empty datagrams at the head of a
    // datagram socket's queue are taken off and dropped on the way.
    virtual BOOL IOCtlBytesWaiting(DWORD& nBytes);
    BOOL GetPeerName(std::string& strAddress, UINT& nPort) const;
    BOOL GetSockName(std::string& strAddress, UINT& nPort) const;
    BOOL SetBroadcast(BOOL bOn);
    // Chooses the notifications the socket reports.
    BOOL AsyncSelect(long lEvent);
    long GetSelectedEvents() const { return m_lEvents; }
    void Close();
    // Takes a handle into this object on the calling thread; it then belongs to this thread.
    BOOL Attach(SOCKET hSocket, long lEvent = FD_ALL_EVENTS);
    // Gives the handle up (it stays open); the object is left without one.
    SOCKET Detach();
    SOCKET GetHandle() const { return m_hSocket; }
    int GetLastError() const { return m_nLastError; }
    // The errno behind the last error; 0 when it came from no system call.
    int GetLastErrno() const { return m_nLastErrno; }
    // The first IPv4 address of a host name (or a dotted address as it is), in dotted form.
    static bool ResolveIPv4(const char* pszHost, std::string& strDotted, int& nWsaError);
    static bool IsDottedIPv4(const char* pszAddress);
    // Whether the handle was created or attached on the calling thread.
    static bool IsHandleOfThisThread(SOCKET hSocket);
    // Whether the stream peer has closed its side (seen by a read or a hang-up).
    bool IsPeerClosed() const { return m_bPeerClosed; }
    // Looks, without reading or waiting, whether a stream peer has closed its side.
    bool CheckPeerClosed();

    // --- deadline ---
    void StartTimeOut(UINT nMs);
    void StopTimeOut();
    UINT GetArmedTimeOut() const { return m_nTimeOut; }
    bool IsTimeOutArmed() const { return m_nTimeOut != 0; }
    UINT GetPumpPeriod() const { return m_nPumpPeriod; }
    // Once the event is set, a blocking call ends within one wait step, as
    // cancelled (WSAEINTR), and no new one waits. Null: only the deadline ends it.
    void SetStopEvent(std::shared_ptr<const win::Event> pStop) { m_pStop = std::move(pStop); }
    bool IsStopRequested() const { return m_pStop && m_pStop->isSet(); }
    // Connects with a deadline; a passed deadline gives 0. Always disarms.
    BOOL ConnectWithTimeout(const char* pszAddress, UINT nPort, UINT nMs);
    // One wait step of a blocking call for the poll events given. Throws
    // RE_SOCKET_TIMEOUT when the armed deadline has passed (after disarming);
    // false (the call is cancelled) once the stop event is set.
    virtual BOOL PumpMessages(short nPollEvents);
    bool IsBlocking() const { return m_bBlocking; }
    void CancelBlockingCall() { m_bBlocking = false; }

    // --- notifications ---
    // Delivers what has happened on the socket since the last call, on the
    // calling thread; the number of notifications delivered.
    int DispatchNotifications();
    virtual void OnReceive(int nErrorCode);
    virtual void OnSend(int nErrorCode);
    virtual void OnOutOfBandData(int nErrorCode);
    virtual void OnAccept(int nErrorCode);
    virtual void OnConnect(int nErrorCode);
    virtual void OnClose(int nErrorCode);

    const win::Clock& GetClock() const;

protected:
    // Waits up to nMs for nPollEvents on the handle: the returned poll events,
    // 0 when the time ran out, -1 on failure. Tests replace it to move a fake clock.
    virtual int WaitForSocket(short nPollEvents, int nMs);
    // The first wait for the answer to a request, made by the receive itself: up to
    // nMs, then -1 with errno EAGAIN like a receive that found nothing. Tests
    // replace it together with WaitForSocket.
    virtual int ReceiveWaiting(void* pBuffer, int nLength, int nMs);
    void SetLastError(int nWsaError)
    {
        m_nLastError = nWsaError;
        m_nLastErrno = 0;
    }
    void SetLastErrorFromErrno(int nErrno);

private:
    int PollNow(short nPollEvents) const;
    // False, with WSAENOTSOCK set, when there is no handle.
    bool CheckHandle();
    // The end of a successful connect: sets the stream's options; TRUE.
    BOOL Connected();
    // Inside a blocking call: pumps until the handle may be ready; false (error set) when cancelled.
    bool WaitToRetry(short nPollEvents);
    // After a non-blocking call failed with nErrno: true to try again, false with the error set.
    bool RetryAfter(int nErrno, short nPollEvents);
    // Lets a plain receive on the handle wait up to nMs; false when the system refuses.
    bool PrepareReceiveWait(int nMs);
    void TakeHandle(SOCKET hSocket, int nType, long lEvent);
    // How long one wait step may last: the pump period, cut short while a stop
    // event has to be looked at.
    int WaitStepMs() const;
    void ReleaseHandle();

    // Read by other threads (is the port open?) while the owner uses the socket.
    std::atomic<SOCKET> m_hSocket{kInvalidSocket};
    int m_nType = 0; // SOCK_STREAM or SOCK_DGRAM while there is a handle
    long m_lEvents = 0;
    int m_nLastError = 0;
    int m_nLastErrno = 0;
    bool m_bListening = false;
    std::atomic<bool> m_bPeerClosed{false};
    bool m_bCloseNotified = false;
    bool m_bReadNotified = false;   // re-armed by the next receive
    bool m_bAcceptNotified = false; // re-armed by the next accept
    bool m_bBlocking = false;
    // A stream request went out and nothing was received since (the line's thread only).
    bool m_bReplyDue = false;
    // The handle blocks in a plain receive, up to m_nReceiveWaitMs (SO_RCVTIMEO); every
    // other call on it says MSG_DONTWAIT. Set once per handle and time-out, not per read.
    bool m_bReceiveBlocks = false;
    int m_nReceiveWaitMs = 0;
    const win::Clock* m_pClock;
    UINT m_nTimeOut = 0;
    std::uint64_t m_nStartTick;
    UINT m_nSavedPumpPeriod;
    UINT m_nPumpPeriod = kDefaultPumpPeriodMs;
    std::shared_ptr<const win::Event> m_pStop;
};
