// The test server program as a process: started headless with the command-line
// forms of a server, found by its ProgID, ended by a signal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/opc/Activation.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Registry.h"
#include "platform/win/VersionInfo.h"
#include "kestrun/shell/OptionHost.h"
#include "support/ScratchFolder.h"
#include "support/shell/TestServerApp.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string ServerProgram()
{
    fs::path dir;
    if (const char* bin = std::getenv("TESSARO_TEST_BIN"))
        dir = bin;
    else
        dir = fs::read_symlink("/proc/self/exe").parent_path();
    return (dir / "testserver").string();
}

// A child process with its standard output read through a pipe.
class ServerProcess {
public:
    ~ServerProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            ::close(m_out);
    }

    bool Start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env)
    {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0)
            return false;
        std::vector<std::string> storage;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            if (!env.count(name) && name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM")
                storage.push_back(entry);
        }
        for (const auto& [name, value] : env)
            storage.push_back(name + "=" + value);
        std::vector<std::string> argStorage = {ServerProgram()};
        argStorage.insert(argStorage.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (std::string& a : argStorage)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : storage)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        const int rc = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        m_out = pipeFds[0];
        return rc == 0;
    }

    // Reads output until a line holds the part, or the time is up or the output ends.
    bool WaitFor(const std::string& part, int timeoutMs = 20000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_output.find(part) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                    std::chrono::steady_clock::now());
            if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count())))
                return false;
        }
        return true;
    }

    // Sends the signal and waits for the end; the exit status, -1 when it did not end normally.
    int Stop(int signal)
    {
        ::kill(m_pid, signal);
        while (ReadSome(20000)) {
        }
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    const std::string& Output() const { return m_output; }

private:
    bool ReadSome(int timeoutMs)
    {
        pollfd fd{m_out, POLLIN, 0};
        if (::poll(&fd, 1, timeoutMs) <= 0)
            return false;
        char buffer[4096];
        const ssize_t n = ::read(m_out, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        m_output.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_output;
};

class ServerProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::access(ServerProgram().c_str(), X_OK) != 0)
            GTEST_SKIP() << "testserver not built";
        const std::string clsid = std::string("{") + testsupport::kTestServerClsid + "}";
        reg.SetString(HKEY_CLASSES_ROOT, testsupport::kTestServerProgId, "", testsupport::kTestServerDescription);
        reg.SetString(HKEY_CLASSES_ROOT, std::string(testsupport::kTestServerProgId) + "\\CLSID", "", clsid);
        registry::Profile profile(reg, shell::FormRegistryKey(win::version::kMajor, win::version::kMinor),
                                  testsupport::kTestServerRegName);
        profile.WriteProfileInt("Options", "Log To File", 1);
        profile.WriteProfileString("Options", "Log Folder", (scratch.path() / "logs").string());
        env = {{"TESSARO_REGISTRY", (scratch.path() / "reg").string()},
               {"TESSARO_DATA", (scratch.path() / "data").string()},
               {"XDG_RUNTIME_DIR", Runtime().string()}};
        fs::create_directories(Runtime());
    }

    fs::path Runtime() const { return scratch.path() / "run"; }

    // Finds the server by its ProgID and asks it for its status.
    void ConnectByProgId()
    {
        CLSID clsid{};
        ASSERT_EQ(opc::CLSIDFromProgID(u"Tessaro.TestServer.1", &clsid, &reg), S_OK);
        EXPECT_EQ(clsid, *com::parseGuidLoose(testsupport::kTestServerClsid));
        opc::ActivationOptions options;
        options.registry = &reg;
        options.socketDir = Runtime() / "tessaro" / "opc";
        opc::ComPtr<IUnknown> unk;
        ASSERT_EQ(opc::CoCreateInstanceEx(clsid, u"", IID_IOPCServer, unk.put(), options), S_OK);
        auto* server = static_cast<IOPCServer*>(static_cast<void*>(unk.get()));
        OPCSERVERSTATUS status;
        EXPECT_EQ(server->GetStatus(status), S_OK);
        EXPECT_EQ(status.dwServerState, OPC_STATUS_RUNNING);
    }

    // Every file the server made in the runtime folder (its socket, lock files).
    std::vector<std::string> RuntimeFiles() const
    {
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(Runtime()))
            if (!entry.is_directory())
                files.push_back(entry.path().string());
        return files;
    }

    std::string LogFiles() const
    {
        std::string text;
        for (const auto& entry : fs::directory_iterator(scratch.path() / "logs")) {
            std::ifstream in(entry.path());
            std::ostringstream content;
            content << in.rdbuf();
            text += content.str();
        }
        return text;
    }

    support::ScratchFolder scratch;
    registry::Registry reg{scratch.path() / "reg"};
    std::map<std::string, std::string> env;
};

TEST_F(ServerProcessTest, FileThreadAndUnknownSwitchStartHeadlessAndSigtermEndsWithNothingLeft)
{
    const std::string file = (scratch.path() / "plant.mme").string();
    ASSERT_TRUE(testsupport::WriteTestServerFile(file, "FILEPLC"));
    ServerProcess server;
    ASSERT_TRUE(server.Start({file, "-thread", "-Bogus"}, env));
    ASSERT_TRUE(server.WaitFor("Info : Test server ready: plant.mme\n")) << server.Output();
    ConnectByProgId();
    EXPECT_EQ(server.Stop(SIGTERM), 0) << server.Output();
    EXPECT_NE(server.Output().find("Info : Tessaro test server (by Zendry Software) ver4.5.1\n"), std::string::npos);
    EXPECT_EQ(server.Output().find('\r'), std::string::npos);
    EXPECT_EQ(RuntimeFiles(), std::vector<std::string>{});
    // The options came from the registry: the lines went to the log folder too.
    EXPECT_NE(LogFiles().find("Test server ready: plant.mme"), std::string::npos);
}

TEST_F(ServerProcessTest, StartedForActivationItServesAndSigintEndsIt)
{
    ServerProcess server;
    ASSERT_TRUE(server.Start({"-Embedding"}, env));
    ASSERT_TRUE(server.WaitFor("Info : Test server ready: Untitled\n")) << server.Output();
    ConnectByProgId();
    EXPECT_EQ(server.Stop(SIGINT), 0) << server.Output();
    EXPECT_EQ(RuntimeFiles(), std::vector<std::string>{});
}

} // namespace
