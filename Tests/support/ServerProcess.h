#pragma once
// A server program as a child process of a test: started with its arguments and
// an environment of the test's own (never a display), its output read through a
// pipe, ended by a signal or waited for.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace testsupport {

// A program built beside the tests: in $TESSARO_TEST_BIN, else beside this one.
inline std::string TestProgram(const char* name)
{
    std::filesystem::path dir;
    if (const char* bin = std::getenv("TESSARO_TEST_BIN"))
        dir = bin;
    else
        dir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    return (dir / name).string();
}

// The program's path on PATH, empty when it is not there.
inline std::string FindOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0)
            return dir + "/" + name;
    return {};
}

// Every file under the folder (a server's sockets, locks and endpoints), none
// when it is empty or missing.
inline std::vector<std::string> FilesUnder(const std::filesystem::path& folder)
{
    std::vector<std::string> files;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        if (!it->is_directory())
            files.push_back(it->path().string());
    return files;
}

// The test's environment with the entries given, as "NAME=value" lines for a
// child: without a display (DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM) unless
// the entries name one.
inline std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& env = {})
{
    std::vector<std::string> storage;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (!env.count(name) && name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM")
            storage.push_back(entry);
    }
    for (const auto& [name, value] : env)
        storage.push_back(name + "=" + value);
    return storage;
}

class ServerProcess {
public:
    // With mergeErrors the program's standard error goes to the same pipe.
    explicit ServerProcess(std::string program, bool mergeErrors = false)
        : m_program(std::move(program)), m_mergeErrors(mergeErrors)
    {
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            ::close(m_out);
    }

    bool Start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env)
    {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0)
            return false;
        std::vector<std::string> storage = ChildEnvironment(env);
        std::vector<std::string> argStorage = {m_program};
        argStorage.insert(argStorage.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (std::string& a : argStorage)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : storage)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (m_noOutput)
            posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
        else
            posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        if (m_mergeErrors)
            posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
        const int rc = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        m_out = pipeFds[0];
        return rc == 0;
    }

    // Reads output until it holds the part (count times), or the time is up or
    // the output ends.
    bool WaitFor(const std::string& part, int timeoutMs = 20000, int count = 1)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Count(part) < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                    std::chrono::steady_clock::now());
            if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count())))
                return false;
        }
        return true;
    }

    // Sends the signal and waits (bounded) for the end; the exit status, -1 when
    // it did not end normally or in time (it is killed then).
    int Stop(int signal, int timeoutMs = 20000)
    {
        ::kill(m_pid, signal);
        return Wait(timeoutMs);
    }

    // Waits (bounded) for the end without a signal; the exit status, -1 when
    // it did not end normally or in time (it is killed then).
    int Wait(int timeoutMs = 20000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                m_pid = -1;
                return -1;
            }
            // The output is read meanwhile, so a full pipe never holds the program up.
            if (!ReadSome(static_cast<int>(std::min<long long>(left.count(), 50))))
                ::poll(nullptr, 0, 10);
        }
        while (ReadSome(0)) {
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Started with standard output closed (`program >&-`); errors still come
    // through the pipe when merged.
    void StartWithoutOutput() { m_noOutput = true; }

    // A reader that stops reading: the program's output stays in the pipe (of
    // the given size) until ReadAgain.
    void StopReading(int pipeSize)
    {
        ::fcntl(m_out, F_SETPIPE_SZ, pipeSize);
        m_unread = true;
    }
    void ReadAgain() { m_unread = false; }
    // Bytes the program wrote that nobody read yet.
    int Unread() const
    {
        int n = 0;
        return ::ioctl(m_out, FIONREAD, &n) == 0 ? n : 0;
    }
    // A reader that went away: the program's next write finds no reader.
    void CloseOutput()
    {
        ::close(m_out);
        m_out = -1;
        m_unread = true;
    }

    pid_t Pid() const { return m_pid; }
    int Count(const std::string& part) const
    {
        int n = 0;
        for (std::size_t at = m_output.find(part); at != std::string::npos; at = m_output.find(part, at + 1))
            ++n;
        return n;
    }
    const std::string& Output() const { return m_output; }

private:
    bool ReadSome(int timeoutMs)
    {
        if (m_unread)
            return false;
        pollfd fd{m_out, POLLIN, 0};
        if (::poll(&fd, 1, timeoutMs) <= 0)
            return false;
        char buffer[4096];
        const ssize_t n = ::read(m_out, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        m_output.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    std::string m_program;
    bool m_mergeErrors;
    pid_t m_pid = -1;
    int m_out = -1;
    bool m_unread = false;
    bool m_noOutput = false;
    std::string m_output;
};

} // namespace testsupport
