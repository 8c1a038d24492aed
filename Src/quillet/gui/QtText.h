#pragma once
// Texts between the cores (UTF-8 std::string) and Qt, object names from control ids,
// and the two halves of a menu text ("&Read\tCtrl+R").
#include "platform/win/WinTypes.h"

#include <QKeySequence>
#include <QString>

#include <string>
#include <string_view>

namespace quillet::gui {

inline QString Q(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }
inline std::string S(const QString& text) { return text.toStdString(); }
// Every control's object name is its id.
inline QString IdName(UINT id) { return QString::number(id); }

// The label of a menu text: what stands before the tab.
QString MenuLabel(std::string_view menuText);
// The shortcut of a menu text: what stands after the tab; empty for none.
QKeySequence MenuShortcut(std::string_view menuText);

} // namespace quillet::gui
