#pragma once
// A toolkit serving its class socket in a scratch folder, polled by the test, and the
// ways a test reaches it: activation through proxies, or raw frames.
#include "platform/opc/client/Activation.h"
#include "platform/opc/wire/Frame.h"
#include "platform/opc/wire/Protocol.h"
#include "platform/opc/server/Toolkit.h"
#include "platform/registry/Registry.h"
#include "platform/win/Clock.h"

#include "platform/opc/ScriptedCallback.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace opctest {

inline const CLSID kRpcTestClsid = *com::parseGuid("{6E6F7453-0002-4E61-8000-000000000002}");

template <typename T>
opc::ComPtr<T> adopt(IUnknown* p)
{
    return opc::ComPtr<T>::attach(static_cast<T*>(static_cast<void*>(p)));
}

class RpcFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        cb.addItem("PLC1.D100", VARIANT::I2(10));
        cb.addItem("PLC1.D101", VARIANT::I2(20));
        cb.addItem("PLC1.TEXT", VARIANT::String("hello"));
        toolkit = std::make_unique<opc::Toolkit>(options(&clock));
        ASSERT_TRUE(toolkit->start(kRpcTestClsid, false));
        toolkit->setCallback(&cb);
    }
    void TearDown() override
    {
        server.reset();
        toolkit->stop();
    }
    // Polled by the test; sockets in the scratch folder.
    opc::ToolkitOptions options(const win::Clock* c)
    {
        opc::ToolkitOptions o;
        o.runScheduler = false;
        o.socketDir = scratch.path() / "sock";
        o.registry = &reg;
        o.clock = c;
        o.limits = limits;
        return o;
    }
    opc::ActivationOptions activation()
    {
        opc::ActivationOptions o;
        o.socketDir = scratch.path() / "sock";
        o.registry = &reg;
        return o;
    }
    void connect()
    {
        opc::ComPtr<IUnknown> unk;
        ASSERT_EQ(opc::CoCreateInstanceEx(kRpcTestClsid, u"", IID_IOPCServer, unk.put(), activation()), S_OK);
        server = adopt<IOPCServer>(unk.detach());
    }
    opc::ComPtr<IOPCItemMgt> addGroup(DWORD rate, OPCHANDLE hClient)
    {
        opc::ComPtr<IUnknown> unk;
        DWORD revised = 0;
        EXPECT_EQ(server->AddGroup(u"G", TRUE, rate, hClient, nullptr, nullptr, 0, &hGroup, &revised, IID_IOPCItemMgt,
                                   unk.put()),
                  S_OK);
        EXPECT_EQ(revised, rate);
        return adopt<IOPCItemMgt>(unk.detach());
    }
    std::vector<OPCHANDLE> addItems(IOPCItemMgt* g, std::vector<std::u16string> ids)
    {
        std::vector<OPCITEMDEF> defs;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            OPCITEMDEF d;
            d.szItemID = ids[i];
            d.hClient = OPCHANDLE(100 + i);
            defs.push_back(d);
        }
        std::vector<OPCITEMRESULT> results;
        std::vector<HRESULT> errors;
        EXPECT_EQ(g->AddItems(defs, results, errors), S_OK);
        std::vector<OPCHANDLE> h;
        for (auto& r : results) h.push_back(r.hServer);
        return h;
    }

    support::ScratchFolder scratch;
    registry::Registry reg{scratch.path() / "reg"};
    win::FakeClock clock{0, com::fromFileTime(FILETIME{0x22222222, 0x01DA0000})};
    opctest::ScriptedCallback cb;
    opc::ServerLimits limits;  // set by a derived fixture's constructor
    std::unique_ptr<opc::Toolkit> toolkit;
    opc::ComPtr<IOPCServer> server;
    OPCHANDLE hGroup = 0;
};

class RawClient {
public:
    explicit RawClient(const std::filesystem::path& path) : fd_(opc::RpcClient::connectUnix(path))
    {
        timeval tv{3, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~RawClient() { close(); }
    void close()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool send(std::span<const BYTE> b) { return opc::writeAll(fd_, b); }
    bool call(opc::Method m, DWORD object, opc::WireWriter& args, DWORD callId = 1)
    {
        opc::Frame f;
        f.method = WORD(m);
        f.callId = callId;
        f.objectId = object;
        f.payload = args.data();
        return send(opc::encodeFrame(f));
    }
    // The reply's HRESULT and outputs; false when the server closed the connection.
    bool reply(HRESULT& hr, std::vector<BYTE>& out)
    {
        opc::Frame f;
        if (!opc::readFrame(fd_, f) || f.kind != opc::FrameKind::Reply || f.payload.size() < 4) return false;
        opc::WireReader r(f.payload);
        hr = r.i32();
        out.assign(f.payload.begin() + 4, f.payload.end());
        return true;
    }
    int fd() const { return fd_; }

private:
    int fd_;
};

} // namespace opctest
