#pragma once
// The most recently used files, newest first, kept in the profile section
// "Recent File List" as "File1" to "File<n>".
#include <string>
#include <vector>

namespace registry {
class Profile;
}

namespace shell {

class RecentFileList {
public:
    explicit RecentFileList(int nSize);

    void ReadList(const registry::Profile& profile);
    // Moves or enters the path at the front; the oldest falls off.
    void Add(const std::string& strPath);
    bool WriteList(registry::Profile& profile) const;

    const std::vector<std::string>& GetFiles() const { return m_files; }
    int GetSize() const { return m_nSize; }

private:
    int m_nSize;
    std::vector<std::string> m_files;
};

} // namespace shell
