#include "support/plcsim/Server.h"

#include "support/plcsim/TestClient.h"

#include <gtest/gtest.h>

namespace plcsim {
namespace {

using namespace std::chrono_literals;
using K = Fault::Kind;

constexpr std::uint8_t D = 0xA8;

const char* const kRead = "50 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 64 00 00 A8 01 00";
const char* const kReadReply = "D0 00 00 FF FF 03 00 04 00 00 00 34 12";
const char* const kWrite = "50 00 00 FF FF 03 00 0E 00 10 00 01 14 00 00 64 00 00 A8 01 00 78 56";
const char* const kWriteReply = "D0 00 00 FF FF 03 00 02 00 00 00";
const char* const kRead4E = "54 00 34 12 00 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 64 00 00 A8 01 00";
const char* const kRead1E = "01 FF 0A 00 64 00 00 00 20 44 01 00";
constexpr std::size_t kReadReplySize = 13;

class Faults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        server.memory().setWord(D, 100, 0x1234);
        ASSERT_TRUE(client.connect(server.port()));
    }
    std::string ask(const char* request, std::size_t replySize)
    {
        return toHex(client.roundTrip(hexBytes(request), replySize));
    }
    Server server;
    TestClient client;
};

TEST_F(Faults, EndCodeAnswersWithoutWriting)
{
    server.injectFault(Fault::withEndCode(0xC051));
    EXPECT_EQ(ask(kWrite, 20), "D0 00 00 FF FF 03 00 0B 00 51 C0 00 FF FF 03 00 01 14 00 00");
    EXPECT_EQ(server.memory().word(D, 100), 0x1234);
    EXPECT_EQ(ask(kWrite, 11), kWriteReply);
    EXPECT_EQ(server.memory().word(D, 100), 0x5678);
}

TEST_F(Faults, EndCodeOn1EFrames)
{
    server.injectFault(Fault::withEndCode(0x5B, 0x10));
    server.injectFault(Fault::withEndCode(0x55));
    EXPECT_EQ(ask(kRead1E, 4), "81 5B 10 00");
    EXPECT_EQ(ask(kRead1E, 2), "81 55");
    EXPECT_EQ(ask(kRead1E, 4), "81 00 34 12");
}

TEST_F(Faults, ShortAnswerThenStall)
{
    server.injectFault(Fault::shortThen(K::ShortThenStall, 5));
    client.send(hexBytes(kRead));
    EXPECT_EQ(toHex(client.receive(5, 2000ms)), "D0 00 00 FF FF");
    EXPECT_TRUE(client.receiveSome(50ms).empty());
    client.send(hexBytes(kRead));
    EXPECT_TRUE(client.receiveSome(100ms).empty());
    EXPECT_FALSE(client.closedByPeer(10ms));
    EXPECT_EQ(server.openConnections(), 1u);
}

TEST_F(Faults, ShortAnswerThenClose)
{
    server.injectFault(Fault::shortThen(K::ShortThenClose, 7));
    client.send(hexBytes(kRead));
    EXPECT_EQ(toHex(client.receive(7, 2000ms)), "D0 00 00 FF FF 03 00");
    EXPECT_TRUE(client.closedByPeer(2000ms));
}

class SplitAt : public Faults, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(SplitAt, ArrivesInTwoPieces)
{
    const std::size_t at = GetParam();
    server.injectFault(Fault::split(at, 200ms));
    client.send(hexBytes(kRead));
    auto first = client.receiveSome(2000ms);
    EXPECT_EQ(first.size(), at);
    auto rest = client.receive(kReadReplySize - first.size(), 2000ms);
    first.insert(first.end(), rest.begin(), rest.end());
    EXPECT_EQ(toHex(first), kReadReply);
}

INSTANTIATE_TEST_SUITE_P(Bytes, SplitAt, ::testing::Values(1, 2, 7, 9, 12));

TEST_F(Faults, TwoAnswersInOneSend)
{
    server.injectFault(Fault::of(K::Coalesce));
    client.send(hexBytes(kRead));
    EXPECT_TRUE(client.receiveSome(100ms).empty());
    client.send(hexBytes(kRead));
    EXPECT_EQ(toHex(client.receiveSome(2000ms)), std::string(kReadReply) + " " + kReadReply);
}

TEST_F(Faults, DuplicateAnswer)
{
    server.injectFault(Fault::of(K::Duplicate));
    client.send(hexBytes(kRead));
    EXPECT_EQ(toHex(client.receiveSome(2000ms)), std::string(kReadReply) + " " + kReadReply);
}

TEST_F(Faults, JunkAroundTheAnswer)
{
    server.injectFault(Fault::junkAround(K::JunkBefore, {0xAA, 0xBB}));
    server.injectFault(Fault::junkAround(K::JunkAfter, {0xCC}));
    EXPECT_EQ(ask(kRead, 15), std::string("AA BB ") + kReadReply);
    EXPECT_EQ(ask(kRead, 14), std::string(kReadReply) + " CC");
}

struct HeaderCase {
    const char* name;
    K kind;
    const char* request;
    std::size_t replySize;
    const char* reply;
};

const HeaderCase kHeaderCases[] = {
    {"wrong_route", K::WrongRoute, kRead, 13, "D0 00 01 FF FF 03 00 04 00 00 00 34 12"},
    {"wrong_serial", K::WrongSerial, kRead4E, 17, "D4 00 35 12 00 00 00 FF FF 03 00 04 00 00 00 34 12"},
    {"wrong_subheader_3E", K::WrongSubheader, kRead, 13, "D4 00 00 FF FF 03 00 04 00 00 00 34 12"},
    {"wrong_subheader_1E", K::WrongSubheader, kRead1E, 4, "80 00 34 12"},
    {"length_FFFF", K::LengthFFFF, kRead, 13, "D0 00 00 FF FF 03 00 FF FF 00 00 34 12"},
};

class HeaderFault : public Faults, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(HeaderFault, ChangesTheAnswer)
{
    const HeaderCase& c = GetParam();
    server.injectFault(Fault::of(c.kind));
    EXPECT_EQ(ask(c.request, c.replySize), c.reply);
}

INSTANTIATE_TEST_SUITE_P(Kinds, HeaderFault, ::testing::ValuesIn(kHeaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Faults, LateAnswer)
{
    server.injectFault(Fault::late(300ms));
    client.send(hexBytes(kRead));
    EXPECT_TRUE(client.receiveSome(50ms).empty());
    EXPECT_EQ(toHex(client.receive(kReadReplySize, 3000ms)), kReadReply);
}

TEST_F(Faults, DroppedRequestIsNeitherAnsweredNorExecuted)
{
    server.injectFault(Fault::of(K::Drop));
    client.send(hexBytes(kWrite));
    ASSERT_TRUE(server.waitForRequests(1, 2000ms));
    EXPECT_TRUE(client.receiveSome(50ms).empty());
    EXPECT_EQ(server.memory().word(D, 100), 0x1234);
    EXPECT_EQ(ask(kRead, kReadReplySize), kReadReply);
}

TEST_F(Faults, CloseInsteadOfAnswering)
{
    server.injectFault(Fault::of(K::Close));
    client.send(hexBytes(kWrite));
    EXPECT_TRUE(client.closedByPeer(2000ms));
    EXPECT_EQ(server.memory().word(D, 100), 0x1234);
}

TEST_F(Faults, AppliesToTheNextNAnswers)
{
    server.injectFault(Fault::of(K::Drop), 2);
    client.send(hexBytes(kRead));
    ASSERT_TRUE(server.waitForRequests(1, 2000ms));
    client.send(hexBytes(kRead));
    ASSERT_TRUE(server.waitForRequests(2, 2000ms));
    EXPECT_EQ(ask(kRead, kReadReplySize), kReadReply);
    EXPECT_TRUE(client.receiveSome(50ms).empty());
}

TEST_F(Faults, TargetsOneConnection)
{
    ASSERT_TRUE(server.waitForAccepted(1, 2000ms));
    TestClient second;
    ASSERT_TRUE(second.connect(server.port()));
    ASSERT_TRUE(server.waitForAccepted(2, 2000ms));
    server.injectFault(Fault::withEndCode(0xC05B), 1, 2);
    EXPECT_EQ(ask(kRead, kReadReplySize), kReadReply);
    EXPECT_EQ(toHex(second.roundTrip(hexBytes(kRead), 20)),
              "D0 00 00 FF FF 03 00 0B 00 5B C0 00 FF FF 03 00 01 04 00 00");
}

TEST_F(Faults, RefusesNewConnections)
{
    ASSERT_TRUE(server.waitForAccepted(1, 2000ms));
    const auto port = server.port();
    server.setRefuseConnections(true);
    TestClient refused;
    EXPECT_FALSE(refused.connect(port));
    EXPECT_EQ(ask(kRead, kReadReplySize), kReadReply);  // the open one keeps working
    server.setRefuseConnections(false);
    EXPECT_EQ(server.port(), port);
    TestClient again;
    ASSERT_TRUE(again.connect(port));
    EXPECT_EQ(toHex(again.roundTrip(hexBytes(kRead), kReadReplySize)), kReadReply);
}

TEST_F(Faults, DropsNewConnections)
{
    ASSERT_TRUE(server.waitForAccepted(1, 2000ms));
    server.setDropNewConnections(true);
    TestClient dropped;
    ASSERT_TRUE(dropped.connect(server.port()));
    EXPECT_TRUE(dropped.closedByPeer(2000ms));
    EXPECT_EQ(server.acceptedCount(), 2u);
    EXPECT_EQ(ask(kRead, kReadReplySize), kReadReply);
    server.setDropNewConnections(false);
    TestClient again;
    ASSERT_TRUE(again.connect(server.port()));
    EXPECT_EQ(toHex(again.roundTrip(hexBytes(kRead), kReadReplySize)), kReadReply);
}

TEST_F(Faults, CloseConnectionsKeepsListening)
{
    TestClient second;
    ASSERT_TRUE(second.connect(server.port()));
    ASSERT_TRUE(server.waitForAccepted(2, 2000ms));
    server.closeConnections();
    EXPECT_TRUE(client.closedByPeer(2000ms));
    EXPECT_TRUE(second.closedByPeer(2000ms));
    TestClient third;
    ASSERT_TRUE(third.connect(server.port()));
    EXPECT_EQ(toHex(third.roundTrip(hexBytes(kRead), kReadReplySize)), kReadReply);
}

TEST_F(Faults, ClearFaultsForgetsPendingOnes)
{
    server.injectFault(Fault::of(K::Close), 5);
    server.clearFaults();
    EXPECT_EQ(ask(kRead, kReadReplySize), kReadReply);
}

} // namespace
} // namespace plcsim
