#pragma once
// A pseudo-terminal pair standing in for a serial cable: the program under test
// opens the port end as COMn (through TESSARO_COMn), the test plays the device on
// the other end.
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace support {

class PseudoTerminal {
public:
    // comNumber is the one-based COM number whose device this pair becomes.
    explicit PseudoTerminal(unsigned comNumber) : key_("TESSARO_COM" + std::to_string(comNumber))
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        char name[128];
        if (::ptsname_r(master_, name, sizeof name) != 0)
            throw std::runtime_error("no pseudo-terminal name");
        path_ = name;
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        ::setenv(key_.c_str(), path_.c_str(), 1);
    }
    ~PseudoTerminal()
    {
        ::unsetenv(key_.c_str());
        if (master_ >= 0)
            ::close(master_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& path() const { return path_; }

    // The device's side: send bytes to the port.
    void Send(const std::vector<unsigned char>& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else if (errno != EAGAIN && errno != EINTR)
                throw std::runtime_error("pseudo-terminal write failed");
        }
    }

    // Everything the port sent, waiting up to timeoutMs for the first byte
    // and until count bytes came when count is given.
    std::vector<unsigned char> Receive(std::size_t count = 0, int timeoutMs = 2000)
    {
        std::vector<unsigned char> out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            unsigned char buf[256];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) {
                out.insert(out.end(), buf, buf + n);
                if (count == 0 || out.size() >= count)
                    return out;
                continue;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0)
                return out;
            pollfd p{master_, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left));
        }
    }

    // The device hangs up.
    void CloseDeviceSide()
    {
        ::close(master_);
        master_ = -1;
    }

private:
    std::string key_;
    std::string path_;
    int master_ = -1;
};

} // namespace support
