// The option dialog on the main window: every value stored in the registry
// on OK, the two "..." buttons storing at once, and "Background Thread"
// waiting for the next online while the lines keep polling.
#include "kestrun/shell/server/OptionDlg.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "kestrun/comm/handler/CommHdlr.h"
#include "kestrun/options/EngineCounters.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "support/shell/ShellFakes.h"
#include "support/shell/ShellHarness.h"

namespace {

using D = CdsOptionDlg;

class OptionDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell.SetOption("Enable Background Thread", 0);
        shell.SetOption("Log Folder", (shell.scratch.path() / "logs").string());
        ASSERT_TRUE(shell.OpenDocument());
        frame = shell.Frame();
    }
    int Stored(const char* name) { return static_cast<int>(shell.app.GetProfileInt("Options", name, -1)); }

    testsupport::ShellHarness shell;
    testsupport::ScriptedAnswers boxes;
    testsupport::ScriptedForms forms;
    testsupport::TestServerFrame* frame = nullptr;
};

TEST_F(OptionDlgTest, TheDialogShowsTheOptionsAndOkStoresEveryValue)
{
    CdsServerFrame::g_bUseServiceMode = 1;
    forms.steps = {[](shell::DialogForm& f) {
        EXPECT_EQ(f.GetText(D::IDC_DATA_UPDATE_TIME), "10");
        EXPECT_EQ(f.GetText(D::IDC_CHECK_MONITOR_INTERVAL), "10000");
        EXPECT_EQ(f.GetText(D::IDC_LOG_AUTOSAVE_PERIOD), "60000");
        EXPECT_TRUE(f.GetCheck(D::IDC_SERVICE_MODE));
        EXPECT_FALSE(f.IsFieldEnabled(D::IDC_SERVICE_MODE));
        EXPECT_FALSE(f.GetCheck(D::IDC_BACKGROUND_THREAD));
        f.SetText(D::IDC_DATA_UPDATE_TIME, "0");
        f.SetText(D::IDC_CHECK_MONITOR_INTERVAL, "0");
        f.SetText(D::IDC_CLIENT_UPDATE_TIME, "500");
        f.SetText(D::IDC_EVENT_QUEUE_SIZE, "-3");
        f.SetText(D::IDC_LOG_AUTOSAVE_PERIOD, "0");
        f.SetCheck(D::IDC_CONFIRM_ON_QUIT, false);
        f.SetCheck(D::IDC_DYNAMIC_SCAN, true);
        f.SetCheck(D::IDC_LOAD_FILE_ON_STARTUP, true);
        f.SetText(D::IDC_LOAD_FILE_PATH, "/plant/line.mme");
    }};
    frame->OnEditOption();
    ASSERT_EQ(forms.shown, 1);
    EXPECT_EQ(Stored("Data Update Time"), 1); // 0 counts as 1
    EXPECT_EQ(Stored("Check Monitor Interval"), 1);
    EXPECT_EQ(Stored("Client Update Time"), 500);
    EXPECT_EQ(Stored("Event Queue Size"), -3);
    EXPECT_EQ(Stored("Logfile Autosave Period"), 0);
    EXPECT_EQ(Stored("Confirm On Quit"), 0);
    EXPECT_EQ(Stored("Enable Dynamic Scan"), 1);
    EXPECT_EQ(Stored("Load File On Startup"), 1);
    EXPECT_EQ(Stored("Use Service Mode"), 1); // written back as it was
    EXPECT_EQ(frame->GetLoadFilePathName(), "/plant/line.mme");
    EXPECT_EQ(CdsServerFrame::g_dwDataUpdateTime.load(), 1u);
    EXPECT_EQ(CdsServerFrame::g_nEventQueueSize.load(), -3);

    // A refused number keeps the dialog open; Cancel then stores nothing.
    forms.steps = {[](shell::DialogForm& f) { f.SetText(D::IDC_CLIENT_UPDATE_TIME, "-1"); }};
    frame->OnEditOption();
    EXPECT_EQ(forms.refused, 1);
    EXPECT_EQ(boxes.asked, std::vector<std::string>{"Please enter a positive integer."});
    EXPECT_EQ(Stored("Client Update Time"), 500);
}

TEST_F(OptionDlgTest, TheButtonsStoreThePickedFileAndFolderAtOnceEvenWhenTheDialogIsCancelled)
{
    testsupport::ScriptedFileDialogs files({"/plant/press.mme"});
    const std::string folder = (shell.scratch.path() / "logs").string();
    forms.picker_ = [&folder](shell::COXFolderPickerDlg& picker) {
        EXPECT_EQ(picker.GetCaption(), "Shell Namespace [Root: Desktop ]");
        picker.GetPathCombo().SetEditText(folder + "/new");
        picker.OnOK();
        return shell::IDOK;
    };
    forms.steps = {[](shell::DialogForm& f) {
        f.OnCommand(D::IDC_BROWSE_LOAD_FILE);
        EXPECT_EQ(f.GetText(D::IDC_LOAD_FILE_PATH), "/plant/press.mme");
        f.OnCommand(D::IDC_BROWSE_LOG_FOLDER);
        f.SetText(D::IDC_DATA_UPDATE_TIME, "x"); // refused: the dialog ends as Cancel
    }};
    frame->OnEditOption();
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_EQ(files.requests[0].strFilter, D::kDefaultFilter);
    EXPECT_EQ(frame->GetLoadFilePathName(), "/plant/press.mme");
    EXPECT_EQ(frame->GetLogFolder(), folder + "/new");
    // The folder the picker started in was made, without asking.
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(boxes.asked, std::vector<std::string>{"Please enter a positive integer."});
}

TEST_F(OptionDlgTest, BackgroundThreadChangedOnlineWaitsForTheNextOnlineWhileTheLinesKeepPolling)
{
    CdsServerDoc* doc = shell.Doc();
    ASSERT_EQ(doc->SetOnline(1, 0), 1);
    forms.steps = {[](shell::DialogForm& f) { f.SetCheck(D::IDC_BACKGROUND_THREAD, true); }};
    frame->OnEditOption();
    EXPECT_EQ(Stored("Enable Background Thread"), 1);
    EXPECT_EQ(CdsServerFrame::g_bBackgroundThread.load(), 1);
    EXPECT_EQ(shell.CountLog("\"Background Thread\" takes effect when the server goes online next"), 1);
    EXPECT_FALSE(CdsCommHdlr::IsBackgroundThreadMode());

    const unsigned polls = CdsEngineCounters::m_nWdogPolling.load();
    for (int i = 0; i < 3; ++i)
        frame->OnDataTimer();
    EXPECT_GT(CdsEngineCounters::m_nWdogPolling.load(), polls);

    ASSERT_EQ(doc->SetOnline(0, 0), 1);
    ASSERT_EQ(doc->SetOnline(1, 0), 1);
    EXPECT_TRUE(CdsCommHdlr::IsBackgroundThreadMode());
    ASSERT_EQ(doc->SetOnline(0, 0), 1);

    // Changed while offline it just takes effect: no line to tell about.
    forms.steps = {[](shell::DialogForm& f) { f.SetCheck(D::IDC_BACKGROUND_THREAD, false); }};
    frame->OnEditOption();
    EXPECT_EQ(shell.CountLog("takes effect when the server goes online next"), 1);
}

} // namespace
