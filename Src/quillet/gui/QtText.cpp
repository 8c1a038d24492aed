#include "quillet/gui/QtText.h"

namespace quillet::gui {

QString MenuLabel(std::string_view menuText) { return Q(menuText.substr(0, menuText.find('\t'))); }

QKeySequence MenuShortcut(std::string_view menuText)
{
    const auto tab = menuText.find('\t');
    if (tab == std::string_view::npos) return {};
    const QString key = Q(menuText.substr(tab + 1));
    // "Del" is the menus' name for the Delete key.
    return QKeySequence(key == "Del" ? QStringLiteral("Delete") : key, QKeySequence::PortableText);
}

} // namespace quillet::gui
