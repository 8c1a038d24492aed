// Daily log files: names, roll-over on the local date, folders, failures.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "kestrun/shell/server/LogView.h"
#include "support/shell/ShellHarness.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::system_clock;

constexpr std::uint64_t kDayMs = 24ull * 3600 * 1000;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class LogFileTest : public ::testing::Test {
protected:
    // Opens the server at the wall time, logging to files in the folder (default: Folder()).
    void Open(std::time_t wall, const std::string& folder = {})
    {
        shell = std::make_unique<testsupport::ShellHarness>(system_clock::from_time_t(wall));
        shell->SetOption("Log Folder", folder.empty() ? Folder().string() : folder);
        shell->SetOption("Log To File", 1);
        ASSERT_TRUE(shell->OpenDocument());
        view = shell->LogView();
    }
    void Show(const std::string& text) { view->ShowMessage(LOG_INFO, text + "\r\n"); }
    fs::path Folder() const { return shell->scratch.path() / "logs" / "a" / "b"; }
    static std::string Opened(const std::string& time, const fs::path& file)
    {
        return time + " Info : LogFile " + file.string() + " opened \n" + time +
               " Info : Tessaro test server (by Zendry Software) ver4.5.1 \n";
    }

    std::unique_ptr<testsupport::ShellHarness> shell;
    CdsLogView* view = nullptr;
};

TEST_F(LogFileTest, MissingFoldersAreMadeOwnerOnlyAndTheFileIsNamedByTheDate)
{
    Open(1704103200); // 2024-01-01 10:00:00 UTC
    Show("first");
    const fs::path file = Folder() / "2024-01-01.log";
    view->OnTimer(3); // the save timer flushes
    EXPECT_EQ(ReadFile(file), Opened("10:00:00", file) + "10:00:00 Info : first \n");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(Folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(LogFileTest, NewFileAtTheMonthBoundary)
{
    Open(1706745540); // 2024-01-31 23:59:00 UTC
    Show("before midnight");
    shell->clock.advance(120000);
    Show("after midnight");
    view->OnTimer(3);
    const std::string january = ReadFile(Folder() / "2024-01-31.log");
    const std::string february = ReadFile(Folder() / "2024-02-01.log");
    EXPECT_EQ(january, Opened("23:59:00", Folder() / "2024-01-31.log") + "23:59:00 Info : before midnight \n");
    EXPECT_EQ(february, "00:01:00 Info : LogFile " + (Folder() / "2024-02-01.log").string() +
                            " opened \n00:01:00 Info : after midnight \n");
}

TEST_F(LogFileTest, SameDayOfTheNextMonthGetsItsOwnFile)
{
    Open(1705312800); // 2024-01-15 10:00:00 UTC
    Show("january");
    shell->clock.advance(31 * kDayMs);
    Show("february");
    view->OnTimer(3);
    EXPECT_EQ(ReadFile(Folder() / "2024-01-15.log").find("february"), std::string::npos);
    EXPECT_NE(ReadFile(Folder() / "2024-02-15.log").find("10:00:00 Info : february \n"), std::string::npos);
}

TEST_F(LogFileTest, UnopenableFileGivesOneErrorPerEpisodeAndLinesKeepShowing)
{
    support::ScratchFolder outside;
    const fs::path blocker = outside.path() / "blocker";
    std::ofstream(blocker) << "a file where the folder should be";
    Open(1704103200, (blocker / "logs").string());
    const std::string error = "Error : Cannot open log file " + (blocker / "logs" / "2024-01-01.log").string() + "!\r\n";
    Show("one");
    Show("two");
    EXPECT_EQ(shell->CountLog(error), 1);
    EXPECT_EQ(shell->CountLog("Info : two"), 1);
    // The folder can be made again: the episode ends, and a later one is reported again.
    fs::remove(blocker);
    Show("three");
    EXPECT_EQ(shell->CountLog("LogFile"), 1);
    shell->clock.advance(kDayMs);
    fs::remove_all(blocker);
    std::ofstream(blocker) << "again";
    Show("four");
    EXPECT_EQ(shell->CountLog("Error : Cannot open log file"), 2);
    EXPECT_EQ(shell->CountLog("Info : four"), 1);
}

} // namespace
