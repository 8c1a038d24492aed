#pragma once
// A binary file over a POSIX file descriptor, and the base of the other files
// (memory, serial port, socket) that an archive or a port can work on.
#include "platform/afx/Exceptions.h"
#include "platform/afx/Object.h"

#include <string>

class CFile : public CObject {
    DECLARE_DYNAMIC(CFile)
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010, // an advisory lock no other CFile can take meanwhile
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,     // create, truncating an existing file ...
        modeNoTruncate = 0x2000, // ... unless this is given too
        typeText = 0x4000,       // no effect here: files are always binary
        typeBinary = 0x8000,
        osNoBuffer = 0x10000,
        osWriteThrough = 0x20000,
        osRandomAccess = 0x40000,
        osSequentialScan = 0x80000,
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CFile();
    // Opens or throws CFileException.
    CFile(const std::string& fileName, UINT nOpenFlags);
    ~CFile() override; // closes quietly
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Returns FALSE and fills pError (when given) instead of throwing.
    virtual BOOL Open(const std::string& fileName, UINT nOpenFlags, CFileException* pError = nullptr);
    // Throws CFileException when the descriptor reports an error on closing.
    virtual void Close();
    // Closes without throwing.
    virtual void Abort();

    // Reads up to nCount bytes; fewer (0 at the end of the file) is not an error.
    virtual UINT Read(void* lpBuf, UINT nCount);
    // Writes all nCount bytes or throws CFileException.
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual void Flush();

    // Throws CFileException(badSeek) on failure; returns the new position.
    virtual ULONGLONG Seek(LONGLONG lOff, UINT nFrom);
    void SeekToBegin() { Seek(0, begin); }
    ULONGLONG SeekToEnd() { return Seek(0, end); }
    virtual ULONGLONG GetPosition() const;
    virtual ULONGLONG GetLength() const;
    // Whether Seek works at all (false for ports and pipes).
    virtual bool CanSeek() const;

    virtual bool IsOpen() const { return m_hFile >= 0; }
    int GetHandle() const { return m_hFile; }
    const std::string& GetFilePath() const { return m_strFilePath; }
    // The last path component.
    std::string GetFileName() const;

protected:
    int m_hFile = -1;
    std::string m_strFilePath;
};
