#include "kestrun/shell/desktop/ShellNavigator.h"

#include <algorithm>

#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/desktop/Trash.h"

namespace shell {

COXShellNamespaceNavigator::COXShellNamespaceNavigator(std::shared_ptr<const NamespaceSetup> setup)
    : m_setup(setup ? std::move(setup) : std::make_shared<const NamespaceSetup>(NamespaceSetup::FromSystem()))
{
}

COXShellNamespaceNavigator::~COXShellNamespaceNavigator() { ReleaseObjectsEnumerator(); }

void COXShellNamespaceNavigator::ShowError(const std::string& strText) const
{
    if (m_bOwner)
        svcMessageBox(strText, MB_OK | MB_ICONERROR, IDOK);
}

ShellFolderPtr COXShellNamespaceNavigator::GetShellFolder(const std::string& strPath) const
{
    ShellFolderPtr pDesktop = ShellFolder::Desktop(m_setup);
    if (strPath.empty())
        return pDesktop;
    const std::optional<IdList> list = pDesktop->ParseDisplayName(strPath);
    ShellFolderPtr pFolder = list ? pDesktop->BindToObject(*list) : nullptr;
    return pFolder ? pFolder : pDesktop;
}

ShellFolderPtr COXShellNamespaceNavigator::GetShellFolder(const IdList& fullIdl) const
{
    ShellFolderPtr pDesktop = ShellFolder::Desktop(m_setup);
    ShellFolderPtr pFolder = fullIdl.empty() ? nullptr : pDesktop->BindToObject(fullIdl);
    return pFolder ? pFolder : pDesktop;
}

ShellFolderPtr COXShellNamespaceNavigator::GetShellFolder(const ShellFolderPtr& pParent, const IdList& relativeIdl) const
{
    return pParent ? pParent->BindToObject(relativeIdl) : nullptr;
}

ShellFolderPtr COXShellNamespaceNavigator::GetParentShellFolder(const IdList& fullIdl, IdList& relativeIdl) const
{
    if (fullIdl.empty())
        return ShellFolder::Desktop(m_setup);
    relativeIdl = GetLastIDLItem(fullIdl);
    return GetShellFolder(GetParentIDL(fullIdl));
}

bool COXShellNamespaceNavigator::GetShellFolderFullIDL(const std::string& strPath, IdList& fullIdl) const
{
    if (strPath.empty()) {
        fullIdl.clear();
        return true;
    }
    const std::optional<IdList> list = ShellFolder::Desktop(m_setup)->ParseDisplayName(strPath);
    if (!list)
        return false;
    fullIdl = *list;
    return true;
}

bool COXShellNamespaceNavigator::GetShellFolderRelativeIDL(const ShellFolderPtr& pFolder, const std::string& strName,
                                                           IdList& relativeIdl) const
{
    const std::optional<IdList> list = pFolder ? pFolder->ParseDisplayName(strName) : std::nullopt;
    if (!list)
        return false;
    relativeIdl = *list;
    return true;
}

std::unique_ptr<tagNAMESPACEOBJECT> COXShellNamespaceNavigator::GetNameSpaceObject(const ShellFolderPtr& pFolder,
                                                                                   const IdList& relativeIdl,
                                                                                   const IdList& fullIdl) const
{
    const std::optional<DWORD> attributes = pFolder ? pFolder->GetAttributesOf(relativeIdl) : std::nullopt;
    if (!attributes)
        return nullptr;
    auto pObject = std::make_unique<tagNAMESPACEOBJECT>();
    pObject->pParentFolder = pFolder;
    pObject->relativeIdl = CopyPIDL(relativeIdl);
    pObject->fullIdl = CopyPIDL(fullIdl);
    pObject->dwAttributes = *attributes;
    pObject->strDisplayName = GetDisplayName(pFolder, relativeIdl);
    if (pObject->strDisplayName.empty())
        return nullptr;
    pObject->nSmallIcon = pObject->nLargeIcon = pFolder->GetIconOf(relativeIdl, false);
    pObject->nSmallOpenIcon = pObject->nLargeOpenIcon = pFolder->GetIconOf(relativeIdl, true);
    return pObject;
}

std::string COXShellNamespaceNavigator::GetDisplayName(const ShellFolderPtr& pFolder, const IdList& relativeIdl) const
{
    return pFolder ? pFolder->GetDisplayNameOf(relativeIdl) : std::string();
}

std::string COXShellNamespaceNavigator::GetFullPath(const IdList& fullIdl) const
{
    if (GetIDLItems(fullIdl).empty())
        return {};
    return ShellFolder::Desktop(m_setup)->GetPathOf(fullIdl);
}

std::string COXShellNamespaceNavigator::GetSpecialFolderPath(SpecialFolder folder) const
{
    switch (folder) {
    case SpecialFolder::Home: return m_setup->strHome;
    case SpecialFolder::DesktopFolder: return m_setup->strDesktop;
    case SpecialFolder::Trash: return m_setup->strTrash;
    case SpecialFolder::Desktop: break;
    }
    return {};
}

bool COXShellNamespaceNavigator::InitObjectsEnumerator(const ShellFolderPtr& pFolder, const IdList& fullIdl,
                                                       DWORD dwFlags)
{
    if (m_bEnumerating || !pFolder || !pFolder->EnumObjects(dwFlags, m_enumerated))
        return false;
    m_bEnumerating = true;
    m_nNext = 0;
    m_pEnumFolder = pFolder;
    m_enumFullIdl = fullIdl;
    return true;
}

std::unique_ptr<tagNAMESPACEOBJECT> COXShellNamespaceNavigator::EnumerateObjectNext(bool& bDone)
{
    bDone = !m_bEnumerating || m_nNext >= m_enumerated.size();
    if (bDone)
        return nullptr;
    const IdList& relative = m_enumerated[m_nNext++];
    return GetNameSpaceObject(m_pEnumFolder, relative, ConcatenatePIDLs(m_enumFullIdl, relative));
}

bool COXShellNamespaceNavigator::ReleaseObjectsEnumerator()
{
    if (!m_bEnumerating)
        return false;
    m_bEnumerating = false;
    m_enumerated.clear();
    m_pEnumFolder.reset();
    m_enumFullIdl.clear();
    return true;
}

ShellMenu COXShellNamespaceNavigator::GetObjectContextMenu(const ShellFolderPtr& pFolder, const IdList& relativeIdl,
                                                          UINT nFlags) const
{
    const std::optional<DWORD> attributes = pFolder ? pFolder->GetAttributesOf(relativeIdl) : std::nullopt;
    if (!attributes)
        return {};
    ShellMenu menu{{ID_SHELL_OPEN, "&Open", true}};
    if (nFlags & CMF_DEFAULTONLY)
        return menu;
    const ShellMenuItem separator{};
    if (*attributes & SFGAO_CANDELETE) {
        menu.push_back(separator);
        menu.push_back({ID_SHELL_DELETE, "&Delete", false});
    }
    if ((nFlags & CMF_CANRENAME) && (*attributes & SFGAO_CANRENAME))
        menu.push_back({ID_SHELL_RENAME, "Rena&me", false});
    if (*attributes & SFGAO_FOLDER) {
        menu.push_back(separator);
        menu.push_back({ID_SHELL_REFRESH, "Re&fresh", false});
    }
    return menu;
}

bool COXShellNamespaceNavigator::InvokeCommand(const ShellFolderPtr& pFolder, const IdList& relativeIdl, UINT nCommand,
                                               UINT nFlags) const
{
    const ShellMenu menu = GetObjectContextMenu(pFolder, relativeIdl, nFlags);
    const bool offered = std::any_of(menu.begin(), menu.end(), [nCommand](const ShellMenuItem& item) {
        return item.nCommand != 0 && item.nCommand == nCommand;
    });
    if (!offered)
        return false;
    const std::string path = pFolder->GetPathOf(relativeIdl);
    switch (nCommand) {
    case ID_SHELL_OPEN:
        if (ShellOpenPath(path))
            return true;
        ShowError("Cannot open " + path + ".");
        return false;
    case ID_SHELL_DELETE: {
        const std::string question = "Are you sure you want to move \"" + GetDisplayName(pFolder, relativeIdl) +
                                     "\" to the trash?";
        if (svcMessageBox(question, MB_YESNO | MB_ICONQUESTION, IDNO) != IDYES)
            return false;
        std::string error;
        if (MoveToTrash(path, m_setup->strTrash, error))
            return true;
        ShowError(error);
        return false;
    }
    case ID_SHELL_REFRESH:
        return true;
    default:
        return false;
    }
}

bool COXShellNamespaceNavigator::InvokeDefaultCommand(const ShellFolderPtr& pFolder, const IdList& relativeIdl) const
{
    const ShellMenu menu = GetObjectContextMenu(pFolder, relativeIdl, CMF_DEFAULTONLY);
    for (const ShellMenuItem& item : menu)
        if (item.bDefault)
            return InvokeCommand(pFolder, relativeIdl, item.nCommand, CMF_DEFAULTONLY);
    return false;
}

bool COXShellNamespaceNavigator::RenameShellObject(const ShellFolderPtr& pFolder, const IdList& relativeIdl,
                                                   IdList& newRelativeIdl, const std::string& strName) const
{
    if (!pFolder)
        return false;
    std::string error;
    std::optional<IdList> renamed = pFolder->SetNameOf(relativeIdl, strName, error);
    if (!renamed) {
        ShowError(error);
        return false;
    }
    newRelativeIdl = std::move(*renamed);
    return true;
}

int COXShellNamespaceNavigator::CompareObjectsProc(const tagNAMESPACEOBJECT& a, const tagNAMESPACEOBJECT& b, LPARAM)
{
    if (!a.pParentFolder)
        return 0;
    // The order is the low word of the folder's answer, read as signed.
    return static_cast<SHORT>(a.pParentFolder->CompareIDs(a.relativeIdl, b.relativeIdl) & 0xFFFF);
}

} // namespace shell
