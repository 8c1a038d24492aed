#include "platform/dde/BrisantToolkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/dde/BrisantBlocks.h"
#include "FakeBrisantServer.h"
#include "support/CommaLocale.h"

namespace {

using dde::ClientMessage;

using ddetest::FakeServer;
using ddetest::Callback;
using ddetest::g_server;

class ToolkitTest : public ::testing::Test {
protected:
    ToolkitTest() : toolkit([this] { return now; })
    {
        server.toolkit = &toolkit;
        g_server = &server;
        server.id = toolkit.Setup(0, 0, "", &Callback);
    }
    ~ToolkitTest() override { g_server = nullptr; }

    // First idle: information, start, and the first timer pass.
    void Started()
    {
        toolkit.Idle(server.id);
        server.actions.clear();
    }
    DWORD Connected(const std::string& topic)
    {
        DWORD conv = toolkit.Connect(server.id, topic);
        toolkit.Idle(server.id);
        auto messages = toolkit.TakeMessages(conv);
        EXPECT_EQ(messages.size(), 1u);
        if (!messages.empty()) {
            EXPECT_EQ(messages[0].kind, ClientMessage::Connected);
        }
        return conv;
    }
    dde::HeapCounters Heap() { return toolkit.FindHeap(toolkit.StartupHeap())->Counters(); }
    char* HeapText(const char* text)
    {
        auto* block = static_cast<char*>(toolkit.Allocate(server.id, toolkit.StartupHeap(), std::strlen(text) + 1));
        std::strcpy(block, text);
        return block;
    }

    std::uint64_t now = 1000;
    dde::Toolkit toolkit;
    FakeServer server;
};

TEST(BrisantEntries, TableHoldsTheTwentySevenOrdinals)
{
    const std::vector<int> expected = {934, 986, 979, 980, 974, 978, 983, 962, 953, 997, 936, 935, 981, 982,
                                       903, 904, 907, 905, 906, 921, 923, 926, 928, 948, 977, 988, 989};
    const auto& table = dde::EntryTable();
    ASSERT_EQ(table.size(), 27u);
    std::set<int> ordinals;
    std::set<std::string> names;
    for (const auto& entry : table) {
        ordinals.insert(entry.ordinal);
        names.insert(entry.name);
        EXPECT_NE(entry.address, nullptr) << entry.ordinal;
    }
    EXPECT_EQ(ordinals, std::set<int>(expected.begin(), expected.end()));
    EXPECT_EQ(names.size(), 27u);
    ASSERT_NE(dde::FindEntry(934), nullptr);
    EXPECT_STREQ(dde::FindEntry(934)->name, "BrisantSetupDDEServerInterface");
    EXPECT_EQ(dde::FindEntry(934)->address, reinterpret_cast<void (*)()>(&dde::BrisantSetupDDEServerInterface));
    EXPECT_EQ(dde::FindEntry(905)->address, reinterpret_cast<void (*)()>(&dde::BrisantHeapAlloc));
    EXPECT_EQ(dde::FindEntry(1), nullptr);
}

TEST(BrisantEntries, HeapWorksWithoutAnyServer)
{
    // Texts of points need the heap even when the DDE side never starts.
    HBRISANTHEAP heap = dde::Toolkit::Process().StartupHeap();
    ASSERT_NE(heap, 0u);
    void* block = dde::BrisantHeapAlloc(0, heap, 12);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(dde::Toolkit::Process().FindHeap(heap)->Owns(block));
    dde::BrisantHeapFree(0, block);
    EXPECT_FALSE(dde::Toolkit::Process().FindHeap(heap)->Owns(block));
    EXPECT_EQ(dde::BrisantHeapAlloc(0, heap + 1, 12), nullptr);
}

TEST(BrisantEntries, SetupRefusesAMissingCallbackAndRegistrationNeedsNames)
{
    EXPECT_EQ(dde::BrisantSetupDDEServerInterface(0, 0, "", nullptr), 0u);
    EXPECT_NE(dde::BrisantRegisterServer(0, "Zendry Software", "Fenwold", ""), 0);
    EXPECT_EQ(dde::BrisantRegisterServer(0, "", "Fenwold", ""), 0);
}

TEST_F(ToolkitTest, CallbacksRunOnlyInsideIdle)
{
    DWORD conv = toolkit.Connect(server.id, "PLC1");
    toolkit.Advise(conv, "D100");
    toolkit.Poke(conv, "D100", "5");
    EXPECT_TRUE(server.actions.empty());
    EXPECT_TRUE(toolkit.TakeMessages(conv).empty());
    toolkit.Idle(server.id);
    // information, start, topic, connected, item, active, read now, data type, poke, timer
    EXPECT_EQ(server.actions, (std::vector<int>{0, 1, 13, 25, 11, 8, 16, 24, 12, 7}));
    EXPECT_EQ(server.startCount, 1);
    server.actions.clear();
    toolkit.Idle(server.id);  // no timer due yet, nothing queued
    EXPECT_TRUE(server.actions.empty());
}

TEST_F(ToolkitTest, TimerRunsAtTheClientUpdateTime)
{
    Started();
    now += 99;
    toolkit.Idle(server.id);
    EXPECT_TRUE(server.actions.empty());
    now += 1;
    toolkit.Idle(server.id);
    EXPECT_EQ(server.actions, std::vector<int>{7});
}

TEST_F(ToolkitTest, TopicsAndItemsAreGeneratedOnceAndShared)
{
    Started();
    DWORD a = Connected("PLC1");
    DWORD b = Connected("plc1");
    toolkit.Advise(a, "D100");
    toolkit.Advise(b, "d100");
    toolkit.Idle(server.id);
    EXPECT_EQ(std::count(server.actions.begin(), server.actions.end(), 13), 1);
    EXPECT_EQ(std::count(server.actions.begin(), server.actions.end(), 11), 1);
    EXPECT_EQ(server.active["D100"], 2);
    EXPECT_TRUE(toolkit.IsItemReady(server.id, "PLC1", "D100"));

    server.actions.clear();
    toolkit.Disconnect(a);
    toolkit.Idle(server.id);
    EXPECT_EQ(server.actions, (std::vector<int>{9, 26}));
    EXPECT_EQ(server.lastReleaseUse, 2);  // the leaving user counted
    server.actions.clear();
    toolkit.Disconnect(b);
    toolkit.Idle(server.id);
    EXPECT_EQ(server.actions, (std::vector<int>{9, 10, 5, 26}));
    EXPECT_EQ(server.lastReleaseUse, 1);
    EXPECT_EQ(server.active["D100"], 0);
}

TEST_F(ToolkitTest, UnknownTopicIsRefused)
{
    Started();
    DWORD conv = toolkit.Connect(server.id, "NOPE");
    toolkit.Idle(server.id);
    EXPECT_EQ(server.actions, std::vector<int>{13});
    EXPECT_EQ(toolkit.TakeMessages(conv), (std::vector<ClientMessage>{{ClientMessage::Refused, "NOPE", "", 0}}));
    // The refused conversation is gone once its answer was taken.
    EXPECT_TRUE(toolkit.TakeMessages(conv).empty());
    toolkit.Advise(conv, "D100");
    toolkit.Idle(server.id);
    EXPECT_EQ(server.actions, std::vector<int>{13});
    EXPECT_EQ(toolkit.Connect(999, "PLC1"), 0u);
}

TEST_F(ToolkitTest, PushedValuesReachAdvisersAndTheCacheOwnsTexts)
{
    Started();
    DWORD conv = Connected("PLC1");
    toolkit.Advise(conv, "D100");
    toolkit.Advise(conv, "TEXT");
    toolkit.Idle(server.id);
    toolkit.TakeMessages(conv);

    _BRISANTDATAVALUE shortValue{};
    shortValue.iVal = -7;
    _BRISANTDATAVALUE text{};
    text.pszVal = HeapText("hello");
    server.toPush = {{"D100", shortValue}, {"TEXT", text}};
    now += 100;
    toolkit.Idle(server.id);
    EXPECT_EQ(server.pushResults, (std::vector<int>{1, 1}));
    auto messages = toolkit.TakeMessages(conv);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], (ClientMessage{ClientMessage::Data, "D100", "-7", 192}));
    EXPECT_EQ(messages[1], (ClientMessage{ClientMessage::Data, "TEXT", "hello", 192}));

    // A new text replaces the cached one, which goes back to the heap.
    auto before = Heap();
    _BRISANTDATAVALUE text2{};
    text2.pszVal = HeapText("world");
    server.toPush = {{"TEXT", text2}};
    now += 100;
    toolkit.Idle(server.id);
    EXPECT_EQ(Heap().liveBlocks, before.liveBlocks);
    EXPECT_EQ(toolkit.TakeMessages(conv)[0].text, "world");

    // The same value again is not taken without update-same: the caller keeps it.
    _BRISANTDATAVALUE same{};
    same.iVal = -7;
    server.pushResults.clear();
    server.toPush = {{"D100", same}};
    now += 100;
    toolkit.Idle(server.id);
    EXPECT_EQ(server.pushResults, std::vector<int>{0});
    EXPECT_TRUE(toolkit.TakeMessages(conv).empty());
}

TEST_F(ToolkitTest, PushOfATextNotOnTheHeapIsRefused)
{
    Started();
    DWORD conv = Connected("PLC1");
    toolkit.Advise(conv, "TEXT");
    toolkit.Idle(server.id);
    char local[] = "stack";
    _BRISANTDATAVALUE value{};
    value.pszVal = local;
    server.toPush = {{"TEXT", value}};
    now += 100;
    toolkit.Idle(server.id);
    EXPECT_EQ(server.pushResults, std::vector<int>{0});
}

TEST_F(ToolkitTest, PushOfAValueLargerThanItsBlockIsRefused)
{
    struct Case {
        const char* what;
        const char* item;
        std::size_t blockSize;
        std::vector<BYTE> bytes;  // the block's first bytes; the rest stays zero
        int accepted;
    };
    const Case cases[] = {
        {"text without terminator", "TEXT", 4, {'a', 'b', 'c', 'd'}, 0},
        {"terminated text", "TEXT", 4, {'a', 'b', 'c'}, 1},
        {"counted length past the block", "FIX", 6, {50, 0, 'a', 'b'}, 0},
        {"counted length within the block", "FIX", 6, {3, 0, 'a', 'b', 'c'}, 1},
        {"array count past the block", "BITS", 8 + 4 * 3, {12, 0, 0, 0, 0xE8, 0x03, 0, 0}, 0},
        {"array count within the block", "BITS", 8 + 4 * 3, {12, 0, 0, 0, 3, 0, 0, 0}, 1},
    };
    Started();
    DWORD conv = Connected("PLC1");
    for (const char* item : {"TEXT", "FIX", "BITS"})
        toolkit.Advise(conv, item);
    toolkit.Idle(server.id);
    for (const Case& c : cases) {
        auto* block = static_cast<BYTE*>(toolkit.Allocate(server.id, toolkit.StartupHeap(), c.blockSize));
        std::memcpy(block, c.bytes.data(), c.bytes.size());
        _BRISANTDATAVALUE value{};
        value.parrVal = block;
        server.toPush = {{c.item, value}};
        server.pushResults.clear();
        now += 100;
        toolkit.Idle(server.id);
        EXPECT_EQ(server.pushResults, std::vector<int>{c.accepted}) << c.what;
        if (!c.accepted)
            toolkit.Free(server.id, block);  // a refused value stays the caller's
    }
    toolkit.Shutdown(server.id);
    EXPECT_EQ(Heap().liveBlocks, 0u);
    EXPECT_EQ(Heap().refusedFrees, 0u);
}

TEST_F(ToolkitTest, PokeIsParsedToTheItemTypeAndAcknowledged)
{
    Started();
    DWORD conv = Connected("PLC1");
    toolkit.Poke(conv, "D100", " 1234 ");
    toolkit.Idle(server.id);
    EXPECT_EQ(server.pokedType, BRISANT_SHORT);
    EXPECT_EQ(server.poked.iVal, 1234);
    auto messages = toolkit.TakeMessages(conv);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, ClientMessage::PokeAck);

    server.ackPokes = false;
    toolkit.Poke(conv, "D100", "5");
    toolkit.Poke(conv, "D100", "99999");  // out of range for a Short: never reaches the server
    server.actions.clear();
    toolkit.Idle(server.id);
    EXPECT_EQ(std::count(server.actions.begin(), server.actions.end(), 12), 1);
    messages = toolkit.TakeMessages(conv);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], (ClientMessage{ClientMessage::PokeNack, "D100", "There was an error in writing the data", 0}));
    EXPECT_EQ(messages[1].kind, ClientMessage::PokeNack);
}

TEST_F(ToolkitTest, PokedTextIsFreedAfterTheCallback)
{
    Started();
    DWORD conv = Connected("PLC1");
    auto before = Heap();
    toolkit.Poke(conv, "TEXT", "abc");
    toolkit.Idle(server.id);
    EXPECT_EQ(server.pokedText, "abc");
    EXPECT_EQ(Heap().liveBlocks, before.liveBlocks);
}

TEST_F(ToolkitTest, RequestWaitsForTheFirstValueThenGivesUp)
{
    Started();
    DWORD conv = Connected("PLC1");
    toolkit.Request(conv, "D100");
    toolkit.Idle(server.id);
    EXPECT_EQ(server.active["D100"], 1);  // kept active while waiting
    EXPECT_TRUE(toolkit.TakeMessages(conv).empty());

    _BRISANTDATAVALUE value{};
    value.iVal = 42;
    server.toPush = {{"D100", value}};
    now += 100;
    toolkit.Idle(server.id);
    EXPECT_EQ(toolkit.TakeMessages(conv), (std::vector<ClientMessage>{{ClientMessage::RequestData, "D100", "42", 192}}));
    EXPECT_EQ(server.active["D100"], 0);

    toolkit.Request(conv, "F1");
    toolkit.Idle(server.id);
    now += 500;
    toolkit.Idle(server.id);
    EXPECT_TRUE(toolkit.TakeMessages(conv).empty());  // 500 ms is not more than the wait
    now += 1;
    toolkit.Idle(server.id);
    EXPECT_EQ(toolkit.TakeMessages(conv), (std::vector<ClientMessage>{{ClientMessage::RequestFailed, "F1",
                                                                        "no data from the device within 500 ms", 0}}));
    EXPECT_EQ(server.active["F1"], 0);
}

TEST_F(ToolkitTest, RequestsAndAdvisesGetTheValueTheServerHoldsAtOnce)
{
    Started();
    DWORD conv = Connected("PLC1");
    _BRISANTDATAVALUE value{};
    value.iVal = 7;
    server.current = {{"D100", {value, 64}}, {"TEXT", {_BRISANTDATAVALUE{}, 192}}};
    toolkit.Request(conv, "D100");
    toolkit.Request(conv, "TEXT");
    toolkit.Advise(conv, "D100");
    toolkit.ServeClients(server.id);   // no timer pass
    EXPECT_EQ(std::count(server.actions.begin(), server.actions.end(), 7), 0);
    EXPECT_EQ(toolkit.TakeMessages(conv), (std::vector<ClientMessage>{{ClientMessage::RequestData, "D100", "7", 64},
                                                                      {ClientMessage::RequestData, "TEXT", "", 192},
                                                                      {ClientMessage::AdviseOk, "D100", "", 0},
                                                                      {ClientMessage::Data, "D100", "7", 64}}));
    EXPECT_EQ(server.active["TEXT"], 0);
    EXPECT_EQ(server.active["D100"], 1);   // the advise only
}

TEST_F(ToolkitTest, RefusalsSayWhy)
{
    Started();
    DWORD conv = Connected("PLC1");
    toolkit.Poke(conv, "D100", "abc");
    toolkit.Poke(conv, "D100", "40000");
    toolkit.Poke(conv, "F1", "1,5");
    toolkit.Request(conv, "NONE");
    toolkit.Execute(conv, "REBOOT");
    toolkit.Idle(server.id);
    EXPECT_EQ(toolkit.TakeMessages(conv),
              (std::vector<ClientMessage>{{ClientMessage::PokeNack, "D100", "\"abc\" is no whole number", 0},
                                          {ClientMessage::PokeNack, "D100", "40000 is out of range for Short (-32768 to 32767)", 0},
                                          {ClientMessage::PokeNack, "F1", "\"1,5\" is no number", 0},
                                          {ClientMessage::RequestFailed, "NONE", "topic PLC1 has no item NONE", 0},
                                          {ClientMessage::ExecuteNack, "REBOOT", "the server does not carry out \"REBOOT\"", 0}}));
    // The server is told of each poke the toolkit refused, to log it.
    EXPECT_EQ(std::count(server.actions.begin(), server.actions.end(), 20), 3);
}

TEST_F(ToolkitTest, AnItemTheServerRefusesWithAReasonIsRefusedAtOnceWithIt)
{
    server.refused["D101"] = "D101 is part of the string D100";
    Started();
    DWORD conv = Connected("PLC1");
    toolkit.Request(conv, "D101");
    toolkit.Advise(conv, "D101");
    toolkit.Poke(conv, "D101", "AB");
    toolkit.Idle(server.id);   // no wait for a first value
    EXPECT_EQ(toolkit.TakeMessages(conv),
              (std::vector<ClientMessage>{{ClientMessage::RequestFailed, "D101", "D101 is part of the string D100", 0},
                                          {ClientMessage::AdviseFailed, "D101", "D101 is part of the string D100", 0},
                                          {ClientMessage::PokeNack, "D101", "D101 is part of the string D100", 0}}));
    EXPECT_EQ(std::count(server.actions.begin(), server.actions.end(), 12), 0);
}

TEST_F(ToolkitTest, SystemTopicListsTopicsAndExecutes)
{
    Started();
    DWORD conv = Connected("System");
    toolkit.Request(conv, "Topics");
    toolkit.Request(conv, "SysItems");
    toolkit.Request(conv, "Nothing");
    toolkit.Execute(conv, "CLOSE SERVER");
    toolkit.Execute(conv, "other");
    toolkit.Idle(server.id);
    auto messages = toolkit.TakeMessages(conv);
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0].text, "PLC1\tPLC2");
    EXPECT_EQ(messages[1].text, "SysItems\tTopics\tFormats");
    EXPECT_EQ(messages[2].kind, ClientMessage::RequestFailed);
    EXPECT_EQ(messages[3].kind, ClientMessage::ExecuteAck);
    EXPECT_EQ(messages[4].kind, ClientMessage::ExecuteNack);
}

TEST_F(ToolkitTest, DisabledOptionsRefuseTheirOperations)
{
    toolkit.SetOption(server.id, dde::kOptPoke, 0);
    toolkit.SetOption(server.id, dde::kOptSystemTopic, 0);
    Started();
    DWORD conv = Connected("PLC1");
    toolkit.Poke(conv, "D100", "1");
    toolkit.Idle(server.id);
    EXPECT_EQ(toolkit.TakeMessages(conv)[0].kind, ClientMessage::PokeNack);
    DWORD system = toolkit.Connect(server.id, "System");
    toolkit.Idle(server.id);
    EXPECT_EQ(toolkit.TakeMessages(system)[0].kind, ClientMessage::Refused);  // no such topic either
}

TEST_F(ToolkitTest, ShutdownReturnsCachedValuesToTheHeap)
{
    auto before = Heap();
    Started();
    DWORD conv = Connected("PLC1");
    toolkit.Advise(conv, "TEXT");
    toolkit.Idle(server.id);
    _BRISANTDATAVALUE text{};
    text.pszVal = HeapText("cached");
    server.toPush = {{"TEXT", text}};
    now += 100;
    toolkit.Idle(server.id);
    EXPECT_EQ(Heap().liveBlocks, before.liveBlocks + 1);
    server.actions.clear();
    toolkit.Shutdown(server.id);
    EXPECT_EQ(server.actions, std::vector<int>{2});  // the stop, then no callback after exit
    EXPECT_EQ(Heap().liveBlocks, before.liveBlocks);
    server.actions.clear();
    toolkit.Idle(server.id);
    EXPECT_TRUE(server.actions.empty());
}

TEST_F(ToolkitTest, AServerThatNeverStartedHearsNoStop)
{
    toolkit.Shutdown(server.id);
    EXPECT_TRUE(server.actions.empty());
}

TEST_F(ToolkitTest, PokesAreReadAsTheTypeTheServerHoldsNow)
{
    Started();
    DWORD conv = Connected("PLC1");
    toolkit.Poke(conv, "D100", "1");
    toolkit.Idle(server.id);
    server.items["D100"] = BRISANT_FLOAT;  // the point behind the item changed its type
    toolkit.Poke(conv, "D100", "2.5");
    toolkit.Idle(server.id);
    EXPECT_EQ(server.pokedType, BRISANT_FLOAT);
    EXPECT_EQ(server.poked.fltVal, 2.5f);
    EXPECT_EQ(toolkit.TakeMessages(conv).size(), 2u);
}

TEST_F(ToolkitTest, SystemItemsTheToolkitDoesNotKnowGoToTheServer)
{
    Started();
    DWORD conv = Connected("System");
    server.systemAnswer = "Status is fine";
    toolkit.Request(conv, "Status");
    toolkit.Idle(server.id);
    auto messages = toolkit.TakeMessages(conv);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], (ClientMessage{ClientMessage::RequestData, "Status", "Status is fine", 192}));
    EXPECT_EQ(std::count(server.actions.begin(), server.actions.end(), 21), 1);
}

TEST_F(ToolkitTest, ExitFromInsideACallbackWaitsForTheIdlePassToEnd)
{
    Started();
    DWORD conv = Connected("PLC1");
    toolkit.Advise(conv, "TEXT");
    toolkit.Idle(server.id);
    server.exitOnTimer = true;
    _BRISANTDATAVALUE text{};
    text.pszVal = HeapText("late");
    server.toPush = {{"TEXT", text}};
    auto before = Heap();
    now += 100;
    toolkit.Idle(server.id);  // the timer action asks for exit, then still pushes
    EXPECT_EQ(Heap().liveBlocks, before.liveBlocks - 1);  // the pushed text went with the server
    server.actions.clear();
    toolkit.Idle(server.id);
    EXPECT_TRUE(server.actions.empty());
    EXPECT_EQ(toolkit.Connect(server.id, "PLC1"), 0u);
}

TEST_F(ToolkitTest, ArrayCopyIsBoundedByItsBlock)
{
    auto* block = static_cast<BYTE*>(toolkit.Allocate(server.id, toolkit.StartupHeap(), dde::ArrayBlockSize(BRISANT_BOOLARRAY, 3)));
    dde::SetArrayHeader(block, BRISANT_BOOLARRAY, 3);
    BYTE* copy = toolkit.CopyArray(server.id, BRISANT_BOOLARRAY, block);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::memcmp(copy, block, dde::ArrayBlockSize(BRISANT_BOOLARRAY, 3)), 0);
    // A count that claims more elements than the block holds is refused.
    dde::SetArrayHeader(block, BRISANT_BOOLARRAY, 1000);
    EXPECT_EQ(toolkit.CopyArray(server.id, BRISANT_BOOLARRAY, block), nullptr);
    toolkit.Free(server.id, copy);
    toolkit.Free(server.id, block);
}

// Counts how often it was raised.
struct CountingSignal : dde::Signal {
    void Raise() override { ++raised; }
    int raised = 0;
};

TEST_F(ToolkitTest, ClientsLearnOfTheServersExitAfterWhatWasPostedBefore)
{
    Started();
    DWORD conv = Connected("PLC1");
    DWORD unread = toolkit.Connect(server.id, "PLC1");
    toolkit.Poke(conv, "D100", "1");
    toolkit.Idle(server.id);
    toolkit.Shutdown(server.id);
    // The acknowledgement comes first, then the close; after that the conversation is gone.
    EXPECT_EQ(toolkit.TakeMessages(conv), (std::vector<ClientMessage>{{ClientMessage::PokeAck, "D100", "", 0},
                                                                      {ClientMessage::Closed, "", "", 0}}));
    EXPECT_TRUE(toolkit.TakeMessages(conv).empty());
    // A client that lets go before taking its notice leaves nothing behind.
    toolkit.Disconnect(unread);
    EXPECT_TRUE(toolkit.TakeMessages(unread).empty());
}

TEST_F(ToolkitTest, SignalsTellOfQueuedWorkAndPostedMessages)
{
    CountingSignal work, messages;
    EXPECT_EQ(toolkit.SetWorkSignal(&work), nullptr);
    EXPECT_EQ(toolkit.SetMessageSignal(&messages), nullptr);
    Started();
    DWORD conv = toolkit.Connect(server.id, "PLC1");
    toolkit.Request(conv, "D100");
    EXPECT_EQ(work.raised, 2);
    EXPECT_EQ(messages.raised, 0);
    toolkit.Idle(server.id);
    EXPECT_EQ(messages.raised, 1);  // connected; the request waits for a value
    EXPECT_EQ(toolkit.SetWorkSignal(nullptr), &work);
    EXPECT_EQ(toolkit.SetMessageSignal(nullptr), &messages);
    toolkit.Unadvise(conv, "D100");
    toolkit.Idle(server.id);
    EXPECT_EQ(work.raised, 2);
    EXPECT_EQ(messages.raised, 1);
    EXPECT_EQ(toolkit.TakeMessages(conv).back(), (ClientMessage{ClientMessage::Unadvised, "D100", "", 0}));
}

struct TextCase {
    const char* text;
    BRISANT_DATATYPE type;
    int ok;
    std::string shown;  // ValueToText of the result
};

class TextToValueTest : public ToolkitTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(TextToValueTest, ParsesOrRefuses)
{
    const TextCase& c = GetParam();
    _BRISANTDATAVALUE value{};
    value.ullVal = 0x5555;
    EXPECT_EQ(toolkit.TextToValue(server.id, c.text, c.type, &value), c.ok) << c.text;
    if (c.ok) {
        EXPECT_EQ(dde::Toolkit::ValueToText(c.type, value), c.shown);
        if (dde::IsTextType(c.type))
            toolkit.Free(server.id, value.pszVal);
    } else {
        EXPECT_EQ(value.ullVal, 0x5555u);  // untouched on failure
    }
}

TEST_F(ToolkitTest, PokedRealsReadAndShowWithADotUnderACommaLocale)
{
    testsupport::CommaLocaleScope comma;
    if (!comma.Ok())
        GTEST_SKIP() << "no comma-decimal locale could be made (localedef, package locales)";
    _BRISANTDATAVALUE value{};
    ASSERT_EQ(toolkit.TextToValue(server.id, "1.5", BRISANT_FLOAT, &value), 1);
    EXPECT_EQ(value.fltVal, 1.5f);
    EXPECT_EQ(dde::Toolkit::ValueToText(BRISANT_FLOAT, value), "1.5");
    ASSERT_EQ(toolkit.TextToValue(server.id, " +0.25 ", BRISANT_DOUBLE, &value), 1);
    EXPECT_EQ(value.dblVal, 0.25);
    EXPECT_EQ(dde::Toolkit::ValueToText(BRISANT_DOUBLE, value), "0.25");
    EXPECT_EQ(toolkit.TextToValue(server.id, "1,5", BRISANT_DOUBLE, &value), 0);  // not a number in any locale
}

INSTANTIATE_TEST_SUITE_P(Table, TextToValueTest,
    ::testing::Values(TextCase{"1", BRISANT_BOOL, 1, "1"}, TextCase{"0", BRISANT_BOOL, 1, "0"},
                      TextCase{"true", BRISANT_BOOL, 1, "1"}, TextCase{"x", BRISANT_BOOL, 0, ""},
                      TextCase{"-128", BRISANT_CHAR, 1, "-128"}, TextCase{"128", BRISANT_CHAR, 0, ""},
                      TextCase{"255", BRISANT_BYTE, 1, "255"}, TextCase{"-1", BRISANT_BYTE, 0, ""},
                      TextCase{"-32768", BRISANT_SHORT, 1, "-32768"}, TextCase{"40000", BRISANT_SHORT, 0, ""},
                      TextCase{"65535", BRISANT_WORD, 1, "65535"}, TextCase{"12abc", BRISANT_LONG, 0, ""},
                      TextCase{"4294967295", BRISANT_DWORD, 1, "4294967295"}, TextCase{"", BRISANT_DWORD, 0, ""},
                      TextCase{"1.5", BRISANT_FLOAT, 1, "1.5"}, TextCase{"1e39", BRISANT_FLOAT, 0, ""},
                      TextCase{"-2.25", BRISANT_DOUBLE, 1, "-2.25"}, TextCase{"nan", BRISANT_DOUBLE, 0, ""},
                      TextCase{"some text", BRISANT_STRING, 1, "some text"},
                      TextCase{"abc", BRISANT_FIXEDSTRING, 1, "abc"}, TextCase{"1", BRISANT_BOOLARRAY, 0, ""}));

// The server builds its browse information when it is first browsed, once; not at
// start, and not for a server that has not started.
TEST_F(ToolkitTest, TheFirstBrowseAsksForTheBrowseInformationOnce)
{
    toolkit.SetOption(server.id, dde::kOptBrowse, 1);
    EXPECT_TRUE(toolkit.Browse(server.id).empty());
    EXPECT_TRUE(server.actions.empty());
    Started();
    toolkit.Idle(server.id);
    EXPECT_TRUE(server.actions.empty());
    toolkit.Browse(server.id);
    EXPECT_EQ(server.actions, std::vector<int>{31});
    toolkit.Browse(server.id);
    toolkit.Idle(server.id);
    EXPECT_EQ(server.actions, std::vector<int>{31});
}

// A full name kept beside the path and leaf name it repeats comes back as given,
// and so does one that is something else.
TEST_F(ToolkitTest, BrowseLeavesKeepTheirFullNames)
{
    const DWORD branch = toolkit.AddBrowseBranch(server.id, 0, u"PLC1", u"[PLC1]");
    EXPECT_EQ(toolkit.AddBrowseLeaf(server.id, branch, u"D100", u"[PLC1]D100", BRISANT_SHORT, 3), 1);
    EXPECT_EQ(toolkit.AddBrowseLeaf(server.id, branch, u"[PLC1]D101", u"[PLC1]D101", BRISANT_WORD, 1), 1);
    EXPECT_EQ(toolkit.AddBrowseLeaf(server.id, branch, u"D102", u"[PLC2]D102", BRISANT_LONG, 2), 1);
    EXPECT_EQ(toolkit.AddBrowseLeaf(server.id, branch, u"", u"", BRISANT_BOOL, 0), 1);
    EXPECT_EQ(toolkit.AddBrowseLeaf(server.id, branch, u"M0", u"[PLC1]M0", BRISANT_BOOL, 3), 1);
    const auto tree = toolkit.Browse(server.id);
    ASSERT_EQ(tree.size(), 1u);
    EXPECT_EQ(tree[0].name, u"PLC1");
    EXPECT_EQ(tree[0].path, u"[PLC1]");
    const std::vector<std::pair<std::u16string, std::u16string>> names = {
        {u"D100", u"[PLC1]D100"}, {u"[PLC1]D101", u"[PLC1]D101"}, {u"D102", u"[PLC2]D102"}, {u"", u""},
        {u"M0", u"[PLC1]M0"}};
    ASSERT_EQ(tree[0].leaves.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(tree[0].leaves[i].leaf, names[i].first) << i;
        EXPECT_EQ(tree[0].leaves[i].full, names[i].second) << i;
    }
    EXPECT_EQ(tree[0].leaves[1].type, BRISANT_WORD);
    EXPECT_EQ(tree[0].leaves[2].access, 2);
}

// Each leaf goes into the branch its handle names, among many; a handle of
// another server or of a cleared tree takes none.
TEST_F(ToolkitTest, BrowseLeavesGoToTheirOwnBranchAmongMany)
{
    std::vector<DWORD> branches;
    for (int i = 0; i < 50; ++i)
        branches.push_back(toolkit.AddBrowseBranch(server.id, 0, u"S", u"[S]"));
    EXPECT_EQ(toolkit.AddBrowseLeaf(server.id, branches[7], u"A", u"[S]A", BRISANT_WORD, 3), 1);
    EXPECT_EQ(toolkit.AddBrowseLeaf(server.id, branches[49], u"B", u"[S]B", BRISANT_WORD, 1), 1);
    EXPECT_EQ(toolkit.AddBrowseLeaf(server.id, branches[7], u"C", u"[S]C", BRISANT_WORD, 2), 1);
    EXPECT_EQ(toolkit.AddBrowseLeaf(server.id, branches[49] + 1, u"D", u"[S]D", BRISANT_WORD, 3), 0);
    const auto tree = toolkit.Browse(server.id);
    ASSERT_EQ(tree.size(), 50u);
    ASSERT_EQ(tree[7].leaves.size(), 2u);
    EXPECT_EQ(tree[7].leaves[1].leaf, u"C");
    ASSERT_EQ(tree[49].leaves.size(), 1u);
    EXPECT_EQ(tree[49].leaves[0].access, 1);
    toolkit.ClearBrowse(server.id);
    EXPECT_EQ(toolkit.AddBrowseLeaf(server.id, branches[7], u"E", u"[S]E", BRISANT_WORD, 3), 0);
    const DWORD fresh = toolkit.AddBrowseBranch(server.id, 0, u"T", u"[T]");
    EXPECT_EQ(toolkit.AddBrowseLeaf(server.id, fresh, u"F", u"[T]F", BRISANT_WORD, 3), 1);
    EXPECT_EQ(toolkit.Browse(server.id)[0].leaves.size(), 1u);
}

} // namespace
