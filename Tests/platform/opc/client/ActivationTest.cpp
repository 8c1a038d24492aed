// Activation from the registry and a server in another process: the test registers the
// test server program as a local server, and activation starts it.
#include "platform/opc/client/Activation.h"
#include "platform/opc/wire/DataStream.h"
#include "platform/opc/Enumerators.h"
#include "platform/opc/server/ServerEntries.h"
#include "platform/opc/server/Toolkit.h"
#include "platform/registry/Registry.h"

#include "platform/opc/RecordingSinks.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using opc::ComPtr;
using opctest::DataEvent;

const CLSID kClsid = *com::parseGuid("{6E6F7453-0003-4E61-8000-000000000003}");
const CLSID kMissing = *com::parseGuid("{6E6F7453-0004-4E61-8000-000000000004}");

template <typename T>
ComPtr<T> adopt(IUnknown* p)
{
    return ComPtr<T>::attach(static_cast<T*>(static_cast<void*>(p)));
}

std::string serverProgram()
{
    std::filesystem::path dir;
    if (const char* bin = std::getenv("TESSARO_TEST_BIN")) dir = bin;
    else dir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    return (dir / "opcserver").string();
}

class ActivationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"TESSARO_REGISTRY", "XDG_RUNTIME_DIR"})
            if (const char* v = std::getenv(name)) saved.emplace_back(name, v);
            else saved.emplace_back(name, std::nullopt);
        // The started server finds the registry and its socket folder through these.
        ::setenv("TESSARO_REGISTRY", (scratch.path() / "reg").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (scratch.path() / "run").c_str(), 1);
        options.registry = &reg;
        options.socketDir = opc::socketFolder();
        ASSERT_EQ(options.socketDir, scratch.path() / "run" / "tessaro" / "opc");
        ASSERT_EQ(opc::registerClass(reg, kClsid, serverProgram()), S_OK);
        reg.SetString(HKEY_CLASSES_ROOT, "Tessaro.TestServer", "", "Tessaro Test Server");
        reg.SetString(HKEY_CLASSES_ROOT, "Tessaro.TestServer\\CLSID", "", com::formatGuid(kClsid));
        reg.SetString(HKEY_CLASSES_ROOT, "CLSID\\" + com::formatGuid(kClsid) + "\\ProgID", "", "Tessaro.TestServer");
    }
    void TearDown() override
    {
        // Other tests of this process see the environment they started with.
        for (auto& [name, value] : saved)
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
    }

    support::ScratchFolder scratch;
    registry::Registry reg{scratch.path() / "reg"};
    opc::ActivationOptions options;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_F(ActivationTest, RegistrationWritesTheLocalServerAndCategories)
{
    const std::string key = "CLSID\\" + com::formatGuid(kClsid);
    std::string program;
    ASSERT_EQ(reg.QueryString(HKEY_CLASSES_ROOT, key + "\\LocalServer32", "", program), registry::Status::Ok);
    EXPECT_EQ(program, serverProgram());
    EXPECT_EQ(reg.OpenKey(HKEY_CLASSES_ROOT, key + "\\Implemented Categories\\{63D5F430-CFE4-11D1-B2C8-0060083BA1FB}"),
              registry::Status::Ok);
    EXPECT_EQ(opc::unregisterClass(reg, kClsid), S_OK);
    EXPECT_EQ(reg.OpenKey(HKEY_CLASSES_ROOT, key + "\\LocalServer32"), registry::Status::NotFound);
    EXPECT_EQ(opc::unregisterClass(reg, kClsid), S_OK);  // twice is fine
}

TEST_F(ActivationTest, ServerListFindsClassesByCategory)
{
    auto list = opc::createServerList(&reg);
    for (const CATID& cat : {CATID_OPCDAServer10, CATID_OPCDAServer20}) {
        ComPtr<IEnumGUID> e;
        ASSERT_EQ(list->EnumClassesOfCategories(std::span(&cat, 1), std::span(&cat, 1), e.put()), S_OK);
        std::vector<GUID> found;
        opc::drain(e.get(), found);
        EXPECT_EQ(found, (std::vector<GUID>{kClsid}));
    }
    const CATID other = kMissing;
    ComPtr<IEnumGUID> none;
    ASSERT_EQ(list->EnumClassesOfCategories(std::span(&other, 1), {}, none.put()), S_OK);
    std::vector<GUID> found;
    opc::drain(none.get(), found);
    EXPECT_TRUE(found.empty());
    std::u16string progId, userType;
    ASSERT_EQ(list->GetClassDetails(kClsid, progId, userType), S_OK);
    EXPECT_EQ(progId, u"Tessaro.TestServer");
    EXPECT_EQ(userType, u"Tessaro Test Server");
    EXPECT_EQ(list->GetClassDetails(kMissing, progId, userType), REGDB_E_CLASSNOTREG);
    CLSID clsid{};
    ASSERT_EQ(list->CLSIDFromProgID(u"Tessaro.TestServer", &clsid), S_OK);
    EXPECT_EQ(clsid, kClsid);
    EXPECT_EQ(list->CLSIDFromProgID(u"No.Such.Server", &clsid), CO_E_CLASSSTRING);
}

TEST_F(ActivationTest, ServerListIsThisMachinesOrAskedOfANodesServer)
{
    for (const char16_t* node : {u"", u"<Local>", u"  <local> "}) {
        ComPtr<IUnknown> unk;
        EXPECT_EQ(opc::CoCreateInstanceEx(CLSID_OPCServerList, node, IID_IOPCServerList, unk.put(), options), S_OK);
    }
    // No port for the node's list: nobody to ask.
    ComPtr<IUnknown> unk;
    EXPECT_EQ(opc::CoCreateInstanceEx(CLSID_OPCServerList, u"plant-node", IID_IOPCServerList, unk.put(), options),
              RPC_S_SERVER_UNAVAILABLE);
}

TEST_F(ActivationTest, ANodesServerListAndProgIDsComeFromItsServerThatTakesRemoteClients)
{
    const std::string appId = "AppID\\" + com::formatGuid(kClsid);
    reg.SetDword(HKEY_CLASSES_ROOT, appId, "RemoteEnabled", 1);
    reg.SetDword(HKEY_CLASSES_ROOT, appId, "RemotePort", 0);
    reg.SetString(HKEY_CLASSES_ROOT, appId, "RemoteHosts", "127.0.0.1");
    opc::ToolkitOptions serving;
    serving.registry = &reg;
    serving.runScheduler = false;
    opc::Toolkit toolkit(serving);
    ASSERT_TRUE(toolkit.start(kClsid, false)) << toolkit.startError();
    ASSERT_GT(toolkit.remotePort(), 0);
    // The client's own registry knows nothing of the class: what it learns is the node's.
    support::ScratchFolder elsewhere;
    registry::Registry clientReg{elsewhere.path()};
    opc::ActivationOptions client;
    client.registry = &clientReg;
    const std::string port = std::to_string(toolkit.remotePort());
    ComPtr<IUnknown> unk;
    ASSERT_EQ(opc::CoCreateInstanceEx(CLSID_OPCServerList, com::toBstr("127.0.0.1:" + port), IID_IOPCServerList,
                                      unk.put(), client),
              S_OK);
    auto list = unk.as<IOPCServerList>(IID_IOPCServerList);
    ASSERT_TRUE(list);
    const CATID cat = CATID_OPCDAServer20;
    ComPtr<IEnumGUID> e;
    ASSERT_EQ(list->EnumClassesOfCategories(std::span(&cat, 1), std::span(&cat, 1), e.put()), S_OK);
    std::vector<GUID> found;
    opc::drain(e.get(), found);
    EXPECT_EQ(found, (std::vector<GUID>{kClsid}));
    std::u16string progId, userType;
    ASSERT_EQ(list->GetClassDetails(kClsid, progId, userType), S_OK);
    EXPECT_EQ(std::tuple(progId, userType), std::tuple(u"Tessaro.TestServer", u"Tessaro Test Server"));
    EXPECT_EQ(list->GetClassDetails(kMissing, progId, userType), REGDB_E_CLASSNOTREG);
    CLSID clsid{};
    ASSERT_EQ(list->CLSIDFromProgID(u"Tessaro.TestServer", &clsid), S_OK);
    EXPECT_EQ(clsid, kClsid);
    EXPECT_EQ(list->CLSIDFromProgID(u"No.Such.Server", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, CLSID_NULL);

    // Without a port in the node: the client's value for the list's class names it.
    clientReg.SetDword(HKEY_CLASSES_ROOT, "AppID\\" + com::formatGuid(CLSID_OPCServerList), "RemotePort",
                       DWORD(toolkit.remotePort()));
    unk.reset();
    EXPECT_EQ(opc::CoCreateInstanceEx(CLSID_OPCServerList, u"127.0.0.1", IID_IOPCServerList, unk.put(), client), S_OK);
}

TEST_F(ActivationTest, UnregisteredOrUnstartableClassesFail)
{
    ComPtr<IUnknown> unk;
    EXPECT_EQ(opc::CoCreateInstanceEx(kMissing, u"", IID_IOPCServer, unk.put(), options), REGDB_E_CLASSNOTREG);
    ASSERT_EQ(opc::registerClass(reg, kMissing, (scratch.path() / "no-such-program").string()), S_OK);
    EXPECT_EQ(opc::CoCreateInstanceEx(kMissing, u"", IID_IOPCServer, unk.put(), options), CO_E_SERVER_EXEC_FAILURE);
}

TEST_F(ActivationTest, ClientInAnotherProcessDrivesTheStartedServer)
{
    if (::access(serverProgram().c_str(), X_OK) != 0) GTEST_SKIP() << "opcserver not built";
    CLSID clsid{};
    ASSERT_EQ(opc::CLSIDFromProgID(u"Tessaro.TestServer", &clsid, &reg), S_OK);
    ComPtr<IUnknown> unk;
    ASSERT_EQ(opc::CoCreateInstanceEx(clsid, u"<Local>", IID_IOPCServer, unk.put(), options), S_OK);
    auto server = adopt<IOPCServer>(unk.detach());

    // Shutdown subscription first, as a client does right after connecting.
    ComPtr<IConnectionPoint> shutdownPoint;
    ASSERT_EQ(server.as<IConnectionPointContainer>(IID_IConnectionPointContainer)
                  ->FindConnectionPoint(IID_IOPCShutdown, shutdownPoint.put()),
              S_OK);
    ComPtr<opctest::RecordingShutdown> shutdown(new opctest::RecordingShutdown);
    DWORD shutdownCookie = 0;
    ASSERT_EQ(shutdownPoint->Advise(shutdown.get(), &shutdownCookie), S_OK);

    // A group at 100 ms with two items, subscribed through a connection point.
    OPCHANDLE hGroup = 0;
    DWORD revised = 0;
    ASSERT_EQ(server->AddGroup(u"Fast", TRUE, 100, 0x51, nullptr, nullptr, 0, &hGroup, &revised, IID_IOPCItemMgt,
                               unk.put()),
              S_OK);
    EXPECT_EQ(revised, 100u);
    auto group = adopt<IOPCItemMgt>(unk.detach());
    std::vector<OPCITEMDEF> defs(3);
    defs[0].szItemID = u"PLC1.D100";
    defs[0].hClient = 1;
    defs[1].szItemID = u"PLC1.D101";
    defs[1].hClient = 2;
    defs[2].szItemID = u"Control.Stop";
    defs[2].hClient = 3;
    defs[2].bActive = FALSE;
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    ASSERT_EQ(group->AddItems(defs, results, errors), S_OK);
    std::vector<OPCHANDLE> h;
    for (auto& r : results) h.push_back(r.hServer);
    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(group.as<IConnectionPointContainer>(IID_IConnectionPointContainer)
                  ->FindConnectionPoint(IID_IOPCDataCallback, cp.put()),
              S_OK);
    ComPtr<opctest::RecordingDataCallback> data(new opctest::RecordingDataCallback);
    DWORD cookie = 0;
    ASSERT_EQ(cp->Advise(data.get(), &cookie), S_OK);
    ASSERT_TRUE(data->waitFor(1));
    auto initial = data->take();
    EXPECT_EQ(initial[0].items, (std::vector<OPCHANDLE>{1, 2}));

    // One update per changed value, none for the unchanged one.
    auto sync = group.as<IOPCSyncIO>(IID_IOPCSyncIO);
    for (int step = 0; step < 2; ++step) {
        VARIANT v = VARIANT::I2(SHORT(500 + step));
        OPCHANDLE one[] = {h[step]};
        ASSERT_EQ(sync->Write(one, std::span(&v, 1), errors), S_OK);
        ASSERT_TRUE(data->waitFor(1));
        auto e = data->take();
        ASSERT_EQ(e.size(), 1u);
        EXPECT_EQ(e[0].items, (std::vector<OPCHANDLE>{OPCHANDLE(step + 1)}));
        EXPECT_EQ(e[0].values[0], v);
    }

    // Sync read, then a 2.0 read with a cancelled one before it.
    std::vector<OPCITEMSTATE> values;
    OPCHANDLE two[] = {h[0], h[1]};
    ASSERT_EQ(sync->Read(OPC_DS_CACHE, two, values, errors), S_OK);
    EXPECT_EQ(values[0].vDataValue, VARIANT::I2(500));
    EXPECT_EQ(values[1].vDataValue, VARIANT::I2(501));
    auto io2 = group.as<IOPCAsyncIO2>(IID_IOPCAsyncIO2);
    DWORD cancelId = 0;
    ASSERT_EQ(io2->Read(two, 0x7001, &cancelId, errors), S_OK);
    HRESULT cancelled = io2->Cancel2(cancelId);  // may lose the race with the server's scheduler
    ASSERT_EQ(io2->Read(two, 0x7002, &cancelId, errors), S_OK);
    ASSERT_TRUE(data->waitFor(2));
    auto done = data->take();
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].kind, cancelled == S_OK ? DataEvent::Cancel : DataEvent::Read);
    EXPECT_EQ(done[0].transactionId, 0x7001u);
    EXPECT_EQ(done[1].kind, DataEvent::Read);
    EXPECT_EQ(done[1].transactionId, 0x7002u);
    EXPECT_EQ(done[1].values[1], VARIANT::I2(501));

    // A 1.0 group: the read arrives as a data stream in the published layout.
    ASSERT_EQ(server->AddGroup(u"Old", TRUE, 1000, 0xABCD, nullptr, nullptr, 0, &hGroup, &revised, IID_IDataObject,
                               unk.put()),
              S_OK);
    auto old = adopt<IDataObject>(unk.detach());
    auto oldItems = old.as<IOPCItemMgt>(IID_IOPCItemMgt);
    std::vector<OPCITEMDEF> oldDefs(1);
    oldDefs[0].szItemID = u"PLC1.D100";
    oldDefs[0].hClient = 0x99;
    ASSERT_EQ(oldItems->AddItems(oldDefs, results, errors), S_OK);
    ComPtr<opctest::RecordingAdviseSink> stream(new opctest::RecordingAdviseSink);
    FORMATETC f;
    f.cfFormat = RegisterClipboardFormat("OPCSTMFORMATWRITECOMPLETE");
    DWORD writeConn = 0, dataConn = 0;
    ASSERT_EQ(old->DAdvise(f, 0, stream.get(), &writeConn), S_OK);
    f.cfFormat = RegisterClipboardFormat("OPCSTMFORMATDATATIME");
    ASSERT_EQ(old->DAdvise(f, 0, stream.get(), &dataConn), S_OK);
    ASSERT_TRUE(stream->waitFor(1));  // the subscription's first update
    DWORD tid = 0;
    OPCHANDLE oldHandle[] = {results[0].hServer};
    ASSERT_EQ(old.as<IOPCAsyncIO>(IID_IOPCAsyncIO)->Read(dataConn, OPC_DS_DEVICE, oldHandle, &tid, errors), S_OK);
    ASSERT_TRUE(stream->waitFor(2));
    {
        std::lock_guard lock(stream->mutex);
        std::vector<BYTE> want = {
            0x38, 0, 0, 0,  1, 0, 0, 0,  0xCD, 0xAB, 0, 0,  BYTE(tid), BYTE(tid >> 8), BYTE(tid >> 16), BYTE(tid >> 24),  0, 0, 0, 0,
            0x99, 0, 0, 0,  0x28, 0, 0, 0,  0xC0, 0,  0, 0,  0x01, 0, 0, 0, 0x01, 0, 0, 0,
            0x02, 0, 0, 0, 0, 0, 0, 0,  0xF4, 0x01, 0, 0, 0, 0, 0, 0,
        };
        EXPECT_EQ(stream->list[1].format, CF_OPCSTMFORMATDATATIME);
        EXPECT_EQ(stream->list[1].bytes, want);
    }

    // Enumerations, browsing and properties.
    ASSERT_EQ(server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumString, unk.put()), S_OK);
    std::vector<std::u16string> names;
    opc::drain(adopt<IEnumString>(unk.detach()).get(), names);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Fast", u"Old"}));
    ASSERT_EQ(group->CreateEnumerator(IID_IEnumOPCItemAttributes, unk.put()), S_OK);
    std::vector<OPCITEMATTRIBUTES> attrs;
    opc::drain(adopt<IEnumOPCItemAttributes>(unk.detach()).get(), attrs);
    ASSERT_EQ(attrs.size(), 3u);
    EXPECT_EQ(attrs[2].szItemID, u"Control.Stop");
    EXPECT_EQ(attrs[2].bActive, FALSE);
    auto browse = server.as<IOPCBrowseServerAddressSpace>(IID_IOPCBrowseServerAddressSpace);
    ASSERT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"PLC1"), S_OK);
    ComPtr<IEnumString> leaves;
    ASSERT_EQ(browse->BrowseOPCItemIDs(OPC_LEAF, u"D1#1", VT_EMPTY, 0, leaves.put()), S_OK);
    opc::drain(leaves.get(), names);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"D101"}));
    std::vector<DWORD> ids;
    std::vector<std::u16string> descriptions;
    std::vector<VARTYPE> types;
    ASSERT_EQ(server.as<IOPCItemProperties>(IID_IOPCItemProperties)
                  ->QueryAvailableProperties(u"PLC1.TEXT", ids, descriptions, types),
              S_OK);
    EXPECT_EQ(ids.size(), 6u);
    EXPECT_EQ(types[1], VT_BSTR);

    // The server stops: the client hears it, and its calls then fail.
    VARIANT stop = VARIANT::Bool(true);
    OPCHANDLE stopHandle[] = {h[2]};
    ASSERT_EQ(sync->Write(stopHandle, std::span(&stop, 1), errors), S_OK);
    ASSERT_TRUE(shutdown->waitFor(1));
    EXPECT_FALSE(shutdown->reasons[0].empty());
    OPCSERVERSTATUS st;
    HRESULT after = S_OK;
    for (int i = 0; i < 100 && after == S_OK; ++i) after = server->GetStatus(st);  // bounded: the link drops
    EXPECT_TRUE(after == RPC_S_CALL_FAILED || after == CO_E_SERVER_STOPPING) << std::hex << after;
}

// A started test server with its process id, a client on it and what the client's
// dispatcher got of the link-lost notice.
class ServerProcessTest : public ActivationTest {
protected:
    void SetUp() override
    {
        ActivationTest::SetUp();
        if (::access(serverProgram().c_str(), X_OK) != 0) GTEST_SKIP() << "opcserver not built";
        fifo = scratch.path() / "holding";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        ::setenv("TESSARO_OPCSERVER_HOLDING", fifo.c_str(), 1);
        // Read and written both, so opening never waits for the server.
        holding = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(holding, 0);
    }
    void TearDown() override
    {
        server.reset();
        group.reset();
        if (pid > 0) ::kill(pid, SIGKILL);  // stopped or not
        if (holding >= 0) ::close(holding);
        ::unsetenv("TESSARO_OPCSERVER_HOLDING");
        ActivationTest::TearDown();
    }
    // Connects with the call time-out given and reads the server's process id.
    void start(std::chrono::milliseconds callTimeout)
    {
        options.client.callTimeout = callTimeout;
        options.client.linkLost = [this](HRESULT why) {
            std::lock_guard lock(m);
            lost.push_back(why);
            cv.notify_all();
        };
        ComPtr<IUnknown> unk;
        ASSERT_EQ(opc::CoCreateInstanceEx(kClsid, u"", IID_IOPCServer, unk.put(), options), S_OK);
        server = adopt<IOPCServer>(unk.detach());
        OPCHANDLE h = 0;
        DWORD revised = 0;
        ASSERT_EQ(server->AddGroup(u"G", TRUE, 1000, 1, nullptr, nullptr, 0, &h, &revised, IID_IOPCSyncIO, unk.put()),
                  S_OK);
        group = adopt<IOPCSyncIO>(unk.detach());
        std::vector<OPCITEMDEF> defs(2);
        defs[0].szItemID = u"Control.Pid";
        defs[1].szItemID = u"Control.Hold";
        std::vector<OPCITEMRESULT> results;
        std::vector<HRESULT> errors;
        ASSERT_EQ(group.as<IOPCItemMgt>(IID_IOPCItemMgt)->AddItems(defs, results, errors), S_OK);
        pidItem = results[0].hServer;
        holdItem = results[1].hServer;
        std::vector<OPCITEMSTATE> values;
        OPCHANDLE one[] = {pidItem};
        ASSERT_EQ(group->Read(OPC_DS_DEVICE, one, values, errors), S_OK);
        pid = pid_t(values[0].vDataValue.lVal());
        ASSERT_GT(pid, 0);
    }
    // A read the server never answers; returns once the server is inside it.
    std::future<HRESULT> readHeld()
    {
        auto read = std::async(std::launch::async, [this] {
            std::vector<OPCITEMSTATE> values;
            std::vector<HRESULT> errors;
            OPCHANDLE one[] = {holdItem};
            return group->Read(OPC_DS_DEVICE, one, values, errors);
        });
        pollfd p{holding, POLLIN, 0};
        EXPECT_EQ(::poll(&p, 1, 10000), 1) << "the server never began the read";
        char c;
        EXPECT_EQ(::read(holding, &c, 1), 1);
        return read;
    }
    bool waitLost(std::size_t n)
    {
        std::unique_lock lock(m);
        return cv.wait_for(lock, std::chrono::seconds(10), [&] { return lost.size() >= n; });
    }

    std::filesystem::path fifo;
    int holding = -1;
    pid_t pid = 0;
    ComPtr<IOPCServer> server;
    ComPtr<IOPCSyncIO> group;
    OPCHANDLE pidItem = 0, holdItem = 0;
    std::mutex m;
    std::condition_variable cv;
    std::vector<HRESULT> lost;
};

TEST_F(ServerProcessTest, ServerKilledDuringACallFailsTheCallAndPostsTheLinkLostNotice)
{
    start(std::chrono::milliseconds(60000));
    auto read = readHeld();
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    // Long before the time-out: the link is gone at once.
    ASSERT_EQ(read.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(read.get(), RPC_S_CALL_FAILED);
    ASSERT_TRUE(waitLost(1));
    EXPECT_EQ(lost, (std::vector<HRESULT>{RPC_S_CALL_FAILED}));
    OPCSERVERSTATUS st;
    EXPECT_EQ(server->GetStatus(st), RPC_S_CALL_FAILED);
    pid = 0;
}

TEST_F(ServerProcessTest, StoppedServerFailsCallsWithTheTimeOutAndLeavesNoThreadWaiting)
{
    start(std::chrono::milliseconds(300));
    auto read = readHeld();
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    EXPECT_EQ(read.get(), RPC_E_TIMEOUT);
    OPCSERVERSTATUS st;
    EXPECT_EQ(server->GetStatus(st), RPC_E_TIMEOUT);
    EXPECT_TRUE(lost.empty());  // alive, only silent
    // Letting go of the proxies and the client waits for nothing of the server.
    group.reset();
    server.reset();
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    pid = 0;
}

} // namespace

namespace {

TEST(LocalServerStart, AServerStartedByAClientThatBlocksQuitSignalsStillTakesThem)
{
    support::ScratchFolder scratch;
    const auto script = scratch.path() / "server.sh";
    const auto report = scratch.path() / "blocked.txt";
    // Read with the shell's builtins only: while it waits for a child of its own the
    // shell blocks signals itself, so nothing is started before the line is read.
    std::ofstream(script) << "#!/bin/sh\nwhile read -r key value; do\n"
                          << "  case $key in SigBlk:) echo \"$key\t$value\" > '" << report.string() << ".part';; esac\n"
                          << "done < /proc/$$/status\nmv '" << report.string() << ".part' '" << report.string() << "'\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    sigset_t quit, previous;
    sigemptyset(&quit);
    sigaddset(&quit, SIGINT);
    sigaddset(&quit, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &quit, &previous);
    const bool started = opc::startLocalServer(script.string());
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ASSERT_TRUE(started);
    for (int i = 0; i < 500 && !std::filesystem::exists(report); ++i)
        ::poll(nullptr, 0, 20);
    std::string line;
    std::getline(std::ifstream(report), line);
    EXPECT_EQ(line, "SigBlk:\t0000000000000000");
}

TEST(LocalServerStart, AServerStartedByAClientKeepsNoneOfTheClientsDescriptors)
{
    support::ScratchFolder scratch;
    const auto script = scratch.path() / "server.sh";
    const auto report = scratch.path() / "fds.txt";
    // Read in command substitutions, which leave the shell's own descriptors as they are.
    const std::string part = report.string() + ".part";
    std::ofstream(script) << "#!/bin/sh\nout=$(readlink /proc/$$/fd/1)\nall=$(ls -l /proc/$$/fd)\n"
                          << "echo \"$out\" > '" << part << "'\necho \"$all\" >> '" << part << "'\nmv '" << part
                          << "' '" << report.string() << "'\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    // A pipe a test runner or terminal reads, left inheritable by the client.
    int held[2];
    ASSERT_EQ(::pipe(held), 0);
    struct stat pipeStat {};
    ASSERT_EQ(::fstat(held[1], &pipeStat), 0);
    const bool started = opc::startLocalServer(script.string());
    ::close(held[0]);
    ::close(held[1]);
    ASSERT_TRUE(started);
    for (int i = 0; i < 500 && !std::filesystem::exists(report); ++i)
        ::poll(nullptr, 0, 20);
    std::ifstream in(report);
    std::string output;
    std::getline(in, output);
    EXPECT_EQ(output, "/dev/null");
    const std::string rest{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_FALSE(rest.empty());
    EXPECT_EQ(rest.find("pipe:[" + std::to_string(pipeStat.st_ino) + "]"), std::string::npos) << rest;
}

} // namespace
