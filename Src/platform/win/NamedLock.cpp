#include "platform/win/NamedLock.h"

#include "platform/win/Folders.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace win {

namespace {
// flock has no time-out; a waiting lock looks again this often.
constexpr auto kRetry = std::chrono::milliseconds(5);
// Leaves room under NAME_MAX for the suffix.
constexpr std::size_t kMaxEncoded = 200;

std::uint64_t fnv1a(std::string_view text)
{
    std::uint64_t hash = 14695981039346656037ULL;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return hash;
}
} // namespace

std::string NamedLock::fileNameFor(std::string_view name)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size() + 8);
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '_' || c == '{' || c == '}' || (c == '.' && i > 0);
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    if (out.size() > kMaxEncoded) {
        // Long names keep a readable head and a hash of the whole name.
        char tail[20];
        std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(fnv1a(name)));
        out.resize(kMaxEncoded - 17);
        out += tail;
    }
    return out + ".lock";
}

std::filesystem::path NamedLock::defaultFolder()
{
    return folders::runtimeFolder() / "locks";
}

NamedLock::NamedLock(std::string name, std::filesystem::path folder)
    : m_name(std::move(name)), m_path(std::move(folder) / fileNameFor(m_name))
{
}

NamedLock::~NamedLock()
{
    closeFile(); // also lets go of the lock
}

bool NamedLock::open()
{
    if (m_fd >= 0)
        return true;
    std::error_code error;
    if (!folders::createFolders(m_path.parent_path(), std::filesystem::perms::owner_all, &error)) {
        m_lastError = error.value() ? error.value() : ENOTDIR;
        return false;
    }
    // The fallback folder sits under /tmp: refuse one that another user made,
    // or a link, so nobody else can hold or swap our locks.
    struct stat folder {};
    if (::lstat(m_path.parent_path().c_str(), &folder) != 0) {
        m_lastError = errno;
        return false;
    }
    if (!S_ISDIR(folder.st_mode) || folder.st_uid != ::geteuid() || (folder.st_mode & S_IWOTH) != 0) {
        m_lastError = EPERM;
        return false;
    }
    const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        m_lastError = errno;
        return false;
    }
    m_fd = fd;
    return true;
}

bool NamedLock::isCurrentFile() const
{
    struct stat open {}, named {};
    return ::fstat(m_fd, &open) == 0 && ::stat(m_path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

void NamedLock::closeFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool NamedLock::take(int operation)
{
    for (;;) {
        if (!open())
            return false;
        if (::flock(m_fd, operation) != 0) {
            if (errno == EINTR)
                continue;
            m_lastError = errno;
            return false;
        }
        if (isCurrentFile()) {
            m_locked = true;
            return true;
        }
        closeFile(); // its holder removed it as it let go
    }
}

bool NamedLock::tryLock() { return m_locked || take(LOCK_EX | LOCK_NB); }

bool NamedLock::lock(DWORD timeoutMs)
{
    if (m_locked)
        return true;
    if (timeoutMs == INFINITE)
        return take(LOCK_EX);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (tryLock())
            return true;
        if (m_lastError != EWOULDBLOCK)
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kRetry, deadline - now));
    }
}

void NamedLock::unlock()
{
    if (!m_locked)
        return;
    ::flock(m_fd, LOCK_UN);
    m_locked = false;
}

void NamedLock::unlockAndRemove()
{
    if (!m_locked)
        return;
    // Removed while still held: whoever opened the old file finds it gone
    // once it wins the lock, and takes the lock on a new file.
    ::unlink(m_path.c_str());
    unlock();
    closeFile();
}

} // namespace win
