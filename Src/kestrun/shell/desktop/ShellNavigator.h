#pragma once
// A thin layer over the shell namespace: paths to folders and ID lists, one
// record per shown object, a folder's enumeration, display names, icons and
// paths, and the objects' menu commands (open, delete to the trash, rename,
// refresh). Messages (errors, the delete question) appear only while the
// navigator has an owner window.
//
// Application thread only. One enumeration runs at a time.
#include <memory>
#include <string>
#include <vector>

#include "kestrun/shell/app/PopupMenu.h"
#include "kestrun/shell/desktop/ShellIdList.h"
#include "kestrun/shell/desktop/ShellNamespace.h"

namespace shell {

// One shown object; its holder owns it.
struct tagNAMESPACEOBJECT {
    ShellFolderPtr pParentFolder; // the folder that holds the object
    IdList relativeIdl;           // from the parent folder
    IdList fullIdl;               // from the desktop
    DWORD dwAttributes = 0;
    std::string strDisplayName;
    int nLargeIcon = 0;
    int nLargeOpenIcon = 0;
    int nSmallIcon = 0;
    int nSmallOpenIcon = 0;
};

// Context-menu flags and the commands of an object's menu.
enum : UINT {
    CMF_DEFAULTONLY = 0x1,
    CMF_EXPLORE = 0x4,
    CMF_CANRENAME = 0x10,
};
enum : UINT {
    ID_SHELL_OPEN = 1,
    ID_SHELL_DELETE = 18,
    ID_SHELL_RENAME = 19,
    ID_SHELL_REFRESH = 27,
};

// Folders the namespace knows by name.
enum class SpecialFolder { Desktop, Home, DesktopFolder, Trash };

class COXShellNamespaceNavigator {
public:
    // Null: the system's namespace.
    explicit COXShellNamespaceNavigator(std::shared_ptr<const NamespaceSetup> setup = nullptr);
    virtual ~COXShellNamespaceNavigator();

    // With an owner, failures and questions are shown as message boxes.
    void SetOwnerWnd(bool bOwner) { m_bOwner = bOwner; }
    bool HasOwnerWnd() const { return m_bOwner; }
    const std::shared_ptr<const NamespaceSetup>& GetSetup() const { return m_setup; }

    // The desktop; for a path the folder it names, or the desktop when it
    // names none.
    ShellFolderPtr GetShellFolder(const std::string& strPath) const;
    // The folder of a full list; the desktop for none or when it is no folder.
    ShellFolderPtr GetShellFolder(const IdList& fullIdl) const;
    // The parent bound to a relative list; null when it is no folder.
    ShellFolderPtr GetShellFolder(const ShellFolderPtr& pParent, const IdList& relativeIdl) const;
    // None: the desktop, relativeIdl untouched; else relativeIdl gets the last
    // item and the result is the folder of the rest.
    ShellFolderPtr GetParentShellFolder(const IdList& fullIdl, IdList& relativeIdl) const;
    // Empty path: none (the desktop) and true; else the path's full list;
    // false when it names nothing.
    bool GetShellFolderFullIDL(const std::string& strPath, IdList& fullIdl) const;
    bool GetShellFolderRelativeIDL(const ShellFolderPtr& pFolder, const std::string& strName, IdList& relativeIdl) const;
    // Null when the object is gone or has no display name.
    std::unique_ptr<tagNAMESPACEOBJECT> GetNameSpaceObject(const ShellFolderPtr& pFolder, const IdList& relativeIdl,
                                                           const IdList& fullIdl) const;
    std::string GetDisplayName(const ShellFolderPtr& pFolder, const IdList& relativeIdl) const;
    // Empty when the object is none of the file system's.
    std::string GetFullPath(const IdList& fullIdl) const;
    std::string GetSpecialFolderPath(SpecialFolder folder) const;

    // False while one runs or when the folder cannot be read.
    bool InitObjectsEnumerator(const ShellFolderPtr& pFolder, const IdList& fullIdl, DWORD dwFlags);
    // The next record with done false; null with done true at the end; null
    // with done false for an object that went meanwhile.
    std::unique_ptr<tagNAMESPACEOBJECT> EnumerateObjectNext(bool& bDone);
    bool ReleaseObjectsEnumerator();

    // The object's menu: "&Open" (default), "&Delete", "Rena&me" (with
    // CMF_CANRENAME) and, for folders, "Re&fresh"; with CMF_DEFAULTONLY the
    // default entry alone. Empty for an object that is gone.
    ShellMenu GetObjectContextMenu(const ShellFolderPtr& pFolder, const IdList& relativeIdl, UINT nFlags) const;
    // Carries a command out: open with the desktop's program, delete to the
    // trash after the question; refresh is the caller's. True when done.
    bool InvokeCommand(const ShellFolderPtr& pFolder, const IdList& relativeIdl, UINT nCommand, UINT nFlags) const;
    bool InvokeDefaultCommand(const ShellFolderPtr& pFolder, const IdList& relativeIdl) const;
    bool RenameShellObject(const ShellFolderPtr& pFolder, const IdList& relativeIdl, IdList& newRelativeIdl,
                           const std::string& strName) const;

    // The order of two records: their parent folder's, equal on failure.
    static int CompareObjectsProc(const tagNAMESPACEOBJECT& a, const tagNAMESPACEOBJECT& b, LPARAM lParamSort);

private:
    void ShowError(const std::string& strText) const;

    std::shared_ptr<const NamespaceSetup> m_setup;
    bool m_bOwner = false;
    // The running enumeration.
    std::vector<IdList> m_enumerated;
    std::size_t m_nNext = 0;
    bool m_bEnumerating = false;
    ShellFolderPtr m_pEnumFolder;
    IdList m_enumFullIdl;
};

} // namespace shell
