#pragma once
// Counts the system calls a thread makes through the C library's socket, poll and
// ioctl entry points: the bench defines them itself, counts, and calls the library's
// own (the server's shared libraries find the bench's first). Each thread counts
// its own, so the simulator's calls in the same process stay apart. Futex waits
// inside the C++ library cannot be seen this way and are not counted.
#include <dlfcn.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace syscount {

enum Kind { Recv, Send, Poll, Ioctl, Other, Kinds };

struct Counts {
    std::array<long, Kinds> n{};
    long Total() const
    {
        long total = 0;
        for (long k : n)
            total += k;
        return total;
    }
    Counts operator-(const Counts& o) const
    {
        Counts d;
        for (int k = 0; k < Kinds; ++k)
            d.n[k] = n[k] - o.n[k];
        return d;
    }
    // "6.0 (recv 2.0, send 1.0, poll 1.0, ioctl 2.0)" per `per` operations.
    std::string PerText(double per) const
    {
        char text[160];
        std::snprintf(text, sizeof text, "%.1f (recv %.1f, send %.1f, poll %.1f, ioctl %.1f, other %.1f)",
                      static_cast<double>(Total()) / per, static_cast<double>(n[Recv]) / per,
                      static_cast<double>(n[Send]) / per, static_cast<double>(n[Poll]) / per,
                      static_cast<double>(n[Ioctl]) / per, static_cast<double>(n[Other]) / per);
        return text;
    }
};

inline Counts& Mine()
{
    thread_local Counts counts;
    return counts;
}

template <class F>
F Real(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace syscount

#define SYSCOUNT_FORWARD(kind, ret, name, params, args)                                  \
    extern "C" ret name params                                                           \
    {                                                                                    \
        static const auto real = syscount::Real<ret(*) params>(#name);                   \
        ++syscount::Mine().n[syscount::kind];                                            \
        return real args;                                                                \
    }

SYSCOUNT_FORWARD(Recv, ssize_t, recv, (int fd, void* buf, size_t n, int flags), (fd, buf, n, flags))
SYSCOUNT_FORWARD(Recv, ssize_t, recvfrom,
                 (int fd, void* buf, size_t n, int flags, struct sockaddr* addr, socklen_t* len),
                 (fd, buf, n, flags, addr, len))
SYSCOUNT_FORWARD(Recv, ssize_t, recvmsg, (int fd, struct msghdr* msg, int flags), (fd, msg, flags))
SYSCOUNT_FORWARD(Recv, ssize_t, read, (int fd, void* buf, size_t n), (fd, buf, n))
SYSCOUNT_FORWARD(Send, ssize_t, send, (int fd, const void* buf, size_t n, int flags), (fd, buf, n, flags))
SYSCOUNT_FORWARD(Send, ssize_t, sendto,
                 (int fd, const void* buf, size_t n, int flags, const struct sockaddr* addr, socklen_t len),
                 (fd, buf, n, flags, addr, len))
SYSCOUNT_FORWARD(Send, ssize_t, sendmsg, (int fd, const struct msghdr* msg, int flags), (fd, msg, flags))
SYSCOUNT_FORWARD(Send, ssize_t, write, (int fd, const void* buf, size_t n), (fd, buf, n))
SYSCOUNT_FORWARD(Poll, int, poll, (struct pollfd * fds, nfds_t n, int timeout), (fds, n, timeout))
SYSCOUNT_FORWARD(Poll, int, select,
                 (int n, fd_set* r, fd_set* w, fd_set* e, struct timeval* timeout), (n, r, w, e, timeout))
SYSCOUNT_FORWARD(Other, int, setsockopt, (int fd, int level, int name, const void* value, socklen_t len),
                 (fd, level, name, value, len))
SYSCOUNT_FORWARD(Other, int, getsockopt, (int fd, int level, int name, void* value, socklen_t* len),
                 (fd, level, name, value, len))
SYSCOUNT_FORWARD(Other, int, nanosleep, (const struct timespec* req, struct timespec* rem), (req, rem))
SYSCOUNT_FORWARD(Other, int, clock_nanosleep,
                 (clockid_t clock, int flags, const struct timespec* req, struct timespec* rem),
                 (clock, flags, req, rem))

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    static const auto real = syscount::Real<int (*)(int, unsigned long, ...)>("ioctl");
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    ++syscount::Mine().n[syscount::Ioctl];
    return real(fd, request, arg);
}

extern "C" int fcntl(int fd, int cmd, ...)
{
    static const auto real = syscount::Real<int (*)(int, int, ...)>("fcntl");
    va_list args;
    va_start(args, cmd);
    void* arg = va_arg(args, void*);
    va_end(args);
    ++syscount::Mine().n[syscount::Other];
    return real(fd, cmd, arg);
}
