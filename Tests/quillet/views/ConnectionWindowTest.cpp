// A connection window's own parts: the log list, the configuration dialogs, the log
// pane's layout and the command table's update rules.
#include "quillet/QuilletFixture.h"

#include "quillet/forms/ConfigForms.h"
#include "quillet/text/ResourceIds.h"
#include "quillet/views/SplitterFrame.h"

namespace {

using namespace quillet::cmd;
using quillet::CommandState;

class Window : public quillettest::DocFixture {
protected:
    bool Run(UINT id) { return frame.Commands().Run(id); }
    CSplitterFrame frame{doc};
};

TEST_F(Window, LogListKeepsItsLimitAndStartsOverAfterBeingCleared)
{
    CLoggerView& log = frame.Log();
    for (std::size_t i = 0; i < CLoggerView::kMaxRows; ++i) doc.WriteLog(quillet::LOG_GROUP_ADD, {});
    doc.UpdateAllViews();
    EXPECT_EQ(log.Rows().size(), CLoggerView::kMaxRows);
    doc.WriteLog(quillet::LOG_SYNC_READ, "one too many");
    doc.UpdateAllViews();
    EXPECT_TRUE(log.Rows().empty());  // the 20001st row cleared the list
    doc.WriteLog(quillet::LOG_SYNC_READ, "next");
    doc.UpdateAllViews();
    ASSERT_EQ(log.Rows().size(), 1u);
    EXPECT_EQ(log.Rows()[0].event, "Sync read - next");
    EXPECT_EQ(log.LastInserted(), 0);
    ASSERT_TRUE(Run(ID_CLEAR_LOG));
    EXPECT_EQ(log.NextRow(), 0u);
    EXPECT_EQ(log.LastInserted(), -1);
}

TEST_F(Window, LogDialogKeepsOnlyCheckedCategoriesAndTheRunAverage)
{
    CLogConfigDlg none(quillet::kDefaultLogMask, "");
    for (auto& check : none.checks) none.SetChecked(check.control, false);
    EXPECT_EQ(none.Mask(), 0x1000000u);
    EXPECT_EQ(CLogConfigDlg(quillet::kDefaultLogMask, "").Mask(), quillet::kDefaultLogMask & ~0x10000u);
    ui.OnDialog<CLogConfigDlg>(quillet::dlg::IDD_LOG_CONFIG, [](CLogConfigDlg& f) {
        for (auto& check : f.checks) f.SetChecked(check.control, check.control == 1079);  // "Group Add"
        return true;
    });
    ASSERT_TRUE(Run(ID_CONFIGURE_LOGGER));
    EXPECT_EQ(doc.GetLogMask(), 0x1000010u);
    EXPECT_FALSE(doc.WriteLog(quillet::LOG_SERVER, "shutting down"));
}

TEST_F(Window, ColumnDialogReordersAndHidesItemColumns)
{
    using namespace quillet;
    ui.OnDialog<CSelectColumnsDlg>(dlg::IDD_SELECT_COLUMNS, [](CSelectColumnsDlg& f) {
        EXPECT_EQ(f.enabled, (std::vector<int>{COL_ITEMID, COL_SUB_VALUE, COL_SUB_QUALITY, COL_SUB_UPDATES,
                                               COL_UPDATE_RATE, COL_RUN_AVERAGE}));
        f.Move(ctl::IDC_ENABLED_COLUMNS, 0);  // ItemID to the disabled list
        f.Move(ctl::IDC_DISABLED_COLUMNS, 0);  // Access Path to the end of the enabled list
        f.Move(ctl::IDC_DISABLED_COLUMNS, int(f.disabled.size()) - 1);  // ItemID back, last
        f.Move(ctl::IDC_DISABLED_COLUMNS, 99);  // nothing selected: nothing moves
        return true;
    });
    ASSERT_TRUE(Run(ID_ITEM_COLUMNS));
    EXPECT_EQ(frame.Items().ShownColumns(), (std::vector<int>{COL_SUB_VALUE, COL_SUB_QUALITY, COL_SUB_UPDATES,
                                                              COL_UPDATE_RATE, COL_RUN_AVERAGE, COL_ACCESS_PATH,
                                                              COL_ITEMID}));
    ui.OnDialog<CSelectColumnsDlg>(dlg::IDD_SELECT_COLUMNS, [](CSelectColumnsDlg& f) {
        while (!f.enabled.empty()) f.Move(ctl::IDC_ENABLED_COLUMNS, 0);
        return true;
    });
    ASSERT_TRUE(Run(ID_ITEM_COLUMNS));
    EXPECT_TRUE(frame.Items().ShownColumns().empty());
}

TEST_F(Window, ViewTimerDialogTakesOnly10To5000Milliseconds)
{
    CUpdateTimerDlg form(texts, 250);
    EXPECT_EQ(form.periodText, "250");
    for (auto [text, ok] : {std::pair{"9", false}, {"10", true}, {"5000", true}, {"5001", false}, {"x", false}}) {
        form.periodText = text;
        form.message.clear();
        EXPECT_EQ(form.Validate(), ok) << text;
        EXPECT_EQ(form.message.empty(), ok);
    }
    ui.OnDialog<CUpdateTimerDlg>(quillet::dlg::IDD_UPDATE_TIMER, [](CUpdateTimerDlg& f) {
        f.periodText = "40";
        return f.Validate();
    });
    ASSERT_TRUE(Run(ID_VIEW_UPDATE_TIMER));
    EXPECT_EQ(frame.Items().RefreshPeriod(), 40u);
}

TEST_F(Window, HiddenLogPaneLeavesTheUpperRowTheWholePane)
{
    frame.OnCreateClient(900, 600);
    EXPECT_FALSE(frame.IsLogShown());
    EXPECT_EQ(frame.CurrentLayout(), (CSplitterFrame::Layout{600, 0, 0, 300, 40, 600}));
    frame.SetFrameHeight(660);
    ASSERT_TRUE(Run(ID_MESSAGE_LOG));
    EXPECT_TRUE(frame.Commands().State(ID_MESSAGE_LOG).checked);
    EXPECT_EQ(frame.CurrentLayout().row0, 440);
    EXPECT_EQ(frame.CurrentLayout().row0Min, 40);
    ASSERT_TRUE(Run(ID_MESSAGE_LOG));
    EXPECT_EQ(frame.CurrentLayout().row0, 660);
    EXPECT_EQ(frame.CurrentLayout().row1, 0);
}

TEST_F(Window, CommandsFollowTheConnectionAndTheSelection)
{
    const std::tuple<UINT, CommandState> unconnected[] = {
        {ID_ADD_GROUP, {false, false}}, {ID_SERVER_STATUS, {true, false}}, {ID_READ_FROM_CACHE, {true, true}},
        {ID_ENABLE_LOG_VIEW, {false, true}}, {ID_ADVISE_GROUPS, {false, false}}, {ID_ADD_ITEM, {false, false}},
        {ID_COUNTER_RESET, {false, false}}, {12345, {false, false}}};
    for (auto [id, state] : unconnected) EXPECT_EQ(frame.Commands().State(id), state) << id;
    auto server = opc::ComPtr<IUnknown>(static_cast<IOPCServer*>(new quillettest::FakeServer(script)));
    ASSERT_EQ(doc.AttachServer(server), S_OK);
    CGroupSettings s;
    s.name = "G";
    doc.OnAddGroup(s);
    const std::tuple<UINT, CommandState> connected[] = {
        {ID_ADD_GROUP, {true, false}},          {ID_ADD_ITEM, {true, false}},
        {ID_ADVISE_CONNECTIONPOINT, {true, true}}, {ID_ADVISE_NONE, {true, false}},
        {ID_ASYNCIO2_ENABLE, {true, true}},     {ID_ASYNCIO2_READ, {false, false}},  // no rows selected
        {ID_ASYNCIO_REFRESH, {false, false}},   {ID_ASYNCIO2_REFRESH, {false, false}},  // no items
        {ID_REMOVE_GROUP, {true, false}}};
    for (auto [id, state] : connected) EXPECT_EQ(frame.Commands().State(id), state) << id;
    ASSERT_TRUE(Run(ID_READ_FROM_CACHE));
    EXPECT_EQ(frame.Items().ReadSource(), OPC_DS_DEVICE);
    EXPECT_FALSE(frame.Commands().State(ID_READ_FROM_CACHE).checked);
}

} // namespace
