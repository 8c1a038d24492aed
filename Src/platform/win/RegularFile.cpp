#include "platform/win/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace win {

namespace {

std::string Number(std::uint64_t value)
{
    char digits[24];
    return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

const char* KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder, not a file";
    if (S_ISFIFO(mode))
        return "a named pipe, not a file";
    if (S_ISSOCK(mode))
        return "a socket, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device, not a file";
    return "not a regular file";
}

} // namespace

RegularFile OpenRegularFile(const std::string& path, int flags, std::uint64_t maxBytes, bool allowEmpty)
{
    RegularFile file;
    // O_NONBLOCK: a named pipe opens at once instead of waiting for its other end.
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        file.error = errno;
        char buffer[128];
        file.reason = ::strerror_r(file.error, buffer, sizeof buffer);
        return file;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        file.error = errno;
        char buffer[128];
        file.reason = ::strerror_r(file.error, buffer, sizeof buffer);
    } else if (!S_ISREG(st.st_mode)) {
        file.reason = KindOf(st.st_mode);
    } else if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        file.reason = "too large (" + Number(static_cast<std::uint64_t>(st.st_size)) + " bytes, at most " +
                      Number(maxBytes) + ")";
    } else if (st.st_size == 0 && !allowEmpty) {
        file.reason = "empty";
    }
    if (!file.reason.empty()) {
        ::close(fd);
        return file;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.fd = fd;
    file.size = static_cast<std::uint64_t>(st.st_size);
    return file;
}

} // namespace win
