// The connection document against a scripted server: adding and removing groups,
// the advise commands, a lost server and a shutdown request, and what it tells the
// views of its window.
#include "quillet/QuilletFixture.h"

#include "quillet/text/ErrorText.h"

#include <algorithm>
#include <functional>

namespace {

class DocWithServer : public quillettest::DocFixture {
protected:
    void SetUp() override { Connect(doc); }
    void Connect(CQuilletDoc& d)
    {
        auto server = opc::ComPtr<IUnknown>(static_cast<IOPCServer*>(new quillettest::FakeServer(script)));
        ASSERT_EQ(d.AttachServer(server), S_OK);
    }
    CGroup* Add(DWORD mode, std::string name = "G", CQuilletDoc* d = nullptr)
    {
        CGroupSettings s;
        s.name = std::move(name);
        s.adviseMode = mode;
        return (d ? d : &doc)->OnAddGroup(s);
    }
    // The calls made since the last look.
    std::vector<std::string> Calls() { return std::exchange(script.calls, {}); }
    using Lines = std::vector<std::string>;
};

// Stands in a view's place: notes what the document told it in a list it shares.
class Recorder : public CDocListener {
public:
    Recorder(std::string name, std::vector<std::string>& heard) : m_name(std::move(name)), m_heard(heard) {}
    void OnUpdate() override
    {
        m_heard.push_back(m_name);
        if (auto once = std::exchange(whileUpdating, {})) once();
    }
    void StartWatchdog(const CGroup& group) override { m_heard.push_back(m_name + " watches " + group.GetName()); }
    std::function<void()> whileUpdating;

private:
    std::string m_name;
    std::vector<std::string>& m_heard;
};

TEST_F(DocWithServer, GroupThatCannotBeAddedIsDeleted)
{
    doc.m_bDisplayMessages = TRUE;
    script.results["AddGroup"] = {E_FAIL};
    Logged();
    EXPECT_EQ(Add(ADVISE_CONNECTIONPOINT), nullptr);
    EXPECT_TRUE(doc.Groups().empty());
    EXPECT_EQ(doc.Handles().Count(), 0u);
    EXPECT_EQ(ui.shown, Lines{"Unspecified error"});
    EXPECT_EQ(Logged(), Lines{"Group add - HR=0x80004005 - (Group) G #(Item) 0"});
    CQuilletDoc unconnected{docHost};
    EXPECT_EQ(unconnected.AddServerGroup(std::make_unique<CGroup>(unconnected), FALSE), nullptr);
    EXPECT_EQ(unconnected.Handles().Count(), 0u);
}

TEST_F(DocWithServer, AdviseModeFallsBackToWhatTheServerOffersAndAnEmptyNameIsTheServers)
{
    const std::tuple<bool, bool, DWORD, DWORD, const char*> cases[] = {
        {false, false, ADVISE_CONNECTIONPOINT, ADVISE_NONE, "Could not connect to any subcription services."},
        {false, true, ADVISE_DATAOBJECT, ADVISE_CONNECTIONPOINT,
         "Could not start IDataObject Advise, defaulting to IConnectionPoint Advise."},
        {true, false, ADVISE_CONNECTIONPOINT, ADVISE_DATAOBJECT,
         "Could not start IConnectionPoint Advise, defaulting to IDataObject Advise."},
        {true, true, ADVISE_NONE, ADVISE_NONE, ""},
    };
    for (auto [dataObject, point, asked, got, logged] : cases) {
        script.dataObject = dataObject;
        script.connectionPoint = point;
        CQuilletDoc d{docHost};
        Connect(d);
        CGroup* group = Add(asked, "", &d);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->GetName(), "Group 1");
        EXPECT_EQ(group->GetAdviseMode(), got);
        auto entries = d.TakeLogEntries();
        EXPECT_EQ(entries.back().message, std::string(logged) + " - (Group) Group 1 #(Item) 0") << logged;
    }
}

TEST_F(DocWithServer, FirstDAdviseFailureTakesTheGroupOffTheServer)
{
    const int before = script.liveObjects;
    script.results["DAdvise"] = {E_FAIL};
    Calls();
    EXPECT_EQ(Add(ADVISE_DATAOBJECT), nullptr);
    EXPECT_EQ(Calls(), (Lines{"AddGroup", "DAdvise", "RemoveGroup"}));
    EXPECT_EQ(script.liveObjects, before);
    EXPECT_EQ(ui.shown.size(), 1u);
    // A failing data advise after the write-complete one leaves the group listed.
    script.results["DAdvise"] = {S_OK, E_FAIL};
    CGroup* group = Add(ADVISE_DATAOBJECT);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->m_dwDataConnection, 0u);
    EXPECT_NE(group->m_dwWriteConnection, 0u);
}

TEST_F(DocWithServer, RemovedGroupEndsItsSubscriptionAndReleasesEveryInterface)
{
    const int before = script.liveObjects;
    CGroup* group = Add(ADVISE_CONNECTIONPOINT);
    ASSERT_NE(group->AsyncIO2(), nullptr);
    Calls();
    Logged();
    doc.RemoveGroup(group);
    EXPECT_EQ(Calls(), (Lines{"Unadvise", "RemoveGroup"}));
    EXPECT_EQ(script.liveObjects, before);
    EXPECT_EQ(Logged(), Lines{"Group remove -  - (Group) G #(Item) 0"});
}

TEST_F(DocWithServer, SubscriptionThatCannotEndStaysAndNothingIsAdvisedAgain)
{
    CGroup* group = Add(ADVISE_DATAOBJECT);
    const DWORD data = group->m_dwDataConnection, write = group->m_dwWriteConnection;
    script.results["DUnadvise"] = {E_FAIL, E_FAIL, E_FAIL, E_FAIL};
    Calls();
    EXPECT_FALSE(doc.AdviseConnectionPoint(*group));
    doc.AdviseNone(*group);
    EXPECT_EQ(Calls(), (Lines{"DUnadvise", "DUnadvise", "DUnadvise", "DUnadvise"}));
    EXPECT_EQ(group->GetAdviseMode(), ADVISE_DATAOBJECT);
    EXPECT_EQ(group->m_dwDataConnection, data);
    EXPECT_EQ(group->m_dwWriteConnection, write);
    EXPECT_TRUE(doc.AdviseDataObject(*group, TRUE));
    EXPECT_EQ(Calls(), (Lines{"DUnadvise", "DUnadvise", "DAdvise", "DAdvise"}));
}

TEST_F(DocWithServer, FailingCallbacksShowNoBoxWhileGroupsLoadOrGo)
{
    // Groups added one after another, as a set-up file adds them, on a server whose
    // connection points refuse every advise and unadvise.
    doc.m_bDisplayMessages = TRUE;
    script.results["Advise"] = {E_FAIL, E_FAIL, E_FAIL, E_FAIL};
    std::vector<CGroup*> groups;
    for (const char* name : {"A", "B", "C", "D"}) groups.push_back(Add(ADVISE_CONNECTIONPOINT, name));
    for (CGroup* g : groups) {
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->GetAdviseMode(), ADVISE_CONNECTIONPOINT);
        EXPECT_FALSE(g->m_connectionPoint);
        EXPECT_EQ(g->m_dwCookie, 0u);
    }
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_EQ(doc.Groups().size(), 4u);

    // An unadvise that fails keeps the callback and its mode, without a box.
    std::vector<CGroup*> advised;
    for (const char* name : {"E", "F", "G"}) advised.push_back(Add(ADVISE_CONNECTIONPOINT, name));
    script.results["Unadvise"] = {E_FAIL, E_FAIL, E_FAIL};
    for (CGroup* g : advised) {
        EXPECT_FALSE(g->EndSubscription());
        EXPECT_EQ(g->GetAdviseMode(), ADVISE_CONNECTIONPOINT);
        EXPECT_NE(g->m_dwCookie, 0u);
    }
    EXPECT_TRUE(ui.shown.empty());
    // A data stream that cannot start is still shown, once per group that meets it.
    script.results["DAdvise"] = {S_OK, E_FAIL, S_OK, E_FAIL};
    Add(ADVISE_DATAOBJECT, "H");
    Add(ADVISE_DATAOBJECT, "I");
    EXPECT_EQ(ui.shown.size(), 2u);
}

TEST_F(DocWithServer, AsyncIO2EnableFollowsTheServersAnswerAndRefreshIsPendingUnderItsCancelId)
{
    CGroup* group = Add(ADVISE_CONNECTIONPOINT);
    script.results["SetEnable"] = {E_FAIL};
    doc.ToggleAsyncIO2Enable(*group);
    EXPECT_TRUE(group->m_bSubscriptionEnabled);
    doc.ToggleAsyncIO2Enable(*group);
    EXPECT_FALSE(group->m_bSubscriptionEnabled);
    Logged();
    script.results["Refresh2"] = {E_FAIL};
    EXPECT_FALSE(doc.AsyncIO2Refresh(*group, OPC_DS_CACHE));
    EXPECT_TRUE(doc.AsyncIO2Refresh(*group, OPC_DS_DEVICE));
    ASSERT_EQ(group->Pending().size(), 1u);
    EXPECT_EQ(group->Pending().front()->m_dwID, 0x99u);
    EXPECT_EQ(Logged(), (Lines{"Async refresh - HR=0x80004005 - (Group) G #(Item) 0",
                               "Async refresh - ID=0x00000099 - (Group) G #(Item) 0"}));
}

TEST_F(DocWithServer, LostServerMarksItemsBadOnceAndClosingIsQuiet)
{
    for (HRESULT lost : {RPC_S_CALL_FAILED, RPC_E_DISCONNECTED}) {
        CQuilletDoc d{docHost};
        Connect(d);
        CGroup* group = Add(ADVISE_CONNECTIONPOINT, "G", &d);
        CItem* item = group->Items().emplace_back(std::make_unique<CItem>(d)).get();
        ASSERT_TRUE(d.AsyncIO2Refresh(*group, OPC_DS_CACHE));
        ui.shown.clear();
        d.TakeLogEntries();
        script.results["GetStatus"] = {lost};
        OPCSERVERSTATUS status;
        EXPECT_FALSE(d.GetServerStatus(status));
        EXPECT_FALSE(d.IsConnected());
        EXPECT_EQ(item->Values(ValueRoad::SyncRead).quality, OPC_QUALITY_NOT_CONNECTED);
        EXPECT_TRUE(group->Pending().empty());
        auto entries = d.TakeLogEntries();
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[0].category, quillet::LOG_TRANSACTION_TIMEOUT);
        EXPECT_EQ(entries[1].message, "The connection to the server was lost - " + quillet::ErrorText(texts, lost));
        Calls();
        d.OnCloseDocument();
        EXPECT_TRUE(Calls().empty());
        EXPECT_EQ(ui.shown.size(), 1u);  // the status command's own error
    }
}

TEST_F(DocWithServer, CallThatTimedOutOrWasCancelledLeavesTheConnectionAndItsItems)
{
    CGroup* group = Add(ADVISE_CONNECTIONPOINT);
    CItem* item = group->Items().emplace_back(std::make_unique<CItem>(doc)).get();
    item->TakeValue(VARIANT::I2(5), std::nullopt, OPC_QUALITY_GOOD, ValueRoad::Subscription);
    ASSERT_TRUE(doc.AsyncIO2Refresh(*group, OPC_DS_CACHE));
    for (HRESULT slow : {RPC_E_TIMEOUT, RPC_E_CALL_CANCELED}) {
        script.results["GetStatus"] = {slow};
        OPCSERVERSTATUS status;
        EXPECT_FALSE(doc.GetServerStatus(status));
        EXPECT_TRUE(doc.IsConnected());
        EXPECT_EQ(item->Values(ValueRoad::Subscription).quality, OPC_QUALITY_GOOD);
        EXPECT_EQ(group->Pending().size(), 1u);
        EXPECT_TRUE(doc.CanAddGroup());
    }
    // A new link connects a document whose link was lost again.
    doc.OnLinkLost(RPC_S_CALL_FAILED);
    ASSERT_FALSE(doc.IsConnected());
    const DWORD link = doc.LinkNumber();
    Connect(doc);
    EXPECT_TRUE(doc.IsConnected());
    EXPECT_EQ(doc.LinkNumber(), link + 1);
}

TEST_F(DocWithServer, ShutdownRequestMarksEveryRoadBadAndRemovalMakesNoServerCalls)
{
    CGroup* group = Add(ADVISE_CONNECTIONPOINT);
    CItem* item = group->Items().emplace_back(std::make_unique<CItem>(doc)).get();
    Logged();
    doc.OnShutdownRequest("Maintenance");
    for (ValueRoad road : {ValueRoad::Subscription, ValueRoad::SyncRead, ValueRoad::AsyncRead})
        EXPECT_EQ(item->Values(road).quality, OPC_QUALITY_NOT_CONNECTED);
    EXPECT_FALSE(doc.IsConnected());
    EXPECT_EQ(Logged(), Lines{"Server Information Message - Maintenance"});
    Calls();
    doc.RemoveGroup(group);
    EXPECT_TRUE(Calls().empty());
    EXPECT_TRUE(doc.Groups().empty());
}

TEST_F(DocWithServer, ViewsHearUpdatesInPlaceOrderAndAnUpdateDuringThemRunsOnceMoreAfter)
{
    Lines heard;
    Recorder groups{"groups", heard}, items{"items", heard}, log{"log", heard};
    doc.SetLoggerView(&log);
    doc.SetItemView(&items);
    doc.SetGroupView(&groups);
    items.whileUpdating = [&] { doc.UpdateAllViews(); };
    doc.UpdateAllViews();
    EXPECT_EQ(heard, (Lines{"groups", "items", "log", "groups", "items", "log"}));
    heard.clear();
    doc.SetItemView(nullptr);
    doc.UpdateAllViews();
    EXPECT_EQ(heard, (Lines{"groups", "log"}));
    doc.SetGroupView(nullptr);
    doc.SetLoggerView(nullptr);
}

TEST_F(DocWithServer, ItemListWatchesARefreshThatWentOut)
{
    Lines heard;
    Recorder groups{"groups", heard}, items{"items", heard};
    doc.SetGroupView(&groups);
    doc.SetItemView(&items);
    CGroup* group = Add(ADVISE_CONNECTIONPOINT);
    heard.clear();
    script.results["Refresh2"] = {E_FAIL};
    EXPECT_FALSE(doc.AsyncIO2Refresh(*group, OPC_DS_CACHE));
    EXPECT_TRUE(heard.empty());
    EXPECT_TRUE(doc.AsyncIO2Refresh(*group, OPC_DS_DEVICE));
    EXPECT_EQ(heard, Lines{"items watches G"});
    doc.SetGroupView(nullptr);
    doc.SetItemView(nullptr);
}

} // namespace
