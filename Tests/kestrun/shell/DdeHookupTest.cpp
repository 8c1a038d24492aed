// The test server's DDE side as a client of another process sees it: the
// bridge set up at start-up, the data view's timer giving the toolkit its
// time, the document handing each map over, and the server's close.
#include <gtest/gtest.h>

#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "platform/dde/Client.h"
#include "support/dde/IdlePump.h"
#include "support/shell/ShellHarness.h"

namespace {

using Status = dde::Client::Status;

void Store(const char* device, SHORT value)
{
    CdsDeviceObject* pDevice = CdsDeviceMap::GetDeviceObjectByTopic(device);
    ASSERT_NE(pDevice, nullptr);
    _BRISANTDATAVALUE cell{};
    cell.iVal = value;
    pDevice->GetMemoryArrayByAddr("D0")->GetMemoryObject(0)->UpdateState(cell, FALSE, nullptr, nullptr, FALSE);
}

TEST(DdeHookup, AClientReadsThroughTheBridgeAcrossADocumentChangeAndClosesTheServer)
{
    testsupport::ShellHarness shell;
    ASSERT_TRUE(shell.Start());
    // The data view's client-update timer is the toolkit's only working time.
    support::IdlePump pump(dde::Toolkit::Process(), [&shell] {
        shell.clock.advance(CdsServerFrame::g_dwClientUpdateTime.load());
        shell.dispatcher.fireDueTimers();
        shell.dispatcher.runPending();
    });
    dde::Client client(5000);
    ASSERT_EQ(client.Open(testsupport::kTestServerRegName), Status::Ok);
    std::uint32_t conv = 0;
    ASSERT_EQ(pump.Run([&] { return client.Connect("PLC1", conv); }), Status::Ok);
    ASSERT_EQ(pump.Run([&] { return client.Advise(conv, "D0:0"); }), Status::Ok);
    // The next data line of the item that carries the text.
    auto awaitValue = [&](const std::string& text) {
        dde::ClientValue value;
        while (pump.Run([&] { return client.NextData(value, 5000); }) == Status::Ok)
            if (value.text == text)
                return true;
        return false;
    };
    Store("PLC1", 1234);
    EXPECT_TRUE(awaitValue("1234"));

    // A new document's PLC1 takes over the conversation and its advise.
    ASSERT_NE(shell.app.OpenDocumentFile({}), nullptr);
    Store("PLC1", 42);
    EXPECT_TRUE(awaitValue("42"));

    CdsServerFrame::g_bConfirmOnQuit = 1;
    EXPECT_EQ(pump.Run([&] { return client.Execute(conv, "CLOSE SERVER"); }), Status::Ok);
    pump.RunUntil([&] { return shell.dispatcher.quitRequested(); });
    EXPECT_FALSE(shell.Frame()->IsWindow());
    EXPECT_EQ(CdsServerFrame::g_bConfirmOnQuit.load(), 0);
}

TEST(DdeHookup, CountsOfRepeatedRefusalsReachTheLogBeforeTheWindowCloses)
{
    testsupport::ShellHarness shell;
    ASSERT_TRUE(shell.Start());
    support::IdlePump pump(dde::Toolkit::Process(), [&shell] {
        shell.clock.advance(CdsServerFrame::g_dwClientUpdateTime.load());
        shell.dispatcher.fireDueTimers();
        shell.dispatcher.runPending();
    });
    dde::Client client(5000);
    ASSERT_EQ(client.Open(testsupport::kTestServerRegName), Status::Ok);
    std::uint32_t conv = 0;
    ASSERT_EQ(pump.Run([&] { return client.Connect("PLC1", conv); }), Status::Ok);
    for (int i = 0; i < 5; ++i) {
        dde::ClientValue value;
        EXPECT_EQ(pump.Run([&] { return client.Request(conv, "NOPE", value); }), Status::Nack);
    }
    EXPECT_EQ(shell.CountLog("[PLC1]NOPE"), 1);

    CdsServerFrame::g_bConfirmOnQuit = 0;
    shell.Frame()->CloseWithDefaultAnswers();
    EXPECT_FALSE(shell.Frame()->IsWindow());
    EXPECT_EQ(shell.CountLog("[PLC1]NOPE ... 4 more like this in the last minute"), 1);
}

} // namespace

namespace {

TEST(DdeHookup, IdleProcessingNeedsOnlyTheApplication)
{
    EXPECT_FALSE(DoIdleProcessing());   // no application object
    testsupport::TestServerApp app;
    ASSERT_EQ(app.GetDdeService().GetServerId(), 0u);
    EXPECT_TRUE(DoIdleProcessing());    // no DDE server: nothing to do, still done
}

} // namespace
