#include "platform/afx/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

IMPLEMENT_DYNAMIC(CFile, CObject)

namespace {

constexpr UINT kAccessMask = 0x0003;
constexpr UINT kShareMask = 0x0070;

} // namespace

CFile::CFile() = default;

CFile::CFile(const std::string& fileName, UINT nOpenFlags)
{
    CFileException error;
    if (!Open(fileName, nOpenFlags, &error))
        throw error;
}

CFile::~CFile()
{
    if (m_hFile >= 0)
        ::close(m_hFile);
}

BOOL CFile::Open(const std::string& fileName, UINT nOpenFlags, CFileException* pError)
{
    auto fail = [&](int osError) {
        if (pError != nullptr)
            *pError = CFileException(CFileException::OsErrorToCause(osError), osError, fileName);
        return FALSE;
    };

    if (m_hFile >= 0)
        Abort();
    m_strFilePath.clear();

    int flags = O_CLOEXEC;
    switch (nOpenFlags & kAccessMask) {
    case modeRead: flags |= O_RDONLY; break;
    case modeWrite: flags |= O_WRONLY; break;
    case modeReadWrite: flags |= O_RDWR; break;
    default: return fail(EINVAL);
    }
    if ((nOpenFlags & modeCreate) != 0)
        flags |= O_CREAT;

    // Without waiting: a named pipe would hold the open until a writer comes.
    int fd = ::open(fileName.c_str(), flags | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0)
        return fail(errno);

    // Only a regular file is a file here: a pipe or device never ends or never answers.
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = ENXIO;
        if (st.st_mode == 0)
            err = errno;
        else if (S_ISDIR(st.st_mode))
            err = EISDIR;
        ::close(fd);
        return fail(err);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    // Share modes become advisory locks, taken before any truncation so that a
    // file someone holds exclusively is never emptied under them.
    int lockOp = 0;
    switch (nOpenFlags & kShareMask) {
    case shareExclusive:
    case shareDenyRead: lockOp = LOCK_EX; break;
    case shareDenyWrite: lockOp = LOCK_SH; break;
    default: break;
    }
    if (lockOp != 0 && ::flock(fd, lockOp | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        return fail(err == EWOULDBLOCK ? EWOULDBLOCK : err);
    }

    if ((nOpenFlags & modeCreate) != 0 && (nOpenFlags & modeNoTruncate) == 0 && S_ISREG(st.st_mode)
        && ::ftruncate(fd, 0) != 0) {
        int err = errno;
        ::close(fd);
        return fail(err);
    }

    m_hFile = fd;
    m_strFilePath = fileName;
    return TRUE;
}

void CFile::Close()
{
    if (m_hFile < 0)
        return;
    int fd = m_hFile;
    m_hFile = -1;
    if (::close(fd) != 0 && errno != EINTR)
        CFileException::ThrowOsError(errno, m_strFilePath);
}

void CFile::Abort()
{
    if (m_hFile >= 0) {
        ::close(m_hFile);
        m_hFile = -1;
    }
}

UINT CFile::Read(void* lpBuf, UINT nCount)
{
    if (m_hFile < 0)
        throw CFileException(CFileException::invalidFile, EBADF, m_strFilePath);
    auto* p = static_cast<char*>(lpBuf);
    UINT nDone = 0;
    while (nDone < nCount) {
        ssize_t n = ::read(m_hFile, p + nDone, nCount - nDone);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            CFileException::ThrowOsError(errno, m_strFilePath);
        }
        if (n == 0)
            break;
        nDone += static_cast<UINT>(n);
    }
    return nDone;
}

void CFile::Write(const void* lpBuf, UINT nCount)
{
    if (m_hFile < 0)
        throw CFileException(CFileException::invalidFile, EBADF, m_strFilePath);
    const auto* p = static_cast<const char*>(lpBuf);
    UINT nDone = 0;
    while (nDone < nCount) {
        ssize_t n = ::write(m_hFile, p + nDone, nCount - nDone);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            CFileException::ThrowOsError(errno, m_strFilePath);
        }
        if (n == 0)
            CFileException::ThrowOsError(ENOSPC, m_strFilePath);
        nDone += static_cast<UINT>(n);
    }
}

void CFile::Flush()
{
    if (m_hFile < 0)
        throw CFileException(CFileException::invalidFile, EBADF, m_strFilePath);
    // Ports and pipes cannot be synced; that is not a failure of the data.
    if (::fsync(m_hFile) != 0 && errno != EINVAL && errno != EROFS)
        CFileException::ThrowOsError(errno, m_strFilePath);
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom)
{
    if (m_hFile < 0)
        throw CFileException(CFileException::invalidFile, EBADF, m_strFilePath);
    int whence = nFrom == begin ? SEEK_SET : nFrom == current ? SEEK_CUR : nFrom == end ? SEEK_END : -1;
    off_t pos = whence < 0 ? -1 : ::lseek(m_hFile, static_cast<off_t>(lOff), whence);
    if (pos < 0)
        throw CFileException(CFileException::badSeek, whence < 0 ? EINVAL : errno, m_strFilePath);
    return static_cast<ULONGLONG>(pos);
}

ULONGLONG CFile::GetPosition() const
{
    if (m_hFile < 0)
        throw CFileException(CFileException::invalidFile, EBADF, m_strFilePath);
    off_t pos = ::lseek(m_hFile, 0, SEEK_CUR);
    if (pos < 0)
        throw CFileException(CFileException::badSeek, errno, m_strFilePath);
    return static_cast<ULONGLONG>(pos);
}

ULONGLONG CFile::GetLength() const
{
    if (m_hFile < 0)
        throw CFileException(CFileException::invalidFile, EBADF, m_strFilePath);
    struct stat st{};
    if (::fstat(m_hFile, &st) != 0)
        CFileException::ThrowOsError(errno, m_strFilePath);
    return static_cast<ULONGLONG>(st.st_size);
}

bool CFile::CanSeek() const
{
    return m_hFile >= 0 && ::lseek(m_hFile, 0, SEEK_CUR) >= 0;
}

std::string CFile::GetFileName() const
{
    auto slash = m_strFilePath.find_last_of('/');
    return slash == std::string::npos ? m_strFilePath : m_strFilePath.substr(slash + 1);
}
