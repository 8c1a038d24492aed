// The data view's core: lists, selection, commands and their enablement,
// hints and the online request on the client-update timer.
#include "kestrun/shell/server/DataView.h"

#include <gtest/gtest.h>

#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/Hint.h"
#include "kestrun/model/ServerCommands.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/server/ShellCommands.h"
#include "kestrun/shell/app/ShellIds.h"
#include "support/shell/ShellFakes.h"
#include "support/shell/ShellHarness.h"

namespace {

using Command = CdsDataView::Command;

class DataViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell.SetOption("Enable Background Thread", 0); // lines step on this thread
        ASSERT_TRUE(shell.OpenDocument());
        view = shell.Frame()->GetDataView();
        doc = shell.Doc();
        plc1 = CdsDeviceMap::GetDeviceObjectByTopic("PLC1");
        ASSERT_NE(plc1, nullptr);
        view->FillDeviceList();
        view->SetActiveDevice(plc1);
    }
    // Two blocks of one name ("B"), one of another ("A").
    void AddBlocks()
    {
        for (auto [name, address, type] : {std::tuple{"B", "D10", 3}, {"A", "D20", 4}, {"B", "D30", 4}}) {
            auto* block = new testsupport::TestServerBlock(1);
            block->SetName(name);
            block->SetAddr(address);
            block->SetDefaultDataType(type);
            ASSERT_TRUE(plc1->AddMemoryArray(block, true));
        }
        view->FillBlockList();
    }
    std::vector<std::string> BlockTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& row : view->GetBlockList().Rows())
            texts.push_back(row.text);
        return texts;
    }
    void Tick(std::uint64_t ms)
    {
        shell.clock.advance(ms);
        shell.dispatcher.fireDueTimers();
        shell.dispatcher.runPending();
    }

    testsupport::ShellHarness shell;
    testsupport::ScriptedAnswers boxes;
    testsupport::ScriptedConfigDialogs dialogs;
    CdsDataView* view = nullptr;
    testsupport::TestServerDoc* doc = nullptr;
    CdsDeviceObject* plc1 = nullptr;
};

TEST_F(DataViewTest, ListsHaveTheirTabStopsInDialogUnits)
{
    EXPECT_EQ(view->GetDeviceList().GetTabStop(), 20);
    EXPECT_EQ(view->GetBlockList().GetTabStop(), 50);
    view->FillDeviceList(); // refilling keeps them
    view->FillBlockList();
    EXPECT_EQ(view->GetDeviceList().GetTabStop(), 20);
    EXPECT_EQ(view->GetBlockList().GetTabStop(), 50);

    struct Case {
        int units;
        int lettersWidth; // of A-Z and a-z
        int pixels;
    };
    const Case cases[] = {
        {50, 312, 75}, // average width 6
        {20, 312, 30},
        {50, 364, 88}, // width 7: 87.5 rounds up
        {20, 337, 30}, // 337/26 = 12: width 6
        {50, 338, 88}, // 338/26 = 13: 6.5 rounds to 7, and 87.5 to 88
        {0, 312, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CdsDataViewList::DialogUnitsToPixels(c.units, c.lettersWidth), c.pixels)
            << c.units << " " << c.lettersWidth;
}

TEST_F(DataViewTest, BlockLinesAreSortedAndAChosenLineIsFoundAgainByItsBlock)
{
    AddBlocks();
    EXPECT_EQ(BlockTexts(), (std::vector<std::string>{"A\tD20\t2\tr/w\t3\t100\t", "B\tD10\t2\tr/w\t3\t100\t",
                                                      "B\tD30\t2\tr/w\t3\t100\t", "D0\tD0\t5\tr/w\t3\t100\t"}));
    CdsMemoryArray* second = plc1->GetMemoryArrayByAddr("D30");
    view->SelectBlockRow(2);
    ASSERT_EQ(view->GetActiveBlock(), second);

    // An edit that changes the shown text keeps the same block chosen.
    dialogs.block = [](shell::BlockDialogFields& f, bool) { f.strName = "Z"; f.bWriteAllowed = FALSE; };
    view->OnCommand(Command::EditBlock);
    EXPECT_EQ(second->GetName(), "Z");
    EXPECT_EQ(view->GetActiveBlock(), second);
    EXPECT_EQ(view->GetBlockSelection(), 3);
    EXPECT_EQ(BlockTexts()[3], "Z\tD30\t2\tread\t3\t100\t");
    EXPECT_TRUE(doc->IsModified());

    // Renaming it back onto the other "B" of the same type is refused and undone.
    CdsMemoryArray* first = plc1->GetMemoryArrayByAddr("D10");
    view->SetActiveBlock(first);
    dialogs.block = [](shell::BlockDialogFields& f, bool) { f.strName = "A"; };
    first->SetDefaultDataType(4);
    view->OnCommand(Command::EditBlock);
    EXPECT_EQ(first->GetName(), "B");
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(plc1->GetMemoryArrayByName("A"), plc1->GetMemoryArrayByAddr("D20"));

    view->SetActiveBlock(second);
    view->OnCommand(Command::DeleteBlock);
    EXPECT_EQ(plc1->GetMemoryArrayByAddr("D30"), nullptr);
    EXPECT_EQ(plc1->GetMemoryArrayByAddr("D10"), first);
    EXPECT_EQ(view->GetActiveBlock(), nullptr);
    EXPECT_EQ(view->GetBlockList().GetCount(), 3);
}

TEST(DataViewList, AListAssignedAtOnceIsTheListAddedRowByRow)
{
    const std::vector<std::string> texts = {"b\t1", "A\t2", "B\t1", "a\t2", "c", "", "B\t1"};
    CdsDataViewList added, assigned;
    std::vector<CdsDataViewList::Row> rows;
    struct Shown : CObject {};
    std::vector<Shown> objects(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        added.Add(texts[i], &objects[i]);
        rows.push_back({texts[i], &objects[i]});
    }
    assigned.Assign(std::move(rows));
    ASSERT_EQ(assigned.GetCount(), added.GetCount());
    for (int i = 0; i < added.GetCount(); ++i) {
        EXPECT_EQ(assigned.Rows()[static_cast<std::size_t>(i)].text, added.Rows()[static_cast<std::size_t>(i)].text);
        EXPECT_EQ(assigned.At(i), added.At(i)) << i;
    }
}

TEST_F(DataViewTest, ConfigurationCommandsNeedAnOfflineDocumentAndTheirObject)
{
    AddBlocks();
    const Command commands[] = {Command::NewDevice, Command::EditDevice, Command::Timeouts, Command::EditBlock};
    view->SelectBlockRow(0);
    for (Command command : commands)
        EXPECT_TRUE(view->IsCommandEnabled(command));
    view->OnUpdate(nullptr, HINT_DOCUMENT_CLEARED, nullptr);
    view->FillDeviceList(); // the map is still there, nothing is active
    for (Command command : commands)
        EXPECT_EQ(view->IsCommandEnabled(command), command == Command::NewDevice);
    view->SetActiveDevice(plc1);
    view->OnModeOnline();
    EXPECT_TRUE(view->IsCommandChecked(Command::Online));
    for (Command command : commands)
        EXPECT_FALSE(view->IsCommandEnabled(command));
    view->OnCommand(Command::EditDevice);
    EXPECT_EQ(dialogs.shown, 0);
}

TEST_F(DataViewTest, OnlineStaysOnlineAndAClientsDoOnlineNeverTakesItOffline)
{
    view->OnModeOnline();
    ASSERT_TRUE(doc->IsOnline());
    view->OnModeOnline();
    EXPECT_TRUE(doc->IsOnline());
    CdsShellCommands commands(shell.app);
    kestrun::ServerCommands* previous = kestrun::ServerCommands::Install(&commands);
    commands.SetOnline(1); // a client writes "$DoOnline" 1
    shell.dispatcher.runPending();
    EXPECT_TRUE(doc->IsOnline());
    commands.SetOnline(0);
    shell.dispatcher.runPending();
    EXPECT_TRUE(doc->IsOffline());
    kestrun::ServerCommands::Install(previous);
}

TEST_F(DataViewTest, TheOnlineRequestOfALoadIsCarriedOutOnceByTheFirstTickAfterItsDelay)
{
    const std::string path = (shell.scratch.path() / "plant.mme").string();
    ASSERT_TRUE(doc->OnSaveDocument(path));
    const std::uint64_t tick = CdsServerFrame::g_dwClientUpdateTime.load();
    for (std::uint64_t delay : {CdsDataView::kOnlineDelayMs, CdsDataView::kServiceOnlineDelayMs}) {
        if (delay == CdsDataView::kServiceOnlineDelayMs)
            shell.app.SetServiceMode(1);
        ASSERT_TRUE(doc->OnOpenDocument(path));
        shell.dispatcher.runPending(); // hint 503
        ASSERT_TRUE(view->IsOnlineRequested());
        Tick(delay - tick);
        EXPECT_TRUE(doc->IsOffline()) << delay;
        Tick(tick);
        EXPECT_TRUE(doc->IsOnline()) << delay;
        doc->SetOnline(0, 1);
        Tick(tick);
        EXPECT_TRUE(doc->IsOffline()); // once
    }
    shell.app.SetAppInDll(0);
}

TEST_F(DataViewTest, OnlineRequestStepsReachStandardErrorOnlyWhenDebugOutputIsAskedFor)
{
    for (bool wanted : {false, true}) {
        SetDebugOutputWanted(wanted);
        ::testing::internal::CaptureStderr();
        view->RequestOnline(1, 0);
        Tick(CdsDataView::kOnlineDelayMs);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("DEBUG:CdsDataView::Online request flag set.") != std::string::npos, wanted) << err;
        EXPECT_EQ(err.find("DEBUG:CdsDataView::Online request process done.") != std::string::npos, wanted) << err;
        EXPECT_TRUE(doc->IsOnline());
        doc->SetOnline(0, 1);
    }
    SetDebugOutputWanted(false);
}

TEST_F(DataViewTest, DeviceHintsForADeviceOfNoCurrentMapAreIgnored)
{
    testsupport::TestServerDevice stranger;
    stranger.m_strName = "STRANGER";
    CdsHint hint = CdsHint::ForObject(&stranger);
    view->OnUpdate(nullptr, HINT_ONLINE, &hint);
    EXPECT_EQ(shell.Frame()->GetCommHdlrByHandle(stranger.GetPortHandle()), nullptr);

    // A hint queued before the document was cleared is dropped unread.
    shell.LogView()->PostMessage(WM_UPDATEHINT, HINT_ONLINE, 0, win::makePayload<CdsHint>(CdsHint::ForObject(plc1)));
    const int before = shell.CountLog("Online requested");
    doc->OnNewDocument();
    shell.dispatcher.runPending();
    EXPECT_EQ(shell.CountLog("Online requested"), before);

    CdsDeviceObject* current = CdsDeviceMap::GetDeviceObjectByTopic("PLC1");
    hint = CdsHint::ForObject(current);
    view->OnUpdate(nullptr, HINT_ONLINE, &hint);
    EXPECT_NE(shell.Frame()->GetCommHdlrByHandle(current->GetPortHandle()), nullptr);
}

TEST_F(DataViewTest, EditingADeviceRegistersItAgainOrKeepsItsValuesOnAClash)
{
    dialogs.device = [](shell::DeviceDialogFields& f, bool bNew) {
        EXPECT_TRUE(bNew);
        f.strName = "plc2";
        f.strPort = "EMUL1";
        f.strAddress = "2";
    };
    view->OnCommand(Command::NewDevice);
    CdsDeviceObject* plc2 = CdsDeviceMap::GetDeviceObjectByTopic("PLC2");
    ASSERT_NE(plc2, nullptr);
    EXPECT_EQ(view->GetActiveDevice(), plc2);
    EXPECT_EQ(shell.CountLog("Topic [PLC2] added"), 1);

    dialogs.device = [](shell::DeviceDialogFields& f, bool) { f.strName = "Line2"; };
    view->OnCommand(Command::EditDevice);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("LINE2"), plc2);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("PLC2"), nullptr);

    dialogs.device = [](shell::DeviceDialogFields& f, bool) { f.strName = "PLC1"; f.strDescription = "x"; };
    view->OnCommand(Command::EditDevice);
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(plc2->m_strName, "LINE2");
    EXPECT_EQ(plc2->m_strDescription, "");
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("LINE2"), plc2);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"), plc1);

    view->OnCommand(Command::DeleteDevice);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("LINE2"), nullptr);
    EXPECT_EQ(view->GetDeviceList().GetCount(), 1);
    EXPECT_EQ(shell.app.GetRetiredObjects().GetRetiredCount(), 1u);
    shell.dispatcher.runPending();
    EXPECT_EQ(shell.app.GetRetiredObjects().GetRetiredCount(), 0u);
}

// OK without a change, in an edit of a block, a device or the time-outs,
// leaves the document unmodified; a change marks it.
TEST_F(DataViewTest, AnOkThatChangedNothingMarksNothingModified)
{
    AddBlocks();
    view->SetActiveBlock(plc1->GetMemoryArrayByAddr("D20"));
    dialogs.block = [](shell::BlockDialogFields&, bool) {};
    dialogs.device = [](shell::DeviceDialogFields&, bool) {};
    dialogs.timeouts = [](shell::TimeoutDialogFields&) {};
    doc->SetModifiedFlag(false);
    for (Command command : {Command::EditBlock, Command::EditDevice, Command::Timeouts}) {
        view->OnCommand(command);
        EXPECT_FALSE(doc->IsModified()) << static_cast<int>(command);
    }
    EXPECT_EQ(dialogs.shown, 2);

    dialogs.timeouts = [](shell::TimeoutDialogFields& f) { f.nRetries += 1; };
    view->OnCommand(Command::Timeouts);
    EXPECT_TRUE(doc->IsModified());
    doc->SetModifiedFlag(false);
    dialogs.block = [](shell::BlockDialogFields& f, bool) { f.nScanTime += 1; };
    view->OnCommand(Command::EditBlock);
    EXPECT_TRUE(doc->IsModified());
}

} // namespace
