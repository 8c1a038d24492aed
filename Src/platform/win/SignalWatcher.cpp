#include "platform/win/SignalWatcher.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <thread>

namespace win {

namespace {

sigset_t QuitSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

void BlockQuitSignals()
{
    const sigset_t set = QuitSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
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
    s.watched = QuitSignals();
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

} // namespace win
