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

#include "platform/opc/client/Activation.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Registry.h"
#include "platform/win/VersionInfo.h"
#include "kestrun/shell/app/OptionHost.h"
#include "support/ScratchFolder.h"
#include "support/ServerProcess.h"
#include "support/shell/TestServerApp.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string ServerProgram() { return testsupport::TestProgram("testserver"); }

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
    std::vector<std::string> RuntimeFiles() const { return testsupport::FilesUnder(Runtime()); }

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
    testsupport::ServerProcess server(ServerProgram());
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
    testsupport::ServerProcess server(ServerProgram());
    ASSERT_TRUE(server.Start({"-Embedding"}, env));
    ASSERT_TRUE(server.WaitFor("Info : Test server ready: Untitled\n")) << server.Output();
    ConnectByProgId();
    EXPECT_EQ(server.Stop(SIGINT), 0) << server.Output();
    EXPECT_EQ(RuntimeFiles(), std::vector<std::string>{});
}

TEST_F(ServerProcessTest, AReaderOfStandardOutputThatWentCostsTheLogFileNothing)
{
    const std::string file = (scratch.path() / "plant.mme").string();
    ASSERT_TRUE(testsupport::WriteTestServerFile(file, "FILEPLC"));
    testsupport::ServerProcess server(ServerProgram(), true);
    ASSERT_TRUE(server.Start({file}, env));
    ASSERT_TRUE(server.WaitFor("Info : Test server ready: plant.mme\n")) << server.Output();
    server.CloseOutput();
    ::kill(server.Pid(), SIGPIPE);
    ConnectByProgId();
    EXPECT_EQ(server.Stop(SIGTERM), 0);
    EXPECT_EQ(RuntimeFiles(), std::vector<std::string>{});
    EXPECT_NE(LogFiles().find("Test server ready: plant.mme"), std::string::npos) << LogFiles();
}

} // namespace
