#include "kestrun/shell/gui/RunServer.h"

#include <QApplication>

#include "kestrun/shell/server/Headless.h"
#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/forms/FormConfigDialogs.h"
#include "kestrun/shell/forms/PortSetupForms.h"
#include "kestrun/shell/gui/FormDialog.h"
#include "kestrun/shell/gui/QtFileDialog.h"
#include "kestrun/shell/gui/QtMessageBox.h"
#include "kestrun/shell/gui/QtTrayIcon.h"
#include "kestrun/shell/gui/QtWindows.h"
#include "qtdispatch/CNumbers.h"
#include "qtdispatch/ModalLoops.h"
#include "qtdispatch/QtDispatcher.h"

namespace shell::gui {

namespace {

std::vector<std::string> Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

// The configuration dialogs as forms in dialog windows; a refused command beeps.
class QtConfigDialogs final : public FormConfigDialogs {
public:
    void Beep() override { QApplication::beep(); }
};

} // namespace

DesktopDialogs::DesktopDialogs()
    : m_pForms(std::make_unique<QtFormPresenter>()), m_pFiles(std::make_unique<QtFileDialogPresenter>()),
      m_pConfig(std::make_unique<QtConfigDialogs>()), m_pOpener(std::make_unique<QtShellOpener>())
{
    m_pPreviousForms = InstallFormPresenter(m_pForms.get());
    m_pPreviousFiles = InstallFileDialogPresenter(m_pFiles.get());
    m_pPreviousConfig = InstallConfigDialogs(m_pConfig.get());
    m_pPreviousOpener = InstallShellOpener(m_pOpener.get());
    m_pPortSetup = std::make_unique<PortSetupPresenters>();
}

DesktopDialogs::~DesktopDialogs()
{
    m_pPortSetup.reset();
    InstallShellOpener(m_pPreviousOpener);
    InstallConfigDialogs(m_pPreviousConfig);
    InstallFileDialogPresenter(m_pPreviousFiles);
    InstallFormPresenter(m_pPreviousForms);
}

int RunDesktop(CdsServerApp& app, int& argc, char** argv)
{
    std::vector<std::string> args = Arguments(argc, argv);
    win::BlockQuitSignals(); // Qt starts its event-queue thread with the application
    QApplication qtApp(argc, argv);
    qtdispatch::KeepNumbersInCLocale();
    qtdispatch::QtDispatcher dispatcher;
    QtMessageBoxPresenter presenter;
    DesktopDialogs dialogs;
    QtWindows windows;
    return RunApplication(app, std::move(args), dispatcher, windows, presenter, [] { QApplication::exec(); },
                          [](std::function<void()> close) { qtdispatch::QuitAfterModalLoops(std::move(close)); });
}

int RunServer(CdsServerApp& app, int& argc, char** argv)
{
    if (!app.IsServiceMode() && HasDisplay())
        return RunDesktop(app, argc, argv);
    return RunHeadless(app, Arguments(argc, argv));
}

} // namespace shell::gui
