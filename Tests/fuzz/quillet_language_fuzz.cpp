// A language file of the test client, read and applied over the built-in texts, then
// each replaced text used the way the windows use it, with its "%s" filled in.
#include <cstdint>
#include <map>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "quillet/text/LanguageFile.h"
#include "quillet/text/StringTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto file = quillet::ParseLanguageFile(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!file)
        return 0;
    quillet::StringTable texts;
    quillet::ApplyLanguage(*file, texts);
    // A text given twice is the later one.
    std::map<UINT, std::string_view> strings, menus;
    for (const auto& [id, text] : file->strings)
        strings[id] = text;
    for (const auto& [id, text] : file->menus)
        menus[id] = text;
    for (const auto& [id, text] : strings) {
        FUZZ_CHECK(texts.Text(id) == text);
        quillet::FormatText(texts.Text(id), "%s%n");
    }
    for (const auto& [id, text] : menus)
        FUZZ_CHECK(texts.MenuText(id) == text);
    return 0;
}
