#include "kestrun/shell/gui/RunServer.h"

#include <QApplication>

#include "kestrun/shell/Headless.h"
#include "kestrun/shell/ServerApp.h"
#include "kestrun/shell/gui/QtFileDialog.h"
#include "kestrun/shell/gui/QtMessageBox.h"
#include "kestrun/shell/gui/QtWindows.h"
#include "qtdispatch/QtDispatcher.h"

namespace shell::gui {

namespace {
std::vector<std::string> Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }
} // namespace

int RunDesktop(CdsServerApp& app, int& argc, char** argv)
{
    std::vector<std::string> args = Arguments(argc, argv);
    QApplication qtApp(argc, argv);
    qtdispatch::QtDispatcher dispatcher;
    QtMessageBoxPresenter presenter;
    QtFileDialogPresenter files;
    FileDialogPresenter* previous = InstallFileDialogPresenter(&files);
    QtWindows windows;
    const int code = RunApplication(app, std::move(args), dispatcher, windows, presenter, [] { QApplication::exec(); });
    InstallFileDialogPresenter(previous);
    return code;
}

int RunServer(CdsServerApp& app, int& argc, char** argv)
{
    if (!app.IsServiceMode() && HasDisplay())
        return RunDesktop(app, argc, argv);
    return RunHeadless(app, Arguments(argc, argv));
}

} // namespace shell::gui
