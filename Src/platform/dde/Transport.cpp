#include "platform/dde/Transport.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/dde/Endpoint.h"
#include "platform/dde/LineCodec.h"
#include "platform/win/Clock.h"

namespace dde {

struct Transport::Connection {
    int fd = -1;
    bool authenticated = false;
    bool closing = false;   // goes once its lines are sent
    bool dropped = false;   // goes now
    std::uint64_t acceptedMs = 0;
    LineReader in;
    std::string out;
    std::size_t sent = 0;   // bytes of out already sent
    std::unordered_map<std::uint32_t, DWORD> conversations;   // client id -> toolkit's
    std::size_t Pending() const { return out.size() - sent; }
};

namespace {

std::string Text(long long n) { return std::to_string(n); }

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

Transport::Transport(Toolkit& toolkit, DWORD server, std::string service, TransportOptions options)
    : m_toolkit(toolkit),
      m_server(server),
      m_service(std::move(service)),
      m_options(std::move(options)),
      m_clock(m_options.clock ? *m_options.clock : win::SystemClock::instance())
{
}

Transport::~Transport() { Stop(); }

TransportCounters Transport::Counters() const
{
    return {m_accepted.load(), m_denied.load(), m_slow.load(), m_open.load()};
}

bool Transport::Start(std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        CloseFd(m_listenFd);
        CloseFd(m_wakeFd);
        return false;
    };
    if (m_thread.joinable())
        return fail("already started");
    m_token = NewToken();
    if (m_token.empty())
        return fail("no random token");
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listenFd, 64) != 0
        || ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return fail(std::string("listen on 127.0.0.1: ") + std::strerror(errno));
    m_port = ntohs(address.sin_port);
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0)
        return fail(std::string("eventfd: ") + std::strerror(errno));
    const std::filesystem::path folder = m_options.folder.empty() ? EndpointFolder() : m_options.folder;
    std::error_code written;
    if (!WriteEndpointFile(folder, {m_service, m_port, m_token}, written))
        return fail("endpoint file in " + folder.string() + ": " + written.message());
    m_endpointFile = EndpointPath(folder, m_service);
    m_stop = false;
    m_toolkit.SetMessageSignal(this);
    m_thread = std::thread([this] { Run(); });
    return true;
}

void Transport::Stop()
{
    if (!m_thread.joinable())
        return;
    // New clients find no server from now on.
    RemoveEndpointFile(m_endpointFile, m_token);
    m_stop = true;
    Raise();
    m_thread.join();
    // After this no raise can reach the wake handle any more.
    m_toolkit.SetMessageSignal(nullptr);
    CloseFd(m_listenFd);
    CloseFd(m_wakeFd);
}

void Transport::Raise()
{
    const std::uint64_t one = 1;
    // A full counter already wakes the thread, so a failed write loses nothing.
    [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

void Transport::Run()
{
    while (!m_stop.load()) {
        Wait(NextTimeout());
        Collect();
        SweepDropped();
    }
    FlushAll();
    while (!m_connections.empty())
        Drop(*m_connections.back());
}

int Transport::NextTimeout() const
{
    std::uint64_t wait = UINT64_MAX;
    const std::uint64_t now = m_clock.monotonicMs();
    for (const auto& c : m_connections) {
        if (c->authenticated)
            continue;
        const std::uint64_t due = c->acceptedMs + m_options.tokenTimeoutMs + 1;
        wait = std::min(wait, due > now ? due - now : 0);
    }
    return wait == UINT64_MAX ? -1 : static_cast<int>(std::min<std::uint64_t>(wait, 60000));
}

void Transport::Wait(int timeoutMs)
{
    std::vector<pollfd> fds;
    fds.reserve(m_connections.size() + 2);
    fds.push_back({m_wakeFd, POLLIN, 0});
    fds.push_back({m_listenFd, POLLIN, 0});
    for (const auto& c : m_connections) {
        short events = c->closing ? 0 : POLLIN;
        if (c->Pending() > 0)
            events |= POLLOUT;
        fds.push_back({c->fd, events, 0});
    }
    if (::poll(fds.data(), fds.size(), timeoutMs) < 0)
        return;
    if (fds[0].revents & POLLIN) {
        std::uint64_t count = 0;
        [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &count, sizeof count);
    }
    // Connections accepted below are polled from the next round on.
    const std::size_t polled = m_connections.size();
    for (std::size_t i = 0; i < polled; ++i) {
        Connection& c = *m_connections[i];
        const short revents = fds[i + 2].revents;
        if (revents & (POLLIN | POLLHUP | POLLERR))
            Read(c);
        if (!c.dropped && (revents & POLLOUT))
            Write(c);
    }
    if (fds[1].revents & POLLIN)
        Accept();
    const std::uint64_t now = m_clock.monotonicMs();
    for (const auto& c : m_connections) {
        if (!c->authenticated && !c->dropped && win::isTimeOver(c->acceptedMs, now, m_options.tokenTimeoutMs)) {
            c->dropped = true;
            ++m_denied;
        }
    }
}

void Transport::Accept()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (m_options.sendBufferBytes > 0)
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &m_options.sendBufferBytes, sizeof m_options.sendBufferBytes);
        // Whoever waits longest for a token goes first; the newcomer is most likely
        // a client that sends its token at once.
        std::size_t waiting = 0;
        Connection* oldest = nullptr;
        for (const auto& c : m_connections) {
            if (c->authenticated || c->dropped)
                continue;
            ++waiting;
            if (!oldest || c->acceptedMs < oldest->acceptedMs)
                oldest = c.get();
        }
        if (oldest && waiting >= std::max<std::size_t>(m_options.maxUnauthenticated, 1)) {
            oldest->dropped = true;
            ++m_denied;
        }
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->acceptedMs = m_clock.monotonicMs();
        m_connections.push_back(std::move(c));
        ++m_accepted;
        ++m_open;
    }
}

std::size_t Transport::AuthenticatedCount() const
{
    return static_cast<std::size_t>(std::count_if(m_connections.begin(), m_connections.end(),
                                                  [](const auto& c) { return c->authenticated && !c->dropped; }));
}

void Transport::Read(Connection& c)
{
    char buffer[4096];
    // A bounded share per round, so one busy client cannot starve the others.
    for (int round = 0; round < 16 && !c.dropped && !c.closing; ++round) {
        const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            c.dropped = true;
            return;
        }
        if (n < 0)
            return;
        c.in.Append(buffer, static_cast<std::size_t>(n));
        std::string line;
        for (;;) {
            const LineReader::Verdict verdict = c.in.Next(line);
            if (verdict == LineReader::Verdict::NeedMore)
                break;
            if (verdict == LineReader::Verdict::TooLong) {
                Send(c, FormatLine({"ERROR", "", "line too long"}));
                c.closing = true;
                return;
            }
            HandleLine(c, line);
            if (c.closing || c.dropped)
                return;
        }
    }
}

void Transport::Write(Connection& c)
{
    while (c.Pending() > 0) {
        const ssize_t n = ::send(c.fd, c.out.data() + c.sent, c.Pending(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n <= 0) {
            c.dropped = true;
            return;
        }
        c.sent += static_cast<std::size_t>(n);
    }
    if (c.Pending() == 0) {
        c.out.clear();
        c.sent = 0;
        if (c.closing)
            c.dropped = true;
    } else if (c.sent > 64 * 1024) {
        c.out.erase(0, c.sent);
        c.sent = 0;
    }
}

void Transport::Send(Connection& c, std::string line)
{
    if (c.dropped)
        return;
    if (c.Pending() + line.size() > m_options.maxOutputBytes) {
        // It has stopped reading: holding more for it would hold the server.
        c.dropped = true;
        ++m_slow;
        return;
    }
    c.out += line;
    Write(c);
}

void Transport::Drop(Connection& c)
{
    for (const auto& [id, conversation] : c.conversations) {
        m_toolkit.Disconnect(conversation);
        m_routes.erase(conversation);
    }
    c.conversations.clear();
    CloseFd(c.fd);
    auto it = std::find_if(m_connections.begin(), m_connections.end(), [&](const auto& p) { return p.get() == &c; });
    if (it != m_connections.end()) {
        m_connections.erase(it);
        --m_open;
    }
}

void Transport::SweepDropped()
{
    for (std::size_t i = m_connections.size(); i-- > 0;) {
        Connection& c = *m_connections[i];
        if (c.dropped || (c.closing && c.Pending() == 0))
            Drop(c);
    }
}

void Transport::FlushAll()
{
    Collect();
    const std::uint64_t start = m_clock.monotonicMs();
    for (;;) {
        SweepDropped();
        std::vector<pollfd> fds;
        for (const auto& c : m_connections)
            if (c->Pending() > 0)
                fds.push_back({c->fd, POLLOUT, 0});
        const std::uint64_t now = m_clock.monotonicMs();
        if (fds.empty() || win::isTimeOver(start, now, m_options.flushTimeoutMs))
            return;
        const std::uint64_t left = m_options.flushTimeoutMs + 1 - (now - start);
        if (::poll(fds.data(), fds.size(), static_cast<int>(std::min<std::uint64_t>(left, 1000))) < 0)
            return;
        for (const auto& c : m_connections)
            if (c->Pending() > 0)
                Write(*c);
    }
}

// --- lines from clients ---

struct Transport::Verb {
    std::string_view name;
    std::size_t fields;   // including the verb
    Handler handler;
};

const Transport::Verb* Transport::FindVerb(std::string_view name)
{
    static const Verb kVerbs[] = {
        {"CONNECT", 4, &Transport::OnConnect},     {"DISCONNECT", 2, &Transport::OnDisconnect},
        {"REQUEST", 3, &Transport::OnRequest},     {"ADVISE", 3, &Transport::OnAdvise},
        {"UNADVISE", 3, &Transport::OnUnadvise},   {"POKE", 4, &Transport::OnPoke},
        {"EXECUTE", 3, &Transport::OnExecute},
    };
    for (const Verb& verb : kVerbs)
        if (verb.name == name)
            return &verb;
    return nullptr;
}

namespace {

// A conversation id: decimal, 1 to 4294967295, no sign or leading zero.
bool ParseId(const std::string& text, std::uint32_t& id)
{
    if (text.empty() || text.size() > 10 || text[0] == '0')
        return false;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > UINT32_MAX)
        return false;
    id = static_cast<std::uint32_t>(value);
    return true;
}

bool SameService(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
           && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y)); });
}

} // namespace

void Transport::HandleLine(Connection& c, std::string_view line)
{
    auto fields = ParseLine(line);
    if (!c.authenticated) {
        if (fields && fields->size() == 2 && (*fields)[0] == "TOKEN" && SameToken((*fields)[1], m_token)) {
            // Only clients with the token count toward the limit.
            if (AuthenticatedCount() >= m_options.maxConnections) {
                ++m_denied;
                Send(c, FormatLine({"ERROR", "", "too many connections"}));
                c.closing = true;
                return;
            }
            c.authenticated = true;
            Send(c, FormatLine({"READY", m_service}));
        } else {
            // Counted before the answer goes out, so whoever reads "DENIED" sees the count.
            ++m_denied;
            Send(c, FormatLine({"DENIED"}));
            c.closing = true;
        }
        return;
    }
    if (!fields) {
        Send(c, FormatLine({"ERROR", "", "not a line of fields"}));
        return;
    }
    const Verb* verb = FindVerb((*fields)[0]);
    if (!verb) {
        Send(c, FormatLine({"ERROR", "", "unknown verb " + (*fields)[0]}));
        return;
    }
    std::uint32_t id = 0;
    if (fields->size() < 2 || !ParseId((*fields)[1], id)) {
        Send(c, FormatLine({"ERROR", "", "bad conversation id"}));
        return;
    }
    if (fields->size() != verb->fields) {
        Send(c, FormatLine({"ERROR", Text(id), (*fields)[0] + " takes " + Text(static_cast<long long>(verb->fields) - 1) + " fields"}));
        return;
    }
    (this->*verb->handler)(c, id, *fields);
}

DWORD Transport::Conversation(Connection& c, std::uint32_t id)
{
    auto it = c.conversations.find(id);
    if (it != c.conversations.end())
        return it->second;
    Send(c, FormatLine({"ERROR", Text(id), "unknown conversation"}));
    return 0;
}

void Transport::OnConnect(Connection& c, std::uint32_t id, const std::vector<std::string>& f)
{
    if (c.conversations.count(id)) {
        Send(c, FormatLine({"ERROR", Text(id), "conversation id in use"}));
        return;
    }
    if (c.conversations.size() >= m_options.maxConversations) {
        Send(c, FormatLine({"ERROR", Text(id), "too many conversations"}));
        return;
    }
    const DWORD conversation = SameService(f[2], m_service) ? m_toolkit.Connect(m_server, f[3]) : 0;
    if (conversation == 0) {
        Send(c, FormatLine({"REFUSED", Text(id), f[3]}));
        return;
    }
    c.conversations[id] = conversation;
    m_routes[conversation] = {&c, id};
}

void Transport::OnDisconnect(Connection& c, std::uint32_t id, const std::vector<std::string>&)
{
    if (DWORD conversation = Conversation(c, id)) {
        m_toolkit.Disconnect(conversation);
        m_routes.erase(conversation);
        c.conversations.erase(id);
    }
}

void Transport::OnRequest(Connection& c, std::uint32_t id, const std::vector<std::string>& f)
{
    if (DWORD conversation = Conversation(c, id))
        m_toolkit.Request(conversation, f[2]);
}

void Transport::OnAdvise(Connection& c, std::uint32_t id, const std::vector<std::string>& f)
{
    if (DWORD conversation = Conversation(c, id))
        m_toolkit.Advise(conversation, f[2]);
}

void Transport::OnUnadvise(Connection& c, std::uint32_t id, const std::vector<std::string>& f)
{
    if (DWORD conversation = Conversation(c, id))
        m_toolkit.Unadvise(conversation, f[2]);
}

void Transport::OnPoke(Connection& c, std::uint32_t id, const std::vector<std::string>& f)
{
    if (DWORD conversation = Conversation(c, id))
        m_toolkit.Poke(conversation, f[2], f[3]);
}

void Transport::OnExecute(Connection& c, std::uint32_t id, const std::vector<std::string>& f)
{
    if (DWORD conversation = Conversation(c, id))
        m_toolkit.Execute(conversation, f[2]);
}

// --- lines to clients ---

namespace {

std::string LineOf(std::uint32_t id, const ClientMessage& m)
{
    const std::string conv = Text(id);
    const std::string quality = Text(m.quality);
    switch (m.kind) {
    case ClientMessage::Connected: return FormatLine({"CONNECTED", conv, m.item});
    case ClientMessage::Refused: return FormatLine({"REFUSED", conv, m.item});
    case ClientMessage::Closed: return FormatLine({"CLOSED", conv});
    case ClientMessage::Data: return FormatLine({"DATA", conv, m.item, quality, m.text});
    case ClientMessage::RequestData: return FormatLine({"VALUE", conv, m.item, quality, m.text});
    case ClientMessage::AdviseOk: return FormatLine({"ACK", conv, "ADVISE", m.item});
    case ClientMessage::Unadvised: return FormatLine({"ACK", conv, "UNADVISE", m.item});
    case ClientMessage::PokeAck: return FormatLine({"ACK", conv, "POKE", m.item});
    case ClientMessage::ExecuteAck: return FormatLine({"ACK", conv, "EXECUTE", m.item});
    case ClientMessage::AdviseFailed: return FormatLine({"NACK", conv, "ADVISE", m.item, m.text});
    case ClientMessage::PokeNack: return FormatLine({"NACK", conv, "POKE", m.item, m.text});
    case ClientMessage::RequestFailed: return FormatLine({"NACK", conv, "REQUEST", m.item, m.text});
    case ClientMessage::ExecuteNack: return FormatLine({"NACK", conv, "EXECUTE", m.item, m.text});
    }
    return FormatLine({"ERROR", conv, "unknown answer"});
}

} // namespace

void Transport::Collect()
{
    for (auto it = m_routes.begin(); it != m_routes.end();) {
        const std::vector<ClientMessage> messages = m_toolkit.TakeMessages(it->first);
        Connection& c = *it->second.connection;
        const std::uint32_t id = it->second.id;
        bool ended = false;
        for (const ClientMessage& message : messages) {
            Send(c, LineOf(id, message));
            ended = ended || message.kind == ClientMessage::Refused || message.kind == ClientMessage::Closed;
        }
        if (ended) {
            // The toolkit has let the conversation go; the client may use the id again.
            c.conversations.erase(id);
            it = m_routes.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace dde
