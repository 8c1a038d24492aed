#pragma once
// Loopback helpers for socket tests: a listening peer on an ephemeral port and
// sockets whose blocking waits move a fake clock instead of sleeping.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "kestrun/comm/sockets/ListenSocket.h"
#include "kestrun/comm/sockets/TimeoutSocket.h"
#include "platform/win/Clock.h"

namespace sockettest {

// Each wait step looks at the socket without blocking; when nothing is there it
// moves the fake clock by the whole step, as a silent peer would let it pass.
template <class Base>
class FakeWait : public Base {
public:
    template <class... Args>
    explicit FakeWait(win::FakeClock& clock, Args&&... args) : Base(std::forward<Args>(args)..., &clock), m_clock(clock)
    {
    }
    int waits = 0;

protected:
    int WaitForSocket(short nPollEvents, int nMs) override
    {
        ++waits;
        pollfd pfd{this->GetHandle(), nPollEvents, 0};
        const int n = ::poll(&pfd, 1, 0);
        if (n > 0)
            return pfd.revents;
        m_clock.advance(static_cast<std::uint64_t>(nMs));
        return 0;
    }
    int ReceiveWaiting(void* pBuffer, int nLength, int nMs) override
    {
        ++waits;
        const auto n = ::recv(this->GetHandle(), pBuffer, static_cast<size_t>(nLength), MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            m_clock.advance(static_cast<std::uint64_t>(nMs));
        return static_cast<int>(n);
    }

private:
    win::FakeClock& m_clock;
};

using FakeWaitSocket = FakeWait<CdsTimeoutSocket>;

// A plain POSIX socket closed on scope exit.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& o) noexcept : fd(o.fd) { o.fd = -1; }
    Fd& operator=(Fd&& o) noexcept
    {
        if (this != &o) {
            reset();
            fd = o.fd;
            o.fd = -1;
        }
        return *this;
    }
    ~Fd() { reset(); }
    void reset()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

inline sockaddr_in Loopback(uint16_t port, const char* address = "127.0.0.1")
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, address, &sa.sin_addr);
    return sa;
}

inline uint16_t PortOf(int fd)
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    return ntohs(sa.sin_port);
}

// A TCP listener on an ephemeral loopback port.
inline Fd ListenOnLoopback(uint16_t& port)
{
    Fd f(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in sa = Loopback(0);
    ::bind(f.fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::listen(f.fd, 5);
    port = PortOf(f.fd);
    return f;
}

// An ephemeral loopback port with nothing listening on it.
inline uint16_t ClosedLoopbackPort()
{
    Fd f(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in sa = Loopback(0);
    ::bind(f.fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    return PortOf(f.fd);
}

// A UDP socket bound to an ephemeral port on the given loopback address.
inline Fd UdpOn(const char* address, uint16_t& port)
{
    Fd f(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in sa = Loopback(0, address);
    ::bind(f.fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    port = PortOf(f.fd);
    return f;
}

// A connected pair on a fake clock: the socket under test as client, the peer as a
// plain descriptor.
template <class Socket>
struct Connected {
    explicit Connected(std::uint64_t startMs) : clock(startMs), socket(clock)
    {
        uint16_t port = 0;
        listener = ListenOnLoopback(port);
        EXPECT_TRUE(socket.Create());
        EXPECT_TRUE(socket.ConnectWithTimeout("127.0.0.1", port, 5000));
        peer = Fd(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
        EXPECT_GE(peer.fd, 0);
    }

    win::FakeClock clock;
    Socket socket;
    Fd listener;
    Fd peer;
};

// Waits (really, briefly) until the socket has something to read.
inline bool Readable(int fd, int ms = 2000)
{
    pollfd pfd{fd, POLLIN, 0};
    return ::poll(&pfd, 1, ms) == 1;
}

} // namespace sockettest
