#pragma once
// What the folder tree needs of a tree control: items with texts, icons and an
// expand mark, their order, expansion, selection and label editing. The tree's
// logic works over it; a desktop adapts a real tree widget, tests a fake.
// Expanding an item here tells the tree nothing: the tree fills an item
// before it expands it, and the adapter reports the user's own expansions.
#include <cstdint>
#include <string>
#include <vector>

#include "kestrun/shell/desktop/ShellNavigator.h"

namespace shell {

using TreeItem = std::uint64_t;
inline constexpr TreeItem kNoItem = 0;
inline constexpr TreeItem kTreeRoot = ~TreeItem{0}; // the invisible root above the top level

class TreeControl {
public:
    virtual ~TreeControl() = default;

    virtual bool IsWindow() const { return true; }
    // Appends an item under parent (kTreeRoot: at the top level).
    virtual TreeItem InsertItem(TreeItem parent, const std::string& text, int nImage, int nSelectedImage,
                                bool bChildren) = 0;
    // The item with everything below it; kTreeRoot: every item.
    virtual void DeleteItem(TreeItem item) = 0;
    // kTreeRoot: the first top-level item. kNoItem when there is none.
    virtual TreeItem GetChildItem(TreeItem item) const = 0;
    virtual TreeItem GetNextSiblingItem(TreeItem item) const = 0;
    // kNoItem for a top-level item.
    virtual TreeItem GetParentItem(TreeItem item) const = 0;
    // The next item in display order whose parents are all expanded.
    virtual TreeItem GetNextVisibleItem(TreeItem item) const = 0;
    virtual std::string GetItemText(TreeItem item) const = 0;
    virtual void SetItemText(TreeItem item, const std::string& text) = 0;
    virtual bool IsExpanded(TreeItem item) const = 0;
    virtual void SetExpanded(TreeItem item, bool bExpanded) = 0;
    // The expand button of an item that may have children not made yet.
    virtual void SetChildrenMark(TreeItem item, bool bChildren) = 0;
    virtual TreeItem GetSelectedItem() const = 0;
    // kNoItem: no selection.
    virtual void SelectItem(TreeItem item) = 0;
    virtual void EnsureVisible(TreeItem item) = 0;
    // The parent's children in this order (the same items).
    virtual void SetChildOrder(TreeItem parent, const std::vector<TreeItem>& order) = 0;
    virtual void SetRedraw(bool bRedraw) = 0;
    virtual void EditLabel(TreeItem item) = 0;
    // A namespace icon (ShellIcon) into the control's own image list: its index there.
    virtual int AddIcon(int nShellIcon) = 0;
    virtual void RemoveAllIcons() = 0;
    // Shows the menu at the point (screen coordinates); the chosen command, 0 for none.
    virtual UINT TrackPopupMenu(const ShellMenu& menu, int x, int y) = 0;
    virtual void SetWaitCursor(bool /*bWait*/) {}
};

} // namespace shell
