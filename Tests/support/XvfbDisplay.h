#pragma once
// A real X server for a test about the display: Xvfb on a display number of
// its own, ended with its owner. Tests that need one skip when Xvfb is not
// installed.
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "support/ServerProcess.h"
#include "support/SourceTree.h"

namespace testsupport {

// Whether a thread of the process bears the name (as /proc shows it).
inline bool HasThreadNamed(pid_t pid, const std::string& name)
{
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(tasks, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::string comm;
        std::getline(std::ifstream(it->path() / "comm"), comm);
        if (comm == name)
            return true;
    }
    return false;
}

// Polls the condition until it holds or the time is up.
template <typename Condition>
bool WaitUntil(Condition condition, int timeoutMs = 10000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// What a Qt program started by a test adds to its environment: the sanitizers
// leave Qt's libraries alone.
inline std::map<std::string, std::string> QtProgramEnvironment()
{
    // xkbcommon hands strndup key names without a terminating NUL, which strict string
    // checks read past; libdbus keeps its buffers to the end; Qt's threads synchronise
    // inside Qt, which ThreadSanitizer does not see.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const char* tsan = std::getenv("TSAN_OPTIONS");
    return {{"ASAN_OPTIONS", std::string(asan ? asan : "") + ":strict_string_checks=0"},
            {"LSAN_OPTIONS", "suppressions=" + (support::SourceTree() / "Tests/support/qt.lsan").string()},
            {"TSAN_OPTIONS", std::string(tsan ? tsan : "") + ":suppressions=" +
                                 (support::SourceTree() / "Tests/support/qt.tsan").string()}};
}

class XvfbDisplay {
public:
    static std::string Program() { return FindOnPath("Xvfb"); }

    // Starts the server; Name() is empty when it did not come up in time.
    XvfbDisplay()
    {
        const std::string program = Program();
        if (program.empty())
            return;
        // Suites run side by side and each starts servers: letting Xvfb pick the
        // lowest free number makes two of them race for it, and the loser can end
        // up listening beside the winner ("server already running") and vanish
        // with it. Numbers spread by process, tried until one is really ours.
        const int first = 100 + static_cast<int>(::getpid() % 400) * 2;
        for (int display = first; display < first + 20 && m_name.empty(); ++display) {
            auto process = std::make_unique<ServerProcess>(program, true);
            const std::string number = std::to_string(display);
            // It writes the number to standard output when it is ready.
            if (!process->Start({":" + number, "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"},
                                {}) ||
                !process->WaitFor(number + "\n", 10000) || process->Count("already") > 0)
                continue;
            m_pProcess = std::move(process);
            m_name = ":" + number;
        }
    }

    // ":<number>", for DISPLAY.
    const std::string& Name() const { return m_name; }

    // The tool that lists the display's windows; tests that look for a window
    // skip without it.
    static std::string WindowLister() { return FindOnPath("xwininfo"); }
    // Whether a window of the display bears the title.
    bool HasWindowTitled(const std::string& title) const
    {
        ServerProcess lister(WindowLister());
        if (!lister.Start({"-root", "-tree"}, {{"DISPLAY", m_name}}) || lister.Wait(5000) != 0)
            return false;
        return lister.Output().find("\"" + title + "\": (") != std::string::npos;
    }

    // What a program started on this display adds to its environment.
    std::map<std::string, std::string> Environment() const
    {
        auto env = QtProgramEnvironment();
        env["DISPLAY"] = m_name;
        env["QT_QPA_PLATFORM"] = "xcb";
        return env;
    }

private:
    std::unique_ptr<ServerProcess> m_pProcess;
    std::string m_name;
};

} // namespace testsupport
