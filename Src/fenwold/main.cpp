// Fenwold, the MELSEC server program: its window when a display is there,
// headless otherwise. A restart replaces the process once the server has
// shut down, so whoever supervises it (a terminal, systemd) keeps doing so.
#include <string>
#include <vector>

#include "fenwold/FenwoldApp.h"
#include "kestrun/shell/server/Headless.h"
#include "platform/win/Console.h"
#include "platform/win/SignalWatcher.h"

#if TESSARO_HAS_GUI
#include "kestrun/shell/gui/RunServer.h"
#endif

int main(int argc, char** argv)
{
    // Before any thread starts, so only the signal watcher takes them.
    win::BlockQuitSignals();
    win::OpenStandardDescriptors();
    win::IgnoreBrokenPipe();
    std::vector<std::string> restart;
    int code = 0;
    {
        CFenwoldApp app;
#if TESSARO_HAS_GUI
        code = shell::gui::RunServer(app, argc, argv);
#else
        code = shell::RunHeadless(app, std::vector<std::string>(argv, argv + argc));
#endif
        restart = app.GetRestartCommand();
        // An exit or an exec follows: the closed configuration goes with the process.
        app.GetRetiredObjects().LeaveToProcessEnd();
    }
    if (!restart.empty())
        return ExecRestart(restart);
    return code;
}
