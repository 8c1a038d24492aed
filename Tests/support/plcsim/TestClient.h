#pragma once
// A small blocking TCP client for loopback tests against the simulator.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace plcsim {

class TestClient {
public:
    TestClient() = default;
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool connect(std::uint16_t port, const std::string& host = "127.0.0.1");
    void close();
    bool send(const std::vector<std::uint8_t>& bytes);
    bool send(const std::string& text);

    // Whatever one recv returns within `timeout`; empty on time-out or close.
    std::vector<std::uint8_t> receiveSome(std::chrono::milliseconds timeout);
    // Exactly `count` bytes, or what arrived before time-out or close.
    std::vector<std::uint8_t> receive(std::size_t count, std::chrono::milliseconds timeout);
    // True when the peer closed (recv returned 0 or a reset) within `timeout`.
    bool closedByPeer(std::chrono::milliseconds timeout);
    bool timedOut() const { return timedOut_; }

    // Sends and reads one answer of `count` bytes (2 s limit).
    std::vector<std::uint8_t> roundTrip(const std::vector<std::uint8_t>& request, std::size_t count);

private:
    bool waitReadable(std::chrono::milliseconds timeout);
    int fd_ = -1;
    bool timedOut_ = false;
};

std::vector<std::uint8_t> hexBytes(const std::string& spaced);   // "50 00 FF" -> bytes
std::vector<std::uint8_t> textBytes(const std::string& text);
std::string toHex(const std::vector<std::uint8_t>& bytes);        // "50 00 FF"

} // namespace plcsim
