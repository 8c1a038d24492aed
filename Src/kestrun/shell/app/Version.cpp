#include "kestrun/shell/app/Version.h"

#include <cstdio>
#include <cstring>

#include "kestrun/shell/server/ServerApp.h"
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

void PutWord(char* p, unsigned value)
{
    p[0] = static_cast<char>(value & 0xFF);
    p[1] = static_cast<char>((value >> 8) & 0xFF);
}

} // namespace

std::string GetVersionString(int bShort) { return FormatVersion(bShort); }

CdsVersion::CdsVersion()
    : m_nMajor(win::version::kMajor), m_nMinor(win::version::kMinor), m_strVersion(FormatVersion(0)),
      m_strLanguage(win::version::kLanguageName), m_strCopyright(win::version::kLegalCopyright),
      m_strDescription(win::version::kFileDescription)
{
}

BOOL FillServerVendorInfo(char* pRecord, std::size_t nSize)
{
    constexpr std::size_t kNumbers = 6;
    CdsServerApp* pApp = CdsServerApp::GetApp();
    if (!pApp || !pRecord || nSize < kNumbers + 1)
        return FALSE;
    PutWord(pRecord, win::version::kMajor);
    PutWord(pRecord + 2, win::version::kMinor);
    PutWord(pRecord + 4, win::version::kBuild);
    const char* name = pApp->GetServerRegName();
    const char* company = pApp->GetServerCompany();
    std::snprintf(pRecord + kNumbers, nSize - kNumbers, "%s (by %s)", name ? name : "", company ? company : "");
    return TRUE;
}
