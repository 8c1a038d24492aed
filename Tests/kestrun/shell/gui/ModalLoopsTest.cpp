// A quit asked while dialogs are open: each closes (a message box with its
// default answer), the quit runs once the last loop has returned to its
// caller, and nothing opens afterwards. The quit stays for the process, so the
// test runs in a process of its own.
#include "qtdispatch/ModalLoops.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kestrun/shell/gui/QtMessageBox.h"

namespace {

void QuitWhileADialogAndABoxAreOpen()
{
    std::string events;
    int modalAtQuit = -1;
    QEventLoop application;
    shell::gui::QtMessageBoxPresenter boxes;
    QTimer::singleShot(0, [&] {
        QDialog dialog;
        QTimer::singleShot(0, [&] {
            QTimer::singleShot(50, [&] {
                events += "signal;";
                qtdispatch::QuitAfterModalLoops([&] {
                    events += "quit;";
                    modalAtQuit = qtdispatch::IsQuitting() ? 1 : 0;
                    application.quit();
                });
            });
            const int answer = boxes.Show("Save changes to mine.csv?", "Fenwold",
                                          shell::MB_YESNOCANCEL | shell::MB_ICONQUESTION, shell::IDYES);
            events += "box " + std::to_string(answer) + ";";
        });
        events += "dialog " + std::to_string(qtdispatch::ExecModal(dialog)) + ";";
    });
    application.exec();
    // Nothing shows any more: at once the default answer, or Cancel.
    QDialog late;
    events += "late " + std::to_string(qtdispatch::ExecModal(late)) + ";";
    events += "late box " + std::to_string(boxes.Show("Exit?", "Fenwold", shell::MB_YESNO, shell::IDNO)) + ";";
    std::fprintf(stderr, "%s quitting=%d\n", events.c_str(), modalAtQuit);
    // Without the exit handlers: the leak check would count what Qt keeps to the end.
    std::_Exit(events == "signal;box 6;dialog 0;quit;late 0;late box 7;" && modalAtQuit == 1 ? 0 : 1);
}

TEST(ModalLoopsDeathTest, AQuitClosesTheOpenDialogsAndRunsWhenTheirLoopsHaveEnded)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(QuitWhileADialogAndABoxAreOpen(), ::testing::ExitedWithCode(0),
                "signal;box 6;dialog 0;quit;late 0;late box 7; quitting=1");
}

} // namespace
