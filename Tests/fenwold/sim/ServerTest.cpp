#include "support/plcsim/Server.h"

#include "support/plcsim/TestClient.h"
#include "fenwold/sim/SimFrames.h"

#include <gtest/gtest.h>

namespace plcsim {
namespace {

using namespace std::chrono_literals;
using test::Fields;
using test::Kind;
using test::kKinds;

constexpr std::uint8_t D = 0xA8, M = 0x90, W = 0xB4, Y = 0x9D;

// Drives one frame kind over a loopback connection.
class Session {
public:
    Session(Server& server, const Kind& kind) : kind_(kind) { EXPECT_TRUE(client_.connect(server.port())); }

    // 3E/4E: one command, its answer parsed.
    test::Parsed command(std::uint16_t cmd, std::uint16_t sub, const Fields& data)
    {
        client_.send(test::request3E(kind_, cmd, sub, data));
        return test::readReply3E(client_, kind_);
    }
    // 1E: one command; `dataSize` bytes (binary) or characters (ASCII) of answer data.
    test::Parsed command1E(std::uint8_t cmd, const Fields& data, std::size_t dataSize)
    {
        client_.send(test::request1E(kind_, cmd, data));
        return test::readReply1E(client_, kind_, dataSize);
    }
    Fields fields() const { return Fields(kind_.ascii); }
    const Kind& kind() const { return kind_; }
    TestClient& client() { return client_; }

private:
    Kind kind_;
    TestClient client_;
};

class EveryFrameKind : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }
    Server server;
};

TEST_P(EveryFrameKind, RunsEveryCommand)
{
    const Kind& k = GetParam();
    Session s(server, k);
    Memory& mem = server.memory();
    const std::vector<std::uint16_t> values{0x1111, 0x2222, 0xBEEF};
    const std::vector<int> bits{1, 0, 1, 1, 0};

    if (k.frame == FrameKind::E1) {
        // 03 batch write words, 01 batch read words.
        Fields w = s.fields();
        test::device1E(w, 0x4420, 200).n(1, 3).n(1, 0);
        for (auto v : values) w.n(2, v);
        EXPECT_EQ(s.command1E(0x03, w, 0).endCode, 0);
        EXPECT_EQ(mem.word(D, 202), 0xBEEF);
        Fields r = s.fields();
        test::device1E(r, 0x4420, 200).n(1, 3).n(1, 0);
        auto read = s.command1E(0x01, r, k.ascii ? 12 : 6);
        EXPECT_EQ(read.endCode, 0);
        EXPECT_EQ(test::words(k, read.data), values);

        // 02 batch write bits, 00 batch read bits.
        Fields bw = s.fields();
        test::device1E(bw, 0x4D20, 100).n(1, 5).n(1, 0).bits(bits);
        if (k.ascii) bw.text("0");  // odd count: one dummy character
        EXPECT_EQ(s.command1E(0x02, bw, 0).endCode, 0);
        EXPECT_TRUE(mem.bit(M, 103));
        EXPECT_FALSE(mem.bit(M, 104));
        Fields br = s.fields();
        test::device1E(br, 0x4D20, 100).n(1, 5).n(1, 0);
        auto bread = s.command1E(0x00, br, k.ascii ? 6 : 3);  // ASCII: one dummy character
        EXPECT_EQ(bread.endCode, 0);
        EXPECT_EQ(test::bitPoints(k, bread.data, 5), bits);

        // 05 test write words, 04 test write bits.
        Fields tw = s.fields();
        tw.n(1, 2).n(1, 0);
        test::device1E(tw, 0x4420, 300).n(2, 0x0102);
        test::device1E(tw, 0x5720, 0x10).n(2, 0x0A0B);
        EXPECT_EQ(s.command1E(0x05, tw, 0).endCode, 0);
        EXPECT_EQ(mem.word(D, 300), 0x0102);
        EXPECT_EQ(mem.word(W, 0x10), 0x0A0B);
        Fields tb = s.fields();
        tb.n(1, 2).n(1, 0);
        test::device1E(tb, 0x4D20, 40).n(1, 1);
        test::device1E(tb, 0x5920, 0x1F).n(1, 1);
        EXPECT_EQ(s.command1E(0x04, tb, 0).endCode, 0);
        EXPECT_TRUE(mem.bit(M, 40));
        EXPECT_TRUE(mem.bit(Y, 0x1F));

        // A bit device read in words: M96..M111, M100..M104 = 1 0 1 1 0.
        Fields wr = s.fields();
        test::device1E(wr, 0x4D20, 96).n(1, 1).n(1, 0);
        auto packed = s.command1E(0x01, wr, k.ascii ? 4 : 2);
        EXPECT_EQ(test::words(k, packed.data), std::vector<std::uint16_t>{0x00D0});
        return;
    }

    // 1401/0000 and 0401/0000: words.
    Fields w = s.fields();
    test::device3E(w, "D*", D, false, 200).n(2, 3);
    for (auto v : values) w.n(2, v);
    EXPECT_EQ(s.command(0x1401, 0, w).endCode, 0);
    EXPECT_EQ(mem.word(D, 201), 0x2222);
    Fields r = s.fields();
    test::device3E(r, "D*", D, false, 200).n(2, 3);
    auto read = s.command(0x0401, 0, r);
    EXPECT_EQ(read.endCode, 0);
    EXPECT_EQ(test::words(k, read.data), values);

    // 1401/0001 and 0401/0001: bits.
    Fields bw = s.fields();
    test::device3E(bw, "M*", M, false, 100).n(2, 5).bits(bits);
    EXPECT_EQ(s.command(0x1401, 1, bw).endCode, 0);
    EXPECT_TRUE(mem.bit(M, 102));
    Fields br = s.fields();
    test::device3E(br, "M*", M, false, 100).n(2, 5);
    auto bread = s.command(0x0401, 1, br);
    EXPECT_EQ(bread.endCode, 0);
    EXPECT_EQ(test::bitPoints(k, bread.data, 5), bits);

    // 1402/0000: one word and one double word.
    Fields rw = s.fields();
    rw.n(1, 1).n(1, 1);
    test::device3E(rw, "D*", D, false, 300).n(2, 0x0102);
    test::device3E(rw, "W*", W, true, 0x1A0).n(4, 0x0A0B0C0D);
    EXPECT_EQ(s.command(0x1402, 0, rw).endCode, 0);
    EXPECT_EQ(mem.word(D, 300), 0x0102);
    EXPECT_EQ(mem.word(W, 0x1A0), 0x0C0D);
    EXPECT_EQ(mem.word(W, 0x1A1), 0x0A0B);

    // 1402/0001: bits, one of them on a hex-numbered device.
    Fields rb = s.fields();
    rb.n(1, 2);
    test::device3E(rb, "M*", M, false, 40).n(1, 1);
    test::device3E(rb, "Y*", Y, true, 0x1F).n(1, 1);
    EXPECT_EQ(s.command(0x1402, 1, rb).endCode, 0);
    EXPECT_TRUE(mem.bit(M, 40));
    EXPECT_TRUE(mem.bit(Y, 0x1F));

    // A bit device read in words.
    Fields wr = s.fields();
    test::device3E(wr, "M*", M, false, 96).n(2, 1);
    auto packed = s.command(0x0401, 0, wr);
    EXPECT_EQ(test::words(k, packed.data), std::vector<std::uint16_t>{0x00D0});

    // The 4E serial comes back.
    if (k.frame == FrameKind::E4) {
        if (k.ascii) {
            EXPECT_EQ(std::string(packed.raw.begin() + 4, packed.raw.begin() + 8), "1234");
        } else {
            EXPECT_EQ(packed.raw[2] | (packed.raw[3] << 8), 0x1234);
        }
    }
}

TEST_P(EveryFrameKind, AnswersErrorsWithEndCodes)
{
    const Kind& k = GetParam();
    Session s(server, k);
    if (k.frame == FrameKind::E1) {
        Fields r = s.fields();
        test::device1E(r, 0x4420, 65535).n(1, 2).n(1, 0);
        EXPECT_EQ(s.command1E(0x01, r, 0).endCode, 0x58);
        Fields bad = s.fields();
        test::device1E(bad, 0x1234, 0).n(1, 1).n(1, 0);
        EXPECT_EQ(s.command1E(0x01, bad, 0).endCode, 0x56);
        return;
    }
    Fields r = s.fields();
    test::device3E(r, "D*", D, false, 65535).n(2, 2);
    auto range = s.command(0x0401, 0, r);
    EXPECT_EQ(range.endCode, 0xC056);
    // Error information: network, PC, module I/O, station, command, subcommand.
    EXPECT_EQ(range.data.size(), k.ascii ? 18u : 9u);
    Fields n = s.fields();
    test::device3E(n, "D*", D, false, 0).n(2, 961);
    EXPECT_EQ(s.command(0x0401, 0, n).endCode, 0xC051);
    EXPECT_EQ(s.command(0x0613, 0, s.fields()).endCode, 0xC059);
}

INSTANTIATE_TEST_SUITE_P(Loopback, EveryFrameKind, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Server, ServesSeveralConnectionsAtOnce)
{
    Server server;
    ASSERT_TRUE(server.start());
    server.memory().setWord(D, 7, 0x7777);
    std::vector<std::unique_ptr<Session>> sessions;
    for (const auto& k : kKinds) sessions.push_back(std::make_unique<Session>(server, k));
    // All requests out first, then all answers: no connection waits for another.
    for (auto& s : sessions) {
        Fields f = s->fields();
        if (s->kind().frame == FrameKind::E1) {
            test::device1E(f, 0x4420, 7).n(1, 1).n(1, 0);
            s->client().send(test::request1E(s->kind(), 0x01, f));
        } else {
            test::device3E(f, "D*", D, false, 7).n(2, 1);
            s->client().send(test::request3E(s->kind(), 0x0401, 0, f));
        }
    }
    for (auto& s : sessions) {
        const Kind& k = s->kind();
        auto p = k.frame == FrameKind::E1 ? test::readReply1E(s->client(), k, k.ascii ? 4 : 2)
                                          : test::readReply3E(s->client(), k);
        EXPECT_EQ(test::words(k, p.data), std::vector<std::uint16_t>{0x7777}) << k.name;
    }
    EXPECT_EQ(server.openConnections(), 6u);
    EXPECT_EQ(server.requestCount(), 6u);
}

TEST(Server, FixedFrameKindIgnoresOtherFrames)
{
    ServerOptions o;
    o.frame = FrameKind::E3;
    o.encoding = Encoding::Binary;
    Server server(o);
    ASSERT_TRUE(server.start());
    TestClient c;
    ASSERT_TRUE(c.connect(server.port()));
    c.send(std::string("500000FF03FF000018001004010000D*0001000003"));
    EXPECT_TRUE(c.receiveSome(100ms).empty());
    auto reply = c.roundTrip(hexBytes("50 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 64 00 00 A8 01 00"), 13);
    EXPECT_EQ(toHex(reply), "D0 00 00 FF FF 03 00 04 00 00 00 00 00");
}

TEST(Server, RequestArrivingInPiecesIsAnsweredOnce)
{
    Server server;
    ASSERT_TRUE(server.start());
    TestClient c;
    ASSERT_TRUE(c.connect(server.port()));
    auto req = hexBytes("01 FF 0A 00 64 00 00 00 20 44 01 00");
    for (std::size_t i = 0; i < req.size(); ++i) {
        c.send(std::vector<std::uint8_t>{req[i]});
        if (i + 1 < req.size()) {
            EXPECT_TRUE(c.receiveSome(5ms).empty());
        }
    }
    EXPECT_EQ(toHex(c.receive(4, 2000ms)), "81 00 00 00");
    EXPECT_TRUE(c.receiveSome(50ms).empty());
}

TEST(Server, StopsPromptlyWithClientsAndPendingAnswers)
{
    auto server = std::make_unique<Server>();
    ASSERT_TRUE(server->start());
    server->injectFault(Fault::late(std::chrono::minutes(5)));
    TestClient idle, waiting;
    ASSERT_TRUE(idle.connect(server->port()));
    ASSERT_TRUE(waiting.connect(server->port()));
    waiting.send(hexBytes("01 FF 0A 00 64 00 00 00 20 44 01 00"));
    ASSERT_TRUE(server->waitForRequests(1, 2000ms));
    auto t0 = std::chrono::steady_clock::now();
    server.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    EXPECT_TRUE(idle.closedByPeer(2000ms));
    EXPECT_TRUE(waiting.closedByPeer(2000ms));
}

TEST(Server, ReportsTheEphemeralPortAndRejectsBadAddresses)
{
    Server a, b;
    ASSERT_TRUE(a.start());
    ASSERT_TRUE(b.start());
    EXPECT_NE(a.port(), 0);
    EXPECT_NE(a.port(), b.port());
    ServerOptions taken;
    taken.port = a.port();
    Server clash(taken);
    std::string clashError;
    EXPECT_FALSE(clash.start(&clashError));
    EXPECT_NE(clashError.find("bind"), std::string::npos) << clashError;
    ServerOptions o;
    o.bindAddress = "not an address";
    Server bad(o);
    std::string error;
    EXPECT_FALSE(bad.start(&error));
    EXPECT_FALSE(error.empty());
}

TEST(Server, KeepsTheRequestsForInspection)
{
    Server server;
    ASSERT_TRUE(server.start());
    TestClient c;
    ASSERT_TRUE(c.connect(server.port()));
    c.roundTrip(hexBytes("54 00 CD AB 00 00 00 FF FF 03 00 0C 00 28 00 01 04 00 00 64 00 00 A8 01 00"), 17);
    auto log = server.requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].frame, FrameKind::E4);
    EXPECT_EQ(log[0].serial, 0xABCD);
    EXPECT_EQ(log[0].timer, 0x28);
    EXPECT_EQ(log[0].command, 0x0401);
}

TEST(Server, VerboseLogGoesToTheGivenSink)
{
    std::mutex m;
    std::vector<std::string> lines;
    ServerOptions o;
    o.verbose = true;
    o.log = [&](const std::string& l) { std::lock_guard lock(m); lines.push_back(l); };
    {
        Server server(o);
        ASSERT_TRUE(server.start());
        TestClient c;
        ASSERT_TRUE(c.connect(server.port()));
        c.roundTrip(hexBytes("01 FF 0A 00 64 00 00 00 20 44 01 00"), 4);
    }
    std::lock_guard lock(m);
    bool sawRequest = false, sawAnswer = false;
    for (auto& l : lines) {
        sawRequest |= l.find("< 01 FF 0A 00 64") != std::string::npos;
        sawAnswer |= l.find("> 81 00 00 00") != std::string::npos;
    }
    EXPECT_TRUE(sawRequest);
    EXPECT_TRUE(sawAnswer);
}

} // namespace
} // namespace plcsim
