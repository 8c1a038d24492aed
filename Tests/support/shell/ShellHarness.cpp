#include "support/shell/ShellHarness.h"

#include <cstdlib>
#include <ctime>

#include "kestrun/shell/app/OptionHost.h"
#include "kestrun/shell/app/ShellIds.h"
#include "platform/registry/Profile.h"
#include "platform/win/VersionInfo.h"

namespace testsupport {

EnvScope::~EnvScope()
{
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->second)
            ::setenv(it->first.c_str(), it->second->c_str(), 1);
        else
            ::unsetenv(it->first.c_str());
    }
    ::tzset();
}

void EnvScope::Set(const std::string& name, const char* value)
{
    const char* old = std::getenv(name.c_str());
    m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value)
        ::setenv(name.c_str(), value, 1);
    else
        ::unsetenv(name.c_str());
}

OptionStaticsScope::OptionStaticsScope()
{
    using F = CdsServerFrame;
    for (std::atomic<int>* option :
         {&F::g_bAutoCloseOnNoClient, &F::g_bBackgroundThread, &F::g_bCaseSensitive, &F::g_bColdStart,
          &F::g_bConfirmOnQuit, &F::g_nDataTypeFormat, &F::g_bEnableDotSubset, &F::g_nEventQueueSize,
          &F::g_bExtendedDataTypeAsFloat, &F::g_bFixSocketLeakage, &F::g_bLoadFileOnStartup, &F::g_bLogToFile,
          &F::g_bMinimizeOnStartup, &F::g_bOnlineOnLoad, &F::g_bReadbackModifiedBlock, &F::g_bSingleInstance,
          &F::g_bStringBigEndian, &F::g_nTraceLevel, &F::g_bUpdateSameValue, &F::g_bUseDynamicScan, &F::g_bUseIoctl,
          &F::g_bUseServiceMode, &F::g_bUseSystemMode, &F::g_bUseSystemTime, &F::g_bViewActions, &F::g_bViewCommands,
          &F::g_bViewErrors, &F::g_bViewEvents, &F::g_bViewInitValues, &F::g_bWildSearchOnTagCreate,
          &F::g_bEnableStatusBarUpdating})
        m_ints.emplace_back(option, option->load());
    for (std::atomic<unsigned long>* option : {&F::g_dwCheckMonitorInterval, &F::g_dwClientUpdateTime,
                                               &F::g_dwDataUpdateTime, &F::g_dwLogAutoSavePeriod,
                                               &F::g_dwWaitTimeInitialData})
        m_times.emplace_back(option, option->load());
}

OptionStaticsScope::~OptionStaticsScope()
{
    for (auto& [option, value] : m_ints)
        option->store(value);
    for (auto& [option, value] : m_times)
        option->store(value);
}

namespace {
std::string Sub(const support::ScratchFolder& scratch, const char* name) { return (scratch.path() / name).string(); }
} // namespace

std::chrono::system_clock::time_point ScratchShell::DefaultWall()
{
    return std::chrono::system_clock::from_time_t(1704110400); // 2024-01-01 12:00:00 UTC
}

ScratchShell::ScratchShell(std::chrono::system_clock::time_point wall)
    : reg((scratch.path() / "reg")), clock(0, wall), dispatcher(clock)
{
    env.Set("TESSARO_REGISTRY", Sub(scratch, "reg").c_str());
    env.Set("TESSARO_DATA", Sub(scratch, "data").c_str());
    env.Set("XDG_RUNTIME_DIR", Sub(scratch, "run").c_str());
    env.Set("TZ", "UTC0");
    ::tzset();
}

void ScratchShell::Attach(CdsServerApp& app, const std::string& program)
{
    app.SetDispatcher(&dispatcher);
    app.SetClock(&clock);
    app.SetRegistry(&reg);
    app.SetWindowFactory(&windows);
    app.SetArguments({program});
}

void ScratchShell::Finish(CdsServerApp& app)
{
    if (CdsServerFrame* pFrame = app.GetServerFrame(); pFrame && pFrame->IsWindow()) {
        CdsServerFrame::g_bConfirmOnQuit = 0;
        pFrame->CloseWithDefaultAnswers();
    }
    app.ExitInstance();
    dispatcher.runPending();
}

void ScratchShell::SetOption(const std::string& appName, const std::string& name, int value)
{
    registry::Profile profile(reg, shell::FormRegistryKey(win::version::kMajor, win::version::kMinor), appName);
    profile.WriteProfileInt("Options", name, value);
}

void ScratchShell::SetOption(const std::string& appName, const std::string& name, const std::string& value)
{
    registry::Profile profile(reg, shell::FormRegistryKey(win::version::kMajor, win::version::kMinor), appName);
    profile.WriteProfileString("Options", name, value);
}

const std::vector<std::string>& ScratchShell::LogTexts() const { return windows.log->texts; }

int ScratchShell::CountLog(const std::string& part) const
{
    int n = 0;
    for (const std::string& text : LogTexts())
        n += text.find(part) != std::string::npos ? 1 : 0;
    return n;
}

ShellHarness::ShellHarness(std::chrono::system_clock::time_point wall) : ScratchShell(wall)
{
    Attach(app, "testserver");
    app.SetAppName(kTestServerRegName);
}

ShellHarness::~ShellHarness() { Finish(app); }

void ShellHarness::SetOption(const std::string& name, int value)
{
    ScratchShell::SetOption(kTestServerRegName, name, value);
}

void ShellHarness::SetOption(const std::string& name, const std::string& value)
{
    ScratchShell::SetOption(kTestServerRegName, name, value);
}

bool ShellHarness::OpenDocument(const std::string& path)
{
    app.SetRegistryKey(shell::FormRegistryKey(win::version::kMajor, win::version::kMinor));
    app.SetDocTemplate({[] { return std::make_unique<TestServerDoc>(); },
                        [] { return std::make_unique<TestServerFrame>(); }});
    started = app.OpenDocumentFile(path) != nullptr;
    dispatcher.runPending();
    return started;
}

bool ShellHarness::Start(std::vector<std::string> args)
{
    args.insert(args.begin(), "testserver");
    app.SetArguments(std::move(args));
    started = app.InitInstance();
    dispatcher.runPending();
    return started;
}

TestServerFrame* ShellHarness::Frame() const { return dynamic_cast<TestServerFrame*>(app.GetMainFrame()); }

TestServerDoc* ShellHarness::Doc() const { return dynamic_cast<TestServerDoc*>(app.GetDocument()); }

CdsLogView* ShellHarness::LogView() const
{
    CdsServerFrame* pFrame = Frame();
    return pFrame ? pFrame->GetLogView() : nullptr;
}

void ShellHarness::Command(UINT nId)
{
    if (CdsServerFrame* pFrame = Frame())
        pFrame->PostCommand(nId);
    dispatcher.runPending();
}

} // namespace testsupport
