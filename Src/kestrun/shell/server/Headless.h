#pragma once
// Running a server without a display (or as a service): the frame, the log view
// and the data view exist as core objects without windows, every line the log
// view shows is also written to standard output (so a terminal or the journal
// sees it, never waiting for it), message boxes take their default answers, and SIGINT or SIGTERM
// closes the server with default answers.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kestrun/shell/app/Windows.h"
#include "platform/win/Console.h"
#include "platform/win/Dispatcher.h"
#include "platform/win/SignalWatcher.h"

class CdsServerApp;

namespace shell {

// Writes what the log view shows to a file descriptor, carriage returns left
// out. A reader that does not keep up never holds the logging thread: lines it
// has no room for are counted and said to be missing (the log view and the log
// file keep them).
class StreamLogWindow final : public LogWindow {
public:
    explicit StreamLogWindow(int fd) : m_writer(fd) {}
    void AppendText(const std::string& text) override;
    void RemoveFirstLines(int) override {}

private:
    win::ConsoleWriter m_writer;
};

// No frame or data window; the log view writes to standard output.
class HeadlessWindows final : public WindowFactory {
public:
    std::unique_ptr<FrameWindow> CreateFrameWindow(CdsServerFrame&) override { return nullptr; }
    std::unique_ptr<LogWindow> CreateLogWindow(CdsLogView&) override;
    std::unique_ptr<DataWindow> CreateDataWindow(CdsDataView&) override { return nullptr; }
};

using win::SignalWatcher;

// Whether a desktop can show windows: a display, or a Qt platform set in the
// environment (offscreen rendering counts).
bool HasDisplay();

class MessageBoxPresenter;

// How the close a signal asks for is run on the application thread: a desktop
// first ends the dialogs that are open and closes once their loops are gone.
using CloseRunner = std::function<void(std::function<void()> close)>;

// Runs the application on the calling thread with the given loop: SIGINT and
// SIGTERM close it with default answers (through closeRunner, when given);
// InitInstance, the loop until the main window closes, ExitInstance. The exit
// code is the application's, or 1 when start-up ended without setting one.
int RunApplication(CdsServerApp& app, std::vector<std::string> args, win::Dispatcher& dispatcher,
                   WindowFactory& windows, MessageBoxPresenter& presenter, const std::function<void()>& runLoop,
                   const CloseRunner& closeRunner = {});
// A headless loop, no windows, default answers, the log on standard output.
int RunHeadless(CdsServerApp& app, std::vector<std::string> args);

} // namespace shell
