#pragma once
// The DDE toolkit: servers, their heap, topics and items generated once and
// shared by every conversation, the value cache behind the push entry, pokes,
// requests and executes. The server's callback runs only inside Idle, on the
// thread that calls it; client operations (from a transport or a test) are
// queued and carried out there.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dde/BrisantHeap.h"
#include "platform/dde/BrisantTypes.h"

namespace dde {

// Start-up option entries, by ordinal.
enum Option : int {
    kOptTextFormats = 986,     // CF_TEXT and AdvancedDDE formats
    kOptSystemTopic = 979,     // serve the "System" topic
    kOptItemCase = 980,        // item names compared with case (0: ignoring case)
    kOptTopicList = 974,       // "Topics" of the System topic lists the server's topics
    kOptExecute = 978,
    kOptPoke = 983,
    kOptRequest = 962,
    kOptAdvise = 953,
    kOptBrowse = 997,          // ask the server for its browse information when first browsed
};

// What a client conversation receives.
struct ClientMessage {
    enum Kind {
        Connected, Refused, AdviseOk, AdviseFailed, Data, PokeAck, PokeNack,
        RequestData, RequestFailed, ExecuteAck, ExecuteNack,
        Unadvised,   // the unadvise was carried out: no data for the item follows
        Closed,      // the server ended the conversation; nothing follows
    };
    Kind kind = Refused;
    std::string item;
    std::string text;   // value as text, or the error text of a negative acknowledgement
    LONG quality = 0;
    bool operator==(const ClientMessage&) const = default;
};

struct BrowseLeaf {
    std::u16string leaf;
    std::u16string full;
    BRISANT_DATATYPE type = BRISANT_NOTYPE;
    int access = 0;
};
struct BrowseBranch {
    DWORD handle = 0;
    std::u16string name;
    std::u16string path;
    std::vector<BrowseLeaf> leaves;
};

// Told that something waits. Raised under the toolkit's lock from any thread:
// it must be short and must not call the toolkit.
class Signal {
public:
    virtual ~Signal() = default;
    virtual void Raise() = 0;
};

class Toolkit {
public:
    using Clock = std::function<std::uint64_t()>;  // monotonic milliseconds

    explicit Toolkit(Clock clock = {});
    ~Toolkit();
    Toolkit(const Toolkit&) = delete;
    Toolkit& operator=(const Toolkit&) = delete;

    // The toolkit every entry function works on.
    static Toolkit& Process();

    // The clock of timers and request waits; set it on the idle thread before
    // the first idle call. An empty clock goes back to the steady clock.
    void SetClock(Clock clock);
    // Raised when a message for a client was posted (the transport's), and when
    // a client operation was queued (for whoever gives the toolkit idle time).
    // Each returns the signal it replaces; null removes it. Once the call has
    // returned, the old signal is never raised again.
    Signal* SetMessageSignal(Signal* signal);
    Signal* SetWorkSignal(Signal* signal);

    // The heap that exists from start-up, whether or not a server starts.
    HBRISANTHEAP StartupHeap() const { return kStartupHeap; }
    Heap* FindHeap(HBRISANTHEAP heap);

    // --- server side (the entries) ---
    DWORD Setup(std::uintptr_t window, std::uintptr_t instance, const char* commandLine, BRISANTACTIONPROC callback);
    void SetOption(DWORD server, int ordinal, int value);
    int GetOption(DWORD server, int ordinal) const;
    void Idle(DWORD server);
    // Carries out the clients' waiting operations without the timer's pass
    // (advise pushes stay on the timer); same thread as Idle.
    void ServeClients(DWORD server);
    void Shutdown(DWORD server);
    int Start(DWORD server, DWORD updateMs, DWORD waitMs);
    HBRISANTHEAP CreateHeap(DWORD server, int flag);
    int ReleaseHeap(DWORD server, HBRISANTHEAP heap);
    void* Allocate(DWORD server, HBRISANTHEAP heap, std::size_t size);
    void Free(DWORD server, void* block);
    int UpdateItemValue(DWORD server, DWORD item, _BRISANTDATAVALUE value, LONG quality, int updateSame);
    BYTE* CopyArray(DWORD server, BRISANT_DATATYPE type, const BYTE* source);
    long ReleaseItemUse(DWORD server);
    void PokeAck(DWORD server, DWORD item, int failed, const char* error);
    int TextToValue(DWORD server, const char* text, BRISANT_DATATYPE type, _BRISANTDATAVALUE* value);
    void SetItemReady(DWORD server, DWORD item, int ready);
    DWORD AddBrowseBranch(DWORD server, DWORD parent, const WCHAR* name, const WCHAR* path);
    int AddBrowseLeaf(DWORD server, DWORD branch, const WCHAR* leaf, const WCHAR* full, BRISANT_DATATYPE type, int access);
    // Forgets the browse information, so the server can give it again for a new map.
    void ClearBrowse(DWORD server);

    // --- client side (transport, tests); safe from any thread ---
    // 0 when the server is unknown; the answer (Connected or Refused) follows at the next Idle.
    DWORD Connect(DWORD server, const std::string& topic);
    // A conversation the server has closed or refused goes at once; others at the next Idle.
    void Disconnect(DWORD conversation);
    void Advise(DWORD conversation, const std::string& item);
    void Unadvise(DWORD conversation, const std::string& item);
    void Poke(DWORD conversation, const std::string& item, const std::string& text);
    void Request(DWORD conversation, const std::string& item);
    void Execute(DWORD conversation, const std::string& command);
    // The conversation's waiting messages. After a Refused or Closed message the
    // conversation is gone.
    std::vector<ClientMessage> TakeMessages(DWORD conversation);

    // --- inspection ---
    // The first browse of a started server asks it for its browse information (on
    // the thread that runs Idle, as every call of the server is).
    std::vector<BrowseBranch> Browse(DWORD server);
    bool IsItemReady(DWORD server, const std::string& topic, const std::string& item) const;

    // A value as the text a CF_TEXT client receives.
    static std::string ValueToText(BRISANT_DATATYPE type, const _BRISANTDATAVALUE& value);
    // Why TextToValue refuses a text for the type, in words for the client.
    static std::string ValueTextProblem(const std::string& text, BRISANT_DATATYPE type);

private:
    static constexpr HBRISANTHEAP kStartupHeap = 1;
    struct Item;
    struct Topic;
    struct Conversation;
    struct Server;
    struct Op;

    Server* FindServer(DWORD id) const;  // caller holds m_mutex
    long Call(Server& server, int action, _BRISANT_DATAACTION& record);
    void Pass(DWORD server, bool timer);
    void RunOp(Server& server, const Op& op);
    // One per kind of client operation, for a conversation that exists and is not refused.
    void RunConnect(Server& server, Conversation& conv, const Op& op);
    void RunExecute(Server& server, Conversation& conv, const Op& op);
    void RunSystemOp(Server& server, Conversation& conv, const Op& op);
    void RunAdvise(Server& server, Topic& topic, Conversation& conv, const Op& op);
    void RunUnadvise(Server& server, Topic& topic, Conversation& conv, const Op& op);
    void RunPoke(Server& server, Topic& topic, Conversation& conv, const Op& op);
    void RunRequest(Server& server, Topic& topic, Conversation& conv, const Op& op);
    // Asks the server for the item's value now; true when the item then has one.
    bool ReadNow(Server& server, Topic& topic, Item& item);
    static std::string NoItemText(const Topic& topic, const std::string& item);
    static _BRISANT_DATAACTION ItemRecord(const Topic& topic, const Item& item);
    // The item an operation names, generated when new; null, with the refusal
    // posted, when the option is off or nothing has that name.
    Item* ServedItem(Server& server, Topic& topic, DWORD conversation, const Op& op, int option,
                     ClientMessage::Kind refusal, const char* what);
    Topic* EnsureTopic(Server& server, const std::string& name);
    // Null when the server makes no item of the name; pRefusal then gets the
    // server's reason, when it gave one (the returned text of the record).
    Item* EnsureItem(Server& server, Topic& topic, const std::string& name, std::string* pRefusal = nullptr);
    bool Activate(Server& server, Topic& topic, Item& item);
    void Deactivate(Server& server, Topic& topic, Item& item);
    void DropConversation(Server& server, Conversation& conv);
    void DestroyTopic(Server& server, const std::string& key);
    void ReleaseValue(Item& item);
    void Post(DWORD conversation, ClientMessage message);
    void QueueLocked(Server& server, Op op);
    void DeliverData(Server& server);
    void AnswerRequests(Server& server, bool timerRan);
    std::string ItemKey(const Server& server, const std::string& name) const;
    bool IsWholeHeapValue(BRISANT_DATATYPE type, const BYTE* block) const;
    std::string SystemAnswer(Server& server, const std::string& item);
    // The server's answer to a System item the toolkit does not know (action 21); empty for none.
    std::string SystemRequest(Server& server, const std::string& item);
    // Ends a server; with `stop` the server hears of it first (action 2).
    void EndServer(DWORD server, bool stop);

    Clock m_clock;                   // read on the idle thread only
    // Guards the servers, the conversations with their outboxes, the pending
    // operations and the two signals; the rest of a server belongs to the
    // application thread. Callbacks run with it let go (they call back in).
    // Taken before a signal's own lock; the heap's lock may be taken under it.
    mutable std::mutex m_mutex;
    Signal* m_messageSignal = nullptr;
    Signal* m_workSignal = nullptr;
    Heap m_heap;
    std::map<DWORD, std::unique_ptr<Server>> m_servers;
    std::map<DWORD, std::unique_ptr<Conversation>> m_conversations;
    DWORD m_nextServer = 1;
    DWORD m_nextConversation = 1;
    DWORD m_nextItem = 1;
    DWORD m_nextTopic = 1;
    DWORD m_nextBranch = 1;
};

// --- the entries, as the framework imports them ---
DWORD BrisantSetupDDEServerInterface(std::uintptr_t window, std::uintptr_t instance, const char* commandLine,
                                     BRISANTACTIONPROC callback);                                   // 934
void BrisantSetTextFormats(DWORD server, int text, int advanced);                                   // 986
void BrisantEnableSystemTopic(DWORD server, int on);                                                // 979
void BrisantSetItemCase(DWORD server, int on);                                                      // 980
void BrisantEnableTopicList(DWORD server, int on);                                                  // 974
void BrisantEnableExecute(DWORD server, int on);                                                    // 978
void BrisantEnablePoke(DWORD server, int on);                                                       // 983
void BrisantEnableRequest(DWORD server, int on);                                                    // 962
void BrisantEnableAdvise(DWORD server, int on);                                                     // 953
void BrisantEnableBrowse(DWORD server, int on);                                                     // 997
void BrisantDoIdle(DWORD server);                                                                   // 936
void BrisantShutdownDDEServer(DWORD server);                                                        // 935
int BrisantRegisterServer(std::uintptr_t module, const char* vendor, const char* name, const char* description); // 981
void BrisantUnregisterServer(std::uintptr_t module, const char* vendor, const char* name);          // 982
int BrisantStartServer(DWORD server, DWORD clientUpdateMs, DWORD initialDataWaitMs);                // 903
HBRISANTHEAP BrisantCreateHeap(DWORD server, int flag);                                             // 904
int BrisantReleaseHeap(DWORD server, HBRISANTHEAP heap);                                            // 907
void* BrisantHeapAlloc(DWORD server, HBRISANTHEAP heap, DWORD size);                                // 905
void BrisantHeapFree(DWORD server, void* block);                                                    // 906
int BrisantUpdateItemValue(DWORD server, DWORD item, DWORD valueLow, DWORD valueHigh, int reserved,
                           LONG quality, int updateSame);                                           // 921
BYTE* BrisantCopyArray(DWORD server, BRISANT_DATATYPE type, const BYTE* source);                    // 923
long BrisantReleaseItemUse(void* block, DWORD server);                                              // 926
void BrisantPokeAck(DWORD server, DWORD item, int failed, const char* error);                       // 928
int BrisantTextToValue(DWORD server, const char* text, BRISANT_DATATYPE type, _BRISANTDATAVALUE* value); // 948
void BrisantSetItemReady(DWORD server, DWORD item, int ready);                                      // 977
DWORD BrisantAddBrowseBranch(DWORD server, DWORD parent, const WCHAR* name, const WCHAR* path);     // 988
int BrisantAddBrowseLeaf(DWORD server, DWORD branch, const WCHAR* leaf, const WCHAR* full,
                         BRISANT_DATATYPE type, int access);                                        // 989

// The ordinal table of the entries.
struct Entry {
    int ordinal;
    const char* name;
    void (*address)();
};
const std::vector<Entry>& EntryTable();
const Entry* FindEntry(int ordinal);

} // namespace dde
