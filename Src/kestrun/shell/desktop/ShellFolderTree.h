#pragma once
// The shell namespace as a tree below a root folder, over a tree control. A
// branch is filled when it is first expanded; five options and a list of file
// extensions decide what is shown (hidden objects never are, unless a folder
// is opened through one). Objects are renamed by label editing, get their
// menu on the right button and open by double click. The tree owns the record
// of every item and frees it with the item.
//
// Application thread only.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "kestrun/shell/desktop/ShellNavigator.h"
#include "kestrun/shell/desktop/TreeControl.h"

namespace shell {

class COXShellFolderTree {
public:
    // Null setup: the system's namespace.
    explicit COXShellFolderTree(TreeControl& control, std::shared_ptr<const NamespaceSetup> setup = nullptr,
                                bool bEnableContextMenu = true, bool bOnlyFileSystemFolders = true,
                                bool bNotifyError = true, bool bShowDesktopItem = true, bool bShowFiles = false,
                                const std::string& strFilter = {});
    virtual ~COXShellFolderTree();
    COXShellFolderTree(const COXShellFolderTree&) = delete;
    COXShellFolderTree& operator=(const COXShellFolderTree&) = delete;

    // Builds the tree afresh below the root (empty: the desktop); false when
    // the control has no window or the root names nothing (the items stay).
    bool InitializeTree(const std::string& strRoot = {});
    // The item of a folder already loaded; kNoItem when absent. Lists are
    // taken from the desktop and found below the tree's root.
    TreeItem FindFolder(const IdList& fullIdl) const;
    TreeItem FindFolder(const std::string& strPath) const;
    // Expands the way down to the folder, selects it, expands it when asked
    // and scrolls it into view. An empty path: true, nothing changes.
    bool OpenFolder(const IdList& fullIdl, bool bExpand);
    bool OpenFolder(const std::string& strPath, bool bExpand);
    // Rebuilds a branch, or the whole tree from its root (kTreeRoot), keeping
    // expanded folders and the selection. A collapsed item just loses its
    // children until its next expansion.
    bool Refresh(TreeItem item);
    bool Refresh(const std::string& strPath);
    // Empty for the "Desktop" item and objects outside the file system.
    std::string GetFullPath(TreeItem item) const;
    // Entries cut at "|"; see IsMatchingFilter.
    void SetFilter(const std::string& strFilter);
    std::string GetFilter() const;
    bool InvokeCommand(TreeItem item, UINT nCommand);
    // Nestable: drawing is on again when every off has had its on.
    void SetRedraw(bool bRedraw);

    bool GetEnableContextMenu() const { return m_bEnableContextMenu; }
    void SetEnableContextMenu(bool b) { m_bEnableContextMenu = b; }
    bool GetOnlyFileSystemFolders() const { return m_bOnlyFileSystemFolders; }
    void SetOnlyFileSystemFolders(bool b) { m_bOnlyFileSystemFolders = b; }
    bool GetNotifyError() const { return m_bNotifyError; }
    // Acts at once: failures are shown only while it is set.
    void SetNotifyError(bool b);
    bool GetShowDesktopItem() const { return m_bShowDesktopItem; }
    void SetShowDesktopItem(bool b) { m_bShowDesktopItem = b; }
    bool GetShowFiles() const { return m_bShowFiles; }
    void SetShowFiles(bool b) { m_bShowFiles = b; }

    // The record an item owns; null for the "Desktop" item and unknown items.
    const tagNAMESPACEOBJECT* GetItemRecord(TreeItem item) const;
    // The item shows a file, not a folder.
    bool IsFileItem(TreeItem item) const;
    COXShellNamespaceNavigator& GetNavigator() { return m_navigator; }
    const std::string& GetRoot() const { return m_strRoot; }

    // --- what the control reports ---
    // Before an item shows its children: fills it on its first expansion.
    void OnItemExpanding(TreeItem item);
    // Opens an object that is not a folder.
    void OnDblClick(TreeItem item);
    // Whether the label may be edited: objects that can be renamed.
    bool OnBeginLabelEdit(TreeItem item);
    // Renames the object; nothing (cancelled) or an empty text refuses. True
    // when the label keeps the new text.
    bool OnEndLabelEdit(TreeItem item, const std::optional<std::string>& text);
    // The right button released over an item: its menu, then its command.
    void OnContextMenu(TreeItem item, int x, int y);
    // Fills (when first expanded) and expands; collapses.
    void Expand(TreeItem item);
    void Collapse(TreeItem item);

protected:
    // Inserts the folder's shown objects under the item; false when the folder
    // cannot be read.
    bool FillTreeWithSubfolders(TreeItem parent, const ShellFolderPtr& pFolder, const IdList& fullIdl);
    void SortChildren(TreeItem item);
    // True without entries; otherwise the name's extension (after its last
    // "."; a name without one counts whole, a name whose only "." leads has
    // none) equals an entry without regard to case.
    virtual bool IsMatchingFilter(const std::string& strName) const;
    // A hook for derived trees to refuse objects.
    virtual bool IsQualified(const tagNAMESPACEOBJECT& /*object*/) const { return true; }

private:
    struct ItemState {
        std::unique_ptr<tagNAMESPACEOBJECT> pRecord; // none for the "Desktop" item
        bool bExpandedOnce = false;
    };

    bool IsAdmitted(DWORD dwAttributes) const;
    TreeItem InsertObject(TreeItem parent, std::unique_ptr<tagNAMESPACEOBJECT> pObject);
    int OwnIcon(int nShellIcon);
    // The level below which lists are matched: the top, or the "Desktop" item's children.
    TreeItem FirstLevelParent() const;
    // The items of the list below the tree's root; none when it lies elsewhere.
    std::optional<std::vector<IdItem>> ItemsBelowRoot(const IdList& fullIdl) const;
    TreeItem FindChild(TreeItem parent, IdItem item) const;
    // A hidden folder on the way to one that is opened.
    TreeItem RevealHidden(TreeItem parent, IdItem item);
    IdList FullIdlOf(TreeItem item) const;
    // Deletes the item's children (kTreeRoot: every item) and their records.
    void DeleteChildren(TreeItem item);
    void DeleteItemTree(TreeItem item);
    // The item's children made again, reopening the expanded folders below it
    // under their new path.
    void RebuildRenamed(TreeItem item, const std::string& strOldPath, const std::string& strNewPath);
    std::vector<std::string> ExpandedPaths(TreeItem start) const;
    ItemState* State(TreeItem item);
    const ItemState* State(TreeItem item) const;

    TreeControl& m_control;
    COXShellNamespaceNavigator m_navigator;
    bool m_bEnableContextMenu;
    bool m_bOnlyFileSystemFolders;
    bool m_bNotifyError;
    bool m_bShowDesktopItem;
    bool m_bShowFiles;
    int m_nDesktopIcon = 0;
    std::map<int, int> m_iconMap; // namespace icon -> own image list index
    std::vector<std::string> m_filter;
    int m_nRedrawLock = 0;
    bool m_bLabelEditing = false;
    std::string m_strRoot;
    IdList m_rootFullIdl;
    std::unordered_map<TreeItem, ItemState> m_items;
};

} // namespace shell
