#include "quillet/gui/FormDialog.h"

#include "quillet/text/ResourceIds.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "qtdispatch/ModalLoops.h"

namespace quillet::gui {

FormDialog::FormDialog(UINT dialogId, const StringTable& texts, QWidget* parent)
    : QDialog(parent), m_texts(texts), m_dialogId(dialogId)
{
    setObjectName(IdName(dialogId));
    setWindowTitle(Text(ctl::IDC_CAPTION));
}

void FormDialog::Sync()
{
    m_refreshing = true;
    Refresh();
    m_refreshing = false;
}

QString FormDialog::Text(UINT control) const { return Q(m_texts.ControlText(m_dialogId, control)); }

template <typename W>
static W* Named(W* widget, UINT id)
{
    widget->setObjectName(IdName(id));
    return widget;
}

QLabel* FormDialog::Label(UINT id)
{
    auto* label = Named(new QLabel(Text(id), this), id);
    label->setWordWrap(true);
    return label;
}

QLineEdit* FormDialog::Edit(UINT id, bool readOnly)
{
    auto* edit = Named(new QLineEdit(this), id);
    edit->setReadOnly(readOnly);
    return edit;
}

QCheckBox* FormDialog::Check(UINT id) { return Named(new QCheckBox(Text(id), this), id); }
QRadioButton* FormDialog::Radio(UINT id) { return Named(new QRadioButton(Text(id), this), id); }
QPushButton* FormDialog::Button(UINT id)
{
    auto* button = Named(new QPushButton(Text(id), this), id);
    button->setAutoDefault(false);
    return button;
}
QComboBox* FormDialog::Combo(UINT id) { return Named(new QComboBox(this), id); }

QListWidget* FormDialog::List(UINT id, bool severalRows)
{
    auto* list = Named(new QListWidget(this), id);
    if (severalRows) list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    return list;
}

QTreeWidget* FormDialog::Table(UINT id, std::initializer_list<std::pair<QString, int>> columns)
{
    auto* table = Named(new QTreeWidget(this), id);
    table->setRootIsDecorated(false);
    table->setColumnCount(int(columns.size()));
    QStringList titles;
    for (auto& [title, width] : columns) titles << title;
    table->setHeaderLabels(titles);
    int column = 0;
    for (auto& [title, width] : columns) table->setColumnWidth(column++, width);
    return table;
}

void FormDialog::Field(QGridLayout* grid, UINT id, QWidget* control)
{
    // An empty grid still counts one row: the first field takes row 0, not row 1.
    const int row = grid->count() == 0 ? 0 : grid->rowCount();
    auto* label = new QLabel(Text(id), this);
    label->setBuddy(control);
    grid->addWidget(label, row, 0);
    grid->addWidget(control, row, 1);
}

QHBoxLayout* FormDialog::Buttons(std::initializer_list<UINT> ids)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (UINT id : ids) {
        QPushButton* button = Button(id);
        row->addWidget(button);
        if (id == ctl::IDOK) {
            button->setDefault(true);
            connect(button, &QPushButton::clicked, this, [this] { OnOk(); });
        } else if (id == ctl::IDCANCEL) {
            connect(button, &QPushButton::clicked, this, &QDialog::reject);
        }
    }
    return row;
}

void FormDialog::Show(QLineEdit* edit, std::string_view text)
{
    const QString value = Q(text);
    if (edit->text() != value) edit->setText(value);
}

void FormDialog::Show(QListWidget* list, const std::vector<std::string>& rows, int current)
{
    bool same = list->count() == int(rows.size());
    for (int i = 0; same && i < list->count(); ++i) same = list->item(i)->text() == Q(rows[i]);
    if (!same) {
        list->clear();
        for (const std::string& row : rows) list->addItem(Q(row));
    }
    if (list->selectionMode() == QAbstractItemView::SingleSelection && list->currentRow() != current)
        list->setCurrentRow(current);
}

void FormDialog::Show(QComboBox* combo, const std::vector<std::string>& entries, int current)
{
    bool same = combo->count() == int(entries.size());
    for (int i = 0; same && i < combo->count(); ++i) same = combo->itemText(i) == Q(entries[i]);
    if (!same) {
        combo->clear();
        for (const std::string& entry : entries) combo->addItem(Q(entry));
    }
    if (combo->currentIndex() != current) combo->setCurrentIndex(current);
}

void FormDialog::Show(QTreeWidget* table, const std::vector<std::vector<std::string>>& rows, int current)
{
    bool same = table->topLevelItemCount() == int(rows.size());
    for (int r = 0; same && r < int(rows.size()); ++r)
        for (std::size_t c = 0; same && c < rows[r].size(); ++c)
            same = table->topLevelItem(r)->text(int(c)) == Q(rows[r][c]);
    if (!same) {
        table->clear();
        for (const auto& row : rows) {
            auto* item = new QTreeWidgetItem(table);
            for (std::size_t c = 0; c < row.size(); ++c) item->setText(int(c), Q(row[c]));
        }
    }
    QTreeWidgetItem* want = current >= 0 ? table->topLevelItem(current) : nullptr;
    if (table->currentItem() != want) table->setCurrentItem(want);
}

void ShowPrompt(QWidget* parent, const StringTable& texts, std::string_view text)
{
    QMessageBox box(QMessageBox::NoIcon, Q(texts.Caption()), Q(text), QMessageBox::Ok, parent);
    qtdispatch::ExecModal(box);
}

} // namespace quillet::gui
