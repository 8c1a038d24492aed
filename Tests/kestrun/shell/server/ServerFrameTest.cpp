// The main window: the data timer, the status panes, the close rules and the
// open-file request.
#include "kestrun/shell/server/ServerFrame.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>

#include "kestrun/options/EngineCounters.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/app/ShellIds.h"
#include "kestrun/shell/app/StandardFolders.h"
#include "support/comm/EngineFixtures.h"
#include "support/shell/ShellFakes.h"
#include "support/comm/ScriptedTransport.h"
#include "support/shell/ShellHarness.h"

namespace {

using kestrun::test::ScriptedHdlr;
using kestrun::test::TestDevice;

class CountingHdlr : public ScriptedHdlr {
public:
    using ScriptedHdlr::ScriptedHdlr;
    void OnPreSingleStep() override
    {
        ++steps;
        if (onStep)
            onStep();
    }
    int steps = 0;
    std::function<void()> onStep;
};

using testsupport::ScriptedAnswers;

class ServerFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(shell.OpenDocument());
        frame = shell.Frame();
        frame->makeHandler = [this](DWORD) {
            auto hdlr = std::make_shared<CountingHdlr>(shell.clock);
            handlers.push_back(hdlr.get());
            return hdlr;
        };
    }
    void TearDown() override
    {
        if (frame->IsWindow())
            frame->ExitPorts(); // before the test's own devices go
    }
    // The document online, its device on a counting handler.
    void GoOnline()
    {
        ASSERT_EQ(shell.Doc()->SetOnline(1, 0), 1);
        ASSERT_EQ(handlers.size(), 1u);
    }
    bool Untouched() const
    {
        return frame->IsWindow() && frame->IsDataUpdateTimerRunning() && frame->GetCommHdlrByIndex(0) &&
               CdsServerDoc::GetDevices() && !shell.dispatcher.quitRequested();
    }

    testsupport::ShellHarness shell;
    testsupport::TestServerFrame* frame = nullptr;
    std::vector<CountingHdlr*> handlers; // owned by the frame's table
};

TEST_F(ServerFrameTest, TimerModeStepsTheNextHandlerOnEachTick)
{
    CdsServerFrame::g_bBackgroundThread = 0;
    CdsServerFrame::g_dwDataUpdateTime = 100;
    TestDevice a("A"), b("B");
    ASSERT_TRUE(frame->CreateCommHdlr(1)->DoOnline(&a));
    ASSERT_TRUE(frame->CreateCommHdlr(2)->DoOnline(&b));
    const ULONG loops = CdsServerFrame::GetLoopCount();
    frame->StartDataUpdateTimer();
    shell.dispatcher.advance(500);
    EXPECT_EQ(CdsServerFrame::GetLoopCount() - loops, 5u);
    EXPECT_EQ(handlers[0]->steps, 3); // A, B, A, B, A
    EXPECT_EQ(handlers[1]->steps, 2);
    CdsEngineCounters::m_nWdogPolling = 9;
    frame->StopDataUpdateTimer();
    shell.dispatcher.advance(500);
    EXPECT_EQ(handlers[0]->steps, 3);
    EXPECT_EQ(CdsEngineCounters::m_nWdogPolling.load(), 0u);
    frame->ExitPorts();
}

TEST_F(ServerFrameTest, TickThatArrivesDuringATickIsDropped)
{
    CdsServerFrame::g_bBackgroundThread = 0;
    TestDevice a("A");
    ASSERT_TRUE(frame->CreateCommHdlr(1)->DoOnline(&a));
    handlers[0]->onStep = [this] { frame->OnDataTimer(); };
    const ULONG loops = CdsServerFrame::GetLoopCount();
    frame->OnDataTimer();
    EXPECT_EQ(CdsServerFrame::GetLoopCount() - loops, 1u);
    EXPECT_EQ(handlers[0]->steps, 1);
    frame->ExitPorts();
}

TEST_F(ServerFrameTest, PanesShowScanTimePollsAndClientUpdatesAndTheHourResetsTheScanCounters)
{
    ASSERT_TRUE(frame->HasStatusBar());
    EXPECT_EQ(frame->GetPaneText(1), "Scan Time (msecs) ->");
    EXPECT_EQ(frame->GetPaneText(3), "Data Updating ->");
    EXPECT_EQ(frame->GetPaneText(5), "Client Updating ->");
    CdsEngineCounters::m_nWdogScantime = 40;
    CdsEngineCounters::m_nWdogPolling = 7;
    CdsEngineCounters::m_nWdogUpdating = 3;
    shell.clock.advance(2000);
    frame->OnDataTimer();
    EXPECT_EQ(frame->GetPaneText(2), "50"); // 2000 ms over 40 scans
    EXPECT_EQ(frame->GetPaneText(4), "7");
    EXPECT_EQ(frame->GetPaneText(6), "3");
    EXPECT_EQ(shell.CountLog("Reset scantime."), 0);

    shell.clock.advance(CdsServerFrame::kScanTimeHourMs - 2000);
    frame->OnDataTimer(); // exactly an hour: not yet
    EXPECT_EQ(shell.CountLog("Reset scantime."), 0);
    shell.clock.advance(1);
    frame->OnDataTimer();
    EXPECT_EQ(shell.CountLog("Info : Reset scantime.\r\n"), 1);
    EXPECT_EQ(CdsServerFrame::GetLoopCount(), 1u);
    EXPECT_EQ(CdsEngineCounters::m_nWdogScantime.load(), 0u);
}

TEST_F(ServerFrameTest, ANewDataUpdateTimeStartsTheScanCountsAnew)
{
    CdsEngineCounters::m_nWdogScantime = 40;
    CdsEngineCounters::m_nWdogPolling = 7;
    CdsEngineCounters::m_nWdogUpdating = 3;
    frame->SetDataUpdateTime(20);
    EXPECT_EQ(CdsEngineCounters::m_nWdogScantime.load(), 0u);
    EXPECT_EQ(CdsEngineCounters::m_nWdogPolling.load(), 0u);
    EXPECT_EQ(CdsEngineCounters::m_nWdogUpdating.load(), 0u);
}

TEST_F(ServerFrameTest, AnsweringNoToTheExitQuestionKeepsTheServerRunning)
{
    GoOnline();
    CdsServerFrame::g_bConfirmOnQuit = 1;
    ScriptedAnswers answers({shell::IDNO});
    shell.Command(ID_QUIT_CONFIRM);
    EXPECT_EQ(answers.asked, std::vector<std::string>{"Do you want to Exit?"});
    EXPECT_TRUE(Untouched());
}

TEST_F(ServerFrameTest, CancelAtTheSaveQuestionLeavesTimerHandlersAndDocumentUntouched)
{
    GoOnline();
    shell.Doc()->SetModifiedFlag();
    ScriptedAnswers answers({shell::IDCANCEL});
    shell.Command(ID_QUIT_IMMEDIATELY);
    EXPECT_EQ(answers.asked, std::vector<std::string>{"Save changes to Untitled?"});
    EXPECT_TRUE(Untouched());
    EXPECT_TRUE(shell.Doc()->IsOnline());
}

TEST_F(ServerFrameTest, AnsweringNoClosesEverythingAndEndsTheLoop)
{
    GoOnline();
    shell.Doc()->SetModifiedFlag();
    CdsServerFrame::g_bConfirmOnQuit = 1;
    ScriptedAnswers answers({shell::IDYES, shell::IDNO});
    shell.Command(ID_QUIT_CONFIRM);
    EXPECT_EQ(answers.asked.size(), 2u);
    EXPECT_FALSE(frame->IsWindow());
    EXPECT_EQ(frame->GetCommHdlrByIndex(0), nullptr);
    EXPECT_EQ(CdsServerDoc::GetDevices(), nullptr);
    EXPECT_TRUE(shell.dispatcher.quitRequested());
    EXPECT_EQ(shell.dispatcher.exitCode(), 0);
    EXPECT_EQ(CdsServerFrame::g_bConfirmOnQuit.load(), 0);
}

TEST_F(ServerFrameTest, CloseWithDefaultAnswersClosesEvenWhenTheSaveFails)
{
    GoOnline();
    shell.Doc()->SetModifiedFlag(); // untitled: without a desktop there is no name to save under
    frame->CloseWithDefaultAnswers();
    EXPECT_FALSE(frame->IsWindow());
    EXPECT_TRUE(shell.dispatcher.quitRequested());
    EXPECT_EQ(shell.CountLog("Error : The server is closing although its configuration could not be saved!"), 1);
}

TEST_F(ServerFrameTest, OpenFileTakesOnlyReadableFilesAndBareNamesFromTheConfigFolder)
{
    const std::filesystem::path config = GetConfigFolder(1);
    ASSERT_TRUE(CreateFolders(config.string()));
    std::ofstream(config / "plant.mme") << "x";
    frame->SetLoadFilePathName("/kept.mme");
    struct Case {
        std::string name;
        LRESULT result;
        std::string stored;
    } cases[] = {
        {"", -1, "/kept.mme"},
        {config.string(), -1, "/kept.mme"},                 // a folder
        {(config / "missing.mme").string(), -1, "/kept.mme"},
        {"missing.mme", -1, "/kept.mme"},
        {"plant.mme", 0, (config / "plant.mme").string()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(frame->OnMessageOpenFile(c.name), c.result) << c.name;
        EXPECT_EQ(frame->LoadFilePathName(), c.stored) << c.name;
    }
    EXPECT_EQ(shell.CountLog("Error : Cannot open "), 3);
    // The restart that follows opens the file named on its command line, and
    // this copy closes.
    shell.dispatcher.runPending();
    const std::vector<std::string> restart = {GetProgramPath(), "--Restart", (config / "plant.mme").string()};
    EXPECT_EQ(shell.app.GetRestartCommand(), restart);
    EXPECT_FALSE(frame->IsWindow());
}

TEST_F(ServerFrameTest, RestartAsksTheSaveQuestionFirstAndCancelMeansNoRestart)
{
    shell.Doc()->SetModifiedFlag();
    {
        ScriptedAnswers answers({shell::IDCANCEL});
        shell.Command(ID_APP_RESET);
        EXPECT_EQ(answers.asked, std::vector<std::string>{"Save changes to Untitled?"});
    }
    EXPECT_TRUE(shell.app.GetRestartCommand().empty());
    EXPECT_TRUE(frame->IsWindow());
    ScriptedAnswers answers({shell::IDNO});
    shell.Command(ID_APP_RESET);
    // No file asked for: the restarted copy opens the configured one.
    EXPECT_EQ(shell.app.GetRestartCommand(), (std::vector<std::string>{GetProgramPath(), "--Restart"}));
    EXPECT_EQ(answers.asked, std::vector<std::string>{"Save changes to Untitled?"}); // asked once
    EXPECT_FALSE(frame->IsWindow());
}

TEST_F(ServerFrameTest, LineModeIsLatchedWhileTheDocumentIsOnline)
{
    CdsServerFrame::g_bBackgroundThread = 0;
    GoOnline();
    CdsServerFrame::g_bBackgroundThread = 1; // changed while online: waits for the next online
    EXPECT_FALSE(CdsCommHdlr::IsBackgroundThreadMode());
    frame->OnDataTimer();
    EXPECT_EQ(handlers[0]->steps, 1); // stepped here, in timer mode
    ASSERT_EQ(shell.Doc()->SetOnline(0, 0), 1);
    EXPECT_TRUE(CdsCommHdlr::IsBackgroundThreadMode());
}

} // namespace
