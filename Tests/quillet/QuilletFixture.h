#pragma once
// A document with a fake clock, a manual dispatcher, the English texts and windows
// that record and answer as the test says; the script of a fake server outlives it.
#include "FakeServer.h"

#include "quillet/text/UiServices.h"
#include "quillet/views/QuilletApp.h"
#include "quillet/doc/QuilletDoc.h"
#include "quillet/text/StringTable.h"

#include "platform/registry/Registry.h"
#include "platform/win/ManualDispatcher.h"

#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>

#include <string>
#include <vector>

namespace quillettest {

// Message boxes are recorded and answered from a queue (OK or Yes when it is empty);
// file dialogs answer from a queue (cancel when empty); a dialog runs the test's
// handler for its id (cancel without one).
class FakeUi : public quillet::UiServices {
public:
    quillet::PromptAnswer MessageBox(std::string_view text, quillet::PromptButtons buttons, std::string_view) override
    {
        shown.emplace_back(text);
        if (whileShown) whileShown();
        if (!answers.empty()) {
            auto answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == quillet::PromptButtons::YesNo || buttons == quillet::PromptButtons::YesNoCancel
                   ? quillet::PromptAnswer::Yes
                   : quillet::PromptAnswer::Ok;
    }
    void BeginWaitCursor() override { ++waitDepth, ++waitCount; }
    void EndWaitCursor() override { --waitDepth; }
    void DisableMainWindow() override { ++disableDepth; }
    void EnableMainWindow() override { --disableDepth; }
    std::optional<std::string> FileDialog(const quillet::FileDialogSpec& spec) override
    {
        fileDialogs.push_back(spec);
        if (files.empty()) return std::nullopt;
        auto file = files.front();
        files.pop_front();
        return file;
    }
    bool RunDialog(quillet::DialogForm& form) override
    {
        dialogsRun.push_back(form.DialogId());
        auto it = dialogs.find(form.DialogId());
        return it != dialogs.end() && it->second(form);
    }
    bool CallWaiting(std::string_view text) override
    {
        if (!text.empty() && (waitTexts.empty() || waitTexts.back() != text)) waitTexts.emplace_back(text);
        if (whileCallWaits) whileCallWaits();
        return !cancelCall;
    }
    void EndCallWait() override { ++callWaitsEnded; }
    // The handler for a dialog, given its form's type.
    template <typename Form, typename F>
    void OnDialog(UINT id, F handler)
    {
        dialogs[id] = [handler](quillet::DialogForm& f) { return handler(dynamic_cast<Form&>(f)); };
    }

    std::vector<std::string> shown;
    std::function<void()> whileShown;  // what happens while a box is open
    std::deque<quillet::PromptAnswer> answers;
    std::deque<std::optional<std::string>> files;
    std::vector<quillet::FileDialogSpec> fileDialogs;
    std::map<UINT, std::function<bool(quillet::DialogForm&)>> dialogs;
    std::vector<UINT> dialogsRun;
    int waitDepth = 0, waitCount = 0;
    int disableDepth = 0;  // main window disabled while above 0
    std::vector<std::string> waitTexts;       // what a waiting call showed, each once
    std::function<void()> whileCallWaits;     // what happens while a call waits
    bool cancelCall = false;                  // the user cancels a call that waits
    int callWaitsEnded = 0;
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
    win::ManualDispatcher dispatcher{clock};
    FakeUi ui;
    quillet::StringTable texts;
    CQuilletHost docHost{clock, ui, texts, dispatcher};
    CQuilletDoc doc{docHost};
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
    FakeUi ui;
    quillet::StringTable texts;
    CQuilletAppHost host{{clock, ui, texts, dispatcher}, reg, scratch.path() / "run" / "tessaro" / "opc"};
};

} // namespace quillettest
