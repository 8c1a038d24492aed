#pragma once
// Path texts of the shell. "\" and "/" both count as separators; the helpers
// that rewrite separators write this platform's own, "/". The file-system root
// "/" stands where drive roots stood.
#include <string>

#include "platform/win/WinTypes.h"

inline constexpr char kDirChar = '/';

inline bool IsDirChar(char ch) { return ch == '\\' || ch == '/'; }

// Prefixes "." unless the text is empty or starts with it already.
void AddLeadingDotChar(std::string& text);
// Removes one leading ".".
void RemoveLeadingDotChar(std::string& text);
BOOL HasLeadingDotChar(const std::string& text);

// Removes a trailing separator, then appends "/" when slash is set, else "\".
// An empty text stays empty.
void AddTrailDirChar(std::string& text, int slash);
void RemoveTrailDirChar(std::string& text);
BOOL HasTrailDirChar(const std::string& text);
// Every separator becomes this platform's own.
void ChangePathNameStyle(std::string& text, int unused = 0);

// 1 for the file-system root.
BOOL IsRootDir(const std::string& text);
// 0 for an empty text; the root stays and gives 1; otherwise removes a trailing
// separator, writes this platform's separators and cuts at the last one (0 when
// there is none, the text keeping those two changes). The parent of a folder
// right below the root is the root.
BOOL GetParentDir(std::string& text);
// 0 when empty or ending in a separator (text unchanged); otherwise keeps what
// follows the last separator (0 when there is none, the text keeping its
// rewritten separators).
BOOL GetAppFileName(std::string& text);
// As GetAppFileName, then cuts at the last "." unless it is the first character.
BOOL GetAppFileTitle(std::string& text);

// One level, owner-only; 1 on success (the parent must exist).
BOOL CreateFolder(const std::string& path);
BOOL IsFileExist(const std::string& path);
// The root counts as a folder that exists.
BOOL IsFolderExist(const std::string& path);
// 1 when the path is a regular file that can be opened for reading.
BOOL IsAppFileAvailable(const std::string& path);
