// The quillet program on a real X server: SIGINT and SIGTERM end it as closing
// it does, whichever of its threads the kernel hands the signal to.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "support/ScratchFolder.h"
#include "support/ServerProcess.h"
#include "support/XvfbDisplay.h"

namespace {

TEST(QuilletProgram, OnAnXServerSigtermAndSigintEndItCleanly)
{
    const std::string program = testsupport::TestProgram("quillet");
    if (::access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "quillet not built";
    if (!testsupport::XvfbDisplay::Installed())
        GTEST_SKIP() << "Xvfb is not installed";
    testsupport::XvfbDisplay x;
    ASSERT_FALSE(x.Display().empty()) << "Xvfb did not start";
    support::ScratchFolder scratch;
    std::filesystem::create_directories(scratch.path() / "run");
    std::map<std::string, std::string> env = {{"TESSARO_REGISTRY", (scratch.path() / "reg").string()},
                                              {"TESSARO_DATA", (scratch.path() / "data").string()},
                                              {"XDG_RUNTIME_DIR", (scratch.path() / "run").string()},
                                              {"LANG", "C"}};
    x.AddTo(env);
    for (int signal : {SIGTERM, SIGINT}) {
        testsupport::ServerProcess quillet(program, true);
        ASSERT_TRUE(quillet.Start({}, env));
        // Up once Qt's own threads run beside the main one.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (testsupport::ThreadCount(quillet.Pid()) < 2 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_GE(testsupport::ThreadCount(quillet.Pid()), 2) << quillet.Output();
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // its window shown
        EXPECT_EQ(quillet.Stop(signal), 0) << "signal " << signal << "\n" << quillet.Output();
    }
}

} // namespace
