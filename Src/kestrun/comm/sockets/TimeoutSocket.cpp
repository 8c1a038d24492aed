#include "kestrun/comm/sockets/TimeoutSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <set>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "kestrun/comm/sockets/SocketError.h"

namespace {

// Bounds the work one query does for a peer that floods empty datagrams.
constexpr int kMaxEmptyDatagramsDropped = 64;

// The handles created or attached on this thread, as the socket library's
// per-thread handle map keeps them.
std::set<int>& ThreadHandles()
{
    thread_local std::set<int> handles;
    return handles;
}

bool ToSockAddr(const char* pszAddress, UINT nPort, sockaddr_in& sa)
{
    sa = {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(nPort));
    if (pszAddress == nullptr || *pszAddress == '\0') {
        sa.sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    return inet_pton(AF_INET, pszAddress, &sa.sin_addr) == 1;
}

void FromSockAddr(const sockaddr_in& sa, std::string& strAddress, UINT& nPort)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
    strAddress = text;
    nPort = ntohs(sa.sin_port);
}

constexpr int kWsaEInval = 10022;
constexpr int kWsaENotSock = 10038;
constexpr int kWsaEIntr = 10004;

// Marks the socket as in a blocking call for as long as the call runs, however it ends.
class BlockingScope {
public:
    explicit BlockingScope(bool& bBlocking) : m_bBlocking(bBlocking) { m_bBlocking = true; }
    ~BlockingScope() { m_bBlocking = false; }
    BlockingScope(const BlockingScope&) = delete;
    BlockingScope& operator=(const BlockingScope&) = delete;

private:
    bool& m_bBlocking;
};

} // namespace

CdsTimeoutSocket::CdsTimeoutSocket(const win::Clock* pClock)
    : m_pClock(pClock), m_nStartTick(GetClock().monotonicMs()), m_nSavedPumpPeriod(kDefaultPumpPeriodMs)
{
}

CdsTimeoutSocket::~CdsTimeoutSocket() { Close(); }

const win::Clock& CdsTimeoutSocket::GetClock() const
{
    return m_pClock ? *m_pClock : win::SystemClock::instance();
}

void CdsTimeoutSocket::SetLastErrorFromErrno(int nErrno)
{
    m_nLastError = WsaErrorFromErrno(nErrno);
    m_nLastErrno = nErrno;
}

void CdsTimeoutSocket::TakeHandle(SOCKET hSocket, int nType, long lEvent)
{
    m_hSocket = hSocket;
    m_nType = nType;
    m_lEvents = lEvent;
    m_bListening = false;
    m_bPeerClosed = false;
    m_bCloseNotified = false;
    m_bReadNotified = false;
    m_bAcceptNotified = false;
    m_bReceiveBlocks = false;
    m_nReceiveWaitMs = 0;
    ThreadHandles().insert(hSocket);
}

void CdsTimeoutSocket::ReleaseHandle()
{
    ThreadHandles().erase(m_hSocket);
    m_hSocket = kInvalidSocket;
    m_nType = 0;
    m_bListening = false;
}

bool CdsTimeoutSocket::IsHandleOfThisThread(SOCKET hSocket)
{
    return hSocket != kInvalidSocket && ThreadHandles().count(hSocket) != 0;
}

BOOL CdsTimeoutSocket::Create(UINT nPort, int nSocketType, long lEvent, const char* pszAddress)
{
    if (m_hSocket != kInvalidSocket) {
        SetLastError(kWsaEInval);
        return FALSE;
    }
    int type;
    if (nSocketType == TYPE_STREAM)
        type = SOCK_STREAM;
    else if (nSocketType == TYPE_DATAGRAM)
        type = SOCK_DGRAM;
    else {
        SetLastError(10044); // WSAESOCKTNOSUPPORT
        return FALSE;
    }
    sockaddr_in sa;
    if (nPort > 0xFFFF || !ToSockAddr(pszAddress, nPort, sa)) {
        SetLastError(kWsaEInval);
        return FALSE;
    }
    const int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    if (type == SOCK_STREAM && nPort != 0) {
        // A listen port must be reusable at once after a reset; on this platform
        // the option never lets two sockets listen on one port.
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        SetLastErrorFromErrno(errno);
        ::close(fd);
        return FALSE;
    }
    TakeHandle(fd, type, lEvent);
    return TRUE;
}

BOOL CdsTimeoutSocket::Listen(int nBacklog)
{
    if (!CheckHandle())
        return FALSE;
    if (::listen(m_hSocket, nBacklog) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    m_bListening = true;
    return TRUE;
}

BOOL CdsTimeoutSocket::Accept(CdsTimeoutSocket& rConnected)
{
    m_bAcceptNotified = false;
    if (m_hSocket == kInvalidSocket || rConnected.m_hSocket != kInvalidSocket) {
        SetLastError(kWsaEInval);
        return FALSE;
    }
    const int fd = ::accept4(m_hSocket, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    rConnected.TakeHandle(fd, SOCK_STREAM, m_lEvents);
    return TRUE;
}

BOOL CdsTimeoutSocket::Connect(const char* pszAddress, UINT nPort)
{
    sockaddr_in sa;
    if (!CheckHandle())
        return FALSE;
    if (nPort == 0 || nPort > 0xFFFF || pszAddress == nullptr || !ToSockAddr(pszAddress, nPort, sa)) {
        SetLastError(10049); // WSAEADDRNOTAVAIL
        return FALSE;
    }
    if (::connect(m_hSocket, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0)
        return Connected();
    if (errno != EINPROGRESS && errno != EINTR) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    BlockingScope blocking{m_bBlocking};
    for (;;) {
        const int events = PollNow(POLLOUT);
        if (events < 0) {
            SetLastErrorFromErrno(errno);
            return FALSE;
        }
        if (events != 0) {
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                err = errno;
            if (err != 0) {
                SetLastErrorFromErrno(err);
                return FALSE;
            }
            return Connected();
        }
        if (!WaitToRetry(POLLOUT))
            return FALSE;
    }
}

BOOL CdsTimeoutSocket::Connected()
{
    // A request is one small segment that its answer waits for: it goes at once,
    // never held back for the acknowledgement of the one before.
    const int on = 1;
    if (m_nType == SOCK_STREAM)
        ::setsockopt(m_hSocket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return TRUE;
}

int CdsTimeoutSocket::Receive(void* pBuffer, int nLength)
{
    m_bReadNotified = false;
    if (!CheckHandle())
        return -1;
    if (nLength <= 0)
        return 0;
    BlockingScope blocking{m_bBlocking};
    // Right after a request the answer is not there yet: the receive itself waits
    // for it, one step of the pump period, rather than a poll and then a receive.
    bool bWait = m_bReplyDue;
    m_bReplyDue = false;
    for (;;) {
        const ssize_t n = bWait ? ReceiveWaiting(pBuffer, nLength, WaitStepMs())
                                : ::recv(m_hSocket, pBuffer, static_cast<size_t>(nLength), MSG_DONTWAIT);
        bWait = false;
        if (n > 0)
            return static_cast<int>(n);
        if (n == 0) {
            if (m_nType == SOCK_STREAM)
                m_bPeerClosed = true;
            return 0;
        }
        const int nErrno = errno;
        if (nErrno == ECONNRESET)
            m_bPeerClosed = true;
        if (!RetryAfter(nErrno, POLLIN))
            return -1;
    }
}

int CdsTimeoutSocket::Send(const void* pData, int nLength)
{
    if (!CheckHandle())
        return -1;
    BlockingScope blocking{m_bBlocking};
    const auto* p = static_cast<const char*>(pData);
    int nSent = 0;
    while (nSent < nLength) {
        const ssize_t n =
            ::send(m_hSocket, p + nSent, static_cast<size_t>(nLength - nSent), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) {
            nSent += static_cast<int>(n);
            continue;
        }
        const int nErrno = errno;
        if (nErrno == EPIPE || nErrno == ECONNRESET)
            m_bPeerClosed = true;
        if (!RetryAfter(nErrno, POLLOUT))
            return -1;
    }
    m_bReplyDue = m_nType == SOCK_STREAM && nSent > 0;
    return nSent;
}

int CdsTimeoutSocket::ReceiveFrom(void* pBuffer, int nLength, std::string& strAddress, UINT& nPort)
{
    m_bReadNotified = false;
    if (!CheckHandle())
        return -1;
    BlockingScope blocking{m_bBlocking};
    for (;;) {
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        const ssize_t n = ::recvfrom(m_hSocket, pBuffer, static_cast<size_t>(nLength > 0 ? nLength : 0),
                                     MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sa), &len);
        if (n >= 0) {
            FromSockAddr(sa, strAddress, nPort);
            return static_cast<int>(n);
        }
        if (!RetryAfter(errno, POLLIN))
            return -1;
    }
}

bool CdsTimeoutSocket::IsDottedIPv4(const char* pszAddress)
{
    in_addr a;
    return pszAddress != nullptr && inet_pton(AF_INET, pszAddress, &a) == 1;
}

bool CdsTimeoutSocket::ResolveIPv4(const char* pszHost, std::string& strDotted, int& nWsaError)
{
    nWsaError = 0;
    if (pszHost == nullptr || *pszHost == '\0') {
        nWsaError = 11001; // WSAHOST_NOT_FOUND
        return false;
    }
    if (IsDottedIPv4(pszHost)) {
        strDotted = pszHost;
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* pResult = nullptr;
    const int rc = ::getaddrinfo(pszHost, nullptr, &hints, &pResult);
    if (rc != 0 || pResult == nullptr) {
        nWsaError = rc != 0 ? WsaErrorFromGai(rc) : 11001;
        return false;
    }
    UINT nPort = 0;
    FromSockAddr(*reinterpret_cast<const sockaddr_in*>(pResult->ai_addr), strDotted, nPort);
    ::freeaddrinfo(pResult);
    return true;
}

int CdsTimeoutSocket::SendTo(const void* pData, int nLength, const char* pszAddress, UINT nPort)
{
    sockaddr_in sa;
    if (!CheckHandle())
        return -1;
    std::string strResolved;
    if (pszAddress != nullptr && !IsDottedIPv4(pszAddress)) {
        int nError = 0;
        if (!ResolveIPv4(pszAddress, strResolved, nError)) {
            SetLastError(nError);
            return -1;
        }
        pszAddress = strResolved.c_str();
    }
    if (nPort == 0 || nPort > 0xFFFF || pszAddress == nullptr || !ToSockAddr(pszAddress, nPort, sa)) {
        SetLastError(10049); // WSAEADDRNOTAVAIL
        return -1;
    }
    BlockingScope blocking{m_bBlocking};
    for (;;) {
        const ssize_t n = ::sendto(m_hSocket, pData, static_cast<size_t>(nLength > 0 ? nLength : 0),
                                   MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
        if (n >= 0)
            return static_cast<int>(n);
        if (!RetryAfter(errno, POLLOUT))
            return -1;
    }
}

BOOL CdsTimeoutSocket::IOCtlBytesWaiting(DWORD& nBytes)
{
    int n = 0;
    if (m_hSocket == kInvalidSocket || ::ioctl(m_hSocket, FIONREAD, &n) != 0) {
        SetLastErrorFromErrno(m_hSocket == kInvalidSocket ? EBADF : errno);
        return FALSE;
    }
    // An empty datagram at the head of the queue reads as nothing waiting and
    // would hold back every datagram behind it: it carries nothing, so it goes.
    for (int dropped = 0; n == 0 && m_nType == SOCK_DGRAM && dropped < kMaxEmptyDatagramsDropped; ++dropped) {
        char c;
        const ssize_t head = ::recv(m_hSocket, &c, 1, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
        if (head < 0)
            break; // nothing there, or an error the next read reports
        if (head > 0) {
            n = static_cast<int>(head);
            break;
        }
        ::recv(m_hSocket, &c, 1, MSG_DONTWAIT);
        if (::ioctl(m_hSocket, FIONREAD, &n) != 0) {
            SetLastErrorFromErrno(errno);
            return FALSE;
        }
    }
    nBytes = static_cast<DWORD>(n);
    return TRUE;
}

BOOL CdsTimeoutSocket::GetPeerName(std::string& strAddress, UINT& nPort) const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (m_hSocket == kInvalidSocket || ::getpeername(m_hSocket, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return FALSE;
    FromSockAddr(sa, strAddress, nPort);
    return TRUE;
}

BOOL CdsTimeoutSocket::GetSockName(std::string& strAddress, UINT& nPort) const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (m_hSocket == kInvalidSocket || ::getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return FALSE;
    FromSockAddr(sa, strAddress, nPort);
    return TRUE;
}

BOOL CdsTimeoutSocket::SetBroadcast(BOOL bOn)
{
    const int on = bOn ? 1 : 0;
    if (m_hSocket == kInvalidSocket || ::setsockopt(m_hSocket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        SetLastErrorFromErrno(m_hSocket == kInvalidSocket ? EBADF : errno);
        return FALSE;
    }
    return TRUE;
}

BOOL CdsTimeoutSocket::AsyncSelect(long lEvent)
{
    if (!CheckHandle())
        return FALSE;
    m_lEvents = lEvent;
    return TRUE;
}

void CdsTimeoutSocket::Close()
{
    if (m_hSocket == kInvalidSocket)
        return;
    const int fd = m_hSocket;
    ReleaseHandle();
    ::close(fd);
}

BOOL CdsTimeoutSocket::Attach(SOCKET hSocket, long lEvent)
{
    if (hSocket == kInvalidSocket || m_hSocket != kInvalidSocket)
        return FALSE;
    int type = 0;
    socklen_t len = sizeof type;
    if (::getsockopt(hSocket, SOL_SOCKET, SO_TYPE, &type, &len) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    const bool bPeerClosed = m_bPeerClosed;
    TakeHandle(hSocket, type, lEvent);
    m_bPeerClosed = bPeerClosed;
    int listening = 0;
    len = sizeof listening;
    if (::getsockopt(hSocket, SOL_SOCKET, SO_ACCEPTCONN, &listening, &len) == 0)
        m_bListening = listening != 0;
    return TRUE;
}

CdsTimeoutSocket::SOCKET CdsTimeoutSocket::Detach()
{
    const SOCKET h = m_hSocket;
    if (h != kInvalidSocket) {
        ThreadHandles().erase(h);
        m_hSocket = kInvalidSocket;
        m_nType = 0;
        m_bListening = false;
    }
    return h;
}

void CdsTimeoutSocket::StartTimeOut(UINT nMs)
{
    m_nTimeOut = nMs;
    m_nPumpPeriod = nMs != 0 ? nMs : m_nSavedPumpPeriod;
    m_nStartTick = GetClock().monotonicMs();
}

void CdsTimeoutSocket::StopTimeOut()
{
    m_nTimeOut = 0;
    m_nPumpPeriod = m_nSavedPumpPeriod;
}

BOOL CdsTimeoutSocket::ConnectWithTimeout(const char* pszAddress, UINT nPort, UINT nMs)
{
    StartTimeOut(nMs);
    struct Disarm {
        CdsTimeoutSocket& s;
        ~Disarm() { s.StopTimeOut(); }
    } disarm{*this};
    try {
        return Connect(pszAddress, nPort);
    } catch (tagReturnError) {
        SetLastError(10060); // WSAETIMEDOUT
        return FALSE;
    }
}

bool CdsTimeoutSocket::CheckHandle()
{
    if (m_hSocket != kInvalidSocket)
        return true;
    SetLastError(kWsaENotSock);
    return false;
}

bool CdsTimeoutSocket::WaitToRetry(short nPollEvents)
{
    if (!m_bBlocking || !PumpMessages(nPollEvents)) {
        SetLastError(kWsaEIntr);
        return false;
    }
    return true;
}

bool CdsTimeoutSocket::RetryAfter(int nErrno, short nPollEvents)
{
    if (nErrno == EINTR)
        return true;
    if (nErrno != EAGAIN && nErrno != EWOULDBLOCK) {
        SetLastErrorFromErrno(nErrno);
        return false;
    }
    return WaitToRetry(nPollEvents);
}

BOOL CdsTimeoutSocket::PumpMessages(short nPollEvents)
{
    if (m_nTimeOut != 0 && GetClock().isTimeOver(m_nStartTick, m_nTimeOut)) {
        StopTimeOut();
        CancelBlockingCall();
        throw RE_SOCKET_TIMEOUT;
    }
    if (IsStopRequested()) {
        CancelBlockingCall();
        return FALSE;
    }
    return WaitForSocket(nPollEvents, WaitStepMs()) >= 0;
}

int CdsTimeoutSocket::WaitStepMs() const
{
    // The event cannot wake a poll: with one, the wait is cut into short steps.
    const UINT nStep = m_pStop && m_nPumpPeriod > kStopCheckMs ? kStopCheckMs : m_nPumpPeriod;
    return static_cast<int>(nStep);
}

int CdsTimeoutSocket::WaitForSocket(short nPollEvents, int nMs)
{
    pollfd pfd{m_hSocket, nPollEvents, 0};
    const int n = ::poll(&pfd, 1, nMs);
    if (n < 0)
        return errno == EINTR ? 0 : -1;
    return n == 0 ? 0 : pfd.revents;
}

int CdsTimeoutSocket::ReceiveWaiting(void* pBuffer, int nLength, int nMs)
{
    if (!PrepareReceiveWait(nMs)) {
        errno = EAGAIN; // the pump waits instead
        return -1;
    }
    return static_cast<int>(::recv(m_hSocket, pBuffer, static_cast<size_t>(nLength), 0));
}

bool CdsTimeoutSocket::PrepareReceiveWait(int nMs)
{
    if (nMs <= 0) // a zero SO_RCVTIMEO would wait for ever
        return false;
    if (m_nReceiveWaitMs != nMs) {
        const timeval tv{nMs / 1000, static_cast<suseconds_t>(nMs % 1000) * 1000};
        if (::setsockopt(m_hSocket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0)
            return false;
        m_nReceiveWaitMs = nMs;
    }
    if (!m_bReceiveBlocks) {
        const int flags = ::fcntl(m_hSocket, F_GETFL);
        if (flags < 0 || ::fcntl(m_hSocket, F_SETFL, flags & ~O_NONBLOCK) != 0)
            return false;
        m_bReceiveBlocks = true;
    }
    return true;
}

int CdsTimeoutSocket::PollNow(short nPollEvents) const
{
    pollfd pfd{m_hSocket, nPollEvents, 0};
    int n;
    do
        n = ::poll(&pfd, 1, 0);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return -1;
    return n == 0 ? 0 : pfd.revents;
}

bool CdsTimeoutSocket::CheckPeerClosed()
{
    if (m_bPeerClosed || m_hSocket == kInvalidSocket || m_nType != SOCK_STREAM || m_bListening)
        return m_bPeerClosed;
    const int revents = PollNow(POLLIN | POLLRDHUP);
    if (revents > 0) {
        if (revents & (POLLHUP | POLLRDHUP | POLLERR)) {
            m_bPeerClosed = true;
        } else if (revents & POLLIN) {
            char c;
            if (::recv(m_hSocket, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0)
                m_bPeerClosed = true;
        }
    }
    return m_bPeerClosed;
}

int CdsTimeoutSocket::DispatchNotifications()
{
    if (m_hSocket == kInvalidSocket)
        return 0;
    const int revents = PollNow(POLLIN | POLLPRI | POLLRDHUP);
    if (revents <= 0)
        return 0;
    int nDelivered = 0;
    if (m_bListening) {
        if ((revents & POLLIN) && (m_lEvents & FD_ACCEPT) && !m_bAcceptNotified) {
            m_bAcceptNotified = true;
            ++nDelivered;
            OnAccept(0);
        }
        return nDelivered;
    }
    if (m_nType == SOCK_STREAM) {
        bool bClosed = m_bPeerClosed || (revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0;
        bool bData = false;
        if (revents & POLLIN) {
            char c;
            const ssize_t n = ::recv(m_hSocket, &c, 1, MSG_PEEK | MSG_DONTWAIT);
            bData = n > 0;
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                bClosed = true;
        }
        // Data still waiting is reported before the close that follows it.
        if (bData && (m_lEvents & FD_READ) && !m_bReadNotified) {
            m_bReadNotified = true;
            ++nDelivered;
            OnReceive(0);
            if (m_hSocket == kInvalidSocket)
                return nDelivered;
        }
        if (bClosed && (m_lEvents & FD_CLOSE) && !m_bCloseNotified) {
            m_bPeerClosed = true;
            m_bCloseNotified = true;
            ++nDelivered;
            OnClose(0);
        }
        return nDelivered;
    }
    if ((revents & POLLIN) && (m_lEvents & FD_READ) && !m_bReadNotified) {
        m_bReadNotified = true;
        ++nDelivered;
        OnReceive(0);
    }
    return nDelivered;
}

void CdsTimeoutSocket::OnReceive(int) {}
void CdsTimeoutSocket::OnSend(int) {}
void CdsTimeoutSocket::OnOutOfBandData(int) {}
void CdsTimeoutSocket::OnAccept(int) {}
void CdsTimeoutSocket::OnConnect(int) {}
void CdsTimeoutSocket::OnClose(int) {}
