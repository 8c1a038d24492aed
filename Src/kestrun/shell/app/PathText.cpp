#include "kestrun/shell/app/PathText.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "kestrun/shell/app/Security.h"

void AddLeadingDotChar(std::string& text)
{
    if (!text.empty() && text.front() != '.')
        text.insert(text.begin(), '.');
}

void RemoveLeadingDotChar(std::string& text)
{
    if (!text.empty() && text.front() == '.')
        text.erase(text.begin());
}

BOOL HasLeadingDotChar(const std::string& text) { return !text.empty() && text.front() == '.'; }

void AddTrailDirChar(std::string& text, int slash)
{
    if (text.empty())
        return;
    RemoveTrailDirChar(text);
    text.push_back(slash ? '/' : '\\');
}

void RemoveTrailDirChar(std::string& text)
{
    if (!text.empty() && IsDirChar(text.back()))
        text.pop_back();
}

BOOL HasTrailDirChar(const std::string& text) { return !text.empty() && IsDirChar(text.back()); }

void ChangePathNameStyle(std::string& text, int)
{
    std::replace(text.begin(), text.end(), '\\', kDirChar);
}

BOOL IsRootDir(const std::string& text) { return text.size() == 1 && IsDirChar(text[0]); }

BOOL GetParentDir(std::string& text)
{
    if (text.empty())
        return FALSE;
    if (IsRootDir(text))
        return TRUE;
    RemoveTrailDirChar(text);
    ChangePathNameStyle(text);
    const std::size_t cut = text.rfind(kDirChar);
    if (cut == std::string::npos)
        return FALSE;
    text.erase(cut == 0 ? 1 : cut);
    return TRUE;
}

BOOL GetAppFileName(std::string& text)
{
    if (text.empty() || HasTrailDirChar(text))
        return FALSE;
    ChangePathNameStyle(text);
    const std::size_t cut = text.rfind(kDirChar);
    if (cut == std::string::npos)
        return FALSE;
    text.erase(0, cut + 1);
    return TRUE;
}

BOOL GetAppFileTitle(std::string& text)
{
    const BOOL found = GetAppFileName(text);
    if (found) {
        const std::size_t dot = text.rfind('.');
        if (dot != std::string::npos && dot != 0)
            text.erase(dot);
    }
    return found;
}

BOOL CreateFolder(const std::string& path)
{
    return !path.empty() && ::mkdir(path.c_str(), GetDefaultSecurity().folderMode) == 0;
}

BOOL IsFileExist(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

BOOL IsFolderExist(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

BOOL IsAppFileAvailable(const std::string& path)
{
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec))
        return FALSE;
    std::ifstream file(path, std::ios::binary);
    return file.is_open() ? TRUE : FALSE;
}
