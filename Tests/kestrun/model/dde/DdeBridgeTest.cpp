// The DDE bridge behind the process's toolkit, with clients in this process.
#include "kestrun/model/dde/DdeBridge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>

#include "DdeHarness.h"
#include "kestrun/model/Hint.h"
#include "kestrun/options/EngineCounters.h"
#include "kestrun/options/ServerOptions.h"
#include "support/OptionScope.h"

namespace dde {
// Messages in a failure read as what they say.
void PrintTo(const ClientMessage& m, std::ostream* os)
{
    *os << "{" << m.kind << " " << m.item << " '" << m.text << "' " << m.quality << "}";
}
} // namespace dde

namespace {

using dde::ClientMessage;
using testsupport::OptionScope;

// A block read as one string into its first point, as a server program may make one.
class StringPoint : public CdsMemoryObject {
public:
    std::string GetNoValueReason() const override
    {
        return GetIndex() > 0 ? GetName() + " is part of the string D300: use D300" : std::string();
    }
    std::string GetValueRefusal(const _BRISANTDATAVALUE& value) const override
    {
        if (GetIndex() == 0 && value.pszVal && std::strlen(value.pszVal) > 4)
            return "the text does not fit";
        return CdsMemoryObject::GetValueRefusal(value);
    }
};
class StringBlock : public CdsMemoryArray {
public:
    StringBlock() : CdsMemoryArray(-1) {}
    CdsMemoryObject* NewMemoryObject() override { return new StringPoint; }
};

class DdeBridgeTest : public ddetest::DdeHarness {
protected:
    void SetUp() override
    {
        DdeHarness::SetUp();
        Pass();   // information, start, browse and the first timer
    }
    dde::Toolkit& Toolkit() { return dde::Toolkit::Process(); }
    DWORD Connect(const std::string& topic)
    {
        const DWORD conv = Toolkit().Connect(service.GetServerId(), topic);
        Pass();
        EXPECT_EQ(Kinds(conv), std::vector<int>{ClientMessage::Connected}) << topic;
        return conv;
    }
    std::vector<int> Kinds(DWORD conv)
    {
        std::vector<int> kinds;
        for (const ClientMessage& message : Toolkit().TakeMessages(conv))
            kinds.push_back(message.kind);
        return kinds;
    }
};

TEST(DdeDataTypeFormat, MapsTheFormatsCodesAndLeavesTheOthers)
{
    const int cases[][2] = {{0, 0}, {5, 5}, {6, 7}, {16, 17}, {17, 17}, {18, 19}, {22, 23}, {23, 23}, {32, 32}};
    for (const auto& c : cases)
        EXPECT_EQ(kestrun::MapDataTypeFormat(c[0]), c[1]) << c[0];
}

TEST_F(DdeBridgeTest, ServerInformationIsCutToItsBuffersAndTheSystemRequestIsOnTheHeap)
{
    char name[4] = {}, company[64] = {}, info[4][8] = {};
    _BRISANT_DATAACTION a;
    a.pszServerName = name;
    a.nServerNameSize = sizeof name;
    a.pszCompany = company;
    a.nCompanySize = sizeof company;
    for (int i = 0; i < 4; ++i) {
        a.pszInfo[i] = info[i];
        a.nInfoSize[i] = sizeof info[i];
    }
    EXPECT_EQ(bridge.Action(0, &a), 1);
    EXPECT_STREQ(name, "Fen");
    EXPECT_STREQ(company, "Ambersel Software");
    EXPECT_STREQ(info[0], "System");
    EXPECT_STREQ(info[2], "System ");

    _BRISANT_DATAACTION request;
    request.dwServerId = service.GetServerId();
    EXPECT_EQ(bridge.Action(21, &request), 1);
    EXPECT_STREQ(request.pszReturn, "This is the system request string in strdata2");
    EXPECT_EQ(request.nReturnLength, 45);
    dde::BrisantHeapFree(0, request.pszReturn);
}

TEST_F(DdeBridgeTest, ItemsTellTheToolkitTheirPointsOwnType)
{
    // The toolkit reads each value by the code it is told: a mapped code would make it misread.
    OptionScope format(CdsServerOptions::g_nDataTypeFormat, 2);
    CdsMemoryArray* counts = AddBlock(plc1, "", "D300", BRISANT_DWORD, 1, {"COUNT"});
    map->OnLoading();   // the new point's name in the maps
    counts->SetOnline(TRUE, plc1);
    const DWORD conv = Connect("PLC1");
    Toolkit().Advise(conv, "COUNT");
    _BRISANTDATAVALUE value{};
    value.dwVal = 70000;
    Point(counts, 0)->UpdateState(value, FALSE, nullptr, nullptr, FALSE);
    Pass();
    const auto messages = Toolkit().TakeMessages(conv);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), (ClientMessage{ClientMessage::Data, "COUNT", "70000", 192}));
}

TEST_F(DdeBridgeTest, RequestsAreAnsweredAtOnceWithTheValueAndItsQuality)
{
    Store(Point(words, 0), 11);
    _BRISANTDATAVALUE empty{};
    Point(texts, 0)->UpdateState(empty, FALSE, nullptr, nullptr, FALSE);
    const DWORD conv = Connect("PLC1");
    Toolkit().Request(conv, "D100");
    Toolkit().Request(conv, "NAME");    // an empty text is a value
    Toolkit().Request(conv, "D103");    // never read: waits for its first value
    dispatcher.runPending();            // no client-update tick
    EXPECT_EQ(Toolkit().TakeMessages(conv), (std::vector<ClientMessage>{{ClientMessage::RequestData, "D100", "11", 192},
                                                                        {ClientMessage::RequestData, "NAME", "", 192}}));
}

TEST_F(DdeBridgeTest, TheSystemTopicListsEveryDeviceForItsFirstClient)
{
    const DWORD system = Connect("System");
    Toolkit().Request(system, "Topics");
    dispatcher.runPending();
    EXPECT_EQ(Toolkit().TakeMessages(system),
              (std::vector<ClientMessage>{{ClientMessage::RequestData, "Topics", "$SYSTEM\tPLC1", 192}}));
}

TEST_F(DdeBridgeTest, TimerPassesCountAsClientUpdatesInTheStatusBar)
{
    Connect("PLC1");
    const ULONG before = CdsEngineCounters::m_nWdogUpdating.load();
    Pass();
    EXPECT_EQ(CdsEngineCounters::m_nWdogUpdating.load() - before, 1u);   // one topic, one pass
}

TEST_F(DdeBridgeTest, APokeTheToolkitRefusesIsLoggedWithItsReason)
{
    const DWORD conv = Connect("PLC1");
    hints.clear();
    Toolkit().Poke(conv, "D100", "many");
    Pass();
    ASSERT_EQ(HintCodes(), std::vector<int>{HINT_WRITE_REFUSED});
    EXPECT_EQ(hints[0].topic, "PLC1");
    EXPECT_EQ(hints[0].item, "D100");
}

TEST_F(DdeBridgeTest, PokesQueueWritesOrRunServerCommandsAndAnswerByTheirResult)
{
    const DWORD conv = Connect("PLC1");
    const DWORD system = Connect("$System");
    struct Case {
        const char* what;
        DWORD conv;
        const char* item;
        const char* value;
        bool refuse;
        ClientMessage answer;
        int hint;
    };
    const std::string error = "There was an error in writing the data";
    const Case cases[] = {
        {"a write is queued", conv, "D101", "5", false, {ClientMessage::PokeAck, "D101", "", 0}, HINT_WRITE_QUEUED},
        {"a refused write", conv, "D101", "6", true,
         {ClientMessage::PokeNack, "D101", error + ": the write could not be queued", 0}, HINT_WRITE_REFUSED},
        {"a command carried out", system, "$DoOnline", "1", false, {ClientMessage::PokeAck, "$DoOnline", "", 0},
         HINT_COMMAND_DONE},
        {"a command that fails", system, "$DoOpen", "../missing.mme", false,
         {ClientMessage::PokeNack, "$DoOpen", error, 0}, HINT_COMMAND_FAILED},
    };
    for (const Case& c : cases) {
        link.queue->refuse = c.refuse;
        hints.clear();
        Toolkit().Poke(c.conv, c.item, c.value);
        Pass();
        EXPECT_EQ(Toolkit().TakeMessages(c.conv), std::vector<ClientMessage>{c.answer}) << c.what;
        EXPECT_EQ(HintCodes(), std::vector<int>{c.hint}) << c.what;
    }
    ASSERT_EQ(link.queue->writes.size(), 1u);
    EXPECT_EQ(link.queue->writes[0].point, Point(words, 1));
    EXPECT_EQ(link.queue->writes[0].bits, 5u);
}

TEST_F(DdeBridgeTest, EveryNameOfAPointServesEveryClientAtOnce)
{
    // D103 is point 3's own name, D100:3 its place in the block.
    OptionScope changesOnly(CdsServerOptions::g_bUpdateSameValue, 0);
    Store(Point(words, 3), 9);
    const DWORD first = Connect("PLC1");
    const DWORD second = Connect("PLC1");
    Toolkit().Advise(first, "D103");
    Pass();
    Toolkit().Request(second, "D100:3");
    Toolkit().Request(first, "D100:&3");
    Pass();
    Toolkit().Advise(second, "d100:3");
    Pass();
    EXPECT_EQ(Toolkit().TakeMessages(first), (std::vector<ClientMessage>{{ClientMessage::AdviseOk, "D103", "", 0},
                                                                         {ClientMessage::Data, "D103", "9", 192},
                                                                         {ClientMessage::RequestData, "D100:&3", "9", 192}}));
    EXPECT_EQ(Toolkit().TakeMessages(second), (std::vector<ClientMessage>{{ClientMessage::RequestData, "D100:3", "9", 192},
                                                                          {ClientMessage::AdviseOk, "d100:3", "", 0},
                                                                          {ClientMessage::Data, "D100:3", "9", 192}}));
    EXPECT_EQ(words->GetUseCount(), 2);

    // A change and then the block going offline reach the clients of both names.
    Store(Point(words, 3), 10);
    Pass();
    words->SetOnline(FALSE, plc1);
    Pass();
    EXPECT_EQ(Toolkit().TakeMessages(first), (std::vector<ClientMessage>{{ClientMessage::Data, "D103", "10", 192},
                                                                         {ClientMessage::Data, "D103", "10", 8}}));
    EXPECT_EQ(Toolkit().TakeMessages(second), (std::vector<ClientMessage>{{ClientMessage::Data, "D100:3", "10", 192},
                                                                          {ClientMessage::Data, "D100:3", "10", 8}}));

    // One client leaving leaves the other's name served.
    Toolkit().Disconnect(first);
    Pass();
    EXPECT_EQ(words->GetUseCount(), 1);
    words->SetOnline(TRUE, plc1);
    Store(Point(words, 3), 11);
    Pass();
    EXPECT_EQ(Toolkit().TakeMessages(second), (std::vector<ClientMessage>{{ClientMessage::Data, "D100:3", "11", 192}}));
    Toolkit().Unadvise(second, "D100:3");
    Pass();
    EXPECT_EQ(words->GetUseCount(), 0);
}

TEST_F(DdeBridgeTest, PointsThatNeverHoldAValueAreRefusedAtOnceWithTheReason)
{
    auto* block = new StringBlock;
    block->SetName("Names");
    block->SetAddr("D300");
    block->SetDefaultDataType(BRISANT_STRING);
    block->SetMaxMemories(4);
    ASSERT_EQ(plc1->AddMemoryArray(block, true), block);
    for (int i = 0; i < 4; ++i)
        Point(block, i)->SetPseudoNameText("D30" + std::to_string(i));
    map->OnLoading();
    block->SetOnline(TRUE, plc1);
    bridge.OnDeviceMapChanged();   // the browse information again, with the new block
    const std::string reason = "D301 is part of the string D300: use D300";
    const DWORD conv = Connect("PLC1");
    Toolkit().Request(conv, "D301");
    Toolkit().Advise(conv, "D300:1");
    Toolkit().Poke(conv, "D301", "AB");
    Toolkit().Poke(conv, "D300", "ABCDE");
    Toolkit().Poke(conv, "D300", "ABCD");
    dispatcher.runPending();   // at once: no client-update tick
    EXPECT_EQ(Toolkit().TakeMessages(conv),
              (std::vector<ClientMessage>{{ClientMessage::RequestFailed, "D301", reason, 0},
                                          {ClientMessage::AdviseFailed, "D300:1", reason, 0},
                                          {ClientMessage::PokeNack, "D301", reason, 0},
                                          {ClientMessage::PokeNack, "D300",
                                           "There was an error in writing the data: the text does not fit", 0},
                                          {ClientMessage::PokeAck, "D300", "", 0}}));
    ASSERT_EQ(link.queue->writes.size(), 1u);
    EXPECT_EQ(link.queue->writes[0].point, Point(block, 0));
    EXPECT_EQ(block->GetUseCount(), 0);
    // Browsing offers the string's first point alone.
    std::vector<std::u16string> leaves;
    for (const auto& branch : Toolkit().Browse(service.GetServerId()))
        for (const auto& leaf : branch.leaves)
            if (leaf.leaf.starts_with(u"D30"))
                leaves.push_back(leaf.leaf);
    EXPECT_EQ(leaves, std::vector<std::u16string>{u"D300"});
}

// A poke the device can never send is refused at once with the device's reason.
TEST_F(DdeBridgeTest, APokeTheDeviceCanNeverSendIsRefusedWithItsReason)
{
    const DWORD conv = Connect("PLC1");
    plc1->refusedBlock = words;
    plc1->refusal = "block Doubles: Double values cannot be written to this PLC";
    hints.clear();
    Toolkit().Poke(conv, "D101", "5");
    Pass();
    const ClientMessage nack{ClientMessage::PokeNack, "D101", "There was an error in writing the data: " + plc1->refusal, 0};
    EXPECT_EQ(Toolkit().TakeMessages(conv), std::vector<ClientMessage>{nack});
    EXPECT_EQ(HintCodes(), std::vector<int>{HINT_WRITE_REFUSED});
    EXPECT_EQ(hints[0].reason, plc1->refusal);
    EXPECT_TRUE(link.queue->writes.empty());
}

TEST_F(DdeBridgeTest, RecordsKeepTheirNamesAndOutliveTheirDeviceSafely)
{
    const DWORD conv = Connect("PLC1");
    Toolkit().Advise(conv, "D101");
    Pass();
    Kinds(conv);
    // Renaming while the conversation is open: the list holds copies of the names.
    plc1->m_strName = "RENAMED";
    Point(words, 1)->SetPseudoNameText("OTHER");
    const DWORD system = Connect("System");
    Toolkit().Request(system, "Topics");
    Pass();
    EXPECT_EQ(Toolkit().TakeMessages(system).at(0).text, "$SYSTEM\tRENAMED");

    // The device goes: its clients learn that the value is no longer good, pokes fail.
    map->DestroyDeviceObject(plc1);
    EXPECT_EQ(bridge.GetTopicList()->pDevice, nullptr);
    Pass();
    EXPECT_EQ(Toolkit().TakeMessages(conv), (std::vector<ClientMessage>{{ClientMessage::Data, "D101", "0", 0}}));
    Toolkit().Poke(conv, "D101", "1");
    Toolkit().Advise(conv, "D102");
    Pass();
    EXPECT_EQ(Kinds(conv), (std::vector<int>{ClientMessage::PokeNack, ClientMessage::AdviseFailed}));
}

TEST_F(DdeBridgeTest, ACloseInsideThePassLeavesLaterOperationsOfThatPassHarmless)
{
    const auto before = Heap();
    const DWORD system = Connect("System");
    const DWORD conv = Connect("PLC1");
    Toolkit().Advise(conv, "D100");
    Pass();
    Kinds(conv);
    ASSERT_EQ(words->GetUseCount(), 1);
    Toolkit().Execute(system, "close server");
    Toolkit().Advise(conv, "D101");
    Toolkit().Poke(conv, "D100", "3");
    Toolkit().Unadvise(conv, "D100");
    Pass();   // the close runs after the pass, and the exit after it
    EXPECT_EQ(Kinds(system), (std::vector<int>{ClientMessage::ExecuteAck, ClientMessage::Closed}));
    EXPECT_EQ(Kinds(conv), (std::vector<int>{ClientMessage::AdviseFailed, ClientMessage::PokeNack,
                                             ClientMessage::Unadvised, ClientMessage::Closed}));
    EXPECT_EQ(closeRequests, 1);
    EXPECT_TRUE(exited);
    EXPECT_TRUE(link.queue->writes.empty());
    EXPECT_EQ(words->GetUseCount(), 0);
    EXPECT_EQ(Point(words, 0)->GetDdeItem(), nullptr);
    EXPECT_EQ(plc1->GetDdeTopic(), nullptr);
    EXPECT_EQ(Heap().liveBlocks, before.liveBlocks);   // every record back on the heap
}

TEST_F(DdeBridgeTest, TheLastClientLeavingClosesTheServerWithOtherOperationsInTheSamePass)
{
    OptionScope autoClose(CdsServerOptions::g_bAutoCloseOnNoClient, 1);
    const auto before = Heap();
    const DWORD first = Connect("PLC1");
    Toolkit().Advise(first, "D100");
    Pass();
    Kinds(first);
    Toolkit().Disconnect(first);
    const DWORD late = Toolkit().Connect(service.GetServerId(), "PLC1");
    Toolkit().Advise(late, "D101");
    Toolkit().Poke(late, "D101", "4");
    Pass();
    EXPECT_EQ(closeRequests, 1);
    EXPECT_TRUE(exited);
    EXPECT_EQ(Kinds(late), std::vector<int>{ClientMessage::Refused});   // the server was closing
    EXPECT_TRUE(link.queue->writes.empty());
    EXPECT_EQ(words->GetUseCount(), 0);
    EXPECT_EQ(bridge.GetClientCount(), 0);
    EXPECT_EQ(Heap().liveBlocks, before.liveBlocks);
}

TEST_F(DdeBridgeTest, AMapLoadedInPlaceTakesOverOpenConversationsByName)
{
    const DWORD conv = Connect("PLC1");
    Toolkit().Advise(conv, "D101");
    Toolkit().Advise(conv, "D103");
    Pass();
    Kinds(conv);

    // The new configuration has PLC1 again, with D100 and D101 only.
    bridge.SetDeviceMap(nullptr);
    map = std::make_unique<testsupport::TestDeviceMap>();
    plc1 = AddDevice("PLC1", "A");
    words = AddBlock(plc1, "", "D100", BRISANT_WORD, 2, {"D100", "D101"});
    map->OnLoading();
    words->SetOnline(TRUE, plc1);
    bridge.SetDeviceMap(map.get());
    bridge.OnDeviceMapChanged();

    EXPECT_EQ(plc1->GetDdeTopic(), bridge.GetTopicList());
    EXPECT_NE(Point(words, 1)->GetDdeItem(), nullptr);
    EXPECT_EQ(words->GetUseCount(), 1);   // the advise goes on on the new block
    Store(Point(words, 1), 77);
    Pass();
    auto messages = Toolkit().TakeMessages(conv);
    std::sort(messages.begin(), messages.end(), [](const auto& a, const auto& b) { return a.item < b.item; });
    EXPECT_EQ(messages, (std::vector<ClientMessage>{{ClientMessage::Data, "D101", "77", 192},
                                                    {ClientMessage::Data, "D103", "0", 0}}));
    // The browse information is the new map's alone.
    const auto browse = Toolkit().Browse(service.GetServerId());
    EXPECT_EQ(browse.size(), static_cast<std::size_t>(map->GetDeviceCount()));
    std::vector<std::u16string> leaves;
    for (const auto& branch : browse)
        if (branch.name == u"PLC1")
            for (const auto& leaf : branch.leaves)
                leaves.push_back(leaf.leaf);
    EXPECT_NE(std::find(leaves.begin(), leaves.end(), u"D101"), leaves.end());
    EXPECT_EQ(std::find(leaves.begin(), leaves.end(), u"D103"), leaves.end());
}

} // namespace

namespace {

TEST_F(DdeBridgeTest, TheEmptyTopicIsServedByTheRootDeviceOnlyWhenThereIsOne)
{
    DWORD refused = Toolkit().Connect(service.GetServerId(), "");
    Pass();
    EXPECT_EQ(Kinds(refused), std::vector<int>{ClientMessage::Refused});

    map->withRoot = true;
    map->OnLoading();
    map->BuildTopicListMap();
    const DWORD conv = Connect("");
    CdsDeviceObject* root = CdsDeviceMap::GetDeviceObjectByTopic("$Root");
    ASSERT_NE(root, nullptr);
    ASSERT_NE(root->GetDdeTopic(), nullptr);
    EXPECT_EQ(root->GetDdeTopic()->strName, "$ROOT");
    // The root device's own points answer there.
    Toolkit().Request(conv, "$ModeSys");
    Pass();
    const std::vector<ClientMessage> messages = Toolkit().TakeMessages(conv);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, ClientMessage::RequestData);
    EXPECT_EQ(messages[0].text, "-11");
}

} // namespace
