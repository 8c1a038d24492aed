#include "platform/dde/BrisantToolkit.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

#include "platform/dde/BrisantBlocks.h"
#include "platform/win/NumberText.h"

namespace dde {

struct Toolkit::Item {
    std::string name;
    DWORD handle = 0;
    void* record = nullptr;  // the server's item record
    BRISANT_DATATYPE type = BRISANT_NOTYPE;
    bool ready = false;
    bool hasValue = false;
    bool dirty = false;
    _BRISANTDATAVALUE value{};
    LONG quality = 0;
    int links = 0;                        // advise links and waiting requests
    std::map<DWORD, int> advisers;        // conversation -> advise count
};

struct Toolkit::Topic {
    std::string name;
    DWORD handle = 0;
    void* record = nullptr;  // the server's topic record
    int conversations = 0;
    std::map<std::string, std::unique_ptr<Item>> items;
};

struct Toolkit::Conversation {
    DWORD id = 0;
    DWORD server = 0;
    std::string topic;     // key of the topic, empty for the System topic
    bool system = false;
    bool connected = false;
    bool refused = false;               // guarded by m_mutex
    bool closed = false;                // guarded by m_mutex: the server has gone
    std::deque<ClientMessage> outbox;   // guarded by m_mutex
};

struct Toolkit::Op {
    enum Kind { Connect, Disconnect, Advise, Unadvise, Poke, Request, Execute };
    Kind kind;
    DWORD conversation;
    std::string name;   // topic, item or command
    std::string text;   // poke data
};

struct Toolkit::Server {
    DWORD id = 0;
    BRISANTACTIONPROC callback = nullptr;
    std::map<int, int> options;
    bool infoAsked = false;
    bool started = false;
    bool browseAsked = false;
    bool inIdle = false;
    bool exitRequested = false;      // exit called from inside a callback
    HBRISANTHEAP heap = 0;
    DWORD updateMs = 250;
    DWORD waitMs = 0;
    bool timerRan = false;
    std::uint64_t lastTimer = 0;
    std::deque<Op> pending;   // guarded by m_mutex
    // Below: owned by the thread that runs Idle.
    std::map<std::string, std::unique_ptr<Topic>> topics;
    std::map<DWORD, Item*> itemsByHandle;
    struct Waiting {
        DWORD conversation;
        std::string topic;
        std::string item;
        std::uint64_t since;
    };
    std::vector<Waiting> requests;
    Item* currentItem = nullptr;     // item of the action being delivered
    DWORD currentConversation = 0;
    const std::string* currentPoke = nullptr;  // item name of the poke being delivered
    bool pokeAnswered = false;
    DWORD generating = 0;            // handle of the item being generated
    bool generatingReady = false;
    std::vector<BrowseBranch> browse;
};

namespace {

std::uint64_t SteadyMs()
{
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool SameText(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

std::string Trim(const std::string& text)
{
    std::size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return {};
    std::size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

template <typename T>
std::string Number(T value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool ParseInteger(const std::string& text, long long low, long long high, long long& out)
{
    if (text.empty())
        return false;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (*begin == '+')
        ++begin;
    auto result = std::from_chars(begin, end, out);
    return result.ec == std::errc() && result.ptr == end && out >= low && out <= high;
}

} // namespace

Toolkit::Toolkit(Clock clock) : m_clock(clock ? std::move(clock) : Clock(SteadyMs)) {}

Toolkit::~Toolkit()
{
    std::vector<DWORD> ids;
    for (auto& [id, server] : m_servers)
        ids.push_back(id);
    for (DWORD id : ids)
        Shutdown(id);
}

Toolkit& Toolkit::Process()
{
    static Toolkit toolkit;
    return toolkit;
}

void Toolkit::SetClock(Clock clock) { m_clock = clock ? std::move(clock) : Clock(SteadyMs); }

Signal* Toolkit::SetMessageSignal(Signal* signal)
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_messageSignal, signal);
}

Signal* Toolkit::SetWorkSignal(Signal* signal)
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_workSignal, signal);
}

void Toolkit::QueueLocked(Server& server, Op op)
{
    server.pending.push_back(std::move(op));
    if (m_workSignal)
        m_workSignal->Raise();
}

Heap* Toolkit::FindHeap(HBRISANTHEAP heap) { return heap == kStartupHeap ? &m_heap : nullptr; }

Toolkit::Server* Toolkit::FindServer(DWORD id) const
{
    auto it = m_servers.find(id);
    return it == m_servers.end() ? nullptr : it->second.get();
}

DWORD Toolkit::Setup(std::uintptr_t, std::uintptr_t, const char*, BRISANTACTIONPROC callback)
{
    if (!callback)
        return 0;
    std::lock_guard lock(m_mutex);
    auto server = std::make_unique<Server>();
    server->id = m_nextServer++;
    server->callback = callback;
    for (int option : {kOptSystemTopic, kOptTopicList, kOptExecute, kOptPoke, kOptRequest, kOptAdvise, kOptBrowse})
        server->options[option] = 1;
    server->options[kOptTextFormats] = 1;
    server->options[kOptItemCase] = 0;
    DWORD id = server->id;
    m_servers.emplace(id, std::move(server));
    return id;
}

void Toolkit::SetOption(DWORD id, int ordinal, int value)
{
    std::lock_guard lock(m_mutex);
    if (Server* server = FindServer(id))
        server->options[ordinal] = value;
}

int Toolkit::GetOption(DWORD id, int ordinal) const
{
    std::lock_guard lock(m_mutex);
    Server* server = FindServer(id);
    if (!server)
        return 0;
    auto it = server->options.find(ordinal);
    return it == server->options.end() ? 0 : it->second;
}

long Toolkit::Call(Server& server, int action, _BRISANT_DATAACTION& record)
{
    record.dwServerId = server.id;
    return server.callback(action, &record);
}

std::string Toolkit::ItemKey(const Server& server, const std::string& name) const
{
    auto it = server.options.find(kOptItemCase);
    bool withCase = it != server.options.end() && it->second != 0;
    return withCase ? name : Upper(name);
}

void Toolkit::Post(DWORD conversation, ClientMessage message)
{
    std::lock_guard lock(m_mutex);
    auto it = m_conversations.find(conversation);
    if (it == m_conversations.end())
        return;
    it->second->outbox.push_back(std::move(message));
    if (m_messageSignal)
        m_messageSignal->Raise();
}

void Toolkit::Idle(DWORD id) { Pass(id, true); }

void Toolkit::ServeClients(DWORD id) { Pass(id, false); }

void Toolkit::Pass(DWORD id, bool timer)
{
    Server* server = nullptr;
    std::deque<Op> ops;
    {
        std::lock_guard lock(m_mutex);
        server = FindServer(id);
        if (!server || server->inIdle)
            return;
        server->inIdle = true;
        ops.swap(server->pending);
    }
    Server& s = *server;

    if (!s.infoAsked) {
        s.infoAsked = true;
        char name[64] = {}, company[64] = {};
        char info[4][64] = {};
        _BRISANT_DATAACTION record;
        record.pszServerName = name;
        record.nServerNameSize = sizeof name;
        record.pszCompany = company;
        record.nCompanySize = sizeof company;
        for (int i = 0; i < 4; ++i) {
            record.pszInfo[i] = info[i];
            record.nInfoSize[i] = sizeof info[i];
        }
        Call(s, 0, record);
    }
    if (!s.started) {
        _BRISANT_DATAACTION record;
        // The start action calls the start entry, which marks the server started.
        if (Call(s, 1, record) == 0)
            s.started = false;
    }
    if (s.started && !s.browseAsked && GetOption(id, kOptBrowse)) {
        s.browseAsked = true;
        _BRISANT_DATAACTION record;
        Call(s, 31, record);
    }

    for (const Op& op : ops) {
        if (s.exitRequested)
            break;
        RunOp(s, op);
    }

    bool timerRan = false;
    if (timer && s.started && !s.exitRequested) {
        std::uint64_t now = m_clock();
        if (!s.timerRan || now - s.lastTimer >= s.updateMs) {
            s.timerRan = true;
            s.lastTimer = now;
            _BRISANT_DATAACTION record;
            Call(s, 7, record);
            timerRan = true;
            DeliverData(s);
        }
    }
    if (!s.exitRequested)
        AnswerRequests(s, timerRan);

    bool exit = false;
    {
        std::lock_guard lock(m_mutex);
        s.inIdle = false;
        exit = s.exitRequested;
    }
    // An exit asked for by a callback waits until the server's idle pass is over.
    if (exit)
        Shutdown(id);
}

Toolkit::Topic* Toolkit::EnsureTopic(Server& s, const std::string& name)
{
    std::string key = Upper(name);
    auto it = s.topics.find(key);
    if (it != s.topics.end())
        return it->second.get();
    _BRISANT_DATAACTION record;
    record.pszText = name.c_str();
    record.hTopic = m_nextTopic;
    long result = Call(s, 13, record);
    if (result == 0)
        return nullptr;
    auto topic = std::make_unique<Topic>();
    topic->name = name;
    topic->handle = m_nextTopic++;
    topic->record = reinterpret_cast<void*>(result);
    Topic* raw = topic.get();
    s.topics.emplace(key, std::move(topic));
    return raw;
}

Toolkit::Item* Toolkit::EnsureItem(Server& s, Topic& topic, const std::string& name)
{
    std::string key = ItemKey(s, name);
    auto it = topic.items.find(key);
    if (it != topic.items.end())
        return it->second.get();
    _BRISANT_DATAACTION record;
    record.pszText = name.c_str();
    record.pTopic = topic.record;
    record.hTopic = topic.handle;
    record.hItem = m_nextItem;
    s.generating = m_nextItem;
    s.generatingReady = false;
    long result = Call(s, 11, record);
    s.generating = 0;
    if (result == 0)
        return nullptr;
    auto item = std::make_unique<Item>();
    item->name = name;
    item->handle = m_nextItem++;
    item->record = reinterpret_cast<void*>(result);
    item->type = record.nDataType;
    item->quality = record.nQuality;
    item->ready = s.generatingReady;
    Item* raw = item.get();
    s.itemsByHandle[raw->handle] = raw;
    topic.items.emplace(key, std::move(item));
    return raw;
}

bool Toolkit::Activate(Server& s, Topic& topic, Item& item)
{
    _BRISANT_DATAACTION record = ItemRecord(topic, item);
    if (Call(s, 8, record) == 0)
        return false;
    ++item.links;
    return true;
}

void Toolkit::Deactivate(Server& s, Topic& topic, Item& item)
{
    _BRISANT_DATAACTION record = ItemRecord(topic, item);
    s.currentItem = &item;
    Call(s, 9, record);
    s.currentItem = nullptr;
    if (item.links > 0)
        --item.links;
}

_BRISANT_DATAACTION Toolkit::ItemRecord(const Topic& topic, const Item& item)
{
    _BRISANT_DATAACTION record;
    record.pTopic = topic.record;
    record.pItem = item.record;
    record.hItem = item.handle;
    return record;
}

Toolkit::Item* Toolkit::ServedItem(Server& s, Topic& topic, DWORD conversation, const Op& op, int option,
                                   ClientMessage::Kind refusal, const char* what)
{
    if (!GetOption(s.id, option)) {
        Post(conversation, {refusal, op.name, std::string("the server takes no ") + what, 0});
        return nullptr;
    }
    Item* item = EnsureItem(s, topic, op.name);
    if (!item)
        Post(conversation, {refusal, op.name, NoItemText(topic, op.name), 0});
    return item;
}

bool Toolkit::ReadNow(Server& s, Topic& topic, Item& item)
{
    _BRISANT_DATAACTION record = ItemRecord(topic, item);
    record.nDataType = item.type;
    return Call(s, 16, record) != 0 && item.hasValue;
}

std::string Toolkit::NoItemText(const Topic& topic, const std::string& item)
{
    return "topic " + topic.name + " has no item " + item;
}

void Toolkit::ReleaseValue(Item& item)
{
    if (!item.hasValue)
        return;
    if (IsTextType(item.type) || IsArrayType(item.type)) {
        if (item.value.parrVal && (item.type == BRISANT_STRINGARRAY || item.type == BRISANT_FIXEDSTRINGARRAY)) {
            BYTE* elements = ArrayElements(item.value.parrVal);
            for (DWORD i = 0, n = ArrayCount(item.value.parrVal); i < n; ++i) {
                void* text = nullptr;
                std::memcpy(&text, elements + i * sizeof(void*), sizeof text);
                m_heap.Free(text);
            }
        }
        m_heap.Free(item.value.parrVal);
    }
    item.value.ullVal = 0;
    item.hasValue = false;
}

void Toolkit::RunOp(Server& s, const Op& op)
{
    Conversation* conv = nullptr;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_conversations.find(op.conversation);
        // A refused conversation is freed by the client's next take of its
        // messages, on the client's thread: it must not be used past the lock.
        if (it == m_conversations.end())
            return;
        if (it->second->refused) {
            if (op.kind == Op::Disconnect)
                m_conversations.erase(it);
            return;
        }
        conv = it->second.get();
    }
    switch (op.kind) {
    case Op::Connect: {
        if (SameText(op.name, "System") && GetOption(s.id, kOptSystemTopic)) {
            conv->system = true;
        } else {
            Topic* topic = EnsureTopic(s, op.name);
            if (!topic) {
                // The conversation goes once the client has taken its answer.
                std::lock_guard lock(m_mutex);
                conv->refused = true;
                conv->outbox.push_back({ClientMessage::Refused, op.name, {}, 0});
                if (m_messageSignal)
                    m_messageSignal->Raise();
                return;
            }
            ++topic->conversations;
            conv->topic = Upper(op.name);
        }
        conv->connected = true;
        _BRISANT_DATAACTION record;
        Call(s, 25, record);
        Post(conv->id, {ClientMessage::Connected, op.name, {}, 0});
        return;
    }
    case Op::Disconnect:
        DropConversation(s, *conv);
        return;
    default:
        break;
    }
    if (!conv->connected)
        return;

    if (op.kind == Op::Execute) {
        bool ok = false;
        if (GetOption(s.id, kOptExecute)) {
            _BRISANT_DATAACTION record;
            record.pszText = op.name.c_str();
            ok = Call(s, 3, record) != 0;
        }
        Post(conv->id, {ok ? ClientMessage::ExecuteAck : ClientMessage::ExecuteNack, op.name,
                        ok ? std::string() : "the server does not carry out \"" + op.name + "\"", 0});
        return;
    }
    if (conv->system) {
        if (op.kind == Op::Request) {
            std::string answer = SystemAnswer(s, op.name);
            bool ok = !answer.empty();
            if (!ok)
                answer = "the System topic has no item " + op.name;
            Post(conv->id, {ok ? ClientMessage::RequestData : ClientMessage::RequestFailed, op.name, answer, ok ? 192 : 0});
        } else if (op.kind == Op::Advise) {
            Post(conv->id, {ClientMessage::AdviseFailed, op.name, "the System topic takes no advise", 0});
        } else if (op.kind == Op::Poke) {
            Post(conv->id, {ClientMessage::PokeNack, op.name, "the System topic takes no pokes", 0});
        } else if (op.kind == Op::Unadvise) {
            Post(conv->id, {ClientMessage::Unadvised, op.name, {}, 0});
        }
        return;
    }
    auto topicIt = s.topics.find(conv->topic);
    if (topicIt == s.topics.end())
        return;
    Topic& topic = *topicIt->second;

    switch (op.kind) {
    case Op::Advise: {
        Item* item = ServedItem(s, topic, conv->id, op, kOptAdvise, ClientMessage::AdviseFailed, "advise");
        if (!item)
            return;
        if (!Activate(s, topic, *item)) {
            Post(conv->id, {ClientMessage::AdviseFailed, op.name, NoItemText(topic, op.name), 0});
            return;
        }
        ++item->advisers[conv->id];
        Post(conv->id, {ClientMessage::AdviseOk, op.name, {}, 0});
        if (item->hasValue) {
            Post(conv->id, {ClientMessage::Data, item->name, ValueToText(item->type, item->value), item->quality});
        } else if (ReadNow(s, topic, *item)) {
            // Its first value, with its quality, goes to every adviser at once.
            item->dirty = false;
            const std::string text = ValueToText(item->type, item->value);
            for (auto& [conversation, count] : item->advisers)
                Post(conversation, {ClientMessage::Data, item->name, text, item->quality});
        }
        return;
    }
    case Op::Unadvise: {
        // The answer says no data of the item follows, whether it was advised or not.
        Post(conv->id, {ClientMessage::Unadvised, op.name, {}, 0});
        auto it = topic.items.find(ItemKey(s, op.name));
        if (it == topic.items.end())
            return;
        Item& item = *it->second;
        auto adviser = item.advisers.find(conv->id);
        if (adviser == item.advisers.end())
            return;
        if (--adviser->second == 0)
            item.advisers.erase(adviser);
        Deactivate(s, topic, item);
        return;
    }
    case Op::Poke: {
        Item* item = ServedItem(s, topic, conv->id, op, kOptPoke, ClientMessage::PokeNack, "pokes");
        if (!item)
            return;
        _BRISANT_DATAACTION record = ItemRecord(topic, *item);
        if (!TextToValue(s.id, op.text.c_str(), item->type, &record.value)) {
            const std::string reason = ValueTextProblem(op.text, item->type);
            Post(conv->id, {ClientMessage::PokeNack, op.name, reason, 0});
            // The server's log names the item and the reason.
            _BRISANT_DATAACTION error = ItemRecord(topic, *item);
            error.pszText = reason.c_str();
            Call(s, 20, error);
            return;
        }
        record.nDataType = item->type;
        s.currentConversation = conv->id;
        s.currentPoke = &op.name;
        s.pokeAnswered = false;
        long result = Call(s, 12, record);
        if (!s.pokeAnswered)
            Post(conv->id, {result ? ClientMessage::PokeAck : ClientMessage::PokeNack, op.name, {}, 0});
        s.currentConversation = 0;
        s.currentPoke = nullptr;
        if (IsTextType(item->type))
            m_heap.Free(record.value.pszVal);
        return;
    }
    case Op::Request: {
        Item* item = ServedItem(s, topic, conv->id, op, kOptRequest, ClientMessage::RequestFailed, "requests");
        if (!item)
            return;
        // An item nobody advises is not kept current by the timer: the value the
        // server holds now, with its quality, is asked for first.
        if ((item->hasValue && item->links > 0) || ReadNow(s, topic, *item)) {
            Post(conv->id, {ClientMessage::RequestData, item->name, ValueToText(item->type, item->value), item->quality});
            return;
        }
        if (!Activate(s, topic, *item)) {
            Post(conv->id, {ClientMessage::RequestFailed, op.name, NoItemText(topic, op.name), 0});
            return;
        }
        // Nothing read yet: keep the item active until the timer brings a value or the wait ends.
        s.requests.push_back({conv->id, conv->topic, ItemKey(s, op.name), m_clock()});
        return;
    }
    default:
        return;
    }
}

std::string Toolkit::SystemAnswer(Server& s, const std::string& item)
{
    if (SameText(item, "SysItems"))
        return "SysItems\tTopics\tFormats";
    if (SameText(item, "Formats"))
        return "TEXT";
    if (!SameText(item, "Topics") || !GetOption(s.id, kOptTopicList))
        return {};
    std::string answer;
    _BRISANT_DATAACTION record;
    for (long result = Call(s, 17, record); result != 0; result = Call(s, 18, record)) {
        if (!answer.empty())
            answer += '\t';
        answer += record.pszText ? record.pszText : "";
        if (record.nListPos > 100000)
            break;
    }
    return answer;
}

void Toolkit::DeliverData(Server& s)
{
    for (auto& [key, topic] : s.topics) {
        for (auto& [name, item] : topic->items) {
            if (!item->dirty)
                continue;
            item->dirty = false;
            std::string text = ValueToText(item->type, item->value);
            for (auto& [conversation, count] : item->advisers)
                Post(conversation, {ClientMessage::Data, item->name, text, item->quality});
        }
    }
}

void Toolkit::AnswerRequests(Server& s, bool)
{
    std::uint64_t now = m_clock();
    for (std::size_t i = 0; i < s.requests.size();) {
        Server::Waiting& waiting = s.requests[i];
        auto topicIt = s.topics.find(waiting.topic);
        Item* item = nullptr;
        if (topicIt != s.topics.end()) {
            auto itemIt = topicIt->second->items.find(waiting.item);
            if (itemIt != topicIt->second->items.end())
                item = itemIt->second.get();
        }
        if (item && !item->hasValue && now - waiting.since <= s.waitMs) {
            ++i;
            continue;
        }
        if (item && item->hasValue)
            Post(waiting.conversation, {ClientMessage::RequestData, item->name, ValueToText(item->type, item->value), item->quality});
        else
            Post(waiting.conversation, {ClientMessage::RequestFailed, waiting.item,
                                        "no data from the device within " + Number(s.waitMs) + " ms", 0});
        if (item)
            Deactivate(s, *topicIt->second, *item);
        s.requests.erase(s.requests.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void Toolkit::DropConversation(Server& s, Conversation& conv)
{
    DWORD id = conv.id;
    if (conv.connected && !conv.system) {
        auto topicIt = s.topics.find(conv.topic);
        if (topicIt != s.topics.end()) {
            Topic& topic = *topicIt->second;
            for (auto& [name, item] : topic.items) {
                auto adviser = item->advisers.find(id);
                if (adviser == item->advisers.end())
                    continue;
                for (int n = adviser->second; n > 0; --n)
                    Deactivate(s, topic, *item);
                item->advisers.erase(id);
            }
            for (std::size_t i = 0; i < s.requests.size();) {
                if (s.requests[i].conversation == id) {
                    auto itemIt = topic.items.find(s.requests[i].item);
                    if (itemIt != topic.items.end())
                        Deactivate(s, topic, *itemIt->second);
                    s.requests.erase(s.requests.begin() + static_cast<std::ptrdiff_t>(i));
                } else {
                    ++i;
                }
            }
            if (--topic.conversations <= 0)
                DestroyTopic(s, conv.topic);
        }
    }
    bool wasConnected = conv.connected;
    {
        std::lock_guard lock(m_mutex);
        m_conversations.erase(id);
    }
    if (wasConnected) {
        _BRISANT_DATAACTION record;
        Call(s, 26, record);
    }
}

void Toolkit::DestroyTopic(Server& s, const std::string& key)
{
    auto topicIt = s.topics.find(key);
    if (topicIt == s.topics.end())
        return;
    Topic& topic = *topicIt->second;
    for (auto& [name, item] : topic.items) {
        _BRISANT_DATAACTION record;
        record.pTopic = topic.record;
        record.pItem = item->record;
        record.hItem = item->handle;
        Call(s, 10, record);
        ReleaseValue(*item);
        s.itemsByHandle.erase(item->handle);
    }
    _BRISANT_DATAACTION record;
    record.pTopic = topic.record;
    record.hTopic = topic.handle;
    Call(s, 5, record);
    s.topics.erase(topicIt);
}

void Toolkit::Shutdown(DWORD id)
{
    std::unique_ptr<Server> server;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_servers.find(id);
        if (it == m_servers.end())
            return;
        if (it->second->inIdle) {
            it->second->exitRequested = true;
            return;
        }
        server = std::move(it->second);
        m_servers.erase(it);
        // Each client learns that its conversation has ended, after whatever was
        // already posted to it; the conversation goes once that has been taken.
        for (auto& [conversation, conv] : m_conversations) {
            if (conv->server != id || conv->refused || conv->closed)
                continue;
            conv->closed = true;
            conv->outbox.push_back({ClientMessage::Closed, {}, {}, 0});
            if (m_messageSignal)
                m_messageSignal->Raise();
        }
    }
    // No callback after exit: the cached values go back to the heap.
    for (auto& [key, topic] : server->topics)
        for (auto& [name, item] : topic->items)
            ReleaseValue(*item);
}

int Toolkit::Start(DWORD id, DWORD updateMs, DWORD waitMs)
{
    std::lock_guard lock(m_mutex);
    Server* server = FindServer(id);
    if (!server)
        return 0;
    server->updateMs = updateMs;
    server->waitMs = waitMs;
    server->started = true;
    return 1;
}

HBRISANTHEAP Toolkit::CreateHeap(DWORD id, int)
{
    std::lock_guard lock(m_mutex);
    Server* server = FindServer(id);
    if (!server)
        return 0;
    // Every server shares the start-up heap, so texts made before the start stay valid.
    server->heap = kStartupHeap;
    return kStartupHeap;
}

int Toolkit::ReleaseHeap(DWORD id, HBRISANTHEAP heap)
{
    std::lock_guard lock(m_mutex);
    Server* server = FindServer(id);
    if (!server || heap != server->heap)
        return 0;
    // The blocks stay: their owners free them.
    server->heap = 0;
    return 1;
}

void* Toolkit::Allocate(DWORD, HBRISANTHEAP heap, std::size_t size)
{
    Heap* target = FindHeap(heap);
    return target ? target->Allocate(size) : nullptr;
}

void Toolkit::Free(DWORD, void* block) { m_heap.Free(block); }

int Toolkit::UpdateItemValue(DWORD id, DWORD handle, _BRISANTDATAVALUE value, LONG quality, int updateSame)
{
    Server* server = nullptr;
    {
        std::lock_guard lock(m_mutex);
        server = FindServer(id);
    }
    if (!server)
        return 0;
    auto it = server->itemsByHandle.find(handle);
    if (it == server->itemsByHandle.end())
        return 0;
    Item& item = *it->second;
    bool owned = IsTextType(item.type) || IsArrayType(item.type);
    if (owned && value.parrVal && !IsWholeHeapValue(item.type, value.parrVal))
        return 0;
    if (!updateSame && item.hasValue && item.quality == quality
        && ValueToText(item.type, item.value) == ValueToText(item.type, value))
        return 0;
    ReleaseValue(item);
    item.value = value;
    item.hasValue = true;
    item.quality = quality;
    item.dirty = true;
    return 1;
}

bool Toolkit::IsWholeHeapValue(BRISANT_DATATYPE type, const BYTE* block) const
{
    // The cache reads the value again for every client, so it must lie wholly
    // inside heap blocks: a terminator, a length or a count that claims more
    // than its block holds is refused.
    std::size_t size = m_heap.BlockSize(block);
    if (size == 0)
        return false;
    if (type == BRISANT_STRING)
        return std::memchr(block, 0, size) != nullptr;
    if (type == BRISANT_FIXEDSTRING)
        return size >= 2 && static_cast<std::size_t>(std::max<SHORT>(CountedLength(block), 0)) <= size - 2;
    DWORD count = ArrayCount(block);
    if (size < kArrayHeaderSize || count > kMaxArrayElements || size < ArrayBlockSize(type, count))
        return false;
    if (type != BRISANT_STRINGARRAY && type != BRISANT_FIXEDSTRINGARRAY)
        return true;
    BRISANT_DATATYPE textType = type == BRISANT_STRINGARRAY ? BRISANT_STRING : BRISANT_FIXEDSTRING;
    for (DWORD i = 0; i < count; ++i) {
        const BYTE* text = nullptr;
        std::memcpy(&text, ArrayElements(block) + i * sizeof(void*), sizeof text);
        if (text && !IsWholeHeapValue(textType, text))
            return false;
    }
    return true;
}

BYTE* Toolkit::CopyArray(DWORD, BRISANT_DATATYPE type, const BYTE* source)
{
    std::size_t elementSize = ArrayElementSize(type);
    if (!source || elementSize == 0)
        return nullptr;
    DWORD count = ArrayCount(source);
    if (count > kMaxArrayElements)
        return nullptr;
    std::size_t known = m_heap.BlockSize(source);
    if (known != 0 && known < ArrayBlockSize(type, count))
        return nullptr;
    auto* copy = static_cast<BYTE*>(m_heap.Allocate(ArrayBlockSize(type, count)));
    if (!copy)
        return nullptr;
    std::memcpy(copy, source, ArrayBlockSize(type, count));
    if (type == BRISANT_STRINGARRAY || type == BRISANT_FIXEDSTRINGARRAY) {
        BYTE* elements = ArrayElements(copy);
        for (DWORD i = 0; i < count; ++i) {
            const BYTE* text = nullptr;
            std::memcpy(&text, elements + i * sizeof(void*), sizeof text);
            void* textCopy = nullptr;
            if (text) {
                std::size_t size = type == BRISANT_STRINGARRAY
                    ? std::strlen(reinterpret_cast<const char*>(text)) + 1
                    : static_cast<std::size_t>(std::max<SHORT>(CountedLength(text), 0)) + 3;
                textCopy = m_heap.Allocate(size);
                if (textCopy)
                    std::memcpy(textCopy, text, size);
            }
            std::memcpy(elements + i * sizeof(void*), &textCopy, sizeof textCopy);
        }
    }
    return copy;
}

long Toolkit::ReleaseItemUse(DWORD id)
{
    std::lock_guard lock(m_mutex);
    Server* server = FindServer(id);
    if (!server || !server->currentItem)
        return 0;
    // Users of the item counting the one that is leaving.
    return server->currentItem->links;
}

void Toolkit::PokeAck(DWORD id, DWORD, int failed, const char* error)
{
    Server* server = nullptr;
    {
        std::lock_guard lock(m_mutex);
        server = FindServer(id);
    }
    if (!server || server->currentConversation == 0 || server->pokeAnswered)
        return;
    server->pokeAnswered = true;
    Post(server->currentConversation, {failed ? ClientMessage::PokeNack : ClientMessage::PokeAck,
                                       server->currentPoke ? *server->currentPoke : std::string(),
                                       failed && error ? error : "", 0});
}

int Toolkit::TextToValue(DWORD, const char* text, BRISANT_DATATYPE type, _BRISANTDATAVALUE* value)
{
    if (!text || !value)
        return 0;
    _BRISANTDATAVALUE result{};
    std::string trimmed = Trim(text);
    long long n = 0;
    switch (type) {
    case BRISANT_BOOL:
        if (ParseInteger(trimmed, LLONG_MIN, LLONG_MAX, n))
            result.boolVal = n != 0;
        else if (SameText(trimmed, "TRUE") || SameText(trimmed, "FALSE"))
            result.boolVal = SameText(trimmed, "TRUE");
        else
            return 0;
        break;
    case BRISANT_CHAR:
        if (!ParseInteger(trimmed, -128, 127, n)) return 0;
        result.cVal = static_cast<signed char>(n);
        break;
    case BRISANT_BYTE:
        if (!ParseInteger(trimmed, 0, 255, n)) return 0;
        result.bVal = static_cast<BYTE>(n);
        break;
    case BRISANT_SHORT:
        if (!ParseInteger(trimmed, SHRT_MIN, SHRT_MAX, n)) return 0;
        result.iVal = static_cast<SHORT>(n);
        break;
    case BRISANT_WORD:
        if (!ParseInteger(trimmed, 0, 65535, n)) return 0;
        result.wVal = static_cast<WORD>(n);
        break;
    case BRISANT_LONG:
        if (!ParseInteger(trimmed, INT32_MIN, INT32_MAX, n)) return 0;
        result.lVal = static_cast<LONG>(n);
        break;
    case BRISANT_DWORD:
        if (!ParseInteger(trimmed, 0, UINT32_MAX, n)) return 0;
        result.dwVal = static_cast<DWORD>(n);
        break;
    case BRISANT_FLOAT:
    case BRISANT_DOUBLE: {
        if (trimmed.empty())
            return 0;
        // A dot in any locale: the client's text is the same wherever the server runs.
        const win::RealScan scan = win::ScanReal(trimmed);
        const double d = scan.value;
        if (scan.length != trimmed.size() || scan.outOfRange || !std::isfinite(d))
            return 0;
        if (type == BRISANT_FLOAT) {
            if (std::fabs(d) > 3.4028234663852886e38)
                return 0;
            result.fltVal = static_cast<float>(d);
        } else {
            result.dblVal = d;
        }
        break;
    }
    case BRISANT_STRING: {
        std::size_t length = std::strlen(text);
        auto* block = static_cast<char*>(m_heap.Allocate(length + 1));
        if (!block) return 0;
        std::memcpy(block, text, length);
        result.pszVal = block;
        break;
    }
    case BRISANT_FIXEDSTRING: {
        std::size_t length = std::strlen(text);
        if (length > SHRT_MAX) return 0;
        auto* block = static_cast<BYTE*>(m_heap.Allocate(length + 4));
        if (!block) return 0;
        SetCountedLength(block, static_cast<SHORT>(length));
        std::memcpy(CountedChars(block), text, length);
        result.pcsVal = block;
        break;
    }
    default:
        return 0;
    }
    *value = result;
    return 1;
}

void Toolkit::SetItemReady(DWORD id, DWORD handle, int ready)
{
    Server* server = nullptr;
    {
        std::lock_guard lock(m_mutex);
        server = FindServer(id);
    }
    if (!server)
        return;
    if (handle != 0 && handle == server->generating) {
        server->generatingReady = ready != 0;
        return;
    }
    auto it = server->itemsByHandle.find(handle);
    if (it != server->itemsByHandle.end())
        it->second->ready = ready != 0;
}

DWORD Toolkit::AddBrowseBranch(DWORD id, DWORD, const WCHAR* name, const WCHAR* path)
{
    std::lock_guard lock(m_mutex);
    Server* server = FindServer(id);
    if (!server)
        return 0;
    BrowseBranch branch;
    branch.handle = m_nextBranch++;
    branch.name = name ? name : u"";
    branch.path = path ? path : u"";
    server->browse.push_back(std::move(branch));
    return server->browse.back().handle;
}

int Toolkit::AddBrowseLeaf(DWORD id, DWORD handle, const WCHAR* leaf, const WCHAR* full, BRISANT_DATATYPE type,
                           int access)
{
    std::lock_guard lock(m_mutex);
    Server* server = FindServer(id);
    if (!server)
        return 0;
    for (BrowseBranch& branch : server->browse) {
        if (branch.handle == handle) {
            branch.leaves.push_back({leaf ? leaf : u"", full ? full : u"", type, access});
            return 1;
        }
    }
    return 0;
}

DWORD Toolkit::Connect(DWORD server, const std::string& topic)
{
    std::lock_guard lock(m_mutex);
    Server* s = FindServer(server);
    if (!s)
        return 0;
    auto conv = std::make_unique<Conversation>();
    conv->id = m_nextConversation++;
    conv->server = server;
    DWORD id = conv->id;
    m_conversations.emplace(id, std::move(conv));
    QueueLocked(*s, {Op::Connect, id, topic, {}});
    return id;
}

namespace {
template <typename Map>
auto* ServerOf(const Map& conversations, DWORD conversation)
{
    auto it = conversations.find(conversation);
    return it == conversations.end() ? nullptr : it->second.get();
}
} // namespace

#define TOOLKIT_QUEUE(kind, name, text)                                    \
    std::lock_guard lock(m_mutex);                                         \
    auto* conv = ServerOf(m_conversations, conversation);                  \
    if (!conv)                                                             \
        return;                                                            \
    if (Server* s = FindServer(conv->server))                              \
        QueueLocked(*s, {kind, conversation, name, text});

void Toolkit::Disconnect(DWORD conversation)
{
    std::lock_guard lock(m_mutex);
    auto it = m_conversations.find(conversation);
    if (it == m_conversations.end())
        return;
    Server* s = FindServer(it->second->server);
    // Nothing on the server's side is left to end: no idle pass uses it.
    if (!s || it->second->closed || it->second->refused) {
        m_conversations.erase(it);
        return;
    }
    QueueLocked(*s, {Op::Disconnect, conversation, {}, {}});
}
void Toolkit::Advise(DWORD conversation, const std::string& item) { TOOLKIT_QUEUE(Op::Advise, item, std::string()) }
void Toolkit::Unadvise(DWORD conversation, const std::string& item) { TOOLKIT_QUEUE(Op::Unadvise, item, std::string()) }
void Toolkit::Poke(DWORD conversation, const std::string& item, const std::string& text) { TOOLKIT_QUEUE(Op::Poke, item, text) }
void Toolkit::Request(DWORD conversation, const std::string& item) { TOOLKIT_QUEUE(Op::Request, item, std::string()) }
void Toolkit::Execute(DWORD conversation, const std::string& command) { TOOLKIT_QUEUE(Op::Execute, command, std::string()) }

#undef TOOLKIT_QUEUE

std::vector<ClientMessage> Toolkit::TakeMessages(DWORD conversation)
{
    std::lock_guard lock(m_mutex);
    auto it = m_conversations.find(conversation);
    if (it == m_conversations.end())
        return {};
    std::vector<ClientMessage> messages(it->second->outbox.begin(), it->second->outbox.end());
    it->second->outbox.clear();
    if (it->second->refused || it->second->closed)
        m_conversations.erase(it);
    return messages;
}

void Toolkit::ClearBrowse(DWORD id)
{
    std::lock_guard lock(m_mutex);
    if (Server* server = FindServer(id))
        server->browse.clear();
}

std::vector<BrowseBranch> Toolkit::Browse(DWORD id) const
{
    std::lock_guard lock(m_mutex);
    Server* server = FindServer(id);
    return server ? server->browse : std::vector<BrowseBranch>{};
}

bool Toolkit::IsItemReady(DWORD id, const std::string& topic, const std::string& item) const
{
    Server* server = nullptr;
    {
        std::lock_guard lock(m_mutex);
        server = FindServer(id);
    }
    if (!server)
        return false;
    auto topicIt = server->topics.find(Upper(topic));
    if (topicIt == server->topics.end())
        return false;
    auto itemIt = topicIt->second->items.find(ItemKey(*server, item));
    return itemIt != topicIt->second->items.end() && itemIt->second->ready;
}

std::string Toolkit::ValueTextProblem(const std::string& text, BRISANT_DATATYPE type)
{
    struct Range {
        BRISANT_DATATYPE type;
        const char* name;
        long long low;
        long long high;
    };
    static constexpr Range kRanges[] = {
        {BRISANT_CHAR, "Char", -128, 127},          {BRISANT_BYTE, "Byte", 0, 255},
        {BRISANT_SHORT, "Short", SHRT_MIN, SHRT_MAX}, {BRISANT_WORD, "Word", 0, 65535},
        {BRISANT_LONG, "Long", INT32_MIN, INT32_MAX}, {BRISANT_DWORD, "DWord", 0, UINT32_MAX},
    };
    const std::string trimmed = Trim(text);
    const std::string quoted = "\"" + text + "\"";
    if (trimmed.empty())
        return "an empty text is no number";
    long long n = 0;
    for (const Range& range : kRanges) {
        if (range.type != type)
            continue;
        if (!ParseInteger(trimmed, LLONG_MIN, LLONG_MAX, n))
            return quoted + " is no whole number";
        return trimmed + " is out of range for " + range.name + " (" + Number(range.low) + " to " + Number(range.high) + ")";
    }
    switch (type) {
    case BRISANT_BOOL:
        return quoted + " is no number, TRUE or FALSE";
    case BRISANT_FLOAT:
    case BRISANT_DOUBLE: {
        double d = 0;
        const char* begin = trimmed.data() + (trimmed[0] == '+' ? 1 : 0);
        const char* end = trimmed.data() + trimmed.size();
        const auto result = std::from_chars(begin, end, d);
        if (result.ec == std::errc::invalid_argument || result.ptr != end)
            return quoted + " is no number";
        return trimmed + " is out of range for " + (type == BRISANT_FLOAT ? "Float" : "Double");
    }
    case BRISANT_STRING:
    case BRISANT_FIXEDSTRING:
        return "the text is too long";
    default:
        return "the item's type takes no text";
    }
}

std::string Toolkit::ValueToText(BRISANT_DATATYPE type, const _BRISANTDATAVALUE& value)
{
    switch (type) {
    case BRISANT_BOOL: return value.boolVal ? "1" : "0";
    case BRISANT_CHAR: return Number(static_cast<int>(value.cVal));
    case BRISANT_BYTE: return Number(static_cast<unsigned>(value.bVal));
    case BRISANT_SHORT: return Number(value.iVal);
    case BRISANT_WORD: return Number(value.wVal);
    case BRISANT_LONG: return Number(value.lVal);
    case BRISANT_DWORD: return Number(value.dwVal);
    case BRISANT_FLOAT: return Number(value.fltVal);
    case BRISANT_DOUBLE: return Number(value.dblVal);
    case BRISANT_STRING: return value.pszVal ? value.pszVal : "";
    case BRISANT_FIXEDSTRING:
        if (!value.pcsVal || CountedLength(value.pcsVal) < 1)
            return {};
        return std::string(CountedChars(value.pcsVal),
                           strnlen(CountedChars(value.pcsVal), static_cast<std::size_t>(CountedLength(value.pcsVal))));
    default:
        break;
    }
    if (!IsArrayType(type) || !value.parrVal)
        return {};
    std::string text;
    const BYTE* elements = ArrayElements(value.parrVal);
    DWORD count = std::min(ArrayCount(value.parrVal), kMaxArrayElements);
    for (DWORD i = 0; i < count; ++i) {
        if (i)
            text += '\t';
        const BYTE* element = elements + i * ArrayElementSize(type);
        _BRISANTDATAVALUE cell{};
        std::memcpy(&cell, element, ArrayElementSize(type));
        switch (type) {
        case BRISANT_BOOLARRAY: text += cell.lVal ? "1" : "0"; break;
        case BRISANT_CHARARRAY: text += ValueToText(BRISANT_CHAR, cell); break;
        case BRISANT_BYTEARRAY: text += ValueToText(BRISANT_BYTE, cell); break;
        case BRISANT_SHORTARRAY: text += ValueToText(BRISANT_SHORT, cell); break;
        case BRISANT_WORDARRAY: text += ValueToText(BRISANT_WORD, cell); break;
        case BRISANT_LONGARRAY: text += ValueToText(BRISANT_LONG, cell); break;
        case BRISANT_DWORDARRAY: text += ValueToText(BRISANT_DWORD, cell); break;
        case BRISANT_FLOATARRAY: text += ValueToText(BRISANT_FLOAT, cell); break;
        case BRISANT_DOUBLEARRAY: text += ValueToText(BRISANT_DOUBLE, cell); break;
        case BRISANT_STRINGARRAY: text += ValueToText(BRISANT_STRING, cell); break;
        case BRISANT_FIXEDSTRINGARRAY: text += ValueToText(BRISANT_FIXEDSTRING, cell); break;
        default: break;
        }
    }
    return text;
}

// --- entries ---

DWORD BrisantSetupDDEServerInterface(std::uintptr_t window, std::uintptr_t instance, const char* commandLine,
                                     BRISANTACTIONPROC callback)
{
    return Toolkit::Process().Setup(window, instance, commandLine, callback);
}
void BrisantSetTextFormats(DWORD server, int text, int advanced)
{
    Toolkit::Process().SetOption(server, kOptTextFormats, (text ? 1 : 0) | (advanced ? 2 : 0));
}
void BrisantEnableSystemTopic(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptSystemTopic, on); }
void BrisantSetItemCase(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptItemCase, on); }
void BrisantEnableTopicList(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptTopicList, on); }
void BrisantEnableExecute(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptExecute, on); }
void BrisantEnablePoke(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptPoke, on); }
void BrisantEnableRequest(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptRequest, on); }
void BrisantEnableAdvise(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptAdvise, on); }
void BrisantEnableBrowse(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptBrowse, on); }
void BrisantDoIdle(DWORD server) { Toolkit::Process().Idle(server); }
void BrisantShutdownDDEServer(DWORD server) { Toolkit::Process().Shutdown(server); }
int BrisantRegisterServer(std::uintptr_t, const char* vendor, const char* name, const char*)
{
    // Nothing to enter on this platform; the arguments must still name a server.
    return vendor && *vendor && name && *name ? 1 : 0;
}
void BrisantUnregisterServer(std::uintptr_t, const char*, const char*) {}
int BrisantStartServer(DWORD server, DWORD clientUpdateMs, DWORD initialDataWaitMs)
{
    return Toolkit::Process().Start(server, clientUpdateMs, initialDataWaitMs);
}
HBRISANTHEAP BrisantCreateHeap(DWORD server, int flag) { return Toolkit::Process().CreateHeap(server, flag); }
int BrisantReleaseHeap(DWORD server, HBRISANTHEAP heap) { return Toolkit::Process().ReleaseHeap(server, heap); }
void* BrisantHeapAlloc(DWORD server, HBRISANTHEAP heap, DWORD size) { return Toolkit::Process().Allocate(server, heap, size); }
void BrisantHeapFree(DWORD server, void* block) { Toolkit::Process().Free(server, block); }
int BrisantUpdateItemValue(DWORD server, DWORD item, DWORD valueLow, DWORD valueHigh, int, LONG quality, int updateSame)
{
    _BRISANTDATAVALUE value{};
    value.dw[0] = valueLow;
    value.dw[1] = valueHigh;
    return Toolkit::Process().UpdateItemValue(server, item, value, quality, updateSame);
}
BYTE* BrisantCopyArray(DWORD server, BRISANT_DATATYPE type, const BYTE* source)
{
    return Toolkit::Process().CopyArray(server, type, source);
}
long BrisantReleaseItemUse(void*, DWORD server) { return Toolkit::Process().ReleaseItemUse(server); }
void BrisantPokeAck(DWORD server, DWORD item, int failed, const char* error)
{
    Toolkit::Process().PokeAck(server, item, failed, error);
}
int BrisantTextToValue(DWORD server, const char* text, BRISANT_DATATYPE type, _BRISANTDATAVALUE* value)
{
    return Toolkit::Process().TextToValue(server, text, type, value);
}
void BrisantSetItemReady(DWORD server, DWORD item, int ready) { Toolkit::Process().SetItemReady(server, item, ready); }
DWORD BrisantAddBrowseBranch(DWORD server, DWORD parent, const WCHAR* name, const WCHAR* path)
{
    return Toolkit::Process().AddBrowseBranch(server, parent, name, path);
}
int BrisantAddBrowseLeaf(DWORD server, DWORD branch, const WCHAR* leaf, const WCHAR* full, BRISANT_DATATYPE type,
                         int access)
{
    return Toolkit::Process().AddBrowseLeaf(server, branch, leaf, full, type, access);
}

namespace {
template <typename F>
void (*Address(F* function))()
{
    return reinterpret_cast<void (*)()>(function);
}
} // namespace

const std::vector<Entry>& EntryTable()
{
    static const std::vector<Entry> table = {
        {934, "BrisantSetupDDEServerInterface", Address(&BrisantSetupDDEServerInterface)},
        {986, "BrisantSetTextFormats", Address(&BrisantSetTextFormats)},
        {979, "BrisantEnableSystemTopic", Address(&BrisantEnableSystemTopic)},
        {980, "BrisantSetItemCase", Address(&BrisantSetItemCase)},
        {974, "BrisantEnableTopicList", Address(&BrisantEnableTopicList)},
        {978, "BrisantEnableExecute", Address(&BrisantEnableExecute)},
        {983, "BrisantEnablePoke", Address(&BrisantEnablePoke)},
        {962, "BrisantEnableRequest", Address(&BrisantEnableRequest)},
        {953, "BrisantEnableAdvise", Address(&BrisantEnableAdvise)},
        {997, "BrisantEnableBrowse", Address(&BrisantEnableBrowse)},
        {936, "BrisantDoIdle", Address(&BrisantDoIdle)},
        {935, "BrisantShutdownDDEServer", Address(&BrisantShutdownDDEServer)},
        {981, "BrisantRegisterServer", Address(&BrisantRegisterServer)},
        {982, "BrisantUnregisterServer", Address(&BrisantUnregisterServer)},
        {903, "BrisantStartServer", Address(&BrisantStartServer)},
        {904, "BrisantCreateHeap", Address(&BrisantCreateHeap)},
        {907, "BrisantReleaseHeap", Address(&BrisantReleaseHeap)},
        {905, "BrisantHeapAlloc", Address(&BrisantHeapAlloc)},
        {906, "BrisantHeapFree", Address(&BrisantHeapFree)},
        {921, "BrisantUpdateItemValue", Address(&BrisantUpdateItemValue)},
        {923, "BrisantCopyArray", Address(&BrisantCopyArray)},
        {926, "BrisantReleaseItemUse", Address(&BrisantReleaseItemUse)},
        {928, "BrisantPokeAck", Address(&BrisantPokeAck)},
        {948, "BrisantTextToValue", Address(&BrisantTextToValue)},
        {977, "BrisantSetItemReady", Address(&BrisantSetItemReady)},
        {988, "BrisantAddBrowseBranch", Address(&BrisantAddBrowseBranch)},
        {989, "BrisantAddBrowseLeaf", Address(&BrisantAddBrowseLeaf)},
    };
    return table;
}

const Entry* FindEntry(int ordinal)
{
    for (const Entry& entry : EntryTable())
        if (entry.ordinal == ordinal)
            return &entry;
    return nullptr;
}

} // namespace dde
