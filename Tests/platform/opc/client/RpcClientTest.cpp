// The client end against a scripted peer on a socket pair.
#include "platform/opc/client/RpcClient.h"
#include "platform/opc/wire/Frame.h"
#include "platform/opc/wire/Protocol.h"
#include "platform/win/ManualDispatcher.h"

#include "platform/opc/RecordingSinks.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using opc::ComPtr;

class RpcClientTest : public ::testing::Test {
protected:
    void SetUp() override { open({}); }
    // A new client on a new socket pair. Sink calls wait on the application thread's
    // dispatcher until the test runs it.
    void open(opc::ClientOptions options)
    {
        client.reset();
        if (peer >= 0) ::close(peer);
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        peer = fds[1];
        client = std::make_unique<opc::RpcClient>(fds[0], opc::postTo(dispatcher), std::move(options));
    }
    // Options with the fake clock and a recorded link-lost notice.
    opc::ClientOptions recordingOptions(std::chrono::milliseconds callTimeout)
    {
        opc::ClientOptions o;
        o.callTimeout = callTimeout;
        o.clock = &clock;
        o.linkLost = [this](HRESULT why) { notices.push_back(why); };
        return o;
    }
    // The next frame the client sent.
    opc::Frame takeCall()
    {
        opc::Frame call;
        EXPECT_TRUE(opc::readFrame(peer, call));
        return call;
    }
    std::future<HRESULT> callAsync(opc::Method m)
    {
        return std::async(std::launch::async, [this, m] {
            opc::WireWriter w;
            std::vector<BYTE> reply;
            return client->call(m, 1, w, reply);
        });
    }
    void TearDown() override
    {
        client.reset();
        if (peer >= 0) ::close(peer);
    }
    // Runs the sink calls posted so far, once at least one is there.
    std::size_t runTasks() { return dispatcher.waitForWork(3000) ? dispatcher.runPending() : 0; }
    void notify(opc::Method m, DWORD sink, std::vector<BYTE> payload)
    {
        opc::Frame f;
        f.kind = opc::FrameKind::Notify;
        f.method = WORD(m);
        f.objectId = sink;
        f.payload = std::move(payload);
        ASSERT_TRUE(opc::writeAll(peer, opc::encodeFrame(f)));
    }

    win::FakeClock clock;
    win::ManualDispatcher dispatcher{clock};
    int peer = -1;
    std::unique_ptr<opc::RpcClient> client;
    std::vector<HRESULT> notices;  // link-lost notices, as the dispatcher ran them
};

TEST_F(RpcClientTest, CallGetsItsReplyByCallId)
{
    auto result = std::async(std::launch::async, [&] {
        opc::WireWriter w;
        w.u32(42);
        std::vector<BYTE> reply;
        HRESULT hr = client->call(opc::Method::RemoveGroup, 7, w, reply);
        return std::make_pair(hr, reply);
    });
    opc::Frame call;
    ASSERT_TRUE(opc::readFrame(peer, call));
    EXPECT_EQ(call.kind, opc::FrameKind::Call);
    EXPECT_EQ(call.method, WORD(opc::Method::RemoveGroup));
    EXPECT_EQ(call.objectId, 7u);
    EXPECT_EQ(call.payload, (std::vector<BYTE>{42, 0, 0, 0}));
    opc::Frame stray = call;  // a reply nobody waits for is dropped
    stray.kind = opc::FrameKind::Reply;
    stray.callId = call.callId + 100;
    stray.payload = {0, 0, 0, 0};
    ASSERT_TRUE(opc::writeAll(peer, opc::encodeFrame(stray)));
    opc::Frame reply = call;
    reply.kind = opc::FrameKind::Reply;
    reply.payload = {0x0F, 0, 0x04, 0x00, 0xAA};  // OPC_S_INUSE, then one output byte
    ASSERT_TRUE(opc::writeAll(peer, opc::encodeFrame(reply)));
    auto [hr, out] = result.get();
    EXPECT_EQ(hr, OPC_S_INUSE);
    EXPECT_EQ(out, (std::vector<BYTE>{0xAA}));
}

TEST_F(RpcClientTest, LostLinkFailsThePendingAndLaterCalls)
{
    auto result = std::async(std::launch::async, [&] {
        opc::WireWriter w;
        std::vector<BYTE> reply;
        return client->call(opc::Method::GetStatus, 1, w, reply);
    });
    opc::Frame call;
    ASSERT_TRUE(opc::readFrame(peer, call));
    ::close(peer);
    peer = -1;
    EXPECT_EQ(result.get(), RPC_S_CALL_FAILED);
    opc::WireWriter w;
    std::vector<BYTE> reply;
    EXPECT_EQ(client->call(opc::Method::GetStatus, 1, w, reply), RPC_S_CALL_FAILED);
    EXPECT_FALSE(client->connected());
}

TEST_F(RpcClientTest, OversizedCallFailsAloneWithoutReachingThePeer)
{
    opc::WireWriter w;
    w.data().resize(opc::kMaxFramePayload + 1);
    std::vector<BYTE> reply;
    EXPECT_EQ(client->call(opc::Method::SyncWrite, 3, w, reply), E_OUTOFMEMORY);
    EXPECT_TRUE(client->connected());
    // The next call is the first thing the peer sees.
    auto result = std::async(std::launch::async, [&] {
        opc::WireWriter none;
        std::vector<BYTE> out;
        return client->call(opc::Method::GetStatus, 1, none, out);
    });
    opc::Frame call;
    ASSERT_TRUE(opc::readFrame(peer, call));
    EXPECT_EQ(call.method, WORD(opc::Method::GetStatus));
    opc::Frame reply2 = call;
    reply2.kind = opc::FrameKind::Reply;
    reply2.payload = {0, 0, 0, 0};
    ASSERT_TRUE(opc::writeAll(peer, opc::encodeFrame(reply2)));
    EXPECT_EQ(result.get(), S_OK);
}

TEST_F(RpcClientTest, NotificationsReachSinksOnlyThroughTheDispatcher)
{
    ComPtr<opctest::RecordingShutdown> shutdown(new opctest::RecordingShutdown);
    ComPtr<opctest::RecordingDataCallback> data(new opctest::RecordingDataCallback);
    DWORD s1 = client->addSink(ComPtr<IUnknown>(static_cast<IOPCShutdown*>(shutdown.get())));
    DWORD s2 = client->addSink(ComPtr<IUnknown>(static_cast<IOPCDataCallback*>(data.get())));
    opc::WireWriter reason;
    reason.text(u"bye");
    notify(opc::Method::ShutdownRequest, s1, reason.data());
    opc::WireWriter cancel;
    cancel.u32(0x33);
    cancel.u32(0x44);
    notify(opc::Method::OnCancelComplete, s2, cancel.data());
    // Nothing runs on the reader thread: both wait for the application thread.
    while (shutdown->reasons.empty() || data->list.empty()) ASSERT_GT(runTasks(), 0u);
    EXPECT_EQ(shutdown->reasons, (std::vector<std::u16string>{u"bye"}));
    ASSERT_EQ(data->list.size(), 1u);
    EXPECT_EQ(data->list[0].transactionId, 0x33u);
    EXPECT_EQ(data->list[0].group, 0x44u);
}

TEST_F(RpcClientTest, MalformedOrMisaddressedNotificationsAreDropped)
{
    ComPtr<opctest::RecordingDataCallback> data(new opctest::RecordingDataCallback);
    DWORD sink = client->addSink(ComPtr<IUnknown>(static_cast<IOPCDataCallback*>(data.get())));
    opc::WireWriter cut;
    cut.u32(1);  // the group handle is missing
    notify(opc::Method::OnCancelComplete, sink, cut.data());
    opc::WireWriter mismatched;  // two items, one value
    mismatched.u32(0);
    mismatched.u32(1);
    mismatched.i32(0);
    mismatched.i32(0);
    DWORD items[] = {1, 2};
    mismatched.handles(items);
    VARIANT one[] = {VARIANT::I2(1)};
    mismatched.variants(one);
    mismatched.u32(0);
    mismatched.u32(0);
    mismatched.results({});
    notify(opc::Method::OnDataChange, sink, mismatched.data());
    opc::WireWriter good;
    good.u32(9);
    good.u32(8);
    notify(opc::Method::OnCancelComplete, sink + 1, good.data());  // no such sink
    notify(opc::Method::OnCancelComplete, sink, good.data());
    ASSERT_EQ(runTasks(), 1u);  // the well-formed one alone
    ASSERT_EQ(data->list.size(), 1u);
    EXPECT_EQ(data->list[0].transactionId, 9u);
    EXPECT_TRUE(client->connected());
}

// Whether the condition holds within 10 s.
template <typename Condition>
bool testWait(Condition condition)
{
    for (int i = 0; i < 1000; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        if (condition()) return true;
    return false;
}

// Answers as a test says, from the thread the call waits on.
struct ScriptedWaiter final : opc::CallWaiter {
    bool Serves() const override { return serves; }
    bool Waiting(std::uint64_t waitedMs) override
    {
        lastWaited = waitedMs;
        ++slices;
        return !cancelNow;
    }
    bool WaitAgain() override
    {
        ++asked;
        if (onAsk) onAsk();
        return asked <= waitAgain;
    }
    void Done() override { ++done; }
    bool serves = true;
    std::atomic<bool> cancelNow{false};
    int waitAgain = 0;  // how many times to wait again
    std::function<void()> onAsk;
    std::atomic<std::uint64_t> lastWaited{0};
    std::atomic<int> slices{0};
    std::atomic<int> asked{0};
    std::atomic<int> done{0};
};

TEST_F(RpcClientTest, AWaiterChoosesAtEachTimeOutAndACancelledCallLeavesTheLink)
{
    auto waiter = std::make_shared<ScriptedWaiter>();
    waiter->waitAgain = 1;
    opc::ClientOptions options = recordingOptions(std::chrono::milliseconds(1000));
    options.waiter = waiter;
    open(std::move(options));
    auto result = callAsync(opc::Method::GetStatus);
    opc::Frame call = takeCall();
    // Between slices the waiting thread gets the waiter's turn.
    ASSERT_TRUE(testWait([&] { return waiter->slices > 0; }));
    clock.advance(1001);
    ASSERT_TRUE(testWait([&] { return waiter->asked == 1; }));
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);  // waits again
    clock.advance(1001);
    ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(result.get(), RPC_E_CALL_CANCELED);
    EXPECT_EQ(waiter->asked, 2);
    EXPECT_EQ(waiter->done, 1);
    EXPECT_GE(waiter->lastWaited, 1001u);
    EXPECT_TRUE(client->connected());

    // A reply that comes while the user is asked ends the call with it.
    waiter->asked = 0;
    waiter->onAsk = [&] {
        opc::Frame reply = call;
        reply.kind = opc::FrameKind::Reply;
        reply.callId = takeCall().callId;
        reply.payload = {0, 0, 0, 0};
        ASSERT_TRUE(opc::writeAll(peer, opc::encodeFrame(reply)));
    };
    const int before = waiter->slices;
    auto answered = callAsync(opc::Method::GetStatus);
    ASSERT_TRUE(testWait([&] { return waiter->slices > before; }));
    clock.advance(1001);
    const bool ready = answered.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    waiter->cancelNow = !ready;  // ends it either way
    EXPECT_TRUE(ready);
    EXPECT_EQ(answered.get(), S_OK);
    EXPECT_EQ(waiter->asked, 1);

    // The user cancels while it waits; a thread the waiter does not serve times out.
    waiter->cancelNow = true;
    EXPECT_EQ(callAsync(opc::Method::GetStatus).get(), RPC_E_CALL_CANCELED);
    waiter->serves = false;
    auto plain = callAsync(opc::Method::GetStatus);
    takeCall();
    takeCall();
    clock.advance(1001);
    EXPECT_EQ(plain.get(), RPC_E_TIMEOUT);
    EXPECT_EQ(waiter->done, 3);
    EXPECT_TRUE(client->connected());
    EXPECT_TRUE(notices.empty());
}

TEST_F(RpcClientTest, CallWithoutAReplyFailsAtTheTimeOutAndTheLinkStays)
{
    open(recordingOptions(std::chrono::milliseconds(60000)));
    auto result = callAsync(opc::Method::GetStatus);
    opc::Frame call = takeCall();  // the server took it and stays silent
    clock.advance(60000);
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    clock.advance(1);
    ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(result.get(), RPC_E_TIMEOUT);
    EXPECT_TRUE(client->connected());

    // Its late reply is dropped; the next call gets its own.
    auto next = callAsync(opc::Method::GetStatus);
    opc::Frame second = takeCall();
    for (DWORD id : {call.callId, second.callId}) {
        opc::Frame reply = second;
        reply.kind = opc::FrameKind::Reply;
        reply.callId = id;
        reply.payload = {0x0F, 0, 0x04, 0x00};
        ASSERT_TRUE(opc::writeAll(peer, opc::encodeFrame(reply)));
    }
    EXPECT_EQ(next.get(), OPC_S_INUSE);
    client->disconnect();  // the client's own end of the link brings no notice
    client.reset();
    EXPECT_EQ(dispatcher.runPending(), 0u);
    EXPECT_TRUE(notices.empty());
}

TEST_F(RpcClientTest, LostLinkPostsOneNoticeToTheDispatcher)
{
    open(recordingOptions(std::chrono::milliseconds(60000)));
    auto result = callAsync(opc::Method::GetStatus);
    opc::Frame call = takeCall();
    ::close(peer);
    peer = -1;
    EXPECT_EQ(result.get(), RPC_S_CALL_FAILED);
    EXPECT_TRUE(notices.empty());  // nothing runs off the application thread
    ASSERT_EQ(runTasks(), 1u);
    EXPECT_EQ(notices, (std::vector<HRESULT>{RPC_S_CALL_FAILED}));
    client.reset();
    EXPECT_EQ(dispatcher.runPending(), 0u);
}

TEST_F(RpcClientTest, RefusedConnectionFailsEveryCallWithTheServersCode)
{
    open(recordingOptions(std::chrono::milliseconds(60000)));
    auto result = callAsync(opc::Method::Activate);
    opc::Frame call = takeCall();
    opc::Frame refusal;
    refusal.kind = opc::FrameKind::Notify;
    refusal.method = WORD(opc::Method::Refused);
    refusal.payload = {0x0E, 0x00, 0x07, 0x80};  // E_OUTOFMEMORY
    ASSERT_TRUE(opc::writeAll(peer, opc::encodeFrame(refusal)));
    EXPECT_EQ(result.get(), E_OUTOFMEMORY);
    EXPECT_EQ(callAsync(opc::Method::GetStatus).get(), E_OUTOFMEMORY);
    ASSERT_EQ(runTasks(), 1u);
    EXPECT_EQ(notices, (std::vector<HRESULT>{E_OUTOFMEMORY}));
}

TEST(RpcConnectTest, ConnectToASocketThatTakesNoConnectionTimesOut)
{
    support::ScratchFolder scratch;
    const std::string path = (scratch.path() / "busy.sock").string();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(server, 0), 0);  // a server that never accepts: one waiting connection fills it
    int waiting = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ASSERT_EQ(::connect(waiting, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    HRESULT why = S_OK;
    EXPECT_EQ(opc::RpcClient::connectUnix(path, std::chrono::milliseconds(100), &why), -1);
    EXPECT_EQ(why, RPC_E_TIMEOUT);
    EXPECT_EQ(opc::RpcClient::connectUnix(scratch.path() / "nobody.sock", std::chrono::milliseconds(100), &why), -1);
    EXPECT_EQ(why, RPC_S_SERVER_UNAVAILABLE);
    ::close(waiting);
    ::close(server);
}

} // namespace
