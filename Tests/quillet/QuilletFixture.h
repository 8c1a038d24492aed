#pragma once
// A document with a fake clock, the English texts and a prompter that records; the
// script of a fake server outlives it.
#include "FakeServer.h"

#include "quillet/Prompter.h"
#include "quillet/QuilletApp.h"
#include "quillet/QuilletDoc.h"
#include "quillet/StringTable.h"

#include "platform/registry/Registry.h"
#include "platform/win/ManualDispatcher.h"

#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillettest {

class RecordingPrompter : public quillet::Prompter {
public:
    quillet::PromptAnswer MessageBox(std::string_view text, quillet::PromptButtons, std::string_view) override
    {
        shown.emplace_back(text);
        return quillet::PromptAnswer::Ok;
    }
    std::vector<std::string> shown;
};

class DocFixture : public ::testing::Test {
protected:
    // The display texts of what was logged since the last call.
    std::vector<std::string> Logged()
    {
        std::vector<std::string> lines;
        for (auto& e : doc.TakeLogEntries()) lines.push_back(quillet::DisplayText(texts, e));
        return lines;
    }
    CItem& AddItem(CGroup& group, const std::string& id)
    {
        group.Items().push_back(std::make_unique<CItem>(doc));
        group.Items().back()->SetItemID(id);
        return *group.Items().back();
    }

    Script script;
    win::FakeClock clock{100000, std::chrono::system_clock::from_time_t(1697962150)};  // 2023-10-22 08:09:10 UTC
    RecordingPrompter prompter;
    quillet::StringTable texts;
    CQuilletDoc doc{CQuilletHost{clock, prompter, texts}};
};

// An application on a scratch registry and socket folder, with a manual dispatcher.
class AppFixture : public ::testing::Test {
protected:
    // A ProgID as a server registers it ("OPC\Vendor" only below the key), with its class.
    void Register(const std::string& progId, bool opcKey, const CLSID* clsid)
    {
        reg.SetString(HKEY_CLASSES_ROOT, progId, "", progId);
        if (opcKey) reg.SetString(HKEY_CLASSES_ROOT, progId + "\\OPC\\Vendor", "", "Tessaro");
        if (clsid) reg.SetString(HKEY_CLASSES_ROOT, progId + "\\CLSID", "", com::formatGuid(*clsid));
    }

    support::ScratchFolder scratch;
    registry::Registry reg{scratch.path() / "reg"};
    win::FakeClock clock;
    win::ManualDispatcher dispatcher{clock};
    RecordingPrompter prompter;
    quillet::StringTable texts;
    CQuilletAppHost host{{clock, prompter, texts}, dispatcher, reg, scratch.path() / "run" / "tessaro" / "opc"};
};

} // namespace quillettest
