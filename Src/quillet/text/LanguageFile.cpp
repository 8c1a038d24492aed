#include "quillet/text/LanguageFile.h"

#include "quillet/text/StringTable.h"
#include "quillet/text/TextFile.h"

#include "platform/registry/Registry.h"

#include <array>
#include <charconv>

namespace quillet {
namespace {

struct Language {
    WORD primary;
    std::string_view code;  // POSIX
    std::string_view abbreviation;
};
constexpr std::array<Language, 6> kLanguages = {{
    {0x04, "zh", "CHT"},
    {0x07, "de", "DEU"},
    {0x09, "en", "ENU"},
    {0x0C, "fr", "FRA"},
    {0x11, "ja", "JPN"},
    {0x12, "ko", "KOR"},
}};

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::optional<UINT> Number(std::string_view s)
{
    UINT n = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return n;
}

std::string Unescape(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c;
    }
    return out;
}

} // namespace

std::optional<LanguageFile> ParseLanguageFile(std::string_view text)
{
    LanguageFile file;
    bool versioned = false;
    enum { kNone, kStrings, kMenus, kControls } section = kNone;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == '#') continue;
        if (trimmed == "[strings]") section = kStrings;
        else if (trimmed == "[menus]") section = kMenus;
        else if (trimmed == "[controls]") section = kControls;
        if (trimmed.front() == '[') continue;
        if (trimmed.starts_with("version ")) {
            const std::string_view v = Trim(trimmed.substr(8));
            const std::size_t dot = v.find('.');
            auto major = Number(v.substr(0, dot));
            auto minor = dot == std::string_view::npos ? std::nullopt : Number(v.substr(dot + 1));
            if (major && minor) {
                file.major = *major;
                file.minor = *minor;
                versioned = true;
            }
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = Trim(line.substr(0, eq));
        std::string_view value = line.substr(eq + 1);
        if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        if (section == kControls) {
            const std::size_t dot = key.find('.');
            auto dialog = Number(key.substr(0, dot));
            auto control = dot == std::string_view::npos ? std::nullopt : Number(key.substr(dot + 1));
            if (dialog && control) file.controls.emplace_back(*dialog, *control, Unescape(value));
        } else if (auto id = Number(key); id && section != kNone) {
            (section == kStrings ? file.strings : file.menus).emplace_back(*id, Unescape(value));
        }
    }
    if (!versioned) return std::nullopt;
    return file;
}

void ApplyLanguage(const LanguageFile& file, StringTable& texts)
{
    for (const auto& [id, text] : file.strings) texts.Replace(id, text);
    for (const auto& [id, text] : file.menus) texts.ReplaceMenuText(id, text);
    for (const auto& [dialog, control, text] : file.controls) texts.ReplaceControlText(dialog, control, text);
}

std::string LanguageAbbreviation(LCID lcid)
{
    for (const Language& l : kLanguages)
        if (l.primary == (lcid & 0x3FF)) return std::string(l.abbreviation);
    return {};
}

LCID LocaleOfName(std::string_view name)
{
    const std::string_view code = name.substr(0, name.find_first_of("_.@"));
    for (const Language& l : kLanguages)
        if (l.code == code) return LCID(0x0400 | l.primary);  // the default sublanguage
    return 0;
}

std::filesystem::path LanguageFilePath(const registry::Registry& reg, const std::filesystem::path& programDir,
                                       std::string_view localeName)
{
    DWORD locale = 0;
    if (reg.QueryDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\AMBERSEL SOFTWARE\\Vexlan\\SystemLocale", "Locale", locale) !=
            registry::Status::Ok ||
        locale == 0)
        locale = LocaleOfName(localeName);
    const std::string abbreviation = LanguageAbbreviation(locale);
    if (abbreviation.empty()) return {};
    std::string base;
    if (reg.QueryString(HKEY_LOCAL_MACHINE, "Software\\Ambersel Software\\Vexlan\\Installation Path", "Path", base) !=
            registry::Status::Ok ||
        base.empty())
        base = programDir.string();
    return std::filesystem::path(base) / abbreviation / "quillet.lng";
}

bool LoadLanguage(StringTable& texts, const registry::Registry& reg, const std::filesystem::path& programDir,
                  std::string_view localeName, unsigned major, unsigned minor)
{
    const std::filesystem::path path = LanguageFilePath(reg, programDir, localeName);
    if (path.empty()) return false;
    auto text = ReadTextFile(path.string());
    if (!text) return false;
    auto file = ParseLanguageFile(*text);
    if (!file || file->major != major || file->minor != minor) return false;
    ApplyLanguage(*file, texts);
    return true;
}

} // namespace quillet
