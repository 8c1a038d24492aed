#include "kestrun/shell/Headless.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "kestrun/shell/MessageBox.h"
#include "kestrun/shell/ServerApp.h"
#include "kestrun/shell/ServerFrame.h"
#include "platform/win/HeadlessDispatcher.h"

namespace shell {

void StreamLogWindow::AppendText(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 1);
    for (char ch : text)
        if (ch != '\r')
            out.push_back(ch);
    if (out.empty() || out.back() != '\n')
        out.push_back('\n'); // one line of output per line shown
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(m_fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

std::unique_ptr<LogWindow> HeadlessWindows::CreateLogWindow(CdsLogView&)
{
    return std::make_unique<StreamLogWindow>(STDOUT_FILENO);
}

struct SignalWatcher::State {
    sigset_t watched{};
    sigset_t previous{};
    int signalFd = -1;
    int stopFd = -1;
    std::thread thread;
};

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal) : m_pState(std::make_unique<State>())
{
    State& s = *m_pState;
    sigemptyset(&s.watched);
    sigaddset(&s.watched, SIGINT);
    sigaddset(&s.watched, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &s.watched, &s.previous);
    s.signalFd = ::signalfd(-1, &s.watched, SFD_CLOEXEC);
    s.stopFd = ::eventfd(0, EFD_CLOEXEC);
    if (s.signalFd < 0 || s.stopFd < 0)
        return;
    s.thread = std::thread([&s, onSignal = std::move(onSignal)] {
        pollfd fds[2] = {{s.signalFd, POLLIN, 0}, {s.stopFd, POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents)
                return;
            signalfd_siginfo info{};
            if (fds[0].revents && ::read(s.signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
                onSignal(static_cast<int>(info.ssi_signo));
        }
    });
}

SignalWatcher::~SignalWatcher()
{
    State& s = *m_pState;
    if (s.thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(s.stopFd, &one, sizeof one);
        s.thread.join();
    }
    if (s.signalFd >= 0)
        ::close(s.signalFd);
    if (s.stopFd >= 0)
        ::close(s.stopFd);
    pthread_sigmask(SIG_SETMASK, &s.previous, nullptr);
}

bool SignalWatcher::IsWatching() const { return m_pState->thread.joinable(); }

bool HasDisplay()
{
    for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

int RunApplication(CdsServerApp& app, std::vector<std::string> args, win::Dispatcher& dispatcher,
                   WindowFactory& windows, MessageBoxPresenter& presenter, const std::function<void()>& runLoop)
{
    MessageBoxPresenter* previous = InstallMessageBoxPresenter(&presenter);
    // Before the application starts any thread, so only the watcher sees the signals.
    auto signals = std::make_unique<SignalWatcher>([&dispatcher, &app](int) {
        app.RequestStop();
        dispatcher.post([&app] {
            if (CdsServerFrame* pFrame = app.GetServerFrame(); pFrame && pFrame->IsWindow())
                pFrame->CloseWithDefaultAnswers();
            else
                app.Quit(0);
        });
    });
    app.SetDispatcher(&dispatcher);
    app.SetWindowFactory(&windows);
    app.SetArguments(std::move(args));
    const bool started = app.InitInstance();
    if (started)
        runLoop();
    const int exitCode = app.ExitInstance();
    signals.reset(); // before the dispatcher it posts to goes
    app.SetWindowFactory(nullptr);
    app.SetDispatcher(nullptr);
    InstallMessageBoxPresenter(previous);
    return started || app.HasExitCode() ? exitCode : 1;
}

int RunHeadless(CdsServerApp& app, std::vector<std::string> args)
{
    win::HeadlessDispatcher dispatcher;
    NonInteractivePresenter presenter;
    HeadlessWindows windows;
    return RunApplication(app, std::move(args), dispatcher, windows, presenter, [&dispatcher] { dispatcher.run(); });
}

} // namespace shell
