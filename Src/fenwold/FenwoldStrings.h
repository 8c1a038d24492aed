#pragma once
// The program's texts in English and Korean: each command's menu text (with
// its "&" mnemonic and, after a tab, its shortcut) and its prompt (the status
// text, then after "\n" the tool tip). The language comes from the locale.
#include <string>

#include "platform/win/WinTypes.h"

namespace fenwold {

enum class Language { English, Korean };

// The first of LC_ALL, LC_MESSAGES and LANG that is set and not empty names
// the language: "ko" (as in "ko_KR.UTF-8") is Korean, anything else English.
Language LanguageFromLocale(const char* pszLcAll, const char* pszLcMessages, const char* pszLang);
Language LanguageOfEnvironment();

// The text of the command, or the English one when the language has none; an
// empty text when neither has one.
std::string MenuText(Language language, UINT nId);
std::string PromptText(Language language, UINT nId);

} // namespace fenwold
