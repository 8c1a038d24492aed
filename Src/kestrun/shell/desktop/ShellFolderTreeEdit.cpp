// The folder tree: renaming by label editing, the objects' menu, opening and
// the file filter.
#include "kestrun/shell/desktop/ShellFolderTree.h"

#include <algorithm>
#include <cctype>

namespace shell {

namespace {

bool EqualNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// What follows the last "."; a name without one counts whole, a name whose
// only "." is its first character has none.
std::string Extension(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return name;
    return dot == 0 ? std::string() : name.substr(dot + 1);
}

} // namespace

void COXShellFolderTree::SetFilter(const std::string& strFilter)
{
    m_filter.clear();
    if (strFilter.empty())
        return;
    std::size_t start = 0;
    for (std::size_t bar; (bar = strFilter.find('|', start)) != std::string::npos; start = bar + 1)
        if (bar > start)
            m_filter.push_back(strFilter.substr(start, bar - start));
    // The piece behind the last bar is an entry even when empty.
    m_filter.push_back(strFilter.substr(start));
}

std::string COXShellFolderTree::GetFilter() const
{
    if (m_filter.size() == 1 && m_filter.front().empty())
        return "|";
    std::string text;
    for (std::size_t i = 0; i < m_filter.size(); ++i)
        text += (i ? "|" : "") + m_filter[i];
    return text;
}

bool COXShellFolderTree::IsMatchingFilter(const std::string& strName) const
{
    if (m_filter.empty())
        return true;
    const std::string extension = Extension(strName);
    return std::any_of(m_filter.begin(), m_filter.end(),
                       [&extension](const std::string& entry) { return EqualNoCase(entry, extension); });
}

bool COXShellFolderTree::InvokeCommand(TreeItem item, UINT nCommand)
{
    const tagNAMESPACEOBJECT* pRecord = GetItemRecord(item);
    return pRecord && m_navigator.InvokeCommand(pRecord->pParentFolder, pRecord->relativeIdl, nCommand,
                                                CMF_EXPLORE | CMF_CANRENAME);
}

void COXShellFolderTree::OnDblClick(TreeItem item)
{
    const tagNAMESPACEOBJECT* pRecord = GetItemRecord(item);
    if (pRecord && !(pRecord->dwAttributes & SFGAO_FOLDER))
        m_navigator.InvokeDefaultCommand(pRecord->pParentFolder, pRecord->relativeIdl);
}

bool COXShellFolderTree::OnBeginLabelEdit(TreeItem item)
{
    const tagNAMESPACEOBJECT* pRecord = GetItemRecord(item);
    if (!pRecord || !(pRecord->dwAttributes & SFGAO_CANRENAME))
        return false;
    m_bLabelEditing = true;
    return true;
}

bool COXShellFolderTree::OnEndLabelEdit(TreeItem item, const std::optional<std::string>& text)
{
    m_bLabelEditing = false;
    ItemState* pState = State(item);
    tagNAMESPACEOBJECT* pRecord = pState ? pState->pRecord.get() : nullptr;
    if (!pRecord || !text || text->empty())
        return false;
    const std::string oldPath = m_navigator.GetFullPath(pRecord->fullIdl);
    IdList renamed;
    if (!m_navigator.RenameShellObject(pRecord->pParentFolder, pRecord->relativeIdl, renamed, *text))
        return false;
    pRecord->relativeIdl = renamed;
    // Below the parent's list, or below the tree's root for a first-level item.
    pRecord->fullIdl = ConcatenatePIDLs(FullIdlOf(m_control.GetParentItem(item)), renamed);
    pRecord->strDisplayName = m_navigator.GetDisplayName(pRecord->pParentFolder, renamed);
    m_control.SetItemText(item, pRecord->strDisplayName);
    if (pState->bExpandedOnce)
        RebuildRenamed(item, oldPath, m_navigator.GetFullPath(pRecord->fullIdl));
    return true;
}

void COXShellFolderTree::RebuildRenamed(TreeItem item, const std::string& strOldPath, const std::string& strNewPath)
{
    // The children's records hold the folder under its old name.
    const bool expanded = m_control.IsExpanded(item);
    std::vector<std::string> reopen;
    for (std::string& path : ExpandedPaths(m_control.GetChildItem(item)))
        if (path.size() > strOldPath.size() && path.compare(0, strOldPath.size(), strOldPath) == 0 &&
            path[strOldPath.size()] == '/')
            reopen.push_back(strNewPath + path.substr(strOldPath.size()));
    const TreeItem selected = m_control.GetSelectedItem();
    SetRedraw(false);
    DeleteChildren(item);
    State(item)->bExpandedOnce = false;
    Collapse(item);
    if (expanded)
        Expand(item);
    for (const std::string& path : reopen)
        OpenFolder(path, true);
    if (selected != kNoItem && m_items.count(selected) == 0)
        m_control.SelectItem(item);
    SetRedraw(true);
}

void COXShellFolderTree::OnContextMenu(TreeItem item, int x, int y)
{
    if (!m_bEnableContextMenu)
        return;
    const tagNAMESPACEOBJECT* pRecord = GetItemRecord(item);
    if (!pRecord)
        return;
    UINT flags = CMF_EXPLORE;
    if (pRecord->dwAttributes & SFGAO_CANRENAME)
        flags |= CMF_CANRENAME;
    const ShellFolderPtr pFolder = pRecord->pParentFolder;
    const IdList relative = pRecord->relativeIdl;
    const ShellMenu menu = m_navigator.GetObjectContextMenu(pFolder, relative, flags);
    if (menu.empty())
        return;
    const UINT command = m_control.TrackPopupMenu(menu, x, y);
    if (command == ID_SHELL_RENAME) {
        m_control.EditLabel(item);
        return;
    }
    if (command == 0 || !m_navigator.InvokeCommand(pFolder, relative, command, flags))
        return;
    if (command == ID_SHELL_DELETE)
        DeleteItemTree(item);
    else if (command == ID_SHELL_REFRESH)
        Refresh(item);
}

} // namespace shell
