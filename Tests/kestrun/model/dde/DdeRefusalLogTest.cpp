// Clients that keep asking for what they cannot have: every refusal reaches the
// client, the log gets each refusal once a minute and how many more came.
#include "kestrun/model/dde/DdeRefusalLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DdeHarness.h"
#include "kestrun/model/Hint.h"
#include "kestrun/shell/server/LogHints.h"

namespace {

using dde::ClientMessage;

class DdeRefusalLogTest : public ddetest::DdeHarness {
protected:
    void SetUp() override
    {
        DdeHarness::SetUp();
        Pass();
        conv = Toolkit().Connect(service.GetServerId(), "PLC1");
        Pass();
        Toolkit().TakeMessages(conv);
        lines.clear();
    }
    dde::Toolkit& Toolkit() { return dde::Toolkit::Process(); }
    // The log view's line of each hint.
    void UpdateViews(int nCode, const CdsHint& hint) override
    {
        DdeHarness::UpdateViews(nCode, hint);
        if (const auto line = kestrun::FormatHintLine(nCode, &hint, kestrun::LogFilters{}))
            lines.push_back(line->text);
    }
    // Runs the requests queued in one pass; how many the client saw refused.
    int Refusals()
    {
        dispatcher.runPending();
        int refused = 0;
        for (const ClientMessage& message : Toolkit().TakeMessages(conv))
            refused += message.kind == ClientMessage::RequestFailed || message.kind == ClientMessage::PokeNack;
        return refused;
    }

    DWORD conv = 0;
    std::vector<std::string> lines;
};

const std::string kUnknown = "Action 11(ITEM_GENERATE) failed! = [PLC1]NOPE\r\n";

TEST_F(DdeRefusalLogTest, AThousandRequestsOfAnUnknownItemAreOneLineAndItsCountWhenTheMinuteEnds)
{
    for (int i = 0; i < 1000; ++i)
        Toolkit().Request(conv, "NOPE");
    EXPECT_EQ(Refusals(), 1000);
    EXPECT_EQ(lines, std::vector<std::string>{kUnknown});

    clock.advance(kestrun::DdeRefusalLog::kMinuteMs - 1000);
    Pass();
    EXPECT_EQ(lines.size(), 1u);   // the minute is not over
    for (int i = 0; i < 1000; ++i)
        dispatcher.advance(1);     // the rest of it, a tick at a time
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Action 11(ITEM_GENERATE) failed! = [PLC1]NOPE ... 999 more like this in the last minute\r\n");

    // Once it is counted, the next one is logged again as it comes.
    Toolkit().Request(conv, "NOPE");
    EXPECT_EQ(Refusals(), 1);
    EXPECT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines.back(), kUnknown);
}

TEST_F(DdeRefusalLogTest, InterleavedRefusalsAreCountedApartAndTheEndLogsTheirCounts)
{
    for (int i = 0; i < 10; ++i) {
        Toolkit().Request(conv, "NOPE");
        Toolkit().Request(conv, "GONE");
        Toolkit().Poke(conv, "D100", "many");
    }
    EXPECT_EQ(Refusals(), 30);
    Toolkit().Request(conv, "ONCE");
    EXPECT_EQ(Refusals(), 1);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], kUnknown);
    EXPECT_EQ(lines[1], "Action 11(ITEM_GENERATE) failed! = [PLC1]GONE\r\n");
    EXPECT_EQ(lines[2].rfind("Command failed! [PLC1]D100: ", 0), 0u) << lines[2];

    // The server ends within the minute: no count is lost, a single one adds nothing.
    service.Exit();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[4], "Action 11(ITEM_GENERATE) failed! = [PLC1]NOPE ... 9 more like this in the last minute\r\n");
    EXPECT_EQ(lines[5], "Action 11(ITEM_GENERATE) failed! = [PLC1]GONE ... 9 more like this in the last minute\r\n");
    EXPECT_EQ(lines[6], lines[2].substr(0, lines[2].size() - 2) + " ... 9 more like this in the last minute\r\n");
}

TEST_F(DdeRefusalLogTest, ACountForAPointTheModelMayHaveLetGoOfNamesItWithoutReachingIt)
{
    words->SetWriteAllowed(FALSE);
    for (int i = 0; i < 3; ++i)
        Toolkit().Poke(conv, "D100", "5");
    EXPECT_EQ(Refusals(), 3);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Command failed! [PLC1]D100: ", 0), 0u) << lines[0];
    CdsHint::NewEpoch();   // as when the document lets objects go
    service.Exit();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], lines[0].substr(0, lines[0].size() - 2) + " ... 2 more like this in the last minute\r\n");
    EXPECT_EQ(hints.back().object, nullptr);
}

TEST_F(DdeRefusalLogTest, MoreDistinctRefusalsThanKeptGiveWayOldestFirst)
{
    const int kept = int(kestrun::DdeRefusalLog::kMaxKept);
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < kept; ++i)
            Toolkit().Request(conv, "NOPE" + std::to_string(i));
    EXPECT_EQ(Refusals(), 2 * kept);
    EXPECT_EQ(lines.size(), std::size_t(kept));
    Toolkit().Request(conv, "OTHER");
    EXPECT_EQ(Refusals(), 1);
    ASSERT_EQ(lines.size(), std::size_t(kept) + 2);
    EXPECT_EQ(lines[std::size_t(kept)], "Action 11(ITEM_GENERATE) failed! = [PLC1]NOPE0 ... 1 more like this in the last minute\r\n");
    EXPECT_EQ(lines.back(), "Action 11(ITEM_GENERATE) failed! = [PLC1]OTHER\r\n");
}

} // namespace
