// The item view's commands and operations: whole flows through a connection window's
// command table against the bundled server, the list's rows and columns, and the
// watchdog that cancels what a server never completes.
#include "quillet/RealServerFixture.h"

#include "quillet/text/ErrorText.h"
#include "quillet/forms/GroupForms.h"
#include "quillet/forms/ItemForms.h"
#include "quillet/forms/WriteItemDlg.h"
#include "quillet/text/ResourceIds.h"
#include "quillet/text/TextFile.h"

#include <numeric>

namespace {

using namespace quillet::cmd;
using quillet::dlg::IDD_ADD_GROUP;
using quillettest::FakeUi;

class ItemCommands : public quillettest::ServerWindow {
protected:
    void SetUp() override
    {
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
        ServerWindow::SetUp();
    }
    bool Run(UINT id) { return frame->Commands().Run(id); }
    void AddGroupByCommand(const std::string& name, DWORD mode)
    {
        ui.OnDialog<CAddGroupDlg>(IDD_ADD_GROUP, [=](CAddGroupDlg& f) {
            f.settings.name = name;
            f.settings.adviseMode = mode;
            return true;
        });
        ASSERT_TRUE(Run(ID_ADD_GROUP));
    }
    // Every row of the shown group selected.
    void SelectAll()
    {
        doc->UpdateAllViews();
        std::vector<int> rows(frame->Items().Rows().size());
        std::iota(rows.begin(), rows.end(), 0);
        frame->Items().SetSelection(rows);
    }
    const std::string& Cell(int row, int column)
    {
        doc->UpdateAllViews();
        return frame->Items().Rows().at(row).cells[column];
    }
};

TEST_F(ItemCommands, ItemsAreAddedImportedReadWrittenRefreshedActivatedAndRemovedOnBothRoads)
{
    using namespace quillet;
    AddGroupByCommand("Streams", ADVISE_DATAOBJECT);
    ui.OnDialog<CAddItemDlg>(quillet::dlg::IDD_ADD_ITEM, [](CAddItemDlg& f) {
        f.Entries()[0]->SetItemID("PLC1.D100");
        f.NewEntry().SetItemID("PLC1.D101");
        f.NewEntry();  // left empty: dropped
        return true;
    });
    ASSERT_TRUE(Run(ID_ADD_ITEM));
    const std::string import = (scratch.path() / "items.csv").string();
    ASSERT_FALSE(ReplaceTextFile(import, "1,Other,,1\r\n2,0,G\r\n3,5,,PLC1.TEXT,1,0\r\n\r\n3,0,,NO.SUCH,1,0\r\n"));
    ui.files = {import};
    ASSERT_TRUE(Run(ID_IMPORT_ITEMS));
    EXPECT_EQ(ui.shown, std::vector<std::string>{ErrorText(texts, OPC_E_UNKNOWNITEMID) + " on item NO.SUCH"});
    CGroup& streams = *doc->Groups().front();
    ASSERT_EQ(streams.Items().size(), 3u);
    ASSERT_TRUE(Pump([&] { return AllHave(streams, ValueRoad::Subscription); }));
    EXPECT_EQ(Cell(0, COL_ITEMID), "PLC1.D100");
    EXPECT_EQ(Cell(0, COL_SUB_VALUE), "10");
    EXPECT_EQ(Cell(2, COL_SUB_VALUE), "hello");
    EXPECT_EQ(Cell(2, COL_SUB_QUALITY), "Good");

    SelectAll();
    ASSERT_TRUE(Run(ID_SYNC_READ));
    EXPECT_EQ(*Item(streams, "PLC1.D101").Values(ValueRoad::SyncRead).value, VARIANT::I2(20));
    ui.OnDialog<CWriteItemDlg>(quillet::dlg::IDD_WRITE_ITEM, [](CWriteItemDlg& f) {
        f.SetValue(0, "77", VT_I2);
        return true;
    });
    ASSERT_TRUE(Run(ID_SYNC_WRITE));
    EXPECT_TRUE(Logged(*doc, "Sync write - HR=00000000 - (Group) Streams #(Item) 3"));
    ASSERT_TRUE(Run(ID_ASYNCIO_READ));
    ASSERT_TRUE(Run(ID_ASYNCIO_WRITE));
    ASSERT_TRUE(Run(ID_ASYNCIO_REFRESH));
    EXPECT_EQ(streams.Pending().size(), 3u);
    EXPECT_TRUE(frame->Items().IsWatchdogRunning());
    ASSERT_TRUE(Pump([&] { return streams.Pending().empty(); }));
    EXPECT_EQ(*Item(streams, "PLC1.D100").Values(ValueRoad::AsyncRead).value, VARIANT::I2(77));

    AddGroupByCommand("Callbacks", ADVISE_CONNECTIONPOINT);
    CGroup& callbacks = *doc->Groups().back();
    ui.files = {import};
    ASSERT_TRUE(Run(ID_IMPORT_ITEMS));
    SelectAll();
    EXPECT_FALSE(frame->Commands().State(ID_ASYNCIO_READ).enabled);  // the 1.0 road needs IDataObject
    ASSERT_TRUE(Run(ID_ASYNCIO2_READ));
    ui.OnDialog<CWriteItemDlg>(quillet::dlg::IDD_WRITE_ITEM, [](CWriteItemDlg& f) {
        f.SetValue(0, "bye", VT_BSTR);
        return true;
    });
    ASSERT_TRUE(Run(ID_ASYNCIO2_WRITE));
    ASSERT_TRUE(Run(ID_ASYNCIO2_REFRESH));
    ASSERT_TRUE(Pump([&] { return callbacks.Pending().empty() && AllHave(callbacks, ValueRoad::AsyncRead); }));
    ASSERT_TRUE(Pump([&] { return *Item(callbacks, "PLC1.TEXT").Values(ValueRoad::Subscription).value ==
                                  VARIANT::String("bye"); }));

    ui.OnDialog<CItemStateDlg>(quillet::dlg::IDD_ITEM_STATE, [](CItemStateDlg& f) {
        f.active = FALSE;
        return true;
    });
    ASSERT_TRUE(Run(ID_ACTIVE_STATE));
    EXPECT_FALSE(Item(callbacks, "PLC1.TEXT").IsActive());
    doc->UpdateAllViews();
    EXPECT_EQ(frame->Items().Rows().at(0).image, 3);  // read/write, inactive
    ASSERT_TRUE(Run(ID_REMOVE_ITEMS));
    EXPECT_TRUE(callbacks.Items().empty());
    EXPECT_TRUE(frame->Items().Rows().empty());
    EXPECT_TRUE(Logged(*doc, "Item removed -  - (Item) PLC1.TEXT"));
    EXPECT_EQ(ui.shown.size(), 2u);  // the unknown item of each import
}

TEST_F(ItemCommands, BigBatchLogsOneLineThroughAnItemThatStayed)
{
    AddGroupByCommand("Batch", ADVISE_CONNECTIONPOINT);
    CGroup& group = *doc->Groups().front();
    std::vector<std::unique_ptr<CItem>> items;
    for (int i = 0; i < 101; ++i) {
        items.push_back(std::make_unique<CItem>(*doc));
        items.back()->SetItemID(i < 100 ? "PLC1.D100" : "NO.SUCH");
    }
    frame->Items().AddItemsToServer(group, std::move(items));
    EXPECT_EQ(group.Items().size(), 100u);
    EXPECT_TRUE(Logged(*doc, "Item added - Added 101 items  - (Item) PLC1.D100"));
    const auto& rows = frame->Log().Rows();
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](auto& r) { return r.event.starts_with("Item added"); }), 2);
}

TEST_F(ItemCommands, WatchdogCancelsAReadTheServerNeverAnswered)
{
    AddGroupByCommand("Slow", ADVISE_CONNECTIONPOINT);
    CGroup& group = *doc->Groups().front();
    AddItems(*doc, group, {"PLC1.D100"});
    // The completion waits unread in the application's queue: to the client the
    // server never answered.
    frame->Items().AsyncIO2Read({group.Items().front().get()}, group);
    ASSERT_EQ(group.Pending().size(), 1u);
    const DWORD id = group.Pending().front()->m_dwID;
    clock.advance(10000);
    frame->Items().OnWatchdog();
    EXPECT_EQ(group.Pending().size(), 1u);  // not older than 10 s yet
    clock.advance(1);
    frame->Items().OnWatchdog();
    EXPECT_TRUE(group.Pending().empty());
    EXPECT_FALSE(frame->Items().IsWatchdogRunning());
    EXPECT_TRUE(Logged(*doc, "Async transaction timed out - ID " + quillet::HexCode(id) + " - (Group) Slow #(Item) 1"));
    const auto& rows = frame->Log().Rows();
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](auto& r) {
        return r.event.starts_with("Async cancel - ID = " + quillet::HexCode(id) + ", HR = ");
    }));
    dispatcher.runPending();  // the late completion finds nothing pending
    EXPECT_TRUE(group.Pending().empty());
}

class ItemList : public quillettest::DocFixture {
protected:
    void SetUp() override
    {
        auto server = opc::ComPtr<IUnknown>(static_cast<IOPCServer*>(new quillettest::FakeServer(script)));
        ASSERT_EQ(doc.AttachServer(server), S_OK);
    }
    CGroup& AddGroup(DWORD mode)
    {
        CGroupSettings s;
        s.name = "G";
        s.adviseMode = mode;
        return *doc.OnAddGroup(s);
    }
    CSplitterFrame frame{doc};
};

TEST_F(ItemList, PassAddsAtMost251NewRowsAndStopsBelowTheVisibleRows)
{
    CGroup& group = AddGroup(ADVISE_CONNECTIONPOINT);
    for (int i = 0; i < 1000; ++i) AddItem(group, "I" + std::to_string(i));
    CItemView& view = frame.Items();
    view.OnUpdate();
    EXPECT_EQ(view.Rows().size(), 251u);
    view.SetViewport(0, 30);
    view.OnUpdate();
    EXPECT_EQ(view.Rows().size(), 251u);
    view.SetViewport(230, 30);  // scrolled to the end
    view.OnUpdate();
    EXPECT_EQ(view.Rows().size(), 502u);
    std::vector<std::string> titles;
    for (int id : view.ShownColumns()) titles.push_back(view.CurrentColumns()[id].title);
    EXPECT_EQ(titles, (std::vector<std::string>{"ItemID", "Sub Value", "Sub Quality", "Sub Updates", "Update Rate",
                                                "Run. Avg"}));
    doc.OnExpertMode();
    EXPECT_EQ(view.ShownColumns().size(), 17u);
    EXPECT_EQ(view.CurrentColumns()[quillet::COL_HSERVER].title, "hServer");
}

TEST_F(ItemList, WatchdogCancelsOnTheRoadThatStartedEachTransactionAndStops)
{
    CGroup& group = AddGroup(ADVISE_CONNECTIONPOINT);
    group.Pend(group.NewTransaction(CTransaction::Road::AsyncIO), 5);
    group.Pend(group.NewTransaction(CTransaction::Road::AsyncIO2), 6);
    script.results["Cancel2"] = {E_FAIL};
    group.SetAdviseMode(ADVISE_NONE);  // the road the group uses now does not matter
    frame.Items().StartWatchdog(group);
    Logged();
    dispatcher.advance(12000);
    EXPECT_EQ(Logged(), (std::vector<std::string>{
                            "Async transaction timed out - ID 0x00000005 - (Group) G #(Item) 0",
                            "Async cancel - ID = 0x00000005, HR = 0x80004002 - (Group) G #(Item) 0",  // no 1.0 road
                            "Async transaction timed out - ID 0x00000006 - (Group) G #(Item) 0",
                            "Async cancel - ID = 0x00000006, HR = 0x80004005 - (Group) G #(Item) 0",
                        }));
    EXPECT_FALSE(frame.Items().IsWatchdogRunning());
}

TEST_F(ItemList, RunningWatchdogAlsoCancelsInGroupsThatDoNotStartIt)
{
    CGroup& watched = AddGroup(ADVISE_CONNECTIONPOINT);
    CGroup& unwatched = AddGroup(ADVISE_CONNECTIONPOINT);
    unwatched.m_bAllowTimeOut = FALSE;
    unwatched.Pend(unwatched.NewTransaction(CTransaction::Road::AsyncIO2), 7);
    frame.Items().StartWatchdog(unwatched);
    EXPECT_FALSE(frame.Items().IsWatchdogRunning());
    watched.Pend(watched.NewTransaction(CTransaction::Road::AsyncIO2), 8);
    frame.Items().StartWatchdog(watched);
    dispatcher.advance(12000);
    EXPECT_TRUE(watched.Pending().empty());
    EXPECT_TRUE(unwatched.Pending().empty());
    EXPECT_FALSE(frame.Items().IsWatchdogRunning());
}

} // namespace
