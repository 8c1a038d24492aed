// What a DA 2.0 client finds through the transport, and the transport's bounds: frames
// that never finish, connections and objects in a loop, local and remote peers, and
// sockets another user could have made.
#include "platform/opc/Enumerators.h"
#include "platform/opc/server/ServerObject.h"

#include "platform/opc/RecordingSinks.h"
#include "platform/opc/RpcFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>

namespace {

using opc::ComPtr;
using opctest::adopt;
using opctest::RawClient;
using OpcTransportTest = opctest::RpcFixture;

struct InterfaceCase {
    const char* name;
    const IID* iid;
    bool onServer;
    bool offered;
};

class InterfaceTest : public OpcTransportTest, public ::testing::WithParamInterface<InterfaceCase> {};

TEST_P(InterfaceTest, ProxyAnswersQueryInterfaceAsADa2ServerDoes)
{
    const InterfaceCase& c = GetParam();
    connect();
    ComPtr<IUnknown> object;
    if (c.onServer) object = ComPtr<IUnknown>(static_cast<IUnknown*>(server.get()));
    else object = ComPtr<IUnknown>(static_cast<IUnknown*>(addGroup(100, 1).get()));
    ComPtr<IUnknown> got;
    EXPECT_EQ(object->QueryInterface(*c.iid, got.putVoid()), c.offered ? S_OK : E_NOINTERFACE);
    EXPECT_EQ(bool(got), c.offered);
}

const IID kOther = *com::parseGuid("{39C13A4E-011E-11D0-9675-0020AFD8ADB3}");  // public groups: not served

INSTANTIATE_TEST_SUITE_P(
    Interfaces, InterfaceTest,
    ::testing::Values(InterfaceCase{"ServerUnknown", &IID_IUnknown, true, true},
                      InterfaceCase{"Server", &IID_IOPCServer, true, true},
                      InterfaceCase{"Common", &IID_IOPCCommon, true, true},
                      InterfaceCase{"ItemProperties", &IID_IOPCItemProperties, true, true},
                      InterfaceCase{"Browse", &IID_IOPCBrowseServerAddressSpace, true, true},
                      InterfaceCase{"ServerPoints", &IID_IConnectionPointContainer, true, true},
                      InterfaceCase{"ServerPublicGroups", &kOther, true, false},
                      InterfaceCase{"GroupUnknown", &IID_IUnknown, false, true},
                      InterfaceCase{"GroupState", &IID_IOPCGroupStateMgt, false, true},
                      InterfaceCase{"ItemMgt", &IID_IOPCItemMgt, false, true},
                      InterfaceCase{"SyncIO", &IID_IOPCSyncIO, false, true},
                      InterfaceCase{"AsyncIO", &IID_IOPCAsyncIO, false, true},
                      InterfaceCase{"AsyncIO2", &IID_IOPCAsyncIO2, false, true},
                      InterfaceCase{"DataObject", &IID_IDataObject, false, true},
                      InterfaceCase{"GroupPoints", &IID_IConnectionPointContainer, false, true},
                      InterfaceCase{"GroupIsNoServer", &IID_IOPCServer, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpcTransportTest, LocaleClientNameCloneAndEveryEnumeratorScopeCrossIntact)
{
    connect();
    auto common = server.as<IOPCCommon>(IID_IOPCCommon);
    ASSERT_EQ(common->SetLocaleID(LOCALE_EN_US), S_OK);
    LCID lcid = 0;
    ASSERT_EQ(common->GetLocaleID(&lcid), S_OK);
    EXPECT_EQ(lcid, LOCALE_EN_US);
    EXPECT_EQ(common->SetLocaleID(0x0412), E_INVALIDARG);
    std::vector<LCID> available;
    ASSERT_EQ(common->QueryAvailableLocaleIDs(available), S_OK);
    EXPECT_EQ(available.size(), 4u);
    std::u16string text;
    ASSERT_EQ(common->GetErrorString(OPC_E_BADTYPE, text), S_OK);
    EXPECT_FALSE(text.empty());
    ASSERT_EQ(common->SetClientName(u"Quillet \u00e4"), S_OK);
    EXPECT_EQ(static_cast<opc::ServerObject*>(cb.lastClient.load())->clientName(), u"Quillet \u00e4");

    auto g = addGroup(100, 5);
    addItems(g.get(), {u"PLC1.D100", u"PLC1.TEXT"});
    ComPtr<IUnknown> unk;
    ASSERT_EQ(g.as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt)->CloneGroup(u"G2", IID_IOPCItemMgt, unk.put()), S_OK);
    ASSERT_EQ(adopt<IOPCItemMgt>(unk.detach())->CreateEnumerator(IID_IEnumOPCItemAttributes, unk.put()), S_OK);
    std::vector<OPCITEMATTRIBUTES> items;
    opc::drain(adopt<IEnumOPCItemAttributes>(unk.detach()).get(), items);
    EXPECT_EQ(items.size(), 2u);

    for (DWORD scope = OPC_ENUM_PRIVATE_CONNECTIONS; scope <= OPC_ENUM_ALL; ++scope) {
        const bool lists = scope != OPC_ENUM_PUBLIC_CONNECTIONS && scope != OPC_ENUM_PUBLIC;
        ASSERT_EQ(server->CreateGroupEnumerator(OPCENUMSCOPE(scope), IID_IEnumString, unk.put()), lists ? S_OK : S_FALSE);
        std::vector<std::u16string> names;
        opc::drain(adopt<IEnumString>(unk.detach()).get(), names);
        EXPECT_EQ(names.size(), lists ? 2u : 0u) << scope;
        ASSERT_EQ(server->CreateGroupEnumerator(OPCENUMSCOPE(scope), IID_IEnumUnknown, unk.put()), lists ? S_OK : S_FALSE);
        std::vector<ComPtr<IUnknown>> groups;
        opc::drain(adopt<IEnumUnknown>(unk.detach()).get(), groups);
        ASSERT_EQ(groups.size(), lists ? 2u : 0u) << scope;
        for (auto& e : groups) EXPECT_TRUE(e.as<IOPCSyncIO>(IID_IOPCSyncIO)) << scope;
    }
}

TEST_F(OpcTransportTest, ConnectionPointsOfProxiesLeadBackToTheirContainers)
{
    connect();
    auto g = addGroup(100, 1);
    for (auto cpc : {server.as<IConnectionPointContainer>(IID_IConnectionPointContainer),
                     g.as<IConnectionPointContainer>(IID_IConnectionPointContainer)}) {
        ComPtr<IEnumConnectionPoints> points;
        ASSERT_EQ(cpc->EnumConnectionPoints(points.put()), S_OK);
        std::vector<ComPtr<IConnectionPoint>> list;
        opc::drain(points.get(), list);
        ASSERT_EQ(list.size(), 1u);
        ComPtr<IConnectionPointContainer> back;
        ASSERT_EQ(list[0]->GetConnectionPointContainer(back.put()), S_OK);
        EXPECT_EQ(back.get(), cpc.get());
        ComPtr<IEnumConnections> connections;
        EXPECT_EQ(list[0]->EnumConnections(connections.put()), E_NOTIMPL);  // allowed to leave out
        EXPECT_FALSE(connections);
    }
}

// ---- bounds ----

class BoundedOpcTransportTest : public OpcTransportTest {
protected:
    BoundedOpcTransportTest()
    {
        limits.connections = 2;
        limits.groups = 3;
        limits.objectsPerConnection = 5;
        limits.frameTimeoutMs = 5000;
        limits.activationTimeoutMs = 8000;  // longer, so the two are told apart
        limits.pendingConnections = 3;
    }
    HRESULT tryConnect(ComPtr<IOPCServer>& out, std::u16string_view node = u"")
    {
        ComPtr<IUnknown> unk;
        HRESULT hr = opc::CoCreateInstanceEx(opctest::kRpcTestClsid, node, IID_IOPCServer, unk.put(), activation());
        out = adopt<IOPCServer>(unk.detach());
        return hr;
    }
    // Adds a group and keeps its proxy.
    HRESULT tryAddGroup(IOPCServer* s)
    {
        ComPtr<IUnknown> unk;
        OPCHANDLE h = 0;
        DWORD revised = 0;
        HRESULT hr = s->AddGroup(u"", TRUE, 100, 1, nullptr, nullptr, 0, &h, &revised, IID_IOPCItemMgt, unk.put());
        if (unk) held.push_back(unk);
        return hr;
    }
    std::vector<ComPtr<IUnknown>> held;
};

// True when the peer closed the connection; false while it is open.
bool peerClosed(int fd, int waitMs)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0) return false;
    char c;
    return ::recv(fd, &c, 1, MSG_DONTWAIT) == 0;
}

TEST_F(BoundedOpcTransportTest, PeerThatAnnouncesALargeFrameAndSendsLittleIsDroppedAfterTheTimeOut)
{
    RawClient slow(opc::socketPath(scratch.path() / "sock", opctest::kRpcTestClsid));
    opc::Frame f;
    f.method = WORD(opc::Method::Activate);
    f.callId = 1;
    std::vector<BYTE> bytes = opc::encodeFrame(f);
    bytes[4] = 0, bytes[5] = 0, bytes[6] = 0, bytes[7] = 1;  // 16 MiB announced
    bytes.insert(bytes.end(), 10, 0xAB);                      // ten of them sent
    ASSERT_TRUE(slow.send(bytes));
    EXPECT_FALSE(peerClosed(slow.fd(), 200));
    clock.advance(limits.frameTimeoutMs);  // not yet over
    EXPECT_FALSE(peerClosed(slow.fd(), 300));
    connect();  // meanwhile others are served
    OPCSERVERSTATUS st;
    EXPECT_EQ(server->GetStatus(st), S_OK);
    clock.advance(1);
    EXPECT_TRUE(peerClosed(slow.fd(), 5000));
}

TEST_F(BoundedOpcTransportTest, ConnectionsOverTheLimitAreRefusedWhileTheOthersWork)
{
    ComPtr<IOPCServer> first, second, third;
    ASSERT_EQ(tryConnect(first), S_OK);
    ASSERT_EQ(tryConnect(second), S_OK);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(tryConnect(third), E_OUTOFMEMORY);
    OPCSERVERSTATUS st;
    EXPECT_EQ(first->GetStatus(st), S_OK);
    EXPECT_EQ(second->GetStatus(st), S_OK);
    first.reset();
    ASSERT_TRUE(cb.waitDisconnects(1));
    EXPECT_EQ(tryConnect(third), S_OK);
}

TEST_F(BoundedOpcTransportTest, ConnectionsThatNeverActivateFreeTheirSlotsAfterTheTimeOut)
{
    const auto path = opc::socketPath(scratch.path() / "sock", opctest::kRpcTestClsid);
    RawClient silent(path);
    RawClient talker(path);  // calls, but never activates
    opc::WireWriter none;
    ASSERT_TRUE(talker.call(opc::Method::GetStatus, 7, none));
    HRESULT hr = S_OK;
    std::vector<BYTE> out;
    ASSERT_TRUE(talker.reply(hr, out));
    EXPECT_EQ(hr, E_HANDLE);
    ComPtr<IOPCServer> late;
    EXPECT_EQ(tryConnect(late), S_OK);  // they hold no slot of the limit

    clock.advance(limits.activationTimeoutMs);  // not yet over, though past the frame time-out
    ASSERT_TRUE(talker.call(opc::Method::GetStatus, 7, none, 2));
    ASSERT_TRUE(talker.reply(hr, out));
    EXPECT_FALSE(peerClosed(silent.fd(), 300));

    clock.advance(1);
    EXPECT_TRUE(peerClosed(silent.fd(), 5000));
    EXPECT_TRUE(peerClosed(talker.fd(), 5000));
    OPCSERVERSTATUS st;
    EXPECT_EQ(late->GetStatus(st), S_OK);
}

// The refusal a connection pushed out or over the limit reads before its end.
bool refusedThenClosed(int fd)
{
    opc::Frame f;
    if (!opc::readFrame(fd, f) || f.kind != opc::FrameKind::Notify || f.method != WORD(opc::Method::Refused))
        return false;
    opc::WireReader r(f.payload);
    return r.i32() == E_OUTOFMEMORY && peerClosed(fd, 5000);
}

TEST_F(BoundedOpcTransportTest, WaitingConnectionsAreHeldApartAndTheOldestIsPushedOut)
{
    const auto path = opc::socketPath(scratch.path() / "sock", opctest::kRpcTestClsid);
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 3; ++i) idle.push_back(std::make_unique<RawClient>(path));
    opc::WireWriter none;
    HRESULT hr = E_FAIL;
    std::vector<BYTE> out;
    // A call answered shows that the server holds the connection.
    for (auto& c : idle) {
        ASSERT_TRUE(c->call(opc::Method::GetStatus, 7, none));
        ASSERT_TRUE(c->reply(hr, out));
    }
    // With three waiting, a client that comes pushes the oldest one out.
    ComPtr<IOPCServer> first, second, third;
    ASSERT_EQ(tryConnect(first), S_OK);
    EXPECT_TRUE(refusedThenClosed(idle[0]->fd()));
    idle.push_back(std::make_unique<RawClient>(path));
    ASSERT_TRUE(idle[3]->call(opc::Method::GetStatus, 7, none));
    ASSERT_TRUE(idle[3]->reply(hr, out));
    ASSERT_EQ(tryConnect(second), S_OK);
    EXPECT_TRUE(refusedThenClosed(idle[1]->fd()));
    // The activated ones fill the limit: a newcomer is refused, and so is the activation
    // of one that waits; it stays until its time-out.
    EXPECT_EQ(tryConnect(third), E_OUTOFMEMORY);
    ASSERT_TRUE(idle[2]->call(opc::Method::Activate, 0, none, 2));
    ASSERT_TRUE(idle[2]->reply(hr, out));
    EXPECT_EQ(hr, E_OUTOFMEMORY);
    EXPECT_FALSE(peerClosed(idle[2]->fd(), 100));
    OPCSERVERSTATUS st;
    EXPECT_EQ(first->GetStatus(st), S_OK);
    EXPECT_EQ(second->GetStatus(st), S_OK);
    first.reset();
    ASSERT_TRUE(cb.waitDisconnects(1));
    ASSERT_TRUE(idle[2]->call(opc::Method::Activate, 0, none, 3));
    ASSERT_TRUE(idle[2]->reply(hr, out));
    EXPECT_EQ(hr, S_OK);
}

TEST_F(OpcTransportTest, AFloodOfIdleConnectionsLeavesActivationsServed)
{
    const auto path = opc::socketPath(scratch.path() / "sock", opctest::kRpcTestClsid);
    constexpr std::size_t kIdle = 200;
    std::atomic<bool> done{false};
    std::atomic<int> opened{0};
    // Another process of the user: it keeps kIdle connections open that never activate,
    // opening a new one for each the server closes, for at most 30 s.
    std::thread flood([&] {
        std::vector<int> fds;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done && std::chrono::steady_clock::now() < end) {
            std::erase_if(fds, [](int fd) {
                char c;
                // Pushed out: the refusal, then the end.
                const ssize_t n = ::recv(fd, &c, 1, MSG_DONTWAIT);
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
                ::close(fd);
                return true;
            });
            while (fds.size() < kIdle && !done) {
                const int fd = opc::RpcClient::connectUnix(path, std::chrono::milliseconds(200));
                if (fd < 0) break;
                fds.push_back(fd);
                ++opened;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        for (int fd : fds) ::close(fd);
    });
    const auto started = std::chrono::steady_clock::now();
    while (opened < int(2 * kIdle) && std::chrono::steady_clock::now() - started < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    constexpr int kTries = 20;
    int failed = 0;
    for (int i = 0; i < kTries; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ComPtr<IUnknown> unk;
        if (opc::CoCreateInstanceEx(opctest::kRpcTestClsid, u"", IID_IOPCServer, unk.put(), activation()) != S_OK) {
            ++failed;
            continue;
        }
        OPCSERVERSTATUS st;
        if (adopt<IOPCServer>(unk.detach())->GetStatus(st) != S_OK) ++failed;
    }
    done = true;
    flood.join();
    EXPECT_EQ(failed, 0) << "of " << kTries << " activations; the flood opened " << opened;
    EXPECT_GE(opened, int(2 * kIdle));  // the server did close its connections under it
}

TEST_F(BoundedOpcTransportTest, ActivatedConnectionsStayHoweverLongTheyIdle)
{
    const auto path = opc::socketPath(scratch.path() / "sock", opctest::kRpcTestClsid);
    ComPtr<IOPCServer> proxy;
    ASSERT_EQ(tryConnect(proxy), S_OK);
    RawClient raw(path);  // activates by hand, and only then idles
    opc::WireWriter none;
    ASSERT_TRUE(raw.call(opc::Method::Activate, 0, none));
    HRESULT hr = E_FAIL;
    std::vector<BYTE> out;
    ASSERT_TRUE(raw.reply(hr, out));
    ASSERT_EQ(hr, S_OK);
    opc::WireReader r(out);
    const DWORD serverId = r.u32();
    ASSERT_NE(serverId, 0u);

    clock.advance(limits.activationTimeoutMs * 50);
    EXPECT_FALSE(peerClosed(raw.fd(), 300));
    OPCSERVERSTATUS st;
    EXPECT_EQ(proxy->GetStatus(st), S_OK);
    ASSERT_TRUE(raw.call(opc::Method::GetStatus, serverId, none, 2));
    ASSERT_TRUE(raw.reply(hr, out));
    EXPECT_EQ(hr, S_OK);
    ComPtr<IOPCServer> third;
    EXPECT_EQ(tryConnect(third), E_OUTOFMEMORY);  // both still hold their slots
}

TEST_F(BoundedOpcTransportTest, GroupsAndObjectsInALoopRunOutWithOutOfMemory)
{
    ComPtr<IOPCServer> greedy, modest;
    ASSERT_EQ(tryConnect(greedy), S_OK);
    ASSERT_EQ(tryConnect(modest), S_OK);
    int added = 0;
    HRESULT hr = S_OK;
    while (SUCCEEDED(hr = tryAddGroup(greedy.get())) && added < 100) ++added;
    EXPECT_EQ(hr, E_OUTOFMEMORY);
    EXPECT_EQ(added, 3);
    EXPECT_EQ(tryAddGroup(modest.get()), S_OK);

    // Every proxy is an object of the connection: with the server object and three
    // groups, one more proxy fills it; the next is refused until a proxy goes.
    ComPtr<IUnknown> one, two;
    EXPECT_EQ(greedy->GetGroupByName(u"Group1", IID_IOPCItemMgt, one.put()), S_OK);
    EXPECT_EQ(greedy->GetGroupByName(u"Group1", IID_IOPCItemMgt, two.put()), E_OUTOFMEMORY);
    EXPECT_EQ(modest->GetGroupByName(u"Group1", IID_IOPCItemMgt, two.put()), S_OK);
    one.reset();
    EXPECT_EQ(greedy->GetGroupByName(u"Group1", IID_IOPCItemMgt, one.put()), S_OK);
}

TEST_F(BoundedOpcTransportTest, AllowListedTcpPeersHaveTheSameLimits)
{
    const std::string key = "AppID\\" + com::formatGuid(opctest::kRpcTestClsid);
    toolkit->stop();
    reg.SetDword(HKEY_CLASSES_ROOT, key, "RemoteEnabled", 1);
    reg.SetDword(HKEY_CLASSES_ROOT, key, "RemotePort", 0);
    reg.SetString(HKEY_CLASSES_ROOT, key, "RemoteHosts", "127.0.0.1");
    toolkit = std::make_unique<opc::Toolkit>(options(&clock));
    ASSERT_TRUE(toolkit->start(opctest::kRpcTestClsid, false));
    toolkit->setCallback(&cb);
    const std::u16string node = com::toBstr("127.0.0.1:" + std::to_string(toolkit->remotePort()));
    ComPtr<IOPCServer> local, remote, third;
    ASSERT_EQ(tryConnect(local), S_OK);
    ASSERT_EQ(tryConnect(remote, node), S_OK);
    EXPECT_EQ(tryConnect(third, node), E_OUTOFMEMORY);
    int added = 0;
    while (SUCCEEDED(tryAddGroup(remote.get())) && added < 100) ++added;
    EXPECT_EQ(added, 3);
}

// ---- who may serve the class ----

TEST_F(OpcTransportTest, SocketFolderAnotherUserCouldHaveMadeIsRefused)
{
    struct Case {
        const char* name;
        const char* part;  // the part of the path that is wrong
        mode_t mode;
        uid_t owner;       // 0: this user
        const char* says;
    };
    const uid_t nobody = 65534;
    std::vector<Case> cases = {
        {"FolderOpenToOthers", "a/opc", 0755, 0, "open to other users"},
        {"ParentWritableByOthers", "b", 0777, 0, "open to other users"},
    };
    if (::geteuid() == 0) {  // only root can give a folder away
        cases.push_back({"FolderOfAnotherUser", "c/opc", 0700, nobody, "belongs to another user"});
        cases.push_back({"ParentOfAnotherUser", "d", 0755, nobody, "belongs to another user"});
    }
    const std::filesystem::path base = scratch.path() / "folders";
    for (const Case& c : cases) {
        const std::filesystem::path part = base / c.part;
        std::filesystem::create_directories(part);
        ASSERT_EQ(::chmod(part.c_str(), c.mode), 0) << c.name;
        if (c.owner) {
            ASSERT_EQ(::chown(part.c_str(), c.owner, c.owner), 0) << c.name;
        }
        opc::ToolkitOptions o = options(&clock);
        o.socketDir = base / std::string(c.part).substr(0, 1) / "opc";
        opc::Toolkit other(o);
        EXPECT_FALSE(other.start(opctest::kRpcTestClsid, false)) << c.name;
        EXPECT_NE(other.startError().find(c.says), std::string::npos) << c.name << ": " << other.startError();
        EXPECT_FALSE(std::filesystem::exists(opc::socketPath(o.socketDir, opctest::kRpcTestClsid))) << c.name;
    }
}

TEST_F(OpcTransportTest, ClientRefusesASocketServedByAnotherUser)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to serve a socket as another user";
    const std::filesystem::path folder = scratch.path() / "foreign";
    std::filesystem::create_directories(folder);
    const CLSID foreign = *com::parseGuid("{6E6F7453-0009-4E61-8000-000000000009}");
    const std::string path = opc::socketPath(folder, foreign).string();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // Only calls a forked child of a threaded process may make. The socket is made
        // as root, then served as nobody: a client sees who listens.
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::setgid(65534) != 0 ||
            ::setuid(65534) != 0 || ::listen(fd, 4) != 0)
            ::_exit(1);
        [[maybe_unused]] ssize_t w = ::write(ready[1], "r", 1);
        ::close(done[1]);
        char c;
        [[maybe_unused]] ssize_t n = ::read(done[0], &c, 1);  // until the parent is done
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(done[0]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    opc::ActivationOptions o = activation();
    o.socketDir = folder;
    ComPtr<IUnknown> unk;
    EXPECT_EQ(opc::CoCreateInstanceEx(foreign, u"", IID_IOPCServer, unk.put(), o), E_ACCESSDENIED);
    EXPECT_FALSE(unk);
    ::close(ready[0]);
    ::close(done[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
