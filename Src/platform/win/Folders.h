#pragma once
// Standard folders: XDG base folders, with the data folder overridable by
// TESSARO_DATA.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace win::folders {

// Reads an environment variable; tests pass their own table.
using EnvLookup = std::function<std::optional<std::string>(std::string_view name)>;
const EnvLookup& processEnvironment();

// $HOME, or the password entry's home folder.
std::filesystem::path homeFolder(const EnvLookup& env = processEnvironment());
// $XDG_CONFIG_HOME or ~/.config.
std::filesystem::path configHome(const EnvLookup& env = processEnvironment());
// $XDG_DATA_HOME or ~/.local/share.
std::filesystem::path dataHome(const EnvLookup& env = processEnvironment());
// $XDG_RUNTIME_DIR, or /tmp/tessaro-<uid> when unset.
std::filesystem::path runtimeHome(const EnvLookup& env = processEnvironment());

// The system's folders for Tessaro. Data stands for the common application
// data folder: $TESSARO_DATA when set, else dataHome()/tessaro.
std::filesystem::path dataFolder(const EnvLookup& env = processEnvironment());
std::filesystem::path configFolder(const EnvLookup& env = processEnvironment());  // configHome()/tessaro
std::filesystem::path runtimeFolder(const EnvLookup& env = processEnvironment()); // runtimeHome()/tessaro

// Creates the folder and any missing parents; true when it exists afterwards
// as a folder. New folders get the given permissions (before the umask).
bool createFolders(const std::filesystem::path& path,
                   std::filesystem::perms perms = std::filesystem::perms::all,
                   std::error_code* error = nullptr);

// Creates the folder (and parents) for this user alone: afterwards it is a real
// folder (no link), owned by the effective user, with no rights for anyone else
// (a looser folder of ours is narrowed). False, with the reason, for a folder of
// another user or one that cannot be made private.
bool ensurePrivateFolder(const std::filesystem::path& path, std::error_code* error = nullptr);

} // namespace win::folders
