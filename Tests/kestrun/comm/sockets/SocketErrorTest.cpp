#include "kestrun/comm/sockets/SocketError.h"
#include "kestrun/comm/config/ReturnError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <netdb.h>

namespace {

struct ErrnoCase {
    int err;
    int wsa;
};

class WsaFromErrnoTest : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(WsaFromErrnoTest, MapsToTheWindowsSocketNumber)
{
    EXPECT_EQ(WsaErrorFromErrno(GetParam().err), GetParam().wsa) << GetParam().err;
}

INSTANTIATE_TEST_SUITE_P(Connect, WsaFromErrnoTest,
    ::testing::Values(ErrnoCase{ECONNREFUSED, 10061}, ErrnoCase{ETIMEDOUT, 10060},
                      ErrnoCase{EHOSTUNREACH, 10065}, ErrnoCase{ENETUNREACH, 10051},
                      ErrnoCase{EINPROGRESS, 10036}, ErrnoCase{EALREADY, 10037},
                      ErrnoCase{EISCONN, 10056}, ErrnoCase{EADDRINUSE, 10048},
                      ErrnoCase{EADDRNOTAVAIL, 10049}, ErrnoCase{EAFNOSUPPORT, 10047},
                      ErrnoCase{EHOSTDOWN, 10064}, ErrnoCase{ENETDOWN, 10050}));

INSTANTIATE_TEST_SUITE_P(Transfer, WsaFromErrnoTest,
    ::testing::Values(ErrnoCase{ECONNRESET, 10054}, ErrnoCase{EPIPE, 10054},
                      ErrnoCase{ECONNABORTED, 10053}, ErrnoCase{ENOTCONN, 10057},
                      ErrnoCase{ESHUTDOWN, 10058}, ErrnoCase{EAGAIN, 10035},
                      ErrnoCase{EWOULDBLOCK, 10035}, ErrnoCase{EMSGSIZE, 10040},
                      ErrnoCase{ENOBUFS, 10055}, ErrnoCase{EINTR, 10004},
                      ErrnoCase{ENETRESET, 10052}));

INSTANTIATE_TEST_SUITE_P(Descriptors, WsaFromErrnoTest,
    ::testing::Values(ErrnoCase{EBADF, 10038}, ErrnoCase{ENOTSOCK, 10038},
                      ErrnoCase{EMFILE, 10024}, ErrnoCase{EACCES, 10013},
                      ErrnoCase{EFAULT, 10014}, ErrnoCase{EINVAL, 10022},
                      ErrnoCase{EOPNOTSUPP, 10045}, ErrnoCase{ENOPROTOOPT, 10042}));

// No counterpart: a number with a row of its own, never a small errno value that
// would land on an engine status row (ENOENT is 2, the code of an uninitialised file).
INSTANTIATE_TEST_SUITE_P(Unmapped, WsaFromErrnoTest,
    ::testing::Values(ErrnoCase{0, 0}, ErrnoCase{ENOENT, 10107}, ErrnoCase{EIO, 10107},
                      ErrnoCase{ENODATA, 10107}, ErrnoCase{99999, 10107}));

TEST(WsaFromErrno, EveryMappedNumberHasAStatusText)
{
    for (int err = 1; err < 200; ++err) {
        const int wsa = WsaErrorFromErrno(err);
        if (wsa != 0 && wsa != 10107 && GetCommErrorText(SocketErrorCode(wsa)) == nullptr)
            ADD_FAILURE() << "errno " << err << " maps to " << wsa << " without a text";
    }
}

struct GaiCase {
    int gai;
    int wsa;
};

class WsaFromGaiTest : public ::testing::TestWithParam<GaiCase> {};

TEST_P(WsaFromGaiTest, MapsResolverResults)
{
    EXPECT_EQ(WsaErrorFromGai(GetParam().gai), GetParam().wsa);
}

INSTANTIATE_TEST_SUITE_P(Resolver, WsaFromGaiTest,
    ::testing::Values(GaiCase{0, 0}, GaiCase{EAI_NONAME, 11001}, GaiCase{EAI_AGAIN, 11002},
                      GaiCase{EAI_FAIL, 11003}, GaiCase{EAI_FAMILY, 10047},
                      GaiCase{EAI_MEMORY, 10055}));

struct ErrnoTextCase {
    int err;
    const char* text;
};

class SocketErrnoTextTest : public ::testing::TestWithParam<ErrnoTextCase> {};

// The log speaks English whatever the locale, so the words come from a table.
TEST_P(SocketErrnoTextTest, NamesTheCauseInFixedWords)
{
    ASSERT_NE(SocketErrnoText(GetParam().err), nullptr) << GetParam().err;
    EXPECT_STREQ(SocketErrnoText(GetParam().err), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Send, SocketErrnoTextTest,
    ::testing::Values(ErrnoTextCase{ECONNRESET, "Connection reset by peer"}, ErrnoTextCase{EPIPE, "Broken pipe"},
                      ErrnoTextCase{ETIMEDOUT, "Connection timed out"},
                      ErrnoTextCase{ENOTCONN, "Transport endpoint is not connected"},
                      ErrnoTextCase{EHOSTUNREACH, "No route to host"}));

TEST(SocketErrnoTextTest, AValueOutsideTheTableHasNoText)
{
    EXPECT_EQ(SocketErrnoText(0), nullptr);
    EXPECT_EQ(SocketErrnoText(EDOM), nullptr);
}

} // namespace
