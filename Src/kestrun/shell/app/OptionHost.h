#pragma once
// What the option setters need from the window around them: timers to restart,
// yes/no questions and folders. The main window and its views provide it; the
// defaults do nothing and answer No, as a prompt without a user does.
#include <string>

namespace registry {
class Profile;
}

namespace shell {

class OptionHost {
public:
    virtual ~OptionHost() = default;

    // Restart the data timer (period >= 1 ms).
    virtual void StartDataUpdateTimer(unsigned long /*periodMs*/) {}
    // Restart the data view's client-update timer (period >= 1 ms).
    virtual void StartClientUpdateTimer(unsigned long /*periodMs*/) {}
    // Restart the log view's auto-save timer (period >= 1 ms).
    virtual void StartLogUpdateTimer(unsigned long /*periodMs*/) {}
    // Auto-save period 0: the log view's timer is not to run at all.
    virtual void StopLogUpdateTimer() {}

    // A Yes/No question; true for Yes.
    virtual bool AskYesNo(const std::string& /*text*/) { return false; }
    virtual void ShowMessage(const std::string& /*text*/) {}

    // The default of "Log Folder".
    virtual std::string DefaultLogFolder() { return {}; }
    virtual bool FolderExists(const std::string& path);
    // One level; the parent must exist.
    virtual bool CreateFolder(const std::string& path);
};

// The profile that holds the options: the one the application installed, or a
// fallback at HKEY_CURRENT_USER\Software\<FormRegistryKey of this version>\<program name>.
registry::Profile& CurrentProfile();
// Installs the application's profile; nullptr goes back to the fallback. The
// profile must outlive its use.
void SetCurrentProfile(registry::Profile* profile);

// The application's registry key: "Tessaro v%d.%d" of the major version and the
// two-digit minor version divided by 10 (4.51 gives "Tessaro v4.5").
std::string FormRegistryKey(unsigned major, unsigned minor);

} // namespace shell
