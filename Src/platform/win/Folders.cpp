#include "platform/win/Folders.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace win::folders {

namespace fs = std::filesystem;

const EnvLookup& processEnvironment()
{
    static const EnvLookup lookup = [](std::string_view name) -> std::optional<std::string> {
        const char* value = std::getenv(std::string(name).c_str());
        if (!value)
            return std::nullopt;
        return std::string(value);
    };
    return lookup;
}

namespace {
// XDG: a variable that is unset, empty or not absolute counts as unset.
std::optional<fs::path> absoluteVar(const EnvLookup& env, std::string_view name)
{
    auto value = env(name);
    if (!value || value->empty() || (*value)[0] != '/')
        return std::nullopt;
    return fs::path(*value);
}
} // namespace

fs::path homeFolder(const EnvLookup& env)
{
    if (auto home = absoluteVar(env, "HOME"))
        return *home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/')
        return fs::path(entry->pw_dir);
    return fs::path("/tmp");
}

fs::path configHome(const EnvLookup& env)
{
    if (auto dir = absoluteVar(env, "XDG_CONFIG_HOME"))
        return *dir;
    return homeFolder(env) / ".config";
}

fs::path dataHome(const EnvLookup& env)
{
    if (auto dir = absoluteVar(env, "XDG_DATA_HOME"))
        return *dir;
    return homeFolder(env) / ".local" / "share";
}

fs::path runtimeHome(const EnvLookup& env)
{
    if (auto dir = absoluteVar(env, "XDG_RUNTIME_DIR"))
        return *dir;
    return fs::path("/tmp") / ("tessaro-" + std::to_string(::getuid()));
}

fs::path dataFolder(const EnvLookup& env)
{
    if (auto dir = absoluteVar(env, "TESSARO_DATA"))
        return *dir;
    return dataHome(env) / "tessaro";
}

fs::path configFolder(const EnvLookup& env)
{
    return configHome(env) / "tessaro";
}

fs::path runtimeFolder(const EnvLookup& env)
{
    return runtimeHome(env) / "tessaro";
}

bool createFolders(const fs::path& path, fs::perms perms, std::error_code* error)
{
    std::error_code ec;
    if (path.empty()) {
        ec = std::make_error_code(std::errc::invalid_argument);
    } else if (!fs::is_directory(path, ec)) {
        ec.clear();
        fs::path partial;
        for (const auto& part : path) {
            partial /= part;
            if (fs::is_directory(partial, ec))
                continue;
            ec.clear();
            if (::mkdir(partial.c_str(), static_cast<mode_t>(perms)) != 0 && errno != EEXIST) {
                ec = std::error_code(errno, std::generic_category());
                break;
            }
            if (!fs::is_directory(partial, ec)) {
                if (!ec)
                    ec = std::make_error_code(std::errc::not_a_directory);
                break;
            }
        }
    }
    if (error)
        *error = ec;
    return !ec;
}

bool ensurePrivateFolder(const fs::path& path, std::error_code* error)
{
    std::error_code ec;
    if (createFolders(path, fs::perms::owner_all, &ec)) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0)
            ec = std::error_code(errno, std::generic_category());
        else if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
            ec = std::make_error_code(std::errc::permission_denied);
        else if ((info.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0)
            ec = std::error_code(errno, std::generic_category());
    }
    if (error)
        *error = ec;
    return !ec;
}

} // namespace win::folders
