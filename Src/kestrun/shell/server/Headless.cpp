#include "kestrun/shell/server/Headless.h"

#include <unistd.h>

#include <cstdlib>

#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "platform/win/HeadlessDispatcher.h"

namespace shell {

void StreamLogWindow::AppendText(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 1);
    for (char ch : text)
        if (ch != '\r')
            out.push_back(ch);
    m_writer.WriteLine(out); // one line of output per line shown
}

std::unique_ptr<LogWindow> HeadlessWindows::CreateLogWindow(CdsLogView&)
{
    return std::make_unique<StreamLogWindow>(STDOUT_FILENO);
}

bool HasDisplay()
{
    for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

int RunApplication(CdsServerApp& app, std::vector<std::string> args, win::Dispatcher& dispatcher,
                   WindowFactory& windows, MessageBoxPresenter& presenter, const std::function<void()>& runLoop,
                   const CloseRunner& closeRunner)
{
    MessageBoxPresenter* previous = InstallMessageBoxPresenter(&presenter);
    // Before the application starts a thread of its own; threads made earlier (Qt's)
    // find the signals blocked already, when main blocked them first.
    auto signals = std::make_unique<SignalWatcher>([&dispatcher, &app, &closeRunner](int) {
        app.RequestStop();
        dispatcher.post([&app, &closeRunner] {
            auto close = [&app] {
                if (CdsServerFrame* pFrame = app.GetServerFrame(); pFrame && pFrame->IsWindow())
                    pFrame->CloseWithDefaultAnswers();
                else
                    app.Quit(0);
            };
            if (closeRunner)
                closeRunner(close);
            else
                close();
        });
    });
    app.SetDispatcher(&dispatcher);
    app.SetWindowFactory(&windows);
    app.SetArguments(std::move(args));
    const bool started = app.InitInstance();
    if (started)
        runLoop();
    const int exitCode = app.ExitInstance();
    signals.reset(); // before the dispatcher it posts to goes
    app.SetWindowFactory(nullptr);
    app.SetDispatcher(nullptr);
    InstallMessageBoxPresenter(previous);
    // A signal that came during start-up ends the program as it would later: with 0.
    if (!started && !app.HasExitCode() && app.IsStopRequested())
        return 0;
    return started || app.HasExitCode() ? exitCode : 1;
}

int RunHeadless(CdsServerApp& app, std::vector<std::string> args)
{
    win::HeadlessDispatcher dispatcher;
    NonInteractivePresenter presenter;
    HeadlessWindows windows;
    return RunApplication(app, std::move(args), dispatcher, windows, presenter, [&dispatcher] { dispatcher.run(); });
}

} // namespace shell
