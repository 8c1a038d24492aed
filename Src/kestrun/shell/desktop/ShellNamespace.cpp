#include "kestrun/shell/desktop/ShellNamespace.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

#include "platform/win/Folders.h"

namespace fs = std::filesystem;

namespace shell {

namespace {

std::atomic<ShellOpener*> g_opener{nullptr};

// Looking further for a subfolder costs more than an expand button that finds none.
constexpr int kSubfolderScanLimit = 512;

bool IsFolder(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

bool Exists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

bool SameFolder(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

bool IsHiddenName(std::string_view name) { return !name.empty() && name.front() == '.'; }

bool IsValidEntryName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::string Join(const std::string& folder, std::string_view name)
{
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    return path + std::string(name);
}

std::string BaseName(const std::string& path, const char* whenRoot)
{
    const std::string name = fs::path(path).lexically_normal().filename().string();
    return name.empty() ? whenRoot : name;
}

// The folder holds a folder that is shown (hidden ones are not).
bool HasSubfolder(const std::string& path)
{
    std::error_code ec;
    fs::directory_iterator it(path, fs::directory_options::skip_permission_denied, ec);
    int scanned = 0;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (++scanned > kSubfolderScanLimit)
            return true;
        std::error_code dirError;
        if (!IsHiddenName(it->path().filename().string()) && it->is_directory(dirError))
            return true;
    }
    return false;
}

int PlaceRank(IdKind kind)
{
    switch (kind) {
    case IdKind::Home: return 0;
    case IdKind::DesktopFolder: return 1;
    case IdKind::FileSystemRoot: return 2;
    case IdKind::Volume: return 3;
    default: return 4;
    }
}

int CompareNoCase(const std::string& a, const std::string& b)
{
    const auto lower = [](unsigned char c) { return std::tolower(c); };
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (int d = lower(static_cast<unsigned char>(a[i])) - lower(static_cast<unsigned char>(b[i])))
            return d;
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// XDG_DESKTOP_DIR from user-dirs.dirs ("$HOME/Desktop" or an absolute path).
std::string DesktopFromUserDirs(const std::string& text, const std::string& home)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::string key = "XDG_DESKTOP_DIR=";
        if (line.rfind(key, 0) != 0)
            continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        return value;
    }
    return {};
}

std::string DecodeMountField(std::string_view field)
{
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t k) { return k < field.size() && field[k] >= '0' && field[k] <= '7'; };
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            text += static_cast<char>(std::stoi(std::string(field.substr(i + 1, 3)), nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

} // namespace

std::vector<std::string> ParseMountedVolumes(std::string_view table)
{
    static const char* const kNetwork[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p"};
    std::vector<std::string> volumes;
    std::istringstream lines{std::string(table)};
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string device, mountPoint, type;
        if (!(fields >> device >> mountPoint >> type))
            continue;
        const bool network = std::find(std::begin(kNetwork), std::end(kNetwork), type) != std::end(kNetwork);
        if ((device.rfind("/dev/", 0) != 0 && !network) || type == "squashfs")
            continue;
        std::string path = DecodeMountField(mountPoint);
        if (path != "/" && std::find(volumes.begin(), volumes.end(), path) == volumes.end())
            volumes.push_back(std::move(path));
    }
    return volumes;
}

NamespaceSetup NamespaceSetup::FromSystem()
{
    NamespaceSetup setup;
    setup.strHome = win::folders::homeFolder().string();
    const auto& env = win::folders::processEnvironment();
    std::string desktop = env("XDG_DESKTOP_DIR").value_or(std::string());
    if (desktop.empty())
        desktop = DesktopFromUserDirs(ReadFile((win::folders::configHome() / "user-dirs.dirs").string()), setup.strHome);
    setup.strDesktop = desktop.empty() ? Join(setup.strHome, "Desktop") : desktop;
    setup.volumes = ParseMountedVolumes(ReadFile("/proc/self/mounts"));
    setup.strTrash = (win::folders::dataHome() / "Trash").string();
    return setup;
}

ShellFolder::ShellFolder(std::shared_ptr<const NamespaceSetup> setup, std::string path)
    : m_setup(std::move(setup)), m_strPath(std::move(path))
{
}

ShellFolderPtr ShellFolder::Desktop(std::shared_ptr<const NamespaceSetup> setup)
{
    return ShellFolderPtr(new ShellFolder(std::move(setup), {}));
}

std::string ShellFolder::ItemPath(IdItem item) const
{
    const IdKind kind = GetIdKind(item);
    if (!IsDesktop())
        return kind == IdKind::Entry && IsValidEntryName(GetIdText(item)) ? Join(m_strPath, GetIdText(item)) : "";
    switch (kind) {
    case IdKind::Home: return m_setup->strHome;
    case IdKind::DesktopFolder: return m_setup->strDesktop;
    case IdKind::FileSystemRoot: return m_setup->strRoot;
    case IdKind::Volume: return GetIdText(item);
    default: return {};
    }
}

std::string ShellFolder::GetPathOf(const IdList& relative) const
{
    const std::vector<IdItem> items = GetIDLItems(relative);
    if (items.empty())
        return m_strPath;
    std::string path = ItemPath(items.front());
    for (std::size_t i = 1; i < items.size() && !path.empty(); ++i) {
        const std::string name = GetIdText(items[i]);
        path = GetIdKind(items[i]) == IdKind::Entry && IsValidEntryName(name) ? Join(path, name) : "";
    }
    return path;
}

bool ShellFolder::EnumObjects(DWORD dwFlags, std::vector<IdList>& objects) const
{
    objects.clear();
    if (IsDesktop()) {
        if (!(dwFlags & SHCONTF_FOLDERS))
            return true;
        const NamespaceSetup& s = *m_setup;
        if (IsFolder(s.strHome))
            objects.push_back(MakeIdList(IdKind::Home, {}));
        if (IsFolder(s.strDesktop) && !SameFolder(s.strDesktop, s.strHome))
            objects.push_back(MakeIdList(IdKind::DesktopFolder, {}));
        objects.push_back(MakeIdList(IdKind::FileSystemRoot, {}));
        for (const std::string& volume : s.volumes)
            if (IsFolder(volume) && !SameFolder(volume, s.strRoot))
                objects.push_back(MakeIdList(IdKind::Volume, volume));
        return true;
    }
    std::error_code ec;
    fs::directory_iterator it(m_strPath, fs::directory_options::skip_permission_denied, ec);
    if (ec)
        return false;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (IsHiddenName(name) && !(dwFlags & SHCONTF_INCLUDEHIDDEN))
            continue;
        std::error_code dirError;
        const bool folder = it->is_directory(dirError);
        if (folder ? (dwFlags & SHCONTF_FOLDERS) : (dwFlags & SHCONTF_NONFOLDERS))
            objects.push_back(MakeIdList(IdKind::Entry, name));
    }
    // A directory reads in no particular order; the folder's own order makes
    // the enumeration the same every time.
    std::stable_sort(objects.begin(), objects.end(),
                     [this](const IdList& a, const IdList& b) { return CompareIDs(a, b) < 0; });
    return true;
}

std::optional<DWORD> ShellFolder::GetAttributesOf(const IdList& relative) const
{
    const std::string path = GetPathOf(relative);
    if (path.empty() || GetIDLItems(relative).empty() || !Exists(path))
        return std::nullopt;
    const IdList last = GetLastIDLItem(relative);
    const bool place = GetIdKind(GetFirstIdItem(last)) != IdKind::Entry;
    DWORD attributes = SFGAO_FILESYSTEM;
    if (IsFolder(path)) {
        attributes |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
        if (HasSubfolder(path))
            attributes |= SFGAO_HASSUBFOLDER;
    }
    if (place)
        return attributes;
    if (IsHiddenName(GetIdText(GetFirstIdItem(last))))
        attributes |= SFGAO_HIDDEN;
    const std::string parent = fs::path(path).parent_path().string();
    if (::access(parent.c_str(), W_OK) == 0)
        attributes |= SFGAO_CANRENAME | SFGAO_CANDELETE;
    return attributes;
}

std::string ShellFolder::GetDisplayNameOf(const IdList& relative) const
{
    const IdList last = GetLastIDLItem(relative);
    const IdItem item = GetFirstIdItem(last);
    if (item.empty())
        return {};
    const bool single = GetIDLItems(relative).size() == 1;
    switch (GetIdKind(item)) {
    case IdKind::Entry: return GetIdText(item);
    case IdKind::FileSystemRoot: return single && IsDesktop() ? "File System" : "";
    case IdKind::Home:
    case IdKind::DesktopFolder:
    case IdKind::Volume: return single && IsDesktop() ? BaseName(ItemPath(item), "File System") : "";
    }
    return {};
}

int ShellFolder::GetIconOf(const IdList& relative, bool bOpen) const
{
    const IdList last = GetLastIDLItem(relative);
    switch (GetIdKind(GetFirstIdItem(last))) {
    case IdKind::Home: return kIconHome;
    case IdKind::DesktopFolder: return kIconDesktopFolder;
    case IdKind::FileSystemRoot: return kIconRoot;
    case IdKind::Volume: return kIconVolume;
    default: break;
    }
    if (!IsFolder(GetPathOf(relative)))
        return kIconFile;
    return bOpen ? kIconFolderOpen : kIconFolder;
}

ShellFolderPtr ShellFolder::BindToObject(const IdList& relative) const
{
    if (GetIDLItems(relative).empty())
        return ShellFolderPtr(new ShellFolder(m_setup, m_strPath));
    std::string path = GetPathOf(relative);
    if (!IsFolder(path))
        return nullptr;
    return ShellFolderPtr(new ShellFolder(m_setup, std::move(path)));
}

std::optional<IdList> ShellFolder::ParseDisplayName(std::string_view name) const
{
    std::string rest;
    IdList head;
    if (IsDesktop()) {
        if (name.empty() || name.front() != '/')
            return std::nullopt;
        std::string path = fs::path(name).lexically_normal().string();
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        // The most specific place that holds the path.
        std::vector<IdList> places;
        EnumObjects(SHCONTF_FOLDERS, places);
        std::size_t best = 0;
        for (const IdList& place : places) {
            std::string base = GetPathOf(place);
            while (base.size() > 1 && base.back() == '/')
                base.pop_back();
            const bool holds = path == base || (path.rfind(base, 0) == 0 && (base == "/" || path[base.size()] == '/'));
            if (holds && (head.empty() || base.size() > best)) {
                head = place;
                best = base.size();
                rest = path.substr(std::min(path.size(), base.size()));
            }
        }
        if (head.empty())
            return std::nullopt;
    } else {
        rest = std::string(name);
    }
    IdList list = head.empty() ? MakeIdList(std::span<const IdItem>{}) : head;
    std::istringstream parts(rest);
    for (std::string part; std::getline(parts, part, '/');) {
        if (part.empty() || part == ".")
            continue;
        if (!IsValidEntryName(part))
            return std::nullopt;
        list = ConcatenatePIDLs(list, MakeIdList(IdKind::Entry, part));
    }
    if (GetIDLItems(list).empty() || !Exists(GetPathOf(list)))
        return std::nullopt;
    return list;
}

int ShellFolder::CompareIDs(const IdList& a, const IdList& b) const
{
    const IdItem x = GetFirstIdItem(a);
    const IdItem y = GetFirstIdItem(b);
    if (int d = PlaceRank(GetIdKind(x)) - PlaceRank(GetIdKind(y)))
        return d;
    if (GetIdKind(x) == IdKind::Entry) {
        const bool xFolder = IsFolder(GetPathOf(a));
        const bool yFolder = IsFolder(GetPathOf(b));
        if (xFolder != yFolder)
            return xFolder ? -1 : 1;
    }
    const int d = CompareNoCase(GetIdText(x), GetIdText(y));
    return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

std::optional<IdList> ShellFolder::SetNameOf(const IdList& relative, std::string_view name, std::string& strError) const
{
    const std::string from = GetPathOf(relative);
    const IdList last = GetLastIDLItem(relative);
    if (from.empty() || GetIdKind(GetFirstIdItem(last)) != IdKind::Entry) {
        strError = "This object cannot be renamed.";
        return std::nullopt;
    }
    if (!IsValidEntryName(name)) {
        strError = "A name cannot be empty, \".\" or \"..\" or hold \"/\".";
        return std::nullopt;
    }
    const std::string to = Join(fs::path(from).parent_path().string(), name);
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        int error = errno;
        // File systems without the no-replace rename: look first, then rename.
        if ((error == EINVAL || error == ENOSYS) && !Exists(to))
            error = ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
        else if (error == EINVAL || error == ENOSYS)
            error = EEXIST;
        if (error != 0) {
            strError = std::string("Cannot rename: ") +
                       (error == EEXIST ? "an object of that name exists." : std::strerror(error));
            return std::nullopt;
        }
    }
    return ConcatenatePIDLs(GetParentIDL(relative), MakeIdList(IdKind::Entry, name));
}

ShellOpener* InstallShellOpener(ShellOpener* opener) { return g_opener.exchange(opener); }

bool ShellOpenPath(const std::string& strPath)
{
    ShellOpener* opener = g_opener.load();
    return opener && opener->Open(strPath);
}

} // namespace shell
