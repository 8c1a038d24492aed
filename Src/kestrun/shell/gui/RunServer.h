#pragma once
// Runs a server program: on the desktop when a display exists and the server
// is not a service, headless otherwise.
#include <memory>
#include <string>
#include <vector>

class CdsServerApp;

namespace shell {
class ConfigDialogs;
class FileDialogPresenter;
class FormPresenter;
class PortSetupPresenters;
class ShellOpener;
} // namespace shell

namespace shell::gui {

// The desktop's dialogs for as long as it lives (after QApplication): forms
// (configuration and option dialogs, the folder picker), file dialogs, the
// configuration dialogs the data view uses, the port setup dialogs and
// opening files from the folder tree. RunDesktop makes one; a program with
// its own loop may too.
class DesktopDialogs {
public:
    DesktopDialogs();
    ~DesktopDialogs();
    DesktopDialogs(const DesktopDialogs&) = delete;
    DesktopDialogs& operator=(const DesktopDialogs&) = delete;

private:
    std::unique_ptr<FormPresenter> m_pForms;
    std::unique_ptr<FileDialogPresenter> m_pFiles;
    std::unique_ptr<ConfigDialogs> m_pConfig;
    std::unique_ptr<ShellOpener> m_pOpener;
    std::unique_ptr<PortSetupPresenters> m_pPortSetup;
    FormPresenter* m_pPreviousForms = nullptr;
    FileDialogPresenter* m_pPreviousFiles = nullptr;
    ConfigDialogs* m_pPreviousConfig = nullptr;
    ShellOpener* m_pPreviousOpener = nullptr;
};

// Qt's loop with the desktop's windows and message boxes.
int RunDesktop(CdsServerApp& app, int& argc, char** argv);
int RunServer(CdsServerApp& app, int& argc, char** argv);

} // namespace shell::gui
