#include "platform/dde/Transport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "TransportFixture.h"

namespace {

using ddetest::RawClient;
using ddetest::TransportTest;

TEST_F(TransportTest, AClientWithoutTheTokenIsDeniedAndDropped)
{
    Start();
    RawClient none(transport->Port());
    none.Send("CONNECT\t1\tFenwold\tPLC1\n");
    EXPECT_EQ(Answer(none), "DENIED");
    EXPECT_EQ(Answer(none), "<eof>");
    RawClient wrong(transport->Port());
    wrong.Send("TOKEN\t" + std::string(64, '0') + "\n");
    EXPECT_EQ(Answer(wrong), "DENIED");
    EXPECT_EQ(Answer(wrong), "<eof>");
    EXPECT_EQ(transport->Counters().denied, 2u);
    EXPECT_EQ(std::count(server.actions.begin(), server.actions.end(), 13), 0);  // no topic was ever asked for
}

TEST_F(TransportTest, ConversationLinesHaveTheirGoldenForm)
{
    Start();
    auto client = Ready();
    struct Step {
        const char* send;
        const char* answer;
    };
    const Step steps[] = {
        {"CONNECT\t1\tfenwold\tPLC1\n", "CONNECTED\t1\tPLC1"},
        {"ADVISE\t1\tD100\n", "ACK\t1\tADVISE\tD100"},
        {"POKE\t1\tTEXT\ta\\tb\n", "ACK\t1\tPOKE\tTEXT"},
        {"POKE\t1\tD100\t99999\n", "NACK\t1\tPOKE\tD100\t99999 is out of range for Short (-32768 to 32767)"},
        {"EXECUTE\t1\tCLOSE SERVER\n", "ACK\t1\tEXECUTE\tCLOSE SERVER"},
        {"ADVISE\t1\tNONE\n", "NACK\t1\tADVISE\tNONE\ttopic PLC1 has no item NONE"},
        {"UNADVISE\t1\tD100\n", "ACK\t1\tUNADVISE\tD100"},
        {"CONNECT\t2\tFenwold\tNOPE\n", "REFUSED\t2\tNOPE"},
        {"CONNECT\t2\tOther\tPLC1\n", "REFUSED\t2\tPLC1"},
        {"CONNECT\t1\tFenwold\tPLC2\n", "ERROR\t1\tconversation id in use"},
        {"FETCH\t1\tD100\n", "ERROR\t\tunknown verb FETCH"},
        {"REQUEST\t01\tD100\n", "ERROR\t\tbad conversation id"},
        {"REQUEST\t4294967296\tD100\n", "ERROR\t\tbad conversation id"},
        {"REQUEST\t9\tD100\n", "ERROR\t9\tunknown conversation"},
        {"POKE\t1\tD100\n", "ERROR\t1\tPOKE takes 3 fields"},
        {"REQUEST\t1\t\xFF\n", "ERROR\t\tnot a line of fields"},
    };
    for (const Step& step : steps) {
        client->Send(step.send);
        EXPECT_EQ(Answer(*client), step.answer) << step.send;
    }
    EXPECT_EQ(server.pokedText, "a\tb");
}

TEST_F(TransportTest, AdvisedChangesArePushedAndRequestsAnswered)
{
    Start();
    auto client = Ready();
    client->Send("CONNECT\t7\tFenwold\tPLC1\nADVISE\t7\tD100\n");
    EXPECT_EQ(Answer(*client), "CONNECTED\t7\tPLC1");
    EXPECT_EQ(Answer(*client), "ACK\t7\tADVISE\tD100");
    _BRISANTDATAVALUE value{};
    value.iVal = -7;
    server.toPush = {{"D100", value}};
    EXPECT_EQ(Answer(*client), "DATA\t7\tD100\t192\t-7");
    // A request of an item without a value waits for its first one.
    client->Send("REQUEST\t7\tTEXT\n");
    beforePass = [&] { server.toPush = {{"TEXT", HeapText("x\ty")}}; };
    EXPECT_EQ(Answer(*client), "VALUE\t7\tTEXT\t192\tx\\ty");
}

TEST_F(TransportTest, ServerExitReachesClientsAsCloseNoticesAndTheEndpointGoes)
{
    Start();
    auto client = Ready();
    client->Send("CONNECT\t1\tFenwold\tPLC1\n");
    EXPECT_EQ(Answer(*client), "CONNECTED\t1\tPLC1");
    toolkit.Shutdown(server.id);
    transport->Stop();
    EXPECT_EQ(client->ReadLine(), "CLOSED\t1");
    EXPECT_EQ(client->ReadLine(), "<eof>");
    EXPECT_FALSE(std::filesystem::exists(transport->EndpointFile()));
}

TEST_F(TransportTest, ConnectionsAndConversationsAreBounded)
{
    options.maxConnections = 1;
    options.maxConversations = 1;
    Start();
    auto client = Ready();
    RawClient second(transport->Port());
    second.Send("TOKEN\t" + token + "\n");
    EXPECT_EQ(Answer(second), "ERROR\t\ttoo many connections");
    EXPECT_EQ(Answer(second), "<eof>");
    client->Send("CONNECT\t1\tFenwold\tPLC1\nCONNECT\t2\tFenwold\tPLC2\n");
    EXPECT_EQ(Answer(*client), "ERROR\t2\ttoo many conversations");
    EXPECT_EQ(Answer(*client), "CONNECTED\t1\tPLC1");
}

TEST_F(TransportTest, ConnectionsWithoutTheTokenNeverTakeAClientsPlace)
{
    options.maxConnections = 2;
    options.maxUnauthenticated = 4;
    Start();
    std::vector<std::unique_ptr<RawClient>> silent;
    for (std::size_t i = 0; i < 40; ++i) {
        silent.push_back(std::make_unique<RawClient>(transport->Port()));
        // Each is taken in before the next, so the order of arrival is known.
        for (int spin = 0; spin < 5000 && transport->Counters().accepted <= i; ++spin)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    auto first = Ready();
    auto second = Ready();
    // The oldest waiting ones were let go to make room, the newest still wait.
    EXPECT_EQ(Answer(*silent.front()), "<eof>");
    EXPECT_GE(transport->Counters().denied, 36u);
    first->Send("CONNECT\t1\tFenwold\tPLC1\n");
    EXPECT_EQ(Answer(*first), "CONNECTED\t1\tPLC1");
}

TEST_F(TransportTest, AClientThatNeverPresentsTheTokenIsDroppedInTime)
{
    options.clock = &clock;
    Start();
    RawClient silent(transport->Port());
    auto first = Ready();   // the silent one is in the transport's list by now
    clock.advance(options.tokenTimeoutMs + 1);
    auto second = Ready();  // its arrival wakes the transport, which then looks at the time
    EXPECT_EQ(Answer(silent), "<eof>");
    EXPECT_EQ(transport->Counters().denied, 1u);
}

TEST_F(TransportTest, AClientThatStopsReadingIsDroppedWithoutStallingTheOthers)
{
    options.maxOutputBytes = 8 * 1024;
    options.sendBufferBytes = 4 * 1024;
    Start();
    auto slow = Ready(2 * 1024);
    auto fast = Ready();
    slow->Send("CONNECT\t1\tFenwold\tPLC1\nADVISE\t1\tTEXT\n");
    fast->Send("CONNECT\t1\tFenwold\tPLC1\nADVISE\t1\tD100\n");
    EXPECT_EQ(Answer(*fast), "CONNECTED\t1\tPLC1");
    EXPECT_EQ(Answer(*fast), "ACK\t1\tADVISE\tD100");

    // Every pass changes both items; the fast client reads all the while.
    std::atomic<int> fastData{0};
    std::atomic<bool> reading{true};
    std::thread reader([&] {
        while (reading && fast->ReadLine().rfind("DATA\t1\tD100\t192\t", 0) == 0)
            ++fastData;
    });
    SHORT counter = 0;
    beforePass = [&] {
        _BRISANTDATAVALUE value{};
        value.iVal = ++counter;
        server.toPush = {{"D100", value}, {"TEXT", HeapText(std::string(1000, static_cast<char>('a' + counter % 26)))}};
    };
    EXPECT_TRUE(pump.RunUntil([&] { return transport->Counters().slow == 1 && server.active["TEXT"] == 0; }));
    const int before = fastData;
    EXPECT_TRUE(pump.RunUntil([&] { return fastData > before + 3; }));
    reading = false;
    EXPECT_TRUE(pump.RunUntil([&] { return fastData > before + 4; }));
    reader.join();
    EXPECT_EQ(transport->Counters().open, 1u);
    EXPECT_EQ(server.active["D100"], 1);
}

} // namespace
