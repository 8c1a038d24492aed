// The configuration dialogs as forms: each page loads its values and writes
// back what was typed, refuses what it cannot take with the framework's
// messages, and the data view's edits go through them (a refused name keeps
// the dialog open).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kestrun/comm/config/EmulConfig.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/opc/Callback.h"
#include "kestrun/shell/server/DataView.h"
#include "kestrun/shell/forms/DeviceDialogs.h"
#include "kestrun/shell/forms/DeviceSettingsDialogs.h"
#include "kestrun/shell/forms/FormConfigDialogs.h"
#include "support/shell/ShellFakes.h"
#include "support/shell/ShellHarness.h"
#include "support/shell/TestServerApp.h"

namespace {

using Command = CdsDataView::Command;

// Each control's text, or "1"/"0" for a check box.
std::map<int, std::string> Shown(const shell::DialogForm& form)
{
    std::map<int, std::string> shown;
    for (const shell::FormField& f : form.GetFields())
        if (f.kind == shell::FieldKind::Edit)
            shown[f.nId] = f.strText;
        else if (f.kind == shell::FieldKind::Check)
            shown[f.nId] = f.bChecked ? "1" : "0";
    return shown;
}

void Type(shell::DialogForm& form, const std::map<int, std::string>& entries)
{
    for (const auto& [id, text] : entries) {
        if (form.FindField(id)->kind == shell::FieldKind::Check)
            form.SetCheck(id, text == "1");
        else
            form.SetText(id, text);
    }
}

TEST(DeviceDialogForms, EachPageShowsItsValuesAndTakesBackWhatWasTyped)
{
    CdsDeviceObjectDlg device;
    device.m_values = {"PLC1", "press", 4, "0.255", "TCP1", "MC3", "9600", "x", {}};
    ASSERT_TRUE(device.OnInitDialog());
    EXPECT_EQ(Shown(device), (std::map<int, std::string>{{23300, "PLC1"}, {23303, "press"}, {23305, "4"},
                                                         {23304, "0.255"}, {23307, "MC3"}, {23306, "TCP1"},
                                                         {23308, "9600"}, {23341, "x"}}));
    Type(device, {{23300, "PLC2"}, {23305, "3"}, {23306, "TCP2"}});
    ASSERT_TRUE(device.OnOK());
    EXPECT_EQ(device.m_values.strName, "PLC2");
    EXPECT_EQ(device.m_values.nSystemType, 3);
    EXPECT_EQ(device.m_values.strPort, "TCP2");
    EXPECT_EQ(device.m_values.strProtocol, "MC3");

    CdsMemoryArrayDlg block;
    block.m_values = {"D100", 168, 10, 2, TRUE, FALSE, 500, "tank", {}, "D100", false, 3};
    ASSERT_TRUE(block.OnInitDialog());
    EXPECT_EQ(Shown(block), (std::map<int, std::string>{{23302, "D100"}, {23342, "168"}, {23343, "10"},
                                                        {23344, "2"}, {23345, "1"}, {23346, "0"},
                                                        {23347, "500"}, {23348, "tank"}}));
    Type(block, {{23343, " 20 "}, {23346, "1"}, {23345, "0"}});
    ASSERT_TRUE(block.OnOK());
    EXPECT_EQ(block.m_values.nLength, 20);
    EXPECT_FALSE(block.m_values.bReadAllowed);
    EXPECT_TRUE(block.m_values.bWriteAllowed);

    CdsTimeoutDlg timeouts;
    timeouts.m_values = {3, FALSE, 100, 2000, 1500, 1600, 5};
    ASSERT_TRUE(timeouts.OnInitDialog());
    EXPECT_EQ(Shown(timeouts), (std::map<int, std::string>{{23310, "3"}, {23297, "0"}, {23311, "100"},
                                                           {23314, "2000"}, {23308, "1500"}, {23309, "1600"},
                                                           {23312, "5"}}));
    Type(timeouts, {{23308, "4294967295"}, {23297, "1"}});
    ASSERT_TRUE(timeouts.OnOK());
    EXPECT_EQ(timeouts.m_values.dwReadTimeout, 4294967295u);
    EXPECT_TRUE(timeouts.m_values.bUpdateAll);
}

TEST(DeviceDialogForms, EntriesThatCannotBeTakenAreRefusedWithTheirMessageAndKeepTheDialogOpen)
{
    testsupport::ScriptedAnswers boxes;
    testsupport::TestServerDevice device;
    struct Case {
        std::function<std::unique_ptr<shell::DialogForm>()> make;
        int field;
        const char* text;
        const char* message; // nullptr: taken
    };
    auto timeouts = [] { return std::make_unique<CdsTimeoutDlg>(); };
    auto diag = [&device] {
        auto form = std::make_unique<CdsCommandDiagDlg>();
        form->m_values.pDevice = &device;
        return form;
    };
    const Case cases[] = {
        {timeouts, CdsTimeoutDlg::IDC_RETRIES, "three", "Please enter an integer."},
        {timeouts, CdsTimeoutDlg::IDC_RETRY_DELAY, "-1", "Please enter a positive integer."},
        {timeouts, CdsTimeoutDlg::IDC_WRITE_TIMEOUT, "4294967296", "Please enter a positive integer."},
        {[] { return std::make_unique<CdsDeviceObjectDlg>(); }, CdsDeviceObjectDlg::IDC_SYSTEM_TYPE, "",
         "Please enter an integer."},
        {diag, CdsCommandDiagDlg::IDC_VALIDATE_TIME, "999", "Please enter an integer between 1000 and 30000."},
        {diag, CdsCommandDiagDlg::IDC_VALIDATE_TIME, "30001", "Please enter an integer between 1000 and 30000."},
        {diag, CdsCommandDiagDlg::IDC_VALIDATE_TIME, "1000", nullptr},
        {diag, CdsCommandDiagDlg::IDC_VALIDATE_TIME, "30000", nullptr},
    };
    for (const Case& c : cases) {
        std::unique_ptr<shell::DialogForm> form = c.make();
        ASSERT_TRUE(form->OnInitDialog());
        form->SetText(c.field, c.text);
        boxes.asked.clear();
        EXPECT_EQ(form->OnOK(), c.message == nullptr) << c.text;
        if (c.message) {
            EXPECT_EQ(form->GetRefusedField(), c.field) << c.text;
            EXPECT_EQ(boxes.asked, std::vector<std::string>{c.message}) << c.text;
        }
    }
}

TEST(DeviceDialogForms, DiagnosticsAndRedundancyNeedADeviceAndShowWhatItCanReport)
{
    testsupport::ScriptedAnswers boxes;
    testsupport::ScriptedForms forms;
    CdsRedundancyDlg none;
    EXPECT_EQ(none.DoModal(), shell::IDCANCEL);
    CdsCommandDiagDlg noDiag;
    EXPECT_EQ(noDiag.DoModal(), shell::IDCANCEL);
    EXPECT_EQ(forms.refused + static_cast<int>(boxes.asked.size()), 0);

    testsupport::TestServerDevice device;
    device.m_bSwitchOnCpuError = TRUE;
    device.m_nCheckInterval = 700;
    CdsRedundancyDlg single;
    single.m_values.pDevice = &device;
    ASSERT_TRUE(single.OnInitDialog());
    EXPECT_EQ(boxes.asked, std::vector<std::string>{"Device does not support redundancy!"});
    EXPECT_TRUE(single.GetCheck(CdsRedundancyDlg::IDC_SWITCH_CPU_ERROR));
    EXPECT_TRUE(single.IsFieldEnabled(CdsRedundancyDlg::IDC_SWITCH_CPU_ERROR));
    EXPECT_EQ(single.GetText(CdsRedundancyDlg::IDC_CHECK_INTERVAL), "700");
    EXPECT_TRUE(single.GetCheck(IDC_UPDATE_ALL)); // on by default

    // With a secondary master line it supports redundancy; this device
    // reports neither CPU, run nor master status.
    auto secondary = std::make_unique<CdsEmulConfig>();
    secondary->SetPortId(2);
    device.SetCommConfig(1, std::move(secondary));
    boxes.asked.clear();
    CdsRedundancyDlg paired;
    paired.m_values.pDevice = &device;
    ASSERT_TRUE(paired.OnInitDialog());
    EXPECT_TRUE(boxes.asked.empty());
    for (int id : {CdsRedundancyDlg::IDC_SWITCH_CPU_ERROR, CdsRedundancyDlg::IDC_SWITCH_RUN,
                   CdsRedundancyDlg::IDC_SWITCH_REDUNDANCY}) {
        EXPECT_FALSE(paired.GetCheck(id)) << id;
        EXPECT_FALSE(paired.IsFieldEnabled(id)) << id;
    }
    EXPECT_TRUE(paired.IsFieldEnabled(CdsRedundancyDlg::IDC_SWITCH_COMM_ERROR));
    paired.SetCheck(CdsRedundancyDlg::IDC_FAST_SWITCH, true);
    ASSERT_TRUE(paired.OnOK());
    testsupport::TestServerDevice other;
    paired.OnUpdateDevice(other);
    EXPECT_TRUE(other.m_bFastSwitch);
    EXPECT_FALSE(other.m_bSwitchOnCpuError);
    EXPECT_EQ(other.m_nCheckInterval, 700);
}

// A program's device type with dialogs of its own. Its command diagnostics
// dialog applies the framework's values and notes each device; its redundancy
// dialog takes only the check interval, so what a device takes is the dialog's.
class ProgramBlockDlg final : public CdsMemoryArrayDlg {};
class ProgramTimeoutDlg final : public CdsTimeoutDlg {};

using ProgramDiagDlg = testsupport::NotingDiagDlg;

class ProgramRedundancyDlg final : public CdsRedundancyDlg {
public:
    explicit ProgramRedundancyDlg(std::vector<std::string>& applied) : m_applied(applied) {}
    void OnUpdateDevice(CdsDeviceObject& device) const override
    {
        device.m_nCheckInterval = m_values.nCheckInterval;
        m_applied.push_back(device.m_strName);
    }

private:
    std::vector<std::string>& m_applied;
};

class ProgramDevice final : public testsupport::TestServerDevice {
public:
    std::unique_ptr<CdsMemoryArrayDlg> NewMemoryArrayDlg() const override
    {
        return std::make_unique<ProgramBlockDlg>();
    }
    std::unique_ptr<CdsTimeoutDlg> NewTimeoutDlg() const override { return std::make_unique<ProgramTimeoutDlg>(); }
    std::unique_ptr<CdsCommandDiagDlg> NewCommandDiagDlg() const override
    {
        return std::make_unique<ProgramDiagDlg>(applied);
    }
    std::unique_ptr<CdsRedundancyDlg> NewRedundancyDlg() const override
    {
        return std::make_unique<ProgramRedundancyDlg>(applied);
    }

    mutable std::vector<std::string> applied;
};

// The data view with the dialogs as forms, filled by a script.
class FormDialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell.SetOption("Enable Background Thread", 0);
        ASSERT_TRUE(shell.OpenDocument());
        previous = shell::InstallConfigDialogs(&dialogs);
        view = shell.Frame()->GetDataView();
        plc1 = CdsDeviceMap::GetDeviceObjectByTopic("PLC1");
        view->FillDeviceList();
    }
    void TearDown() override { shell::InstallConfigDialogs(previous); }

    testsupport::ShellHarness shell;
    testsupport::ScriptedAnswers boxes;
    testsupport::ScriptedForms forms;
    shell::FormConfigDialogs dialogs;
    shell::ConfigDialogs* previous = nullptr;
    CdsDataView* view = nullptr;
    CdsDeviceObject* plc1 = nullptr;
};

TEST_F(FormDialogsTest, ATakenTopicNameKeepsTheDialogOpenAndAFreeOneMovesTheOpcTopic)
{
    forms.steps = {[](shell::DialogForm& f) {
        f.SetText(CdsDeviceObjectDlg::IDC_NAME, "plc2");
        f.SetText(CdsDeviceObjectDlg::IDC_PORT, "EMUL1");
        f.SetText(CdsDeviceObjectDlg::IDC_ADDRESS, "2");
    }};
    view->OnCommand(Command::NewDevice);
    ASSERT_NE(CdsDeviceMap::GetDeviceObjectByTopic("PLC2"), nullptr);

    CfsCallback callback;
    callback.SetDeviceMap(shell.Doc()->GetDeviceMap(FALSE));
    auto reachable = [&callback](const char* id) {
        CTag* tag = callback.CreateTag(id, {}, {});
        if (!tag)
            return false;
        CTag* tags[] = {tag};
        callback.RemoveTags(tags);
        return true;
    };
    ASSERT_TRUE(reachable("[PLC1]D0:1"));
    view->SetActiveDevice(plc1);
    // First the name of another topic, then one that is free.
    forms.steps = {[](shell::DialogForm& f) { f.SetText(CdsDeviceObjectDlg::IDC_NAME, "PLC2"); },
                   [](shell::DialogForm& f) { f.SetText(CdsDeviceObjectDlg::IDC_NAME, "line1"); }};
    view->OnCommand(Command::EditDevice);
    EXPECT_EQ(forms.refused, 1);
    EXPECT_EQ(boxes.asked, std::vector<std::string>{"Topic PLC1 keeps its settings: another topic is named PLC2."});
    EXPECT_EQ(plc1->m_strName, "LINE1");
    EXPECT_TRUE(shell.Doc()->IsModified());
    EXPECT_TRUE(reachable("[LINE1]D0:1"));
    EXPECT_FALSE(reachable("[PLC1]D0:1"));
    callback.SetDeviceMap(nullptr);

    // A refusal followed by Cancel changes nothing.
    forms.steps = {[](shell::DialogForm& f) { f.SetText(CdsDeviceObjectDlg::IDC_ADDRESS, "2"); }};
    view->OnCommand(Command::EditDevice);
    EXPECT_EQ(boxes.asked.back(),
              "Topic LINE1 keeps its settings: topic PLC2 has the same port, address and system type.");
    EXPECT_EQ(plc1->m_strAddress, "1");
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("LINE1"), plc1);
}

TEST_F(FormDialogsTest, TimeoutsGoToTheActiveDeviceOrToAllWithUpdateAll)
{
    forms.steps = {[](shell::DialogForm& f) {
        f.SetText(CdsDeviceObjectDlg::IDC_NAME, "PLC2");
        f.SetText(CdsDeviceObjectDlg::IDC_PORT, "EMUL1");
        f.SetText(CdsDeviceObjectDlg::IDC_ADDRESS, "2");
    }};
    view->OnCommand(Command::NewDevice);
    CdsDeviceObject* plc2 = CdsDeviceMap::GetDeviceObjectByTopic("PLC2");
    ASSERT_NE(plc2, nullptr);
    view->SetActiveDevice(plc1);
    forms.steps = {[](shell::DialogForm& f) { f.SetText(CdsTimeoutDlg::IDC_RETRIES, "7"); }};
    view->OnCommand(Command::Timeouts);
    EXPECT_EQ(plc1->m_nRetries, 7);
    EXPECT_NE(plc2->m_nRetries, 7);
    forms.steps = {[](shell::DialogForm& f) {
        f.SetText(CdsTimeoutDlg::IDC_RETRIES, "9");
        f.SetCheck(IDC_UPDATE_ALL, true);
    }};
    view->OnCommand(Command::Timeouts);
    EXPECT_EQ(plc2->m_nRetries, 9);
    EXPECT_EQ(plc1->m_nRetries, 9);
}

TEST_F(FormDialogsTest, ABlockNamedByItsAddressReadsWhereItsEditedNameAndLengthSay)
{
    view->SetActiveDevice(plc1);
    forms.steps = {[](shell::DialogForm& f) {
        f.SetText(CdsMemoryArrayDlg::IDC_NAME, "d20");
        f.SetText(CdsMemoryArrayDlg::IDC_LENGTH, "3");
    }};
    view->OnCommand(Command::NewBlock);
    CdsMemoryArray* block = plc1->GetMemoryArrayByAddr("D20");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->GetMaxMemories(), 3);
    block->SetStatusQueryStringInitialized(0, TRUE); // polled once

    view->SetActiveBlock(block);
    forms.steps = {[](shell::DialogForm& f) {
        f.SetText(CdsMemoryArrayDlg::IDC_NAME, "D40");
        f.SetText(CdsMemoryArrayDlg::IDC_LENGTH, "6");
    }};
    view->OnCommand(Command::EditBlock);
    EXPECT_EQ(block->GetAddr(), "D40");
    EXPECT_EQ(plc1->GetMemoryArrayByAddr("D40"), block);
    EXPECT_EQ(plc1->GetMemoryArrayByAddr("D20"), nullptr);
    EXPECT_EQ(block->GetMaxMemories(), 6);
    EXPECT_FALSE(block->IsStatusQueryStringInitialized(0)); // the next poll asks for the new range
}

TEST_F(FormDialogsTest, AProgramsDeviceShowsItsOwnDialogsAndItsDialogsApplyThemselves)
{
    auto* prog = new ProgramDevice;
    prog->m_strName = "PROG";
    prog->m_strPort = "EMUL1";
    prog->m_strAddress = "3";
    ASSERT_EQ(shell.Doc()->GetDeviceMap(FALSE)->AddDeviceObject(prog, TRUE), prog);
    view->FillDeviceList();

    // Which dialog class each step was given.
    std::vector<std::string> seen;
    const auto note = [&seen](shell::DialogForm& f) {
        seen.push_back(dynamic_cast<ProgramBlockDlg*>(&f)     ? "program block"
                       : dynamic_cast<ProgramTimeoutDlg*>(&f) ? "program timeouts"
                       : dynamic_cast<CdsMemoryArrayDlg*>(&f) ? "block"
                                                              : "other");
    };
    view->SetActiveDevice(prog);
    forms.steps = {[&](shell::DialogForm& f) {
        note(f);
        f.SetText(CdsMemoryArrayDlg::IDC_NAME, "D30");
        f.SetText(CdsMemoryArrayDlg::IDC_LENGTH, "2");
    }};
    view->OnCommand(Command::NewBlock);
    CdsMemoryArray* block = prog->GetMemoryArrayByAddr("D30");
    ASSERT_NE(block, nullptr);
    view->SetActiveBlock(block);
    forms.steps = {[&](shell::DialogForm& f) {
        note(f);
        f.SetText(CdsMemoryArrayDlg::IDC_LENGTH, "4");
    }};
    view->OnCommand(Command::EditBlock);
    EXPECT_EQ(block->GetMaxMemories(), 4);
    forms.steps = {note};
    view->OnCommand(Command::Timeouts);
    view->SetActiveDevice(plc1);
    forms.steps = {note};
    view->OnCommand(Command::NewBlock);
    EXPECT_EQ(seen, (std::vector<std::string>{"program block", "program block", "program timeouts", "block"}));

    // With "update all" the program's dialog is applied to every device.
    view->SetActiveDevice(prog);
    forms.steps = {[](shell::DialogForm& f) {
        f.SetCheck(CdsCommandDiagDlg::IDC_ENABLE, true);
        f.SetText(CdsCommandDiagDlg::IDC_VALIDATE_TIME, "2000");
        f.SetCheck(IDC_UPDATE_ALL, true);
    }};
    view->OnCommand(Command::CommandDiag);
    std::sort(prog->applied.begin(), prog->applied.end());
    EXPECT_EQ(prog->applied, (std::vector<std::string>{"PLC1", "PROG"}));
    for (const CdsDeviceObject* device : {plc1, static_cast<CdsDeviceObject*>(prog)}) {
        EXPECT_TRUE(device->m_bCommandDiag) << device->m_strName;
        EXPECT_EQ(device->m_nCommandDiagValidateTime, 2000) << device->m_strName;
    }

    prog->applied.clear();
    forms.steps = {[](shell::DialogForm& f) {
        f.SetText(CdsRedundancyDlg::IDC_CHECK_INTERVAL, "900");
        f.SetCheck(CdsRedundancyDlg::IDC_FAST_SWITCH, true);
    }};
    view->OnCommand(Command::Redundancy); // "update all" is on by default
    std::sort(prog->applied.begin(), prog->applied.end());
    EXPECT_EQ(prog->applied, (std::vector<std::string>{"PLC1", "PROG"}));
    for (const CdsDeviceObject* device : {plc1, static_cast<CdsDeviceObject*>(prog)}) {
        EXPECT_EQ(device->m_nCheckInterval, 900) << device->m_strName;
        EXPECT_FALSE(device->m_bFastSwitch) << device->m_strName; // not what this dialog applies
    }
    EXPECT_TRUE(shell.Doc()->IsModified());
}

} // namespace
