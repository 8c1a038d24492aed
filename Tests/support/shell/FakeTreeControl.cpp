#include "support/shell/FakeTreeControl.h"

#include <algorithm>

namespace testsupport {

using shell::kNoItem;
using shell::kTreeRoot;
using shell::TreeItem;

std::vector<TreeItem>& FakeTreeControl::Siblings(TreeItem parent)
{
    return parent == kTreeRoot || parent == kNoItem ? top : nodes.at(parent).children;
}

const std::vector<TreeItem>& FakeTreeControl::Siblings(TreeItem parent) const
{
    return parent == kTreeRoot || parent == kNoItem ? top : nodes.at(parent).children;
}

TreeItem FakeTreeControl::InsertItem(TreeItem parent, const std::string& text, int nImage, int, bool bChildren)
{
    const TreeItem id = m_next++;
    Node node;
    node.parent = parent == kTreeRoot ? kNoItem : parent;
    node.text = text;
    node.image = nImage;
    node.childrenMark = bChildren;
    nodes[id] = node;
    Siblings(parent).push_back(id);
    return id;
}

void FakeTreeControl::DeleteItem(TreeItem item)
{
    if (item == kTreeRoot) {
        nodes.clear();
        top.clear();
        selected = kNoItem;
        return;
    }
    auto it = nodes.find(item);
    if (it == nodes.end())
        return;
    for (TreeItem child : std::vector<TreeItem>(it->second.children))
        DeleteItem(child);
    auto& siblings = Siblings(it->second.parent);
    siblings.erase(std::remove(siblings.begin(), siblings.end(), item), siblings.end());
    if (selected == item)
        selected = kNoItem;
    nodes.erase(item);
}

TreeItem FakeTreeControl::GetChildItem(TreeItem item) const
{
    const auto& children = Siblings(item);
    return children.empty() ? kNoItem : children.front();
}

TreeItem FakeTreeControl::GetNextSiblingItem(TreeItem item) const
{
    auto it = nodes.find(item);
    if (it == nodes.end())
        return kNoItem;
    const auto& siblings = Siblings(it->second.parent);
    auto pos = std::find(siblings.begin(), siblings.end(), item);
    return pos == siblings.end() || pos + 1 == siblings.end() ? kNoItem : *(pos + 1);
}

TreeItem FakeTreeControl::GetParentItem(TreeItem item) const
{
    auto it = nodes.find(item);
    return it == nodes.end() ? kNoItem : it->second.parent;
}

TreeItem FakeTreeControl::GetNextVisibleItem(TreeItem item) const
{
    auto it = nodes.find(item);
    if (it == nodes.end())
        return kNoItem;
    if (it->second.expanded && !it->second.children.empty())
        return it->second.children.front();
    for (TreeItem at = item; at != kNoItem; at = GetParentItem(at))
        if (TreeItem next = GetNextSiblingItem(at); next != kNoItem)
            return next;
    return kNoItem;
}

bool FakeTreeControl::IsExpanded(TreeItem item) const
{
    auto it = nodes.find(item);
    return it != nodes.end() && it->second.expanded;
}

void FakeTreeControl::SetChildOrder(TreeItem parent, const std::vector<TreeItem>& order) { Siblings(parent) = order; }

int FakeTreeControl::AddIcon(int nShellIcon)
{
    icons.push_back(nShellIcon);
    return static_cast<int>(icons.size()) - 1;
}

UINT FakeTreeControl::TrackPopupMenu(const shell::ShellMenu& menu, int, int)
{
    lastMenu = menu;
    return menuChoice;
}

std::vector<std::string> FakeTreeControl::Texts(TreeItem parent) const
{
    std::vector<std::string> texts;
    for (TreeItem child : Siblings(parent))
        texts.push_back(nodes.at(child).text);
    return texts;
}

TreeItem FakeTreeControl::Child(TreeItem parent, const std::string& text) const
{
    for (TreeItem child : Siblings(parent))
        if (nodes.at(child).text == text)
            return child;
    return kNoItem;
}

} // namespace testsupport
