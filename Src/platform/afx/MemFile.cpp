#include "platform/afx/MemFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

IMPLEMENT_DYNAMIC(CMemFile, CFile)

CMemFile::CMemFile() = default;

CMemFile::CMemFile(std::vector<BYTE> data) : m_data(std::move(data))
{
}

CMemFile::CMemFile(std::span<const BYTE> view)
    : m_pView(view.data()), m_nViewSize(view.size()), m_bReadOnly(true)
{
}

BOOL CMemFile::Open(const std::string& fileName, UINT, CFileException* pError)
{
    // A memory file has no name to open.
    if (pError != nullptr)
        *pError = CFileException(CFileException::genericException, EINVAL, fileName);
    return FALSE;
}

void CMemFile::Close()
{
}

void CMemFile::Abort()
{
}

std::span<const BYTE> CMemFile::GetData() const
{
    if (m_bReadOnly)
        return {m_pView, m_nViewSize};
    return {m_data.data(), m_data.size()};
}

UINT CMemFile::Read(void* lpBuf, UINT nCount)
{
    std::span<const BYTE> data = GetData();
    if (m_nPosition >= data.size())
        return 0;
    std::size_t n = std::min<std::size_t>(nCount, data.size() - m_nPosition);
    std::memcpy(lpBuf, data.data() + m_nPosition, n);
    m_nPosition += n;
    return static_cast<UINT>(n);
}

void CMemFile::Write(const void* lpBuf, UINT nCount)
{
    if (m_bReadOnly)
        throw CFileException(CFileException::accessDenied, EACCES);
    if (nCount == 0)
        return;
    std::size_t end = m_nPosition + nCount;
    if (end > m_data.size())
        m_data.resize(end); // a gap left by seeking past the end reads as zeros
    std::memcpy(m_data.data() + m_nPosition, lpBuf, nCount);
    m_nPosition = end;
}

void CMemFile::Flush()
{
}

ULONGLONG CMemFile::Seek(LONGLONG lOff, UINT nFrom)
{
    LONGLONG base = 0;
    switch (nFrom) {
    case begin: base = 0; break;
    case current: base = static_cast<LONGLONG>(m_nPosition); break;
    case end: base = static_cast<LONGLONG>(GetData().size()); break;
    default: throw CFileException(CFileException::badSeek, EINVAL);
    }
    if ((lOff < 0 && base + lOff < 0) || (lOff > 0 && base > std::numeric_limits<LONGLONG>::max() - lOff))
        throw CFileException(CFileException::badSeek, EINVAL);
    m_nPosition = static_cast<std::size_t>(base + lOff);
    return m_nPosition;
}

ULONGLONG CMemFile::GetPosition() const
{
    return m_nPosition;
}

ULONGLONG CMemFile::GetLength() const
{
    return GetData().size();
}

bool CMemFile::CanSeek() const
{
    return true;
}

std::vector<BYTE> CMemFile::Detach()
{
    std::vector<BYTE> out;
    if (m_bReadOnly)
        out.assign(m_pView, m_pView + m_nViewSize);
    else
        out = std::move(m_data);
    m_data.clear();
    m_pView = nullptr;
    m_nViewSize = 0;
    m_bReadOnly = false;
    m_nPosition = 0;
    return out;
}
