#include "kestrun/comm/config/ReturnError.h"

namespace {

// Searched in this order; the first equal code wins and the row of code 0 ends it.
constexpr CommErrorEntry kCommErrorTable[] = {
    {0x101, "Invalid ReadBytes size", ""},
    {0x002, "CommFile Uninitialized", ""},
    {0x201, "Serial exception", ""},
    {0x202, "Serial not available", ""},
    {0x203, "breakDetect", ""},
    {0x204, "rxTimeout", ""},
    {0x205, "ctsTimeout", ""},
    {0x206, "dsrTimeout", ""},
    {0x207, "cdTimeout", ""},
    {0x208, "frameError", ""},
    {0x209, "parityError", ""},
    {0x20A, "overrunError", ""},
    {0x20B, "rxQueueOverflow", ""},
    {0x20C, "txQueueFull", ""},
    {0x20D, "wmQuitReceived", ""},
    {0x20E, "ioError", ""},
    {0x20F, "modeError", ""},
    {0x301, "IOCTL error", ""},
    {0x302, "socket attach failed", ""},
    {0x303, "invalid socket", ""},
    {0x304, "invalid socket file", ""},
    {0x305, "socket error", ""},
    {0x306, "socket timeout", ""},
    {10004, "A blocking operation was interrupted by a call to WSACancelBlockingCall", ""},
    {10013, "An attempt was made to access a socket in a way forbidden by its access permissions", ""},
    {10014, "The nSockAddrLen argument is incorrect", ""},
    {10022, "Invalid host address", ""},
    {10024, "No more file descriptors are available", ""},
    {10035, "The socket is marked as nonblocking and the connection cannot be completed immediately", ""},
    {10036, "A blocking Windows Sockets call is in progress", ""},
    {10037, "WSAEALREADY", ""},
    {10038, "The descriptor is not a socket", ""},
    {10039, "A destination address is required", ""},
    {10040, "WSAEMSGSIZE", ""},
    {10041, "WSAEPROTOTYPE", ""},
    {10042, "WSAENOPROTOOPT", ""},
    {10043, "WSAEPROTONOSUPPORT", ""},
    {10044, "WSAESOCKTNOSUPPORT", ""},
    {10045, "WSAEOPNOTSUPP", ""},
    {10046, "WSAEPFNOSUPPORT", ""},
    {10047, "Addresses in the specified family cannot be used with this socket", ""},
    {10048, "The specified address is already in use", ""},
    {10049, "The specified address is not available from the local machine", ""},
    {10050, "The Windows Sockets implementation detected that the network subsystem failed", ""},
    {10051, "The network cannot be reached from this host at this time", ""},
    {10052, "WSAENETRESET", ""},
    {10053, "WSAECONNABORTED", ""},
    {10054, "WSAECONNRESET", ""},
    {10055, "No buffer space is available. The socket cannot be connected", ""},
    {10056, "The socket is already connected", ""},
    {10057, "WSAENOTCONN", ""},
    {10058, "WSAESHUTDOWN", ""},
    {10059, "WSAETOOMANYREFS", ""},
    {10060, "Attempt to connect timed out without establishing a connection", ""},
    {10061, "The attempt to connect was rejected", ""},
    {10062, "WSAELOOP", ""},
    {10063, "WSAENAMETOOLONG", ""},
    {10064, "WSAEHOSTDOWN", ""},
    {10065, "WSAEHOSTUNREACH", ""},
    {10066, "WSAENOTEMPTY", ""},
    {10067, "WSAEPROCLIM", ""},
    {10068, "WSAEUSERS", ""},
    {10069, "WSAEDQUOT", ""},
    {10070, "WSAESTALE", ""},
    {10071, "WSAEREMOTE", ""},
    {10091, "WSASYSNOTREADY", ""},
    {10092, "WSAVERNOTSUPPORTED", ""},
    {10093, "A successful AfxSocketInit must occur before using this API", ""},
    {10101, "WSAEDISCON", ""},
    {10102, "WSAENOMORE", ""},
    {10103, "WSAECANCELLED", ""},
    {10104, "WSAEINVALIDPROCTABLE", ""},
    {10105, "WSAEINVALIDPROVIDER", ""},
    {10106, "WSAEPROVIDERFAILEDINIT", ""},
    {10107, "WSASYSCALLFAILURE", ""},
    {10108, "WSASERVICE_NOT_FOUND", ""},
    {10109, "WSATYPE_NOT_FOUND", ""},
    {10110, "WSA_E_NO_MORE", ""},
    {10111, "WSA_E_CANCELLED", ""},
    {10112, "WSAEREFUSED", ""},
    {11001, "WSAHOST_NOT_FOUND", ""},
    {11002, "WSATRY_AGAIN", ""},
    {11003, "WSANO_RECOVERY", ""},
    {11004, "WSANO_DATA", ""},
    {0, nullptr, nullptr},
};

} // namespace

const char* GetCommErrorText(DWORD code)
{
    const DWORD n = code & ~static_cast<DWORD>(RE_ERROR_FLAG);
    for (const CommErrorEntry& row : kCommErrorTable) {
        if (row.code == 0)
            break;
        if (row.code == n)
            return row.text;
    }
    return nullptr;
}

std::span<const CommErrorEntry> GetCommErrorTable()
{
    return kCommErrorTable;
}
