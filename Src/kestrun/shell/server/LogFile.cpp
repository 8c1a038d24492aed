#include "kestrun/shell/server/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include "kestrun/shell/app/PathText.h"
#include "kestrun/shell/app/Security.h"
#include "kestrun/shell/app/StandardFolders.h"

namespace {

std::FILE* OpenForAppend(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, GetDefaultSecurity().fileMode);
    if (fd < 0)
        return nullptr;
    std::FILE* file = ::fdopen(fd, "a");
    if (!file)
        ::close(fd);
    return file;
}

} // namespace

std::string CdsLogFile::FileNameFor(const std::string& strFolder, const std::string& strDate)
{
    return JoinFolder(strFolder, strDate + ".log");
}

bool CdsLogFile::Open(const std::string& strFolder, const std::string& strDate)
{
    Close();
    if (strFolder.empty())
        return false;
    const std::string path = FileNameFor(strFolder, strDate);
    m_pFile = OpenForAppend(path);
    if (!m_pFile && !IsFolderExist(strFolder) && CreateFolders(strFolder))
        m_pFile = OpenForAppend(path);
    if (!m_pFile)
        return false;
    m_strFileName = path;
    m_strDate = strDate;
    return true;
}

void CdsLogFile::Write(const std::string& line)
{
    if (!m_pFile)
        return;
    std::string text = line;
    for (char& ch : text)
        if (ch == '\r')
            ch = ' ';
    std::fwrite(text.data(), 1, text.size(), m_pFile);
}

void CdsLogFile::Flush()
{
    if (m_pFile)
        std::fflush(m_pFile);
}

void CdsLogFile::Close()
{
    if (m_pFile)
        std::fclose(m_pFile);
    m_pFile = nullptr;
    m_strFileName.clear();
    m_strDate.clear();
}
