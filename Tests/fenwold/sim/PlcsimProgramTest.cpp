// The plcsim program: options, start-up line, initial values, clean exit on SIGTERM.
#include "support/plcsim/TestClient.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace plcsim {
namespace {

using namespace std::chrono_literals;

class Program {
public:
    explicit Program(std::vector<std::string> args)
    {
        const char* bin = std::getenv("TESSARO_TEST_BIN");
        if (!bin) return;
        std::string path = std::string(bin) + "/plcsim";
        if (::access(path.c_str(), X_OK) != 0) return;
        int fds[2];
        if (::pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<char*> argv{path.data()};
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~Program()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }
    bool started() const { return pid_ > 0; }

    // First line on stdout, or "" after 5 s.
    std::string firstLine()
    {
        std::string line;
        char c;
        while (line.find('\n') == std::string::npos) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0 || ::read(out_, &c, 1) != 1) return line;
            line += c;
        }
        return line.substr(0, line.size() - 1);
    }

    // Exit status after SIGTERM (or after it ends by itself), -1 when it was killed.
    int terminate(bool signal)
    {
        if (signal) ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
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
