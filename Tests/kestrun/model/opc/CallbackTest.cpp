#include "kestrun/model/opc/Callback.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "BridgeFixture.h"
#include "kestrun/options/EngineCounters.h"
#include "kestrun/options/ServerOptions.h"
#include "platform/com/Bstr.h"
#include "platform/com/Time.h"
#include "support/OptionScope.h"

namespace {

using bridgetest::BridgeDevice;
using bridgetest::BridgeTest;
using bridgetest::FakeSystemDevice;
using testsupport::OptionScope;

class CallbackTest : public BridgeTest {
protected:
    void SetUp() override
    {
        BridgeTest::SetUp();
        plc1 = AddDevice("PLC1", "A");
        words = AddBlock(plc1, "", "D100", BRISANT_WORD, 6, {"D100", "D101", "D102", "D103", "D104", "D105"});
        bools = AddBlock(plc1, "FLAGS", "M0", BRISANT_BOOL, 1, {"RUN"});
        texts = AddBlock(plc1, "", "D200", BRISANT_STRING, 1, {"NAME"});
        counted = AddBlock(plc1, "", "D300", BRISANT_FIXEDSTRING, 1, {"LABEL"});
        mixed = AddBlock(plc1, "", "D400", BRISANT_CHAR, 6, {"C", "W", "DW", "F", "S", "L"});
        Point(mixed, 1)->SetDataType(BRISANT_WORD);
        Point(mixed, 2)->SetDataType(BRISANT_DWORD);
        Point(mixed, 3)->SetDataType(BRISANT_FLOAT);
        Point(mixed, 4)->SetDataType(BRISANT_SHORT);
        Point(mixed, 5)->SetDataType(BRISANT_LONG);
        callback.SetDeviceMap(map.get());
    }

    CfsMemoryTag* Add(const std::string& id, const std::string& path = {})
    {
        return static_cast<CfsMemoryTag*>(callback.CreateTag(id, path, {}));
    }

    void Remove(CTag* tag)
    {
        CTag* one[] = {tag};
        callback.RemoveTags(one);
    }

    std::vector<bridgetest::QueuedWrite>& Writes() { return link.queue->writes; }

    BridgeDevice* plc1 = nullptr;
    CdsMemoryArray* words = nullptr;
    CdsMemoryArray* bools = nullptr;
    CdsMemoryArray* texts = nullptr;
    CdsMemoryArray* counted = nullptr;
    CdsMemoryArray* mixed = nullptr;
};

// --- update rates and fixed answers ---

TEST(CallbackRates, RequestsOfTenOrLessBecomeTen)
{
    CfsCallback callback;
    const DWORD cases[][2] = {{0, 10}, {1, 10}, {10, 10}, {11, 11}, {100, 100}, {60000, 60000}};
    for (const auto& c : cases)
        EXPECT_EQ(callback.ReviseUpdateRate(c[0]), c[1]) << c[0];
}

TEST(CallbackTexts, ErrorAndVendorTexts)
{
    CfsCallback callback;
    EXPECT_EQ(callback.GetErrorString(E_FAIL), "Error");
    EXPECT_EQ(callback.GetVendorName(), "Zendry Software Inc.");
    callback.SetServerCompany("Tessaro Works");
    EXPECT_EQ(callback.GetVendorName(), "Tessaro Works");
}

TEST(CallbackTexts, ExtendedTypesFollowTheOption)
{
    CfsCallback callback;
    {
        OptionScope on(CdsServerOptions::g_bExtendedDataTypeAsFloat, 1);
        EXPECT_TRUE(callback.GetExtendedDataTypeAsFloat());
    }
    OptionScope off(CdsServerOptions::g_bExtendedDataTypeAsFloat, 0);
    EXPECT_FALSE(callback.GetExtendedDataTypeAsFloat());
}

// --- tags ---

TEST_F(CallbackTest, AddedTagsAreBoundCountedAndActivateTheirBlock)
{
    CfsMemoryTag* tag = Add("PLC1.D101");
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->GetPoint(), Point(words, 1));
    EXPECT_EQ(tag->GetUseCount(), 2);  // the point's and the client's
    EXPECT_EQ(words->GetUseCount(), 1);
    EXPECT_EQ(Add("plc1.d101"), tag);
    EXPECT_EQ(tag->GetUseCount(), 3);
    EXPECT_EQ(words->GetUseCount(), 2);
    EXPECT_EQ(callback.GetTagName(tag), "D101");
    EXPECT_EQ(tag->m_vtCanonical, VT_UI2);
    EXPECT_EQ(tag->m_wAccessRights, 3);

    Remove(tag);
    Remove(tag);
    EXPECT_EQ(tag->GetUseCount(), 1);
    EXPECT_EQ(words->GetUseCount(), 0);
}

TEST_F(CallbackTest, EveryFormOfAnItemIdFindsItsPoint)
{
    // The key names of D400's points are C, W ...; the address form names them too.
    struct Case { const char* id; const char* path; CdsMemoryObject* point; const char* shortName; const char* itemId; };
    const Case cases[] = {
        {"PLC1.FLAGS.RUN", "", Point(bools, 0), "RUN", "PLC1.FLAGS.RUN"},
        {"[PLC1]D100", "", Point(words, 0), "D100", "PLC1.D100"},
        {"[PLC1]D400:2", "", Point(mixed, 2), "DW", "PLC1.DW"},
        {"PLC1.D400:3", "", Point(mixed, 3), "F", "PLC1.F"},
        {"D400:4", "PLC1", Point(mixed, 4), "S", "PLC1.S"},
    };
    for (const Case& c : cases) {
        CfsMemoryTag* tag = Add(c.id, c.path);
        ASSERT_NE(tag, nullptr) << c.id;
        EXPECT_EQ(tag->GetPoint(), c.point) << c.id;
        // A tag keeps the names the tree gave it, whatever id reached it.
        EXPECT_EQ(tag->GetShortName(), c.shortName) << c.id;
        EXPECT_EQ(tag->GetItemId(), c.itemId) << c.id;
        Remove(tag);
    }
}

TEST_F(CallbackTest, AnUnknownItemIsReportedWhenActionsAreViewed)
{
    OptionScope view(CdsServerOptions::g_bViewActions, 1);
    EXPECT_EQ(Add("PLC9.D1", "PLC9"), nullptr);
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0].code, HINT_ACTION_FAILED);
    EXPECT_EQ(hints[0].item, "PLC9.D1");
    EXPECT_EQ(hints[0].topic, "PLC9");
}

TEST_F(CallbackTest, RemovingATagWhosePointIsGoneIsSafe)
{
    CfsMemoryTag* tag = Add("PLC1.D105");
    ASSERT_NE(tag, nullptr);
    callback.SetDeviceMap(nullptr);
    words->DestroyMemoryObject(5);  // the client still holds the tag
    EXPECT_EQ(tag->GetPoint(), nullptr);
    EXPECT_EQ(callback.ReadTag(tag), E_FAIL);
    EXPECT_EQ(callback.WriteTag(tag, VARIANT::UI2(1)), E_FAIL);
    Remove(tag);  // the last reference: the tag goes (the sanitizer checks)
    EXPECT_EQ(words->GetUseCount(), 1);  // no Shutdown for a point that is gone
}

TEST_F(CallbackTest, TagInfoGivesTypeAndRights)
{
    bools->SetClientWriteAccess(FALSE);
    callback.SetDeviceMap(map.get());
    struct Case { const char* id; HRESULT hr; VARTYPE vt; DWORD rights; };
    const Case cases[] = {
        {"PLC1.D100", S_OK, VT_UI2, 3},
        {"PLC1.FLAGS.RUN", S_OK, VT_BOOL, 1},
        {"[PLC1]D200:0", S_OK, VT_BSTR, 3},
        {"PLC1.NOPE", OPC_E_UNKNOWNITEMID, VT_EMPTY, 0},
    };
    for (const Case& c : cases) {
        VARTYPE vt = VT_I8;
        DWORD rights = 99;
        EXPECT_EQ(callback.GetTagInfo(c.id, vt, rights), c.hr) << c.id;
        EXPECT_EQ(vt, c.vt) << c.id;
        EXPECT_EQ(rights, c.rights) << c.id;
    }
}

// --- properties ---

TEST_F(CallbackTest, AvailablePropertiesCutToTheCount)
{
    DWORD count = 0;
    CTag* tag = nullptr;
    ASSERT_EQ(callback.FindTag("[PLC1]D100", count, tag), S_OK);
    EXPECT_EQ(count, 6u);
    std::vector<DWORD> ids;
    std::vector<std::u16string> descriptions;
    std::vector<VARTYPE> types;
    ASSERT_EQ(callback.QueryAvailableProperties(count, tag, ids, descriptions, types), S_OK);
    EXPECT_EQ(ids, (std::vector<DWORD>{1, 2, 3, 4, 5, 101}));
    EXPECT_EQ(types, (std::vector<VARTYPE>{VT_I2, VT_UI2, VT_I2, VT_DATE, VT_I4, VT_BSTR}));
    std::vector<std::string> texts;
    for (const auto& d : descriptions)
        texts.push_back(com::fromBstr(d));
    EXPECT_EQ(texts, (std::vector<std::string>{"Item Canonical DataType", "Item Value", "Item Quality",
                                               "Item Timestamp", "Item Access Rights", "Item Description"}));

    ASSERT_EQ(callback.QueryAvailableProperties(2, tag, ids, descriptions, types), S_OK);
    EXPECT_EQ(ids, (std::vector<DWORD>{1, 2}));
    EXPECT_EQ(callback.QueryAvailableProperties(6, nullptr, ids, descriptions, types), OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(callback.FindTag("PLC1.NOPE", count, tag), OPC_E_UNKNOWNITEMID);
}

TEST_F(CallbackTest, PropertyValuesOfAnyAddableId)
{
    CfsMemoryTag* tag = Point(mixed, 1)->GetMemoryTag();
    FILETIME stamp = com::toFileTime(std::chrono::system_clock::now());
    tag->UpdateValue(VARIANT::UI2(321), stamp);
    tag->SetQuality(192);
    bools->SetClientWriteAccess(FALSE);  // property 5 reads 3 whatever the rights

    const DWORD ids[] = {1, 2, 3, 4, 5, 101, 6, 7, 0};
    for (const char* id : {"PLC1.W", "[PLC1]D400:1", "PLC1.D400:1"}) {
        std::vector<VARIANT> values(std::size(ids));
        std::vector<HRESULT> errors(std::size(ids), E_FAIL);
        ASSERT_EQ(callback.GetItemProperties(id, ids, values, errors), S_OK) << id;
        EXPECT_EQ(values[0], VARIANT::I2(VT_UI2)) << id;
        EXPECT_EQ(values[1], VARIANT::UI2(321)) << id;
        EXPECT_EQ(values[2], VARIANT::I2(192)) << id;
        ASSERT_EQ(values[3].vt(), VT_DATE) << id;
        FILETIME local{};
        DATE expected = 0;
        ASSERT_TRUE(com::fileTimeToLocalFileTime(stamp, local));
        ASSERT_TRUE(com::fileTimeToDate(local, expected));
        EXPECT_DOUBLE_EQ(values[3].date(), expected) << id;
        EXPECT_EQ(values[4], VARIANT::I4(3)) << id;
        EXPECT_EQ(values[5], VARIANT::String("W")) << id;
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(errors[i], S_OK) << id << " " << ids[i];
        for (int i = 6; i < 9; ++i) {
            EXPECT_EQ(errors[i], OPC_E_INVALID_PID) << id << " " << ids[i];
            EXPECT_EQ(values[i].vt(), VT_EMPTY) << id << " " << ids[i];
        }
    }
    std::vector<VARIANT> values(1);
    std::vector<HRESULT> errors(1);
    const DWORD one[] = {1};
    EXPECT_EQ(callback.GetItemProperties("PLC1.NOPE", one, values, errors), OPC_E_UNKNOWNITEMID);
}

TEST_F(CallbackTest, NoPropertyHasAnItemIdOfItsOwn)
{
    std::u16string text = u"stale";
    for (DWORD id : {1u, 2u, 5u, 101u, 4711u}) {
        EXPECT_EQ(callback.LookupItemID("PLC1.D100", id, text), OPC_E_INVALID_PID) << id;
        EXPECT_TRUE(text.empty());
    }
    EXPECT_EQ(callback.LookupItemID("PLC1.NOPE", 101, text), OPC_E_UNKNOWNITEMID);
}

// --- reads ---

TEST_F(CallbackTest, ReadsOfBoundTagsCountForTheWatchdog)
{
    CfsMemoryTag* tag = Add("PLC1.D100");
    Point(words, 0)->GetMemoryTag()->UpdateValue(VARIANT::UI2(7), FILETIME{});
    CTag* tags[] = {tag};
    std::vector<CTagState> states;
    std::vector<HRESULT> errors;
    const ULONG updates = CdsEngineCounters::m_nWdogUpdating.load();
    EXPECT_EQ(callback.Read(tags, states, errors), S_OK);
    EXPECT_EQ(states[0].value, VARIANT::UI2(7));
    EXPECT_EQ(CdsEngineCounters::m_nWdogUpdating.load() - updates, 1u);
    EXPECT_EQ(callback.ReadTag(tag), S_OK);
    Remove(tag);
}

// --- writes ---

struct WriteCase {
    const char* name;
    const char* item;
    VARIANT value;
    int asFloat;
    HRESULT hr;
    ULONGLONG bits;  // the queued cell, masked to the point's width
    ULONGLONG mask;
};

class CallbackWriteTest : public CallbackTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(CallbackWriteTest, ValueReachesTheQueueInThePointsType)
{
    const WriteCase& c = GetParam();
    OptionScope asFloat(CdsServerOptions::g_bExtendedDataTypeAsFloat, c.asFloat);
    CfsMemoryTag* tag = Add(c.item);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(callback.WriteTag(tag, c.value), c.hr);
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0].code, SUCCEEDED(c.hr) ? HINT_WRITE_QUEUED : HINT_WRITE_REFUSED);
    EXPECT_EQ(hints[0].object, tag->GetPoint());
    EXPECT_EQ(hints[0].number, tag->GetPoint()->GetDataType());
    if (SUCCEEDED(c.hr)) {
        ASSERT_EQ(Writes().size(), 1u);
        EXPECT_EQ(Writes()[0].point, tag->GetPoint());
        EXPECT_EQ(Writes()[0].bits & c.mask, c.bits);
        EXPECT_EQ(hints[0].bits & c.mask, c.bits);
    } else {
        EXPECT_TRUE(Writes().empty());
    }
    Remove(tag);
}

ULONGLONG FloatBits(float f)
{
    DWORD bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

const WriteCase kWrites[] = {
    {"BoolTrue", "PLC1.FLAGS.RUN", VARIANT::Bool(true), 0, S_OK, 1, 0xFFFF},
    {"BoolFalse", "PLC1.FLAGS.RUN", VARIANT::Bool(false), 0, S_OK, 0, 0xFFFF},
    {"Word", "PLC1.D100", VARIANT::UI2(54321), 0, S_OK, 54321, 0xFFFF},
    {"Char", "PLC1.C", VARIANT::I1(-3), 0, S_OK, 0xFD, 0xFF},
    {"DWord", "PLC1.DW", VARIANT::UI4(4000000000u), 0, S_OK, 4000000000u, 0xFFFFFFFF},
    {"Long", "PLC1.L", VARIANT::I4(-2), 0, S_OK, 0xFFFFFFFE, 0xFFFFFFFF},
    {"FloatOff", "PLC1.F", VARIANT::R4(1.5f), 0, S_OK, FloatBits(1.5f), 0xFFFFFFFF},
    {"FloatOn", "PLC1.F", VARIANT::R4(1.5f), 1, S_OK, FloatBits(1.5f), 0xFFFFFFFF},
    {"AsFloatToChar", "PLC1.C", VARIANT::R4(300.7f), 1, S_OK, 300 & 0xFF, 0xFF},
    {"AsFloatToWord", "PLC1.W", VARIANT::R4(70000.0f), 1, S_OK, 70000 & 0xFFFF, 0xFFFF},
    {"AsFloatToDWord", "PLC1.DW", VARIANT::R4(1e9f), 1, S_OK, 1000000000u, 0xFFFFFFFF},
    {"AsFloatToShort", "PLC1.S", VARIANT::R4(-2.9f), 1, S_OK, 0xFFFE, 0xFFFF},
    {"AsFloatToLong", "PLC1.L", VARIANT::R4(-100000.0f), 1, S_OK, 0xFFFE7960, 0xFFFFFFFF},
    {"AsFloatToBool", "PLC1.FLAGS.RUN", VARIANT::R4(2.0f), 1, S_OK, 1, 0xFFFF},
    {"AsFloatNaN", "PLC1.W", VARIANT::R4(std::numeric_limits<float>::quiet_NaN()), 1, S_OK, 0, 0xFFFF},
    {"DateRefused", "PLC1.D100", VARIANT::Date(45000.5), 0, E_FAIL, 0, 0},
    {"NumberToTextRefused", "PLC1.NAME", VARIANT::UI2(1), 0, E_FAIL, 0, 0},
    {"TextToNumberRefused", "PLC1.D100", VARIANT::String("12"), 0, E_FAIL, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Writes, CallbackWriteTest, ::testing::ValuesIn(kWrites),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CallbackTest, TextsOfEveryLengthArriveWhole)
{
    CfsMemoryTag* text = Add("PLC1.NAME");
    CfsMemoryTag* label = Add("PLC1.LABEL");
    const char* sequence[] = {"ABCDEFGH", "XY", "", "A LONGER TEXT THAN EVER BEFORE"};
    for (const char* value : sequence) {
        EXPECT_EQ(callback.WriteTag(text, VARIANT::String(value)), S_OK) << value;
        EXPECT_EQ(callback.WriteTag(label, VARIANT::String(value)), S_OK) << value;
    }
    ASSERT_EQ(Writes().size(), 8u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(Writes()[2 * i].type, BRISANT_STRING);
        EXPECT_EQ(Writes()[2 * i].text, sequence[i]);
        EXPECT_EQ(Writes()[2 * i + 1].type, BRISANT_FIXEDSTRING);
        EXPECT_EQ(Writes()[2 * i + 1].text, sequence[i]);
        EXPECT_EQ(hints[2 * i].text, sequence[i]);
    }
    Remove(text);
    Remove(label);
}

TEST_F(CallbackTest, ARefusedWriteIsReportedAsRefused)
{
    CfsMemoryTag* tag = Add("PLC1.D100");
    link.queue->refuse = true;
    EXPECT_EQ(callback.WriteTag(tag, VARIANT::UI2(1)), E_FAIL);
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0].code, HINT_WRITE_REFUSED);
    link.queue->refuse = false;
    words->SetWriteAllowed(FALSE);
    EXPECT_EQ(callback.WriteTag(tag, VARIANT::UI2(1)), E_FAIL);
    Remove(tag);
}

// A write the device can never send is refused at once with the error for an item
// that may not be written, and the item says it is read-only.
TEST_F(CallbackTest, AWriteTheDeviceCanNeverSendIsRefusedAsBadRightsAndTheItemIsReadOnly)
{
    plc1->refusedBlock = words;
    plc1->refusal = "block Doubles: Double values cannot be written to this PLC";
    CfsMemoryTag* tag = Add("PLC1.D100");
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->m_wAccessRights, 1);
    EXPECT_EQ(callback.WriteTag(tag, VARIANT::UI2(1)), OPC_E_BADRIGHTS);
    EXPECT_TRUE(Writes().empty());
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0].code, HINT_WRITE_REFUSED);
    EXPECT_EQ(hints[0].reason, plc1->refusal);
    // Other blocks of the device are written as ever.
    CfsMemoryTag* run = Add("PLC1.FLAGS.RUN");
    EXPECT_EQ(run->m_wAccessRights, 3);
    EXPECT_EQ(callback.WriteTag(run, VARIANT::Bool(true)), S_OK);
    EXPECT_EQ(Writes().size(), 1u);
    Remove(tag);
    Remove(run);
}

TEST_F(CallbackTest, AnUnboundTagsWriteIsRefusedWithItsTypeFromTheCanonicalType)
{
    CfsMemoryTag* tag = Add("PLC1.DW");
    mixed->DestroyMemoryObject(2);
    EXPECT_EQ(callback.WriteTag(tag, VARIANT::UI4(1)), E_FAIL);
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0].code, HINT_WRITE_REFUSED);
    EXPECT_EQ(hints[0].number, BRISANT_DWORD);
    EXPECT_EQ(hints[0].object, nullptr);
    Remove(tag);
}

TEST(CallbackTypes, DataTypeOfEachCanonicalType)
{
    const std::pair<VARTYPE, int> cases[] = {
        {VT_I2, 3}, {VT_I4, 5}, {VT_R4, 7}, {VT_R8, 8}, {VT_BSTR, 10}, {VT_NULL, 10}, {VT_BOOL, 0},
        {VT_I1, 1}, {VT_UI1, 2}, {VT_UI2, 4}, {VT_UI4, 6}, {VT_DATE, -1}, {VT_EMPTY, -1}, {VT_I8, -1},
    };
    for (const auto& [vt, type] : cases)
        EXPECT_EQ(DataTypeOfVarType(vt), type) << vt;
}

// --- status points and server commands ---

class CallbackCommandTest : public CallbackTest {
protected:
    CfsMemoryTag* StatusPoint(CdsDeviceObject* device, const std::string& name)
    {
        CdsMemoryArray* block = AddBlock(device, "", "$Array", BRISANT_SHORT, 1, {name});
        block->SetSystemArray(TRUE);
        block->SetWriteAllowed(FALSE);
        Point(block, 0)->SetSystemObject(TRUE);
        callback.SetDeviceMap(map.get());
        return Add(device->m_strName + "." + name);
    }
};

TEST_F(CallbackCommandTest, TheServersCommandsReportWhatTheyDid)
{
    auto* system = new FakeSystemDevice;
    system->m_strPort = "$Virtual";
    system->m_strAddress = "$Device";
    ASSERT_EQ(map->AddDeviceObject(system), system);
    CfsMemoryTag* tag = StatusPoint(system, "$DOONLINE");
    ASSERT_NE(tag, nullptr);

    EXPECT_EQ(callback.WriteTag(tag, VARIANT::I2(1)), S_OK);
    system->handles = 0;
    EXPECT_EQ(callback.WriteTag(tag, VARIANT::I2(1)), E_FAIL);
    EXPECT_EQ(system->commands, (std::vector<ULONGLONG>{1, 1}));
    ASSERT_EQ(hints.size(), 2u);
    EXPECT_EQ(hints[0].code, HINT_WRITE_QUEUED);
    EXPECT_EQ(hints[1].code, HINT_WRITE_REFUSED);
    EXPECT_TRUE(Writes().empty());
    Remove(tag);
}

TEST_F(CallbackCommandTest, ADevicesStatusPointTakesTheCommandOrRefusesTheWrite)
{
    CfsMemoryTag* tag = StatusPoint(plc1, "$ACTVLINE");
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(callback.WriteTag(tag, VARIANT::I2(2)), S_OK);
    plc1->handles = 0;  // not taken: an ordinary write, which the status block refuses
    EXPECT_EQ(callback.WriteTag(tag, VARIANT::I2(3)), E_FAIL);
    EXPECT_EQ(plc1->commands, (std::vector<ULONGLONG>{2, 3}));
    EXPECT_TRUE(Writes().empty());
    Remove(tag);
}

// --- clients and items ---

TEST_F(CallbackTest, ItemCountNeverGoesBelowZero)
{
    EXPECT_TRUE(callback.OnAddItem(nullptr));
    EXPECT_TRUE(callback.OnAddItem(nullptr));
    callback.OnRemoveItem(nullptr);
    callback.OnRemoveItem(nullptr);
    callback.OnRemoveItem(nullptr);
    EXPECT_EQ(callback.GetItemCount(), 0);
}

TEST_F(CallbackTest, ActivationIsShownWhenActionsAreViewed)
{
    CfsMemoryTag* tag = Add("PLC1.FLAGS.RUN");
    callback.OnActivateItem(tag, TRUE);
    EXPECT_TRUE(hints.empty());
    OptionScope view(CdsServerOptions::g_bViewActions, 1);
    callback.OnActivateItem(tag, TRUE);
    callback.OnActivateItem(tag, FALSE);
    ASSERT_EQ(hints.size(), 2u);
    EXPECT_EQ(hints[0].code, HINT_ITEM_ACTIVE);
    EXPECT_EQ(hints[1].code, HINT_ITEM_INACTIVE);
    EXPECT_EQ(hints[1].item, "PLC1.FLAGS.RUN");
    Remove(tag);
}

TEST(CallbackClients, LastClientLeavingClosesTheServerWithAutoClose)
{
    for (int autoClose : {1, 0}) {
        OptionScope option(CdsServerOptions::g_bAutoCloseOnNoClient, autoClose);
        OptionScope confirm(CdsServerOptions::g_bConfirmOnQuit, 1);
        CfsCallback callback;
        EXPECT_TRUE(callback.OnClientConnect(nullptr));
        EXPECT_TRUE(callback.OnClientConnect(nullptr));
        EXPECT_EQ(callback.OnClientDisconnect(nullptr), 1);
        EXPECT_FALSE(callback.OnTimer());
        EXPECT_EQ(callback.OnClientDisconnect(nullptr), autoClose);
        EXPECT_EQ(callback.OnTimer(), autoClose == 1);
        EXPECT_EQ(CdsServerOptions::g_bConfirmOnQuit.load(), autoClose ? 0 : 1);
        EXPECT_FALSE(callback.OnTimer());  // asked once
        EXPECT_EQ(callback.OnClientDisconnect(nullptr), autoClose);  // no count below 0
        EXPECT_EQ(callback.GetClientCount(), 0);
    }
}

} // namespace
