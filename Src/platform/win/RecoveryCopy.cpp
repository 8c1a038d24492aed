#include "platform/win/RecoveryCopy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/win/Folders.h"

namespace win {

namespace {

std::string SafeName(std::string_view name)
{
    std::string safe;
    for (const char ch : name)
        safe.push_back(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F || ch == '/' || ch == '\\' ? '_' : ch);
    return safe.empty() || safe == "." || safe == ".." ? "Untitled" : safe;
}

} // namespace

std::filesystem::path CreateRecoveryFile(const std::filesystem::path& folder, std::string_view documentName,
                                         std::string_view extension, std::chrono::system_clock::time_point now,
                                         std::string& error)
{
    if (folder.empty()) {
        error = "no data folder";
        return {};
    }
    const std::filesystem::path dir = folder / "recovery";
    std::error_code made;
    if (!folders::ensurePrivateFolder(dir, &made)) {
        error = dir.string() + ": " + made.message();
        return {};
    }
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    const std::string base = SafeName(documentName) + "-" + stamp;
    const std::string ext = extension.empty() ? std::string() : SafeName(extension);
    for (int n = 1; n < 1000; ++n) {
        const std::filesystem::path path = dir / (base + (n > 1 ? "-" + std::to_string(n) : std::string()) + ext);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) {
            error = path.string() + ": " + std::strerror(errno);
            return {};
        }
    }
    error = dir.string() + ": too many recovery copies of " + base;
    return {};
}

} // namespace win
