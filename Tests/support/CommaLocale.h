#pragma once
// A comma-decimal locale for tests of numbers in text: de_DE.UTF-8 compiled with
// localedef into a scratch folder that LOCPATH names, so the test does not depend
// on the locales the machine has generated. Empty name when it cannot be made.
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/ScratchFolder.h"
#include "support/ServerProcess.h"

namespace testsupport {

class CommaLocale {
public:
    static constexpr const char* kName = "de_DE.UTF-8";

    CommaLocale()
    {
        testsupport::ServerProcess localedef("/usr/bin/localedef", true);
        const std::string target = (m_folder.path() / kName).string();
        if (!localedef.Start({"-i", "de_DE", "-f", "UTF-8", target}, {}) || localedef.Wait(60000) > 1 ||
            !std::filesystem::exists(target))
            return;
        ::setenv("LOCPATH", m_folder.path().c_str(), 1);
        m_ok = true;
    }
    ~CommaLocale()
    {
        if (m_ok)
            ::unsetenv("LOCPATH");
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool Ok() const { return m_ok; }
    // For a child: where the locale is found.
    std::string Folder() const { return m_folder.path().string(); }

private:
    support::ScratchFolder m_folder;
    bool m_ok = false;
};

// The comma locale in the C library (LC_ALL) for a scope, as a desktop program runs
// before anything resets LC_NUMERIC; the locale before comes back at the end. Ok() is
// false, and nothing changed, when the locale cannot be made.
class CommaLocaleScope {
public:
    CommaLocaleScope() : m_previous(std::setlocale(LC_ALL, nullptr))
    {
        m_set = m_locale.Ok() && std::setlocale(LC_ALL, CommaLocale::kName) != nullptr;
    }
    ~CommaLocaleScope()
    {
        if (m_set)
            std::setlocale(LC_ALL, m_previous.c_str());
    }
    CommaLocaleScope(const CommaLocaleScope&) = delete;
    CommaLocaleScope& operator=(const CommaLocaleScope&) = delete;

    bool Ok() const { return m_set; }

private:
    CommaLocale m_locale;
    std::string m_previous;
    bool m_set = false;
};

} // namespace testsupport
