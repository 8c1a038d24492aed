#include "platform/afx/Exceptions.h"

#include <cerrno>
#include <utility>

namespace {

std::string WithFileName(const std::string& fileName, const char* text)
{
    return fileName.empty() ? std::string(text) : fileName + ": " + text;
}

} // namespace

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CFileException, CException)
IMPLEMENT_DYNAMIC(CArchiveException, CException)

const char* CException::what() const noexcept
{
    try {
        m_what = GetErrorMessage();
    } catch (...) {
        return "file or archive error";
    }
    return m_what.c_str();
}

CFileException::CFileException(int cause, LONG lOsError, std::string fileName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(std::move(fileName))
{
}

int CFileException::OsErrorToCause(int osError)
{
    switch (osError) {
    case 0:
        return none;
    case ENOENT:
        return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return badPath;
    case EMFILE:
    case ENFILE:
        return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return accessDenied;
    case EBADF:
        return invalidFile;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return diskFull;
    case EIO:
        return hardIO;
    case ESPIPE:
        return badSeek;
    case EWOULDBLOCK:
        return sharingViolation;
    default:
        return genericException;
    }
}

void CFileException::ThrowOsError(int osError, const std::string& fileName)
{
    throw CFileException(OsErrorToCause(osError), osError, fileName);
}

std::string CFileException::GetErrorMessage() const
{
    const char* text = "an unexpected file error occurred";
    switch (m_cause) {
    case none: text = "no error"; break;
    case fileNotFound: text = "file not found"; break;
    case badPath: text = "the path is invalid"; break;
    case tooManyOpenFiles: text = "too many open files"; break;
    case accessDenied: text = "access denied"; break;
    case invalidFile: text = "invalid file handle"; break;
    case removeCurrentDir: text = "cannot remove the current folder"; break;
    case directoryFull: text = "the folder is full"; break;
    case badSeek: text = "cannot set the file position"; break;
    case hardIO: text = "hardware I/O error"; break;
    case sharingViolation: text = "the file is in use by another program"; break;
    case lockViolation: text = "the file region is locked"; break;
    case diskFull: text = "the disk is full"; break;
    case endOfFile: text = "unexpected end of file"; break;
    default: break;
    }
    return WithFileName(m_strFileName, text);
}

CArchiveException::CArchiveException(int cause, std::string fileName)
    : m_cause(cause), m_strFileName(std::move(fileName))
{
}

std::string CArchiveException::GetErrorMessage() const
{
    const char* text = "an unexpected archive error occurred";
    switch (m_cause) {
    case none: text = "no error"; break;
    case readOnly: text = "tried to write to an archive opened for loading"; break;
    case endOfFile: text = "unexpected end of file"; break;
    case writeOnly: text = "tried to read from an archive opened for storing"; break;
    case badIndex: text = "invalid file format"; break;
    case badClass: text = "unexpected object type in the file"; break;
    case badSchema: text = "unsupported file version"; break;
    case bufferFull: text = "archive buffer full"; break;
    default: break;
    }
    return WithFileName(m_strFileName, text);
}
