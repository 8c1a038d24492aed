#pragma once
// The nested loops of the desktop programs (modal dialogs, message boxes, popup
// menus) and a quit that must not wait for them. A signal's work runs inside
// whichever loop is innermost; closing the program there would free what the
// code below that loop still uses. So the quit first ends every nested loop
// and runs once the last of them has returned, and from then on no dialog
// opens. GUI thread only.
#include <functional>

class QDialog;
class QMenu;
class QAction;
class QPoint;

namespace qtdispatch {

// Runs the dialog's loop; QDialog::Rejected at once, nothing shown, once a
// quit is under way.
int ExecModal(QDialog& dialog);
// Runs the popup menu's loop; none chosen once a quit is under way.
QAction* ExecMenu(QMenu& menu, const QPoint& at);

// Whether a quit is under way: questions asked now take their default answers.
bool IsQuitting();

// Starts the quit: every open dialog and menu is closed (a dialog as with
// Cancel) and the call runs on the application loop once none of the loops
// above is open any longer, at once when none is. A second call while the
// first waits is dropped.
void QuitAfterModalLoops(std::function<void()> quit);

} // namespace qtdispatch
