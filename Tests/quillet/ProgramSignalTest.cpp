// The quillet program ends cleanly on SIGTERM, on a real X server (where Qt's own
// threads, its X event reader among them, must not take the signal with the
// default action) and offscreen.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <memory>

#include "support/ScratchFolder.h"
#include "support/ServerProcess.h"
#include "support/XvfbDisplay.h"

namespace {

// Whether the process's main thread blocks the signal, as /proc shows it.
bool Blocks(pid_t pid, int signal)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigBlk:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

class QuilletProgram : public ::testing::TestWithParam<bool> {};

TEST_P(QuilletProgram, SigtermEndsItCleanly)
{
    const bool onDisplay = GetParam();
    if (onDisplay && testsupport::XvfbDisplay::Program().empty())
        GTEST_SKIP() << "Xvfb is not installed";
    const std::string program = testsupport::TestProgram("quillet");
    if (::access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "quillet not built";
    support::ScratchFolder scratch;
    std::unique_ptr<testsupport::XvfbDisplay> display;
    auto env = testsupport::QtProgramEnvironment();
    env["QT_QPA_PLATFORM"] = "offscreen";
    if (onDisplay) {
        display = std::make_unique<testsupport::XvfbDisplay>();
        ASSERT_FALSE(display->Name().empty()) << "Xvfb did not start";
        env = display->Environment();
    }
    env.insert({{"HOME", scratch.path().string()},
                {"TESSARO_REGISTRY", (scratch.path() / "reg").string()},
                {"XDG_RUNTIME_DIR", scratch.path().string()},
                {"LANG", "C"}});
    testsupport::ServerProcess quillet(program, true);
    ASSERT_TRUE(quillet.Start({}, env));
    // Up: it takes the signal itself and, on the display, Qt reads the X connection on a
    // thread of its own.
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return Blocks(quillet.Pid(), SIGTERM) &&
               (!onDisplay || testsupport::HasThreadNamed(quillet.Pid(), "QXcbEventQueue"));
    })) << "ended with " << quillet.Wait(2000) << ": " << quillet.Output();
    EXPECT_EQ(quillet.Stop(SIGTERM), 0) << quillet.Output();
}

TEST(QuilletProgramPipe, SigpipeLeavesItRunning)
{
    const std::string program = testsupport::TestProgram("quillet");
    if (::access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "quillet not built";
    support::ScratchFolder scratch;
    auto env = testsupport::QtProgramEnvironment();
    env["QT_QPA_PLATFORM"] = "offscreen";
    env.insert({{"HOME", scratch.path().string()},
                {"TESSARO_REGISTRY", (scratch.path() / "reg").string()},
                {"XDG_RUNTIME_DIR", scratch.path().string()},
                {"LANG", "C"}});
    testsupport::ServerProcess quillet(program, true);
    ASSERT_TRUE(quillet.Start({}, env));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return Blocks(quillet.Pid(), SIGTERM); }))
        << "ended with " << quillet.Wait(2000) << ": " << quillet.Output();
    quillet.CloseOutput(); // a reader of its output that went
    ::kill(quillet.Pid(), SIGPIPE);
    EXPECT_EQ(quillet.Stop(SIGTERM), 0);
}

INSTANTIATE_TEST_SUITE_P(Platforms, QuilletProgram, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "OnXvfb" : "Offscreen"; });

// The box of a file that cannot be opened comes up before Qt's loop runs; a
// signal ends the program all the same, the box closed as with its default
// button.
TEST(QuilletStartUpBox, ASignalEndsItWhileTheBoxOfABadFileIsUp)
{
    if (testsupport::XvfbDisplay::Program().empty() || testsupport::XvfbDisplay::WindowLister().empty())
        GTEST_SKIP() << "Xvfb or xwininfo is not installed";
    const std::string program = testsupport::TestProgram("quillet");
    if (::access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "quillet not built";
    support::ScratchFolder scratch;
    testsupport::XvfbDisplay display;
    ASSERT_FALSE(display.Name().empty()) << "Xvfb did not start";
    auto env = display.Environment();
    env.insert({{"HOME", scratch.path().string()},
                {"TESSARO_REGISTRY", (scratch.path() / "reg").string()},
                {"TESSARO_DATA", (scratch.path() / "data").string()},
                {"XDG_RUNTIME_DIR", scratch.path().string()},
                {"LANG", "C"}});
    testsupport::ServerProcess quillet(program, true);
    ASSERT_TRUE(quillet.Start({"--help"}, env));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return display.HasWindowTitled("OPC Test Client"); }, 20000))
        << "ended with " << quillet.Wait(2000) << ": " << quillet.Output();
    EXPECT_EQ(quillet.Stop(SIGTERM, 10000), 0) << quillet.Output();
}

} // namespace
