// A DDE client of another process, as far as the bridge can tell: dde::Client
// over the loopback transport, the toolkit's idle on the fake clock.
#include <gtest/gtest.h>

#include "DdeHarness.h"
#include "kestrun/model/Hint.h"
#include "platform/dde/Client.h"

namespace {

using Status = dde::Client::Status;

class DdeLoopbackTest : public ddetest::DdeHarness {
protected:
    void SetUp() override
    {
        DdeHarness::SetUp();
        ASSERT_EQ(client.Open("Fenwold", options.folder), Status::Ok);
    }
    std::uint32_t Connect(const std::string& topic)
    {
        std::uint32_t conv = 0;
        EXPECT_EQ(pump.Run([&] { return client.Connect(topic, conv); }), Status::Ok) << topic;
        return conv;
    }

    dde::Client client{5000};
};

TEST_F(DdeLoopbackTest, ARequestGivesTheModelsValueAndBracketsNameNoOtherDevice)
{
    Store(Point(words, 0), 1234);
    const std::uint32_t conv = Connect("PLC1");
    dde::ClientValue value;
    EXPECT_EQ(pump.Run([&] { return client.Request(conv, "D100", value); }), Status::Ok);
    EXPECT_EQ(value, (dde::ClientValue{conv, "D100", 192, "1234"}));
    // PLC9 does not exist: the bracket is dropped and PLC1's D101 answers.
    Store(Point(words, 1), 42);
    EXPECT_EQ(pump.Run([&] { return client.Request(conv, "[PLC9]D101", value); }), Status::Ok);
    EXPECT_EQ(value.text, "42");
    EXPECT_EQ(Point(words, 1)->GetDdeItem()->pTopic->pDevice, plc1);
}

TEST_F(DdeLoopbackTest, AdviseSendsChangesUntilUnadviseAndReleasesTheBlock)
{
    const std::uint32_t conv = Connect("PLC1");
    EXPECT_EQ(pump.Run([&] { return client.Advise(conv, "D101"); }), Status::Ok);
    EXPECT_EQ(words->GetUseCount(), 1);
    Store(Point(words, 1), 5);
    dde::ClientValue data;
    EXPECT_EQ(pump.Run([&] { return client.NextData(data, 5000); }), Status::Ok);
    EXPECT_EQ(data, (dde::ClientValue{conv, "D101", 192, "5"}));

    EXPECT_EQ(pump.Run([&] { return client.Unadvise(conv, "D101"); }), Status::Ok);
    EXPECT_EQ(words->GetUseCount(), 0);
    // "Update Same Value" repeats the value at every pass until the unadvise is carried out.
    while (client.NextData(data, 0) == Status::Ok)
        EXPECT_EQ(data.text, "5");
    Store(Point(words, 1), 6);
    Pass();
    Pass();
    // A round trip after the change: a data line sent for it would have come first.
    Store(Point(words, 0), 9);
    dde::ClientValue value;
    EXPECT_EQ(pump.Run([&] { return client.Request(conv, "D100", value); }), Status::Ok);
    EXPECT_EQ(client.NextData(data, 0), Status::Timeout);
}

TEST_F(DdeLoopbackTest, AnUnknownTopicIsRefusedAndReported)
{
    std::uint32_t conv = 0;
    EXPECT_EQ(pump.Run([&] { return client.Connect("PLC9", conv); }), Status::Nack);
    ASSERT_EQ(HintCodes(), std::vector<int>{HINT_ACTION_FAILED});
    EXPECT_EQ(hints[0].number, 13);
    EXPECT_EQ(hints[0].topic, "PLC9");   // where the log line reads the topic
}

TEST_F(DdeLoopbackTest, AConnectionWithoutTheTokenIsRefused)
{
    dde::Client stranger(1000);
    const dde::Endpoint guessed{"Fenwold", service.GetTransport()->Port(), std::string(64, '0')};
    EXPECT_EQ(stranger.Open(guessed), Status::NoServer);
    EXPECT_EQ(service.GetTransport()->Counters().denied, 1u);
}

TEST_F(DdeLoopbackTest, DoExitIsAcknowledgedBeforeTheCloseNoticeAndTheServerEndsCleanly)
{
    const auto before = Heap();
    const std::uint32_t data = Connect("PLC1");
    EXPECT_EQ(pump.Run([&] { return client.Advise(data, "D100"); }), Status::Ok);
    const std::uint32_t system = Connect("$System");
    EXPECT_EQ(pump.Run([&] { return client.Poke(system, "$DoExit", "1"); }), Status::Ok);
    // The exit ran right after the pass that acknowledged: every conversation is closed.
    dde::ClientValue value;
    EXPECT_EQ(client.Request(system, "$DoExit", value), Status::Closed);
    EXPECT_EQ(client.Request(data, "D100", value), Status::Closed);
    EXPECT_TRUE(exited);
    EXPECT_EQ(service.GetServerId(), 0u);
    EXPECT_EQ(bridge.GetTopicList(), nullptr);
    EXPECT_EQ(words->GetUseCount(), 0);
    EXPECT_EQ(Heap().liveBlocks, before.liveBlocks);
}

} // namespace
