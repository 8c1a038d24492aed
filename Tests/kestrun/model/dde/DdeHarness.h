#pragma once
// A server's DDE side on a test bench: a device map (PLC1 with word and text
// blocks, "$System"), the bridge installed as the toolkit's callback, the
// toolkit of the process set up by DdeService with its transport in a scratch
// folder, a manual dispatcher whose client-update timer gives the toolkit its
// idle time on a fake clock, and the server commands and the close posted to
// that dispatcher as the application would.
#include <gtest/gtest.h>

#include "kestrun/model/dde/DdeBridge.h"
#include "kestrun/model/dde/DdeService.h"
#include "kestrun/model/ServerCommands.h"
#include "kestrun/model/opc/BridgeFixture.h"
#include "kestrun/options/ServerOptions.h"
#include "platform/dde/BrisantToolkit.h"
#include "platform/win/ManualDispatcher.h"
#include "support/ScratchFolder.h"
#include "support/dde/IdlePump.h"

namespace ddetest {

class DdeHarness : public bridgetest::BridgeTest, public kestrun::DdeBridgeHost, public kestrun::ServerCommands {
protected:
    void SetUp() override
    {
        BridgeTest::SetUp();
        plc1 = AddDevice("PLC1", "A");
        words = AddBlock(plc1, "", "D100", BRISANT_WORD, 4, {"D100", "D101", "D102", "D103"});
        texts = AddBlock(plc1, "", "D200", BRISANT_STRING, 1, {"NAME"});
        map->OnLoading();   // "$System" and its commands
        for (CdsMemoryArray* block : {words, texts})
            block->SetOnline(TRUE, plc1);
        bridge.SetDeviceMap(map.get());
        previousCommands = ServerCommands::Install(this);
        kestrun::DdeBridge::Install(&bridge);
        dde::Toolkit::Process().SetClock([this] { return clock.monotonicMs(); });
        window = dispatcher.registerWindow([this](win::Message& message) -> LRESULT {
            if (message.id == win::WM_TIMER)
                service.DoIdleProcessing();
            return 0;
        });
        dispatcher.startTimer(window, 1, ClientUpdateMs());
        options.folder = scratch.path() / "tessaro";
        ASSERT_TRUE(service.Setup(&kestrun::DdeBridge::SystemAction, 0, 0, "", "Fenwold", options, &dispatcher));
        ASSERT_NE(service.GetTransport(), nullptr);
    }

    void TearDown() override
    {
        service.Exit();
        kestrun::DdeBridge::Install(nullptr);
        ServerCommands::Install(previousCommands);
        dde::Toolkit::Process().SetClock({});
        BridgeTest::TearDown();
    }

    static DWORD ClientUpdateMs() { return static_cast<DWORD>(CdsServerOptions::g_dwClientUpdateTime.load()); }

    // One pass of the application thread: the client-update timer's next tick.
    void Pass() { dispatcher.advance(ClientUpdateMs()); }

    static void Store(CdsMemoryObject* point, WORD value)
    {
        _BRISANTDATAVALUE cell{};
        cell.wVal = value;
        point->UpdateState(cell, FALSE, nullptr, nullptr, FALSE);
    }

    dde::HeapCounters Heap() const { return dde::Toolkit::Process().FindHeap(GetBrisantHeap())->Counters(); }

    // --- the application around the bridge ---
    bool GetServerIdentity(std::string& name, std::string& company) override
    {
        name = "Fenwold";
        company = "Ambersel Software";
        return true;
    }
    void PostCloseServer() override
    {
        ++closeRequests;
        dispatcher.post([this] {
            service.Exit();
            exited = true;
        });
    }
    void UpdateViews(int nCode, const CdsHint& hint) override
    {
        hints.push_back({nCode, hint.m_nNumber, hint.m_pObject, hint.GetValue().ullVal, {}, hint.m_strTopic,
                         hint.m_strItem, hint.m_strReason});
    }
    BOOL SetOnline(int) override { return TRUE; }
    BOOL OpenDocument(const std::string&) override { return FALSE; }
    BOOL ResetDocument() override { return TRUE; }
    BOOL CloseServer() override
    {
        bridge.DoCloseServer();
        return TRUE;
    }
    bool PostToApplication(std::function<void()> task) override { return dispatcher.post(std::move(task)); }
    std::filesystem::path GetConfigFolder() const override { return scratch.path(); }

    // The hint codes sent so far, in order.
    std::vector<int> HintCodes() const
    {
        std::vector<int> codes;
        for (const auto& hint : hints)
            codes.push_back(hint.code);
        return codes;
    }

    bridgetest::BridgeDevice* plc1 = nullptr;
    CdsMemoryArray* words = nullptr;
    CdsMemoryArray* texts = nullptr;
    support::ScratchFolder scratch;
    win::FakeClock clock{1000};
    win::ManualDispatcher dispatcher{clock};
    win::WindowKey window = win::kNoWindow;
    kestrun::DdeBridge bridge{*this, clock};
    kestrun::DdeService service;
    dde::TransportOptions options;
    ServerCommands* previousCommands = nullptr;
    int closeRequests = 0;
    bool exited = false;
    support::IdlePump pump{dde::Toolkit::Process(), [this] { Pass(); }};
};

} // namespace ddetest
