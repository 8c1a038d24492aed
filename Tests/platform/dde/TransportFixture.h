#pragma once
// A DDE server for transport tests: a toolkit with a fake clock and the fake
// server behind its callback, the transport in a scratch runtime folder, the
// test thread as the application thread, and a raw line client.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "FakeBrisantServer.h"
#include "platform/dde/Endpoint.h"
#include "platform/dde/LineCodec.h"
#include "platform/dde/Transport.h"
#include "platform/win/Clock.h"
#include "support/ScratchFolder.h"
#include "support/dde/IdlePump.h"

namespace ddetest {

// A client that speaks the lines by hand.
class RawClient {
public:
    explicit RawClient(std::uint16_t port, int receiveBuffer = 0)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        EXPECT_EQ(::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ~RawClient() { ::close(m_fd); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    void Send(const std::string& text) { ASSERT_EQ(::send(m_fd, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size())); }
    // The next line without its line feed; "<eof>" when the server closed,
    // "<timeout>" after 5 s without one.
    std::string ReadLine()
    {
        std::string line;
        for (;;) {
            if (m_reader.Next(line) == dde::LineReader::Verdict::Line)
                return line;
            pollfd pfd{m_fd, POLLIN, 0};
            if (::poll(&pfd, 1, 5000) != 1)
                return "<timeout>";
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return "<eof>";
            m_reader.Append(buffer, static_cast<std::size_t>(n));
        }
    }

private:
    int m_fd = -1;
    dde::LineReader m_reader;
};

class TransportTest : public ::testing::Test {
protected:
    TransportTest()
    {
        server.toolkit = &toolkit;
        g_server = &server;
        server.id = toolkit.Setup(0, 0, "", &Callback);
        options.folder = scratch.path() / "tessaro";
    }
    ~TransportTest() override
    {
        transport.reset();
        g_server = nullptr;
    }

    void Start()
    {
        transport = std::make_unique<dde::Transport>(toolkit, server.id, "Fenwold", options);
        std::string error;
        ASSERT_TRUE(transport->Start(&error)) << error;
        auto endpoint = dde::ReadEndpointFile(transport->EndpointFile());
        ASSERT_TRUE(endpoint);
        token = endpoint->token;
    }
    // A client past the token.
    std::unique_ptr<RawClient> Ready(int receiveBuffer = 0)
    {
        auto client = std::make_unique<RawClient>(transport->Port(), receiveBuffer);
        client->Send("TOKEN\t" + token + "\n");
        EXPECT_EQ(Answer(*client), "READY\tFenwold");
        return client;
    }
    // The client's next line, read while this thread gives the toolkit its passes.
    std::string Answer(RawClient& client)
    {
        return pump.Run([&] { return client.ReadLine(); });
    }
    _BRISANTDATAVALUE HeapText(const std::string& text)
    {
        _BRISANTDATAVALUE value{};
        value.pszVal = static_cast<char*>(toolkit.Allocate(server.id, toolkit.StartupHeap(), text.size() + 1));
        text.copy(value.pszVal, text.size());
        return value;
    }

    std::uint64_t now = 1000;
    dde::Toolkit toolkit{[this] { return now; }};
    FakeServer server;
    support::ScratchFolder scratch;
    win::FakeClock clock{1000};
    dde::TransportOptions options;
    std::unique_ptr<dde::Transport> transport;
    std::string token;
    std::function<void()> beforePass;   // runs at the start of every idle pass
    support::IdlePump pump{toolkit, [this] {
                               if (beforePass)
                                   beforePass();
                               now += 100;
                               toolkit.Idle(server.id);
                           }};
};

} // namespace ddetest
