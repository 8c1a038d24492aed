#include "kestrun/shell/app/SystemdServiceController.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <sstream>
#include <thread>

extern char** environ;

namespace shell {

namespace {

std::string UnitOf(const std::string& name) { return name.find('.') == std::string::npos ? name + ".service" : name; }

std::string VariableOf(const std::string& name)
{
    std::string variable = "TESSARO_DOCUMENT_";
    for (char ch : name)
        variable += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return variable;
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ",") + name;
    return text;
}

} // namespace

SystemdServiceController::SystemdServiceController(const std::string& strName, CommandRunner runner)
    : ServiceController(strName), m_run(std::move(runner)), m_strUnit(UnitOf(strName)),
      m_strVariable(VariableOf(strName))
{
    std::vector<std::string> values;
    if (!Show({"LoadState", "CanStop", "CanFreeze"}, values, m_strUnit))
        return;
    m_bOpen = values[0] == "loaded";
    SetControlAccepted(SERVICE_ACCEPT_STOP, values[1] == "yes");
    SetControlAccepted(SERVICE_ACCEPT_PAUSE_CONTINUE, values[2] == "yes");
}

int SystemdServiceController::RunSystemctl(const std::vector<std::string>& args, std::string& out)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    std::vector<std::string> storage = {"systemctl", "--user"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& part : storage)
        argv.push_back(part.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    pid_t pid = -1;
    // Not the server's own signal mask: systemctl takes SIGINT and SIGTERM as usual.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    const int rc = ::posix_spawnp(&pid, "systemctl", &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return -1;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool SystemdServiceController::Show(const std::vector<std::string>& names, std::vector<std::string>& values,
                                    const std::string& unit)
{
    std::string out;
    if (m_run({"show", "--property=" + Joined(names), "--", unit}, out) != 0)
        return false;
    values.assign(names.size(), std::string());
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t eq = line.find('=');
        for (std::size_t i = 0; eq != std::string::npos && i < names.size(); ++i)
            if (line.compare(0, eq, names[i]) == 0 && eq == names[i].size())
                values[i] = line.substr(eq + 1);
    }
    return true;
}

bool SystemdServiceController::Control(const char* verb, const std::string& unit)
{
    std::string out;
    return m_run({verb, "--", unit}, out) == 0;
}

DWORD SystemdServiceController::StateOf(const std::string& strActive, const std::string& strFreezer)
{
    if (strActive == "active" || strActive == "reloading") {
        if (strFreezer == "frozen")
            return SERVICE_PAUSED;
        if (strFreezer == "freezing")
            return SERVICE_PAUSE_PENDING;
        if (strFreezer == "thawing")
            return SERVICE_CONTINUE_PENDING;
        return SERVICE_RUNNING;
    }
    if (strActive == "activating")
        return SERVICE_START_PENDING;
    if (strActive == "deactivating")
        return SERVICE_STOP_PENDING;
    if (strActive == "inactive" || strActive == "failed")
        return SERVICE_STOPPED;
    return 0;
}

bool SystemdServiceController::QueryState(DWORD& dwState)
{
    std::vector<std::string> values;
    if (!m_bOpen || !Show({"ActiveState", "FreezerState"}, values, m_strUnit))
        return false;
    dwState = StateOf(values[0], values[1]);
    return dwState != 0;
}

ServiceController::StartResult SystemdServiceController::Start(const std::vector<std::string>& args)
{
    if (!m_bOpen)
        return StartResult::Failed;
    DWORD state = 0;
    if (QueryState(state) && state == SERVICE_RUNNING)
        return StartResult::AlreadyRunning;
    std::string out;
    const std::vector<std::string> environment =
        args.empty() ? std::vector<std::string>{"unset-environment", m_strVariable}
                     : std::vector<std::string>{"set-environment", m_strVariable + "=" + args.front()};
    if (m_run(environment, out) != 0)
        return StartResult::Failed;
    return Control("start", m_strUnit) ? StartResult::Started : StartResult::Failed;
}

bool SystemdServiceController::StopDependents()
{
    // Units that need this one: stopping them first is what the manager would
    // do itself; here a failure leaves this unit running.
    std::vector<std::string> values;
    if (!Show({"RequiredBy", "BoundBy"}, values, m_strUnit))
        return false;
    std::istringstream units(values[0] + " " + values[1]);
    for (std::string unit; units >> unit;) {
        std::vector<std::string> state;
        if (!Show({"ActiveState"}, state, unit))
            return false;
        if (StateOf(state[0], {}) != SERVICE_STOPPED && !StopWithin(unit))
            return false;
    }
    return true;
}

bool SystemdServiceController::StopWithin(const std::string& unit)
{
    // A plain "stop" waits as long as the unit's own time-out (90 s by
    // default); a dependent gets 30 s, as the server's own stop expects.
    std::string out;
    if (m_run({"stop", "--no-block", "--", unit}, out) != 0)
        return false;
    const std::uint64_t started = m_pClock->monotonicMs();
    for (;;) {
        std::vector<std::string> state;
        if (!Show({"ActiveState"}, state, unit))
            return false;
        if (StateOf(state[0], {}) == SERVICE_STOPPED)
            return true;
        if (m_pClock->isTimeOver(started, kDependentStopMs))
            return false;
        if (m_pause)
            m_pause(kDependentPollMs);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(kDependentPollMs));
    }
}

bool SystemdServiceController::Stop()
{
    if (!m_bOpen || !Control("stop", m_strUnit))
        return false;
    std::string out;
    m_run({"unset-environment", m_strVariable}, out);
    return true;
}

bool SystemdServiceController::Pause() { return m_bOpen && Control("freeze", m_strUnit); }

bool SystemdServiceController::Continue() { return m_bOpen && Control("thaw", m_strUnit); }

} // namespace shell
