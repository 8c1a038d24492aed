#include "kestrun/shell/app/CommandLineInfo.h"

#include <strings.h>

namespace shell {

bool CommandLineInfo::EqualsNoCase(const std::string& a, const char* b) { return ::strcasecmp(a.c_str(), b) == 0; }

bool CommandLineInfo::SplitSwitch(const std::string& arg, std::string& name)
{
    if (arg.size() < 2)
        return false;
    if (arg[0] == '-' || (arg[0] == '/' && arg.find('/', 1) == std::string::npos)) {
        name = arg.substr(1);
        return true;
    }
    return false;
}

void CommandLineInfo::Parse(const std::vector<std::string>& args)
{
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string name;
        if (!SplitSwitch(args[i], name)) {
            if (m_strFileName.empty() && !args[i].empty()) {
                m_strFileName = args[i];
                if (m_nShellCommand == FileNew)
                    m_nShellCommand = FileOpen;
            }
            continue;
        }
        if (EqualsNoCase(name, "Embedding"))
            m_bRunEmbedded = true;
        else if (EqualsNoCase(name, "Automation"))
            m_bRunAutomated = true;
        else if (EqualsNoCase(name, "-Restart"))
            m_bRestart = true;
        else if (EqualsNoCase(name, "Regserver"))
            m_nShellCommand = AppRegister;
        else if (EqualsNoCase(name, "Unregserver"))
            m_nShellCommand = AppUnregister;
    }
}

} // namespace shell
