#include "quillet/RecentFileList.h"

#include "platform/registry/Profile.h"

#include <algorithm>

namespace {
constexpr std::string_view kSection = "Quillet";
std::string EntryName(std::size_t i) { return "File" + std::to_string(i + 1); }
} // namespace

CRecentFileList::CRecentFileList(registry::Profile& profile, std::string placeholder)
    : m_profile(profile), m_placeholder(std::move(placeholder))
{
}

void CRecentFileList::ReadList()
{
    for (std::size_t i = 0; i < kSize; ++i) m_entries[i] = m_profile.GetProfileString(kSection, EntryName(i));
    if (m_entries[0].empty()) m_entries[0] = m_placeholder;
}

bool CRecentFileList::HoldsPlaceholder() const
{
    return m_entries[0].find(m_placeholder) != std::string::npos;
}

void CRecentFileList::WriteList() const
{
    if (HoldsPlaceholder()) return;
    for (std::size_t i = 0; i < kSize; ++i) m_profile.WriteProfileString(kSection, EntryName(i), m_entries[i]);
}

void CRecentFileList::Add(const std::string& path)
{
    auto at = std::find(m_entries.begin(), m_entries.end(), path);
    if (at == m_entries.end()) at = m_entries.end() - 1;
    std::rotate(m_entries.begin(), at, at + 1);
    m_entries[0] = path;
}

void CRecentFileList::RemovePlaceholder()
{
    if (!HoldsPlaceholder()) return;
    std::rotate(m_entries.begin(), m_entries.begin() + 1, m_entries.end());
    m_entries.back().clear();
}
