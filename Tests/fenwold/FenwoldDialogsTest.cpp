// The server's own dialogs: the device dialog edits the frame kind, the block
// dialog the MELSEC device and range; the server's map and devices make them.
#include "fenwold/FenwoldDialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FenwoldHarness.h"
#include "fenwold/DeviceMap.h"
#include "fenwold/DeviceObject.h"
#include "fenwold/MemoryArray.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/shell/server/DataView.h"
#include "kestrun/shell/forms/FormConfigDialogs.h"
#include "support/shell/ShellFakes.h"

namespace {

using Choice = CDeviceObjectDlg::FrameChoice;

TEST(FenwoldDeviceDialog, TheFrameKindIsReadFromAndWrittenIntoTypeAndProtocol)
{
    struct Case {
        LONG type;
        const char* protocol;
        int choice;
    };
    const Case read[] = {
        {4, "MC3", Choice::k3EBinary}, {4, "ascii link", Choice::k4EAscii}, {2, "ASCII", Choice::k1EAscii},
        {3, "", Choice::k4EBinary},    {5, "MC3", Choice::k1EBinary},       {0, "MC3", -1},
        {6, "MC3", -1},
    };
    for (const Case& c : read)
        EXPECT_EQ(CDeviceObjectDlg::FrameChoiceOf(c.type, c.protocol), c.choice) << c.type << " " << c.protocol;

    // Each choice made on a 1E device gives that frame kind to the station.
    for (int choice = Choice::k1EBinary; choice <= Choice::k4EAscii; ++choice) {
        LONG type = 2;
        std::string protocol = "MC1";
        CDeviceObjectDlg::ApplyFrameChoice(choice, type, protocol);
        CDeviceObject station;
        station.m_nDeviceType = type;
        station.m_strProtocol = protocol;
        ASSERT_TRUE(station.OnInitDeviceObject()) << choice;
        EXPECT_EQ(static_cast<int>(station.GetFrameKind()), choice / 2) << choice;
        EXPECT_EQ(station.IsAscii(), choice % 2 == 1) << choice;
        EXPECT_EQ(type, choice <= Choice::k1EAscii ? 2 : 4) << choice; // a 1E type is kept for 1E
    }
    LONG type = 3;
    std::string protocol = "QnA link 3";
    CDeviceObjectDlg::ApplyFrameChoice(Choice::k3EBinary, type, protocol);
    EXPECT_EQ(protocol, "QnA link 3"); // already that kind: left alone
}

TEST(FenwoldDeviceDialog, TheFrameChoiceFollowsTheFieldsAndATypeOutsideOneToFiveIsRefused)
{
    testsupport::ScriptedAnswers boxes;
    CDeviceObjectDlg dialog;
    dialog.m_values.strName = "PRESS";
    dialog.m_values.nSystemType = 4;
    dialog.m_values.strProtocol = "MC3";
    ASSERT_TRUE(dialog.OnInitDialog());
    EXPECT_EQ(dialog.GetChoice(CDeviceObjectDlg::IDC_FRAME_KIND), Choice::k3EBinary);
    dialog.SetChoice(CDeviceObjectDlg::IDC_FRAME_KIND, Choice::k4EAscii);
    dialog.OnCommand(CDeviceObjectDlg::IDC_FRAME_KIND);
    EXPECT_EQ(dialog.GetText(CdsDeviceObjectDlg::IDC_PROTOCOL), "ASCII MC4");
    dialog.SetText(CdsDeviceObjectDlg::IDC_PROTOCOL, "MC3");
    dialog.OnCommand(CdsDeviceObjectDlg::IDC_PROTOCOL);
    EXPECT_EQ(dialog.GetChoice(CDeviceObjectDlg::IDC_FRAME_KIND), Choice::k3EBinary);

    dialog.SetText(CdsDeviceObjectDlg::IDC_SYSTEM_TYPE, "6");
    dialog.OnCommand(CdsDeviceObjectDlg::IDC_SYSTEM_TYPE);
    EXPECT_EQ(dialog.GetChoice(CDeviceObjectDlg::IDC_FRAME_KIND), -1);
    EXPECT_FALSE(dialog.OnOK());
    EXPECT_EQ(dialog.GetRefusedField(), CdsDeviceObjectDlg::IDC_SYSTEM_TYPE);
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].rfind("System Type must be 1 to 5", 0), 0u);
}

int IndexOf(const std::vector<std::string>& list, const std::string& text)
{
    const auto it = std::find(list.begin(), list.end(), text);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TEST(FenwoldBlockDialog, DeviceAndStartShowAndMakeTheBlocksAddressApartFromItsName)
{
    testsupport::ScriptedAnswers boxes;
    CMemoryArrayDlg dialog;
    dialog.m_values.strName = "Tank";
    dialog.m_values.strAddress = "D100";
    dialog.m_values.nDataType = 0xA8;
    dialog.m_values.nValueType = 4;
    dialog.m_values.nLength = 10;
    ASSERT_TRUE(dialog.OnInitDialog());
    EXPECT_EQ(dialog.GetChoiceText(CMemoryArrayDlg::IDC_DEVICE), "D");
    EXPECT_EQ(dialog.GetText(CMemoryArrayDlg::IDC_START), "100");
    EXPECT_EQ(dialog.GetChoiceText(CdsMemoryArrayDlg::IDC_DATA_TYPE), "Word");
    EXPECT_EQ(dialog.GetText(CdsMemoryArrayDlg::IDC_LENGTH), "10");

    dialog.SetChoice(CMemoryArrayDlg::IDC_DEVICE, IndexOf(CMemoryArrayDlg::GetDeviceNames(), "X"));
    dialog.OnCommand(CMemoryArrayDlg::IDC_DEVICE);
    dialog.SetText(CMemoryArrayDlg::IDC_START, "1f0");
    dialog.OnCommand(CMemoryArrayDlg::IDC_START);
    dialog.SetChoiceText(CdsMemoryArrayDlg::IDC_DATA_TYPE, "Bool");
    EXPECT_EQ(dialog.GetText(CdsMemoryArrayDlg::IDC_NAME), "Tank"); // a name of its own stays
    ASSERT_TRUE(dialog.OnOK());
    EXPECT_EQ(dialog.m_values.strName, "Tank");
    EXPECT_EQ(dialog.m_values.strAddress, "X1F0");
    EXPECT_TRUE(dialog.m_values.bEditsAddress);
    EXPECT_EQ(dialog.m_values.nDataType, 0x9C);
    EXPECT_EQ(dialog.m_values.nValueType, 0);
    EXPECT_TRUE(boxes.asked.empty());

    // A block named by its address goes on being named by it.
    CMemoryArrayDlg named;
    named.m_values.strName = "D100";
    named.m_values.strAddress = "D100";
    ASSERT_TRUE(named.OnInitDialog());
    named.SetText(CMemoryArrayDlg::IDC_START, "200");
    named.OnCommand(CMemoryArrayDlg::IDC_START);
    EXPECT_EQ(named.GetText(CdsMemoryArrayDlg::IDC_NAME), "D200");
}

TEST(FenwoldBlockDialog, WhatMakesNoReadableRangeIsRefusedNamingTheText)
{
    testsupport::ScriptedAnswers boxes;
    CMemoryArrayDlg dialog;
    dialog.m_values.strName = "Tank";
    dialog.m_values.strAddress = "D0";
    dialog.m_values.nValueType = 4;
    dialog.m_values.nLength = 1;
    ASSERT_TRUE(dialog.OnInitDialog());
    const int d = IndexOf(CMemoryArrayDlg::GetDeviceNames(), "D");
    struct Case {
        int device;
        const char* start;
        const char* length;
        int field;
        const char* message;
    };
    const Case refused[] = {
        {-1, "0", "1", CMemoryArrayDlg::IDC_DEVICE, "Choose the device the item reads: D, M, X ..."},
        {d, "Q5", "1", CMemoryArrayDlg::IDC_START,
         "Start 'Q5' is no element of device D: give its decimal number, for example D0."},
        {d, "X5", "1", CMemoryArrayDlg::IDC_START, // DX5 is an element of DX
         "Start 'X5' is no element of device D: give its decimal number, for example D0."},
        {d, "", "1", CMemoryArrayDlg::IDC_START,
         "Start '' is no element of device D: give its decimal number, for example D0."},
        {d, "5", "0", CdsMemoryArrayDlg::IDC_LENGTH, "Length must be 1 or more."},
        {d, "999990", "11", CdsMemoryArrayDlg::IDC_LENGTH,
         "Item Tank: Length: 11 items from D999990 run past the last element D999999."},
    };
    for (const Case& c : refused) {
        boxes.asked.clear();
        dialog.SetChoice(CMemoryArrayDlg::IDC_DEVICE, c.device);
        dialog.SetText(CMemoryArrayDlg::IDC_START, c.start);
        dialog.SetText(CdsMemoryArrayDlg::IDC_LENGTH, c.length);
        EXPECT_FALSE(dialog.OnOK()) << c.start;
        EXPECT_EQ(dialog.GetRefusedField(), c.field) << c.start;
        EXPECT_EQ(boxes.asked, std::vector<std::string>{c.message});
    }
    EXPECT_EQ(dialog.m_values.strAddress, "D0");
    dialog.SetText(CdsMemoryArrayDlg::IDC_LENGTH, "10");
    ASSERT_TRUE(dialog.OnOK()); // D999990 to D999999
    EXPECT_EQ(dialog.m_values.strAddress, "D999990");
}

TEST(FenwoldBlockDialog, TheRangeIsCheckedForTheDevicesFrameKind)
{
    testsupport::ScriptedAnswers boxes;
    CDeviceObject station;
    station.m_nDeviceType = 5; // 1E binary
    station.m_strProtocol = "MC3";
    ASSERT_TRUE(station.OnInitDeviceObject());
    ASSERT_EQ(station.GetFrameKind(), McFrameKind::E1);
    std::unique_ptr<CdsMemoryArrayDlg> made = station.NewMemoryArrayDlg();
    auto* dialog = dynamic_cast<CMemoryArrayDlg*>(made.get());
    ASSERT_NE(dialog, nullptr);
    dialog->m_values.strName = "Tank";
    dialog->m_values.strAddress = "D1000";
    dialog->m_values.nValueType = 4;
    dialog->m_values.nLength = 1;
    ASSERT_TRUE(dialog->OnInitDialog());
    dialog->SetText(CdsMemoryArrayDlg::IDC_LENGTH, "257"); // a 3E frame carries it
    EXPECT_FALSE(dialog->OnOK());
    EXPECT_EQ(boxes.asked, std::vector<std::string>{"Item Tank: Length: 257 items from D1000 need 257 words; one "
                                                    "read request carries at most 256 in a 1E frame."});
    dialog->SetText(CdsMemoryArrayDlg::IDC_LENGTH, "256");
    EXPECT_TRUE(dialog->OnOK());
}

TEST(FenwoldBlockDialog, ANewItemNeedsADeviceAndItsNameMayBeLeftToTheAddress)
{
    testsupport::ScriptedAnswers boxes;
    CMemoryArrayDlg dialog;
    ASSERT_TRUE(dialog.OnInitDialog());
    EXPECT_EQ(dialog.GetChoice(CMemoryArrayDlg::IDC_DEVICE), -1);
    dialog.SetText(CdsMemoryArrayDlg::IDC_NAME, "Tank");
    EXPECT_FALSE(dialog.OnOK());
    EXPECT_EQ(dialog.GetRefusedField(), CMemoryArrayDlg::IDC_DEVICE);
    dialog.SetText(CdsMemoryArrayDlg::IDC_NAME, "");
    dialog.SetChoiceText(CMemoryArrayDlg::IDC_DEVICE, "M");
    dialog.SetText(CMemoryArrayDlg::IDC_START, "8");
    dialog.SetText(CdsMemoryArrayDlg::IDC_LENGTH, "16");
    ASSERT_TRUE(dialog.OnOK());
    EXPECT_EQ(dialog.m_values.strName, "M8");
    EXPECT_EQ(dialog.m_values.strAddress, "M8");
    EXPECT_EQ(dialog.m_values.nLength, 16);
}

TEST(FenwoldBlockDialog, ARangeShownUnchangedIsTakenAsItWas)
{
    // What an older configuration may hold: a length the checks would refuse today.
    testsupport::ScriptedAnswers boxes;
    CMemoryArrayDlg dialog;
    dialog.m_values.strName = "Old";
    dialog.m_values.strAddress = "d0100";
    dialog.m_values.nDataType = 0xA8;
    dialog.m_values.nValueType = 9; // a type the list does not offer
    dialog.m_values.nLength = 0;
    ASSERT_TRUE(dialog.OnInitDialog());
    EXPECT_EQ(dialog.GetChoice(CdsMemoryArrayDlg::IDC_DATA_TYPE), -1);
    ASSERT_TRUE(dialog.OnOK());
    EXPECT_EQ(dialog.m_values.strAddress, "d0100");
    EXPECT_EQ(dialog.m_values.nValueType, 9);
    EXPECT_EQ(dialog.m_values.nLength, 0);
    EXPECT_EQ(dialog.m_values.nDataType, 0xA8);
    EXPECT_TRUE(boxes.asked.empty());
}

// The sample configuration's blocks, edited through the data view with the
// server's dialogs as a user would.
class FenwoldBlockCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell.SetOption("Confirm On Quit", 0);
        shell.SetOption("Enable Background Thread", 0);
        const std::string config = fenwoldtest::WriteSampleConfig(shell.scratch.path() / "plant.csv", 5010);
        ASSERT_TRUE(shell.Start({config}));
        previous = shell::InstallConfigDialogs(&dialogs);
        view = shell.Frame()->GetDataView();
        plc1 = CdsDeviceMap::GetDeviceObjectByTopic("PLC1");
        ASSERT_NE(plc1, nullptr);
        ASSERT_TRUE(shell.Doc()->IsOffline());
        view->SetActiveDevice(plc1);
    }
    void TearDown() override
    {
        shell::InstallConfigDialogs(previous);
        shell.Doc()->SetModifiedFlag(false);
    }

    // Every setting of a block that the dialog shows or that a read depends on.
    struct Settings {
        std::string name, address, description;
        int typeWord, type, count, priority, scanTime;
        LONG length;
        BOOL read, write, forceDouble;
        bool operator==(const Settings&) const = default;
    };
    static Settings Of(const CdsMemoryArray& b)
    {
        return {b.GetName(),         b.GetAddr(),         b.GetDescription(),    b.GetTypeDataWord(),
                b.GetDefaultDataType(), b.GetMaxMemories(), b.GetPriority(),     b.GetScanTime(),
                b.GetLength(),       b.IsReadAllowed(),   b.IsWriteAllowed(),    b.IsForceDouble()};
    }

    fenwoldtest::FenwoldHarness shell;
    testsupport::ScriptedAnswers boxes;
    testsupport::ScriptedForms forms;
    shell::FormConfigDialogs dialogs;
    shell::ConfigDialogs* previous = nullptr;
    CdsDataView* view = nullptr;
    CdsDeviceObject* plc1 = nullptr;
};

TEST_F(FenwoldBlockCommands, EditItemShowsTheBlocksOwnRangeAndOkUnchangedLeavesItAsItWas)
{
    struct Case {
        const char* name;
        const char* device;
        const char* start;
        const char* type;
        const char* length;
    };
    const Case cases[] = {{"Words", "D", "100", "Short", "8"}, {"Inputs", "X", "0", "Bool", "8"}};
    for (const Case& c : cases) {
        CdsMemoryArray* block = plc1->GetMemoryArrayByName(c.name);
        ASSERT_NE(block, nullptr) << c.name;
        const Settings before = Of(*block);
        view->SetActiveBlock(block);
        std::map<int, std::string> shown;
        forms.steps = {[&shown](shell::DialogForm& f) {
            shown[CdsMemoryArrayDlg::IDC_NAME] = f.GetText(CdsMemoryArrayDlg::IDC_NAME);
            shown[CMemoryArrayDlg::IDC_DEVICE] = f.GetChoiceText(CMemoryArrayDlg::IDC_DEVICE);
            shown[CMemoryArrayDlg::IDC_START] = f.GetText(CMemoryArrayDlg::IDC_START);
            shown[CdsMemoryArrayDlg::IDC_DATA_TYPE] = f.GetChoiceText(CdsMemoryArrayDlg::IDC_DATA_TYPE);
            shown[CdsMemoryArrayDlg::IDC_LENGTH] = f.GetText(CdsMemoryArrayDlg::IDC_LENGTH);
        }};
        view->OnCommand(CdsDataView::Command::EditBlock);
        EXPECT_EQ(shown, (std::map<int, std::string>{{CdsMemoryArrayDlg::IDC_NAME, c.name},
                                                     {CMemoryArrayDlg::IDC_DEVICE, c.device},
                                                     {CMemoryArrayDlg::IDC_START, c.start},
                                                     {CdsMemoryArrayDlg::IDC_DATA_TYPE, c.type},
                                                     {CdsMemoryArrayDlg::IDC_LENGTH, c.length}}));
        EXPECT_EQ(forms.refused, 0) << c.name;
        EXPECT_TRUE(boxes.asked.empty()) << c.name << ": " << (boxes.asked.empty() ? "" : boxes.asked[0]);
        EXPECT_TRUE(Of(*block) == before) << c.name;
        EXPECT_EQ(plc1->GetMemoryArrayByAddr(before.address), block);
    }
}

TEST_F(FenwoldBlockCommands, EditItemMovesTheRangeAndARefusedStartChangesNothing)
{
    CdsMemoryArray* block = plc1->GetMemoryArrayByName("Words");
    ASSERT_NE(block, nullptr);
    const Settings before = Of(*block);
    view->SetActiveBlock(block);
    forms.steps = {[](shell::DialogForm& f) { f.SetText(CMemoryArrayDlg::IDC_START, "1O0"); }};
    view->OnCommand(CdsDataView::Command::EditBlock); // refused, then cancelled
    EXPECT_EQ(forms.refused, 1);
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_NE(boxes.asked[0].find("'1O0'"), std::string::npos) << boxes.asked[0];
    EXPECT_TRUE(Of(*block) == before);

    forms.steps = {[](shell::DialogForm& f) {
        f.SetText(CMemoryArrayDlg::IDC_START, "300");
        f.SetText(CdsMemoryArrayDlg::IDC_LENGTH, "4");
    }};
    view->OnCommand(CdsDataView::Command::EditBlock);
    EXPECT_EQ(block->GetName(), "Words");
    EXPECT_EQ(block->GetAddr(), "D300");
    EXPECT_EQ(block->GetMaxMemories(), 4);
    EXPECT_EQ(block->GetDefaultDataType(), before.type);
    EXPECT_EQ(plc1->GetMemoryArrayByAddr("D300"), block);
    EXPECT_EQ(plc1->GetMemoryArrayByAddr("D100"), nullptr);
}

TEST_F(FenwoldBlockCommands, AddItemReadsWhereDeviceAndStartSayAndRefusesANameThatIsNoAddress)
{
    forms.steps = {[](shell::DialogForm& f) {
        f.SetText(CdsMemoryArrayDlg::IDC_NAME, "Tank level");
        f.SetChoiceText(CMemoryArrayDlg::IDC_DEVICE, "W");
        f.SetText(CMemoryArrayDlg::IDC_START, "1a0");
        f.SetChoiceText(CdsMemoryArrayDlg::IDC_DATA_TYPE, "Word");
        f.SetText(CdsMemoryArrayDlg::IDC_LENGTH, "2");
    }};
    view->OnCommand(CdsDataView::Command::NewBlock);
    EXPECT_TRUE(boxes.asked.empty()) << (boxes.asked.empty() ? "" : boxes.asked[0]);
    auto* tank = dynamic_cast<CMemoryArray*>(plc1->GetMemoryArrayByName("TANK LEVEL"));
    ASSERT_NE(tank, nullptr);
    EXPECT_EQ(tank->GetAddr(), "W1A0");
    EXPECT_EQ(tank->GetDeviceCode(), 0xB4);
    EXPECT_EQ(tank->GetMaxMemories(), 2);
    EXPECT_EQ(tank->GetDefaultDataType(), 4);
    EXPECT_EQ(view->GetActiveBlock(), tank);

    // A dialog without an address of its own: the name would be the address,
    // and "Words2" only begins like one (W).
    testsupport::ScriptedConfigDialogs plain;
    plain.block = [](shell::BlockDialogFields& f, bool) {
        f.strName = "Words2";
        f.nLength = 4;
    };
    const int blocks = plc1->GetMemoryArrayList().GetCount();
    view->OnCommand(CdsDataView::Command::NewBlock);
    EXPECT_EQ(boxes.asked.back(), "Item WORDS2 is not added: 'WORDS2' is no address topic PLC1 can read.");
    EXPECT_EQ(plc1->GetMemoryArrayList().GetCount(), blocks);

    plain.block = [](shell::BlockDialogFields& f, bool) {
        f.strName = "Again";
        f.strAddress = "d100";
        f.bEditsAddress = true;
        f.nValueType = 3; // Short, as Words reads them
        f.nLength = 1;
    };
    view->OnCommand(CdsDataView::Command::NewBlock);
    EXPECT_EQ(boxes.asked.back(), "Item AGAIN is not added: item Words of the topic reads at D100.");
    EXPECT_EQ(plc1->GetMemoryArrayList().GetCount(), blocks);
}

TEST_F(FenwoldBlockCommands, AddItemStartsAsOneWordAndTheLogSaysWhatWasChanged)
{
    std::map<int, std::string> shown;
    forms.steps = {[&shown](shell::DialogForm& f) {
        for (int id : {CdsMemoryArrayDlg::IDC_LENGTH, CdsMemoryArrayDlg::IDC_PRIORITY, CdsMemoryArrayDlg::IDC_SCAN_TIME})
            shown[id] = f.GetText(id);
        shown[CdsMemoryArrayDlg::IDC_DATA_TYPE] = f.GetChoiceText(CdsMemoryArrayDlg::IDC_DATA_TYPE);
        f.SetText(CdsMemoryArrayDlg::IDC_NAME, "tank");
        f.SetChoiceText(CMemoryArrayDlg::IDC_DEVICE, "D");
        f.SetText(CMemoryArrayDlg::IDC_START, "500");
        f.SetText(CdsMemoryArrayDlg::IDC_SCAN_TIME, "0");
    }};
    view->OnCommand(CdsDataView::Command::NewBlock);
    EXPECT_EQ(shown, (std::map<int, std::string>{{CdsMemoryArrayDlg::IDC_LENGTH, "1"},
                                                 {CdsMemoryArrayDlg::IDC_PRIORITY, "0"},
                                                 {CdsMemoryArrayDlg::IDC_SCAN_TIME, "1000"},
                                                 {CdsMemoryArrayDlg::IDC_DATA_TYPE, "Word"}}));
    CdsMemoryArray* tank = plc1->GetMemoryArrayByName("TANK");
    ASSERT_NE(tank, nullptr);
    EXPECT_EQ(tank->GetAddr(), "D500");
    EXPECT_EQ(tank->GetScanTime(), 100);
    EXPECT_EQ(shell.CountLog(
                  "Info : Item name tank is kept as TANK: names are upper-case while option \"Case Sensitive\" is off."),
              1);
    EXPECT_EQ(shell.CountLog("Info : Item TANK: Scantime 0 is outside 100 to 10000 ms; it is read every 100 ms."), 1);
}

TEST(FenwoldBlockDialog, ATypedFirstLetterFindsTheDeviceOfThatOneLetter)
{
    const std::vector<std::string>& names = CMemoryArrayDlg::GetDeviceNames();
    for (const char* name : {"D", "S", "W", "X"}) {
        const auto first = std::find_if(names.begin(), names.end(),
                                        [name](const std::string& n) { return n.front() == name[0]; });
        ASSERT_NE(first, names.end()) << name;
        EXPECT_EQ(*first, name);
    }
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
}

// A program built on the server: its device's command diagnostics dialog
// notes every device it is applied to.
using testsupport::NotingDiagDlg;

class NotingDevice final : public CDeviceObject {
public:
    std::unique_ptr<CdsCommandDiagDlg> NewCommandDiagDlg() const override
    {
        return std::make_unique<NotingDiagDlg>(applied);
    }
    mutable std::vector<std::string> applied;
};

TEST_F(FenwoldBlockCommands, TheServersDialogsAreShownAndADiagnosticsDialogIsAppliedToEveryDevice)
{
    std::vector<std::string> seen;
    const auto note = [&seen](shell::DialogForm& f) {
        seen.push_back(dynamic_cast<CDeviceObjectDlg*>(&f) ? "server device"
                       : dynamic_cast<CTimeoutDlg*>(&f)    ? "server timeouts"
                                                           : "other");
    };
    forms.steps = {note};
    view->OnCommand(CdsDataView::Command::EditDevice);
    forms.steps = {note};
    view->OnCommand(CdsDataView::Command::Timeouts);
    EXPECT_EQ(seen, (std::vector<std::string>{"server device", "server timeouts"}));
    EXPECT_TRUE(boxes.asked.empty()) << (boxes.asked.empty() ? "" : boxes.asked[0]);

    // Another station of the same PLC kind (type 4 speaks the same 3E frames).
    auto* noting = new NotingDevice;
    static_cast<CdsDeviceObject&>(*noting) = *plc1;
    noting->m_strName = "PLC9";
    noting->m_nDeviceType = 4;
    ASSERT_EQ(shell.Doc()->GetDeviceMap(FALSE)->AddDeviceObject(noting, TRUE), noting);
    view->FillDeviceList();
    view->SetActiveDevice(noting);
    forms.steps = {[](shell::DialogForm& f) {
        f.SetCheck(CdsCommandDiagDlg::IDC_ENABLE, true);
        f.SetText(CdsCommandDiagDlg::IDC_VALIDATE_TIME, "3000");
        f.SetCheck(IDC_UPDATE_ALL, true);
    }};
    view->OnCommand(CdsDataView::Command::CommandDiag);
    std::sort(noting->applied.begin(), noting->applied.end());
    EXPECT_EQ(noting->applied, (std::vector<std::string>{"PLC1", "PLC9"}));
    EXPECT_TRUE(plc1->m_bCommandDiag);
    EXPECT_EQ(plc1->m_nCommandDiagValidateTime, 3000);
}

TEST(FenwoldDialogs, TheServersMapAndDevicesMakeTheServersDialogs)
{
    const CDeviceMap map;
    const CDeviceObject device;
    EXPECT_NE(dynamic_cast<CDeviceObjectDlg*>(map.NewDeviceObjectDlg().get()), nullptr);
    EXPECT_NE(dynamic_cast<CMemoryArrayDlg*>(device.NewMemoryArrayDlg().get()), nullptr);
    EXPECT_EQ(device.NewTimeoutDlg()->GetTemplateId(), static_cast<UINT>(CdsTimeoutDlg::IDD));
    // The framework's map makes the framework's device dialog.
    EXPECT_EQ(dynamic_cast<CDeviceObjectDlg*>(CdsDeviceMap().NewDeviceObjectDlg().get()), nullptr);
    EXPECT_EQ(NewFenwoldOptionDlg()->GetFileFilter(), "Melsec Ethernet Config file (*.mme)|*.mme|All Files (*.*)|*.*||");
}

} // namespace
