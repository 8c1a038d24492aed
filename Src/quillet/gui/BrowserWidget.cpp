#include "quillet/gui/BrowserWidget.h"

#include "quillet/text/ResourceIds.h"
#include "quillet/text/StringTable.h"
#include "quillet/gui/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <type_traits>

namespace quillet::gui {

using Node = CAddressBrowser::Node;

// ---- the tree model ----

BrowserTreeModel::BrowserTreeModel(CAddressBrowser& browser, QObject* parent)
    : QAbstractItemModel(parent), m_browser(browser)
{
    m_browser.SetListener(this);
}

BrowserTreeModel::~BrowserTreeModel() { m_browser.SetListener(nullptr); }

const std::vector<std::unique_ptr<Node>>& BrowserTreeModel::Children(const Node* node) const
{
    return node ? node->children : m_browser.Roots();
}

Node* BrowserTreeModel::NodeOf(const QModelIndex& index)
{
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

QModelIndex BrowserTreeModel::IndexOf(const Node* node) const
{
    if (!node) return {};
    const auto& siblings = Children(node->parent);
    for (std::size_t row = 0; row < siblings.size(); ++row)
        if (siblings[row].get() == node) return createIndex(int(row), 0, const_cast<Node*>(node));
    return {};
}

QModelIndex BrowserTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const auto& children = Children(NodeOf(parent));
    if (row < 0 || std::size_t(row) >= children.size() || column != 0) return {};
    return createIndex(row, 0, children[row].get());
}

QModelIndex BrowserTreeModel::parent(const QModelIndex& index) const
{
    const Node* node = NodeOf(index);
    return node ? IndexOf(node->parent) : QModelIndex();
}

int BrowserTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0) return 0;
    return int(Children(NodeOf(parent)).size());
}

int BrowserTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant BrowserTreeModel::data(const QModelIndex& index, int role) const
{
    const Node* node = NodeOf(index);
    if (!node || role != Qt::DisplayRole) return {};
    return Q(node->text);
}

void BrowserTreeModel::BeforeInsert(Node* parent, int first, int last) { beginInsertRows(IndexOf(parent), first, last); }
void BrowserTreeModel::AfterInsert() { endInsertRows(); }
void BrowserTreeModel::BeforeRemove(Node* parent, int first, int last) { beginRemoveRows(IndexOf(parent), first, last); }
void BrowserTreeModel::AfterRemove() { endRemoveRows(); }

void BrowserTreeModel::Selected(Node* node)
{
    if (onSelected) onSelected(node);
}

// ---- the window ----

template <typename F>
auto BrowserWidget::Act(F action)
{
    return [this, action](auto&&... args) {
        if (m_refreshing) return;
        // What the views do while the browser changes its tree is not an action.
        m_refreshing = true;
        // Slots may take fewer of the signal's arguments, or none.
        if constexpr (std::is_invocable_v<F, decltype(args)...>) action(std::forward<decltype(args)>(args)...);
        else action();
        m_refreshing = false;
        Sync();
        if (changed) changed();
    };
}

BrowserWidget::BrowserWidget(CAddressBrowser& browser, const StringTable& texts, UINT dialogId, QWidget* parent)
    : QWidget(parent), m_browser(browser)
{
    using namespace quillet::ctl;
    setObjectName(IdName(IDC_BROWSER));
    auto text = [&](UINT id) { return Q(texts.ControlText(dialogId, id)); };
    auto named = [](auto* widget, UINT id) {
        widget->setObjectName(IdName(id));
        return widget;
    };
    auto* bars = new QGridLayout;
    bars->addWidget(new QLabel(text(IDC_BROWSE_SERVER), this), 0, 0);
    bars->addWidget(m_server = named(new QComboBox(this), IDC_BROWSE_SERVER), 0, 1);
    bars->addWidget(m_nodeLabel = new QLabel(text(IDC_BROWSE_NODE), this), 0, 2);
    bars->addWidget(m_node = named(new QComboBox(this), IDC_BROWSE_NODE), 0, 3);
    bars->addWidget(m_connect = named(new QPushButton(text(IDC_BROWSE_CONNECT), this), IDC_BROWSE_CONNECT), 0, 4);
    bars->addWidget(new QLabel(text(IDC_BROWSE_TYPE), this), 1, 0);
    bars->addWidget(m_type = named(new QComboBox(this), IDC_BROWSE_TYPE), 1, 1);
    bars->addWidget(m_array = named(new QCheckBox(text(IDC_BROWSE_ARRAY), this), IDC_BROWSE_ARRAY), 1, 2);
    bars->addWidget(new QLabel(text(IDC_BROWSE_FILTER), this), 2, 0);
    bars->addWidget(m_filter = named(new QLineEdit(this), IDC_BROWSE_FILTER), 2, 1);
    bars->addWidget(new QLabel(text(IDC_BROWSE_ACCESS), this), 2, 2);
    bars->addWidget(m_access = named(new QComboBox(this), IDC_BROWSE_ACCESS), 2, 3);
    m_server->setEditable(true);
    m_node->setEditable(true);
    m_connect->setAutoDefault(false);
    for (const char* t : CAddressBrowser::kTypeChoiceTexts) m_type->addItem(Q(t));
    for (const char* t : CAddressBrowser::kAccessChoiceTexts) m_access->addItem(Q(t));

    m_model = new BrowserTreeModel(m_browser, this);
    m_tree = named(new QTreeView(this), IDC_BROWSE_TREE);
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    m_leaves = named(new QTreeWidget(this), IDC_BROWSE_LEAVES);
    m_leaves->setRootIsDecorated(false);
    m_leaves->header()->setStretchLastSection(false);
    m_leaves->setSelectionMode(m_browser.severalLeaves ? QAbstractItemView::ExtendedSelection
                                                       : QAbstractItemView::SingleSelection);
    auto* split = new QSplitter(this);
    split->addWidget(m_tree);
    split->addWidget(m_leaves);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(bars);
    layout->addWidget(split, 1);

    m_model->onSelected = [this](Node* node) {
        const bool was = std::exchange(m_refreshing, true);
        m_tree->setCurrentIndex(m_model->IndexOf(node));
        m_refreshing = was;
    };
    connect(m_tree, &QTreeView::expanded, this, Act([this](const QModelIndex& i) {
                m_browser.Expand(BrowserTreeModel::NodeOf(i));
            }));
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            Act([this](const QModelIndex& i, const QModelIndex&) { m_browser.Select(BrowserTreeModel::NodeOf(i)); }));
    connect(m_leaves, &QTreeWidget::itemSelectionChanged, this, Act([this] {
                std::vector<int> rows;
                for (QTreeWidgetItem* item : m_leaves->selectedItems()) rows.push_back(m_leaves->indexOfTopLevelItem(item));
                m_browser.SelectLeaves(std::move(rows));
            }));
    connect(m_leaves, &QTreeWidget::itemDoubleClicked, this, Act([this](QTreeWidgetItem* item, int) {
                m_browser.ActivateLeaf(m_leaves->indexOfTopLevelItem(item));
            }));
    connect(m_type, &QComboBox::activated, this, Act([this](int i) { m_browser.SetTypeIndex(i); }));
    connect(m_array, &QCheckBox::clicked, this, Act([this](bool on) { m_browser.SetArray(on); }));
    connect(m_filter, &QLineEdit::textEdited, this, Act([this](const QString& t) { m_browser.SetNameFilter(S(t)); }));
    connect(m_access, &QComboBox::activated, this, Act([this](int i) { m_browser.SetAccessIndex(i); }));
    connect(m_server, &QComboBox::editTextChanged, this, Act([this](const QString& t) { m_browser.serverText = S(t); }));
    connect(m_node, &QComboBox::editTextChanged, this, Act([this](const QString& t) { m_browser.nodeText = S(t); }));
    connect(m_connect, &QPushButton::clicked, this, Act([this] { m_browser.Connect(); }));
    if (Node* selected = m_browser.Selected()) m_model->onSelected(selected);
    Sync();
}

void BrowserWidget::Sync()
{
    m_refreshing = true;
    auto fill = [](QComboBox* combo, const std::vector<std::string>& entries, const std::string& text) {
        if (combo->count() != int(entries.size())) {
            combo->clear();
            for (const std::string& e : entries) combo->addItem(Q(e));
        }
        if (combo->currentText() != Q(text)) combo->setEditText(Q(text));
    };
    fill(m_server, m_browser.ServerChoices(), m_browser.serverText);
    fill(m_node, m_browser.nodeChoices, m_browser.nodeText);
    m_node->setEnabled(m_browser.NodeEnabled());
    m_nodeLabel->setEnabled(m_browser.NodeEnabled());
    m_connect->setEnabled(m_browser.ConnectEnabled());
    m_type->setCurrentIndex(m_browser.typeIndex);
    m_array->setEnabled(m_browser.ArrayEnabled());
    m_array->setChecked(m_browser.array);
    if (m_filter->text() != Q(m_browser.nameFilter)) m_filter->setText(Q(m_browser.nameFilter));
    m_access->setCurrentIndex(m_browser.accessIndex);

    // A root the browser listed shows its branches.
    for (const auto& root : m_browser.Roots())
        if (root->expanded && !root->children.empty() && !m_tree->isExpanded(m_model->IndexOf(root.get())))
            m_tree->expand(m_model->IndexOf(root.get()));
    const QString header = Q(m_browser.LeafHeader());
    if (m_leaves->headerItem()->text(0) != header) {
        m_leaves->setHeaderLabels({header});
        // The column fits its path (with some room) and fills at least the list.
        const int fit = m_leaves->header()->fontMetrics().horizontalAdvance(header) + 30;
        m_leaves->setColumnWidth(0, std::max(fit, m_leaves->viewport()->width()));
    }
    bool same = m_leaves->topLevelItemCount() == int(m_browser.Leaves().size());
    for (int i = 0; same && i < m_leaves->topLevelItemCount(); ++i)
        same = m_leaves->topLevelItem(i)->text(0) == Q(m_browser.Leaves()[i]);
    if (!same) {
        m_leaves->clear();
        for (const std::string& leaf : m_browser.Leaves()) new QTreeWidgetItem(m_leaves, {Q(leaf)});
    }
    for (int i = 0; i < m_leaves->topLevelItemCount(); ++i) {
        const auto& chosen = m_browser.SelectedLeaves();
        m_leaves->topLevelItem(i)->setSelected(std::find(chosen.begin(), chosen.end(), i) != chosen.end());
    }
    m_refreshing = false;
}

} // namespace quillet::gui
