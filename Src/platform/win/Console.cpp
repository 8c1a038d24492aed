#include "platform/win/Console.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace win {

void OpenStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // Opened without O_CLOEXEC: a program started from here finds it too.
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

void IgnoreBrokenPipe()
{
    struct sigaction action{};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
}

ConsoleOutput::ConsoleOutput(int fd) : m_fd(fd), m_writeFd(fd)
{
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        m_writeFd = -1;
        return;
    }
    if (S_ISSOCK(st.st_mode)) {
        m_bSocket = true;
    } else if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
        // A description of our own: O_NONBLOCK on the shared one would reach the
        // shell and every other program writing to the same terminal or pipe.
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        const int own = ::open(self.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (own >= 0)
            m_writeFd = own;
        // Else a pipe without a reader (ENXIO; writes fail at once with EPIPE) or
        // a device that cannot be opened again, such as /dev/null: written as is.
    }
}

ConsoleOutput::~ConsoleOutput()
{
    if (m_writeFd >= 0 && m_writeFd != m_fd)
        ::close(m_writeFd);
}

long ConsoleOutput::Write(const char* data, std::size_t size)
{
    if (m_writeFd < 0) {
        errno = EBADF;
        return -1;
    }
    for (;;) {
        const ssize_t n = m_bSocket ? ::send(m_writeFd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL)
                                    : ::write(m_writeFd, data, size);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return -1;
    }
}

namespace {

constexpr auto kReaderGrace = std::chrono::milliseconds(250); // at the end, for a reader that is there

std::size_t CountLines(std::string_view text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

} // namespace

struct ConsoleWriter::State {
    State(int fd, std::size_t capacity, int fallbackFd) : out(fd), capacity(capacity), fallbackFd(fallbackFd) {}
    ~State()
    {
        if (stopFd >= 0)
            ::close(stopFd);
    }

    ConsoleOutput out;
    const std::size_t capacity;
    const int fallbackFd;
    int stopFd = -1;

    std::mutex lock; // guards what follows; leaf
    std::condition_variable wake;
    std::condition_variable finished;
    std::string queue;
    std::uint64_t dropped = 0;
    std::uint64_t unreported = 0;
    int error = 0;          // why the descriptor takes nothing more (0 while it does)
    bool stopping = false;
    bool done = false;
    std::chrono::steady_clock::time_point giveUpAt{};

    void Run();
    // Writes it all; false when the reader went, failed or was given up on.
    bool WriteAll(std::string_view text, std::size_t& written);
};

bool ConsoleWriter::State::WriteAll(std::string_view text, std::size_t& written)
{
    written = 0;
    while (written < text.size()) {
        const long n = out.Write(text.data() + written, text.size() - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0) {
            std::lock_guard guard(lock);
            error = errno == EPIPE ? EAGAIN : errno;
            return false;
        }
        int waitMs = -1;
        {
            std::lock_guard guard(lock);
            if (stopping) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUpAt -
                                                                                        std::chrono::steady_clock::now());
                if (left.count() <= 0) {
                    error = EAGAIN;
                    return false;
                }
                waitMs = static_cast<int>(left.count());
            }
        }
        pollfd fds[2] = {{out.PollFd(), POLLOUT, 0}, {stopFd, POLLIN, 0}};
        // Once stopping, the stop descriptor stays readable: wait on the reader alone.
        const int rc = ::poll(fds, waitMs < 0 ? 2 : 1, waitMs);
        if (rc < 0 && errno != EINTR) {
            std::lock_guard guard(lock);
            error = errno;
            return false;
        }
    }
    return true;
}

void ConsoleWriter::State::Run()
{
    bool atLineStart = true;
    for (;;) {
        std::string batch;
        std::size_t reportLength = 0;
        std::uint64_t reported = 0;
        {
            std::unique_lock guard(lock);
            wake.wait(guard, [this] { return !queue.empty() || stopping || error != 0; });
            if (error != 0 || (queue.empty() && stopping))
                break;
            // The reader took everything before: say what it missed, where it was missed.
            if (unreported > 0) {
                reported = unreported;
                unreported = 0;
                batch = DroppedText(reported, 0) + '\n';
                reportLength = batch.size();
            }
            batch += queue;
            queue.clear();
        }
        std::size_t written = 0;
        const bool complete = WriteAll(batch, written);
        if (written > 0)
            atLineStart = batch[written - 1] == '\n';
        if (complete)
            continue;
        std::lock_guard guard(lock);
        if (written < reportLength) {
            unreported += reported;
            written = reportLength;
        }
        const std::uint64_t lost = CountLines(std::string_view(batch).substr(written));
        dropped += lost;
        unreported += lost;
        break;
    }
    // The reader is gone, failed, or was given up on at the end: lines still
    // queued are lost, and so is every line after, counted until the end.
    std::string report;
    {
        std::unique_lock guard(lock);
        wake.wait(guard, [this] { return stopping; });
        const std::uint64_t lost = CountLines(queue);
        queue.clear();
        dropped += lost;
        unreported += lost;
        if (unreported > 0)
            report = (atLineStart ? "" : "\n") + DroppedText(unreported, error) + '\n';
    }
    if (!report.empty()) {
        std::size_t written = 0;
        if (error != 0 || !WriteAll(report, written) || written < report.size()) {
            ConsoleOutput fallback(fallbackFd);
            [[maybe_unused]] const long n = fallback.Write(report.data() + (atLineStart ? 0 : 1),
                                                           report.size() - (atLineStart ? 0 : 1));
        }
    }
    std::lock_guard guard(lock);
    done = true;
    finished.notify_all();
}

ConsoleWriter::ConsoleWriter(int fd, std::size_t capacity, int fallbackFd)
    : m_pState(std::make_shared<State>(fd, capacity, fallbackFd))
{
    m_pState->stopFd = ::eventfd(0, EFD_CLOEXEC);
    // The thread keeps the state: when it outlives the writer (a reader that
    // took nothing in the end), nothing it uses goes under it.
    std::thread([state = m_pState] { state->Run(); }).detach();
}

ConsoleWriter::~ConsoleWriter()
{
    State& s = *m_pState;
    std::unique_lock guard(s.lock);
    s.stopping = true;
    s.giveUpAt = std::chrono::steady_clock::now() + kReaderGrace;
    s.wake.notify_all();
    if (s.stopFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(s.stopFd, &one, sizeof one);
    }
    // A file on a server that hangs could hold a write up: never wait for it for ever.
    s.finished.wait_for(guard, kReaderGrace * 4, [&s] { return s.done; });
}

void ConsoleWriter::WriteLine(std::string_view text)
{
    State& s = *m_pState;
    const std::size_t size = text.size() + (text.empty() || text.back() != '\n' ? 1 : 0);
    std::lock_guard guard(s.lock);
    if (s.error != 0 || s.stopping || s.queue.size() + size > s.capacity) {
        ++s.dropped;
        ++s.unreported;
        return;
    }
    const bool wasEmpty = s.queue.empty();
    s.queue.append(text);
    if (size > text.size())
        s.queue.push_back('\n');
    if (wasEmpty)
        s.wake.notify_one();
}

std::uint64_t ConsoleWriter::DroppedLines() const
{
    std::lock_guard guard(m_pState->lock);
    return m_pState->dropped;
}

std::string ConsoleWriter::DroppedText(std::uint64_t lines, int error)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, lines).ptr;
    std::string text = std::string(digits, end) + " log lines were not written to standard output: ";
    if (error == 0 || error == EAGAIN || error == EPIPE) {
        text += "it is not being read";
    } else {
        char buffer[128];
        text += ::strerror_r(error, buffer, sizeof buffer);
    }
    return text;
}

} // namespace win
