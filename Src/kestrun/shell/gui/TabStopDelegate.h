#pragma once
// Draws a list line whose columns are separated by tabs: each column starts at
// the next tab stop, every so many dialog units of the list's font, so the
// columns of the lines line up as in a list box with tab stops.
#include <QStyledItemDelegate>

namespace shell::gui {

class TabStopDelegate final : public QStyledItemDelegate {
public:
    TabStopDelegate(int nDialogUnits, QObject* parent);

    int GetDialogUnits() const { return m_nDialogUnits; }
    // The tab stop distance for a font.
    int TabStopPixels(const QFont& font) const;

    void paint(QPainter* pPainter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int m_nDialogUnits;
};

} // namespace shell::gui
