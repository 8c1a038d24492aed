// What the document lets go of stays allocated while a line that outlived its
// stop wait or a client call can still reach it: the document is replaced
// while a line hangs in its receive and an OPC client keeps writing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "kestrun/model/DeviceMap.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/app/ShellIds.h"
#include "platform/opc/Interfaces.h"
#include "platform/opc/server/Toolkit.h"
#include "platform/win/Event.h"
#include "support/shell/ShellHarness.h"

namespace {

using opc::ComPtr;

// A line that hangs in its next receive once armed, until released.
class StuckHdlr : public testsupport::TestServerHdlr {
public:
    int ReceiveResponseMessage(CdsMemoryArray* pArray, BYTE* pBuffer, int nLength, int& nReceived,
                               const char* pszQuery, BOOL bRead, tagTHREADINFO* pLine) override
    {
        if (armed.exchange(false)) {
            entered.set();
            released.wait(win::INFINITE);
        }
        return TestServerHdlr::ReceiveResponseMessage(pArray, pBuffer, nLength, nReceived, pszQuery, bRead, pLine);
    }
    std::atomic<bool> armed{false};
    win::Event entered{win::Event::Reset::Manual};
    win::Event released{win::Event::Reset::Manual};
};

// Runs pass until done holds; a hang fails the test after a few seconds.
template <typename Done, typename Pass>
bool Until(Done done, Pass pass)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp)
            return false;
        pass();
        std::this_thread::yield();
    }
    return true;
}

// One data update time on the harness's clock: the line threads step by it.
void AdvanceAPass(testsupport::ShellHarness& shell)
{
    shell.clock.advance(CdsServerOptions::g_dwDataUpdateTime.load());
    shell.Frame()->OnDataTimer();
}

TEST(DocumentLifetime, ReplacingTheDocumentUnderAStuckLineAndAWritingClientFreesNothingInUse)
{
    testsupport::ShellHarness shell;
    shell.SetOption("Enable Background Thread", 1);
    ASSERT_TRUE(shell.Start());
    std::shared_ptr<StuckHdlr> hdlr;
    shell.Frame()->makeHandler = [&hdlr](DWORD) {
        hdlr = std::make_shared<StuckHdlr>();
        hdlr->SetThreadStopWait(50);
        hdlr->SetSendTimeout(20);
        return hdlr;
    };

    ComPtr<IOPCServer> server;
    ASSERT_EQ(opc::Toolkit::process().createServer(server.put()), S_OK);
    ComPtr<IUnknown> unk;
    OPCHANDLE hGroup = 0;
    DWORD revised = 0;
    ASSERT_TRUE(SUCCEEDED(server->AddGroup(u"G", TRUE, 100, 1, nullptr, nullptr, 0, &hGroup, &revised,
                                           IID_IOPCItemMgt, unk.put())));
    auto group = ComPtr<IOPCItemMgt>::attach(static_cast<IOPCItemMgt*>(static_cast<void*>(unk.detach())));
    OPCITEMDEF def;
    def.szItemID = u"[PLC1]D0:1";
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    ASSERT_EQ(group->AddItems({&def, 1}, results, errors), S_OK);
    const OPCHANDLE item = results[0].hServer;
    auto sync = group.as<IOPCSyncIO>(IID_IOPCSyncIO);

    shell.Command(ID_MODE_ONLINE);
    ASSERT_TRUE(shell.Doc()->IsOnline());
    ASSERT_NE(hdlr, nullptr);
    hdlr->armed = true;
    ASSERT_TRUE(Until([&] { return hdlr->entered.isSet(); }, [&] { AdvanceAPass(shell); }));

    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::atomic<int> refused{0};
    std::thread client([&] {
        auto writer = group.as<IOPCSyncIO>(IID_IOPCSyncIO);
        while (!stop) {
            std::vector<HRESULT> results;
            VARIANT value[] = {VARIANT::I2(7)};
            writer->Write({&item, 1}, value, results);
            ++(SUCCEEDED(results[0]) ? written : refused);
            std::this_thread::yield();
        }
    });
    ASSERT_TRUE(Until([&] { return written > 5; }, [] {}));

    CdsRetiredObjects& retired = shell.app.GetRetiredObjects();
    ASSERT_NE(shell.app.OpenDocumentFile({}), nullptr); // the line does not stop in time
    EXPECT_TRUE(retired.HasRunningLines());
    EXPECT_EQ(retired.GetRetiredCount(), 1u);
    shell.dispatcher.runPending();
    shell.Frame()->GetDataView()->OnTimer(ID_TIMER_CLIENT_UPDATE);
    EXPECT_EQ(retired.GetRetiredCount(), 1u); // the stuck line may still reach the old map

    ASSERT_TRUE(Until([&] { return refused > 5; }, [] {}));
    std::vector<OPCITEMSTATE> states;
    sync->Read(OPC_DS_CACHE, {&item, 1}, states, errors);
    EXPECT_TRUE(FAILED(errors[0]) || (states[0].wQuality & 0xC0) != 0xC0);

    hdlr->released.set();
    ASSERT_TRUE(Until([&] { return !retired.HasRunningLines(); }, [&] { shell.dispatcher.runPending(); }));
    shell.Frame()->GetDataView()->OnTimer(ID_TIMER_CLIENT_UPDATE);
    shell.dispatcher.runPending();
    EXPECT_EQ(retired.GetRetiredCount(), 0u);

    stop = true;
    client.join();
    EXPECT_NE(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"), nullptr); // the new document's
}

} // namespace

namespace {

// Counts the receives of its lines; hangs in one once armed, as StuckHdlr.
class CountingStuckHdlr : public StuckHdlr {
public:
    int ReceiveResponseMessage(CdsMemoryArray* pArray, BYTE* pBuffer, int nLength, int& nReceived,
                               const char* pszQuery, BOOL bRead, tagTHREADINFO* pLine) override
    {
        ++receives;
        return StuckHdlr::ReceiveResponseMessage(pArray, pBuffer, nLength, nReceived, pszQuery, bRead, pLine);
    }
    std::atomic<int> receives{0};
};

TEST(DocumentLifetime, APortBackOnlineAfterALineWasLeftBehindPollsOnANewHandlerThatTheOldLinesEndLeavesAlone)
{
    testsupport::ShellHarness shell;
    shell.SetOption("Enable Background Thread", 1);
    ASSERT_TRUE(shell.Start());
    std::vector<std::shared_ptr<CountingStuckHdlr>> made;
    shell.Frame()->makeHandler = [&made](DWORD) {
        auto hdlr = std::make_shared<CountingStuckHdlr>();
        // Only the first handler's line hangs; a later one must never be left
        // behind by a slow machine, or it would outlive the harness's clock.
        hdlr->SetThreadStopWait(made.empty() ? 50 : 10000);
        hdlr->SetSendTimeout(20);
        made.push_back(hdlr);
        return hdlr;
    };
    shell.Command(ID_MODE_ONLINE);
    ASSERT_EQ(made.size(), 1u);
    made[0]->armed = true;
    ASSERT_TRUE(Until([&] { return made[0]->entered.isSet(); }, [&] { AdvanceAPass(shell); }));

    shell.Command(ID_MODE_OFFLINE); // the stuck line overruns its stop wait
    EXPECT_TRUE(made[0]->HasAbandonedLine());
    shell.Command(ID_MODE_ONLINE);
    ASSERT_EQ(made.size(), 2u); // not the old handler with the stuck line's record and socket
    ASSERT_TRUE(Until([&] { return made[1]->receives > 2; }, [&] { AdvanceAPass(shell); }));

    // The old line wakes up and ends: the new line must keep polling.
    made[0]->released.set();
    CdsRetiredObjects& retired = shell.app.GetRetiredObjects();
    // Then only we and the handler table hold the old handler, until the table makes its next one.
    ASSERT_TRUE(Until([&] { return !retired.HasRunningLines() && made[0].use_count() == 2; },
                      [&] { shell.dispatcher.runPending(); }));
    const int before = made[1]->receives;
    ASSERT_TRUE(Until([&] { return made[1]->receives > before + 2; }, [&] {
        AdvanceAPass(shell);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }));
    shell.Command(ID_MODE_OFFLINE);
}

} // namespace
