#pragma once
// Standard output and error that never hold a program up: a reader that stops
// reading (a pager left unscrolled, a stalled log shipper) fills the pipe, and
// a blocking write would then stop whichever thread logs; a reader that goes
// away would end the program with SIGPIPE.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace win {

// /dev/null on standard input, output or error where the program was started
// with one closed (`fenwold x.csv >&-`): else the next file, socket or lock the
// program opens takes that number, and its log lines go into it. Call first
// thing in main, before anything is opened.
void OpenStandardDescriptors();

// SIGPIPE ignored for the whole process: a write to a pipe or socket nobody
// reads any more fails with EPIPE instead. Call first thing in main.
void IgnoreBrokenPipe();

// Writes to a console descriptor (a pipe, terminal, socket or file) without
// ever waiting for its reader: pipes and terminals are written through a
// non-blocking descriptor of their own, sockets with MSG_DONTWAIT, files as
// they are.
class ConsoleOutput {
public:
    explicit ConsoleOutput(int fd);
    ~ConsoleOutput();
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    // Bytes written; 0 when the reader is not ready for more; -1 with errno
    // set when the descriptor failed (EPIPE: the reader is gone).
    long Write(const char* data, std::size_t size);
    // The descriptor to wait on for POLLOUT.
    int PollFd() const { return m_writeFd; }

private:
    int m_fd;
    int m_writeFd;      // m_fd, or a non-blocking descriptor of our own
    bool m_bSocket = false;
};

// Lines for a console descriptor, held in a bounded queue and written by a
// thread of the writer's own, so the thread that logs never waits. Lines that
// find the queue full are dropped and counted; once the reader takes lines
// again (or when the writer goes) the count is written as a line of its own.
// The destructor waits a short while for the reader, then gives up on it.
class ConsoleWriter {
public:
    static constexpr std::size_t kDefaultCapacity = 64 * 1024; // bytes

    // Lines that cannot be written to fd by the end are reported on fallbackFd.
    explicit ConsoleWriter(int fd, std::size_t capacity = kDefaultCapacity, int fallbackFd = 2);
    ~ConsoleWriter();
    ConsoleWriter(const ConsoleWriter&) = delete;
    ConsoleWriter& operator=(const ConsoleWriter&) = delete;

    // Queues the text as one line (a line feed added where it lacks one).
    void WriteLine(std::string_view text);
    // Lines dropped so far, reported or not.
    std::uint64_t DroppedLines() const;

    // "1234 log lines were not written to standard output: it is not being read"
    static std::string DroppedText(std::uint64_t lines, int error);

private:
    struct State;
    std::shared_ptr<State> m_pState;
};

} // namespace win
