#pragma once
// The shell namespace on Linux: a "Desktop" whose objects are the home folder,
// the desktop folder (when it is another folder), the file-system root and
// the mounted volumes; below them the file system. Hidden objects are those
// whose name begins with ".". A folder is a small value object held through a
// shared pointer (one reference per holder); everything runs on the
// application thread.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kestrun/shell/desktop/ShellIdList.h"

namespace shell {

// Attribute flags, numbered as the shell numbers them.
enum : DWORD {
    SFGAO_CANRENAME = 0x10,
    SFGAO_CANDELETE = 0x20,
    SFGAO_HIDDEN = 0x80000,
    SFGAO_FILESYSANCESTOR = 0x10000000,
    SFGAO_FOLDER = 0x20000000,
    SFGAO_FILESYSTEM = 0x40000000,
    SFGAO_HASSUBFOLDER = 0x80000000,
};

// What an enumeration yields.
enum : DWORD {
    SHCONTF_FOLDERS = 0x20,
    SHCONTF_NONFOLDERS = 0x40,
    SHCONTF_INCLUDEHIDDEN = 0x80,
};

// Icons of the namespace's objects, as indexes of its image list.
enum ShellIcon : int {
    kIconDesktop = 0,
    kIconHome,
    kIconDesktopFolder,
    kIconRoot,
    kIconVolume,
    kIconFolder,
    kIconFolderOpen,
    kIconFile,
    kIconCount,
};

// What the desktop shows. FromSystem reads $HOME, the XDG desktop folder and
// the mounted volumes; tests give their own.
struct NamespaceSetup {
    std::string strHome;
    std::string strDesktop;            // shown when it is a folder other than home
    std::string strRoot = "/";
    std::vector<std::string> volumes;  // mount points, shown when they are folders
    std::string strTrash;              // the trash folder deleted objects go to

    static NamespaceSetup FromSystem();
};

// The mount points of a mounts table (as /proc/self/mounts writes it) that a
// user would call volumes: block devices and network shares, not "/", not
// squashfs images; octal escapes decoded, each once, in table order.
std::vector<std::string> ParseMountedVolumes(std::string_view table);

class ShellFolder;
using ShellFolderPtr = std::shared_ptr<ShellFolder>;

class ShellFolder {
public:
    // The desktop of a namespace.
    static ShellFolderPtr Desktop(std::shared_ptr<const NamespaceSetup> setup);

    bool IsDesktop() const { return m_strPath.empty(); }
    // The folder's file-system path; empty for the desktop.
    const std::string& GetPath() const { return m_strPath; }
    const std::shared_ptr<const NamespaceSetup>& GetSetup() const { return m_setup; }

    // Relative lists of one item each, in the folder's order (CompareIDs);
    // false when the folder cannot be read.
    bool EnumObjects(DWORD dwFlags, std::vector<IdList>& objects) const;
    // Of the object a relative list leads to (the last of its items).
    std::optional<DWORD> GetAttributesOf(const IdList& relative) const;
    std::string GetDisplayNameOf(const IdList& relative) const;
    int GetIconOf(const IdList& relative, bool bOpen) const;
    // The object's file-system path; empty when it has none.
    std::string GetPathOf(const IdList& relative) const;
    // The folder a relative list leads to; null when it is no folder.
    ShellFolderPtr BindToObject(const IdList& relative) const;
    // A name in this folder, or a path below it ("a/b"); on the desktop an
    // absolute path, taken below the most specific of its places. Nothing for
    // an object that does not exist.
    std::optional<IdList> ParseDisplayName(std::string_view name) const;
    // Negative, 0 or positive: places in their order, folders before files,
    // names without regard to case.
    int CompareIDs(const IdList& a, const IdList& b) const;
    // Renames the object (never over another one); its new relative list, or
    // nothing with the reason.
    std::optional<IdList> SetNameOf(const IdList& relative, std::string_view name, std::string& strError) const;

private:
    ShellFolder(std::shared_ptr<const NamespaceSetup> setup, std::string path);
    std::string ItemPath(IdItem item) const;

    std::shared_ptr<const NamespaceSetup> m_setup;
    std::string m_strPath;
};

// Opening objects with the desktop's own programs: the desktop installs one;
// without it nothing opens.
class ShellOpener {
public:
    virtual ~ShellOpener() = default;
    virtual bool Open(const std::string& strPath) = 0;
};
ShellOpener* InstallShellOpener(ShellOpener* opener);
bool ShellOpenPath(const std::string& strPath);

} // namespace shell
