#pragma once
// Runs a server program: on the desktop when a display exists and the server
// is not a service, headless otherwise.
#include <string>
#include <vector>

class CdsServerApp;

namespace shell::gui {

// Qt's loop with the desktop's windows and message boxes.
int RunDesktop(CdsServerApp& app, int& argc, char** argv);
int RunServer(CdsServerApp& app, int& argc, char** argv);

} // namespace shell::gui
