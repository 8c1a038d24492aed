// Service-helper mode: going online hands a copy of the configuration to the
// service of the server's name and starts it; offline stops it and gives the
// options back. The systemd controller's commands and states.
#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "kestrun/shell/app/ServiceController.h"
#include "kestrun/shell/app/SystemdServiceController.h"
#include "support/ServerProcess.h"
#include "support/shell/ShellHarness.h"

namespace {

namespace fs = std::filesystem;

// What the fake service went through, kept beyond the controller's life.
struct ServiceRecord {
    bool installed = true;
    DWORD state = shell::SERVICE_STOPPED;
    bool stopFails = false;
    std::vector<std::vector<std::string>> starts;
    int stops = 0;
};

class FakeServiceController final : public shell::ServiceController {
public:
    FakeServiceController(const std::string& name, ServiceRecord& record)
        : ServiceController(name), m_record(record)
    {
    }
    bool IsOpen() const override { return m_record.installed; }
    bool QueryState(DWORD& dwState) override
    {
        dwState = m_record.state;
        return m_record.installed;
    }
    StartResult Start(const std::vector<std::string>& args) override
    {
        if (m_record.state == shell::SERVICE_RUNNING)
            return StartResult::AlreadyRunning;
        m_record.starts.push_back(args);
        m_record.state = shell::SERVICE_RUNNING;
        return StartResult::Started;
    }
    bool StopDependents() override { return true; }
    bool Stop() override
    {
        if (m_record.stopFails)
            return false;
        ++m_record.stops;
        m_record.state = shell::SERVICE_STOPPED;
        return true;
    }
    bool Pause() override { return false; }
    bool Continue() override { return false; }

private:
    ServiceRecord& m_record;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class ServiceHelperMode : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previous = shell::InstallServiceControllerFactory([this](const std::string& name) {
            names.push_back(name);
            return std::make_unique<FakeServiceController>(name, service);
        });
        shell.app.SetServiceHelperMode(1);
        shell.SetOption("Load File On Startup", 0);
        shell.SetOption("Load File PathName", "/srv/plant.mme");
        ASSERT_TRUE(shell.OpenDocument());
        ASSERT_EQ(CdsServerFrame::g_bUseServiceMode.load(), 1);
        doc = shell.Doc();
        frame = shell.Frame();
    }
    void TearDown() override { shell::InstallServiceControllerFactory(std::move(m_previous)); }

    testsupport::ShellHarness shell;
    ServiceRecord service;
    std::vector<std::string> names;
    CdsServerDoc* doc = nullptr;
    CdsServerFrame* frame = nullptr;

private:
    shell::ServiceControllerFactory m_previous;
};

TEST_F(ServiceHelperMode, OnlineHandsACopyToTheServiceAndOfflineStopsItAndGivesTheOptionsBack)
{
    doc->SetModifiedFlag();
    ASSERT_EQ(doc->SetOnline(1, 0), 1);
    ASSERT_EQ(service.starts.size(), 1u);
    ASSERT_EQ(service.starts[0].size(), 1u);
    const std::string copy = service.starts[0][0];
    EXPECT_EQ(copy, doc->GetServiceFileName());
    EXPECT_EQ(fs::path(copy).filename().string().substr(0, 3), "$$$");
    // The copy holds the configuration as the document would save it.
    const std::string own = (shell.scratch.path() / "own.mme").string();
    std::string error;
    ASSERT_TRUE(doc->WriteCopy(own, error));
    EXPECT_EQ(ReadFile(copy), ReadFile(own));
    // The document itself is as it was.
    EXPECT_EQ(doc->GetPathName(), "");
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(frame->GetLoadFileOnStartup(), 1);
    EXPECT_EQ(frame->GetLoadFilePathName(), "/srv/plant.mme");
    EXPECT_FALSE(frame->IsDataUpdateTimerRunning()); // the service polls, not this copy

    ASSERT_EQ(doc->SetOnline(0, 0), 1);
    EXPECT_EQ(service.stops, 1);
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(frame->GetLoadFileOnStartup(), 0);
    EXPECT_EQ(frame->GetLoadFilePathName(), "/srv/plant.mme");
    EXPECT_TRUE(doc->IsOffline());
}

TEST_F(ServiceHelperMode, ASecondOnlineKeepsTheFirstCopyAndTheOptionsItSaved)
{
    ASSERT_EQ(doc->SetOnline(1, 0), 1);
    const std::string copy = doc->GetServiceFileName();
    ASSERT_EQ(doc->SetOnline(1, 1), 1); // the service runs already: that counts as started
    EXPECT_EQ(doc->GetServiceFileName(), copy);
    EXPECT_EQ(service.starts.size(), 1u);
    ASSERT_EQ(doc->SetOnline(0, 0), 1);
    EXPECT_EQ(frame->GetLoadFileOnStartup(), 0); // the value before the first online
    EXPECT_FALSE(fs::exists(copy));
}

TEST_F(ServiceHelperMode, AStopThatFailsKeepsTheCopyTheOptionsAndTheOnlineState)
{
    ASSERT_EQ(doc->SetOnline(1, 0), 1);
    const std::string copy = doc->GetServiceFileName();
    service.stopFails = true;
    EXPECT_EQ(doc->SetOnline(0, 0), 0);
    EXPECT_TRUE(fs::exists(copy));
    EXPECT_EQ(frame->GetLoadFileOnStartup(), 1);
    EXPECT_TRUE(doc->IsOnline()); // so offline can be asked again
    service.stopFails = false;
    EXPECT_EQ(doc->SetOnline(0, 0), 1);
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(frame->GetLoadFileOnStartup(), 0);
}

TEST_F(ServiceHelperMode, AServiceThatIsNotInstalledLeavesTheOptionsAndFilesAlone)
{
    service.installed = false;
    EXPECT_EQ(doc->SetOnline(1, 0), 0);
    EXPECT_TRUE(service.starts.empty());
    EXPECT_EQ(doc->GetServiceFileName(), "");
    EXPECT_EQ(doc->SetOnline(0, 0), 1);
    EXPECT_EQ(frame->GetLoadFileOnStartup(), 0);
    EXPECT_EQ(frame->GetLoadFilePathName(), "/srv/plant.mme");
}

TEST_F(ServiceHelperMode, ANewDocumentCountsAsOnlineWhileTheServiceRuns)
{
    service.state = shell::SERVICE_RUNNING;
    ASSERT_TRUE(doc->OnNewDocument());
    EXPECT_TRUE(doc->IsOnline());
    EXPECT_TRUE(doc->IsServiceRunning());
}

// systemctl as the controller runs it: the arguments of each call and what it printed.
class ScriptedSystemctl {
public:
    std::function<int(const std::vector<std::string>&, std::string&)> Runner()
    {
        return [this](const std::vector<std::string>& args, std::string& out) {
            std::string line;
            for (const std::string& arg : args)
                line += (line.empty() ? "" : " ") + arg;
            calls.push_back(line);
            if (args[0] == "show")
                out = show;
            return args[0] == "show" || args[0] == "set-environment" || args[0] == "unset-environment" ||
                           args[0] == "start" || args[0] == "stop"
                       ? 0
                       : 1;
        };
    }
    std::string show;
    std::vector<std::string> calls;
};

TEST(SystemdServiceController, CommandsOfTheUserManagerForTheUnitOfTheServiceName)
{
    ScriptedSystemctl systemctl;
    systemctl.show = "LoadState=loaded\nCanStop=yes\nCanFreeze=no\nActiveState=inactive\nFreezerState=running\n";
    shell::SystemdServiceController service("FenwoldSvc", systemctl.Runner());
    ASSERT_TRUE(service.IsOpen());
    EXPECT_TRUE(service.IsControlAccepted(shell::SERVICE_ACCEPT_STOP));
    EXPECT_FALSE(service.IsControlAccepted(shell::SERVICE_ACCEPT_PAUSE_CONTINUE));
    EXPECT_EQ(service.Start({"/data/$$$a1b2c3.tmp"}), shell::ServiceController::StartResult::Started);
    EXPECT_TRUE(service.Stop());
    EXPECT_FALSE(service.Pause()); // freezing is refused by this manager
    EXPECT_EQ(systemctl.calls,
              (std::vector<std::string>{
                  "show --property=LoadState,CanStop,CanFreeze -- FenwoldSvc.service",
                  "show --property=ActiveState,FreezerState -- FenwoldSvc.service",
                  "set-environment TESSARO_DOCUMENT_FenwoldSvc=/data/$$$a1b2c3.tmp",
                  "start -- FenwoldSvc.service",
                  "stop -- FenwoldSvc.service",
                  "unset-environment TESSARO_DOCUMENT_FenwoldSvc",
                  "freeze -- FenwoldSvc.service",
              }));
}

TEST(SystemdServiceController, AUnitTheManagerDoesNotKnowIsNotOpen)
{
    ScriptedSystemctl systemctl;
    systemctl.show = "LoadState=not-found\nCanStop=no\nCanFreeze=no\n";
    shell::SystemdServiceController service("Other.service", systemctl.Runner());
    EXPECT_FALSE(service.IsOpen());
    DWORD state = 0;
    EXPECT_FALSE(service.QueryState(state));
    EXPECT_EQ(service.Start({}), shell::ServiceController::StartResult::Failed);
    EXPECT_EQ(systemctl.calls.size(), 1u);
}

TEST(SystemdServiceController, StatesOfTheUnitAsTheServiceManagerNumbersThem)
{
    struct Case {
        const char* active;
        const char* freezer;
        DWORD state;
    } cases[] = {
        {"active", "running", shell::SERVICE_RUNNING},   {"reloading", "", shell::SERVICE_RUNNING},
        {"active", "frozen", shell::SERVICE_PAUSED},     {"active", "freezing", shell::SERVICE_PAUSE_PENDING},
        {"active", "thawing", shell::SERVICE_CONTINUE_PENDING}, {"activating", "", shell::SERVICE_START_PENDING},
        {"deactivating", "", shell::SERVICE_STOP_PENDING}, {"inactive", "", shell::SERVICE_STOPPED},
        {"failed", "", shell::SERVICE_STOPPED},          {"maintenance", "", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(shell::SystemdServiceController::StateOf(c.active, c.freezer), c.state) << c.active << c.freezer;
}

// Against the real user manager: opt in with TESSARO_TEST_SYSTEMD=1 where one runs.
TEST(SystemdServiceController, ControlsATransientUnitOfTheUserManager)
{
    const char* optIn = std::getenv("TESSARO_TEST_SYSTEMD");
    if (!optIn || std::string(optIn) != "1")
        GTEST_SKIP() << "set TESSARO_TEST_SYSTEMD=1 to control a unit of the user's systemd manager";
    const std::string unit = "tessaro-test-" + std::to_string(::getpid()) + ".service";
    std::string out;
    ASSERT_EQ(shell::SystemdServiceController::RunSystemctl({"--version"}, out), 0);
    testsupport::ServerProcess run(testsupport::FindOnPath("systemd-run"), true);
    ASSERT_TRUE(run.Start({"--user", "--quiet", "--unit=" + unit, "sleep", "300"}, {}));
    ASSERT_EQ(run.Wait(), 0) << run.Output();
    shell::SystemdServiceController service(unit);
    ASSERT_TRUE(service.IsOpen());
    DWORD state = 0;
    ASSERT_TRUE(service.QueryState(state));
    EXPECT_EQ(state, shell::SERVICE_RUNNING);
    EXPECT_EQ(service.Start({}), shell::ServiceController::StartResult::AlreadyRunning);
    EXPECT_TRUE(service.StopDependents());
    EXPECT_TRUE(service.Stop());
    // A transient unit is gone once stopped; a stopped one would read "inactive".
    shell::SystemdServiceController after(unit);
    EXPECT_TRUE(!after.IsOpen() || (after.QueryState(state) && state == shell::SERVICE_STOPPED));
}

} // namespace

namespace {

// A dependent unit that reports "deactivating" for so many looks, then "inactive".
struct SlowDependent {
    explicit SlowDependent(int looks) : looksUntilStopped(looks) {}
    int looksUntilStopped;
    bool stopSent = false;
    std::vector<std::string> verbs;
    int Run(const std::vector<std::string>& args, std::string& out)
    {
        verbs.push_back(args[0] + (args.size() > 1 && args[1] == "--no-block" ? " --no-block" : ""));
        stopSent |= args[0] == "stop";
        if (args[0] != "show")
            return 0;
        if (args[1] == "--property=LoadState,CanStop,CanFreeze")
            out = "LoadState=loaded\nCanStop=yes\nCanFreeze=yes\n";
        else if (args[1] == "--property=RequiredBy,BoundBy")
            out = "RequiredBy=hmi.service\nBoundBy=\n";
        else if (!stopSent)
            out = "ActiveState=active\n";
        else
            out = looksUntilStopped-- > 0 ? "ActiveState=deactivating\n" : "ActiveState=inactive\n";
        return 0;
    }
};

TEST(SystemdServiceController, ADependentIsGivenThirtySecondsToStop)
{
    struct Case {
        int looks;
        bool stopped;
    } cases[] = {{0, true}, {5, true}, {29, true}, {32, false}, {1000, false}};
    for (const Case& c : cases) {
        SlowDependent unit(c.looks);
        shell::SystemdServiceController service("FenwoldSvc",
                                                [&](const auto& args, std::string& out) { return unit.Run(args, out); });
        win::FakeClock clock;
        service.SetWaiting(clock, [&](unsigned ms) { clock.advance(ms); });
        EXPECT_EQ(service.StopDependents(), c.stopped) << c.looks;
        EXPECT_LE(clock.monotonicMs(), 31000u) << c.looks;
        EXPECT_EQ(std::count(unit.verbs.begin(), unit.verbs.end(), "stop --no-block"), 1) << c.looks;
        EXPECT_EQ(std::count(unit.verbs.begin(), unit.verbs.end(), "stop"), 0) << c.looks;
    }
}

} // namespace
