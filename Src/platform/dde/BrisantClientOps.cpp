#include "platform/dde/BrisantToolkit.h"

#include <cstring>
#include <utility>

#include "platform/dde/BrisantBlocks.h"
#include "platform/dde/BrisantState.h"
#include "platform/dde/BrisantText.h"

namespace dde {

using brisant::SameText;
using brisant::Upper;

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

Toolkit::Item* Toolkit::ServedItem(Server& s, Topic& topic, DWORD conversation, const Op& op, int option,
                                   ClientMessage::Kind refusal, const char* what)
{
    if (!GetOption(s.id, option)) {
        Post(conversation, {refusal, op.name, std::string("the server takes no ") + what, 0});
        return nullptr;
    }
    // The server may say why it makes no item of the name (a name that can never
    // have a value): the client hears that at once.
    std::string reason;
    Item* item = EnsureItem(s, topic, op.name, &reason);
    if (!item)
        Post(conversation, {refusal, op.name, reason.empty() ? NoItemText(topic, op.name) : reason, 0});
    return item;
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
    if (op.kind == Op::Connect)
        return RunConnect(s, *conv, op);
    if (op.kind == Op::Disconnect)
        return DropConversation(s, *conv);
    if (!conv->connected)
        return;
    if (op.kind == Op::Execute)
        return RunExecute(s, *conv, op);
    if (conv->system)
        return RunSystemOp(s, *conv, op);
    auto topicIt = s.topics.find(conv->topic);
    if (topicIt == s.topics.end())
        return;
    Topic& topic = *topicIt->second;
    switch (op.kind) {
    case Op::Advise: return RunAdvise(s, topic, *conv, op);
    case Op::Unadvise: return RunUnadvise(s, topic, *conv, op);
    case Op::Poke: return RunPoke(s, topic, *conv, op);
    case Op::Request: return RunRequest(s, topic, *conv, op);
    default: return;
    }
}

void Toolkit::RunConnect(Server& s, Conversation& conv, const Op& op)
{
    if (SameText(op.name, "System") && GetOption(s.id, kOptSystemTopic)) {
        conv.system = true;
    } else {
        Topic* topic = EnsureTopic(s, op.name);
        if (!topic) {
            // The conversation goes once the client has taken its answer.
            std::lock_guard lock(m_mutex);
            conv.refused = true;
            conv.outbox.push_back({ClientMessage::Refused, op.name, {}, 0});
            if (m_messageSignal)
                m_messageSignal->Raise();
            return;
        }
        ++topic->conversations;
        conv.topic = Upper(op.name);
    }
    conv.connected = true;
    _BRISANT_DATAACTION record;
    Call(s, 25, record);
    Post(conv.id, {ClientMessage::Connected, op.name, {}, 0});
}

void Toolkit::RunExecute(Server& s, Conversation& conv, const Op& op)
{
    bool ok = false;
    if (GetOption(s.id, kOptExecute)) {
        _BRISANT_DATAACTION record;
        record.pszText = op.name.c_str();
        ok = Call(s, 3, record) != 0;
    }
    Post(conv.id, {ok ? ClientMessage::ExecuteAck : ClientMessage::ExecuteNack, op.name,
                   ok ? std::string() : "the server does not carry out \"" + op.name + "\"", 0});
}

void Toolkit::RunSystemOp(Server& s, Conversation& conv, const Op& op)
{
    if (op.kind == Op::Request) {
        std::string answer = SystemAnswer(s, op.name);
        if (answer.empty())
            answer = SystemRequest(s, op.name);
        bool ok = !answer.empty();
        if (!ok)
            answer = "the System topic has no item " + op.name;
        Post(conv.id, {ok ? ClientMessage::RequestData : ClientMessage::RequestFailed, op.name, answer, ok ? 192 : 0});
    } else if (op.kind == Op::Advise) {
        Post(conv.id, {ClientMessage::AdviseFailed, op.name, "the System topic takes no advise", 0});
    } else if (op.kind == Op::Poke) {
        Post(conv.id, {ClientMessage::PokeNack, op.name, "the System topic takes no pokes", 0});
    } else if (op.kind == Op::Unadvise) {
        Post(conv.id, {ClientMessage::Unadvised, op.name, {}, 0});
    }
}

void Toolkit::RunAdvise(Server& s, Topic& topic, Conversation& conv, const Op& op)
{
    Item* item = ServedItem(s, topic, conv.id, op, kOptAdvise, ClientMessage::AdviseFailed, "advise");
    if (!item)
        return;
    if (!Activate(s, topic, *item)) {
        Post(conv.id, {ClientMessage::AdviseFailed, op.name, NoItemText(topic, op.name), 0});
        return;
    }
    ++item->advisers[conv.id];
    Post(conv.id, {ClientMessage::AdviseOk, op.name, {}, 0});
    if (item->hasValue) {
        Post(conv.id, {ClientMessage::Data, item->name, ValueToText(item->type, item->value), item->quality});
    } else if (ReadNow(s, topic, *item)) {
        // Its first value, with its quality, goes to every adviser at once.
        item->dirty = false;
        const std::string text = ValueToText(item->type, item->value);
        for (auto& [conversation, count] : item->advisers)
            Post(conversation, {ClientMessage::Data, item->name, text, item->quality});
    }
}

void Toolkit::RunUnadvise(Server& s, Topic& topic, Conversation& conv, const Op& op)
{
    // The answer says no data of the item follows, whether it was advised or not.
    Post(conv.id, {ClientMessage::Unadvised, op.name, {}, 0});
    auto it = topic.items.find(ItemKey(s, op.name));
    if (it == topic.items.end())
        return;
    Item& item = *it->second;
    auto adviser = item.advisers.find(conv.id);
    if (adviser == item.advisers.end())
        return;
    if (--adviser->second == 0)
        item.advisers.erase(adviser);
    Deactivate(s, topic, item);
}

void Toolkit::RunPoke(Server& s, Topic& topic, Conversation& conv, const Op& op)
{
    Item* item = ServedItem(s, topic, conv.id, op, kOptPoke, ClientMessage::PokeNack, "pokes");
    if (!item)
        return;
    _BRISANT_DATAACTION record = ItemRecord(topic, *item);
    // The point behind the item may have changed its type since the item was made
    // (a configuration loaded again): the text is read as what the server holds now.
    // The item's cached value keeps the type it was stored with.
    _BRISANT_DATAACTION query = ItemRecord(topic, *item);
    query.nDataType = item->type;
    const BRISANT_DATATYPE type =
        Call(s, 24, query) != 0 && query.nDataType != BRISANT_NOTYPE ? query.nDataType : item->type;
    if (!TextToValue(s.id, op.text.c_str(), type, &record.value)) {
        const std::string reason = ValueTextProblem(op.text, type);
        Post(conv.id, {ClientMessage::PokeNack, op.name, reason, 0});
        // The server's log names the item and the reason.
        _BRISANT_DATAACTION error = ItemRecord(topic, *item);
        error.pszText = reason.c_str();
        Call(s, 20, error);
        return;
    }
    record.nDataType = type;
    s.currentConversation = conv.id;
    s.currentPoke = &op.name;
    s.pokeAnswered = false;
    long result = Call(s, 12, record);
    if (!s.pokeAnswered)
        Post(conv.id, {result ? ClientMessage::PokeAck : ClientMessage::PokeNack, op.name, {}, 0});
    s.currentConversation = 0;
    s.currentPoke = nullptr;
    if (IsTextType(type))
        m_heap.Free(record.value.pszVal);
}

void Toolkit::RunRequest(Server& s, Topic& topic, Conversation& conv, const Op& op)
{
    Item* item = ServedItem(s, topic, conv.id, op, kOptRequest, ClientMessage::RequestFailed, "requests");
    if (!item)
        return;
    // An item nobody advises is not kept current by the timer: the value the
    // server holds now, with its quality, is asked for first.
    if ((item->hasValue && item->links > 0) || ReadNow(s, topic, *item)) {
        Post(conv.id, {ClientMessage::RequestData, item->name, ValueToText(item->type, item->value), item->quality});
        return;
    }
    if (!Activate(s, topic, *item)) {
        Post(conv.id, {ClientMessage::RequestFailed, op.name, NoItemText(topic, op.name), 0});
        return;
    }
    // Nothing read yet: keep the item active until the timer brings a value or the wait ends.
    s.requests.push_back({conv.id, conv.topic, ItemKey(s, op.name), m_clock()});
}

std::string Toolkit::SystemRequest(Server& s, const std::string& item)
{
    _BRISANT_DATAACTION record;
    record.pszText = item.c_str();
    const long result = Call(s, 21, record);
    std::string answer;
    if (result != 0 && record.pszReturn && record.nReturnLength > 0)
        answer.assign(record.pszReturn, strnlen(record.pszReturn, static_cast<std::size_t>(record.nReturnLength)));
    // The block is the toolkit's once returned.
    if (record.pszReturn)
        m_heap.Free(record.pszReturn);
    return answer;
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

} // namespace dde
