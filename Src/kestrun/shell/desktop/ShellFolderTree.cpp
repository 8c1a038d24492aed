// The folder tree: building, lazy filling, finding, opening and refreshing.
#include "kestrun/shell/desktop/ShellFolderTree.h"

#include <algorithm>

namespace shell {

namespace {

// Enumerated: folders and files; hidden objects are not shown.
constexpr DWORD kEnumFlags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS;

constexpr const char* kDesktopText = "Desktop";

class WaitCursor {
public:
    explicit WaitCursor(TreeControl& control) : m_control(control) { m_control.SetWaitCursor(true); }
    ~WaitCursor() { m_control.SetWaitCursor(false); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    TreeControl& m_control;
};

bool Has(DWORD attributes, DWORD flags) { return (attributes & flags) == flags; }

} // namespace

COXShellFolderTree::COXShellFolderTree(TreeControl& control, std::shared_ptr<const NamespaceSetup> setup,
                                       bool bEnableContextMenu, bool bOnlyFileSystemFolders, bool bNotifyError,
                                       bool bShowDesktopItem, bool bShowFiles, const std::string& strFilter)
    : m_control(control), m_navigator(std::move(setup)), m_bEnableContextMenu(bEnableContextMenu),
      m_bOnlyFileSystemFolders(bOnlyFileSystemFolders), m_bNotifyError(bNotifyError),
      m_bShowDesktopItem(bShowDesktopItem), m_bShowFiles(bShowFiles)
{
    SetFilter(strFilter);
    SetNotifyError(bNotifyError);
}

COXShellFolderTree::~COXShellFolderTree() = default;

void COXShellFolderTree::SetNotifyError(bool b)
{
    m_bNotifyError = b;
    if (m_control.IsWindow())
        m_navigator.SetOwnerWnd(b);
}

COXShellFolderTree::ItemState* COXShellFolderTree::State(TreeItem item)
{
    auto it = m_items.find(item);
    return it == m_items.end() ? nullptr : &it->second;
}

const COXShellFolderTree::ItemState* COXShellFolderTree::State(TreeItem item) const
{
    auto it = m_items.find(item);
    return it == m_items.end() ? nullptr : &it->second;
}

const tagNAMESPACEOBJECT* COXShellFolderTree::GetItemRecord(TreeItem item) const
{
    const ItemState* pState = State(item);
    return pState ? pState->pRecord.get() : nullptr;
}

bool COXShellFolderTree::IsFileItem(TreeItem item) const
{
    const tagNAMESPACEOBJECT* pRecord = GetItemRecord(item);
    return pRecord && (pRecord->dwAttributes & SFGAO_FILESYSTEM) && !(pRecord->dwAttributes & SFGAO_FOLDER);
}

int COXShellFolderTree::OwnIcon(int nShellIcon)
{
    auto it = m_iconMap.find(nShellIcon);
    if (it != m_iconMap.end())
        return it->second;
    const int index = m_control.AddIcon(nShellIcon);
    m_iconMap.emplace(nShellIcon, index);
    return index;
}

bool COXShellFolderTree::InitializeTree(const std::string& strRoot)
{
    if (!m_control.IsWindow())
        return false;
    m_navigator.SetOwnerWnd(m_bNotifyError);
    m_control.RemoveAllIcons();
    m_iconMap.clear();
    m_nDesktopIcon = OwnIcon(kIconDesktop);
    ShellFolderPtr pRoot = m_navigator.GetShellFolder(strRoot);
    IdList rootIdl;
    if (!pRoot || !m_navigator.GetShellFolderFullIDL(strRoot, rootIdl))
        return false;
    m_control.SelectItem(kNoItem);
    DeleteChildren(kTreeRoot);
    m_strRoot = strRoot;
    m_rootFullIdl = rootIdl;
    TreeItem parent = kTreeRoot;
    if (m_bShowDesktopItem) {
        parent = m_control.InsertItem(kTreeRoot, kDesktopText, m_nDesktopIcon, m_nDesktopIcon, true);
        m_items[parent].bExpandedOnce = true;
        m_control.SetExpanded(parent, true);
    }
    FillTreeWithSubfolders(parent, pRoot, rootIdl);
    // Below a "Desktop" item the first level keeps the order it was enumerated in.
    SortChildren(kTreeRoot);
    return true;
}

bool COXShellFolderTree::IsAdmitted(DWORD a) const
{
    if (m_bOnlyFileSystemFolders && m_bShowFiles)
        return (a & (SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR)) != 0;
    if (m_bOnlyFileSystemFolders)
        return Has(a, SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR) || Has(a, SFGAO_FOLDER | SFGAO_FILESYSTEM);
    if (m_bShowFiles)
        return true;
    return (a & (SFGAO_FOLDER | SFGAO_HASSUBFOLDER)) != 0;
}

TreeItem COXShellFolderTree::InsertObject(TreeItem parent, std::unique_ptr<tagNAMESPACEOBJECT> pObject)
{
    const DWORD a = pObject->dwAttributes;
    const bool children = (a & (SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR)) || ((a & SFGAO_FOLDER) && m_bShowFiles);
    const int image = OwnIcon(pObject->nSmallIcon);
    const int selected = OwnIcon(pObject->nSmallOpenIcon);
    const TreeItem item = m_control.InsertItem(parent, pObject->strDisplayName, image, selected, children);
    m_items[item].pRecord = std::move(pObject);
    return item;
}

bool COXShellFolderTree::FillTreeWithSubfolders(TreeItem parent, const ShellFolderPtr& pFolder, const IdList& fullIdl)
{
    WaitCursor wait(m_control);
    if (!m_navigator.InitObjectsEnumerator(pFolder, fullIdl, kEnumFlags))
        return false;
    bool bDone = false;
    while (true) {
        std::unique_ptr<tagNAMESPACEOBJECT> pObject = m_navigator.EnumerateObjectNext(bDone);
        if (bDone)
            break;
        if (!pObject || !IsAdmitted(pObject->dwAttributes))
            continue;
        const bool file = (pObject->dwAttributes & SFGAO_FILESYSTEM) && !(pObject->dwAttributes & SFGAO_FOLDER);
        if ((file && !IsMatchingFilter(pObject->strDisplayName)) || !IsQualified(*pObject))
            continue;
        InsertObject(parent, std::move(pObject));
    }
    m_navigator.ReleaseObjectsEnumerator();
    return true;
}

void COXShellFolderTree::SortChildren(TreeItem item)
{
    std::vector<TreeItem> children;
    for (TreeItem child = m_control.GetChildItem(item); child != kNoItem; child = m_control.GetNextSiblingItem(child))
        children.push_back(child);
    std::stable_sort(children.begin(), children.end(), [this](TreeItem a, TreeItem b) {
        const tagNAMESPACEOBJECT* pA = GetItemRecord(a);
        const tagNAMESPACEOBJECT* pB = GetItemRecord(b);
        return pA && pB && COXShellNamespaceNavigator::CompareObjectsProc(*pA, *pB, 0) < 0;
    });
    m_control.SetChildOrder(item, children);
}

void COXShellFolderTree::OnItemExpanding(TreeItem item)
{
    ItemState* pState = State(item);
    if (!pState || pState->bExpandedOnce)
        return;
    pState->bExpandedOnce = true;
    const tagNAMESPACEOBJECT* pRecord = pState->pRecord.get();
    if (!pRecord)
        return;
    WaitCursor wait(m_control);
    // The children's records hold the bound folder.
    if (ShellFolderPtr pFolder = m_navigator.GetShellFolder(pRecord->pParentFolder, pRecord->relativeIdl)) {
        FillTreeWithSubfolders(item, pFolder, pRecord->fullIdl);
        SortChildren(item);
    }
}

void COXShellFolderTree::Expand(TreeItem item)
{
    OnItemExpanding(item);
    m_control.SetExpanded(item, true);
}

void COXShellFolderTree::Collapse(TreeItem item) { m_control.SetExpanded(item, false); }

void COXShellFolderTree::DeleteChildren(TreeItem item)
{
    for (TreeItem child = m_control.GetChildItem(item); child != kNoItem;) {
        const TreeItem next = m_control.GetNextSiblingItem(child);
        DeleteItemTree(child);
        child = next;
    }
}

void COXShellFolderTree::DeleteItemTree(TreeItem item)
{
    DeleteChildren(item);
    m_items.erase(item);
    m_control.DeleteItem(item);
}

TreeItem COXShellFolderTree::FirstLevelParent() const
{
    const TreeItem top = m_control.GetChildItem(kTreeRoot);
    if (m_bShowDesktopItem && top != kNoItem && !GetItemRecord(top))
        return top;
    return kTreeRoot;
}

std::optional<std::vector<IdItem>> COXShellFolderTree::ItemsBelowRoot(const IdList& fullIdl) const
{
    std::vector<IdItem> items = GetIDLItems(fullIdl);
    const std::vector<IdItem> root = GetIDLItems(m_rootFullIdl);
    if (items.size() <= root.size() || !std::equal(root.begin(), root.end(), items.begin(), IsSameIdItem))
        return std::nullopt;
    items.erase(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(root.size()));
    return items;
}

TreeItem COXShellFolderTree::FindChild(TreeItem parent, IdItem item) const
{
    for (TreeItem child = m_control.GetChildItem(parent); child != kNoItem; child = m_control.GetNextSiblingItem(child)) {
        const tagNAMESPACEOBJECT* pRecord = GetItemRecord(child);
        if (pRecord && IsSameIdItem(GetFirstIdItem(pRecord->relativeIdl), item))
            return child;
    }
    return kNoItem;
}

IdList COXShellFolderTree::FullIdlOf(TreeItem item) const
{
    if (const tagNAMESPACEOBJECT* pRecord = GetItemRecord(item))
        return pRecord->fullIdl;
    return m_rootFullIdl;
}

TreeItem COXShellFolderTree::RevealHidden(TreeItem parent, IdItem item)
{
    const IdList parentIdl = FullIdlOf(parent);
    const tagNAMESPACEOBJECT* pParent = GetItemRecord(parent);
    ShellFolderPtr pFolder = pParent ? m_navigator.GetShellFolder(pParent->pParentFolder, pParent->relativeIdl)
                                     : m_navigator.GetShellFolder(m_rootFullIdl);
    const IdList relative = MakeIdList(std::span(&item, 1));
    std::unique_ptr<tagNAMESPACEOBJECT> pObject =
        m_navigator.GetNameSpaceObject(pFolder, relative, ConcatenatePIDLs(parentIdl, relative));
    if (!pObject || !(pObject->dwAttributes & SFGAO_HIDDEN) || !(pObject->dwAttributes & SFGAO_FOLDER) ||
        !IsAdmitted(pObject->dwAttributes) || !IsQualified(*pObject))
        return kNoItem;
    const TreeItem revealed = InsertObject(parent, std::move(pObject));
    SortChildren(parent);
    return revealed;
}

TreeItem COXShellFolderTree::FindFolder(const IdList& fullIdl) const
{
    const std::optional<std::vector<IdItem>> items = ItemsBelowRoot(fullIdl);
    if (!items)
        return kNoItem;
    TreeItem parent = FirstLevelParent();
    for (std::size_t i = 0; i < items->size(); ++i) {
        const TreeItem found = FindChild(parent, (*items)[i]);
        if (found == kNoItem)
            return kNoItem;
        if (i + 1 == items->size())
            return found;
        if (!m_control.IsExpanded(found))
            return kNoItem;
        parent = found;
    }
    return kNoItem;
}

TreeItem COXShellFolderTree::FindFolder(const std::string& strPath) const
{
    IdList fullIdl;
    if (strPath.empty() || !m_navigator.GetShellFolderFullIDL(strPath, fullIdl))
        return kNoItem;
    return FindFolder(fullIdl);
}

bool COXShellFolderTree::OpenFolder(const IdList& fullIdl, bool bExpand)
{
    const std::optional<std::vector<IdItem>> items = ItemsBelowRoot(fullIdl);
    if (!items)
        return false;
    TreeItem parent = FirstLevelParent();
    for (std::size_t i = 0; i < items->size(); ++i) {
        TreeItem found = FindChild(parent, (*items)[i]);
        if (found == kNoItem)
            found = RevealHidden(parent, (*items)[i]);
        if (found == kNoItem)
            return false;
        if (i + 1 < items->size()) {
            Expand(found);
            parent = found;
            continue;
        }
        m_control.SelectItem(found);
        if (bExpand)
            Expand(found);
        m_control.EnsureVisible(found);
        return true;
    }
    return false;
}

bool COXShellFolderTree::OpenFolder(const std::string& strPath, bool bExpand)
{
    if (strPath.empty())
        return true;
    IdList fullIdl;
    if (!m_navigator.GetShellFolderFullIDL(strPath, fullIdl))
        return false;
    return OpenFolder(fullIdl, bExpand);
}

std::vector<std::string> COXShellFolderTree::ExpandedPaths(TreeItem start) const
{
    std::vector<std::string> paths;
    for (TreeItem item = start; item != kNoItem; item = m_control.GetNextVisibleItem(item)) {
        if (!m_control.IsExpanded(item))
            continue;
        if (std::string path = GetFullPath(item); !path.empty())
            paths.push_back(std::move(path));
    }
    return paths;
}

bool COXShellFolderTree::Refresh(TreeItem item)
{
    if (item == kNoItem)
        return false;
    const TreeItem selected = m_control.GetSelectedItem();
    const std::string selection = selected != kNoItem ? GetFullPath(selected) : std::string();
    m_control.SelectItem(kNoItem);
    TreeItem start = kNoItem;
    if (item == kTreeRoot) {
        start = m_control.GetChildItem(kTreeRoot);
        if (m_bShowDesktopItem && start != kNoItem && !GetItemRecord(start))
            start = m_control.GetChildItem(start);
    } else if (!m_control.IsExpanded(item)) {
        // Filled afresh by its next expansion.
        DeleteChildren(item);
        ItemState* pState = State(item);
        if (!pState)
            return false;
        pState->bExpandedOnce = false;
        return true;
    } else {
        start = m_control.GetChildItem(item);
    }
    if (start == kNoItem)
        return true;
    const std::vector<std::string> expanded = ExpandedPaths(start);
    SetRedraw(false);
    if (item == kTreeRoot) {
        // From the root the tree was given, which need not be the desktop.
        InitializeTree(m_strRoot);
    } else {
        DeleteChildren(item);
        if (ItemState* pState = State(item))
            pState->bExpandedOnce = false;
        Collapse(item);
        Expand(item);
    }
    for (const std::string& path : expanded)
        OpenFolder(path, true);
    if (!selection.empty())
        OpenFolder(selection, false);
    SetRedraw(true);
    return true;
}

bool COXShellFolderTree::Refresh(const std::string& strPath)
{
    const TreeItem item = FindFolder(strPath);
    return item != kNoItem && Refresh(item);
}

std::string COXShellFolderTree::GetFullPath(TreeItem item) const
{
    const tagNAMESPACEOBJECT* pRecord = GetItemRecord(item);
    return pRecord ? m_navigator.GetFullPath(pRecord->fullIdl) : std::string();
}

void COXShellFolderTree::SetRedraw(bool bRedraw)
{
    if (!bRedraw) {
        if (m_nRedrawLock++ == 0)
            m_control.SetRedraw(false);
        return;
    }
    if (m_nRedrawLock > 0 && --m_nRedrawLock == 0)
        m_control.SetRedraw(true);
}

} // namespace shell
