// The main window in the notification area: hiding there, coming back, and
// the icon's clicks on the application's timer.
#include "kestrun/shell/server/TaskbarIcon.h"

#include <gtest/gtest.h>

#include "kestrun/shell/app/ShellIds.h"
#include "support/shell/ShellHarness.h"

namespace {

// A notification area that records; clicks are sent in by the test.
struct TrayRecord {
    bool available = true;
    bool showing = false;
    int menus = 0;
    UINT menuChoice = 0;
    std::string tip;
    int activations = 0;             // of the main window
    int activationsBeforeMenu = 0;
};

// The main window, as far as the icon reaches it.
class FakeFrameWindow final : public shell::FrameWindow {
public:
    explicit FakeFrameWindow(std::shared_ptr<TrayRecord> record) : m_record(std::move(record)) {}
    void Show(bool bVisible) override { m_bVisible = bVisible; }
    bool IsVisible() const override { return m_bVisible; }
    void Activate() override { ++m_record->activations; }
    void OnPaneChanged(int) override {}

private:
    std::shared_ptr<TrayRecord> m_record;
    bool m_bVisible = false;
};

class FakeTray final : public shell::TrayWindow {
public:
    explicit FakeTray(std::shared_ptr<TrayRecord> record) : m_record(std::move(record)) {}
    bool IsAvailable() const override { return m_record->available; }
    bool Add(int, const std::string& tip) override
    {
        m_record->tip = tip;
        return m_record->showing = m_record->available;
    }
    bool Modify(int, const std::string& tip) override
    {
        m_record->tip = tip;
        return true;
    }
    bool Delete() override
    {
        m_record->showing = false;
        return true;
    }
    UINT TrackPopupMenu(const shell::ShellMenu&) override
    {
        ++m_record->menus;
        m_record->activationsBeforeMenu = m_record->activations;
        return m_record->menuChoice;
    }
    void Click(UINT message) const { NotifyMouse(message); }

private:
    std::shared_ptr<TrayRecord> m_record;
};

class TaskbarIconTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell.windows.makeFrameWindow = [this] { return std::make_unique<FakeFrameWindow>(record); };
        shell.windows.makeTray = [this] {
            auto tray = std::make_unique<FakeTray>(record);
            pTray = tray.get();
            return tray;
        };
        ASSERT_TRUE(shell.OpenDocument());
        frame = shell.Frame();
        frame->ShowWindow(true);
        ASSERT_NE(frame->GetTaskBar(), nullptr);
    }
    void Click(UINT message)
    {
        pTray->Click(message);
        shell.dispatcher.runPending();
    }
    void Wait(std::uint64_t ms)
    {
        shell.clock.advance(ms);
        shell.dispatcher.fireDueTimers();
        shell.dispatcher.runPending();
    }

    testsupport::ShellHarness shell;
    std::shared_ptr<TrayRecord> record = std::make_shared<TrayRecord>();
    FakeTray* pTray = nullptr;
    testsupport::TestServerFrame* frame = nullptr;
};

TEST_F(TaskbarIconTest, HidingToTheTrayShowsTheIconAndTheMainWindowCommandBringsTheWindowBack)
{
    shell.Command(ID_TRAY_HIDE);
    EXPECT_TRUE(record->showing);
    EXPECT_FALSE(frame->IsWindowVisible());
    shell.Command(ID_MAIN_SHOW);
    EXPECT_TRUE(frame->IsWindowVisible());
    EXPECT_TRUE(record->showing); // the icon stays

    shell::CdsTaskBar& icon = *frame->GetTaskBar();
    EXPECT_FALSE(icon.Show()); // showing already: nothing to do
    EXPECT_TRUE(icon.Hide());
    EXPECT_FALSE(icon.Hide());
}

TEST_F(TaskbarIconTest, TheTooltipIsCutToWhatTheNotificationAreaTakesAndTheMenuComesAfterTheMainWindowIsActive)
{
    shell::CdsTaskBar& icon = *frame->GetTaskBar();
    const std::string hangul = "\xED\x95\x9C"; // one character, three bytes
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += hangul;
    ASSERT_TRUE(icon.SetTooltipText(text));
    shell.Command(ID_TRAY_HIDE);
    ASSERT_TRUE(record->showing);
    EXPECT_EQ(record->tip.size(), 3 * shell::COXTaskbarIcon::kMaxTip);
    EXPECT_EQ(icon.GetTooltipText(), text);
    icon.SetTooltipText("Fenwold");
    EXPECT_EQ(record->tip, "Fenwold");

    Click(shell::WM_RBUTTONDOWN);
    EXPECT_EQ(record->menus, 1);
    EXPECT_EQ(record->activationsBeforeMenu, 1);
}

TEST_F(TaskbarIconTest, WithoutATrayTheWindowIsNeverHidden)
{
    record->available = false;
    shell.Command(ID_TRAY_HIDE);
    EXPECT_TRUE(frame->IsWindowVisible());
    EXPECT_FALSE(record->showing);
}

TEST_F(TaskbarIconTest, AClickOpensTheMenuAfterHalfASecondButADoubleClickOnlyTheMainWindow)
{
    Click(shell::WM_LBUTTONDOWN);
    Wait(shell::CdsTaskBar::kClickDelayMs - 1);
    EXPECT_EQ(record->menus, 0);
    Wait(1);
    EXPECT_EQ(record->menus, 1);
    Wait(shell::CdsTaskBar::kClickDelayMs * 3);
    EXPECT_EQ(record->menus, 1); // the timer ran once

    frame->ShowWindow(false);
    Click(shell::WM_LBUTTONDOWN);
    Click(shell::WM_LBUTTONDBLCLK);
    Wait(shell::CdsTaskBar::kClickDelayMs);
    EXPECT_EQ(record->menus, 1);
    EXPECT_TRUE(frame->IsWindowVisible());

    // The right button opens the menu at once; its command goes to the main window.
    record->menuChoice = ID_TRAY_HIDE;
    Click(shell::WM_RBUTTONDOWN);
    EXPECT_EQ(record->menus, 2);
    EXPECT_FALSE(frame->IsWindowVisible());
}

TEST_F(TaskbarIconTest, ASecondIconSendsItsMenusCommandsToItsOwner)
{
    auto other = std::make_shared<TrayRecord>();
    auto tray = std::make_unique<FakeTray>(other);
    const FakeTray* pOther = tray.get();
    shell::CdsTrayIcon icon(frame, std::move(tray), std::string(200, 't'), 5, 7, shell::CdsTaskBar::GetMenu());
    ASSERT_TRUE(icon.IsEnabled());
    EXPECT_TRUE(other->showing);
    EXPECT_EQ(icon.GetTooltipText().size(), shell::CdsTrayIcon::kMaxTooltip);
    EXPECT_EQ(icon.OnTrayNotification(8, shell::WM_RBUTTONUP), 0); // another icon's

    frame->ShowWindow(false);
    pOther->Click(shell::WM_LBUTTONDBLCLK); // the first entry: "&Main Window"
    EXPECT_TRUE(frame->IsWindowVisible());
    other->menuChoice = ID_TRAY_HIDE;
    pOther->Click(shell::WM_RBUTTONUP);
    shell.dispatcher.runPending();
    EXPECT_EQ(other->menus, 1);
    EXPECT_FALSE(frame->IsWindowVisible());

    icon.Hide();
    EXPECT_FALSE(other->showing);
    icon.Show();
    EXPECT_TRUE(other->showing);

    shell::CdsTrayIcon orphan(nullptr, std::make_unique<FakeTray>(std::make_shared<TrayRecord>()), "tip", 1, 1, {});
    EXPECT_FALSE(orphan.IsEnabled());
    EXPECT_FALSE(orphan.SetIcon(2));
    EXPECT_EQ(orphan.GetTooltipText(), "");
}

} // namespace
