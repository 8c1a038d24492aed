#pragma once
// A toolkit in this process with a scripted address space, one client (server object)
// and helpers to add groups, items and subscriptions.
#include "platform/opc/server/Toolkit.h"
#include "platform/win/Clock.h"

#include "platform/opc/RecordingSinks.h"
#include "platform/opc/ScriptedCallback.h"

#include <gtest/gtest.h>

namespace opctest {

inline const CLSID kGroupTestClsid = *com::parseGuid("{6E6F7453-0001-4E61-8000-000000000001}");

// No socket; without threads the test polls with its own clock.
inline opc::ToolkitOptions options(const win::Clock& clock, bool threaded, const opc::ServerLimits& limits)
{
    opc::ToolkitOptions o;
    o.runScheduler = threaded;
    o.listen = false;
    o.clock = &clock;
    o.limits = limits;
    return o;
}

class GroupFixture : public ::testing::Test {
protected:
    // threaded: the toolkit's scheduler and the clients' workers run, on the fake clock.
    explicit GroupFixture(bool threaded = false, const opc::ServerLimits& limits = {})
        : toolkit(options(clock, threaded, limits))
    {
    }
    void SetUp() override
    {
        cb.addItem("PLC1.D100", VARIANT::I2(10));
        cb.addItem("PLC1.D101", VARIANT::I2(20));
        cb.addItem("PLC1.TEXT", VARIANT::String("hello"));
        cb.addItem("PLC1.RO", VARIANT::I4(7), OPC_READABLE);
        cb.addItem("PLC2.M0", VARIANT::Bool(false));
        ASSERT_TRUE(toolkit.start(kGroupTestClsid, false));
        toolkit.setCallback(&cb);
        ASSERT_EQ(toolkit.createServer(server.put()), S_OK);
    }
    void TearDown() override { toolkit.stop(); }

    // A group of the fixture's client, or of the one given.
    opc::ComPtr<IOPCItemMgt> addGroup(const char16_t* name, DWORD rate, OPCHANDLE hClient, BOOL active = TRUE,
                                      IOPCServer* client = nullptr)
    {
        opc::ComPtr<IUnknown> unk;
        OPCHANDLE hServer = 0;
        DWORD revised = 0;
        IOPCServer* s = client ? client : server.get();
        EXPECT_TRUE(SUCCEEDED(s->AddGroup(name, active, rate, hClient, nullptr, nullptr, 0, &hServer, &revised,
                                          IID_IOPCItemMgt, unk.put())));
        groupHandle = hServer;
        return opc::ComPtr<IOPCItemMgt>::attach(static_cast<IOPCItemMgt*>(static_cast<void*>(unk.detach())));
    }
    // AddGroup's answer for a group that is not kept.
    HRESULT addGroupAnswer(const char16_t* name, IOPCServer* client = nullptr)
    {
        opc::ComPtr<IUnknown> unk;
        OPCHANDLE h = 0;
        DWORD revised = 0;
        return (client ? client : server.get())
            ->AddGroup(name, TRUE, 100, 9, nullptr, nullptr, 0, &h, &revised, IID_IOPCItemMgt, unk.put());
    }
    std::vector<OPCHANDLE> addItems(IOPCItemMgt* g, std::vector<std::u16string> ids, VARTYPE requested = VT_EMPTY)
    {
        std::vector<OPCITEMDEF> defs;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            OPCITEMDEF d;
            d.szItemID = ids[i];
            d.hClient = OPCHANDLE(100 + i);
            d.vtRequestedDataType = requested;
            defs.push_back(d);
        }
        std::vector<OPCITEMRESULT> results;
        std::vector<HRESULT> errors;
        g->AddItems(defs, results, errors);
        std::vector<OPCHANDLE> handles;
        for (std::size_t i = 0; i < ids.size(); ++i) handles.push_back(SUCCEEDED(errors[i]) ? results[i].hServer : 0);
        return handles;
    }
    // Advises a data callback sink (a recording one when none is given).
    template <typename Sink = RecordingDataCallback>
    opc::ComPtr<Sink> subscribe(IOPCItemMgt* g, opc::ComPtr<Sink> sink = opc::ComPtr<Sink>(new Sink))
    {
        auto cpc = opc::ComPtr<IOPCItemMgt>(g).as<IConnectionPointContainer>(IID_IConnectionPointContainer);
        opc::ComPtr<IConnectionPoint> cp;
        EXPECT_EQ(cpc->FindConnectionPoint(IID_IOPCDataCallback, cp.put()), S_OK);
        DWORD cookie = 0;
        EXPECT_EQ(cp->Advise(sink.get(), &cookie), S_OK);
        EXPECT_NE(cookie, 0u);
        return sink;
    }
    // A 1.0 data advise of one stream format.
    opc::ComPtr<RecordingAdviseSink> adviseStream(IOPCItemMgt* g, CLIPFORMAT format, DWORD* connection = nullptr)
    {
        opc::ComPtr<RecordingAdviseSink> sink(new RecordingAdviseSink);
        FORMATETC f;
        f.cfFormat = format;
        DWORD c = 0;
        EXPECT_EQ(opc::ComPtr<IOPCItemMgt>(g).as<IDataObject>(IID_IDataObject)->DAdvise(f, 0, sink.get(), &c), S_OK);
        if (connection) *connection = c;
        return sink;
    }
    // A second client of the same toolkit.
    opc::ComPtr<IOPCServer> newClient()
    {
        opc::ComPtr<IOPCServer> s;
        EXPECT_EQ(toolkit.createServer(s.put()), S_OK);
        return s;
    }

    opctest::ScriptedCallback cb;
    win::FakeClock clock{0, com::fromFileTime(FILETIME{0x12345678, 0x01DA0000})};
    opc::Toolkit toolkit;
    opc::ComPtr<IOPCServer> server;
    OPCHANDLE groupHandle = 0;
};

} // namespace opctest
