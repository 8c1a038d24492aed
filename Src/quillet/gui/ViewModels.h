#pragma once
// Item models over the connection window's three core views. Each keeps the row count
// it has announced, so Qt hears of every row before it is asked for it; the cells are
// read from the core.
#include "quillet/views/GroupView.h"
#include "quillet/views/ItemView.h"
#include "quillet/views/ListModel.h"
#include "quillet/views/LoggerView.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <functional>

namespace quillet::gui {

// The pictures of the group tree (0..3) and of the item list (0..5).
QIcon GroupIcon(int image);
QIcon ItemIcon(int image);

class CoreListModel : public QAbstractTableModel, public ListListener {
public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    // After each change of rows, for the view (selection, scrolling, widths).
    std::function<void()> afterRows;

    void RowsReset() override;
    void RowsInserted(int first, int count) override;
    void RowChanged(int row) override;

protected:
    virtual int CoreRows() const = 0;

private:
    int m_rows = 0;
};

class GroupTreeModel final : public CoreListModel {
public:
    GroupTreeModel(CGroupView& view, QObject* parent = nullptr);
    ~GroupTreeModel() override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    int CoreRows() const override { return int(m_view.Entries().size()); }
    CGroupView& m_view;
};

class ItemTableModel final : public CoreListModel {
public:
    ItemTableModel(CItemView& view, QObject* parent = nullptr);
    ~ItemTableModel() override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void ColumnsReset() override;
    // The list column of the ItemID column; -1 when it is not shown.
    int ItemIdColumn() const;
    std::function<void()> afterColumns;

private:
    int CoreRows() const override { return int(m_view.Rows().size()); }
    CItemView& m_view;
    int m_columns;
};

class LogListModel final : public CoreListModel {
public:
    LogListModel(CLoggerView& view, const StringTable& texts, QObject* parent = nullptr);
    ~LogListModel() override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    int CoreRows() const override { return int(m_view.Rows().size()); }
    CLoggerView& m_view;
    QString m_titles[2];
};

} // namespace quillet::gui
