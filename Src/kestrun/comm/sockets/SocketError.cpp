#include "kestrun/comm/sockets/SocketError.h"

#include <cerrno>
#include <netdb.h>

namespace {

struct ErrnoRow {
    int err;
    int wsa;
};

// A table rather than a switch: some errno names share a value on this platform
// (EAGAIN/EWOULDBLOCK, EOPNOTSUPP/ENOTSUP).
constexpr ErrnoRow kErrnoRows[] = {
    {EINTR, 10004},        {EBADF, 10038},           {EACCES, 10013},
    {EPERM, 10013},        {EFAULT, 10014},          {EINVAL, 10022},
    {EMFILE, 10024},       {ENFILE, 10024},          {EWOULDBLOCK, 10035},
    {EAGAIN, 10035},       {EINPROGRESS, 10036},     {EALREADY, 10037},
    {ENOTSOCK, 10038},     {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},   {ENOPROTOOPT, 10042},     {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},   {ENOTSUP, 10045},
    {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},       {ENETUNREACH, 10051},
    {ENETRESET, 10052},    {ECONNABORTED, 10053},    {ECONNRESET, 10054},
    // A send on a connection the peer has reset or closed.
    {EPIPE, 10054},        {ENOBUFS, 10055},         {ENOMEM, 10055},
    {EISCONN, 10056},      {ENOTCONN, 10057},        {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059}, {ETIMEDOUT, 10060},       {ECONNREFUSED, 10061},
    {ELOOP, 10062},        {ENAMETOOLONG, 10063},    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066},       {EUSERS, 10068},
    {EDQUOT, 10069},       {ESTALE, 10070},          {EREMOTE, 10071},
};

constexpr int kWsaSysCallFailure = 10107;

struct ErrnoText {
    int err;
    const char* text;
};

// strerror() follows the locale and differs between C libraries; the log must not.
constexpr ErrnoText kErrnoTexts[] = {
    {ECONNRESET, "Connection reset by peer"},
    {EPIPE, "Broken pipe"},
    {ETIMEDOUT, "Connection timed out"},
    {ECONNREFUSED, "Connection refused"},
    {ECONNABORTED, "Software caused connection abort"},
    {ENOTCONN, "Transport endpoint is not connected"},
    {ESHUTDOWN, "Cannot send after transport endpoint shutdown"},
    {EHOSTUNREACH, "No route to host"},
    {EHOSTDOWN, "Host is down"},
    {ENETUNREACH, "Network is unreachable"},
    {ENETDOWN, "Network is down"},
    {ENETRESET, "Network dropped connection on reset"},
    {EBADF, "Bad file descriptor"},
    {ENOTSOCK, "Socket operation on non-socket"},
    {ENOBUFS, "No buffer space available"},
    {ENOMEM, "Cannot allocate memory"},
    {EMSGSIZE, "Message too long"},
    {EINVAL, "Invalid argument"},
    {EACCES, "Permission denied"},
    {EPERM, "Operation not permitted"},
    {EADDRINUSE, "Address already in use"},
    {EADDRNOTAVAIL, "Cannot assign requested address"},
    {EAGAIN, "Resource temporarily unavailable"},
    {EINTR, "Interrupted system call"},
    {EIO, "Input/output error"},
};

} // namespace

int WsaErrorFromErrno(int err)
{
    if (err == 0)
        return 0;
    for (const ErrnoRow& row : kErrnoRows) {
        if (row.err == err)
            return row.wsa;
    }
    return kWsaSysCallFailure;
}

int WsaErrorFromGai(int gaiError)
{
    switch (gaiError) {
    case 0:
        return 0;
    case EAI_NONAME:
        return 11001; // WSAHOST_NOT_FOUND
    case EAI_AGAIN:
        return 11002; // WSATRY_AGAIN
    case EAI_FAIL:
        return 11003; // WSANO_RECOVERY
#ifdef EAI_NODATA
    case EAI_NODATA:
        return 11004; // WSANO_DATA
#endif
    case EAI_FAMILY:
        return 10047; // WSAEAFNOSUPPORT
    case EAI_SOCKTYPE:
        return 10044; // WSAESOCKTNOSUPPORT
    case EAI_SERVICE:
        return 10109; // WSATYPE_NOT_FOUND
    case EAI_MEMORY:
        return 10055; // WSAENOBUFS
    case EAI_SYSTEM:
        return WsaErrorFromErrno(errno);
    default:
        return 11003; // WSANO_RECOVERY
    }
}

const char* SocketErrnoText(int err)
{
    for (const ErrnoText& row : kErrnoTexts) {
        if (row.err == err)
            return row.text;
    }
    return nullptr;
}
