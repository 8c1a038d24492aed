// The server's own dialogs: the device dialog edits the frame kind, the block
// dialog the MELSEC device and range; the shell uses them once installed.
#include "fenwold/FenwoldDialogs.h"

#include <gtest/gtest.h>

#include "fenwold/DeviceObject.h"
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

TEST(FenwoldBlockDialog, DeviceStartAndLengthMakeTheBlocksNameAndDeviceCode)
{
    testsupport::ScriptedAnswers boxes;
    CMemoryArrayDlg dialog;
    dialog.m_values.strName = "D100";
    dialog.m_values.nDataType = 0xA8;
    dialog.m_values.nLength = 10;
    ASSERT_TRUE(dialog.OnInitDialog());
    const std::vector<std::string>& names = CMemoryArrayDlg::GetDeviceNames();
    EXPECT_EQ(names[static_cast<std::size_t>(dialog.GetChoice(CMemoryArrayDlg::IDC_DEVICE))], "D");
    EXPECT_EQ(dialog.GetText(CMemoryArrayDlg::IDC_START), "100");
    EXPECT_FALSE(dialog.IsFieldEnabled(CdsMemoryArrayDlg::IDC_DATA_TYPE));

    const auto x = std::find(names.begin(), names.end(), "X");
    ASSERT_NE(x, names.end());
    dialog.SetChoice(CMemoryArrayDlg::IDC_DEVICE, static_cast<int>(x - names.begin()));
    dialog.SetText(CMemoryArrayDlg::IDC_START, "1F0");
    dialog.OnCommand(CMemoryArrayDlg::IDC_START);
    EXPECT_EQ(dialog.GetText(CdsMemoryArrayDlg::IDC_NAME), "X1F0");
    EXPECT_EQ(dialog.GetText(CdsMemoryArrayDlg::IDC_DATA_TYPE), "156");
    ASSERT_TRUE(dialog.OnOK());
    EXPECT_EQ(dialog.m_values.strName, "X1F0");
    EXPECT_EQ(dialog.m_values.nDataType, 0x9C);

    struct Case {
        const char* name;
        const char* length;
        int field;
        const char* message;
    };
    const Case refused[] = {
        {"Q5", "1", CdsMemoryArrayDlg::IDC_NAME,
         "Item Name Q5 is no MELSEC address: a device (D, M, X ...) and its first element, for example D100, M0 or "
         "X1F0."},
        {"D0", "0", CdsMemoryArrayDlg::IDC_LENGTH, "Length must be 1 or more."},
        {"D999990", "11", CdsMemoryArrayDlg::IDC_LENGTH,
         "The range of D999990 ends beyond the last element of device D (999999)."},
    };
    for (const Case& c : refused) {
        boxes.asked.clear();
        dialog.SetText(CdsMemoryArrayDlg::IDC_NAME, c.name);
        dialog.SetText(CdsMemoryArrayDlg::IDC_LENGTH, c.length);
        EXPECT_FALSE(dialog.OnOK()) << c.name;
        EXPECT_EQ(dialog.GetRefusedField(), c.field) << c.name;
        EXPECT_EQ(boxes.asked, std::vector<std::string>{c.message});
    }
    dialog.SetText(CdsMemoryArrayDlg::IDC_LENGTH, "10");
    EXPECT_TRUE(dialog.OnOK()); // D999990 to D999999
}

TEST(FenwoldDialogs, OnceInstalledTheShellMakesTheServersDialogs)
{
    InstallFenwoldDialogs();
    const shell::ConfigFormFactory& forms = shell::CurrentConfigFormFactory();
    EXPECT_NE(dynamic_cast<CDeviceObjectDlg*>(forms.NewDeviceObjectDlg().get()), nullptr);
    EXPECT_NE(dynamic_cast<CMemoryArrayDlg*>(forms.NewMemoryArrayDlg().get()), nullptr);
    EXPECT_EQ(forms.NewTimeoutDlg()->GetTemplateId(), static_cast<UINT>(CdsTimeoutDlg::IDD));
    shell::InstallConfigFormFactory(nullptr);
    EXPECT_EQ(dynamic_cast<CDeviceObjectDlg*>(shell::CurrentConfigFormFactory().NewDeviceObjectDlg().get()), nullptr);
    EXPECT_EQ(NewFenwoldOptionDlg()->GetFileFilter(), "Melsec Ethernet Config file (*.mme)|*.mme|All Files (*.*)|*.*||");
}

} // namespace
