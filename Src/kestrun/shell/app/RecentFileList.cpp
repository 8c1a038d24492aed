#include "kestrun/shell/app/RecentFileList.h"

#include <algorithm>

#include "platform/registry/Profile.h"

namespace shell {

namespace {
constexpr const char* kSection = "Recent File List";
std::string EntryName(int n) { return "File" + std::to_string(n); }
} // namespace

RecentFileList::RecentFileList(int nSize) : m_nSize(std::max(nSize, 0)) {}

void RecentFileList::ReadList(const registry::Profile& profile)
{
    m_files.clear();
    for (int n = 1; n <= m_nSize; ++n) {
        std::string path = profile.GetProfileString(kSection, EntryName(n));
        if (!path.empty())
            m_files.push_back(std::move(path));
    }
}

void RecentFileList::Add(const std::string& strPath)
{
    if (strPath.empty() || m_nSize == 0)
        return;
    std::erase(m_files, strPath);
    m_files.insert(m_files.begin(), strPath);
    if (m_files.size() > static_cast<std::size_t>(m_nSize))
        m_files.resize(static_cast<std::size_t>(m_nSize));
}

bool RecentFileList::WriteList(registry::Profile& profile) const
{
    bool stored = true;
    for (int n = 1; n <= m_nSize; ++n) {
        const std::size_t i = static_cast<std::size_t>(n - 1);
        stored = profile.WriteProfileString(kSection, EntryName(n), i < m_files.size() ? m_files[i] : "") && stored;
    }
    return stored;
}

} // namespace shell
