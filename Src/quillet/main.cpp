// Quillet, the OPC DA test client: its application object and main window on Qt's
// loop, with the texts of the user's language.
#include "quillet/text/LanguageFile.h"
#include "quillet/views/MainFrame.h"
#include "quillet/views/QuilletApp.h"
#include "quillet/text/StringTable.h"
#include "quillet/gui/MainWindow.h"
#include "quillet/gui/QtUiServices.h"

#include "platform/registry/Registry.h"
#include "platform/win/Clock.h"
#include "platform/win/Console.h"
#include "platform/win/SignalWatcher.h"
#include "platform/win/VersionInfo.h"
#include "qtdispatch/CNumbers.h"
#include "qtdispatch/ModalLoops.h"
#include "qtdispatch/QtDispatcher.h"

#include <QApplication>

#include <cstdlib>
#include <memory>

namespace {

// The locale the environment names, as setlocale would take it.
const char* LocaleName()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(name); value && *value) return value;
    return "";
}

} // namespace

int main(int argc, char** argv)
{
    // Before Qt starts its threads, so only the watcher takes them: either ends
    // the program, its connections released as at any exit, without questions:
    // open dialogs close first (also the boxes of start-up, before the loop
    // runs) and unsaved set-ups go to recovery copies.
    win::BlockQuitSignals();
    win::OpenStandardDescriptors();
    win::IgnoreBrokenPipe();
    QApplication qt(argc, argv);
    qtdispatch::KeepNumbersInCLocale();
    qtdispatch::QtDispatcher dispatcher;
    CMainFrame* quitting = nullptr; // the frame, once it exists
    win::SignalWatcher quitSignals([&dispatcher, &quitting](int) {
        dispatcher.requestEnd();  // a call that waits for a server gives up
        dispatcher.post([&quitting] {
            if (quitting) quitting->QuitWithoutQuestions();
            qtdispatch::QuitAfterModalLoops([&quitting] {
                if (quitting) quitting->QuitWithoutQuestions();
                QApplication::quit();
            });
        });
    });
    registry::Registry& reg = registry::Registry::Default();
    quillet::StringTable texts;
    quillet::LoadLanguage(texts, reg, QCoreApplication::applicationDirPath().toStdString(), LocaleName(),
                          win::version::kMajor, win::version::kMinor);

    std::unique_ptr<quillet::gui::MainWindow> window;
    quillet::gui::QtUiServices ui(texts, [&window]() -> QWidget* { return window.get(); });
    CQuilletApp app({{win::SystemClock::instance(), ui, texts, dispatcher}, reg, {}});
    if (!app.InitInstance()) return 1;
    CMainFrame frame(app);
    quitting = &frame;
    window = std::make_unique<quillet::gui::MainWindow>(app, frame, texts);
    window->show();
    // A set-up file named on the command line opens at once.
    if (const QStringList args = QCoreApplication::arguments(); args.size() > 1) {
        if (CQuilletDoc* doc = app.OpenDocumentFile(args[1].toStdString())) frame.SetActiveDocument(doc);
        window->SyncWindows();
    }
    const int code = QApplication::exec();
    quitting = nullptr;
    window.reset();
    app.ExitInstance();
    return code;
}
