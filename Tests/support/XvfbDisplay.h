#pragma once
// A real X server for tests of what only a display shows (Qt's own threads
// start with an X connection; the offscreen platform starts none): Xvfb on a
// display number it picks itself, ended with the test.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

#include "support/SourceTree.h"

extern char** environ;

namespace testsupport {

class XvfbDisplay {
public:
    static constexpr const char* kProgram = "/usr/bin/Xvfb";

    // Starts the server and waits (bounded) until it names its display.
    XvfbDisplay()
    {
        if (::access(kProgram, X_OK) != 0)
            return;
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // The display number comes back on descriptor 3; the server's chatter goes nowhere.
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::string program = kProgram;
        std::string displayFd = "-displayfd", three = "3", nolisten = "-nolisten", tcp = "tcp", screen = "-screen",
                    zero = "0", size = "1024x768x24";
        char* argv[] = {program.data(), displayFd.data(), three.data(), nolisten.data(), tcp.data(),
                        screen.data(), zero.data(), size.data(), nullptr};
        const int rc = ::posix_spawn(&m_pid, kProgram, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            m_pid = -1;
            ::close(fds[0]);
            return;
        }
        std::string number;
        pollfd fd{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&fd, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (!number.empty())
            m_display = ":" + number;
    }
    ~XvfbDisplay()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    static bool Installed() { return ::access(kProgram, X_OK) == 0; }

    // What a program on this display needs in its environment: the display;
    // AddressSanitizer's strict string checks off, which the X keyboard library
    // trips with its length-limited copies; ThreadSanitizer told that Qt's
    // libraries synchronise where it cannot see (neither is our code).
    void AddTo(std::map<std::string, std::string>& env) const
    {
        env["DISPLAY"] = m_display;
        auto extend = [&env](const char* name, const std::string& option) {
            const char* inherited = std::getenv(name);
            env[name] = std::string(inherited ? inherited : "") + (inherited && *inherited ? ":" : "") + option;
        };
        extend("ASAN_OPTIONS", "strict_string_checks=0");
        extend("TSAN_OPTIONS", "suppressions=" + (support::SourceTree() / "Tests/support/qt.tsan").string());
    }
    // ":<n>" once the server runs; empty when it could not start.
    const std::string& Display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

// The threads a process runs now (1 until a toolkit starts its own).
inline int ThreadCount(pid_t pid)
{
    int n = 0;
    if (DIR* dir = ::opendir(("/proc/" + std::to_string(pid) + "/task").c_str())) {
        while (const dirent* entry = ::readdir(dir))
            n += entry->d_name[0] != '.';
        ::closedir(dir);
    }
    return n;
}

} // namespace testsupport
