#include "quillet/views/RecentFileList.h"

#include "platform/registry/Profile.h"

#include <algorithm>

namespace {
constexpr std::string_view kSection = "Quillet";
std::string EntryName(std::size_t i) { return "File" + std::to_string(i + 1); }
// Characters of UTF-8 text: the bytes that start one.
std::size_t Chars(std::string_view text)
{
    return std::size_t(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}
} // namespace

std::string CRecentFileList::DisplayName(std::string_view path, std::size_t maxChars)
{
    if (Chars(path) <= maxChars) return std::string(path);
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::string_view dots = path.front() == '/' ? "/..." : "...";
    // "/.../" and the name must fit, or the name stands alone.
    if (slash == std::string_view::npos || maxChars < dots.size() + 1 + Chars(name)) return std::string(name);
    std::size_t from = path.find('/');
    while (dots.size() + Chars(path.substr(from)) > maxChars) from = path.find('/', from + 1);
    return std::string(dots) + std::string(path.substr(from));
}

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

std::string CRecentFileList::EntryText(std::size_t i) const
{
    if (i >= kSize) return {};
    if (HoldsPlaceholder()) return m_entries[i];
    return DisplayName(m_entries[i]);
}

std::string CRecentFileList::MenuText(std::size_t i) const
{
    if (i >= kSize) return {};
    if (HoldsPlaceholder()) return m_entries[i];
    if (m_entries[i].empty()) return {};
    std::string text = "&" + std::to_string(i + 1) + " ";
    for (char c : EntryText(i)) {
        if (c == '&') text += '&';
        text += c;
    }
    return text;
}
