#include "kestrun/shell/gui/TabStopDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QTextOption>

#include "kestrun/shell/server/DataViewList.h"

namespace shell::gui {

TabStopDelegate::TabStopDelegate(int nDialogUnits, QObject* parent)
    : QStyledItemDelegate(parent), m_nDialogUnits(nDialogUnits)
{
}

int TabStopDelegate::TabStopPixels(const QFont& font) const
{
    const int letters = QFontMetrics(font).horizontalAdvance(QString::fromLatin1(CdsDataViewList::kAverageLetters));
    return CdsDataViewList::DialogUnitsToPixels(m_nDialogUnits, letters);
}

void TabStopDelegate::paint(QPainter* pPainter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const int tabStop = TabStopPixels(item.font);
    if (tabStop <= 0) {
        QStyledItemDelegate::paint(pPainter, option, index);
        return;
    }
    const QString text = item.text;
    const QWidget* pWidget = item.widget;
    const QStyle* pStyle = pWidget ? pWidget->style() : QApplication::style();
    // Background, selection and focus as the style draws them; the text here.
    item.text.clear();
    pStyle->drawControl(QStyle::CE_ItemViewItem, &item, pPainter, pWidget);
    const int margin = pStyle->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, pWidget) + 1;
    const QRect textRect = item.rect.adjusted(margin, 0, -margin, 0);
    QTextOption layout(Qt::AlignLeft | Qt::AlignVCenter);
    layout.setWrapMode(QTextOption::NoWrap);
    layout.setTabStopDistance(tabStop);
    const bool selected = (item.state & QStyle::State_Selected) != 0;
    const QPalette::ColorGroup group = (item.state & QStyle::State_Enabled) == 0 ? QPalette::Disabled
                                       : (item.state & QStyle::State_Active) != 0 ? QPalette::Active
                                                                                  : QPalette::Inactive;
    pPainter->save();
    pPainter->setFont(item.font);
    pPainter->setPen(item.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    pPainter->setClipRect(textRect);
    pPainter->drawText(QRectF(textRect), text, layout);
    pPainter->restore();
}

} // namespace shell::gui
