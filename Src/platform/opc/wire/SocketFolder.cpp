#include "platform/opc/wire/SocketFolder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace opc {
namespace {

std::string octal(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", unsigned(mode & 07777));
    return text;
}

// Checks one part of the path; last: the socket folder itself.
bool trusted(const std::filesystem::path& part, const struct stat& st, bool last, std::string& error)
{
    const uid_t self = ::geteuid();
    const std::string name = part.string();
    if (!S_ISDIR(st.st_mode)) {
        error = "The socket folder path " + name + " is not a folder.";
        return false;
    }
    if (st.st_uid != self && (last || st.st_uid != 0)) {
        error = "The socket folder " + name + " belongs to another user (uid " + std::to_string(st.st_uid) + ").";
        return false;
    }
    const bool openToOthers = last ? (st.st_mode & 077) != 0 : (st.st_mode & 022) != 0 && !(st.st_mode & S_ISVTX);
    if (openToOthers) {
        error = "The socket folder " + name + " is open to other users (mode " + octal(st.st_mode) + ").";
        return false;
    }
    return true;
}

} // namespace

std::filesystem::path socketFolder()
{
    if (const char* rt = std::getenv("XDG_RUNTIME_DIR"); rt && *rt)
        return std::filesystem::path(rt) / "tessaro" / "opc";
    return std::filesystem::path("/tmp") / ("tessaro-" + std::to_string(::getuid())) / "opc";
}

std::filesystem::path socketPath(const std::filesystem::path& folder, const CLSID& clsid)
{
    return folder / (com::formatGuid(clsid) + ".sock");
}

bool prepareSocketFolder(const std::filesystem::path& folder, std::string& error)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(folder, ec).lexically_normal();
    if (ec || full.empty()) {
        error = "The socket folder " + folder.string() + " cannot be found.";
        return false;
    }
    std::filesystem::path part = full.root_path();
    const std::filesystem::path relative = full.relative_path();
    std::size_t left = std::distance(relative.begin(), relative.end());
    for (const auto& name : relative) {
        if (name.empty()) {
            --left;
            continue;
        }
        part /= name;
        const bool last = --left == 0;
        struct stat st{};
        // lstat: a link of another user could lead anywhere that user chose.
        if (::lstat(part.c_str(), &st) != 0) {
            if (errno != ENOENT || (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) ||
                ::lstat(part.c_str(), &st) != 0) {
                error = "The socket folder " + part.string() + " cannot be made: " + std::strerror(errno) + ".";
                return false;
            }
        }
        // A link only this user or root could have made is followed; the folder it
        // leads to is checked like any other.
        if (S_ISLNK(st.st_mode) && (st.st_uid == ::geteuid() || st.st_uid == 0) && ::stat(part.c_str(), &st) != 0) {
            error = "The socket folder " + part.string() + " leads nowhere: " + std::strerror(errno) + ".";
            return false;
        }
        if (!trusted(part, st, last, error)) return false;
    }
    return true;
}

} // namespace opc
