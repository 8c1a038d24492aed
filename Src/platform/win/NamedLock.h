#pragma once
// Named mutex stand-in: a lock file held with flock. The lock belongs to the
// open file, so it is released when the holder closes it or its process dies;
// the file is opened close-on-exec, so a started program never inherits it.
#include "platform/win/Event.h"
#include "platform/win/WinTypes.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace win {

class NamedLock {
public:
    // The file name for a mutex name such as "Global\\Tessaro": letters,
    // digits and "-_{}" stay, every other byte (and a leading dot) becomes
    // %XX, so distinct names never share a file and no name leaves the folder.
    static std::string fileNameFor(std::string_view name);
    // Where lock files live: "locks" under the runtime folder.
    static std::filesystem::path defaultFolder();

    explicit NamedLock(std::string name, std::filesystem::path folder = defaultFolder());
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    const std::string& name() const { return m_name; }
    const std::filesystem::path& path() const { return m_path; }

    // Creates the folder and opens the file; false (see lastError) on failure,
    // also when the folder is a link, belongs to another user or is writable
    // by everyone.
    // The lock methods open on demand.
    bool open();
    bool isOpen() const { return m_fd >= 0; }

    // A lock taken is always on the file the name leads to now: a holder may
    // remove the file as it lets go, and a lock won on the removed file is
    // taken again on the new one.
    bool tryLock();
    // Waits up to timeoutMs (INFINITE waits for good) for the holder to let go.
    bool lock(DWORD timeoutMs);
    void unlock();
    // Removes the lock file, then lets go: nothing is left behind. Only while
    // held; otherwise the same as unlock.
    void unlockAndRemove();
    bool isLocked() const { return m_locked; }

    // errno of the last failure to open or lock.
    int lastError() const { return m_lastError; }

private:
    // Takes the lock with the flock operation on the file the name leads to
    // now; false (see lastError) when flock refuses.
    bool take(int operation);
    // Whether the open file is still the one at the path.
    bool isCurrentFile() const;
    void closeFile();

    std::string m_name;
    std::filesystem::path m_path;
    int m_fd = -1;
    bool m_locked = false;
    int m_lastError = 0;
};

} // namespace win
