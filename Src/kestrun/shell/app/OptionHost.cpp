#include "kestrun/shell/app/OptionHost.h"

#include "platform/registry/Profile.h"
#include "platform/win/VersionInfo.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace shell {

bool OptionHost::FolderExists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

bool OptionHost::CreateFolder(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::create_directory(path, ec) && !ec;
}

namespace {

std::atomic<registry::Profile*> g_installedProfile{nullptr};

registry::Profile& FallbackProfile()
{
    static registry::Profile profile(registry::Registry::Default(),
                                     FormRegistryKey(win::version::kMajor, win::version::kMinor),
                                     program_invocation_short_name);
    return profile;
}

} // namespace

registry::Profile& CurrentProfile()
{
    if (registry::Profile* installed = g_installedProfile.load(std::memory_order_acquire))
        return *installed;
    return FallbackProfile();
}

void SetCurrentProfile(registry::Profile* profile)
{
    g_installedProfile.store(profile, std::memory_order_release);
}

std::string FormRegistryKey(unsigned major, unsigned minor)
{
    char text[64];
    std::snprintf(text, sizeof text, "Tessaro v%u.%u", major, minor / 10);
    return text;
}

} // namespace shell
