#include "kestrun/shell/desktop/Trash.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/win/Folders.h"

namespace fs = std::filesystem;

namespace shell {

namespace {

// The highest folder above the path that is still on its file system.
std::string TopDirectory(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return {};
    fs::path top = fs::path(path).parent_path();
    for (fs::path up = top.parent_path(); up != top; up = top.parent_path()) {
        struct stat upInfo {};
        if (::stat(up.c_str(), &upInfo) != 0 || upInfo.st_dev != info.st_dev)
            break;
        top = up;
    }
    return top.string();
}

std::string DeletionDate(std::chrono::system_clock::time_point now)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    ::localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// Reserves a free name in the trash by creating its record; the record's
// path, or empty (errno set).
std::string ReserveRecord(const fs::path& trash, const std::string& name, const std::string& record, std::string& slot)
{
    for (int n = 1; n < 10000; ++n) {
        slot = n == 1 ? name : name + "." + std::to_string(n);
        const fs::path info = trash / "info" / (slot + ".trashinfo");
        const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return {};
        }
        std::error_code ec;
        const bool written = ::write(fd, record.data(), record.size()) == static_cast<ssize_t>(record.size());
        const bool closed = ::close(fd) == 0;
        if (written && closed && !fs::exists(trash / "files" / slot, ec))
            return info.string();
        ::unlink(info.c_str());
        if (!written || !closed)
            return {};
    }
    errno = EEXIST;
    return {};
}

// Moves the object into one trash folder; errno tells why not.
bool MoveInto(const fs::path& trash, const std::string& path, std::chrono::system_clock::time_point now)
{
    std::error_code ec;
    if (!win::folders::ensurePrivateFolder(trash / "files", &ec) || !win::folders::ensurePrivateFolder(trash / "info", &ec)) {
        errno = ec ? ec.value() : EACCES;
        return false;
    }
    const std::string record =
        "[Trash Info]\nPath=" + TrashInfoPath(path) + "\nDeletionDate=" + DeletionDate(now) + "\n";
    std::string slot;
    const std::string info = ReserveRecord(trash, fs::path(path).filename().string(), record, slot);
    if (info.empty())
        return false;
    if (::rename(path.c_str(), (trash / "files" / slot).c_str()) == 0)
        return true;
    const int error = errno;
    ::unlink(info.c_str());
    errno = error;
    return false;
}

} // namespace

std::string TrashInfoPath(const std::string& strPath)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : strPath) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            text += static_cast<char>(c);
        } else {
            text += '%';
            text += kHex[c >> 4];
            text += kHex[c & 0xF];
        }
    }
    return text;
}

bool MoveToTrash(const std::string& strPath, const std::string& strTrashFolder, std::string& strError,
                 std::chrono::system_clock::time_point now)
{
    const std::string path = fs::absolute(strPath).lexically_normal().string();
    std::error_code ec;
    if (strPath.empty() || !fs::exists(fs::symlink_status(path, ec))) {
        strError = "Cannot move " + strPath + " to the trash: it does not exist.";
        return false;
    }
    if (!strTrashFolder.empty() && MoveInto(strTrashFolder, path, now))
        return true;
    int error = errno;
    // Across file systems the object goes to its own file system's trash.
    if (error == EXDEV || strTrashFolder.empty()) {
        const std::string top = TopDirectory(path);
        if (!top.empty() && MoveInto(fs::path(top) / (".Trash-" + std::to_string(::getuid())), path, now))
            return true;
        error = errno;
    }
    strError = "Cannot move " + strPath + " to the trash: " + std::strerror(error);
    return false;
}

} // namespace shell
