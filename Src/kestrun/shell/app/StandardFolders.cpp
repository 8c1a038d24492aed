#include "kestrun/shell/app/StandardFolders.h"

#include <dlfcn.h>

#include <filesystem>

#include "kestrun/shell/app/PathText.h"
#include "kestrun/shell/app/Security.h"
#include "kestrun/shell/app/Version.h"
#include "platform/win/Folders.h"

std::string GetProgramPath()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

std::string GetInstallFolder()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&GetInstallFolder), &info) == 0 || !info.dli_fname)
        return {};
    std::string path = info.dli_fname;
    if (path.empty() || path.front() != '/' || !GetParentDir(path) || !GetParentDir(path))
        return {};
    return path;
}

std::string GetDataFolder(int create)
{
    const std::string folder = JoinFolder(win::folders::dataFolder().string(), "Tessaro " + GetVersionString(1));
    if (create && !folder.empty())
        CreateFolders(folder);
    return folder;
}

std::string GetConfigFolder(int useData) { return JoinFolder(useData ? GetDataFolder(1) : GetInstallFolder(), "config"); }

std::string GetDefaultLogFolder() { return JoinFolder(GetDataFolder(1), "log"); }

std::string JoinFolder(const std::string& base, const std::string& name)
{
    if (base.empty())
        return {};
    std::string path = base;
    AddTrailDirChar(path, 1);
    return path + name;
}

bool CreateFolders(const std::string& path)
{
    return !path.empty() && win::folders::createFolders(path, std::filesystem::perms(GetDefaultSecurity().folderMode));
}
