// The test client against the bundled OPC server program through the real transport:
// activation by ProgID, both subscription generations, both asynchronous roads, the
// server's shutdown request and a server that dies.
#include "RealServerFixture.h"
#include "quillet/text/ErrorText.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>


namespace {

using quillettest::RealServer;
using quillettest::kServerTime;
using quillettest::Program;
using quillettest::SimulatorProgram;

TEST_F(RealServer, ConnectionPointRoadSubscribesReadsWritesRefreshesAndCancels)
{
    CQuilletDoc& doc = Connect();
    EXPECT_EQ(doc.GetTitle(), "~Tessaro.TestServer");
    EXPECT_TRUE(doc.GetPathName().empty());
    CGroup& group = AddGroup(doc, ADVISE_CONNECTIONPOINT);
    auto handles = AddItems(doc, group, {"PLC1.D100", "PLC1.D101", "PLC1.TEXT"});
    ASSERT_TRUE(Pump([&] { return AllHave(group, ValueRoad::Subscription); }));

    // The subscription shows what the server itself reads.
    std::vector<OPCITEMSTATE> states;
    std::vector<HRESULT> errors;
    ASSERT_EQ(group.SyncIO()->Read(OPC_DS_DEVICE, handles, states, errors), S_OK);
    for (std::size_t i = 0; i < states.size(); ++i) {
        const CValueSet& sub = (*std::next(group.Items().begin(), i + 1))->Values(ValueRoad::Subscription);
        EXPECT_EQ(*sub.value, states[i].vDataValue);
        EXPECT_EQ(sub.quality, states[i].wQuality);
        EXPECT_EQ(sub.timeStamp, states[i].ftTimeStamp);
    }
    EXPECT_EQ(*Item(group, "PLC1.D100").Values(ValueRoad::Subscription).value, VARIANT::I2(10));
    EXPECT_EQ(Item(group, "PLC1.TEXT").Values(ValueRoad::Subscription).timeStamp, kServerTime);

    // A 2.0 read and write, each pending until its completion arrives.
    auto start = [&](auto call) {
        auto record = group.NewTransaction();
        DWORD cancelId = 0;
        ASSERT_EQ(call(record->m_hClient, &cancelId), S_OK);
        record->m_dwID = cancelId;
        group.Pending().push_back(std::move(record));
    };
    start([&](DWORD tid, DWORD* c) { return group.AsyncIO2()->Read(handles, tid, c, errors); });
    ASSERT_TRUE(Pump([&] { return group.Pending().empty(); }));
    EXPECT_EQ(*Item(group, "PLC1.D101").Values(ValueRoad::AsyncRead).value, VARIANT::I2(20));
    VARIANT value = VARIANT::I2(77);
    start([&](DWORD tid, DWORD* c) {
        return group.AsyncIO2()->Write(std::span(&handles[1], 1), std::span(&value, 1), tid, c, errors);
    });
    ASSERT_TRUE(Pump([&] { return group.Pending().empty() && Logged(doc, "Write complete -  - (Item) PLC1.D101"); }));
    ASSERT_TRUE(Pump([&] { return *Item(group, "PLC1.D101").Values(ValueRoad::Subscription).value == value; }));

    ASSERT_TRUE(doc.AsyncIO2Refresh(group, OPC_DS_CACHE));
    ASSERT_TRUE(Pump([&] { return group.Pending().empty(); }));
    // A cancelled read completes either way: cancelled, or read before the cancel came.
    start([&](DWORD tid, DWORD* c) { return group.AsyncIO2()->Read(handles, tid, c, errors); });
    group.AsyncIO2()->Cancel2(group.Pending().back()->m_dwID);
    ASSERT_TRUE(Pump([&] { return group.Pending().empty(); }));
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(RealServer, DataStreamRoadCarriesAllThreeFormats)
{
    CQuilletDoc& doc = Connect();
    CGroup& plain = AddGroup(doc, ADVISE_DATAOBJECT, FALSE);
    CGroup& timed = AddGroup(doc, ADVISE_DATAOBJECT, TRUE);
    auto handles = AddItems(doc, plain, {"PLC1.D100", "PLC1.TEXT"});
    AddItems(doc, timed, {"PLC1.D100", "PLC1.TEXT"});
    ASSERT_TRUE(Pump([&] { return AllHave(plain, ValueRoad::Subscription) && AllHave(timed, ValueRoad::Subscription); }));
    EXPECT_EQ(*Item(plain, "PLC1.TEXT").Values(ValueRoad::Subscription).value, VARIANT::String("hello"));
    EXPECT_EQ(Item(plain, "PLC1.TEXT").Values(ValueRoad::Subscription).timeStamp, FILETIME{});
    EXPECT_EQ(*Item(timed, "PLC1.TEXT").Values(ValueRoad::Subscription).value, VARIANT::String("hello"));
    EXPECT_EQ(Item(timed, "PLC1.TEXT").Values(ValueRoad::Subscription).timeStamp, kServerTime);

    std::vector<HRESULT> errors;
    DWORD tid = 0;
    auto pending = [&](HRESULT hr) {
        ASSERT_EQ(hr, S_OK);
        plain.Pending().push_back(plain.NewTransaction());
        plain.Pending().back()->m_dwID = tid;
    };
    pending(plain.AsyncIO()->Read(plain.m_dwDataConnection, OPC_DS_DEVICE, handles, &tid, errors));
    ASSERT_TRUE(Pump([&] { return plain.Pending().empty(); }));
    EXPECT_EQ(*Item(plain, "PLC1.D100").Values(ValueRoad::AsyncRead).value, VARIANT::I2(10));
    VARIANT value = VARIANT::I2(-4);
    pending(plain.AsyncIO()->Write(plain.m_dwWriteConnection, std::span(&handles[0], 1), std::span(&value, 1), &tid, errors));
    ASSERT_TRUE(Pump([&] { return plain.Pending().empty() && Logged(doc, "Write complete -  - (Item) PLC1.D100"); }));
    pending(plain.AsyncIO()->Refresh(plain.m_dwDataConnection, OPC_DS_CACHE, &tid));
    ASSERT_TRUE(Pump([&] { return plain.Pending().empty(); }));
    ASSERT_TRUE(Pump([&] { return *Item(timed, "PLC1.D100").Values(ValueRoad::Subscription).value == value; }));
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(RealServer, ShutdownRequestDisconnectsTheDocument)
{
    CQuilletDoc& doc = Connect();
    CGroup& group = AddGroup(doc, ADVISE_CONNECTIONPOINT);
    auto handles = AddItems(doc, group, {"PLC1.D100", "Control.Stop"});
    VARIANT stop = VARIANT::Bool(true);
    std::vector<HRESULT> errors;
    ASSERT_EQ(group.SyncIO()->Write(std::span(&handles[1], 1), std::span(&stop, 1), errors), S_OK);
    ASSERT_TRUE(Pump([&] { return !doc.IsConnected(); }));
    EXPECT_EQ(Item(group, "PLC1.D100").Values(ValueRoad::Subscription).quality, OPC_QUALITY_NOT_CONNECTED);
    EXPECT_TRUE(Logged(doc, "Server Information Message - The server is shutting down."));
    app->CloseDocument(&doc);
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(RealServer, KilledServerIsReportedAtTheNextCallWithoutHanging)
{
    StartOwnServer();
    CQuilletDoc& doc = Connect();
    CGroup& group = AddGroup(doc, ADVISE_CONNECTIONPOINT);
    auto handles = AddItems(doc, group, {"PLC1.D100"});
    std::vector<HRESULT> errors;
    auto record = group.NewTransaction();
    ASSERT_EQ(group.AsyncIO2()->Read(handles, record->m_hClient, &record->m_dwID, errors), S_OK);
    group.Pending().push_back(std::move(record));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    child = -1;
    app->OnLinkLost(doc.GetSerial() + 1, RPC_S_CALL_FAILED);  // another document's notice
    EXPECT_TRUE(doc.IsConnected());
    OPCSERVERSTATUS status;
    EXPECT_FALSE(doc.GetServerStatus(status));
    EXPECT_FALSE(doc.IsConnected());
    EXPECT_TRUE(group.Pending().empty());
    EXPECT_EQ(Item(group, "PLC1.D100").Values(ValueRoad::Subscription).quality, OPC_QUALITY_NOT_CONNECTED);
    dispatcher.runPending();
    app->CloseDocument(&doc);
    EXPECT_EQ(ui.shown.size(), 1u);  // the status command's error, nothing on closing
}

// A stop signal takes effect a little after kill() returns; the process's state says
// when it has.
bool WaitUntilStopped(pid_t pid)
{
    for (int i = 0; i < 500; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto paren = line.rfind(')');
        if (paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'T') return true;
    }
    return false;
}

TEST_F(RealServer, KilledServerIsReportedWithoutACall)
{
    StartOwnServer();
    CQuilletDoc& doc = Connect();
    AddItems(doc, AddGroup(doc, ADVISE_CONNECTIONPOINT), {"PLC1.D100"});
    ::kill(child, SIGKILL);
    EXPECT_TRUE(Pump([&] { return !doc.IsConnected(); }));
    app->CloseDocument(&doc);
    ::waitpid(child, nullptr, 0);
    child = -1;
}

// The application with a short pending time-out: a stopped server answers no call.
void ShortTimeOut(std::unique_ptr<CQuilletApp>& app, CQuilletAppHost& host)
{
    app.reset();
    host.callTimeout = std::chrono::milliseconds(500);
    app = std::make_unique<CQuilletApp>(host);
    ASSERT_TRUE(app->InitInstance());
}

TEST_F(RealServer, StoppedServerKeepsItsConnectionAndItsItemsComeBackWhenItRunsAgain)
{
    ShortTimeOut(app, host);
    StartOwnServer();
    CQuilletDoc& doc = Connect();
    CGroup& group = AddGroup(doc, ADVISE_CONNECTIONPOINT);
    AddItems(doc, group, {"PLC1.D100"});
    CItem& item = Item(group, "PLC1.D100");
    ASSERT_TRUE(Pump([&] { return item.Values(ValueRoad::Subscription).quality == OPC_QUALITY_GOOD; }));
    ASSERT_EQ(::kill(child, SIGSTOP), 0);
    ASSERT_TRUE(WaitUntilStopped(child));

    // The sync read waits: nothing queued runs meanwhile, the wait is shown, the user
    // waits once more and then takes the default answer.
    int ranInside = 0;
    dispatcher.post([&] { ++ranInside; });
    ui.whileCallWaits = [&] { ranInside += int(dispatcher.runPending()); };
    ui.answers = {quillet::PromptAnswer::Retry};
    CItemView& view = app->FrameOf(&doc)->Items();
    view.SyncRead({&item}, group, OPC_DS_DEVICE);
    EXPECT_EQ(ranInside, 0);
    EXPECT_EQ(ui.shown.size(), 2u);  // asked twice: Retry, then the default
    ASSERT_FALSE(ui.waitTexts.empty());
    EXPECT_EQ(ui.waitTexts.front(), "Waiting for the server Tessaro.TestServer to answer...");
    EXPECT_TRUE(Logged(doc, "Sync read - " + quillet::HexCode(DWORD(RPC_E_CALL_CANCELED)) + " - (Group) G20 #(Item) 2"));
    EXPECT_TRUE(doc.IsConnected());
    EXPECT_NE(item.Values(ValueRoad::SyncRead).quality, OPC_QUALITY_NOT_CONNECTED);
    EXPECT_EQ(dispatcher.runPending(), 1u);

    // Running again, the same link answers: a read and the subscription are good.
    ui.whileCallWaits = nullptr;
    ASSERT_EQ(::kill(child, SIGCONT), 0);
    const DWORD updates = item.Values(ValueRoad::Subscription).count;
    ASSERT_TRUE(doc.AsyncIO2Refresh(group, OPC_DS_DEVICE));
    ASSERT_TRUE(Pump([&] { return item.Values(ValueRoad::Subscription).count > updates; }));
    EXPECT_EQ(item.Values(ValueRoad::Subscription).quality, OPC_QUALITY_GOOD);
    view.SyncRead({&item}, group, OPC_DS_DEVICE);
    EXPECT_EQ(item.Values(ValueRoad::SyncRead).quality, OPC_QUALITY_GOOD);
    EXPECT_EQ(item.Values(ValueRoad::SyncRead).count, 1u);
    EXPECT_TRUE(doc.IsConnected());
    app->CloseDocument(&doc);
}

TEST_F(RealServer, ReconnectingALostDocumentRestoresItsGroupsAndItems)
{
    StartOwnServer();
    CQuilletDoc& doc = Connect();
    CGroup& first = AddGroup(doc, ADVISE_CONNECTIONPOINT);
    AddGroup(doc, ADVISE_DATAOBJECT, TRUE);
    AddItems(doc, first, {"PLC1.D100", "PLC1.TEXT"});
    Item(first, "PLC1.TEXT").SetActive(FALSE);
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    child = -1;
    ASSERT_TRUE(Pump([&] { return !doc.IsConnected(); }));
    // A notice of the lost link that comes late does not end the new one.
    const DWORD oldLink = doc.LinkNumber();

    // The registered program is started again for it.
    ASSERT_TRUE(app->Reconnect(doc)) << (ui.shown.empty() ? std::string() : ui.shown.back());
    EXPECT_TRUE(doc.IsConnected());
    app->OnLinkLost(doc.GetSerial(), RPC_S_CALL_FAILED, oldLink);
    EXPECT_TRUE(doc.IsConnected());
    ASSERT_EQ(doc.Groups().size(), 2u);
    CGroup& again = *doc.Groups().front();
    EXPECT_EQ(again.GetName(), "G20");
    EXPECT_EQ(again.GetAdviseMode(), DWORD(ADVISE_CONNECTIONPOINT));
    EXPECT_EQ(doc.Groups().back()->GetName(), "G11");
    EXPECT_TRUE(doc.Groups().back()->m_bTimeStamps);
    ASSERT_EQ(again.Items().size(), 3u);  // "Updates / Second" and the two items
    EXPECT_FALSE(Item(again, "PLC1.TEXT").IsActive());
    CItem& d100 = Item(again, "PLC1.D100");
    EXPECT_TRUE(Pump([&] { return d100.Values(ValueRoad::Subscription).quality == OPC_QUALITY_GOOD; }));
    EXPECT_EQ(app->FrameOf(&doc)->Groups().Entries().size(), 2u);
    EXPECT_TRUE(ui.shown.empty());
    app->CloseDocument(&doc);
}

TEST_F(RealServer, ClosingTheFirstOfTwoConnectionsLeavesTheOtherWhole)
{
    CQuilletDoc& first = Connect();
    CQuilletDoc& second = Connect();
    AddGroup(second, ADVISE_CONNECTIONPOINT);
    std::vector<std::size_t> groupsOfClosing;
    app->SetClosingListener([&](CQuilletDoc& doc) {
        // Told while the window still stands.
        groupsOfClosing.push_back(app->FrameOf(&doc)->Groups().Entries().size());
    });
    AddGroup(first, ADVISE_CONNECTIONPOINT);
    app->CloseDocument(&first);
    EXPECT_EQ(groupsOfClosing, std::vector<std::size_t>{1});
    ASSERT_EQ(app->Connections(), std::vector<CQuilletDoc*>{&second});
    EXPECT_TRUE(Logged(second, "Group add -  - (Group) G20 #(Item) 1"));
    app->SetClosingListener({});
}

TEST_F(RealServer, FenwoldItemReadsItsValue)
{
    if (::access(Program("fenwold").c_str(), X_OK) != 0 || ::access(Program("plcsim").c_str(), X_OK) != 0)
        GTEST_SKIP() << "the Fenwold program or the simulator is not built";
    SimulatorProgram plc({"--port", "0", "--frame", "3e", "--set", "D100=1234"});
    ASSERT_GT(plc.port(), 0);
    ServeFenwold(plc.port());
    CQuilletDoc* doc = app->ConnectToServer("Tessaro.Fenwold.1", "", CLSID_NULL);
    ASSERT_TRUE(doc && doc->GetServer());
    std::vector<std::u16string> names;
    {
        opc::ComPtr<IEnumString> leaves;
        auto browse = opc::ComPtr<IOPCServer>(doc->GetServer())
                          .as<IOPCBrowseServerAddressSpace>(IID_IOPCBrowseServerAddressSpace);
        ASSERT_TRUE(browse && SUCCEEDED(browse->BrowseOPCItemIDs(OPC_FLAT, u"", VT_EMPTY, 0, leaves.put())));
        ASSERT_TRUE(SUCCEEDED(leaves->Next(1, names)) && !names.empty());
    }
    CGroup& group = AddGroup(*doc, ADVISE_CONNECTIONPOINT);
    AddItems(*doc, group, {com::fromBstr(names[0]), "[PLC1]D100:0"});
    EXPECT_TRUE(Pump([&] { return AllHave(group, ValueRoad::Subscription); }));
    EXPECT_TRUE(Pump([&] {
        const CValueSet& d100 = Item(group, "[PLC1]D100:0").Values(ValueRoad::Subscription);
        return d100.quality == OPC_QUALITY_GOOD && d100.value == VARIANT::I2(1234);
    }));
    // Its last client gone, the server closes by itself before the scratch folder goes.
    app.reset();
    EXPECT_TRUE(FenwoldClosed());
}

} // namespace

TEST_F(RealServer, WatchdogCancelToAStoppedServerIsCancelledAndTheConnectionStays)
{
    ShortTimeOut(app, host);
    StartOwnServer();
    CQuilletDoc& doc = Connect();
    CGroup& group = AddGroup(doc, ADVISE_CONNECTIONPOINT);
    AddItems(doc, group, {"PLC1.D100", "PLC1.D101"});
    CItemView& view = app->FrameOf(&doc)->Items();
    for (auto& item : group.Items()) view.AsyncIO2Read({item.get()}, group);
    ASSERT_EQ(group.Pending().size(), 2u);
    const DWORD id = group.Pending().front()->m_dwID;
    ASSERT_EQ(::kill(child, SIGSTOP), 0);
    ASSERT_TRUE(WaitUntilStopped(child));
    clock.advance(CItemView::kTransactionTimeoutMs + 1);
    view.OnWatchdog();  // each cancel waits its time-out and is cancelled by the default answer
    EXPECT_TRUE(doc.IsConnected());
    EXPECT_TRUE(group.Pending().empty());
    EXPECT_FALSE(view.IsWatchdogRunning());
    doc.UpdateAllViews();
    const auto& rows = app->FrameOf(&doc)->Log().Rows();
    const std::string cancel =
        "Async cancel - ID = " + quillet::HexCode(id) + ", HR = " + quillet::HexCode(DWORD(RPC_E_CALL_CANCELED));
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](auto& r) { return r.event.starts_with(cancel); }));
    ::kill(child, SIGCONT);
    OPCSERVERSTATUS status;
    EXPECT_TRUE(doc.GetServerStatus(status));
    app->CloseDocument(&doc);
}

TEST_F(RealServer, WatchdogCancelsQueuedReadsOnBothRoadsAndTheServerConfirmsTheSecond)
{
    // The server's worker held in a read of "Control.Hold": what comes after waits in its queue.
    const auto fifo = scratch.path() / "holding";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int holding = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);  // never waits for the server
    ASSERT_GE(holding, 0);
    saved.emplace_back("TESSARO_OPCSERVER_HOLDING", std::nullopt);
    ::setenv("TESSARO_OPCSERVER_HOLDING", fifo.c_str(), 1);
    CQuilletDoc& doc = Connect();
    CGroup& held = AddGroup(doc, ADVISE_CONNECTIONPOINT);
    CGroup& v1 = AddGroup(doc, ADVISE_DATAOBJECT);
    CGroup& v2 = AddGroup(doc, ADVISE_CONNECTIONPOINT, TRUE);
    AddItems(doc, v1, {"PLC1.D100"});
    const OPCHANDLE release = AddItems(doc, v2, {"PLC1.D101", "Control.Release"})[1];
    AddItems(doc, held, {"Control.Hold"});  // its first look at the tag reads it
    pollfd p{holding, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1) << "the server never began the read";
    char c;
    ASSERT_EQ(::read(holding, &c, 1), 1);

    CItemView& view = app->FrameOf(&doc)->Items();
    view.AsyncRead({&Item(v1, "PLC1.D100")}, v1, OPC_DS_DEVICE);
    view.AsyncIO2Read({&Item(v2, "PLC1.D101")}, v2);
    ASSERT_EQ(v1.Pending().size(), 1u);
    ASSERT_EQ(v2.Pending().size(), 1u);
    const DWORD id1 = v1.Pending().front()->m_dwID, id2 = v2.Pending().front()->m_dwID;
    const DWORD client2 = v2.Pending().front()->m_hClient;
    clock.advance(CItemView::kTransactionTimeoutMs + 1);
    view.OnWatchdog();
    EXPECT_TRUE(v1.Pending().empty());
    EXPECT_TRUE(v2.Pending().empty());
    auto loggedStart = [&](const std::string& start) {
        doc.UpdateAllViews();
        const auto& rows = app->FrameOf(&doc)->Log().Rows();
        return std::any_of(rows.begin(), rows.end(), [&](auto& r) { return r.event.starts_with(start); });
    };
    // Both taken back while still queued: the 1.0 Cancel and Cancel2 succeed.
    EXPECT_TRUE(loggedStart("Async cancel - ID = " + quillet::HexCode(id1) + ", HR = " + quillet::HexCode(DWORD(S_OK))));
    EXPECT_TRUE(loggedStart("Async cancel - ID = " + quillet::HexCode(id2) + ", HR = " + quillet::HexCode(DWORD(S_OK))));

    std::vector<HRESULT> errors;
    const VARIANT go = VARIANT::Bool(true);
    ASSERT_EQ(v2.SyncIO()->Write(std::span(&release, 1), std::span(&go, 1), errors), S_OK);
    // The 2.0 road confirms its cancel; the cancelled reads never complete.
    ASSERT_TRUE(Pump([&] {
        return loggedStart("Recieved async read - Cancel Completed for Transaction ID " + quillet::HexCode(client2));
    }));
    EXPECT_TRUE(Pump([&] { return Item(held, "Control.Hold").Values(ValueRoad::Subscription).value.has_value(); }));
    dispatcher.runPending();
    EXPECT_FALSE(Item(v1, "PLC1.D100").Values(ValueRoad::AsyncRead).value);
    EXPECT_FALSE(Item(v2, "PLC1.D101").Values(ValueRoad::AsyncRead).value);
    EXPECT_TRUE(doc.IsConnected());
    EXPECT_TRUE(ui.shown.empty());
    ::close(holding);
}
