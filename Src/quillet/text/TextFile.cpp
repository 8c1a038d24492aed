#include "quillet/text/TextFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

#include "platform/win/RegularFile.h"

namespace quillet {

std::optional<std::string> ReadTextFile(const std::string& path, std::string* why)
{
    // Only a regular file of a sane size: a named pipe would wait for a writer
    // for ever, and /dev/zero would be read until memory runs out.
    const win::RegularFile file = win::OpenRegularFile(path, O_RDONLY);
    if (file.fd < 0) {
        if (why) *why = file.reason;
        return std::nullopt;
    }
    std::string text;
    text.reserve(std::size_t(file.size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            char message[128];
            if (why) *why = ::strerror_r(errno, message, sizeof message);
            ::close(file.fd);
            return std::nullopt;
        }
        if (n == 0) break;
        // A file that keeps growing is cut off where a sane one ends.
        if (text.size() + std::size_t(n) > win::kMaxDocumentBytes) {
            if (why) *why = "too large (more than " + std::to_string(win::kMaxDocumentBytes) + " bytes)";
            ::close(file.fd);
            return std::nullopt;
        }
        text.append(buffer, std::size_t(n));
    }
    ::close(file.fd);
    return text;
}

std::error_code ReplaceTextFile(const std::string& path, const std::string& text)
{
    // A new name beside the file, made with the usual permissions (the umask's).
    static std::atomic<unsigned> serial{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = path + "." + std::to_string(::getpid()) + "-" + std::to_string(serial++) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return {errno, std::generic_category()};
    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        return std::error_code(error, std::generic_category());
    };
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(n < 0 ? errno : EIO);
        done += std::size_t(n);
    }
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return {error, std::generic_category()};
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return {error, std::generic_category()};
    }
    return {};
}

} // namespace quillet
