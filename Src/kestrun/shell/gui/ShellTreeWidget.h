#pragma once
// The folder tree's control on the desktop: a QTreeWidget that the tree's
// logic fills and that reports the user's expansions, double clicks, label
// edits and right clicks back to it.
#include <QIcon>
#include <QTreeWidget>

#include <unordered_map>
#include <vector>

#include "kestrun/shell/desktop/ShellFolderTree.h"
#include "kestrun/shell/desktop/TreeControl.h"

namespace shell::gui {

class ShellTreeWidget final : public QTreeWidget, public TreeControl {
public:
    explicit ShellTreeWidget(QWidget* parent = nullptr);

    // The tree logic the control reports to (null: none).
    void SetTree(COXShellFolderTree* pTree) { m_pTree = pTree; }
    QTreeWidgetItem* ItemOf(TreeItem item) const;
    TreeItem IdOf(const QTreeWidgetItem* pItem) const;
    // A label edit the user finished: the tree decides.
    void EndLabelEdit(const QModelIndex& index, const QString& text);

    TreeItem InsertItem(TreeItem parent, const std::string& text, int nImage, int nSelectedImage,
                        bool bChildren) override;
    void DeleteItem(TreeItem item) override;
    TreeItem GetChildItem(TreeItem item) const override;
    TreeItem GetNextSiblingItem(TreeItem item) const override;
    TreeItem GetParentItem(TreeItem item) const override;
    TreeItem GetNextVisibleItem(TreeItem item) const override;
    std::string GetItemText(TreeItem item) const override;
    void SetItemText(TreeItem item, const std::string& text) override;
    bool IsExpanded(TreeItem item) const override;
    void SetExpanded(TreeItem item, bool bExpanded) override;
    void SetChildrenMark(TreeItem item, bool bChildren) override;
    TreeItem GetSelectedItem() const override;
    void SelectItem(TreeItem item) override;
    void EnsureVisible(TreeItem item) override;
    void SetChildOrder(TreeItem parent, const std::vector<TreeItem>& order) override;
    void SetRedraw(bool bRedraw) override;
    void EditLabel(TreeItem item) override;
    int AddIcon(int nShellIcon) override;
    void RemoveAllIcons() override;
    UINT TrackPopupMenu(const ShellMenu& menu, int x, int y) override;
    void SetWaitCursor(bool bWait) override;

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* pEvent) override;

private:
    void Forget(QTreeWidgetItem* pItem);

    COXShellFolderTree* m_pTree = nullptr;
    std::unordered_map<TreeItem, QTreeWidgetItem*> m_items;
    TreeItem m_nNext = 1;
    std::vector<QIcon> m_icons;
};

} // namespace shell::gui
