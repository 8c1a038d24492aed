#include "quillet/gui/ViewModels.h"

#include "quillet/text/StringTable.h"
#include "quillet/gui/QtText.h"

#include <QPainter>
#include <QPixmap>

namespace quillet::gui {

namespace {

// A 16x16 picture: a disc in the colour, hollow when inactive, with a mark for the
// read-only (R) or write-only (W) items.
QIcon Picture(QColor colour, bool filled, QChar mark = {})
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour.darker(), 1.5));
    painter.setBrush(filled ? QBrush(colour) : Qt::NoBrush);
    painter.drawEllipse(QRectF(2, 2, 12, 12));
    if (!mark.isNull()) {
        QFont font = painter.font();
        font.setPixelSize(9);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(filled ? Qt::white : colour.darker());
        painter.drawText(QRectF(2, 2, 12, 12), Qt::AlignCenter, QString(mark));
    }
    return QIcon(pixmap);
}

} // namespace

QIcon GroupIcon(int image)
{
    // 0 active, 1 inactive and advised, 2 active and advised, 3 inactive.
    switch (image) {
    case 0: return Picture(QColor(0, 128, 0), true);
    case 1: return Picture(QColor(0, 0, 192), false, 'A');
    case 2: return Picture(QColor(0, 0, 192), true, 'A');
    default: return Picture(Qt::gray, false);
    }
}

QIcon ItemIcon(int image)
{
    // 0 read/write, 1 read only, 2 write only; 3 more for an inactive item.
    static const QChar kMarks[] = {QChar(), 'R', 'W'};
    return Picture(QColor(0, 128, 0), image < 3, kMarks[image % 3]);
}

// ---- rows ----

void CoreListModel::RowsReset()
{
    beginResetModel();
    m_rows = CoreRows();
    endResetModel();
    if (afterRows) afterRows();
}

void CoreListModel::RowsInserted(int first, int count)
{
    if (count <= 0 || first != m_rows) return RowsReset();
    beginInsertRows({}, first, first + count - 1);
    m_rows += count;
    endInsertRows();
    if (afterRows) afterRows();
}

void CoreListModel::RowChanged(int row)
{
    if (row < 0 || row >= m_rows) return;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

// ---- group tree ----

GroupTreeModel::GroupTreeModel(CGroupView& view, QObject* parent) : CoreListModel(parent), m_view(view)
{
    m_view.SetListener(this);
    RowsReset();
}

GroupTreeModel::~GroupTreeModel() { m_view.SetListener(nullptr); }

int GroupTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant GroupTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || std::size_t(index.row()) >= m_view.Entries().size()) return {};
    const CGroupView::Entry& entry = m_view.Entries()[index.row()];
    if (role == Qt::DisplayRole) return Q(entry.label);
    if (role == Qt::DecorationRole) return GroupIcon(entry.image);
    return {};
}

// ---- item list ----

ItemTableModel::ItemTableModel(CItemView& view, QObject* parent)
    : CoreListModel(parent), m_view(view), m_columns(int(view.ShownColumns().size()))
{
    m_view.SetListener(this);
    RowsReset();
}

ItemTableModel::~ItemTableModel() { m_view.SetListener(nullptr); }

int ItemTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_columns; }

int ItemTableModel::ItemIdColumn() const
{
    const auto& shown = m_view.ShownColumns();
    for (std::size_t c = 0; c < shown.size() && int(c) < m_columns; ++c)
        if (shown[c] == COL_ITEMID) return int(c);
    return -1;
}

QVariant ItemTableModel::data(const QModelIndex& index, int role) const
{
    const auto& rows = m_view.Rows();
    const auto& shown = m_view.ShownColumns();
    if (!index.isValid() || std::size_t(index.row()) >= rows.size() || std::size_t(index.column()) >= shown.size())
        return {};
    const CItemView::Row& row = rows[index.row()];
    const int id = shown[index.column()];
    if (role == Qt::DisplayRole) return Q(row.cells[id]);
    if (role == Qt::DecorationRole && id == COL_ITEMID) return ItemIcon(row.image);
    return {};
}

QVariant ItemTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    const auto& shown = m_view.ShownColumns();
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || std::size_t(section) >= shown.size())
        return {};
    return Q(m_view.CurrentColumns()[shown[section]].title);
}

void ItemTableModel::ColumnsReset()
{
    beginResetModel();
    m_columns = int(m_view.ShownColumns().size());
    endResetModel();
    if (afterColumns) afterColumns();
}

// ---- log ----

LogListModel::LogListModel(CLoggerView& view, const StringTable& texts, QObject* parent)
    : CoreListModel(parent), m_view(view), m_titles{Q(texts.Text(IDS_LOG_COLUMN_EVENT)), Q(texts.Text(IDS_LOG_COLUMN_TIME))}
{
    m_view.SetListener(this);
    RowsReset();
}

LogListModel::~LogListModel() { m_view.SetListener(nullptr); }

int LogListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant LogListModel::data(const QModelIndex& index, int role) const
{
    const auto& rows = m_view.Rows();
    if (!index.isValid() || role != Qt::DisplayRole || std::size_t(index.row()) >= rows.size()) return {};
    return Q(index.column() == 0 ? rows[index.row()].event : rows[index.row()].time);
}

QVariant LogListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 1) return {};
    return m_titles[section];
}

} // namespace quillet::gui
