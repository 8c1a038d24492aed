// What a DA 2.0 client asks of a server object beyond groups and items: copies of
// groups, connection points, the version, and the limits of one client.
#include "platform/opc/Enumerators.h"
#include "platform/win/VersionInfo.h"

#include "platform/opc/GroupFixture.h"

#include <gtest/gtest.h>

namespace {

using opc::ComPtr;
using ServerObjectTest = opctest::GroupFixture;

template <typename T>
ComPtr<T> adopt(IUnknown* p)
{
    return ComPtr<T>::attach(static_cast<T*>(static_cast<void*>(p)));
}

TEST_F(ServerObjectTest, CloneIsAnInactiveCopyWithTheSameItemsUnderANewName)
{
    auto g = addGroup(u"Original", 250, 0x77);
    auto h = addItems(g.get(), {u"PLC1.D100", u"PLC1.TEXT"}, VT_BSTR);
    std::vector<HRESULT> errors;
    OPCHANDLE second[] = {h[1]};
    ASSERT_EQ(g->SetActiveState(second, FALSE, errors), S_OK);
    auto state = g.as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt);
    ComPtr<IUnknown> unk;
    EXPECT_EQ(state->CloneGroup(u"Original", IID_IOPCItemMgt, unk.put()), OPC_E_DUPLICATENAME);
    ASSERT_EQ(state->CloneGroup(u"Copy", IID_IOPCGroupStateMgt, unk.put()), S_OK);
    auto copy = adopt<IOPCGroupStateMgt>(unk.detach());
    DWORD rate = 0;
    BOOL active = TRUE;
    std::u16string name;
    OPCHANDLE hClient = 0, hServer = 0;
    ASSERT_EQ(copy->GetState(&rate, &active, &name, nullptr, nullptr, nullptr, &hClient, &hServer), S_OK);
    EXPECT_EQ(rate, 250u);
    EXPECT_EQ(active, FALSE);
    EXPECT_EQ(name, u"Copy");
    EXPECT_EQ(hClient, 0x77u);
    EXPECT_NE(hServer, groupHandle);

    ASSERT_EQ(copy.as<IOPCItemMgt>(IID_IOPCItemMgt)->CreateEnumerator(IID_IEnumOPCItemAttributes, unk.put()), S_OK);
    std::vector<OPCITEMATTRIBUTES> items;
    opc::drain(adopt<IEnumOPCItemAttributes>(unk.detach()).get(), items);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].szItemID, u"PLC1.D100");
    EXPECT_EQ(items[0].hClient, 100u);
    EXPECT_EQ(items[0].vtRequestedDataType, VT_BSTR);
    EXPECT_EQ(items[0].bActive, TRUE);
    EXPECT_EQ(items[1].bActive, FALSE);
    EXPECT_NE(items[0].hServer, h[0]);
    EXPECT_EQ(cb.tag("PLC1.D100")->m_nUseCount, 2);  // each group holds its own

    ASSERT_EQ(state->CloneGroup(u"", IID_IOPCGroupStateMgt, unk.put()), S_OK);
    ASSERT_EQ(adopt<IOPCGroupStateMgt>(unk.detach())->GetState(nullptr, nullptr, &name, nullptr, nullptr, nullptr,
                                                               nullptr, nullptr),
              S_OK);
    EXPECT_FALSE(name.empty());
    EXPECT_NE(name, u"Copy");
}

TEST_F(ServerObjectTest, ConnectionPointListsItsSinksAndLeadsBackToItsContainer)
{
    auto g = addGroup(u"G", 100, 1);
    auto cpc = g.as<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(cpc->FindConnectionPoint(IID_IOPCDataCallback, cp.put()), S_OK);
    ComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(cp->GetConnectionPointContainer(back.put()), S_OK);
    EXPECT_EQ(back.get(), cpc.get());
    ComPtr<opctest::RecordingDataCallback> sink(new opctest::RecordingDataCallback);
    DWORD cookie = 0;
    ASSERT_EQ(cp->Advise(sink.get(), &cookie), S_OK);
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(cp->EnumConnections(connections.put()), S_OK);
    std::vector<CONNECTDATA> advised;
    ASSERT_EQ(opc::drain(connections.get(), advised), S_OK);
    ASSERT_EQ(advised.size(), 1u);
    EXPECT_EQ(advised[0].dwCookie, cookie);
    EXPECT_EQ(advised[0].pUnk.get(), static_cast<IUnknown*>(static_cast<IOPCDataCallback*>(sink.get())));
}

TEST_F(ServerObjectTest, StatusCarriesTheProgramsVersion)
{
    OPCSERVERSTATUS st;
    ASSERT_EQ(server->GetStatus(st), S_OK);
    EXPECT_EQ(st.wMajorVersion, win::version::kMajor);
    EXPECT_EQ(st.wMinorVersion, win::version::kMinor);
    EXPECT_EQ(st.wBuildNumber, win::version::kBuild);
}

opc::ServerLimits smallLimits()
{
    opc::ServerLimits l;
    l.groups = 2;
    l.items = 3;
    l.pendingTransactions = 2;
    l.shutdownSinks = 1;
    return l;
}

class ClientLimitTest : public opctest::GroupFixture {
protected:
    ClientLimitTest() : GroupFixture(false, smallLimits()) {}
};

TEST_F(ClientLimitTest, ClientOverItsLimitsIsAnsweredOutOfMemory)
{
    auto a = addGroup(u"A", 100, 1);
    auto b = addGroup(u"B", 100, 2);
    EXPECT_EQ(addGroupAnswer(u"C"), E_OUTOFMEMORY);
    ComPtr<IUnknown> unk;
    EXPECT_EQ(a.as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt)->CloneGroup(u"D", IID_IOPCItemMgt, unk.put()),
              E_OUTOFMEMORY);

    // Items count over all the client's groups, one by one.
    EXPECT_EQ(addItems(a.get(), {u"PLC1.D100", u"PLC1.D101"}).size(), 2u);
    std::vector<OPCITEMDEF> defs(2);
    defs[0].szItemID = u"PLC1.TEXT";
    defs[1].szItemID = u"PLC2.M0";
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    EXPECT_EQ(b->AddItems(defs, results, errors), S_FALSE);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, E_OUTOFMEMORY}));
    EXPECT_EQ(cb.tag("PLC2.M0")->m_nUseCount, 0);

    // Transactions queue up to the limit; one that ran makes room.
    auto sink = subscribe(a.get());
    auto io2 = a.as<IOPCAsyncIO2>(IID_IOPCAsyncIO2);
    OPCHANDLE one[] = {1};
    DWORD cancel = 0;
    EXPECT_EQ(io2->Read(one, 1, &cancel, errors), S_OK);
    EXPECT_EQ(io2->Read(one, 2, &cancel, errors), S_OK);
    EXPECT_EQ(io2->Read(one, 3, &cancel, errors), E_OUTOFMEMORY);
    toolkit.poll(0);
    EXPECT_EQ(io2->Read(one, 4, &cancel, errors), S_OK);

    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(server.as<IConnectionPointContainer>(IID_IConnectionPointContainer)->FindConnectionPoint(IID_IOPCShutdown, cp.put()), S_OK);
    ComPtr<opctest::RecordingShutdown> s1(new opctest::RecordingShutdown), s2(new opctest::RecordingShutdown);
    DWORD cookie = 0;
    EXPECT_EQ(cp->Advise(s1.get(), &cookie), S_OK);
    EXPECT_EQ(cp->Advise(s2.get(), &cookie), CONNECT_E_ADVISELIMIT);
}

} // namespace
