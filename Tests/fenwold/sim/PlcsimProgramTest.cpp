// The plcsim program: options, start-up line, initial values, clean exit on SIGTERM.
#include "support/plcsim/TestClient.h"

#include "support/ServerProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <unistd.h>
#include <vector>

namespace plcsim {
namespace {

// The simulator program as a child of the test, every wait on it bounded.
class Program {
public:
    explicit Program(const std::vector<std::string>& args) : process_(testsupport::TestProgram("plcsim"))
    {
        started_ = ::access(testsupport::TestProgram("plcsim").c_str(), X_OK) == 0 && process_.Start(args, {});
    }
    bool started() const { return started_; }

    // First line on stdout, or "" after 5 s.
    std::string firstLine()
    {
        if (!process_.WaitFor("\n", 5000)) return "";
        return process_.Output().substr(0, process_.Output().find('\n'));
    }

    pid_t pid() const { return process_.Pid(); }
    void closeOutput() { process_.CloseOutput(); }

    // Exit status after SIGTERM (or after it ends by itself), -1 when it was killed.
    int terminate(bool signal) { return signal ? process_.Stop(SIGTERM) : process_.Wait(); }

private:
    testsupport::ServerProcess process_;
    bool started_ = false;
};

TEST(PlcsimProgram, ServesInitialValuesAndStopsOnSigterm)
{
    Program p({"--port", "0", "--frame", "3e", "--code", "binary", "--set", "D100=4660,W1F=0x10,M5=1"});
    if (!p.started()) GTEST_SKIP() << "plcsim program not found";
    std::string line = p.firstLine();
    const std::string prefix = "plcsim listening on 127.0.0.1:";
    ASSERT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
    auto port = std::uint16_t(std::stoi(line.substr(prefix.size())));
    TestClient c;
    ASSERT_TRUE(c.connect(port));
    EXPECT_EQ(toHex(c.roundTrip(hexBytes("50 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 64 00 00 A8 01 00"), 13)),
              "D0 00 00 FF FF 03 00 04 00 00 00 34 12");
    EXPECT_EQ(toHex(c.roundTrip(hexBytes("50 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 1F 00 00 B4 01 00"), 13)),
              "D0 00 00 FF FF 03 00 04 00 00 00 10 00");
    EXPECT_EQ(toHex(c.roundTrip(hexBytes("50 00 00 FF FF 03 00 0C 00 10 00 01 04 01 00 05 00 00 90 01 00"), 12)),
              "D0 00 00 FF FF 03 00 03 00 00 00 10");
    c.close();
    EXPECT_EQ(p.terminate(true), 0);
}

TEST(PlcsimProgram, MovingValuesStartWithTheServer)
{
    Program p({"--port", "0", "--move"});
    if (!p.started()) GTEST_SKIP() << "plcsim program not found";
    EXPECT_EQ(p.firstLine().rfind("plcsim listening on 127.0.0.1:", 0), 0u);
    EXPECT_EQ(p.terminate(true), 0);
}

TEST(PlcsimProgram, SigpipeAndAReaderThatWentLeaveItServing)
{
    Program p({"--port", "0"});
    if (!p.started()) GTEST_SKIP() << "plcsim program not found";
    const std::string line = p.firstLine();
    const std::string prefix = "plcsim listening on 127.0.0.1:";
    ASSERT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
    p.closeOutput();
    ::kill(p.pid(), SIGPIPE);
    TestClient c;
    ASSERT_TRUE(c.connect(std::uint16_t(std::stoi(line.substr(prefix.size())))));
    EXPECT_EQ(toHex(c.roundTrip(hexBytes("50 00 00 FF FF 03 00 0C 00 10 00 01 04 00 00 64 00 00 A8 01 00"), 13)),
              "D0 00 00 FF FF 03 00 04 00 00 00 00 00");
    c.close();
    EXPECT_EQ(p.terminate(true), 0);
}

TEST(PlcsimProgram, RejectsBadOptions)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--frame", "2e"}, {"--code", "hex"}, {"--set", "Q100=1"}, {"--set", "D100"}, {"--set", "D70000=1"},
        {"--bogus"}, {"--port"},
    };
    for (const auto& args : cases) {
        Program p(args);
        if (!p.started()) GTEST_SKIP() << "plcsim program not found";
        EXPECT_EQ(p.terminate(false), 2) << args[0];
    }
}

} // namespace
} // namespace plcsim
