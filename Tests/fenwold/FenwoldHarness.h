#pragma once
// The Fenwold program's application in scratch surroundings (registry, data
// and runtime folders, a manual dispatcher on a fake clock, recording windows).
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fenwold/FenwoldApp.h"
#include "fenwold/FenwoldDoc.h"
#include "fenwold/MainFrame.h"
#include "support/shell/ShellHarness.h"
#include "support/SourceTree.h"

namespace fenwoldtest {

// The sample configuration of "make run" with its PLC at the given port.
inline std::string WriteSampleConfig(const std::filesystem::path& path, unsigned port)
{
    std::ifstream in(support::SourceTree() / "Tools/sample.csv");
    std::ostringstream text;
    text << in.rdbuf();
    std::string config = text.str();
    const std::string address = "127.0.0.1 5010";
    config.replace(config.find(address), address.size(), "127.0.0.1 " + std::to_string(port));
    std::ofstream(path) << config;
    return path.string();
}

class FenwoldHarness : public testsupport::ScratchShell {
public:
    FenwoldHarness() { Attach(app, "fenwold"); }
    ~FenwoldHarness() { Finish(app); }

    void SetOption(const std::string& name, int value) { ScratchShell::SetOption("Fenwold", name, value); }
    void SetOption(const std::string& name, const std::string& value)
    {
        ScratchShell::SetOption("Fenwold", name, value);
    }
    // The program's start-up with these arguments.
    bool Start(std::vector<std::string> args = {})
    {
        args.insert(args.begin(), "fenwold");
        app.SetArguments(std::move(args));
        const bool started = app.InitInstance();
        dispatcher.runPending();
        return started;
    }
    CMainFrame* Frame() const { return dynamic_cast<CMainFrame*>(app.GetMainFrame()); }
    CFenwoldDoc* Doc() const { return dynamic_cast<CFenwoldDoc*>(app.GetDocument()); }
    // A command to the main window, run at once.
    void Command(UINT nId)
    {
        if (CMainFrame* pFrame = Frame())
            pFrame->PostCommand(nId);
        dispatcher.runPending();
    }
    shell::CommandState State(UINT nId) const
    {
        shell::CommandState state;
        Frame()->OnUpdateCommand(nId, state);
        return state;
    }

    CFenwoldApp app;
};

} // namespace fenwoldtest
