// Console output that never waits for its reader: a reader that stops reading
// costs lines, counted and reported once it reads again; a reader that goes
// away costs every line after, reported where it can be.
#include "platform/win/Console.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <charconv>
#include <chrono>
#include <future>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr const char* kNotRead = " log lines were not written to standard output: it is not being read";

// Everything the pipe gives until its writers are gone, or nothing more comes for 10 s.
std::string ReadToEnd(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            return text + "<no end>";
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

// SIGPIPE ignored while the test runs, as every program of ours has it.
class BrokenPipeIgnored {
public:
    BrokenPipeIgnored()
    {
        struct sigaction ignore{};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &ignore, &m_previous);
    }
    ~BrokenPipeIgnored() { ::sigaction(SIGPIPE, &m_previous, nullptr); }

private:
    struct sigaction m_previous{};
};

TEST(ConsoleWriter, AReaderThatStopsReadingNeverHoldsTheWriterUpAndLearnsWhatItMissed)
{
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    ASSERT_GT(::fcntl(fds[1], F_SETPIPE_SZ, 4096), 0); // one page: full after 64 lines
    constexpr int kLines = 400;
    auto writer = std::make_unique<win::ConsoleWriter>(fds[1], 1024);
    // Far more than the pipe and the queue hold, with nobody reading.
    auto writing = std::async(std::launch::async, [&writer] {
        for (int i = 0; i < kLines; ++i) {
            char line[64];
            std::snprintf(line, sizeof line, "line %03d %050d", i, 0);
            writer->WriteLine(line);
        }
    });
    const bool returned = writing.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    std::thread reader; // unblocks a writer that did wait
    std::string output;
    if (!returned)
        reader = std::thread([&] { output = ReadToEnd(fds[0]); });
    ASSERT_TRUE(returned) << "writing waited for the reader";
    EXPECT_GT(writer->DroppedLines(), 0u);

    // The reader reads again: what was queued, then how much it missed.
    reader = std::thread([&] { output = ReadToEnd(fds[0]); });
    writer.reset();
    ::close(fds[1]);
    reader.join();
    ::close(fds[0]);

    std::istringstream lines(output);
    int shown = 0, missed = 0, last = -1, reports = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("line ", 0) == 0) {
            const int number = std::stoi(line.substr(5, 3));
            EXPECT_GT(number, last) << line;
            last = number;
            ++shown;
        } else {
            int count = 0;
            const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), count);
            ASSERT_EQ(error, std::errc()) << line;
            EXPECT_EQ(std::string_view(end, static_cast<std::size_t>(line.data() + line.size() - end)), kNotRead);
            missed += count;
            ++reports;
        }
    }
    EXPECT_GE(reports, 1) << output;
    EXPECT_EQ(shown + missed, kLines) << output;
}

TEST(ConsoleWriter, AReaderThatWentCostsEveryLineAndTheCountGoesToTheFallback)
{
    BrokenPipeIgnored ignored;
    int out[2], err[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(err, O_CLOEXEC), 0);
    ::close(out[0]); // the reader went
    {
        win::ConsoleWriter writer(out[1], win::ConsoleWriter::kDefaultCapacity, err[1]);
        for (int i = 0; i < 5; ++i) {
            writer.WriteLine("gone");
            std::this_thread::yield();
        }
    }
    ::close(out[1]);
    ::close(err[1]);
    EXPECT_EQ(ReadToEnd(err[0]), std::string("5") + kNotRead + "\n");
    ::close(err[0]);
}

TEST(ConsoleWriter, AWriteThatFailsOtherwiseSaysWhy)
{
    EXPECT_EQ(win::ConsoleWriter::DroppedText(1234, EAGAIN), std::string("1234") + kNotRead);
    EXPECT_EQ(win::ConsoleWriter::DroppedText(7, ENOSPC),
              "7 log lines were not written to standard output: No space left on device");
}

TEST(ConsoleOutput, AFullPipeTakesNothingMoreAndNeverWaits)
{
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    ASSERT_GT(::fcntl(fds[1], F_SETPIPE_SZ, 4096), 0);
    win::ConsoleOutput output(fds[1]);
    const std::string page(4096, 'x');
    EXPECT_EQ(output.Write(page.data(), page.size()), 4096);
    EXPECT_EQ(output.Write("y", 1), 0);
    // The shared description stays as it was: blocking, for whoever else writes to it.
    EXPECT_EQ(::fcntl(fds[1], F_GETFL) & O_NONBLOCK, 0);
    ::close(fds[0]);
    ::close(fds[1]);
}

} // namespace
