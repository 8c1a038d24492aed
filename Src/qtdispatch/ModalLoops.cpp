#include "qtdispatch/ModalLoops.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QPointer>
#include <QTimer>

#include <vector>

namespace qtdispatch {

namespace {

// GUI thread only, so plain statics.
struct Loops {
    std::vector<QPointer<QWidget>> open; // innermost last
    bool quitting = false;
    std::function<void()> quit; // waits for the loops to end
};

Loops& State()
{
    static Loops loops;
    return loops;
}

// Runs the waiting quit from the loop below, not from inside the caller of the
// loop that just ended (which still uses what the quit frees).
void RunQuitWhenOutside()
{
    Loops& s = State();
    if (!s.open.empty() || !s.quit)
        return;
    QTimer::singleShot(0, qApp, [] {
        Loops& state = State();
        if (!state.open.empty() || !state.quit)
            return; // a loop opened meanwhile; its end calls again
        std::function<void()> quit = std::move(state.quit);
        state.quit = nullptr;
        quit();
    });
}

class OpenLoop {
public:
    explicit OpenLoop(QWidget* widget) { State().open.emplace_back(widget); }
    ~OpenLoop()
    {
        State().open.pop_back();
        RunQuitWhenOutside();
    }
    OpenLoop(const OpenLoop&) = delete;
    OpenLoop& operator=(const OpenLoop&) = delete;
};

} // namespace

int ExecModal(QDialog& dialog)
{
    if (State().quitting)
        return QDialog::Rejected;
    OpenLoop loop(&dialog);
    return dialog.exec();
}

QAction* ExecMenu(QMenu& menu, const QPoint& at)
{
    if (State().quitting)
        return nullptr;
    OpenLoop loop(&menu);
    return menu.exec(at);
}

bool IsQuitting() { return State().quitting; }

void QuitAfterModalLoops(std::function<void()> quit)
{
    Loops& s = State();
    s.quitting = true;
    if (s.quit)
        return;
    s.quit = std::move(quit);
    // Innermost first; each ends its loop when control returns to it.
    for (auto it = s.open.rbegin(); it != s.open.rend(); ++it) {
        QWidget* widget = *it;
        if (auto* dialog = qobject_cast<QDialog*>(widget))
            dialog->reject();
        else if (widget)
            widget->close();
    }
    if (s.open.empty()) {
        std::function<void()> now = std::move(s.quit);
        s.quit = nullptr;
        now();
    }
}

} // namespace qtdispatch
