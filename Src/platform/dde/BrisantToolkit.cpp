#include "platform/dde/BrisantToolkit.h"

#include <string_view>
#include <utility>

#include "platform/dde/BrisantState.h"
#include "platform/dde/BrisantText.h"

namespace dde {

using brisant::Number;
using brisant::SteadyMs;
using brisant::Upper;

Toolkit::Toolkit(Clock clock) : m_clock(clock ? std::move(clock) : Clock(SteadyMs)) {}

Toolkit::~Toolkit()
{
    std::vector<DWORD> ids;
    for (auto& [id, server] : m_servers)
        ids.push_back(id);
    // The process is ending: the servers' callbacks may be gone already.
    for (DWORD id : ids)
        EndServer(id, false);
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

Toolkit::Item* Toolkit::EnsureItem(Server& s, Topic& topic, const std::string& name, std::string* pRefusal)
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
    if (result == 0) {
        if (pRefusal && record.pszReturn && record.nReturnLength > 0)
            pRefusal->assign(record.pszReturn, static_cast<std::size_t>(record.nReturnLength));
        return nullptr;
    }
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

void Toolkit::Shutdown(DWORD id) { EndServer(id, true); }

void Toolkit::EndServer(DWORD id, bool stop)
{
    Server* started = nullptr;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_servers.find(id);
        if (it == m_servers.end())
            return;
        if (it->second->inIdle) {
            it->second->exitRequested = true;
            return;
        }
        if (stop && it->second->started)
            started = it->second.get();
    }
    // The server gives its heap back before it goes; it makes no more calls after this.
    if (started) {
        _BRISANT_DATAACTION record;
        Call(*started, 2, record);
    }
    std::unique_ptr<Server> server;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_servers.find(id);
        if (it == m_servers.end())
            return;
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
    KeptBrowseBranch branch;
    branch.handle = m_nextBranch++;
    branch.name = name ? name : u"";
    branch.path = path ? path : u"";
    server->browseAt[branch.handle] = server->browse.size();
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
    // A plant has a branch per station: no scan over them for each leaf.
    const auto at = server->browseAt.find(handle);
    if (at == server->browseAt.end())
        return 0;
    KeptBrowseBranch& branch = server->browse[at->second];
    const std::u16string_view leafName = leaf ? leaf : u"";
    const std::u16string_view fullName = full ? full : u"";
    const bool pathAndLeaf = fullName.size() == branch.path.size() + leafName.size() &&
                             fullName.starts_with(branch.path) && fullName.ends_with(leafName);
    const std::size_t added = leafName.size() + (pathAndLeaf ? 0 : fullName.size());
    if (branch.text.size() + added >= KeptBrowseBranch::kPathAndLeaf)
        return 0;
    KeptBrowseBranch::Leaf kept;
    kept.at = static_cast<std::uint32_t>(branch.text.size());
    kept.leafLength = static_cast<std::uint32_t>(leafName.size());
    kept.fullLength = pathAndLeaf ? KeptBrowseBranch::kPathAndLeaf : static_cast<std::uint32_t>(fullName.size());
    kept.type = type;
    kept.access = access;
    branch.text.append(leafName);
    if (!pathAndLeaf)
        branch.text.append(fullName);
    branch.leaves.push_back(kept);
    return 1;
}

void Toolkit::ClearBrowse(DWORD id)
{
    std::lock_guard lock(m_mutex);
    if (Server* server = FindServer(id)) {
        server->browse.clear();
        server->browseAt.clear();
    }
}

std::vector<BrowseBranch> Toolkit::Browse(DWORD id)
{
    std::unique_lock lock(m_mutex);
    Server* server = FindServer(id);
    std::vector<BrowseBranch> tree;
    if (!server)
        return tree;
    // A plant's leaves are many: the server builds them when they are first browsed,
    // not at start.
    if (server->started && !server->browseAsked && !server->inIdle && !server->exitRequested &&
        server->options.count(kOptBrowse) && server->options.at(kOptBrowse) != 0) {
        server->browseAsked = true;
        server->inIdle = true;
        lock.unlock();
        _BRISANT_DATAACTION record;
        Call(*server, 31, record);
        lock.lock();
        server->inIdle = false;
        const bool exit = server->exitRequested;
        if (exit) {
            lock.unlock();
            Shutdown(id);
            return tree;
        }
    }
    tree.reserve(server->browse.size());
    for (const KeptBrowseBranch& kept : server->browse) {
        BrowseBranch& branch = tree.emplace_back();
        branch.handle = kept.handle;
        branch.name = kept.name;
        branch.path = kept.path;
        branch.leaves.reserve(kept.leaves.size());
        for (const KeptBrowseBranch::Leaf& leaf : kept.leaves) {
            const std::u16string_view text(kept.text);
            BrowseLeaf& out = branch.leaves.emplace_back();
            out.leaf = text.substr(leaf.at, leaf.leafLength);
            if (leaf.fullLength == KeptBrowseBranch::kPathAndLeaf)
                out.full = kept.path + out.leaf;
            else
                out.full = text.substr(leaf.at + leaf.leafLength, leaf.fullLength);
            out.type = leaf.type;
            out.access = leaf.access;
        }
    }
    return tree;
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

} // namespace dde
