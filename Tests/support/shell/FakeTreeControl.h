#pragma once
// A tree control in memory for the folder tree's logic: items with texts,
// icons, an expand mark and expansion; the menu answers with a chosen command.
#include <map>
#include <vector>

#include "kestrun/shell/desktop/TreeControl.h"

namespace testsupport {

class FakeTreeControl final : public shell::TreeControl {
public:
    struct Node {
        shell::TreeItem parent = shell::kNoItem;
        std::vector<shell::TreeItem> children;
        std::string text;
        int image = -1;
        bool childrenMark = false;
        bool expanded = false;
    };

    shell::TreeItem InsertItem(shell::TreeItem parent, const std::string& text, int nImage, int,
                               bool bChildren) override;
    void DeleteItem(shell::TreeItem item) override;
    shell::TreeItem GetChildItem(shell::TreeItem item) const override;
    shell::TreeItem GetNextSiblingItem(shell::TreeItem item) const override;
    shell::TreeItem GetParentItem(shell::TreeItem item) const override;
    shell::TreeItem GetNextVisibleItem(shell::TreeItem item) const override;
    std::string GetItemText(shell::TreeItem item) const override { return nodes.at(item).text; }
    void SetItemText(shell::TreeItem item, const std::string& text) override { nodes.at(item).text = text; }
    bool IsExpanded(shell::TreeItem item) const override;
    void SetExpanded(shell::TreeItem item, bool bExpanded) override { nodes.at(item).expanded = bExpanded; }
    void SetChildrenMark(shell::TreeItem item, bool bChildren) override { nodes.at(item).childrenMark = bChildren; }
    shell::TreeItem GetSelectedItem() const override { return selected; }
    void SelectItem(shell::TreeItem item) override { selected = item; }
    void EnsureVisible(shell::TreeItem) override {}
    void SetChildOrder(shell::TreeItem parent, const std::vector<shell::TreeItem>& order) override;
    void SetRedraw(bool bRedraw) override { redraw = bRedraw; }
    void EditLabel(shell::TreeItem item) override { edited = item; }
    int AddIcon(int nShellIcon) override;
    void RemoveAllIcons() override { icons.clear(); }
    UINT TrackPopupMenu(const shell::ShellMenu& menu, int, int) override;

    // The texts of an item's children (kTreeRoot: the top level), in order.
    std::vector<std::string> Texts(shell::TreeItem parent) const;
    // The child of that text, or kNoItem.
    shell::TreeItem Child(shell::TreeItem parent, const std::string& text) const;

    std::map<shell::TreeItem, Node> nodes;
    std::vector<shell::TreeItem> top;
    shell::TreeItem selected = shell::kNoItem;
    shell::TreeItem edited = shell::kNoItem;
    bool redraw = true;
    std::vector<int> icons;          // the namespace icon of each own-list index
    UINT menuChoice = 0;             // what the next menu answers
    shell::ShellMenu lastMenu;

private:
    std::vector<shell::TreeItem>& Siblings(shell::TreeItem parent);
    const std::vector<shell::TreeItem>& Siblings(shell::TreeItem parent) const;
    shell::TreeItem m_next = 1;
};

} // namespace testsupport
