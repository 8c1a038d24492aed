#pragma once
// The address-space browser's window (control 101 of the add-item dialog): the server
// bar, the filter bar, the tree of branches and the list of leaves, all showing one
// CAddressBrowser and handing it every action.
#include "quillet/forms/AddressBrowser.h"

#include <QAbstractItemModel>
#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;
class QTreeWidget;

namespace quillet { class StringTable; }

namespace quillet::gui {

// The browser's tree as an item model; each index points at its node.
class BrowserTreeModel final : public QAbstractItemModel, public CAddressBrowser::Listener {
public:
    explicit BrowserTreeModel(CAddressBrowser& browser, QObject* parent = nullptr);
    ~BrowserTreeModel() override;

    QModelIndex IndexOf(const CAddressBrowser::Node* node) const;
    static CAddressBrowser::Node* NodeOf(const QModelIndex& index);
    std::function<void(CAddressBrowser::Node*)> onSelected;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    void BeforeInsert(CAddressBrowser::Node* parent, int first, int last) override;
    void AfterInsert() override;
    void BeforeRemove(CAddressBrowser::Node* parent, int first, int last) override;
    void AfterRemove() override;
    void Selected(CAddressBrowser::Node* node) override;
    const std::vector<std::unique_ptr<CAddressBrowser::Node>>& Children(const CAddressBrowser::Node* node) const;

    CAddressBrowser& m_browser;
};

class BrowserWidget final : public QWidget {
public:
    BrowserWidget(CAddressBrowser& browser, const StringTable& texts, UINT dialogId, QWidget* parent = nullptr);
    // Called after every action the browser took.
    std::function<void()> changed;
    void Sync();

private:
    template <typename F>
    auto Act(F action);

    CAddressBrowser& m_browser;
    BrowserTreeModel* m_model;
    QComboBox *m_server, *m_node, *m_type, *m_access;
    QPushButton* m_connect;
    QLabel* m_nodeLabel;
    QCheckBox* m_array;
    QLineEdit* m_filter;
    QTreeView* m_tree;
    QTreeWidget* m_leaves;
    bool m_refreshing = false;
};

} // namespace quillet::gui
