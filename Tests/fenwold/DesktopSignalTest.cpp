// Fenwold with its window on a real X server ends on SIGTERM and SIGINT as it
// does headless: the Quit command with default answers, exit 0, nothing left in
// the runtime folder. Qt's own threads (its X event reader among them) must not
// take the signal with the default action.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "support/ScratchFolder.h"
#include "support/ServerProcess.h"
#include "support/XvfbDisplay.h"

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

    support::ScratchFolder scratch;
    testsupport::XvfbDisplay display;
};

TEST_P(FenwoldOnDisplay, ASignalClosesItCleanlyOnceItsWindowIsUp)
{
    ServerProcess server(testsupport::TestProgram("fenwold"), true);
    auto env = display.Environment();
    env.insert({{"HOME", scratch.path().string()},
                {"TESSARO_REGISTRY", (scratch.path() / "reg").string()},
                {"TESSARO_DATA", (scratch.path() / "data").string()},
                {"XDG_RUNTIME_DIR", Runtime().string()},
                {"LANG", "C"}});
    ASSERT_TRUE(server.Start({}, env));
    // Up: its endpoints are open and Qt reads the X connection on a thread of its own.
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return !testsupport::FilesUnder(Runtime()).empty() && testsupport::HasThreadNamed(server.Pid(), "QXcbEventQueue");
    })) << "ended with " << server.Wait(2000) << ": " << server.Output();
    EXPECT_EQ(server.Stop(GetParam()), 0) << server.Output();
    EXPECT_EQ(testsupport::FilesUnder(Runtime()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Signals, FenwoldOnDisplay, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) { return info.param == SIGTERM ? "Term" : "Int"; });

} // namespace
