#include "platform/dde/Client.h"

#include <gtest/gtest.h>

#include <sstream>

#include "TransportFixture.h"
#include "platform/dde/ClientTool.h"

namespace {

using Status = dde::Client::Status;
using ddetest::TransportTest;

class ClientTest : public TransportTest {
protected:
    // The tool's exit code, output and errors.
    struct ToolRun {
        int exit;
        std::string out;
        std::string err;
    };
    ToolRun Tool(std::vector<std::string> args)
    {
        std::ostringstream out, err;
        const int exit = pump.Run([&] { return dde::RunClientTool(args, out, err, options.folder); });
        return {exit, out.str(), err.str()};
    }
};

TEST_F(ClientTest, CallsWaitForTheirAnswersWhileDataIsKept)
{
    Start();
    dde::Client client(5000);
    ASSERT_EQ(client.Open("", options.folder), Status::Ok);
    EXPECT_EQ(client.Service(), "Fenwold");
    std::uint32_t conv = 0;
    ASSERT_EQ(pump.Run([&] { return client.Connect("PLC1", conv); }), Status::Ok);
    EXPECT_EQ(pump.Run([&] { return client.Advise(conv, "D100"); }), Status::Ok);
    _BRISANTDATAVALUE value{};
    value.iVal = 12;
    server.toPush = {{"D100", value}};
    dde::ClientValue requested;
    EXPECT_EQ(pump.Run([&] { return client.Request(conv, "d100", requested); }), Status::Ok);
    EXPECT_EQ(requested, (dde::ClientValue{conv, "D100", 192, "12"}));
    dde::ClientValue data;
    EXPECT_EQ(client.NextData(data, 0), Status::Ok);   // came in while the request waited
    EXPECT_EQ(data, (dde::ClientValue{conv, "D100", 192, "12"}));
    EXPECT_EQ(pump.Run([&] { return client.Connect("NOPE", conv); }), Status::Nack);
    EXPECT_EQ(client.LastError(), "topic NOPE refused");
}

TEST_F(ClientTest, NoServerTokenRefusalAndSilenceAreToldApart)
{
    dde::Client client(50);
    EXPECT_EQ(client.Open("Fenwold", options.folder), Status::NoServer);   // no endpoint file
    Start();
    EXPECT_EQ(client.Open(dde::Endpoint{"Fenwold", transport->Port(), std::string(64, 'f')}), Status::NoServer);
    const std::uint16_t port = transport->Port();
    transport->Stop();
    EXPECT_EQ(client.Open(dde::Endpoint{"Fenwold", port, token}), Status::NoServer);   // nobody listens

    // A server that takes the token but never answers: the call gives up in time.
    Start();
    ASSERT_EQ(client.Open("Fenwold", options.folder), Status::Ok);
    std::uint32_t conv = 0;
    EXPECT_EQ(client.Connect("PLC1", conv), Status::Timeout);   // no idle pass runs
}

TEST_F(ClientTest, ToolPrintsTabSeparatedLinesAndExitsByOutcome)
{
    Start();
    beforePass = [&] {
        _BRISANTDATAVALUE value{};
        value.iVal = 42;
        server.toPush = {{"D100", value}};
    };
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string out;
    };
    const Case cases[] = {
        {{"topics"}, dde::kToolOk, "PLC1\nPLC2\n"},
        {{"request", "PLC1", "D100"}, dde::kToolOk, "D100\t192\t42\n"},
        {{"--service", "Fenwold", "poke", "PLC1", "D100", "7"}, dde::kToolOk, ""},
        {{"poke", "PLC1", "D100", "x"}, dde::kToolNack, ""},
        {{"request", "NOPE", "D100"}, dde::kToolNack, ""},
        {{"execute", "System", "CLOSE SERVER"}, dde::kToolOk, ""},
        {{"request", "PLC1"}, dde::kToolUsage, ""},
        {{"frobnicate"}, dde::kToolUsage, ""},
        {{"--timeout", "0", "topics"}, dde::kToolUsage, ""},
        {{"--service", "Nobody", "topics"}, dde::kToolNoServer, ""},
    };
    for (const Case& c : cases) {
        const ToolRun run = Tool(c.args);
        EXPECT_EQ(run.exit, c.exit) << c.args[0] << " " << run.err;
        EXPECT_EQ(run.out, c.out) << c.args[0];
    }
    EXPECT_EQ(server.poked.iVal, 7);
}

TEST_F(ClientTest, ToolAdviseShowsTheGivenNumberOfChanges)
{
    Start();
    SHORT counter = 0;
    beforePass = [&] {
        _BRISANTDATAVALUE value{};
        value.iVal = ++counter;
        server.toPush = {{"D100", value}};
    };
    const ToolRun run = Tool({"advise", "--count", "2", "PLC1", "D100"});
    EXPECT_EQ(run.exit, dde::kToolOk) << run.err;
    ASSERT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2);
    EXPECT_EQ(run.out.rfind("D100\t192\t", 0), 0u);
}

TEST_F(ClientTest, ToolWhoseOutputNobodyTakesFailsAndStops)
{
    Start();
    SHORT counter = 0;
    beforePass = [&] {
        _BRISANTDATAVALUE value{};
        value.iVal = ++counter;
        server.toPush = {{"D100", value}};
    };
    // A reader that went: every write fails, as with SIGPIPE ignored.
    std::ostringstream out, err;
    out.setstate(std::ios::badbit);
    const int exit = pump.Run([&] { return dde::RunClientTool({"request", "PLC1", "D100"}, out, err, options.folder); });
    EXPECT_EQ(exit, dde::kToolFailed);
    EXPECT_EQ(err.str(), "tessaro-dde: the output could not be written\n");
    // An advise without end ends at the first value it cannot show.
    std::ostringstream advised, errors;
    advised.setstate(std::ios::badbit);
    EXPECT_EQ(pump.Run([&] { return dde::RunClientTool({"advise", "PLC1", "D100"}, advised, errors, options.folder); }),
              dde::kToolFailed);
}

} // namespace
