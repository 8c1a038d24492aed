// The bridge behind the OPC toolkit in one process: what a client sees of the
// address space through groups, items, properties and browsing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BridgeFixture.h"
#include "platform/com/Guid.h"
#include "platform/opc/Enumerators.h"
#include "platform/opc/RecordingSinks.h"
#include "platform/opc/server/Toolkit.h"
#include "platform/win/Clock.h"

namespace {

using bridgetest::BridgeTest;
using opc::ComPtr;
using opctest::DataEvent;

const CLSID kClsid = *com::parseGuid("{6E6F7453-0002-4E61-8000-00000000B71D}");

class ToolkitBridgeTest : public BridgeTest {
protected:
    void SetUp() override
    {
        BridgeTest::SetUp();
        auto* plc1 = AddDevice("PLC1", "A");
        words = AddBlock(plc1, "", "D100", BRISANT_WORD, 2, {"D100", "D101"});
        flags = AddBlock(plc1, "FLAGS", "M0", BRISANT_BOOL, 1, {"RUN"});
        texts = AddBlock(plc1, "", "D200", BRISANT_STRING, 1, {"NAME"});
        auto* plc2 = AddDevice("PLC2", "B");
        AddBlock(plc2, "", "D0", BRISANT_SHORT, 1, {"X"});
        callback.SetDeviceMap(map.get());
        Store(Point(words, 0), 1234);
        Store(Point(flags, 0), 1);
        ASSERT_TRUE(toolkit.start(kClsid, false));
        toolkit.setCallback(&callback);
        ASSERT_EQ(toolkit.createServer(server.put()), S_OK);
    }

    void TearDown() override
    {
        server = {};
        toolkit.stop();
        BridgeTest::TearDown();
    }

    static void Store(CdsMemoryObject* point, ULONGLONG bits)
    {
        _BRISANTDATAVALUE value{};
        value.ullVal = bits;
        point->SetNewValue(value, nullptr, FALSE);
    }

    ComPtr<IOPCItemMgt> AddGroup(DWORD rate)
    {
        ComPtr<IUnknown> unk;
        OPCHANDLE hServer = 0;
        DWORD revised = 0;
        EXPECT_TRUE(SUCCEEDED(server->AddGroup(u"G", TRUE, rate, 1, nullptr, nullptr, 0, &hServer, &revised,
                                               IID_IOPCItemMgt, unk.put())));
        return ComPtr<IOPCItemMgt>::attach(static_cast<IOPCItemMgt*>(static_cast<void*>(unk.detach())));
    }

    std::vector<OPCHANDLE> AddItems(IOPCItemMgt* group, const std::vector<std::u16string>& ids,
                                    std::vector<OPCITEMRESULT>& results, std::vector<HRESULT>& errors)
    {
        std::vector<OPCITEMDEF> defs;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            OPCITEMDEF def;
            def.szItemID = ids[i];
            def.hClient = OPCHANDLE(100 + i);
            defs.push_back(def);
        }
        group->AddItems(defs, results, errors);
        std::vector<OPCHANDLE> handles;
        for (std::size_t i = 0; i < ids.size(); ++i)
            handles.push_back(SUCCEEDED(errors[i]) ? results[i].hServer : 0);
        return handles;
    }

    std::vector<std::u16string> Browse(IOPCServer* client, OPCBROWSETYPE type)
    {
        auto browse = ComPtr<IOPCServer>(client).as<IOPCBrowseServerAddressSpace>(IID_IOPCBrowseServerAddressSpace);
        ComPtr<IEnumString> names;
        EXPECT_TRUE(SUCCEEDED(browse->BrowseOPCItemIDs(type, u"", VT_EMPTY, 0, names.put())));
        std::vector<std::u16string> out;
        names->Next(1000, out);
        return out;
    }

    CdsMemoryArray* words = nullptr;
    CdsMemoryArray* flags = nullptr;
    CdsMemoryArray* texts = nullptr;
    win::FakeClock clock{1000};
    opc::Toolkit toolkit{[this] {
        opc::ToolkitOptions o;
        o.runScheduler = false;
        o.listen = false;
        o.clock = &clock;
        return o;
    }()};
    ComPtr<IOPCServer> server;
};

TEST_F(ToolkitBridgeTest, ItemsOfSeveralTypesReadWithTheirQuality)
{
    auto group = AddGroup(100);
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    auto h = AddItems(group.get(), {u"PLC1.D100", u"PLC1.FLAGS.RUN", u"[PLC1]D200:0", u"PLC9.NOPE"}, results, errors);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, S_OK, S_OK, OPC_E_UNKNOWNITEMID}));
    EXPECT_EQ(results[0].vtCanonicalDataType, VT_UI2);
    EXPECT_EQ(results[1].vtCanonicalDataType, VT_BOOL);
    EXPECT_EQ(results[2].vtCanonicalDataType, VT_BSTR);
    EXPECT_EQ(callback.GetItemCount(), 3);
    EXPECT_EQ(words->GetUseCount(), 1);

    auto sync = group.as<IOPCSyncIO>(IID_IOPCSyncIO);
    std::vector<OPCITEMSTATE> values;
    OPCHANDLE known[] = {h[0], h[1]};
    ASSERT_EQ(sync->Read(OPC_DS_CACHE, known, values, errors), S_OK);
    EXPECT_EQ(values[0].vDataValue, VARIANT::UI2(1234));
    EXPECT_EQ(values[0].wQuality, OPC_QUALITY_GOOD);
    EXPECT_EQ(values[1].vDataValue, VARIANT::Bool(true));

    OPCHANDLE all[] = {h[0], h[1], h[2]};
    ASSERT_EQ(group->RemoveItems(all, errors), S_OK);
    EXPECT_EQ(callback.GetItemCount(), 0);
    EXPECT_EQ(words->GetUseCount(), 0);
    EXPECT_EQ(Point(words, 0)->GetMemoryTag()->GetUseCount(), 1);
}

TEST_F(ToolkitBridgeTest, WritesArriveConvertedOrAreRefusedBeforeTheBridge)
{
    auto group = AddGroup(100);
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    auto h = AddItems(group.get(), {u"PLC1.D101", u"PLC1.FLAGS.RUN", u"PLC1.NAME"}, results, errors);
    auto sync = group.as<IOPCSyncIO>(IID_IOPCSyncIO);

    OPCHANDLE handles[] = {h[0], h[1], h[2], h[0], h[0]};
    VARIANT values[] = {VARIANT::R8(4321.0), VARIANT::I4(5), VARIANT::String("ABCDEFGH"), VARIANT::R8(70000.0),
                        VARIANT::String("x1")};
    EXPECT_EQ(sync->Write(handles, values, errors), S_FALSE);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, S_OK, S_OK, OPC_E_RANGE, OPC_E_BADTYPE}));
    ASSERT_EQ(link.queue->writes.size(), 3u);
    EXPECT_EQ(link.queue->writes[0].point, Point(words, 1));
    EXPECT_EQ(link.queue->writes[0].bits & 0xFFFF, 4321u);
    EXPECT_EQ(link.queue->writes[1].bits & 0xFFFF, 1u);
    EXPECT_EQ(link.queue->writes[2].text, "ABCDEFGH");
    EXPECT_EQ(hints.size(), 3u);

    OPCHANDLE text[] = {h[2]};
    VARIANT shorter[] = {VARIANT::String("XY")};
    EXPECT_EQ(sync->Write(text, shorter, errors), S_OK);
    EXPECT_EQ(link.queue->writes.back().text, "XY");
}

TEST_F(ToolkitBridgeTest, ChangedPointsReachSubscribersAtTheGroupRate)
{
    auto group = AddGroup(100);
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    AddItems(group.get(), {u"PLC1.D100", u"PLC1.D101"}, results, errors);
    auto cpc = group.as<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(cpc->FindConnectionPoint(IID_IOPCDataCallback, cp.put()), S_OK);
    ComPtr<opctest::RecordingDataCallback> sink(new opctest::RecordingDataCallback);
    DWORD cookie = 0;
    ASSERT_EQ(cp->Advise(sink.get(), &cookie), S_OK);

    toolkit.poll(1000);
    ASSERT_EQ(sink->take().size(), 1u);
    Store(Point(words, 1), 77);
    toolkit.poll(1050);
    EXPECT_TRUE(sink->take().empty());
    toolkit.poll(1100);
    auto changed = sink->take();
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].items, (std::vector<OPCHANDLE>{101}));
    EXPECT_EQ(changed[0].values[0], VARIANT::UI2(77));
    EXPECT_EQ(changed[0].qualities[0], OPC_QUALITY_GOOD);

    Point(words, 1)->SetStatus(CdsMemoryObject::QUALITY_OFFLINE);
    toolkit.poll(1200);
    auto offline = sink->take();
    ASSERT_EQ(offline.size(), 1u);
    EXPECT_EQ(offline[0].qualities[0], CdsMemoryObject::QUALITY_OFFLINE);
}

TEST_F(ToolkitBridgeTest, PropertiesAndTheirItemIds)
{
    auto props = server.as<IOPCItemProperties>(IID_IOPCItemProperties);
    std::vector<DWORD> ids;
    std::vector<std::u16string> descriptions;
    std::vector<VARTYPE> types;
    ASSERT_EQ(props->QueryAvailableProperties(u"[PLC1]D100", ids, descriptions, types), S_OK);
    EXPECT_EQ(ids, (std::vector<DWORD>{1, 2, 3, 4, 5, 101}));

    const DWORD asked[] = {2, 5, 101, 9};
    std::vector<VARIANT> values;
    std::vector<HRESULT> errors;
    EXPECT_EQ(props->GetItemProperties(u"PLC1.D100:0", asked, values, errors), S_FALSE);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, S_OK, S_OK, OPC_E_INVALID_PID}));
    EXPECT_EQ(values[0], VARIANT::UI2(1234));
    EXPECT_EQ(values[1], VARIANT::I4(3));
    EXPECT_EQ(values[2], VARIANT::String("D100"));

    std::vector<std::u16string> itemIds;
    EXPECT_EQ(props->LookupItemIDs(u"PLC1.D100", asked, itemIds, errors), S_FALSE);
    EXPECT_EQ(itemIds.size(), 4u);
    EXPECT_EQ(errors, (std::vector<HRESULT>(4, OPC_E_INVALID_PID)));
    EXPECT_EQ(props->LookupItemIDs(u"PLC1.NOPE", asked, itemIds, errors), OPC_E_UNKNOWNITEMID);
}

TEST_F(ToolkitBridgeTest, EachClientBrowsesFromItsOwnPosition)
{
    ComPtr<IOPCServer> other;
    ASSERT_EQ(toolkit.createServer(other.put()), S_OK);
    auto browse = server.as<IOPCBrowseServerAddressSpace>(IID_IOPCBrowseServerAddressSpace);
    ASSERT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"PLC1"), S_OK);

    EXPECT_EQ(Browse(server.get(), OPC_BRANCH), (std::vector<std::u16string>{u"FLAGS"}));
    EXPECT_EQ(Browse(other.get(), OPC_BRANCH), (std::vector<std::u16string>{u"PLC1", u"PLC2"}));
    EXPECT_EQ(Browse(server.get(), OPC_LEAF), (std::vector<std::u16string>{u"D100", u"D101", u"NAME"}));
    std::u16string id;
    ASSERT_EQ(browse->GetItemID(u"D101", id), S_OK);
    EXPECT_EQ(id, u"PLC1.D101");
    EXPECT_EQ(Browse(other.get(), OPC_FLAT),
              (std::vector<std::u16string>{u"PLC1.D100", u"PLC1.D101", u"PLC1.NAME", u"PLC1.FLAGS.RUN", u"PLC2.X"}));
    // The flat listing of the one did not move the other.
    EXPECT_EQ(Browse(server.get(), OPC_BRANCH), (std::vector<std::u16string>{u"FLAGS"}));
}

TEST_F(ToolkitBridgeTest, StoppingHandsBackEveryTag)
{
    auto group = AddGroup(100);
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    AddItems(group.get(), {u"PLC1.D100", u"PLC1.D101"}, results, errors);
    EXPECT_EQ(words->GetUseCount(), 2);
    group = {};
    server = {};
    toolkit.stop();
    EXPECT_EQ(words->GetUseCount(), 0);
    EXPECT_EQ(Point(words, 0)->GetMemoryTag()->GetUseCount(), 1);
}

} // namespace
