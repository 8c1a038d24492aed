// The transport end to end over loopback sockets: a toolkit in this process serves its
// class socket; clients reach it through proxies or raw frames.
#include "platform/opc/client/Activation.h"
#include "platform/opc/wire/DataStream.h"
#include "platform/opc/Enumerators.h"
#include "platform/opc/wire/Frame.h"
#include "platform/opc/wire/Protocol.h"
#include "platform/opc/server/Toolkit.h"
#include "platform/win/Clock.h"
#include "platform/registry/Registry.h"

#include "platform/opc/RecordingSinks.h"
#include "platform/opc/RpcFixture.h"
#include "platform/opc/ScriptedCallback.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

using opc::ComPtr;
using opctest::DataEvent;

using opctest::RawClient;
using opctest::adopt;
using RpcTest = opctest::RpcFixture;
const CLSID kClsid = opctest::kRpcTestClsid;

TEST_F(RpcTest, SocketIsTheOwnersAlone)
{
    struct stat st{};
    auto path = opc::socketPath(scratch.path() / "sock", kClsid);
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((scratch.path() / "sock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A second server of the same class is refused while the first listens.
    opc::Toolkit second(options(nullptr));
    EXPECT_FALSE(second.start(kClsid, false));
}

TEST_F(RpcTest, SubscriptionReadsWritesAndAsyncThroughProxies)
{
    connect();
    auto g = addGroup(100, 0x55);
    auto h = addItems(g.get(), {u"PLC1.D100", u"PLC1.D101"});
    auto cpc = g.as<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(cpc->FindConnectionPoint(IID_IOPCDataCallback, cp.put()), S_OK);
    ComPtr<opctest::RecordingDataCallback> sink(new opctest::RecordingDataCallback);
    DWORD cookie = 0;
    ASSERT_EQ(cp->Advise(sink.get(), &cookie), S_OK);

    toolkit->poll(0);
    ASSERT_TRUE(sink->waitFor(1));
    auto first = sink->take();
    EXPECT_EQ(first[0].group, 0x55u);
    EXPECT_EQ(first[0].items, (std::vector<OPCHANDLE>{100, 101}));
    EXPECT_EQ(first[0].values[1], VARIANT::I2(20));

    // A write changes one value: the next update carries that one alone.
    auto sync = g.as<IOPCSyncIO>(IID_IOPCSyncIO);
    VARIANT v = VARIANT::String("77");
    std::vector<HRESULT> errors;
    OPCHANDLE second[] = {h[1]};
    ASSERT_EQ(sync->Write(second, std::span(&v, 1), errors), S_OK);
    EXPECT_EQ(cb.writes.back(), VARIANT::I2(77));
    toolkit->poll(100);
    ASSERT_TRUE(sink->waitFor(1));
    auto update = sink->take();
    ASSERT_EQ(update.size(), 1u);
    EXPECT_EQ(update[0].items, (std::vector<OPCHANDLE>{101}));
    EXPECT_EQ(update[0].values[0], VARIANT::I2(77));

    std::vector<OPCITEMSTATE> values;
    ASSERT_EQ(sync->Read(OPC_DS_DEVICE, h, values, errors), S_OK);
    EXPECT_EQ(values[0].vDataValue, VARIANT::I2(10));
    EXPECT_EQ(values[1].vDataValue, VARIANT::I2(77));

    auto io2 = g.as<IOPCAsyncIO2>(IID_IOPCAsyncIO2);
    DWORD cancelId = 0;
    ASSERT_EQ(io2->Read(h, 0x900, &cancelId, errors), S_OK);
    ASSERT_EQ(io2->Cancel2(cancelId), S_OK);
    ASSERT_EQ(io2->Read(h, 0x901, &cancelId, errors), S_OK);
    toolkit->poll(150);
    ASSERT_TRUE(sink->waitFor(2));
    auto done = sink->take();
    EXPECT_EQ(done[0].kind, DataEvent::Cancel);
    EXPECT_EQ(done[0].transactionId, 0x900u);
    EXPECT_EQ(done[1].kind, DataEvent::Read);
    EXPECT_EQ(done[1].transactionId, 0x901u);

    ASSERT_EQ(cp->Unadvise(cookie), S_OK);
    EXPECT_EQ(cp->Unadvise(cookie), CONNECT_E_NOCONNECTION);
}

TEST_F(RpcTest, DataObjectStreamsCrossIntact)
{
    connect();
    auto g = addGroup(1000, 0x66);
    auto h = addItems(g.get(), {u"PLC1.TEXT"});
    auto data = g.as<IDataObject>(IID_IDataObject);
    ComPtr<opctest::RecordingAdviseSink> sink(new opctest::RecordingAdviseSink);
    FORMATETC f;
    f.cfFormat = CF_OPCSTMFORMATDATA;
    DWORD conn = 0;
    ASSERT_EQ(data->DAdvise(f, 0, sink.get(), &conn), S_OK);
    toolkit->poll(0);
    ASSERT_TRUE(sink->waitFor(1));
    std::lock_guard lock(sink->mutex);
    opc::DataStreamContent c;
    ASSERT_EQ(opc::parseDataStream(sink->list[0].bytes, false, c), S_OK);
    EXPECT_EQ(c.hClientGroup, 0x66u);
    ASSERT_EQ(c.items.size(), 1u);
    EXPECT_EQ(c.items[0].value, VARIANT::String("hello"));
}

TEST_F(RpcTest, EnumeratorsBrowsingPropertiesAndStatus)
{
    connect();
    auto g = addGroup(100, 1);
    addItems(g.get(), {u"PLC1.D100"});
    ComPtr<IUnknown> unk;
    ASSERT_EQ(server->CreateGroupEnumerator(OPC_ENUM_ALL_CONNECTIONS, IID_IEnumUnknown, unk.put()), S_OK);
    auto groups = adopt<IEnumUnknown>(unk.detach());
    std::vector<ComPtr<IUnknown>> list;
    ASSERT_EQ(opc::drain(groups.get(), list), S_OK);
    ASSERT_EQ(list.size(), 1u);
    auto state = list[0].as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt);
    std::u16string name;
    ASSERT_EQ(state->GetState(nullptr, nullptr, &name, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name, u"G");

    ASSERT_EQ(g->CreateEnumerator(IID_IEnumOPCItemAttributes, unk.put()), S_OK);
    std::vector<OPCITEMATTRIBUTES> attrs;
    ASSERT_EQ(opc::drain(adopt<IEnumOPCItemAttributes>(unk.detach()).get(), attrs), S_OK);
    ASSERT_EQ(attrs.size(), 1u);
    EXPECT_EQ(attrs[0].szItemID, u"PLC1.D100");

    auto browse = server.as<IOPCBrowseServerAddressSpace>(IID_IOPCBrowseServerAddressSpace);
    ComPtr<IEnumString> names;
    ASSERT_EQ(browse->BrowseOPCItemIDs(OPC_FLAT, u"*D10?", VT_EMPTY, 0, names.put()), S_OK);
    std::vector<std::u16string> ids;
    opc::drain(names.get(), ids);
    EXPECT_EQ(ids, (std::vector<std::u16string>{u"PLC1.D100", u"PLC1.D101"}));

    auto props = server.as<IOPCItemProperties>(IID_IOPCItemProperties);
    DWORD want[] = {5};
    std::vector<VARIANT> values;
    std::vector<HRESULT> errors;
    ASSERT_EQ(props->GetItemProperties(u"PLC1.D100", want, values, errors), S_OK);
    EXPECT_EQ(values[0], VARIANT::I4(3));

    OPCSERVERSTATUS st;
    ASSERT_EQ(server->GetStatus(st), S_OK);
    EXPECT_EQ(st.szVendorInfo, u"Scripted Vendor");
    EXPECT_EQ(st.dwGroupCount, 1u);
    EXPECT_EQ(st.ftStartTime, com::toFileTime(clock.wallTime()));
    EXPECT_EQ(server->RemoveGroup(hGroup, FALSE), OPC_S_INUSE);
    EXPECT_EQ(cb.tag("PLC1.D100")->m_nUseCount, 1);  // until the client lets go
    g.reset();
    state.reset();
    list.clear();
    groups.reset();
    EXPECT_EQ(server->GetStatus(st), S_OK);  // the releases went before this call
    EXPECT_EQ(cb.tag("PLC1.D100")->m_nUseCount, 0);
}

TEST_F(RpcTest, StopSendsShutdownAndLaterCallsFailWithTheRpcCode)
{
    connect();
    auto cpc = server.as<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(cpc->FindConnectionPoint(IID_IOPCShutdown, cp.put()), S_OK);
    ComPtr<opctest::RecordingShutdown> sink(new opctest::RecordingShutdown);
    DWORD cookie = 0;
    ASSERT_EQ(cp->Advise(sink.get(), &cookie), S_OK);
    toolkit->stop(u"maintenance");
    ASSERT_TRUE(sink->waitFor(1));
    EXPECT_EQ(sink->reasons[0], u"maintenance");
    OPCSERVERSTATUS st;
    EXPECT_EQ(server->GetStatus(st), RPC_S_CALL_FAILED);
}

TEST_F(RpcTest, CallbackMayBeFreedAsSoonAsStopReturns)
{
    auto own = std::make_unique<opctest::ScriptedCallback>();
    own->addItem("PLC1.D100", VARIANT::I2(1));
    toolkit->setCallback(own.get());
    connect();
    auto g = addGroup(100, 1);
    auto h = addItems(g.get(), {u"PLC1.D100"});
    auto sync = g.as<IOPCSyncIO>(IID_IOPCSyncIO);
    std::atomic<int> reads{0};
    std::atomic<bool> started{false};
    std::thread reader([&] {
        // Reads and writes until the server refuses them; each one uses the callback.
        for (;;) {
            std::vector<OPCITEMSTATE> values;
            std::vector<HRESULT> errors;
            VARIANT v = VARIANT::I2(SHORT(reads.load()));
            if (FAILED(sync->Read(OPC_DS_DEVICE, h, values, errors)) || FAILED(sync->Write(h, std::span(&v, 1), errors))) {
                started = true;  // a first call that fails ends the wait below too
                return;
            }
            ++reads;
            started = true;
        }
    });
    while (!started) std::this_thread::yield();
    toolkit->stop();
    own.reset();  // nothing of the toolkit may touch it now
    reader.join();
    EXPECT_GT(reads.load(), 0);
}

TEST_F(RpcTest, GroupStateAndItemSettingsCrossIntact)
{
    connect();
    auto g = addGroup(100, 1);
    auto state = g.as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt);
    // Only the fields given change; the rate is revised by the callback.
    const DWORD rate = 5;
    const LONG bias = -540;
    const FLOAT deadband = 2.5f;
    const OPCHANDLE client = 0xC11E;
    DWORD revised = 0;
    EXPECT_EQ(state->SetState(&rate, &revised, nullptr, &bias, &deadband, nullptr, &client), OPC_S_UNSUPPORTEDRATE);
    EXPECT_EQ(revised, 10u);
    DWORD gotRate = 0;
    BOOL active = FALSE;
    std::u16string name;
    LONG gotBias = 0;
    FLOAT gotDeadband = 0;
    LCID lcid = 7;
    OPCHANDLE gotClient = 0, gotServer = 0;
    ASSERT_EQ(state->GetState(&gotRate, &active, &name, &gotBias, &gotDeadband, &lcid, &gotClient, &gotServer), S_OK);
    EXPECT_EQ(gotRate, 10u);
    EXPECT_EQ(active, TRUE);
    EXPECT_EQ(name, u"G");
    EXPECT_EQ(gotBias, bias);
    EXPECT_EQ(gotDeadband, deadband);
    EXPECT_EQ(lcid, 0u);
    EXPECT_EQ(gotClient, client);
    EXPECT_EQ(gotServer, hGroup);
    const FLOAT tooMuch = 101.0f;
    EXPECT_EQ(state->SetState(nullptr, &revised, nullptr, nullptr, &tooMuch, nullptr, nullptr), E_INVALIDARG);

    // New client handles and requested types show in what a read returns.
    auto h = addItems(g.get(), {u"PLC1.D100", u"PLC1.D101"});
    std::vector<HRESULT> errors;
    OPCHANDLE clients[] = {0x501, 0x502};
    ASSERT_EQ(g->SetClientHandles(h, clients, errors), S_OK);
    OPCHANDLE withUnknown[] = {h[1], 0xDEAD};
    VARTYPE types[] = {VT_BSTR, VT_R8};
    EXPECT_EQ(g->SetDatatypes(withUnknown, types, errors), S_FALSE);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, OPC_E_INVALIDHANDLE}));
    std::vector<OPCITEMSTATE> values;
    ASSERT_EQ(g.as<IOPCSyncIO>(IID_IOPCSyncIO)->Read(OPC_DS_CACHE, h, values, errors), S_OK);
    EXPECT_EQ(values[0].hClient, 0x501u);
    EXPECT_EQ(values[0].vDataValue, VARIANT::I2(10));
    EXPECT_EQ(values[1].hClient, 0x502u);
    EXPECT_EQ(values[1].vDataValue, VARIANT::String("20"));
}

TEST_F(RpcTest, OversizedReplyFailsTheCallNotTheLink)
{
    const std::string big(40000, 'b');  // 80000 bytes a value on the wire
    cb.addItem("PLC1.BIG", VARIANT::String(big));
    connect();
    auto g = addGroup(100, 1);
    auto h = addItems(g.get(), {u"PLC1.BIG"});
    ASSERT_EQ(h.size(), 1u);
    auto sync = g.as<IOPCSyncIO>(IID_IOPCSyncIO);
    std::vector<OPCHANDLE> many(220, h[0]);  // a reply over the frame bound
    std::vector<OPCITEMSTATE> values;
    std::vector<HRESULT> errors;
    EXPECT_EQ(sync->Read(OPC_DS_CACHE, many, values, errors), E_OUTOFMEMORY);
    // The link and the group still serve.
    OPCSERVERSTATUS st;
    EXPECT_EQ(server->GetStatus(st), S_OK);
    ASSERT_EQ(sync->Read(OPC_DS_CACHE, h, values, errors), S_OK);
    EXPECT_EQ(values[0].vDataValue, VARIANT::String(big));
}

// Holds the first device read inside the callback until the test lets it go.
class GatedCallback final : public opctest::ScriptedCallback {
public:
    HRESULT ReadTag(CTag* tag) override
    {
        std::unique_lock lock(m);
        if (!held) {
            held = true;
            cv.notify_all();
            cv.wait(lock, [&] { return open; });
        }
        lock.unlock();
        return ScriptedCallback::ReadTag(tag);
    }
    bool waitHeld()
    {
        std::unique_lock lock(m);
        return cv.wait_for(lock, std::chrono::seconds(10), [&] { return held; });
    }
    void release()
    {
        std::lock_guard lock(m);
        open = true;
        cv.notify_all();
    }
    std::mutex m;
    std::condition_variable cv;
    bool held = false;
    bool open = false;
};

TEST_F(RpcTest, CallRunningWhenStopBeginsStillGetsItsReply)
{
    auto own = std::make_unique<GatedCallback>();
    own->addItem("PLC1.TEXT", VARIANT::String(std::string(1000, 'x')));
    toolkit->setCallback(own.get());
    connect();
    auto g = addGroup(100, 1);
    auto h = addItems(g.get(), {u"PLC1.TEXT"});
    ASSERT_EQ(h.size(), 1u);
    // A large reply, so the server has work to do after the callback was left.
    std::vector<OPCHANDLE> many(2000, h[0]);
    auto sync = g.as<IOPCSyncIO>(IID_IOPCSyncIO);
    std::vector<OPCITEMSTATE> values;
    std::vector<HRESULT> errors;
    auto read = std::async(std::launch::async, [&] { return sync->Read(OPC_DS_DEVICE, many, values, errors); });
    ASSERT_TRUE(own->waitHeld());
    std::thread stopper([&] { toolkit->stop(); });
    for (int i = 0; i < 100000 && toolkit->running(); ++i) std::this_thread::yield();
    own->release();
    stopper.join();
    EXPECT_EQ(read.get(), S_OK);
    ASSERT_EQ(values.size(), many.size());
    EXPECT_EQ(values.back().vDataValue, VARIANT::String(std::string(1000, 'x')));
}

// A shutdown sink that holds the client's only reference to the server and lets it go
// when the server asks, as a client document does.
class LastHolder final : public opctest::SinkBase<IOPCShutdown> {
public:
    explicit LastHolder(ComPtr<IOPCServer> s) : SinkBase(IID_IOPCShutdown), server(std::move(s)) {}
    HRESULT ShutdownRequest(std::u16string_view) override
    {
        server.reset();  // the client goes with it, on its own dispatcher thread
        std::lock_guard lock(mutex);
        done = true;
        cv.notify_all();
        return S_OK;
    }
    std::size_t events() const override { return done ? 1 : 0; }
    ComPtr<IOPCServer> server;
    bool done = false;
};

TEST_F(RpcTest, ClientMayGoInsideItsOwnSinkCall)
{
    connect();
    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(server.as<IConnectionPointContainer>(IID_IConnectionPointContainer)->FindConnectionPoint(IID_IOPCShutdown, cp.put()), S_OK);
    ComPtr<LastHolder> sink(new LastHolder(server));
    DWORD cookie = 0;
    ASSERT_EQ(cp->Advise(sink.get(), &cookie), S_OK);
    cp.reset();
    server.reset();
    toolkit->stop();
    EXPECT_TRUE(sink->waitFor(1));
}

// ---- raw frames ----

TEST_F(RpcTest, MalformedFramesAreRefusedWithoutHarm)
{
    auto path = opc::socketPath(scratch.path() / "sock", kClsid);
    {
        RawClient junk(path);
        BYTE garbage[] = {'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P', '/', '1', '.', '1', '\r', '\n',
                          '\r', '\n', 0, 0};
        ASSERT_TRUE(junk.send(garbage));
        HRESULT hr;
        std::vector<BYTE> out;
        EXPECT_FALSE(junk.reply(hr, out));  // closed on us
    }
    {
        RawClient huge(path);
        opc::Frame f;
        auto b = opc::encodeFrame(f);
        b[7] = 0x7F;  // 2 GiB payload announced
        ASSERT_TRUE(huge.send(b));
        HRESULT hr;
        std::vector<BYTE> out;
        EXPECT_FALSE(huge.reply(hr, out));
    }
    RawClient c(path);
    opc::WireWriter none;
    ASSERT_TRUE(c.call(opc::Method::Activate, 0, none));
    HRESULT hr = E_FAIL;
    std::vector<BYTE> out;
    ASSERT_TRUE(c.reply(hr, out));
    ASSERT_EQ(hr, S_OK);
    opc::WireReader r(out);
    DWORD serverId = r.u32();

    struct Case {
        const char* name;
        opc::Method method;
        DWORD object;
        std::vector<BYTE> payload;
        HRESULT want;
    };
    std::vector<Case> cases = {
        {"TruncatedAddGroup", opc::Method::AddGroup, serverId, {5, 0, 0, 0, 'A'}, RPC_E_INVALID_DATA},
        {"TrailingBytes", opc::Method::GetStatus, serverId, {1}, RPC_E_INVALID_DATA},
        {"UnknownObject", opc::Method::GetStatus, 999, {}, E_HANDLE},
        {"UnknownMethod", opc::Method(77), serverId, {}, E_NOTIMPL},
        {"GroupMethodOnServer", opc::Method::GetState, serverId, {}, E_NOINTERFACE},
        {"HugeCount", opc::Method::GetItemProperties, serverId, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, RPC_E_INVALID_DATA},
    };
    DWORD callId = 10;
    for (auto& k : cases) {
        opc::WireWriter w;
        w.data() = k.payload;
        ASSERT_TRUE(c.call(k.method, k.object, w, callId++)) << k.name;
        ASSERT_TRUE(c.reply(hr, out)) << k.name;
        EXPECT_EQ(hr, k.want) << k.name;
    }
    // The connection and the server still work.
    opc::WireWriter w;
    ASSERT_TRUE(c.call(opc::Method::GetStatus, serverId, w, 99));
    ASSERT_TRUE(c.reply(hr, out));
    EXPECT_EQ(hr, S_OK);
    connect();
    OPCSERVERSTATUS st;
    EXPECT_EQ(server->GetStatus(st), S_OK);
}

// In raw frames: activates a server, adds an active group of 100 ms to it and the
// item to the group (call ids 1 to 3); gives the group's id.
void OpenGroupWithItem(RawClient& c, const char16_t* group, const char16_t* item, DWORD& groupId)
{
    opc::WireWriter none;
    ASSERT_TRUE(c.call(opc::Method::Activate, 0, none, 1));
    HRESULT hr;
    std::vector<BYTE> out;
    ASSERT_TRUE(c.reply(hr, out));
    DWORD serverId = opc::WireReader(out).u32();
    opc::WireWriter add;
    add.text(group);
    add.i32(TRUE);
    add.u32(100);
    add.u32(1);
    add.u8(0);
    add.i32(0);
    add.u8(0);
    add.f32(0);
    add.u32(0);
    add.guid(IID_IOPCItemMgt);
    ASSERT_TRUE(c.call(opc::Method::AddGroup, serverId, add, 2));
    ASSERT_TRUE(c.reply(hr, out));
    ASSERT_EQ(hr, S_OK);
    opc::WireReader r(out);
    r.u32();
    r.u32();
    groupId = r.u32();
    opc::WireWriter items;
    items.u32(1);
    OPCITEMDEF d;
    d.szItemID = item;
    opc::writeItemDef(items, d);
    ASSERT_TRUE(c.call(opc::Method::AddItems, groupId, items, 3));
    ASSERT_TRUE(c.reply(hr, out));
}

TEST_F(RpcTest, ClientThatVanishesMidCallLeavesTheServerHealthy)
{
    auto path = opc::socketPath(scratch.path() / "sock", kClsid);
    {
        RawClient c(path);
        DWORD groupId = 0;
        ASSERT_NO_FATAL_FAILURE(OpenGroupWithItem(c, u"Lost", u"PLC1.D100", groupId));
        EXPECT_EQ(cb.tag("PLC1.D100")->m_nUseCount, 1);
        // Another call goes out and the client is gone before its reply.
        opc::WireWriter read;
        read.u32(OPC_DS_DEVICE);
        read.u32(1);
        read.u32(1);
        ASSERT_TRUE(c.call(opc::Method::SyncRead, groupId, read, 4));
    }
    ASSERT_TRUE(cb.waitDisconnects(1));
    EXPECT_EQ(cb.tag("PLC1.D100")->m_nUseCount, 0);  // its group is gone
    connect();
    auto g = addGroup(100, 1);  // the name "G" is free in a new connection
    EXPECT_EQ(addItems(g.get(), {u"PLC1.D100"}).size(), 1u);
}

TEST_F(RpcTest, ClientThatStopsReadingNeverHoldsUpTheServer)
{
    cb.addItem("PLC1.BIG", VARIANT::String(std::string(2000, 'a')));
    RawClient stuck(opc::socketPath(scratch.path() / "sock", kClsid));
    DWORD groupId = 0;
    ASSERT_NO_FATAL_FAILURE(OpenGroupWithItem(stuck, u"Stuck", u"PLC1.BIG", groupId));
    HRESULT hr;
    std::vector<BYTE> out;
    opc::WireWriter advise;
    advise.u32(1);
    ASSERT_TRUE(stuck.call(opc::Method::AdviseDataCallback, groupId, advise, 4));
    ASSERT_TRUE(stuck.reply(hr, out));
    ASSERT_EQ(hr, S_OK);

    // From here the client reads nothing: megabytes of updates wait for it.
    auto updates = std::async(std::launch::async, [&] {
        for (int i = 0; i < 1000; ++i) {
            cb.tag("PLC1.BIG")->UpdateValue(VARIANT::String(std::string(2000, char('a' + i % 26))), 0xC0, FILETIME{});
            toolkit->poll(std::uint64_t(i + 1) * 100);
        }
    });
    ASSERT_EQ(updates.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    connect();
    OPCSERVERSTATUS st;
    EXPECT_EQ(server->GetStatus(st), S_OK);
    stuck.close();
}

TEST_F(RpcTest, RemoteNodesAnswerOnlyHostsOnTheAllowList)
{
    const std::string key = "AppID\\" + com::formatGuid(kClsid);
    struct Case {
        const char* hosts;
        HRESULT want;
    };
    for (Case c : {Case{"127.0.0.1", S_OK}, Case{"192.0.2.1", RPC_S_CALL_FAILED}}) {
        toolkit->stop();
        reg.SetDword(HKEY_CLASSES_ROOT, key, "RemoteEnabled", 1);
        reg.SetDword(HKEY_CLASSES_ROOT, key, "RemotePort", 0);
        reg.SetString(HKEY_CLASSES_ROOT, key, "RemoteHosts", c.hosts);
        toolkit = std::make_unique<opc::Toolkit>(options(nullptr));
        ASSERT_TRUE(toolkit->start(kClsid, false));
        toolkit->setCallback(&cb);
        int port = toolkit->remotePort();
        ASSERT_GT(port, 0);
        opc::ActivationOptions o;
        o.registry = &reg;
        ComPtr<IUnknown> unk;
        std::u16string node = com::toBstr("127.0.0.1:" + std::to_string(port));
        EXPECT_EQ(opc::CoCreateInstanceEx(kClsid, node, IID_IOPCServer, unk.put(), o), c.want) << c.hosts;
    }
}

TEST_F(RpcTest, RemoteNodesAreOffByDefault)
{
    EXPECT_EQ(toolkit->remotePort(), 0);
}

} // namespace
