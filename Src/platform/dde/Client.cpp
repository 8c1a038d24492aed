#include "platform/dde/Client.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/win/Clock.h"

namespace dde {

namespace {

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

bool IsLine(const std::vector<std::string>& f, std::string_view verb, std::size_t count, std::uint32_t conversation)
{
    return f.size() == count && f[0] == verb && f[1] == std::to_string(conversation);
}

} // namespace

Client::Client(DWORD timeoutMs, const win::Clock* clock)
    : m_timeoutMs(timeoutMs), m_clock(clock ? *clock : win::SystemClock::instance())
{
}

Client::~Client() { Close(); }

void Client::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_in = LineReader();
    m_data.clear();
    m_closed.clear();
}

Client::Status Client::Open(std::string_view service, const std::filesystem::path& folder)
{
    const std::filesystem::path where = folder.empty() ? EndpointFolder() : folder;
    std::string name(service);
    if (name.empty()) {
        const std::vector<std::string> services = ListEndpointServices(where);
        if (services.size() != 1) {
            m_lastError = services.empty() ? "no DDE server is running" : "more than one DDE server: name one";
            return Status::NoServer;
        }
        name = services.front();
    }
    const std::optional<Endpoint> endpoint = IsValidServiceName(name) ? ReadEndpointFile(EndpointPath(where, name)) : std::nullopt;
    if (!endpoint) {
        m_lastError = "no DDE server " + name;
        return Status::NoServer;
    }
    return Open(*endpoint);
}

Client::Status Client::Open(const Endpoint& endpoint)
{
    Close();
    m_service = endpoint.service;
    m_lastError = "no DDE server listens on port " + std::to_string(endpoint.port);
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return Status::NoServer;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(endpoint.port);
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        pollfd pfd{m_fd, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        if (errno != EINPROGRESS || ::poll(&pfd, 1, static_cast<int>(m_timeoutMs)) != 1
            || ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            Close();
            return Status::NoServer;
        }
    }
    Fields answer;
    const auto ready = [](const Fields& f) {
        return (f.size() == 2 && f[0] == "READY") || (f.size() == 1 && f[0] == "DENIED") || (f.size() == 3 && f[0] == "ERROR");
    };
    if (!SendLine(FormatLine({"TOKEN", endpoint.token})) || Await(0, ready, answer, m_timeoutMs) != Status::Ok
        || answer[0] != "READY") {
        // Only a refusal of the token blames the token.
        if (!answer.empty() && answer[0] == "ERROR")
            m_lastError = "the DDE server " + endpoint.service + " refused the connection: " + answer[2];
        else if (!answer.empty() && answer[0] == "DENIED")
            m_lastError = "the DDE server " + endpoint.service + " did not take the token";
        else
            m_lastError = "the DDE server " + endpoint.service + " did not answer the token";
        Close();
        return Status::NoServer;
    }
    m_lastError.clear();
    return Status::Ok;
}

bool Client::SendLine(const std::string& line)
{
    std::string_view rest = line;
    const std::uint64_t start = m_clock.monotonicMs();
    while (m_fd >= 0 && !rest.empty()) {
        const ssize_t n = ::send(m_fd, rest.data(), rest.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            rest.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        const std::uint64_t spent = m_clock.monotonicMs() - start;
        pollfd pfd{m_fd, POLLOUT, 0};
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || spent > m_timeoutMs
            || ::poll(&pfd, 1, static_cast<int>(m_timeoutMs - spent)) != 1)
            return false;
    }
    return m_fd >= 0;
}

Client::Status Client::ReadLine(Fields& fields, std::optional<std::uint64_t> deadline)
{
    for (;;) {
        std::string line;
        const LineReader::Verdict verdict = m_in.Next(line);
        if (verdict == LineReader::Verdict::TooLong) {
            m_lastError = "the server sent a line that is too long";
            return Status::ProtocolError;
        }
        if (verdict == LineReader::Verdict::Line) {
            auto parsed = ParseLine(line);
            if (!parsed || parsed->empty()) {
                m_lastError = "the server sent an unreadable line";
                return Status::ProtocolError;
            }
            fields = std::move(*parsed);
            return Status::Ok;
        }
        if (m_fd < 0)
            return Status::Closed;
        int wait = -1;
        if (deadline) {
            const std::uint64_t now = m_clock.monotonicMs();
            if (now >= *deadline)
                return Status::Timeout;
            wait = static_cast<int>(std::min<std::uint64_t>(*deadline - now, 60000));
        }
        pollfd pfd{m_fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            continue;   // the deadline decides above
        char buffer[4096];
        const ssize_t n = ready < 0 ? -1 : ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0) {
            m_lastError = "the server closed the connection";
            ::close(m_fd);
            m_fd = -1;
            continue;   // lines already received are still handed out
        }
        m_in.Append(buffer, static_cast<std::size_t>(n));
    }
}

bool Client::Keep(const Fields& f)
{
    std::uint32_t id = 0;
    if (f.size() >= 2)
        id = static_cast<std::uint32_t>(std::strtoul(f[1].c_str(), nullptr, 10));
    if (f.size() == 5 && f[0] == "DATA") {
        m_data.push_back({id, f[2], static_cast<LONG>(std::atol(f[3].c_str())), f[4]});
        return true;
    }
    if (f.size() == 2 && f[0] == "CLOSED") {
        m_closed.insert(id);
        return true;
    }
    return false;
}

template <typename Answers>
Client::Status Client::Await(std::uint32_t conversation, Answers answers, Fields& answer, std::optional<DWORD> timeoutMs)
{
    std::optional<std::uint64_t> deadline;
    if (timeoutMs)
        deadline = m_clock.monotonicMs() + *timeoutMs;
    for (;;) {
        if (conversation != 0 && m_closed.count(conversation)) {
            m_lastError = "the server closed the conversation";
            return Status::Closed;
        }
        Fields f;
        const Status status = ReadLine(f, deadline);
        if (status != Status::Ok) {
            if (status == Status::Timeout)
                m_lastError = "no answer in time";
            return status;
        }
        if (answers(f)) {
            answer = std::move(f);
            return Status::Ok;
        }
        if (Keep(f))
            continue;
        if (f[0] == "ERROR" && f.size() == 3 && (f[1].empty() || f[1] == std::to_string(conversation))) {
            m_lastError = f[2];
            return Status::ProtocolError;
        }
        // Anything else answers an earlier call that gave up waiting.
    }
}

Client::Status Client::Connect(const std::string& topic, std::uint32_t& conversation)
{
    const std::uint32_t id = m_nextId++;
    const std::string text = std::to_string(id);
    Fields answer;
    const auto answers = [&](const Fields& f) {
        return f.size() == 3 && (f[0] == "CONNECTED" || f[0] == "REFUSED") && f[1] == text;
    };
    if (!SendLine(FormatLine({"CONNECT", text, m_service, topic}))) {
        m_lastError = "the server closed the connection";
        return Status::Closed;
    }
    Status status = Await(id, answers, answer, m_timeoutMs);
    if (status != Status::Ok)
        return status;
    if (answer[0] == "REFUSED") {
        m_lastError = "topic " + topic + " refused";
        return Status::Nack;
    }
    conversation = id;
    return Status::Ok;
}

void Client::Disconnect(std::uint32_t conversation)
{
    SendLine(FormatLine({"DISCONNECT", std::to_string(conversation)}));
    std::erase_if(m_data, [&](const ClientValue& v) { return v.conversation == conversation; });
    m_closed.erase(conversation);
}

Client::Status Client::Request(std::uint32_t conversation, const std::string& item, ClientValue& value)
{
    Fields answer;
    const auto answers = [&](const Fields& f) {
        return (IsLine(f, "VALUE", 5, conversation) && SameName(f[2], item))
               || (IsLine(f, "NACK", 5, conversation) && f[2] == "REQUEST" && SameName(f[3], item));
    };
    if (!SendLine(FormatLine({"REQUEST", std::to_string(conversation), item})))
        return Status::Closed;
    Status status = Await(conversation, answers, answer, m_timeoutMs);
    if (status != Status::Ok)
        return status;
    if (answer[0] == "NACK") {
        m_lastError = answer[4].empty() ? "request of " + item + " failed" : answer[4];
        return Status::Nack;
    }
    value = {conversation, answer[2], static_cast<LONG>(std::atol(answer[3].c_str())), answer[4]};
    return Status::Ok;
}

Client::Status Client::Acknowledged(const std::string& line, std::uint32_t conversation, std::string_view verb,
                                    const std::string& item)
{
    if (!SendLine(line))
        return Status::Closed;
    Fields answer;
    const auto answers = [&](const Fields& f) {
        return ((IsLine(f, "ACK", 4, conversation) || IsLine(f, "NACK", 5, conversation)) && f[2] == verb
                && SameName(f[3], item));
    };
    Status status = Await(conversation, answers, answer, m_timeoutMs);
    if (status != Status::Ok)
        return status;
    if (answer[0] == "NACK") {
        m_lastError = answer[4].empty() ? std::string(verb) + " of " + item + " refused" : answer[4];
        return Status::Nack;
    }
    return Status::Ok;
}

Client::Status Client::Poke(std::uint32_t conversation, const std::string& item, const std::string& text)
{
    return Acknowledged(FormatLine({"POKE", std::to_string(conversation), item, text}), conversation, "POKE", item);
}

Client::Status Client::Execute(std::uint32_t conversation, const std::string& command)
{
    return Acknowledged(FormatLine({"EXECUTE", std::to_string(conversation), command}), conversation, "EXECUTE", command);
}

Client::Status Client::Advise(std::uint32_t conversation, const std::string& item)
{
    return Acknowledged(FormatLine({"ADVISE", std::to_string(conversation), item}), conversation, "ADVISE", item);
}

Client::Status Client::Unadvise(std::uint32_t conversation, const std::string& item)
{
    return Acknowledged(FormatLine({"UNADVISE", std::to_string(conversation), item}), conversation, "UNADVISE", item);
}

Client::Status Client::NextData(ClientValue& value, std::optional<DWORD> timeoutMs)
{
    std::optional<std::uint64_t> deadline;
    if (timeoutMs)
        deadline = m_clock.monotonicMs() + *timeoutMs;
    while (m_data.empty()) {
        Fields f;
        const Status status = ReadLine(f, deadline);
        if (status != Status::Ok)
            return status;
        const std::size_t closed = m_closed.size();
        if (Keep(f) && m_closed.size() != closed) {
            m_lastError = "the server closed the conversation";
            return Status::Closed;
        }
    }
    value = std::move(m_data.front());
    m_data.pop_front();
    return Status::Ok;
}

} // namespace dde
