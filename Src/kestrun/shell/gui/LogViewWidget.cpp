#include "kestrun/shell/gui/LogViewWidget.h"

#include <algorithm>

#include <QFont>
#include <QFontDatabase>
#include <QPalette>
#include <QScrollBar>
#include <QTextCursor>

#include "kestrun/shell/server/LogView.h"

namespace shell::gui {

namespace {

QColor ColourOf(unsigned rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

} // namespace

LogViewWidget::LogViewWidget(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette colours = palette();
    colours.setColor(QPalette::Text, ColourOf(CdsLogView::kTextColour));
    colours.setColor(QPalette::Base, ColourOf(CdsLogView::kBackColour));
    setPalette(colours);
    QFont font("Fixedsys");
    font.setPointSizeF(9.5);
    font.setStyleHint(QFont::Monospace);
    if (!QFontInfo(font).fixedPitch())
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(font);
}

// New lines follow only a view that shows the last line; a view scrolled back
// stays on the lines the user is reading. The scroll bar counts lines.
void LogViewWidget::AppendText(const std::string& text)
{
    QScrollBar* bar = verticalScrollBar();
    const bool follow = bar->value() >= bar->maximum();
    const int kept = bar->value();
    QString shown = QString::fromStdString(text);
    shown.remove(QLatin1Char('\r'));
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(shown);
    bar->setValue(follow ? bar->maximum() : kept);
}

void LogViewWidget::RemoveFirstLines(int nLines)
{
    QScrollBar* bar = verticalScrollBar();
    const bool follow = bar->value() >= bar->maximum();
    const int kept = bar->value();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::Start);
    if (!cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, nLines))
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor); // fewer lines: everything goes
    cursor.removeSelectedText();
    // The lines read stay in place although those above them went.
    bar->setValue(follow ? bar->maximum() : std::max(0, kept - nLines));
}

} // namespace shell::gui
