// Start-up of a server program: the command line, the options, the toolkits.
#include "kestrun/shell/server/ServerApp.h"

#include <gtest/gtest.h>

#include "kestrun/model/opc/Callback.h"
#include "platform/opc/server/ServerEntries.h"
#include "support/shell/ShellHarness.h"

namespace {

using shell::CommandLineInfo;

TEST(CommandLine, FormsOfTheServerCommandLine)
{
    struct Case {
        std::vector<std::string> args;
        CommandLineInfo::ShellCommand command;
        const char* file;
        bool embedded;
        bool restart;
    } cases[] = {
        {{}, CommandLineInfo::FileNew, "", false, false},
        {{"plant.mme"}, CommandLineInfo::FileOpen, "plant.mme", false, false},
        {{"-thread", "plant.mme", "-Bogus"}, CommandLineInfo::FileOpen, "plant.mme", false, false},
        {{"-Bogus"}, CommandLineInfo::FileNew, "", false, false},
        {{"-Embedding"}, CommandLineInfo::FileNew, "", true, false},
        {{"/embedding"}, CommandLineInfo::FileNew, "", true, false},
        {{"/srv/plant.mme"}, CommandLineInfo::FileOpen, "/srv/plant.mme", false, false},
        {{"--Restart", "a.mme", "b.mme"}, CommandLineInfo::FileOpen, "a.mme", false, true},
        {{"-Regserver"}, CommandLineInfo::AppRegister, "", false, false},
        {{"/Unregserver"}, CommandLineInfo::AppUnregister, "", false, false},
    };
    for (Case& c : cases) {
        c.args.insert(c.args.begin(), "server");
        CommandLineInfo info;
        info.Parse(c.args);
        EXPECT_EQ(info.m_nShellCommand, c.command) << c.args.size();
        EXPECT_EQ(info.m_strFileName, c.file);
        EXPECT_EQ(info.m_bRunEmbedded, c.embedded);
        EXPECT_EQ(info.m_bRestart, c.restart);
    }
}

TEST(CommandLine, ThreadSwitchInAnyCaseBehindOnePrefixUntilRegistration)
{
    testsupport::ShellHarness shell;
    struct Case {
        std::vector<std::string> args;
        int thread;
    } cases[] = {
        {{"x", "thread"}, 1}, {{"x", "-THREAD"}, 1}, {{"x", "/Thread"}, 1},
        {{"x", "--thread"}, 0}, {{"x", "-Regserver", "-thread"}, 0}, {{"x", "-thread", "-Unregserver"}, 1},
    };
    for (const Case& c : cases) {
        CdsServerFrame::g_bBackgroundThread = 0;
        shell.app.SetArguments(c.args);
        shell.app.GetRegistryCommand();
        EXPECT_EQ(CdsServerFrame::g_bBackgroundThread.load(), c.thread) << c.args[1];
    }
}

TEST(ServerStartup, OptionsComeFromTheRegistryAndTheToolkitsStartAndStop)
{
    testsupport::ShellHarness shell;
    shell.SetOption("Data Update Time", 50);
    shell.SetOption("Enable Background Thread", 0);
    shell.SetOption("Confirm On Quit", 0);
    CdsServerFrame::g_bBackgroundThread = 1;
    ASSERT_TRUE(shell.Start({"-thread"})); // the stored option wins over the switch
    EXPECT_EQ(CdsServerFrame::g_dwDataUpdateTime.load(), 50u);
    EXPECT_EQ(CdsServerFrame::g_bBackgroundThread.load(), 0);
    EXPECT_EQ(CdsServerFrame::g_bConfirmOnQuit.load(), 0);
    EXPECT_EQ(shell.CountLog("Info : Tessaro test server (by Zendry Software) ver4.5.1\r\n"), 1);
    EXPECT_EQ(shell.CountLog("Info : Test server ready: Untitled"), 1);
    EXPECT_TRUE(opc::Toolkit::process().running());
    ASSERT_NE(shell.app.GetCallback(), nullptr);
    EXPECT_TRUE(shell.Frame()->IsWindowVisible());
    EXPECT_EQ(shell.Frame()->trayRequests, 0); // no file was loaded
    shell.app.ExitInstance();
    EXPECT_FALSE(opc::Toolkit::process().running());
    EXPECT_EQ(shell.app.GetCallback(), nullptr);
    shell.app.ExitInstance(); // nothing is stopped or freed twice
}

TEST(ServerStartup, OpcStartFailureIsAnErrorAndStartUpGoesOn)
{
    testsupport::ShellHarness shell;
    const GUID clsid = *com::parseGuidLoose(testsupport::kTestServerClsid);
    ASSERT_TRUE(StartFSServer(clsid, FALSE)); // the class is served already
    EXPECT_TRUE(shell.Start());
    EXPECT_EQ(shell.CountLog("Error : Cannot start the OPC server interface: OPC clients cannot connect!\r\n"), 1);
    EXPECT_EQ(shell.app.GetCallback(), nullptr);
    EXPECT_EQ(shell.CountLog("Test server ready"), 1);
    shell.app.ExitInstance();
    EXPECT_TRUE(opc::Toolkit::process().running()); // not ours to stop
    StopFSServer(1, 0);
}

TEST(ServerStartup, StartUpFileCountsAsLoadedOnlyWhenItOpened)
{
    struct Case {
        const char* file; // under the scratch folder; empty: no name
        bool write;
        int trayRequests;
        const char* title;
    } cases[] = {
        {"", false, 0, "Untitled"},
        {"missing.mme", false, 0, "Untitled"},
        {"plant.mme", true, 1, "plant.mme"},
    };
    for (const Case& c : cases) {
        testsupport::ShellHarness shell;
        const std::string path = *c.file ? (shell.scratch.path() / c.file).string() : std::string();
        if (c.write) {
            ASSERT_TRUE(testsupport::WriteTestServerFile(path, "FILEPLC"));
        }
        shell.SetOption("Load File On Startup", 1);
        shell.SetOption("Load File PathName", path);
        ASSERT_TRUE(shell.Start());
        EXPECT_EQ(shell.Frame()->trayRequests, c.trayRequests) << c.file;
        EXPECT_EQ(shell.CountLog(std::string("Test server ready: ") + c.title), 1) << c.file;
        EXPECT_TRUE(shell.Frame()->IsWindowVisible()); // there is no tray to hide in
    }
}

TEST(ServerStartup, FileOnTheCommandLineWinsOverLoadFileOnStartup)
{
    testsupport::ShellHarness shell;
    const std::string path = (shell.scratch.path() / "given.mme").string();
    ASSERT_TRUE(testsupport::WriteTestServerFile(path, "FILEPLC"));
    shell.SetOption("Load File On Startup", 1);
    shell.SetOption("Load File PathName", (shell.scratch.path() / "other.mme").string());
    ASSERT_TRUE(shell.Start({path, "-Bogus"}));
    EXPECT_EQ(shell.CountLog("Test server ready: given.mme"), 1);
    EXPECT_NE(CdsDeviceMap::GetDeviceObjectByTopic("FILEPLC"), nullptr);
    EXPECT_EQ(shell.Frame()->trayRequests, 0);
}

TEST(ServerStartup, UnreadableFileOnTheCommandLineEndsStartUp)
{
    testsupport::ShellHarness shell;
    EXPECT_FALSE(shell.Start({(shell.scratch.path() / "missing.mme").string()}));
    EXPECT_EQ(shell.Frame(), nullptr);
}

} // namespace
