#include "kestrun/comm/config/ReturnError.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct TextCase {
    DWORD code;
    const char* text; // nullptr: no text
};

class CommErrorTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(CommErrorTextTest, GivesTheRowTextWithAndWithoutTheTopBit)
{
    const TextCase& c = GetParam();
    for (DWORD code : {c.code | 0x80000000u, c.code & 0x7FFFFFFFu}) {
        const char* text = GetCommErrorText(code);
        if (c.text == nullptr) {
            EXPECT_EQ(text, nullptr) << std::hex << code;
        } else {
            ASSERT_NE(text, nullptr) << std::hex << code;
            EXPECT_STREQ(text, c.text) << std::hex << code;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EngineCodes, CommErrorTextTest,
    ::testing::Values(TextCase{0x101, "Invalid ReadBytes size"},
                      TextCase{0x002, "CommFile Uninitialized"},
                      TextCase{0x201, "Serial exception"},
                      TextCase{0x202, "Serial not available"},
                      TextCase{0x203, "breakDetect"},
                      TextCase{0x204, "rxTimeout"},
                      TextCase{0x205, "ctsTimeout"},
                      TextCase{0x206, "dsrTimeout"},
                      TextCase{0x207, "cdTimeout"},
                      TextCase{0x208, "frameError"},
                      TextCase{0x209, "parityError"},
                      TextCase{0x20A, "overrunError"},
                      TextCase{0x20B, "rxQueueOverflow"},
                      TextCase{0x20C, "txQueueFull"},
                      TextCase{0x20D, "wmQuitReceived"},
                      TextCase{0x20E, "ioError"},
                      TextCase{0x20F, "modeError"},
                      TextCase{0x301, "IOCTL error"},
                      TextCase{0x302, "socket attach failed"},
                      TextCase{0x303, "invalid socket"},
                      TextCase{0x304, "invalid socket file"},
                      TextCase{0x305, "socket error"},
                      TextCase{0x306, "socket timeout"}));

INSTANTIATE_TEST_SUITE_P(CodesWithoutText, CommErrorTextTest,
    ::testing::Values(TextCase{0x003, nullptr}, TextCase{0x004, nullptr}, TextCase{0x102, nullptr},
                      TextCase{0x103, nullptr}, TextCase{0x000, nullptr}, TextCase{0x200, nullptr},
                      TextCase{0x210, nullptr}, TextCase{0x307, nullptr}, TextCase{10000, nullptr},
                      TextCase{10009, nullptr}, TextCase{10072, nullptr}, TextCase{10090, nullptr},
                      TextCase{10100, nullptr}, TextCase{10113, nullptr}, TextCase{11000, nullptr},
                      TextCase{11005, nullptr}, TextCase{0x7FFFFFFF, nullptr}));

INSTANTIATE_TEST_SUITE_P(WinSockCodes, CommErrorTextTest,
    ::testing::Values(
        TextCase{10004, "A blocking operation was interrupted by a call to WSACancelBlockingCall"},
        TextCase{10013, "An attempt was made to access a socket in a way forbidden by its access permissions"},
        TextCase{10014, "The nSockAddrLen argument is incorrect"},
        TextCase{10022, "Invalid host address"},
        TextCase{10024, "No more file descriptors are available"},
        TextCase{10035, "The socket is marked as nonblocking and the connection cannot be completed immediately"},
        TextCase{10036, "A blocking Windows Sockets call is in progress"},
        TextCase{10037, "WSAEALREADY"},
        TextCase{10038, "The descriptor is not a socket"},
        TextCase{10039, "A destination address is required"},
        TextCase{10040, "WSAEMSGSIZE"},
        TextCase{10041, "WSAEPROTOTYPE"},
        TextCase{10042, "WSAENOPROTOOPT"},
        TextCase{10043, "WSAEPROTONOSUPPORT"},
        TextCase{10044, "WSAESOCKTNOSUPPORT"},
        TextCase{10045, "WSAEOPNOTSUPP"},
        TextCase{10046, "WSAEPFNOSUPPORT"},
        TextCase{10047, "Addresses in the specified family cannot be used with this socket"},
        TextCase{10048, "The specified address is already in use"},
        TextCase{10049, "The specified address is not available from the local machine"},
        TextCase{10050, "The Windows Sockets implementation detected that the network subsystem failed"},
        TextCase{10051, "The network cannot be reached from this host at this time"},
        TextCase{10052, "WSAENETRESET"},
        TextCase{10053, "WSAECONNABORTED"},
        TextCase{10054, "WSAECONNRESET"},
        TextCase{10055, "No buffer space is available. The socket cannot be connected"},
        TextCase{10056, "The socket is already connected"},
        TextCase{10057, "WSAENOTCONN"},
        TextCase{10058, "WSAESHUTDOWN"},
        TextCase{10059, "WSAETOOMANYREFS"},
        TextCase{10060, "Attempt to connect timed out without establishing a connection"},
        TextCase{10061, "The attempt to connect was rejected"},
        TextCase{10062, "WSAELOOP"},
        TextCase{10063, "WSAENAMETOOLONG"},
        TextCase{10064, "WSAEHOSTDOWN"},
        TextCase{10065, "WSAEHOSTUNREACH"},
        TextCase{10066, "WSAENOTEMPTY"},
        TextCase{10067, "WSAEPROCLIM"},
        TextCase{10068, "WSAEUSERS"},
        TextCase{10069, "WSAEDQUOT"},
        TextCase{10070, "WSAESTALE"},
        TextCase{10071, "WSAEREMOTE"},
        TextCase{10091, "WSASYSNOTREADY"},
        TextCase{10092, "WSAVERNOTSUPPORTED"},
        TextCase{10093, "A successful AfxSocketInit must occur before using this API"},
        TextCase{10101, "WSAEDISCON"},
        TextCase{10102, "WSAENOMORE"},
        TextCase{10103, "WSAECANCELLED"},
        TextCase{10104, "WSAEINVALIDPROCTABLE"},
        TextCase{10105, "WSAEINVALIDPROVIDER"},
        TextCase{10106, "WSAEPROVIDERFAILEDINIT"},
        TextCase{10107, "WSASYSCALLFAILURE"},
        TextCase{10108, "WSASERVICE_NOT_FOUND"},
        TextCase{10109, "WSATYPE_NOT_FOUND"},
        TextCase{10110, "WSA_E_NO_MORE"},
        TextCase{10111, "WSA_E_CANCELLED"},
        TextCase{10112, "WSAEREFUSED"},
        TextCase{11001, "WSAHOST_NOT_FOUND"},
        TextCase{11002, "WSATRY_AGAIN"},
        TextCase{11003, "WSANO_RECOVERY"},
        TextCase{11004, "WSANO_DATA"}));

TEST(CommErrorTable, HoldsEveryListedRowOnceAndEndsWithCodeZero)
{
    const auto table = GetCommErrorTable();
    // 23 engine rows, 61 WinSock rows and the closing row.
    ASSERT_EQ(table.size(), 85u);
    EXPECT_EQ(table.back().code, 0u);
    EXPECT_EQ(table.back().text, nullptr);
    EXPECT_EQ(table[0].code, 0x101u);
    EXPECT_EQ(table[1].code, 0x002u);
    EXPECT_EQ(table[23].code, 10004u);
    std::set<DWORD> codes;
    for (std::size_t i = 0; i + 1 < table.size(); ++i) {
        EXPECT_TRUE(codes.insert(table[i].code).second) << table[i].code;
        ASSERT_NE(table[i].text, nullptr);
        EXPECT_NE(std::string(table[i].text), "");
        EXPECT_STREQ(table[i].detail, "");
    }
}

TEST(CommErrorCodes, AreNegativeAsByteCountsAndComposeFromTheirParts)
{
    EXPECT_LT(CommErrorResult(RE_SOCKET_TIMEOUT), 0);
    EXPECT_EQ(static_cast<DWORD>(CommErrorResult(0x101)), 0x80000101u);
    EXPECT_EQ(SerialErrorCode(3), 0x80000204u);
    EXPECT_STREQ(GetCommErrorText(SerialErrorCode(3)), "rxTimeout");
    EXPECT_STREQ(GetCommErrorText(SerialErrorCode(14)), "modeError");
    EXPECT_EQ(SocketErrorCode(10060), 0x80000000u | 10060u);
    EXPECT_STREQ(GetCommErrorText(static_cast<DWORD>(CommErrorResult(RE_SOCKET_TIMEOUT))),
                 "socket timeout");
}

} // namespace
