#pragma once
// The five most recently used document files, kept in the program's profile section
// "Quillet" as "File1".."File5". While the list is empty its first entry is the
// placeholder text, which is never stored.
#include <array>
#include <string>
#include <string_view>

namespace registry { class Profile; }

class CRecentFileList {
public:
    static constexpr std::size_t kSize = 5;
    // Characters a menu entry shows of a path.
    static constexpr std::size_t kDisplayLength = 30;

    // The path as its menu entry shows it: whole when it fits; else its last folders and
    // name after "/..." (as many as fit); else only the name.
    static std::string DisplayName(std::string_view path, std::size_t maxChars = kDisplayLength);

    CRecentFileList(registry::Profile& profile, std::string placeholder);

    // Reads the stored entries; an empty list shows the placeholder.
    void ReadList();
    // Stores the list, unless it holds only the placeholder.
    void WriteList() const;
    // Moves path to the front (a stored path comes first again), dropping the last.
    void Add(const std::string& path);
    // Drops the placeholder when it stands first.
    void RemovePlaceholder();
    bool HoldsPlaceholder() const;

    // What entry i shows: the placeholder as it is, else the display name of its path;
    // empty for an unused entry.
    std::string EntryText(std::size_t i) const;
    // Entry i's menu text: "&1 " and on (the number its key), then its entry text,
    // whose ampersands show as such. The placeholder shows as it is; an unused entry
    // has none (the menu hides it).
    std::string MenuText(std::size_t i) const;

    const std::string& operator[](std::size_t i) const { return m_entries[i]; }

private:
    registry::Profile& m_profile;
    std::string m_placeholder;
    std::array<std::string, kSize> m_entries;
};
