#pragma once
// The toolkit's own records of servers, topics, items, conversations and the
// client operations waiting for an idle pass; shared by the toolkit's sources.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/dde/BrisantToolkit.h"

namespace dde {

// A browse branch as the toolkit keeps it: a plant has a leaf per point, so the
// leaves' names share one run of characters, and a full name that is the branch's
// path followed by the leaf name (what servers give) is not kept twice.
struct KeptBrowseBranch {
    static constexpr std::uint32_t kPathAndLeaf = 0xFFFFFFFF;
    struct Leaf {
        std::uint32_t at = 0;          // the leaf name's first character in text
        std::uint32_t leafLength = 0;  // the full name's characters follow the leaf name's
        std::uint32_t fullLength = 0;  // or kPathAndLeaf
        BRISANT_DATATYPE type = BRISANT_NOTYPE;
        int access = 0;
    };
    DWORD handle = 0;
    std::u16string name;
    std::u16string path;
    std::u16string text;
    std::vector<Leaf> leaves;
};

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
    std::vector<KeptBrowseBranch> browse;
    std::unordered_map<DWORD, std::size_t> browseAt;  // branch handle -> index in browse
};

} // namespace dde
