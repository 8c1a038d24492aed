// Server objects, groups and items in one process, driven with an explicit clock.
#include "platform/opc/wire/DataStream.h"
#include "platform/opc/Enumerators.h"
#include "platform/opc/server/Toolkit.h"
#include "platform/win/Clock.h"

#include "platform/opc/GroupFixture.h"
#include "platform/opc/RecordingSinks.h"
#include "platform/opc/ScriptedCallback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace {

using opc::ComPtr;
using opctest::DataEvent;

using GroupTest = opctest::GroupFixture;

TEST_F(GroupTest, OnlyANewSubscriberGetsEveryValueAgain)
{
    auto g = addGroup(u"G", 100, 1);
    addItems(g.get(), {u"PLC1.D100", u"PLC1.D101"});
    auto sink = subscribe(g.get());
    toolkit.poll(0);
    EXPECT_EQ(sink->take().size(), 1u);
    // Looking the connection point up again is no subscription.
    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(g.as<IConnectionPointContainer>(IID_IConnectionPointContainer)->FindConnectionPoint(IID_IOPCDataCallback, cp.put()), S_OK);
    toolkit.poll(100);
    EXPECT_TRUE(sink->take().empty());
    ComPtr<opctest::RecordingDataCallback> second(new opctest::RecordingDataCallback);
    DWORD cookie = 0;
    EXPECT_EQ(cp->Advise(second.get(), &cookie), CONNECT_E_ADVISELIMIT);  // one sink per group
}

TEST_F(GroupTest, RevisedRateComesFromTheCallback)
{
    struct Case {
        DWORD requested, revised;
        HRESULT result;
    };
    for (Case c : {Case{0, 10, OPC_S_UNSUPPORTEDRATE}, Case{10, 10, S_OK}, Case{11, 11, S_OK}, Case{100, 100, S_OK}}) {
        ComPtr<IUnknown> unk;
        OPCHANDLE h = 0;
        DWORD revised = 0;
        EXPECT_EQ(server->AddGroup(u"", TRUE, c.requested, 1, nullptr, nullptr, 0, &h, &revised, IID_IOPCGroupStateMgt,
                                   unk.put()),
                  c.result);
        EXPECT_EQ(revised, c.revised);
    }
}

TEST_F(GroupTest, GroupNamesAreUniqueAndGeneratedWhenEmpty)
{
    auto g1 = addGroup(u"Fast", 100, 1);
    EXPECT_EQ(addGroupAnswer(u"Fast"), OPC_E_DUPLICATENAME);
    auto g2 = addGroup(u"", 100, 2);
    auto state = g2.as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt);
    std::u16string name;
    ASSERT_EQ(state->GetState(nullptr, nullptr, &name, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(state->SetName(u"Fast"), OPC_E_DUPLICATENAME);
    EXPECT_EQ(state->SetName(u"Slow"), S_OK);
    ComPtr<IUnknown> found;
    EXPECT_EQ(server->GetGroupByName(u"Slow", IID_IOPCGroupStateMgt, found.put()), S_OK);
    EXPECT_EQ(server->GetGroupByName(u"Nope", IID_IOPCGroupStateMgt, found.put()), E_INVALIDARG);
}

TEST_F(GroupTest, SubscriptionSendsOnlyChangedValuesAtTheGroupRate)
{
    auto g = addGroup(u"G", 100, 0x77);
    auto h = addItems(g.get(), {u"PLC1.D100", u"PLC1.D101"});
    auto sink = subscribe(g.get());

    toolkit.poll(1000);  // first update: every active item
    auto first = sink->take();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].kind, DataEvent::Data);
    EXPECT_EQ(first[0].transactionId, 0u);
    EXPECT_EQ(first[0].group, 0x77u);
    EXPECT_EQ(first[0].items, (std::vector<OPCHANDLE>{100, 101}));

    toolkit.poll(1100);  // nothing changed
    EXPECT_TRUE(sink->take().empty());

    cb.set("PLC1.D101", VARIANT::I2(21));
    toolkit.poll(1150);  // not due yet
    EXPECT_TRUE(sink->take().empty());
    toolkit.poll(1200);
    auto second = sink->take();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].items, (std::vector<OPCHANDLE>{101}));
    EXPECT_EQ(second[0].values[0], VARIANT::I2(21));

    cb.set("PLC1.D101", VARIANT::I2(21), OPC_QUALITY_COMM_FAILURE);  // quality alone changes
    toolkit.poll(1300);
    auto third = sink->take();
    ASSERT_EQ(third.size(), 1u);
    EXPECT_EQ(third[0].qualities, (std::vector<WORD>{OPC_QUALITY_COMM_FAILURE}));
}

TEST_F(GroupTest, InactiveItemsAndDisabledGroupsSendNothing)
{
    auto g = addGroup(u"G", 100, 1);
    auto h = addItems(g.get(), {u"PLC1.D100", u"PLC1.D101"});
    auto sink = subscribe(g.get());
    std::vector<HRESULT> errors;
    OPCHANDLE first[] = {h[0]};
    ASSERT_EQ(g->SetActiveState(first, FALSE, errors), S_OK);
    toolkit.poll(0);
    auto e = sink->take();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].items, (std::vector<OPCHANDLE>{101}));

    auto io2 = g.as<IOPCAsyncIO2>(IID_IOPCAsyncIO2);
    ASSERT_EQ(io2->SetEnable(FALSE), S_OK);
    cb.set("PLC1.D101", VARIANT::I2(99));
    toolkit.poll(100);
    EXPECT_TRUE(sink->take().empty());
    ASSERT_EQ(io2->SetEnable(TRUE), S_OK);
    toolkit.poll(200);
    EXPECT_EQ(sink->take().size(), 1u);
}

TEST_F(GroupTest, RequestedTypeConvertsSubscriptionAndReads)
{
    auto g = addGroup(u"G", 100, 1);
    auto h = addItems(g.get(), {u"PLC1.D100"}, VT_BSTR);
    auto sink = subscribe(g.get());
    toolkit.poll(0);
    auto e = sink->take();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].values[0], VARIANT::String("10"));

    auto sync = g.as<IOPCSyncIO>(IID_IOPCSyncIO);
    std::vector<OPCITEMSTATE> values;
    std::vector<HRESULT> errors;
    ASSERT_EQ(sync->Read(OPC_DS_DEVICE, h, values, errors), S_OK);
    EXPECT_EQ(values[0].vDataValue, VARIANT::String("10"));
    EXPECT_EQ(values[0].hClient, 100u);
}

TEST_F(GroupTest, UnknownHandlesAreRefusedEverywhere)
{
    auto g = addGroup(u"G", 100, 1);
    auto h = addItems(g.get(), {u"PLC1.D100"});
    OPCHANDLE mixed[] = {h[0], 0xDEAD, 0};
    std::vector<HRESULT> errors;
    std::vector<OPCITEMSTATE> values;
    auto sync = g.as<IOPCSyncIO>(IID_IOPCSyncIO);
    EXPECT_EQ(sync->Read(OPC_DS_CACHE, mixed, values, errors), S_FALSE);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, OPC_E_INVALIDHANDLE, OPC_E_INVALIDHANDLE}));
    VARIANT vals[] = {VARIANT::I2(1), VARIANT::I2(2), VARIANT::I2(3)};
    EXPECT_EQ(sync->Write(mixed, vals, errors), S_FALSE);
    EXPECT_EQ(errors[1], OPC_E_INVALIDHANDLE);
    EXPECT_EQ(g->SetActiveState(mixed, TRUE, errors), S_FALSE);
    EXPECT_EQ(errors[2], OPC_E_INVALIDHANDLE);
    EXPECT_EQ(g->RemoveItems(mixed, errors), S_FALSE);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, OPC_E_INVALIDHANDLE, OPC_E_INVALIDHANDLE}));
    EXPECT_EQ(server->RemoveGroup(0xBEEF, FALSE), E_INVALIDARG);
}

struct AddCase {
    const char* name;
    const char16_t* id;
    const char16_t* path;
    VARTYPE requested;
    HRESULT result;
};

class AddItemTest : public GroupTest, public ::testing::WithParamInterface<AddCase> {};

TEST_P(AddItemTest, AddingAndValidatingGiveTheSameAnswer)
{
    const AddCase& c = GetParam();
    cb.knownPaths = {"PLC1"};
    auto g = addGroup(u"G", 100, 1);
    std::vector<OPCITEMDEF> defs(1);
    defs[0].szItemID = c.id;
    defs[0].szAccessPath = c.path;
    defs[0].vtRequestedDataType = c.requested;
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    EXPECT_EQ(g->AddItems(defs, results, errors), c.result == S_OK ? S_OK : S_FALSE);
    EXPECT_EQ(errors[0], c.result);
    if (c.result == S_OK) {
        EXPECT_NE(results[0].vtCanonicalDataType, VT_EMPTY);
        EXPECT_EQ(results[0].dwAccessRights, 3u);
    }
    // A refused item holds no tag, and a validated one neither.
    const LONG held = c.result == S_OK && std::u16string(c.id) == u"PLC1.D100" ? 1 : 0;
    EXPECT_EQ(cb.tag("PLC1.D100")->m_nUseCount, held);
    if (std::u16string_view(c.path).empty()) {  // validation knows no access paths
        EXPECT_EQ(g->ValidateItems(defs, FALSE, results, errors), c.result == S_OK ? S_OK : S_FALSE);
        EXPECT_EQ(errors[0], c.result);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Items, AddItemTest,
    ::testing::Values(AddCase{"Known", u"PLC1.D100", u"", VT_EMPTY, S_OK},
                      AddCase{"UnknownItem", u"NOPE", u"", VT_EMPTY, OPC_E_UNKNOWNITEMID},
                      AddCase{"EmptyId", u"", u"", VT_EMPTY, OPC_E_INVALIDITEMID},
                      AddCase{"NoValueType", u"PLC1.D100", u"", VT_DISPATCH, OPC_E_BADTYPE},
                      AddCase{"NumberAsText", u"PLC1.D100", u"", VT_BSTR, S_OK},
                      AddCase{"TextAsNumber", u"PLC1.TEXT", u"", VT_R8, S_OK},
                      AddCase{"ScalarAsArray", u"PLC1.D100", u"", VT_ARRAY | VT_I2, OPC_E_BADTYPE},
                      AddCase{"NumberAsError", u"PLC1.D100", u"", VT_ERROR, OPC_E_BADTYPE},
                      AddCase{"NumberAsNull", u"PLC1.D100", u"", VT_NULL, OPC_E_BADTYPE},
                      AddCase{"KnownPath", u"PLC1.D100", u"PLC1", VT_EMPTY, S_OK},
                      AddCase{"UnknownPath", u"PLC1.D100", u"PLC9", VT_EMPTY, OPC_E_UNKNOWNPATH},
                      AddCase{"UnknownItemAndPath", u"NOPE", u"PLC9", VT_EMPTY, OPC_E_UNKNOWNITEMID}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GroupTest, RequestedTypeThatCannotBeServedIsRefusedAndTheOldOneKept)
{
    auto g = addGroup(u"G", 100, 1);
    auto h = addItems(g.get(), {u"PLC1.D100"});
    std::vector<HRESULT> errors;
    VARTYPE array[] = {VT_ARRAY | VT_R8};
    EXPECT_EQ(g->SetDatatypes(h, array, errors), S_FALSE);
    EXPECT_EQ(errors[0], OPC_E_BADTYPE);
    std::vector<OPCITEMSTATE> values;
    ASSERT_EQ(g.as<IOPCSyncIO>(IID_IOPCSyncIO)->Read(OPC_DS_DEVICE, h, values, errors), S_OK);
    EXPECT_EQ(values[0].vDataValue, VARIANT::I2(10));
}

struct WriteCase {
    const char* name;
    const char* item;
    VARIANT value;
    BOOL asFloat;
    HRESULT result;
    VARIANT seen;  // what the callback got; VT_EMPTY when it got nothing
};

class WriteTest : public GroupTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteTest, ConvertsToTheCanonicalTypeBeforeTheCallback)
{
    const WriteCase& c = GetParam();
    cb.extendedAsFloat = c.asFloat;
    auto g = addGroup(u"G", 100, 1);
    auto h = addItems(g.get(), {com::toBstr(c.item)});
    auto sync = g.as<IOPCSyncIO>(IID_IOPCSyncIO);
    std::vector<HRESULT> errors;
    sync->Write(h, std::span(&c.value, 1), errors);
    EXPECT_EQ(errors[0], c.result);
    if (c.seen.vt() == VT_EMPTY) {
        EXPECT_TRUE(cb.writes.empty());
    } else {
        ASSERT_EQ(cb.writes.size(), 1u);
        EXPECT_EQ(cb.writes[0], c.seen);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Writes, WriteTest,
    ::testing::Values(WriteCase{"IntFromText", "PLC1.D100", VARIANT::String("42"), FALSE, S_OK, VARIANT::I2(42)},
                      WriteCase{"IntAsFloat", "PLC1.D100", VARIANT::I4(42), TRUE, S_OK, VARIANT::R4(42.0f)},
                      WriteCase{"BoolStaysBool", "PLC2.M0", VARIANT::I4(1), TRUE, S_OK, VARIANT::Bool(true)},
                      WriteCase{"Overflow", "PLC1.D100", VARIANT::I4(70000), FALSE, OPC_E_RANGE, VARIANT()},
                      WriteCase{"NotANumber", "PLC1.D100", VARIANT::String("abc"), FALSE, OPC_E_BADTYPE, VARIANT()},
                      WriteCase{"ReadOnly", "PLC1.RO", VARIANT::I4(1), FALSE, OPC_E_BADRIGHTS, VARIANT()},
                      WriteCase{"Text", "PLC1.TEXT", VARIANT::I4(5), FALSE, S_OK, VARIANT::String("5")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GroupTest, RefusedWriteIsReportedAsFailure)
{
    cb.refuseWrites = true;
    auto g = addGroup(u"G", 100, 1);
    auto h = addItems(g.get(), {u"PLC1.D100"});
    std::vector<HRESULT> errors;
    VARIANT v = VARIANT::I2(1);
    EXPECT_EQ(g.as<IOPCSyncIO>(IID_IOPCSyncIO)->Write(h, std::span(&v, 1), errors), S_FALSE);
    EXPECT_EQ(errors[0], E_FAIL);
}

TEST_F(GroupTest, CacheReadOfAnInactiveGroupIsOutOfService)
{
    auto g = addGroup(u"G", 100, 1, FALSE);
    auto h = addItems(g.get(), {u"PLC1.D100"});
    auto sync = g.as<IOPCSyncIO>(IID_IOPCSyncIO);
    std::vector<OPCITEMSTATE> values;
    std::vector<HRESULT> errors;
    ASSERT_EQ(sync->Read(OPC_DS_CACHE, h, values, errors), S_OK);
    EXPECT_EQ(values[0].wQuality, OPC_QUALITY_OUT_OF_SERVICE);
    ASSERT_EQ(sync->Read(OPC_DS_DEVICE, h, values, errors), S_OK);
    EXPECT_EQ(values[0].wQuality, OPC_QUALITY_GOOD);
    EXPECT_EQ(values[0].vDataValue, VARIANT::I2(10));
    EXPECT_EQ(values[0].ftTimeStamp, (FILETIME{0x11223344, 0x01D00000}));
}

TEST_F(GroupTest, AsyncIO2ReadCancelAndRefresh)
{
    auto g = addGroup(u"G", 1000, 5);
    auto h = addItems(g.get(), {u"PLC1.D100", u"PLC1.D101"});
    auto io2 = g.as<IOPCAsyncIO2>(IID_IOPCAsyncIO2);
    DWORD cancelId = 0;
    std::vector<HRESULT> errors;
    EXPECT_EQ(io2->Read(h, 0x42, &cancelId, errors), CONNECT_E_NOCONNECTION);

    auto sink = subscribe(g.get());
    toolkit.poll(0);
    sink->take();
    ASSERT_EQ(io2->Read(h, 0x42, &cancelId, errors), S_OK);
    EXPECT_NE(cancelId, 0u);
    EXPECT_EQ(io2->Cancel2(cancelId), S_OK);
    EXPECT_EQ(io2->Cancel2(cancelId), E_FAIL);  // already gone
    EXPECT_TRUE(sink->take().empty());          // the notice goes out with the next poll
    toolkit.poll(1);
    auto cancelled = sink->take();
    ASSERT_EQ(cancelled.size(), 1u);
    EXPECT_EQ(cancelled[0].kind, DataEvent::Cancel);
    EXPECT_EQ(cancelled[0].transactionId, 0x42u);

    ASSERT_EQ(io2->Read(h, 0x43, &cancelId, errors), S_OK);
    DWORD refreshCancel = 0;
    ASSERT_EQ(io2->Refresh2(OPC_DS_CACHE, 0x44, &refreshCancel), S_OK);
    VARIANT v[] = {VARIANT::I2(5), VARIANT::I2(6)};
    DWORD writeCancel = 0;
    ASSERT_EQ(io2->Write(h, v, 0x45, &writeCancel, errors), S_OK);
    toolkit.poll(10);  // transactions run at once, whatever the rate
    auto done = sink->take();
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[0].kind, DataEvent::Read);
    EXPECT_EQ(done[0].transactionId, 0x43u);
    EXPECT_EQ(done[0].values[1], VARIANT::I2(20));
    EXPECT_EQ(done[1].kind, DataEvent::Data);
    EXPECT_EQ(done[1].transactionId, 0x44u);
    EXPECT_EQ(done[1].items.size(), 2u);
    EXPECT_EQ(done[2].kind, DataEvent::Write);
    EXPECT_EQ(done[2].errors, (std::vector<HRESULT>{S_OK, S_OK}));
    EXPECT_EQ(cb.writes.size(), 2u);
}

TEST_F(GroupTest, AsyncIO1ReadDeliversTheDataStreamLayout)
{
    auto g = addGroup(u"G", 1000, 0xAABBCCDD);
    auto h = addItems(g.get(), {u"PLC1.D100"});
    auto data = g.as<IDataObject>(IID_IDataObject);
    ComPtr<opctest::RecordingAdviseSink> sink(new opctest::RecordingAdviseSink);
    FORMATETC f;
    f.cfFormat = RegisterClipboardFormat("OPCSTMFORMATDATATIME");
    DWORD dataConn = 0, writeConn = 0;
    ASSERT_EQ(data->DAdvise(f, 0, sink.get(), &dataConn), S_OK);
    f.cfFormat = RegisterClipboardFormat("OPCSTMFORMATWRITECOMPLETE");
    ASSERT_EQ(data->DAdvise(f, 0, sink.get(), &writeConn), S_OK);
    toolkit.poll(0);  // the subscription's first update
    sink->list.clear();

    auto io1 = g.as<IOPCAsyncIO>(IID_IOPCAsyncIO);
    DWORD tid = 0;
    std::vector<HRESULT> errors;
    EXPECT_EQ(io1->Read(writeConn, OPC_DS_CACHE, h, &tid, errors), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(io1->Read(dataConn, OPC_DS_CACHE, h, &tid, errors), S_OK);
    toolkit.poll(1);
    ASSERT_EQ(sink->list.size(), 1u);
    EXPECT_EQ(sink->list[0].format, CF_OPCSTMFORMATDATATIME);
    std::vector<BYTE> want = {
        0x38, 0, 0, 0,  1, 0, 0, 0,  0xDD, 0xCC, 0xBB, 0xAA,  BYTE(tid), BYTE(tid >> 8), 0, 0,  0, 0, 0, 0,
        100, 0, 0, 0,  0x28, 0, 0, 0,  0xC0, 0,  0, 0,  0x44, 0x33, 0x22, 0x11, 0x00, 0x00, 0xD0, 0x01,
        0x02, 0, 0, 0, 0, 0, 0, 0,  10, 0, 0, 0, 0, 0, 0, 0,
    };
    EXPECT_EQ(sink->list[0].bytes, want);

    VARIANT v = VARIANT::I2(77);
    ASSERT_EQ(io1->Write(writeConn, h, std::span(&v, 1), &tid, errors), S_OK);
    DWORD cancelled = 0;
    ASSERT_EQ(io1->Refresh(dataConn, OPC_DS_DEVICE, &cancelled), S_OK);
    EXPECT_EQ(io1->Cancel(cancelled), S_OK);
    toolkit.poll(2);
    ASSERT_EQ(sink->list.size(), 2u);
    EXPECT_EQ(sink->list[1].format, CF_OPCSTMFORMATWRITECOMPLETE);
    opc::WriteCompleteContent w;
    ASSERT_EQ(opc::parseWriteCompleteStream(sink->list[1].bytes, w), S_OK);
    EXPECT_EQ(w.transactionId, tid);
    ASSERT_EQ(w.items.size(), 1u);
    EXPECT_EQ(w.items[0].hClient, 100u);
    EXPECT_EQ(w.items[0].error, S_OK);
    EXPECT_EQ(data->DUnadvise(dataConn), S_OK);
    EXPECT_EQ(data->DUnadvise(dataConn), OLE_E_NOCONNECTION);
}

TEST_F(GroupTest, EnumeratesGroupsAndItemAttributes)
{
    auto g1 = addGroup(u"A", 100, 1);
    auto g2 = addGroup(u"B", 100, 2);
    addItems(g1.get(), {u"PLC1.D100", u"PLC1.TEXT"}, VT_R8);
    ComPtr<IUnknown> unk;
    ASSERT_EQ(server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumString, unk.put()), S_OK);
    auto names = ComPtr<IEnumString>::attach(static_cast<IEnumString*>(static_cast<void*>(unk.detach())));
    std::vector<std::u16string> list;
    ASSERT_EQ(opc::drain(names.get(), list), S_OK);
    EXPECT_EQ(list, (std::vector<std::u16string>{u"A", u"B"}));
    ASSERT_EQ(server->CreateGroupEnumerator(OPC_ENUM_PUBLIC, IID_IEnumUnknown, unk.put()), S_FALSE);

    ASSERT_EQ(g1->CreateEnumerator(IID_IEnumOPCItemAttributes, unk.put()), S_OK);
    auto attrs = ComPtr<IEnumOPCItemAttributes>::attach(static_cast<IEnumOPCItemAttributes*>(static_cast<void*>(unk.detach())));
    std::vector<OPCITEMATTRIBUTES> a;
    ASSERT_EQ(opc::drain(attrs.get(), a), S_OK);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].szItemID, u"PLC1.D100");
    EXPECT_EQ(a[0].vtRequestedDataType, VT_R8);
    EXPECT_EQ(a[0].vtCanonicalDataType, VT_I2);
    EXPECT_EQ(a[1].hClient, 101u);
    EXPECT_EQ(g2->CreateEnumerator(IID_IEnumOPCItemAttributes, unk.put()), S_FALSE);
}

TEST_F(GroupTest, BrowsesWithPatternsAndPositions)
{
    auto browse = server.as<IOPCBrowseServerAddressSpace>(IID_IOPCBrowseServerAddressSpace);
    auto list = [&](OPCBROWSETYPE t, const char16_t* filter) {
        ComPtr<IEnumString> e;
        browse->BrowseOPCItemIDs(t, filter, VT_EMPTY, 0, e.put());
        std::vector<std::u16string> out;
        opc::drain(e.get(), out);
        return out;
    };
    EXPECT_EQ(list(OPC_BRANCH, u""), (std::vector<std::u16string>{u"PLC1", u"PLC2"}));
    EXPECT_EQ(list(OPC_FLAT, u"*.D10#"), (std::vector<std::u16string>{u"PLC1.D100", u"PLC1.D101"}));
    EXPECT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_UP, u""), E_FAIL);
    EXPECT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"NOPE"), E_INVALIDARG);
    ASSERT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"PLC1"), S_OK);
    EXPECT_EQ(list(OPC_LEAF, u"D*"), (std::vector<std::u16string>{u"D100", u"D101"}));
    std::u16string id;
    ASSERT_EQ(browse->GetItemID(u"TEXT", id), S_OK);
    EXPECT_EQ(id, u"PLC1.TEXT");

    // Another client's position is its own.
    ComPtr<IOPCServer> other;
    ASSERT_EQ(toolkit.createServer(other.put()), S_OK);
    auto otherBrowse = other.as<IOPCBrowseServerAddressSpace>(IID_IOPCBrowseServerAddressSpace);
    ComPtr<IEnumString> e;
    ASSERT_EQ(otherBrowse->BrowseOPCItemIDs(OPC_BRANCH, u"", VT_EMPTY, 0, e.put()), S_OK);
    EXPECT_EQ(list(OPC_LEAF, u"RO"), (std::vector<std::u16string>{u"RO"}));
    ASSERT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_TO, u"PLC2"), S_OK);
    EXPECT_EQ(list(OPC_LEAF, u""), (std::vector<std::u16string>{u"M0"}));
}

TEST_F(GroupTest, LeavesAreFilteredByTypeAndAccessRights)
{
    auto browse = server.as<IOPCBrowseServerAddressSpace>(IID_IOPCBrowseServerAddressSpace);
    auto list = [&](OPCBROWSETYPE t, VARTYPE vt, DWORD access) {
        ComPtr<IEnumString> e;
        browse->BrowseOPCItemIDs(t, u"", vt, access, e.put());
        std::vector<std::u16string> out;
        opc::drain(e.get(), out);
        return out;
    };
    EXPECT_EQ(list(OPC_FLAT, VT_I2, 0), (std::vector<std::u16string>{u"PLC1.D100", u"PLC1.D101"}));
    EXPECT_EQ(list(OPC_FLAT, VT_EMPTY, OPC_WRITEABLE).size(), 4u);  // all but the read-only one
    ASSERT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"PLC1"), S_OK);
    EXPECT_EQ(list(OPC_LEAF, VT_I4, OPC_READABLE), (std::vector<std::u16string>{u"RO"}));
    EXPECT_EQ(list(OPC_LEAF, VT_BSTR, OPC_WRITEABLE), (std::vector<std::u16string>{u"TEXT"}));
}

TEST_F(GroupTest, ReadsItemProperties)
{
    auto props = server.as<IOPCItemProperties>(IID_IOPCItemProperties);
    std::vector<DWORD> ids;
    std::vector<std::u16string> descriptions;
    std::vector<VARTYPE> types;
    ASSERT_EQ(props->QueryAvailableProperties(u"PLC1.D100", ids, descriptions, types), S_OK);
    EXPECT_EQ(ids, (std::vector<DWORD>{1, 2, 3, 4, 5, 101}));
    EXPECT_EQ(types[1], VT_I2);
    EXPECT_EQ(props->QueryAvailableProperties(u"NOPE", ids, descriptions, types), OPC_E_UNKNOWNITEMID);
    DWORD want[] = {1, 5, 999};
    std::vector<VARIANT> values;
    std::vector<HRESULT> errors;
    ASSERT_EQ(props->GetItemProperties(u"PLC1.D100", want, values, errors), S_FALSE);
    EXPECT_EQ(values[0], VARIANT::I2(VT_I2));
    EXPECT_EQ(values[1], VARIANT::I4(3));
    EXPECT_EQ(errors[2], OPC_E_INVALID_PID);
}

TEST_F(GroupTest, StatusAndErrorStrings)
{
    OPCSERVERSTATUS st;
    addGroup(u"A", 100, 1);
    ASSERT_EQ(server->GetStatus(st), S_OK);
    EXPECT_EQ(st.dwServerState, OPC_STATUS_RUNNING);
    EXPECT_EQ(st.dwGroupCount, 1u);
    EXPECT_EQ(st.szVendorInfo, u"Scripted Vendor");
    EXPECT_EQ(st.ftStartTime, (FILETIME{0x12345678, 0x01DA0000}));
    clock.advance(1000);
    ASSERT_EQ(server->GetStatus(st), S_OK);
    EXPECT_EQ(com::toTicks(st.ftCurrentTime) - com::toTicks(st.ftStartTime), 1000u * 10000u);
    std::u16string text;
    ASSERT_EQ(server->GetErrorString(OPC_E_UNKNOWNITEMID, 0, text), S_OK);
    EXPECT_FALSE(text.empty());
}

TEST_F(GroupTest, RemovedGroupStillHeldKeepsItsItemsUntilItsLastReference)
{
    auto g = addGroup(u"A", 100, 1);
    addItems(g.get(), {u"PLC1.D100"});
    EXPECT_EQ(cb.tag("PLC1.D100")->m_nUseCount, 1);
    EXPECT_EQ(server->RemoveGroup(groupHandle, FALSE), OPC_S_INUSE);  // we still hold g
    EXPECT_EQ(cb.tag("PLC1.D100")->m_nUseCount, 1);
    std::vector<HRESULT> errors;
    std::vector<OPCITEMSTATE> values;
    OPCHANDLE h[] = {1};
    EXPECT_EQ(g.as<IOPCSyncIO>(IID_IOPCSyncIO)->Read(OPC_DS_CACHE, h, values, errors), E_FAIL);
    auto again = addGroup(u"A", 100, 2);  // the name is free again
    EXPECT_TRUE(again);
    g.reset();
    EXPECT_EQ(cb.tag("PLC1.D100")->m_nUseCount, 0);
}

TEST_F(GroupTest, ForcedRemovalHandsTheItemsBackAtOnce)
{
    auto g = addGroup(u"A", 100, 1);
    addItems(g.get(), {u"PLC1.D100"});
    EXPECT_EQ(server->RemoveGroup(groupHandle, TRUE), S_OK);
    EXPECT_EQ(cb.tag("PLC1.D100")->m_nUseCount, 0);
    std::vector<HRESULT> errors;
    OPCHANDLE h[] = {1};
    EXPECT_EQ(g->SetActiveState(h, TRUE, errors), E_FAIL);
}

TEST_F(GroupTest, RemovingAnUnheldGroupDeletesIt)
{
    addItems(addGroup(u"A", 100, 1).get(), {u"PLC1.D100"});
    EXPECT_EQ(server->RemoveGroup(groupHandle, FALSE), S_OK);
    EXPECT_EQ(cb.tag("PLC1.D100")->m_nUseCount, 0);
}

TEST_F(GroupTest, RemoveGroupOverlappingAddItemsNeitherDeadlocksNorLeaksTags)
{
    for (int round = 0; round < 200; ++round) {
        auto g = addGroup(u"Busy", 100, 1);
        const OPCHANDLE handle = groupHandle;
        std::atomic<bool> go{false};
        auto adder = std::async(std::launch::async, [&] {
            while (!go) std::this_thread::yield();
            std::vector<OPCITEMDEF> defs(1);
            defs[0].szItemID = u"PLC1.D100";
            std::vector<OPCITEMRESULT> results;
            std::vector<HRESULT> errors;
            while (SUCCEEDED(g->AddItems(defs, results, errors))) {
            }
        });
        go = true;
        EXPECT_TRUE(SUCCEEDED(server->RemoveGroup(handle, TRUE)));
        if (adder.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "AddItems and RemoveGroup wait for each other";
            std::abort();  // the two threads hold each other's lock: nothing can end them
        }
        g.reset();
        ASSERT_EQ(cb.tag("PLC1.D100")->m_nUseCount, 0) << "round " << round;
    }
}

TEST_F(GroupTest, StopSendsShutdownThenRefusesCallsAndReleasesTags)
{
    auto g = addGroup(u"A", 100, 1);
    auto h = addItems(g.get(), {u"PLC1.D100"});
    auto cpc = server.as<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(cpc->FindConnectionPoint(IID_IOPCShutdown, cp.put()), S_OK);
    ComPtr<opctest::RecordingShutdown> sink(new opctest::RecordingShutdown);
    DWORD cookie = 0;
    ASSERT_EQ(cp->Advise(sink.get(), &cookie), S_OK);
    EXPECT_EQ(cb.connects, 1);

    toolkit.stop(u"bye");
    ASSERT_EQ(sink->reasons.size(), 1u);
    EXPECT_EQ(sink->reasons[0], u"bye");
    EXPECT_EQ(cb.tag("PLC1.D100")->m_nUseCount, 0);
    EXPECT_EQ(cb.disconnects, 1);
    EXPECT_EQ(cb.lastServerCount, 1u);  // asked from inside stop
    EXPECT_EQ(cb.fsGetServerCount(), 0u);
    std::vector<OPCITEMSTATE> values;
    std::vector<HRESULT> errors;
    EXPECT_EQ(g.as<IOPCSyncIO>(IID_IOPCSyncIO)->Read(OPC_DS_CACHE, h, values, errors), CO_E_SERVER_STOPPING);
    OPCSERVERSTATUS st;
    EXPECT_EQ(server->GetStatus(st), CO_E_SERVER_STOPPING);
    ComPtr<IOPCServer> late;
    EXPECT_EQ(toolkit.createServer(late.put()), CO_E_SERVER_STOPPING);
}

TEST_F(GroupTest, ReleasingTheServerTellsTheCallbackOnce)
{
    auto g = addGroup(u"A", 100, 1);
    addItems(g.get(), {u"PLC1.D100"});
    server.reset();
    EXPECT_EQ(cb.disconnects, 1);
    EXPECT_EQ(cb.tag("PLC1.D100")->m_nUseCount, 0);
    g.reset();
    EXPECT_EQ(cb.disconnects, 1);
}

// A client that connects while the server program has not yet handed over its
// callback (start-up) is counted once it does, so its going is seen as any other's.
TEST_F(GroupTest, AClientThatCameBeforeTheCallbackIsCountedAndItsGoingSeen)
{
    toolkit.setCallback(nullptr);
    ComPtr<IOPCServer> early;
    ASSERT_EQ(toolkit.createServer(early.put()), S_OK);
    const int before = cb.connects;
    toolkit.setCallback(&cb);
    EXPECT_EQ(cb.connects, before + 1);
    toolkit.setCallback(&cb);   // told once
    EXPECT_EQ(cb.connects, before + 1);
    early.reset();
    EXPECT_EQ(cb.disconnects, 1);
}

} // namespace
