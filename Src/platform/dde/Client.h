#pragma once
// A DDE client over the transport: it finds the server's port and token in the
// endpoint file, presents the token, and makes blocking calls that wait at most
// the client's time-out for their answer. Data lines of advised items that come
// in meanwhile are kept for NextData. One thread uses a client at a time.
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dde/Endpoint.h"
#include "platform/dde/LineCodec.h"
#include "platform/win/WinTypes.h"

namespace win {
class Clock;
}

namespace dde {

struct ClientValue {
    std::uint32_t conversation = 0;
    std::string item;
    LONG quality = 0;
    std::string text;
    bool operator==(const ClientValue&) const = default;
};

class Client {
public:
    enum class Status {
        Ok,
        Nack,            // refused by the server: a negative acknowledgement or a refused topic
        NoServer,        // no endpoint file, nobody listening, or the token was denied
        Timeout,         // no answer within the time-out
        Closed,          // the server closed the conversation or the connection
        ProtocolError,   // the server answered with an error line or something unreadable
    };

    explicit Client(DWORD timeoutMs = 5000, const win::Clock* clock = nullptr);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // The service's endpoint file in the folder (empty: the runtime folder); an
    // empty service takes the only endpoint file there.
    Status Open(std::string_view service = {}, const std::filesystem::path& folder = {});
    Status Open(const Endpoint& endpoint);
    void Close();

    Status Connect(const std::string& topic, std::uint32_t& conversation);
    // Needs no answer; data of the conversation still on its way is dropped.
    void Disconnect(std::uint32_t conversation);
    Status Request(std::uint32_t conversation, const std::string& item, ClientValue& value);
    Status Poke(std::uint32_t conversation, const std::string& item, const std::string& text);
    Status Execute(std::uint32_t conversation, const std::string& command);
    Status Advise(std::uint32_t conversation, const std::string& item);
    // After Ok no data line of the item follows (lines that came before stay queued).
    Status Unadvise(std::uint32_t conversation, const std::string& item);
    // The next data line of any advised item; waits at most timeoutMs (none: for ever).
    Status NextData(ClientValue& value, std::optional<DWORD> timeoutMs);

    // The text of the last refusal, negative acknowledgement or error.
    const std::string& LastError() const { return m_lastError; }
    const std::string& Service() const { return m_service; }

private:
    using Fields = std::vector<std::string>;
    // Reads lines until one answers (kept data and close lines are handled on
    // the way); Ok with the line in answer.
    template <typename Answers>
    Status Await(std::uint32_t conversation, Answers answers, Fields& answer, std::optional<DWORD> timeoutMs);
    bool SendLine(const std::string& line);
    // One received line, waiting until the deadline (none: for ever).
    Status ReadLine(Fields& fields, std::optional<std::uint64_t> deadline);
    // Data and close lines; true when the line was one of them.
    bool Keep(const Fields& fields);
    // Sends the line and waits for its ACK or NACK.
    Status Acknowledged(const std::string& line, std::uint32_t conversation, std::string_view verb,
                        const std::string& item);

    DWORD m_timeoutMs;
    const win::Clock& m_clock;
    int m_fd = -1;
    std::string m_service;
    LineReader m_in;
    std::deque<ClientValue> m_data;
    std::set<std::uint32_t> m_closed;   // conversations the server has closed
    std::uint32_t m_nextId = 1;
    std::string m_lastError;
};

} // namespace dde
