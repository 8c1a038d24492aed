#pragma once
// The standard folders of a server. An empty base gives an empty result, never
// a folder at the file-system root. Folders the shell creates are owner-only.
#include <string>

// The full path of the running program; empty when it cannot be known.
std::string GetProgramPath();
// The parent of the folder that holds the framework's module file.
std::string GetInstallFolder();
// The common data folder ($TESSARO_DATA, else the XDG data folder of Tessaro)
// and "Tessaro " with the short version; with create set a missing folder is
// created.
std::string GetDataFolder(int create);
// With useData: GetDataFolder(1) + "/config"; else GetInstallFolder() + "/config".
std::string GetConfigFolder(int useData);
// GetDataFolder(1) + "/log"; the folder itself is made on first use.
std::string GetDefaultLogFolder();

// The base joined with a name; empty when the base is empty.
std::string JoinFolder(const std::string& base, const std::string& name);

// Creates the folder and its missing parents, owner-only; true when it is a
// folder afterwards.
bool CreateFolders(const std::string& path);
