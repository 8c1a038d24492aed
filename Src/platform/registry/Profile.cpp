#include "platform/registry/Profile.h"

namespace registry {

Profile::Profile(Registry& registry, std::string registryKey, std::string profileName)
    : registry_(registry), registryKey_(std::move(registryKey)), profileName_(std::move(profileName))
{
}

void Profile::SetRegistryKey(std::string registryKey)
{
    std::lock_guard guard(mutex_);
    registryKey_ = std::move(registryKey);
}

void Profile::SetProfileName(std::string profileName)
{
    std::lock_guard guard(mutex_);
    profileName_ = std::move(profileName);
}

std::string Profile::RegistryKey() const
{
    std::lock_guard guard(mutex_);
    return registryKey_;
}

std::string Profile::ProfileName() const
{
    std::lock_guard guard(mutex_);
    return profileName_;
}

std::string Profile::SectionPath(std::string_view section) const
{
    std::lock_guard guard(mutex_);
    std::string path = "Software\\";
    path += registryKey_;
    path += '\\';
    path += profileName_;
    path += '\\';
    path += section;
    return path;
}

UINT Profile::GetProfileInt(std::string_view section, std::string_view entry, int defaultValue) const
{
    DWORD value = 0;
    if (registry_.QueryDword(HKEY_CURRENT_USER, SectionPath(section), entry, value) != Status::Ok)
        return static_cast<UINT>(defaultValue);
    return value;
}

std::string Profile::GetProfileString(std::string_view section, std::string_view entry,
                                      std::string_view defaultValue) const
{
    std::string value;
    if (registry_.QueryString(HKEY_CURRENT_USER, SectionPath(section), entry, value) != Status::Ok)
        return std::string(defaultValue);
    return value;
}

bool Profile::WriteProfileInt(std::string_view section, std::string_view entry, int value)
{
    return registry_.SetDword(HKEY_CURRENT_USER, SectionPath(section), entry, static_cast<DWORD>(value))
        == Status::Ok;
}

bool Profile::WriteProfileString(std::string_view section, std::string_view entry, std::string_view value)
{
    return registry_.SetString(HKEY_CURRENT_USER, SectionPath(section), entry, value) == Status::Ok;
}

} // namespace registry
