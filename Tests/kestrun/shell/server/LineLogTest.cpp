// Lines from real line threads (the emulation handler) reach the log view in
// order, with their kinds, through the view's filters.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <regex>

#include "kestrun/options/EngineCounters.h"
#include "kestrun/shell/server/LogView.h"
#include "support/shell/ShellHarness.h"

namespace {

class LineLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell.SetOption("Enable Background Thread", 1);
        shell.SetOption("Data Update Time", 10);
        ASSERT_TRUE(shell.OpenDocument());
    }

    // Runs the data timer and serves the line threads until done() (or ten seconds have passed).
    bool RunUntil(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            shell.dispatcher.advance(10);
            shell.dispatcher.waitForWork(20);
            shell.dispatcher.runPending();
        }
        return true;
    }
    bool RunUntilShown(const std::string& part, int count)
    {
        return RunUntil([&] { return shell.CountLog(part) >= count; });
    }

    // The values of the "New data" lines of a point, in the order shown.
    std::vector<int> Values(const std::string& point) const
    {
        std::vector<int> values;
        const std::regex line("Event : New data \\[PLC1\\]" + point + " <- (\\d+)\\r\\n");
        for (const std::string& text : shell.LogTexts()) {
            std::smatch match;
            if (std::regex_search(text, match, line))
                values.push_back(std::stoi(match[1]));
        }
        return values;
    }

    testsupport::ShellHarness shell;
};

TEST_F(LineLogTest, LineThreadReportsArriveInOrderWithTheirKinds)
{
    ASSERT_EQ(shell.Doc()->SetOnline(1, 0), 1);
    ASSERT_TRUE(RunUntilShown("New data [PLC1]D0:3", 3)) << shell.LogTexts().size();
    const std::vector<int> values = Values("D0:0");
    ASSERT_GE(values.size(), 3u);
    for (std::size_t i = 1; i < values.size(); ++i)
        EXPECT_EQ(values[i], values[i - 1] + 1);
    // Per read the points follow each other: D0:0 to D0:3.
    std::vector<std::string> order;
    for (const std::string& text : shell.LogTexts())
        if (text.find("New data [PLC1]D0:") != std::string::npos && order.size() < 4)
            order.push_back(text.substr(text.find("D0:"), 4));
    EXPECT_EQ(order, (std::vector<std::string>{"D0:0", "D0:1", "D0:2", "D0:3"}));
    EXPECT_EQ(shell.CountLog("Info : Background thread starting...\r\n"), 1);
    EXPECT_EQ(shell.CountLog("DEBUG : Background thread created.\r\n"), 0); // no debug output asked for

    // With events filtered out the reads go on, but no more value lines are shown.
    shell.LogView()->FilterLogMessage(LOG_EVENT, 0);
    const int shown = shell.CountLog("New data");
    const ULONG polls = CdsEngineCounters::m_nWdogPolling.load();
    ASSERT_TRUE(RunUntil([&] { return CdsEngineCounters::m_nWdogPolling.load() >= polls + 5; }));
    EXPECT_EQ(shell.CountLog("New data"), shown);

    ASSERT_EQ(shell.Doc()->SetOnline(0, 0), 1);
    shell.dispatcher.runPending();
    EXPECT_EQ(shell.CountLog("Info : Background thread stopped.\r\n"), 1);
}

} // namespace
