// The history combo and the folder picker without windows: the list rules,
// the registry value the history lives in, and the picker's path.
#include "kestrun/shell/forms/FolderPicker.h"

#include <gtest/gtest.h>

#include <fstream>

#include "kestrun/shell/app/OptionHost.h"
#include "platform/registry/Profile.h"
#include "support/ScratchFolder.h"
#include "support/shell/FakeTreeControl.h"
#include "support/shell/ShellFakes.h"

namespace {

namespace fs = std::filesystem;
using shell::COXFolderPickerDlg;
using shell::COXHistoryCombo;

class HistoryTest : public ::testing::Test {
protected:
    HistoryTest() { shell::SetCurrentProfile(&profile); }
    ~HistoryTest() override { shell::SetCurrentProfile(nullptr); }
    // The stored value, or nothing.
    std::optional<std::string> Stored(const std::string& name, const std::string& key = "Tessaro v4.5\\picker")
    {
        registry::Value value;
        if (reg.QueryValue(registry::Hive::CurrentUser, "Software\\" + key + "\\HistoryCombo", name, value) !=
            registry::Status::Ok)
            return std::nullopt;
        return value.text;
    }

    support::ScratchFolder scratch;
    registry::Registry reg{scratch.path() / "registry"};
    registry::Profile profile{reg, "Tessaro v4.5", "picker"};
};

TEST_F(HistoryTest, TheNewestEntryIsOnTopAndTheOldestGoesBeyondTheMaximum)
{
    COXHistoryCombo combo;
    for (const char* text : {"1", "2", "3", "4", "5", "6"})
        EXPECT_TRUE(combo.AddNewItem(text));
    EXPECT_FALSE(combo.AddNewItem("3"));
    EXPECT_EQ(combo.GetItems(), (std::vector<std::string>{"3", "6", "5", "4", "2", "1"}));
    EXPECT_EQ(combo.GetCurSel(), 0);
    EXPECT_TRUE(combo.AddNewItem("7"));
    EXPECT_EQ(combo.GetItems(), (std::vector<std::string>{"7", "3", "6", "5", "4", "2"}));
    EXPECT_FALSE(combo.AddNewItem(""));

    std::vector<int> told;
    combo.onNotify = [&told](int code) { told.push_back(code); };
    ASSERT_TRUE(combo.DeleteItem(0));
    EXPECT_EQ(combo.GetEditText(), "3"); // the entry now in its place
    EXPECT_EQ(told, std::vector<int>{COXHistoryCombo::CBN_SELCHANGE});
    ASSERT_TRUE(combo.DeleteItem(4));
    EXPECT_EQ(combo.GetCurSel(), 3); // the last one went: the one before it
    combo.SetMaxHistoryCount(2);
    EXPECT_EQ(combo.GetItems(), (std::vector<std::string>{"3", "6"}));
    EXPECT_FALSE(combo.IsButtonEnabled(COXHistoryCombo::kReserved1));
    combo.EnableWindow(false);
    EXPECT_FALSE(combo.IsButtonEnabled(COXHistoryCombo::kBrowse));
}

TEST_F(HistoryTest, TheHistoryIsKeptInTheRegistryJoinedByBars)
{
    COXHistoryCombo combo;
    for (const char* text : {"/c", "/b", "/a"})
        combo.AddNewItem(text);
    combo.AddNewItem("/odd|name"); // would come back as two entries
    combo.SetEditText("/a");
    ASSERT_TRUE(combo.SaveContents("Current Folder"));
    EXPECT_EQ(Stored("Current Folder"), "/a|/b|/c");

    COXHistoryCombo restored;
    ASSERT_TRUE(restored.RestoreContents("Current Folder"));
    EXPECT_EQ(restored.GetItems(), (std::vector<std::string>{"/a", "/b", "/c"}));
    EXPECT_EQ(restored.GetEditText(), "/a");

    COXHistoryCombo empty;
    ASSERT_TRUE(empty.SaveContents("Current Folder", "Other", "app", registry::Hive::CurrentUser, false));
    ASSERT_TRUE(empty.SaveContents("Current Folder", {}, {}, registry::Hive::CurrentUser, false));
    EXPECT_EQ(Stored("Current Folder"), std::nullopt);
    ASSERT_TRUE(empty.RestoreContents("Current Folder"));
    EXPECT_TRUE(empty.GetItems().empty());
}

TEST_F(HistoryTest, ThePickerRemembersTheFoldersChosenAndNeverTakesAFile)
{
    fs::create_directories(scratch.path() / "home/logs/old");
    std::ofstream(scratch.path() / "home/logs/today.log") << "x";
    auto setup = std::make_shared<shell::NamespaceSetup>();
    setup->strHome = (scratch.path() / "home").string();
    setup->strRoot = (scratch.path() / "root").string();
    const std::string logs = (scratch.path() / "home/logs").string();

    testsupport::FakeTreeControl control;
    {
        COXFolderPickerDlg picker(logs, {}, true, true, true, true, {}, true, COXFolderPickerDlg::kDefaultTitle, setup);
        EXPECT_EQ(picker.GetCaption(), "Shell Namespace [Root: Desktop ]");
        picker.OnInitDialog(control);
        const shell::TreeItem selected = control.GetSelectedItem();
        ASSERT_EQ(picker.GetTree()->GetFullPath(selected), logs);
        EXPECT_EQ(picker.GetPathCombo().GetEditText(), logs); // the initial folder
        picker.GetTree()->Expand(selected);
        picker.OnTreeSelChanged(control.Child(selected, "today.log"));
        EXPECT_EQ(picker.GetPathCombo().GetEditText(), logs);
        picker.OnTreeSelChanged(control.Child(selected, "old"));
        picker.OnOK();
        picker.OnDestroy();
        EXPECT_EQ(picker.GetFolderPath(), logs + "/old");
    }
    EXPECT_EQ(Stored("Current Folder"), logs + "/old");

    COXFolderPickerDlg again({}, {}, true, true, true, false, {}, true, COXFolderPickerDlg::kDefaultTitle, setup);
    again.OnInitDialog(control);
    EXPECT_EQ(again.GetPathCombo().GetItems(), std::vector<std::string>{logs + "/old"});
    for (int button = 0; button < COXHistoryCombo::kButtonCount; ++button)
        EXPECT_FALSE(again.GetPathCombo().IsButtonShown(button));
    again.GetPathCombo().SetEditText(logs);
    EXPECT_TRUE(again.OnOpenPath());
    EXPECT_EQ(again.GetTree()->GetFullPath(control.GetSelectedItem()), logs);
    // Files shown: the tree is rebuilt and the file appears.
    again.OnCheckBox(COXFolderPickerDlg::IDC_SHOW_FILES, true);
    const shell::TreeItem folder = again.GetTree()->FindFolder(logs);
    ASSERT_NE(folder, shell::kNoItem);
    again.GetTree()->Expand(folder);
    EXPECT_NE(control.Child(folder, "today.log"), shell::kNoItem);
    again.OnDestroy();
}

} // namespace

namespace {

TEST(HistoryComboButtons, TooltipsShowTheShortPartOfEachCommandString)
{
    EXPECT_EQ(shell::COXHistoryCombo::GetButtonTip(shell::COXHistoryCombo::kNew), "Add");
    EXPECT_EQ(shell::COXHistoryCombo::GetButtonTip(shell::COXHistoryCombo::kDelete), "Delete (Delete)");
    EXPECT_EQ(shell::COXHistoryCombo::GetButtonTip(shell::COXHistoryCombo::kBrowse), "Browse");
    EXPECT_EQ(shell::COXHistoryCombo::GetButtonTip(99), "");
}

} // namespace
