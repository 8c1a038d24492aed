// Event triggers: the generated write values, text turned into values, and events
// acting on their timers against the bundled server (only for active groups, Boolean and
// array items, synchronous and asynchronous writes).
#include "quillet/RealServerFixture.h"

#include "quillet/doc/GroupEvent.h"
#include "quillet/forms/ItemForms.h"
#include "quillet/text/VariantText.h"

namespace {

TEST(EventValues, SequenceRunsFromOneOneWrapsAt32BitsAndStartsOverAfter500Writes)
{
    CEventValueGenerator generator;
    std::vector<std::string> first;
    for (int i = 0; i < 5; ++i) first.push_back(generator.NextWriteText());
    EXPECT_EQ(first, (std::vector<std::string>{"2", "3", "5", "8", "13"}));
    for (int i = 5; i < 500; ++i) generator.NextWriteText();
    EXPECT_EQ(generator.NextWriteText(), "2");  // the 501st
    CValueSequence wrapping, positive(true);
    LONG w = 0, p = 0;
    for (int i = 0; i < 45; ++i) w = wrapping.Next(), p = positive.Next();
    EXPECT_EQ(w, -1323752223);  // 1836311903 + 1134903170 wrapped
    EXPECT_EQ(p, 1323752223);
}

TEST(EventValues, TextBecomesAValueOfTheRequestedType)
{
    const std::tuple<const char*, VARTYPE, VARIANT> cases[] = {
        {"-7", VT_I2, VARIANT::I2(-7)},           {"70000", VT_I2, VARIANT::I2(4464)},  // the low 16 bits
        {" 12abc", VT_I4, VARIANT::I4(12)},       {"x", VT_I4, VARIANT::I4(0)},
        {"300", VT_UI1, VARIANT::UI1(44)},        {"-1", VT_I1, VARIANT::I1(-1)},
        {"4294967295", VT_UI4, VARIANT::UI4(0xFFFFFFFF)}, {"9000000000", VT_I8, VARIANT::I8(9000000000)},
        {"1.5e3x", VT_R8, VARIANT::R8(1500)},     {"0.25", VT_R4, VARIANT::R4(0.25f)},
        {"on", VT_BOOL, VARIANT::Bool(true)},     {"T", VT_BOOL, VARIANT::Bool(true)},
        {"yes", VT_BOOL, VARIANT::Bool(false)},   {"2", VT_BOOL, VARIANT::Bool(false)},
        {"text", VT_BSTR, VARIANT::String("text")}, {"1", VT_DATE, VARIANT()},
    };
    for (const auto& [text, vt, value] : cases) EXPECT_EQ(quillet::TextToVariant(text, vt), value) << text;
}

class Events : public quillettest::ServerWindow {
protected:
    void SetUp() override
    {
        ServerWindow::SetUp();
        if (!doc) return;
        group = &AddGroup(*doc, ADVISE_CONNECTIONPOINT);
        std::vector<std::unique_ptr<CItem>> items;
        for (const char* id : {"PLC1.D100", "PLC1.D101"}) {
            items.push_back(std::make_unique<CItem>(*doc));
            items.back()->SetItemID(id);
        }
        frame->Items().AddItemsToServer(*group, std::move(items));
    }
    CGroupEvent& AddEvent(DWORD type, std::vector<std::string> ids, DWORD intervalMs, BOOL onlyIfActive = FALSE,
                          CGroup* on = nullptr)
    {
        CGroup& g = on ? *on : *group;
        std::vector<OPCHANDLE> handles;
        for (auto& id : ids) handles.push_back(Item(g, id).GetClientHandle());
        g.Events().push_back(std::make_unique<CGroupEvent>(type, "E", handles, intervalMs, g,
                                                           frame->Groups().Window(), onlyIfActive));
        return *g.Events().back();
    }
    // Items added as the item view adds them (with their canonical types).
    void AddViewItems(CGroup& g, std::vector<std::string> ids)
    {
        std::vector<std::unique_ptr<CItem>> items;
        for (const std::string& id : ids) {
            items.push_back(std::make_unique<CItem>(*doc));
            items.back()->SetItemID(id);
        }
        frame->Items().AddItemsToServer(g, std::move(items));
    }
    const CValueSet& Values(const char* id, ValueRoad road, CGroup* on = nullptr)
    {
        return Item(on ? *on : *group, id).Values(road);
    }

    CGroup* group = nullptr;
};

TEST_F(Events, ReadWriteAndToggleActOnTheirIntervalsWithGeneratedValues)
{
    AddEvent(EVENT_SYNC_WRITE, {"PLC1.D100"}, 1000);
    AddEvent(EVENT_SYNC_READ_DEVICE, {"PLC1.D101"}, 1500);
    AddEvent(EVENT_TOGGLE_ACTIVE, {"PLC1.D101"}, 2000);
    dispatcher.advance(1000);
    ASSERT_TRUE(Pump([&] { return *Values("PLC1.D100", ValueRoad::Subscription).value == VARIANT::I2(2); }));
    dispatcher.advance(500);
    EXPECT_EQ(Values("PLC1.D101", ValueRoad::SyncRead).count, 1u);
    dispatcher.advance(500);
    ASSERT_TRUE(Pump([&] { return *Values("PLC1.D100", ValueRoad::Subscription).value == VARIANT::I2(3); }));
    EXPECT_FALSE(Item(*group, "PLC1.D101").IsActive());  // the first toggle deactivates
    dispatcher.advance(2000);
    EXPECT_TRUE(Item(*group, "PLC1.D101").IsActive());
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(Events, AnEventOnlyForActiveGroupsWaitsWhileItsGroupIsInactive)
{
    AddEvent(EVENT_SYNC_READ_DEVICE, {"PLC1.D100"}, 1000, TRUE);
    AddEvent(EVENT_SYNC_READ_DEVICE, {"PLC1.D101"}, 1000, FALSE);
    group->SetActive(FALSE);
    dispatcher.advance(1000);
    EXPECT_EQ(Values("PLC1.D100", ValueRoad::SyncRead).count, 0u);  // no call
    EXPECT_EQ(Values("PLC1.D101", ValueRoad::SyncRead).count, 1u);  // the flag is clear: it acts
    group->SetActive(TRUE);
    dispatcher.advance(1000);
    EXPECT_EQ(Values("PLC1.D100", ValueRoad::SyncRead).count, 1u);
    EXPECT_EQ(Values("PLC1.D101", ValueRoad::SyncRead).count, 2u);
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(Events, WritesGiveABooleanFalseAndAnArrayOneSequenceValuePerElement)
{
    // A Boolean item: none of the generated texts is a true word. The item reads as a
    // Boolean here; the server keeps it as its 16-bit number, 0 for false.
    Item(*group, "PLC1.D100").SetCanonicalType(VT_BOOL);
    AddViewItems(*group, {"Control.Array"});
    ASSERT_TRUE(Pump([&] {
        const auto& v = Values("Control.Array", ValueRoad::Subscription).value;
        return v && v->isArray();
    }));
    ASSERT_EQ(Item(*group, "Control.Array").GetCanonicalType(), VT_ARRAY | VT_I4);
    AddEvent(EVENT_SYNC_WRITE, {"PLC1.D100", "Control.Array"}, 1000);
    dispatcher.advance(1000);
    frame->Items().SyncRead({&Item(*group, "PLC1.D100"), &Item(*group, "Control.Array")}, *group, OPC_DS_DEVICE);
    EXPECT_EQ(*Values("PLC1.D100", ValueRoad::SyncRead).value, VARIANT::I2(0));
    SAFEARRAY want(VT_I4, 5);
    const LONG sequence[] = {3, 5, 8, 13, 21};  // "2" went to the Boolean item
    for (LONG i = 0; i < 5; ++i) want.putElement(i, VARIANT::I4(sequence[i]));
    EXPECT_EQ(*Values("Control.Array", ValueRoad::SyncRead).value, VARIANT::Array(std::move(want)));
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(Events, AnArrayOfVariantsWritesNothing)
{
    AddViewItems(*group, {"Control.Array"});
    ASSERT_TRUE(Pump([&] {
        const auto& v = Values("Control.Array", ValueRoad::Subscription).value;
        return v && v->isArray();
    }));
    CItem& array = Item(*group, "Control.Array");
    array.SetCanonicalType(VT_ARRAY | VT_VARIANT);  // no text becomes a value of that type
    std::vector<CItem*> both = {&Item(*group, "PLC1.D100"), &array};
    frame->Items().SyncRead(both, *group, OPC_DS_DEVICE);
    const VARIANT before = *Values("Control.Array", ValueRoad::SyncRead).value;
    const VARIANT scalar = *Values("PLC1.D100", ValueRoad::SyncRead).value;
    AddEvent(EVENT_SYNC_WRITE, {"PLC1.D100", "Control.Array"}, 1000);
    dispatcher.advance(1000);
    frame->Items().SyncRead(both, *group, OPC_DS_DEVICE);
    EXPECT_EQ(*Values("Control.Array", ValueRoad::SyncRead).value, before);
    EXPECT_EQ(*Values("PLC1.D100", ValueRoad::SyncRead).value, scalar);  // not even the scalar
}

TEST_F(Events, AsyncWriteEventsWriteThroughTheGroupsDataStreams)
{
    CGroup& streams = AddGroup(*doc, ADVISE_DATAOBJECT);
    AddViewItems(streams, {"PLC1.D101"});
    AddEvent(EVENT_ASYNC_WRITE, {"PLC1.D101"}, 1000, FALSE, &streams);
    dispatcher.advance(1000);
    ASSERT_TRUE(Pump([&] {
        const auto& v = Values("PLC1.D101", ValueRoad::Subscription, &streams).value;
        return v && *v == VARIANT::I2(2);
    }));
    ASSERT_TRUE(Pump([&] { return streams.Pending().empty(); }));  // the write completed
    dispatcher.advance(1000);
    ASSERT_TRUE(Pump([&] {
        const auto& v = Values("PLC1.D101", ValueRoad::Subscription, &streams).value;
        return v && *v == VARIANT::I2(3);
    }));
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(Events, ItemsRemovedOrRehandledUnderARunningEventAreFollowedOrSkipped)
{
    CGroupEvent& event = AddEvent(EVENT_SYNC_READ_CACHE, {"PLC1.D100", "PLC1.D101"}, 1000);
    CItem* d100 = &Item(*group, "PLC1.D100");
    ui.OnDialog<CClientHandlesDlg>(quillet::dlg::IDD_CLIENT_HANDLES, [](CClientHandlesDlg&) { return true; });
    frame->Items().ChangeClientHandles(*group, {d100});
    frame->Items().RemoveItems(*group, {&Item(*group, "PLC1.D101")});
    ASSERT_EQ(event.Items(), std::vector<OPCHANDLE>{Item(*group, "PLC1.D100").GetClientHandle()});
    dispatcher.advance(1000);
    EXPECT_EQ(Values("PLC1.D100", ValueRoad::SyncRead).count, 1u);
    frame->Items().RemoveItems(*group, {&Item(*group, "PLC1.D100")});
    dispatcher.advance(3000);  // nothing left to read: no box
    EXPECT_TRUE(ui.shown.empty());
    const UINT_PTR id = event.GetTimerId();
    group->Events().clear();
    EXPECT_FALSE(dispatcher.stopTimer(frame->Groups().Window().Key(), id));  // its timer went with it
}

TEST_F(Events, ActionsStopWithTheServerAndATickDuringAnOpenBoxIsDropped)
{
    AddEvent(EVENT_ASYNC_READ_CACHE, {"PLC1.D100"}, 1000);  // the group has no 1.0 data advise: a box
    int nested = 0;
    ui.whileShown = [&] {
        if (nested++ == 0) dispatcher.advance(1000);  // the event's next tick comes while the box is open
    };
    dispatcher.advance(1000);
    EXPECT_EQ(ui.shown.size(), 1u);  // the tick that came while the box was open was dropped
    ui.whileShown = nullptr;
    dispatcher.advance(1000);
    EXPECT_EQ(ui.shown.size(), 2u);  // the event goes on
    ui.shown.clear();

    AddItems(*doc, *group, {"Control.Stop"});
    VARIANT stop = VARIANT::Bool(true);
    std::vector<HRESULT> errors;
    group->SyncIO()->Write(std::vector<OPCHANDLE>{group->Items().back()->GetServerHandle()}, std::span(&stop, 1), errors);
    ASSERT_TRUE(Pump([&] { return !doc->IsConnected(); }));
    dispatcher.advance(5000);
    EXPECT_TRUE(ui.shown.empty());
}

} // namespace
