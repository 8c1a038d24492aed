#pragma once
// Application profile settings kept in the registry, the way a desktop
// application keeps them: HKEY_CURRENT_USER\Software\<registry key>\<profile name>\<section>.
#include "platform/registry/Registry.h"

#include <mutex>
#include <string>
#include <string_view>

namespace registry {

class Profile {
public:
    Profile(Registry& registry, std::string registryKey, std::string profileName);

    void SetRegistryKey(std::string registryKey);
    void SetProfileName(std::string profileName);
    std::string RegistryKey() const;
    std::string ProfileName() const;
    // "Software\<registry key>\<profile name>\<section>" under HKEY_CURRENT_USER.
    std::string SectionPath(std::string_view section) const;

    // The default when the entry is missing, not a DWORD or the hive is unreadable.
    UINT GetProfileInt(std::string_view section, std::string_view entry, int defaultValue) const;
    // The default when the entry is missing, not a string or the hive is unreadable.
    std::string GetProfileString(std::string_view section, std::string_view entry,
                                 std::string_view defaultValue = {}) const;
    // True when the value was stored.
    bool WriteProfileInt(std::string_view section, std::string_view entry, int value);
    bool WriteProfileString(std::string_view section, std::string_view entry, std::string_view value);

    Registry& Store() const { return registry_; }

private:
    Registry& registry_;
    mutable std::mutex mutex_;  // leaf: guards the two names; the registry is called after
    std::string registryKey_;
    std::string profileName_;
};

} // namespace registry
