#pragma once
// Language files: text files of our own that replace the built-in English texts. One
// is looked for at start-up in "<base>/<LNG>/quillet.lng", where LNG is the three-
// letter abbreviation of the user's language (KOR for Korean) and base the
// installation path in the registry or the program's folder. A file whose major or
// minor version differs from the program's is not used.
//
// Format: "version <major>.<minor>", then sections "[strings]", "[menus]" and
// "[controls]" with lines "<id> = <text>" ("<dialog>.<control> = <text>" for
// controls). One blank after "=" is dropped; "\t", "\n" and "\\" stand for a tab, a
// line end and a backslash. Blank lines and lines beginning with "#" are skipped.
#include "platform/opc/OpcTypes.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace registry { class Registry; }

namespace quillet {

class StringTable;

struct LanguageFile {
    unsigned major = 0;
    unsigned minor = 0;
    std::vector<std::pair<UINT, std::string>> strings;
    std::vector<std::pair<UINT, std::string>> menus;
    std::vector<std::tuple<UINT, UINT, std::string>> controls;
};

// Nothing without a version line; lines that do not parse are skipped.
std::optional<LanguageFile> ParseLanguageFile(std::string_view text);
void ApplyLanguage(const LanguageFile& file, StringTable& texts);

// The abbreviation of a locale id's primary language ("KOR"); empty for a language
// without one.
std::string LanguageAbbreviation(LCID lcid);
// The locale id of a POSIX locale name ("ko_KR.UTF-8"); 0 when unknown.
LCID LocaleOfName(std::string_view name);

// Where the language file of the user's language lies: the locale the registry sets,
// else the one named (the environment's); empty when the language has none.
std::filesystem::path LanguageFilePath(const registry::Registry& reg, const std::filesystem::path& programDir,
                                       std::string_view localeName);

// Finds, checks and applies the language file; true when one was applied. Any
// failure leaves the built-in texts.
bool LoadLanguage(StringTable& texts, const registry::Registry& reg, const std::filesystem::path& programDir,
                  std::string_view localeName, unsigned major, unsigned minor);

} // namespace quillet
