// One copy of a server at a time, and the restart's locks: a second copy is
// refused, a restarted one waits for its predecessor and holds the instance
// lock too, a restart is due once and a failed one holds nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "kestrun/shell/app/ShellIds.h"
#include "platform/win/NamedLock.h"
#include "support/shell/ShellFakes.h"
#include "support/shell/ShellHarness.h"

namespace {

using testsupport::ScriptedAnswers;

constexpr const char* kInstance = "Global\\TestServer";
constexpr const char* kRestart = "Global\\6E6F7453-0015-4E61-8000-000000000015";

class SingleInstance : public ::testing::Test {
protected:
    // The lock folder of the harness's runtime folder.
    std::filesystem::path Locks() const { return shell.scratch.path() / "run" / "tessaro" / "locks"; }
    // Probing leaves the lock's file behind.
    bool Held(const char* name) const
    {
        win::NamedLock probe(name, Locks());
        return !probe.tryLock();
    }

    testsupport::ShellHarness shell;
};

TEST_F(SingleInstance, ASecondCopyIsRefusedWithTheDescriptionWhileTheFirstRuns)
{
    win::NamedLock first(kInstance, Locks());
    ASSERT_TRUE(first.tryLock());
    ScriptedAnswers answers;
    EXPECT_FALSE(shell.Start());
    EXPECT_EQ(answers.asked, std::vector<std::string>{"\"Tessaro test server\" already running!"});
    EXPECT_EQ(shell.Frame(), nullptr);
    first.unlock();
}

TEST_F(SingleInstance, WithTheOptionOffCopiesRunSideBySide)
{
    win::NamedLock first(kInstance, Locks());
    ASSERT_TRUE(first.tryLock());
    shell.SetOption("Single Instance", 0);
    EXPECT_TRUE(shell.Start());
}

TEST_F(SingleInstance, TheCopyHoldsTheInstanceLockAndLeavesNoFileBehind)
{
    ASSERT_TRUE(shell.Start());
    EXPECT_TRUE(Held(kInstance));
    shell.app.ExitInstance();
    EXPECT_TRUE(std::filesystem::is_empty(Locks()));
    EXPECT_FALSE(Held(kInstance));
}

TEST_F(SingleInstance, ARestartedCopyWaitsForItsPredecessorThenHoldsTheInstanceLock)
{
    ASSERT_TRUE(shell.Start({"--Restart"}));
    EXPECT_FALSE(shell.app.HasWaitedForPreviousProcess()); // nobody to wait for
    EXPECT_TRUE(Held(kInstance));
    EXPECT_FALSE(Held(kRestart)); // held only while waiting
}

TEST_F(SingleInstance, ARestartedCopyWhosePredecessorDoesNotLetGoStartsAllTheSame)
{
    win::NamedLock restart(kRestart, Locks());
    win::NamedLock instance(kInstance, Locks());
    ASSERT_TRUE(restart.tryLock() && instance.tryLock());
    shell.app.SetPreviousProcessWait(20);
    ScriptedAnswers answers;
    EXPECT_TRUE(shell.Start({"--Restart"}));
    EXPECT_TRUE(answers.asked.empty()); // the instance check is not the refusal's
}

TEST_F(SingleInstance, ARestartIsDueOnceAndHoldsTheRestartLockUntilTheExit)
{
    ASSERT_TRUE(shell.Start());
    ASSERT_TRUE(shell.app.ActivateRestartProcess("/srv/plant.mme"));
    EXPECT_TRUE(Held(kRestart));
    const std::vector<std::string> command = shell.app.GetRestartCommand();
    ASSERT_EQ(command.size(), 3u);
    EXPECT_EQ(command[1], "--Restart");
    EXPECT_EQ(command[2], "/srv/plant.mme");
    // Asked again, this process does not wait for the lock it holds itself.
    EXPECT_FALSE(shell.app.ActivateRestartProcess("/srv/other.mme"));
    EXPECT_EQ(shell.app.GetRestartCommand(), command);
    shell.app.ExitInstance();
    EXPECT_TRUE(std::filesystem::is_empty(Locks()));
}

TEST_F(SingleInstance, ARestartThatCannotStartTheProgramLetsGoOfTheLockAndTheServerKeepsRunning)
{
    ASSERT_TRUE(shell.Start());
    shell.app.restartProgram = (shell.scratch.path() / "no-such-program").string();
    shell.Command(ID_APP_RESET);
    EXPECT_TRUE(shell.app.GetRestartCommand().empty());
    EXPECT_FALSE(Held(kRestart));
    EXPECT_TRUE(shell.Frame()->IsWindow());
}

TEST_F(SingleInstance, ARestartWhileAnotherCopyRestartsWaitsForItAndStays)
{
    ASSERT_TRUE(shell.Start());
    win::NamedLock other(kRestart, Locks());
    ASSERT_TRUE(other.tryLock());
    shell.app.SetPreviousProcessWait(20);
    EXPECT_FALSE(shell.app.ActivateRestartProcess({}));
    EXPECT_TRUE(shell.app.GetRestartCommand().empty());
}

} // namespace
