#include "kestrun/shell/gui/ShellTreeWidget.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QStyle>
#include <QStyledItemDelegate>

#include "kestrun/shell/gui/PopupMenu.h"

namespace shell::gui {

namespace {

constexpr int kIdRole = Qt::UserRole + 1;

// Hands a finished label edit to the tree instead of writing it.
class LabelDelegate final : public QStyledItemDelegate {
public:
    explicit LabelDelegate(ShellTreeWidget& tree) : QStyledItemDelegate(&tree), m_tree(tree) {}
    void setModelData(QWidget* pEditor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        if (auto* pEdit = qobject_cast<QLineEdit*>(pEditor))
            m_tree.EndLabelEdit(index, pEdit->text());
    }

private:
    ShellTreeWidget& m_tree;
};

QIcon ShellIconImage(int nShellIcon)
{
    QStyle* pStyle = QApplication::style();
    switch (nShellIcon) {
    case kIconDesktop:
    case kIconDesktopFolder: return pStyle->standardIcon(QStyle::SP_DesktopIcon);
    case kIconHome: return pStyle->standardIcon(QStyle::SP_DirHomeIcon);
    case kIconRoot: return pStyle->standardIcon(QStyle::SP_DriveHDIcon);
    case kIconVolume: return pStyle->standardIcon(QStyle::SP_DriveNetIcon);
    case kIconFolderOpen: return pStyle->standardIcon(QStyle::SP_DirOpenIcon);
    case kIconFile: return pStyle->standardIcon(QStyle::SP_FileIcon);
    default: return pStyle->standardIcon(QStyle::SP_DirClosedIcon);
    }
}

} // namespace

ShellTreeWidget::ShellTreeWidget(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setItemDelegate(new LabelDelegate(*this));
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* pItem) {
        if (m_pTree)
            m_pTree->OnItemExpanding(IdOf(pItem));
    });
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* pItem, int) {
        if (m_pTree)
            m_pTree->OnDblClick(IdOf(pItem));
    });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QTreeWidgetItem* pItem = itemAt(pos);
        const QPoint global = viewport()->mapToGlobal(pos);
        if (m_pTree && pItem)
            m_pTree->OnContextMenu(IdOf(pItem), global.x(), global.y());
    });
}

QTreeWidgetItem* ShellTreeWidget::ItemOf(TreeItem item) const
{
    auto it = m_items.find(item);
    return it == m_items.end() ? nullptr : it->second;
}

TreeItem ShellTreeWidget::IdOf(const QTreeWidgetItem* pItem) const
{
    return pItem ? pItem->data(0, kIdRole).toULongLong() : kNoItem;
}

void ShellTreeWidget::EndLabelEdit(const QModelIndex& index, const QString& text)
{
    if (m_pTree)
        m_pTree->OnEndLabelEdit(IdOf(itemFromIndex(index)), text.toStdString());
}

bool ShellTreeWidget::edit(const QModelIndex& index, EditTrigger trigger, QEvent* pEvent)
{
    // Only objects that can be renamed get an editor.
    if (trigger != QAbstractItemView::NoEditTriggers && trigger != QAbstractItemView::CurrentChanged &&
        (!m_pTree || !m_pTree->OnBeginLabelEdit(IdOf(itemFromIndex(index)))))
        return false;
    return QTreeWidget::edit(index, trigger, pEvent);
}

TreeItem ShellTreeWidget::InsertItem(TreeItem parent, const std::string& text, int nImage, int, bool bChildren)
{
    auto* pItem = new QTreeWidgetItem(QStringList{QString::fromStdString(text)});
    pItem->setFlags(pItem->flags() | Qt::ItemIsEditable);
    if (nImage >= 0 && nImage < static_cast<int>(m_icons.size()))
        pItem->setIcon(0, m_icons[static_cast<std::size_t>(nImage)]);
    const TreeItem id = m_nNext++;
    pItem->setData(0, kIdRole, QVariant::fromValue<qulonglong>(id));
    pItem->setChildIndicatorPolicy(bChildren ? QTreeWidgetItem::ShowIndicator
                                             : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    if (QTreeWidgetItem* pParent = ItemOf(parent))
        pParent->addChild(pItem);
    else
        addTopLevelItem(pItem);
    m_items[id] = pItem;
    return id;
}

void ShellTreeWidget::Forget(QTreeWidgetItem* pItem)
{
    for (int i = 0; i < pItem->childCount(); ++i)
        Forget(pItem->child(i));
    m_items.erase(IdOf(pItem));
}

void ShellTreeWidget::DeleteItem(TreeItem item)
{
    if (item == kTreeRoot) {
        clear();
        m_items.clear();
        return;
    }
    if (QTreeWidgetItem* pItem = ItemOf(item)) {
        Forget(pItem);
        delete pItem;
    }
}

TreeItem ShellTreeWidget::GetChildItem(TreeItem item) const
{
    if (item == kTreeRoot)
        return IdOf(topLevelItem(0));
    QTreeWidgetItem* pItem = ItemOf(item);
    return pItem && pItem->childCount() ? IdOf(pItem->child(0)) : kNoItem;
}

TreeItem ShellTreeWidget::GetNextSiblingItem(TreeItem item) const
{
    QTreeWidgetItem* pItem = ItemOf(item);
    if (!pItem)
        return kNoItem;
    if (QTreeWidgetItem* pParent = pItem->parent())
        return IdOf(pParent->child(pParent->indexOfChild(pItem) + 1));
    return IdOf(topLevelItem(indexOfTopLevelItem(pItem) + 1));
}

TreeItem ShellTreeWidget::GetParentItem(TreeItem item) const
{
    QTreeWidgetItem* pItem = ItemOf(item);
    return pItem ? IdOf(pItem->parent()) : kNoItem;
}

TreeItem ShellTreeWidget::GetNextVisibleItem(TreeItem item) const
{
    QTreeWidgetItem* pItem = ItemOf(item);
    return pItem ? IdOf(itemBelow(pItem)) : kNoItem;
}

std::string ShellTreeWidget::GetItemText(TreeItem item) const
{
    QTreeWidgetItem* pItem = ItemOf(item);
    return pItem ? pItem->text(0).toStdString() : std::string();
}

void ShellTreeWidget::SetItemText(TreeItem item, const std::string& text)
{
    if (QTreeWidgetItem* pItem = ItemOf(item))
        pItem->setText(0, QString::fromStdString(text));
}

bool ShellTreeWidget::IsExpanded(TreeItem item) const
{
    QTreeWidgetItem* pItem = ItemOf(item);
    return pItem && pItem->isExpanded();
}

void ShellTreeWidget::SetExpanded(TreeItem item, bool bExpanded)
{
    if (QTreeWidgetItem* pItem = ItemOf(item))
        pItem->setExpanded(bExpanded);
}

void ShellTreeWidget::SetChildrenMark(TreeItem item, bool bChildren)
{
    if (QTreeWidgetItem* pItem = ItemOf(item))
        pItem->setChildIndicatorPolicy(bChildren ? QTreeWidgetItem::ShowIndicator
                                                 : QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

TreeItem ShellTreeWidget::GetSelectedItem() const { return IdOf(currentItem()); }

void ShellTreeWidget::SelectItem(TreeItem item)
{
    QTreeWidgetItem* pItem = ItemOf(item);
    setCurrentItem(pItem);
    if (!pItem)
        clearSelection();
}

void ShellTreeWidget::EnsureVisible(TreeItem item)
{
    if (QTreeWidgetItem* pItem = ItemOf(item))
        scrollToItem(pItem);
}

void ShellTreeWidget::SetChildOrder(TreeItem parent, const std::vector<TreeItem>& order)
{
    QTreeWidgetItem* pParent = ItemOf(parent);
    // Taken out and put back: the items keep their children, expansion is set again.
    std::vector<std::pair<QTreeWidgetItem*, bool>> items;
    for (TreeItem id : order)
        if (QTreeWidgetItem* pItem = ItemOf(id))
            items.emplace_back(pItem, pItem->isExpanded());
    for (auto& [pItem, expanded] : items) {
        if (pParent)
            pParent->removeChild(pItem);
        else
            takeTopLevelItem(indexOfTopLevelItem(pItem));
    }
    for (auto& [pItem, expanded] : items) {
        if (pParent)
            pParent->addChild(pItem);
        else
            addTopLevelItem(pItem);
        pItem->setExpanded(expanded);
    }
}

void ShellTreeWidget::SetRedraw(bool bRedraw) { setUpdatesEnabled(bRedraw); }

void ShellTreeWidget::EditLabel(TreeItem item)
{
    if (QTreeWidgetItem* pItem = ItemOf(item))
        editItem(pItem);
}

int ShellTreeWidget::AddIcon(int nShellIcon)
{
    m_icons.push_back(ShellIconImage(nShellIcon));
    return static_cast<int>(m_icons.size()) - 1;
}

void ShellTreeWidget::RemoveAllIcons() { m_icons.clear(); }

UINT ShellTreeWidget::TrackPopupMenu(const ShellMenu& menu, int x, int y)
{
    return ExecPopupMenu(menu, QPoint(x, y), this);
}

void ShellTreeWidget::SetWaitCursor(bool bWait)
{
    if (bWait)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

} // namespace shell::gui
