#pragma once
// A core menu shown as a QMenu: separators, the default entry in bold.
#include <QPoint>

#include "kestrun/shell/app/PopupMenu.h"

class QWidget;

namespace shell::gui {

// The chosen command, 0 for none.
UINT ExecPopupMenu(const ShellMenu& menu, const QPoint& at, QWidget* parent = nullptr);

} // namespace shell::gui
