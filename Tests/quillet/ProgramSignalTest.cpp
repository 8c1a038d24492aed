// The quillet program on a real X server ends cleanly on SIGTERM: Qt's own
// threads (its X event reader among them) must not take the signal with the
// default action.
#include <gtest/gtest.h>

#include <csignal>

#include "support/ScratchFolder.h"
#include "support/ServerProcess.h"
#include "support/XvfbDisplay.h"

namespace {

TEST(QuilletProgram, OnADisplaySigtermEndsItCleanly)
{
    if (testsupport::XvfbDisplay::Program().empty())
        GTEST_SKIP() << "Xvfb is not installed";
    const std::string program = testsupport::TestProgram("quillet");
    if (::access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "quillet not built";
    support::ScratchFolder scratch;
    testsupport::XvfbDisplay display;
    ASSERT_FALSE(display.Name().empty()) << "Xvfb did not start";
    testsupport::ServerProcess quillet(program, true);
    auto env = display.Environment();
    env.insert({{"HOME", scratch.path().string()},
                {"TESSARO_REGISTRY", (scratch.path() / "reg").string()},
                {"XDG_RUNTIME_DIR", scratch.path().string()},
                {"LANG", "C"}});
    ASSERT_TRUE(quillet.Start({}, env));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::HasThreadNamed(quillet.Pid(), "QXcbEventQueue"); }))
        << "ended with " << quillet.Wait(2000) << ": " << quillet.Output();
    EXPECT_EQ(quillet.Stop(SIGTERM), 0) << quillet.Output();
}

} // namespace
