#pragma once
// The test server application on a manual dispatcher and a fake clock, in
// scratch folders (registry, data, runtime), with a log window that records
// what the log view shows. Local time is UTC.
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kestrun/shell/server/DataView.h"
#include "kestrun/shell/server/LogView.h"
#include "kestrun/shell/app/Windows.h"
#include "platform/registry/Registry.h"
#include "platform/win/ManualDispatcher.h"
#include "support/ScratchFolder.h"
#include "support/shell/TestServerApp.h"

namespace testsupport {

// Environment variables for a scope, restored afterwards.
class EnvScope {
public:
    EnvScope() = default;
    ~EnvScope();
    EnvScope(const EnvScope&) = delete;
    EnvScope& operator=(const EnvScope&) = delete;
    // nullptr unsets it.
    void Set(const std::string& name, const char* value);

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// What the log view's window was told; it outlives the window.
struct LogRecord {
    std::vector<std::string> texts;
    int cuts = 0;
};

class RecordingLogWindow final : public shell::LogWindow {
public:
    explicit RecordingLogWindow(std::shared_ptr<LogRecord> record) : m_record(std::move(record)) {}
    void AppendText(const std::string& text) override { m_record->texts.push_back(text); }
    void RemoveFirstLines(int nLines) override { m_record->cuts += nLines; }

private:
    std::shared_ptr<LogRecord> m_record;
};

// No frame or data window; the log view's texts are recorded; a tray only
// when a test makes one.
class RecordingWindows final : public shell::WindowFactory {
public:
    std::unique_ptr<shell::FrameWindow> CreateFrameWindow(CdsServerFrame&) override
    {
        return makeFrameWindow ? makeFrameWindow() : nullptr;
    }
    std::unique_ptr<shell::LogWindow> CreateLogWindow(CdsLogView&) override
    {
        return std::make_unique<RecordingLogWindow>(log);
    }
    std::unique_ptr<shell::DataWindow> CreateDataWindow(CdsDataView&) override { return nullptr; }
    std::unique_ptr<shell::TrayWindow> CreateTrayWindow() override { return makeTray ? makeTray() : nullptr; }

    std::shared_ptr<LogRecord> log = std::make_shared<LogRecord>();
    std::function<std::unique_ptr<shell::TrayWindow>()> makeTray;
    std::function<std::unique_ptr<shell::FrameWindow>()> makeFrameWindow;
};

// Every option static of the main window, saved and restored: loading the
// options or a view command changes them for the whole process.
class OptionStaticsScope {
public:
    OptionStaticsScope();
    ~OptionStaticsScope();
    OptionStaticsScope(const OptionStaticsScope&) = delete;
    OptionStaticsScope& operator=(const OptionStaticsScope&) = delete;

private:
    std::vector<std::pair<std::atomic<int>*, int>> m_ints;
    std::vector<std::pair<std::atomic<unsigned long>*, unsigned long>> m_times;
};

// The surroundings of a server application under test: scratch registry, data
// and runtime folders, a manual dispatcher on a fake clock, recording windows
// and the option statics restored afterwards.
class ScratchShell {
public:
    // The wall clock starts at this time (UTC).
    explicit ScratchShell(std::chrono::system_clock::time_point wall = DefaultWall());
    ScratchShell(const ScratchShell&) = delete;
    ScratchShell& operator=(const ScratchShell&) = delete;

    static std::chrono::system_clock::time_point DefaultWall();

    // Hands the surroundings to the application, named as its program calls it.
    void Attach(CdsServerApp& app, const std::string& program);
    // Closes the main window with default answers and ends the application.
    void Finish(CdsServerApp& app);
    // An option of the application's section "Options" in the scratch registry.
    void SetOption(const std::string& appName, const std::string& name, int value);
    void SetOption(const std::string& appName, const std::string& name, const std::string& value);

    // The texts the log view showed so far.
    const std::vector<std::string>& LogTexts() const;
    // How many shown texts contain the part.
    int CountLog(const std::string& part) const;

    OptionStaticsScope options;
    support::ScratchFolder scratch;
    EnvScope env;
    registry::Registry reg;
    win::FakeClock clock;
    win::ManualDispatcher dispatcher;
    RecordingWindows windows;
};

class ShellHarness : public ScratchShell {
public:
    explicit ShellHarness(std::chrono::system_clock::time_point wall = DefaultWall());
    ~ShellHarness();

    // An option of the section "Options" in the scratch registry, before start-up.
    void SetOption(const std::string& name, int value);
    void SetOption(const std::string& name, const std::string& value);
    // Profile, document and main window as a server program makes them,
    // without the toolkits; true when they stand.
    bool OpenDocument(const std::string& path = {});
    // The whole start-up (InitInstance) with these arguments after the program.
    bool Start(std::vector<std::string> args = {});

    TestServerFrame* Frame() const;
    TestServerDoc* Doc() const;
    CdsLogView* LogView() const;
    // A command to the main window, run at once.
    void Command(UINT nId);

    TestServerApp app;
    bool started = false;
};

} // namespace testsupport
