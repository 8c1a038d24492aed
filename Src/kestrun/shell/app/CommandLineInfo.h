#pragma once
// The command line as the application reads it. A switch begins with "-", or
// with "/" when nothing else in it is a "/" (so "/thread" is a switch and
// "/srv/plant.mme" a file). The first argument that is no switch names the
// file to open; unknown switches are ignored and never taken as a file name.
#include <string>
#include <vector>

namespace shell {

class CommandLineInfo {
public:
    enum ShellCommand { FileNew, FileOpen, FileNothing, AppRegister, AppUnregister };

    // Fills the record from the arguments (the program name first).
    void Parse(const std::vector<std::string>& args);

    ShellCommand m_nShellCommand = FileNew;
    std::string m_strFileName;
    bool m_bRunEmbedded = false;  // "-Embedding": started by OPC activation
    bool m_bRunAutomated = false; // "-Automation"
    bool m_bRestart = false;      // "--Restart": a restarted copy

    // The switch text without its one prefix character, or nothing when the
    // argument is no switch.
    static bool SplitSwitch(const std::string& arg, std::string& name);
    static bool EqualsNoCase(const std::string& a, const char* b);
};

} // namespace shell
