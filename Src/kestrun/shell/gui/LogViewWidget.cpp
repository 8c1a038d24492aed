#include "kestrun/shell/gui/LogViewWidget.h"

#include <QFont>
#include <QFontDatabase>
#include <QPalette>
#include <QTextCursor>

#include "kestrun/shell/docview/LogView.h"

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

void LogViewWidget::AppendText(const std::string& text)
{
    QString shown = QString::fromStdString(text);
    shown.remove(QLatin1Char('\r'));
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(shown);
    setTextCursor(cursor);
    ensureCursorVisible();
}

void LogViewWidget::RemoveFirstLines(int nLines)
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::Start);
    if (!cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, nLines))
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor); // fewer lines: everything goes
    cursor.removeSelectedText();
}

} // namespace shell::gui
