// The test server program: started by the shell's tests (directly, or by OPC
// activation with -Embedding), headless unless a display is there.
#include "kestrun/shell/server/Headless.h"
#include "platform/win/Console.h"
#include "support/shell/TestServerApp.h"

#if TESSARO_HAS_GUI
#include "kestrun/shell/gui/RunServer.h"
#endif

int main(int argc, char** argv)
{
    win::OpenStandardDescriptors();
    win::IgnoreBrokenPipe();
    testsupport::TestServerApp app;
#if TESSARO_HAS_GUI
    return shell::gui::RunServer(app, argc, argv);
#else
    return shell::RunHeadless(app, std::vector<std::string>(argv, argv + argc));
#endif
}
