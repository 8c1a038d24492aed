// The test client against the bundled OPC server program through the real transport:
// activation by ProgID, both subscription generations, both asynchronous roads, the
// server's shutdown request and a server that dies.
#include "QuilletFixture.h"

#include "platform/com/Bstr.h"
#include "platform/opc/RpcClient.h"
#include "platform/opc/ServerEntries.h"

#include <chrono>
#include <csignal>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const CLSID kServer = *com::parseGuid("{6E6F7453-0003-4E61-8000-000000000003}");
const FILETIME kServerTime{0x11223344, 0x01D00000};  // what the server stamps its start values with

std::string Program(const char* name)
{
    const char* bin = std::getenv("TESSARO_TEST_BIN");
    auto dir = bin ? std::filesystem::path(bin) : std::filesystem::read_symlink("/proc/self/exe").parent_path();
    return (dir / name).string();
}

class RealServer : public quillettest::AppFixture {
protected:
    void SetUp() override
    {
        if (::access(Program("opcserver").c_str(), X_OK) != 0) GTEST_SKIP() << "opcserver not built";
        for (const char* name : {"TESSARO_REGISTRY", "XDG_RUNTIME_DIR"}) {
            const char* v = std::getenv(name);
            saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
        // The server program finds the registry and its socket folder through these.
        ::setenv("TESSARO_REGISTRY", (scratch.path() / "reg").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (scratch.path() / "run").c_str(), 1);
        ASSERT_EQ(opc::registerClass(reg, kServer, Program("opcserver")), S_OK);
        Register("Tessaro.TestServer", true, &kServer);
        app = std::make_unique<CQuilletApp>(host);
        ASSERT_TRUE(app->InitInstance());
        ASSERT_EQ(app->GetServerList().size(), 1u);
    }
    void TearDown() override
    {
        app.reset();
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        for (auto& [name, value] : saved)
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
    }
    // Runs the sink calls the transport posts until done() holds (bounded).
    template <typename Done>
    bool Pump(Done done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            dispatcher.runPending();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            dispatcher.waitForWork(50);
        }
    }
    CQuilletDoc& Connect()
    {
        CQuilletDoc* doc = app->ConnectToServer("Tessaro.TestServer", "", CLSID_NULL);
        EXPECT_TRUE(doc && doc->GetServer());
        doc->SetLogMask(~0u);
        return *doc;
    }
    CGroup& AddGroup(CQuilletDoc& doc, DWORD mode, BOOL timeStamps = FALSE)
    {
        CGroupSettings s;
        s.name = "G" + std::to_string(mode) + std::to_string(timeStamps);
        s.updateRate = 100;
        s.adviseMode = mode;
        s.timeStamps = timeStamps;
        s.measureRate = TRUE;
        CGroup* group = doc.OnAddGroup(s);
        EXPECT_TRUE(group && group->GetAdviseMode() == mode);
        return *group;
    }
    // Adds items as the item view does; their server handles in order.
    std::vector<OPCHANDLE> AddItems(CQuilletDoc& doc, CGroup& group, std::vector<std::string> ids)
    {
        std::vector<OPCITEMDEF> defs(ids.size());
        std::vector<std::unique_ptr<CItem>> items;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            items.push_back(std::make_unique<CItem>(doc));
            items[i]->SetItemID(ids[i]);
            defs[i].szItemID = com::toBstr(ids[i]);
            defs[i].hClient = items[i]->GetClientHandle();
        }
        std::vector<OPCITEMRESULT> results;
        std::vector<HRESULT> errors;
        EXPECT_EQ(group.m_itemMgt->AddItems(defs, results, errors), S_OK);
        std::vector<OPCHANDLE> handles;
        for (std::size_t i = 0; i < results.size(); ++i) {
            items[i]->SetServerHandle(results[i].hServer);
            handles.push_back(results[i].hServer);
            group.Items().push_back(std::move(items[i]));
        }
        return handles;
    }
    static CItem& Item(CGroup& group, const std::string& id)
    {
        for (auto& item : group.Items())
            if (item->GetItemID() == id) return *item;
        throw std::out_of_range(id);
    }
    static bool AllHave(CGroup& group, ValueRoad road)
    {
        for (auto& item : group.Items())
            if (item.get() != group.GetUpdatesItem() && !item->Values(road).value) return false;
        return true;
    }
    bool Logged(CQuilletDoc& doc, const std::string& line)
    {
        for (auto& e : doc.TakeLogEntries()) log.push_back(quillet::DisplayText(texts, e));
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    // Starts the server program as a child of the test, so the test may kill it.
    void StartOwnServer()
    {
        child = ::fork();
        if (child == 0) {
            const std::string program = Program("opcserver");
            ::execl(program.c_str(), program.c_str(), "-Embedding", nullptr);
            ::_exit(127);
        }
        const auto socket = opc::socketPath(opc::socketFolder(), kServer);
        for (int i = 0; i < 500; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20)))
            if (int fd = opc::RpcClient::connectUnix(socket); fd >= 0) {
                ::close(fd);
                return;
            }
        FAIL() << "the server program did not open its socket";
    }

    std::unique_ptr<CQuilletApp> app;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    std::vector<std::string> log;
    pid_t child = -1;
};

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
    EXPECT_TRUE(prompter.shown.empty());
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
    EXPECT_TRUE(prompter.shown.empty());
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
    EXPECT_TRUE(prompter.shown.empty());
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
    EXPECT_EQ(prompter.shown.size(), 1u);  // the status command's error, nothing on closing
}

TEST_F(RealServer, KilledOrStoppedServerIsReportedWithoutACallWithinTheTimeOut)
{
    GTEST_SKIP() << "needs the OPC client's link-lost notice and call time-out (RPC_E_TIMEOUT) from the OPC "
                    "stand-in branch: wire the notice to CQuilletApp::OnLinkLost in ConnectToServer, give the "
                    "test a short call time-out, then enable";
    for (int signal : {SIGKILL, SIGSTOP}) {
        StartOwnServer();
        CQuilletDoc& doc = Connect();
        AddItems(doc, AddGroup(doc, ADVISE_CONNECTIONPOINT), {"PLC1.D100"});
        ::kill(child, signal);
        OPCSERVERSTATUS status;
        if (signal == SIGSTOP) {
            EXPECT_FALSE(doc.GetServerStatus(status));
        }
        EXPECT_TRUE(Pump([&] { return !doc.IsConnected(); }));
        app->CloseDocument(&doc);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
}

TEST_F(RealServer, FenwoldItemReadsItsValue)
{
    if (::access(Program("fenwold").c_str(), X_OK) != 0)
        GTEST_SKIP() << "the Fenwold program is not built yet: connect to \"Tessaro.Fenwold.1\" once it is";
    ASSERT_EQ(std::system((Program("fenwold") + " -Regserver").c_str()), 0);
    CQuilletDoc* doc = app->ConnectToServer("Tessaro.Fenwold.1", "", CLSID_NULL);
    ASSERT_TRUE(doc && doc->GetServer());
    opc::ComPtr<IEnumString> leaves;
    std::vector<std::u16string> names;
    auto browse = opc::ComPtr<IOPCServer>(doc->GetServer()).as<IOPCBrowseServerAddressSpace>(IID_IOPCBrowseServerAddressSpace);
    ASSERT_TRUE(browse && SUCCEEDED(browse->BrowseOPCItemIDs(OPC_FLAT, u"", VT_EMPTY, 0, leaves.put())));
    ASSERT_TRUE(SUCCEEDED(leaves->Next(1, names)) && !names.empty());
    CGroup& group = AddGroup(*doc, ADVISE_CONNECTIONPOINT);
    AddItems(*doc, group, {com::fromBstr(names[0])});
    EXPECT_TRUE(Pump([&] { return AllHave(group, ValueRoad::Subscription); }));
}

} // namespace
