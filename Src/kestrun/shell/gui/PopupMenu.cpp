#include "kestrun/shell/gui/PopupMenu.h"

#include <QMenu>

#include "qtdispatch/ModalLoops.h"

namespace shell::gui {

UINT ExecPopupMenu(const ShellMenu& menu, const QPoint& at, QWidget* parent)
{
    QMenu popup(parent);
    for (const ShellMenuItem& entry : menu) {
        if (entry.nCommand == 0) {
            popup.addSeparator();
            continue;
        }
        QAction* pAction = popup.addAction(QString::fromStdString(entry.strText));
        pAction->setData(entry.nCommand);
        if (entry.bDefault) {
            QFont font = pAction->font();
            font.setBold(true);
            pAction->setFont(font);
        }
    }
    QAction* pChosen = qtdispatch::ExecMenu(popup, at);
    return pChosen ? pChosen->data().toUInt() : 0;
}

} // namespace shell::gui
