#include "support/plcsim/TestClient.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace plcsim {

TestClient::~TestClient() { close(); }

bool TestClient::connect(std::uint16_t port, const std::string& host)
{
    close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1 ||
        ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close();
        return false;
    }
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

void TestClient::close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool TestClient::send(const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        ssize_t k = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        done += std::size_t(k);
    }
    return fd_ >= 0;
}

bool TestClient::send(const std::string& text) { return send(textBytes(text)); }

bool TestClient::waitReadable(std::chrono::milliseconds timeout)
{
    pollfd p{fd_, POLLIN, 0};
    int rc;
    do rc = ::poll(&p, 1, int(timeout.count()));
    while (rc < 0 && errno == EINTR);
    timedOut_ = rc == 0;
    return rc > 0;
}

std::vector<std::uint8_t> TestClient::receiveSome(std::chrono::milliseconds timeout)
{
    std::vector<std::uint8_t> out;
    if (fd_ < 0 || !waitReadable(timeout)) return out;
    out.resize(65536);
    ssize_t n = ::recv(fd_, out.data(), out.size(), 0);
    out.resize(n > 0 ? std::size_t(n) : 0);
    return out;
}

std::vector<std::uint8_t> TestClient::receive(std::size_t count, std::chrono::milliseconds timeout)
{
    std::vector<std::uint8_t> out;
    auto end = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count && fd_ >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() < 0 || !waitReadable(left)) break;
        std::uint8_t buf[4096];
        ssize_t n = ::recv(fd_, buf, std::min(sizeof buf, count - out.size()), 0);
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

bool TestClient::closedByPeer(std::chrono::milliseconds timeout)
{
    if (fd_ < 0 || !waitReadable(timeout)) return false;
    std::uint8_t b;
    ssize_t n = ::recv(fd_, &b, 1, MSG_PEEK);
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

std::vector<std::uint8_t> TestClient::roundTrip(const std::vector<std::uint8_t>& request, std::size_t count)
{
    if (!send(request)) return {};
    return receive(count, std::chrono::milliseconds(2000));
}

std::vector<std::uint8_t> hexBytes(const std::string& spaced)
{
    std::vector<std::uint8_t> out;
    std::istringstream in(spaced);
    std::string tok;
    while (in >> tok) out.push_back(std::uint8_t(std::stoul(tok, nullptr, 16)));
    return out;
}

std::vector<std::uint8_t> textBytes(const std::string& text) { return {text.begin(), text.end()}; }

std::string toHex(const std::vector<std::uint8_t>& bytes)
{
    std::string s;
    char b[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s;
}

} // namespace plcsim
