// Fenwold with its window on a real X server ends on SIGTERM and SIGINT as it
// does headless: the Quit command with default answers, exit 0, nothing left in
// the runtime folder. Qt's own threads (its X event reader among them) must not
// take the signal with the default action.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "PlcKinds.h"
#include "PlcLink.h"
#include "platform/dde/Client.h"
#include "support/CommaLocale.h"
#include "support/ScratchFolder.h"
#include "support/ServerProcess.h"
#include "support/XvfbDisplay.h"
#include "support/plcsim/TestPlc.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ServerProcess;

class FenwoldOnDisplay : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (testsupport::XvfbDisplay::Program().empty())
            GTEST_SKIP() << "Xvfb is not installed";
        if (::access(testsupport::TestProgram("fenwold").c_str(), X_OK) != 0)
            GTEST_SKIP() << "fenwold not built";
        ASSERT_FALSE(display.Name().empty()) << "Xvfb did not start";
        fs::create_directories(Runtime());
        fs::permissions(Runtime(), fs::perms::owner_all);
    }
    fs::path Runtime() const { return scratch.path() / "run"; }
    // The display's, with folders of the test's own and the locale asked for.
    std::map<std::string, std::string> Environment(const std::string& lang) const
    {
        auto env = display.Environment();
        env.insert({{"HOME", scratch.path().string()},
                    {"TESSARO_REGISTRY", (scratch.path() / "reg").string()},
                    {"TESSARO_DATA", (scratch.path() / "data").string()},
                    {"XDG_RUNTIME_DIR", Runtime().string()},
                    {"LANG", lang}});
        return env;
    }

    support::ScratchFolder scratch;
    testsupport::XvfbDisplay display;
};

TEST_P(FenwoldOnDisplay, ASignalClosesItCleanlyOnceItsWindowIsUp)
{
    ServerProcess server(testsupport::TestProgram("fenwold"), true);
    ASSERT_TRUE(server.Start({}, Environment("C")));
    // Up: its endpoints are open and Qt reads the X connection on a thread of its own.
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return !testsupport::FilesUnder(Runtime()).empty() && testsupport::HasThreadNamed(server.Pid(), "QXcbEventQueue");
    })) << "ended with " << server.Wait(2000) << ": " << server.Output();
    EXPECT_EQ(server.Stop(GetParam()), 0) << server.Output();
    EXPECT_EQ(testsupport::FilesUnder(Runtime()), std::vector<std::string>{});
}

// Qt takes the desktop's comma locale into the C library when the window is
// made: a real poked through DDE still reads and prints with a dot.
TEST_F(FenwoldOnDisplay, UnderACommaLocaleAPokedRealReadsBackWithADot)
{
    testsupport::CommaLocale comma;
    if (!comma.Ok())
        GTEST_SKIP() << "no comma-decimal locale could be made (localedef, package locales)";
    plcsim::TestPlc plc;
    const fenwoldtest::PlcKind& kind = fenwoldtest::kPlcKinds[2];
    if (!plc.ok() || !plc.speaks(kind.frame, kind.ascii))
        GTEST_SKIP() << "no PLC that speaks " << kind.name;
    const std::string item = fenwoldtest::PlcLink::Address(0xA8, fenwoldtest::PlcLink::Region(fenwoldtest::kProgramRegion) + 40);
    const fs::path config = scratch.path() / "reals.csv";
    std::ofstream(config) << ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\n"
                          << "PLC1," << kind.protocol << "," << kind.deviceType << ",,TCP1," << plc.host() << " "
                          << plc.port() << ",,\n"
                          << ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\n"
                          << "PLC1,Reals,Float," << item << ",1,3,rw,100,\n";
    ServerProcess server(testsupport::TestProgram("fenwold"), true);
    auto env = Environment(testsupport::CommaLocale::kName);
    env["LOCPATH"] = comma.Folder();
    ASSERT_TRUE(server.Start({config.string()}, env));

    // With a window the log goes to its view: online shows as a good value.
    dde::Client client(5000);
    std::uint32_t conversation = 0;
    ASSERT_TRUE(testsupport::WaitUntil([&] { return client.Open("Fenwold", Runtime() / "tessaro") == dde::Client::Status::Ok; }))
        << server.Output();
    ASSERT_EQ(client.Connect("PLC1", conversation), dde::Client::Status::Ok) << client.LastError();
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        dde::ClientValue value;
        return client.Request(conversation, item, value) == dde::Client::Status::Ok && value.quality == 192;
    }, 20000)) << server.Output();
    ASSERT_EQ(client.Poke(conversation, item, "1.5"), dde::Client::Status::Ok) << client.LastError();
    EXPECT_EQ(client.Poke(conversation, item, "2,5"), dde::Client::Status::Nack);
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        dde::ClientValue value;
        return client.Request(conversation, item, value) == dde::Client::Status::Ok && value.text == "1.5";
    })) << server.Output();
    client.Close();
    EXPECT_EQ(server.Stop(SIGTERM), 0) << server.Output();
}

// The box of a file that cannot be opened is up before the loop runs: a signal
// ends the program all the same, with 0 as always after a signal, its box
// answered with the default button, nothing left in the runtime folder.
TEST_P(FenwoldOnDisplay, ASignalEndsItWhileAStartUpBoxIsUp)
{
    if (testsupport::XvfbDisplay::WindowLister().empty())
        GTEST_SKIP() << "xwininfo is not installed";
    ServerProcess server(testsupport::TestProgram("fenwold"), true);
    ASSERT_TRUE(server.Start({(scratch.path() / "missing.mme").string()}, Environment("C")));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return display.HasWindowTitled("Fenwold"); }, 20000))
        << "ended with " << server.Wait(2000) << ": " << server.Output();
    EXPECT_EQ(server.Stop(GetParam(), 10000), 0) << server.Output();
    EXPECT_EQ(testsupport::FilesUnder(Runtime()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Signals, FenwoldOnDisplay, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) { return info.param == SIGTERM ? "Term" : "Int"; });

} // namespace
