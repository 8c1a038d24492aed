#pragma once
// A file in memory: either a growable buffer of its own, or a read-only view of
// bytes that someone else owns (and that must outlive the file). Close and Abort
// keep the bytes: take them with GetData or Detach.
#include "platform/afx/File.h"

#include <cstddef>
#include <span>
#include <vector>

class CMemFile : public CFile {
    DECLARE_DYNAMIC(CMemFile)
public:
    // An empty, growable, readable and writable file.
    CMemFile();
    // A growable file starting with a copy of these bytes, positioned at the start.
    explicit CMemFile(std::vector<BYTE> data);
    // A read-only view: writing throws CFileException(accessDenied).
    explicit CMemFile(std::span<const BYTE> view);

    BOOL Open(const std::string& fileName, UINT nOpenFlags, CFileException* pError = nullptr) override;
    void Close() override;
    void Abort() override;
    UINT Read(void* lpBuf, UINT nCount) override;
    void Write(const void* lpBuf, UINT nCount) override;
    void Flush() override;
    ULONGLONG Seek(LONGLONG lOff, UINT nFrom) override;
    ULONGLONG GetPosition() const override;
    ULONGLONG GetLength() const override;
    bool CanSeek() const override;
    bool IsOpen() const override { return true; }

    // The file's bytes (the view's bytes for a view).
    std::span<const BYTE> GetData() const;
    // Takes the owned bytes out, leaving the file empty.
    std::vector<BYTE> Detach();

private:
    std::vector<BYTE> m_data;
    const BYTE* m_pView = nullptr;
    std::size_t m_nViewSize = 0;
    std::size_t m_nPosition = 0;
    bool m_bReadOnly = false;
};
