#include "kestrun/shell/app/Version.h"

#include <cstdio>

#include "platform/win/VersionInfo.h"

namespace {

std::string FormatVersion(int bShort)
{
    char text[32];
    const unsigned major = win::version::kMajor;
    const unsigned minor = win::version::kMinor;
    if (bShort)
        std::snprintf(text, sizeof text, "ver%u.%u", major, minor / 10);
    else
        std::snprintf(text, sizeof text, "ver%u.%u.%u", major, minor / 10, minor % 10);
    return text;
}

} // namespace

std::string GetVersionString(int bShort) { return FormatVersion(bShort); }

CdsVersion::CdsVersion()
    : m_nMajor(win::version::kMajor), m_nMinor(win::version::kMinor), m_strVersion(FormatVersion(0)),
      m_strLanguage(win::version::kLanguageName), m_strCopyright(win::version::kLegalCopyright),
      m_strDescription(win::version::kFileDescription)
{
}
